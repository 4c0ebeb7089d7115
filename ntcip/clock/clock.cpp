// The clock peripheral: board clock, time zone, daylight saving.
#include "ntcip/clock/clock.h"

#include "runtime/console.h"
#include "ntcip/clock/calendar.h"
#include "peripherals/peripheral_task.h"
#include "platform/board/bus.h"
#include "platform/monitor/monitor.h"
#include "runtime/pools.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const char* const CLOCK_NAME = "CLOCK01";
const ULONG GLOBAL_TIME_WRITTEN_BIT = 0x1; // "database" event flags
const uint8_t CLOCK_CONTROL_BIT = 0x01;
const uint32_t RECOMPUTE_PERIOD = 604800; // a week
const uint8_t CHANGE_TAKES_EFFECT = 3;    // a change counter's value at the second poll
const uint8_t STANDARD_TIME = 1, DAYLIGHT_TIME = 2;
const uint32_t MODE_TABLE = 1, MODE_NONE = 2, MODE_TABLE2 = 20, MODE_LAST = 20;
const uint32_t MODE_AT_START = 3;

int32_t zone() {
    return db_get_signed(obj::controllerStandardTimeZone);
}

void set_zone(int32_t seconds) {
    db_set(obj::controllerStandardTimeZone, uint32_t(seconds), 0);
}

int32_t differential() {
    return db_get_signed(obj::globalLocalTimeDifferential);
}

uint32_t daylight_saving_mode() {
    return db_get(obj::globalDaylightSaving);
}

// Row 1 of the daylight-saving table.
DstRule read_row1() {
    using namespace obj;
    auto term = [](const DbObject& month, const DbObject& occurrence, const DbObject& weekday,
                   const DbObject& day, const DbObject& seconds) {
        return DstTerm{uint8_t(db_get(month.row(0))), uint8_t(db_get(occurrence.row(0))),
                       uint8_t(db_get(weekday.row(0))), uint8_t(db_get(day.row(0))),
                       db_get(seconds.row(0))};
    };
    return DstRule{term(dstBeginMonth, dstBeginOccurrences, dstBeginDayOfWeek, dstBeginDayOfMonth,
                        dstBeginSecondsToTransition),
                   term(dstEndMonth, dstEndOccurrences, dstEndDayOfWeek, dstEndDayOfMonth,
                        dstEndSecondsToTransition)};
}

// Writes a rule into row 1 so that a central system reads back the rule in
// force; the begin month only when asked (a built-in rule keeps its own).
void write_row1(const DstRule& rule, bool with_begin_month) {
    using namespace obj;
    const struct {
        const DbObject& object;
        uint32_t value;
    } writes[] = {
        {dstBeginOccurrences, rule.begin.occurrence},
        {dstBeginDayOfWeek, rule.begin.weekday},
        {dstBeginDayOfMonth, rule.begin.day_of_month},
        {dstBeginSecondsToTransition, rule.begin.seconds},
        {dstEndMonth, rule.end.month},
        {dstEndOccurrences, rule.end.occurrence},
        {dstEndDayOfWeek, rule.end.weekday},
        {dstEndDayOfMonth, rule.end.day_of_month},
        {dstEndSecondsToTransition, rule.end.seconds},
        {dstSecondsToAdjust, DST_OFFSET_SECONDS},
    };
    if (with_begin_month) db_set(dstBeginMonth.row(0), rule.begin.month, DB_NOTIFY);
    for (const auto& w : writes)
        db_set(w.object.row(0), w.value, DB_NOTIFY);
}

// The seconds columns of the table rows that take part in absolute times.
struct AbsoluteTimes {
    uint32_t begins[obj::kDstRows];
    uint32_t ends[obj::kDstRows];
    unsigned rows;
};

void read_absolute_times(AbsoluteTimes* t) {
    uint32_t rows = db_get(obj::dstMaxEntries);
    t->rows = rows < obj::kDstRows ? rows : obj::kDstRows;
    for (unsigned r = 0; r < t->rows; ++r) {
        t->begins[r] = db_get(obj::dstBeginSecondsToTransition.row(r));
        t->ends[r] = db_get(obj::dstEndSecondsToTransition.row(r));
    }
}

} // namespace

CClock::CClock() : CPeripheral(PERIPHERAL_CLASS_CLOCK, PERIPHERAL_ID_CLOCK) {}

CPeripheral* CClock::Create(const PeripheralRecord& record) {
    CClock* clock = new CClock;
    clock->SetPollPeriod(1);
    clock->SetCountdown(0);
    clock->SetListSlot(record.list_slot);
    if (!clock->Initialize()) {
        delete clock;
        return nullptr;
    }
    clock->SetEnabled(1);
    return clock;
}

const char* CClock::GetName(uint16_t) {
    return CLOCK_NAME;
}

uint16_t CClock::GetType(const char* name) {
    return name && std::strcmp(name, CLOCK_NAME) == 0 ? PERIPHERAL_ID_CLOCK : 0;
}

bool CClock::Initialize() {
    bus_write8(BUS_CLOCK_CONTROL, uint8_t(bus_read8(BUS_CLOCK_CONTROL) & ~CLOCK_CONTROL_BIT));
    local_ = db_get(obj::controllerLocalTime);
    uint32_t mode = daylight_saving_mode();
    if (mode < MODE_TABLE || mode > MODE_LAST)
        db_set(obj::globalDaylightSaving, MODE_AT_START, DB_NOTIFY);
    power_loss_ = db_get_time();
    Poll(); // not yet reading: does nothing
    m_byState = STATE_READING;
    return true;
}

void CClock::Poll() {
    if (m_byState < STATE_READING) return;
    CheckCentralSet();
    utc_ = ReadBoardClock();
    if (!read_) {
        power_loss_ = utc_ - power_loss_;
        read_ = 1;
    }
    AdjustLocalTime();
    db_set_time(utc_, 0);
    db_set(obj::controllerLocalTime, local_, DB_NOTIFY);
    m_byState = STATE_VALID;
}

void CClock::CheckCentralSet() {
    ULONG actual = 0;
    if (tx_event_flags_get(&database_event_flags(), GLOBAL_TIME_WRITTEN_BIT, TX_OR_CLEAR, &actual,
                           TX_NO_WAIT) == TX_SUCCESS)
        ReloadFromGlobalTime();
}

void CClock::ReloadFromGlobalTime() {
    trace_printf("Reload GlobalTime due to central set\n");
    recompute_ = 1;
    write_board_clock(db_get_time());
}

uint32_t CClock::ReadBoardClock() {
    mon_tm record = {};
    mon_rtcread(&record);
    struct tm date = {};
    date.tm_sec = record.tm_sec;
    date.tm_min = record.tm_min;
    date.tm_hour = record.tm_hour;
    date.tm_mday = record.tm_mday;
    date.tm_mon = record.tm_mon;
    date.tm_year = record.tm_year;
    return tm_to_seconds(date);
}

void CClock::AdjustLocalTime() {
    uint32_t mode = daylight_saving_mode();
    if (mode == 0 || mode > MODE_LAST) {
        console_printf("Clock DST Error\n");
        return;
    }
    if (mode == MODE_NONE)
        AdjustWithoutDaylightSaving();
    else
        AdjustWithDaylightSaving();
}

void CClock::AdjustWithoutDaylightSaving() {
    if (differential_count_) {
        set_zone(differential());
        differential_count_ = 0;
    }
    zone_count_ = 0;
    local_ = utc_ + uint32_t(zone());
}

void CClock::AdjustWithDaylightSaving() {
    if (differential_count_) ++differential_count_;
    if (zone_count_) ++zone_count_;
    local_ = utc_ + uint32_t(zone());
    // A new daylight-saving value takes effect at once, not at the weekly
    // recompute.
    const uint8_t mode = uint8_t(daylight_saving_mode());
    if (recompute_ || mode != window_mode_ || utc_ >= next_recompute_ ||
        differential_count_ >= CHANGE_TAKES_EFFECT || zone_count_ >= CHANGE_TAKES_EFFECT) {
        window_mode_ = mode;
        if (differential_count_) set_zone(differential());
        ComputeDSTWindow();
        if (local_time_entered_) {
            if (InDST()) {
                utc_ -= DST_OFFSET_SECONDS;
                db_set_time(utc_, DB_NOTIFY);
                local_ -= DST_OFFSET_SECONDS;
            }
            local_time_entered_ = 0;
        }
        if (differential_count_) ApplyDifferential();
        if (zone_count_) {
            trace_printf("Time Zone Changed\n");
            local_ = utc_ + uint32_t(zone());
            zone_count_ = 0;
        }
        next_recompute_ = utc_ + RECOMPUTE_PERIOD;
        recompute_ = 0;
    }
    bool dst = InDST();
    if (dst) local_ += DST_OFFSET_SECONDS;
    db_set(obj::quorvelObj1_2_13, dst ? DAYLIGHT_TIME : STANDARD_TIME, DB_NOTIFY);
}

// The differential a central system wrote includes daylight saving: the
// standard zone is an hour less while daylight saving is in effect, and
// also just after a transition, where the writer's time may not have
// switched yet.
void CClock::ApplyDifferential() {
    const int32_t written = differential();
    if (InDST()) {
        set_zone(written - int32_t(DST_OFFSET_SECONDS));
        ComputeDSTWindow();
    } else {
        set_zone(written);
    }
    if (NearTransition()) {
        trace_printf("assume time is in DST prior to switch\n");
        set_zone(written - int32_t(DST_OFFSET_SECONDS));
        ComputeDSTWindow();
    }
    trace_printf("Adjust local time\n");
    local_ = utc_ + uint32_t(zone());
    differential_count_ = 0;
}

void CClock::ComputeDSTWindow() {
    uint32_t start = 0;
    int year = 0;
    dst_year_of(utc_, &start, &year);
    trace_printf("Prior dst seconds %d, year %d\n", int(start), year);
    // Next year's first, so that row 1 is left holding this year's rule.
    const int64_t next_start = int64_t(start) + (is_leap_year(year) ? 366 : 365) * 86400;
    window_.next = next_start > int64_t(UINT32_MAX) ? DstYearWindow{false, 0, 0}
                                                    : DSTRuleByMode(uint32_t(next_start), year + 1);
    window_.year = DSTRuleByMode(start, year);
    trace_printf("dst starts at %d and ends at %d, seconds %d, year %d\n", int(window_.year.start),
                 int(window_.year.end), int(start), year);
}

DstYearWindow CClock::DSTRuleByMode(uint32_t year_start, int year) {
    const uint32_t mode = daylight_saving_mode();
    trace_printf("GlobalDS = %d\n", int(mode));
    const DstRule* fixed = dst_fixed_rule(mode, year_start);
    const bool table = mode == MODE_TABLE || mode == MODE_TABLE2;
    if (fixed)
        write_row1(*fixed, false);
    else if (table && db_get(obj::dstBeginMonth.row(0)) == DST_MONTH_RESET)
        write_row1(dst_reset_rule(), true);
    DstRule rule = read_row1();
    // A built-in rule's begin month is its own; a value without a rule
    // (11) has none and gives no daylight saving.
    if (rule.begin.month != DST_MONTH_ABSOLUTE && !table)
        rule.begin.month = fixed ? fixed->begin.month : 0;
    AbsoluteTimes absolute = {};
    read_absolute_times(&absolute);
    return dst_year_window(rule, DstAbsoluteTimes{absolute.begins, absolute.ends, absolute.rows},
                           year_start, year, zone());
}

bool CClock::InDST() const {
    if (db_get(obj::dstBeginMonth.row(0)) == DST_MONTH_NEVER) return false;
    return dst_in_effect(window_, utc_);
}

bool CClock::NearTransition() const {
    return dst_near_transition(window_, utc_);
}

int CClock::GetLocalDate(struct tm* date) const {
    if (!read_) return 0;
    seconds_to_tm(local_, date);
    return 1;
}

int CClock::GetLocalTime(uint32_t* seconds) const {
    if (!read_) return 0;
    *seconds = local_;
    return 1;
}

int CClock::GetPowerLossDuration(uint32_t* seconds) const {
    if (!read_) return 0;
    *seconds = power_loss_;
    return 1;
}

int CClock::GetReadingTime(uint32_t* utc) const {
    if (!read_) return 0;
    *utc = utc_;
    return 1;
}

int CClock::SetLocalTimeEntered() {
    local_time_entered_ = 1;
    return 1;
}

CClock* find_clock() {
    CPeripheral* p = ThePeripheralTask().GetPeripheral(PERIPHERAL_ID_CLOCK);
    return p && p->ClassCode() == PERIPHERAL_CLASS_CLOCK ? static_cast<CClock*>(p) : nullptr;
}

void write_board_clock(uint32_t utc) {
    struct tm date = {};
    seconds_to_tm(utc, &date);
    mon_tm record = {date.tm_sec,  date.tm_min,  date.tm_hour,
                     date.tm_mday, date.tm_mon,  date.tm_year,
                     date.tm_wday, date.tm_yday, 0};
    mon_rtcwrite(&record);
}
