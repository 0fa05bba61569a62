#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <ostream>

#include "base/ss_logging.h"
#include "base/user_interface.h"
#include "cli/progress_bar.h"
#include "export/export_run.h"

namespace kestrova::cli {

/// The command line's face of the core: activity lines on standard output, one per line
/// and flushed; message boxes as lines on standard error; a progress line on standard
/// error when that is a terminal. Asks nobody anything.
class TerminalUi : public UserInterface, public ExportProgress {
  public:
    /// `progressColumns`: width of the terminal behind `err`, or nullopt for no progress line.
    /// A stream that cannot be written any more (a closed pipe) is noted once in `log` and
    /// left alone; the run goes on.
    TerminalUi(std::ostream& out, std::ostream& err, std::optional<std::size_t> progressColumns,
               const SsLogging* log = nullptr);

    /// Months (past data) or days (this week) for the progress line.
    void setPastData(bool pastData) { snapshot_.pastData = pastData; }

    // UserInterface
    void clearActivity() override {}  // lines already printed stay; a terminal is a log
    void addActivity(std::string_view line) override;
    /// Never asked by the export; answers No, the choice that changes nothing.
    Answer question(std::string_view prompt) override;
    void info(std::string_view prompt) override;
    void warning(std::string_view text) override;
    void breathe() override;

    // ExportProgress
    void runStarted(std::size_t plannedFiles) override;
    void fileStarted(std::string_view fileName, std::size_t index) override;
    void dayFinished(std::string_view dayKey, std::int64_t filesWritten) override;
    void runEnded(const ExportResult& result) override;
    /// A stop signal (Ctrl-C, SIGTERM) ends the run as the window's stop button does.
    bool stopRequested() override;

  private:
    using Clock = std::chrono::steady_clock;

    void printError(std::string_view text);
    /// False, after noting it once, when `stream` can no longer be written.
    bool usable(std::ostream& stream, bool& noted, std::string_view name);
    void redraw();
    void redrawIfDue();

    std::ostream& out_;
    std::ostream& err_;
    const SsLogging* log_;
    bool outBroken_ = false;
    bool errBroken_ = false;
    std::optional<ProgressBar> bar_;
    ProgressSnapshot snapshot_;
    bool running_ = false;
    Clock::time_point started_ = Clock::now();
    Clock::time_point lastDraw_{};
};

}  // namespace kestrova::cli
