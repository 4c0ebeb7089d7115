// The event log seen by a central system: net-snmp's snmpset and snmpget
// (-v1 -c stewardcastle) against a running sign-controller configure a log
// row on dmsShortPowerLossTime, change the object and read the event back.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using test_support::RunningSign;

const std::string kGlobal = "1.3.6.1.4.1.1206.4.2.6";
const std::string kShortPowerLossTime = "1.3.6.1.4.1.1206.4.2.3.6.10.0";
std::string config(int column) {
    return kGlobal + ".4.2.1." + std::to_string(column) + ".1";
}
std::string log_entry(int column) {
    return kGlobal + ".4.4.1." + std::to_string(column) + ".1.1";
}
std::string event_class(int column, int c) {
    return kGlobal + ".4.6.1." + std::to_string(column) + "." + std::to_string(c);
}

class EventLogOverSnmp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(sign_.Start(10));
    }
    std::string Tool(const std::string& tool, const std::string& args) {
        return sign_.Tool(tool, args, "-On");
    }
    // The value of each varbind of one GET, in order (-Oqv: values only).
    std::vector<std::string> Values(const std::string& names) {
        return sign_.Values(names, "-Oqv -Ox");
    }
    bool Answering() { return sign_.Answering(); }
    long GlobalTime() { return std::strtol(Values(kGlobal + ".3.1.0").at(0).c_str(), nullptr, 10); }

    RunningSign sign_;
};

TEST_F(EventLogOverSnmp, AChangeOfAWatchedObjectIsLoggedWithItsValue) {
    ASSERT_TRUE(Answering()) << sign_.Process().Output();
    std::string limit = Tool("snmpset", event_class(2, 1) + " i 10");
    ASSERT_NE(std::string::npos, limit.find("INTEGER: 10")) << limit;
    std::string row = Tool("snmpset", config(2) + " i 1 " + config(3) + " i 2 " + config(6) +
                                          " o ." + kShortPowerLossTime + " " + config(7) + " o ." +
                                          kShortPowerLossTime + " " + config(8) + " i 3");
    ASSERT_EQ(std::string::npos, row.find("Error")) << row;
    ASSERT_EQ(std::string::npos, row.find("Timeout")) << row;
    sign_.Process().Wait(1); // a few passes: the row records the first value, 60
    // The change is logged between the global times read just before and
    // just after the SET, however slowly the host serves the tools.
    const long before = GlobalTime();
    std::string set = Tool("snmpset", kShortPowerLossTime + " i 65");
    ASSERT_NE(std::string::npos, set.find("INTEGER: 65")) << set;
    const long after = GlobalTime();
    sign_.Process().Wait(1);

    std::vector<std::string> v = Values(log_entry(3) + " " + event_class(5, 1) + " " +
                                        log_entry(4) + " " + log_entry(5) + " " + config(9));
    ASSERT_EQ(5u, v.size()) << ::testing::PrintToString(v);
    EXPECT_EQ("1", v[0]) << "eventLogID.1.1";
    EXPECT_EQ("1", v[1]) << "eventClassNumRowsInLog.1";
    const long logged = std::strtol(v[2].c_str(), nullptr, 10);
    EXPECT_LE(before, logged) << "logged at " << v[2];
    EXPECT_LE(logged, after) << "logged at " << v[2];
    EXPECT_NE(std::string::npos, v[3].find("02 01 41")) << v[3];
    EXPECT_EQ("3", v[4]) << "eventConfigStatus.1";
}

TEST_F(EventLogOverSnmp, TheClassLimitsMayFillTheLogSizeAndNoMore) {
    ASSERT_TRUE(Answering()) << sign_.Process().Output();
    std::string all;
    for (int c = 1; c <= 16; ++c)
        all += event_class(2, c) + " i 15 ";
    ASSERT_EQ(std::string::npos, Tool("snmpset", all).find("Error"));
    std::string fits = Tool("snmpset", event_class(2, 3) + " i 30");
    EXPECT_NE(std::string::npos, fits.find("INTEGER: 30")) << fits;
    std::string refused = Tool("snmpset", event_class(2, 3) + " i 31");
    EXPECT_NE(std::string::npos, refused.find("noSuchName")) << refused;
    EXPECT_EQ("30", Values(event_class(2, 3)).at(0));
}

} // namespace
