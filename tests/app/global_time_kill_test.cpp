// A central system sets globalTime on the running program and the sign
// loses power the moment the answer arrives (kill -9): started again on the
// same state directory, its clock reads at or past the value set, not the
// time it had before.
#include "tests/comm/agent_net_util.h"
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <string>

namespace {

using snmp_test::Bytes;
using test_support::RunningSign;

const std::vector<uint32_t> GLOBAL_TIME = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};
const char* const GLOBAL_TIME_TEXT = "1.3.6.1.4.1.1206.4.2.6.3.1.0";
// One simulated second per host second: the clock task polls every half
// second, so the kill lands before its next poll could save the time.
const int SPEED = 1;

// Sends a Counter SET of globalTime and waits for its answer (a generous
// safety net of ten host seconds): its error status, -1 without one.
int SetGlobalTime(uint16_t port, uint32_t seconds) {
    return agent_test::udp_error_status(
        port, agent_test::counter_set(agent_test::ADMIN, GLOBAL_TIME, seconds));
}

TEST(GlobalTimeAcrossAKill, AnAcknowledgedSetSurvivesKillNineRightAfterTheAnswer) {
    if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
    RunningSign sign;
    ASSERT_TRUE(sign.Start(SPEED));
    ASSERT_TRUE(sign.Answering()) << sign.Process().Output();

    // Ten years ahead of the host's clock, where the sign's clock started.
    const uint32_t set = uint32_t(std::time(nullptr)) + 315360000u;
    ASSERT_EQ(0, SetGlobalTime(sign.SnmpPort(), set)) << sign.Process().Output();
    sign.Process().Kill();

    ASSERT_TRUE(sign.Restart(SPEED));
    ASSERT_TRUE(sign.Answering()) << sign.Process().Output();
    const long long now = std::stoll("0" + sign.Get(GLOBAL_TIME_TEXT));
    EXPECT_GE(now, set) << sign.Process().Output();
    EXPECT_LT(now, set + 3600ll); // the sign ran minutes at most, not years
}

} // namespace
