// Fan and heater points (see climate_point.h).
#include "peripherals/io/climate_point.h"

#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const climate_point_kind FAN = {"FANS PASSED", "FANS FAILED", PERIPHERAL_CLASS_FAN_CONTROL,
                                PERIPHERAL_CLASS_FAN_STATUS, true};
const climate_point_kind HEATER = {"HEATER PASSED", "HEATER FAILED",
                                   PERIPHERAL_CLASS_HEATER_CONTROL, PERIPHERAL_CLASS_HEATER_STATUS,
                                   false};

const climate_output OUTPUTS[] = {
    {508, 513, &FAN, CPeripheralTask::FLAG_INTAKE_FANS, 2, true},
    {518, 518, &FAN, CPeripheralTask::FLAG_PIXEL_FANS, 3, false},
    {526, 526, &FAN, CPeripheralTask::FLAG_FACE_FANS, 3, false},
    {534, 534, &HEATER, CPeripheralTask::FLAG_HEATER, 7, false},
    {542, 542, &HEATER, CPeripheralTask::FLAG_MAINTENANCE_HEATER, 7, false},
};
const uint16_t STATUS_OFFSET = 4;

// Flow sensors: while one is live an intake fan's row is theirs to report.
struct IdRange {
    uint16_t first, last;
};
const IdRange FLOW_SENSORS[] = {{710, 719}, {850, 863}};

const char* const CONFIGURATION_ERROR = "CONFIGURATION ERROR";
const char* const COMM_ERROR = "COMM ERROR";
const char* const NOT_MONITORED = "FANS NOT MONITORED";
const char* const TEST_NOT_MONITORED = "CLIMATE CONTROL IS NOT MONITORED";

// climateCtrlError: 2 monitored, 4 not monitored.
const uint8_t ROW_MONITORED = 2, ROW_NOT_MONITORED = 4;
const uint8_t FAN_STATUS_ON = 1, FAN_STATUS_OFF = 2; // zuduzFanStatus1
const uint8_t WRITE_ACCESS = 1, READ_ACCESS = 0;
const uint32_t PRIMARY = 1, SECONDARY = 2, BOTH_FANS = 3;

bool live(uint16_t id, CPeripheral** out = nullptr) {
    return ThePeripheralTask().Find(id, out);
}

bool flow_sensor_live() {
    for (const IdRange& r : FLOW_SENSORS)
        for (uint32_t id = r.first; id <= r.last; ++id)
            if (live(uint16_t(id))) return true;
    return false;
}

} // namespace

const climate_output* CClimatePoint::OutputOf(uint16_t id, bool* is_control) {
    for (const climate_output& o : OUTPUTS) {
        if (id >= o.first_id && id <= o.last_id) return *is_control = true, &o;
        if (id >= STATUS_OFFSET && id - STATUS_OFFSET >= o.first_id &&
            id - STATUS_OFFSET <= o.last_id)
            return *is_control = false, &o;
    }
    return nullptr;
}

uint8_t CClimatePoint::ClassOf(uint16_t id) {
    bool control = false;
    const climate_output* o = OutputOf(id, &control);
    if (o == nullptr) return 0;
    return control ? o->kind->control_class : o->kind->status_class;
}

CClimatePoint::CClimatePoint(uint16_t id, uint32_t point, uint32_t board_id)
    : CPointPeripheral(ClassOf(id), id), point_(point), board_id_(board_id) {
    output_ = OutputOf(id, &control_);
    kind_ = output_ ? output_->kind : &FAN;
}

// The point sets and auxiliary rows go with the base; the climate row and
// the fan bit (with 0x0400 when nothing else failed) go here.
CClimatePoint::~CClimatePoint() {
    UnregisterClimateCtrl(&climate_row_);
    FreeFanBit(&fan_bit_);
}

bool CClimatePoint::Init() {
    verdict_ = 1;
    if (output_ == nullptr) return ConfigurationError();
    if (!control_ && kind_->fan && !AllocateFanBit(&fan_bit_))
        console_printf("Failed to register fan\n");
    if (!Configure()) return ConfigurationError();
    m_byState = STATE_READING;
    return true;
}

// The board, the point set (a fan pair: the next point too), the output
// off, the auxiliary row.
bool CClimatePoint::Configure() {
    if (!AttachBoard(board_id_)) return false;
    uint32_t mask = 0;
    dcio_point_mask(uint8_t(point_), mask, true);
    if (control_ && kind_->fan && (db_get(obj::halvSpecialFeatureSet) & FEATURE_FAN_PAIRS) != 0) {
        console_printf("setting up a pri/sec fan\n");
        dcio_point_mask(uint8_t(point_) + 1u, mask, false);
        pair_ = true;
    }
    serial_ = RegisterPoints(mask, control_ ? WRITE_ACCESS : READ_ACCESS);
    if (serial_ == 0) return false;
    if (control_) Switch(false);
    return ClaimAuxRow(0, AUX_DIGITAL, control_ ? AUX_OUTPUT : AUX_INPUT, 1);
}

// The climate row is not set up yet, so only a fan status point's failure
// bit takes it; it goes with the point when the factory deletes it.
bool CClimatePoint::ConfigurationError() {
    ReportFailure(climate_row_, CONFIGURATION_ERROR);
    return InitError();
}

void CClimatePoint::ReportFailure(int32_t row, const char* text) {
    if (kind_->fan)
        SetFanFailure(fan_bit_, row, text);
    else
        SetClimateFailure(row, text);
}

void CClimatePoint::ClearFailure(int32_t row, const char* text) {
    if (kind_->fan)
        ClearFanFailure(fan_bit_, row, text);
    else
        ClearClimateFailure(row, text);
}

bool CClimatePoint::IsOn() const {
    return Bridge().Get(serial_) != 0;
}

CClimatePoint* CClimatePoint::Partner() const {
    CPeripheral* p = nullptr;
    if (control_ || !live(uint16_t(Id() - STATUS_OFFSET), &p)) return nullptr;
    return dynamic_cast<CClimatePoint*>(p);
}

// --- switching ------------------------------------------------------------------------

void CClimatePoint::Switch(bool on) {
    if (!control_) return;
    if (kind_->fan) {
        db_set(obj::zuduzFanStatus1, on ? FAN_STATUS_ON : FAN_STATUS_OFF, DB_NOTIFY);
        SetAuxValue(on ? 1 : 0);
    }
    SetClimateCtrlStatus(climate_row_, on ? 1 : 0);
    commanded_on_ = on ? 1 : 0;
    Bridge().Set(serial_, PointValue(on));
    settle_ = SETTLE_AFTER_SWITCH;
}

// A pair runs both fans for a test, otherwise the fan whose turn it is.
uint32_t CClimatePoint::PointValue(bool on) {
    if (!pair_) return on ? 1 : 0;
    if (!on) {
        alternation_ = 0;
        return 0;
    }
    uint32_t value = BOTH_FANS;
    if (selection_ == SELECT_SECONDARY) {
        value = SECONDARY;
        selection_ = SELECT_PRIMARY;
    } else if (selection_ == SELECT_PRIMARY) {
        value = PRIMARY;
        selection_ = SELECT_SECONDARY;
    }
    const bool burn_in = (ThePeripheralTask().FlagWord() & CPeripheralTask::FLAG_BURN_IN) != 0;
    alternation_ = burn_in ? ALTERNATE_POLLS_BURN_IN : ALTERNATE_POLLS;
    return value;
}

// --- the poll ---------------------------------------------------------------------------

void CClimatePoint::Poll() {
    if (m_byState < STATE_READING) return;
    if (BoardInCommError()) {
        OnBoardCommError();
    } else if (startup_delay_ != 0) {
        if (--startup_delay_ == 0) FirstSetUp();
    } else {
        if (m_byState == STATE_COMM_ERROR) ClearFailure(climate_row_, kind_->passed);
        if (settle_ != 0) --settle_;
        if (control_)
            PollControl();
        else
            PollStatus();
    }
    Bridge().Process();
}

void CClimatePoint::OnBoardCommError() {
    m_byState = STATE_COMM_ERROR;
    SetAuxValue(kind_->fan ? 0 : (Bridge().Get(serial_) != 0 ? 1 : 0));
    ReportFailure(climate_row_, COMM_ERROR);
}

void CClimatePoint::FirstSetUp() {
    if (control_)
        SetUpControlRow();
    else
        SetUpStatus();
}

void CClimatePoint::SetUpControlRow() {
    const char* name = periph_id_to_name(Id());
    if (output_->intake && flow_sensor_live()) return;
    if (!RegisterClimateCtrl(&climate_row_, name, kind_->passed, output_->row_type))
        console_printf("Failed to register %s in Climate Ctrl Table\n", name);
    if (output_->intake && !live(uint16_t(Id() + STATUS_OFFSET))) {
        SetClimateCtrlError(climate_row_, ROW_NOT_MONITORED);
        SetClimateCtrlStatusText(climate_row_, NOT_MONITORED);
    }
}

// The control may come after its status: the set-up is tried again 10
// polls later, three times at most.
void CClimatePoint::SetUpStatus() {
    if (CClimatePoint* control = Partner()) {
        monitored_row_ = control->GetClimateRow();
        SetClimateCtrlError(monitored_row_, ROW_MONITORED);
    }
    if (monitored_row_ == NO_ROW && retries_ < STATUS_RETRIES) {
        ++retries_;
        startup_delay_ = STARTUP_POLLS;
    }
}

void CClimatePoint::PollControl() {
    m_byState = STATE_VALID;
    const bool asked = (ThePeripheralTask().FlagWord() & output_->request_bit) != 0;
    if (asked != IsCommandedOn()) Switch(asked);
    if (Bridge().IsInputValid()) {
        const uint8_t on = IsOn() ? 1 : 0;
        SetClimateCtrlStatus(climate_row_, on);
        SetAuxValue(on);
    }
    const uint32_t now = db_get_time();
    if (test_state_ == TEST_RUNNING) {
        if (now <= test_end_) return;
        Switch(false);
        if (kind_->fan) selection_ = SELECT_PRIMARY;
        SetClimateCtrlStatus(climate_row_, 0);
        SetClimateCtrlTest(climate_row_, TEST_IDLE);
        settle_ = SETTLE_AFTER_TEST;
        test_state_ = TEST_IDLE;
        return;
    }
    if (test_state_ != TEST_IDLE && test_state_ != TEST_DONE) {
        test_state_ = TEST_IDLE;
        return;
    }
    if (GetClimateCtrlTest(climate_row_) == TEST_RUNNING) {
        if (GetClimateCtrlError(climate_row_) == ROW_NOT_MONITORED) {
            SetClimateCtrlTest(climate_row_, TEST_IDLE);
            SetClimateCtrlResult(climate_row_, TEST_NOT_MONITORED);
            return;
        }
        if (kind_->fan) selection_ = SELECT_BOTH;
        test_end_ = now + TEST_SECONDS;
        Switch(true);
        SetClimateCtrlStatus(climate_row_, 1);
        test_state_ = TEST_RUNNING;
        return;
    }
    // A pair takes turns while it runs.
    if (pair_ && IsCommandedOn() && alternation_ != 0 && --alternation_ == 0) {
        if (selection_ == SELECT_BOTH) selection_ = SELECT_PRIMARY;
        Switch(true);
        SetClimateCtrlStatus(climate_row_, 1);
    }
}

void CClimatePoint::PollStatus() {
    if (Bridge().IsInputValid()) {
        m_byState = STATE_VALID;
        SetAuxValue(Bridge().Get(serial_) == 0 ? 1 : 0);
    }
    JudgeRunning();
    const int32_t test = GetClimateCtrlTest(monitored_row_);
    if (test_state_ == TEST_RUNNING) {
        if (test != TEST_IDLE) return;
        ReportVerdict();
        settle_ = SETTLE_AFTER_TEST;
        test_state_ = TEST_IDLE;
    } else if (test_state_ == TEST_IDLE || test_state_ == TEST_DONE) {
        if (test == TEST_RUNNING)
            test_state_ = TEST_RUNNING;
        else
            ReportVerdict();
    } else {
        test_state_ = TEST_IDLE;
    }
}

// The status contact reads 0 while the device runs: the device does as its
// control says, or it does not.
void CClimatePoint::JudgeRunning() {
    CClimatePoint* control = Partner();
    if (control == nullptr || monitored_row_ == NO_ROW || !control->IsSettled()) return;
    const bool running = Bridge().Get(serial_) == 0;
    const bool told_on = GetClimateCtrlStatus(monitored_row_) == 1;
    verdict_ = running == told_on ? 1 : 0;
}

void CClimatePoint::ReportVerdict() {
    if (verdict_)
        ClearFailure(monitored_row_, kind_->passed);
    else
        ReportFailure(monitored_row_, kind_->failed);
}

// --- creation ---------------------------------------------------------------------------

namespace {

CPeripheral* create_climate_point(const PeripheralRecord& record,
                                  const PeripheralParameters& values, bool needs_board) {
    const uint32_t board_id = values.value[1];
    if (needs_board && (board_id > 0xFFFF || !live(uint16_t(board_id)))) return nullptr;
    return periph_finish_creation(new CClimatePoint(record.id, values.value[0] & 0xFF, board_id),
                                  record);
}

} // namespace

// Point, board id. A fan without its board is not made at all; a heater's
// set-up fails on it.
CPeripheral* Create_FanIO(const PeripheralRecord& record, const PeripheralParameters& values) {
    return create_climate_point(record, values, true);
}

CPeripheral* Create_HeaterIO(const PeripheralRecord& record, const PeripheralParameters& values) {
    return create_climate_point(record, values, false);
}
