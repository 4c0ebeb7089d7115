#include "runtime/watchdog_task.h"

#include "runtime/console.h"
#include "platform/board/bus.h"
#include "platform/monitor/monitor.h"
#include "runtime/task_table.h"

#include <cstring>

namespace {

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

struct reset_request {
    uint32_t code;
    uint8_t reason;
};

const reset_request RESET_REQUESTS[] = {
    {LETTER_RESTART_REQUESTED, CWatchdogTask::REASON_RESTART},
    {LETTER_SHUTDOWN_RESET, CWatchdogTask::REASON_SHUTDOWN},
    {LETTER_POWER_LOSS, CWatchdogTask::REASON_POWER_LOSS},
    {LETTER_DEFRAG_RESTART_REQUESTED, CWatchdogTask::REASON_DEFRAG},
};

// The terminate letters of the controlled reset, in the order they go out.
const uint32_t TERMINATE_LETTERS[] = {LETTER_DISPLAY_TERMINATE,    LETTER_MONITOR_TERMINATE,
                                      LETTER_SCHEDULE_TERMINATE,   LETTER_DATABASE_TERMINATE,
                                      LETTER_PERIPHERAL_TERMINATE, LETTER_WATCHDOG_TERMINATE,
                                      LETTER_COMM_TERMINATE};

const int GPIO_RESET_BIT = 18;
// The board counts a busy loop of 235,000,000 iterations while the enabled
// hardware watchdog runs out; here the caller waits twice the time-out.
const ULONG RESET_WAIT_TICKS = 2 * MON_WDT_TIMEOUT_TICKS;
const ULONG DEFRAG_RESET_SLEEP = 10;

restart_hooks& hooks() {
    static restart_hooks installed = {nullptr, nullptr};
    return installed;
}

void clear_early_restart_counter() {
    if (hooks().clear_early_restart_counter) hooks().clear_early_restart_counter();
}

// Raise the caller to priority 0, enable the hardware watchdog without
// strobing it, and wait for it to restart the board.
// -> the caller's previous priority (when the board is still running).
UINT let_watchdog_run_out() {
    UINT previous = 0;
    TX_THREAD* self = tx_thread_identify();
    if (self) tx_thread_priority_change(self, 0, &previous);
    mon_wdtctrl(MON_WDT_ENABLE);
    tx_thread_sleep(RESET_WAIT_TICKS);
    return previous;
}

} // namespace

CWatchdogTask::CWatchdogTask(post_office& office) : CMailTask(task_row_of(TASK_WATCHDOG), office) {}

void CWatchdogTask::Initialize() {
    enabled_ = 1;
    Strobe();
    mon_wdtctrl(MON_WDT_ENABLE);
    Strobe();
    bool mutex_ok = tx_mutex_create(&mutex_, "wdt", TX_NO_INHERIT) == TX_SUCCESS;
    if (!mutex_ok) console_printf("mutex_create failed wdt\n");
    bool semaphore_ok = tx_semaphore_create(&holds_, "wdt", HOLD_LIMIT) == TX_SUCCESS;
    if (!semaphore_ok) console_printf("semaphore_create failed wdt\n");
    objects_created_ = mutex_ok && semaphore_ok;
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

void CWatchdogTask::Strobe() {
    mon_wdtstrobe();
}

uint32_t CWatchdogTask::HoldsOutstanding() {
    ULONG count = HOLD_LIMIT;
    if (objects_created_) tx_semaphore_info_get(&holds_, nullptr, &count);
    return HOLD_LIMIT - count;
}

// The count is taken without waiting while the mutex is held: a hold that
// waited here for a release would keep the mutex the release needs.
int CWatchdogTask::DisableWatchdog() {
    if (!objects_created_ || tx_mutex_get(&mutex_, TX_WAIT_FOREVER) != TX_SUCCESS) return 0;
    int held = tx_semaphore_get(&holds_, TX_NO_WAIT) == TX_SUCCESS;
    if (held) {
        trace_printf("Disabling Watchdog Timer\n");
        mon_wdtctrl(MON_WDT_DISABLE);
        enabled_ = 0;
    } else {
        console_printf("Watchdog hold refused: %u holds outstanding\n",
                       static_cast<unsigned>(HOLD_LIMIT));
    }
    tx_mutex_put(&mutex_);
    return held;
}

// A release without an outstanding hold changes nothing: counting it would
// keep the count above 200 and the hardware watchdog off after the next hold.
int CWatchdogTask::EnableWatchdog() {
    if (!objects_created_ || tx_mutex_get(&mutex_, TX_WAIT_FOREVER) != TX_SUCCESS) return 0;
    ULONG count = HOLD_LIMIT;
    tx_semaphore_info_get(&holds_, nullptr, &count);
    int released = count < HOLD_LIMIT;
    if (released) {
        tx_semaphore_put(&holds_);
        if (count + 1 == HOLD_LIMIT) {
            trace_printf("Enabling Watchdog Timer\n");
            Strobe();
            mon_wdtctrl(MON_WDT_ENABLE);
            Strobe();
            enabled_ = 1;
        }
    }
    tx_mutex_put(&mutex_);
    return released;
}

uint32_t CWatchdogTask::Run() {
    CMailTask::Run();
    SupervisionPass();
    ResetSequence();
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
    uint32_t code = letter.code();
    if (Supervise(code)) return;
    for (const reset_request& r : RESET_REQUESTS) {
        if (code != r.code) continue;
        reset_state_ = RESET_TERMINATE;
        reset_reason_ = r.reason;
        return;
    }
    switch (code) {
    case LETTER_COMM_SUPERVISED_QUERY: {
        letter_s answer(LETTER_COMM_SUPERVISED_ANSWER);
        answer.put_u32(0, reload_[COMMUNICATION] != 0 ? 1 : 0);
        Mail().office().reply(letter, answer);
        break;
    }
    case LETTER_WATCHDOG_HOLD:
        DisableWatchdog();
        break;
    case LETTER_WATCHDOG_RELEASE:
        EnableWatchdog();
        break;
    default:
        break;
    }
}

// Suspend and resume also hold and release the hardware watchdog; the
// watchdog posts no stop or start letter (it is not supervised).
void CWatchdogTask::SuspendSelf() {
    console_printf("%s", Profile()->suspend_line);
    DisableWatchdog();
    Suspend();
}

void CWatchdogTask::ResumeSelf() {
    console_printf("%s", Profile()->resume_line);
    EnableWatchdog();
    Resume();
}

// The watchdog outlives a controlled reset's terminate letters: it performs the reset.
void CWatchdogTask::TerminateSelf() {}

void CWatchdogTask::SupervisionPass() {
    PostLetter(LETTER_WATCHDOG_TICK);
    if (!objects_created_ || tx_mutex_get(&mutex_, TX_WAIT_FOREVER) != TX_SUCCESS) return;
    if (enabled_) {
        bool failed = false;
        for (unsigned slot = 0; slot < SLOTS; slot++) {
            if (reload_[slot] == 0) continue;
            if (countdown_[slot] == 0) {
                console_printf("wdt failure %s\n", SLOT_NAMES[slot]);
                failed = true;
            } else {
                countdown_[slot]--;
            }
        }
        if (!failed) Strobe();
    }
    tx_mutex_put(&mutex_);
}

unsigned CWatchdogTask::TasksStillSupervised() const {
    unsigned count = 0;
    for (unsigned slot = 0; slot < SLOTS; slot++)
        if (reload_[slot] != 0) count++;
    return count;
}

void CWatchdogTask::ResetSequence() {
    switch (reset_state_) {
    case RESET_TERMINATE:
        for (uint32_t code : TERMINATE_LETTERS)
            PostLetter(code);
        reset_state_ = RESET_WAITING;
        break;
    case RESET_WAITING:
        if (TasksStillSupervised() == 0 || wait_counter_ == 0)
            reset_state_ = RESET_RESETTING;
        else
            wait_counter_--;
        break;
    case RESET_RESETTING:
        FinalReset();
        break;
    default:
        break;
    }
}

void CWatchdogTask::FinalReset() {
    DisableWatchdog();
    if (restart_flags() & RESTART_SAVE_CONFIG)
        if (hooks().save_configuration) hooks().save_configuration();
    if (reset_reason_ == REASON_RESTART || reset_reason_ == REASON_DEFRAG)
        console_printf("Please Stand by for System Reset...\n");
    tx_thread_sleep(RESET_PAUSE_TICKS);
    EnableWatchdog();
    for (;;)
        system_reset();
}

CWatchdogTask& TheWatchdogTask() {
    static CWatchdogTask task(the_post_office());
    return task;
}

void set_restart_hooks(const restart_hooks& installed) {
    hooks() = installed;
}

int watchdog_enabled() {
    return TheWatchdogTask().Enabled();
}

// Set from start-up: a controlled reset saves the configuration unless a
// memory clear said otherwise.
uint8_t& restart_flags() {
    static uint8_t flags = RESTART_SAVE_CONFIG;
    return flags;
}

void system_reset() {
    trace_printf("Reset\n");
    clear_early_restart_counter();
    mon_gpio_clr(0, GPIO_RESET_BIT);
    let_watchdog_run_out();
    mon_restart(0);
}

void ethernet_reset() {
    trace_printf("Ethernet Reset\n");
    clear_early_restart_counter();
    UINT previous = let_watchdog_run_out();
    console_printf("Ethernet Reset Failed\n");
    TX_THREAD* self = tx_thread_identify();
    UINT ignored = 0;
    if (self) tx_thread_priority_change(self, previous, &ignored);
}

void defrag_reset() {
    trace_printf("Defrag Reset\n");
    bus_write8(BUS_UART0_SCRATCH, bus_read8(BUS_UART0_SCRATCH) | 0x01);
    tx_thread_sleep(DEFRAG_RESET_SLEEP); // refused at once outside a thread (start-up)
    mon_restart(0);
}
