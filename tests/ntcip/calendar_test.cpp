// Calendar conversion: known dates both ways, the round trip over the covered
// range, every day against the C library, and the unchecked fields of a record
// adding their weight as they stand.
#include "ntcip/clock/calendar.h"

#include <gtest/gtest.h>

namespace {

struct Date {
    uint32_t seconds;
    int year, mon, mday, hour, min, sec, wday, yday;
};

const Date KNOWN[] = {
    {0, 70, 0, 1, 0, 0, 0, 4, 0},
    {86399, 70, 0, 1, 23, 59, 59, 4, 0},
    {86400, 70, 0, 2, 0, 0, 0, 5, 1},
    {951782400, 100, 1, 29, 0, 0, 0, 2, 59},
    {951868800, 100, 2, 1, 0, 0, 0, 3, 60},
    {4102444800u, 200, 0, 1, 0, 0, 0, 5, 0},
    {4107542400u, 200, 2, 1, 0, 0, 0, 1, 59}, // 2100 is no leap year: 1 March follows 28 February
    {4291747199u, 205, 11, 31, 23, 59, 59, 4, 364},
    {4291747200u, 205, 11, 31, 23, 59, 59, 4, 364}, // past the covered range: the last second
    {4294967295u, 205, 11, 31, 23, 59, 59, 4, 364},
};

TEST(CalendarTest, KnownCountsBreakIntoTheirDates) {
    for (const Date& d : KNOWN) {
        struct tm t = {};
        seconds_to_tm(d.seconds, &t);
        EXPECT_EQ(t.tm_year, d.year) << d.seconds;
        EXPECT_EQ(t.tm_mon, d.mon) << d.seconds;
        EXPECT_EQ(t.tm_mday, d.mday) << d.seconds;
        EXPECT_EQ(t.tm_hour, d.hour) << d.seconds;
        EXPECT_EQ(t.tm_min, d.min) << d.seconds;
        EXPECT_EQ(t.tm_sec, d.sec) << d.seconds;
        EXPECT_EQ(t.tm_wday, d.wday) << d.seconds;
        EXPECT_EQ(t.tm_yday, d.yday) << d.seconds;
    }
}

TEST(CalendarTest, RoundTripGivesTheCountBackOverTheCoveredRange) {
    for (uint64_t s = 0; s < 4291747200u; s += 86400u * 13 + 3607)
        for (uint32_t near : {uint32_t(s), uint32_t(s + 86399)}) {
            struct tm t = {};
            seconds_to_tm(near, &t);
            ASSERT_EQ(tm_to_seconds(t), near);
        }
}

TEST(CalendarTest, EveryDayFrom1970To2105AgreesWithTheCLibrary) {
    for (uint64_t day = 0; day * 86400 < 4291747200u; ++day)
        for (uint32_t s : {uint32_t(day * 86400), uint32_t(day * 86400 + 86399)}) {
            struct tm ours = {}, theirs = {};
            seconds_to_tm(s, &ours);
            time_t t = time_t(s);
            gmtime_r(&t, &theirs);
            ASSERT_EQ(ours.tm_year, theirs.tm_year) << s;
            ASSERT_EQ(ours.tm_mon, theirs.tm_mon) << s;
            ASSERT_EQ(ours.tm_mday, theirs.tm_mday) << s;
            ASSERT_EQ(ours.tm_hour, theirs.tm_hour) << s;
            ASSERT_EQ(ours.tm_min, theirs.tm_min) << s;
            ASSERT_EQ(ours.tm_sec, theirs.tm_sec) << s;
            ASSERT_EQ(ours.tm_wday, theirs.tm_wday) << s;
            ASSERT_EQ(ours.tm_yday, theirs.tm_yday) << s;
            ASSERT_EQ(tm_to_seconds(theirs), s) << s;
        }
}

TEST(CalendarTest, FieldsAddTheirWeightWithoutNormalising) {
    struct tm midnight = {}, hour24 = {}, y69 = {}, dec31 = {}, mon12 = {};
    midnight.tm_year = hour24.tm_year = 116;
    midnight.tm_mday = 2;
    hour24.tm_mday = 1, hour24.tm_hour = 24;
    EXPECT_EQ(tm_to_seconds(hour24), tm_to_seconds(midnight));

    y69.tm_year = 69, y69.tm_mon = 1, y69.tm_mday = 2, y69.tm_sec = 5;
    EXPECT_EQ(tm_to_seconds(y69), 31u * 86400 + 86400 + 5);

    dec31.tm_year = 116, dec31.tm_mon = 11, dec31.tm_mday = 32; // one day past 31 December
    mon12.tm_year = 116, mon12.tm_mon = 12, mon12.tm_mday = 1;  // month 12 counts 31 days
    EXPECT_EQ(tm_to_seconds(dec31), tm_to_seconds(mon12));

    struct tm wild = {};
    wild.tm_year = 2000000000; // a wild year costs no time and wraps modulo 2^32
    wild.tm_mday = 1;
    (void)tm_to_seconds(wild);
}

} // namespace
