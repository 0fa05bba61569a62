#pragma once

#include <cstddef>

#include <QObject>
#include <QTimer>

#include "export/export_run.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrova::ui {

class ExportController;
struct MainWindowControls;

/// The line under the designed area: a run's progress bar and figures (kept after the run),
/// its stop button, and the busy cursor while it writes. Follows `run` by its signals.
class ProgressLine : public QObject {
  public:
    ProgressLine(const ExportController& run, const MainWindowControls& controls);
    ~ProgressLine() override;

    /// Before a run (its confirmations come first) and after it: no stop button; after it
    /// also no bar, while the line keeps the run's final figures.
    void setRunning(bool running);
    /// A stop was asked for: the button goes and `text` stands until the run ends.
    void stopping(const QString& text);
    /// Puts `text` on the line.
    void say(const QString& text);

  private:
    void started(std::size_t plannedFiles);
    void fileStarted(std::size_t index);
    void ended(const ExportResult& result);
    void showFigures();
    void restoreCursor();

    const ExportController& run_;
    QProgressBar* bar_;
    QLabel* label_;
    QPushButton* stop_;
    QTimer clock_;
    bool waitCursor_ = false;
};

}  // namespace kestrova::ui
