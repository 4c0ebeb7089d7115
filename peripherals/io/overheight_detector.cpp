// Overheight detectors (see overheight_detector.h).
#include "peripherals/io/overheight_detector.h"

#include "display/message_codes.h"
#include "peripherals/activation_rows.h"
#include "peripherals/factory.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint8_t INPUT_REPORT = 0x40;
const uint16_t UNTIL_REPLACED = 65535;
const uint8_t EMERGENCY_PRIORITY = 255;
const uint8_t REQUEST_STATE = 1, REQUEST_SOURCE = 6;

} // namespace

COverheightDetector::COverheightDetector(uint16_t id, uint32_t point, uint32_t board_id,
                                         uint8_t invert, uint32_t message_number)
    : CPointPeripheral(PERIPHERAL_CLASS_OVERHEIGHT, id), point_(point), board_id_(board_id),
      message_number_(message_number), invert_(invert) {}

COverheightDetector::~COverheightDetector() {
    if (detector_state_ == DETECTOR_TRIPPED) ClearEmergencyRequest(Slot());
}

// A message number past the changeable message table would select a CRC
// outside it: such a detector is refused.
bool COverheightDetector::Init() {
    if (message_number_ > MAX_MESSAGE_NUMBER) {
        console_printf("%s: message %u is not a changeable message (1 to %u)\n",
                       periph_id_to_name(Id()), unsigned(message_number_),
                       unsigned(MAX_MESSAGE_NUMBER));
        return InitError();
    }
    if (!AttachBoard(board_id_) || RegisterInputPoint(point_) == 0 || !ClaimDigitalInputRow())
        return false;
    m_byState = STATE_READING;
    return true;
}

void COverheightDetector::OnEvent(uint32_t) {
    if (Bridge().FirstInputByte() != INPUT_REPORT) return;
    m_byState = STATE_VALID;
    const uint8_t value = uint8_t(Bridge().Get(Serial(), 1));
    const bool active = invert_ ? value == 0 : value != 0;
    SetAuxValue(active ? 1 : 0);
    if (detector_state_ == DETECTOR_IDLE && active) {
        ActivateEmergencyMessage(Slot(), uint16_t(message_number_));
        detector_state_ = DETECTOR_TRIPPED; // whatever the result: no retry until released
    } else if (detector_state_ == DETECTOR_TRIPPED && !active) {
        ClearEmergencyRequest(Slot());
        detector_state_ = DETECTOR_IDLE;
    }
}

// A lost board neither trips nor releases the detector.
void COverheightDetector::Poll() {
    if (m_byState < STATE_READING) return;
    if (BoardInCommError()) m_byState = STATE_COMM_ERROR;
    Bridge().Process();
}

bool COverheightDetector::ActivateEmergencyMessage(uint8_t slot, uint16_t message_number) {
    uint8_t id_bytes[CMsgIDCode::kLength + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::halvEmergencyMessage, id_bytes, sizeof id_bytes, &length);
    if (length != CMsgIDCode::kLength) {
        console_printf("Error reading halvEmergencyMessage\n");
        return false;
    }
    CMsgIDCode message;
    message.Decode(id_bytes, CMsgIDCode::kLength);
    const uint8_t no_source[4] = {};
    CMsgActivationCode code;
    code.Set(UNTIL_REPLACED, EMERGENCY_PRIORITY, message.m_memoryType, message.m_messageNumber,
             message.m_messageCRC, no_source);
    if (message_number > 0 && message_number <= MAX_MESSAGE_NUMBER)
        code.Set(UNTIL_REPLACED, EMERGENCY_PRIORITY, MSG_MEMORY_CHANGEABLE, message_number,
                 uint16_t(db_get(obj::changeableMsgCRC.row(message_number - 1u))), no_source);
    write_activation_row(slot, code.Encoded(), REQUEST_STATE, REQUEST_SOURCE);
    return true;
}

void COverheightDetector::ClearEmergencyRequest(uint8_t slot) {
    clear_activation_row(slot);
}

// Point, board id, invert flag (low byte), message number (checked by Init).
CPeripheral* Create_OverheightDetector(const PeripheralRecord& record,
                                       const PeripheralParameters& values) {
    return periph_finish_creation(new COverheightDetector(record.id, values.value[0],
                                                          values.value[1], uint8_t(values.value[2]),
                                                          values.value[3]),
                                  record);
}
