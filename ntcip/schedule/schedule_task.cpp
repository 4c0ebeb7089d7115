#include "ntcip/schedule/schedule_task.h"

namespace {

const uint32_t SCHEDULE_CODES[] = {53, 54, 55, 56, 6,  7,  8,  9,  10, 11, 12,  13, 14,
                                   15, 16, 17, 18, 19, 20, 21, 22, 32, 33, 118, 0};

const task_profile SCHEDULE_PROFILE = {
    "Schedule Task",
    0,
    LETTER_SCHEDULE_START,
    LETTER_SCHEDULE_ALIVE,
    LETTER_SCHEDULE_STOP,
    LETTER_SCHEDULE_TERMINATE,
    LETTER_SCHEDULE_SUSPEND,
    LETTER_SCHEDULE_RESUME,
    LETTER_SCHEDULE_STACK,
    "Schedule Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n",
    "Suspending schedule task\n",
    "Resuming schedule task\n",
};

} // namespace

CScheduleTask::CScheduleTask(post_office& office)
    : CMailTask("Schedule", 4096, 2, 0, 100, 50, &SCHEDULE_PROFILE, SCHEDULE_CODES, office) {}

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
