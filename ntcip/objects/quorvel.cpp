// Private subtree quorvel (1.3.6.1.4.1.1206.3.16.1): configuration (1.1)
// and status (1.2). Most objects are plain storage in the volatile image;
// the rest are views of the sign's own objects:
//   - 1.1.1 the shut-off temperature (a store refusal answers badValue),
//     1.1.3 the failed-pixel limit, 1.1.4 the number of power supplies;
//   - 1.1.9 the restart command: 1 asks the display to clear the stored
//     data (memory-clear command 3, which restarts the sign), 2 to 4 ask
//     for a plain restart (dmsSWReset 1); it reads dmsSWReset;
//   - 1.2.1 and 1.2.2 the readings of temperature sensors 2 and 3 (signed),
//     1.2.3 and 1.2.4 climate-control units 1 and 2 inverted (1 while off),
//     1.2.13 the clock's daylight-saving flag (1 or 2) as 0 or 1, 1.2.9.1.5
//     1 while the power supply reports no error.
// Table 1.2.8 has three indexes (6 x 5 x 5); its handler steps a GETNEXT
// through them (last index first, then the next column), so that a walk
// always moves past the name it gave.
#include "ntcip/objects/customer.h"

#include "ntcip/objects/sign_groups.h"
#include "store/database.h"

namespace {

using namespace mibdef;

// ---- the restart command ------------------------------------------------------------

constexpr uint32_t CLEAR_AND_RESTART = 1;
constexpr uint32_t MEMORY_CLEAR_STORED_DATA = 3; // halvObj2_3: delete the stored data, restart
constexpr uint32_t RESTART = 1;                  // dmsSWReset

int write_restart(mib_request& request, uint32_t) {
    const uint32_t flags = request.ctx.write_flags;
    if (request.ctx.set_value.integer != CLEAR_AND_RESTART)
        return db_set(obj::dmsSWReset, RESTART, flags);
    const int result = db_set(obj::halvObj2_3, MEMORY_CLEAR_STORED_DATA, flags);
    if (result == DB_OK) sign_control_clear_memory();
    return result;
}

constexpr mib_hooks kRestart = {nullptr, nullptr, write_restart};

// ---- indexes of a row ------------------------------------------------------------------

uint32_t maximum(const mib_column& c, uint32_t k) {
    return k == 0 ? c.max1 : k == 1 ? c.max2 : c.max3;
}

// Index k (from 0) of flat row `row` of a table of `n` indexes.
uint32_t index_of_row(const mib_column& c, uint32_t n, uint32_t row, uint32_t k) {
    for (uint32_t later = n - 1; later > k; --later)
        row /= maximum(c, later);
    return row % maximum(c, k) + 1;
}

bool read_index(mib_request& request, uint32_t row) {
    mib_answer_integer(request, index_of_row(request.row.column, request.row.index_count, row,
                                             request.row.column.tag));
    return true;
}

constexpr mib_hooks kIndexOfRow = {nullptr, read_index, nullptr};

// ---- three indexes ------------------------------------------------------------------------

constexpr uint32_t CUBE_INDEXES = 3;

// The flat row of indexes `idx` (each 1..its maximum), or -1.
int cube_row(const mib_column& c, const uint32_t* idx) {
    uint32_t row = 0;
    for (uint32_t k = 0; k < CUBE_INDEXES; ++k) {
        if (idx[k] < 1 || idx[k] > maximum(c, k)) return -1;
        row = row * maximum(c, k) + (idx[k] - 1);
    }
    return int(row);
}

// GETNEXT: the first instance of the column after the name, written into
// the name; -1 when the name lies at or past the column's last instance.
int next_cube_instance(mib_request& request) {
    const mib_column& c = request.row.column;
    const uint32_t L = request.row.oid_length - 1u; // the column, without the placeholder
    const uint32_t rows = uint32_t(c.max1) * c.max2 * c.max3;
    uint32_t candidate[MIB_ROW_OID_MAX + CUBE_INDEXES];
    for (uint32_t i = 0; i < L; ++i)
        candidate[i] = request.row.oid[i];
    for (uint32_t row = 0; row < rows; ++row) {
        for (uint32_t k = 0; k < CUBE_INDEXES; ++k)
            candidate[L + k] = index_of_row(c, CUBE_INDEXES, row, k);
        if (snmp_oid_compare(candidate, L + CUBE_INDEXES, request.name, *request.length) > 0) {
            for (uint32_t i = 0; i < L + CUBE_INDEXES; ++i)
                request.name[i] = candidate[i];
            *request.length = L + CUBE_INDEXES;
            return int(row);
        }
    }
    return -1;
}

int cube_instance(mib_request& request) {
    if (request.mode == MIB_GETNEXT) return next_cube_instance(request);
    const uint32_t L = request.row.oid_length - 1u;
    if (*request.length != L + CUBE_INDEXES ||
        snmp_oid_ncompare(request.name, *request.length, request.row.oid, L, L) != 0)
        return -1;
    return cube_row(request.row.column, request.name + L);
}

constexpr mib_hooks kCube = {cube_instance, nullptr, nullptr};
constexpr mib_hooks kCubeIndex = {cube_instance, read_index, nullptr};

// ---- row builders ---------------------------------------------------------------------------

constexpr mib_variable number(std::initializer_list<uint32_t> oid, const DbObject& o) {
    return scalar(oid, MIB_INTEGER, o);
}
constexpr mib_variable octets(std::initializer_list<uint32_t> oid, const DbObject& o) {
    return scalar(oid, MIB_OCTETSTR, o);
}
constexpr mib_variable byte_setting(uint32_t x, const DbObject& o) {
    return number({1, 1, x, 0}, o).rw().range(0, 255);
}
constexpr mib_variable mapped(std::initializer_list<uint32_t> oid, const DbObject& o,
                              customer_map map) {
    return number(oid, o).range(0, 1).hooked(&customer_map_hooks, map);
}
// A column of the five-row table 1.branch.table.
constexpr mib_variable in_table_5(uint32_t branch, uint32_t table, uint32_t c, uint8_t type,
                                  const DbObject& o) {
    return column({1, branch, table, 1, c, MIB_PLACEHOLDER}, type, o, 5);
}
constexpr mib_variable index_of_5(uint32_t branch, uint32_t table) {
    return index_column({1, branch, table, 1, 1, MIB_PLACEHOLDER}, 5);
}
// A column of table 1.2.8 (indexes 6 x 5 x 5 over the 150 rows of `o`).
constexpr mib_variable in_cube(uint32_t c, uint8_t type, const DbObject& o,
                               const mib_hooks* hooks = &kCube, uint32_t tag = 0) {
    mib_variable v = make({1, 2, 8, 1, c, MIB_PLACEHOLDER}, type, o, mib_index::custom,
                          CUBE_INDEXES, 6, 5, mib_formula::flat)
                         .hooked(hooks, tag);
    v.column.max3 = 5;
    return v;
}
constexpr mib_variable cube_index(uint32_t c, uint32_t k) {
    return in_cube(c, MIB_INTEGER, obj::quorvelObj1_2_8_1_4, &kCubeIndex, k);
}
constexpr mib_variable in_grid(uint32_t c, uint8_t type, const DbObject& o) {
    return column2({1, 2, 11, 1, c, MIB_PLACEHOLDER}, type, o, 5, 5);
}
constexpr mib_variable grid_index(uint32_t c, uint32_t k) {
    return in_grid(c, MIB_INTEGER, obj::quorvelObj1_2_11_1_3).hooked(&kIndexOfRow, k);
}

#define QUORVEL 1, 3, 6, 1, 4, 1, 1206, 3, 16

constexpr auto kConfigRows = under(
    {QUORVEL},
    {
        number({1, 1, 1, 0}, obj::halvShutOffTemp).rw().range(0, 255).writes(mib_write::report),
        number({1, 1, 2, 0}, obj::quorvelObj1_1_2).rw().range(0, 1),
        number({1, 1, 3, 0}, obj::fdotMaxNumPixelFailure).rw().range(0, 65535),
        number({1, 1, 4, 0}, obj::dmsPowerNumRows).range(1, 255),
        index_of_5(1, 5).range(1, 255),
        in_table_5(1, 5, 2, MIB_INTEGER, obj::quorvelObj1_1_5_2).range(1, 255),
        in_table_5(1, 5, 3, MIB_INTEGER, obj::quorvelObj1_1_5_3).range(1, 255),
        number({1, 1, 6, 0}, obj::quorvelObj1_1_6).rw().range(0, 99),
        byte_setting(7, obj::quorvelObj1_1_7),
        byte_setting(8, obj::quorvelObj1_1_8),
        number({1, 1, 9, 0}, obj::dmsSWReset).rw().range(1, 4).hooked(&kRestart),
        octets({1, 1, 10, 0}, obj::quorvelObj1_1_10).rw().len(0, 4),
        byte_setting(11, obj::quorvelObj1_1_11),
        byte_setting(12, obj::quorvelObj1_1_12),
        byte_setting(13, obj::quorvelObj1_1_13),
        byte_setting(14, obj::quorvelObj1_1_14),
        byte_setting(15, obj::quorvelObj1_1_15),
        byte_setting(16, obj::quorvelObj1_1_16),
        byte_setting(17, obj::quorvelObj1_1_17),
        byte_setting(18, obj::quorvelObj1_1_18),
        number({1, 1, 19, 0}, obj::quorvelObj1_1_19).rw().range(0, 1),
        number({1, 1, 20, 1, 0}, obj::quorvelObj1_1_20_1).rw().range(0, 1),
        number({1, 1, 20, 2, 0}, obj::quorvelObj1_1_20_2).rw().range(0, 65535),
        octets({1, 1, 20, 3, 0}, obj::quorvelObj1_1_20_3).rw().len(0, 16),
        octets({1, 1, 20, 4, 0}, obj::quorvelObj1_1_20_4).rw().len(0, 16),
        octets({1, 1, 20, 5, 0}, obj::quorvelObj1_1_20_5).rw().len(0, 15),
        number({1, 1, 20, 6, 0}, obj::quorvelObj1_1_20_6).rw().range(0, 255),
        number({1, 1, 20, 7, 0}, obj::quorvelObj1_1_20_7).range(0, 255),
        number({1, 1, 20, 8, 0}, obj::quorvelObj1_1_20_8).rw().range(0, 255),
        number({1, 1, 20, 9, 0}, obj::quorvelObj1_1_20_9).rw().range(0, 255),
        number({1, 1, 21, 0}, obj::quorvelObj1_1_21).rw().range(0, 1),
        byte_setting(22, obj::quorvelObj1_1_22),
    });

constexpr mib_variable temperature(uint32_t x, uint32_t sensor_row) {
    return number({1, 2, x, 0}, obj::dmsTempSensorCurrentReading.row(sensor_row))
        .srange(-128, 127)
        .as(mib_value::signed_int);
}
constexpr mib_variable status_byte(uint32_t x, const DbObject& o) {
    return number({1, 2, x, 0}, o).range(0, 255);
}

constexpr auto kStatusRows =
    under({QUORVEL}, {
                         temperature(1, 1),
                         temperature(2, 2),
                         mapped({1, 2, 3, 0}, obj::dmsClimateCtrlOnStatus.row(0), MAP_INVERTED),
                         mapped({1, 2, 4, 0}, obj::dmsClimateCtrlOnStatus.row(1), MAP_INVERTED),
                         status_byte(5, obj::quorvelObj1_2_5),
                         status_byte(6, obj::quorvelObj1_2_6),
                         status_byte(7, obj::quorvelObj1_2_7),
                         cube_index(1, 0).range(1, 6),
                         cube_index(2, 1).range(0, 255),
                         cube_index(3, 2).range(0, 255),
                         in_cube(4, MIB_INTEGER, obj::quorvelObj1_2_8_1_4).range(0, 4),
                         in_cube(5, MIB_INTEGER, obj::quorvelObj1_2_8_1_5).range(0, 255),
                         in_cube(6, MIB_OCTETSTR, obj::quorvelObj1_2_8_1_6).len(0, 255),
                         index_of_5(2, 9).range(1, 255),
                         in_table_5(2, 9, 2, MIB_INTEGER, obj::quorvelObj1_2_9_1_2).range(0, 255),
                         in_table_5(2, 9, 3, MIB_INTEGER, obj::quorvelObj1_2_9_1_3).range(0, 255),
                         in_table_5(2, 9, 4, MIB_INTEGER, obj::quorvelObj1_2_9_1_4).range(0, 255),
                         in_table_5(2, 9, 5, MIB_INTEGER, obj::dmsPowerStatus)
                             .range(0, 2)
                             .hooked(&customer_map_hooks, MAP_SUPPLY_OK),
                         in_table_5(2, 9, 6, MIB_INTEGER, obj::quorvelObj1_2_9_1_6).range(0, 255),
                         octets({1, 2, 10, 0}, obj::quorvelObj1_2_10).rw().len(0, 255),
                         grid_index(1, 0).range(1, 255),
                         grid_index(2, 1).range(1, 255),
                         in_grid(3, MIB_OCTETSTR, obj::quorvelObj1_2_11_1_3),
                         status_byte(12, obj::quorvelObj1_2_12),
                         mapped({1, 2, 13, 0}, obj::quorvelObj1_2_13, MAP_DAYLIGHT),
                         number({1, 2, 14, 0}, obj::quorvelObj1_2_14).range(0, 6),
                         octets({1, 2, 15, 0}, obj::quorvelObj1_2_15).len(0, 255),
                         index_of_5(2, 16).range(0, 255),
                         in_table_5(2, 16, 2, MIB_OCTETSTR, obj::quorvelObj1_2_16_1_2),
                         status_byte(17, obj::quorvelObj1_2_17),
                         status_byte(18, obj::quorvelObj1_2_18),
                         status_byte(19, obj::quorvelObj1_2_19),
                         octets({1, 2, 20, 0}, obj::quorvelObj1_2_20).len(0, 255),
                         status_byte(21, obj::quorvelObj1_2_21),
                     });

#undef QUORVEL

} // namespace

const mib_table quorvel_config_table = table(kConfigRows);
const mib_table quorvel_status_table = table(kStatusRows);
