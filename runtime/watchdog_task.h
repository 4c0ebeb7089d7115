// CWatchdogTask: the "Watchdog" task (priority 1, period 50). It keeps the
// board's hardware watchdog strobed while the supervised tasks are alive
// (start, alive and stop letters per slot), lets any part of the system hold
// the hardware watchdog off during long operations, and runs the controlled
// reset: terminate letters to every task, a short wait for their stop
// letters, "CONFIG.XML" saved when asked, then the board restarts.
#pragma once

#include "runtime/mail_task.h"

class CWatchdogTask : public CMailTask {
  public:
    // Supervised-task slots.
    enum : unsigned { DISPLAY = 0, SCHEDULE, MONITOR, PERIPHERAL, DATABASE, COMMUNICATION, SLOTS };
    enum : uint8_t { RESET_IDLE = 0, RESET_TERMINATE = 1, RESET_WAITING = 2, RESET_RESETTING = 3 };
    enum : uint8_t {
        REASON_RESTART = 0,
        REASON_SHUTDOWN = 1,
        REASON_POWER_LOSS = 2,
        REASON_DEFRAG = 3
    };
    static constexpr uint32_t SUPERVISION_RELOAD = 600; // watchdog periods
    static constexpr uint32_t HOLD_LIMIT = 200;         // holds that may be outstanding
    static constexpr uint16_t RESET_WAIT_PASSES = 20;   // passes that wait for the tasks
    static constexpr uint32_t RESET_PAUSE_TICKS = 50;

    explicit CWatchdogTask(post_office& office);
    void Initialize() override;
    // The letters, the supervision pass, then one step of the reset sequence.
    uint32_t Run() override;
    void HandleLetter(const letter_s& letter) override;
    void SuspendSelf() override;
    void ResumeSelf() override;
    void TerminateSelf() override;

    // Hold the hardware watchdog off. -> 1 held; 0 refused (200 holds are
    // already outstanding, or the task has not initialised yet).
    int DisableWatchdog();
    // Release one hold; the last release enables the hardware watchdog again.
    // -> 1 released; 0 when no hold was outstanding.
    int EnableWatchdog();
    void Strobe();

    static const char* TaskName(unsigned slot);
    // The first slot of that name; 0 when none has it.
    static unsigned TaskIndex(const char* name);
    bool IsSupervised(const char* name) const;
    uint32_t Reload(unsigned slot) const { return slot < SLOTS ? reload_[slot] : 0; }
    uint32_t Countdown(unsigned slot) const { return slot < SLOTS ? countdown_[slot] : 0; }
    uint8_t ResetState() const { return reset_state_; }
    uint8_t ResetReason() const { return reset_reason_; }
    uint8_t Enabled() const { return enabled_; }
    uint32_t HoldsOutstanding();

  private:
    // -> true when the letter was a start, alive or stop letter.
    bool Supervise(uint32_t code);
    void SupervisionPass();
    void ResetSequence();
    unsigned TasksStillSupervised() const;
    void FinalReset();

    uint8_t reset_state_ = RESET_IDLE;
    uint8_t reset_reason_ = REASON_RESTART;
    uint32_t reload_[SLOTS] = {};
    uint32_t countdown_[SLOTS] = {};
    TX_MUTEX mutex_{};
    TX_SEMAPHORE holds_{};
    bool objects_created_ = false;
    uint8_t enabled_ = 0;
    uint16_t wait_counter_ = RESET_WAIT_PASSES; // never reset: one controlled reset per run
};

CWatchdogTask& TheWatchdogTask();
// 1 while the hardware watchdog is enabled (the file-system driver's hook).
int watchdog_enabled();

// What a restart asks of the layers above the runtime (start-up installs
// them): the store's early-restart counter is cleared before every restart,
// and the controlled reset saves the configuration file when
// RESTART_SAVE_CONFIG is set. A null hook is skipped.
struct restart_hooks {
    void (*clear_early_restart_counter)();
    void (*save_configuration)();
};
void set_restart_hooks(const restart_hooks& hooks);

// Process-wide restart flags: RESTART_SAVE_CONFIG (set from start-up, cleared
// by the memory clear) makes the controlled reset save "CONFIG.XML" first.
const uint8_t RESTART_SAVE_CONFIG = 0x04;
uint8_t& restart_flags();

// The three ways to restart the board. system_reset and ethernet_reset clear
// the early-restart counter, raise the caller to priority 0 and let the
// enabled hardware watchdog run out; system_reset then restarts through the
// monitor if the board is still running, ethernet_reset reports the failure
// and returns (at the caller's own priority again).
void system_reset();
void ethernet_reset();
// Restart with defragmentation: sets the UART0 scratch bit the boot monitor
// reads at restart, then restarts through the monitor (does not return on
// the board; returns on the host when a test's restart callback returns).
void defrag_reset();
