#include "rate_limit.h"

#include <algorithm>
#include <thread>

namespace kestrova::sample {
namespace {

constexpr std::size_t kMinPiece = 1024;
constexpr std::size_t kMaxPiece = 64 * 1024;
constexpr auto kSleepStep = std::chrono::milliseconds(10);

}  // namespace

RateLimit::RateLimit(std::size_t bytesPerSecond)
    : rate_(static_cast<double>(bytesPerSecond)),
      capacity_(static_cast<double>(std::clamp(bytesPerSecond / 50, kMinPiece, kMaxPiece))),
      tokens_(capacity_) {}

std::size_t RateLimit::pieceSize() const {
    return static_cast<std::size_t>(capacity_);
}

bool RateLimit::take(std::size_t bytes, const std::atomic<bool>& cancelled) {
    if (rate_ <= 0) {
        return !cancelled;
    }
    Clock::time_point until;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - refilled_).count();
        tokens_ = std::min(capacity_, tokens_ + elapsed * rate_);
        refilled_ = now;
        tokens_ -= static_cast<double>(bytes);
        const double debt = tokens_ < 0 ? -tokens_ / rate_ : 0.0;
        until =
            now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(debt));
    }
    while (Clock::now() < until) {
        if (cancelled) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(kSleepStep, until - Clock::now()));
    }
    return !cancelled;
}

}  // namespace kestrova::sample
