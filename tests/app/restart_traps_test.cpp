// The start traps seen by a central system: net-snmp's trap receiver
// (snmptrapd, authorization off) on loopback is the sign's trap destination,
// set in the CONFIG.XML of a new sign. A start of the program (a power-up)
// sends coldStart and enterprise trap 19, a restart asked for by dmsSWReset 1
// sends warmStart and trap 20; the enterprise traps carry sysLocation and
// globalTime. A sign that blanks itself as illegible sends trap 16.
#include "tests/support/running_sign.h"
#include "tests/support/trap_receiver.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace {

using test_support::RunningSign;
using test_support::TrapReceiver;

const std::string SYS_LOCATION = ".1.3.6.1.2.1.1.6.0";
const std::string GLOBAL_TIME = ".1.3.6.1.4.1.1206.4.2.6.3.1.0";
const std::string SW_RESET = "1.3.6.1.4.1.1206.4.2.3.6.2.0";

class RestartTraps : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        if (std::string why = TrapReceiver::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        const uint16_t port = TrapReceiver::FreePort();
        ASSERT_TRUE(sign_.Put("CONFIG.XML", TrapReceiver::SignSettings(port) + MoreSettings()));
        ASSERT_TRUE(trapd_.Start(port, sign_.StateDir() + "/../trapd")) << trapd_.Output();
    }
    void TearDown() override { trapd_.Stop(); }
    // CONFIG.XML lines after the trap settings.
    virtual std::string MoreSettings() const { return ""; }
    bool Logged(const std::string& text, size_t count) { return trapd_.Logged(text, count); }
    size_t Count(const std::string& text) { return trapd_.Count(text); }

    RunningSign sign_;
    TrapReceiver trapd_;
};

TEST_F(RestartTraps, APowerUpAndARequestedRestartAreReported) {
    ASSERT_TRUE(sign_.Start(10));
    ASSERT_TRUE(Logged("Cold Start Trap (0)", 1)) << trapd_.Output();
    ASSERT_TRUE(Logged("Enterprise Specific Trap (19)", 1)) << trapd_.Output();
    EXPECT_EQ(1u, Count(SYS_LOCATION)) << trapd_.Output();
    EXPECT_EQ(1u, Count(GLOBAL_TIME)) << trapd_.Output();

    // A new start of the program is a power-up again.
    ASSERT_TRUE(sign_.Restart(10));
    ASSERT_TRUE(Logged("Enterprise Specific Trap (19)", 2)) << trapd_.Output();
    EXPECT_EQ(2u, Count("Cold Start Trap (0)"));

    ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    std::string reset = sign_.Set(SW_RESET, "i", "1");
    EXPECT_EQ(std::string::npos, reset.find("Error")) << reset;
    ASSERT_TRUE(Logged("Enterprise Specific Trap (20)", 1)) << trapd_.Output();
    EXPECT_EQ(1u, Count("Warm Start Trap")) << trapd_.Output();
    EXPECT_EQ(2u, Count("Cold Start Trap (0)"));
    EXPECT_EQ(3u, Count(SYS_LOCATION));
    EXPECT_EQ(3u, Count(GLOBAL_TIME));
}

// A sign of module type 135 (legibility threshold 80, 56 LEDs high) whose
// modules report the top three quarters of their LEDs dead: after the pixel
// test the running message is no longer legible, and the sign blanks itself
// with trap 16.
class IllegibleSign : public RestartTraps {
  protected:
    std::string MoreSettings() const override {
        return "halvModuleID[0000]:XXXX,87\n"
               "halvLegibilityRatioThreshold[0000]:XXXX,50\n"
               "vmsSignHeightPixels[0000]:XXXX,38\n";
    }
};

TEST_F(IllegibleSign, BlanksItselfWithTrap16AfterThePixelTest) {
    const std::string field = sign_.StateDir() + "/../field.txt";
    std::ofstream(field) << "display module 7x5\ndisplay size 56x115\n"
                            "display failed 0-114 0-41\n";
    ASSERT_TRUE(sign_.Start(20, {"--field", field, "--console-log"}));
    ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    const std::string message = "1.3.6.1.4.1.1206.4.2.3.5.8.1.";
    const std::string control = "1.3.6.1.4.1.1206.4.2.3.6.";
    const std::string status = "1.3.6.1.4.1.1206.4.2.3.9.7.";
    sign_.Set(message + "9.3.1", "i", "6"); // modifyReq
    ASSERT_EQ("2", sign_.GetWhen(message + "9.3.1", "2"));
    sign_.Set(message + "3.3.1", "s", "HELLO");
    sign_.Set(message + "9.3.1", "i", "7"); // validateReq
    ASSERT_EQ("4", sign_.GetWhen(message + "9.3.1", "4"));
    std::string activated = sign_.Set(control + "3.0", "x", "FFFFFF030001ECF800000000");
    ASSERT_EQ(std::string::npos, activated.find("Error")) << activated;
    ASSERT_EQ("8", sign_.GetWhen(control + "7.0", "8"));

    sign_.Set(status + "4.0", "i", "3"); // pixelTestActivation: test
    ASSERT_TRUE(Logged("Enterprise Specific Trap (16)", 1)) << trapd_.Output();
    EXPECT_EQ("2", sign_.GetWhen(status + "4.0", "2"));
    EXPECT_EQ("500", sign_.Get(status + "2.0")) << "pixelTestFailureCount";
    EXPECT_EQ(0x20, std::stoi(sign_.Get(status + "1.0")) & 0x20) << "shortErrorStatus";
    EXPECT_EQ("1", sign_.Get(control + "7.0")) << "dmsMsgSourceMode";
    EXPECT_NE(std::string::npos,
              sign_.Process().Output().find(
                  "Legiblity Threshold(80%) Exceeded! Blanking.. Current Ratio:0%"))
        << sign_.Process().Output();
    const std::string trap = trapd_.Output().substr(trapd_.Output().find("Trap (16)"));
    EXPECT_NE(std::string::npos, trap.find(SYS_LOCATION)) << trap;
    EXPECT_NE(std::string::npos, trap.find(GLOBAL_TIME)) << trap;
}

} // namespace
