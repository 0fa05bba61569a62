#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace kestrova {

class SsLogging;
class UserInterface;

/// "HH:MM:SS" of `when` in local time, two spaces, then `message`.
std::string formatActivityLine(std::chrono::system_clock::time_point when,
                               std::string_view message);

/// LogOut: an empty message clears the activity list; any other message becomes one
/// time-stamped activity line, which is also written to the log at information level.
/// Either way the UI gets one chance to breathe.
void LogOut(UserInterface& ui, const SsLogging& log, std::string_view message);

}  // namespace kestrova
