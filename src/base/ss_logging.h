#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace kestrova {

enum LogLevel : std::int32_t {
    kTrace = 0,
    kDebug = 1,
    kInfo = 2,
    kWarn = 3,
    kError = 4,
    kFatal = 5
};

/// The log writer: one time-stamped, level-tagged CP932 line per call, appended to
/// LogFilePath/FileName, rotated by size into FileName.1 (newest) .. FileName.N (oldest).
/// The file is opened and closed for every line; no state but the settings below.
///
/// A line that cannot be written (folder, rotation, open or write failure) is dropped and
/// the error is returned; callers may ignore it, logging never ends the program. A level
/// outside 0..5 that passes the filter is such an error. With LogFileHistorys below 1 a
/// full file is deleted instead of rotated.
class SsLogging {
  public:
    std::string FileName = "kestrova.log";
    std::filesystem::path LogFilePath = ".";
    double MaxLogFileSize = 3;  ///< megabytes of 1024 x 1024 bytes
    std::int16_t LogFileHistorys = 3;
    std::int32_t LoggingLevel = kInfo;
    bool Enabled = true;

    std::error_code Logging(std::int32_t level, std::string_view message) const;
    std::error_code TraceLog(std::string_view message) const { return Logging(kTrace, message); }
    std::error_code DebugLog(std::string_view message) const { return Logging(kDebug, message); }
    std::error_code InfoLog(std::string_view message) const { return Logging(kInfo, message); }
    std::error_code WarnLog(std::string_view message) const { return Logging(kWarn, message); }
    std::error_code ErrorLog(std::string_view message) const { return Logging(kError, message); }
    std::error_code FatalLog(std::string_view message) const { return Logging(kFatal, message); }
};

/// "yyyy/mm/dd hh:nn:ss.mmm [TAG] message" in local time (UTF-8, without line end).
std::string formatLogLine(std::int32_t level, std::string_view message,
                          std::chrono::system_clock::time_point when);

}  // namespace kestrova
