#include "ntcip/schedule/schedule_task.h"

#include "runtime/task_profiles.h"

namespace {

const uint32_t SCHEDULE_CODES[] = {53, 54, 55, 56, 6,  7,  8,  9,  10, 11, 12,  13, 14,
                                   15, 16, 17, 18, 19, 20, 21, 22, 32, 33, 118, 0};

} // namespace

CScheduleTask::CScheduleTask(post_office& office)
    : CMailTask("Schedule", 4096, 2, 0, 100, 50, task_profile_of(TASK_SCHEDULE), SCHEDULE_CODES,
                office) {}

int CScheduleTask::Start(TX_BYTE_POOL& pool) {
    return Create(pool, task_thread_entry<CScheduleTask, TheScheduleTask>,
                  task_timer_entry<CScheduleTask, TheScheduleTask>);
}

void CScheduleTask::HandleLetter(const letter_s& letter) {
    // Event-class clears (6-22), trap-connection flags (32, 33) and scheduling
    // (118) come with the schedule subsystem.
    (void)letter;
}

void CScheduleTask::ServiceEventLog() {
    // The NTCIP event log comes with the schedule subsystem.
}

CScheduleTask& TheScheduleTask() {
    static CScheduleTask task(the_post_office());
    return task;
}
