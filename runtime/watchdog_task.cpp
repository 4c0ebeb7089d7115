#include "runtime/watchdog_task.h"

#include "console/console.h"
#include "platform/board/bus.h"
#include "platform/monitor/monitor.h"

#include <cstring>

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

const char* const SLOT_NAMES[CWatchdogTask::SLOTS] = {"Display",    "Schedule", "Monitor",
                                                      "Peripheral", "Database", "Communication"};

struct supervision_letters {
    unsigned slot;
    uint32_t start, alive, stop;
};

// The database task sends no supervision letters: its slot is never supervised.
const supervision_letters SUPERVISION[] = {
    {CWatchdogTask::DISPLAY, LETTER_DISPLAY_START, LETTER_DISPLAY_ALIVE, LETTER_DISPLAY_STOP},
    {CWatchdogTask::SCHEDULE, LETTER_SCHEDULE_START, LETTER_SCHEDULE_ALIVE, LETTER_SCHEDULE_STOP},
    {CWatchdogTask::MONITOR, LETTER_MONITOR_START, LETTER_MONITOR_ALIVE, LETTER_MONITOR_STOP},
    {CWatchdogTask::PERIPHERAL, LETTER_PERIPHERAL_START, LETTER_PERIPHERAL_ALIVE,
     LETTER_PERIPHERAL_STOP},
    {CWatchdogTask::COMMUNICATION, LETTER_COMM_START, LETTER_COMM_ALIVE, LETTER_COMM_STOP},
};

} // namespace

CWatchdogTask::CWatchdogTask(post_office& office)
    : CMailTask("Watchdog", 1000, 1, 0, 1, 50, &WATCHDOG_PROFILE, WATCHDOG_CODES, office) {}

int CWatchdogTask::Start(TX_BYTE_POOL& pool) {
    return Create(pool, task_thread_entry<CWatchdogTask, TheWatchdogTask>,
                  task_timer_entry<CWatchdogTask, TheWatchdogTask>);
}

const char* CWatchdogTask::TaskName(unsigned slot) {
    return slot < SLOTS ? SLOT_NAMES[slot] : "";
}

unsigned CWatchdogTask::TaskIndex(const char* name) {
    for (unsigned slot = 0; name && slot < SLOTS; slot++)
        if (strcmp(name, SLOT_NAMES[slot]) == 0) return slot;
    return 0;
}

bool CWatchdogTask::IsSupervised(const char* name) const {
    return reload_[TaskIndex(name)] != 0;
}

uint32_t CWatchdogTask::Run() {
    CMailTask::Run();
    PostLetter(LETTER_WATCHDOG_TICK);
    return 0;
}

bool CWatchdogTask::Supervise(uint32_t code) {
    for (const supervision_letters& s : SUPERVISION) {
        if (code == s.start)
            reload_[s.slot] = countdown_[s.slot] = SUPERVISION_RELOAD;
        else if (code == s.alive)
            countdown_[s.slot] = reload_[s.slot];
        else if (code == s.stop)
            reload_[s.slot] = 0;
        else
            continue;
        return true;
    }
    return false;
}

void CWatchdogTask::HandleLetter(const letter_s& letter) {
    if (Supervise(letter.code())) return;
    if (letter.code() == LETTER_COMM_SUPERVISED_QUERY) {
        letter_s answer(LETTER_COMM_SUPERVISED_ANSWER);
        answer.put_u32(0, reload_[COMMUNICATION] != 0 ? 1 : 0);
        Mail().office().reply(letter, answer);
    }
    // Holds (108/109) and the reset requests (79, 80, 82, 83) come with the
    // hardware watchdog and the reset sequence.
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
