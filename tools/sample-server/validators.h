#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::sample {

/// An IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT".
std::string httpDate(std::time_t time);
/// An HTTP date in any of its three forms (IMF-fixdate, RFC 850, asctime); nullopt otherwise.
std::optional<std::time_t> parseHttpDate(std::string_view text);

/// True when an If-None-Match value ("*" or a list of entity tags, several fields joined with
/// commas) holds "*" or a tag weakly equal to `etag`, i.e. the same ignoring "W/".
bool noneMatchHits(std::string_view ifNoneMatch, std::string_view etag);

}  // namespace kestrova::sample
