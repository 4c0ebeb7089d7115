// Auto-detection probes and the auto-detect table (see can_detect.h).
#include "peripherals/can/can_detect.h"

#include "peripherals/can/can_networks.h"
#include "runtime/os.h"

#include <cstdio>

namespace {

const uint8_t IDENTIFY[CAN_DATA_BYTES] = {0x02, 0x01, 0x01, 0, 0, 0, 0, 0};
const uint32_t PROBE_PAUSE = 1; // tick after each identify request

uint8_t g_instances = 0; // names every detector apart

} // namespace

can_detect::can_detect(can_core& core) : core_(core) {
    std::snprintf(name_, sizeof name_, "auto detect utility %d", int(g_instances++));
    SetDeviceName(name_);
}

can_detect::~can_detect() {
    Stop();
}

bool can_detect::Probe(uint8_t bus_code, const char* bus_name, uint32_t range_low,
                       uint32_t range_high, const uint32_t* ids, unsigned count) {
    if (active_ || ids == nullptr) return 0;
    SetDeviceBusCode(bus_code);
    SetBusName(bus_name);
    SetRange(range_low, range_high);
    responder_count_ = 0;
    cursor_ = 0;
    if (!core_.RegisterDevice(this)) return 0;
    active_ = 1;
    for (unsigned i = 0; i < count; ++i) {
        can_packet identify(ids[i], 0, CAN_DATA_BYTES, IDENTIFY);
        if (Bus() != nullptr) Bus()->Send(&identify, this);
        os_sleep(PROBE_PAUSE);
    }
    return active_;
}

bool can_detect::Stop() {
    if (active_ && core_.UnregisterDevice(this)) active_ = 0;
    return active_;
}

bool can_detect::Accepts(const can_packet& packet) const {
    return InRange(packet.identifier - CAN_REPLY_OFFSET);
}

bool can_detect::Answered(uint32_t id, uint8_t channel) const {
    for (unsigned i = 0; i < responder_count_; ++i)
        if (responder_ids_[i] == id && responder_channels_[i] == channel) return true;
    return false;
}

void can_detect::Collect(const can_packet& packet) {
    uint32_t id = packet.identifier - CAN_REPLY_OFFSET;
    if (Answered(id, packet.channel) || responder_count_ == MAX_RESPONDERS) return;
    responder_ids_[responder_count_] = id;
    responder_channels_[responder_count_] = packet.channel;
    ++responder_count_;
}

bool can_detect::First(uint32_t* id, uint8_t* channel) {
    cursor_ = 0;
    return Next(id, channel);
}

bool can_detect::Next(uint32_t* id, uint8_t* channel) {
    if (active_ || cursor_ >= responder_count_ || id == nullptr || channel == nullptr) return false;
    *id = responder_ids_[cursor_];
    *channel = responder_channels_[cursor_];
    ++cursor_;
    return true;
}

CPeripheralDetector* create_peripheral_detector() {
    return new can_detect(the_can_core());
}
