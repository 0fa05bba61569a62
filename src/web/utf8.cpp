#include <string>
#include <string_view>

#include "base/utf8_text.h"
#include "web/http_request.h"

namespace kestrova {

std::string UTF8_to_UNICODE(std::string_view bytes) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    // A leading byte order mark is not text.
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    std::string text;
    text.reserve(bytes.size());
    if (appendUtf8Replacing(bytes, text) < bytes.size()) {
        text.append("\xEF\xBF\xBD");  // a sequence cut off by the end of the body
    }
    return text;
}

}  // namespace kestrova
