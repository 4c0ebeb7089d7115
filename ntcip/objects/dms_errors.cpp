// Error status objects (1.3.6.1.4.1.1206.4.2.3.9.7): the error summary word,
// the test triggers, the failed pixels, the module pixel texts and the five
// component tables (power supplies, climate control, light, humidity and
// temperature sensors) with their row counts and status maps.
//
// The display and the peripherals keep every value; these rows read them.
// A manager writes only the three test triggers (what they start is the
// display's and the peripheral task's business: the pixel test on the
// store's change bit, the lamp test on its letter, the fan test by polling)
// and the climate-control test and type of a row.
//
// Every index of a name is bounded before it selects a row: a failed pixel
// is named by detection type 2 (pixel test) or 3 (message display) and an
// index up to the type's count, a component row by an index up to its
// table's count. Counts are taken at most as large as the rows the store
// keeps, so a wrong count never reaches into another table's bytes.
#include "ntcip/objects/sign_status.h"

#include "runtime/console.h"
#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint32_t TEST_MASK = 0x00100000;

uint32_t at_most(uint32_t value, uint32_t limit) {
    return value < limit ? value : limit;
}

// ---- failed pixels ------------------------------------------------------------------

constexpr uint32_t DETECTION_TYPES = 3;
constexpr uint32_t TYPE_PIXEL_TEST = 2; // type 1 (other) is never served
constexpr uint32_t TYPE_MESSAGE_DISPLAY = 3;
constexpr uint16_t FAILURES_PER_TYPE = obj::kPixelFailureRowsPerType;

// Failures recorded for a served detection type, at most what the store keeps.
uint32_t failures_of(uint32_t type) {
    const DbObject& count =
        type == TYPE_PIXEL_TEST ? obj::dmsPixelFailureTestRows : obj::dmsPixelFailureMessageRows;
    return at_most(db_get(count), FAILURES_PER_TYPE);
}

// A GETNEXT candidate moved to the next instance that can exist: detection
// type 1 on to the first pixel-test failure, past the last pixel-test
// failure on to the first message-display failure.
void step_to_served(uint32_t& type, uint32_t& index) {
    if (type < TYPE_PIXEL_TEST) {
        type = TYPE_PIXEL_TEST;
        index = 1;
    }
    if (type == TYPE_PIXEL_TEST && index > failures_of(TYPE_PIXEL_TEST)) {
        type = TYPE_MESSAGE_DISPLAY;
        index = 1;
    }
}

// Instance .type.index: the store row 500 * (type - 1) + (index - 1).
int pixel_failure_instance(mib_request& request) {
    const uint32_t L = request.row.oid_length; // type at L - 1, index at L
    uint32_t* name = request.name;
    if (request.mode == MIB_GETNEXT && *request.length == L + 1)
        step_to_served(name[L - 1], name[L]);
    const uint32_t maxima[2] = {DETECTION_TYPES, FAILURES_PER_TYPE};
    if (header_table(request, maxima, 2) != 0) return -1;
    const uint32_t type = name[L - 1], index = name[L];
    if (type < TYPE_PIXEL_TEST || index > failures_of(type)) return -1;
    return int(FAILURES_PER_TYPE * (type - 1) + index - 1);
}

bool read_detection_type(mib_request& request, uint32_t row) {
    mib_answer_integer(request, row / FAILURES_PER_TYPE + 1);
    return true;
}

bool read_failure_index(mib_request& request, uint32_t row) {
    mib_answer_integer(request, row % FAILURES_PER_TYPE + 1);
    return true;
}

bool read_failure_rows(mib_request& request, uint32_t) {
    mib_answer_integer(request, failures_of(TYPE_PIXEL_TEST) + failures_of(TYPE_MESSAGE_DISPLAY));
    return true;
}

bool read_pixel_status_index(mib_request& request, uint32_t row) {
    console_printf("inside var_pixelFailureEntry: DMSPIXELSTATUSINDEX\n");
    return mib_read_index(request, row);
}

constexpr mib_hooks kFailure = {pixel_failure_instance, nullptr, nullptr};
constexpr mib_hooks kDetectionType = {pixel_failure_instance, read_detection_type, nullptr};
constexpr mib_hooks kFailureIndex = {pixel_failure_instance, read_failure_index, nullptr};
constexpr mib_hooks kFailureRows = {nullptr, read_failure_rows, nullptr};
constexpr mib_hooks kPixelStatusIndex = {nullptr, read_pixel_status_index, nullptr};

constexpr mib_variable failure(uint32_t c, const DbObject& o, const mib_hooks* hooks) {
    return column2({3, 1, c, MIB_PLACEHOLDER}, MIB_INTEGER, o, DETECTION_TYPES, FAILURES_PER_TYPE)
        .hooked(hooks);
}

// ---- component tables -----------------------------------------------------------------

// Each table's row count as the peripherals keep it and the rows the store
// reserves; a row's tag names its table.
enum component : uint32_t { POWER, CLIMATE, LIGHT, HUMIDITY, TEMPERATURE };
struct component_table {
    DbObject count;
    uint16_t storage;
};
constexpr component_table kComponents[] = {
    {obj::dmsPowerNumRows, obj::kPowerRows},
    {obj::dmsClimateCtrlNumRows, obj::kClimateCtrlRows},
    {obj::dmsLightSensorNumRows, obj::kSensorRows},
    {obj::dmsHumiditySensorNumRows, obj::kSensorRows},
    {obj::dmsTempSensorNumRows, obj::kSensorRows},
};

// Rows 1 .. the registered count exist.
int component_instance(mib_request& request) {
    const component_table& table = kComponents[request.row.column.tag];
    if (header_generic(request, at_most(db_get(table.count), table.storage)) != 0) return -1;
    return int(request.name[request.row.oid_length - 1] - 1);
}

constexpr mib_hooks kComponentRow = {component_instance, nullptr, nullptr};
constexpr mib_hooks kComponentIndex = {component_instance, mib_read_index, nullptr};

constexpr mib_variable part(uint32_t table, uint32_t c, uint8_t type, const DbObject& o,
                            component which) {
    return column({table, 1, c, MIB_PLACEHOLDER}, type, o, kComponents[which].storage)
        .hooked(&kComponentRow, which);
}
// The index column answers the index; `o` is a column of the same table.
constexpr mib_variable part_index(uint32_t table, const DbObject& o, component which) {
    return part(table, 1, MIB_INTEGER, o, which).hooked(&kComponentIndex, which);
}
constexpr mib_variable temperature(uint32_t c, const DbObject& o) {
    return part(36, c, MIB_INTEGER, o, TEMPERATURE).srange(-128, 127).as(mib_value::signed_int);
}

constexpr mib_variable number(uint32_t x, const DbObject& o) {
    return scalar({x, 0}, MIB_INTEGER, o);
}
constexpr mib_variable octets(uint32_t x, const DbObject& o) {
    return scalar({x, 0}, MIB_OCTETSTR, o);
}
constexpr mib_variable trigger(uint32_t x, const DbObject& o) {
    return number(x, o).rw().mask(TEST_MASK);
}

constexpr auto kRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 7},
    {
        number(1, obj::shortErrorStatus).range(0, 65535),
        number(2, obj::dmsPixelFailureTestRows).range(0, 65535).hooked(&kFailureRows),
        failure(1, obj::pixelFailureStatus, &kDetectionType).list({1, 2, 3}),
        failure(2, obj::pixelFailureStatus, &kFailureIndex).range(1, 65535),
        failure(3, obj::pixelFailureXLocation, &kFailure).range(1, 65535),
        failure(4, obj::pixelFailureYLocation, &kFailure).range(1, 65535),
        failure(5, obj::pixelFailureStatus, &kFailure).range(0, 255),
        trigger(4, obj::pixelTestActivation).list({1, 2, 3, 4}),
        octets(5, obj::lampFailureStuckOn).len(0, 255),
        octets(6, obj::lampFailureStuckOff).len(0, 255),
        trigger(7, obj::lampTestActivation).list({1, 2, 3}),
        octets(8, obj::fanFailures).len(0, 4),
        trigger(9, obj::fanTestActivation).list({1, 2, 3}),
        number(10, obj::controllerErrorStatus).range(0, 255),
        octets(11, obj::dmsPowerFailureStatusMap),
        number(12, obj::dmsPowerNumRows).range(0, 512),
        part_index(13, obj::dmsPowerStatus, POWER).range(1, 512),
        part(13, 2, MIB_OCTETSTR, obj::dmsPowerDescription, POWER),
        part(13, 3, MIB_OCTETSTR, obj::dmsPowerMfrStatus, POWER).len(0, 64),
        part(13, 4, MIB_INTEGER, obj::dmsPowerStatus, POWER).list({2, 3, 4, 5}),
        part(13, 5, MIB_INTEGER, obj::dmsPowerVoltage, POWER).range(0, 65535),
        part(13, 6, MIB_INTEGER, obj::dmsPowerType, POWER).list({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
        octets(14, obj::dmsClimateCtrlStatusMap).len(0, 64),
        number(16, obj::dmsClimateCtrlNumRows).range(0, 512),
        part_index(17, obj::dmsClimateCtrlErrorStatus, CLIMATE).range(1, 512),
        part(17, 2, MIB_OCTETSTR, obj::dmsClimateCtrlDescription, CLIMATE),
        part(17, 3, MIB_OCTETSTR, obj::dmsClimateCtrlMfrStatus, CLIMATE).len(0, 64),
        part(17, 4, MIB_INTEGER, obj::dmsClimateCtrlErrorStatus, CLIMATE).list({2, 3}),
        part(17, 5, MIB_INTEGER, obj::dmsClimateCtrlOnStatus, CLIMATE).range(0, 1),
        part(17, 6, MIB_INTEGER, obj::dmsClimateCtrlTestActivation, CLIMATE)
            .rw()
            .list({2, 3, 4})
            .mask(TEST_MASK)
            .writes(mib_write::report),
        part(17, 7, MIB_OCTETSTR, obj::dmsClimateCtrlAbortReason, CLIMATE).len(0, 64),
        part(17, 8, MIB_INTEGER, obj::dmsClimateCtrlType, CLIMATE).rw().range(1, 9).mask(TEST_MASK),
        column({18, 1, 1, MIB_PLACEHOLDER}, MIB_INTEGER, obj::dmsPixelStatus,
               uint16_t(obj::dmsPixelStatus.rows))
            .range(1, 255)
            .hooked(&kPixelStatusIndex),
        column({18, 1, 2, MIB_PLACEHOLDER}, MIB_OCTETSTR, obj::dmsPixelStatus,
               uint16_t(obj::dmsPixelStatus.rows))
            .len(1, 400),
        number(19, obj::dmsPixelFailureTestRows).range(0, 65535),
        number(20, obj::dmsPixelFailureMessageRows).range(0, 65535),
        octets(28, obj::dmsLightSensorStatusMap).len(0, 2),
        number(29, obj::dmsLightSensorNumRows).range(0, 16),
        part_index(30, obj::dmsLightSensorStatus, LIGHT).range(1, 16),
        part(30, 2, MIB_OCTETSTR, obj::dmsLightSensorDescription, LIGHT),
        part(30, 3, MIB_INTEGER, obj::dmsLightSensorCurrentReading, LIGHT).range(1, 65535),
        part(30, 4, MIB_INTEGER, obj::dmsLightSensorStatus, LIGHT).range(1, 3),
        octets(31, obj::dmsHumiditySensorStatusMap).len(0, 2),
        number(32, obj::dmsHumiditySensorNumRows).range(0, 16),
        part_index(33, obj::dmsHumiditySensorStatus, HUMIDITY).range(1, 16),
        part(33, 2, MIB_OCTETSTR, obj::dmsHumiditySensorDescription, HUMIDITY),
        part(33, 3, MIB_INTEGER, obj::dmsHumiditySensorCurrentReading, HUMIDITY).range(1, 100),
        part(33, 4, MIB_INTEGER, obj::dmsHumiditySensorStatus, HUMIDITY).range(1, 3),
        octets(34, obj::dmsTempSensorStatusMap).len(0, 2),
        number(35, obj::dmsTempSensorNumRows).range(0, 16),
        part_index(36, obj::dmsTempSensorStatus, TEMPERATURE).range(1, 16),
        part(36, 2, MIB_OCTETSTR, obj::dmsTempSensorDescription, TEMPERATURE).len(0, 64),
        temperature(3, obj::dmsTempSensorCurrentReading),
        temperature(4, obj::dmsTempSensorHighWarningTemperature),
        temperature(5, obj::dmsTempSensorLowWarningTemperature),
        temperature(6, obj::dmsTempSensorHighCriticalTemperature),
        temperature(7, obj::dmsTempSensorLowCriticalTemperature),
        part(36, 8, MIB_INTEGER, obj::dmsTempSensorStatus, TEMPERATURE).range(1, 3),
        number(37, obj::statError37).srange(-127, 128).as(mib_value::signed_int),
        number(38, obj::statError38).srange(-127, 128).as(mib_value::signed_int),
    });

} // namespace

const mib_table dms_error_table = table(kRows);
