// The settings-file reader and writer on hostile files and names.
//
// Input: four fields, each ended by a backslash and one other byte ("\\\\" is a backslash
// inside a field; FuzzedDataProvider::ConsumeRandomLengthString): section, key, value and a
// second key; the rest is the file as it stands on disk.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fuzzer/FuzzedDataProvider.h>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <variant>

#include "base/cp932.h"
#include "fuzz_checks.h"
#include "services/ini_file.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using fuzz::check;

/// One folder per process, removed at exit, so parallel jobs do not share a file.
const fs::path& iniFile() {
    static const fs::path file = [] {
        std::string pattern = (fs::temp_directory_path() / "kestrova-fuzz-ini-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            fuzz::fail("cannot create a temporary folder", pattern);
        }
        static const fs::path folder = pattern;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
        return folder / "Kestrova.Ini";
    }();
    return file;
}

void writeFile(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    check(static_cast<bool>(out.flush()), "cannot write the settings file");
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

std::string readText(std::string_view section, std::string_view key, std::string_view def) {
    IniValue value = std::string();
    check(GetIniSetting(iniFile(), section, key, def, value), "GetIniSetting failed");
    const auto* text = std::get_if<std::string>(&value);
    check(text != nullptr, "GetIniSetting changed a text value to another type");
    return *text;
}

/// Reads the key into every type GetIniSetting converts to.
void readAsEveryType(std::string_view section, std::string_view key, std::string_view def) {
    const IniValue kinds[] = {std::monostate{}, false,     std::int16_t{0},
                              std::int32_t{0},  0.0f,      0.0,
                              Currency{},       IniDate{}, std::string()};
    for (const IniValue& kind : kinds) {
        IniValue value = kind;
        check(GetIniSetting(iniFile(), section, key, def, value), "GetIniSetting failed");
        if (const auto* text = std::get_if<std::string>(&value)) {
            // Text read from the file is UTF-8; only the caller's default comes back as it is.
            check(fuzz::isUtf8(*text) || *text == def, "a setting read as invalid UTF-8", *text);
        } else if (const auto* date = std::get_if<IniDate>(&value)) {
            check(date->day.ok(), "a setting read as an impossible date");
            check(date->timeOfDay >= std::chrono::seconds(0) &&
                      date->timeOfDay < std::chrono::hours(24),
                  "a setting read as an impossible time of day");
        } else if (const auto* number = std::get_if<float>(&value)) {
            check(std::isfinite(*number), "a setting read as an infinite float");
        } else if (const auto* number = std::get_if<double>(&value)) {
            check(std::isfinite(*number), "a setting read as an infinite double");
        }
    }
    const std::string trimmed = readIniText(iniFile(), section, key);
    check(!trimmed.starts_with(' ') && !trimmed.ends_with(' '), "readIniText kept spaces", trimmed);
    check(fuzz::isUtf8(trimmed), "readIniText gave invalid UTF-8", trimmed);
}

/// A value whose reading back the header's promises fully decide: reading trims nothing and
/// unquotes nothing in it.
bool isPlainValue(std::string_view value) {
    return value.empty() ||
           !(isBlank(value.front()) || isBlank(value.back()) || value.front() == '"' ||
             value.front() == '\'' || value.back() == '"' || value.back() == '\'');
}

/// The bytes that differ between `before` and `after` lie within one line of `before`: every
/// other line stays byte for byte.
void checkOneLineChanged(std::string_view before, std::string_view after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    const std::string_view removed = before.substr(prefix, before.size() - prefix - suffix);
    // A line end inside the removed bytes is fine only as the last byte of one changed line.
    const std::size_t newline = removed.find('\n');
    check(newline == std::string_view::npos || newline == removed.size() - 1,
          "WriteIniSetting changed more than one line", removed);
}

}  // namespace
}  // namespace kestrova

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova;
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(300);
    const std::string key = input.ConsumeRandomLengthString(300);
    const std::string value = input.ConsumeRandomLengthString(600);
    const std::string otherKey = input.ConsumeRandomLengthString(300);
    const std::string before = input.ConsumeRemainingBytesAsString();
    writeFile(iniFile(), before);

    readAsEveryType(section, key, value);
    readAsEveryType(section, otherKey, "");

    constexpr std::string_view kDefault = "(none)";
    const std::string otherBefore = readText(section, otherKey, kDefault);
    if (!WriteIniSetting(iniFile(), section, key, value)) {
        check(readFile(iniFile()) == before, "a failed WriteIniSetting changed the file", before);
        return 0;
    }
    const std::string after = readFile(iniFile());
    checkOneLineChanged(before, after);

    const std::string readBack = readText(section, key, kDefault);
    const std::string detail = "section=" + section + " key=" + key + " value=" + value +
                               " read=" + readBack + " file before=" + before;
    if (value.empty()) {
        check(readBack == kDefault, "an empty value does not read as the default", detail);
    } else if (isPlainValue(value) && toCp932(value).bytes.size() <= 255) {
        check(readBack == value, "a written value reads back as something else", detail);
    } else if (isPlainValue(value)) {
        check(value.starts_with(readBack) && toCp932(readBack).bytes.size() >= 254,
              "a long value does not read back as its first 255 bytes", detail);
    }
    if (!sameIgnoringAsciiCase(key, otherKey)) {
        check(readText(section, otherKey, kDefault) == otherBefore,
              "writing one key changed another", "key=" + key + " other=" + otherKey);
    }

    // Writing the same value again finds the key where the first write put it.
    check(WriteIniSetting(iniFile(), section, key, value), "a second write failed");
    check(readFile(iniFile()) == after, "writing the same value again changed the file", after);
    return 0;
}
