// Time management objects (1.3.6.1.4.1.1206.4.2.6.3): the central system's
// view of the sign's clock. Global time lives in the board's global-time
// counter and is reached only through the store's global-time operations;
// the clock peripheral keeps controllerLocalTime and carries a written global
// time to the board clock. A write of the differential or the zone shows in
// controllerLocalTime at once, without daylight saving, until the clock's
// next update; the differential reads back as local minus global time of
// the same moment.
#include "ntcip/objects/global.h"

#include "comm/comm_task.h"
#include "ntcip/clock/clock.h"
#include "runtime/console.h"
#include "store/database.h"

namespace {

using namespace mibdef;

const uint32_t TIME_SET_MASK = 0x00010000;
const int32_t ZONE_LIMIT = 43200;
const uint16_t DST_ROWS = obj::kDstRows;

// Every read of globalTime, a SET's read-back included, is also the
// communication task's heartbeat: the value read is handed to it.
bool read_global_time(mib_request& request, uint32_t) {
    uint32_t seconds = db_get_time();
    trace_printf("Get Global Time = %d\n", int(seconds));
    the_comm_task().SetSavedGlobalTime(seconds);
    mib_answer_integer(request, seconds);
    return true;
}

int write_global_time(mib_request& request, uint32_t) {
    const uint32_t seconds = request.ctx.set_value.integer;
    const int result = db_set_time(seconds, request.ctx.write_flags);
    if (result == DB_OK) write_board_clock(seconds);
    return result;
}

// The global time controllerLocalTime stands for. Local time moves only at
// the clock's polls while global time counts every second, so the two are
// compared at the clock's last reading, else a differential would read a
// second off between a second's turn and the next poll (and years off after
// a central time write, until that poll).
uint32_t global_time_of_local_time() {
    CClock* clock = find_clock();
    uint32_t utc = 0;
    return clock && clock->GetReadingTime(&utc) ? utc : db_get_time();
}

// Local time at once: global time plus the value written.
int write_shifting_local_time(mib_request& request, uint32_t) {
    const uint32_t value = request.ctx.set_value.integer;
    int result = db_set(request.row.column.object, value, request.ctx.write_flags);
    db_set(obj::controllerLocalTime, global_time_of_local_time() + value, request.ctx.write_flags);
    return result;
}

// Local minus global time, of the same moment.
bool read_differential(mib_request& request, uint32_t) {
    mib_answer_integer(request, db_get(obj::controllerLocalTime) - global_time_of_local_time());
    return true;
}

bool read_entry_number(mib_request& request, uint32_t row) {
    mib_answer_integer(request, row + 1);
    return true;
}

constexpr mib_hooks kGlobalTime = {nullptr, read_global_time, write_global_time};
constexpr mib_hooks kZone = {nullptr, nullptr, write_shifting_local_time};
constexpr mib_hooks kDifferential = {nullptr, read_differential, write_shifting_local_time};
constexpr mib_hooks kEntryNumber = {nullptr, read_entry_number, nullptr};

// A daylight-saving table column: served by instance, passed over by a walk.
constexpr mib_variable dst(uint32_t c, uint8_t type, const DbObject& o) {
    return column({7, 2, 1, c, MIB_PLACEHOLDER}, type, o, DST_ROWS).indexes(0);
}

constexpr auto kRows = under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3},
                             {
                                 scalar({1, 0}, MIB_COUNTER, obj::globalTime)
                                     .rw()
                                     .range(0, 0xFFFFFFFFu)
                                     .mask(TIME_SET_MASK)
                                     .hooked(&kGlobalTime),
                                 scalar({2, 0}, MIB_INTEGER, obj::globalDaylightSaving)
                                     .rw()
                                     .range(1, 20)
                                     .mask(TIME_SET_MASK)
                                     .writes(mib_write::report),
                             });

// The time-base schedule objects (.3.3) lie between the two halves.
constexpr auto kZoneRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3},
          {
              scalar({4, 0}, MIB_INTEGER, obj::globalLocalTimeDifferential)
                  .rw()
                  .srange(-ZONE_LIMIT, ZONE_LIMIT)
                  .mask(TIME_SET_MASK)
                  .hooked(&kDifferential),
              scalar({5, 0}, MIB_INTEGER, obj::controllerStandardTimeZone)
                  .rw()
                  .srange(-ZONE_LIMIT, ZONE_LIMIT)
                  .mask(TIME_SET_MASK)
                  .as(mib_value::signed_int)
                  .hooked(&kZone),
              scalar({6, 0}, MIB_COUNTER, obj::controllerLocalTime),
              scalar({7, 1, 0}, MIB_INTEGER, obj::dstMaxEntries).range(1, 100),
              dst(1, MIB_INTEGER, obj::dstBeginMonth).range(1, 100).hooked(&kEntryNumber),
              dst(2, MIB_INTEGER, obj::dstBeginMonth).rw().range(1, 14).writes(mib_write::report),
              dst(3, MIB_INTEGER, obj::dstBeginOccurrences).rw().range(1, 9),
              dst(4, MIB_INTEGER, obj::dstBeginDayOfWeek).rw().range(1, 7),
              dst(5, MIB_INTEGER, obj::dstBeginDayOfMonth).rw().range(1, 31),
              dst(6, MIB_INTEGER, obj::dstBeginSecondsToTransition).rw().range(0, 0xFFFFFFFFu),
              dst(7, MIB_INTEGER, obj::dstEndMonth).rw().range(1, 12),
              dst(8, MIB_INTEGER, obj::dstEndOccurrences).rw().range(1, 9),
              dst(9, MIB_INTEGER, obj::dstEndDayOfWeek).rw().range(1, 7),
              dst(10, MIB_INTEGER, obj::dstEndDayOfMonth).rw().range(1, 31),
              dst(11, MIB_INTEGER, obj::dstEndSecondsToTransition).rw().range(0, 0xFFFFFFFFu),
              dst(12, MIB_INTEGER, obj::dstSecondsToAdjust).rw().range(0, 21600),
          });

} // namespace

const mib_table global_time_table = table(kRows);
const mib_table global_time_zone_table = table(kZoneRows);
