#include <cstdlib>
#include <random>

#include "base/atomic_file.h"
#include "cli/schedule.h"

namespace kestrova::cli {

namespace {

namespace fs = std::filesystem;

fs::path homeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? pathFromUtf8(home) : fs::path("/");
}

}  // namespace

ScheduleSystem thisUsersScheduleSystem() {
    ScheduleSystem system;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    system.unitFolder =
        (config != nullptr && *config == '/' ? pathFromUtf8(config) : homeFolder() / ".config") /
        "systemd" / "user";
    // The manager's own socket: there only while this user's manager runs.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    system.userManager = runtime != nullptr && *runtime == '/' &&
                         fs::exists(pathFromUtf8(runtime) / "systemd" / "private", error);
    system.systemctl = [](std::string_view arguments) {
        // Only this program's own fixed arguments pass through the shell.
        return std::system(("systemctl --user " + std::string(arguments)).c_str()) == 0;
    };
    std::random_device seed;
    system.cronMinute = std::uniform_int_distribution(0, 29)(seed);
    return system;
}

}  // namespace kestrova::cli
