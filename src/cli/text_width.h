#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova::cli {

/// Terminal columns that UTF-8 `text` takes: two for East Asian wide and full-width
/// characters, one for the rest.
std::size_t displayWidth(std::string_view text);

/// `text` followed by spaces up to `width` columns (unchanged when already wider).
std::string padToWidth(std::string_view text, std::size_t width);

}  // namespace kestrova::cli
