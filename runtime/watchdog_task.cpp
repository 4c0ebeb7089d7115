#include "runtime/watchdog_task.h"

#include "console/console.h"
#include "platform/board/bus.h"
#include "platform/monitor/monitor.h"

namespace {

const uint32_t WATCHDOG_CODES[] = {72, 73, 74, 75, 77, 48, 49, 50,  57,  58,  59,  64,  65, 66,
                                   41, 42, 43, 79, 80, 82, 83, 101, 102, 103, 108, 109, 0};

// Not supervised; its terminate letter (72) is ignored.
const task_profile WATCHDOG_PROFILE = {
    "Watchdog Task",
    0,
    0,
    0,
    0,
    0,
    LETTER_WATCHDOG_SUSPEND,
    LETTER_WATCHDOG_RESUME,
    LETTER_WATCHDOG_STACK,
    "Watchdog Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n",
    "Suspending watchdog task\n",
    "Resuming watchdog task\n",
};

} // namespace

CWatchdogTask::CWatchdogTask(post_office& office)
    : CMailTask("Watchdog", 1000, 1, 0, 1, 50, &WATCHDOG_PROFILE, WATCHDOG_CODES, office) {}

int CWatchdogTask::Start(TX_BYTE_POOL& pool) {
    return Create(pool, task_thread_entry<CWatchdogTask, TheWatchdogTask>,
                  task_timer_entry<CWatchdogTask, TheWatchdogTask>);
}

void CWatchdogTask::HandleLetter(const letter_s& letter) {
    // Supervision (start/alive/stop), holds (108/109), the reset requests
    // (79, 80, 82, 83) and the query 77 are served here by the console subsystem.
    (void)letter;
}

CWatchdogTask& TheWatchdogTask() {
    static CWatchdogTask task(the_post_office());
    return task;
}

int watchdog_enabled() {
    return 0;
}

void defrag_reset() {
    trace_printf("Defrag Reset\n");
    bus_write8(BUS_UART0_SCRATCH, bus_read8(BUS_UART0_SCRATCH) | 0x01);
    tx_thread_sleep(10); // refused at once outside a thread (start-up)
    mon_restart(0);
}
