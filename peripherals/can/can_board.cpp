// The CAN-board base and its silence supervisor (see can_board.h).
#include "peripherals/can/can_board.h"

#include "peripherals/can/can_networks.h"
#include "peripherals/peripheral_ids.h"
#include "runtime/console.h"

#include <cstdio>
#include <cstring>

namespace {

const uint8_t NO_BOUND = 255;

// The kinds' silence rules. Temperature sensors judge silence by their own
// timers and only share the reinitialisation request.
const can_silence_rule SILENCE_RULES[] = {
    // class, limit, reinit every, life bound, bus bit, one more at the limit
    {0x26, 0, 0, NO_BOUND, CAN_CODE_LOCAL_REINIT, 0},   // temperature
    {0x1B, 80, 20, 10, CAN_CODE_LOCAL_REINIT, 1},       // light
    {0x17, 10, 0, 0, 0, 0},                             // humidity
    {0x0D, 80, 20, 10, CAN_CODE_LOCAL_REINIT, 0},       // fan speed
    {0x2A, 30, 0, 0, 0, 0},                             // pixel test board
    {0x1E, 80, 20, NO_BOUND, CAN_CODE_LOCAL_REINIT, 0}, // AC I/O (gives up one poll later)
};
const can_silence_rule NEVER_GIVES_UP = {0, 0, 0, 0, 0, 0};

const uint8_t REQUEST_MARK = 0x01; // bytes 1 and 2 of every request
const int REVISION_HIGH = 5, REVISION_LOW = 6;

} // namespace

const can_silence_rule& can_silence_rule_of(uint8_t class_code) {
    for (const can_silence_rule& r : SILENCE_RULES)
        if (r.class_code == class_code) return r;
    return NEVER_GIVES_UP;
}

bool can_silence::TakeReinit(uint8_t bus_code) {
    if (!(bus_code & rule_->reinit_bus_bit)) return false;
    if (rule_->reinit_max != NO_BOUND) {
        if (reinits_ >= rule_->reinit_max) return false;
        ++reinits_;
    }
    return true;
}

uint8_t can_silence::SilentPoll(uint8_t bus_code) {
    if (rule_->limit == 0 || silent_polls_ >= rule_->limit) return NOTHING;
    ++silent_polls_;
    if (silent_polls_ == rule_->limit)
        return uint8_t(GIVE_UP |
                       (rule_->reinit_at_limit && TakeReinit(bus_code) ? REINITIALISE : 0));
    bool due = rule_->reinit_every != 0 && silent_polls_ % rule_->reinit_every == 0;
    return due && TakeReinit(bus_code) ? REINITIALISE : NOTHING;
}

CCanBoard::CCanBoard(uint8_t class_code, uint16_t id, uint8_t bus_code, uint32_t can_id,
                     uint8_t channel)
    : CPeripheral(class_code, id), silence_(can_silence_rule_of(class_code)) {
    SetDeviceId(can_id);
    SetDeviceBusCode(bus_code);
    SetBusName(can_bus_name_from_code(bus_code));
    SetChannel(channel);
}

CCanBoard::~CCanBoard() {
    the_can_core().UnregisterDevice(this);
}

bool CCanBoard::RegisterDevice(const char* name) {
    std::snprintf(device_name_, sizeof device_name_, "%s", name);
    SetDeviceName(device_name_);
    return the_can_core().RegisterDevice(this);
}

void CCanBoard::PrintStatus() {
    CPeripheral::PrintStatus();
    PrintCounters();
}

bool CCanBoard::SendRequest(uint8_t command, const uint8_t* args) {
    uint8_t data[CAN_DATA_BYTES] = {command, REQUEST_MARK, REQUEST_MARK, 0, 0, 0, 0, 0};
    if (args != nullptr) std::memcpy(data + 3, args, CAN_DATA_BYTES - 3);
    return Send(can_packet(DeviceId(), 0, CAN_DATA_BYTES, data));
}

unsigned CCanBoard::DrainReplies() {
    unsigned count = 0;
    can_packet reply;
    while (Pop(&reply)) {
        ++count;
        if (reply.data[0] == CAN_REPLY_IDENTITY)
            revision_ = uint16_t(reply.data[REVISION_HIGH] << 8 | reply.data[REVISION_LOW]);
        OnReply(reply);
    }
    return count;
}

void CCanBoard::ReadThenIdentify(uint8_t* counter) {
    const uint8_t READS = 10;
    DrainReplies();
    if (*counter >= READS) {
        *counter = 0;
        SendIdentify();
        return;
    }
    ++*counter;
    SendRead();
    SupervisePoll();
}

void CCanBoard::ServiceReinit() {
    if (!reinit_requested_) return;
    reinit_requested_ = 0;
    can_device::Reinit();
}

void CCanBoard::SupervisePoll() {
    uint8_t asked = silence_.SilentPoll(DeviceBusCode());
    if (asked & can_silence::GIVE_UP) OnSilenceLimit();
    if (asked & can_silence::REINITIALISE) {
        trace_printf("reinit j6 can driver \n");
        RequestReinit();
    }
    ServiceReinit();
}

bool can_board_values(const PeripheralParameters& values, uint32_t* can_id, uint8_t* bus_code,
                      uint8_t* channel) {
    const uint32_t MAX_IDENTIFIER = 0x1FFFFFFF, MAX_BYTE = 0xFF;
    if (values.value[0] > MAX_IDENTIFIER || values.value[1] > MAX_BYTE ||
        values.value[2] > MAX_BYTE)
        return false;
    *can_id = values.value[0];
    *bus_code = uint8_t(values.value[1]);
    *channel = uint8_t(values.value[2]);
    return true;
}
