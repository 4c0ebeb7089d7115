// A cabinet door end to end: the running program with a simulated DC I/O
// board, the board and door 1 stored in the peripheral list by a central
// system over SNMP, net-snmp's trap receiver as the trap destination. A
// technician opens the door on state/field.ctl: the door status, the door
// bit of shortErrorStatus and trap 3 reach the central system; shutting it
// clears both.
#include "tests/support/running_sign.h"
#include "tests/support/trap_receiver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

using test_support::RunningSign;
using test_support::TrapReceiver;

const std::string LIST = "1.3.6.1.4.1.1206.3.11.2.15";
const std::string LIST_STATE = LIST + ".1.0";
const std::string LIST_ID = LIST + ".3.1.2.";
const std::string LIST_PARAMETERS = LIST + ".3.1.3.";
const std::string LIST_STATUS = LIST + ".3.1.4.";
const std::string DOOR_OPEN = "1.3.6.1.4.1.1206.4.2.3.9.6.0"; // dmsStatDoorOpen
const std::string SHORT_ERROR_STATUS = "1.3.6.1.4.1.1206.4.2.3.9.7.1.0";
const unsigned DOOR_BIT = 0x2000;

class DoorSnmp : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::string why : {RunningSign::WhyNot(), TrapReceiver::WhyNot()})
            if (!why.empty()) GTEST_SKIP() << why;
        if (test_support::run_command("command -v socat").find("socat") == std::string::npos)
            GTEST_SKIP() << "socat is not installed (Debian package socat)";
        const uint16_t port = TrapReceiver::FreePort();
        ASSERT_TRUE(sign_.Put("CONFIG.XML", TrapReceiver::SignSettings(port)));
        ASSERT_TRUE(trapd_.Start(port, sign_.StateDir() + "/../trapd")) << trapd_.Output();
        const std::string field = sign_.StateDir() + "/../field.txt";
        std::ofstream(field) << "can dcio io1 42230\n";
        ASSERT_TRUE(sign_.Start(SPEED, {"--field", field}));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    void TearDown() override { trapd_.Stop(); }
    unsigned ShortErrorStatus() { return unsigned(std::stoul(sign_.Get(SHORT_ERROR_STATUS))); }

    static constexpr int SPEED = 20;
    RunningSign sign_;
    TrapReceiver trapd_;
};

TEST_F(DoorSnmp, AnOpenedDoorIsReportedAndAShutOneCleared) {
    sign_.Set(LIST_STATE, "i", "1");
    sign_.Set(LIST_ID + "1", "i", "50");
    sign_.Set(LIST_PARAMETERS + "1", "s", "42230,F0,F0,F0,F0,1");
    sign_.Set(LIST_ID + "2", "i", "30");
    sign_.Set(LIST_PARAMETERS + "2", "s", "18,32");
    sign_.Set(LIST_STATE, "i", "2");
    EXPECT_EQ("0", sign_.GetWhen(LIST_STATUS + "2", "0", 10));
    EXPECT_EQ("0", sign_.Get(DOOR_OPEN));

    EXPECT_NE(std::string::npos, sign_.Field("set io1 open=24").find("ok"));
    EXPECT_EQ("1", sign_.GetWhen(DOOR_OPEN, "1", 10)) << sign_.Process().Output();
    EXPECT_TRUE(ShortErrorStatus() & DOOR_BIT);
    EXPECT_TRUE(trapd_.Logged("Enterprise Specific Trap (3)", 1)) << trapd_.Output();

    EXPECT_NE(std::string::npos, sign_.Field("set io1 closed=24").find("ok"));
    EXPECT_EQ("0", sign_.GetWhen(DOOR_OPEN, "0", 10));
    EXPECT_FALSE(ShortErrorStatus() & DOOR_BIT);
    EXPECT_EQ(1u, trapd_.Count("Enterprise Specific Trap (3)"));
}

} // namespace
