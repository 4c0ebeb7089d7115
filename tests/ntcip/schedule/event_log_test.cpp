// The event log on the virtual clock: configuration rows set through the
// registry as a central system sets them, passes every half second as the
// schedule task runs them, and the log, the class table and the trap read
// back. The watched values are MIB-II's ipReasmTimeout (an INTEGER of the
// volatile image) and the door status, served here by a small table.
#include "comm/agents/trap_raise.h"
#include "console/monitor_task.h"
#include "ntcip/mib/oid_text.h"
#include "ntcip/mib/registry.h"
#include "ntcip/schedule/event_log.h"
#include "runtime/letter_codes.h"
#include "tests/ntcip/mib/mib_fixture.h"
#include "tests/support/firmware_fixture.h"

#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

using namespace mib_test;

namespace {

const Oid kEventLog = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 4};
Oid event_object(const Oid& rest) {
    return cat(kEventLog, rest);
}
Oid config(uint32_t column, uint32_t row) {
    return event_object({2, 1, column, row});
}
Oid class_column(uint32_t column, uint32_t c) {
    return event_object({6, 1, column, c});
}
Oid log_column(uint32_t column, uint32_t c, uint32_t n) {
    return event_object({4, 1, column, c, n});
}
const Oid kMaxEventClasses = event_object({5, 0});

const Oid kWatched = mib2({4, 13, 0}); // ipReasmTimeout
const Oid kDoor = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 6, 0};

enum Mode : uint32_t {
    ON_CHANGE = 2,
    GREATER = 3,
    SMALLER = 4,
    HYSTERESIS = 5,
    PERIODIC = 6,
    ANDED = 7,
};

constexpr auto kDoorRows =
    mibdef::under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3},
                  {mibdef::scalar({9, 6, 0}, MIB_INTEGER, obj::dmsStatDoorOpen)});
const mib_table kDoorTable = mibdef::table(kDoorRows);
const mib_table* const kDms[] = {&kDoorTable};

struct Trap {
    uint32_t generic, specific;
    Oid first, second;
    std::string location;
    uint32_t time;
};
std::vector<Trap> g_traps;
bool g_poll_time_exceeded = false;

void record_trap(uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind* vb) {
    Trap t{generic, specific, {}, {}, {}, 0};
    if (count == 2) {
        t.first.assign(vb[0].name, vb[0].name + vb[0].name_length);
        t.second.assign(vb[1].name, vb[1].name + vb[1].name_length);
        t.location.assign(reinterpret_cast<const char*>(vb[0].value), vb[0].value_length);
        std::memcpy(&t.time, vb[1].value, 4);
    }
    g_traps.push_back(t);
}

class EventLogTest : public MibFixture {
  protected:
    void SetUp() override {
        MibFixture::SetUp();
        for (uint32_t s = 0; s < MIB_SUBTREES; ++s)
            if (std::string(mib_subtree_records()[s].label) == "dms")
                mib_set_subtree_tables(s, kDms, 1);
        the_event_log_links() = {[] { return g_poll_time_exceeded; }};
        set_trap_sink(record_trap);
        db_set_time(1700000000u, 0); // a sign's clock (0 would mark a logged row empty)
        log.reset(new CEventLogging);
    }

    Answer SetOid(const Oid& name, const Oid& value) {
        snmp_varbind& vb = pdu->varbinds[0];
        vb.syntax = SNMP_OBJECTID;
        vb.value_length = uint32_t(4 * value.size());
        std::memcpy(vb.value, value.data(), 4 * value.size());
        return SetStaged(name, MIB_ALL_RIGHTS);
    }
    void SetInt(const Oid& name, uint32_t value, uint16_t syntax = SNMP_INTEGER) {
        Answer a = SetNumber(name, syntax, value);
        ASSERT_EQ(MIB_FOUND, a.error);
        ASSERT_EQ(0u, a.error_status);
    }

    // Configuration row `row` as a central system sets it; the class gets
    // room for `limit` rows. The logged object is the watched one.
    void Configure(uint32_t row, uint32_t event_class, uint32_t mode, int32_t cv, int32_t cv2,
                   const Oid& watched = kWatched, uint32_t limit = 20) {
        SetInt(config(2, row), event_class);
        SetInt(config(3, row), mode);
        SetInt(config(4, row), uint32_t(cv));
        SetInt(config(5, row), uint32_t(cv2));
        ASSERT_EQ(MIB_FOUND, SetOid(config(6, row), watched).error);
        ASSERT_EQ(MIB_FOUND, SetOid(config(7, row), watched).error);
        SetInt(config(8, row), 3);
        if (event_class >= 1 && event_class <= 16) SetInt(class_column(2, event_class), limit);
    }
    void SetWatched(int32_t value) { db_set(obj::ipReasmTimeout, uint32_t(value), DB_NOTIFY); }

    // n passes, half a second apart, as the schedule task runs them.
    void Passes(uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            log->Service();
            tx_thread_sleep(50);
        }
    }
    static uint32_t Rows(uint32_t c) { return db_get(obj::eventClassNumRowsInLog.row(c - 1)); }
    static uint32_t LogTime(uint32_t c, uint32_t n) {
        return db_get(obj::eventLogTime.row((c - 1) * 255 + n - 1));
    }
    static uint32_t LogID(uint32_t c, uint32_t n) {
        return db_get(obj::eventLogID.row((c - 1) * 255 + n - 1));
    }
    static std::string LogValue(uint32_t c, uint32_t n) {
        return Str(obj::eventLogValue.row((c - 1) * 255 + n - 1));
    }
    // A stored row as an earlier event left it.
    static void PutRow(uint32_t c, uint32_t n, uint32_t id, uint32_t time) {
        const uint32_t k = (c - 1) * 255 + n - 1;
        db_set(obj::eventLogID.row(k), id, DB_NOTIFY);
        db_set(obj::eventLogTime.row(k), time, DB_NOTIFY);
        const uint8_t value[] = {0x02, 0x01, uint8_t(id)};
        db_set_string(obj::eventLogValue.row(k), value, 3, DB_NOTIFY);
    }
    static std::vector<uint32_t> Times(uint32_t c, uint32_t rows) {
        std::vector<uint32_t> out;
        for (uint32_t n = 1; n <= rows; ++n)
            out.push_back(LogTime(c, n));
        return out;
    }

    std::unique_ptr<CEventLogging> log;
};

TEST_F(EventLogTest, TheDoorRowIsQuietAtStartThenRecordsItsFirstValueThenLogsChanges) {
    Configure(1, 1, ON_CHANGE, 0, 0, kDoor);
    Configure(2, 2, ON_CHANGE, 0, 0);
    db_set(obj::dmsStatDoorOpen, 0, 0);
    SetWatched(5);
    Passes(1);
    EXPECT_EQ(1u, log->State(1).armed) << "the door row waits";
    EXPECT_EQ(0u, log->State(2).armed) << "a row on another object records at once";
    EXPECT_EQ(5u, log->State(2).prior);

    db_set(obj::dmsStatDoorOpen, 1, 0); // a change while it waits logs nothing
    Passes(58);
    EXPECT_EQ(1u, log->State(1).armed);
    EXPECT_EQ(0u, Rows(1));

    Passes(1); // the 60th pass: the first value is recorded, not logged
    EXPECT_EQ(0u, log->State(1).armed);
    EXPECT_EQ(1u, log->State(1).prior);
    EXPECT_EQ(0u, Rows(1));

    db_set(obj::dmsStatDoorOpen, 0, 0);
    Passes(3);
    ASSERT_EQ(1u, Rows(1));
    EXPECT_EQ(1u, LogID(1, 1));
    EXPECT_EQ(std::string("\x02\x01\x00", 3), LogValue(1, 1));
    EXPECT_EQ(1u, db_get(obj::numEvents));
    EXPECT_EQ(1u, db_get(obj::eventClassNumEvents.row(0)));
    SetWatched(6);
    Passes(1);
    EXPECT_EQ(1u, Rows(2));
    EXPECT_EQ("\x02\x01\x06", LogValue(2, 1));
    EXPECT_EQ(2u, db_get(obj::numEvents));
}

// Modes 3, 4 and 7: the condition must hold for CV2 tenths of a second; one
// event per excursion, and the row is armed again when the condition ends.
TEST_F(EventLogTest, TimedConditionsLogOncePerExcursion) {
    const struct {
        uint32_t mode;
        int32_t cv;
        int32_t holds, ends;
    } cases[] = {
        {GREATER, 40, 41, 40},
        {SMALLER, 40, 39, 40},
        {ANDED, 0x4, 0x6, 0x3},
        {GREATER, -10, -9, -10}, // compared signed
    };
    uint32_t c = 1;
    for (const auto& k : cases) {
        SCOPED_TRACE(c);
        Configure(c, c, k.mode, k.cv, 600);
        SetWatched(k.holds);
        const uint32_t start = db_get_time();
        Passes(118);
        EXPECT_EQ(0u, Rows(c)) << "59 s";
        Passes(4);
        ASSERT_EQ(1u, Rows(c));
        EXPECT_EQ(start + 60, LogTime(c, 1));
        Passes(200);
        EXPECT_EQ(1u, Rows(c)) << "still the same excursion";

        SetWatched(k.ends);
        Passes(1);
        SetWatched(k.holds);
        Passes(122);
        EXPECT_EQ(2u, Rows(c)) << "a second excursion";
        SetInt(config(8, c), 1); // this row is done
        ++c;
    }
}

TEST_F(EventLogTest, HysteresisBandEitherWayRound) {
    Configure(1, 1, HYSTERESIS, 10, 20);
    Configure(2, 2, HYSTERESIS, 20, 10);
    // inside, leaves (log), still out, back on a bound (inside), below (log),
    // still below, inside, above (log)
    const int32_t values[] = {15, 21, 25, 20, 9, 8, 15, 21};
    const uint32_t expected[] = {0, 1, 1, 1, 2, 2, 2, 3};
    for (size_t i = 0; i < std::size(values); ++i) {
        SetWatched(values[i]);
        Passes(1);
        EXPECT_EQ(expected[i], Rows(1)) << values[i];
        EXPECT_EQ(expected[i], Rows(2)) << values[i];
    }
}

TEST_F(EventLogTest, PeriodicRowsLogEveryPeriodAndZeroLogsEveryPass) {
    Configure(1, 1, PERIODIC, 3600, 0);
    Configure(2, 2, PERIODIC, 0, 0);
    const uint32_t start = db_get_time();
    Passes(10);
    EXPECT_EQ(10u, Rows(2));
    SetInt(config(8, 2), 1);
    Passes(2 * 7300 - 10);
    ASSERT_EQ(2u, Rows(1));
    EXPECT_EQ(start + 3600, LogTime(1, 1));
    EXPECT_EQ(start + 7200, LogTime(1, 2));
}

TEST_F(EventLogTest, ValuesOfEveryKindAreLoggedInTheirEncoding) {
    const struct {
        Oid logged;
        std::function<void()> prepare;
        std::string expected;
    } cases[] = {
        {mib2({1, 5, 0}), [] { db_set_text(obj::sysName, "sign", DB_NOTIFY); },
         std::string("\x04\x04sign")},
        {mib2({4, 3, 0}), [] { db_set(obj::ipInReceives, 200, DB_NOTIFY); },
         std::string("\x41\x02\x00\xC8", 4)},
        {mib2({4, 13, 0}), [] { db_set(obj::ipReasmTimeout, uint32_t(-1), DB_NOTIFY); },
         std::string("\x02\x01\xFF")},
    };
    uint32_t c = 1;
    for (const auto& k : cases) {
        k.prepare();
        Configure(c, c, PERIODIC, 0, 0);
        ASSERT_EQ(MIB_FOUND, SetOid(config(7, c), k.logged).error);
        Passes(1);
        SetInt(config(8, c), 1);
        EXPECT_EQ(k.expected, LogValue(c, 1)) << c;
        ++c;
    }
}

TEST_F(EventLogTest, NearlyFullTrapOnceAndItsLatch) {
    db_set_text(obj::sysLocation, "Exit 12", DB_NOTIFY);
    Configure(1, 1, PERIODIC, 0, 0, kWatched, 10);
    Passes(8);
    EXPECT_TRUE(g_traps.empty()) << "8 of 10";
    Passes(1);
    ASSERT_EQ(1u, g_traps.size()) << "9 of 10";
    EXPECT_EQ(6u, g_traps[0].generic);
    EXPECT_EQ(17u, g_traps[0].specific);
    EXPECT_EQ(mib2({1, 6, 0}), g_traps[0].first);
    EXPECT_EQ("Exit 12", g_traps[0].location);
    EXPECT_EQ(Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0}), g_traps[0].second);
    EXPECT_NEAR(double(db_get_time()), double(g_traps[0].time), 1.0);
    EXPECT_EQ(1u, db_get(obj::fdotObj11_10));
    SetInt(config(8, 1), 1);
    Passes(20);
    EXPECT_EQ(1u, g_traps.size());

    // Clearing below 9 rows frees the latch; 9 rows again raise the trap again.
    SetInt(class_column(3, 1), LogTime(1, 2), SNMP_COUNTER);
    log->HandleLetter(LETTER_EVENT_CLASS_CLEAR_FIRST);
    Passes(1);
    EXPECT_LE(Rows(1), 7u);
    EXPECT_EQ(0u, db_get(obj::fdotObj11_10));
    SetInt(config(8, 1), 3);
    Passes(9 - Rows(1));
    EXPECT_EQ(2u, g_traps.size());
    SetInt(config(8, 1), 1);

    // A class of limit 1 is nearly full even when empty.
    SetInt(class_column(2, 1), 0);
    log->TrimAll();
    Passes(1);
    EXPECT_EQ(0u, db_get(obj::fdotObj11_10));
    SetInt(class_column(2, 2), 1);
    Passes(1);
    EXPECT_EQ(3u, g_traps.size());
}

TEST_F(EventLogTest, AFullClassDropsItsOldestRow) {
    Configure(1, 1, PERIODIC, 0, 0, kWatched, 3);
    SetInt(config(8, 1), 1);
    PutRow(1, 1, 7, 100);
    PutRow(1, 2, 8, 200);
    PutRow(1, 3, 9, 300);
    db_set(obj::eventClassNumRowsInLog.row(0), 3, DB_NOTIFY);
    SetInt(config(8, 1), 3);
    Passes(1);
    const uint32_t now = LogTime(1, 3);
    EXPECT_EQ(std::vector<uint32_t>({200, 300, now, 0}), Times(1, 4));
    EXPECT_NE(0u, now);
    EXPECT_EQ(8u, LogID(1, 1));
    EXPECT_EQ("\x02\x01\x09", LogValue(1, 2));
    EXPECT_EQ(1u, LogID(1, 3));
    EXPECT_EQ(3u, Rows(1));
}

TEST_F(EventLogTest, ClearTimeAndLowerLimitKeepTheNewestRowsFirst) {
    SetInt(class_column(2, 1), 5);
    SetInt(class_column(2, 2), 5);
    for (uint32_t n = 1; n <= 5; ++n) {
        PutRow(1, n, n, 100 * n);
        PutRow(2, n, n, 100 * n);
    }
    db_set(obj::eventClassNumRowsInLog.row(0), 5, DB_NOTIFY);
    db_set(obj::eventClassNumRowsInLog.row(1), 5, DB_NOTIFY);

    SetInt(class_column(3, 1), 200, SNMP_COUNTER);
    EXPECT_TRUE(log->HandleLetter(LETTER_EVENT_CLASS_CLEAR_FIRST));
    EXPECT_EQ(std::vector<uint32_t>({300, 400, 500, 0}), Times(1, 4));
    EXPECT_EQ(3u, LogID(1, 1));
    EXPECT_EQ("\x02\x01\x03", LogValue(1, 1));
    EXPECT_EQ(3u, Rows(1));

    SetInt(class_column(2, 2), 2);
    EXPECT_TRUE(log->HandleLetter(LETTER_EVENT_CLASS_LIMITS));
    EXPECT_EQ(std::vector<uint32_t>({400, 500, 0}), Times(2, 3));
    EXPECT_EQ(4u, LogID(2, 1));
    EXPECT_EQ(2u, Rows(2));
    EXPECT_EQ(std::vector<uint32_t>({300, 400, 500, 0}), Times(1, 4)) << "class 1 within its limit";

    // A count lower than the rows held (a power cut between the writes)
    // stops at 0 rather than wrapping to a full class.
    SetInt(class_column(2, 3), 5);
    PutRow(3, 1, 1, 100);
    PutRow(3, 2, 2, 200);
    db_set(obj::eventClassNumRowsInLog.row(2), 1, DB_NOTIFY);
    SetInt(class_column(3, 3), 1000, SNMP_COUNTER);
    EXPECT_TRUE(log->HandleLetter(LETTER_EVENT_CLASS_CLEAR_FIRST + 2));
    EXPECT_EQ(std::vector<uint32_t>({0, 0}), Times(3, 2));
    EXPECT_EQ(0u, Rows(3));
}

TEST_F(EventLogTest, NothingIsLoggedWhileThePollTimeIsExceeded) {
    Configure(1, 1, GREATER, 40, 20); // two seconds
    SetWatched(50);
    g_poll_time_exceeded = true;
    TheMonitorTask().SetTraceLevel(1);
    test_support::ClearConsole();
    Passes(10);
    EXPECT_EQ(0u, Rows(1));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                     "CEventLogging::Log: Logging Disabled by fdotDmsMaxPollTime"));
    EXPECT_EQ(0u, log->State(1).armed) << "the condition was still evaluated";
    g_poll_time_exceeded = false;
    Passes(10);
    EXPECT_EQ(0u, Rows(1)) << "the excursion went by unlogged";
    SetWatched(40);
    Passes(1);
    SetWatched(50);
    Passes(10);
    EXPECT_EQ(1u, Rows(1));
}

// Stored values the central system or the store can hold but that name no
// class log, no room or no usable OID: nothing is logged and nothing written
// outside the class's own rows.
TEST_F(EventLogTest, RowsWithoutAUsableClassOrOidLogNothing) {
    Configure(1, 17, PERIODIC, 0, 0);
    Configure(2, 1, PERIODIC, 0, 0);
    db_set(obj::eventConfigClass.row(1), 0, DB_NO_VALIDATE);
    Configure(3, 3, PERIODIC, 0, 0, kWatched, 0);
    Configure(4, 4, ON_CHANGE, 0, 0);
    Configure(5, 5, PERIODIC, 0, 0);
    Oid long_oid = kWatched;
    long_oid.resize(41, 1);
    std::vector<uint8_t> bytes(4 * long_oid.size() + 1); // and the NUL after
    oid_to_octets(bytes.data(), long_oid.data(), uint32_t(long_oid.size()));
    const uint32_t length = uint32_t(4 * long_oid.size());
    db_set_string(obj::eventConfigCompareOID.row(3), bytes.data(), length, DB_NO_VALIDATE);
    db_set_string(obj::eventConfigLogOID.row(4), bytes.data(), length, DB_NO_VALIDATE);
    test_support::ClearConsole();
    Passes(3);
    for (uint32_t c = 1; c <= 16; ++c)
        EXPECT_EQ(0u, Rows(c)) << c;
    EXPECT_EQ(0u, db_get(obj::numEvents));
    EXPECT_EQ(1u, log->State(4).armed) << "a compare OID of 41 sub-identifiers is never read";
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("CEventLogging::Log: noSuchObject"));
    // Unread values and unknown modes leave the row as it was.
    uint8_t error = 0;
    EXPECT_EQ(0u, log->processPppPDU(bytes.data(), length, &error));
    EXPECT_EQ(1, error);
}

TEST_F(EventLogTest, ByteValuesAreWatchedByTheirChecksum) {
    db_set_text(obj::sysName, "123456789", DB_NOTIFY);
    std::vector<uint8_t> name(4 * 9 + 1);
    Oid sys_name = mib2({1, 5, 0});
    oid_to_octets(name.data(), sys_name.data(), 9);
    uint8_t error = 1;
    // CRC-16/X.25 of "123456789" is 0x906E, stored byte-swapped.
    EXPECT_EQ(0x6E90u, log->processPppPDU(name.data(), 4 * 9, &error));
    EXPECT_EQ(0, error);
    Oid nothing = mib2({1, 99, 0});
    oid_to_octets(name.data(), nothing.data(), 9);
    log->processPppPDU(name.data(), 4 * 9, &error);
    EXPECT_EQ(1, error);
}

// Written above 16, maxEventClasses must not make the nearly-full check or
// the limit sum read the bytes after the 16 class limits (the first class's
// clear time lies there).
TEST_F(EventLogTest, MoreThanSixteenClassesCountOnlyTheSixteen) {
    SetInt(kMaxEventClasses, 255);
    SetInt(class_column(3, 1), 0x01000000u, SNMP_COUNTER); // a "limit" of 1 after class 16
    Passes(1);
    EXPECT_TRUE(g_traps.empty());
    EXPECT_EQ(0u, db_get(obj::fdotObj11_10));
    SetInt(class_column(3, 1), 0xFF000000u, SNMP_COUNTER);
    EXPECT_EQ(MIB_FOUND, SetNumber(class_column(2, 2), SNMP_INTEGER, 10).error);
    EXPECT_EQ(10u, db_get(obj::eventClassLimit.row(1)));
}

TEST_F(EventLogTest, ClassLimitsMayNotExceedTheLogSize) {
    for (uint32_t c = 1; c <= 16; ++c)
        SetInt(class_column(2, c), 15);
    EXPECT_EQ(MIB_FOUND, SetNumber(class_column(2, 3), SNMP_INTEGER, 30).error);
    EXPECT_EQ(30u, db_get(obj::eventClassLimit.row(2)));
    Answer refused = SetNumber(class_column(2, 3), SNMP_INTEGER, 31);
    EXPECT_EQ(MIB_NO_SUCH_NAME, refused.error);
    EXPECT_EQ(30u, db_get(obj::eventClassLimit.row(2)));
    SetInt(class_column(2, 3), 15);

    // Only classes below maxEventClasses count.
    SetInt(kMaxEventClasses, 4);
    EXPECT_EQ(MIB_FOUND, SetNumber(class_column(2, 1), SNMP_INTEGER, 210).error);
    EXPECT_EQ(MIB_NO_SUCH_NAME, SetNumber(class_column(2, 1), SNMP_INTEGER, 211).error);
}

TEST_F(EventLogTest, TheObjectsAsACentralSystemSeesThem) {
    SetInt(config(8, 7), 3);
    EXPECT_EQ(3u, Get(config(9, 7)).number) << "the status follows the action";
    EXPECT_EQ(7u, Get(config(1, 7)).number);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(config(3, 1), SNMP_INTEGER, 8).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(config(2, 1), SNMP_INTEGER, 0).error);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(config(9, 1), SNMP_INTEGER, 1).access);

    std::vector<Oid> walk = Walk(config(8, 60), event_object({2}));
    ASSERT_EQ(60u, walk.size());
    EXPECT_EQ(config(9, 1), walk.front());
    EXPECT_EQ(config(9, 60), walk.back());

    PutRow(16, 255, 42, 1000);
    const struct {
        Oid name;
        int error;
        uint32_t number;
    } reads[] = {
        {log_column(3, 16, 255), MIB_FOUND, 42},      {log_column(4, 16, 255), MIB_FOUND, 1000},
        {log_column(1, 16, 255), MIB_FOUND, 16},      {log_column(2, 16, 255), MIB_FOUND, 255},
        {log_column(4, 1, 255), MIB_FOUND, 0},        {log_column(3, 17, 1), MIB_NO_SUCH_NAME, 0},
        {log_column(3, 1, 256), MIB_NO_SUCH_NAME, 0}, {log_column(3, 0, 1), MIB_NO_SUCH_NAME, 0},
        {class_column(1, 16), MIB_FOUND, 16},         {event_object({1, 0}), MIB_FOUND, 60},
        {event_object({3, 0}), MIB_FOUND, 255},       {kMaxEventClasses, MIB_FOUND, 16},
    };
    for (const auto& r : reads) {
        Answer a = Get(r.name);
        EXPECT_EQ(r.error, a.error) << ::testing::PrintToString(r.name);
        if (r.error == MIB_FOUND) {
            EXPECT_EQ(r.number, a.number) << ::testing::PrintToString(r.name);
        }
    }
    Answer value = Get(log_column(5, 16, 255));
    EXPECT_EQ(MIB_OPAQUE, value.type);
    EXPECT_EQ("\x02\x01\x2A", value.octets);
}

} // namespace

namespace {

// The running sign: a central write of a clear time or of a class limit
// reaches the log through the schedule task's letters.
class EventLogInTheSign : public test_support::FirmwareFixture {
  protected:
    static int Set(const std::string& oid, uint32_t value) {
        return snmp_set_integer_by_oid_text(oid.c_str(), uint32_t(oid.size()), value,
                                            OID_TEXT_NOTIFY | OID_TEXT_VALIDATE, MIB_ALL_RIGHTS);
    }
    static void PutRow(uint32_t c, uint32_t n, uint32_t time) {
        const uint32_t k = (c - 1) * 255 + n - 1;
        db_set(obj::eventLogID.row(k), n, DB_NOTIFY);
        db_set(obj::eventLogTime.row(k), time, DB_NOTIFY);
    }
    static uint32_t Time(uint32_t c, uint32_t n) {
        return db_get(obj::eventLogTime.row((c - 1) * 255 + n - 1));
    }
};

TEST_F(EventLogInTheSign, ClearTimeAndLimitWritesReachTheLog) {
    const std::string classes = "1.3.6.1.4.1.1206.4.2.6.4.6.1.";
    tx_thread_sleep(1000); // the schedule task is past its first step
    ASSERT_EQ(1, Set(classes + "2.4", 5));
    ASSERT_EQ(1, Set(classes + "2.5", 5));
    for (uint32_t n = 1; n <= 5; ++n) {
        PutRow(4, n, 100 * n);
        PutRow(5, n, 100 * n);
    }
    db_set(obj::eventClassNumRowsInLog.row(3), 5, DB_NOTIFY);
    db_set(obj::eventClassNumRowsInLog.row(4), 5, DB_NOTIFY);

    ASSERT_EQ(1, Set(classes + "3.4", 200));
    ASSERT_EQ(1, Set(classes + "2.5", 2));
    tx_thread_sleep(100); // two schedule periods
    EXPECT_EQ(300u, Time(4, 1));
    EXPECT_EQ(0u, Time(4, 4));
    EXPECT_EQ(3u, db_get(obj::eventClassNumRowsInLog.row(3)));
    EXPECT_EQ(400u, Time(5, 1));
    EXPECT_EQ(500u, Time(5, 2));
    EXPECT_EQ(0u, Time(5, 3));
    EXPECT_EQ(2u, db_get(obj::eventClassNumRowsInLog.row(4)));
}

} // namespace
