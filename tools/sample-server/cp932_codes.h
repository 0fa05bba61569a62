#pragma once

#include <cstdint>
#include <vector>

namespace kestrova::sample {

/// The CP932 bytes of every BMP character as glibc's iconv "CP932" writes them, indexed by
/// code point: 0 when CP932 has no such character, below 0x100 a single byte, otherwise a
/// lead and a trail byte. The same table on every system, so that pages are byte for byte
/// the same.
std::vector<std::uint16_t> cp932CodesOfBmp();

}  // namespace kestrova::sample
