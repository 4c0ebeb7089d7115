// A cabinet door end to end: the running program with a simulated DC I/O
// board, the board and door 1 stored in the peripheral list by a central
// system over SNMP, net-snmp's trap receiver as the trap destination. A
// technician opens the door on state/field.ctl: the door status, the door
// bit of shortErrorStatus and trap 3 reach the central system; shutting it
// clears both.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace {

using test_support::HostProcess;
using test_support::RunningSign;

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
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        for (const char* tool : {"snmptrapd", "socat"})
            if (test_support::run_command(std::string("command -v ") + tool).find(tool) ==
                std::string::npos)
                GTEST_SKIP() << tool << " is not installed";
        const uint16_t port = uint16_t(1062 + test_support::FreePortOffset());
        ASSERT_TRUE(sign_.Put("CONFIG.XML", test_support::trap_settings(port)));
        dir_ = sign_.StateDir() + "/../trapd";
        test_support::run_command("mkdir -p " + dir_);
        std::ofstream(dir_ + "/snmptrapd.conf")
            << "disableAuthorization yes\n[snmp] persistentDir " << dir_ << "\n";
        ASSERT_TRUE(
            trapd_.Start({"/usr/sbin/snmptrapd", "-f", "-Lo", "-C", "-m", "", "-On", "-c",
                          dir_ + "/snmptrapd.conf", "udp:127.0.0.1:" + std::to_string(port)},
                         dir_ + "/out"));
        ASSERT_TRUE(Logged("NET-SNMP version", 1)) << trapd_.Output();
        const std::string field = sign_.StateDir() + "/../field.txt";
        std::ofstream(field) << "can dcio io1 42230\n";
        ASSERT_TRUE(sign_.Start(SPEED, {"--field", field}));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    void TearDown() override { trapd_.Kill(); }
    bool Logged(const std::string& text, size_t count) {
        for (int i = 0; i < 1500; i++) {
            if (Count(text) >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    size_t Count(const std::string& text) {
        const std::string out = trapd_.Output();
        size_t n = 0;
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
            n++;
        return n;
    }
    unsigned ShortErrorStatus() { return unsigned(std::stoul(sign_.Get(SHORT_ERROR_STATUS))); }

    static constexpr int SPEED = 20;
    RunningSign sign_;
    HostProcess trapd_;
    std::string dir_;
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

    EXPECT_NE(std::string::npos, sign_.FieldCommand("set io1 open=24").find("ok"));
    EXPECT_EQ("1", sign_.GetWhen(DOOR_OPEN, "1", 10)) << sign_.Process().Output();
    EXPECT_TRUE(ShortErrorStatus() & DOOR_BIT);
    EXPECT_TRUE(Logged("Enterprise Specific Trap (3)", 1)) << trapd_.Output();

    EXPECT_NE(std::string::npos, sign_.FieldCommand("set io1 closed=24").find("ok"));
    EXPECT_EQ("0", sign_.GetWhen(DOOR_OPEN, "0", 10));
    EXPECT_FALSE(ShortErrorStatus() & DOOR_BIT);
    EXPECT_EQ(1u, Count("Enterprise Specific Trap (3)"));
}

} // namespace
