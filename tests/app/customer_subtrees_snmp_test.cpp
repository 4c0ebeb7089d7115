// A central system polls the running sign through the customer subtrees with
// net-snmp's tools: a second name reads what the NTCIP name set, a request
// with a community the sign does not know goes unanswered and is counted,
// the legibility threshold refuses a value above 100, and quorvel's plain
// storage returns to its default when the program starts again.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string SHORT_POWER_LOSS_TIME = "1.3.6.1.4.1.1206.4.2.3.6.10.0";
const std::string FDOT_SHORT_POWER_LOSS_TIME = "1.3.6.1.4.1.1206.3.6.11.8.0";
const std::string REFUSED_COMMUNITIES = "1.3.6.1.4.1.1206.3.32.1.5.0";
const std::string LEGIBILITY_THRESHOLD = "1.3.6.1.4.1.1206.3.32.1.2.0";
const std::string QUORVEL_TEXT = "1.3.6.1.4.1.1206.3.16.1.2.10.0";

using CustomerSubtreesSnmp = test_support::RunningSignTest;

TEST_F(CustomerSubtreesSnmp, SecondNamesRefusedCommunitiesAndChecksOverTheWire) {
    std::string set = sign_.Set(SHORT_POWER_LOSS_TIME, "i", "45");
    ASSERT_NE(std::string::npos, set.find("INTEGER: 45")) << set;
    EXPECT_EQ("45", sign_.Get(FDOT_SHORT_POWER_LOSS_TIME));

    const unsigned long before = std::stoul(sign_.Get(REFUSED_COMMUNITIES));
    std::string refused =
        sign_.Tool("snmpget", "1.3.6.1.2.1.1.5.0", "-c nosuchcommunity -t 1 -r 0");
    EXPECT_NE(std::string::npos, refused.find("Timeout")) << refused;
    EXPECT_EQ(before + 1, std::stoul(sign_.Get(REFUSED_COMMUNITIES)));

    std::string above = sign_.Set(LEGIBILITY_THRESHOLD, "i", "101");
    EXPECT_NE(std::string::npos, above.find("badValue")) << above;
    std::string top = sign_.Set(LEGIBILITY_THRESHOLD, "i", "100");
    EXPECT_NE(std::string::npos, top.find("INTEGER: 100")) << top;

    std::string text = sign_.Set(QUORVEL_TEXT, "s", "ABC");
    EXPECT_NE(std::string::npos, text.find("ABC")) << text;
    EXPECT_EQ("ABC", sign_.Get(QUORVEL_TEXT));
    ASSERT_TRUE(sign_.Restart(SPEED));
    ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    EXPECT_EQ("", sign_.Get(QUORVEL_TEXT));
    EXPECT_EQ("45", sign_.Get(FDOT_SHORT_POWER_LOSS_TIME));
    EXPECT_EQ("100", sign_.Get(LEGIBILITY_THRESHOLD));
}

} // namespace
