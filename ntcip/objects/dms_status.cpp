// Sign status objects (1.3.6.1.4.1.1206.4.2.3.9, outside the error group):
// the MULTI fields of the shown message, the speeds, the watchdog failure
// count, the open doors, the power figures and the temperature summary.
// The display, the start-up and the peripheral task keep them; a manager
// writes only the speed limit (kept across a restart) and the low-fuel
// threshold (volatile: back to 0 after a restart).
//
// With the special-feature bit 0x1000 set, a zone temperature exists only
// while one of its zone's sensors is live: each temperature row names its
// zone, and the zone names the sensor ids asked for, in order.
#include "ntcip/objects/sign_status.h"

#include "peripherals/peripheral_task.h"
#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint32_t SPEED_LIMIT_MASK = 0x00004000;
constexpr uint32_t FEATURE_HIDE_SENSORLESS = 0x1000; // halvSpecialFeatureSet
constexpr uint16_t MULTI_FIELDS = uint16_t(obj::statMultiFieldCode.rows);

// ---- temperature zones ---------------------------------------------------------------

enum zone : uint32_t { CABINET, AMBIENT, HOUSING };
constexpr uint32_t ZONE_SENSORS_MAX = 10;
struct zone_sensors {
    uint16_t ids[ZONE_SENSORS_MAX];
    uint32_t count;
};
// TEMPCONTROLLER, TEMPCABINET; TEMPAMBIENT; TEMPSIGN1 to 3, the housing
// sensors 160 to 165, TEMPSIGNMODS.
constexpr zone_sensors kZones[] = {
    {{10, 11}, 2},
    {{12}, 1},
    {{13, 14, 15, 160, 161, 162, 163, 164, 165, 16}, 10},
};

bool zone_has_live_sensor(const zone_sensors& z) {
    for (uint32_t i = 0; i < z.count; ++i)
        if (ThePeripheralTask().Exists(z.ids[i])) return true;
    return false;
}

int zone_instance(mib_request& request) {
    if (header_scalar(request.row, request.name, *request.length) != 0) return -1;
    if ((db_get(obj::halvSpecialFeatureSet) & FEATURE_HIDE_SENSORLESS) == 0) return 0;
    return zone_has_live_sensor(kZones[request.row.column.tag]) ? 0 : -1;
}

constexpr mib_hooks kZoneTemperature = {zone_instance, nullptr, nullptr};

constexpr mib_variable number(std::initializer_list<uint32_t> oid, const DbObject& o) {
    return scalar(oid, MIB_INTEGER, o);
}
constexpr mib_variable zone_temperature(uint32_t x, const DbObject& o, zone z) {
    return number({9, x, 0}, o)
        .srange(-128, 127)
        .as(mib_value::signed_int)
        .hooked(&kZoneTemperature, z);
}

constexpr auto kStatusRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9},
          {
              number({1, 0}, obj::statMultiFieldRows).range(0, 255),
              index_column({2, 1, 1, MIB_PLACEHOLDER}, MULTI_FIELDS).range(1, 255),
              column({2, 1, 2, MIB_PLACEHOLDER}, MIB_INTEGER, obj::statMultiFieldCode, MULTI_FIELDS)
                  .range(1, 255),
              column({2, 1, 3, MIB_PLACEHOLDER}, MIB_OCTETSTR, obj::statMultiCurrentFieldValue,
                     MULTI_FIELDS)
                  .len(0, 50),
              number({3, 0}, obj::dmsCurrentSpeed).range(0, 255),
              number({4, 0}, obj::dmsCurrentSpeedLimit).rw().range(0, 255).mask(SPEED_LIMIT_MASK),
              scalar({5, 0}, MIB_COUNTER, obj::watchdogFailureCount),
              number({6, 0}, obj::dmsStatDoorOpen).range(0, 255),
          });

constexpr auto kPowerTempRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9},
          {
              number({8, 1, 0}, obj::signVolts).range(0, 65535),
              number({8, 2, 0}, obj::lowFuelThreshold).rw().range(0, 100),
              number({8, 3, 0}, obj::fuelLevel).range(0, 100),
              number({8, 4, 0}, obj::engineRPM).range(0, 255),
              number({8, 5, 0}, obj::lineVolts).range(0, 255),
              number({8, 6, 0}, obj::powerSource).list({1, 2, 3, 4, 5, 6, 7}),
              zone_temperature(1, obj::tempMinCtrlCabinet, CABINET),
              zone_temperature(2, obj::tempMaxCtrlCabinet, CABINET),
              zone_temperature(3, obj::tempMinAmbient, AMBIENT),
              zone_temperature(4, obj::tempMaxAmbient, AMBIENT),
              zone_temperature(5, obj::tempMinSignHousing, HOUSING),
              zone_temperature(6, obj::tempMaxSignHousing, HOUSING),
              scalar({9, 7, 0}, MIB_OCTETSTR, obj::tempSensorWarningMap).len(0, 2),
              scalar({9, 8, 0}, MIB_OCTETSTR, obj::tempSensorCriticalMap).len(0, 2),
          });

} // namespace

const mib_table dms_status_table = table(kStatusRows);
const mib_table dms_power_temp_table = table(kPowerTempRows);
