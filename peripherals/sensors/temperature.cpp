// Temperature sensors (see temperature.h).
#include "peripherals/sensors/temperature.h"

#include "peripherals/can/can_networks.h"
#include "peripherals/factory.h"
#include "platform/kernel/kernel.h"
#include "platform/monitor/monitor.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdlib>
#include <cstring>

namespace {

// Row status values of the table.
const uint32_t ROW_FREE = 0, ROW_OK = 2, ROW_FAILED = 3;
const int8_t NO_HIGH_LIMIT = 127, NO_LOW_LIMIT = -128;
const int8_t LOW_WARNING = -40;
const int8_t HYSTERESIS = 3;
const int SHUT_OFF_MARGIN = 3; // the warning lies this far below the shut-off
// A sign sensor's high thresholds follow the shut-off temperature only in this
// band; otherwise they are 82 / 85.
const int SHUT_OFF_BAND_LOW = 66, SHUT_OFF_BAND_HIGH = 79;
const int8_t DEFAULT_HIGH_WARNING = 82, DEFAULT_HIGH_CRITICAL = 85;
const int8_t DISABLED_HIGH_LIMIT = -3;

const uint8_t REPLY_TEMPERATURE_BYTE = 3;

int8_t get_signed(const DbObject& object) {
    return int8_t(db_get_signed(object));
}

void set_signed(const DbObject& object, int value) {
    db_set(object, uint8_t(int8_t(value)), DB_NOTIFY);
}

int shut_off_temperature() {
    return db_get_signed(obj::halvShutOffTemp);
}

// statError37 / statError38: the table's highest high-critical and lowest
// low-critical thresholds.
void raise_summary_limits(int high_critical, int low_critical) {
    if (high_critical > get_signed(obj::statError37)) set_signed(obj::statError37, high_critical);
    if (low_critical < get_signed(obj::statError38)) set_signed(obj::statError38, low_critical);
}

void recompute_summary_limits(unsigned rows) {
    int highest = 0, lowest = 0;
    for (unsigned r = 0; r < rows; ++r) {
        int high = get_signed(obj::tempSensorHighCritical.row(r));
        int low = get_signed(obj::tempSensorLowCritical.row(r));
        if (high > highest) highest = high;
        if (low < lowest) lowest = low;
    }
    set_signed(obj::statError37, highest);
    set_signed(obj::statError38, lowest);
}

struct Thresholds {
    int high_warning, low_warning, high_critical, low_critical;
};

void write_thresholds(int row, const Thresholds& t) {
    set_signed(obj::tempSensorHighWarning.row(unsigned(row)), t.high_warning);
    set_signed(obj::tempSensorLowWarning.row(unsigned(row)), t.low_warning);
    set_signed(obj::tempSensorHighCritical.row(unsigned(row)), t.high_critical);
    set_signed(obj::tempSensorLowCritical.row(unsigned(row)), t.low_critical);
}

// The thresholds a sensor's row starts with.
Thresholds initial_thresholds(uint16_t id, int shut_off) {
    if (id < TEMP_SIGN1) return {NO_HIGH_LIMIT, NO_LOW_LIMIT, NO_HIGH_LIMIT, NO_LOW_LIMIT};
    if (shut_off >= SHUT_OFF_BAND_LOW && shut_off <= SHUT_OFF_BAND_HIGH)
        return {shut_off - SHUT_OFF_MARGIN, LOW_WARNING, shut_off, NO_LOW_LIMIT};
    return {DEFAULT_HIGH_WARNING, LOW_WARNING, DEFAULT_HIGH_CRITICAL, NO_LOW_LIMIT};
}

// The sensor's analog input in the auxiliary I/O table.
const uint8_t AUX_ANALOG = 2, AUX_INPUT = 2, AUX_RESOLUTION = 8;

} // namespace

// ---- identity -------------------------------------------------------------------

const char* CTemperature::IdToName(uint16_t id) {
    return periph_id_to_name(id);
}

uint16_t CTemperature::NameToId(const char* name) {
    return periph_name_to_id(name);
}

CTemperature::CTemperature(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel)
    : CCanBoard(PERIPHERAL_CLASS_TEMPERATURE, id, bus_code, can_id, channel) {}

CTemperature::~CTemperature() {
    timer_scheduler* scheduler = global_timer_scheduler();
    for (uint32_t& id : timer_ids_) {
        if (id != 0 && scheduler != nullptr) scheduler->remove(id);
        id = 0;
    }
    UnregisterTableRow();
    UnregisterAuxIO(aux_row_);
}

// ---- start ----------------------------------------------------------------------

bool CTemperature::Init() {
    RegisterTableRow();
    if (Id() != TEMP_CONTROLLER && !RegisterDevice(IdToName(Id()))) {
        console_printf("unable to register can dev with core\n");
        SetTempSensorFailure(table_row_);
        m_byState = STATE_INIT_ERROR;
        return false;
    }
    if (!RegisterAuxRow()) {
        console_printf("failed to register %s in aux io table\n", IdToName(Id()));
        SetTempSensorFailure(table_row_);
        m_byState = STATE_INIT_ERROR;
        return false;
    }
    AddTimers();
    m_byState = STATE_READING;
    return true;
}

// A listed sensor takes the auxiliary row kept for its list slot and keeps it
// there, so the row survives restarts.
bool CTemperature::RegisterAuxRow() {
    const bool keeps_rows = IsCanBoard();
    AuxIORows rows;
    if (keeps_rows) LoadAuxIORows(ListSlot(), &rows);
    int32_t row = rows.At(0);
    if (!RegisterAuxIO(&row, AUX_ANALOG, AUX_INPUT, AUX_RESOLUTION, "%s", IdToName(Id())))
        return false;
    aux_row_ = row;
    if (keeps_rows) {
        if (rows.count == 0) rows.Push(row);
        rows.row[0] = row;
        SaveAuxIORows(ListSlot(), rows);
    }
    return true;
}

void CTemperature::AddTimers() {
    timer_scheduler* scheduler = global_timer_scheduler();
    if (scheduler == nullptr) return;
    struct TimerRow {
        uint32_t argument, period;
        bool wanted;
    };
    const TimerRow rows[] = {
        {TIMER_IDENTIFY, IDENTIFY_PERIOD, true},
        {TIMER_RECOVERY, RECOVERY_PERIOD, (DeviceBusCode() & CAN_CODE_LOCAL_REINIT) != 0},
        {TIMER_SILENCE, SILENCE_PERIOD, true},
    };
    for (const TimerRow& r : rows) {
        if (!r.wanted) continue;
        peripheral_event* event = new peripheral_event(this, r.argument);
        timer_ids_[r.argument] = scheduler->add(event, r.period, true);
        if (timer_ids_[r.argument] == 0) delete event;
    }
}

// Rows are claimed once, while fewer than six are in use.
void CTemperature::RegisterTableRow() {
    if (table_attempted_) return;
    table_attempted_ = 1;
    if (Id() < TEMP_CONTROLLER || Id() > TEMP_SIGN3) return;
    int32_t row = NO_ROW;
    if (!RegisterTempRow(&row, IdToName(Id()))) return;
    table_row_ = row;
    int shut_off = shut_off_temperature();
    if (shut_off != 0) write_thresholds(row, initial_thresholds(Id(), shut_off));
    raise_summary_limits(get_signed(obj::tempSensorHighCritical.row(unsigned(row))),
                         get_signed(obj::tempSensorLowCritical.row(unsigned(row))));
}

void CTemperature::UnregisterTableRow() {
    if (table_row_ < 0) return;
    write_thresholds(table_row_, {NO_HIGH_LIMIT, NO_LOW_LIMIT, NO_HIGH_LIMIT, NO_LOW_LIMIT});
    int32_t row = table_row_;
    UnregisterTempRow(&row);
    recompute_summary_limits(db_get(obj::tempSensorRowCount));
    table_row_ = -1;
}

void CTemperature::UpdateShutOffLimits() {
    if (table_row_ < 0) return;
    int shut_off = shut_off_temperature();
    int high_warning = shut_off >= 1 ? shut_off - SHUT_OFF_MARGIN : DISABLED_HIGH_LIMIT;
    int high_critical = shut_off >= 1 ? shut_off : DISABLED_HIGH_LIMIT;
    write_thresholds(table_row_, {high_warning, LOW_WARNING, high_critical, NO_LOW_LIMIT});
    raise_summary_limits(shut_off, NO_LOW_LIMIT);
    if (shut_off == 0) {
        ClearTempWarning(table_row_);
        alarm_active_[0] = alarm_active_[1] = 0;
    }
}

void CTemperature::ForwardLetter(const letter_s& letter) {
    if (letter.code() == LETTER_SHUTOFF_TEMP_CHANGED) UpdateShutOffLimits();
}

// ---- timers and the bus ------------------------------------------------------------

void CTemperature::SetBus(can_bus* bus) {
    can_device::SetBus(bus);
    SendIdentify();
}

void CTemperature::OnTimer(uint32_t argument) {
    if (argument == TIMER_IDENTIFY) identify_due_ = 1;
    if (argument == TIMER_RECOVERY) RequestReinit();
    if (argument == TIMER_SILENCE) silence_due_ = 1;
}

void CTemperature::RestartSilenceTimers() {
    timer_scheduler* scheduler = global_timer_scheduler();
    if (scheduler == nullptr) return;
    for (uint32_t argument : {TIMER_RECOVERY, TIMER_SILENCE})
        if (timer_ids_[argument] != 0) scheduler->restart(timer_ids_[argument]);
}

void CTemperature::ServiceTimerFlags() {
    ServiceReinit();
    if (!silence_due_) return;
    silence_due_ = 0;
    if (Enabled()) GoSilent();
}

// 400 s without a frame: reading 0, row failed, alarms cleared, COMM ERROR.
void CTemperature::GoSilent() {
    temperature_ = 0;
    SetAuxIOValue(aux_row_, 0);
    SetTempSensorFailure(table_row_);
    ClearAlarms();
    m_byState = STATE_COMM_ERROR;
}

// ---- poll ---------------------------------------------------------------------------

void CTemperature::Poll() {
    RegisterTableRow();
    ServiceTimerFlags();
    if (Id() == TEMP_CONTROLLER) {
        uint8_t data[CAN_DATA_BYTES] = {CAN_REPLY_DATA, 0, 0, uint8_t(int8_t(mon_boardtemp()))};
        CInterruptLock masked;
        Receive(can_packet(DeviceId() + CAN_REPLY_OFFSET, 0, CAN_DATA_BYTES, data));
    }
    DrainReplies();
    if (!IsCanBoard()) return;
    if (identify_due_) {
        identify_due_ = 0;
        SendIdentify();
    } else {
        SendRead();
    }
}

void CTemperature::OnReply(const can_packet& reply) {
    RestartSilenceTimers();
    if (reply.data[0] == CAN_REPLY_DATA) TakeReading(int8_t(reply.data[REPLY_TEMPERATURE_BYTE]));
}

void CTemperature::TakeReading(int8_t degrees) {
    temperature_ = degrees;
    if (table_row_ >= 0) {
        if (db_get(obj::tempSensorStatus.row(unsigned(table_row_))) != ROW_OK)
            ClearTempSensorFailure(table_row_);
        set_signed(obj::tempSensorCurrent.row(unsigned(table_row_)), degrees);
    }
    m_byState = STATE_VALID;
    if (shut_off_temperature() != 0) CheckThresholds();
    SetAuxIOValue(aux_row_, uint32_t(int32_t(degrees)));
}

// Each check turns on past its threshold and off 3 degrees back inside it.
void CTemperature::CheckThresholds() {
    if (table_row_ < 0) return;
    struct Check {
        const DbObject* threshold;
        int direction; // +1 a high limit, -1 a low one
        void (CPeripheral::*set)(int32_t row);
        void (CPeripheral::*clear)(int32_t row);
    };
    const Check checks[4] = {
        {&obj::tempSensorHighWarning, +1, &CPeripheral::SetTempWarning,
         &CPeripheral::ClearTempWarning},
        {&obj::tempSensorLowWarning, -1, &CPeripheral::SetTempWarning,
         &CPeripheral::ClearTempWarning},
        {&obj::tempSensorHighCritical, +1, &CPeripheral::SetTempCritical,
         &CPeripheral::ClearTempCritical},
        {&obj::tempSensorLowCritical, -1, &CPeripheral::SetTempCritical,
         &CPeripheral::ClearTempCritical},
    };
    for (int i = 0; i < 4; ++i) {
        const Check& c = checks[i];
        int threshold = get_signed(c.threshold->row(unsigned(table_row_)));
        int beyond = (temperature_ - threshold) * c.direction;
        if (!alarm_active_[i] && beyond > 0) {
            alarm_active_[i] = 1;
            (this->*c.set)(table_row_);
        } else if (alarm_active_[i] && beyond < -HYSTERESIS) {
            alarm_active_[i] = 0;
            (this->*c.clear)(table_row_);
        }
    }
}

void CTemperature::ClearAlarms() {
    std::memset(alarm_active_, 0, sizeof alarm_active_);
    ClearTempWarning(table_row_);
    ClearTempCritical(table_row_);
}

// ---- factory ----------------------------------------------------------------------

CPeripheral* Create_Temperature(const PeripheralRecord& record,
                                const PeripheralParameters& values) {
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!can_board_values(values, &can_id, &bus_code, &channel)) {
        console_printf("creation string of %s refused: %s\n", periph_id_to_name(record.id),
                       record.parameters ? record.parameters : "");
        return nullptr;
    }
    if (bus_code == 0 && record.id == TEMP_CABINET) bus_code = CAN_CODE_PANEL;
    return periph_finish_creation(new CTemperature(record.id, bus_code, can_id, channel), record);
}
