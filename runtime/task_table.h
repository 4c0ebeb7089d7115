// The seven application tasks in one table: each row names the task and
// gives its thread (stack, priority, time slice), its period, its life-cycle
// letters and console lines, and the letters it takes besides its life-cycle
// ones. A task class takes its row by index and keeps only its behaviour; the
// console's "vms debug thread" command reads the same rows. Adding a task is
// one row here, plus its construction, subscription and start in startup/.
#pragma once

#include "runtime/task_base.h"

// The row order is the order in which the subscribers attach at start-up.
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

// The task's row (a static table: the reference stays valid for ever).
const task_row& task_row_of(task_index task);
