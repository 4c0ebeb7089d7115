// Beacons (see beacon.h).
#include "peripherals/io/beacon.h"

#include "display/display_task.h"
#include "peripherals/factory.h"

#include <cstring>

namespace {

const char* const TEXT_ON = "      ON";
const char* const TEXT_OFF = "     OFF";
const uint32_t PAIR_ON = 3;

bool beacon_requested() {
    return TheDisplay().BeaconOn();
}

const char* beacon_text() {
    return beacon_requested() ? TEXT_ON : TEXT_OFF;
}

// The port the board flashes: {selector, first mask bit of its points}, the
// first whose points the mask holds.
struct beacon_port {
    uint8_t selector;
    unsigned first_bit;
};
const beacon_port BEACON_PORTS[] = {{3, 24}, {2, 16}}; // points 48-55, 40-47

} // namespace

// ---- both kinds ------------------------------------------------------------------------

CBeaconOutputs::CBeaconOutputs(uint8_t class_code, uint16_t id, uint32_t on_value)
    : COutputPoint(class_code, id), on_value_(on_value) {}

void CBeaconOutputs::FollowRequest() {
    status_text_ = beacon_text();
    Bridge().Set(Serial(), beacon_requested() ? on_value_ : 0);
}

bool CBeaconOutputs::Start(uint32_t board_id, uint32_t point_mask) {
    if (!InitOutputs(board_id, point_mask)) return false;
    FollowRequest();
    m_byState = STATE_READING;
    return true;
}

void CBeaconOutputs::Poll() {
    if (m_byState < STATE_READING) return;
    FollowBoardState();
    FollowRequest();
    SetAuxValue(read_back_);
    Bridge().Process();
}

void CBeaconOutputs::OnEvent(uint32_t) {
    read_back_ = Bridge().Get(Serial(), 0) != 0 ? 1 : 0;
}

// ---- one output point -----------------------------------------------------------------

CBeacon::CBeacon(uint16_t id, uint32_t point, uint32_t board_id)
    : CBeaconOutputs(PERIPHERAL_CLASS_BEACON, id, 1), point_(point), board_id_(board_id) {}

bool CBeacon::Init() {
    uint32_t mask = 0;
    dcio_point_mask(point_, mask, true);
    return Start(board_id_, mask);
}

// ---- a pair the board flashes ------------------------------------------------------------

CBeaconIO::CBeaconIO(uint16_t id, uint32_t board_id, uint32_t point_mask,
                     const uint8_t configuration[4])
    : CBeaconOutputs(PERIPHERAL_CLASS_BEACON_IO, id, PAIR_ON), board_id_(board_id),
      point_mask_(point_mask) {
    std::memcpy(configuration_, configuration, sizeof configuration_);
    for (const beacon_port& port : BEACON_PORTS) {
        const uint8_t mask = uint8_t(point_mask >> port.first_bit);
        if (mask == 0) continue;
        port_selector_ = port.selector;
        port_mask_ = mask;
        break;
    }
}

bool CBeaconIO::Init() {
    return Start(board_id_, point_mask_);
}

void CBeaconIO::BeaconConfiguration(uint8_t bytes[5], uint8_t* keep_alive) const {
    bytes[0] = port_selector_;
    bytes[1] = port_mask_;
    std::memcpy(bytes + 2, configuration_, 3);
    *keep_alive = configuration_[3];
}

// ---- factories -----------------------------------------------------------------------------

// Point, board id.
CPeripheral* Create_Beacon(const PeripheralRecord& record, const PeripheralParameters& values) {
    return periph_finish_creation(new CBeacon(record.id, values.value[0], values.value[1]), record);
}

// Board id, point mask, four configuration bytes (the low byte of each field).
CPeripheral* Create_BeaconIO(const PeripheralRecord& record, const PeripheralParameters& values) {
    uint8_t configuration[4];
    for (unsigned i = 0; i < 4; ++i)
        configuration[i] = uint8_t(values.value[2 + i]);
    return periph_finish_creation(
        new CBeaconIO(record.id, values.value[0], values.value[1], configuration), record);
}
