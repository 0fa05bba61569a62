#include "services/ini_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/new_file.h"
#include "base/text.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

/// The platform reads into a buffer of 256 bytes: at most 255 of them come back.
constexpr std::size_t kMaxValueBytes = 255;
constexpr std::string_view kBlanks = " \t\v\f\r";
constexpr std::string_view kNewLine = "\r\n";

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

/// Position of the ASCII character `wanted` in CP932 text, skipping the trail bytes of
/// double-byte characters (which may look like "]").
std::size_t findInCp932(std::string_view text, char wanted) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == wanted) {
            return i;
        }
        if (isCp932LeadByte(text[i])) {
            ++i;
        }
    }
    return std::string_view::npos;
}

/// The first `kMaxValueBytes` bytes, shortened by one more when the cut would split a
/// double-byte character.
std::string_view cutValue(std::string_view cp932) {
    std::size_t end = 0;
    while (end < cp932.size()) {
        const std::size_t width = isCp932LeadByte(cp932[end]) ? 2 : 1;
        if (end + width > kMaxValueBytes) {
            break;
        }
        end += width;
    }
    return cp932.substr(0, std::min(end, cp932.size()));
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool sameName(std::string_view cp932Name, std::string_view utf8Name) {
    return equalsIgnoringAsciiCase(fromCp932(cp932Name), utf8Name);
}

/// One line of the file as it stands on disk, viewed in place.
struct Line {
    std::string_view text;    ///< without its line end
    std::string_view ending;  ///< "\r\n", "\n", "\r" or "" for a last line without one
};

/// Walks the lines of a file one at a time: a file of millions of short lines costs no more
/// memory than its bytes. Lines end in CR LF, LF or a lone CR, as the platform reads them.
class LineReader {
  public:
    explicit LineReader(std::string_view bytes) : rest_(bytes) {}

    bool next(Line& line) {
        if (rest_.empty()) {
            return false;
        }
        const auto end = rest_.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            line = {rest_, {}};
            rest_ = {};
            return true;
        }
        const bool crlf = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
        const std::size_t endingLength = crlf ? 2 : 1;
        line = {rest_.substr(0, end), rest_.substr(end, endingLength)};
        rest_.remove_prefix(end + endingLength);
        return true;
    }

  private:
    std::string_view rest_;
};

struct ParsedLine {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string_view name;   ///< section or key name, trimmed
    std::string_view value;  ///< key lines: the value, trimmed, quotes kept
};

ParsedLine parseLine(std::string_view line) {
    const auto text = trimBlanks(line);
    if (text.empty() || text.front() == ';') {
        return {};
    }
    if (text.front() == '[') {
        // Text after the first "]" is ignored; a missing "]" still opens the section.
        const auto name = text.substr(1, findInCp932(text.substr(1), ']'));
        return {ParsedLine::kSection, trimBlanks(name), {}};
    }
    // "=" is below the trail byte range, so a plain search is safe in CP932.
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    return {ParsedLine::kKey, trimBlanks(text.substr(0, equals)),
            trimBlanks(text.substr(equals + 1))};
}

/// Where a key stands in a file: its lines, viewed in the file's bytes.
struct KeyLocation {
    std::optional<Line> section;  ///< header of the first matching section
    std::optional<Line> lastKey;  ///< last key line of that section
    std::optional<Line> key;      ///< first matching key line in it
    std::string_view value;
};

KeyLocation locate(std::string_view bytes, std::string_view section, std::string_view key) {
    KeyLocation found;
    bool inSection = false;
    LineReader lines(bytes);
    for (Line line; lines.next(line);) {
        const auto parsed = parseLine(line.text);
        if (parsed.kind == ParsedLine::kSection) {
            if (found.section) {
                break;  // only the first matching section counts
            }
            inSection = sameName(parsed.name, section);
            if (inSection) {
                found.section = line;
            }
        } else if (inSection && parsed.kind == ParsedLine::kKey) {
            found.lastKey = line;
            if (!found.key && sameName(parsed.name, key)) {
                found.key = line;
                found.value = parsed.value;
            }
        }
    }
    return found;
}

/// Names that would not read back as themselves, or would break the file's lines.
bool isWritable(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool isWritableName(std::string_view name, std::string_view forbidden) {
    return !name.empty() && isWritable(name) && trimBlanks(name) == name &&
           name.find_first_of(forbidden) == std::string_view::npos;
}

std::string withValue(std::string_view bytes, std::string_view section, std::string_view key,
                      std::string_view sectionBytes, std::string_view keyBytes,
                      std::string_view valueBytes) {
    const auto found = locate(bytes, section, key);
    // Offsets of a line's parts: every line is a view into `bytes`.
    const auto offset = [bytes](std::string_view part) {
        return static_cast<std::size_t>(part.data() - bytes.data());
    };
    const auto after = [&](const Line& line) { return offset(line.ending) + line.ending.size(); };
    std::string result;
    result.reserve(bytes.size() + sectionBytes.size() + keyBytes.size() + valueBytes.size() + 8);
    if (found.key) {
        // The stored spelling of the key stays.
        const Line& line = *found.key;
        result.append(bytes.substr(0, offset(line.text)));
        result.append(parseLine(line.text).name).append("=").append(valueBytes);
        result.append(line.ending);
        result.append(bytes.substr(after(line)));
    } else if (found.section) {
        const Line& line = found.lastKey ? *found.lastKey : *found.section;
        result.append(bytes.substr(0, offset(line.text) + line.text.size()));
        result.append(line.ending.empty() ? kNewLine : line.ending);
        result.append(keyBytes).append("=").append(valueBytes).append(kNewLine);
        result.append(bytes.substr(after(line)));
    } else {
        result.append(bytes);
        if (!result.empty() && result.back() != '\n') {
            result.append(kNewLine);
        }
        result.append("[").append(sectionBytes).append("]").append(kNewLine);
        result.append(keyBytes).append("=").append(valueBytes).append(kNewLine);
    }
    return result;
}

bool isReadOnly(const fs::path& file) {
    std::error_code error;
    const auto permissions = fs::status(file, error).permissions();
    return !error && (permissions & fs::perms::owner_write) == fs::perms::none;
}

/// A decimal number as the platform's numeric test accepts it: blanks around, a sign,
/// digits with an optional fraction and exponent.
std::optional<double> parseNumber(std::string_view text) {
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const auto digitsAt = [&](std::size_t pos) {
        std::size_t end = pos;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            ++end;
        }
        return end - pos;
    };
    std::size_t pos = digitsAt(0);
    std::size_t mantissaDigits = pos;
    if (pos < text.size() && text[pos] == '.') {
        const auto fraction = digitsAt(pos + 1);
        mantissaDigits += fraction;
        pos += 1 + fraction;
    }
    if (mantissaDigits == 0) {
        return std::nullopt;
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t exponent = pos + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        const auto digits = digitsAt(exponent);
        if (digits == 0) {
            return std::nullopt;
        }
        pos = exponent + digits;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;  // out of range
    }
    return negative ? -number : number;
}

/// Rounds as the platform's integer conversions do (halves to even); nullopt on overflow.
template <typename Int>
std::optional<Int> roundTo(double number) {
    const double rounded = std::nearbyint(number);
    if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
          rounded <= static_cast<double>(std::numeric_limits<Int>::max()))) {
        return std::nullopt;
    }
    return static_cast<Int>(rounded);
}

std::optional<IniValue> convertNumber(const IniValue& target, double number) {
    if (std::holds_alternative<std::int16_t>(target)) {
        return roundTo<std::int16_t>(number);
    }
    if (std::holds_alternative<std::int32_t>(target)) {
        return roundTo<std::int32_t>(number);
    }
    if (std::holds_alternative<float>(target)) {
        if (std::abs(number) > std::numeric_limits<float>::max()) {
            return std::nullopt;
        }
        return static_cast<float>(number);
    }
    if (std::holds_alternative<double>(target)) {
        return number;
    }
    // Currency: 64-bit, four decimals; the limit keeps the product exact enough to round.
    if (std::abs(number) >= 9.2233720368547e14) {
        return std::nullopt;
    }
    return Currency{static_cast<std::int64_t>(std::nearbyint(number * 10000))};
}

std::optional<int> parseInt(std::string_view text, std::size_t minDigits, std::size_t maxDigits) {
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    const auto digits = static_cast<std::size_t>(end - text.data());
    if (error != std::errc() || end != text.data() + text.size() || digits < minDigits ||
        digits > maxDigits || !isAsciiDigits(text)) {
        return std::nullopt;
    }
    return number;
}

std::vector<std::string_view> splitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (auto pos = text.find(separator); pos != std::string_view::npos;
         pos = text.find(separator)) {
        parts.push_back(text.substr(0, pos));
        text.remove_prefix(pos + 1);
    }
    parts.push_back(text);
    return parts;
}

/// "h:mm" or "h:mm:ss".
std::optional<std::chrono::seconds> parseTime(std::string_view text) {
    const auto parts = splitOn(text, ':');
    if (parts.size() < 2 || parts.size() > 3) {
        return std::nullopt;
    }
    const auto hour = parseInt(parts[0], 1, 2);
    const auto minute = parseInt(parts[1], 2, 2);
    const auto second = parts.size() == 3 ? parseInt(parts[2], 2, 2) : std::optional<int>(0);
    if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    return std::chrono::hours(*hour) + std::chrono::minutes(*minute) +
           std::chrono::seconds(*second);
}

/// "yyyy/m/d" or "yyyy-m-d", optionally followed by a time; or a time alone, which the
/// platform places on its day zero, 30 December 1899.
std::optional<IniDate> parseDate(std::string_view text) {
    text = trimBlanks(text);
    const auto space = text.find(' ');
    const auto datePart = text.substr(0, space);
    if (space == std::string_view::npos && datePart.find(':') != std::string_view::npos) {
        const auto time = parseTime(datePart);
        if (!time) {
            return std::nullopt;
        }
        return IniDate{std::chrono::year(1899) / 12 / 30, *time};
    }
    const char separator = datePart.find('/') != std::string_view::npos ? '/' : '-';
    const auto parts = splitOn(datePart, separator);
    if (parts.size() != 3) {
        return std::nullopt;
    }
    const auto year = parseInt(parts[0], 4, 4);
    const auto month = parseInt(parts[1], 1, 2);
    const auto day = parseInt(parts[2], 1, 2);
    if (!year || !month || !day || *year < 100) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(*year),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    std::chrono::seconds timeOfDay{0};
    if (space != std::string_view::npos) {
        const auto time = parseTime(trimBlanks(text.substr(space)));
        if (!time) {
            return std::nullopt;
        }
        timeOfDay = *time;
    }
    return IniDate{date, timeOfDay};
}

}  // namespace

IniSnapshot::IniSnapshot(const fs::path& file) : path_(file) {
    try {
        readError_ = readRegularFile(file, bytes_);
    } catch (const std::bad_alloc&) {
        readError_ = std::make_error_code(std::errc::not_enough_memory);
    }
    // A missing file, or a folder on its path that is missing, reads as one without keys.
    if (readError_ == std::errc::no_such_file_or_directory ||
        readError_ == std::errc::not_a_directory) {
        readError_.clear();
    }
    if (readError_) {
        bytes_ = {};
    }
}

bool IniSnapshot::get(std::string_view section, std::string_view key, std::string_view def,
                      IniValue& value) const {
    if (readError_) {
        return false;
    }
    try {
        const auto found = locate(bytes_, section, key);
        std::string copied;
        if (found.key) {
            copied = fromCp932(cutValue(unquote(found.value)));
        } else {
            const auto defBytes = toCp932(def.substr(0, def.find_last_not_of(' ') + 1)).bytes;
            copied = fromCp932(cutValue(defBytes));
        }
        if (copied.empty()) {
            value = std::string(def);
            return true;
        }
        ConvValueType(value, copied);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string IniSnapshot::text(std::string_view section, std::string_view key) const {
    IniValue value = std::string();
    if (!get(section, key, "", value)) {
        return {};
    }
    const auto* text = std::get_if<std::string>(&value);
    return text ? std::string(trimSpaces(*text)) : std::string();
}

bool GetIniSetting(const fs::path& file, std::string_view section, std::string_view key,
                   std::string_view def, IniValue& value) {
    try {
        return IniSnapshot(file).get(section, key, def, value);
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteIniSetting(const fs::path& file, std::string_view section, std::string_view key,
                     std::string_view value) {
    try {
        if (!isWritableName(section, "]") || !isWritableName(key, "=") || key.front() == ';' ||
            key.front() == '[' || !isWritable(value)) {
            return false;
        }
        const auto sectionBytes = toCp932(section);
        const auto keyBytes = toCp932(key);
        const auto valueBytes = toCp932(value);
        // A "?" in place of a character, or a look-alike CP932 has in its place ("¥" is
        // stored as "\", "〜" reads back as "～"), would not read back: keep the stored value.
        if (sectionBytes.unmappable + keyBytes.unmappable + valueBytes.unmappable > 0 ||
            fromCp932(sectionBytes.bytes) != section || fromCp932(keyBytes.bytes) != key ||
            fromCp932(valueBytes.bytes) != value) {
            return false;
        }
        std::string bytes;
        const auto error = readRegularFile(file, bytes);
        const bool missing =
            error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
        if ((error && !missing) || (!missing && isReadOnly(file))) {
            return false;
        }
        const auto updated =
            withValue(bytes, section, key, sectionBytes.bytes, keyBytes.bytes, valueBytes.bytes);
        if (!missing && updated == bytes) {
            return true;
        }
        writeFileAtomically(file, updated);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void ConvValueType(IniValue& target, std::string_view source) {
    try {
        if (std::holds_alternative<std::string>(target)) {
            target = std::string(source);
        } else if (std::holds_alternative<IniDate>(target)) {
            const auto date = parseDate(source);
            target = date ? IniValue(*date) : IniValue();
        } else if (std::holds_alternative<std::int16_t>(target) ||
                   std::holds_alternative<std::int32_t>(target) ||
                   std::holds_alternative<float>(target) ||
                   std::holds_alternative<double>(target) ||
                   std::holds_alternative<Currency>(target)) {
            const auto number = parseNumber(source);
            if (!number) {
                target = std::int16_t{0};
                return;
            }
            // A number too large for the type is a conversion error: the target stays.
            if (auto converted = convertNumber(target, *number)) {
                target = std::move(*converted);
            }
        } else {
            target = std::string();
        }
    } catch (const std::exception&) {
        // Ends quietly with the target unchanged, as every settings accessor does.
    }
}

std::string readIniText(const fs::path& file, std::string_view section, std::string_view key) {
    try {
        return IniSnapshot(file).text(section, key);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace kestrova
