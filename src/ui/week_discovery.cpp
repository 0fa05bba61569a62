#include "ui/week_discovery.h"

#include <utility>

#include "base/errors.h"
#include "services/core_context.h"

namespace kestrova::ui {

WeekDiscovery::WeekDiscovery(const SsLogging& log, UserInterface& ui, ServerSettings settings,
                             QObject* parent)
    : QObject(parent), log_(log), ui_(ui), settings_(std::move(settings)) {}

WeekDiscovery::~WeekDiscovery() {
    blockSignals(true);
    stop();
    worker_.waitSilently();
}

bool WeekDiscovery::start() {
    if (isRunning()) {
        return false;
    }
    run_ = std::make_unique<Run>();
    worker_.start(
        [&log = log_, &ui = ui_, settings = settings_, run = run_.get()] {
            CoreContext ctx(log, ui, settings);
            // Stopping ends the request that is waiting.
            ctx.http.breathe = [run] {
                if (run->stop) {
                    throw StopRequested();
                }
            };
            try {
                run->week = thisWeekDays(ctx);
            } catch (const StopRequested&) {
                // Stopped on purpose: nothing failed.
            } catch (const std::exception& error) {
                log.ErrorLog(errorText("frmTFLink:GetKaisaiDay", describeError(error)));
            }
        },
        this,
        [this] {
            const std::unique_ptr<Run> run = std::move(run_);
            emit finished(run->week);
        });
    return true;
}

void WeekDiscovery::stop() {
    if (run_) {
        run_->stop = true;
    }
}

}  // namespace kestrova::ui
