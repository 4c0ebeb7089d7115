// Time-base schedule objects (1.3.6.1.4.1.1206.4.2.6.3.3): the 29 schedule
// entries that pick a day plan by month, weekday and day of the month, the
// 20 day plans of 24 events (hour, minute and the OID of the action to run)
// and the two status objects the schedule task writes. Everything is stored
// as written; the schedule task (ntcip/schedule/) decides what a value means
// and passes over values that name nothing.
#include "ntcip/objects/global.h"

namespace {

using namespace mibdef;

const uint32_t SCHEDULE_SET_MASK = 0x00080000;
const uint16_t ENTRIES = obj::timeBaseScheduleMonth.rows;
const uint16_t PLANS = 20;
const uint16_t EVENTS = 24;

constexpr mib_variable entry(uint32_t c, const DbObject& o) {
    return column({2, 1, c, MIB_PLACEHOLDER}, MIB_INTEGER, o, ENTRIES);
}
constexpr mib_variable event(uint32_t c, uint8_t type, const DbObject& o) {
    return column2({5, 1, c, MIB_PLACEHOLDER}, type, o, PLANS, EVENTS);
}

constexpr mib_hooks kPlanNumber = {nullptr,
                                   [](mib_request& r, uint32_t row) {
                                       mib_answer_integer(r, row / EVENTS + 1);
                                       return true;
                                   },
                                   nullptr};
constexpr mib_hooks kEventNumber = {nullptr,
                                    [](mib_request& r, uint32_t row) {
                                        mib_answer_integer(r, row % EVENTS + 1);
                                        return true;
                                    },
                                    nullptr};

constexpr auto kRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 3},
    {
        scalar({1, 0}, MIB_INTEGER, obj::maxTimeBaseScheduleEntries).range(1, 65535),
        index_column({2, 1, 1, MIB_PLACEHOLDER}, ENTRIES).range(1, 65535),
        entry(2, obj::timeBaseScheduleMonth).rw().range(0, 65535).mask(SCHEDULE_SET_MASK),
        entry(3, obj::timeBaseScheduleDay).rw().range(0, 255).mask(SCHEDULE_SET_MASK),
        entry(4, obj::timeBaseScheduleDate).rw().range(0, 0xFFFFFFFFu).mask(SCHEDULE_SET_MASK),
        entry(5, obj::timeBaseScheduleDayPlan).rw().range(0, 255).mask(SCHEDULE_SET_MASK),
        scalar({3, 0}, MIB_INTEGER, obj::maxDayPlans).range(1, 255),
        scalar({4, 0}, MIB_INTEGER, obj::maxDayPlanEvents).range(1, 255),
        event(1, MIB_INTEGER, obj::dayPlanHour).range(1, 255).hooked(&kPlanNumber),
        event(2, MIB_INTEGER, obj::dayPlanHour).range(1, 255).hooked(&kEventNumber),
        event(3, MIB_INTEGER, obj::dayPlanHour).rw().range(0, 23).mask(SCHEDULE_SET_MASK),
        event(4, MIB_INTEGER, obj::dayPlanMinute).rw().range(0, 59).mask(SCHEDULE_SET_MASK),
        event(5, MIB_OBJECTID, obj::dayPlanActionNumberOID).rw().mask(SCHEDULE_SET_MASK),
        scalar({6, 0}, MIB_INTEGER, obj::dayPlanStatus).range(0, 255),
        scalar({7, 0}, MIB_INTEGER, obj::timeBaseScheduleTableStatus).range(0, 65535),
    });

} // namespace

const mib_table global_timebase_table = table(kRows);
