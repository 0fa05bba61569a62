#include "services/cp932.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <optional>

#include "services/errors.h"
#include "services/utf8_text.h"

namespace kestrova {
namespace {

bool isAscii(unsigned char byte) {
    return byte < 0x80;
}

/// One iconv conversion descriptor; not shareable between threads, so each call owns one.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) {
            throw Error(std::string("文字コードの変換を準備できませんでした。(") + from + " -> " +
                        to + ")");
        }
    }
    ~Iconv() { iconv_close(handle_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    /// Converts `in` and appends to `out`. At a sequence iconv rejects, `onReject` gets the
    /// rest of the input, appends its replacement to `out` and says how many bytes to skip.
    template <typename OnReject>
    void convert(std::string_view in, std::string& out, OnReject onReject) {
        char* src = const_cast<char*>(in.data());  // iconv never writes through it
        std::size_t srcLeft = in.size();
        while (srcLeft > 0) {
            const std::size_t used = out.size();
            // Both directions at most triple the byte count; one more byte covers a short tail.
            out.resize(used + 3 * srcLeft + 1);
            char* dst = out.data() + used;
            std::size_t dstLeft = out.size() - used;
            const std::size_t rc = iconv(handle_, &src, &srcLeft, &dst, &dstLeft);
            const int error = errno;
            out.resize(out.size() - dstLeft);
            if (rc != static_cast<std::size_t>(-1)) {
                break;
            }
            if (error == E2BIG) {
                continue;
            }
            const std::size_t skip =
                std::min(srcLeft, onReject(std::string_view(src, srcLeft), out));
            src += skip;
            srcLeft -= skip;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
    }

  private:
    iconv_t handle_;
};

}  // namespace

Cp932Text toCp932(std::string_view utf8) {
    Cp932Text result;
    result.bytes.reserve(utf8.size());
    std::optional<Iconv> converter;
    // ASCII is the same in both encodings and is most of what is written: copy it as it
    // stands and hand only the runs of other characters to iconv.
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        auto end = pos;
        while (end < utf8.size() && isAscii(static_cast<unsigned char>(utf8[end]))) {
            ++end;
        }
        result.bytes.append(utf8, pos, end - pos);
        pos = end;
        while (end < utf8.size() && !isAscii(static_cast<unsigned char>(utf8[end]))) {
            ++end;
        }
        if (end == pos) {
            break;
        }
        if (!converter) {
            converter.emplace("CP932", "UTF-8");
        }
        converter->convert(utf8.substr(pos, end - pos), result.bytes,
                           [&](std::string_view rest, std::string& out) {
                               out.push_back('?');
                               ++result.unmappable;
                               return std::max<std::size_t>(1, utf8SequenceLength(rest));
                           });
        pos = end;
    }
    return result;
}

std::string fromCp932(std::string_view cp932) {
    // A trail byte may be ASCII, so once a lead byte appears the rest goes through iconv whole.
    const auto firstHigh = std::find_if(
        cp932.begin(), cp932.end(), [](char c) { return !isAscii(static_cast<unsigned char>(c)); });
    const auto asciiLength = static_cast<std::size_t>(firstHigh - cp932.begin());
    std::string result(cp932.substr(0, asciiLength));
    if (asciiLength == cp932.size()) {
        return result;
    }
    Iconv converter("UTF-8", "CP932");
    converter.convert(cp932.substr(asciiLength), result, [](std::string_view, std::string& out) {
        out.append("\xEF\xBF\xBD");  // U+FFFD
        return std::size_t{1};
    });
    return result;
}

}  // namespace kestrova
