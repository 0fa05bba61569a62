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

}  // namespace kestrova
