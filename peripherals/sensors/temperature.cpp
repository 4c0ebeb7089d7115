// Temperature sensors (see temperature.h).
#include "peripherals/sensors/temperature.h"

#include "peripherals/can/can_networks.h"
#include "platform/kernel/kernel.h"
#include "platform/monitor/monitor.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdlib>
#include <cstring>

namespace {

struct SensorName {
    uint16_t id;
    const char* name;
};
const SensorName SENSOR_NAMES[] = {
    {TEMP_CONTROLLER, "TEMPCONTROLLER"}, {TEMP_CABINET, "TEMPCABINET"},
    {TEMP_AMBIENT, "TEMPAMBIENT"},       {TEMP_SIGN1, "TEMPSIGN1"},
    {TEMP_SIGN2, "TEMPSIGN2"},           {TEMP_SIGN3, "TEMPSIGN3"},
    {TEMP_SIGN_MODULES, "TEMPSIGNMODS"},
};

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

// shortErrorStatus bits.
const uint32_t ERROR_TEMPERATURE_WARNING = 0x0200;
const uint32_t ERROR_CRITICAL_TEMPERATURE = 0x0800;

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

// ---- the table's bit maps: bit (row mod 8) of byte (row div 8) --------------

const unsigned MAP_BYTES = (CTemperature::TABLE_ROWS + 7) / 8;

// The map extended to cover `row`, its bit set or cleared. -> the map empty after.
bool change_map_bit(const DbObject& map, int row, bool on) {
    uint8_t bytes[MAP_BYTES] = {};
    uint32_t length = 0;
    db_get_string_copy(map, bytes, sizeof bytes, &length);
    unsigned needed = unsigned(row) / 8 + 1;
    if (length < needed) length = needed;
    uint8_t bit = uint8_t(1u << (unsigned(row) % 8));
    bytes[row / 8] = on ? uint8_t(bytes[row / 8] | bit) : uint8_t(bytes[row / 8] & ~bit);
    db_set_string(map, bytes, length, DB_NOTIFY);
    for (uint32_t i = 0; i < length; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

// A map bit with its summary bit of shortErrorStatus: set with the row's bit,
// cleared when no row's bit is left.
void change_alarm_bit(const DbObject& map, uint32_t summary, int row, bool on) {
    if (row < 0) return;
    bool empty = change_map_bit(map, row, on);
    if (on) db_change_bits(obj::shortErrorStatus, summary, 0, DB_NOTIFY);
    if (!on && empty) db_change_bits(obj::shortErrorStatus, 0, summary, DB_NOTIFY);
}

void set_row_failed(int row, bool failed) {
    if (row < 0) return;
    db_set(obj::tempSensorCurrent.row(unsigned(row)), 0, DB_NOTIFY);
    db_set(obj::tempSensorStatus.row(unsigned(row)), failed ? ROW_FAILED : ROW_OK, DB_NOTIFY);
    change_map_bit(obj::tempSensorFailureMap, row, failed);
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

// ---- auxiliary I/O: the sensor's analog input row ---------------------------

const unsigned AUX_ROWS = 136;
const uint32_t AUX_ANALOG = 2, AUX_INPUT = 2, AUX_RESOLUTION = 8;
const char AUX_UNUSED[] = "UNUSED";

// The first free analog row, described by `name`. -> the row, -1 none free.
int take_aux_row(const char* name) {
    for (unsigned r = 0; r < AUX_ROWS; ++r) {
        if (db_get(obj::auxIOPortType.row(r)) != AUX_ANALOG) continue;
        const char* description = db_get_string(obj::auxIOPortDescription.row(r));
        if (description == nullptr || std::strcmp(description, AUX_UNUSED) != 0) continue;
        db_set_text(obj::auxIOPortDescription.row(r), name, DB_NOTIFY);
        db_set(obj::auxIOPortResolution.row(r), AUX_RESOLUTION, DB_NOTIFY);
        db_set(obj::auxIOPortValue.row(r), 0, DB_NOTIFY);
        db_set(obj::auxIOPortDirection.row(r), AUX_INPUT, DB_NOTIFY);
        db_set(obj::auxIOPortLastCommand.row(r), 0, DB_NOTIFY);
        return int(r);
    }
    return -1;
}

void release_aux_row(int row) {
    if (row < 0) return;
    db_set_text(obj::auxIOPortDescription.row(unsigned(row)), AUX_UNUSED, DB_NOTIFY);
    db_set(obj::auxIOPortResolution.row(unsigned(row)), 0, DB_NOTIFY);
    db_set(obj::auxIOPortValue.row(unsigned(row)), 0, DB_NOTIFY);
    db_set(obj::auxIOPortDirection.row(unsigned(row)), 0, DB_NOTIFY);
    db_set(obj::auxIOPortLastCommand.row(unsigned(row)), 0, DB_NOTIFY);
}

void set_aux_value(int row, int8_t value) {
    if (row >= 0)
        db_set(obj::auxIOPortValue.row(unsigned(row)), uint32_t(int32_t(value)), DB_NOTIFY);
}

} // namespace

// ---- identity -------------------------------------------------------------------

const char* CTemperature::IdToName(uint16_t id) {
    for (const SensorName& s : SENSOR_NAMES)
        if (s.id == id) return s.name;
    return "UNKNOWN";
}

uint16_t CTemperature::NameToId(const char* name) {
    for (const SensorName& s : SENSOR_NAMES)
        if (name != nullptr && std::strcmp(s.name, name) == 0) return s.id;
    return 0;
}

CTemperature::CTemperature(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel)
    : CCanBoard(PERIPHERAL_CLASS_TEMPERATURE, id, bus_code, can_id, channel) {}

CTemperature::~CTemperature() {
    timer_scheduler* scheduler = global_timer_scheduler();
    for (uint32_t& id : timer_ids_) {
        if (id != 0 && scheduler != nullptr) scheduler->remove(id);
        id = 0;
    }
    the_can_core().UnregisterDevice(this);
    UnregisterTableRow();
    release_aux_row(aux_row_);
}

// ---- start ----------------------------------------------------------------------

bool CTemperature::Init() {
    RegisterTableRow();
    if (Id() != TEMP_CONTROLLER && !RegisterDevice(IdToName(Id()))) {
        console_printf("unable to register can dev with core\n");
        set_row_failed(table_row_, true);
        m_byState = STATE_INIT_ERROR;
        return false;
    }
    if (!RegisterAuxRow()) {
        console_printf("failed to register %s in aux io table\n", IdToName(Id()));
        set_row_failed(table_row_, true);
        m_byState = STATE_INIT_ERROR;
        return false;
    }
    AddTimers();
    m_byState = STATE_READING;
    return true;
}

bool CTemperature::RegisterAuxRow() {
    aux_row_ = take_aux_row(IdToName(Id()));
    return aux_row_ >= 0;
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
    unsigned count = db_get(obj::tempSensorRowCount);
    if (count >= TABLE_ROWS) return;
    int row = int(count);
    db_set(obj::tempSensorRowCount, count + 1, DB_NOTIFY);
    change_map_bit(obj::tempSensorFailureMap, row, false);
    change_map_bit(obj::tempSensorWarningMap, row, false);
    change_map_bit(obj::tempSensorCriticalMap, row, false);
    db_set_text(obj::tempSensorDescription.row(unsigned(row)), IdToName(Id()), DB_NOTIFY);
    db_set(obj::tempSensorCurrent.row(unsigned(row)), 0, DB_NOTIFY);
    db_set(obj::tempSensorStatus.row(unsigned(row)), ROW_OK, DB_NOTIFY);
    int shut_off = shut_off_temperature();
    if (shut_off != 0) write_thresholds(row, initial_thresholds(Id(), shut_off));
    raise_summary_limits(get_signed(obj::tempSensorHighCritical.row(unsigned(row))),
                         get_signed(obj::tempSensorLowCritical.row(unsigned(row))));
    table_row_ = row;
}

void CTemperature::UnregisterTableRow() {
    if (table_row_ < 0) return;
    unsigned row = unsigned(table_row_);
    db_set_text(obj::tempSensorDescription.row(row), "", DB_NOTIFY);
    db_set(obj::tempSensorCurrent.row(row), 0, DB_NOTIFY);
    db_set(obj::tempSensorStatus.row(row), ROW_FREE, DB_NOTIFY);
    write_thresholds(table_row_, {NO_HIGH_LIMIT, NO_LOW_LIMIT, NO_HIGH_LIMIT, NO_LOW_LIMIT});
    unsigned count = db_get(obj::tempSensorRowCount);
    if (count > 0) --count;
    db_set(obj::tempSensorRowCount, count, DB_NOTIFY);
    recompute_summary_limits(count);
    change_map_bit(obj::tempSensorFailureMap, table_row_, false);
    change_alarm_bit(obj::tempSensorWarningMap, ERROR_TEMPERATURE_WARNING, table_row_, false);
    change_alarm_bit(obj::tempSensorCriticalMap, ERROR_CRITICAL_TEMPERATURE, table_row_, false);
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
        change_alarm_bit(obj::tempSensorWarningMap, ERROR_TEMPERATURE_WARNING, table_row_, false);
        alarm_active_[0] = alarm_active_[1] = 0;
    }
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
    set_aux_value(aux_row_, 0);
    set_row_failed(table_row_, true);
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
    if (!SendsRequests()) return;
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
        set_signed(obj::tempSensorCurrent.row(unsigned(table_row_)), degrees);
        if (db_get(obj::tempSensorStatus.row(unsigned(table_row_))) != ROW_OK) {
            db_set(obj::tempSensorStatus.row(unsigned(table_row_)), ROW_OK, DB_NOTIFY);
            change_map_bit(obj::tempSensorFailureMap, table_row_, false);
        }
    }
    m_byState = STATE_VALID;
    if (shut_off_temperature() != 0) CheckThresholds();
    set_aux_value(aux_row_, degrees);
}

// Each check turns on past its threshold and off 3 degrees back inside it.
void CTemperature::CheckThresholds() {
    if (table_row_ < 0) return;
    struct Check {
        const DbObject* threshold;
        int direction; // +1 a high limit, -1 a low one
        const DbObject* map;
        uint32_t summary;
    };
    const Check checks[4] = {
        {&obj::tempSensorHighWarning, +1, &obj::tempSensorWarningMap, ERROR_TEMPERATURE_WARNING},
        {&obj::tempSensorLowWarning, -1, &obj::tempSensorWarningMap, ERROR_TEMPERATURE_WARNING},
        {&obj::tempSensorHighCritical, +1, &obj::tempSensorCriticalMap, ERROR_CRITICAL_TEMPERATURE},
        {&obj::tempSensorLowCritical, -1, &obj::tempSensorCriticalMap, ERROR_CRITICAL_TEMPERATURE},
    };
    for (int i = 0; i < 4; ++i) {
        const Check& c = checks[i];
        int beyond =
            (temperature_ - get_signed(c.threshold->row(unsigned(table_row_)))) * c.direction;
        if (!alarm_active_[i] && beyond > 0) {
            alarm_active_[i] = 1;
            change_alarm_bit(*c.map, c.summary, table_row_, true);
        } else if (alarm_active_[i] && beyond < -HYSTERESIS) {
            alarm_active_[i] = 0;
            change_alarm_bit(*c.map, c.summary, table_row_, false);
        }
    }
}

void CTemperature::ClearAlarms() {
    std::memset(alarm_active_, 0, sizeof alarm_active_);
    change_alarm_bit(obj::tempSensorWarningMap, ERROR_TEMPERATURE_WARNING, table_row_, false);
    change_alarm_bit(obj::tempSensorCriticalMap, ERROR_CRITICAL_TEMPERATURE, table_row_, false);
}

// ---- factory ----------------------------------------------------------------------

CPeripheral* Create_Temperature(const PeripheralRecord& record) {
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!can_board_parameters(record.parameters, &can_id, &bus_code, &channel)) return nullptr;
    if (bus_code == 0 && record.id == TEMP_CABINET) bus_code = CAN_CODE_PANEL;
    CTemperature* sensor = new CTemperature(record.id, bus_code, can_id, channel);
    sensor->SetPollPeriod(CTemperature::POLL_PERIOD);
    sensor->SetCountdown(uint16_t(std::rand() % CTemperature::POLL_PERIOD));
    sensor->SetListSlot(record.list_slot);
    sensor->SetListed(1);
    if (!sensor->Init()) {
        delete sensor;
        return nullptr;
    }
    sensor->SetEnabled(1);
    return sensor;
}
