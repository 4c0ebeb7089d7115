// Over-temperature end to end: a running sign with a central system's
// message on it, its traps aimed at net-snmp's snmptrapd and the housing's
// sensor TEMPSIGN1 on a simulated CAN board. A technician heats the board
// through state/field.ctl: the sign blanks itself with trap 2 and a dark
// picture; cooled, it sends trap 8 and shows the message again.
#include "tests/support/png_reader.h"
#include "tests/support/running_sign.h"
#include "tests/support/trap_receiver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

using test_support::RunningSign;
using test_support::TrapReceiver;

const std::string MESSAGE = "1.3.6.1.4.1.1206.4.2.3.5.8.1.";
const std::string CONTROL = "1.3.6.1.4.1.1206.4.2.3.6.";
const std::string SYS_LOCATION = ".1.3.6.1.2.1.1.6.0";
const std::string GLOBAL_TIME = ".1.3.6.1.4.1.1206.4.2.6.3.1.0";
const std::string TEMP_MAX_SIGN_HOUSING = ".1.3.6.1.4.1.1206.4.2.3.9.9.6.0";

// Shut-off at 85 degrees; TEMPSIGN1 (id 13) in the stored list's second row,
// on the board 0x42105 of the local network.
const std::string SENSOR_SETTINGS = "halvShutOffTemp[0000]:XXXX,55\n"
                                    "halvPeripheralID[0][0001]:XXXX,D\n"
                                    "halvPeripheralParameters[0][0001]:0007,42105,2\n";

class OverTemperature : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        if (std::string why = TrapReceiver::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        if (test_support::run_command("command -v socat").find("socat") == std::string::npos)
            GTEST_SKIP() << "socat is not installed (Debian package socat)";
        const uint16_t port = TrapReceiver::FreePort();
        ASSERT_TRUE(sign_.Put("CONFIG.XML", TrapReceiver::SignSettings(port) + SENSOR_SETTINGS));
        ASSERT_TRUE(trapd_.Start(port, sign_.StateDir() + "/../trapd")) << trapd_.Output();
        const std::string field = sign_.StateDir() + "/../field.txt";
        std::ofstream(field) << "can temperature sign1 42105 temp=30\n";
        ASSERT_TRUE(sign_.Start(SPEED, {"--field", field}));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    void TearDown() override { trapd_.Stop(); }

    // Message 1 "HELLO" stored, validated and activated by the central system.
    void ShowMessage() {
        const std::string status = MESSAGE + "9.3.1";
        sign_.Set(status, "i", "6"); // modifyReq
        ASSERT_EQ("2", sign_.GetWhen(status, "2"));
        sign_.Set(MESSAGE + "3.3.1", "s", "HELLO");
        sign_.Set(status, "i", "7"); // validateReq
        ASSERT_EQ("4", sign_.GetWhen(status, "4"));
        const std::string activated = sign_.Set(CONTROL + "3.0", "x", "FFFFFF030001ECF800000000");
        ASSERT_EQ(std::string::npos, activated.find("Error")) << activated;
    }
    // True once sign.png is dark (`dark`) or lit, within ten host seconds.
    bool PictureBecomes(bool dark) {
        for (int wait = 0; wait < 500; ++wait) {
            test_support::Picture now;
            if (test_support::ReadPng(sign_.StateDir() + "/sign.png", now) && now.Dark() == dark)
                return true;
            sign_.Process().Wait(0.02);
        }
        return false;
    }
    static constexpr int SPEED = 20;
    RunningSign sign_;
    TrapReceiver trapd_;
};

TEST_F(OverTemperature, TheHotSignBlanksWithTrap2AndComesBackWithTrap8) {
    ShowMessage();
    ASSERT_TRUE(PictureBecomes(false)) << sign_.Process().Output();

    ASSERT_NE(std::string::npos, sign_.Field("set sign1 temp=90").find("ok"));
    ASSERT_TRUE(trapd_.Logged("Enterprise Specific Trap (2)", 1)) << trapd_.Output();
    const std::string out = trapd_.Output();
    const std::string trap = out.substr(out.find("Enterprise Specific Trap (2)"));
    EXPECT_NE(std::string::npos, trap.find(SYS_LOCATION)) << trap;
    EXPECT_NE(std::string::npos, trap.find(GLOBAL_TIME)) << trap;
    EXPECT_NE(std::string::npos, trap.find(TEMP_MAX_SIGN_HOUSING + " = INTEGER: 90")) << trap;
    EXPECT_TRUE(PictureBecomes(true)) << "the blank darkens the sign";
    EXPECT_EQ("1", sign_.Get(CONTROL + "7.0")) << "dmsMsgSourceMode";

    ASSERT_NE(std::string::npos, sign_.Field("set sign1 temp=20").find("ok"));
    ASSERT_TRUE(trapd_.Logged("Enterprise Specific Trap (8)", 1)) << trapd_.Output();
    EXPECT_TRUE(PictureBecomes(false)) << "the message is back";
    EXPECT_EQ("03 00 01 EC F8", sign_.GetWhen(CONTROL + "5.0", "03 00 01 EC F8"));
    EXPECT_EQ(1u, trapd_.Count("Enterprise Specific Trap (2)"));
}

} // namespace
