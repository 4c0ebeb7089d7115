// Auto-detection probes and the auto-detect table (see can_detect.h).
#include "peripherals/can/can_detect.h"

#include "peripherals/can/can_networks.h"
#include "runtime/os.h"

#include <cstdio>
#include <initializer_list>

namespace {

const uint8_t IDENTIFY[CAN_DATA_BYTES] = {0x02, 0x01, 0x01, 0, 0, 0, 0, 0};
const uint32_t PROBE_PAUSE = 1; // tick after each identify request

uint8_t g_instances = 0; // names every detector apart

} // namespace

const uint8_t CAN_PROBE_BUS_CODES[3] = {1, 2, 4};
const uint32_t CAN_PROBE_IDS[9] = {0x42000, 0x42010, 0x42100, 0x42900, 0x42220,
                                   0x42A00, 0x42E00, 0x42B00, 0x43000};

// Light, temperature and humidity sensors, mini DC I/O boards, the boards of
// ids 490, 680-699, 555/556 and 794-801 (stored, but no class builds them),
// pixel test boards.
const can_detect_row CAN_DETECT_TABLE[54] = {
    {1, 0x42004, 0, 0, 0},        {2, 0x42003, 0x42005, 0, 0}, {3, 0x42002, 0x42001, 0, 0},
    {12, 0x42104, 0x42101, 0, 0}, {13, 0x42105, 0, 0, 0},      {14, 0x42106, 0, 0, 0},
    {15, 0x42107, 0, 0, 0},       {11, 0x42108, 0, 0, 0},      {630, 0x42901, 0, 0, 0},
    {631, 0x42905, 0, 0, 0},      {633, 0x42906, 0, 0, 0},     {634, 0x42907, 0, 0, 0},
    {632, 0x42908, 0, 0, 0},      {590, 0x42221, 0, 0, 0},     {591, 0x42222, 0, 0, 0},
    {592, 0x42223, 0, 0, 0},      {593, 0x42224, 0, 0, 0},     {594, 0x42225, 0, 0, 0},
    {595, 0x42226, 0, 0, 0},      {490, 0x42601, 0, 0, 0},     {680, 0x42A01, 0, 0, 0},
    {681, 0x42A02, 0, 0, 0},      {682, 0x42A03, 0, 0, 0},     {683, 0x42A04, 0, 0, 0},
    {684, 0x42A05, 0, 0, 0},      {685, 0x42A06, 0, 0, 0},     {686, 0x42A07, 0, 0, 0},
    {687, 0x42A08, 0, 0, 0},      {688, 0x42A09, 0, 0, 0},     {689, 0x42A0A, 0, 0, 0},
    {690, 0x42A0B, 0, 0, 0},      {691, 0x42A0C, 0, 0, 0},     {692, 0x42A0D, 0, 0, 0},
    {693, 0x42A0E, 0, 0, 0},      {694, 0x42A0F, 0, 0, 0},     {695, 0x42A10, 0, 0, 0},
    {696, 0x42A11, 0, 0, 0},      {697, 0x42A12, 0, 0, 0},     {698, 0x42A13, 0, 0, 0},
    {699, 0x42A14, 0, 0, 0},      {555, 0x42E01, 0, 1, 0},     {556, 0x42E02, 0, 1, 0},
    {750, 0x42B01, 0, 0, 0},      {751, 0x42B02, 0, 0, 0},     {752, 0x42B03, 0, 0, 0},
    {753, 0x42B04, 0, 0, 0},      {794, 0x43001, 0, 0, 0},     {795, 0x43002, 0, 0, 0},
    {796, 0x43003, 0, 0, 0},      {797, 0x43004, 0, 0, 0},     {798, 0x43005, 0, 0, 0},
    {799, 0x43006, 0, 0, 0},      {800, 0x43007, 0, 0, 0},     {801, 0x43008, 0, 0, 0},
};

can_detect::can_detect(can_core& core) : core_(core) {
    std::snprintf(name_, sizeof name_, "auto detect utility %d", int(g_instances++));
    SetDeviceName(name_);
}

can_detect::~can_detect() {
    Stop();
}

uint8_t can_detect::Probe(uint8_t bus_code, const char* bus_name, uint32_t range_low,
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

uint8_t can_detect::Stop() {
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

void can_detected_peripherals(const can_detect& detector, uint8_t bus_code,
                              void (*store)(uint16_t id, const char* text, void* context),
                              void* context) {
    for (const can_detect_row& row : CAN_DETECT_TABLE) {
        uint32_t found = 0;
        for (uint32_t id : {row.can_id, row.alternate_id})
            if (found == 0 && id != 0 && detector.Answered(id, row.channel)) found = id;
        if (found == 0) continue;
        char text[32];
        if (row.third_field != 0) {
            std::snprintf(text, sizeof text, "%X,%X,%X", unsigned(found), unsigned(bus_code),
                          unsigned(row.third_field));
        } else {
            std::snprintf(text, sizeof text, "%X,%X", unsigned(found), unsigned(bus_code));
        }
        store(row.peripheral_id, text, context);
    }
}

can_auto_detect::~can_auto_detect() {
    Release();
}

void can_auto_detect::Release() {
    for (can_detect*& d : detectors_) {
        delete d; // stops it first
        d = nullptr;
    }
}

bool can_auto_detect::Request() {
    if (state_ != IDLE) return false;
    state_ = START;
    return true;
}

bool can_auto_detect::Step(store_fn store, void* context) {
    switch (state_) {
    case START:
        for (unsigned i = 0; i < PROBES; ++i) {
            uint8_t code = CAN_PROBE_BUS_CODES[i];
            detectors_[i] = new can_detect(core_);
            detectors_[i]->Probe(code, can_bus_name_from_code(code), CAN_PROBE_RANGE_LOW,
                                 CAN_PROBE_RANGE_HIGH, CAN_PROBE_IDS,
                                 sizeof CAN_PROBE_IDS / sizeof CAN_PROBE_IDS[0]);
        }
        state_ = PROBING;
        return false;
    case PROBING:
        state_ = COLLECT;
        return false;
    case COLLECT:
        for (unsigned i = 0; i < PROBES; ++i) {
            detectors_[i]->Stop();
            can_detected_peripherals(*detectors_[i], CAN_PROBE_BUS_CODES[i], store, context);
        }
        Release();
        state_ = IDLE;
        return true;
    default:
        return false;
    }
}
