#include <string>
#include <zlib.h>

#include <gtest/gtest.h>

#include "web/content_decoder.h"

namespace kestrova {
namespace {

/// `text` compressed with the window bits zlib takes: 16 + 15 gzip, 15 zlib, -15 raw.
std::string compressed(const std::string& text, int windowBits) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

/// Decodes `body` in pieces of `piece` bytes.
std::string decoded(std::string_view encoding, const std::string& body, std::size_t piece) {
    ContentDecoder decoder(encoding);
    std::string out;
    for (std::size_t at = 0; at < body.size(); at += piece) {
        decoder.decode(std::string_view(body).substr(at, piece), out);
    }
    decoder.finish();
    return out;
}

const std::string kPage = [] {
    std::string page = "<table>";
    for (int i = 0; i < 2000; ++i) {
        page += "<tr><td>" + std::to_string(i * 7919 % 1000) + "</td><td>馬</td></tr>";
    }
    return page + "</table>";
}();

TEST(ContentDecoder, InflatesEveryEncodingAServerMaySendInAnyPieces) {
    for (const auto& [encoding, bits] :
         {std::pair{"gzip", 16 + MAX_WBITS}, std::pair{"x-gzip", 16 + MAX_WBITS},
          std::pair{"deflate", MAX_WBITS}, std::pair{"Deflate", -MAX_WBITS}}) {
        const std::string body = compressed(kPage, bits);
        for (const std::size_t piece :
             {std::size_t{1}, std::size_t{2}, std::size_t{1000}, body.size()}) {
            EXPECT_EQ(decoded(encoding, body, piece), kPage) << encoding << " " << piece;
        }
    }
    // A raw stream has no trailer: inflating must not stop at the end of the input while
    // output it owes is still inside zlib.
    for (std::size_t size = 64 * 1024 - 8; size < 64 * 1024 + 300; ++size) {
        const std::string zeros(size, '\0');
        const std::string raw = compressed(zeros, -MAX_WBITS);
        ASSERT_NO_THROW(EXPECT_EQ(decoded("deflate", raw, raw.size()).size(), zeros.size()))
            << size;
    }
    EXPECT_EQ(decoded("", kPage, 333), kPage);
    EXPECT_EQ(decoded(" identity ", kPage, 333), kPage);
}

TEST(ContentDecoder, ABodyThatIsNotWhatItClaimsIsRefused) {
    const std::string gzip = compressed(kPage, 16 + MAX_WBITS);
    // Plain bytes claiming gzip, a cut stream, bytes after the end, an unknown coding.
    EXPECT_THROW(decoded("gzip", kPage, 4096), ContentEncodingError);
    EXPECT_THROW(decoded("gzip", gzip.substr(0, gzip.size() - 9), 4096), ContentEncodingError);
    EXPECT_THROW(decoded("gzip", gzip + "trailing", 4096), ContentEncodingError);
    EXPECT_THROW(ContentDecoder("br"), ContentEncodingError);
    try {
        decoded("deflate", kPage, 4096);
        FAIL() << "plain bytes inflated";
    } catch (const ContentEncodingError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "サーバーの応答を展開できませんでした。圧縮の形式が正しくありません。");
    }
}

TEST(ContentDecoder, GzipOfSeveralMembersReadsAsOneBody) {
    // RFC 1952 lets members follow one another (a server compressing in parts, `cat a.gz
    // b.gz`); an empty member among them adds nothing.
    constexpr int kGzip = 16 + MAX_WBITS;
    const std::string body = compressed(kPage.substr(0, 5000), kGzip) +
                             compressed(kPage.substr(5000), kGzip) + compressed("", kGzip);
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{7}, std::size_t{1000}, body.size()}) {
        EXPECT_EQ(decoded("gzip", body, piece), kPage) << piece;
    }
    // A later member cut short is a cut body; the zlib wrapper holds one stream only.
    EXPECT_THROW(decoded("gzip", body.substr(0, body.size() - 30), 1000), ContentEncodingError);
    EXPECT_THROW(decoded("gzip", body + "\x1f", 1000), ContentEncodingError);
    const std::string zlib = compressed(kPage, MAX_WBITS);
    EXPECT_THROW(decoded("deflate", zlib + zlib, 1000), ContentEncodingError);
}

TEST(ContentDecoder, RawDeflateFedByteByByteStillFindsItsKind) {
    // The kind is told by the first two bytes, which may arrive apart.
    EXPECT_EQ(decoded("deflate", compressed("<html>", -MAX_WBITS), 1), "<html>");
    EXPECT_EQ(decoded("deflate", compressed("<html>", MAX_WBITS), 1), "<html>");
}

}  // namespace
}  // namespace kestrova
