// CTaskBase: base of the seven application tasks. A task is one kernel thread
// with a stack from a byte pool (filled with 0xEF so its use can be measured),
// an event-flag group of its own and a periodic kernel timer that sets
// task_timer_flag once per period; the thread then runs its Run step.
//
// Each task is one row of runtime/task_table.cpp (task_row): name, thread,
// period, life-cycle letters and the letters it takes. The common life cycle
// (start and alive letters to the watchdog, the four maintenance letters) is
// driven by the row, so that each task only supplies its own initialisation
// and its own letters.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>
#include <ctime>

struct letter_s;
class subscriber;

const uint32_t task_letter_flag = 0x1; // a letter was delivered (post office)
const uint32_t task_timer_flag = 0x4;  // the period has come (timer function)

// The life-cycle letters and console lines of one task. A code of 0 means the
// task does not have that letter (the unsupervised tasks have no start,
// alive or stop letters).
struct task_profile {
    const char* start_text; // "%s Start...\n" at trace level
    uint32_t first_letter;  // posted once before the start letter (Communication: 104)
    uint32_t start_letter, alive_letter, stop_letter;
    uint32_t terminate_letter, suspend_letter, resume_letter, stack_letter;
    const char* stack_line; // "... Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n"
    const char* suspend_line;
    const char* resume_line;
};

// One task of the table: everything about it that is data.
struct task_row {
    const char* name;         // thread, timer and flag-group name
    const char* command_name; // the name "vms debug thread stack|suspend NAME" takes
    uint32_t stack_size;      // bytes
    uint32_t priority;
    uint32_t time_slice; // ticks; 0 none
    uint32_t first_tick; // ticks to the first period
    uint32_t period;     // ticks
    task_profile life;
    const uint32_t* letters; // taken besides the life cycle's maintenance letters; 0-terminated
};

class CTaskBase {
  public:
    enum : uint8_t { CONSTRUCTED = 0, CREATED = 2 };

    explicit CTaskBase(const task_row& row);
    virtual ~CTaskBase();
    CTaskBase(const CTaskBase&) = delete;
    CTaskBase& operator=(const CTaskBase&) = delete;

    // Every derived Run calls this first. -> 0.
    virtual uint32_t Run();

    // Stack, flag group, timer (when a timer function is given), then the
    // thread, so that a failure never leaves a running thread without its
    // stack. -> 1 created, 0 not.
    int Create(TX_BYTE_POOL& pool, tx_entry_fn entry, tx_entry_fn timer_function);
    // Create with the common entries, which reach this task through the
    // input the kernel hands them.
    int Start(TX_BYTE_POOL& pool);
    int Suspend(); // timer off, then thread suspended -> 1
    int Resume();  // timer on, then thread resumed -> 1

    // timer expirations / runs per second; untouched when runs per second is 0.
    void GetUptimeSeconds(uint32_t* seconds) const;
    // Seconds, minutes, hours, day of year and years of the uptime; other fields untouched.
    void GetUptime(struct tm* calendar) const;

    // The common timer function body (timer context): count, set task_timer_flag.
    void TimerExpired();
    // The common thread entry: wait for the first period, print the start
    // text, Initialize(), post the first, start and alive letters, then for
    // ever: wait for the period, post the alive letter, Run().
    void ThreadEntry();
    // The late-step check of a task whose steps must keep their period (the
    // display task): a step that does not come one period after the previous
    // one (the first after the creation tick) prints a warning, is counted and
    // restarts the timer on the period.
    void CheckLateStep();
    uint16_t LateSteps() const { return late_steps_; }

    // Task-specific initialisation run on the task's thread before its loop.
    virtual void Initialize() {}

    // Drain the mailbox: each letter goes to HandleLetter (when the common
    // maintenance handling did not take it) and back to the free list.
    void DrainMailbox(subscriber& mail);
    // A task's own letters; the default ignores them.
    virtual void HandleLetter(const letter_s& letter) { (void)letter; }
    // The maintenance letters of the profile: stack report, suspend, resume,
    // terminate. -> true when the letter was one of them.
    bool HandleMaintenanceLetter(const letter_s& letter);

    // Stack use: size - index of the first byte from the bottom that is not
    // 0xEF; -1 when the whole stack is untouched (no line is printed then).
    int StackUsed() const;
    void ReportStack() const;
    // A task that serves a maintenance letter its own way overrides these.
    virtual void SuspendSelf();
    virtual void ResumeSelf();
    virtual void TerminateSelf();
    void PostLetter(uint32_t code) const;

    const char* Name() const { return row_.name; }
    uint8_t State() const { return state_; }
    uint32_t StackSize() const { return row_.stack_size; }
    uint32_t Priority() const { return row_.priority; }
    uint32_t TimeSlice() const { return row_.time_slice; }
    uint32_t FirstTick() const { return row_.first_tick; }
    uint32_t Period() const { return row_.period; }
    uint8_t RunsPerSecond() const { return runs_per_second_; }
    uint32_t TimerExpirations() const { return timer_expirations_; }
    uint32_t Runs() const { return runs_; }
    uint32_t CreationTick() const { return creation_tick_; }
    uint8_t* Stack() const { return stack_; }
    const task_profile* Profile() const { return &row_.life; }
    const task_row& Row() const { return row_; }
    TX_THREAD* Thread() { return &thread_; }
    TX_TIMER* Timer() { return &timer_; }
    TX_EVENT_FLAGS_GROUP* Flags() { return &flags_; }

  protected:
    // Change the period (the display task follows its frame rate).
    int ChangePeriod(uint32_t period);

    uint8_t state_ = CONSTRUCTED;
    task_row row_;  // a copy: the period follows ChangePeriod
    uint32_t slot_; // the input of the common entries
    uint16_t late_steps_ = 0;
    bool stepped_ = false; // a step has run (else the creation tick is the previous one)
    uint32_t previous_step_tick_ = 0;
    TX_THREAD thread_{};
    TX_TIMER timer_{};
    TX_EVENT_FLAGS_GROUP flags_{};
    uint8_t runs_per_second_ = 1;
    uint32_t timer_expirations_ = 0;
    uint32_t runs_ = 0;
    uint32_t creation_tick_ = 0;
    uint8_t* stack_ = nullptr;
};
