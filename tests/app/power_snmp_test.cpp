// A power supply end to end: the running program with a simulated pixel test
// board, the board and POWERSUPPLY04 (its channel 3) stored in the peripheral
// list by a central system over SNMP, net-snmp's trap receiver as the trap
// destination. The channel's voltage drops on state/field.ctl: after ten low
// readings the supply's row reports the failure and trap 4 reaches the
// central system; the voltage back, the row passes again.
#include "tests/app/field_snmp_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string POWER_ROW = "1.3.6.1.4.1.1206.4.2.3.9.7.13.1.";
const std::string DESCRIPTION = POWER_ROW + "2.1", MFR_STATUS = POWER_ROW + "3.1",
                  STATUS = POWER_ROW + "4.1", VOLTAGE = POWER_ROW + "5.1";
const unsigned POWER_BIT = 0x0004;

class PowerSnmp : public test_support::FieldSnmp {
  protected:
    void SetUp() override { Start("can ptb ptb1 42B01 v3=120\n", 50); }
};

TEST_F(PowerSnmp, ALowChannelFailsItsSupplyWithOneTrapAndAGoodOnePassesIt) {
    EXPECT_EQ("0", StoreList({{750, "42B01,1"}, {103, "4,2EE"}}));
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
