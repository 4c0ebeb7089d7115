// Time management objects through the registry: global time, the
// daylight-saving value, the differential and the zone with the local time
// they shift, and the daylight-saving table that walks pass over.
#include "platform/monitor/monitor.h"
#include "tests/ntcip/mib/mib_fixture.h"

using namespace mib_test;

namespace {

const Oid kTime = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3};
Oid time_object(const Oid& rest) {
    return cat(kTime, rest);
}
const Oid kGlobalTime = time_object({1, 0});
const Oid kDaylightSaving = time_object({2, 0});
const Oid kDifferential = time_object({4, 0});
const Oid kZone = time_object({5, 0});
const Oid kLocalTime = time_object({6, 0});
const Oid kMaxEntries = time_object({7, 1, 0});
Oid dst(uint32_t column, uint32_t index) {
    return time_object({7, 2, 1, column, index});
}

class GlobalTimeTest : public MibFixture {};

TEST_F(GlobalTimeTest, GlobalTimeIsTheBoardCounter) {
    Answer set = SetNumber(kGlobalTime, SNMP_COUNTER, 1457855990u);
    ASSERT_EQ(MIB_FOUND, set.error);
    EXPECT_EQ(MIB_READ_WRITE, set.access);
    EXPECT_EQ(MIB_COUNTER, set.type);
    EXPECT_EQ(1457855990u, set.number); // read back
    tx_thread_sleep(200);
    EXPECT_EQ(1457855992u, Get(kGlobalTime).number);
    // Every 32-bit count is taken, the last one too.
    EXPECT_EQ(0xFFFFFFFFu, SetNumber(kGlobalTime, SNMP_COUNTER, 0xFFFFFFFFu).number);
    // An integer is not a counter; a community without time rights sees nothing.
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(kGlobalTime, SNMP_INTEGER, 5).error);
    EXPECT_EQ(MIB_NO_SUCH_NAME, SetNumber(kGlobalTime, SNMP_COUNTER, 5, 0x1).error);
}

TEST_F(GlobalTimeTest, ZoneAndDifferentialShiftTheLocalTimeAtOnce) {
    SetNumber(kGlobalTime, SNMP_COUNTER, 1467374400u);
    Answer zone = SetNumber(kZone, SNMP_INTEGER, uint32_t(-18000));
    ASSERT_EQ(MIB_FOUND, zone.error);
    EXPECT_EQ(uint32_t(-18000), zone.number);
    EXPECT_EQ(1467374400u - 18000, Get(kLocalTime).number);

    SetNumber(kDifferential, SNMP_INTEGER, 3600);
    EXPECT_EQ(3600u, Get(kDifferential).number);
    // The differential reads back as local time minus global time.
    db_set(obj::controllerLocalTime, db_get_time() - 7200, 0);
    EXPECT_EQ(uint32_t(-7200), Get(kDifferential).number);
    EXPECT_EQ(3600, db_get_signed(obj::globalLocalTimeDifferential));
}

TEST_F(GlobalTimeTest, ValueChecksAndStoreRefusals) {
    const struct {
        Oid name;
        uint32_t value;
        int error;
    } cases[] = {
        {kZone, 43201, MIB_BAD_VALUE},
        {kZone, uint32_t(-43200), MIB_FOUND},
        {kDifferential, uint32_t(-43201), MIB_BAD_VALUE},
        {kDaylightSaving, 21, MIB_BAD_VALUE},
        {kDaylightSaving, 0, MIB_BAD_VALUE},
        {dst(7, 2), 14, MIB_BAD_VALUE},
        {dst(2, 2), 14, MIB_FOUND},
        {dst(12, 1), 21601, MIB_BAD_VALUE},
        {dst(2, 11), 3, MIB_NO_SUCH_NAME},
        {dst(2, 0), 3, MIB_NO_SUCH_NAME},
    };
    const uint32_t daylight_saving = Get(kDaylightSaving).number;
    for (const auto& c : cases)
        EXPECT_EQ(c.error, SetNumber(c.name, SNMP_INTEGER, c.value).error) << c.value;
    EXPECT_EQ(-43200, db_get_signed(obj::controllerStandardTimeZone));
    EXPECT_EQ(14u, db_get(obj::dstBeginMonth.row(1)));
    // Row 2's begin month is only stored: the sign's daylight saving stays.
    EXPECT_EQ(daylight_saving, Get(kDaylightSaving).number);

    // The store refuses value 1 ("other"): the refusal is the response's error.
    Answer other = SetNumber(kDaylightSaving, SNMP_INTEGER, 1);
    EXPECT_EQ(MIB_FOUND, other.error);
    EXPECT_EQ(5u, other.error_status);
    Answer rule = SetNumber(kDaylightSaving, SNMP_INTEGER, 4);
    EXPECT_EQ(0u, rule.error_status);
    EXPECT_EQ(4u, rule.number);
    // Read-only objects stay as they were.
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(kMaxEntries, SNMP_INTEGER, 5).access);
    EXPECT_EQ(10u, Get(kMaxEntries).number);
}

// A central time write reaches the board's real-time clock as it is
// acknowledged, not only at the clock's next pass.
TEST_F(GlobalTimeTest, AGlobalTimeSetWritesTheBoardClockAtOnce) {
    ASSERT_EQ(0u, SetNumber(kGlobalTime, SNMP_COUNTER, 1457855990u).error_status);
    mon_tm board = {};
    ASSERT_EQ(0, mon_rtcread(&board));
    // 2016-03-13 07:59:50 UTC
    EXPECT_EQ(116, board.tm_year);
    EXPECT_EQ(2, board.tm_mon);
    EXPECT_EQ(13, board.tm_mday);
    EXPECT_EQ(7, board.tm_hour);
    EXPECT_EQ(59, board.tm_min);
    EXPECT_LE(50, board.tm_sec);
}

TEST_F(GlobalTimeTest, TheDaylightSavingTableIsServedByInstanceOnly) {
    EXPECT_EQ(3u, Get(dst(2, 1)).number);
    EXPECT_EQ(14u, Get(dst(2, 10)).number);
    EXPECT_EQ(7u, Get(dst(1, 7)).number); // the entry number is the index
    EXPECT_EQ(7200u, Get(dst(11, 1)).number);
    EXPECT_EQ(3600u, Get(dst(12, 1)).number);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(dst(2, 11)).error);
    EXPECT_EQ(MIB_FOUND, SetNumber(dst(6, 3), SNMP_INTEGER, 1500000000u).error);
    EXPECT_EQ(1500000000u, db_get(obj::dstBeginSecondsToTransition.row(2)));

    // A walk never enters the table (the time-base schedule objects between
    // the daylight-saving value and the differential are passed over here).
    std::vector<Oid> walked;
    for (const Oid& name : Walk(kGlobalTime, kTime, 5000))
        if (name[11] != 3) walked.push_back(name);
    EXPECT_EQ((std::vector<Oid>{kDaylightSaving, kDifferential, kZone, kLocalTime, kMaxEntries}),
              walked);
    EXPECT_EQ(kZone, Next(kDifferential).name);
}

} // namespace
