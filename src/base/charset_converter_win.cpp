#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/charset_converter.h"
#include "base/errors.h"
#include "base/utf8_text.h"
#include "base/windows_text.h"

// Windows has no iconv: the code pages convert, and where their tables differ from what
// glibc's iconv gives on Linux, the Linux answer wins, so that both builds read and write the
// same bytes.

namespace kestrova {
namespace {

enum class Kind { Utf8, Utf16Le, Utf16Be, CodePage, Iso2022Jp };

struct Codec {
    Kind kind = Kind::CodePage;
    unsigned codePage = 0;
};

struct NamedCodec {
    std::string_view name;
    Codec codec;
};

// Encodings as iconv names them, and the code page that reads each on Windows.
constexpr std::array kCodecs{
    NamedCodec{"UTF-8", {Kind::Utf8, CP_UTF8}},
    NamedCodec{"UTF8", {Kind::Utf8, CP_UTF8}},
    NamedCodec{"UTF-16LE", {Kind::Utf16Le, 1200}},
    NamedCodec{"UTF-16BE", {Kind::Utf16Be, 1201}},
    NamedCodec{"CP932", {Kind::CodePage, 932}},
    NamedCodec{"WINDOWS-31J", {Kind::CodePage, 932}},
    NamedCodec{"MS932", {Kind::CodePage, 932}},
    NamedCodec{"EUC-JP", {Kind::CodePage, 20932}},
    NamedCodec{"EUCJP", {Kind::CodePage, 20932}},
    NamedCodec{"ISO-2022-JP", {Kind::Iso2022Jp, 20932}},
    NamedCodec{"CSISO2022JP", {Kind::Iso2022Jp, 20932}},
    NamedCodec{"US-ASCII", {Kind::CodePage, 20127}},
    NamedCodec{"ASCII", {Kind::CodePage, 20127}},
    NamedCodec{"CP1250", {Kind::CodePage, 1250}},
    NamedCodec{"WINDOWS-1250", {Kind::CodePage, 1250}},
    NamedCodec{"CP1251", {Kind::CodePage, 1251}},
    NamedCodec{"WINDOWS-1251", {Kind::CodePage, 1251}},
    NamedCodec{"CP1252", {Kind::CodePage, 1252}},
    NamedCodec{"WINDOWS-1252", {Kind::CodePage, 1252}},
    NamedCodec{"CP1253", {Kind::CodePage, 1253}},
    NamedCodec{"WINDOWS-1253", {Kind::CodePage, 1253}},
    NamedCodec{"CP1254", {Kind::CodePage, 1254}},
    NamedCodec{"WINDOWS-1254", {Kind::CodePage, 1254}},
    NamedCodec{"CP1257", {Kind::CodePage, 1257}},
    NamedCodec{"WINDOWS-1257", {Kind::CodePage, 1257}},
    NamedCodec{"ISO-8859-1", {Kind::CodePage, 28591}},
    NamedCodec{"ISO-8859-2", {Kind::CodePage, 28592}},
    NamedCodec{"ISO-8859-3", {Kind::CodePage, 28593}},
    NamedCodec{"ISO-8859-4", {Kind::CodePage, 28594}},
    NamedCodec{"ISO-8859-5", {Kind::CodePage, 28595}},
    NamedCodec{"ISO-8859-7", {Kind::CodePage, 28597}},
    NamedCodec{"ISO-8859-9", {Kind::CodePage, 28599}},
    NamedCodec{"ISO-8859-13", {Kind::CodePage, 28603}},
    NamedCodec{"ISO-8859-15", {Kind::CodePage, 28605}},
    NamedCodec{"KOI8-R", {Kind::CodePage, 20866}},
    NamedCodec{"KOI8-U", {Kind::CodePage, 21866}},
};

std::optional<Codec> findCodec(std::string_view name) {
    for (const NamedCodec& named : kCodecs) {
        if (named.name == name) {
            if (named.codec.kind == Kind::CodePage && !IsValidCodePage(named.codec.codePage)) {
                return std::nullopt;
            }
            return named.codec;
        }
    }
    return std::nullopt;
}

/// The text read so far as UTF-16, each unit with the offset of its character in the input.
struct Wide {
    std::wstring units;
    std::vector<std::size_t> offsets;

    void add(wchar_t unit, std::size_t offset) {
        units.push_back(unit);
        offsets.push_back(offset);
    }
    void addCodePoint(char32_t cp, std::size_t offset) {
        if (cp >= 0x10000) {
            add(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)), offset);
            add(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)), offset);
        } else {
            add(static_cast<wchar_t>(cp), offset);
        }
    }
};

using Stop = CharsetConverter::Stop;

/// How far reading stopped: the input consumed and why.
struct Read {
    std::size_t consumed = 0;
    Stop stop = Stop::End;
};

Read readUtf8(std::string_view in, Wide& wide) {
    const Utf8Scan scan = scanUtf8(in);
    std::size_t pos = 0;
    while (pos < scan.validLength) {
        const auto lead = static_cast<unsigned char>(in[pos]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            cp = (cp << 6) | (static_cast<unsigned char>(in[pos + i]) & 0x3F);
        }
        wide.addCodePoint(cp, pos);
        pos += length;
    }
    if (pos == in.size()) {
        return {pos, Stop::End};
    }
    return {pos, pos + scan.incompleteTail == in.size() && scan.incompleteTail > 0
                     ? Stop::Incomplete
                     : Stop::Invalid};
}

Read readUtf16(std::string_view in, bool bigEndian, Wide& wide) {
    std::size_t pos = 0;
    const auto unitAt = [&](std::size_t at) {
        const auto first = static_cast<unsigned char>(in[at]);
        const auto second = static_cast<unsigned char>(in[at + 1]);
        return static_cast<wchar_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    while (pos + 2 <= in.size()) {
        const wchar_t unit = unitAt(pos);
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return {pos, Stop::Invalid};
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (pos + 4 > in.size()) {
                return {pos, Stop::Incomplete};
            }
            const wchar_t low = unitAt(pos + 2);
            if (low < 0xDC00 || low > 0xDFFF) {
                return {pos, Stop::Invalid};
            }
            wide.add(unit, pos);
            wide.add(low, pos);
            pos += 4;
            continue;
        }
        wide.add(unit, pos);
        pos += 2;
    }
    return {pos, pos == in.size() ? Stop::End : Stop::Incomplete};
}

/// One character of a code page through the system, or nothing when it is not in it.
std::optional<char32_t> systemDecodes(unsigned codePage, std::string_view bytes) {
    wchar_t units[2];
    const int got = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                        static_cast<int>(bytes.size()), units, 2);
    if (got == 1) {
        return units[0];
    }
    if (got == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF) {
        return 0x10000 + ((units[0] - 0xD800) << 10) + (units[1] - 0xDC00);
    }
    return std::nullopt;
}

// Where glibc and the Windows tables part (found by converting every character both ways on
// each system): what Linux gives.
struct DecodeQuirk {
    unsigned codePage;
    std::uint16_t bytes;  ///< one byte, or lead and trail
    char32_t onLinux;     ///< 0: Linux refuses the bytes
};
constexpr DecodeQuirk kDecodeQuirks[] = {
    {932, 0x80, 0},  {1250, 0x81, 0}, {1250, 0x83, 0}, {1250, 0x88, 0},
    {1250, 0x90, 0}, {1250, 0x98, 0}, {1251, 0x98, 0}, {1252, 0x81, 0},
    {1252, 0x8D, 0}, {1252, 0x8F, 0}, {1252, 0x90, 0}, {1252, 0x9D, 0},
};

struct EncodeQuirk {
    unsigned codePage;
    char32_t unit;
    std::string_view onLinux;  ///< empty: Linux has no bytes for it
};
constexpr EncodeQuirk kEncodeQuirks[] = {
    {932, 0x0080, ""},         {932, 0x00A2, "\x81\x91"}, {932, 0x00A3, "\x81\x92"},
    {932, 0x00A5, "\x5C"},     {932, 0x00AC, "\x81\xCA"}, {932, 0x2014, "\x81\x5C"},
    {932, 0x2016, "\x81\x61"}, {932, 0x203E, "\x7E"},     {932, 0x2212, "\x81\x7C"},
    {932, 0x301C, "\x81\x60"}, {932, 0xF8F0, ""},         {932, 0xF8F1, ""},
    {932, 0xF8F2, ""},         {932, 0xF8F3, ""},
};

std::optional<char32_t> linuxDecodes(unsigned codePage, std::string_view bytes) {
    std::uint16_t code = static_cast<unsigned char>(bytes[0]);
    if (bytes.size() == 2) {
        code = static_cast<std::uint16_t>(code << 8 | static_cast<unsigned char>(bytes[1]));
    }
    // glibc's ASCII is 7 bits; its EUC-JP has no user-defined rows (lead 0xF5 to 0xFE).
    if ((codePage == 20127 && code >= 0x80) || (codePage == 20932 && code >= 0xF500)) {
        return 0;
    }
    for (const DecodeQuirk& quirk : kDecodeQuirks) {
        if (quirk.codePage == codePage && quirk.bytes == code) {
            return quirk.onLinux;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> linuxEncodes(unsigned codePage, wchar_t unit) {
    if (unit < 0x80) {
        return std::nullopt;
    }
    for (const EncodeQuirk& quirk : kEncodeQuirks) {
        if (quirk.codePage == codePage && quirk.unit == static_cast<char32_t>(unit)) {
            return quirk.onLinux;
        }
    }
    return std::nullopt;
}

class CodePageReader {
  public:
    explicit CodePageReader(unsigned codePage) : codePage_(codePage) {
        CPINFO info{};
        doubleByte_ = GetCPInfo(codePage, &info) && info.MaxCharSize == 2;
    }

    /// Decodes `in` into `wide` up to its end or the first byte sequence that
    /// is not a character of the code page.
    Read read(std::string_view in, Wide& wide) const {
        std::size_t pos = 0;
        while (pos < in.size()) {
            const auto lead = static_cast<unsigned char>(in[pos]);
            if (lead < 0x80) {
                wide.add(static_cast<wchar_t>(lead), pos);
                ++pos;
                continue;
            }
            const std::size_t length = doubleByte_ && IsDBCSLeadByteEx(codePage_, lead) ? 2 : 1;
            if (pos + length > in.size()) {
                return {pos, Stop::Incomplete};
            }
            const std::string_view bytes = in.substr(pos, length);
            std::optional<char32_t> cp;
            if (const auto quirk = linuxDecodes(codePage_, bytes)) {
                cp = *quirk;
            } else {
                cp = systemDecodes(codePage_, bytes);
            }
            if (!cp || *cp == 0) {
                return {pos, Stop::Invalid};
            }
            wide.addCodePoint(*cp, pos);
            pos += length;
        }
        return {pos, Stop::End};
    }

  private:
    unsigned codePage_;
    bool doubleByte_ = false;
};

/// ISO-2022-JP as glibc reads it: ASCII, JIS X 0201 Roman and JIS X 0208, switched by escape
/// sequences; JIS X 0208 goes through the EUC-JP code page.
class Iso2022JpReader {
  public:
    enum class Set { Ascii, Roman, Jis0208 };

    Read read(std::string_view in, Wide& wide) {
        std::size_t pos = 0;
        while (pos < in.size()) {
            const auto byte = static_cast<unsigned char>(in[pos]);
            if (byte == 0x1B) {
                const std::string_view rest = in.substr(pos);
                const std::optional<Set> next = escape(rest);
                if (!next) {
                    const bool cutOff =
                        rest.size() < 4 && (std::string_view("\x1B(B").starts_with(rest) ||
                                            std::string_view("\x1B(J").starts_with(rest) ||
                                            std::string_view("\x1B$B").starts_with(rest) ||
                                            std::string_view("\x1B$@").starts_with(rest));
                    return {pos, cutOff ? Stop::Incomplete : Stop::Invalid};
                }
                set_ = *next;
                pos += 3;
                continue;
            }
            if (byte >= 0x80) {
                return {pos, Stop::Invalid};
            }
            if (set_ != Set::Jis0208 || byte < 0x21 || byte == 0x7F) {
                char32_t cp = byte;
                if (set_ == Set::Roman && byte == 0x5C) {
                    cp = 0xA5;
                } else if (set_ == Set::Roman && byte == 0x7E) {
                    cp = 0x203E;
                }
                wide.addCodePoint(cp, pos);
                ++pos;
                continue;
            }
            if (pos + 2 > in.size()) {
                return {pos, Stop::Incomplete};
            }
            const auto trail = static_cast<unsigned char>(in[pos + 1]);
            if (trail < 0x21 || trail > 0x7E) {
                return {pos, Stop::Invalid};
            }
            const char euc[2] = {static_cast<char>(byte | 0x80), static_cast<char>(trail | 0x80)};
            const std::string_view bytes(euc, 2);
            std::optional<char32_t> cp = linuxDecodes(20932, bytes);
            if (!cp) {
                cp = systemDecodes(20932, bytes);
            }
            if (!cp || *cp == 0) {
                return {pos, Stop::Invalid};
            }
            wide.addCodePoint(*cp, pos);
            pos += 2;
        }
        return {pos, Stop::End};
    }

    void reset() { set_ = Set::Ascii; }

  private:
    static std::optional<Set> escape(std::string_view rest) {
        if (rest.starts_with("\x1B(B")) {
            return Set::Ascii;
        }
        if (rest.starts_with("\x1B(J")) {
            return Set::Roman;
        }
        if (rest.starts_with("\x1B$B") || rest.starts_with("\x1B$@")) {
            return Set::Jis0208;
        }
        return std::nullopt;
    }

    Set set_ = Set::Ascii;
};

/// Appends the bytes of `run` in the code page; returns the index of the first unit whose
/// character the code page lacks (its bytes and those after it left out), or npos.
std::size_t writeRun(unsigned codePage, std::wstring_view run, std::string& out) {
    const auto write = [&](std::wstring_view units) {
        BOOL usedDefault = FALSE;
        const int size =
            WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units.data(),
                                static_cast<int>(units.size()), nullptr, 0, nullptr, &usedDefault);
        if (size <= 0 || usedDefault) {
            return false;
        }
        const std::size_t used = out.size();
        out.resize(used + static_cast<std::size_t>(size));
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units.data(),
                            static_cast<int>(units.size()), out.data() + used, size, nullptr,
                            nullptr);
        return true;
    };
    if (write(run)) {
        return std::wstring_view::npos;
    }
    // Something is missing: character by character up to it.
    for (std::size_t pos = 0; pos < run.size();) {
        const bool pair = run[pos] >= 0xD800 && run[pos] <= 0xDBFF && pos + 1 < run.size();
        const std::size_t length = pair ? 2 : 1;
        if (!write(run.substr(pos, length))) {
            return pos;
        }
        pos += length;
    }
    return std::wstring_view::npos;
}

/// The index of the first unit of `units` whose character the code page lacks,
/// after appending the bytes of those before it; npos when all were written.
std::size_t writeCodePage(unsigned codePage, std::wstring_view units, std::string& out) {
    std::size_t pos = 0;
    while (pos < units.size()) {
        // A run up to the next character whose bytes on Linux differ from the system's.
        std::size_t end = pos;
        std::optional<std::string_view> quirk;
        while (end < units.size() && !(quirk = linuxEncodes(codePage, units[end]))) {
            ++end;
        }
        if (end > pos) {
            const std::wstring_view run = units.substr(pos, end - pos);
            const std::size_t failed = writeRun(codePage, run, out);
            if (failed != std::wstring_view::npos) {
                return pos + failed;
            }
        }
        if (end == units.size()) {
            break;
        }
        if (quirk->empty()) {
            return end;
        }
        out.append(*quirk);
        pos = end + 1;
    }
    return std::wstring_view::npos;
}

}  // namespace

struct CharsetConverter::Impl {
    Codec from;
    Codec to;
    Iso2022JpReader iso2022;
    Wide wide;
};

CharsetConverter::CharsetConverter(const char* to, const char* from) {
    const std::optional<Codec> source = findCodec(from);
    const std::optional<Codec> target = findCodec(to);
    if (!source || !target || target->kind == Kind::Iso2022Jp) {
        throw Error(std::string("文字コードの変換を準備できませんでした。(") + from + " -> " + to +
                    ")");
    }
    impl_ = std::make_unique<Impl>(Impl{*source, *target, {}, {}});
}

CharsetConverter::~CharsetConverter() = default;

void CharsetConverter::reset() {
    impl_->iso2022.reset();
}

CharsetConverter::Step CharsetConverter::step(std::string_view in, std::string& out) {
    Impl& d = *impl_;
    Wide& wide = d.wide;
    wide.units.clear();
    wide.offsets.clear();
    Read read;
    switch (d.from.kind) {
        case Kind::Utf8:
            read = readUtf8(in, wide);
            break;
        case Kind::Utf16Le:
        case Kind::Utf16Be:
            read = readUtf16(in, d.from.kind == Kind::Utf16Be, wide);
            break;
        case Kind::CodePage:
            read = CodePageReader(d.from.codePage).read(in, wide);
            break;
        case Kind::Iso2022Jp:
            read = d.iso2022.read(in, wide);
            break;
    }
    switch (d.to.kind) {
        case Kind::Utf8:
            out.append(windows::narrow(wide.units));
            break;
        case Kind::Utf16Le:
        case Kind::Utf16Be:
            for (const wchar_t unit : wide.units) {
                const auto high = static_cast<char>(unit >> 8);
                const auto low = static_cast<char>(unit & 0xFF);
                out.push_back(d.to.kind == Kind::Utf16Be ? high : low);
                out.push_back(d.to.kind == Kind::Utf16Be ? low : high);
            }
            break;
        case Kind::CodePage:
        case Kind::Iso2022Jp:
            if (const std::size_t failed = writeCodePage(d.to.codePage, wide.units, out);
                failed != std::wstring_view::npos) {
                return {wide.offsets[failed], Stop::Invalid};
            }
            break;
    }
    return {read.consumed, read.stop};
}

bool canConvertToUtf8(const char* encoding) {
    return findCodec(encoding).has_value();
}

}  // namespace kestrova
