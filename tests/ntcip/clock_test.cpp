// The clock peripheral in the running firmware, on the virtual clock: local
// time under the rules, central writes of the differential, the zone and the
// global time, the outage measured across a power cut, the file times of the
// flash, and the values a careless central system may write.
#include "ntcip/clock/calendar.h"
#include "ntcip/clock/clock.h"
#include "ntcip/mib/mib.h"
#include "ntcip/mib/oid_text.h"
#include "platform/monitor/monitor.h"
#include "startup/startup.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/ntcip/host_zone.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

using test_support::ClearConsole;
using test_support::ConsoleText;

const ULONG PASS = 50;                         // the peripheral task's pass, in ticks
const ULONG FIRST_POLL = 60;                   // the clock's first poll
const uint32_t JULY_2016_NOON = 1467374400;    // 2016-07-01 12:00:00 UTC
const uint32_t JANUARY_2016_NOON = 1452859200; // 2016-01-15 12:00:00 UTC

void set_board_clock(uint32_t utc) {
    struct tm date = {};
    seconds_to_tm(utc, &date);
    mon_tm record = {
        date.tm_sec, date.tm_min, date.tm_hour, date.tm_mday, date.tm_mon, date.tm_year, 0, 0, 0};
    ASSERT_EQ(0, mon_rtcwrite(&record));
}

uint32_t board_clock() {
    mon_tm record = {};
    mon_rtcread(&record);
    struct tm date = {};
    date.tm_sec = record.tm_sec, date.tm_min = record.tm_min, date.tm_hour = record.tm_hour;
    date.tm_mday = record.tm_mday, date.tm_mon = record.tm_mon, date.tm_year = record.tm_year;
    return tm_to_seconds(date);
}

struct tm local_date() {
    struct tm date = {};
    seconds_to_tm(db_get(obj::controllerLocalTime), &date);
    return date;
}

int32_t zone() {
    return db_get_signed(obj::controllerStandardTimeZone);
}

class ClockTest : public test_support::FirmwareFixture {
  protected:
    // The test body starts before the clock's first poll: the board clock
    // is set and the first poll has run when this returns.
    void StartAt(uint32_t utc, uint32_t daylight_saving) {
        set_board_clock(utc);
        if (db_get(obj::globalDaylightSaving) != daylight_saving) {
            ASSERT_EQ(DB_OK, db_set(obj::globalDaylightSaving, daylight_saving, DB_NOTIFY));
        }
        tx_thread_sleep(FIRST_POLL + 1);
    }
};

TEST_F(ClockTest, LocalTimeFollowsTheZoneAndTheRule) {
    const uint32_t flag = db_get(obj::quorvelObj1_2_13);
    StartAt(JULY_2016_NOON, 2);
    EXPECT_EQ(6, local_date().tm_hour);
    EXPECT_EQ(0, local_date().tm_min);
    EXPECT_EQ(flag, db_get(obj::quorvelObj1_2_13)); // no rule: the flag is not written

    db_set(obj::globalDaylightSaving, 3, DB_NOTIFY);
    tx_thread_sleep(PASS);
    EXPECT_EQ(7, local_date().tm_hour);
    EXPECT_EQ(2u, db_get(obj::quorvelObj1_2_13));
    // Another rule applies at the next poll, not at the weekly recompute:
    // rule 5 has daylight saving in winter.
    db_set(obj::globalDaylightSaving, 5, DB_NOTIFY);
    tx_thread_sleep(PASS);
    EXPECT_EQ(6, local_date().tm_hour);
    EXPECT_EQ(1u, db_get(obj::quorvelObj1_2_13));
    // The global time follows the board clock.
    EXPECT_LE(db_get_time() - JULY_2016_NOON, 1u);
}

TEST_F(ClockTest, FactorySettingsGiveCentralTimeWithItsDaylightSaving) {
    StartAt(JANUARY_2016_NOON, 1);
    EXPECT_EQ(6, local_date().tm_hour);
    EXPECT_EQ(1u, db_get(obj::quorvelObj1_2_13));
    EXPECT_EQ(3u, db_get(obj::dstBeginMonth.row(0)));
    EXPECT_EQ(11u, db_get(obj::dstEndMonth.row(0)));
}

TEST_F(ClockTest, ATableRowMarkedForResetTakesTheDefaultRule) {
    db_set(obj::dstBeginMonth.row(0), 15, DB_NO_VALIDATE);
    db_set(obj::dstEndMonth.row(0), 4, DB_NO_VALIDATE);
    db_set(obj::globalDaylightSaving, 20, DB_NO_VALIDATE);
    StartAt(JULY_2016_NOON, 20);
    EXPECT_EQ(3u, db_get(obj::dstBeginMonth.row(0)));
    EXPECT_EQ(11u, db_get(obj::dstEndMonth.row(0)));
    EXPECT_EQ(7, local_date().tm_hour);
}

TEST_F(ClockTest, ADifferentialWrittenCentrallyTakesEffectTwoPollsLater) {
    db_set(obj::controllerStandardTimeZone, uint32_t(-28800), DB_NOTIFY);
    StartAt(JULY_2016_NOON, 3);
    EXPECT_EQ(5, local_date().tm_hour); // Pacific daylight time

    db_set(obj::globalLocalTimeDifferential, uint32_t(-18000), DB_NOTIFY);
    tx_thread_sleep(PASS);
    EXPECT_EQ(-28800, zone());
    tx_thread_sleep(PASS);
    // The differential holds daylight saving: the standard zone is an hour less.
    EXPECT_EQ(-21600, zone());
    EXPECT_EQ(7, local_date().tm_hour);
    EXPECT_EQ(2u, db_get(obj::quorvelObj1_2_13));
}

TEST_F(ClockTest, AZoneWrittenCentrallyTakesEffect) {
    StartAt(JULY_2016_NOON, 3);
    db_set(obj::controllerStandardTimeZone, uint32_t(-18000), DB_NOTIFY);
    tx_thread_sleep(3 * PASS);
    EXPECT_EQ(-18000, zone());
    EXPECT_EQ(8, local_date().tm_hour);
}

TEST_F(ClockTest, ACentralTimeWriteSetsTheBoardClockAndTheWindow) {
    StartAt(JULY_2016_NOON, 3);
    ASSERT_EQ(DB_OK, db_set_time(JANUARY_2016_NOON, DB_NOTIFY));
    tx_thread_sleep(PASS);
    EXPECT_LE(board_clock() - JANUARY_2016_NOON, 1u);
    EXPECT_EQ(6, local_date().tm_hour); // standard time again
    EXPECT_EQ(15, local_date().tm_mday);
    EXPECT_EQ(1u, db_get(obj::quorvelObj1_2_13));
}

TEST_F(ClockTest, TheLastCountsOfGlobalTimeLeaveTheClockRunning) {
    StartAt(JULY_2016_NOON, 3);
    ASSERT_EQ(DB_OK, db_set_time(0xFFFFFFFFu, DB_NOTIFY));
    tx_thread_sleep(PASS);
    // Taken as the last covered second, 2105-12-31 23:59:59.
    EXPECT_LE(board_clock() - 4291747199u, 1u);
    struct tm date = local_date();
    EXPECT_EQ(205, date.tm_year);
    tx_thread_sleep(4 * PASS);
    CClock* clock = find_clock();
    ASSERT_NE(nullptr, clock);
    EXPECT_EQ(CPeripheral::STATE_VALID, clock->State());
    EXPECT_LE(db_get_time() - 4291747199u, 4u);
}

TEST_F(ClockTest, ADaylightSavingValueOutsideTheRangeKeepsTheLocalTime) {
    StartAt(JULY_2016_NOON, 3);
    const uint32_t local = db_get(obj::controllerLocalTime);
    db_set(obj::globalDaylightSaving, 21, DB_NO_VALIDATE);
    ClearConsole();
    tx_thread_sleep(2 * PASS);
    EXPECT_EQ(local, db_get(obj::controllerLocalTime));
    EXPECT_GE(db_get_time(), JULY_2016_NOON + 1); // UTC is still published
    EXPECT_NE(std::string::npos, ConsoleText().find("Clock DST Error\n"));
}

TEST_F(ClockTest, AnInvalidValueFoundAtStartBecomesRuleThree) {
    db_set(obj::globalDaylightSaving, 0, DB_NO_VALIDATE);
    tx_thread_sleep(FIRST_POLL + 1);
    EXPECT_EQ(3u, db_get(obj::globalDaylightSaving));
}

TEST_F(ClockTest, QueriesAnswerOnlyAfterTheFirstReading) {
    tx_thread_sleep(20); // created, not yet polled
    CClock* clock = find_clock();
    ASSERT_NE(nullptr, clock);
    uint32_t value = 0;
    struct tm date = {};
    EXPECT_EQ(0, clock->GetLocalTime(&value));
    EXPECT_EQ(0, clock->GetLocalDate(&date));
    EXPECT_EQ(0, clock->GetPowerLossDuration(&value));
    set_board_clock(JULY_2016_NOON);
    tx_thread_sleep(FIRST_POLL);
    ASSERT_EQ(1, clock->GetLocalDate(&date));
    EXPECT_EQ(116, date.tm_year);
    EXPECT_EQ(6, date.tm_mon);
    EXPECT_EQ(1, date.tm_mday);
}

TEST_F(ClockTest, FlashFilesCarryTheLocalTime) {
    StartAt(JULY_2016_NOON, 3);
    const uint32_t local = db_get(obj::controllerLocalTime);
    EXPECT_EQ(local, tfs_get_time());
    const unsigned char data[] = "x";
    ASSERT_EQ(0, mon_tfsadd("stamped", nullptr, nullptr, data, 1));
    EXPECT_EQ(local, tfs_file_time(mon_tfsstat("stamped")));

    char text[32] = "unchanged";
    EXPECT_STREQ("07/01/2016 07:00\n", tfs_format_time(local, text, 18));
    EXPECT_STREQ("", tfs_format_time(local, text, 17));
    std::strcpy(text, "unchanged");
    EXPECT_STREQ("", tfs_format_time(0xFFFFFFFFu, text, sizeof text));
}

// A central system's view through the registry, as an SNMP request sees it.
const char* const GLOBAL_TIME = "1.3.6.1.4.1.1206.4.2.6.3.1.0";
const char* const DIFFERENTIAL = "1.3.6.1.4.1.1206.4.2.6.3.4.0";
const char* const LOCAL_TIME = "1.3.6.1.4.1.1206.4.2.6.3.6.0";

uint32_t central_get(const char* oid) {
    uint32_t value = 0;
    EXPECT_EQ(1, snmp_get_integer_by_oid_text(oid, uint32_t(std::strlen(oid)), &value)) << oid;
    return value;
}

void central_set(const char* oid, uint32_t value) {
    EXPECT_EQ(1, snmp_set_integer_by_oid_text(oid, uint32_t(std::strlen(oid)), value,
                                              OID_TEXT_NOTIFY | OID_TEXT_VALIDATE, MIB_ALL_RIGHTS))
        << oid;
}

using zone_test::chicago_offset;

TEST_F(ClockTest, ACentralSystemSeesAndSetsTheSignsTime) {
    tx_thread_sleep(FIRST_POLL + 1);
    // A new sign runs on the host's time (behind it by the host seconds its
    // start took, the virtual clock standing still meanwhile), shown as US
    // Central time.
    const uint32_t global = central_get(GLOBAL_TIME);
    EXPECT_NEAR(double(std::time(nullptr)), double(global), 60.0);
    EXPECT_EQ(chicago_offset(time_t(global)), long(int32_t(central_get(LOCAL_TIME) - global)));

    central_set(GLOBAL_TIME, 1457855990u); // ten seconds before daylight saving starts
    tx_thread_sleep(PASS);
    EXPECT_LE(central_get(LOCAL_TIME) - 1457834390u, 1u);
    tx_thread_sleep(1500);
    EXPECT_EQ(1457838005u, central_get(LOCAL_TIME));
    EXPECT_EQ(uint32_t(-18000), central_get(DIFFERENTIAL));

    central_set(GLOBAL_TIME, 4294967295u);
    tx_thread_sleep(4 * PASS);
    EXPECT_LE(central_get(GLOBAL_TIME) - 4291747199u, 4u); // the sign still answers
}

// Power goes right after a central time write was acknowledged, before the
// clock's next pass: the board clock already holds the time written.
TEST(ClockPowerTest, AnAcknowledgedTimeWriteSurvivesACutRightAfterIt) {
    char pattern[] = "/tmp/clock-power-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const uint32_t written = 1893456000u; // 2030-01-01 00:00:00 UTC
    std::string error;
    ASSERT_TRUE(test_support::BootAfterPowerOff(
        dir,
        [written] {
            tx_thread_sleep(3 * PASS + FIRST_POLL + 1); // just after a pass
            central_set(GLOBAL_TIME, written);
        },
        0, error))
        << error;
    tx_thread_sleep(FIRST_POLL + 1);
    const uint32_t global = central_get(GLOBAL_TIME);
    EXPECT_GE(global, written);
    EXPECT_LE(global, written + 5u);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

TEST(ClockPowerTest, AnOutageIsMeasuredAgainstTheBoardClock) {
    char pattern[] = "/tmp/clock-power-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    std::string error;
    // The cut comes just after a poll of the first boot.
    ASSERT_TRUE(test_support::BootAfterPowerOff(
        dir, [] { tx_thread_sleep(3 * PASS + FIRST_POLL + 1); }, 600, error))
        << error;
    tx_thread_sleep(FIRST_POLL + 1);
    CClock* clock = find_clock();
    ASSERT_NE(nullptr, clock);
    uint32_t outage = 0;
    ASSERT_EQ(1, clock->GetPowerLossDuration(&outage));
    EXPECT_GE(outage, 600u);
    EXPECT_LE(outage, 601u); // the part of a second between the last poll and the cut
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
