// CWatchdogTask: the "Watchdog" task (priority 1, period 50). It supervises
// the tasks through their start, alive and stop letters and runs the
// controlled reset. The supervision, the hardware watchdog and the reset
// sequence are added by the console subsystem; for now the task runs its
// step and serves its maintenance letters.
#pragma once

#include "runtime/mail_task.h"

class CWatchdogTask : public CMailTask {
  public:
    explicit CWatchdogTask(post_office& office);
    int Start(TX_BYTE_POOL& pool);
    void HandleLetter(const letter_s& letter) override;
};

CWatchdogTask& TheWatchdogTask();
// 1 while the hardware watchdog is enabled (the file-system driver's hook).
int watchdog_enabled();

// Restart with defragmentation: sets the UART0 scratch bit the boot monitor
// reads at restart, then restarts through the monitor (does not return on
// the board; returns on the host when a test's restart callback returns).
void defrag_reset();
