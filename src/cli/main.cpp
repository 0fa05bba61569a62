#include <algorithm>
#include <chrono>
#include <ctime>
#include <iostream>
#include <string_view>
#include <vector>

#include "base/process.h"
#include "cli/cli_command.h"
#include "cli/console.h"
#include "services/app_folder.h"

namespace {

std::chrono::year_month_day localToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::chrono::year{local.tm_year + 1900} /
           std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)} /
           std::chrono::day{static_cast<unsigned>(local.tm_mday)};
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestrova::cli;
    kestrova::ignoreSignalsThatEndWrites();
    installStopSignals();
    const std::vector<std::string_view> args(argv + std::min(argc, 1), argv + argc);
    // The same application folder as the window's, so both read one settings file and
    // write one log.
    const CliEnvironment env{
        std::cout, std::cerr, stderrTerminalColumns(),
        [] { return kestrova::chooseAppFolder(executableFolder(), userDataFolder()).folder; },
        localToday()};
    return runCli(args, env);
}
