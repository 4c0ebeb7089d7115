// Fan-speed sensors (see fan_rpm.h).
#include "peripherals/sensors/fan_rpm.h"

#include "peripherals/factory.h"
#include "peripherals/io/climate_point.h"
#include "peripherals/io/input_state.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/sensors/sensor_common.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const char* const PASSED = "INTAKE FAN AND FILTER DIAGNOSTICS PASSED";
const char* const FAILED = "INTAKE FAN AND FILTER DIAGNOSTICS FAILED";
const char* const IN_ERROR = "CLIMATE CONTROL IS IN AN ERROR STATE";
const char* const BY_HAND = "CLIMATE CONTROL IS NOT ELECTRONICALLY CONTROLLED";

const uint8_t FAN_ROW_TYPE = 2;
const uint8_t AUX_DIGITAL = 3, AUX_RESOLUTION = 1;
const uint32_t FAN_TURNING = 1, FAN_STOPPED = 0;
const uint8_t TEST_REQUESTED = 3, TEST_DONE = 4, TEST_ENDED = 2;
const uint32_t FEATURE_FAN_PAIRS = 0x10; // halvSpecialFeatureSet
const int SPEED_HIGH = 3, SPEED_LOW = 4;

template <class T> T* live(uint16_t id) {
    CPeripheral* p = nullptr;
    return ThePeripheralTask().Find(id, &p) ? dynamic_cast<T*>(p) : nullptr;
}

bool fan_pairs() {
    return (db_get(obj::halvSpecialFeatureSet) & FEATURE_FAN_PAIRS) != 0;
}

} // namespace

CFanRPM::CFanRPM(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel)
    : CCanBoard(PERIPHERAL_CLASS_FAN_RPM, id, bus_code, can_id, channel) {}

CFanRPM::~CFanRPM() {
    UnregisterAuxIO(aux_row_);
    UnregisterClimateCtrl(&climate_row_);
    FreeFanBit(&fan_bit_);
}

// A failed device registration leaves the sensor silent: it shows COMM ERROR.
bool CFanRPM::Init() {
    const char* name = IdToName(Id());
    RegisterDevice(name);
    if (!RegisterClimateCtrl(&climate_row_, name, PASSED, FAN_ROW_TYPE))
        console_printf("Failed to register %s in Climate Ctrl Table\n", name);
    if (!AllocateFanBit(&fan_bit_)) console_printf("Failed to register RPM SENSOR\n");
    if (!register_sensor_aux_row(*this, AUX_RESOLUTION, name, &aux_row_, AUX_DIGITAL)) {
        console_printf("CFanRPM::Init: error, failed to register in aux io table\n");
        m_byState = STATE_INIT_ERROR;
        return false;
    }
    SetAuxIOValue(aux_row_, FAN_STOPPED);
    failure_reported_ = 0;
    m_byState = STATE_READING;
    return true;
}

void CFanRPM::AnswerTest(uint8_t activation, const char* result) {
    SetClimateCtrlTest(climate_row_, activation);
    SetClimateCtrlResult(climate_row_, result);
}

void CFanRPM::Poll() {
    if (m_byState < STATE_READING) {
        if (GetClimateCtrlTest(climate_row_) == TEST_REQUESTED) AnswerTest(TEST_DONE, IN_ERROR);
        return;
    }
    ReadThenIdentify(&request_counter_);
}

void CFanRPM::OnReply(const can_packet& reply) {
    silence_.Heard();
    const uint16_t value = uint16_t(reply.data[SPEED_HIGH] << 8 | reply.data[SPEED_LOW]);
    if (reply.data[0] == CAN_REPLY_IDENTITY) board_value_ = value;
    if (reply.data[0] != CAN_REPLY_DATA) return;
    speed_ = value;
    trace_printf("FanRPM Reading %d\n", int(speed_));
    m_byState = STATE_VALID;
    OnReading();
}

// The silence limit: no speed, and no fan failure either.
void CFanRPM::OnSilenceLimit() {
    speed_ = 0;
    SetAuxIOValue(aux_row_, FAN_TURNING);
    m_byState = STATE_COMM_ERROR;
}

void CFanRPM::OnReading() {
    monitored_ = 0;
    ReadPowerSense();
    if (CFanIO* fan = live<CFanIO>(INTAKE_FAN)) Diagnose(*fan);
    if (diagnostic_state_ != DIAGNOSTIC_IDLE) return;
    SetClimateCtrlStatus(climate_row_, monitored_);
    if (monitored_) CountSpeed(true);
}

// Fans switched by hand (the power sense active) are always watched, and
// cannot be tested.
void CFanRPM::ReadPowerSense() {
    CPeripheral* sense = nullptr;
    if (!ThePeripheralTask().Find(POWER_SENSE, &sense)) return;
    const io_input_state* input = dynamic_cast<const io_input_state*>(sense);
    if (input == nullptr || input->InputState() != 1) return;
    monitored_ = 1;
    SetClimateCtrlStatus(climate_row_, 1);
    if (GetClimateCtrlTest(climate_row_) == TEST_REQUESTED) AnswerTest(TEST_DONE, BY_HAND);
}

void CFanRPM::Diagnose(CFanIO& fan) {
    if (diagnostic_state_ == DIAGNOSTIC_RUNNING) {
        if (db_get_time() > deadline_)
            EndDiagnostic();
        else if (fan.IsCommandedOn())
            CountSpeed(false);
        return;
    }
    diagnostic_state_ = DIAGNOSTIC_IDLE;
    if (GetClimateCtrlTest(climate_row_) == TEST_REQUESTED && MayStartDiagnostic(fan)) {
        deadline_ = db_get_time() + DIAGNOSTIC_SECONDS;
        SetClimateCtrlStatus(climate_row_, 1);
        last_result_ = 0;
        diagnostic_state_ = DIAGNOSTIC_RUNNING;
        return;
    }
    FollowFan(fan);
}

// Of a pair one sensor tests at a time; the one that starts picks its fan.
bool CFanRPM::MayStartDiagnostic(CFanIO& fan) {
    if (climate_row_ == NO_ROW) return false;
    if (!fan_pairs()) return true;
    const bool first = FirstOfPair();
    const CFanRPM* partner = live<CFanRPM>(uint16_t(first ? Id() + 1 : Id() - 1));
    if (partner != nullptr && partner->GetDiagnosticState() == DIAGNOSTIC_RUNNING) return false;
    fan.SetFanSelection(first ? CFanIO::SELECT_PRIMARY : CFanIO::SELECT_SECONDARY);
    return true;
}

// The fan this sensor watches runs: the first of a pair while the selector
// says the primary took its turn (1), the second otherwise.
void CFanRPM::FollowFan(const CFanIO& fan) {
    if (!fan.IsCommandedOn()) return;
    if (!fan_pairs())
        monitored_ = 1;
    else if (FirstOfPair() == (fan.FanSelection() == CFanIO::SELECT_SECONDARY))
        monitored_ = 1;
}

void CFanRPM::EndDiagnostic() {
    SetClimateCtrlStatus(climate_row_, 0);
    low_countdown_ = LOW_READINGS;
    diagnostic_state_ = DIAGNOSTIC_IDLE;
    SetClimateCtrlTest(climate_row_, TEST_ENDED);
    if (last_result_ == 0)
        ClearFanFailure(fan_bit_, climate_row_, PASSED);
    else
        SetFanFailure(fan_bit_, climate_row_, FAILED);
    failure_reported_ = last_result_;
}

// More than ten low readings in a row fail the fan; a good one clears it.
// `report`: outside a diagnostic, the verdict goes to the row at once.
void CFanRPM::CountSpeed(bool report) {
    if (speed_ >= LOW_SPEED) {
        SetAuxIOValue(aux_row_, FAN_TURNING);
        last_result_ = 0;
        low_countdown_ = LOW_READINGS;
        if (report && failure_reported_) {
            ClearFanFailure(fan_bit_, climate_row_, PASSED);
            failure_reported_ = 0;
        }
        return;
    }
    if (low_countdown_ != 0) {
        --low_countdown_;
        return;
    }
    SetAuxIOValue(aux_row_, FAN_STOPPED);
    last_result_ = 1;
    if (report && !failure_reported_) {
        SetFanFailure(fan_bit_, climate_row_, FAILED);
        failure_reported_ = 1;
    }
}

// CAN identifier, bus code.
CPeripheral* Create_FanRPM(const PeripheralRecord& record, const PeripheralParameters& values) {
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!sensor_board_values(record, values, &can_id, &bus_code, &channel)) return nullptr;
    return periph_finish_creation(new CFanRPM(record.id, bus_code, can_id, channel), record);
}
