// Calendar conversion: every date and time in the sign is an unsigned 32-bit
// count of seconds since 1970-01-01 00:00:00. These two conversions turn such
// a count into the broken-down calendar record (the C library's `tm` layout)
// and back, without any time zone or daylight saving: the clock applies those
// to the counts. Plain functions without state, safe from any thread, and
// free of dependencies above the runtime, so every layer may call them.
#pragma once

#include <cstdint>
#include <ctime>

// Fills every field of `calendar` but tm_isdst. Counts from 4291747200
// (2106-01-01) on, past what the year search can cover, give the last covered
// second, 2105-12-31 23:59:59.
void seconds_to_tm(uint32_t seconds, struct tm* calendar);

// Reads tm_sec, tm_min, tm_hour, tm_mday, tm_mon and tm_year as they stand,
// without range checks: each field adds its weight, in arithmetic modulo 2^32
// (hour 24 is hour 0 of the next day, month 12 counts 31 days, a year before
// 1970 adds no year, a negative month adds no month).
uint32_t tm_to_seconds(const struct tm& calendar);
