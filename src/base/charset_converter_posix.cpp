#include <cerrno>
#include <iconv.h>

#include "base/charset_converter.h"
#include "base/errors.h"

namespace kestrova {

struct CharsetConverter::Impl {
    iconv_t handle;
};

CharsetConverter::CharsetConverter(const char* to, const char* from)
    : impl_(std::make_unique<Impl>(Impl{iconv_open(to, from)})) {
    if (impl_->handle == reinterpret_cast<iconv_t>(-1)) {
        throw Error(std::string("文字コードの変換を準備できませんでした。(") + from + " -> " + to +
                    ")");
    }
}

CharsetConverter::~CharsetConverter() {
    iconv_close(impl_->handle);
}

CharsetConverter::Step CharsetConverter::step(std::string_view in, std::string& out) {
    char* src = const_cast<char*>(in.data());  // iconv never writes through it
    std::size_t srcLeft = in.size();
    while (srcLeft > 0) {
        const std::size_t used = out.size();
        // No supported conversion more than quadruples the byte count.
        out.resize(used + 4 * srcLeft + 16);
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        const std::size_t rc = iconv(impl_->handle, &src, &srcLeft, &dst, &dstLeft);
        const int error = errno;
        out.resize(out.size() - dstLeft);
        if (rc != static_cast<std::size_t>(-1) || error == E2BIG) {
            continue;
        }
        return {in.size() - srcLeft, error == EINVAL ? Stop::Incomplete : Stop::Invalid};
    }
    return {in.size(), Stop::End};
}

void CharsetConverter::reset() {
    iconv(impl_->handle, nullptr, nullptr, nullptr, nullptr);
}

bool canConvertToUtf8(const char* encoding) {
    const iconv_t handle = iconv_open("UTF-8", encoding);
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    iconv_close(handle);
    return true;
}

}  // namespace kestrova
