// I/O-based peripherals (see io_based_peripheral.h).
#include "peripherals/io/io_based_peripheral.h"

#include "comm/agents/trap_raise.h"
#include "peripherals/activation_rows.h"
#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/power/power_supply_table.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

using Self = CIO_BasedPeripheral;

// How a kind's creation string lays out its points.
enum io_layout : uint8_t {
    LAYOUT_GENERAL,       // board id, mask A, output A, mask B, output B
    LAYOUT_SWITCH,        // first point, board id, n
    LAYOUT_SWITCH_POLLED, // the same, then polled mode, repeat seconds, offset, latch
    LAYOUT_CODED,         // first point, board id, n; the last point triggers
    LAYOUT_SINGLE_INPUT,  // point, board id
    LAYOUT_SINGLE_OUTPUT, // point, board id
};

const uint8_t INPUT_REPORT = 0x40;
const uint16_t UNTIL_REPLACED = 65535;
const uint8_t BLANK_PRIORITY = 255;
const uint8_t CODED_TRIGGER_KIND = 3;
const uint8_t FLOW_CLIMATE_TYPE = 2;
const uint32_t MESSAGE_VALID = 4;
const uint32_t SOURCE_MODE_LOCAL = 3;
const uint32_t MAX_CHANGEABLE_MESSAGE = 550;
const uint8_t LAMP_FAULT = 1, LAMP_OK = 2;
const uint32_t LAMP_FAULT_OUTPUT = 1, LAMP_OK_OUTPUT = 2;
const uint8_t NO_SOURCE[4] = {};

} // namespace

struct io_kind_row {
    uint16_t first, last;
    io_layout layout;
    bool every_pass; // polled at every task pass instead of every second one
    bool (Self::*init)();
    void (Self::*event)();
    void (Self::*poll)();
};

namespace {

// The kinds, by id.
const io_kind_row KINDS[] = {
    {75, 80, LAYOUT_GENERAL, false, &Self::InitSurge, nullptr, &Self::PollSurge},
    {560, 560, LAYOUT_SWITCH_POLLED, true, nullptr, &Self::EventOneOfN, &Self::PollPolledSwitch},
    {570, 570, LAYOUT_SWITCH, false, nullptr, &Self::EventActivateOneOfN, nullptr},
    {580, 580, LAYOUT_CODED, false, nullptr, &Self::EventCodedActivate, nullptr},
    {640, 640, LAYOUT_SINGLE_INPUT, false, nullptr, nullptr, &Self::PollBlankSwitch},
    {641, 641, LAYOUT_SINGLE_OUTPUT, false, nullptr, nullptr, &Self::PollBlankIndicator},
    {650, 650, LAYOUT_SWITCH_POLLED, true, &Self::InitBcdSwitch, &Self::EventCoded, nullptr},
    {670, 670, LAYOUT_GENERAL, false, nullptr, nullptr, &Self::PollLamp},
    {671, 671, LAYOUT_GENERAL, false, nullptr, nullptr, &Self::PollCurrentMessage},
    {710, 719, LAYOUT_GENERAL, false, &Self::InitFlowSensor, nullptr, nullptr},
    {720, 720, LAYOUT_GENERAL, false, nullptr, nullptr, &Self::PollPowerSense},
    {749, 749, LAYOUT_GENERAL, false, nullptr, nullptr, &Self::PollPowerSense},
    {850, 863, LAYOUT_GENERAL, false, &Self::InitFlowSensor, nullptr, nullptr},
};

const io_kind_row* kind_of(uint16_t id) {
    for (const io_kind_row& row : KINDS)
        if (id >= row.first && id <= row.last) return &row;
    return nullptr;
}

bool single_bit(uint32_t bits) {
    return bits != 0 && (bits & (bits - 1)) == 0;
}

uint32_t low_bits(unsigned count) {
    return count >= 32 ? 0xFFFFFFFFu : (1u << count) - 1;
}

// Points first .. first + n - 1 as a mask (points off the board add nothing).
uint32_t run_of_points(uint32_t first, uint32_t count) {
    uint32_t mask = 0;
    for (uint32_t i = 0; i < count && i < 64; ++i)
        dcio_point_mask(first + i, mask, false);
    return mask;
}

void blank_code(uint8_t priority, CMsgActivationCode* code) {
    code->Set(UNTIL_REPLACED, priority, MSG_MEMORY_BLANK, kBlankMessageNumber, kBlankMessageCRC,
              NO_SOURCE);
}

bool changeable_number_known(uint32_t number) {
    return number >= 1 && number <= MAX_CHANGEABLE_MESSAGE;
}

// The settings a creation string gives its kind's layout.
Self::Settings settings_of(io_layout layout, const PeripheralParameters& p) {
    Self::Settings s;
    const uint32_t* v = p.value;
    switch (layout) {
    case LAYOUT_GENERAL:
        s.board_id = v[0];
        s.mask_a = v[1], s.output_a = v[2] != 0;
        s.mask_b = v[3], s.output_b = v[4] != 0;
        break;
    case LAYOUT_SWITCH_POLLED:
        s.polled_mode = v[3] != 0;
        s.repeat_polls = v[4] > 0x7FFFFFFF ? 0xFFFFFFFFu : v[4] * 2;
        s.message_offset = v[5];
        s.latch = v[6] != 0;
        [[fallthrough]];
    case LAYOUT_SWITCH:
    case LAYOUT_CODED:
        s.board_id = v[1];
        s.mask_a = run_of_points(v[0], v[2]);
        if (layout == LAYOUT_CODED && v[2] != 0)
            dcio_point_mask(v[0] + v[2] - 1, s.trigger_a, true);
        break;
    case LAYOUT_SINGLE_INPUT:
    case LAYOUT_SINGLE_OUTPUT:
        s.board_id = v[1];
        dcio_point_mask(v[0], s.mask_a, true);
        s.output_a = layout == LAYOUT_SINGLE_OUTPUT;
        break;
    }
    return s;
}

} // namespace

CIO_BasedPeripheral::CIO_BasedPeripheral(const io_kind_row& kind, uint16_t id,
                                         const Settings& settings)
    : CPointPeripheral(PERIPHERAL_CLASS_IO_BASED, id), kind_(&kind), settings_(settings) {}

CIO_BasedPeripheral* CIO_BasedPeripheral::Build(uint16_t id, const Settings& settings) {
    const io_kind_row* kind = kind_of(id);
    return kind != nullptr ? new CIO_BasedPeripheral(*kind, id, settings) : nullptr;
}

CIO_BasedPeripheral::~CIO_BasedPeripheral() {
    UnregisterClimateCtrl(&climate_row_);
    FreeFanBit(&fan_bit_);
    ThePowerSupplyTable().UnRegisterPowerSupply(power_handle_);
    power_handle_ = 0;
}

// ---- start -------------------------------------------------------------------------

bool CIO_BasedPeripheral::Init() {
    if (!AttachBoard(settings_.board_id)) return false;
    const uint8_t trigger_kind = settings_.trigger_a != 0 ? CODED_TRIGGER_KIND : 0;
    if (RegisterPoints(settings_.mask_a, settings_.output_a, settings_.trigger_a, trigger_kind) ==
        0)
        return false;
    if (settings_.mask_b != 0) RegisterPoints(settings_.mask_b, settings_.output_b);
    if (kind_->init != nullptr && !(this->*kind_->init)()) return InitError();
    m_byState = STATE_READING;
    return true;
}

bool CIO_BasedPeripheral::InitSurge() {
    const char* name = periph_id_to_name(Id());
    if (!ThePowerSupplyTable().RegisterPowerSupply(&power_handle_, name, "SURGE PASSED",
                                                   CPowerSupplyTable::TYPE_SURGE))
        console_printf("Failed to register %s in Power Supply Table\n", name);
    if (!ClaimDigitalInputRow()) return false;
    SetAuxValue(1);
    return true;
}

bool CIO_BasedPeripheral::InitFlowSensor() {
    const char* name = periph_id_to_name(Id());
    if (!RegisterClimateCtrl(&climate_row_, name, "INTAKE FAN AND FILTER DIAGNOSTICS PASSED",
                             FLOW_CLIMATE_TYPE))
        console_printf("Failed to register %s in Climate Ctrl Table\n", name);
    if (!AllocateFanBit(&fan_bit_)) console_printf("Failed to register fan\n");
    if (!ClaimDigitalInputRow()) {
        console_printf("CIO_BasedPeripheral::Init: error, failed to register in aux io table\n");
        return false;
    }
    SetAuxValue(1);
    return true;
}

bool CIO_BasedPeripheral::InitBcdSwitch() {
    selection_ = 65535;
    return true;
}

// ---- points ------------------------------------------------------------------------

uint32_t CIO_BasedPeripheral::InputsA(uint32_t from_event) const {
    return const_cast<CIO_BasedPeripheral*>(this)->Bridge().Get(Serial(0), from_event);
}

// A contact is made (active) while its point reads 0.
uint32_t CIO_BasedPeripheral::ActiveA(uint32_t from_event) const {
    return ~InputsA(from_event) & low_bits(point_count_);
}

// ---- switch requests ---------------------------------------------------------------

void CIO_BasedPeripheral::ActivateSwitchMessage(const CMsgActivationCode& code) {
    write_activation_row(ACTIVATION_ROW_SWITCHES, code.Encoded(), REQUEST_STATE, REQUEST_SOURCE);
}

void CIO_BasedPeripheral::WithdrawSwitchMessage() {
    clear_activation_row(ACTIVATION_ROW_SWITCHES);
}

bool CIO_BasedPeripheral::SwitchRowCode(unsigned row, uint32_t offset, CMsgActivationCode* code,
                                        uint32_t* unknown) {
    if (row >= SWITCH_ROWS) return false;
    uint8_t bytes[CMsgIDCode::kLength + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::halvObj2_18_2_1_2.row(row), bytes, sizeof bytes, &length);
    if (length == CMsgIDCode::kLength) {
        CMsgIDCode id;
        id.Decode(bytes, length);
        code->Set(UNTIL_REPLACED, SWITCH_PRIORITY, id.m_memoryType, id.m_messageNumber,
                  id.m_messageCRC, NO_SOURCE);
        return true;
    }
    const uint32_t number = row + 1 + offset;
    if (number < row || !changeable_number_known(number)) {
        if (unknown) *unknown = number;
        return false;
    }
    code->Set(UNTIL_REPLACED, SWITCH_PRIORITY, MSG_MEMORY_CHANGEABLE, uint16_t(number),
              uint16_t(db_get(obj::changeableMsgCRC.row(number - 1))), NO_SOURCE);
    return true;
}

bool CIO_BasedPeripheral::IsCurrentMessage(const CMsgActivationCode& code) {
    uint8_t bytes[CMsgIDCode::kLength + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsMsgTableSource, bytes, sizeof bytes, &length);
    if (length != CMsgIDCode::kLength) return false;
    CMsgIDCode shown;
    shown.Decode(bytes, length);
    return shown.m_memoryType == code.m_memoryType && shown.m_messageNumber == code.m_messageNumber;
}

void CIO_BasedPeripheral::RequestRow(uint32_t row) {
    CMsgActivationCode code;
    if (row < SWITCH_ROWS && SwitchRowCode(row, 0, &code)) ActivateSwitchMessage(code);
}

// A selection of no changeable message is a configuration fault: said once,
// counted every time. -> false (nothing to request).
bool CIO_BasedPeripheral::UnknownSelection(uint32_t number) {
    if (unknown_selections_++ == 0)
        console_printf("CIO_BasedPeripheral: switch selects changeable message %u, not 1 to %u\n",
                       unsigned(number), unsigned(MAX_CHANGEABLE_MESSAGE));
    return false;
}

bool CIO_BasedPeripheral::ReadSwitchCode(CMsgActivationCode* code) {
    const uint32_t active = ActiveA(0);
    if (active == 0) {
        blank_code(SWITCH_PRIORITY, code);
        return true;
    }
    if (!single_bit(active)) return false;
    uint32_t unknown = 0;
    if (!SwitchRowCode(io_bit_index(active), settings_.message_offset, code, &unknown))
        return unknown ? UnknownSelection(unknown) : false;
    if (code->m_memoryType != MSG_MEMORY_CHANGEABLE) return true;
    const uint32_t number = code->m_messageNumber;
    if (!changeable_number_known(number)) return UnknownSelection(number);
    if (db_get(obj::changeableMsgStatus.row(number - 1)) != MESSAGE_VALID) {
        trace_printf("status of %d not valid\r\n", int(number - 1));
        blank_code(SWITCH_PRIORITY, code);
    }
    return true;
}

// ---- input reports -------------------------------------------------------------------

void CIO_BasedPeripheral::OnEvent(uint32_t) {
    if (Bridge().FirstInputByte() != INPUT_REPORT) return;
    m_byState = STATE_VALID;
    point_count_ = Bridge().CountPoints(Serial(0));
    if (kind_->event != nullptr) (this->*kind_->event)();
}

// 560: one position of n; in event mode a momentary switch withdraws its
// request when the position is released.
void CIO_BasedPeripheral::EventOneOfN() {
    if (settings_.polled_mode) return;
    const uint32_t active = ActiveA(1);
    if (kind_state_ == 1) {
        const bool released = selection_ >= 32 || !(active & (1u << selection_));
        if (settings_.latch) {
            kind_state_ = 0;
        } else if (released) {
            WithdrawSwitchMessage();
            kind_state_ = 0;
        }
        return;
    }
    if (!single_bit(active)) return;
    selection_ = io_bit_index(active);
    if (selection_ >= SWITCH_ROWS) return;
    RequestRow(selection_);
    kind_state_ = 1;
}

// 570 and 580: the last point is the activate input. -> true, with the other
// positions made, when it is made while the switch waits for it. Its release
// after a request puts the switch back to waiting (570 withdraws its request).
bool CIO_BasedPeripheral::Activated(uint32_t* positions, bool withdraw_on_release) {
    if (point_count_ == 0) return false;
    const uint32_t active = ActiveA(1);
    const uint32_t activate = 1u << (point_count_ - 1);
    if (kind_state_ == 1) {
        if (active & activate) return false;
        if (withdraw_on_release)
            WithdrawSwitchMessage();
        else
            trace_printf("switch to wait for activate\n");
        kind_state_ = 0;
        return false;
    }
    *positions = active & ~activate;
    return (active & activate) != 0;
}

// 570: one position of the others.
void CIO_BasedPeripheral::EventActivateOneOfN() {
    uint32_t positions = 0;
    if (!Activated(&positions, true) || !single_bit(positions)) return;
    selection_ = io_bit_index(positions);
    if (selection_ >= SWITCH_ROWS) return;
    RequestRow(selection_);
    kind_state_ = 1;
}

// 580: the other points give the row in binary.
void CIO_BasedPeripheral::EventCodedActivate() {
    uint32_t row = 0;
    if (!Activated(&row, false) || row >= SWITCH_ROWS) return;
    message_number_ = row + 1;
    RequestRow(row);
    kind_state_ = 1;
}

// 650: the points give the row in binary. Without latch every change of
// the value requests its row (all released: row 0); with latch a value v
// requests row v - 1 once, until every position is released.
void CIO_BasedPeripheral::EventCoded() {
    const uint32_t value = ActiveA(1);
    if (!settings_.latch) {
        if (value == selection_) return;
        selection_ = value;
        RequestRow(value);
        return;
    }
    if (kind_state_ == 1) {
        if (value == 0) kind_state_ = 0;
        return;
    }
    if (value == 0) return;
    selection_ = value - 1;
    if (selection_ >= SWITCH_ROWS) return;
    RequestRow(selection_);
    kind_state_ = 1;
}

// ---- polls -----------------------------------------------------------------------------

// Nothing happens before the first input report has made the peripheral
// VALID: READING is 2 (and 5), so the test is for 2 or below.
void CIO_BasedPeripheral::Poll() {
    if (m_byState <= STATE_READING) return;
    io_board* board = Bridge().Board();
    m_byState = board != nullptr ? board->BoardPeripheral().State() : uint8_t(STATE_COMM_ERROR);
    if (kind_->poll != nullptr) (this->*kind_->poll)();
    Bridge().Process();
}

// A contact open for 20 polls after the last healthy reading fails the
// surge suppressor's row, at every poll while it stays open.
void CIO_BasedPeripheral::PollSurge() {
    if (InputsA(0) == 0) {
        SetAuxValue(1);
        ThePowerSupplyTable().ClearPowerSupplyError(power_handle_, "SURGE PASSED");
        debounce_ = SURGE_DEBOUNCE_POLLS;
        kind_state_ = 0;
        return;
    }
    if (debounce_ > 0) {
        --debounce_;
        return;
    }
    SetAuxValue(0);
    ThePowerSupplyTable().SetPowerSupplyError(power_handle_, CPowerSupplyTable::STATUS_FAILED,
                                              "SURGE FAILED");
    ThePowerSupplyTable().SetPowerSupplyVoltage(power_handle_, 0);
    kind_state_ = 1;
}

// 560 in polled mode: the selected message is asked for while the sign
// shows another of lower or equal priority; the blank message (no position
// closed) only once the repeat time has run out.
void CIO_BasedPeripheral::PollPolledSwitch() {
    if (!settings_.polled_mode) return;
    CMsgActivationCode code;
    if (!ReadSwitchCode(&code)) return;
    if (code.m_priority < db_get(obj::currentBufferMsgRunTimePriority)) return;
    if (IsCurrentMessage(code)) return;
    if (code.m_memoryType == MSG_MEMORY_BLANK) {
        if (repeat_countdown_ > 0) --repeat_countdown_;
        if (repeat_countdown_ == 0) ActivateSwitchMessage(code);
        return;
    }
    ActivateSwitchMessage(code);
    repeat_countdown_ = settings_.repeat_polls;
}

// The blank switch acts on the third consecutive poll with its contact made
// (none during the first 20 polls), and again only after a release.
void CIO_BasedPeripheral::PollBlankSwitch() {
    const bool active = InputsA(0) == 0;
    switch (kind_state_) {
    case 0:
        if (debounce_ > 0)
            --debounce_;
        else if (active)
            kind_state_ = 1;
        return;
    case 1:
        kind_state_ = active ? 2 : 0;
        return;
    case 2: {
        if (!active) {
            kind_state_ = 0;
            return;
        }
        CMsgActivationCode code;
        blank_code(BLANK_PRIORITY, &code);
        ActivateSwitchMessage(code);
        raise_sign_trap(TRAP_BLANK_SWITCH);
        CPeripheral* found = nullptr;
        ThePeripheralTask().Find(ID_BLANK_INDICATOR, &found);
        if (auto* indicator = dynamic_cast<CIO_BasedPeripheral*>(found)) indicator->SetKindState(1);
        kind_state_ = 3;
        return;
    }
    case 3:
        if (!active) kind_state_ = 0;
        return;
    default:
        kind_state_ = 0;
    }
}

void CIO_BasedPeripheral::PollBlankIndicator() {
    switch (kind_state_) {
    case 0:
        Bridge().Set(Serial(0), 1);
        return;
    case 1:
        Bridge().Set(Serial(0), 0);
        kind_state_ = 2;
        return;
    default:
        if (db_get(obj::dmsMsgSourceMode) != SOURCE_MODE_LOCAL) kind_state_ = 0;
    }
}

// Two outputs: the first lit while the sign has a fault, the second while
// it has none; the OK lamp needs the sign running (power state 1).
void CIO_BasedPeripheral::PollLamp() {
    const uint8_t power = uint8_t(ThePeripheralTask().FlagWord() >> 24);
    const uint32_t errors = db_get(obj::shortErrorStatus);
    if (kind_state_ == LAMP_FAULT) {
        Bridge().Set(Serial(0), LAMP_FAULT_OUTPUT);
        if (errors == 0 && power == CPeripheralTask::POWER_RUNNING) kind_state_ = LAMP_OK;
        return;
    }
    Bridge().Set(Serial(0), LAMP_OK_OUTPUT);
    if (errors != 0 || power == CPeripheralTask::POWER_SHUTDOWN) kind_state_ = LAMP_FAULT;
}

// The shown message's number - 1 on the outputs, bit k on the k-th point.
void CIO_BasedPeripheral::PollCurrentMessage() {
    uint8_t bytes[CMsgIDCode::kLength + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsMsgTableSource, bytes, sizeof bytes, &length);
    if (length != CMsgIDCode::kLength) return;
    CMsgIDCode shown;
    shown.Decode(bytes, length);
    message_number_ = shown.m_messageNumber;
    Bridge().Set(Serial(0), message_number_ > 0 ? message_number_ - 1 : 0);
}

// Power is present while the board reports every contact of the input made.
void CIO_BasedPeripheral::PollPowerSense() {
    kind_state_ = m_byState == STATE_VALID && InputsA(0) == 0 ? 1 : 0;
}

// ---- creation ----------------------------------------------------------------------------

// The kind's creation string; the general kinds need their board live.
CPeripheral* Create_IOBasedPeripheral(const PeripheralRecord& record,
                                      const PeripheralParameters& values) {
    const io_kind_row* kind = kind_of(record.id);
    if (kind == nullptr) return nullptr;
    const CIO_BasedPeripheral::Settings settings = settings_of(kind->layout, values);
    if (kind->layout == LAYOUT_GENERAL &&
        (settings.board_id > 0xFFFF || !ThePeripheralTask().Exists(settings.board_id)))
        return nullptr;
    CPeripheral* created =
        periph_finish_creation(CIO_BasedPeripheral::Build(record.id, settings), record);
    if (created != nullptr && kind->every_pass) {
        created->SetPollPeriod(1);
        created->SetCountdown(1);
    }
    return created;
}
