#include "runtime/task_profiles.h"

#include "runtime/letter_codes.h"

namespace {

// A code of 0: the task has no such letter. Communication posts 104 (start
// the telnet console) before its start letter. The peripheral task serves its
// terminate letter (60) itself: it stops its timer and does not end. The
// watchdog is not supervised, ignores its terminate letter (72) and serves
// suspend and resume itself, since they also hold and release the hardware
// watchdog. The database task is not supervised.
const task_profile TASK_PROFILES[TASK_COUNT] = {
    {"Communication", LETTER_TELNET_START, LETTER_COMM_START, LETTER_COMM_ALIVE, LETTER_COMM_STOP,
     LETTER_COMM_TERMINATE, LETTER_COMM_SUSPEND, LETTER_COMM_RESUME, LETTER_COMM_STACK,
     "Communication Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n",
     "Suspending Communication task\n", "Resuming Communication task\n"},
    {"Display Task", 0, LETTER_DISPLAY_START, LETTER_DISPLAY_ALIVE, LETTER_DISPLAY_STOP,
     LETTER_DISPLAY_TERMINATE, LETTER_DISPLAY_SUSPEND, LETTER_DISPLAY_RESUME, LETTER_DISPLAY_STACK,
     "Display Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n", "Suspending display task\n",
     "Resuming display task\n"},
    {"Schedule Task", 0, LETTER_SCHEDULE_START, LETTER_SCHEDULE_ALIVE, LETTER_SCHEDULE_STOP,
     LETTER_SCHEDULE_TERMINATE, LETTER_SCHEDULE_SUSPEND, LETTER_SCHEDULE_RESUME,
     LETTER_SCHEDULE_STACK, "Schedule Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n",
     "Suspending schedule task\n", "Resuming schedule task\n"},
    {"Peripheral Task", 0, LETTER_PERIPHERAL_START, LETTER_PERIPHERAL_ALIVE, LETTER_PERIPHERAL_STOP,
     0, LETTER_PERIPHERAL_SUSPEND, LETTER_PERIPHERAL_RESUME, LETTER_PERIPHERAL_STACK,
     "Peripheral Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n", "Suspending peripheral task\n",
     "Resuming peripheral task\n"},
    {"Monitor Task", 0, LETTER_MONITOR_START, LETTER_MONITOR_ALIVE, LETTER_MONITOR_STOP,
     LETTER_MONITOR_TERMINATE, LETTER_MONITOR_SUSPEND, LETTER_MONITOR_RESUME, LETTER_MONITOR_STACK,
     "Monitor Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n", "Suspending monitor task\n",
     "Resuming monitor task\n"},
    {"Watchdog Task", 0, 0, 0, 0, 0, 0, 0, LETTER_WATCHDOG_STACK,
     "Watchdog Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n", "Suspending watchdog task\n",
     "Resuming watchdog task\n"},
    {"Database Task", 0, 0, 0, 0, LETTER_DATABASE_TERMINATE, LETTER_DATABASE_SUSPEND,
     LETTER_DATABASE_RESUME, LETTER_DATABASE_STACK,
     "Database Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n", "Suspending database task\n",
     "Resuming database task\n"},
};

} // namespace

const task_profile* task_profile_of(task_index task) {
    return task < TASK_COUNT ? &TASK_PROFILES[task] : nullptr;
}
