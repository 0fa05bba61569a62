#include "content_coding.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <zlib.h>

namespace kestrova::sample {
namespace {

constexpr int kLevel = 6;  // zlib's default: the sizes a typical server sends

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

/// A qvalue in thousandths; -1 when malformed.
int qValue(std::string_view text) {
    if (text.empty() || (text[0] != '0' && text[0] != '1')) {
        return -1;
    }
    int value = (text[0] - '0') * 1000;
    if (text.size() == 1) {
        return value;
    }
    if (text[1] != '.' || text.size() > 5) {
        return -1;
    }
    int scale = 100;
    for (const char c : text.substr(2)) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value += (c - '0') * scale;
        scale /= 10;
    }
    return value <= 1000 ? value : -1;
}

void putLittle(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

void putBig(std::string& out, std::uint32_t value) {
    for (int i = 3; i >= 0; --i) {
        out += static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

}  // namespace

std::string_view codingName(Coding coding) {
    switch (coding) {
        case Coding::Gzip:
            return "gzip";
        case Coding::Deflate:
            return "deflate";
        default:
            return "identity";
    }
}

Coding chooseCoding(std::string_view acceptEncoding) {
    // -1: not listed
    int gzip = -1, xGzip = -1, deflate = -1, identity = -1, any = -1;
    std::size_t start = 0;
    while (start <= acceptEncoding.size()) {
        const std::size_t end = std::min(acceptEncoding.find(',', start), acceptEncoding.size());
        const std::string_view member = acceptEncoding.substr(start, end - start);
        start = end + 1;
        const std::size_t semi = member.find(';');
        const std::string_view name = trim(member.substr(0, semi));
        int q = 1000;
        for (std::size_t p = semi; p != std::string_view::npos;) {
            const std::size_t next = member.find(';', p + 1);
            const std::string_view param = trim(member.substr(p + 1, next - p - 1));
            const std::size_t eq = param.find('=');
            if (eq != std::string_view::npos && equalsNoCase(trim(param.substr(0, eq)), "q")) {
                q = qValue(trim(param.substr(eq + 1)));
            }
            p = next;
        }
        if (name.empty() || q < 0) {
            continue;  // a malformed member counts as not listed
        }
        const std::pair<int*, std::string_view> slots[] = {{&gzip, "gzip"},
                                                           {&xGzip, "x-gzip"},
                                                           {&deflate, "deflate"},
                                                           {&identity, "identity"},
                                                           {&any, "*"}};
        for (const auto& [slot, coding] : slots) {
            // The first mention of a coding counts.
            if (*slot < 0 && equalsNoCase(name, coding)) {
                *slot = q;
            }
        }
    }
    const int gzipQ = gzip >= 0 ? gzip : xGzip >= 0 ? xGzip : std::max(any, 0);
    const int deflateQ = deflate >= 0 ? deflate : std::max(any, 0);
    const int best = std::max(gzipQ, deflateQ);
    if (best == 0 || identity > best) {
        return Coding::Identity;
    }
    return gzipQ >= deflateQ ? Coding::Gzip : Coding::Deflate;
}

Content::Content(std::string plain) : plain_(std::move(plain)) {
    const auto* data = reinterpret_cast<const Bytef*>(plain_.data());
    crc_ = static_cast<std::uint32_t>(crc32_z(0, data, plain_.size()));
    adler_ = static_cast<std::uint32_t>(adler32_z(1, data, plain_.size()));
}

std::string Content::hash() const {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%08x%08x", crc_, adler_);
    return buf;
}

const std::string& Content::deflated() const {
    std::call_once(deflateOnce_, [this] {
        z_stream z{};
        if (deflateInit2(&z, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::runtime_error("zlib cannot compress");
        }
        std::string out(deflateBound(&z, plain_.size()), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain_.data()));
        z.avail_in = static_cast<uInt>(plain_.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = deflate(&z, Z_FINISH);
        out.resize(z.total_out);
        deflateEnd(&z);
        if (rc != Z_STREAM_END) {
            throw std::runtime_error("zlib cannot compress");
        }
        deflated_ = std::move(out);
    });
    return deflated_;
}

StreamedBody::Text plainText(const std::shared_ptr<const Content>& content) {
    return {content, &content->plain()};
}

StreamedBody encodedBody(const std::shared_ptr<const Content>& content, Coding coding) {
    StreamedBody body;
    if (coding == Coding::Identity) {
        body.append(plainText(content));
        return body;
    }
    // The compressed data stays in the content; the body only points into it.
    const auto data = std::shared_ptr<const std::string>(content, &content->deflated());
    std::string header, trailer;
    if (coding == Coding::Gzip) {
        // No name, no time stamp, Unix.
        header = std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
        putLittle(trailer, content->crc_);
        putLittle(trailer, static_cast<std::uint32_t>(content->plain_.size()));
    } else {
        header = "\x78\x9c";  // 32 KiB window, default level
        putBig(trailer, content->adler_);
    }
    body.append(std::move(header));
    body.append(data);
    body.append(std::move(trailer));
    return body;
}

}  // namespace kestrova::sample
