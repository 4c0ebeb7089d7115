// Calendar conversion by running sums of year and month lengths.
#include "ntcip/clock/calendar.h"

#include "runtime/utilities.h"

namespace {

const uint32_t MINUTE = 60, HOUR = 3600, DAY = 86400, WEEK = 604800;
const uint32_t LAST_COVERED_SECOND = 4291747199u; // 2105-12-31 23:59:59

uint32_t year_seconds(int year) {
    return (is_leap_year(year) ? 366u : 365u) * DAY;
}

// Month 0-11 of `year`; any month index of 12 or more counts 31 days.
uint32_t month_seconds(int month, int year) {
    static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month >= 12) return 31u * DAY;
    uint32_t d = days[month] + (month == 1 && is_leap_year(year) ? 1 : 0);
    return d * DAY;
}

// Seconds of the whole years from 1970 up to, not including, `year`, taken
// modulo 2^32; a year before 1970 adds nothing. Counted in closed form, so a
// wild year from a user costs no more than a sensible one.
uint32_t years_since_1970(int year) {
    if (year <= 1970) return 0;
    auto leaps_through = [](int64_t y) { return y / 4 - y / 100 + y / 400; };
    int64_t days = 365 * (int64_t(year) - 1970) + leaps_through(year - 1) - leaps_through(1969);
    return uint32_t(uint64_t(days) * DAY);
}

} // namespace

void seconds_to_tm(uint32_t seconds, struct tm* calendar) {
    if (seconds > LAST_COVERED_SECOND) seconds = LAST_COVERED_SECOND;
    calendar->tm_wday = int((4 + (seconds % WEEK) / DAY) % 7);
    int year = 1970;
    uint32_t rest = seconds;
    while (rest >= year_seconds(year)) {
        rest -= year_seconds(year);
        ++year;
    }
    calendar->tm_year = year - 1900;
    calendar->tm_yday = int(rest / DAY);
    int month = 0;
    while (rest >= month_seconds(month, year)) {
        rest -= month_seconds(month, year);
        ++month;
    }
    calendar->tm_mon = month;
    calendar->tm_mday = int(rest / DAY) + 1;
    rest %= DAY;
    calendar->tm_hour = int(rest / HOUR);
    calendar->tm_min = int(rest % HOUR / MINUTE);
    calendar->tm_sec = int(rest % MINUTE);
}

uint32_t tm_to_seconds(const struct tm& calendar) {
    int year = calendar.tm_year + 1900;
    uint32_t seconds = 0;
    for (int month = calendar.tm_mon - 1; month >= 0; --month)
        seconds += month_seconds(month, year);
    seconds += years_since_1970(year);
    seconds += uint32_t(calendar.tm_mday - 1) * DAY + uint32_t(calendar.tm_hour) * HOUR +
               uint32_t(calendar.tm_min) * MINUTE + uint32_t(calendar.tm_sec);
    return seconds;
}
