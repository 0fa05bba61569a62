#pragma once

#include <cstddef>
#include <memory>

#include "content_coding.h"
#include "streamed_body.h"

namespace kestrova::sample {

/// Where a page repeated "until the client goes away" stops all the same.
inline constexpr std::size_t kEndlessRepeatBytes = std::size_t{4} << 30;

/// The page with its first table, header row included, `times` times in a row (a page without
/// a table: the whole page); 0: as many times as fit in kEndlessRepeatBytes.
StreamedBody repeatedTable(const std::shared_ptr<const Content>& page, std::size_t times);

/// The page with the text of the first record's cell 116 (the resting farm) replaced by `bytes`
/// bytes of "あ" in the page's charset, made up to size with "x". Without records the header
/// row's cell takes it; a page without cells is left as it is.
StreamedBody withHugeCell(const std::shared_ptr<const Content>& page, std::size_t bytes);

}  // namespace kestrova::sample
