// The power status table (see power_supply_table.h).
#include "peripherals/power/power_supply_table.h"

#include "comm/agents/trap_raise.h"
#include "comm/snmp/snmp.h"
#include "runtime/console.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"
#include "store/short_error_status.h"

#include <cstring>

namespace {

const uint32_t SHORT_ERROR_STATUS_OID[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 7, 1, 0};
const unsigned MAP_BYTES = (CPowerSupplyTable::MAX_ROWS + 7) / 8;
const unsigned ZUDUZ_BYTES = 2;

// zuduzPowerStatus byte 1: the flag a failed row of each power type adds
// (types 0 and above 7 add none).
const uint8_t ZUDUZ_FLAG_OF_TYPE[] = {0, 0x01, 0x20, 0x10, 0x10, 0x02, 0x01, 0x01};

uint8_t zuduz_flag(uint32_t type) {
    return type < sizeof ZUDUZ_FLAG_OF_TYPE ? ZUDUZ_FLAG_OF_TYPE[type] : 0;
}

bool starts_with(const char* text, const char* prefix) {
    return text != nullptr && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// A module's communication error neither sends the power trap nor keeps it latched.
bool module_comm_error(const char* description, const char* status) {
    return starts_with(description, "MODULE") && starts_with(status, "COMM ERROR");
}

bool row_failed(unsigned row) {
    return db_get(obj::dmsPowerStatus.row(row)) != CPowerSupplyTable::STATUS_NO_ERROR;
}

bool row_trap_worthy(unsigned row) {
    return row_failed(row) && !module_comm_error(db_get_string(obj::dmsPowerDescription.row(row)),
                                                 db_get_string(obj::dmsPowerMfrStatus.row(row)));
}

void write_zuduz(uint8_t flags) {
    const uint8_t bytes[ZUDUZ_BYTES] = {0, flags};
    db_set_string(obj::zuduzPowerStatus, bytes, ZUDUZ_BYTES, DB_NOTIFY);
}

uint8_t zuduz_flags_now() {
    uint32_t length = 0;
    const char* bytes = db_get_string(obj::zuduzPowerStatus, &length);
    return bytes != nullptr && length >= ZUDUZ_BYTES ? uint8_t(bytes[1]) : 0;
}

// Sets or clears the row's bit of the stored failure map, kept at its stored length.
void put_map_bit(unsigned row, bool failed) {
    uint8_t map[MAP_BYTES] = {};
    uint32_t length = 0;
    const char* stored = db_get_string(obj::dmsPowerFailureStatusMap, &length);
    if (stored != nullptr) std::memcpy(map, stored, length < MAP_BYTES ? length : MAP_BYTES);
    if (row / 8 >= length) return;
    const uint8_t bit = uint8_t(1u << (row % 8));
    map[row / 8] = failed ? uint8_t(map[row / 8] | bit) : uint8_t(map[row / 8] & ~bit);
    db_set_string(obj::dmsPowerFailureStatusMap, map, length, DB_NOTIFY);
}

void raise_power_trap(uint32_t short_error_status) {
    trap_varbind status = {};
    std::memcpy(status.name, SHORT_ERROR_STATUS_OID, sizeof SHORT_ERROR_STATUS_OID);
    status.name_length = sizeof SHORT_ERROR_STATUS_OID / sizeof SHORT_ERROR_STATUS_OID[0];
    status.type = SNMP_INTEGER;
    status.value_length = sizeof short_error_status;
    std::memcpy(status.value, &short_error_status, sizeof short_error_status);
    raise_sign_trap(CPowerSupplyTable::TRAP_POWER_FAILURE, &status);
}

} // namespace

// The table's mutex for one operation; an operation that cannot take it
// prints its line and changes nothing.
class CPowerSupplyTable::locked {
  public:
    locked(CPowerSupplyTable& table, const char* operation) : table_(table) {
        held_ = table.mutex_created_ && os_mutex_get(&table.mutex_, OS_WAIT_FOREVER) == OS_OK;
        if (!held_) console_printf("CPowerSupplyTable::%s: tx_mutex_get failed\n", operation);
    }
    ~locked() {
        if (held_) os_mutex_put(&table_.mutex_);
    }
    explicit operator bool() const { return held_; }

  private:
    CPowerSupplyTable& table_;
    bool held_;
};

CPowerSupplyTable::~CPowerSupplyTable() {
    if (mutex_created_) os_mutex_delete(&mutex_);
}

void CPowerSupplyTable::CreateMutex() {
    if (!mutex_created_) {
        mutex_created_ = os_mutex_create(&mutex_, "Power Supply Table Mutex", 0) == OS_OK;
        if (!mutex_created_) console_printf("mutex_create failed CPowerSupplyTable\n");
    }
    trap_latch_ = 0;
}

CPowerSupplyTable::row_record* CPowerSupplyTable::Find(uint16_t handle) {
    for (unsigned i = 0; i < count_; ++i)
        if (records_[i].handle == handle) return &records_[i];
    return nullptr;
}

int32_t CPowerSupplyTable::RowOf(uint16_t handle) {
    locked lock(*this, "RowOf");
    const row_record* record = lock ? Find(handle) : nullptr;
    return record != nullptr ? int32_t(record->row) : -1;
}

unsigned CPowerSupplyTable::Count() {
    return count_;
}

uint8_t CPowerSupplyTable::RegisterPowerSupply(uint16_t* handle, const char* description,
                                               const char* manufacturer_status, uint8_t type) {
    locked lock(*this, "RegisterPowerSupply");
    if (!lock || handle == nullptr) return 0;
    const uint32_t rows = db_get(obj::dmsPowerNumRows);
    if (rows >= MAX_ROWS || count_ >= MAX_ROWS) return 0;
    if (++last_handle_ == 0) last_handle_ = 1;
    records_[count_++] = {last_handle_, uint16_t(rows)};
    *handle = last_handle_;
    db_set(obj::dmsPowerVoltage.row(rows), 0, DB_NOTIFY);
    db_set_text(obj::dmsPowerDescription.row(rows), description ? description : "", DB_NOTIFY);
    db_set_text(obj::dmsPowerMfrStatus.row(rows), manufacturer_status ? manufacturer_status : "",
                DB_NOTIFY);
    db_set(obj::dmsPowerStatus.row(rows), STATUS_NO_ERROR, DB_NOTIFY);
    db_set(obj::dmsPowerType.row(rows), type, DB_NOTIFY);
    db_set(obj::dmsPowerNumRows, rows + 1, DB_NOTIFY);
    RecomputeMaps();
    return 1;
}

void CPowerSupplyTable::MoveRow(unsigned from, unsigned to) {
    db_set_text(obj::dmsPowerDescription.row(to), db_get_string(obj::dmsPowerDescription.row(from)),
                DB_NOTIFY);
    db_set_text(obj::dmsPowerMfrStatus.row(to), db_get_string(obj::dmsPowerMfrStatus.row(from)),
                DB_NOTIFY);
    db_set(obj::dmsPowerStatus.row(to), db_get(obj::dmsPowerStatus.row(from)), DB_NOTIFY);
    db_set(obj::dmsPowerVoltage.row(to), db_get(obj::dmsPowerVoltage.row(from)), DB_NOTIFY);
    db_set(obj::dmsPowerType.row(to), db_get(obj::dmsPowerType.row(from)), DB_NOTIFY);
}

void CPowerSupplyTable::ResetRow(unsigned row) {
    db_set_text(obj::dmsPowerDescription.row(row), "", DB_NOTIFY);
    db_set_text(obj::dmsPowerMfrStatus.row(row), "", DB_NOTIFY);
    db_set(obj::dmsPowerVoltage.row(row), 0, DB_NOTIFY);
    db_set(obj::dmsPowerStatus.row(row), STATUS_NO_ERROR, DB_NOTIFY);
    db_set(obj::dmsPowerType.row(row), 0, DB_NOTIFY);
}

void CPowerSupplyTable::UnRegisterPowerSupply(uint16_t handle) {
    locked lock(*this, "UnRegisterPowerSupply");
    row_record* record = lock ? Find(handle) : nullptr;
    if (record == nullptr) return;
    const unsigned index = unsigned(record - records_);
    for (unsigned i = index + 1; i < count_; ++i) {
        MoveRow(records_[i].row, records_[i].row - 1u);
        --records_[i].row;
        records_[i - 1] = records_[i];
    }
    --count_;
    const uint32_t rows = db_get(obj::dmsPowerNumRows);
    if (rows > 0) {
        ResetRow(rows - 1);
        db_set(obj::dmsPowerNumRows, rows - 1, DB_NOTIFY);
    }
    RecomputeMaps();
}

// The failure map, the power bit of shortErrorStatus and zuduzPowerStatus
// from the rows; the trap latch is let go when no trap-worthy failure is left.
void CPowerSupplyTable::RecomputeMaps() {
    const unsigned rows = unsigned(db_get(obj::dmsPowerNumRows));
    uint8_t map[MAP_BYTES] = {};
    uint8_t flags = 0;
    bool any_failed = false, trap_worthy = false;
    for (unsigned row = 0; row < rows && row < MAX_ROWS; ++row) {
        if (!row_failed(row)) continue;
        map[row / 8] = uint8_t(map[row / 8] | 1u << (row % 8));
        flags = uint8_t(flags | zuduz_flag(db_get(obj::dmsPowerType.row(row))));
        any_failed = true;
        trap_worthy = trap_worthy || row_trap_worthy(row);
    }
    db_set_string(obj::dmsPowerFailureStatusMap, map, (rows + 7) / 8, DB_NOTIFY);
    short_error_put(SHORT_ERROR_POWER, any_failed);
    write_zuduz(flags);
    if (!trap_worthy) trap_latch_ = 0;
}

void CPowerSupplyTable::SetPowerSupplyError(uint16_t handle, uint8_t status,
                                            const char* manufacturer_status) {
    locked lock(*this, "SetPowerSupplyError");
    const row_record* record = lock ? Find(handle) : nullptr;
    if (record == nullptr) return;
    const unsigned row = record->row;
    const char* text = manufacturer_status ? manufacturer_status : "";
    put_map_bit(row, true);
    db_set_text(obj::dmsPowerMfrStatus.row(row), text, DB_NOTIFY);
    db_set(obj::dmsPowerStatus.row(row), status, DB_NOTIFY);
    if (!module_comm_error(db_get_string(obj::dmsPowerDescription.row(row)), text) &&
        !trap_latch_) {
        trap_latch_ = 1;
        raise_power_trap(db_get(obj::shortErrorStatus));
    }
    short_error_set(SHORT_ERROR_POWER);
    write_zuduz(uint8_t(zuduz_flags_now() | zuduz_flag(db_get(obj::dmsPowerType.row(row)))));
}

void CPowerSupplyTable::ClearPowerSupplyError(uint16_t handle, const char* manufacturer_status) {
    locked lock(*this, "ClearPowerSupplyError");
    const row_record* record = lock ? Find(handle) : nullptr;
    if (record == nullptr) return;
    const unsigned row = record->row;
    put_map_bit(row, false);
    db_set(obj::dmsPowerStatus.row(row), STATUS_NO_ERROR, DB_NOTIFY);
    db_set_text(obj::dmsPowerMfrStatus.row(row), manufacturer_status ? manufacturer_status : "",
                DB_NOTIFY);
    RecomputeMaps();
}

void CPowerSupplyTable::SetPowerSupplyVoltage(uint16_t handle, uint16_t voltage) {
    locked lock(*this, "SetPowerSupplyVoltage");
    const row_record* record = lock ? Find(handle) : nullptr;
    if (record != nullptr) db_set(obj::dmsPowerVoltage.row(record->row), voltage, DB_NOTIFY);
}

void CPowerSupplyTable::Reset(uint16_t last_handle) {
    locked lock(*this, "Reset");
    if (!lock) return;
    for (unsigned i = 0; i < count_; ++i)
        ResetRow(records_[i].row);
    count_ = 0;
    last_handle_ = last_handle;
    trap_latch_ = 0;
    db_set(obj::dmsPowerNumRows, 0, DB_NOTIFY);
    RecomputeMaps();
}

CPowerSupplyTable& ThePowerSupplyTable() {
    static CPowerSupplyTable table;
    return table;
}
