// The blank switch end to end: the running program with a simulated DC I/O
// board, the board and the blank switch stored in the peripheral list by a
// central system over SNMP, a message on the sign, net-snmp's trap receiver
// as the trap destination. A technician turns the switch on state/field.ctl:
// the sign goes dark (sign.png) and trap 5 reaches the central system once.
#include "tests/app/field_snmp_fixture.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

const std::string MESSAGE = "1.3.6.1.4.1.1206.4.2.3.5.8.1.";
const std::string CONTROL = "1.3.6.1.4.1.1206.4.2.3.6.";
const std::string BLANK_TRAP = "Enterprise Specific Trap (5)";

class BlankSwitchSnmp : public test_support::FieldSnmp {
  protected:
    void SetUp() override { Start("can dcio io1 42230 open=26\n", 20); }
    bool Ok(const std::string& reply) { return reply.find("Error") == std::string::npos; }
    // The picture once it is dark (`dark`) or lit, for at most ten host seconds.
    bool PictureBecomes(bool dark) {
        test_support::Picture now;
        for (int wait = 0; wait < 500; ++wait) {
            if (test_support::ReadPng(sign_.StateDir() + "/sign.png", now) && now.Dark() == dark)
                return true;
            sign_.Process().Wait(0.02);
        }
        return false;
    }
};

TEST_F(BlankSwitchSnmp, TurningTheSwitchBlanksTheSignWithOneTrap) {
    // Board 50 and the blank switch on its point 26.
    EXPECT_EQ("0", StoreList({{50, "42230,F0,F0,F0,F0,1"}, {640, "1A,32"}}))
        << sign_.Process().Output();

    // A message on the sign.
    const std::string status = MESSAGE + "9.3.1";
    ASSERT_TRUE(Ok(sign_.Set(status, "i", "6")));
    ASSERT_EQ("2", sign_.GetWhen(status, "2"));
    ASSERT_TRUE(Ok(sign_.Set(MESSAGE + "3.3.1", "s", "HELLO")));
    ASSERT_TRUE(Ok(sign_.Set(status, "i", "7")));
    ASSERT_EQ("4", sign_.GetWhen(status, "4"));
    char code[32];
    std::snprintf(code, sizeof code, "FFFFFF030001%04X00000000",
                  unsigned(std::stoul(sign_.Get(MESSAGE + "5.3.1"))));
    ASSERT_TRUE(Ok(sign_.Set(CONTROL + "3.0", "x", code)));
    ASSERT_TRUE(PictureBecomes(false)) << "the message lights the sign";
    EXPECT_EQ(0u, trapd_.Count(BLANK_TRAP));

    ASSERT_NE(std::string::npos, sign_.Field("set io1 closed=26").find("ok"));
    EXPECT_TRUE(PictureBecomes(true)) << sign_.Process().Output();
    EXPECT_EQ("07 00 01 00 00", sign_.Get(CONTROL + "5.0")); // dmsMsgTableSource
    EXPECT_TRUE(trapd_.Logged(BLANK_TRAP, 1)) << trapd_.Output();
    sign_.Process().Wait(1.0); // 20 more seconds of the sign with the switch turned
    EXPECT_EQ(1u, trapd_.Count(BLANK_TRAP));
}

} // namespace
