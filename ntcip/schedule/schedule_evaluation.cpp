// The time-base schedule's evaluation at the pass's local date.
//
// Entry choice: among the schedule entries whose month, day-of-month and
// weekday bits all match the date, the one with the fewest months wins; the
// date count decides next and the weekday count last (each later test applies
// whenever the earlier count was not smaller, so a later entry with more
// months but fewer dates still wins). When today's plan has no event due yet,
// yesterday's entry and its plan at 23:59 are in effect: an evening event
// runs on past midnight.
//
// Day-plan choice: among the plan's due events that name an action, the one
// latest in the day, where several events of an earlier hour count as equal
// (the last in event order wins) and events of the current hour compare by
// minute as well.
//
// Every value read from the store is bounded before use: a day plan outside
// 1..20, an action outside 1..255, an action code of other than 5 octets and
// a message number 0 name nothing, and only the first 30 sub-identifiers of an
// action OID are looked at.
#include "ntcip/schedule/schedule_task.h"

#include "display/message_codes.h"
#include "ntcip/clock/calendar.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t ENTRIES = obj::timeBaseScheduleMonth.rows; // 29
const uint32_t PLANS = 20;
const uint32_t EVENTS = 24;
const uint32_t ACTIONS = obj::dmsActionMsgCode.rows; // 255
const uint32_t CHANGEABLE_MAX = obj::kChangeableMsgRows;
const uint32_t PERMANENT_BUILT_IN = 2;
const uint32_t BLANK_MAX = 255;
const uint8_t MESSAGE_VALID = 4;
const uint32_t SECONDS_PER_DAY = 86400;

// The action column's OID: a day-plan event names action n as this prefix
// followed by n.
const uint32_t ACTION_PREFIX[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 8, 2, 1, 1};
const uint32_t ACTION_PREFIX_LENGTH = sizeof ACTION_PREFIX / sizeof ACTION_PREFIX[0];
// Sub-identifiers of an action OID that are looked at.
const uint32_t ACTION_OID_EXAMINED = 30;

uint32_t count_bits(uint32_t value) {
    uint32_t n = 0;
    for (; value; value &= value - 1)
        n++;
    return n;
}

struct entry_choice {
    uint32_t number = 0; // 1..29; 0 none
    uint32_t months = 0, dates = 0, days = 0;
};

bool entry_matches(uint32_t row, const struct tm& date) {
    return (db_get(obj::timeBaseScheduleMonth.row(row)) >> (date.tm_mon + 1) & 1) &&
           (db_get(obj::timeBaseScheduleDate.row(row)) >> date.tm_mday & 1) &&
           (db_get(obj::timeBaseScheduleDay.row(row)) >> (date.tm_wday + 1) & 1);
}

entry_choice find_entry(const struct tm& date) {
    entry_choice best;
    for (uint32_t row = 0; row < ENTRIES; row++) {
        if (!entry_matches(row, date)) continue;
        entry_choice e;
        e.number = row + 1;
        e.months = count_bits(db_get(obj::timeBaseScheduleMonth.row(row)));
        e.dates = count_bits(db_get(obj::timeBaseScheduleDate.row(row)));
        e.days = count_bits(db_get(obj::timeBaseScheduleDay.row(row)));
        if (best.number == 0 || e.months < best.months || e.dates < best.dates ||
            e.days < best.days)
            best = e;
    }
    return best;
}

struct tm yesterday_of(const struct tm& date) {
    struct tm yesterday = {};
    seconds_to_tm(tm_to_seconds(date) - SECONDS_PER_DAY, &yesterday);
    return yesterday;
}

// The action an event names: 1..255 as the sub-identifier after the action
// column's prefix; 0 when the event's OID lies outside the column or names
// no action. *in_column: the OID begins with the prefix.
uint32_t event_action(uint32_t k, bool* in_column) {
    uint8_t bytes[4 * ACTION_OID_EXAMINED + 1];
    uint32_t length = 0;
    db_get_string_copy(obj::dayPlanActionNumberOID.row(k), bytes, sizeof bytes, &length);
    uint32_t count = length / 4;
    if (count > ACTION_OID_EXAMINED) count = ACTION_OID_EXAMINED;
    auto subid = [&](uint32_t i) -> uint32_t {
        if (i >= count) return 0; // missing sub-identifiers count as 0
        const uint8_t* p = bytes + 4 * i;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    };
    *in_column = true;
    for (uint32_t i = 0; i < ACTION_PREFIX_LENGTH; i++)
        if (subid(i) != ACTION_PREFIX[i]) *in_column = false;
    return *in_column ? subid(ACTION_PREFIX_LENGTH) : 0;
}

struct event_choice {
    uint32_t number = 0; // 1..24; 0 none
    uint32_t action = 0;
};

// The event of plan `plan` in effect at hour:minute.
event_choice find_event(uint32_t plan, uint32_t hour, uint32_t minute) {
    event_choice chosen;
    if (plan < 1 || plan > PLANS) return chosen;
    uint32_t chosen_hour = 0, chosen_minute = 0;
    for (uint32_t e = 0; e < EVENTS; e++) {
        const uint32_t k = (plan - 1) * EVENTS + e;
        bool in_column = false;
        uint32_t action = event_action(k, &in_column);
        if (!in_column) continue;
        const uint32_t h = db_get(obj::dayPlanHour.row(k));
        const uint32_t m = db_get(obj::dayPlanMinute.row(k));
        if (h > hour || (h == hour && m > minute)) continue; // not due yet
        bool take = chosen.number == 0 ||
                    (h < hour ? h >= chosen_hour
                              : h > chosen_hour || (h == chosen_hour && m >= chosen_minute));
        if (!take) continue;
        chosen.number = e + 1;
        chosen.action = action;
        chosen_hour = h;
        chosen_minute = m;
    }
    return chosen;
}

// The fields of a message as the schedule row takes them.
struct message_fields {
    char multi[2001];
    char owner[2001];
    uint32_t multi_length, owner_length;
    uint16_t crc;
    uint8_t beacon, pixel_service, status;
};

// The row objects of a permanent or changeable message, or false when the
// code names none.
struct message_row {
    DbObject multi, owner, crc, beacon, pixel_service, status;
};

bool stored_row(uint8_t memory_type, uint32_t number, message_row* row) {
    if (number == 0) return false;
    if (memory_type == MSG_MEMORY_PERMANENT && number <= db_get(obj::dmsNumPermanentMsg)) {
        if (number <= PERMANENT_BUILT_IN) {
            const uint32_t r = number - 1;
            *row = {obj::permanentMsgMultiString.row(r),  obj::permanentMsgOwner.row(r),
                    obj::permanentMsgCRC.row(r),          obj::permanentMsgBeacon.row(r),
                    obj::permanentMsgPixelService.row(r), obj::permanentMsgStatus.row(r)};
            return true;
        }
        number += obj::kChangeableMsgOrdinaryRows - PERMANENT_BUILT_IN; // message 3: row 500
    } else if (memory_type != MSG_MEMORY_CHANGEABLE) {
        return false;
    }
    if (number > CHANGEABLE_MAX) return false;
    const uint32_t r = number - 1;
    *row = {obj::changeableMsgMultiString.row(r),  obj::changeableMsgOwner.row(r),
            obj::changeableMsgCRC.row(r),          obj::changeableMsgBeacon.row(r),
            obj::changeableMsgPixelService.row(r), obj::changeableMsgStatus.row(r)};
    return true;
}

// Only the schedule task's thread uses it.
message_fields g_fields;

bool read_fields(uint8_t memory_type, uint32_t number, message_fields* f) {
    message_row row;
    if (stored_row(memory_type, number, &row)) {
        db_get_string_copy(row.multi, f->multi, sizeof f->multi, &f->multi_length);
        db_get_string_copy(row.owner, f->owner, sizeof f->owner, &f->owner_length);
        if (f->multi_length >= sizeof f->multi) f->multi_length = sizeof f->multi - 1;
        if (f->owner_length >= sizeof f->owner) f->owner_length = sizeof f->owner - 1;
        f->crc = uint16_t(db_get(row.crc));
        f->beacon = uint8_t(db_get(row.beacon));
        f->pixel_service = uint8_t(db_get(row.pixel_service));
        f->status = uint8_t(db_get(row.status));
        return true;
    }
    if (memory_type == MSG_MEMORY_BLANK && number <= BLANK_MAX) {
        f->multi_length = f->owner_length = 0;
        f->crc = 0;
        f->beacon = f->pixel_service = 0;
        f->status = MESSAGE_VALID;
        return true;
    }
    return false;
}

// A zero CRC in an action code stands for the addressed message's current CRC.
uint16_t filled_crc(const CMsgIDCode& code) {
    message_row row;
    if (code.m_messageCRC != 0 || !stored_row(code.m_memoryType, code.m_messageNumber, &row))
        return code.m_messageCRC;
    return uint16_t(db_get(row.crc));
}

void copy_into_schedule_row(const message_fields& f) {
    db_set(obj::scheduleMsgCRC, f.crc, DB_NOTIFY);
    db_set_string(obj::scheduleMsgMultiString, f.multi, f.multi_length, DB_NOTIFY);
    db_set_string(obj::scheduleMsgOwner, f.owner, f.owner_length, DB_NOTIFY);
    db_set(obj::scheduleMsgBeacon, f.beacon, DB_NOTIFY);
    db_set(obj::scheduleMsgPixelService, f.pixel_service, DB_NOTIFY);
    db_set(obj::scheduleMsgStatus, f.status, DB_NOTIFY);
}

} // namespace

void CScheduleTask::EvaluateSchedule() {
    if (db_get(obj::dmsMsgSourceMode) != SOURCE_TIMEBASE_SCHEDULER) {
        db_set(obj::timeBaseScheduleTableStatus, 0, DB_NOTIFY);
        return;
    }
    const entry_choice today = find_entry(date_);
    const entry_choice yesterday = find_entry(yesterday_of(date_));
    if (today.number == 0 && yesterday.number == 0) {
        if (entry_latch_) {
            StartScheduling();
            entry_latch_ = 0;
        }
        return;
    }
    entry_latch_ = 1;
    entry_choice in_effect = today;
    event_choice event;
    if (today.number != 0)
        event = find_event(db_get(obj::timeBaseScheduleDayPlan.row(today.number - 1)),
                           uint32_t(date_.tm_hour), uint32_t(date_.tm_min));
    if (event.number == 0 && yesterday.number != 0) {
        event = find_event(db_get(obj::timeBaseScheduleDayPlan.row(yesterday.number - 1)), 23, 59);
        in_effect = yesterday;
    }
    if (event.number == 0) {
        if (event_latch_) {
            StartScheduling();
            event_latch_ = 0;
        }
        return;
    }
    event_latch_ = 1;
    if (!RequestAction(event.action)) return;
    db_set(obj::timeBaseScheduleTableStatus, in_effect.number, DB_NOTIFY);
    db_set(obj::dayPlanStatus, event.number, DB_NOTIFY);
}

// Asks for the message of action `action`. -> true when requested.
bool CScheduleTask::RequestAction(uint32_t action) {
    if (action < 1 || action > ACTIONS) return false;
    uint8_t bytes[CMsgIDCode::kLength + 1];
    uint32_t length = 0;
    db_get_string_copy(obj::dmsActionMsgCode.row(action - 1), bytes, sizeof bytes, &length);
    CMsgIDCode code;
    if (!code.Decode(bytes, length)) return false;
    const uint16_t crc = filled_crc(code);
    if (crc == db_get(obj::scheduleMsgCRC)) return false; // scheduled already
    if (!read_fields(code.m_memoryType, code.m_messageNumber, &g_fields)) return false;
    if (g_fields.status != MESSAGE_VALID) return false;
    copy_into_schedule_row(g_fields);
    schedule_request(SOURCE_TIMEBASE_SCHEDULER, 0xFFFF, code.m_memoryType, code.m_messageNumber,
                     crc);
    return true;
}
