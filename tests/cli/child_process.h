#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::test {

struct ChildResult {
    int exitCode = -1;  ///< -1 when the child did not exit normally
    std::string out;
    std::string err;
};

/// Runs `program` with `args`, its standard output and error captured through files in
/// `scratch`. A child still running after `timeout` is killed (exit code -1).
ChildResult runChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& scratch,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace kestrova::test
