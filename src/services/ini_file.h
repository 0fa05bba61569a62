#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
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

/// A settings file read once, for an operation that reads several keys: each lookup finds
/// what GetIniSetting would have found in the file as it was then. It holds the file's bytes
/// and nothing more.
class IniSnapshot {
  public:
    /// Reads `file`; a missing file reads as one without keys. A FIFO or device is not
    /// waited on: it is a file that cannot be read.
    explicit IniSnapshot(const std::filesystem::path& file);

    const std::filesystem::path& path() const { return path_; }
    /// Why the file exists but could not be read; no error when it was read or is missing.
    const std::error_code& readError() const { return readError_; }

    /// GetIniSetting on the bytes read: false (value unchanged) after a read error.
    bool get(std::string_view section, std::string_view key, std::string_view def,
             IniValue& value) const;
    /// readIniText on the bytes read.
    std::string text(std::string_view section, std::string_view key) const;

  private:
    std::filesystem::path path_;
    std::string bytes_;
    std::error_code readError_;
};

/// Reads one value of a private-profile settings file (CP932 on disk, CR LF or LF) into
/// `value`, converted to the type `value` has on entry (ConvValueType). Names match without
/// regard to ASCII case; the first matching section and its first matching key win; one pair
/// of outer quotes is removed. A missing key gives `def` (trailing spaces removed, converted);
/// an empty value gives `def` as text, unconverted; a missing file reads as missing keys.
/// Values are cut to 255 bytes of CP932 without splitting a character.
/// Returns false (value unchanged) only when the file exists but cannot be read.
bool GetIniSetting(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view def, IniValue& value);

/// Writes one value, creating file, section or key as needed and leaving every other line
/// byte for byte: a new section goes to the end, a new key after the last key of its section,
/// an existing key keeps its place and spelling. The file is replaced atomically.
/// Returns false on any failure: missing folder, read-only file or folder, a line break in
/// any argument, or a character CP932 cannot hold as itself (it would be stored as "?" or
/// as a look-alike that reads back as another character).
bool WriteIniSetting(const std::filesystem::path& file, std::string_view section,
                     std::string_view key, std::string_view value);

/// Converts `source` to the type that `target` holds on entry and stores it in `target`:
/// numbers (decimal, with sign, fraction, exponent; integers round halves to even) or the
/// 16-bit integer 0 when not numeric, left unchanged when too large for the type; dates
/// (y/m/d or y-m-d, optional h:mm[:ss]) or the empty value; text as it is; "" otherwise.
void ConvValueType(IniValue& target, std::string_view source);

/// Convenience for the system's readers: the value trimmed of spaces, "" when missing.
std::string readIniText(const std::filesystem::path& file, std::string_view section,
                        std::string_view key);

}  // namespace kestrova
