#pragma once

#include <string>
#include <string_view>

namespace kestrova {

/// Trims U+0020 only, as the platform's Trim does: tabs, line breaks, U+00A0 and
/// full-width spaces stay.
std::string_view trimSpaces(std::string_view text);

/// Replaces every occurrence of `from` (non-empty) by `to`.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

/// True when every byte is an ASCII digit and the text is not empty.
bool isAsciiDigits(std::string_view text);

/// A-Z to a-z, every other byte unchanged. Names in protocols, settings files and command
/// lines compare this way, whatever the process locale says.
constexpr char toLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string toLowerAscii(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

}  // namespace kestrova
