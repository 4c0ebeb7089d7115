// A central system polls the running sign's status with net-snmp's tools:
// the power figures, the two settings across a restart of the program, the
// read-only error summary, and a walk of the whole status group whose every
// answer a GET repeats.
#include "tests/support/running_sign.h"
#include "tests/support/snmp_tool_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string STATUS = "1.3.6.1.4.1.1206.4.2.3.9";

using Line = test_support::SnmpLine;
using test_support::dotted;
using test_support::parse_oid;

using SignStatusSnmp = test_support::RunningSignTest;

TEST_F(SignStatusSnmp, PowerFiguresSettingsAcrossARestartAndTheReadOnlyErrorSummary) {
    EXPECT_EQ("120", sign_.Get(STATUS + ".8.5.0")); // lineVolts
    EXPECT_EQ("4", sign_.Get(STATUS + ".8.6.0"));   // powerSource
    std::string speed = sign_.Set(STATUS + ".4.0", "i", "65");
    EXPECT_NE(std::string::npos, speed.find("INTEGER: 65")) << speed;
    std::string fuel = sign_.Set(STATUS + ".8.2.0", "i", "20");
    EXPECT_NE(std::string::npos, fuel.find("INTEGER: 20")) << fuel;
    std::string summary = sign_.Set(STATUS + ".7.1.0", "i", "4");
    EXPECT_NE(std::string::npos, summary.find("noSuchName")) << summary;
    EXPECT_EQ("0", sign_.Get(STATUS + ".7.1.0"));

    ASSERT_TRUE(sign_.Restart(SPEED));
    ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    EXPECT_EQ("65", sign_.Get(STATUS + ".4.0"));
    EXPECT_EQ("0", sign_.Get(STATUS + ".8.2.0"));
}

TEST_F(SignStatusSnmp, AWalkOfTheStatusGroupIsOrderedAndEveryAnswerAGetRepeats) {
    const std::vector<Line> walk = sign_.Walk(STATUS);
    ASSERT_GT(walk.size(), 60u);
    EXPECT_EQ(parse_oid(STATUS + ".1.0"), walk.front().oid);
    EXPECT_EQ(parse_oid(STATUS + ".9.8.0"), walk.back().oid);
    EXPECT_EQ("", test_support::out_of_order(walk));

    const size_t BATCH = 16; // names per GET
    for (size_t first = 0; first < walk.size(); first += BATCH) {
        std::string names;
        for (size_t i = first; i < walk.size() && i < first + BATCH; ++i)
            names += dotted(walk[i].oid) + " ";
        const std::vector<Line> got = test_support::snmp_lines(sign_.Tool("snmpget", names, "-On"));
        ASSERT_EQ(std::min(BATCH, walk.size() - first), got.size()) << names;
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(walk[first + i].text, got[i].text);
    }
}

} // namespace
