#include "ui/progress_line.h"

#include <algorithm>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "ui/export_controller.h"
#include "ui/main_window_layout.h"

namespace kestrova::ui {

ProgressLine::ProgressLine(const ExportController& run, const MainWindowControls& controls)
    : run_(run),
      bar_(controls.prg_Export),
      label_(controls.lbl_Progress),
      stop_(controls.cmd_Stop) {
    clock_.setInterval(500);
    connect(&clock_, &QTimer::timeout, this, &ProgressLine::showFigures);
    connect(&run, &ExportController::started, this, &ProgressLine::started);
    connect(&run, &ExportController::fileStarted, this, &ProgressLine::fileStarted);
    connect(&run, &ExportController::ended, this, &ProgressLine::ended);
}

ProgressLine::~ProgressLine() {
    restoreCursor();
}

void ProgressLine::setRunning(bool running) {
    stop_->setEnabled(false);
    if (!running) {
        // The line keeps the last run's final figures until the next run.
        clock_.stop();
        bar_->hide();
    }
}

void ProgressLine::stopping(const QString& text) {
    stop_->setEnabled(false);
    label_->setText(text);
}

void ProgressLine::say(const QString& text) {
    label_->setText(text);
}

void ProgressLine::started(std::size_t plannedFiles) {
    if (!waitCursor_) {
        // Busy, not blocked: the stop button still takes clicks.
        QApplication::setOverrideCursor(Qt::BusyCursor);
        waitCursor_ = true;
    }
    stop_->setEnabled(true);
    bar_->setRange(0, static_cast<int>(std::max<std::size_t>(plannedFiles, 1)));
    bar_->setValue(0);
    bar_->show();
    clock_.start();
    showFigures();
}

void ProgressLine::fileStarted(std::size_t index) {
    bar_->setValue(static_cast<int>(index));
    showFigures();
}

void ProgressLine::ended(const ExportResult& result) {
    clock_.stop();
    restoreCursor();
    stop_->setEnabled(false);
    // The last box may stay up for a while: the line under it has the run's final figures.
    const RunFigures figures = run_.figures();
    bar_->setRange(0, static_cast<int>(std::max<std::size_t>(figures.planned, 1)));
    bar_->setValue(static_cast<int>(figures.done));
    label_->setText((result.outcome == ExportOutcome::Finished ? QStringLiteral("完了　")
                                                               : QStringLiteral("中止　")) +
                    figures.text());
}

void ProgressLine::showFigures() {
    // A stop asked for keeps its own words on the line.
    if (run_.isWriting() && !run_.stopRequested()) {
        label_->setText(run_.figures().text());
    }
}

void ProgressLine::restoreCursor() {
    if (waitCursor_) {
        QApplication::restoreOverrideCursor();
        waitCursor_ = false;
    }
}

}  // namespace kestrova::ui
