// Door sensors (see door_sensor.h).
#include "peripherals/io/door_sensor.h"

#include "comm/agents/trap_raise.h"
#include "peripherals/factory.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"
#include "store/short_error_status.h"

uint8_t CDoorSensor::count_ = 0;

namespace {

const unsigned DOORS_IN_MAP = 8; // dmsStatDoorOpen is one byte

void change_bits(const DbObject& object, uint32_t set, uint32_t clear) {
    db_change_bits(object, set, clear, DB_NOTIFY);
}

} // namespace

CDoorSensor::CDoorSensor(uint16_t id, uint32_t point, uint32_t board_id)
    : CPointPeripheral(PERIPHERAL_CLASS_DOOR, id), point_(point), board_id_(board_id) {
    ++count_;
}

CDoorSensor::~CDoorSensor() {
    --count_;
    change_bits(obj::dmsStatDoorOpen, 0, DoorBit());
    if (db_get(obj::dmsStatDoorOpen) == 0) short_error_clear(SHORT_ERROR_DOOR_OPEN);
}

uint32_t CDoorSensor::DoorBit() const {
    return door_number_ >= 1 && door_number_ <= DOORS_IN_MAP ? 1u << (door_number_ - 1) : 0;
}

// Every door sensor's start clears the door status of all doors.
bool CDoorSensor::Init() {
    db_set(obj::dmsStatDoorOpen, 0, DB_NOTIFY);
    short_error_clear(SHORT_ERROR_DOOR_OPEN);
    door_number_ = count_;
    if (!AttachBoard(board_id_) || RegisterInputPoint(point_) == 0 || !ClaimDigitalInputRow())
        return false;
    m_byState = STATE_READING;
    return true;
}

void CDoorSensor::OnEvent(uint32_t) {
    m_byState = STATE_VALID;
    const bool open = Bridge().Get(Serial(), 0) != 0;
    if (open && door_state_ != DOOR_OPEN) Opened();
    if (!open && door_state_ != DOOR_CLOSED) Closed();
}

void CDoorSensor::Opened() {
    change_bits(obj::dmsStatDoorOpen, DoorBit(), 0);
    short_error_set(SHORT_ERROR_DOOR_OPEN);
    raise_sign_trap(TRAP_DOOR_OPEN);
    SetAuxValue(1);
    change_bits(obj::quorvelObj1_1_20_7, STATUS_WORD_DOOR_OPEN, 0);
    door_state_ = DOOR_OPEN;
}

void CDoorSensor::Closed() {
    change_bits(obj::dmsStatDoorOpen, 0, DoorBit());
    if (db_get(obj::dmsStatDoorOpen) == 0) short_error_clear(SHORT_ERROR_DOOR_OPEN);
    SetAuxValue(0);
    change_bits(obj::quorvelObj1_1_20_7, 0, STATUS_WORD_DOOR_OPEN);
    door_state_ = DOOR_CLOSED;
}

// An unreachable board: the door counts as open, at every poll, without a trap.
void CDoorSensor::Poll() {
    if (m_byState < STATE_READING) return;
    if (!BoardInCommError()) {
        Bridge().Process();
        return;
    }
    m_byState = STATE_COMM_ERROR;
    SetAuxValue(1);
    change_bits(obj::dmsStatDoorOpen, DoorBit(), 0);
    change_bits(obj::quorvelObj1_1_20_7, 0, STATUS_WORD_DOOR_OPEN);
    door_state_ = DOOR_OPEN;
    short_error_set(SHORT_ERROR_DOOR_OPEN);
}

// Point, board id.
CPeripheral* Create_DoorSensor(const PeripheralRecord& record, const PeripheralParameters& values) {
    return periph_finish_creation(new CDoorSensor(record.id, values.value[0], values.value[1]),
                                  record);
}
