// The customer subtrees fdot, quorvel and panynj through the registry: their
// edge cases, the translated codes, the power-supply table bounded by the
// registered supplies, the three-index table stepped by GETNEXT, the restart
// command, the defaults at a start and a reset, and every second name
// reading and writing the very object of its twin.
#include "tests/ntcip/mib/mib_fixture.h"

#include "ntcip/objects/sign_groups.h"
#include "store/defaults_private.h"
#include "store/validate.h"

using namespace mib_test;

namespace {

const Oid kFdot = {1, 3, 6, 1, 4, 1, 1206, 3, 6, 11};
const Oid kQuorvel = {1, 3, 6, 1, 4, 1, 1206, 3, 16, 1};
const Oid kPanynj = {1, 3, 6, 1, 4, 1, 1206, 3, 32, 1};
const Oid kDms = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3};
const Oid kHalv = {1, 3, 6, 1, 4, 1, 1206, 3, 11};
Oid fdot(const Oid& rest) {
    return cat(kFdot, rest);
}
Oid quorvel(const Oid& rest) {
    return cat(kQuorvel, rest);
}
Oid panynj(const Oid& rest) {
    return cat(kPanynj, rest);
}
Oid dms(const Oid& rest) {
    return cat(kDms, rest);
}
Oid halv(const Oid& rest) {
    return cat(kHalv, rest);
}

constexpr uint32_t BAD_VALUE = 3;
const uint32_t NO_SUCH_NAME = uint32_t(MIB_NO_SUCH_NAME);
const uint32_t REFUSED = uint32_t(MIB_BAD_VALUE); // the registry's own check
constexpr uint32_t OK = 0;

class CustomerObjectsTest : public MibFixture {
  protected:
    uint32_t Number(const Oid& name) {
        Answer a = Get(name);
        EXPECT_EQ(MIB_FOUND, a.error) << ::testing::PrintToString(name);
        return a.number;
    }
    std::string Text(const Oid& name) {
        Answer a = Get(name);
        EXPECT_EQ(MIB_FOUND, a.error) << ::testing::PrintToString(name);
        return a.octets;
    }
    // What a start does to the volatile image.
    static void Start() { TheDatabase().InitVolatile(); }
};

// The edge cases of the three subtrees, each a SET (or none) then a GET.
TEST_F(CustomerObjectsTest, EdgeCasesOfTheSubtrees) {
    Put(obj::dmsPowerNumRows, 3);
    struct Case {
        const char* what;
        Oid name;
        bool set;
        uint32_t value;
        uint32_t set_result;
        uint32_t get_error; // of the GET after it
        uint32_t reads = 0;
    };
    const Case cases[] = {
        {"supply 50 served beyond the type check", fdot({3, 1, 2, 50}), false, 0, OK, 0, 1},
        {"supply 101 beyond the index maximum", fdot({3, 1, 2, 101}), false, 0, OK, NO_SUCH_NAME},
        {"supply 0", fdot({3, 1, 1, 0}), false, 0, OK, NO_SUCH_NAME},
        {"supply index", fdot({3, 1, 1, 100}), false, 0, OK, 0, 100},
        {"legibility threshold above 100", panynj({2, 0}), true, 101, REFUSED, 0, 0},
        {"legibility threshold 100", panynj({2, 0}), true, 100, OK, 0, 100},
        {"plain storage", quorvel({1, 2, 0}), true, 1, OK, 0, 1},
        {"plain storage out of check", quorvel({1, 2, 0}), true, 2, REFUSED, 0, 1},
        {"shut-off temperature 0", quorvel({1, 1, 0}), true, 0, OK, 0, 0},
        {"shut-off temperature the store refuses", quorvel({1, 1, 0}), true, 80, BAD_VALUE, 0, 0},
        {"five-row table, last row", quorvel({1, 5, 1, 2, 5}), false, 0, OK, 0, 1},
        {"five-row table, past it", quorvel({1, 5, 1, 2, 6}), false, 0, OK, NO_SUCH_NAME},
        {"a 4-byte object checked 0..65535", quorvel({1, 20, 2, 0}), true, 70000, REFUSED, 0, 0},
        {"three indexes, the last instance", quorvel({2, 8, 1, 4, 6, 5, 5}), false, 0, OK, 0, 0},
        {"three indexes, first past 6", quorvel({2, 8, 1, 4, 7, 1, 1}), false, 0, OK, NO_SUCH_NAME},
        {"three indexes, an index column", quorvel({2, 8, 1, 1, 3, 2, 4}), false, 0, OK, 0, 3},
        {"three indexes, the second index", quorvel({2, 8, 1, 2, 3, 2, 4}), false, 0, OK, 0, 2},
        {"three indexes, the third index", quorvel({2, 8, 1, 3, 3, 2, 4}), false, 0, OK, 0, 4},
        {"three indexes, two given", quorvel({2, 8, 1, 1, 3, 2}), false, 0, OK, NO_SUCH_NAME},
        {"three indexes, index 0", quorvel({2, 8, 1, 1, 3, 0, 4}), false, 0, OK, NO_SUCH_NAME},
        {"two indexes, the first", quorvel({2, 11, 1, 1, 4, 2}), false, 0, OK, 0, 4},
        {"two indexes, the second", quorvel({2, 11, 1, 2, 4, 2}), false, 0, OK, 0, 2},
        {"two indexes, past 5", quorvel({2, 11, 1, 3, 6, 1}), false, 0, OK, NO_SUCH_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.set) {
            EXPECT_EQ(c.set_result, SetResult(c.name, c.value));
        }
        Answer a = Get(c.name);
        EXPECT_EQ(c.get_error, a.error == MIB_FOUND ? 0u : uint32_t(a.error));
        if (a.error == MIB_FOUND) {
            EXPECT_EQ(c.reads, a.number);
        }
    }
}

TEST_F(CustomerObjectsTest, NegativeShutOffTemperatureIsRefusedNotStoredAsAHighOne) {
    ValidationServices limits;
    limits.critical_temp_low = [] { return int32_t(-40); };
    limits.critical_temp_high = [] { return int32_t(90); };
    set_validation_services(limits);
    Put(obj::halvShutOffTemp, 70);
    for (int32_t refused : {-5, -128, 128, 255}) {
        EXPECT_EQ(REFUSED, SetResult(fdot({4, 0}), uint32_t(refused))) << refused;
        EXPECT_EQ(70u, db_get(obj::halvShutOffTemp)) << refused;
    }
    EXPECT_EQ(OK, SetResult(fdot({4, 0}), 0));
    EXPECT_EQ(0u, db_get(obj::halvShutOffTemp));
    EXPECT_EQ(OK, SetResult(fdot({4, 0}), 85));
    EXPECT_EQ(85u, Number(fdot({4, 0})));
    EXPECT_EQ(BAD_VALUE, SetResult(fdot({4, 0}), 95)); // above the critical limit: the store's no
    EXPECT_EQ(85u, db_get(obj::halvShutOffTemp));
    set_validation_services(ValidationServices{});
    EXPECT_EQ(BAD_VALUE, SetResult(fdot({4, 0}), 80)); // limits 0 and 0: only 0 passes
}

// Stored codes served translated.
TEST_F(CustomerObjectsTest, TranslatedCodesFollowTheirMaps) {
    Put(obj::dmsPowerNumRows, 5);
    struct Case {
        DbObject object;
        uint32_t stored;
        Oid name;
        uint32_t reads;
    };
    const Case cases[] = {
        {obj::panynjObj1_4, 5, fdot({12, 0}), 3},
        {obj::panynjObj1_4, 7, fdot({12, 0}), 4},
        {obj::panynjObj1_4, 4, fdot({12, 0}), 1},
        {obj::panynjObj1_4, 4, panynj({4, 0}), 2},
        {obj::panynjObj1_4, 5, panynj({4, 0}), 3},
        {obj::panynjObj1_4, 7, panynj({4, 0}), 1},
        {obj::dmsPowerType.row(1), 6, fdot({3, 1, 2, 2}), 2},
        {obj::dmsPowerType.row(1), 5, fdot({3, 1, 2, 2}), 4},
        {obj::dmsPowerType.row(1), 3, fdot({3, 1, 2, 2}), 1},
        {obj::dmsPowerStatus.row(4), 2, fdot({3, 1, 5, 5}), 0},
        {obj::dmsPowerStatus.row(4), 4, fdot({3, 1, 5, 5}), 1},
        {obj::dmsPowerStatus.row(0), 2, quorvel({2, 9, 1, 5, 1}), 1},
        {obj::dmsPowerStatus.row(0), 3, quorvel({2, 9, 1, 5, 1}), 0},
        {obj::dmsClimateCtrlOnStatus.row(0), 1, quorvel({2, 3, 0}), 0},
        {obj::dmsClimateCtrlOnStatus.row(0), 0, quorvel({2, 3, 0}), 1},
        {obj::dmsClimateCtrlOnStatus.row(1), 0, quorvel({2, 4, 0}), 1},
        {obj::quorvelObj1_2_13, 2, quorvel({2, 13, 0}), 1},
        {obj::quorvelObj1_2_13, 1, quorvel({2, 13, 0}), 0},
        {obj::dmsTempSensorCurrentReading.row(1), 0xFB, quorvel({2, 1, 0}), uint32_t(-5)},
        {obj::dmsTempSensorCurrentReading.row(2), 0x80, quorvel({2, 2, 0}), uint32_t(-128)},
        {obj::dmsTempSensorCurrentReading.row(2), 0x7F, quorvel({2, 2, 0}), 127},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.name) + " stored " + std::to_string(c.stored));
        Put(c.object, c.stored);
        EXPECT_EQ(c.reads, Number(c.name));
    }
}

TEST_F(CustomerObjectsTest, SupplyRowsBeyondTheRegisteredOnesReadAsEmpty) {
    for (uint32_t r : {0u, 1u, 2u}) {
        Put(obj::dmsPowerType.row(r), 6);
        PutText(obj::dmsPowerDescription.row(r), "PS" + std::to_string(r + 1));
        Put(obj::dmsPowerVoltage.row(r), 2400 + r);
        Put(obj::dmsPowerStatus.row(r), 2);
    }
    Put(obj::dmsPowerNumRows, 2); // row 3 keeps stale bytes
    EXPECT_EQ(2u, Number(fdot({3, 1, 2, 2})));
    EXPECT_EQ("PS2", Text(fdot({3, 1, 3, 2})));
    EXPECT_EQ(2401u, Number(fdot({3, 1, 4, 2})));
    EXPECT_EQ(0u, Number(fdot({3, 1, 5, 2})));
    EXPECT_EQ(1u, Number(fdot({3, 1, 2, 3})));
    EXPECT_EQ("", Text(fdot({3, 1, 3, 3})));
    EXPECT_EQ(0u, Number(fdot({3, 1, 4, 3})));
    EXPECT_EQ(1u, Number(fdot({3, 1, 5, 3})));
    EXPECT_EQ(3u, Number(fdot({3, 1, 1, 3})));
    Put(obj::dmsPowerNumRows, 255); // more than the table names: still 100 rows, none beyond
    EXPECT_EQ("", Text(fdot({3, 1, 3, 100})));
    EXPECT_EQ(NO_SUCH_NAME, uint32_t(Get(fdot({3, 1, 3, 101})).error));
    EXPECT_EQ(255u, Number(fdot({2, 0})));
    EXPECT_EQ(255u, Number(quorvel({1, 4, 0})));
}

// A GETNEXT always moves past the name it gave, through the three indexes
// (last first), then on to the next column; a walk from the scalar before
// the table visits every instance.
TEST_F(CustomerObjectsTest, GetNextStepsThroughTheThreeIndexes) {
    const Oid column4 = quorvel({2, 8, 1, 4});
    struct Step {
        Oid from, to;
    };
    const Step steps[] = {
        {quorvel({2, 7, 0}), quorvel({2, 8, 1, 1, 1, 1, 1})},
        {cat(column4, {1, 1, 1}), cat(column4, {1, 1, 2})},
        {cat(column4, {1, 1, 5}), cat(column4, {1, 2, 1})},
        {cat(column4, {1, 5, 5}), cat(column4, {2, 1, 1})},
        {cat(column4, {6, 5, 5}), quorvel({2, 8, 1, 5, 1, 1, 1})},
        {cat(column4, {3, 2}), cat(column4, {3, 2, 1})},
        {cat(column4, {3, 9}), cat(column4, {4, 1, 1})},
        {cat(column4, {3, 0, 7}), cat(column4, {3, 1, 1})},
        {cat(column4, {3, 2, 4, 8}), cat(column4, {3, 2, 5})},
        {cat(column4, {7}), quorvel({2, 8, 1, 5, 1, 1, 1})},
        {quorvel({2, 8, 1, 6, 6, 5, 5}), quorvel({2, 9, 1, 1, 1})},
    };
    for (const Step& s : steps) {
        Answer a = Next(s.from);
        EXPECT_EQ(MIB_FOUND, a.error) << ::testing::PrintToString(s.from);
        EXPECT_EQ(s.to, a.name) << ::testing::PrintToString(s.from);
    }
    const std::vector<Oid> names = Walk(quorvel({2, 7, 0}), quorvel({2, 8}), 2000);
    ASSERT_EQ(6u * 150u, names.size());
    for (size_t i = 1; i < names.size(); ++i)
        ASSERT_LT(names[i - 1], names[i]);
}

TEST_F(CustomerObjectsTest, VolatileObjectsReturnToTheirDefaultsAtAStart) {
    EXPECT_EQ(OK, SetResult(quorvel({1, 2, 0}), 1));
    EXPECT_EQ(OK, Result(SetOctets(quorvel({2, 10, 0}), "abc")));
    EXPECT_EQ("abc", Text(quorvel({2, 10, 0})));
    PutText(obj::panynjObj1_3, "MSG01");
    PutText(obj::panynjObj1_7, "status");
    Put(obj::panynjObj1_5, 12);
    Start();
    EXPECT_EQ(0u, Number(quorvel({1, 2, 0})));
    EXPECT_EQ("", Text(quorvel({2, 10, 0})));
    EXPECT_EQ("", Text(panynj({3, 0})));
    EXPECT_EQ(std::string(1, '\0'), Text(panynj({7, 0})));
    EXPECT_EQ(0u, Number(panynj({5, 0})));
    EXPECT_EQ(MIB_COUNTER, Get(panynj({5, 0})).type);
}

TEST_F(CustomerObjectsTest, AFullResetRestoresThePixelLimitAPartialOneKeepsIt) {
    EXPECT_EQ(OK, SetResult(fdot({7, 0}), 40));
    EXPECT_EQ(OK, SetResult(fdot({5, 0}), 9));
    TheDatabase().SetDefaults(1);
    EXPECT_EQ(40u, Number(fdot({7, 0})));
    EXPECT_EQ(0u, Number(fdot({5, 0})));
    TheDatabase().SetDefaults(0);
    EXPECT_EQ(0xFFFFFFFFu, Number(fdot({7, 0})));
    EXPECT_EQ(3600u, Number(fdot({11, 0})));
}

uint32_t g_memory_clears = 0;

TEST_F(CustomerObjectsTest, RestartCommandRestartsOrClearsTheStoredDataFirst) {
    sign_control_set_memory_entry([] { ++g_memory_clears; });
    Put(obj::halvObj2_3, 1);
    for (uint32_t plain : {2u, 3u, 4u}) {
        Put(obj::dmsSWReset, 0);
        EXPECT_EQ(OK, SetResult(quorvel({1, 9, 0}), plain));
        EXPECT_EQ(1u, db_get(obj::dmsSWReset)) << plain;
        EXPECT_EQ(1u, Number(quorvel({1, 9, 0})));
    }
    EXPECT_EQ(0u, g_memory_clears);
    EXPECT_EQ(1u, db_get(obj::halvObj2_3));
    EXPECT_EQ(OK, SetResult(quorvel({1, 9, 0}), 1));
    EXPECT_EQ(3u, db_get(obj::halvObj2_3)); // the display deletes the stored data, then restarts
    EXPECT_EQ(1u, g_memory_clears);
    EXPECT_EQ(REFUSED, SetResult(quorvel({1, 9, 0}), 5));
    EXPECT_EQ(REFUSED, SetResult(quorvel({1, 9, 0}), 0));
    EXPECT_EQ(1u, g_memory_clears);
    sign_control_set_memory_entry(nullptr);
}

TEST_F(CustomerObjectsTest, WritesNeedTheRowsCommunityRight) {
    const uint32_t others = ~0x02000000u;
    EXPECT_EQ(NO_SUCH_NAME, SetResult(fdot({5, 0}), 7, others));
    EXPECT_EQ(0u, db_get(obj::fdotDmsMaxPollTime));
    EXPECT_EQ(OK, SetResult(fdot({5, 0}), 7, 0x02000000u));
    EXPECT_EQ(7u, db_get(obj::fdotDmsMaxPollTime));
    EXPECT_EQ(NO_SUCH_NAME, SetResult(panynj({1, 0}), 7, ~0x08000000u));
    EXPECT_EQ(NO_SUCH_NAME, SetResult(fdot({8, 0}), 7, ~0x20000000u));
    EXPECT_EQ(OK, SetResult(quorvel({1, 6, 0}), 7, 0)); // quorvel asks for no right
    for (const Oid& read_only : {quorvel({1, 4, 0}), quorvel({1, 20, 7, 0}), fdot({10, 0})}) {
        Answer a = SetNumber(read_only, SNMP_INTEGER, 1);
        EXPECT_EQ(MIB_READ_ONLY, a.access) << ::testing::PrintToString(read_only);
    }
    EXPECT_EQ(0u, db_get(obj::dmsPowerNumRows));
    EXPECT_EQ(0u, db_get(obj::fdotObj11_10));
}

// Every second name serves the very object of its twin: a SET through one
// name reads back through the other, both ways, and both names reach the
// same store object.
TEST_F(CustomerObjectsTest, EverySecondNameReadsAndWritesItsTwinsObject) {
    ValidationServices limits; // so that shut-off temperatures other than 0 pass
    limits.critical_temp_low = [] { return int32_t(-40); };
    limits.critical_temp_high = [] { return int32_t(90); };
    set_validation_services(limits);
    struct Pair {
        Oid alias, twin;
        DbObject object;
        uint32_t a, b;
    };
    const Pair pairs[] = {
        {fdot({4, 0}), halv({2, 4, 0}), obj::halvShutOffTemp, 60, 70},
        {quorvel({1, 1, 0}), halv({2, 4, 0}), obj::halvShutOffTemp, 65, 0},
        {panynj({2, 0}), halv({2, 14, 0}), obj::halvLegibilityRatioThreshold, 30, 90},
        {fdot({8, 0}), dms({6, 10, 0}), obj::dmsShortPowerLossTime, 45, 65535},
        {fdot({7, 0}), panynj({1, 0}), obj::fdotMaxNumPixelFailure, 7, 0xFFFFFFF0u},
        {quorvel({1, 3, 0}), fdot({7, 0}), obj::fdotMaxNumPixelFailure, 65535, 12},
    };
    for (const Pair& p : pairs) {
        SCOPED_TRACE(::testing::PrintToString(p.alias));
        EXPECT_EQ(OK, SetResult(p.alias, p.a));
        EXPECT_EQ(p.a, Number(p.twin));
        EXPECT_EQ(p.a, db_get(p.object));
        EXPECT_EQ(OK, SetResult(p.twin, p.b));
        EXPECT_EQ(p.b, Number(p.alias));
    }
    set_validation_services(ValidationServices{});

    // The recovery message, octets both ways.
    EXPECT_EQ(OK, Result(SetOctets(fdot({9, 0}), std::string("\x03\x00\x07\x12\x34", 5))));
    EXPECT_EQ(std::string("\x03\x00\x07\x12\x34", 5), Text(dms({6, 9, 0})));
    EXPECT_EQ(OK, Result(SetOctets(dms({6, 9, 0}), std::string("\x07\x00\x00\x00\x00", 5))));
    EXPECT_EQ(std::string("\x07\x00\x00\x00\x00", 5), Text(fdot({9, 0})));
    EXPECT_EQ(REFUSED, Result(SetOctets(fdot({9, 0}), "1234")));

    // Read-only second names show what the twin shows.
    Put(obj::dmsPowerNumRows, 4);
    PutText(obj::dmsPowerFailureStatusMap, std::string("\x0A\x00", 2));
    EXPECT_EQ(Text(dms({9, 7, 11, 0})), Text(fdot({1, 0})));
    EXPECT_EQ(Number(dms({9, 7, 12, 0})), Number(fdot({2, 0})));
    EXPECT_EQ(Number(dms({9, 7, 12, 0})), Number(quorvel({1, 4, 0})));
    EXPECT_EQ(4u, Number(quorvel({1, 4, 0})));
}

} // namespace
