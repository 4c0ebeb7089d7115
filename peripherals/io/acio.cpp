// AC I/O boards and their multi-point auxiliary ports (see acio.h).
#include "peripherals/io/acio.h"

#include "peripherals/factory.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

const uint8_t INITIAL_OUTPUT[IO_IMAGE_BYTES] = {CAN_COMMAND_SET_OUTPUTS, 1, 1, 0, 0, 0, 0, 0};
// Image bytes 3 and 4 (points 24-39) are outputs, the others inputs.
const uint8_t DIRECTIONS[IO_IMAGE_BYTES] = {0, 0, 0, 0xFF, 0xFF, 0, 0, 0};
const unsigned FIRST_DATA_BYTE = 3;
const unsigned BYTE5_ARG = 5 - FIRST_DATA_BYTE; // byte 5 of a request among its five arguments
const uint16_t POLL_PERIOD = 2;

} // namespace

// ---- the board ------------------------------------------------------------------------

ACIO::ACIO(uint16_t id, uint8_t bus_code, uint32_t can_id)
    : CCanIOBoard(PERIPHERAL_CLASS_ACIO, id, bus_code, can_id, 0) {
    std::memcpy(direction_map_, DIRECTIONS, sizeof direction_map_);
    std::memcpy(output_, INITIAL_OUTPUT, sizeof output_);
}

bool ACIO::Init() {
    char name[24];
    std::snprintf(name, sizeof name, "AC I/O %u", unsigned(Id()));
    RegisterDevice(name);
    m_byState = STATE_READING;
    return true;
}

// Only a board with the id 490 leaves identification. A reply in a phase
// the board never takes starts it again from identify.
void ACIO::OnReply(const can_packet& reply) {
    Heard();
    const uint8_t tag = reply.data[0];
    switch (phase_) {
    case PHASE_IDENTIFY:
        if (tag == CAN_REPLY_IDENTITY && Id() == BOARD_ID)
            phase_ = PHASE_RUN, request_ = REQUEST_RUN;
        break;
    case PHASE_RUN:
        if (tag != CAN_REPLY_DATA) break;
        m_byState = STATE_VALID;
        input_valid_ = 1;
        last_input_ = reply;
        break;
    default:
        phase_ = PHASE_IDENTIFY, request_ = REQUEST_IDENTIFY;
    }
    if (tag == CAN_REPLY_DATA) listeners_.Notify();
}

void ACIO::Poll() {
    if (m_byState < STATE_READING) return;
    DrainReplies();
    if (listeners_.TakeChange()) Restart();
    SendNextRequest();
    Supervise();
}

void ACIO::Restart() {
    phase_ = PHASE_IDENTIFY, request_ = REQUEST_IDENTIFY;
    silence_.Heard();
    reinits_ = 0;
    input_valid_ = outputs_changed_ = 0;
    std::memcpy(output_, INITIAL_OUTPUT, sizeof output_);
}

void ACIO::SendNextRequest() {
    uint8_t args[CAN_DATA_BYTES - FIRST_DATA_BYTE] = {};
    if (request_ == REQUEST_IDENTIFY) {
        args[BYTE5_ARG] = REQUEST_BYTE5;
        SendRequest(CAN_COMMAND_IDENTIFY, args);
        return;
    }
    request_ = REQUEST_RUN;
    uint8_t command = CAN_COMMAND_READ;
    if (outputs_changed_) {
        outputs_changed_ = 0;
        command = CAN_COMMAND_SET_OUTPUTS;
        std::memcpy(args, output_ + FIRST_DATA_BYTE, sizeof args);
    }
    args[BYTE5_ARG] = REQUEST_BYTE5;
    SendRequest(command, args);
}

// Counts silent polls up to 80; the poll that finds 80 gives the board up.
void ACIO::Supervise() {
    if (silence_.SilentPolls() >= SILENT_POLLS_LIMIT) {
        trace_printf("Warning: Comm Timeout %d\n", int(Id()));
        silence_.Heard();
        m_byState = STATE_COMM_ERROR;
        if (silence_.TakeReinit(DeviceBusCode())) Reinitialise();
    } else if (silence_.SilentPoll(DeviceBusCode()) & can_silence::REINITIALISE) {
        Reinitialise();
    }
    ServiceReinit();
}

void ACIO::Reinitialise() {
    if (reinits_ >= REINITS_BEFORE_REPLY) return;
    ++reinits_;
    RequestReinit();
}

// ---- the multi-point port ----------------------------------------------------------------

CAuxIOBidirect::CAuxIOBidirect(uint16_t id, uint32_t first_point, uint32_t board_id, uint32_t width,
                               uint32_t mode)
    : CPointPeripheral(PERIPHERAL_CLASS_AUX_IO_PORT, id, ACIO_BRIDGE), mode_(mode), width_(width),
      first_point_(first_point), board_id_(board_id) {}

bool CAuxIOBidirect::Init() {
    if (width_ < 1 || width_ > MAX_WIDTH) {
        console_printf("CAuxIOBidirect: a port has 1 to %u points, not %u\n", unsigned(MAX_WIDTH),
                       unsigned(width_));
        return InitError();
    }
    uint32_t mask = 0;
    for (uint32_t i = 0; i < width_; ++i)
        dcio_point_mask(first_point_ + i, mask, false);
    if (!AttachBoard(board_id_) || RegisterPoints(mask, 1) == 0 ||
        !ClaimAuxRow(0, AUX_DIGITAL, AUX_OUTPUT | AUX_INPUT, 4))
        return false;
    m_byState = STATE_READING;
    return true;
}

// Value 0 drives nothing; value n drives point n - 1 (with the offset mode,
// point n, and the width point 0).
uint32_t CAuxIOBidirect::DesiredBits(uint32_t value) const {
    if (value == 0) return 0;
    if (!(mode_ & MODE_OFFSET)) return 1u << (value - 1);
    return value == width_ ? 1u : 1u << value;
}

// The inverse of DesiredBits; with several points on, the highest counts.
bool CAuxIOBidirect::ValueOf(uint32_t bits, uint32_t* value) const {
    bits &= (1u << width_) - 1;
    if (bits == 0) return false;
    if (!(mode_ & MODE_OFFSET)) {
        *value = io_bit_index(bits) + 1;
        return true;
    }
    *value = bits > 1 ? io_bit_index(bits) : width_;
    return true;
}

// Once the board polls, the port takes up what its outputs show.
void CAuxIOBidirect::ReadBack() {
    io_board* board = Bridge().Board();
    if (board == nullptr || !board->Polling()) return;
    if (read_back_countdown_ > 0) {
        --read_back_countdown_;
        return;
    }
    uint32_t value = 0;
    if (ValueOf(Bridge().Get(Serial(0)), &value)) SetAuxValue(value);
    read_back_pending_ = 0;
}

void CAuxIOBidirect::Poll() {
    if (m_byState < STATE_READING) return;
    if (read_back_pending_) {
        ReadBack();
        return;
    }
    io_board* board = Bridge().Board();
    m_byState = board != nullptr ? board->BoardPeripheral().State() : uint8_t(STATE_COMM_ERROR);
    commanded_ = db_get(obj::auxIOPortValue.row(unsigned(AuxRow())));
    if (commanded_ > width_) {
        commanded_ = 0;
        SetAuxValue(0);
    }
    const uint32_t desired = DesiredBits(commanded_);
    if (Bridge().Get(Serial(0)) != desired) Bridge().Set(Serial(0), desired);
    Bridge().Process();
}

// ---- creation -------------------------------------------------------------------------------

namespace {

CPeripheral* with_period(CPeripheral* created) {
    if (created != nullptr) created->SetPollPeriod(POLL_PERIOD);
    return created;
}

} // namespace

CPeripheral* Create_ACIO(const PeripheralRecord& record, const PeripheralParameters& values) {
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!can_board_values(values, &can_id, &bus_code, &channel)) return nullptr;
    return with_period(periph_finish_creation(new ACIO(record.id, bus_code, can_id), record));
}

CPeripheral* Create_AuxIOBidirect(const PeripheralRecord& record,
                                  const PeripheralParameters& values) {
    if (record.id < CAuxIOBidirect::FIRST_ID || record.id > CAuxIOBidirect::LAST_ID) return nullptr;
    return with_period(periph_finish_creation(
        new CAuxIOBidirect(record.id, values.value[0], values.value[1], values.value[2]), record));
}
