#include "cli/terminal_ui.h"

#include "base/text.h"
#include "cli/console.h"

namespace kestrova::cli {

namespace {

// Often enough to look alive, seldom enough to cost nothing next to the transfer.
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

}  // namespace

TerminalUi::TerminalUi(std::ostream& out, std::ostream& err,
                       std::optional<std::size_t> progressColumns, const SsLogging* log)
    : out_(out), err_(err), log_(log) {
    if (progressColumns) {
        bar_.emplace(err, *progressColumns);
    }
}

void TerminalUi::addActivity(std::string_view line) {
    if (bar_) {
        bar_->clear();
    }
    if (usable(out_, outBroken_, "標準出力")) {
        out_ << line << '\n' << std::flush;
        usable(out_, outBroken_, "標準出力");
    }
    if (running_) {
        redraw();
    }
}

Answer TerminalUi::question(std::string_view prompt) {
    printError("質問（自動で「いいえ」）: " + std::string(prompt));
    return Answer::No;
}

void TerminalUi::info(std::string_view prompt) {
    printError(prompt);
}

void TerminalUi::warning(std::string_view text) {
    printError("警告: " + std::string(text));
}

void TerminalUi::breathe() {
    redrawIfDue();
}

void TerminalUi::runStarted(std::size_t plannedFiles) {
    running_ = true;
    started_ = Clock::now();
    snapshot_.filesPlanned = plannedFiles;
    snapshot_.filesDone = 0;
    snapshot_.filesWritten = 0;
    redraw();
}

void TerminalUi::fileStarted(std::string_view, std::size_t index) {
    snapshot_.filesDone = index;
    redrawIfDue();
}

void TerminalUi::dayFinished(std::string_view, std::int64_t filesWritten) {
    snapshot_.filesWritten = filesWritten;
    redrawIfDue();
}

void TerminalUi::runEnded(const ExportResult&) {
    running_ = false;
    if (bar_) {
        bar_->clear();
    }
}

bool TerminalUi::stopRequested() {
    return stopSignalled();
}

void TerminalUi::printError(std::string_view text) {
    if (bar_) {
        bar_->clear();
    }
    // The core joins message lines with CR LF, as its message boxes want; a terminal wants LF.
    if (usable(err_, errBroken_, "標準エラー")) {
        err_ << replaceAll(text, "\r\n", "\n") << '\n' << std::flush;
        usable(err_, errBroken_, "標準エラー");
    }
    if (running_) {
        redraw();
    }
}

bool TerminalUi::usable(std::ostream& stream, bool& noted, std::string_view name) {
    if (noted) {
        return false;
    }
    if (stream) {
        return true;
    }
    noted = true;
    if (log_ != nullptr) {
        log_->WarnLog("kestrova-cli: " + std::string(name) +
                      "に書き込めなくなりました（パイプが閉じられた等）。出力処理は続けます。");
    }
    return false;
}

void TerminalUi::redraw() {
    if (!bar_ || errBroken_) {
        return;
    }
    lastDraw_ = Clock::now();
    snapshot_.elapsed = std::chrono::duration_cast<std::chrono::seconds>(lastDraw_ - started_);
    bar_->draw(snapshot_);
}

void TerminalUi::redrawIfDue() {
    if (running_ && bar_ && Clock::now() - lastDraw_ >= kRedrawInterval) {
        redraw();
    }
}

}  // namespace kestrova::cli
