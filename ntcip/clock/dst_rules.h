// Daylight-saving rules: when daylight saving begins and ends in a year.
//
// A rule is two transition terms, each in the terms of a row of the sign's
// daylight-saving table (dstBegin... / dstEnd...): a month, which occurrence
// of a weekday in it (or a day of the month), and the seconds after local
// midnight of that day. The begin is given in local standard time, the end in
// local daylight time; daylight saving always moves the clock by an hour.
// The rules built into the sign (globalDaylightSaving 3 to 19) are one table
// of such terms. The window of a year is where daylight saving is in effect,
// in UTC seconds; the clock computes it for this year and the next.
//
// Every operation here is plain arithmetic on its arguments: the clock reads
// and writes the table in the store.
#pragma once

#include <cstdint>

struct DstTerm {
    uint8_t month;        // 1-12; DST_MONTH_ABSOLUTE: the seconds are absolute
    uint8_t occurrence;   // 1-4 first to fourth, 5 last, 6-8 second to fourth to last,
                          // 9 the day of the month; anything else counts as first
    uint8_t weekday;      // 1 Sunday to 7 Saturday
    uint8_t day_of_month; // occurrence 9 only
    uint32_t seconds;     // after local midnight of the day (absolute: since 1970)
};

struct DstRule {
    DstTerm begin; // in local standard time
    DstTerm end;   // in local daylight time
};

// Months of a table row with a meaning of their own.
const uint8_t DST_MONTH_ABSOLUTE = 13; // the rows' seconds are local times since 1970
const uint8_t DST_MONTH_NEVER = 14;    // daylight saving is never in effect
const uint8_t DST_MONTH_RESET = 15;    // row 1 is reset to dst_reset_rule()
const uint32_t DST_OFFSET_SECONDS = 3600;

// The rule built into the sign for a globalDaylightSaving value, in force in
// the year that starts at `year_start`; null for a value without one (1, 2,
// 11, 20 and anything outside 3 to 19).
const DstRule* dst_fixed_rule(uint32_t value, uint32_t year_start);

// The rule a table row 1 of begin month DST_MONTH_RESET is reset to: the
// built-in rule 3 of the years from 2007, begin month included.
const DstRule& dst_reset_rule();

// Start (UTC midnight of 1 January) and number of the year holding `utc`.
// Counts from 4291747200 on, past the last covered year, give 2105.
void dst_year_of(uint32_t utc, uint32_t* year_start, int* year);

// Midnight (local, as seconds counted from `year_start`'s day 0) of the day a
// term of months 1 to 12 falls on in the year starting at `year_start`.
// False for any other month: such a term makes no transition.
bool dst_transition_day(int64_t year_start, int year, const DstTerm& term, int64_t* midnight);

// The seconds columns of every table row, for terms of month
// DST_MONTH_ABSOLUTE: the first one inside the year is the transition.
struct DstAbsoluteTimes {
    const uint32_t* begins;
    const uint32_t* ends;
    unsigned rows;
};

// One year's transitions in UTC: daylight saving is in effect strictly after
// `start` and strictly before `end`. None when a term makes no transition.
struct DstYearWindow {
    bool valid;
    uint32_t start, end;
};
DstYearWindow dst_year_window(const DstRule& rule, const DstAbsoluteTimes& absolute,
                              uint32_t year_start, int year, int32_t zone);

// This year's and next year's transitions.
struct DstWindow {
    DstYearWindow year, next;
};
// Whether daylight saving is in effect at `utc` (a window whose start is not
// before its end runs across the new year).
bool dst_in_effect(const DstWindow& window, uint32_t utc);
// Whether `utc` lies less than an hour after this year's start or end.
bool dst_near_transition(const DstWindow& window, uint32_t utc);
