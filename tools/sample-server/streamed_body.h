#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::sample {

/// An answer's body as a list of pieces of shared text, some of them repeated, so that a body
/// of gigabytes costs no more memory than the pages it is made of.
class StreamedBody {
  public:
    using Text = std::shared_ptr<const std::string>;

    StreamedBody() = default;
    explicit StreamedBody(Text text) { append(std::move(text)); }
    explicit StreamedBody(std::string text) { append(std::move(text)); }

    void append(Text text);
    /// text[from, to), `times` over.
    void append(Text text, std::size_t from, std::size_t to, std::size_t times = 1);
    void append(std::string text);
    /// `bytes` bytes of `pattern` over and over, the last copy cut short.
    void appendFill(std::string_view pattern, std::size_t bytes);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    /// At most `max` bytes from `offset` on, valid while the body lives; empty past the end.
    std::string_view piece(std::size_t offset, std::size_t max) const;

  private:
    struct Part {
        Text text;
        std::size_t from = 0;
        std::size_t to = 0;
        std::size_t times = 1;
    };
    std::vector<Part> parts_;
    std::size_t size_ = 0;
};

}  // namespace kestrova::sample
