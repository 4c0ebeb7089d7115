#include "console/monitor_task.h"

#include "runtime/console.h"
#include "console/console_output.h"
#include "comm/network.h"
#include "platform/monitor/monitor.h"
#include "runtime/pools.h"
#include "runtime/task_table.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

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

const char PASSWORD_PROMPT[] = "\r\nPassword: ";
const char LOGIN_SUCCESS[] = "\r\nSUCCESS\r\nVMS>";
const char LOGIN_FAILURE[] = "\r\nFAILURE\r\nPassword: ";
const char PASSWORD_ECHO[] = "*";
const unsigned TELNET_TEXT_BYTES = 500;
const ULONG TICKS_PER_SECOND = 100;
const ULONG LOGIN_TICKS = CMonitorTask::LOGIN_SECONDS * TICKS_PER_SECOND;
const ULONG IDLE_TICKS = CMonitorTask::IDLE_SECONDS * TICKS_PER_SECOND;

// A console line runs in the boot monitor.
int run_monitor_line(const char* line, int verbose) {
    return mon_docommand(line, verbose);
}

template <size_t N> void set_reply(const char (&text)[N], const char** reply, uint32_t* length) {
    *reply = text;
    *length = N - 1;
}

} // namespace

CMonitorTask::CMonitorTask(post_office& office)
    : CMailTask(task_row_of(TASK_MONITOR), office), prompt_(console_putchar, run_monitor_line),
      telnet_(&ethernet_ip(), &netx_packet_pool(), &thread_stack_pool()) {}

void CMonitorTask::Output(int level, const char* text) {
    if (text) Output(level, text, static_cast<uint32_t>(strlen(text)));
}

void CMonitorTask::Output(int level, const char* text, uint32_t length) {
    if (level > TraceLevel() || !text) return;
    if (ConsoleState() == 0) return; // nothing can be shown before the task runs
    bool taken = false;
    if (mutex_created_) {
        UINT rc = tx_mutex_get(&printf_mutex_, TX_NO_WAIT);
        taken = rc == TX_SUCCESS;
        // Busy: the text is lost; outside a thread (timer, interrupt) it goes on unlocked.
        if (!taken && !tx_in_non_thread_context()) return;
    }
    SendToOperator(text, length);
    if (taken) tx_mutex_put(&printf_mutex_);
}

void CMonitorTask::SendToOperator(const char* text, uint32_t length) {
    if (ConsoleState() != 2 || !(db_get(obj::halvFeatureSet) & CONSOLE_FEATURE)) return;
    char telnet_text[TELNET_TEXT_BYTES];
    int sent = telnet_encode_text(text, length, telnet_text, sizeof telnet_text);
    if (sent < 0) return;
    telnet_.Send(connection_, telnet_text, static_cast<uint32_t>(sent));
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
    if (tx_mutex_create(&printf_mutex_, "printf", TX_NO_INHERIT) == TX_SUCCESS)
        mutex_created_ = true;
    prompt_.ShowPrompt();
    SetConsoleState(1);
    mon_com(MON_COM_SET_PUTCHAR_HOOK, reinterpret_cast<void*>(&console_putchar), nullptr, nullptr);
}

// Whoever runs the sign learns why the console stays closed for this run.
void CMonitorTask::StartTelnet() {
    const char* closed = nullptr;
    if (!(db_get(obj::halvFeatureSet) & CONSOLE_FEATURE))
        closed = "the console bit (0x08) of halvFeatureSet is clear";
    else if (!ethernet_network_start())
        closed = "the network did not start";
    else if (!telnet_.Create())
        closed = "the telnet server could not be created";
    if (closed) {
        console_notice("telnet console closed: %s\n", closed);
        return;
    }
    telnet_.SetEventHook(telnet_event_hook);
    telnet_.Start();
}

void CMonitorTask::HandleLetter(const letter_s& letter) {
    for (const event_line& line : EVENT_LINES)
        if (line.code == letter.code()) console_printf("%s", line.text);
    if (letter.code() == LETTER_TELNET_START) StartTelnet();
}

int CMonitorTask::OnPasswordByte(uint8_t byte, const char** reply, uint32_t* reply_length) {
    if (byte != '\n' && byte != '\r') {
        if (password_count_ >= PASSWORD_SIZE) return 0; // a 26th character is ignored
        password_[password_count_++] = static_cast<char>(byte);
        set_reply(PASSWORD_ECHO, reply, reply_length);
        return 0;
    }
    char community[PASSWORD_SIZE + 2] = {};
    uint32_t community_length = 0;
    db_get_string_copy(obj::communityNameAdmin, community, sizeof community, &community_length);
    if (community_length == password_count_ && memcmp(community, password_, password_count_) == 0) {
        SetConsoleState(2);
        login_state_ = LOGIN_DONE;
        telnet_.SetDeadline(connection_, IDLE_TICKS);
        prompt_.Clear();
        set_reply(LOGIN_SUCCESS, reply, reply_length);
        return 0;
    }
    ClearPassword();
    set_reply(LOGIN_FAILURE, reply, reply_length);
    return 0;
}

// Every byte of a block counts during login, so that a client that sends the
// whole password line at once logs in as one that sends it key by key. The
// answers are gathered into one reply (what does not fit is dropped); the
// bytes after a successful login go to the prompt.
void CMonitorTask::OnLoginData(const uint8_t* data, uint32_t length, const char** reply,
                               uint32_t* reply_length) {
    uint32_t used = 0;
    uint32_t i = 0;
    while (i < length && login_state_ != LOGIN_DONE) {
        const char* answer = nullptr;
        uint32_t answer_length = 0;
        OnPasswordByte(data[i++], &answer, &answer_length);
        if (answer && used + answer_length <= sizeof login_reply_) {
            memcpy(login_reply_ + used, answer, answer_length);
            used += answer_length;
        }
    }
    for (; i < length; i++)
        prompt_.ProcessChar(data[i]);
    *reply = used ? login_reply_ : nullptr;
    *reply_length = used;
}

void CMonitorTask::ClearPassword() {
    memset(password_, 0, sizeof password_);
    password_count_ = 0;
}

int CMonitorTask::OnTelnetEvent(int event, UINT connection, const uint8_t* data, uint32_t length,
                                const char** reply, uint32_t* reply_length) {
    if (event < CTelnetServer::EVENT_END || event > CTelnetServer::EVENT_DATA) return 4;
    // The console belongs to the newest connection. A connection it replaced
    // is ignored until that one ends: its data must not run on the newer
    // login (nor count towards its password), its end must not log the newer
    // operator out.
    if (event != CTelnetServer::EVENT_NEW && connection != connection_ &&
        login_state_ != LOGIN_NONE)
        return 0;
    const UINT replaced = connection_;
    const bool replaced_login = login_state_ == LOGIN_DONE && replaced != connection;
    connection_ = connection;
    switch (event) {
    case CTelnetServer::EVENT_END:
        prompt_.Clear();
        SetConsoleState(1);
        login_state_ = LOGIN_NONE;
        ClearPassword();
        return 0;
    case CTelnetServer::EVENT_NEW:
        // The replaced operator's connection is now one without a login.
        if (replaced_login) telnet_.SetDeadline(replaced, LOGIN_TICKS);
        telnet_.SetDeadline(connection, LOGIN_TICKS);
        // Nothing is shown on the new connection before its own login.
        SetConsoleState(1);
        prompt_.Clear();
        ClearPassword();
        login_state_ = LOGIN_PASSWORD;
        set_reply(PASSWORD_PROMPT, reply, reply_length);
        return 0;
    default: // CTelnetServer::EVENT_DATA
        if (!data || length == 0) return 0;
        if (login_state_ != LOGIN_DONE) {
            OnLoginData(data, length, reply, reply_length);
            return 0;
        }
        telnet_.SetDeadline(connection, IDLE_TICKS);
        for (uint32_t i = 0; i < length; i++)
            prompt_.ProcessChar(data[i]);
        return 0;
    }
}

// Never destroyed: the console serves until the program ends.
CMonitorTask& TheMonitorTask() {
    static CMonitorTask* task = new CMonitorTask(the_post_office());
    return *task;
}

int telnet_event_hook(int event, UINT connection, const uint8_t* data, uint32_t length,
                      const char** reply, uint32_t* reply_length) {
    return TheMonitorTask().OnTelnetEvent(event, connection, data, length, reply, reply_length);
}
