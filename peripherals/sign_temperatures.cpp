// The sign's temperatures, over-temperature protection and photocell level
// (see sign_temperatures.h).
#include "peripherals/sign_temperatures.h"

#include "comm/agents/trap_raise.h"
#include "comm/snmp/snmp.h"
#include "display/message_codes.h"
#include "peripherals/activation_rows.h"
#include "peripherals/sensors/light.h"
#include "peripherals/sensors/temperature.h"
#include "peripherals/temperature_limit.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t FEATURE_NO_PROTECTION = 0x80; // halvSpecialFeatureSet
const uint32_t PRIORITY_OVERRIDE = 200;      // a message this urgent lifts the protection
const uint8_t LIMIT_FULL = 100, LIMIT_REDUCED = 50, LIMIT_BLANK = 0, LIMIT_KEEP = 255;

// The blank request of activation row 2.
const uint8_t BLANK_REQUEST_STATE = 1, BLANK_REQUEST_SOURCE = 5;
const uint16_t BLANK_DURATION = 65535;
const uint8_t BLANK_PRIORITY = 255, BLANK_MEMORY_TYPE = 7;
const uint16_t BLANK_NUMBER = 1, BLANK_CRC = 0;
const uint8_t BLANK_SOURCE_ADDRESS[4] = {0, 0, 0, 0};

const uint32_t TEMP_MAX_SIGN_HOUSING_OID[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 6, 0};

const uint16_t HOUSING_SENSORS[] = {TEMP_SIGN1, TEMP_SIGN2, TEMP_SIGN3};

// Light sensors in the order they are read, with the one-byte object each
// level is shown in.
struct LightObject {
    uint16_t id;
    DbObject level;
};
const LightObject LIGHT_OBJECTS[] = {
    {LIGHT_REAR, obj::quorvelObj1_2_7},
    {LIGHT_FRONT, obj::quorvelObj1_2_6},
    {LIGHT_AMBIENT, obj::quorvelObj1_2_5},
};
const uint16_t ONE_BYTE_MAX = 255;

// Writes (with notification) only a value that changed, so that a steady
// reading does not wake the display's brightness update every pass.
void put(const DbObject& object, uint32_t value) {
    if (db_get(object) != value) db_set(object, value, DB_NOTIFY);
}

void put_signed(const DbObject& object, int value) {
    put(object, uint8_t(int8_t(value)));
}

void put_pair(const DbObject& minimum, const DbObject& maximum, int low, int high) {
    put_signed(minimum, low);
    put_signed(maximum, high);
}

// The live peripheral `id` when it is a T, or null.
template <class T> T* live(pl_mediator& registry, uint16_t id) {
    CPeripheral* p = nullptr;
    return registry.Find(id, &p) ? dynamic_cast<T*>(p) : nullptr;
}

// A live temperature sensor that is VALID. -> false otherwise.
bool valid_temperature(pl_mediator& registry, uint16_t id, int* degrees) {
    CTemperature* sensor = live<CTemperature>(registry, id);
    if (sensor == nullptr || !sensor->IsValid()) return false;
    *degrees = sensor->Temperature();
    return true;
}

void raise_protection_trap(uint32_t specific, int8_t housing_max) {
    trap_varbind temperature = {};
    std::memcpy(temperature.name, TEMP_MAX_SIGN_HOUSING_OID, sizeof TEMP_MAX_SIGN_HOUSING_OID);
    temperature.name_length =
        sizeof TEMP_MAX_SIGN_HOUSING_OID / sizeof TEMP_MAX_SIGN_HOUSING_OID[0];
    temperature.type = SNMP_INTEGER;
    const int32_t value = housing_max;
    temperature.value_length = sizeof value;
    std::memcpy(temperature.value, &value, sizeof value);
    raise_sign_trap(specific, &temperature);
}

} // namespace

// One rule of the protection: in state `from`, when the condition holds,
// raise `trap` (0 none), act on the blank request, set the limit, go `to`.
// The first rule of the state that holds applies; none: no change.
struct CSignTemperatures::Step {
    enum Condition : uint8_t { URGENT_MESSAGE, AT_OR_ABOVE, AT_OR_BELOW };
    enum Blank : uint8_t { BLANK_KEEP, BLANK_REQUEST, BLANK_CLEAR };
    uint8_t from;
    Condition when;
    int8_t below_shut_off; // the threshold is S minus this (signed byte)
    uint32_t trap;
    Blank blank;
    uint8_t limit;
    uint8_t to;
};

const CSignTemperatures::Step CSignTemperatures::STEPS[] = {
    {STATE_NORMAL, Step::URGENT_MESSAGE, 0, 0, Step::BLANK_KEEP, LIMIT_KEEP, STATE_NORMAL},
    {STATE_NORMAL, Step::AT_OR_ABOVE, 3, 0, Step::BLANK_KEEP, LIMIT_REDUCED, STATE_REDUCED},
    {STATE_REDUCED, Step::URGENT_MESSAGE, 0, 0, Step::BLANK_KEEP, LIMIT_FULL, STATE_NORMAL},
    {STATE_REDUCED, Step::AT_OR_ABOVE, 0, TRAP_OVER_TEMPERATURE_BLANK, Step::BLANK_REQUEST,
     LIMIT_BLANK, STATE_BLANKED},
    {STATE_REDUCED, Step::AT_OR_BELOW, 6, 0, Step::BLANK_KEEP, LIMIT_FULL, STATE_NORMAL},
    {STATE_BLANKED, Step::URGENT_MESSAGE, 0, 0, Step::BLANK_CLEAR, LIMIT_FULL, STATE_NORMAL},
    {STATE_BLANKED, Step::AT_OR_BELOW, 3, TRAP_OVER_TEMPERATURE_CLEARED, Step::BLANK_CLEAR,
     LIMIT_REDUCED, STATE_REDUCED},
};

void CSignTemperatures::EvaluateTemperatures(pl_mediator& registry) {
    int low = 0, high = 0, degrees = 0;
    bool any = false;
    for (uint16_t id : HOUSING_SENSORS) {
        if (!valid_temperature(registry, id, &degrees)) continue;
        low = any && low < degrees ? low : degrees;
        high = any && high > degrees ? high : degrees;
        any = true;
    }
    put_pair(obj::tempMinSignHousing, obj::tempMaxSignHousing, low, high);
    housing_valid_ = any;

    OverTemperatureControl();

    degrees = 0;
    if (!valid_temperature(registry, TEMP_CABINET, &degrees))
        valid_temperature(registry, TEMP_CONTROLLER, &degrees);
    put_pair(obj::tempMinCtrlCabinet, obj::tempMaxCtrlCabinet, degrees, degrees);

    if (CTemperature* ambient = live<CTemperature>(registry, TEMP_AMBIENT)) {
        degrees = ambient->IsValid() ? ambient->Temperature() : 0;
        put_pair(obj::tempMinAmbient, obj::tempMaxAmbient, degrees, degrees);
    }
}

void CSignTemperatures::OverTemperatureControl() {
    const int8_t shut_off = int8_t(db_get(obj::halvShutOffTemp));
    if (state_ > STATE_BLANKED) state_ = STATE_NORMAL;
    if (shut_off == 0 || (db_get(obj::halvSpecialFeatureSet) & FEATURE_NO_PROTECTION)) {
        ReleaseProtection();
        return;
    }
    const int8_t housing_max = int8_t(db_get(obj::tempMaxSignHousing));
    const bool urgent = db_get(obj::currentBufferMsgRunTimePriority) >= PRIORITY_OVERRIDE;
    for (const Step& step : STEPS) {
        if (step.from != state_) continue;
        // With no housing sensor valid the temperature is unknown (its
        // objects read 0): the state stays as it was.
        if (step.when != Step::URGENT_MESSAGE && !housing_valid_) continue;
        const int8_t threshold = int8_t(shut_off - step.below_shut_off);
        const bool holds = step.when == Step::URGENT_MESSAGE ? urgent
                           : step.when == Step::AT_OR_ABOVE  ? housing_max >= threshold
                                                             : housing_max <= threshold;
        if (!holds) continue;
        Take(step, housing_max);
        return;
    }
}

// Protection switched off: its blank and its dimming go, without a trap.
void CSignTemperatures::ReleaseProtection() {
    if (state_ == STATE_NORMAL) return;
    if (state_ == STATE_BLANKED) ClearTemperatureBlank();
    set_temperature_brightness_limit(LIMIT_FULL);
    state_ = STATE_NORMAL;
}

void CSignTemperatures::Take(const Step& step, int8_t housing_max) {
    if (step.trap != 0) raise_protection_trap(step.trap, housing_max);
    if (step.blank == Step::BLANK_REQUEST) RequestTemperatureBlank();
    if (step.blank == Step::BLANK_CLEAR) ClearTemperatureBlank();
    if (step.limit != LIMIT_KEEP) set_temperature_brightness_limit(step.limit);
    state_ = step.to;
}

void CSignTemperatures::RequestTemperatureBlank() {
    CMsgActivationCode blank;
    blank.Set(BLANK_DURATION, BLANK_PRIORITY, BLANK_MEMORY_TYPE, BLANK_NUMBER, BLANK_CRC,
              BLANK_SOURCE_ADDRESS);
    write_activation_row(ACTIVATION_ROW_OVER_TEMPERATURE, blank.Encoded(), BLANK_REQUEST_STATE,
                         BLANK_REQUEST_SOURCE);
}

void CSignTemperatures::ClearTemperatureBlank() {
    clear_activation_row(ACTIVATION_ROW_OVER_TEMPERATURE);
}

// A level is shown in its one-byte object capped at 255, so that a bright
// reading never reads as a dark one. The photocell level is written when the
// level found changes (it starts at 0, as the object does).
void CSignTemperatures::UpdatePhotocellLevel(pl_mediator& registry) {
    uint16_t largest = 0;
    for (const LightObject& l : LIGHT_OBJECTS) {
        CLight* sensor = live<CLight>(registry, l.id);
        if (sensor == nullptr || !sensor->IsValid()) continue;
        const uint16_t level = sensor->GetLevel();
        put(l.level, level < ONE_BYTE_MAX ? level : ONE_BYTE_MAX);
        if (level > largest) largest = level;
    }
    if (largest == photocell_level_) return;
    photocell_level_ = largest;
    db_set(obj::dmsIllumPhotocellLevelStatus, largest, DB_NOTIFY);
}
