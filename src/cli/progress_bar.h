#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace kestrova::cli {

/// What the progress line shows.
struct ProgressSnapshot {
    bool pastData = false;          ///< months (past data) or days (this week)
    std::size_t filesDone = 0;      ///< data files downloaded and written out
    std::size_t filesPlanned = 0;   ///< 0 when not known
    std::int64_t filesWritten = 0;  ///< comment and index files completed
    std::chrono::seconds elapsed{0};
};

/// One line, at most `columns` terminal columns wide, e.g.
/// "[#####---------------]  37/204 か月  出力ファイル 1234  経過 00:03:12".
/// The bar graph is left out when the total is unknown or the terminal is too narrow.
std::string renderProgressLine(const ProgressSnapshot& snapshot, std::size_t columns);

/// "HH:MM:SS" of a duration.
std::string formatElapsed(std::chrono::seconds elapsed);

/// Draws the progress line in place on a terminal: "\r", the line, erase to the end.
class ProgressBar {
  public:
    ProgressBar(std::ostream& terminal, std::size_t columns);

    void draw(const ProgressSnapshot& snapshot);
    /// Removes the line, so that other output starts at column 0; no-op when nothing shows.
    void clear();
    bool visible() const { return visible_; }

  private:
    std::ostream& terminal_;
    std::size_t columns_;
    bool visible_ = false;
};

}  // namespace kestrova::cli
