#include "cli/progress_bar.h"

#include <algorithm>
#include <cstdio>

#include "cli/text_width.h"

namespace kestrova::cli {

namespace {

constexpr std::size_t kMinBarCells = 10;
constexpr std::size_t kMaxBarCells = 24;
constexpr const char* kEraseLine = "\r\x1b[K";

}  // namespace

std::string formatElapsed(std::chrono::seconds elapsed) {
    const long long total = std::max<long long>(0, elapsed.count());
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
    return text;
}

std::string renderProgressLine(const ProgressSnapshot& snapshot, std::size_t columns) {
    const std::string unit = snapshot.pastData ? " か月" : " 日";
    std::string count = std::to_string(snapshot.filesDone);
    if (snapshot.filesPlanned > 0) {
        count += "/" + std::to_string(snapshot.filesPlanned);
    }
    const std::string text = count + unit + "  出力ファイル " +
                             std::to_string(snapshot.filesWritten) + "  経過 " +
                             formatElapsed(snapshot.elapsed);
    const std::size_t textWidth = displayWidth(text);
    // The last column stays free: writing into it makes some terminals wrap.
    const std::size_t usable = columns > 0 ? columns - 1 : 0;
    if (snapshot.filesPlanned > 0 && usable >= textWidth + kMinBarCells + 4) {
        const std::size_t cells = std::min(kMaxBarCells, usable - textWidth - 4);
        const std::size_t done = std::min(snapshot.filesDone, snapshot.filesPlanned);
        const std::size_t filled = cells * done / snapshot.filesPlanned;
        return "[" + std::string(filled, '#') + std::string(cells - filled, '-') + "]  " + text;
    }
    if (textWidth <= usable) {
        return text;
    }
    // Too narrow for the whole line: keep what fits of the count.
    return displayWidth(count) <= usable ? count : std::string();
}

ProgressBar::ProgressBar(std::ostream& terminal, std::size_t columns)
    : terminal_(terminal), columns_(columns) {}

void ProgressBar::draw(const ProgressSnapshot& snapshot) {
    terminal_ << kEraseLine << renderProgressLine(snapshot, columns_) << std::flush;
    visible_ = true;
}

void ProgressBar::clear() {
    if (visible_) {
        terminal_ << kEraseLine << std::flush;
        visible_ = false;
    }
}

}  // namespace kestrova::cli
