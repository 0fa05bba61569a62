#include "web/content_decoder.h"

#include <zlib.h>

#include "base/text.h"

namespace kestrova {

namespace {

enum class Coding { Identity, Gzip, Deflate, Unknown };

Coding codingOf(std::string_view contentEncoding) {
    const std::string name = toLowerAscii(trimSpaces(contentEncoding));
    if (name.empty() || name == "identity") {
        return Coding::Identity;
    }
    if (name == "gzip" || name == "x-gzip") {
        return Coding::Gzip;
    }
    if (name == "deflate") {
        return Coding::Deflate;
    }
    return Coding::Unknown;
}

[[noreturn]] void badBody() {
    throw ContentEncodingError(
        "サーバーの応答を展開できませんでした。圧縮の形式が正しくありません。");
}

// zlib's window bits: 16 + 15 reads gzip, 15 the zlib wrapper, -15 raw deflate.
constexpr int kGzipBits = 16 + MAX_WBITS;
constexpr int kZlibBits = MAX_WBITS;
constexpr int kRawBits = -MAX_WBITS;
constexpr std::size_t kOutPiece = 64 * 1024;

}  // namespace

struct ContentDecoder::Zlib {
    explicit Zlib(int bits) : windowBits(bits) { init(); }
    ~Zlib() { inflateEnd(&stream); }

    void init() {
        stream = z_stream{};
        if (inflateInit2(&stream, windowBits) != Z_OK) {
            throw ContentEncodingError("圧縮された応答を展開する準備ができませんでした。");
        }
    }

    /// More follows a stream's end: gzip allows several members one after another (RFC 1952),
    /// which read as one body; anything else there is not part of the body.
    void nextMember() {
        if (windowBits != kGzipBits || inflateReset(&stream) != Z_OK) {
            badBody();
        }
        ended = false;
    }

    z_stream stream{};
    int windowBits;
    bool ended = false;
    /// "deflate" comes with the zlib wrapper or, from some servers, raw: the first two
    /// bytes tell, so they wait here until both are in.
    bool deciding = false;
    std::string head;
};

ContentDecoder::ContentDecoder(std::string_view contentEncoding) {
    switch (codingOf(contentEncoding)) {
        case Coding::Identity:
            break;
        case Coding::Gzip:
            zlib_ = std::make_unique<Zlib>(kGzipBits);
            break;
        case Coding::Deflate:
            zlib_ = std::make_unique<Zlib>(kZlibBits);
            zlib_->deciding = true;
            break;
        case Coding::Unknown:
            throw ContentEncodingError("サーバーの応答の圧縮形式「" +
                                       std::string(trimSpaces(contentEncoding)) +
                                       "」は展開できません。");
    }
}

ContentDecoder::~ContentDecoder() = default;

void ContentDecoder::decode(std::string_view piece, std::string& out) {
    if (!zlib_) {
        out.append(piece);
        return;
    }
    Zlib& z = *zlib_;
    if (z.deciding) {
        z.head.append(piece);
        if (z.head.size() < 2) {
            return;
        }
        z.deciding = false;
        const auto cmf = static_cast<unsigned char>(z.head[0]);
        const auto flg = static_cast<unsigned char>(z.head[1]);
        const bool wrapped = (cmf & 0x0F) == Z_DEFLATED && (cmf * 256 + flg) % 31 == 0;
        if (!wrapped) {
            inflateEnd(&z.stream);
            z.windowBits = kRawBits;
            z.init();
        }
        const std::string head = std::move(z.head);
        decode(head, out);
        return;
    }
    if (z.ended) {
        if (piece.empty()) {
            return;
        }
        z.nextMember();  // bytes after the end of the compressed stream
    }
    z.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    z.stream.avail_in = static_cast<uInt>(piece.size());
    // A full output buffer may leave output inside zlib although all input is in: go on
    // until a call leaves room.
    bool outputFull = false;
    while (z.stream.avail_in > 0 || outputFull) {
        const std::size_t used = out.size();
        out.resize(used + kOutPiece);
        z.stream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        z.stream.avail_out = static_cast<uInt>(kOutPiece);
        const int rc = inflate(&z.stream, Z_NO_FLUSH);
        outputFull = z.stream.avail_out == 0;
        out.resize(out.size() - z.stream.avail_out);
        if (rc == Z_STREAM_END) {
            z.ended = true;
            if (z.stream.avail_in == 0) {
                return;
            }
            z.nextMember();
            continue;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            badBody();
        }
        if (rc == Z_BUF_ERROR && z.stream.avail_out > 0) {
            break;  // needs more input
        }
    }
}

void ContentDecoder::finish() {
    if (zlib_ && !zlib_->ended) {
        throw ContentEncodingError("サーバーからの圧縮された応答が途中で途切れました。");
    }
}

}  // namespace kestrova
