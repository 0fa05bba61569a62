#include "zlib_text.h"

#include <stdexcept>
#include <zlib.h>

namespace kestrova::test {

std::string inflateText(std::string_view compressed, Wrapper wrapper) {
    z_stream z{};
    // Only the wrapper asked for: a zlib stream sent as gzip must fail.
    if (inflateInit2(&z, wrapper == Wrapper::Gzip ? 16 + MAX_WBITS : MAX_WBITS) != Z_OK) {
        throw std::runtime_error("inflateInit2");
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    std::string out;
    int rc = Z_OK;
    while (rc == Z_OK) {
        char buf[65536];
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
        if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            break;
        }
    }
    const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    if (!whole) {
        throw std::runtime_error("not one whole compressed stream");
    }
    return out;
}

}  // namespace kestrova::test
