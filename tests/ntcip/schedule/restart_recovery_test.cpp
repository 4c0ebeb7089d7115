// The restart recovery across a power cut and a requested restart: the
// traps raised, and the recovery or reset message asked of the display
// (read from its request slot; the display's side of the slot comes later).
#include "comm/agents/trap_raise.h"
#include "comm/snmp/snmp.h"
#include "display/message_codes.h"
#include "ntcip/mib/mib.h"
#include "ntcip/mib/oid_text.h"
#include "ntcip/schedule/schedule_task.h"
#include "platform/monitor/monitor_host.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/ntcip/schedule/request_slot.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace schedule_test;
using test_support::ConsoleText;

const ULONG RECOVERED = 300;  // the schedule's first step and its clock wait are over
const ULONG JOURNALLED = 300; // the journal is on and the settings are in flash

struct Trap {
    uint32_t generic, specific;
    std::vector<trap_varbind> varbinds;
};
std::vector<Trap> g_traps;

void record_trap(uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind* v) {
    g_traps.push_back({generic, specific, std::vector<trap_varbind>(v, v + count)});
}

void set_code(const DbObject& o, const std::string& bytes) {
    db_set_string(o, bytes.data(), uint32_t(bytes.size()), DB_NOTIFY | DB_NO_VALIDATE);
}

void save_activation(uint8_t type, uint16_t number, uint16_t crc) {
    CMsgActivationCode code;
    const uint8_t address[4] = {10, 0, 0, 9};
    code.Set(65535, 3, type, number, crc, address);
    db_set_string(obj::savedActivateMessage, code.Encoded(), 12, DB_NOTIFY);
}

class RestartRecovery : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/recovery-XXXXXX";
        dir_ = mkdtemp(pattern);
        g_traps.clear();
        set_trap_sink(record_trap);
        watch_requests();
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        set_schedule_request_observer(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    // A first boot runs `settings`, the board is off for `off` seconds, and
    // the firmware boots again in this process up to its recovery.
    void PowerCycle(const std::function<void()>& settings, uint32_t off) {
        std::string error;
        ASSERT_TRUE(test_support::BootAfterPowerOff(
            dir_,
            [&] {
                tx_thread_sleep(JOURNALLED);
                db_set(obj::dmsShortPowerLossTime, 60, DB_NOTIFY);
                set_code(obj::dmsShortPowerRecoveryMessage, id_code(3, 11, 0x1111));
                set_code(obj::dmsLongPowerRecoveryMessage, id_code(3, 12, 0x1212));
                set_code(obj::dmsResetMessage, id_code(3, 13, 0x1313));
                db_set_text(obj::sysLocation, "I-95 NB MILE 12", DB_NOTIFY);
                if (settings) settings();
                tx_thread_sleep(JOURNALLED);
            },
            off, error))
            << error;
        tx_thread_sleep(RECOVERED);
    }

    static void ExpectRequest(uint8_t mode, uint16_t duration, uint8_t type, uint16_t number,
                              uint16_t crc) {
        Request r = take_request();
        ASSERT_TRUE(r.made);
        EXPECT_EQ(mode, r.state);
        EXPECT_EQ(duration, r.code.m_duration);
        EXPECT_EQ(255, r.code.m_priority);
        EXPECT_EQ(type, r.code.m_memoryType);
        EXPECT_EQ(number, r.code.m_messageNumber);
        EXPECT_EQ(crc, r.code.m_messageCRC);
        const uint8_t loopback[4] = {127, 0, 0, 1};
        EXPECT_EQ(0, memcmp(loopback, r.code.m_sourceAddress, 4));
    }
    static void ExpectStartTraps(uint32_t generic, uint32_t specific) {
        ASSERT_EQ(2u, g_traps.size());
        EXPECT_EQ(generic, g_traps[0].generic);
        EXPECT_TRUE(g_traps[0].varbinds.empty());
        EXPECT_EQ(6u, g_traps[1].generic);
        EXPECT_EQ(specific, g_traps[1].specific);
        ASSERT_EQ(2u, g_traps[1].varbinds.size());
        const trap_varbind& location = g_traps[1].varbinds[0];
        EXPECT_EQ(std::vector<uint32_t>({1, 3, 6, 1, 2, 1, 1, 6, 0}), Name(location));
        EXPECT_EQ(SNMP_OCTETSTR, location.type);
        EXPECT_EQ("I-95 NB MILE 12", std::string(reinterpret_cast<const char*>(location.value),
                                                 location.value_length));
        const trap_varbind& time = g_traps[1].varbinds[1];
        EXPECT_EQ(std::vector<uint32_t>({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0}), Name(time));
        EXPECT_EQ(SNMP_COUNTER, time.type);
        uint32_t seconds = 0;
        std::memcpy(&seconds, time.value, 4);
        EXPECT_LE(seconds, db_get_time());
        EXPECT_GE(seconds + 5, db_get_time());
    }

    static std::vector<uint32_t> Name(const trap_varbind& v) {
        return std::vector<uint32_t>(v.name, v.name + v.name_length);
    }

    std::string dir_;
};

TEST_F(RestartRecovery, AShortOutageShowsTheShortPowerRecoveryMessage) {
    PowerCycle(nullptr, 30);
    ExpectStartTraps(0, 19);
    ExpectRequest(10, 65535, 3, 11, 0x1111);
}

TEST_F(RestartRecovery, WithoutAShortLossTimeEveryOutageIsLong) {
    PowerCycle([] { db_set(obj::dmsShortPowerLossTime, 0, DB_NOTIFY); }, 30);
    ExpectStartTraps(0, 19);
    ASSERT_FALSE(requests().empty());
    EXPECT_EQ(7u, requests().front().request_source); // until the display takes the request
    ExpectRequest(10, 65535, 3, 12, 0x1212);
}

TEST_F(RestartRecovery, ALongOutageShowsTheLongPowerRecoveryMessage) {
    PowerCycle(nullptr, 600);
    ExpectRequest(10, 65535, 3, 12, 0x1212);
}

// A central system's SET of dmsSWReset 1: the sign restarts itself (the
// watchdog's controlled reset), and the next start is a warm one.
TEST_F(RestartRecovery, ARequestedRestartShowsTheResetMessage) {
    PowerCycle(
        [] {
            static std::atomic<bool> restarted{false};
            host::monitor_set_restart_callback([](int) { restarted = true; });
            const std::string sw_reset = "1.3.6.1.4.1.1206.4.2.3.6.2.0";
            if (snmp_set_integer_by_oid_text(sw_reset.c_str(), uint32_t(sw_reset.size()), 1,
                                             OID_TEXT_NOTIFY | OID_TEXT_VALIDATE,
                                             MIB_ALL_RIGHTS) != 1)
                _exit(5);
            for (int wait = 0; wait < 40 && !restarted; ++wait)
                tx_thread_sleep(100);
            if (!restarted) _exit(6);
        },
        2);
    ExpectStartTraps(1, 20);
    ExpectRequest(11, 65535, 3, 13, 0x1313);
}

TEST_F(RestartRecovery, ARestartWithoutTrapsShowsTheResetMessage) {
    PowerCycle([] { db_set(obj::dmsSWReset, 2, DB_NOTIFY | DB_NO_VALIDATE); }, 5);
    EXPECT_TRUE(g_traps.empty());
    ExpectRequest(11, 65535, 3, 13, 0x1313);
}

TEST_F(RestartRecovery, AShortRecoveryObjectRequestsNothingAfterTheTraps) {
    PowerCycle([] { set_code(obj::dmsLongPowerRecoveryMessage, id_code(3, 12, 0).substr(0, 3)); },
               600);
    ExpectStartTraps(0, 19);
    EXPECT_FALSE(take_request().made);
    EXPECT_NE(std::string::npos,
              ConsoleText().find("CScheduleTask::CheckResetType: error null pointer\n"));
}

// The display sets halvObj1_1 to 1 when it takes a request; the value from
// before the recovery (here 0, the test pattern) is written back.
TEST_F(RestartRecovery, TheDisplayModeOfBeforeTheRecoveryIsKept) {
    set_schedule_request_observer([](uint8_t source_mode, const CMsgActivationCode& code) {
        record_request(source_mode, code);
        db_set(obj::halvObj1_1, 1, DB_NOTIFY); // as the display's activation does
    });
    PowerCycle([] { db_set(obj::halvObj1_1, 0, DB_NOTIFY); }, 30);
    ExpectRequest(10, 65535, 3, 11, 0x1111);
    EXPECT_EQ(0u, db_get(obj::halvObj1_1));
}

// The current buffer shows the message of before the outage (600 s, ten
// minutes) again for what was left of its time.
struct BufferCase {
    const char* name;
    uint8_t type;
    uint32_t remaining;
    uint16_t duration;
    bool blank;
};

void PrintTo(const BufferCase& c, std::ostream* os) {
    *os << c.name;
}

class CurrentBufferRecovery : public RestartRecovery,
                              public ::testing::WithParamInterface<BufferCase> {};

TEST_P(CurrentBufferRecovery, TheMessageReturnsForWhatWasLeftOfItsTime) {
    const BufferCase c = GetParam();
    PowerCycle(
        [c] {
            set_code(obj::dmsLongPowerRecoveryMessage, id_code(5, 1, 0));
            save_activation(c.type, 5, 0xECF8);
            db_set(obj::dmsMessageTimeRemaining, c.remaining, DB_NOTIFY);
        },
        600);
    if (c.blank)
        ExpectRequest(10, 65535, 7, 1, 0);
    else
        ExpectRequest(10, c.duration, c.type, 5, 0xECF8);
}

const BufferCase kBuffers[] = {
    {"ThirtyMinutesLeftGiveTwenty", 3, 30, 20, false},
    {"TenMinutesLeftGiveTheBlank", 3, 10, 0, true},
    {"UnlimitedStaysUnlimited", 3, 65535, 65535, false},
    {"AVolatileMessageGivesTheBlank", 4, 65535, 0, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, CurrentBufferRecovery, ::testing::ValuesIn(kBuffers),
                         [](const ::testing::TestParamInfo<BufferCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(StartCause, OnlyAnUnrequestedStartIsAPowerUp) {
    struct {
        uint32_t sw_reset;
        start_cause cause;
    } cases[] = {
        {0, START_COLD}, {1, START_WARM}, {2, START_QUIET}, {3, START_WARM}, {4, START_WARM}};
    for (auto c : cases)
        EXPECT_EQ(c.cause, start_cause_of_reset(c.sw_reset)) << c.sw_reset;
}

} // namespace
