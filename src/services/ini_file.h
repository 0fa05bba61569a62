#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

namespace kestrova {

/// A currency value as the platform stores it: the amount times 10000.
struct Currency {
    std::int64_t scaled = 0;
    bool operator==(const Currency&) const = default;
};

/// A date (with an optional time of day) read from a settings value.
struct IniDate {
    std::chrono::year_month_day day{};
    std::chrono::seconds timeOfDay{0};
    bool operator==(const IniDate&) const = default;
};

/// The variant-typed value of GetIniSetting: its alternative on entry chooses the conversion.
/// std::monostate is the empty (unset) value.
using IniValue = std::variant<std::monostate, bool, std::int16_t, std::int32_t, float, double,
                              Currency, IniDate, std::string>;

/// Reads one value of a private-profile settings file (CP932 on disk) into `value`, converted
/// to the type `value` has on entry (ConvValueType). A missing file or key, or an empty value,
/// gives `def` as text. Values are cut to 255 bytes of CP932 without splitting a character.
/// Returns false (value unchanged) only when the file exists but cannot be read.
bool GetIniSetting(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view def, IniValue& value);

/// Writes one value, creating file, section or key as needed and leaving every other line
/// byte for byte. The file is replaced atomically. Returns false on any failure.
bool WriteIniSetting(const std::filesystem::path& file, std::string_view section,
                     std::string_view key, std::string_view value);

/// Converts `source` to the type that `target` holds on entry and stores it in `target`.
void ConvValueType(IniValue& target, std::string_view source);

/// Convenience for the system's readers: the value trimmed of spaces, "" when missing.
std::string readIniText(const std::filesystem::path& file, std::string_view section,
                        std::string_view key);

}  // namespace kestrova
