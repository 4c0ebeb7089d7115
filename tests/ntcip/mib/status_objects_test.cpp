// The sign's status objects through the registry: the error summary and the
// test triggers, the failed pixels named by detection type and index, the
// module pixel texts, the component tables bounded by their counts, the
// MULTI field rows, the power figures and the zone temperatures hidden
// while no sensor of their zone is live.
#include "tests/ntcip/mib/mib_fixture.h"

#include "runtime/pools.h"
#include "tests/support/kernel_fixture.h"

using namespace mib_test;

namespace {

const Oid kStatus = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9};
Oid status(const Oid& rest) {
    return cat(kStatus, rest);
}
Oid error(uint32_t x) {
    return status({7, x, 0});
}
// A failed pixel's column c, detection type t, index i.
Oid failure(uint32_t c, uint32_t t, uint32_t i) {
    return status({7, 3, 1, c, t, i});
}

constexpr uint32_t TEST_MASK = 0x00100000;
constexpr uint32_t BAD_VALUE = 3;
constexpr uint32_t PIXEL_TEST_BIT = 0x200000;
const uint32_t NO_SUCH_NAME = uint32_t(MIB_NO_SUCH_NAME);

class StatusObjectsTest : public MibFixture {
  protected:
    int32_t Signed(const Oid& name) {
        Answer a = Get(name);
        EXPECT_EQ(MIB_FOUND, a.error);
        return int32_t(a.number);
    }
    bool Served(const Oid& name) { return Get(name).error == MIB_FOUND; }
    static uint32_t TakeDatabaseBits() {
        ULONG bits = 0;
        tx_event_flags_get(&database_event_flags(), 0xFFFFFFFFu, TX_OR_CLEAR, &bits, TX_NO_WAIT);
        return uint32_t(bits);
    }
};

TEST_F(StatusObjectsTest, FailureCountsAddUpAndNeverCountMoreThanTheStoreKeeps) {
    struct Case {
        uint32_t test, message, table_rows;
    };
    for (const Case& c :
         {Case{5, 3, 8}, Case{0, 0, 0}, Case{600, 2, 502}, Case{65535, 900, 1000}}) {
        Put(obj::dmsPixelFailureTestRows, c.test);
        Put(obj::dmsPixelFailureMessageRows, c.message);
        EXPECT_EQ(c.table_rows, Get(error(2)).number) << c.test << "+" << c.message;
        EXPECT_EQ(c.test, Get(error(19)).number);
        EXPECT_EQ(c.message, Get(error(20)).number);
    }
}

TEST_F(StatusObjectsTest, TemperaturesAndCriticalLimitsReadAsSignedBytes) {
    Put(obj::statError38, 0x80);
    Put(obj::statError37, 0x7F);
    Put(obj::tempMaxSignHousing, 0xE2);
    Put(obj::tempMinAmbient, 0x05);
    Put(obj::dmsTempSensorNumRows, 1);
    Put(obj::dmsTempSensorCurrentReading.row(0), 0xF6);
    EXPECT_EQ(-128, Signed(error(38)));
    EXPECT_EQ(127, Signed(error(37)));
    EXPECT_EQ(-30, Signed(status({9, 6, 0})));
    EXPECT_EQ(5, Signed(status({9, 3, 0})));
    EXPECT_EQ(-10, Signed(status({7, 36, 1, 3, 1})));
    EXPECT_EQ(-128, Signed(status({7, 36, 1, 5, 1}))); // the low warning's factory value
}

TEST_F(StatusObjectsTest, TestTriggersNeedTheTestRightAndTakeOnlyTheirValues) {
    TakeDatabaseBits();
    EXPECT_EQ(NO_SUCH_NAME, SetResult(error(4), 3, ~TEST_MASK));
    EXPECT_EQ(2u, db_get(obj::pixelTestActivation));
    EXPECT_EQ(0u, TakeDatabaseBits() & PIXEL_TEST_BIT);

    Answer started = SetNumber(error(4), SNMP_INTEGER, 3, TEST_MASK);
    EXPECT_EQ(0u, Result(started));
    EXPECT_EQ(3u, started.number);
    EXPECT_EQ(PIXEL_TEST_BIT, TakeDatabaseBits() & PIXEL_TEST_BIT) << "the display's pixel test";

    struct Case {
        uint32_t x, value, result;
    };
    for (const Case& c :
         {Case{4, 5, uint32_t(MIB_BAD_VALUE)}, Case{7, 3, 0}, Case{7, 4, uint32_t(MIB_BAD_VALUE)},
          Case{9, 3, 0}, Case{9, 0, uint32_t(MIB_BAD_VALUE)}, Case{7, 1, NO_SUCH_NAME}}) {
        const uint32_t mask = c.result == NO_SUCH_NAME ? ~TEST_MASK : MIB_ALL_RIGHTS;
        EXPECT_EQ(c.result, SetResult(error(c.x), c.value, mask)) << c.x << " := " << c.value;
    }
    EXPECT_EQ(3u, db_get(obj::lampTestActivation));
    EXPECT_EQ(3u, db_get(obj::fanTestActivation));
}

TEST_F(StatusObjectsTest, ReadOnlyObjectsAreAnsweredAsReadOnlyAndKeepTheirValues) {
    Put(obj::shortErrorStatus, 0x24);
    const Oid kReadOnly[] = {error(1),          error(2),         error(10),      error(12),
                             error(19),         error(38),        status({1, 0}), status({3, 0}),
                             status({8, 5, 0}), status({9, 1, 0})};
    for (const Oid& name : kReadOnly) {
        Answer a = SetNumber(name, SNMP_INTEGER, 7);
        EXPECT_EQ(MIB_FOUND, a.error) << ::testing::PrintToString(name);
        EXPECT_EQ(MIB_READ_ONLY, a.access) << ::testing::PrintToString(name);
    }
    EXPECT_EQ(0x24u, db_get(obj::shortErrorStatus));
    EXPECT_EQ(0x24u, Get(error(1)).number);
    EXPECT_EQ(MIB_READ_ONLY, SetOctets(error(5), "X").access);
    Answer stuck_on = Get(error(5));
    EXPECT_EQ(MIB_OCTETSTR, stuck_on.type);
    EXPECT_EQ("", stuck_on.octets);
    EXPECT_EQ(std::string(1, '\0'), Get(error(11)).octets); // no power supply failed
}

TEST_F(StatusObjectsTest, AFailedPixelIsNamedByATypeItsCountServesAndNothingElse) {
    Put(obj::dmsPixelFailureTestRows, 2);
    Put(obj::pixelFailureXLocation.row(501), 17);
    Put(obj::pixelFailureYLocation.row(501), 4);
    Put(obj::pixelFailureStatus.row(501), 9);
    EXPECT_EQ(17u, Get(failure(3, 2, 2)).number);
    EXPECT_EQ(4u, Get(failure(4, 2, 2)).number);
    EXPECT_EQ(9u, Get(failure(5, 2, 2)).number);
    EXPECT_EQ(2u, Get(failure(1, 2, 2)).number);
    EXPECT_EQ(2u, Get(failure(2, 2, 2)).number);

    // Type 1 keeps factory rows but is never served; the other names are
    // past a count, a maximum or the table.
    Put(obj::pixelFailureXLocation.row(1000), 99); // message-display failure 1
    Put(obj::dmsPixelFailureTestRows, 600);        // more than the store keeps
    for (const Oid& name :
         {failure(3, 1, 1), failure(1, 1, 1), failure(3, 2, 501), failure(3, 2, 0),
          failure(3, 3, 1), failure(3, 0, 1), failure(3, 4, 1), failure(3, 2, 65536),
          status({7, 3, 1, 3, 2}), status({7, 3, 1, 3, 2, 1, 1}), status({7, 3, 1, 6, 2, 1})})
        EXPECT_EQ(NO_SUCH_NAME, uint32_t(Get(name).error)) << ::testing::PrintToString(name);
    EXPECT_EQ(MIB_FOUND, Get(failure(3, 2, 500)).error);
    Put(obj::dmsPixelFailureMessageRows, 3);
    EXPECT_EQ(99u, Get(failure(3, 3, 1)).number);
    EXPECT_EQ(NO_SUCH_NAME, uint32_t(Get(failure(3, 1, 1)).error));
}

TEST_F(StatusObjectsTest, AWalkThroughTheFailuresVisitsEachTypesRowsThenTheNextColumn) {
    Put(obj::dmsPixelFailureTestRows, 2);
    struct Step {
        Oid from, to;
        uint32_t value;
    };
    const Step kNoMessageFailures[] = {
        {status({7, 3, 1, 1}), failure(1, 2, 1), 2},
        {status({7, 3}), failure(1, 2, 1), 2},
        {failure(1, 1, 7), failure(1, 2, 1), 2},
        {failure(1, 2, 1), failure(1, 2, 2), 2},
        {failure(1, 2, 2), failure(2, 2, 1), 1},
        {failure(2, 2, 2), failure(3, 2, 1), 1},
        {failure(5, 2, 2), error(4), 2},
        {failure(5, 9, 1), error(4), 2},
    };
    for (const Step& s : kNoMessageFailures) {
        Answer a = Next(s.from);
        EXPECT_EQ(s.to, a.name) << ::testing::PrintToString(s.from);
        EXPECT_EQ(s.value, a.number) << ::testing::PrintToString(s.from);
    }
    // With message-display failures the walk goes on with them.
    Put(obj::dmsPixelFailureMessageRows, 1);
    Put(obj::pixelFailureXLocation.row(1000), 33);
    EXPECT_EQ(failure(1, 3, 1), Next(failure(1, 2, 2)).name);
    EXPECT_EQ(3u, Next(failure(1, 2, 2)).number);
    EXPECT_EQ(failure(3, 3, 1), Next(failure(3, 2, 2)).name);
    EXPECT_EQ(33u, Next(failure(3, 2, 2)).number);
    EXPECT_EQ(error(4), Next(failure(5, 3, 1)).name);
    EXPECT_EQ(15u, Walk(status({7, 3}), status({7, 3})).size()); // 5 columns of 3 rows
    Put(obj::dmsPixelFailureTestRows, 0);
    EXPECT_EQ(failure(1, 3, 1), Next(status({7, 3, 1, 1})).name);
}

TEST_F(StatusObjectsTest, ElevenModulePixelTexts) {
    PutText(obj::dmsPixelStatus.row(10), "MODULE 11 OK");
    EXPECT_EQ("MODULE 11 OK", Get(status({7, 18, 1, 2, 11})).octets);
    EXPECT_EQ("", Get(status({7, 18, 1, 2, 1})).octets);
    EXPECT_EQ(NO_SUCH_NAME, uint32_t(Get(status({7, 18, 1, 2, 12})).error));
    EXPECT_EQ(NO_SUCH_NAME, uint32_t(Get(status({7, 18, 1, 2, 0})).error));
    test_support::ClearConsole();
    EXPECT_EQ(5u, Get(status({7, 18, 1, 1, 5})).number);
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                     "inside var_pixelFailureEntry: DMSPIXELSTATUSINDEX\n"));
    EXPECT_EQ(status({7, 18, 1, 2, 1}), Next(status({7, 18, 1, 1, 11})).name);
    EXPECT_EQ(error(19), Next(status({7, 18, 1, 2, 11})).name);
}

// Each component table: its arc, its count, the rows the store keeps and a
// column with a value to find.
struct ComponentCase {
    const char* label;
    uint32_t arc;
    DbObject count;
    uint32_t storage;
    uint32_t column;
    DbObject object;
    Oid after; // what follows the table
};
const ComponentCase kComponentCases[] = {
    {"power", 13, obj::dmsPowerNumRows, 300, 5, obj::dmsPowerVoltage, error(14)},
    {"climate", 17, obj::dmsClimateCtrlNumRows, 32, 4, obj::dmsClimateCtrlErrorStatus,
     status({7, 18, 1, 1, 1})},
    {"light", 30, obj::dmsLightSensorNumRows, 6, 3, obj::dmsLightSensorCurrentReading, error(31)},
    {"humidity", 33, obj::dmsHumiditySensorNumRows, 6, 3, obj::dmsHumiditySensorCurrentReading,
     error(34)},
    {"temperature", 36, obj::dmsTempSensorNumRows, 6, 8, obj::dmsTempSensorStatus, error(37)},
};

TEST_F(StatusObjectsTest, ComponentRowsExistUpToTheirCountAndNeverPastTheirTable) {
    for (const ComponentCase& c : kComponentCases) {
        SCOPED_TRACE(c.label);
        auto cell = [&](uint32_t column, uint32_t index) {
            return status({7, c.arc, 1, column, index});
        };
        EXPECT_FALSE(Served(cell(1, 1))) << "no row registered";
        EXPECT_EQ(c.after, Next(status({7, c.arc})).name);

        Put(c.count, 2);
        Put(c.object.row(1), 3);
        EXPECT_EQ(2u, Get(cell(1, 2)).number);
        EXPECT_EQ(3u, Get(cell(c.column, 2)).number);
        EXPECT_FALSE(Served(cell(c.column, 3)));
        EXPECT_FALSE(Served(cell(c.column, 0)));
        EXPECT_EQ(cell(2, 1), Next(cell(1, 2)).name);

        Put(c.count, 255); // more than some tables keep
        const uint32_t last = c.storage < 255 ? c.storage : 255;
        EXPECT_TRUE(Served(cell(c.column, last)));
        EXPECT_FALSE(Served(cell(c.column, last + 1)));
        EXPECT_EQ(last, Walk(status({7, c.arc, 1, 1}), status({7, c.arc, 1, 1}), 400).size());
        Put(c.count, 0);
    }
}

TEST_F(StatusObjectsTest, AClimateTestIsAskedPerRowAndFourIsRefusedByTheStore) {
    const Oid test = status({7, 17, 1, 6, 1});
    EXPECT_EQ(NO_SUCH_NAME, SetResult(test, 3)) << "no climate-control row yet";
    Put(obj::dmsClimateCtrlNumRows, 1);
    EXPECT_EQ(0u, SetResult(test, 3));
    EXPECT_EQ(3u, db_get(obj::dmsClimateCtrlTestActivation.row(0)));
    EXPECT_EQ(BAD_VALUE, SetResult(test, 4));
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(test, 1));
    EXPECT_EQ(NO_SUCH_NAME, SetResult(test, 2, ~TEST_MASK));
    EXPECT_EQ(3u, db_get(obj::dmsClimateCtrlTestActivation.row(0)));
    EXPECT_EQ(0u, SetResult(status({7, 17, 1, 8, 1}), 2));
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(status({7, 17, 1, 8, 1}), 10));
    EXPECT_EQ(2u, db_get(obj::dmsClimateCtrlType.row(0)));
}

TEST_F(StatusObjectsTest, MultiFieldRowsPowerFiguresAndTheTwoWritableSettings) {
    EXPECT_EQ("", Get(status({2, 1, 3, 11})).octets);
    EXPECT_EQ(11u, Get(status({2, 1, 2, 11})).number);
    EXPECT_EQ(11u, Get(status({2, 1, 1, 11})).number);
    EXPECT_EQ(NO_SUCH_NAME, uint32_t(Get(status({2, 1, 3, 12})).error));
    EXPECT_EQ(status({3, 0}), Next(status({2, 1, 3, 11})).name);
    EXPECT_EQ(120u, Get(status({8, 5, 0})).number);
    EXPECT_EQ(4u, Get(status({8, 6, 0})).number);
    EXPECT_EQ(MIB_COUNTER, Get(status({5, 0})).type);

    struct Case {
        Oid name;
        uint32_t value, mask, result;
    };
    const Case kSets[] = {
        {status({4, 0}), 65, MIB_ALL_RIGHTS, 0},
        {status({4, 0}), 256, MIB_ALL_RIGHTS, uint32_t(MIB_BAD_VALUE)},
        {status({4, 0}), 70, ~0x00004000u, NO_SUCH_NAME},
        {status({8, 2, 0}), 20, MIB_ALL_RIGHTS, 0},
        {status({8, 2, 0}), 101, MIB_ALL_RIGHTS, uint32_t(MIB_BAD_VALUE)},
    };
    for (const Case& c : kSets)
        EXPECT_EQ(c.result, SetResult(c.name, c.value, c.mask)) << c.value;
    EXPECT_EQ(65u, Get(status({4, 0})).number);
    EXPECT_EQ(65u, db_get(obj::dmsCurrentSpeedLimit));
    EXPECT_EQ(20u, Get(status({8, 2, 0})).number);
}

TEST_F(StatusObjectsTest, WithTheSensorFeatureZoneTemperaturesNeedALiveSensor) {
    const std::vector<Oid> all = {status({9, 1, 0}), status({9, 2, 0}), status({9, 3, 0}),
                                  status({9, 4, 0}), status({9, 5, 0}), status({9, 6, 0}),
                                  status({9, 7, 0}), status({9, 8, 0})};
    EXPECT_EQ(all, Walk(status({9}), status({9})));
    Put(obj::halvSpecialFeatureSet, db_get(obj::halvSpecialFeatureSet) | 0x1000);
    EXPECT_EQ(NO_SUCH_NAME, uint32_t(Get(status({9, 3, 0})).error));
    EXPECT_EQ(NO_SUCH_NAME, uint32_t(Get(status({9, 6, 0})).error));
    EXPECT_EQ((std::vector<Oid>{status({9, 7, 0}), status({9, 8, 0})}),
              Walk(status({8, 6, 0}), status({9})));
}

} // namespace
