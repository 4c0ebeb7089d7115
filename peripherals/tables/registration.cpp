// The registration tables (climate control, photocell, humidity, temperature),
// the fan-failure bits and the status bitmaps they keep.
//
// Rows of one table are handed out by its row count (the next row is the
// count) and given back in the reverse order, which the registry keeps by
// deleting peripherals in the reverse order of their creation. Bitmaps hold
// the bit of row r at bit r mod 8 of byte r div 8.
#include "peripherals/tables/registration.h"

#include "comm/agents/trap_raise.h"
#include "runtime/peripheral.h"
#include "store/database.h"
#include "store/objects.h"
#include "store/short_error_status.h"

#include <cstring>

namespace {

const unsigned MAP_BYTES_MAX = FAN_BITS / 8;

// --- bitmaps --------------------------------------------------------------------------

struct Bitmap {
    uint8_t byte[MAP_BYTES_MAX] = {};
    uint32_t length = 0;
};

Bitmap read_map(const DbObject& map) {
    Bitmap b;
    uint8_t copy[MAP_BYTES_MAX + 1];
    db_get_string_copy(map, copy, sizeof copy, &b.length);
    if (b.length > MAP_BYTES_MAX) b.length = MAP_BYTES_MAX;
    std::memcpy(b.byte, copy, b.length);
    return b;
}

bool map_empty(const DbObject& map) {
    const Bitmap b = read_map(map);
    for (uint32_t i = 0; i < b.length; ++i)
        if (b.byte[i] != 0) return false;
    return true;
}

// Sets or clears the row's bit. A map too short for the row is left as it
// is, unless `extend` asks for it to be lengthened (zero-filled) first.
void put_map_bit(const DbObject& map, int32_t row, bool on, bool extend = false) {
    Bitmap b = read_map(map);
    const uint32_t index = uint32_t(row) / 8;
    if (index >= MAP_BYTES_MAX) return;
    if (index >= b.length) {
        if (!extend) return;
        b.length = index + 1;
    }
    const uint8_t bit = uint8_t(1u << (row % 8));
    b.byte[index] = on ? uint8_t(b.byte[index] | bit) : uint8_t(b.byte[index] & ~bit);
    db_set_string(map, b.byte, b.length, DB_NOTIFY);
}

// --- the row tables -------------------------------------------------------------------

// One row per table: its size, row count, failure map, the columns written
// at registration and on failure, and the shortErrorStatus bit its failures
// raise (0: none).
struct RowTable {
    unsigned capacity;
    DbObject count;
    DbObject map;
    DbObject description;
    DbObject level;
    DbObject status;
    uint32_t short_bit;
};

enum : uint8_t { SENSOR_REMOVED = 0, SENSOR_OK = 2, SENSOR_FAILED = 3 };

const RowTable PHOTOCELL = {PHOTOCELL_ROWS,           obj::photocellRowCount,
                            obj::photocellFailureMap, obj::photocellDescription,
                            obj::photocellLevel,      obj::photocellStatus,
                            SHORT_ERROR_PHOTOCELL};
const RowTable HUMIDITY = {HUMIDITY_ROWS,
                           obj::humiditySensorRowCount,
                           obj::humiditySensorFailureMap,
                           obj::humiditySensorDescription,
                           obj::humiditySensorLevel,
                           obj::humiditySensorStatus,
                           SHORT_ERROR_HUMIDITY};
const RowTable TEMPERATURE = {TEMPERATURE_ROWS,
                              obj::tempSensorRowCount,
                              obj::tempSensorFailureMap,
                              obj::tempSensorDescription,
                              obj::tempSensorCurrent,
                              obj::tempSensorStatus,
                              0};

bool valid(int32_t row, unsigned capacity) {
    return row >= 0 && unsigned(row) < capacity;
}

// row := count, count + 1, the row's map bit clear. -> false when full; true
// without change when the row is held already.
bool claim_row(const RowTable& t, int32_t* row) {
    if (*row != NO_ROW) return true;
    const uint32_t count = db_get(t.count);
    if (count >= t.capacity) return false;
    *row = int32_t(count);
    db_set(t.count, count + 1, DB_NOTIFY);
    put_map_bit(t.map, *row, false, true);
    return true;
}

void release_count(const DbObject& count) {
    const uint32_t n = db_get(count);
    if (n > 0) db_set(count, n - 1, DB_NOTIFY);
}

bool claim_sensor_row(const RowTable& t, int32_t* row, const char* description) {
    const bool was_held = *row != NO_ROW;
    if (!claim_row(t, row)) return false;
    if (was_held) return true;
    db_set_text(t.description.row(*row), description, DB_NOTIFY);
    db_set(t.level.row(*row), 0, DB_NOTIFY);
    db_set(t.status.row(*row), SENSOR_OK, DB_NOTIFY);
    return true;
}

// Clears the map's bit, and the table's shortErrorStatus bit once the map is
// empty.
void clear_failure_bit(const DbObject& map, int32_t row, uint32_t short_bit) {
    put_map_bit(map, row, false);
    if (short_bit != 0 && map_empty(map)) short_error_clear(short_bit);
}

void release_sensor_row(const RowTable& t, int32_t* row) {
    if (!valid(*row, t.capacity)) return;
    db_set_text(t.description.row(*row), "", DB_NOTIFY);
    db_set(t.level.row(*row), 0, DB_NOTIFY);
    db_set(t.status.row(*row), SENSOR_REMOVED, DB_NOTIFY);
    release_count(t.count);
    clear_failure_bit(t.map, *row, t.short_bit);
    *row = NO_ROW;
}

void set_sensor_failure(const RowTable& t, int32_t row) {
    if (!valid(row, t.capacity)) return;
    db_set(t.level.row(row), 0, DB_NOTIFY);
    db_set(t.status.row(row), SENSOR_FAILED, DB_NOTIFY);
    put_map_bit(t.map, row, true);
    if (t.short_bit != 0) short_error_set(t.short_bit);
}

void clear_sensor_failure(const RowTable& t, int32_t row) {
    if (!valid(row, t.capacity)) return;
    db_set(t.status.row(row), SENSOR_OK, DB_NOTIFY);
    clear_failure_bit(t.map, row, t.short_bit);
}

// A flag map of the temperature table (warning, critical) with its bit.
void put_flag(const DbObject& map, uint32_t short_bit, int32_t row, bool on) {
    if (!valid(row, TEMPERATURE_ROWS)) return;
    if (!on) return clear_failure_bit(map, row, short_bit);
    put_map_bit(map, row, true);
    short_error_set(short_bit);
}

// --- climate control and fans ---------------------------------------------------------

const RowTable CLIMATE = {CLIMATE_ROWS,
                          obj::climateCtrlRowCount,
                          obj::climateCtrlErrorMap,
                          obj::climateCtrlDescription,
                          obj::climateCtrlStatusText,
                          obj::climateCtrlError,
                          SHORT_ERROR_CLIMATE};

enum : uint8_t {
    CLIMATE_OK = 2,
    CLIMATE_FAILED = 3,
    CLIMATE_NO_TEST = 2,
    CLIMATE_REMOVED_TYPE = 1,
};

unsigned g_fan_bits_out = 0;

// 0x0400 stays set while a fan or a climate row has failed.
void refresh_climate_bit() {
    if (map_empty(obj::climateCtrlErrorMap) && map_empty(obj::fanFailures))
        short_error_clear(SHORT_ERROR_CLIMATE);
}

void write_zuduz_failures(uint8_t value) {
    db_set_string(obj::zuduzClimateFailures, &value, 1, DB_NOTIFY);
}

// Bit k for the k-th heater row (types 5-7, at most eight) that has failed.
void rebuild_zuduz_failures() {
    uint8_t value = 0;
    unsigned k = 0;
    const uint32_t count = db_get(obj::climateCtrlRowCount);
    for (uint32_t r = 0; r < count && r < CLIMATE_ROWS && k < 8; ++r) {
        const uint32_t type = db_get(obj::climateCtrlType.row(r));
        if (type < 5 || type > 7) continue;
        if (db_get(obj::climateCtrlError.row(r)) == CLIMATE_FAILED) value |= uint8_t(1u << k);
        ++k;
    }
    write_zuduz_failures(value);
}

template <class Write> void climate_column(int32_t row, Write write) {
    if (valid(row, CLIMATE_ROWS)) write(uint32_t(row));
}

int32_t climate_read(const DbObject& column, int32_t row) {
    return valid(row, CLIMATE_ROWS) ? int32_t(db_get(column.row(row))) : -1;
}

} // namespace

void registration_reset() {
    g_fan_bits_out = 0;
    aux_io_reset();
}

// --- photocell, humidity, temperature -------------------------------------------------

bool CPeripheral::RegisterLightRow(int32_t* row, const char* description) {
    return claim_sensor_row(PHOTOCELL, row, description);
}
void CPeripheral::UnregisterLightRow(int32_t* row) {
    release_sensor_row(PHOTOCELL, row);
}
void CPeripheral::SetLightFailure(int32_t row) {
    set_sensor_failure(PHOTOCELL, row);
}
void CPeripheral::ClearLightFailure(int32_t row) {
    clear_sensor_failure(PHOTOCELL, row);
}
bool CPeripheral::RegisterHumidityRow(int32_t* row, const char* description) {
    return claim_sensor_row(HUMIDITY, row, description);
}
void CPeripheral::UnregisterHumidityRow(int32_t* row) {
    release_sensor_row(HUMIDITY, row);
}
void CPeripheral::SetHumidityFailure(int32_t row) {
    set_sensor_failure(HUMIDITY, row);
}
void CPeripheral::ClearHumidityFailure(int32_t row) {
    clear_sensor_failure(HUMIDITY, row);
}

// The temperature row's warning and critical maps grow with its failure map.
bool CPeripheral::RegisterTempRow(int32_t* row, const char* description) {
    const bool was_held = *row != NO_ROW;
    if (!claim_sensor_row(TEMPERATURE, row, description)) return false;
    if (!was_held) {
        put_map_bit(obj::tempSensorWarningMap, *row, false, true);
        put_map_bit(obj::tempSensorCriticalMap, *row, false, true);
    }
    return true;
}
void CPeripheral::UnregisterTempRow(int32_t* row) {
    if (!valid(*row, TEMPERATURE_ROWS)) return;
    put_flag(obj::tempSensorWarningMap, SHORT_ERROR_TEMPERATURE_WARNING, *row, false);
    put_flag(obj::tempSensorCriticalMap, SHORT_ERROR_CRITICAL_TEMPERATURE, *row, false);
    release_sensor_row(TEMPERATURE, row);
}
void CPeripheral::SetTempSensorFailure(int32_t row) {
    set_sensor_failure(TEMPERATURE, row);
}
void CPeripheral::ClearTempSensorFailure(int32_t row) {
    if (valid(row, TEMPERATURE_ROWS)) db_set(obj::tempSensorCurrent.row(row), 0, DB_NOTIFY);
    clear_sensor_failure(TEMPERATURE, row);
}
void CPeripheral::SetTempWarning(int32_t row) {
    put_flag(obj::tempSensorWarningMap, SHORT_ERROR_TEMPERATURE_WARNING, row, true);
}
void CPeripheral::ClearTempWarning(int32_t row) {
    put_flag(obj::tempSensorWarningMap, SHORT_ERROR_TEMPERATURE_WARNING, row, false);
}
void CPeripheral::SetTempCritical(int32_t row) {
    put_flag(obj::tempSensorCriticalMap, SHORT_ERROR_CRITICAL_TEMPERATURE, row, true);
}
void CPeripheral::ClearTempCritical(int32_t row) {
    put_flag(obj::tempSensorCriticalMap, SHORT_ERROR_CRITICAL_TEMPERATURE, row, false);
}

// --- climate control ------------------------------------------------------------------

bool CPeripheral::RegisterClimateCtrl(int32_t* row, const char* description, const char* condition,
                                      uint8_t type) {
    const bool was_held = *row != NO_ROW;
    if (!claim_row(CLIMATE, row)) return false;
    if (was_held) return true;
    db_set(obj::climateCtrlOnStatus.row(*row), 0, DB_NOTIFY);
    db_set_text(obj::climateCtrlDescription.row(*row), description, DB_NOTIFY);
    db_set_text(obj::climateCtrlStatusText.row(*row), condition, DB_NOTIFY);
    db_set(obj::climateCtrlType.row(*row), type, DB_NOTIFY);
    write_zuduz_failures(0);
    return true;
}

void CPeripheral::UnregisterClimateCtrl(int32_t* row) {
    if (!valid(*row, CLIMATE_ROWS)) return;
    const uint32_t r = uint32_t(*row);
    db_set_text(obj::climateCtrlDescription.row(r), "", DB_NOTIFY);
    db_set(obj::climateCtrlType.row(r), CLIMATE_REMOVED_TYPE, DB_NOTIFY);
    release_count(obj::climateCtrlRowCount);
    db_set_text(obj::climateCtrlStatusText.row(r), "", DB_NOTIFY);
    db_set(obj::climateCtrlError.row(r), CLIMATE_OK, DB_NOTIFY);
    db_set(obj::climateCtrlOnStatus.row(r), 0, DB_NOTIFY);
    db_set(obj::climateCtrlTestActivation.row(r), CLIMATE_NO_TEST, DB_NOTIFY);
    db_set_text(obj::climateCtrlResultText.row(r), "", DB_NOTIFY);
    put_map_bit(obj::climateCtrlErrorMap, *row, false);
    refresh_climate_bit();
    write_zuduz_failures(0);
    *row = NO_ROW;
}

void CPeripheral::SetClimateCtrlStatus(int32_t row, uint8_t on_status) {
    climate_column(
        row, [&](uint32_t r) { db_set(obj::climateCtrlOnStatus.row(r), on_status, DB_NOTIFY); });
}
int32_t CPeripheral::GetClimateCtrlStatus(int32_t row) {
    return climate_read(obj::climateCtrlOnStatus, row);
}
// The store refuses 4 (test done) from a central system; the peripheral that
// ran the test writes it past that check.
void CPeripheral::SetClimateCtrlTest(int32_t row, uint8_t test) {
    climate_column(row, [&](uint32_t r) {
        db_set(obj::climateCtrlTestActivation.row(r), test, DB_NOTIFY | DB_NO_VALIDATE);
    });
}
int32_t CPeripheral::GetClimateCtrlTest(int32_t row) {
    return climate_read(obj::climateCtrlTestActivation, row);
}
void CPeripheral::SetClimateCtrlResult(int32_t row, const char* text) {
    climate_column(row, [&](uint32_t r) {
        db_set_text(obj::climateCtrlResultText.row(r), text ? text : "", DB_NOTIFY);
    });
}
void CPeripheral::SetClimateCtrlError(int32_t row, uint8_t error) {
    climate_column(row,
                   [&](uint32_t r) { db_set(obj::climateCtrlError.row(r), error, DB_NOTIFY); });
}
int32_t CPeripheral::GetClimateCtrlError(int32_t row) {
    return climate_read(obj::climateCtrlError, row);
}
void CPeripheral::SetClimateCtrlStatusText(int32_t row, const char* text) {
    climate_column(row, [&](uint32_t r) {
        db_set_text(obj::climateCtrlStatusText.row(r), text ? text : "", DB_NOTIFY);
    });
}

void CPeripheral::SetClimateFailure(int32_t row, const char* text) {
    if (!valid(row, CLIMATE_ROWS)) return;
    put_map_bit(obj::climateCtrlErrorMap, row, true);
    SetClimateCtrlStatusText(row, text);
    SetClimateCtrlError(row, CLIMATE_FAILED);
    short_error_set(SHORT_ERROR_CLIMATE);
    rebuild_zuduz_failures();
}

void CPeripheral::ClearClimateFailure(int32_t row, const char* text) {
    if (!valid(row, CLIMATE_ROWS)) return;
    put_map_bit(obj::climateCtrlErrorMap, row, false);
    SetClimateCtrlStatusText(row, text);
    SetClimateCtrlError(row, CLIMATE_OK);
    refresh_climate_bit();
    rebuild_zuduz_failures();
}

// --- fans -----------------------------------------------------------------------------

bool CPeripheral::AllocateFanBit(int32_t* bit) {
    if (*bit != NO_ROW) return true;
    if (g_fan_bits_out >= FAN_BITS) return false;
    *bit = int32_t(g_fan_bits_out++);
    put_map_bit(obj::fanFailures, *bit, false, true);
    return true;
}

// The freed bit takes no failure with it: 0x0400 goes when nothing failed.
void CPeripheral::FreeFanBit(int32_t* bit) {
    if (*bit == NO_ROW) return;
    if (g_fan_bits_out > 0) --g_fan_bits_out;
    put_map_bit(obj::fanFailures, *bit, false);
    refresh_climate_bit();
    *bit = NO_ROW;
}

// The first failure while nothing else has failed raises the fan trap. The
// bit and the row each apply on their own: a fan control has a row and no
// bit, a fan past the bits' end still has its row.
void CPeripheral::SetFanFailure(int32_t bit, int32_t row, const char* text) {
    const bool has_bit = valid(bit, FAN_BITS);
    if (!has_bit && !valid(row, CLIMATE_ROWS)) return;
    if (!short_error_is_set(SHORT_ERROR_CLIMATE)) raise_sign_trap(TRAP_FAN_FAILURE);
    if (has_bit) put_map_bit(obj::fanFailures, bit, true);
    short_error_set(SHORT_ERROR_CLIMATE);
    SetClimateFailure(row, text);
}

void CPeripheral::ClearFanFailure(int32_t bit, int32_t row, const char* text) {
    if (valid(bit, FAN_BITS)) {
        put_map_bit(obj::fanFailures, bit, false);
        refresh_climate_bit();
    }
    ClearClimateFailure(row, text);
}
