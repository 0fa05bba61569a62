#include <chrono>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/local_time.h"
#include "base/process.h"
#include "cli/cli_command.h"
#include "cli/console.h"
#include "services/app_folder.h"

namespace {

std::chrono::year_month_day localToday() {
    const kestrova::LocalTime now = kestrova::toLocalTime(std::chrono::system_clock::now());
    return std::chrono::year{now.year} / std::chrono::month{static_cast<unsigned>(now.month)} /
           std::chrono::day{static_cast<unsigned>(now.day)};
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestrova::cli;
    kestrova::ignoreSignalsThatEndWrites();
    installStopSignals();
    const std::vector<std::string> given = commandLineArguments(argc, argv);
    const std::vector<std::string_view> args(given.begin(), given.end());
    // The same application folder as the window's, so both read one settings file and
    // write one log.
    const CliEnvironment env{
        std::cout,
        std::cerr,
        stderrTerminalColumns(),
        [] { return kestrova::chooseAppFolder(executableFolder(), userDataFolder()); },
        localToday(),
        executableFolder(),
        thisUsersScheduleSystem};
    return runCli(args, env);
}
