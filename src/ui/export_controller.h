#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "export/export_run.h"
#include "services/app_settings.h"
#include "ui/worker_thread.h"

namespace kestrova {
class SsLogging;
class UserInterface;
}  // namespace kestrova

namespace kestrova::ui {

/// What the progress line says about a run.
struct RunFigures {
    /// Data files (months or days) the run plans to read, and of them the ones read or, once
    /// the run is over, the ones written whole.
    std::size_t planned = 0;
    std::size_t done = 0;
    std::int64_t filesWritten = 0;
    qint64 elapsedMs = 0;
    /// Months of past data rather than this week's days.
    bool pastData = true;

    /// "done / planned か月　書き込んだファイル n 件　経過 h:mm:ss".
    QString text() const;
};

/// Runs the window's exports, one at a time, on a worker thread: the confirmations, the run
/// and its last box (runExportJob with the questions). The worker gets a copy of the
/// selection and of the settings; it reaches the user only through the UserInterface given
/// (which must be safe to call from the worker) and reports through the signals below, which
/// arrive on the controller's thread.
class ExportController : public QObject {
    Q_OBJECT

  public:
    ExportController(const SsLogging& log, UserInterface& ui, ServerSettings settings,
                     std::filesystem::path appFolder, QObject* parent = nullptr);
    /// Ends a run under way after the file being written, waiting for it without a signal.
    ~ExportController() override;

    /// Starts the export of `selection`; false, and nothing started, while a run is under way.
    bool start(ExportSelection selection);
    /// Asks the run to end after the file being written; false when no run is under way or
    /// it has been asked already.
    bool stop();
    bool isRunning() const { return worker_.isRunning(); }
    bool stopRequested() const;
    /// The run has passed its confirmations and not ended yet.
    bool isWriting() const { return writing_; }

    /// The figures of the run under way, or the final figures of the last one.
    RunFigures figures() const;
    /// The result of the last run that finished.
    const ExportResult& lastResult() const { return lastResult_; }

  signals:
    /// The run passed its confirmations and begins; it may read `plannedFiles` data files.
    void started(std::size_t plannedFiles);
    /// Data file number `index` (from 0) is about to be read.
    void fileStarted(std::size_t index);
    /// A run that began is over and figures() has its final figures; its last box, if any,
    /// is yet to come.
    void ended(const kestrova::ExportResult& result);
    /// The worker is done (a run refused or not confirmed ends here too); lastResult() is
    /// `result`.
    void finished(const kestrova::ExportResult& result);

  private:
    class Bridge;

    void runStarted(std::size_t plannedFiles);
    void runEnded(const ExportResult& result);

    const SsLogging& log_;
    UserInterface& ui_;
    ServerSettings settings_;
    std::filesystem::path appFolder_;
    /// Shared with the worker: the stop flag, and the result it writes as its last act.
    std::unique_ptr<Bridge> bridge_;
    WorkerThread worker_;
    ExportResult lastResult_;
    RunFigures figures_;
    QElapsedTimer elapsed_;
    bool writing_ = false;
};

}  // namespace kestrova::ui
