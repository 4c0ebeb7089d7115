// DC I/O boards (see dcio.h).
#include "peripherals/io/dcio.h"

#include "peripherals/can/can_networks.h"
#include "peripherals/factory.h"
#include "runtime/console.h"

#include <cstring>

namespace {

const uint8_t CONFIGURE_RESET_MARK = 0x07;
const uint8_t BOTH_TOP_BITS = 0xC0;
const uint8_t REPLY_CONFIGURED = CAN_REPLY_TAG + CAN_COMMAND_CONFIGURE; // 'C'
const uint8_t FIRST_PORT_BYTE = 3;
const uint16_t FIRST_FULL_ID = 50, LAST_FULL_ID = 55, TCB_ID = 55, BUS_CODE_2_ID = 54;
const uint16_t FIRST_MINI_ID = 590;
const uint8_t LISTENER_REVISION = 5, KEEP_ALIVE_REVISION = 6;
const unsigned REQUEST_STEPS = 255, TRIGGER_STEPS = 15;
const uint8_t MINI_PORTS[DCIO::PORTS] = {DCIO::PORT_INPUT, DCIO::PORT_OUTPUT, DCIO::PORT_INPUT,
                                         DCIO::PORT_INPUT};
const uint8_t INITIAL_OUTPUT[IO_IMAGE_BYTES] = {CAN_COMMAND_SET_OUTPUTS, 1, 1, 0, 0, 0, 0, 0};

// Trigger steps: three ports for each of the five masks.
const uint8_t TRIGGER_TYPE[IO_TRIGGER_KINDS] = {4, 4, 1, 2, 3};
const uint8_t TRIGGER_PORT[3] = {0, 1, 3};

// Silence: 80 polls give up (again every 80, see Supervise), the driver is
// initialised again every 20 (bus-code bit 0x2) and once more at 80; the
// bound of ten counts since the last reply, so it is kept here.
const can_silence_rule SILENCE = {0, 80, 20, 255, CAN_CODE_LOCAL_REINIT, 1};

// Shared by every DC I/O board.
int8_t keep_alive_countdown = DCIO::KEEP_ALIVE_POLLS;

} // namespace

const char* DCIO::IdToName(uint16_t id) {
    uint8_t code = periph_id_to_class(id);
    return code == PERIPHERAL_CLASS_DCIO || code == PERIPHERAL_CLASS_MINI_DCIO || id == 56
               ? periph_id_to_name(id)
               : nullptr;
}

uint16_t DCIO::NameToId(const char* name) {
    uint16_t id = periph_name_to_id(name);
    return IdToName(id) != nullptr ? id : 0;
}

DCIO::DCIO(uint8_t class_code, uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel,
           const uint8_t ports[PORTS])
    : CCanIOBoard(class_code, id, bus_code, can_id, channel) {
    silence_ = can_silence(SILENCE);
    std::memcpy(ports_, ports, PORTS);
    std::memcpy(output_, INITIAL_OUTPUT, sizeof output_);
}

bool DCIO::Init() {
    RegisterDevice(periph_id_to_name(Id()));
    for (unsigned p = 0; p < PORTS; ++p) {
        if (ports_[p] != PORT_INPUT && ports_[p] != PORT_OUTPUT) {
            m_byState = STATE_INIT_ERROR;
            return false;
        }
        direction_map_[FIRST_PORT_BYTE + p] = ports_[p] == PORT_OUTPUT ? 0xFF : 0x00;
    }
    m_byState = STATE_READING;
    return true;
}

uint8_t* DCIO::TriggerMask(uint8_t kind) {
    return kind >= 1 && kind <= IO_TRIGGER_KINDS ? triggers_[kind - 1] : nullptr;
}

// ---- replies ----------------------------------------------------------------------

void DCIO::OnReply(const can_packet& reply) {
    Heard();
    const uint8_t tag = reply.data[0];
    switch (phase_) {
    case PHASE_IDENTIFY:
        if (tag != CAN_REPLY_IDENTITY) return;
        if (IsMini()) {
            phase_ = PHASE_RUN, request_ = REQUEST_RUN;
        } else if (Revision() < LISTENER_REVISION || Id() < FIRST_FULL_ID || Id() > 56 ||
                   Id() == TCB_ID) {
            phase_ = PHASE_PORTS, request_ = REQUEST_PORTS;
        } else {
            phase_ = PHASE_RESET, request_ = REQUEST_RESET;
        }
        return;
    case PHASE_RESET:
        if (tag != REPLY_CONFIGURED) return;
        config_pending_ = 0;
        phase_ = PHASE_PORTS, request_ = REQUEST_PORTS;
        return;
    case PHASE_PORTS:
        if (tag == REPLY_CONFIGURED || ((tag & BOTH_TOP_BITS) == BOTH_TOP_BITS && config_pending_))
            EndPortConfiguration();
        return;
    case PHASE_LISTENERS:
    case PHASE_TRIGGERS:
        return;
    case PHASE_RUN:
        if (tag != CAN_REPLY_DATA) return;
        m_byState = STATE_VALID;
        input_valid_ = 1;
        last_input_ = reply;
        NotifyListeners();
        return;
    default:
        phase_ = PHASE_IDENTIFY;
    }
}

void DCIO::EndPortConfiguration() {
    if (ConfiguresListeners())
        phase_ = PHASE_LISTENERS, request_ = REQUEST_LISTENERS;
    else
        phase_ = PHASE_RUN, request_ = REQUEST_RUN;
}

bool DCIO::ConfiguresListeners() const {
    return Id() >= FIRST_FULL_ID && Id() <= LAST_FULL_ID && Revision() >= LISTENER_REVISION;
}

// The listeners' event handlers run here, on the peripheral task's thread.
void DCIO::NotifyListeners() {
    listeners_.Notify();
}

// ---- poll ---------------------------------------------------------------------------

void DCIO::Poll() {
    if (m_byState < STATE_READING) return;
    if (Queued() != 0) input_valid_ = 0;
    DrainReplies();
    if (listeners_.TakeChange()) Restart();
    SendNextRequest();
    Supervise();
}

void DCIO::Restart() {
    phase_ = PHASE_IDENTIFY, request_ = REQUEST_IDENTIFY;
    silence_.Heard();
    reinits_ = 0;
    keep_alive_ = input_valid_ = outputs_changed_ = 0;
    std::memcpy(output_, INITIAL_OUTPUT, sizeof output_);
}

void DCIO::SendNextRequest() {
    for (unsigned step = 0; step < REQUEST_STEPS; ++step) {
        switch (request_) {
        case REQUEST_IDENTIFY:
            next_listener_ = trigger_step_ = 0;
            SendIdentify();
            return;
        case REQUEST_RESET: {
            const uint8_t reset[5] = {0, 0, 0, 0, CONFIGURE_RESET_MARK};
            SendRequest(CAN_COMMAND_CONFIGURE, reset);
            wait_ = RESET_WAIT_POLLS;
            request_ = REQUEST_WAIT;
            return;
        }
        case REQUEST_PORTS: {
            const uint8_t ports[5] = {ports_[0], ports_[1], ports_[2], ports_[3], 0};
            SendRequest(CAN_COMMAND_CONFIGURE, ports);
            config_pending_ = 1;
            return;
        }
        case REQUEST_LISTENERS:
            if (ConfiguresListeners() && SendBeaconConfiguration()) return;
            if (ConfiguresListeners())
                phase_ = PHASE_TRIGGERS, request_ = REQUEST_TRIGGERS;
            else
                phase_ = PHASE_RUN, request_ = REQUEST_RUN;
            break;
        case REQUEST_TRIGGERS:
            if (ConfiguresListeners() && SendTriggerMask()) return;
            phase_ = PHASE_RUN, request_ = REQUEST_RUN;
            break;
        case REQUEST_RUN:
            SendRunRequest();
            return;
        case REQUEST_WAIT:
            if (--wait_ != 0) return;
            request_ = REQUEST_RESET;
            break;
        default:
            request_ = REQUEST_RUN;
        }
    }
}

bool DCIO::SendBeaconConfiguration() {
    for (unsigned slot = next_listener_; slot < LISTENERS; ++slot) {
        io_bridge* bridge = listeners_.At(slot);
        CPeripheral* owner = bridge != nullptr ? bridge->Owner() : nullptr;
        if (owner == nullptr || owner->ClassCode() != PERIPHERAL_CLASS_BEACON_IO) continue;
        auto* beacon = dynamic_cast<dcio_beacon_listener*>(owner);
        if (beacon == nullptr) continue;
        uint8_t bytes[5] = {}, keep_alive = 0;
        beacon->BeaconConfiguration(bytes, &keep_alive);
        keep_alive_ = Revision() >= KEEP_ALIVE_REVISION && keep_alive != 0;
        next_listener_ = uint8_t(slot + 1);
        SendRequest(CAN_COMMAND_CONFIGURE, bytes);
        return true;
    }
    return false;
}

// Step s selects mask s / 3 (its type code) and port 0, 1 or 3 (s % 3); a
// step sends only a non-empty port byte, and port 3 only when it is an input.
bool DCIO::SendTriggerMask() {
    while (trigger_step_ < TRIGGER_STEPS) {
        const unsigned s = trigger_step_++;
        const uint8_t port = TRIGGER_PORT[s % 3];
        const uint8_t value = triggers_[s / 3][FIRST_PORT_BYTE + port];
        if (value == 0 || (port == 3 && ports_[3] != PORT_INPUT)) continue;
        const uint8_t frame[5] = {port, value, 0, 0, TRIGGER_TYPE[s / 3]};
        SendRequest(CAN_COMMAND_CONFIGURE, frame);
        return true;
    }
    return false;
}

void DCIO::SendRunRequest() {
    if (outputs_changed_) {
        outputs_changed_ = 0;
        SendRequest(CAN_COMMAND_SET_OUTPUTS, output_ + FIRST_PORT_BYTE);
        return;
    }
    if (keep_alive_) --keep_alive_countdown;
    if (keep_alive_countdown != 0) {
        SendRead();
        return;
    }
    SendRequest(CAN_COMMAND_KEEP_ALIVE);
    keep_alive_countdown = KEEP_ALIVE_POLLS;
}

// 80 silent polls give COMM ERROR, again every 80; on the way (bus code bit
// 0x2) the driver is initialised again at 20, 40, 60 and 80, at most ten
// times until a reply.
void DCIO::Supervise() {
    const uint8_t asked = silence_.SilentPoll(DeviceBusCode());
    if (asked & can_silence::GIVE_UP) {
        trace_printf("Warning: Comm Timeout %d\n", int(Id()));
        m_byState = STATE_COMM_ERROR;
        silence_.Heard();
    }
    if ((asked & can_silence::REINITIALISE) && reinits_ < REINITS_BEFORE_REPLY) {
        ++reinits_;
        RequestReinit();
    }
    ServiceReinit();
}

// ---- factories ------------------------------------------------------------------------

namespace {

CPeripheral* refuse(const PeripheralRecord& record) {
    console_printf("creation string of %s refused: %s\n", periph_id_to_name(record.id),
                   record.parameters ? record.parameters : "");
    return nullptr;
}

} // namespace

// CAN id, the four port codes, bus code, channel.
CPeripheral* Create_DCIO(const PeripheralRecord& record, const PeripheralParameters& values) {
    PeripheralParameters can;
    can.value[0] = values.value[0];
    can.value[1] = values.value[5];
    can.value[2] = values.value[6];
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!can_board_values(can, &can_id, &bus_code, &channel)) return refuse(record);
    uint8_t ports[DCIO::PORTS];
    for (unsigned p = 0; p < DCIO::PORTS; ++p)
        ports[p] = values.value[1 + p] <= 0xFF ? uint8_t(values.value[1 + p]) : 0;
    if (bus_code == 0 && record.id == BUS_CODE_2_ID) bus_code = CAN_CODE_LOCAL_REINIT;
    return periph_finish_creation(
        new DCIO(PERIPHERAL_CLASS_DCIO, record.id, bus_code, can_id, channel, ports), record);
}

// CAN id, bus code, channel; the ports are fixed.
CPeripheral* Create_MiniDCIO(const PeripheralRecord& record, const PeripheralParameters& values) {
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!can_board_values(values, &can_id, &bus_code, &channel)) return refuse(record);
    if (bus_code == 0 && record.id == FIRST_MINI_ID) bus_code = CAN_CODE_PANEL;
    return periph_finish_creation(
        new DCIO(PERIPHERAL_CLASS_MINI_DCIO, record.id, bus_code, can_id, channel, MINI_PORTS),
        record);
}
