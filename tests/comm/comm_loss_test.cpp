// The communication task's watch over the central system on the virtual
// clock: the communication-loss message and error bit, the poll-time flag and
// the heartbeat reset, driven by SNMP requests into an agent of the booted
// firmware.
#include "comm/comm_task.h"
#include "console/monitor_task.h"
#include "display/message_codes.h"
#include "ntcip/schedule/event_log.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <string>
#include <vector>

namespace {

const ULONG SECOND = 100;
const std::vector<uint32_t> GLOBAL_TIME = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};

class CentralSupervision : public test_support::RestartCountingFixture {
  protected:
    void SetUp() override {
        test_support::RestartCountingFixture::SetUp();
        tx_thread_sleep(1300); // the start-up and the first step have run
        requests_.attach(CODES);
        TheMonitorTask().SetTraceLevel(1);
    }
    void TearDown() override {
        requests_.detach();
        test_support::RestartCountingFixture::TearDown();
    }
    // A central request (the agent counts it as activity); a read of
    // globalTime is also the heartbeat.
    void Request(bool read_global_time = false) {
        agent_.Ask(agent_test::get(++id_, agent_test::ADMIN,
                                   read_global_time ? GLOBAL_TIME : agent_test::SYS_DESCR));
    }
    // Activation requests written since the last call.
    int ActivationRequests() {
        int count = 0;
        letter_s* letter = nullptr;
        while (requests_.receive(&letter)) {
            count++;
            requests_.release(letter);
        }
        return count;
    }
    static bool CommError() { return db_get(obj::shortErrorStatus) & 0x02; }
    static void SetLossMessage(uint8_t memory_type, uint16_t number) {
        CMsgIDCode id;
        id.Set(memory_type, number, 0);
        db_set_string(obj::dmsCommunicationsLossMessage, id.Encoded(), CMsgIDCode::kLength,
                      DB_NO_VALIDATE);
    }
    static CMsgActivationCode Requested() {
        uint32_t length = 0;
        const char* bytes = db_get_string(obj::activationRequestCode.row(6), &length);
        CMsgActivationCode code;
        code.Decode(reinterpret_cast<const uint8_t*>(bytes), length);
        return code;
    }

    static constexpr uint32_t CODES[] = {LETTER_ACTIVATION_REQUEST, 0};
    subscriber requests_{the_post_office(), nullptr, 0, nullptr};
    agent_test::CapturingAgent agent_;
    uint32_t id_ = 0;
};
constexpr uint32_t CentralSupervision::CODES[];

TEST_F(CentralSupervision, SilenceRequestsTheLossMessageOnceAndARequestClearsTheError) {
    SetLossMessage(7, 1); // the blank message
    db_set(obj::dmsTimeCommLoss, 1, DB_NOTIFY);
    Request();
    tx_thread_sleep(50 * SECOND);
    EXPECT_FALSE(CommError());
    EXPECT_EQ(0, ActivationRequests());
    tx_thread_sleep(14 * SECOND);
    EXPECT_TRUE(CommError()) << "after 60 s of silence";
    EXPECT_EQ(1, ActivationRequests());
    EXPECT_EQ(12u, db_get(obj::activationRequestState.row(6)));
    EXPECT_EQ(0xFFFF, Requested().m_duration);
    EXPECT_EQ(7, Requested().m_memoryType);
    tx_thread_sleep(120 * SECOND);
    EXPECT_EQ(0, ActivationRequests()) << "once per silent period";

    Request();
    tx_thread_sleep(3 * SECOND);
    EXPECT_FALSE(CommError());

    // The current buffer runs for the time it has left.
    SetLossMessage(5, 1);
    db_set(obj::dmsMessageTimeRemaining, 30, 0);
    tx_thread_sleep(64 * SECOND);
    EXPECT_TRUE(CommError());
    EXPECT_EQ(1, ActivationRequests());
    EXPECT_EQ(30, Requested().m_duration);
    EXPECT_EQ(5, Requested().m_memoryType);
}

TEST_F(CentralSupervision, AMalformedMessageIsNotRequestedButTheErrorIsSet) {
    db_set_string(obj::dmsCommunicationsLossMessage, "\x07\x00\x01\x00", 4, DB_NO_VALIDATE);
    db_set(obj::dmsTimeCommLoss, 1, DB_NOTIFY);
    Request();
    tx_thread_sleep(64 * SECOND);
    EXPECT_TRUE(CommError());
    EXPECT_EQ(0, ActivationRequests());
}

TEST_F(CentralSupervision, AChangedTimeOutAppliesAtTheNextStep) {
    SetLossMessage(7, 1);
    db_set(obj::dmsTimeCommLoss, 2, DB_NOTIFY);
    Request();
    tx_thread_sleep(70 * SECOND);
    EXPECT_FALSE(CommError());
    db_set(obj::dmsTimeCommLoss, 1, DB_NOTIFY);
    tx_thread_sleep(2 * SECOND + 1);
    EXPECT_TRUE(CommError());
}

TEST_F(CentralSupervision, LocalControlSuspendsTheLossAndItsTimeNeverCountsAsSilence) {
    SetLossMessage(7, 1);
    db_set(obj::dmsTimeCommLoss, 1, DB_NOTIFY);
    db_set(obj::dmsControlMode, 2, DB_NO_VALIDATE | DB_NOTIFY);
    Request();
    tx_thread_sleep(180 * SECOND);
    EXPECT_FALSE(CommError());
    EXPECT_EQ(0, ActivationRequests());
    db_set(obj::dmsControlMode, 4, DB_NO_VALIDATE | DB_NOTIFY);
    tx_thread_sleep(50 * SECOND);
    EXPECT_FALSE(CommError()) << "silence counts from the end of local control";
    tx_thread_sleep(14 * SECOND);
    EXPECT_TRUE(CommError());
}

TEST_F(CentralSupervision, ThePollTimeFlagFollowsTheLastRequest) {
    db_set(obj::fdotObj11_6, 1, 0);
    db_set(obj::fdotDmsMaxPollTime, 0, 0);
    tx_thread_sleep(2 * SECOND + 1);
    EXPECT_TRUE(the_comm_task().MaxPollTimeExceeded()) << "0 minutes: at once";
    EXPECT_TRUE(the_event_log_links().max_poll_time_exceeded());

    db_set(obj::fdotDmsMaxPollTime, 1, 0);
    Request();
    tx_thread_sleep(2 * SECOND + 1);
    EXPECT_FALSE(the_comm_task().MaxPollTimeExceeded());
    tx_thread_sleep(60 * SECOND);
    EXPECT_TRUE(the_comm_task().MaxPollTimeExceeded());
    db_set(obj::fdotObj11_6, 0, 0);
    tx_thread_sleep(2 * SECOND + 1);
    EXPECT_FALSE(the_comm_task().MaxPollTimeExceeded());
}

// The heartbeat with a threshold of 100 s: the central system is expected to
// read globalTime while it talks. Requests come every 20 s for 140 s.
TEST_F(CentralSupervision, TheHeartbeatResetsOnlyATalkingSystemThatStoppedReadingTheTime) {
    struct row {
        const char* what;
        bool first_read;    // globalTime read at the start
        bool keeps_talking; // a request every 20 s
        bool keeps_reading; // each of them reads globalTime
        bool resets;
    } rows[] = {
        {"talks, never reads the time", false, true, false, false},
        {"read once, then silent", true, false, false, false},
        {"reads the time as it talks", true, true, true, false},
        // Last: the restart it asks for goes on (the test's board does not restart).
        {"read once, then only other requests", true, true, false, true},
    };
    db_set(obj::halvHeartBeatThreshold, 100, 0);
    for (const row& r : rows) {
        the_comm_task().SetSavedGlobalTime(0);
        int restarts = Restarts();
        Request(r.first_read);
        for (int interval = 0; interval < 7; interval++) {
            tx_thread_sleep(20 * SECOND);
            if (r.keeps_talking) Request(r.keeps_reading);
        }
        tx_thread_sleep(4 * SECOND);
        if (r.resets) {
            EXPECT_EQ(0u, the_comm_task().SavedGlobalTime());
        }
        EXPECT_EQ(r.resets, Restarts() > restarts) << r.what;
    }
}

TEST_F(CentralSupervision, NoHeartbeatResetWhileTheCommunicationLossHolds) {
    db_set(obj::halvHeartBeatThreshold, 300, 0);
    SetLossMessage(7, 1);
    db_set(obj::dmsTimeCommLoss, 1, DB_NOTIFY);
    Request(true);
    tx_thread_sleep(400 * SECOND);
    EXPECT_TRUE(CommError());
    EXPECT_EQ(0, Restarts());
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Comm Loss, don't reset\n"));
}

} // namespace
