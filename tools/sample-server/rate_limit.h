#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>

namespace kestrova::sample {

/// One byte rate for all connections together: a token bucket that every body write draws
/// from. A writer takes its tokens at once, even into debt, and waits until the debt is paid,
/// so that writers on several connections take turns.
class RateLimit {
  public:
    /// 0: no limit.
    explicit RateLimit(std::size_t bytesPerSecond);

    bool limited() const { return rate_ > 0; }
    /// How many bytes to write at a time: small enough for about 50 waits a second.
    std::size_t pieceSize() const;
    /// Waits until `bytes` may go out; false when `cancelled` became true meanwhile.
    bool take(std::size_t bytes, const std::atomic<bool>& cancelled);

  private:
    using Clock = std::chrono::steady_clock;

    const double rate_;
    const double capacity_;
    std::mutex mutex_;
    double tokens_;
    Clock::time_point refilled_ = Clock::now();
};

}  // namespace kestrova::sample
