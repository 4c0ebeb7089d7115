#include "console/monitor_task.h"

#include "console/console.h"

namespace {

const uint32_t MONITOR_CODES[] = {37, 38, 39, 40, 79, 80, 81, 83, 104, 0};

const task_profile MONITOR_PROFILE = {
    "Monitor Task",
    0,
    LETTER_MONITOR_START,
    LETTER_MONITOR_ALIVE,
    LETTER_MONITOR_STOP,
    LETTER_MONITOR_TERMINATE,
    LETTER_MONITOR_SUSPEND,
    LETTER_MONITOR_RESUME,
    LETTER_MONITOR_STACK,
    "Monitor Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n",
    "Suspending monitor task\n",
    "Resuming monitor task\n",
};

struct event_line {
    uint32_t code;
    const char* text;
};

const event_line EVENT_LINES[] = {
    {LETTER_RESTART_REQUESTED, "System Restart Requested\n"},
    {LETTER_POWER_LOSS, "System Power Loss Detected\n"},
    {LETTER_SHUTDOWN_REQUESTED, "System Shutdown Requested\n"},
    {LETTER_DEFRAG_RESTART_REQUESTED, "System Defragmentation Restart Requested\n"},
};

} // namespace

CMonitorTask::CMonitorTask(post_office& office)
    : CMailTask("Monitor", 4096, 2, 0, 200, 10, &MONITOR_PROFILE, MONITOR_CODES, office) {}

int CMonitorTask::Start(TX_BYTE_POOL& pool) {
    return Create(pool, task_thread_entry<CMonitorTask, TheMonitorTask>,
                  task_timer_entry<CMonitorTask, TheMonitorTask>);
}

void CMonitorTask::Output(int level, const char* text) {
    if (level > TraceLevel() || !text) return;
    // The telnet console (console state 2) is served by the console subsystem.
}

int CMonitorTask::SetTraceLevel(int level) {
    if (level != 0 && level != 1) return 0;
    console_word_ = (console_word_ & 0x0FFFFFFFu) | static_cast<uint32_t>(level) << 28;
    return 1;
}

void CMonitorTask::SetConsoleState(uint32_t state) {
    console_word_ = (console_word_ & ~0x0F000000u) | (state & 0xF) << 24;
}

void CMonitorTask::Initialize() {
    SetConsoleState(1);
}

void CMonitorTask::HandleLetter(const letter_s& letter) {
    for (const event_line& line : EVENT_LINES)
        if (line.code == letter.code()) console_printf("%s", line.text);
    // 104: the telnet console is started here once the console subsystem exists.
}

CMonitorTask& TheMonitorTask() {
    static CMonitorTask task(the_post_office());
    return task;
}
