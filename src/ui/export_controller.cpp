#include "ui/export_controller.h"

#include <atomic>
#include <utility>

#include "services/core_context.h"

namespace kestrova::ui {

namespace {

QString clockText(qint64 milliseconds) {
    const qint64 seconds = milliseconds / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString RunFigures::text() const {
    const QString unit = pastData ? QStringLiteral("か月") : QStringLiteral("日");
    return QStringLiteral("%1 / %2 %3　書き込んだファイル %4 件　経過 %5")
        .arg(done)
        .arg(planned)
        .arg(unit)
        .arg(filesWritten)
        .arg(clockText(elapsedMs));
}

/// The run's progress: reported on the worker, handled on the controller's thread.
class ExportController::Bridge : public ExportProgress {
  public:
    explicit Bridge(ExportController& controller) : controller_(&controller) {}

    void runStarted(std::size_t plannedFiles) override {
        post([c = controller_, plannedFiles] { c->runStarted(plannedFiles); });
    }
    void fileStarted(std::string_view, std::size_t index) override {
        post([c = controller_, index] {
            c->figures_.done = index;
            emit c->fileStarted(index);
        });
    }
    void dayFinished(std::string_view, std::int64_t filesWritten) override {
        post([c = controller_, filesWritten] { c->figures_.filesWritten = filesWritten; });
    }
    void runEnded(const ExportResult& result) override {
        post([c = controller_, result] { c->runEnded(result); });
    }
    bool stopRequested() override { return stop.load(); }

    std::atomic<bool> stop = false;
    /// Written by the worker as its last act; read after it has been joined.
    ExportResult result;

  private:
    template <class Call>
    void post(Call call) {
        QMetaObject::invokeMethod(controller_, std::move(call), Qt::QueuedConnection);
    }

    ExportController* controller_;
};

ExportController::ExportController(const SsLogging& log, UserInterface& ui, ServerSettings settings,
                                   std::filesystem::path appFolder, QObject* parent)
    : QObject(parent),
      log_(log),
      ui_(ui),
      settings_(std::move(settings)),
      appFolder_(std::move(appFolder)) {}

ExportController::~ExportController() {
    // Nobody hears of a run that ends with its controller.
    blockSignals(true);
    if (bridge_) {
        bridge_->stop = true;
    }
    worker_.waitSilently();
}

bool ExportController::start(ExportSelection selection) {
    if (isRunning()) {
        return false;
    }
    figures_ = RunFigures{.pastData = selection.ThisWeekMode == 0};
    elapsed_.invalidate();
    writing_ = false;
    bridge_ = std::make_unique<Bridge>(*this);
    ExportJob job{.selection = std::move(selection),
                  .appFolder = appFolder_,
                  .useCache = settings_.dataCache,
                  .confirm = true};
    worker_.start(
        [&log = log_, &ui = ui_, settings = settings_, bridge = bridge_.get(),
         job = std::move(job)] {
            CoreContext ctx(log, ui, settings);
            bridge->result = runExportJob(ctx, job, bridge);
        },
        this,
        [this] {
            lastResult_ = bridge_->result;
            bridge_.reset();
            emit finished(lastResult_);
        });
    return true;
}

bool ExportController::stop() {
    if (!isRunning() || !bridge_ || bridge_->stop) {
        return false;
    }
    bridge_->stop = true;
    return true;
}

bool ExportController::stopRequested() const {
    return isRunning() && bridge_ && bridge_->stop;
}

RunFigures ExportController::figures() const {
    RunFigures figures = figures_;
    if (writing_ && elapsed_.isValid()) {
        figures.elapsedMs = elapsed_.elapsed();
    }
    return figures;
}

void ExportController::runStarted(std::size_t plannedFiles) {
    figures_.planned = plannedFiles;
    figures_.done = 0;
    figures_.filesWritten = 0;
    figures_.elapsedMs = 0;
    elapsed_.start();
    writing_ = true;
    emit started(plannedFiles);
}

void ExportController::runEnded(const ExportResult& result) {
    if (!writing_) {
        return;  // the run never began (refused, or another run holds the folder)
    }
    writing_ = false;
    figures_.elapsedMs = elapsed_.elapsed();
    elapsed_.invalidate();
    figures_.filesWritten = result.filesWritten;
    if (result.outcome == ExportOutcome::Finished) {
        // A past-data run ends at the newest month the server has: what it read was its whole.
        figures_.done = result.filesRead;
        figures_.planned = figures_.done;
    } else {
        figures_.done = result.periodsWritten;
    }
    emit ended(result);
}

}  // namespace kestrova::ui
