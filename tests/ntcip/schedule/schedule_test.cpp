// The time-base schedule in the running firmware, on the virtual clock: the
// sign's clock is set to a local time, the schedule objects are written as a
// central system writes them, and what the schedule asks of the display is
// read from its request slot (the display's side of the slot comes later).
#include "comm/agents/ntcip_agents.h"
#include "display/message_codes.h"
#include "ntcip/clock/calendar.h"
#include "ntcip/schedule/schedule_task.h"
#include "platform/monitor/monitor.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/ntcip/schedule/request_slot.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace schedule_test;

const ULONG PASS = 50;
const ULONG SETTLED = 3 * PASS;          // a new time reaches the clock, then a pass evaluates
const uint32_t JAN_13_2027 = 1799798400; // Wednesday 2027-01-13 00:00 (local)
const uint32_t HOUR = 3600, MINUTE = 60;
const uint32_t ALL_MONTHS = 0x1FFE, JANUARY = 0x2;
const uint32_t ALL_DAYS = 0xFE;
const uint32_t ALL_DATES = 0xFFFFFFFE;
const uint8_t SCHEDULER = 9, CENTRAL = 8;

// Changeable message n (1..4) is valid, with CRC 0x1000 + n.
uint16_t crc_of(uint32_t n) {
    return uint16_t(0x1000 + n);
}

struct Entry {
    uint32_t number, months, days, dates, plan;
};
struct Event {
    uint32_t plan, number, hour, minute, action;
};

std::string action_oid(uint32_t action, uint32_t extra = 0) {
    std::vector<uint32_t> subids = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 8, 2, 1, 1, action};
    for (uint32_t i = 0; i < extra; i++)
        subids.push_back(7);
    std::string bytes;
    for (uint32_t s : subids) {
        bytes += char(s >> 24);
        bytes += char(s >> 16);
        bytes += char(s >> 8);
        bytes += char(s);
    }
    return bytes;
}

class ScheduleTest : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        FirmwareFixture::SetUp();
        ASSERT_EQ(DB_OK, db_set(obj::globalDaylightSaving, 2, DB_NOTIFY)); // none
        for (uint32_t n = 1; n <= 4; n++) {
            const uint32_t r = n - 1;
            const std::string text = "MESSAGE " + std::to_string(n);
            db_set_string(obj::changeableMsgMultiString.row(r), text.data(), uint32_t(text.size()),
                          DB_NO_VALIDATE);
            db_set(obj::changeableMsgCRC.row(r), crc_of(n), DB_NO_VALIDATE);
            db_set(obj::changeableMsgStatus.row(r), 4, DB_NO_VALIDATE);
            SetAction(n, id_code(3, uint16_t(n), crc_of(n)));
        }
        // The restart recovery's request is made and shown before the
        // scheduler's source mode is set.
        tx_thread_sleep(2 * SETTLED);
        watch_requests();
    }

    // The sign's local time becomes `local` (seconds), and the schedule
    // evaluates at least once.
    void At(uint32_t local) {
        db_set_time(local - uint32_t(db_get_signed(obj::controllerStandardTimeZone)), DB_NOTIFY);
        tx_thread_sleep(SETTLED);
    }
    void Scheduling(uint8_t mode = SCHEDULER) {
        db_set(obj::dmsMsgSourceMode, mode, DB_NO_VALIDATE);
    }
    void SetEntry(const Entry& e) {
        const uint32_t r = e.number - 1;
        db_set(obj::timeBaseScheduleMonth.row(r), e.months, DB_NOTIFY);
        db_set(obj::timeBaseScheduleDay.row(r), e.days, DB_NOTIFY);
        db_set(obj::timeBaseScheduleDate.row(r), e.dates, DB_NOTIFY);
        db_set(obj::timeBaseScheduleDayPlan.row(r), e.plan, DB_NOTIFY);
    }
    void SetEvent(const Event& e, const std::string& oid = "") {
        const uint32_t k = (e.plan - 1) * 24 + (e.number - 1);
        db_set(obj::dayPlanHour.row(k), e.hour, DB_NOTIFY);
        db_set(obj::dayPlanMinute.row(k), e.minute, DB_NOTIFY);
        const std::string value = oid.empty() ? action_oid(e.action) : oid;
        db_set_string(obj::dayPlanActionNumberOID.row(k), value.data(), uint32_t(value.size()),
                      DB_NOTIFY);
    }
    void SetAction(uint32_t n, const std::string& code) {
        db_set_string(obj::dmsActionMsgCode.row(n - 1), code.data(), uint32_t(code.size()),
                      DB_NOTIFY);
    }

    static void ExpectBlank(const Request& r) {
        ASSERT_TRUE(r.made);
        EXPECT_EQ(SCHEDULER, r.state);
        EXPECT_EQ(7, r.code.m_memoryType);
        EXPECT_EQ(255, r.code.m_messageNumber);
        EXPECT_EQ(0, r.code.m_messageCRC);
        EXPECT_EQ(65535, r.code.m_duration);
        EXPECT_EQ(255, r.code.m_priority);
    }
    static void ExpectMessage(const Request& r, uint32_t n) {
        ASSERT_TRUE(r.made) << "no request for message " << n;
        EXPECT_EQ(SCHEDULER, r.state);
        EXPECT_EQ(3, r.code.m_memoryType);
        EXPECT_EQ(n, r.code.m_messageNumber);
        EXPECT_EQ(crc_of(n), r.code.m_messageCRC);
        EXPECT_EQ(65535, r.code.m_duration);
        EXPECT_EQ(255, r.code.m_priority);
        const uint8_t loopback[4] = {127, 0, 0, 1};
        EXPECT_EQ(0, memcmp(loopback, r.code.m_sourceAddress, 4));
    }
};

// ---- entry and event choice ----

struct ChoiceCase {
    const char* name;
    std::vector<Entry> entries;
    std::vector<Event> events;
    uint32_t local;
    uint32_t entry, event, message; // in effect, and the message requested
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class ScheduleChoice : public ScheduleTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(ScheduleChoice, TheEntryAndEventInEffectAreRequested) {
    const ChoiceCase& c = GetParam();
    for (const Entry& e : c.entries)
        SetEntry(e);
    for (const Event& e : c.events)
        SetEvent(e);
    At(c.local);
    Scheduling();
    tx_thread_sleep(SETTLED);
    ExpectMessage(take_request(), c.message);
    EXPECT_EQ(c.entry, db_get(obj::timeBaseScheduleTableStatus));
    EXPECT_EQ(c.event, db_get(obj::dayPlanStatus));
    EXPECT_EQ("MESSAGE " + std::to_string(c.message),
              std::string(db_get_string(obj::scheduleMsgMultiString)));
    EXPECT_EQ(crc_of(c.message), db_get(obj::scheduleMsgCRC));
}

const ChoiceCase kChoices[] = {
    {"JanuaryBeatsAllMonthsLaterInTheTable",
     {{1, ALL_MONTHS, ALL_DAYS, ALL_DATES, 1}, {2, JANUARY, ALL_DAYS, ALL_DATES, 2}},
     {{1, 1, 0, 0, 1}, {2, 1, 0, 0, 2}},
     JAN_13_2027 + 12 * HOUR,
     2,
     1,
     2},
    {"FewerDatesBeatMoreMonths",
     {{1, JANUARY, ALL_DAYS, ALL_DATES, 1}, {2, ALL_MONTHS, ALL_DAYS, 1u << 13, 2}},
     {{1, 1, 0, 0, 1}, {2, 1, 0, 0, 2}},
     JAN_13_2027 + 12 * HOUR,
     2,
     1,
     2},
    {"AfterMidnightYesterdaysEveningEventRunsOn",
     {{1, ALL_MONTHS, ALL_DAYS, 1u << 13, 1}, {2, ALL_MONTHS, ALL_DAYS, 1u << 12, 2}},
     {{1, 1, 6, 0, 1}, {2, 1, 8, 0, 2}, {2, 3, 22, 0, 3}},
     JAN_13_2027 + 30 * MINUTE,
     2,
     3,
     3},
    {"AtTwoPmTheLastOfTheEarlierHourWins",
     {{1, ALL_MONTHS, ALL_DAYS, ALL_DATES, 1}},
     {{1, 1, 10, 45, 1}, {1, 2, 10, 15, 2}},
     JAN_13_2027 + 14 * HOUR,
     1,
     2,
     2},
    {"WithinTheHourTheLatestMinuteWins",
     {{1, ALL_MONTHS, ALL_DAYS, ALL_DATES, 1}},
     {{1, 1, 10, 20, 1}, {1, 2, 10, 15, 2}, {1, 3, 10, 40, 3}},
     JAN_13_2027 + 10 * HOUR + 30 * MINUTE,
     1,
     1,
     1},
};

INSTANTIATE_TEST_SUITE_P(Cases, ScheduleChoice, ::testing::ValuesIn(kChoices),
                         [](const ::testing::TestParamInfo<ChoiceCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- the request's life ----

TEST_F(ScheduleTest, AZeroCrcTakesTheMessagesCrcAndIsNotRequestedAgain) {
    SetEntry({1, ALL_MONTHS, ALL_DAYS, ALL_DATES, 1});
    SetEvent({1, 1, 0, 0, 4});
    SetAction(4, id_code(3, 4, 0));
    Scheduling();
    At(JAN_13_2027 + HOUR);
    ExpectMessage(take_request(), 4);
    tx_thread_sleep(4 * PASS);
    EXPECT_FALSE(take_request().made);
}

TEST_F(ScheduleTest, WithNothingScheduledTheBlankIsRequestedOnceUntilAnEventComesDue) {
    Scheduling();
    At(JAN_13_2027 + 8 * HOUR);
    ExpectBlank(take_request());
    EXPECT_EQ(4u, db_get(obj::scheduleMsgStatus));
    EXPECT_EQ(0u, db_get(obj::scheduleMsgCRC));
    tx_thread_sleep(4 * PASS);
    EXPECT_FALSE(take_request().made);

    // An entry matches, its first event is not due yet: one blank again.
    SetEntry({1, ALL_MONTHS, ALL_DAYS, 1u << 13, 1});
    SetEvent({1, 1, 9, 0, 1});
    tx_thread_sleep(SETTLED);
    ExpectBlank(take_request());
    tx_thread_sleep(4 * PASS);
    EXPECT_FALSE(take_request().made);

    At(JAN_13_2027 + 9 * HOUR);
    ExpectMessage(take_request(), 1);
    EXPECT_EQ(1u, db_get(obj::timeBaseScheduleTableStatus));
}

TEST_F(ScheduleTest, AnotherSourceEndsSchedulingAndALetterStartsItAgain) {
    SetEntry({1, ALL_MONTHS, ALL_DAYS, ALL_DATES, 1});
    SetEvent({1, 1, 0, 0, 1});
    Scheduling();
    At(JAN_13_2027 + HOUR);
    ExpectMessage(take_request(), 1);
    EXPECT_EQ(1u, db_get(obj::timeBaseScheduleTableStatus));

    Scheduling(CENTRAL);
    tx_thread_sleep(SETTLED);
    EXPECT_EQ(0u, db_get(obj::timeBaseScheduleTableStatus));
    EXPECT_FALSE(take_request().made);

    // The schedule message was activated: the schedule asks for the blank
    // with its own source mode, and, once shown, for the event's message.
    the_post_office().post(LETTER_SCHEDULED_MESSAGE_ACTIVATED);
    tx_thread_sleep(2 * PASS);
    ExpectBlank(take_request());
    Scheduling(); // as the display does once it shows the blank
    tx_thread_sleep(2 * PASS);
    ExpectMessage(take_request(), 1);
}

TEST_F(ScheduleTest, TheCentralHostFollowsItsAddressAndPortAndTheTrapConnectionItsLetters) {
    db_set(obj::halvRemoteIPAddress, 0x0A010203, DB_NOTIFY);
    db_set(obj::halvRemoteIPPort, 1162, DB_NOTIFY);
    tx_thread_sleep(2 * PASS);
    EXPECT_EQ(0x0A010203u, TheNTCIP_IP().central_address);
    EXPECT_EQ(10, TheNTCIP_IP().central_bytes[0]);
    EXPECT_EQ(3, TheNTCIP_IP().central_bytes[3]);
    EXPECT_EQ(1162, TheNTCIP_IP().central_trap_port);

    EXPECT_EQ(0, TheScheduleTask().TrapPortConnected());
    the_post_office().post(LETTER_TRAP_CONNECTION_OPENED);
    tx_thread_sleep(2 * PASS);
    EXPECT_EQ(1, TheScheduleTask().TrapPortConnected());
    the_post_office().post(LETTER_TRAP_CONNECTION_CLOSED);
    tx_thread_sleep(2 * PASS);
    EXPECT_EQ(0, TheScheduleTask().TrapPortConnected());
}

// ---- values from the store that name nothing ----

struct BadCase {
    const char* name;
    uint32_t plan;           // of entry 1
    std::string event_oid;   // of plan 1 (or plan `plan`) event 1
    std::string action_code; // of action 1
    bool blank;              // the "nothing due" blank is requested
    uint32_t message;        // else this message is requested (0: nothing)
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

class ScheduleBadValues : public ScheduleTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(ScheduleBadValues, NothingIsReadOutsideTheTables) {
    const BadCase& c = GetParam();
    db_set(obj::timeBaseScheduleTableStatus, 77, DB_NOTIFY);
    SetEntry({1, ALL_MONTHS, ALL_DAYS, ALL_DATES, c.plan});
    if (c.plan >= 1 && c.plan <= 20) SetEvent({c.plan, 1, 0, 0, 1}, c.event_oid);
    if (!c.action_code.empty() || c.message == 0) SetAction(1, c.action_code);
    Scheduling();
    At(JAN_13_2027 + HOUR);
    Request r = take_request();
    if (c.blank) {
        ExpectBlank(r);
    } else if (c.message) {
        ExpectMessage(r, c.message);
    } else {
        EXPECT_FALSE(r.made);
        EXPECT_EQ(77u, db_get(obj::timeBaseScheduleTableStatus));
    }
}

const BadCase kBadValues[] = {
    {"DayPlanZero", 0, "", "", true, 0},
    {"DayPlanTwentyOne", 21, "", "", true, 0},
    {"DayPlanTwoHundredFiftyFive", 255, "", "", true, 0},
    {"ActionZero", 1, action_oid(0), id_code(3, 1, crc_of(1)), false, 0},
    {"ActionTwoHundredFiftySix", 1, action_oid(256), id_code(3, 1, crc_of(1)), false, 0},
    {"ActionCodeOfFourOctets", 1, "", id_code(3, 1, crc_of(1)).substr(0, 4), false, 0},
    {"ActionCodeOfSixOctets", 1, "", id_code(3, 1, crc_of(1)) + "x", false, 0},
    {"ActionNeverWritten", 1, "", "", false, 0},
    {"ChangeableNumberZero", 1, "", id_code(3, 0, 0), false, 0},
    {"PermanentNumberZero", 1, "", id_code(2, 0, 0), false, 0},
    {"ChangeableNumberPastTheTable", 1, "", id_code(3, 551, 0), false, 0},
    {"AnotherMemoryType", 1, "", id_code(4, 1, 0), false, 0},
    {"AnInvalidMessage", 1, "", id_code(3, 9, 0), false, 0},
    {"AnOidOfFortySubidentifiers", 1, action_oid(1, 25), "", false, 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, ScheduleBadValues, ::testing::ValuesIn(kBadValues),
                         [](const ::testing::TestParamInfo<BadCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
