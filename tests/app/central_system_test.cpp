// A central system talks to the host program itself over UDP on its real
// (scaled) clock: net-snmp's snmpget reads the module table and the factory
// local time (the host's time in US Central time), and a Counter write of
// globalTime (which snmpset cannot send) crosses into daylight saving as the
// program's clock runs on; the last count of globalTime leaves it answering.
#include "tests/comm/agent_net_util.h"
#include "tests/ntcip/host_zone.h"
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace {

using snmp_test::Bytes;
using test_support::RunningSign;

const char* const ADMIN = "stewardcastle";
const std::vector<uint32_t> GLOBAL_TIME = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};
const std::string TIMES = "1.3.6.1.4.1.1206.4.2.6.3.1.0 " // globalTime
                          "1.3.6.1.4.1.1206.4.2.6.3.6.0 " // controllerLocalTime
                          "1.3.6.1.4.1.1206.4.2.6.3.4.0"; // globalLocalTimeDifferential
const int SPEED = 10;                                     // simulated seconds per host second

struct times {
    long long global = -1, local = -1, differential = 0;
    bool answered() const { return global >= 0 && local >= 0; }
};

class CentralSystemAndProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        started_ = std::time(nullptr);
        ASSERT_TRUE(sign_.Start(SPEED));
        port_ = sign_.SnmpPort();
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
        ASSERT_TRUE(Read().answered()) << sign_.Process().Output();
    }
    // One net-snmp tool against the program, with `community`. The default
    // limits are safety nets for a loaded host (a SET goes out once: a
    // retransmitted one would run twice); `patience` replaces them where no
    // answer is the expected outcome.
    std::string Tool(const std::string& tool, const std::string& community, const std::string& args,
                     const std::string& patience = "") {
        const std::string limits = !patience.empty()   ? patience
                                   : tool == "snmpset" ? "-t 10 -r 0"
                                                       : "-t 5 -r 1";
        return agent_test::run_command(tool + " -v1 -c " + community + " " + limits +
                                       " udp:127.0.0.1:" + std::to_string(port_) + " " + args);
    }
    std::string Get(const std::string& args) { return Tool("snmpget", ADMIN, args); }
    times Read() {
        std::istringstream in(Get("-Oqv " + TIMES));
        times t;
        if (!(in >> t.global >> t.local >> t.differential)) t = times();
        return t;
    }
    // A SET of globalTime with Counter syntax; -> its error status (-1: no answer).
    int SetGlobalTime(uint32_t seconds) {
        return agent_test::udp_error_status(port_,
                                            agent_test::counter_set(ADMIN, GLOBAL_TIME, seconds));
    }
    // Reads until global time reaches `at` (at most five host seconds).
    // `*late` (when given): the most simulated seconds the reading may lie
    // past `at`: three, or more when the host took longer between the last
    // reading before it and this one, so that a slow host never makes a
    // sound clock look fast.
    times ReadAt(long long at, long long* late = nullptr) {
        times t;
        auto before = std::chrono::steady_clock::now();
        for (int i = 0; i < 500; i++) {
            t = Read();
            const auto now = std::chrono::steady_clock::now();
            if (late)
                *late =
                    std::max(3LL, 1 + (long long)std::ceil(SPEED * seconds_between(before, now)));
            if (t.global >= at) break;
            before = now;
            usleep(10000);
        }
        return t;
    }
    static double seconds_between(std::chrono::steady_clock::time_point a,
                                  std::chrono::steady_clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    }

    uint16_t port_ = 0;
    time_t started_ = 0; // the host's time when the program started
    RunningSign sign_;
};

TEST_F(CentralSystemAndProgram, ReadsTheModuleTableAndSetsTheClock) {
    const std::string modules =
        Get("1.3.6.1.4.1.1206.4.2.6.1.2.0 1.3.6.1.4.1.1206.4.2.6.1.3.1.4.2");
    EXPECT_NE(std::string::npos, modules.find("INTEGER: 8")) << modules;
    EXPECT_NE(std::string::npos, modules.find("STRING: \"CONTROLLER SERIAL NUMBER\"")) << modules;

    // Factory settings: the host's time, shown as US Central time (the
    // program's clock runs SPEED times faster than the host's since start).
    times t = Read();
    ASSERT_TRUE(t.answered());
    const time_t now = std::time(nullptr);
    EXPECT_GE(t.global, started_ - 1);
    EXPECT_LE(t.global, started_ + SPEED * (now - started_) + 2);
    EXPECT_EQ(zone_test::chicago_offset(time_t(t.global)), t.differential);
    EXPECT_LE(std::abs(t.local - t.global - t.differential), 1);

    ASSERT_EQ(0, SetGlobalTime(1457855990u)); // ten seconds before daylight saving starts
    t = ReadAt(1457855991);
    EXPECT_EQ(-21600, t.differential);
    long long late = 0;
    t = ReadAt(1457856005, &late); // fifteen seconds after the write
    EXPECT_GE(t.global, 1457856005);
    EXPECT_LE(t.global, 1457856005 + late);
    EXPECT_EQ(-18000, t.differential);
    EXPECT_GE(t.local, 1457838004); // local time moves at the clock's polls
    EXPECT_LE(t.local, t.global - 18000);

    ASSERT_EQ(0, SetGlobalTime(4294967295u));
    // The value written reads back until the clock's next reading, which takes
    // it as the last second the calendar covers; the sign answers throughout.
    for (int i = 0; i < 500; i++) {
        t = Read();
        if (!t.answered() || t.global <= 4291747199 + 10) break;
        usleep(10000);
    }
    EXPECT_TRUE(t.answered());
    EXPECT_GE(t.global, 4291747199);
    EXPECT_LE(t.global, 4291747199 + 10);
    EXPECT_EQ(-1, sign_.Process().Wait(0)) << sign_.Process().Output();
}

// The privileged community renames user row 5 (after giving it a name of
// its own, since most rows share the factory name): the new name is answered,
// the old one no longer; a five-octet name is refused and the row keeps its
// name. Walks of the protocol and global configuration subtrees agree with
// GETs of every name they return.
TEST_F(CentralSystemAndProgram, ManagesTheUserCommunitiesAndWalksTheSubtrees) {
    const std::string name5 = "1.3.6.1.4.1.1206.4.2.6.5.3.1.2.5";
    const std::string mask5 = "1.3.6.1.4.1.1206.4.2.6.5.3.1.3.5";
    const std::string descr = "1.3.6.1.2.1.1.1.0";
    auto has = [](const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    };
    std::string out = Tool("snmpset", ADMIN, name5 + " s nightshift " + mask5 + " u 4294967295");
    ASSERT_TRUE(has(out, "STRING: \"nightshift\"")) << out;
    EXPECT_TRUE(has(Tool("snmpget", "nightshift", descr), "STRING: \""));
    out = Tool("snmpset", ADMIN, name5 + " s dayshift01");
    ASSERT_TRUE(has(out, "STRING: \"dayshift01\"")) << out;
    out = Tool("snmpget", "dayshift01", descr);
    EXPECT_TRUE(has(out, "STRING: \"")) << "new name: " << out;
    out = Tool("snmpget", "nightshift", descr, "-t 1 -r 1");
    EXPECT_TRUE(has(out, "Timeout")) << "old name: " << out;
    out = Tool("snmpset", ADMIN, name5 + " s short");
    EXPECT_TRUE(has(out, "badValue")) << out;
    EXPECT_TRUE(has(Get(name5), "STRING: \"dayshift01\""));

    const agent_test::netsnmp_tool ask = [this](const std::string& tool, const std::string& args) {
        return Tool(tool, ADMIN, args);
    };
    const struct {
        const char* root;
        size_t at_least;
    } walks[] = {{"1.3.6.1.4.1.1206.4.1", 36}, {"1.3.6.1.4.1.1206.4.2.6.1", 51}};
    for (const auto& walk : walks) {
        std::vector<agent_test::varbind_text> walked, got;
        agent_test::walk_and_get(ask, walk.root, &walked, &got);
        agent_test::expect_walk_agrees_with_gets(walk.root, walk.at_least, walked, got);
    }
    EXPECT_EQ(-1, sign_.Process().Wait(0)) << sign_.Process().Output();
}

} // namespace
