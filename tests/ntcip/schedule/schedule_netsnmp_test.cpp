// A central system with net-snmp's tools programs the sign's schedule and
// starts it: a message made valid, an action naming it, a day plan whose
// event at midnight names the action, an entry for every day of the year,
// and the activation of the schedule message. The sign then shows the
// action's message with the scheduler as its source.
#include "tests/comm/agent_net_util.h"

#include <string>

using namespace agent_test;

namespace {

const std::string kDms = "1.3.6.1.4.1.1206.4.2.3";
const std::string kTimeBase = "1.3.6.1.4.1.1206.4.2.6.3.3";

class ScheduleNetSnmp : public NetworkedSign {
  protected:
    std::string Tool(const std::string& tool, const std::string& args) {
        return run_command(tool + " -v1 -c stewardcastle -t 3 -r 1 udp:127.0.0.1:" +
                           std::to_string(host_port(161)) + " " + args);
    }
};

TEST_F(ScheduleNetSnmp, TheScheduleShowsTheActionsMessage) {
    if (!netsnmp_tools_installed())
        GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
    const std::string message = kDms + ".5.8.1";
    std::string made_valid, action, plan, entry, activated;
    Serve([&] {
        Tool("snmpset", message + ".9.3.5 i 6");
        Tool("snmpset", message + ".3.3.5 s HELLO");
        Tool("snmpset", message + ".9.3.5 i 7");
    });
    tx_thread_sleep(100);
    Serve([&] {
        made_valid = Tool("snmpget", message + ".9.3.5 " + message + ".5.3.5");
        action = Tool("snmpset", kDms + ".8.2.1.2.1 x \"03 0005 ECF8\"");
        plan = Tool("snmpset", kTimeBase + ".5.1.3.1.1 i 0 " + kTimeBase + ".5.1.4.1.1 i 0 " +
                                   kTimeBase + ".5.1.5.1.1 o " + kDms + ".8.2.1.1.1");
        entry =
            Tool("snmpset", kTimeBase + ".2.1.2.1 i 8190 " + kTimeBase + ".2.1.3.1 i 254 " +
                                kTimeBase + ".2.1.4.1 i 4294967294 " + kTimeBase + ".2.1.5.1 i 1");
        activated = Tool("snmpset", kDms + ".6.3.0 x \"FFFF FF 06 0001 0000 00000000\"");
    });
    EXPECT_NE(std::string::npos, made_valid.find("9.3.5 = INTEGER: 4")) << made_valid;
    EXPECT_NE(std::string::npos, made_valid.find("5.3.5 = INTEGER: 60664")) << made_valid;
    EXPECT_EQ(std::string::npos, action.find("rror")) << action;
    EXPECT_EQ(std::string::npos, plan.find("rror")) << plan;
    EXPECT_EQ(std::string::npos, entry.find("rror")) << entry;
    EXPECT_EQ(std::string::npos, activated.find("rror")) << activated;

    tx_thread_sleep(200); // two seconds
    std::string shown;
    Serve(
        [&] { shown = Tool("snmpget", kDms + ".6.5.0 " + kDms + ".6.7.0 " + kTimeBase + ".7.0"); });
    EXPECT_NE(std::string::npos, shown.find("6.5.0 = Hex-STRING: 03 00 05 EC F8")) << shown;
    EXPECT_NE(std::string::npos, shown.find("6.7.0 = INTEGER: 9")) << shown;
    EXPECT_NE(std::string::npos, shown.find("3.3.7.0 = INTEGER: 1")) << shown;
}

} // namespace
