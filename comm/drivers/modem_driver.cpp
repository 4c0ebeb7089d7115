#include "comm/drivers/modem_driver.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/drivers/serial_driver.h"
#include "platform/kernel/kernel.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/peripheral.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

const uint8_t PROTOCOL_FIRST = 1, PROTOCOL_LAST = 5;
const uint8_t PROTOCOL_NONE = 1;
const uint8_t PROTOCOL_IGNORED = 18; // modem events are not reported
const char INIT_OK[] = "\r0\r";
const char CALLER_NAME[] = "UNKNOWN";

// The agent each protocol of halvCommConfigProtocol row 0 binds to port 0.
struct protocol_agent {
    uint8_t protocol;
    const char* agent;
};
const protocol_agent PROTOCOL_AGENTS[] = {
    {1, nullptr}, {2, "ccp_pmpp"}, {3, "ccp_pmpp"}, {4, "ccp_ppp"}, {5, "ccp_ppp"},
};

// The modem whose line reports its modem status (one at most: the CCP port's).
CModemDriver* g_status_target = nullptr;

// The caller-ID report: the bytes expected in parser states 0 to 6.
const char CALLER_ID_PREFIX[] = "NMBR = ";
const uint8_t CALLER_NUMBER_STATE = 7;

} // namespace

CModemDriver::~CModemDriver() {
    if (g_status_target == this) g_status_target = nullptr;
}

bool CModemDriver::Initialize(uint16_t id, uint8_t port, const char* init_string) {
    (void)id, (void)port, (void)init_string;
    return false;
}

bool CModemDriver::RequestAccess() {
    if (port_ != CCP_PORT) {
        console_printf("CModem::RequestAccess: error port setting %d\n", port_);
        return false;
    }
    protocol_ = uint8_t(db_get(obj::halvCommConfigProtocol.row(CCP_PORT)));
    if (protocol_ < PROTOCOL_FIRST || protocol_ > PROTOCOL_LAST) {
        console_printf("CModem::RequestAccess: error protocol %d\n", protocol_);
        return false;
    }
    CNTCIP::Configure("ccp_pmpp", PORT_NONE);
    CNTCIP::Configure("ccp_ppp", PORT_NONE);
    serial_driver_ = static_cast<CSerialDriver*>(AcquirePortDriver(CCP_PORT));
    last_serial_driver_ = serial_driver_;
    return serial_driver_ != nullptr;
}

bool CModemDriver::ReleaseAccess() {
    ReleasePortDriver(CCP_PORT);
    serial_driver_ = nullptr;
    return BindAgent();
}

bool CModemDriver::BindAgent() {
    for (const protocol_agent& row : PROTOCOL_AGENTS) {
        if (row.protocol != protocol_) continue;
        if (row.agent) CNTCIP::Configure(row.agent, CCP_PORT);
        return true;
    }
    console_printf("CModemDriver::ReleaseAccess: error protocol %d\n", protocol_);
    return false;
}

bool CModemDriver::SendCommand(const char* text, bool append_cr) {
    if (!RequestAccess()) {
        RestoreAfterRefusal();
        return false;
    }
    for (const char* c = text; c && *c; ++c) {
        serial_driver_->WriteByte(uint8_t(*c));
        trace_printf("%c", *c);
    }
    if (append_cr) serial_driver_->WriteByte('\r');
    trace_printf("\n");
    ReleaseAccess();
    return true;
}

// A refused access that had already unbound the agents binds theirs back;
// the port's lock stays with whoever holds it.
void CModemDriver::RestoreAfterRefusal() {
    if (port_ == CCP_PORT && protocol_ >= PROTOCOL_FIRST && protocol_ <= PROTOCOL_LAST) BindAgent();
}

void CModemDriver::Dial(const char* number) {
    char command[DIAL_BUFFER_BYTES];
    int length = std::snprintf(command, sizeof command, "ATDTW%s", number ? number : "");
    if (length < 0 || uint32_t(length) >= sizeof command) {
        console_printf("CModemDriver::Dial: callback number too long, not dialled\n");
        return;
    }
    SendCommand(command, true);
}

void CModemDriver::Escape() {
    SendCommand("+++", false);
}

void CModemDriver::HangUp() {
    SendCommand("ATH0", true);
}

void CModemDriver::NotifyEvent(uint32_t argument, uint32_t event) {
    (void)argument;
    CModemDriver* modem = g_status_target;
    if (!modem || modem->protocol_ == PROTOCOL_IGNORED) return;
    switch (event) {
    case EVENT_RING:
        console_printf("ring\n");
        the_post_office().post(LETTER_MODEM_EVENT1);
        modem->ring_seen_ = 1;
        break;
    case EVENT_CARRIER:
        console_printf("connect\n");
        modem->connected_ = 1;
        the_post_office().post(LETTER_MODEM_EVENT2);
        break;
    case EVENT_CARRIER_LOST:
        console_printf("disconnect\n");
        the_post_office().post(LETTER_MODEM_EVENT3);
        // The escape and hang-up wait two seconds between them: they run
        // at the next periodic service, on the peripheral task's thread,
        // never in the serial interrupt that reports the loss.
        modem->OnCarrierLost();
        modem->connected_ = 0;
        break;
    default:
        console_printf("other\n");
        break;
    }
}

// ---- CModemDriver_Dialup ----

CModemDriver_Dialup::~CModemDriver_Dialup() {
    CNTCIP::UnlinkModem(this);
    CInterruptLock lock;
    delete responses_;
    responses_ = nullptr;
}

bool CModemDriver_Dialup::Initialize(uint16_t id, uint8_t port, const char* init_string) {
    if (!responses_) responses_ = new CRingBuffer(RESPONSE_RING_BYTES);
    state_ = INIT_DUE;
    peripheral_id_ = id;
    if (port != CCP_PORT) return false;
    port_ = CCP_PORT;
    CNTCIP::LinkExternalModem(port, this);
    if (RequestAccess()) {
        int byte = 0;
        while (serial_driver_->ReadByte(&byte)) {
        }
        g_status_target = this;
        serial_driver_->SetModemStatusCallback(0, NotifyEvent);
        ReleaseAccess();
    } else {
        RestoreAfterRefusal();
    }
    if (!init_string) return false;
    std::snprintf(init_string_, sizeof init_string_, "%s", init_string);
    return true;
}

void CModemDriver_Dialup::InitModem() {
    if (disconnect_due_) {
        disconnect_due_ = 0;
        Disconnect();
    }
    switch (state_) {
    case INIT_DUE:
        SendInitString();
        break;
    case INIT_SENT:
        AwaitInitResult();
        break;
    case READY:
        ReadCallerId();
        break;
    default:
        break;
    }
}

void CModemDriver_Dialup::SendInitString() {
    SendCommand(init_string_, false);
    matcher_.SetPattern(INIT_OK);
    state_ = INIT_SENT;
    init_wait_ = 0;
}

// The ring's bytes, taken at once with interrupts masked; they are echoed
// and examined afterwards, outside the masked section.
uint32_t CModemDriver_Dialup::DrainResponses(uint8_t* bytes) {
    uint32_t count = 0;
    CInterruptLock lock;
    while (responses_ && count < RESPONSE_RING_BYTES && responses_->Pop(bytes[count]))
        count++;
    return count;
}

void CModemDriver_Dialup::AwaitInitResult() {
    if (!responses_) return;
    if (init_wait_++ > INIT_WAIT_SERVICES) state_ = INIT_DUE;
    uint8_t bytes[RESPONSE_RING_BYTES];
    uint32_t count = DrainResponses(bytes);
    for (uint32_t i = 0; i < count; i++) {
        uint8_t byte = bytes[i];
        trace_printf("%c", byte);
        matcher_.Feed(byte);
        if (matcher_.Matched() && state_ != READY) {
            console_printf("\nInitialized %s\n", periph_id_to_name(peripheral_id_));
            state_ = READY;
        }
    }
}

void CModemDriver_Dialup::ReadCallerId() {
    if (!responses_) return;
    uint8_t bytes[RESPONSE_RING_BYTES];
    uint32_t count = DrainResponses(bytes);
    for (uint32_t i = 0; i < count; i++) {
        trace_printf("%c", bytes[i]);
        ParseCallerId(bytes[i]);
    }
}

void CModemDriver_Dialup::ParseCallerId(uint8_t byte) {
    if (byte == 'N') caller_state_ = 0;
    if (caller_state_ < CALLER_NUMBER_STATE - 1) {
        caller_state_ = byte == uint8_t(CALLER_ID_PREFIX[caller_state_]) ? caller_state_ + 1 : 0;
        return;
    }
    if (caller_state_ == CALLER_NUMBER_STATE - 1) {
        if (byte == uint8_t(CALLER_ID_PREFIX[caller_state_])) {
            std::memset(caller_number_, 0, sizeof caller_number_);
            caller_length_ = 0;
            caller_state_ = CALLER_NUMBER_STATE;
        } else {
            caller_state_ = 0;
        }
        return;
    }
    if (byte == '\r') {
        StoreCaller();
        caller_state_ = 0;
    } else if (caller_length_ < CALLER_NUMBER_BYTES - 1) {
        caller_number_[caller_length_++] = char(byte);
    } else {
        caller_state_ = 0;
    }
}

void CModemDriver_Dialup::StoreCaller() {
    db_set(obj::halvObj9_2, db_get_time(), DB_NO_TIME_WARNING | DB_NOTIFY);
    db_set_string(obj::halvObj9_3, CALLER_NAME, sizeof CALLER_NAME - 1, DB_NOTIFY);
    db_set_string(obj::halvObj9_1, caller_number_, caller_length_, DB_NOTIFY);
    console_printf("Caller ID:%s\n", caller_number_);
}

void CModemDriver_Dialup::Disconnect() {
    Escape();
    tx_thread_sleep(ESCAPE_GUARD_TICKS);
    HangUp();
}

void CModemDriver_Dialup::PushResponseByte(uint8_t byte) {
    CInterruptLock lock;
    if (responses_) responses_->Push(byte);
}

bool CModemDriver_Dialup::IsBufferAlmostFull() {
    CInterruptLock lock;
    return responses_ && responses_->IsAlmostFull();
}
