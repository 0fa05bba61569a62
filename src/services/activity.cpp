#include "services/activity.h"

#include <array>
#include <cstdio>
#include <exception>

#include "base/errors.h"
#include "base/local_time.h"
#include "base/ss_logging.h"
#include "base/user_interface.h"

namespace kestrova {

std::string formatActivityLine(std::chrono::system_clock::time_point when,
                               std::string_view message) {
    const auto time = toLocalTime(when);
    std::array<char, 16> stamp{};
    std::snprintf(stamp.data(), stamp.size(), "%02d:%02d:%02d  ", time.hour, time.minute,
                  time.second);
    std::string line(stamp.data());
    line += message;
    return line;
}

void LogOut(UserInterface& ui, const SsLogging& log, std::string_view message) {
    log.TraceLog("frmTFLink:LogOut");
    try {
        if (message.empty()) {
            ui.clearActivity();
        } else {
            const auto line = formatActivityLine(std::chrono::system_clock::now(), message);
            ui.addActivity(line);
            log.InfoLog(line);
        }
        ui.breathe();
    } catch (const std::exception& error) {
        log.ErrorLog(errorText("frmTFLink:LogOut", error.what()));
    }
}

}  // namespace kestrova
