#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "web/html_tables.h"

namespace kestrova {

struct CoreContext;

/// The start-up checks' way of reading a small page of the member server: logs `tag` at
/// trace level, GETs `url` without looking at the status (an error page simply lacks what
/// `read` looks for), then logs `tag` + "1", parses the tables, logs `tag` + "2", hands them
/// to `read` and logs `tag` + "3". A failure anywhere, `read`'s own included, is logged and
/// shown as the warning "tag<<description>>"; the result is then false.
bool readServerPage(CoreContext& ctx, std::string_view tag, const std::string& url,
                    const std::function<void(const std::vector<HtmlTable>&)>& read);

}  // namespace kestrova
