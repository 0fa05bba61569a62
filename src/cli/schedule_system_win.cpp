#include "cli/schedule.h"

namespace kestrova::cli {

ScheduleSystem thisUsersScheduleSystem() {
    // Neither systemd nor cron: Windows keeps schedules in its Task Scheduler.
    ScheduleSystem system;
    system.taskScheduler = true;
    return system;
}

}  // namespace kestrova::cli
