#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::test {

struct ChildResult {
    int exitCode = -1;  ///< -1 when the child did not exit normally
    std::string out;
    std::string err;
    /// Peak resident memory of the child, in bytes.
    std::uint64_t peakMemory = 0;
};

/// How a child starts, beyond its arguments.
struct ChildOptions {
    std::chrono::milliseconds timeout{60'000};
    /// The file-size limit (RLIMIT_FSIZE) of the child in bytes, 0 for none.
    std::uint64_t fileSizeLimit = 0;
    /// Standard output is a pipe whose reading end is already closed.
    bool stdoutToClosedPipe = false;
    /// Sends SIGTERM this long after the start (0: never).
    std::chrono::milliseconds terminateAfter{0};
};

/// Runs `program` with `args`, its standard output and error captured through files in
/// `scratch`. A child still running after the time-out is killed (exit code -1).
ChildResult runChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& scratch, const ChildOptions& options = {});

}  // namespace kestrova::test
