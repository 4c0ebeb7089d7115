// The life-cycle profiles of the seven application tasks in one table: the
// start text, the letters each task posts and serves in common (start, alive,
// stop; terminate, suspend, resume, stack report) and its console lines.
// Each task takes its row by index when it is constructed.
#pragma once

#include "runtime/task_base.h"

enum task_index : unsigned {
    TASK_COMMUNICATION = 0,
    TASK_DISPLAY,
    TASK_SCHEDULE,
    TASK_PERIPHERAL,
    TASK_MONITOR,
    TASK_WATCHDOG,
    TASK_DATABASE,
    TASK_COUNT
};

// The task's row (a static table: the pointer stays valid for ever).
const task_profile* task_profile_of(task_index task);
