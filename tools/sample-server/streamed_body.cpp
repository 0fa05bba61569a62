#include "streamed_body.h"

#include <algorithm>

namespace kestrova::sample {

void StreamedBody::append(Text text) {
    const std::size_t size = text->size();
    append(std::move(text), 0, size);
}

void StreamedBody::append(Text text, std::size_t from, std::size_t to, std::size_t times) {
    if (from >= to || times == 0) {
        return;
    }
    size_ += (to - from) * times;
    parts_.push_back({std::move(text), from, to, times});
}

void StreamedBody::append(std::string text) {
    append(std::make_shared<const std::string>(std::move(text)));
}

void StreamedBody::appendFill(std::string_view pattern, std::size_t bytes) {
    if (pattern.empty() || bytes == 0) {
        return;
    }
    // Whole copies of the pattern in one block, so that any cut of the block is a cut of the
    // pattern sequence too.
    constexpr std::size_t kBlock = 64 * 1024;
    std::string block;
    const std::size_t copies = std::max<std::size_t>(1, kBlock / pattern.size());
    block.reserve(copies * pattern.size());
    for (std::size_t i = 0; i < copies && block.size() < bytes; ++i) {
        block.append(pattern);
    }
    auto text = std::make_shared<const std::string>(std::move(block));
    const std::size_t size = text->size();
    append(text, 0, size, bytes / size);
    append(text, 0, bytes % size);
}

std::string_view StreamedBody::piece(std::size_t offset, std::size_t max) const {
    for (const Part& part : parts_) {
        const std::size_t length = part.to - part.from;
        const std::size_t partSize = length * part.times;
        if (offset < partSize) {
            const std::size_t within = offset % length;
            return std::string_view(*part.text)
                .substr(part.from + within, std::min(max, length - within));
        }
        offset -= partSize;
    }
    return {};
}

}  // namespace kestrova::sample
