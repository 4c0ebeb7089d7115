// CScheduleTask: the "Schedule" task. It will run the time-base schedules and
// the event log; for now it runs its step and serves its maintenance letters.
#pragma once

#include "runtime/mail_task.h"

class CScheduleTask : public CMailTask {
  public:
    explicit CScheduleTask(post_office& office);
    void HandleLetter(const letter_s& letter) override;
    // One pass of the event log's service (at start-up and in every period).
    void ServiceEventLog();
};

CScheduleTask& TheScheduleTask();
