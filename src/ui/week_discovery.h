#pragma once

#include <atomic>
#include <memory>

#include <QObject>

#include "export/this_week.h"
#include "services/app_settings.h"
#include "ui/worker_thread.h"

namespace kestrova {
class SsLogging;
class UserInterface;
}  // namespace kestrova

namespace kestrova::ui {

/// Learns this week's meeting days (thisWeekDays) on a worker thread, which gets a copy of
/// the settings and reaches the user only through the UserInterface given (which must be
/// safe to call from the worker).
class WeekDiscovery : public QObject {
    Q_OBJECT

  public:
    WeekDiscovery(const SsLogging& log, UserInterface& ui, ServerSettings settings,
                  QObject* parent = nullptr);
    /// Ends the request under way and waits for the worker, without a signal.
    ~WeekDiscovery() override;

    /// Starts the discovery; false, and nothing started, while one is under way.
    bool start();
    /// Ends the request under way: the discovery finishes at once, without days.
    void stop();
    bool isRunning() const { return worker_.isRunning(); }

  signals:
    /// The worker is done; `week` is what it learnt.
    void finished(const kestrova::ThisWeekDays& week);

  private:
    /// Shared with the worker.
    struct Run {
        std::atomic<bool> stop = false;
        /// Written by the worker; read after it has been joined.
        ThisWeekDays week;
    };

    const SsLogging& log_;
    UserInterface& ui_;
    ServerSettings settings_;
    std::unique_ptr<Run> run_;
    WorkerThread worker_;
};

}  // namespace kestrova::ui
