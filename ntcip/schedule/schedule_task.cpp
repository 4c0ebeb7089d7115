#include "ntcip/schedule/schedule_task.h"

#include "runtime/task_table.h"

CScheduleTask::CScheduleTask(post_office& office) : CMailTask(task_row_of(TASK_SCHEDULE), office) {}

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
