#include "comm/modem_task.h"

#include "runtime/console.h"
#include "runtime/os.h"
#include "runtime/peripheral.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

CModemTask* cellular_modem_task = nullptr;

namespace {

const ULONG STACK_BYTES = 2048;
const UINT PRIORITY = 2;
const ULONG FIRST_READING_TICKS = 6000, READING_PERIOD_TICKS = 2500;
const ULONG REPLY_WAIT = 500, PROVISION_WAIT = 12000;
const uint32_t RECEIVE_BYTES = 200, OPERATOR_BYTES = 50, SIGNAL_BYTES = 30, CONFIRM_BYTES = 20;
const uint32_t COMMAND_BYTES = 256, SETTING_BYTES = 64;
const ULONG COMMANDS =
    CModemTask::RUN_IDENTITY | CModemTask::RUN_CONFIGURATION | CModemTask::READ_SIGNAL;

// The modem's password line, and the dynamic-DNS names it registers under.
const char PASSWORD_LINE[] = "40718\r";
const char DDNS_DOMAIN[] = "modems.example.net";
const char DDNS_SERVER[] = "ddns.example.net";

const uint8_t AUX_DIGITAL = 3, AUX_DIRECTION = 2, AUX_RESOLUTION = 1;
const char AUX_NAME[] = "MODEM SIGNAL STRENGTH";

struct carrier_row {
    const char* name;
    const char* found_by; // null: never detected (the default row)
};
const carrier_row CARRIERS[] = {
    {"Unknown", nullptr}, {"Verizon", "Verizon"}, {"Sprint", "Sprint"}, {"Alltel", "Alltel"},
    {"Bell", "Bell"},     {"Telus", "Telus"},     {"ATT", " 310"},      {"Rogers", " 302"},
};

struct quality_row {
    int16_t lowest, highest;
    const char* english;
    const char* french;
};
const quality_row QUALITIES[] = {
    {-32767, -101, "UNACCEPTABLE", "TROP FAIBLE"},
    {-100, -87, "WEAK", "FAIBLE"},
    {-86, -81, "MODERATE", "MOYENNE"},
    {-80, 32767, "GOOD", "GRANDE"},
};

// Dialogue result to the event bit the front panel waits for.
struct result_bit {
    int result;
    ULONG bit;
};
const result_bit IDENTITY_RESULTS[] = {
    {CModemTask::RESULT_OK, CModemTask::IDENTITY_DONE},
    {CModemTask::RESULT_NO_CONNECTION, CModemTask::NO_CONNECTION},
    {CModemTask::RESULT_NOT_CONFIRMED, CModemTask::NOT_CONFIRMED},
};
const result_bit CONFIGURATION_RESULTS[] = {
    {CModemTask::RESULT_OK, CModemTask::CONFIGURATION_DONE},
    {CModemTask::RESULT_NO_CONNECTION, CModemTask::NO_CONNECTION},
    {CModemTask::RESULT_UNSUPPORTED, CModemTask::CARRIER_UNSUPPORTED},
    {CModemTask::RESULT_NOT_CONFIRMED, CModemTask::NOT_CONFIRMED},
    {CModemTask::RESULT_NO_SIGNAL, CModemTask::NO_SIGNAL},
};

template <size_t N> ULONG bit_of(const result_bit (&rows)[N], int result) {
    for (const result_bit& row : rows)
        if (row.result == result) return row.bit;
    return CModemTask::COMMAND_FAILED;
}

bool kept(uint8_t byte) {
    return (byte >= 0x20 && byte <= 0x7E) || byte == '\r' || byte == '\n';
}

// The printable bytes (and CR, LF) of `bytes`, printed on the console and
// written into `field` within its size; the field stays NUL-terminated.
void keep_printable(const uint8_t* bytes, uint32_t length, char* field, uint32_t size) {
    uint32_t used = 0;
    for (uint32_t i = 0; i < length; i++) {
        if (!kept(bytes[i])) continue;
        console_printf("%c", bytes[i]);
        if (field && used + 1 < size) field[used++] = char(bytes[i]);
    }
    if (field && size) field[used] = 0;
}

void set_text(char* field, uint32_t size, const char* text) {
    std::snprintf(field, size, "%s", text);
}

// A store setting as text, within `size`.
void setting(const DbObject& object, char* out, uint32_t size) {
    uint32_t length = db_get_string_copy(object, out, size - 1);
    out[length < size ? length : size - 1] = 0;
}

// The signal strength's auxiliary I/O point: it takes its row through the
// peripherals' registration tables as any peripheral's point does.
class signal_point : public CPeripheral {
  public:
    signal_point() : CPeripheral(0, 0) {}
    void Poll() override {}
};

signal_point& the_signal_point() {
    static signal_point point;
    return point;
}

} // namespace

CModemTask::CModemTask(TX_BYTE_POOL* stacks, NX_IP* ip, NX_PACKET_POOL* pool) : telnet_(ip, pool) {
    telnet_.Create();
    UINT rc = stacks ? tx_byte_allocate(stacks, &stack_, STACK_BYTES, TX_NO_WAIT) : TX_PTR_ERROR;
    if (rc != TX_SUCCESS) {
        console_printf("byte_allocate failed:%d\n", rc);
        stack_ = nullptr;
    }
    if (stack_) {
        std::memset(stack_, 0xEF, STACK_BYTES);
        rc = tx_thread_create(&thread_, "Modem Task", ThreadEntry, 0, stack_, STACK_BYTES, PRIORITY,
                              PRIORITY, 0, TX_AUTO_START);
        if (rc != TX_SUCCESS) console_printf("tx_thread_create failed:%d\n", rc);
        thread_ready_ = rc == TX_SUCCESS;
    }
    rc = tx_timer_create(&timer_, "Modem Timer", TimerExpiry, 0, FIRST_READING_TICKS,
                         READING_PERIOD_TICKS, TX_AUTO_ACTIVATE);
    if (rc != TX_SUCCESS) console_printf("tx_timer_create failed:%d\n", rc);
    timer_ready_ = rc == TX_SUCCESS;
    rc = tx_event_flags_create(&events_, "Modem Events");
    if (rc != TX_SUCCESS) console_printf("event_flags_create failed:%d\n", rc);
    events_ready_ = rc == TX_SUCCESS;
    signal_ = NO_READING;
    aux_registered_ = the_signal_point().RegisterAuxIO(&aux_row_, AUX_DIGITAL, AUX_DIRECTION,
                                                       AUX_RESOLUTION, "%s", AUX_NAME);
}

CModemTask::~CModemTask() {
    if (aux_registered_) the_signal_point().UnregisterAuxIO(aux_row_);
    if (timer_ready_) {
        tx_timer_deactivate(&timer_);
        tx_timer_delete(&timer_);
    }
    if (thread_ready_) {
        tx_thread_terminate(&thread_);
        tx_thread_delete(&thread_);
    }
    if (events_ready_) tx_event_flags_delete(&events_);
    if (mutex_ready_) tx_mutex_delete(&mutex_);
    if (stack_) tx_byte_release(stack_);
    telnet_.Disconnect();
}

void CModemTask::TimerExpiry(ULONG) {
    if (cellular_modem_task) tx_event_flags_set(&cellular_modem_task->events_, READ_SIGNAL, TX_OR);
}

void CModemTask::ThreadEntry(ULONG) {
    if (cellular_modem_task) cellular_modem_task->ThreadLoop();
}

void CModemTask::ThreadLoop() {
    mutex_ready_ = tx_mutex_create(&mutex_, "modemtask", TX_NO_INHERIT) == TX_SUCCESS;
    if (!mutex_ready_) console_printf("failed to create modemtask mutex\n");
    for (;;) {
        ULONG events = 0;
        if (tx_event_flags_get(&events_, COMMANDS, TX_OR_CLEAR, &events, TX_WAIT_FOREVER) !=
            TX_SUCCESS) {
            tx_thread_sleep(READING_PERIOD_TICKS);
            continue;
        }
        Dispatch(events);
    }
}

void CModemTask::Dispatch(ULONG events) {
    if (events & RUN_IDENTITY)
        tx_event_flags_set(&events_, bit_of(IDENTITY_RESULTS, RunInfoScript()), TX_OR);
    if (events & RUN_CONFIGURATION)
        tx_event_flags_set(&events_, bit_of(CONFIGURATION_RESULTS, RunConfigScript()), TX_OR);
    if (events & READ_SIGNAL) ReadSignalStrength();
}

const char* CModemTask::GetCarrierName() const {
    return CARRIERS[carrier_ < sizeof CARRIERS / sizeof CARRIERS[0] ? carrier_ : 0].name;
}

int CModemTask::GetSignalQualityText(bool french, const char** text) {
    if (mutex_ready_) tx_mutex_get(&mutex_, TX_WAIT_FOREVER);
    int found = 0;
    for (const quality_row& row : QUALITIES) {
        if (signal_ == NO_READING || signal_ < row.lowest || signal_ > row.highest) continue;
        if (text) *text = french ? row.french : row.english;
        found = 1;
        break;
    }
    if (mutex_ready_) tx_mutex_put(&mutex_);
    return found;
}

// ---- Reply handling ----

void CModemTask::StripEcho(char* reply, uint32_t size, const char* command) {
    if (!reply || size == 0 || !command) return;
    reply[size - 1] = 0;
    char copy[RECEIVE_BYTES] = {};
    uint32_t used = 0;
    for (const char* c = reply; *c && used + 1 < sizeof copy; ++c) {
        copy[used++] = *c;
        if (c[0] == '\r' && c[1] == '\n') ++c;
    }
    // The echo is the command itself, CR included, at the very start: text
    // that merely holds "AT" further on (an operator named "AT&T") is data.
    size_t echo = std::strlen(command);
    if (echo == 0 || command[echo - 1] != '\r' || std::strncmp(copy, command, echo) != 0) return;
    set_text(reply, size, copy + echo);
}

void CModemTask::TrimReply(char* reply) {
    if (!reply) return;
    char* ok = std::strstr(reply, "OK");
    if (!ok) return;
    *ok = 0;
    char* out = reply;
    for (const char* c = reply; *c; ++c)
        if (*c != '\r' && *c != '\n') *out++ = *c;
    *out = 0;
}

uint8_t CModemTask::DetectCarrier(const char* operator_reply) {
    for (uint8_t i = 1; i < sizeof CARRIERS / sizeof CARRIERS[0]; i++)
        if (operator_reply && std::strstr(operator_reply, CARRIERS[i].found_by)) return i;
    return CARRIER_UNKNOWN;
}

bool CModemTask::ParseSignal(const char* reply, int16_t* value) {
    const char* minus = reply ? std::strchr(reply, '-') : nullptr;
    if (!minus || minus[1] < '0' || minus[1] > '9') return false;
    int32_t magnitude = 0;
    for (const char* c = minus + 1; *c >= '0' && *c <= '9'; ++c) {
        magnitude = magnitude * 10 + (*c - '0');
        if (magnitude > 32768) return false;
    }
    *value = int16_t(-magnitude);
    return true;
}

// ---- The exchange ----

bool CModemTask::Connect() {
    return telnet_.Connect(LAN_ADDRESS, COMMAND_PORT) == 1;
}

void CModemTask::ReceiveGreeting() {
    uint8_t bytes[RECEIVE_BYTES];
    uint32_t length = 0;
    if (telnet_.Receive(bytes, sizeof bytes, &length, REPLY_WAIT))
        keep_printable(bytes, length, nullptr, 0);
}

bool CModemTask::Exchange(const char* command, char* field, uint32_t size) {
    console_printf("%s\n", command);
    if (!telnet_.Send(command, uint32_t(std::strlen(command)))) return false;
    uint8_t bytes[RECEIVE_BYTES];
    uint32_t length = 0;
    if (telnet_.Receive(bytes, sizeof bytes, &length, REPLY_WAIT) && length > 0)
        keep_printable(bytes, length, field, size);
    return true;
}

bool CModemTask::ExchangeAll(const char* const* commands, uint32_t count) {
    for (uint32_t i = 0; i < count; i++)
        if (!Exchange(commands[i], nullptr, 0)) return false;
    return true;
}

int CModemTask::Finish(int result) {
    telnet_.Disconnect();
    return result;
}

int CModemTask::RunInfoScript() {
    char operator_reply[OPERATOR_BYTES];
    set_text(identity_, sizeof identity_, "N/A");
    set_text(model_, sizeof model_, "N/A");
    set_text(phone_, sizeof phone_, "N/A");
    set_text(operator_reply, sizeof operator_reply, "N/A");
    if (!Connect()) return RESULT_NO_CONNECTION;
    ReceiveGreeting();
    static const char* const OPENING[] = {PASSWORD_LINE, "ATE0\r", "AT*TELNETTIMEOUT=20\r"};
    if (!ExchangeAll(OPENING, 3)) return Finish(RESULT_SEND_FAILED);
    struct query {
        const char* command;
        char* field;
        uint32_t size;
    };
    const query QUERIES[] = {
        {"ATI3\r", model_, sizeof model_},
        {"ATI0\r", identity_, sizeof identity_},
        {"AT*NETOP?\r", operator_reply, sizeof operator_reply},
        {"AT*NETPHONE?\r", phone_, sizeof phone_},
    };
    for (const query& q : QUERIES) {
        char reply[OPERATOR_BYTES] = {};
        if (!Exchange(q.command, reply, q.size)) return Finish(RESULT_SEND_FAILED);
        if (!reply[0]) continue; // no data: the field keeps "N/A"
        StripEcho(reply, q.size, q.command);
        TrimReply(reply);
        set_text(q.field, q.size, reply);
    }
    carrier_ = DetectCarrier(operator_reply);
    return Finish(RESULT_OK);
}

int CModemTask::RunConfigScript() {
    if (!Connect()) return RESULT_NO_CONNECTION;
    ReceiveGreeting();
    char domain[COMMAND_BYTES], server[COMMAND_BYTES], manager2[COMMAND_BYTES];
    std::snprintf(domain, sizeof domain, "AT*DOMAIN=%s\r", DDNS_DOMAIN);
    std::snprintf(server, sizeof server, "AT*IPMANAGER1=%s\r", DDNS_SERVER);
    std::snprintf(manager2, sizeof manager2, "AT*IPMANAGER2=%s\r", DDNS_DOMAIN);
    const char* const COMMON[] = {PASSWORD_LINE,
                                  "AT*TELNETTIMEOUT=20\r",
                                  "AT*DPORT=3001\r",
                                  "AT*HOSTPRIVMODE=0\r",
                                  "AT*MODEMNAME=#NETPHONE\r",
                                  domain,
                                  server,
                                  "AT*IPMGRUPDATE1=255\r",
                                  manager2,
                                  "AT*IPMGRUPDATE2=255\r",
                                  "AT&W\r"};
    if (!ExchangeAll(COMMON, sizeof COMMON / sizeof COMMON[0])) return Finish(RESULT_SEND_FAILED);
    char signal[SIGNAL_BYTES] = {};
    if (!Exchange("AT*NETRSSI?\r", signal, sizeof signal)) return Finish(RESULT_SEND_FAILED);
    int16_t strength = 0;
    if (!ParseSignal(signal, &strength) || strength < WEAKEST_USABLE)
        return Finish(RESULT_NO_SIGNAL);
    switch (carrier_) {
    case CARRIER_VERIZON:
    case CARRIER_SPRINT:
        return Finish(Provision());
    case CARRIER_ATT:
        return Finish(ConfigureApn());
    default:
        return Finish(RESULT_UNSUPPORTED);
    }
}

int CModemTask::ConfigureApn() {
    struct credential {
        const char* format;
        const DbObject& object;
    };
    const credential CREDENTIALS[] = {
        {"AT*NETAPN=%s", obj::modemApn},
        {"AT*NETUID=%s", obj::modemUserId},
        {"AT*NETPW=%s", obj::modemPassword},
    };
    char commands[4][COMMAND_BYTES];
    for (uint32_t i = 0; i < 3; i++) {
        char value[SETTING_BYTES];
        setting(CREDENTIALS[i].object, value, sizeof value);
        std::snprintf(commands[i], COMMAND_BYTES, CREDENTIALS[i].format, value);
    }
    set_text(commands[3], COMMAND_BYTES, "AT&W\r");
    for (const char* command : commands) {
        console_printf("%s\n", command);
        if (!telnet_.Send(command, uint32_t(std::strlen(command)))) return RESULT_SEND_FAILED;
        uint8_t bytes[RECEIVE_BYTES];
        uint32_t length = 0;
        if (!telnet_.Receive(bytes, sizeof bytes, &length, REPLY_WAIT) || length == 0)
            return RESULT_SEND_FAILED;
        char reply[CONFIRM_BYTES];
        keep_printable(bytes, length, reply, sizeof reply);
        if (!std::strstr(reply, "OK")) return RESULT_NOT_CONFIRMED;
    }
    return RESULT_OK;
}

int CModemTask::Provision() {
    char spc[SETTING_BYTES], second[SETTING_BYTES], third[SETTING_BYTES];
    setting(obj::modemProvisionSpc, spc, sizeof spc);
    setting(obj::modemProvisionArg2, second, sizeof second);
    setting(obj::modemProvisionArg3, third, sizeof third);
    char command[COMMAND_BYTES];
    std::snprintf(command, sizeof command, "AT*PROVISION2=%s,%s,%s\r", spc, second, third);
    console_printf("%s\n", command);
    if (!telnet_.Send(command, uint32_t(std::strlen(command)))) return RESULT_SEND_FAILED;
    for (;;) {
        uint8_t bytes[RECEIVE_BYTES];
        uint32_t length = 0;
        if (!telnet_.Receive(bytes, sizeof bytes, &length, PROVISION_WAIT) || length == 0)
            return RESULT_NOT_CONFIRMED;
        char reply[CONFIRM_BYTES + 1];
        keep_printable(bytes, length, reply, sizeof reply);
        if (std::strstr(reply, "OK")) return RESULT_OK;
    }
}

int CModemTask::ReadSignalStrength() {
    if (mutex_ready_) tx_mutex_get(&mutex_, TX_WAIT_FOREVER);
    signal_ = NO_READING;
    int result = RESULT_OK;
    char reply[SIGNAL_BYTES] = {};
    int16_t value = 0;
    static const char* const OPENING[] = {PASSWORD_LINE, "AT*TELNETTIMEOUT=20\r"};
    if (!Connect()) {
        result = RESULT_NO_CONNECTION;
    } else {
        ReceiveGreeting();
        if (!ExchangeAll(OPENING, 2) || !Exchange("AT*NETRSSI?\r", reply, sizeof reply))
            result = RESULT_SEND_FAILED;
        TrimReply(reply);
        if (result == RESULT_OK && !ParseSignal(reply, &value)) result = RESULT_SEND_FAILED;
    }
    if (result == RESULT_OK) {
        uint32_t stored = uint16_t(value);
        if (aux_registered_) the_signal_point().SetAuxIOValue(aux_row_, stored);
        db_set(obj::modemRssi, stored, DB_NOTIFY);
        signal_ = value;
    }
    if (mutex_ready_) tx_mutex_put(&mutex_);
    telnet_.Disconnect();
    return result;
}
