#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <iconv.h>
#include <string>
#include <string_view>

namespace kestrova {

/// One iconv conversion descriptor. Not shareable between threads: each user owns one.
class IconvConverter {
  public:
    /// Throws Error when the system cannot convert between the two encodings.
    IconvConverter(const char* to, const char* from);
    ~IconvConverter() { iconv_close(handle_); }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    /// Converts `in` and appends to `out`. At a sequence iconv rejects, `onReject` gets the
    /// rest of the input, appends its replacement to `out` and says how many bytes to skip.
    /// With `keepIncompleteTail`, a sequence cut off by the end of `in` is left unconverted
    /// (the caller joins it to the next piece); otherwise it is rejected too. Returns the
    /// bytes of `in` consumed.
    template <typename OnReject>
    std::size_t convert(std::string_view in, std::string& out, OnReject onReject,
                        bool keepIncompleteTail = false) {
        char* src = const_cast<char*>(in.data());  // iconv never writes through it
        std::size_t srcLeft = in.size();
        while (srcLeft > 0) {
            const std::size_t used = out.size();
            // No supported conversion more than quadruples the byte count.
            out.resize(used + 4 * srcLeft + 16);
            char* dst = out.data() + used;
            std::size_t dstLeft = out.size() - used;
            const std::size_t rc = iconv(handle_, &src, &srcLeft, &dst, &dstLeft);
            const int error = errno;
            out.resize(out.size() - dstLeft);
            if (rc != static_cast<std::size_t>(-1) || error == E2BIG) {
                continue;
            }
            if (error == EINVAL && keepIncompleteTail) {
                break;
            }
            const std::size_t skip =
                std::min(srcLeft, onReject(std::string_view(src, srcLeft), out));
            src += skip;
            srcLeft -= skip;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        return in.size() - srcLeft;
    }

  private:
    iconv_t handle_;
};

}  // namespace kestrova
