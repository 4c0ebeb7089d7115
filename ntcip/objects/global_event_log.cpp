// Event log objects (1.3.6.1.4.1.1206.4.2.6.4): what a central system sets
// to configure the event log (ntcip/schedule/event_log.h) and reads back.
// The report scalars, the 60-row configuration table, the log table of 16
// classes x 255 rows (two indexes: class, number) and the class table.
//
// Two columns carry rules of their own: a SET of eventConfigAction also sets
// the row's eventConfigStatus; a SET of eventClassLimit that would make the
// limits of the counted classes (maxEventClasses, at most the 16 that exist)
// exceed maxEventLogSize names no instance in the commit pass, so nothing is
// stored and the agent answers noSuchName.
#include "ntcip/objects/global.h"

#include "store/database.h"

namespace {

using namespace mibdef;

const uint32_t EVENT_SET_MASK = 0x01000000;
const uint16_t CONFIG_ROWS = obj::kEventConfigRows;
const uint16_t CLASSES = obj::kEventClasses;
const uint16_t LOG_ROWS = obj::kEventLogRowsPerClass;

int write_action(mib_request& request, uint32_t row) {
    const uint32_t action = request.ctx.set_value.integer;
    int result = db_set(obj::eventConfigAction.row(row), action, request.ctx.write_flags);
    db_set(obj::eventConfigStatus.row(row), action, request.ctx.write_flags);
    return result;
}

// The class and number columns of the log answer the instance's indexes.
bool read_log_index(mib_request& request, uint32_t row) {
    const uint32_t index = request.row.column.tag == 1 ? row / LOG_ROWS : row % LOG_ROWS;
    mib_answer_integer(request, index + 1);
    return true;
}

// The sum of the class limits with `value` in place of class `row`: only
// classes below maxEventClasses count, and never more than the 16 there are.
bool limits_fit(uint32_t row, uint32_t value) {
    uint32_t sum = value;
    const uint32_t counted = db_get(obj::maxEventClasses);
    for (uint32_t c = 0; c < counted && c < CLASSES; ++c)
        if (c != row) sum += db_get(obj::eventClassLimit.row(c));
    return sum <= db_get(obj::maxEventLogSize);
}

int limit_instance(mib_request& request) {
    if (header_generic(request, CLASSES) != 0) return -1;
    const uint32_t row = request.name[request.row.oid_length - 1] - 1;
    if (request.committing() && !limits_fit(row, request.ctx.set_value.integer)) return -1;
    return int(row);
}

constexpr mib_hooks kAction = {nullptr, nullptr, write_action};
constexpr mib_hooks kLogIndex = {nullptr, read_log_index, nullptr};
constexpr mib_hooks kLimit = {limit_instance, nullptr, nullptr};

constexpr mib_variable config(uint32_t c, uint8_t type, const DbObject& o) {
    return column({2, 1, c, MIB_PLACEHOLDER}, type, o, CONFIG_ROWS);
}
constexpr mib_variable config_rw(uint32_t c, uint8_t type, const DbObject& o) {
    return config(c, type, o).rw().mask(EVENT_SET_MASK);
}
constexpr mib_variable log_column(uint32_t c, uint8_t type, const DbObject& o) {
    return column2({4, 1, c, MIB_PLACEHOLDER}, type, o, CLASSES, LOG_ROWS);
}
constexpr mib_variable event_class(uint32_t c, uint8_t type, const DbObject& o) {
    return column({6, 1, c, MIB_PLACEHOLDER}, type, o, CLASSES);
}

constexpr auto kRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 4},
    {
        scalar({1, 0}, MIB_INTEGER, obj::maxEventLogConfigs).range(1, 65535),
        index_column({2, 1, 1, MIB_PLACEHOLDER}, CONFIG_ROWS).range(1, 65535),
        config_rw(2, MIB_INTEGER, obj::eventConfigClass).range(1, 255),
        config_rw(3, MIB_INTEGER, obj::eventConfigMode).list({1, 2, 3, 4, 5, 6, 7}),
        config_rw(4, MIB_INTEGER, obj::eventConfigCompareValue).range(0, 0xFFFFFFFFu),
        config_rw(5, MIB_INTEGER, obj::eventConfigCompareValue2).range(0, 0xFFFFFFFFu),
        config_rw(6, MIB_OBJECTID, obj::eventConfigCompareOID).writes(mib_write::report),
        config_rw(7, MIB_OBJECTID, obj::eventConfigLogOID).writes(mib_write::report),
        config_rw(8, MIB_INTEGER, obj::eventConfigAction).list({1, 2, 3}).hooked(&kAction),
        config(9, MIB_INTEGER, obj::eventConfigStatus).list({1, 2, 3, 4}),
        scalar({3, 0}, MIB_INTEGER, obj::maxEventLogSize).range(1, 65535),
        log_column(1, MIB_INTEGER, obj::eventLogID).range(1, 255).hooked(&kLogIndex, 1),
        log_column(2, MIB_INTEGER, obj::eventLogID).range(1, 255).hooked(&kLogIndex, 2),
        log_column(3, MIB_INTEGER, obj::eventLogID).range(1, 65535),
        log_column(4, MIB_COUNTER, obj::eventLogTime),
        log_column(5, MIB_OPAQUE, obj::eventLogValue),
        scalar({5, 0}, MIB_INTEGER, obj::maxEventClasses).rw().range(0, 255).mask(EVENT_SET_MASK),
        index_column({6, 1, 1, MIB_PLACEHOLDER}, CLASSES).range(1, 255),
        event_class(2, MIB_INTEGER, obj::eventClassLimit)
            .rw()
            .range(0, 255)
            .mask(EVENT_SET_MASK)
            .hooked(&kLimit),
        event_class(3, MIB_COUNTER, obj::eventClassClearTime)
            .rw()
            .range(0, 0xFFFFFFFFu)
            .mask(EVENT_SET_MASK),
        event_class(4, MIB_OCTETSTR, obj::eventClassDescription).rw().mask(EVENT_SET_MASK),
        event_class(5, MIB_INTEGER, obj::eventClassNumRowsInLog).range(0, 255),
        event_class(6, MIB_INTEGER, obj::eventClassNumEvents).range(0, 65535),
        scalar({7, 0}, MIB_INTEGER, obj::numEvents).range(0, 65535),
    });

} // namespace

const mib_table global_event_log_table = table(kRows);
