// The time-base schedule, day-plan and action table objects through the
// registry: instances at and past the tables' edges, the value checks, the
// schedule right of a community, and the store objects behind them.
#include "tests/ntcip/mib/mib_fixture.h"

#include <cstring>

using namespace mib_test;

namespace {

const Oid kNtcip = {1, 3, 6, 1, 4, 1, 1206};
Oid timebase(const Oid& rest) {
    return cat(cat(kNtcip, {4, 2, 6, 3, 3}), rest);
}
Oid entry(uint32_t column, uint32_t index) {
    return timebase({2, 1, column, index});
}
Oid event(uint32_t column, uint32_t plan, uint32_t number) {
    return timebase({5, 1, column, plan, number});
}
Oid action(uint32_t column, uint32_t n) {
    return cat(kNtcip, {4, 2, 3, 8, 2, 1, column, n});
}

constexpr uint32_t SCHEDULE_RIGHT = 0x00080000;

class ScheduleObjectsTest : public MibFixture {
  protected:
    Answer SetOid(const Oid& name, const Oid& value) {
        std::string bytes(4 * value.size(), '\0');
        std::memcpy(&bytes[0], value.data(), bytes.size());
        return SetOctets(name, bytes, SNMP_OBJECTID);
    }
};

TEST_F(ScheduleObjectsTest, ActionCodesAreFiveOctetsInTwoHundredFiftyFiveRows) {
    const std::string code("\x03\x00\x05\xEC\xF8", 5);
    EXPECT_EQ(255u, Get(cat(kNtcip, {4, 2, 3, 8, 1, 0})).number);
    EXPECT_EQ(255u, Get(action(1, 255)).number);

    Answer set = SetOctets(action(2, 255), code);
    EXPECT_EQ(MIB_FOUND, set.error);
    EXPECT_EQ(code, set.octets);
    EXPECT_EQ(code, Str(obj::dmsActionMsgCode.row(254)));

    EXPECT_EQ(MIB_NO_SUCH_NAME, SetOctets(action(2, 256), code).error);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(action(2, 0)).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(action(2, 1), code.substr(0, 4)).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(action(2, 1), code + "x").error);
    EXPECT_EQ("", Get(action(2, 7)).octets); // never written
    EXPECT_EQ(MIB_NO_SUCH_NAME, SetOctets(action(2, 1), code, SNMP_OCTETSTR, 0x1).error);
    EXPECT_EQ("", Str(obj::dmsActionMsgCode.row(0)));
}

TEST_F(ScheduleObjectsTest, ScheduleEntriesAndDayPlansHaveTheirEdges) {
    EXPECT_EQ(29u, Get(timebase({1, 0})).number);
    EXPECT_EQ(20u, Get(timebase({3, 0})).number);
    EXPECT_EQ(24u, Get(timebase({4, 0})).number);

    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(5, 30)).error);
    EXPECT_EQ(MIB_FOUND, SetNumber(entry(5, 29), SNMP_INTEGER, 7).error);
    EXPECT_EQ(7u, Get(entry(5, 29)).number);
    EXPECT_EQ(7u, db_get(obj::timeBaseScheduleDayPlan.row(28)));
    EXPECT_EQ(29u, Get(entry(1, 29)).number);
    EXPECT_EQ(MIB_FOUND, SetNumber(entry(4, 3), SNMP_INTEGER, 0xFFFFFFFEu).error);
    EXPECT_EQ(0xFFFFFFFEu, db_get(obj::timeBaseScheduleDate.row(2)));

    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(event(3, 21, 1)).error);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(event(3, 1, 25)).error);
    EXPECT_EQ(event(3, 2, 1), Next(event(3, 1, 24)).name);
    EXPECT_EQ(3u, Get(event(1, 3, 5)).number);
    EXPECT_EQ(5u, Get(event(2, 3, 5)).number);

    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(event(4, 1, 1), SNMP_INTEGER, 60).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(event(3, 1, 1), SNMP_INTEGER, 24).error);
    EXPECT_EQ(MIB_FOUND, SetNumber(event(4, 20, 24), SNMP_INTEGER, 59).error);
    EXPECT_EQ(59u, db_get(obj::dayPlanMinute.row(479)));

    // Plan 3 event 5 is row (3 - 1) * 24 + (5 - 1) of the day-plan columns.
    const Oid act = cat(kNtcip, {4, 2, 3, 8, 2, 1, 1, 12});
    EXPECT_EQ(MIB_FOUND, SetOid(event(5, 3, 5), act).error);
    std::string stored = Str(obj::dayPlanActionNumberOID.row(52));
    ASSERT_EQ(4 * act.size(), stored.size());
    EXPECT_EQ(std::string("\0\0\0\x0C", 4), stored.substr(stored.size() - 4));

    // The status objects are the schedule task's.
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(timebase({6, 0}), SNMP_INTEGER, 3).access);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(timebase({7, 0}), SNMP_INTEGER, 3).access);
    EXPECT_EQ(MIB_NO_SUCH_NAME, SetNumber(event(3, 1, 1), SNMP_INTEGER, 5, 0x1).error);
}

TEST_F(ScheduleObjectsTest, AWalkVisitsTheTimeBaseObjectsBetweenTheClockHalves) {
    std::vector<Oid> names = Walk(cat(kNtcip, {4, 2, 6, 3, 2, 0}), cat(kNtcip, {4, 2, 6, 3}), 5000);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(timebase({1, 0}), names.front());
    size_t entries = 0, events = 0;
    for (const Oid& n : names) {
        if (n.size() == 16 && n[12] == 2) entries++;
        if (n.size() == 17 && n[12] == 5) events++;
    }
    EXPECT_EQ(5u * 29, entries);
    EXPECT_EQ(5u * 480, events);
    EXPECT_EQ(cat(kNtcip, {4, 2, 6, 3, 4, 0}), Next(timebase({7, 0})).name);
}

} // namespace
