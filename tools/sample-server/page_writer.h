#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "sample_data.h"

namespace kestrova::sample {

/// Appends UTF-8 text to a buffer as CP932, byte for byte what iconv's "CP932" gives;
/// characters CP932 cannot hold and broken UTF-8 become "?".
void appendCp932(std::string& out, std::string_view utf8);

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
