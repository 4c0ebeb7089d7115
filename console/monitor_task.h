// CMonitorTask: the "Monitor" task. It owns the maintenance console: the
// console state and trace level, the output mutex "printf", the line editor,
// the telnet server and the telnet login, and it reports system events on
// the console.
//
// Console text reaches an operator only on a telnet connection that logged
// in with the privileged community's name, and only while the console bit
// (0x08) of halvFeatureSet is set; nothing is kept for later.
//
// Idle connections never hold the console's few telnet slots: a connection
// that has not logged in within LOGIN_SECONDS of its start (or of losing the
// console to a newer connection) is closed, and so is the operator's
// connection after IDLE_SECONDS without a key.
#pragma once

#include "console/prompt.h"
#include "console/telnet.h"
#include "runtime/mail_task.h"

class CMonitorTask : public CMailTask {
  public:
    enum : uint8_t { LOGIN_NONE = 0, LOGIN_PASSWORD = 1, LOGIN_DONE = 2 };
    static constexpr unsigned PASSWORD_SIZE = 25;
    static constexpr uint32_t CONSOLE_FEATURE = 0x08;
    static constexpr ULONG LOGIN_SECONDS = 60;
    static constexpr ULONG IDLE_SECONDS = 600;

    explicit CMonitorTask(post_office& office);

    // Deliver one formatted text of the given level (0 console, 1 trace).
    void Output(int level, const char* text);
    // The same for `length` bytes, which may hold NULs (binary file contents).
    void Output(int level, const char* text, uint32_t length);
    // -> 1 and the level set for 0 or 1; 0 and no change otherwise.
    int SetTraceLevel(int level);
    int TraceLevel() const { return static_cast<int>(console_word_ >> 28); }
    // 0 before the task starts, 1 no operator, 2 an operator logged in.
    int ConsoleState() const { return static_cast<int>(console_word_ >> 24 & 0xF); }
    uint8_t LoginState() const { return login_state_; }

    // A telnet event (1 end, 2 new connection, 3 data) on the server's thread.
    int OnTelnetEvent(int event, UINT connection, const uint8_t* data, uint32_t length,
                      const char** reply, uint32_t* reply_length);

    void Initialize() override;
    void HandleLetter(const letter_s& letter) override;

    CPrompt& Prompt() { return prompt_; }
    CTelnetServer& TelnetServer() { return telnet_; }

  private:
    void SetConsoleState(uint32_t state);
    void StartTelnet();
    void ClearPassword();
    int OnPasswordByte(uint8_t byte, const char** reply, uint32_t* reply_length);
    void OnLoginData(const uint8_t* data, uint32_t length, const char** reply,
                     uint32_t* reply_length);
    void SendToOperator(const char* text, uint32_t length);

    uint32_t console_word_ = 0;
    CPrompt prompt_;
    TX_MUTEX printf_mutex_{};
    bool mutex_created_ = false;
    CTelnetServer telnet_;
    UINT connection_ = 0;
    uint8_t login_state_ = LOGIN_NONE;
    char password_[PASSWORD_SIZE] = {};
    uint8_t password_count_ = 0;
    // The answers to one received block during login, sent back as one reply.
    char login_reply_[256] = {};
};

CMonitorTask& TheMonitorTask();

// The telnet server's event hook: CMonitorTask::OnTelnetEvent of the one task.
int telnet_event_hook(int event, UINT connection, const uint8_t* data, uint32_t length,
                      const char** reply, uint32_t* reply_length);
