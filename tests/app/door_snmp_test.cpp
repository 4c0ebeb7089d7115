// A cabinet door end to end: the running program with a simulated DC I/O
// board, the board and door 1 stored in the peripheral list by a central
// system over SNMP, net-snmp's trap receiver as the trap destination. A
// technician opens the door on state/field.ctl: the door status, the door
// bit of shortErrorStatus and trap 3 reach the central system; shutting it
// clears both.
#include "tests/app/field_snmp_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string DOOR_OPEN = "1.3.6.1.4.1.1206.4.2.3.9.6.0"; // dmsStatDoorOpen
const unsigned DOOR_BIT = 0x2000;

class DoorSnmp : public test_support::FieldSnmp {
  protected:
    void SetUp() override { Start("can dcio io1 42230\n", 20); }
};

TEST_F(DoorSnmp, AnOpenedDoorIsReportedAndAShutOneCleared) {
    EXPECT_EQ("0", StoreList({{50, "42230,F0,F0,F0,F0,1"}, {30, "18,32"}}));
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
