#include "base/ss_logging.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <new>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/local_time.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, 6> kTags = {"[TRACE]", "[DEBUG]", "[INFO]",
                                                   "[WARN]",  "[ERROR]", "[FATAL]"};

bool isKnownLevel(std::int32_t level) {
    return level >= kTrace && level <= kFatal;
}

fs::path numbered(const fs::path& file, int number) {
    fs::path result = file;
    result += "." + std::to_string(number);
    return result;
}

/// Moves the current file to ".1", shifting older ones up and dropping the oldest.
std::error_code rotate(const fs::path& file, int histories) {
    std::error_code error;
    if (histories < 1) {
        // No history wanted: renaming onto ".1" again and again would fail, so start afresh.
        fs::remove(file, error);
        return error;
    }
    fs::remove(numbered(file, histories), error);
    if (error) {
        return error;
    }
    for (int i = histories - 1; i >= 1; --i) {
        const auto older = numbered(file, i);
        if (fs::exists(older, error)) {
            fs::rename(older, numbered(file, i + 1), error);
        }
        if (error) {
            return error;
        }
    }
    fs::rename(file, numbered(file, 1), error);
    return error;
}

std::error_code appendLine(const fs::path& file, std::string_view bytes) {
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
    }
    if (!out) {
        return {errno != 0 ? errno : EIO, std::generic_category()};
    }
    return {};
}

}  // namespace

std::error_code SsLogging::Logging(std::int32_t level, std::string_view message) const {
    if (!Enabled || level < LoggingLevel) {
        return {};
    }
    // The window logs from its export thread and its own at once: one line, one rotation
    // at a time.
    static std::mutex writing;
    const std::lock_guard lock(writing);
    if (!isKnownLevel(level)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    try {
        std::error_code error;
        if (!LogFilePath.empty() && !fs::is_directory(LogFilePath, error)) {
            fs::create_directory(LogFilePath, error);
            if (error) {
                return error;
            }
        }
        const fs::path file = LogFilePath / pathFromUtf8(FileName);
        const auto size = fs::file_size(file, error);
        // The limit is checked before writing, so a file may end one line past it.
        if (!error && static_cast<double>(size) >= MaxLogFileSize * 1024 * 1024) {
            if (auto rotated = rotate(file, LogFileHistorys)) {
                return rotated;
            }
        }
        auto bytes = toCp932(formatLogLine(level, message, std::chrono::system_clock::now()));
        bytes.bytes += "\r\n";
        return appendLine(file, bytes.bytes);
    } catch (const std::bad_alloc&) {
        return std::make_error_code(std::errc::not_enough_memory);
    } catch (const std::exception&) {
        return std::make_error_code(std::errc::io_error);
    }
}

std::string formatLogLine(std::int32_t level, std::string_view message,
                          std::chrono::system_clock::time_point when) {
    const auto time = toLocalTime(when);
    std::array<char, 32> stamp{};
    std::snprintf(stamp.data(), stamp.size(), "%04d/%02d/%02d %02d:%02d:%02d.%03d ", time.year,
                  time.month, time.day, time.hour, time.minute, time.second, time.millisecond);
    std::string line(stamp.data());
    line += isKnownLevel(level) ? kTags[static_cast<std::size_t>(level)] : "[?]";
    line += ' ';
    line += message;
    return line;
}

}  // namespace kestrova
