// Daylight-saving rules: the table of built-in rules and the window
// arithmetic, in 64 bits so that the year after 2105 cannot wrap.
#include "ntcip/clock/dst_rules.h"

#include "runtime/console.h"
#include "ntcip/clock/calendar.h"
#include "runtime/utilities.h"

#include <algorithm>

namespace {

const int64_t DAY = 86400;
const uint32_t YEAR_2007 = 1167609600; // 2007-01-01 00:00:00 UTC
const uint8_t OCCURRENCE_DAY_OF_MONTH = 9;
const uint8_t SUN = 1, THU = 5, FRI = 6, SAT = 7;
const uint8_t LAST = 5;

struct FixedRule {
    uint8_t value;
    uint32_t from_year_start; // in force for years starting at or after this
    DstRule rule;
};

constexpr DstTerm term(uint8_t month, uint8_t occurrence, uint8_t weekday, uint8_t day,
                       uint32_t seconds) {
    return DstTerm{month, occurrence, weekday, day, seconds};
}

// The built-in rules; a value's rows go from the latest year on.
const FixedRule FIXED_RULES[] = {
    {3, YEAR_2007, {term(3, 2, SUN, 1, 7200), term(11, 1, SUN, 1, 7200)}},
    {3, 0, {term(4, 1, SUN, 1, 7200), term(10, LAST, SUN, 1, 7200)}},
    {4, 0, {term(3, LAST, SUN, 1, 7200), term(10, LAST, SUN, 1, 10800)}},
    {5, 0, {term(10, LAST, SUN, 1, 7200), term(3, LAST, SUN, 1, 7200)}},
    {6, 0, {term(10, 1, SUN, 1, 7200), term(3, LAST, SUN, 1, 10800)}},
    {7, 0, {term(4, LAST, FRI, 1, 0), term(9, LAST, THU, 1, 0)}},
    {8, 0, {term(9, 1, SUN, 1, 7200), term(4, 1, SUN, 1, 7200)}},
    {9, 0, {term(4, 9, SUN, 1, 10800), term(10, 9, SUN, 1, 14400)}},
    {10, 0, {term(3, LAST, SUN, 1, 7200), term(9, LAST, SUN, 1, 7200)}},
    {12, 0, {term(11, 1, SUN, 1, 0), term(2, LAST, SUN, 1, 0)}},
    {13, 0, {term(10, 1, SUN, 1, 9900), term(3, 1, SUN, 5, 13500)}},
    {14, 0, {term(10, 1, SAT, 1, 0), term(4, 1, SAT, 15, 7200)}},
    {15, 0, {term(4, 9, SUN, 1, 0), term(10, LAST, SUN, 1, 3600)}},
    {16, 0, {term(10, 1, SUN, 1, 0), term(2, LAST, SUN, 1, 0)}},
    {17, 0, {term(10, 1, SUN, 9, 0), term(3, 1, SUN, 9, 3600)}},
    {18, 0, {term(9, 1, SUN, 8, 7200), term(4, LAST, SUN, 8, 7200)}},
    {19, 0, {term(10, 1, SUN, 1, 0), term(2, LAST, SUN, 1, 7200)}},
};

int64_t year_length(int year) {
    return (is_leap_year(year) ? 366 : 365) * DAY;
}

int days_in_month(int month, int year) {
    static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return days[month - 1] + (month == 2 && is_leap_year(year) ? 1 : 0);
}

int days_before_month(int month, int year) {
    int days = 0;
    for (int m = 1; m < month; ++m)
        days += days_in_month(m, year);
    return days;
}

// 1 Sunday to 7 Saturday; day 0 (1970-01-01) was a Thursday.
int weekday_of(int64_t midnight) {
    return int((4 + midnight / DAY) % 7) + 1;
}

// The day a search for the weekday starts on: the first day that can be
// the wanted occurrence, counted from the month's start (2 to 4) or end (5 to 8).
int first_candidate_day(uint8_t occurrence, int month_days) {
    if (occurrence >= 2 && occurrence <= 4) return 1 + 7 * (occurrence - 1);
    if (occurrence >= LAST && occurrence <= 8) return month_days - 6 - 7 * (occurrence - LAST);
    return 1;
}

// A term's transition as a local time since 1970; false when it makes none.
bool transition(const DstTerm& term, const uint32_t* absolute, unsigned rows, int64_t year_start,
                int year, int64_t* local) {
    if (term.month == DST_MONTH_ABSOLUTE) {
        const int64_t year_end = year_start + year_length(year);
        *local = year_start;
        for (unsigned r = 0; r < rows; ++r)
            if (absolute[r] > year_start && absolute[r] < year_end) {
                *local = absolute[r];
                break;
            }
        return true;
    }
    int64_t midnight = 0;
    if (!dst_transition_day(year_start, year, term, &midnight)) return false;
    *local = midnight + term.seconds;
    return true;
}

uint32_t clamp_to_count(int64_t seconds) {
    return uint32_t(std::min<int64_t>(std::max<int64_t>(seconds, 0), UINT32_MAX));
}

} // namespace

const DstRule* dst_fixed_rule(uint32_t value, uint32_t year_start) {
    for (const FixedRule& f : FIXED_RULES)
        if (f.value == value && year_start >= f.from_year_start) return &f.rule;
    return nullptr;
}

const DstRule& dst_reset_rule() {
    return FIXED_RULES[0].rule;
}

void dst_year_of(uint32_t utc, uint32_t* year_start, int* year) {
    struct tm date = {};
    seconds_to_tm(utc, &date);
    struct tm first = {};
    first.tm_year = date.tm_year;
    first.tm_mday = 1;
    *year = date.tm_year + 1900;
    *year_start = tm_to_seconds(first);
}

bool dst_transition_day(int64_t year_start, int year, const DstTerm& term, int64_t* midnight) {
    if (term.month < 1 || term.month > 12) {
        console_printf("Month didn't match %d\n", int(term.month));
        return false;
    }
    const int64_t month_start = year_start + days_before_month(term.month, year) * DAY;
    if (term.occurrence == OCCURRENCE_DAY_OF_MONTH) {
        *midnight = month_start + (int64_t(term.day_of_month) - 1) * DAY;
        return true;
    }
    const int64_t first =
        month_start +
        (first_candidate_day(term.occurrence, days_in_month(term.month, year)) - 1) * DAY;
    *midnight = first;
    for (int64_t day = first; day < first + 7 * DAY; day += DAY)
        if (weekday_of(day) == term.weekday) {
            *midnight = day;
            break;
        }
    return true;
}

DstYearWindow dst_year_window(const DstRule& rule, const DstAbsoluteTimes& absolute,
                              uint32_t year_start, int year, int32_t zone) {
    int64_t begin = 0, end = 0;
    if (!transition(rule.begin, absolute.begins, absolute.rows, year_start, year, &begin) ||
        !transition(rule.end, absolute.ends, absolute.rows, year_start, year, &end))
        return DstYearWindow{false, 0, 0};
    // The begin is read in standard time and the end in daylight time; daylight
    // saving is in effect from the begin's second on, and until the end's.
    return DstYearWindow{true, clamp_to_count(begin - zone - 1),
                         clamp_to_count(end - zone - DST_OFFSET_SECONDS)};
}

bool dst_in_effect(const DstWindow& w, uint32_t utc) {
    if (!w.year.valid) return false;
    if (w.year.start < w.year.end) return w.year.start < utc && utc < w.year.end;
    const bool before_next_end = w.next.valid && utc < w.next.end;
    return (w.year.start < utc && before_next_end) || utc < w.year.end;
}

bool dst_near_transition(const DstWindow& w, uint32_t utc) {
    if (!w.year.valid) return false;
    return (w.year.start < utc && utc - w.year.start < DST_OFFSET_SECONDS) ||
           (w.year.end < utc && utc - w.year.end < DST_OFFSET_SECONDS);
}
