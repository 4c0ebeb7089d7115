// A central system sets and reads the running sign's clock over UDP: the
// factory local time is US Central time, a Counter write of globalTime
// (which net-snmp's snmpset cannot send, so the test sends it itself)
// crosses the start of daylight saving as simulated time runs on, the last
// count of globalTime leaves the sign answering, and every read of
// globalTime reaches the communication task as its heartbeat.
#include "comm/comm_task.h"
#include "comm/snmp/snmp.h"
#include "tests/comm/agent_net_util.h"
#include "tests/ntcip/host_zone.h"

#include <ctime>
#include <sstream>
#include <string>
#include <vector>

using namespace agent_test;

namespace {

const std::vector<uint32_t> GLOBAL_TIME = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};
const std::string TIMES = "1.3.6.1.4.1.1206.4.2.6.3.1.0 " // globalTime
                          "1.3.6.1.4.1.1206.4.2.6.3.6.0 " // controllerLocalTime
                          "1.3.6.1.4.1.1206.4.2.6.3.4.0"; // globalLocalTimeDifferential
const ULONG PASS = 50;                                    // the clock's poll, in ticks

struct times {
    uint32_t global = 0, local = 0;
    int32_t differential = 0;
    bool answered = false;
};

using zone_test::chicago_offset;

class CentralClock : public NetworkedSign {
  protected:
    void SetUp() override {
        if (!netsnmp_tools_installed())
            GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
        NetworkedSign::SetUp();
    }
    // globalTime, controllerLocalTime and the differential in one snmpget.
    times Read() {
        std::string out;
        Serve([&] { out = netsnmp("snmpget", ADMIN, "-Oqv " + TIMES); });
        std::istringstream in(out);
        times t;
        long long global = -1, local = -1, differential = 0;
        t.answered = bool(in >> global >> local >> differential) && global >= 0 && local >= 0;
        t.global = uint32_t(global), t.local = uint32_t(local);
        t.differential = int32_t(differential);
        EXPECT_TRUE(t.answered) << out;
        return t;
    }
    // A SET of globalTime with Counter syntax; -> its error status (-1: no answer).
    int SetGlobalTime(uint32_t seconds) {
        Bytes response;
        Serve([&] { response = UdpManager().Ask(counter_set(ADMIN, GLOBAL_TIME, seconds)); });
        return error_status_of(response);
    }
};

TEST_F(CentralClock, FactoryLocalTimeIsCentralTimeAndEachReadIsTheHeartbeat) {
    times t = Read();
    ASSERT_TRUE(t.answered);
    // The new sign runs on the host's time (ahead of it by the simulated
    // seconds of its start, which pass faster than the host's).
    EXPECT_NEAR(double(std::time(nullptr)), double(t.global), 60.0);
    EXPECT_NEAR(double(chicago_offset(time_t(t.global))), double(int32_t(t.local - t.global)), 1.0);
    EXPECT_EQ(chicago_offset(time_t(t.global)), long(t.differential));
    EXPECT_EQ(t.global, the_comm_task().SavedGlobalTime());
}

TEST_F(CentralClock, ACounterWriteOfGlobalTimeCrossesIntoDaylightSaving) {
    const ULONG before = tx_time_get();
    ASSERT_EQ(0, SetGlobalTime(1457855990u)); // ten seconds before daylight saving starts
    EXPECT_EQ(1457855990u, the_comm_task().SavedGlobalTime()); // the SET's read-back
    tx_thread_sleep(PASS);
    times t = Read();
    EXPECT_GE(t.local, 1457834390u);
    EXPECT_LE(t.local, 1457834391u);
    EXPECT_EQ(-21600, t.differential);

    // Fifteen seconds after the poll that took the write.
    tx_thread_sleep(before + PASS + 1500 - tx_time_get());
    t = Read();
    EXPECT_GE(t.local, 1457838005u);
    EXPECT_LE(t.local, 1457838006u); // the ticks the tools' requests took
    EXPECT_EQ(-18000, t.differential);
    EXPECT_EQ(t.global, the_comm_task().SavedGlobalTime());
}

TEST_F(CentralClock, TheLastCountOfGlobalTimeLeavesTheSignAnswering) {
    ASSERT_EQ(0, SetGlobalTime(4294967295u));
    tx_thread_sleep(4 * PASS);
    times t = Read();
    ASSERT_TRUE(t.answered);
    EXPECT_GE(t.global, 4291747199u); // taken as the last second the calendar covers
    EXPECT_LE(t.global, 4291747199u + 4);
    std::string out;
    Serve([&] { out = netsnmp("snmpget", ADMIN, "1.3.6.1.2.1.1.1.0"); });
    EXPECT_NE(std::string::npos, out.find("STRING: \"")) << out;
}

} // namespace
