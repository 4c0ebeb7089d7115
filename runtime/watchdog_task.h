// CWatchdogTask: the "Watchdog" task (priority 1, period 50). It keeps the
// supervision book of the tasks (start, alive and stop letters per slot),
// answers whether the Communication task is supervised, and posts the period
// tick to the peripheral task. The hardware watchdog, the supervision pass
// and the controlled reset sequence are added by the console subsystem.
#pragma once

#include "runtime/mail_task.h"

class CWatchdogTask : public CMailTask {
  public:
    // Supervised-task slots.
    enum : unsigned { DISPLAY = 0, SCHEDULE, MONITOR, PERIPHERAL, DATABASE, COMMUNICATION, SLOTS };
    static const uint32_t SUPERVISION_RELOAD = 600; // watchdog periods

    explicit CWatchdogTask(post_office& office);
    int Start(TX_BYTE_POOL& pool);
    uint32_t Run() override;
    void HandleLetter(const letter_s& letter) override;

    static const char* TaskName(unsigned slot);
    // The first slot of that name; 0 when none has it.
    static unsigned TaskIndex(const char* name);
    bool IsSupervised(const char* name) const;
    uint32_t Reload(unsigned slot) const { return slot < SLOTS ? reload_[slot] : 0; }
    uint32_t Countdown(unsigned slot) const { return slot < SLOTS ? countdown_[slot] : 0; }

  private:
    // -> true when the letter was a start, alive or stop letter.
    bool Supervise(uint32_t code);

    uint32_t reload_[SLOTS] = {};
    uint32_t countdown_[SLOTS] = {};
};

CWatchdogTask& TheWatchdogTask();
// 1 while the hardware watchdog is enabled (the file-system driver's hook).
int watchdog_enabled();

// Restart with defragmentation: sets the UART0 scratch bit the boot monitor
// reads at restart, then restarts through the monitor (does not return on
// the board; returns on the host when a test's restart callback returns).
void defrag_reset();
