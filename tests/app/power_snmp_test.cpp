// A power supply end to end: the running program with a simulated pixel test
// board, the board and POWERSUPPLY04 (its channel 3) stored in the peripheral
// list by a central system over SNMP, net-snmp's trap receiver as the trap
// destination. The channel's voltage drops on state/field.ctl: after ten low
// readings the supply's row reports the failure and trap 4 reaches the
// central system; the voltage back, the row passes again.
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
const std::string POWER_ROW = "1.3.6.1.4.1.1206.4.2.3.9.7.13.1.";
const std::string DESCRIPTION = POWER_ROW + "2.1", MFR_STATUS = POWER_ROW + "3.1",
                  STATUS = POWER_ROW + "4.1", VOLTAGE = POWER_ROW + "5.1";
const std::string SHORT_ERROR_STATUS = "1.3.6.1.4.1.1206.4.2.3.9.7.1.0";
const unsigned POWER_BIT = 0x0004;

class PowerSnmp : public ::testing::Test {
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
        std::ofstream(field) << "can ptb ptb1 42B01 v3=120\n";
        ASSERT_TRUE(sign_.Start(SPEED, {"--field", field}));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    void TearDown() override { trapd_.Stop(); }
    unsigned ShortErrorStatus() { return unsigned(std::stoul(sign_.Get(SHORT_ERROR_STATUS))); }

    static constexpr int SPEED = 50;
    RunningSign sign_;
    TrapReceiver trapd_;
};

TEST_F(PowerSnmp, ALowChannelFailsItsSupplyWithOneTrapAndAGoodOnePassesIt) {
    sign_.Set(LIST_STATE, "i", "1");
    sign_.Set(LIST_ID + "1", "i", "750");
    sign_.Set(LIST_PARAMETERS + "1", "s", "42B01,1");
    sign_.Set(LIST_ID + "2", "i", "103");
    sign_.Set(LIST_PARAMETERS + "2", "s", "4,2EE");
    sign_.Set(LIST_STATE, "i", "2");
    EXPECT_EQ("0", sign_.GetWhen(LIST_STATUS + "2", "0", 10));
    EXPECT_EQ("POWERSUPPLY04", sign_.GetWhen(DESCRIPTION, "POWERSUPPLY04", 10));
    EXPECT_EQ("1200", sign_.GetWhen(VOLTAGE, "1200", 10)) << sign_.Process().Output();

    EXPECT_NE(std::string::npos, sign_.Field("set ptb1 v3=20").find("ok"));
    EXPECT_EQ("3", sign_.GetWhen(STATUS, "3", 20)) << sign_.Process().Output();
    EXPECT_EQ("POWER SUPPLY FAIL", sign_.Get(MFR_STATUS));
    EXPECT_EQ("0", sign_.Get(VOLTAGE));
    EXPECT_TRUE(ShortErrorStatus() & POWER_BIT);
    EXPECT_TRUE(trapd_.Logged("Enterprise Specific Trap (4)", 1)) << trapd_.Output();

    EXPECT_NE(std::string::npos, sign_.Field("set ptb1 v3=120").find("ok"));
    EXPECT_EQ("1200", sign_.GetWhen(VOLTAGE, "1200", 10));
    EXPECT_EQ("POWER SUPPLY PASS", sign_.GetWhen(MFR_STATUS, "POWER SUPPLY PASS", 10));
    EXPECT_EQ("2", sign_.Get(STATUS));
    EXPECT_FALSE(ShortErrorStatus() & POWER_BIT);
    EXPECT_EQ(1u, trapd_.Count("Enterprise Specific Trap (4)"));
}

} // namespace
