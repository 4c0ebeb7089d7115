// CMonitorTask: the "Monitor" task. It owns the console state and the trace
// level, and reports system events on the console. The telnet console (login,
// prompt, the printf mutex) is added by the console subsystem.
#pragma once

#include "runtime/mail_task.h"

class CMonitorTask : public CMailTask {
  public:
    explicit CMonitorTask(post_office& office);

    int Start(TX_BYTE_POOL& pool);
    // Deliver one formatted text of the given level (0 console, 1 trace).
    void Output(int level, const char* text);
    // -> 1 and the level set for 0 or 1; 0 and no change otherwise.
    int SetTraceLevel(int level);
    int TraceLevel() const { return static_cast<int>(console_word_ >> 28); }
    // 0 before the task starts, 1 no operator, 2 an operator logged in.
    int ConsoleState() const { return static_cast<int>(console_word_ >> 24 & 0xF); }

    void Initialize() override;
    void HandleLetter(const letter_s& letter) override;

  private:
    void SetConsoleState(uint32_t state);
    uint32_t console_word_ = 0;
};

CMonitorTask& TheMonitorTask();
