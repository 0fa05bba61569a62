#pragma once

namespace kestrova {

/// HTML's white space: the characters that separate words in markup and in innerText.
/// U+00A0 and the full-width space are text, not white space.
constexpr bool isHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

}  // namespace kestrova
