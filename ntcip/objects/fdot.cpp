// Customer subtree fdot (1.3.6.1.4.1.1206.3.6.11): the power-supply report
// and table, the no-poll guard (fdotDmsMaxPollTime and its enable), the
// failed-pixel limit, the front panel's logout time, the event log's
// near-full latch, and second names of the shut-off temperature and of the
// power-recovery objects.
//
// Decisions:
//   - fdotObj11_4 names the one-byte unsigned halvShutOffTemp; a negative
//     value would be stored as 256 + v, a limit that never trips, so the row
//     accepts 0..127 only. It is the one write whose store refusal is the
//     request's error (badValue).
//   - The power-supply table 11.3 answers for indexes 1..100 (rows of the
//     peripherals' power-supply table); a row beyond the registered supplies
//     reads as empty (type and state of a zero byte, no name, reading 0).
#include "ntcip/objects/customer.h"

#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint32_t PIXEL_LIMIT_MASK = 0x08000000;
constexpr uint32_t POLL_MASK = 0x02000000;
constexpr uint32_t RECOVERY_MASK = 0x20000000;
constexpr uint16_t SUPPLY_INDEX_MAX = 100;
constexpr uint32_t NO_MAP = ~0u;

bool supply_registered(uint32_t row) {
    const uint32_t count = db_get(obj::dmsPowerNumRows);
    return row < count && row < obj::kPowerRows;
}

// A supply's value, mapped when the column's tag names a map.
bool read_supply(mib_request& request, uint32_t row) {
    const bool registered = supply_registered(row);
    if (request.row.type == MIB_OCTETSTR) {
        if (registered) return false;
        mib_answer_bytes(request, nullptr, 0);
        return true;
    }
    const uint32_t stored = registered ? db_get(mib_row_object(request.row, row)) : 0;
    const uint32_t tag = request.row.column.tag;
    mib_answer_integer(request,
                       tag == NO_MAP ? stored : customer_mapped(customer_map(tag), stored));
    return true;
}

constexpr mib_hooks kSupply = {nullptr, read_supply, nullptr};

constexpr mib_variable supply(uint32_t c, uint8_t type, const DbObject& o, uint32_t map = NO_MAP) {
    return column({3, 1, c, MIB_PLACEHOLDER}, type, o, SUPPLY_INDEX_MAX).hooked(&kSupply, map);
}

constexpr mib_variable number(uint32_t x, const DbObject& o) {
    return scalar({x, 0}, MIB_INTEGER, o);
}

constexpr auto kRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 3, 6, 11},
    {
        scalar({1, 0}, MIB_OCTETSTR, obj::fdotObj11_1).len(0, 4),
        number(2, obj::fdotObj11_2).range(0, 255),
        index_column({3, 1, 1, MIB_PLACEHOLDER}, SUPPLY_INDEX_MAX).range(1, 32),
        supply(2, MIB_INTEGER, obj::dmsPowerType, MAP_SUPPLY_TYPE).list({1, 2, 3, 4, 5}),
        supply(3, MIB_OCTETSTR, obj::dmsPowerDescription).len(0, 40),
        supply(4, MIB_INTEGER, obj::dmsPowerVoltage).range(0, 65535),
        supply(5, MIB_INTEGER, obj::dmsPowerStatus, MAP_SUPPLY_STATE).range(0, 1),
        number(4, obj::fdotObj11_4)
            .rw()
            .srange(0, 127)
            .mask(PIXEL_LIMIT_MASK)
            .writes(mib_write::report),
        number(5, obj::fdotDmsMaxPollTime).rw().range(0, 65535).mask(POLL_MASK),
        number(6, obj::fdotObj11_6).rw().range(0, 1).mask(POLL_MASK),
        number(7, obj::fdotMaxNumPixelFailure).rw().range(0, 0xFFFFFFFFu).mask(PIXEL_LIMIT_MASK),
        number(8, obj::fdotObj11_8).rw().range(0, 65535).mask(RECOVERY_MASK),
        scalar({9, 0}, MIB_OCTETSTR, obj::fdotObj11_9).rw().len(5, 5).mask(RECOVERY_MASK),
        number(10, obj::fdotObj11_10).range(0, 1),
        number(11, obj::fdotObj11_11).rw().range(0, 65535).mask(POLL_MASK),
        number(12, obj::panynjObj1_4)
            .list({0, 1, 2, 3, 4})
            .hooked(&customer_map_hooks, MAP_FDOT_SOURCE),
    });

} // namespace

const mib_table fdot_table = table(kRows);
