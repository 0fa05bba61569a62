#pragma once

#include <string>
#include <string_view>

namespace kestrova::test {

enum class Wrapper { Gzip, Zlib };

/// The inflated bytes of a gzip or zlib stream; throws unless it is exactly one whole stream.
std::string inflateText(std::string_view compressed, Wrapper wrapper);

}  // namespace kestrova::test
