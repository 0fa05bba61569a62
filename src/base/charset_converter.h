#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kestrova {

/// Converts text between two encodings named as iconv names them ("UTF-8", "CP932",
/// "UTF-16LE", "EUC-JP", ...): iconv on POSIX systems, the code pages on Windows, with
/// the same bytes out for the same bytes in. Not shareable between threads: each user owns
/// one.
class CharsetConverter {
  public:
    /// Throws Error when the system cannot convert between the two encodings.
    CharsetConverter(const char* to, const char* from);
    ~CharsetConverter();
    CharsetConverter(const CharsetConverter&) = delete;
    CharsetConverter& operator=(const CharsetConverter&) = delete;

    /// Where a conversion step stopped.
    enum class Stop {
        End,         ///< all of the input converted
        Invalid,     ///< at a sequence that is not in the encoding, or not in the target's
        Incomplete,  ///< at a sequence cut off by the end of the input
    };
    struct Step {
        std::size_t consumed = 0;
        Stop stop = Stop::End;
    };
    /// Converts `in` from its start, appending to `out`, until its end or the first sequence
    /// it cannot convert.
    Step step(std::string_view in, std::string& out);
    /// Forgets the shift state after a rejected sequence.
    void reset();

    /// Converts `in` and appends to `out`. At a sequence that cannot be converted,
    /// `onReject` gets the rest of the input, appends its replacement to `out` and says how
    /// many bytes (at least one) to skip. With `keepIncompleteTail`, a sequence cut off by
    /// the end of `in` is left unconverted (the caller joins it to the next piece); otherwise
    /// it is rejected too. Returns the bytes of `in` consumed.
    template <typename OnReject>
    std::size_t convert(std::string_view in, std::string& out, OnReject onReject,
                        bool keepIncompleteTail = false) {
        std::size_t pos = 0;
        while (pos < in.size()) {
            const Step done = step(in.substr(pos), out);
            pos += done.consumed;
            if (done.stop == Stop::End || (done.stop == Stop::Incomplete && keepIncompleteTail)) {
                break;
            }
            pos += std::min(in.size() - pos, onReject(in.substr(pos), out));
            reset();
        }
        return pos;
    }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// True when the system can convert text in `encoding` (as iconv names it) to UTF-8.
bool canConvertToUtf8(const char* encoding);

}  // namespace kestrova
