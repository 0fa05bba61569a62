#pragma once

#include <array>
#include <cstddef>
#include <iconv.h>
#include <string>
#include <string_view>

#include "sample_data.h"

namespace kestrova::sample {

/// Appends UTF-8 text to a buffer as CP932; characters CP932 cannot hold become "?".
class Cp932Encoder {
  public:
    Cp932Encoder();
    ~Cp932Encoder();
    Cp932Encoder(const Cp932Encoder&) = delete;
    Cp932Encoder& operator=(const Cp932Encoder&) = delete;

    void append(std::string& out, std::string_view utf8);

  private:
    iconv_t cd_;
};

/// Builds a data page row by row into one buffer, encoding each row as it goes.
class PageWriter {
  public:
    PageWriter(std::string_view headerCell, Charset charset, Layout layout,
               std::size_t sizeHint = 64 * 1024);

    void addRow(const std::array<std::string, kColumns>& cells);
    /// The finished page; the writer is spent afterwards.
    std::string finish();

  private:
    void emit(std::string_view utf8);

    std::string page_;
    std::string row_;  // scratch for one row in UTF-8
    Charset charset_;
    Layout layout_;
};

}  // namespace kestrova::sample
