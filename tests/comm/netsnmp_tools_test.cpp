// net-snmp's command-line tools as managers of the running sign: snmpget,
// snmpgetnext, snmpset and snmpwalk (-v1 -c stewardcastle) on UDP and TCP on
// the NTCIP port and on TCP 14001; and exchanges captured once from those
// tools replayed byte for byte.
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"

#include <string>

using namespace agent_test;

namespace {

class NetSnmpTools : public NetworkedSign {
  protected:
    std::string Tool(const std::string& tool, const std::string& where, const std::string& args) {
        return run_command(tool + " -v1 -c stewardcastle -t 3 -r 1 " + where + " " + args);
    }
};

TEST_F(NetSnmpTools, ReachTheSignOnEveryPort) {
    if (!netsnmp_tools_installed())
        GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
    const std::string transports[] = {
        "udp:127.0.0.1:" + std::to_string(host_port(161)),
        "tcp:127.0.0.1:" + std::to_string(host_port(161)),
        "tcp:127.0.0.1:" + std::to_string(host_port(14001)),
    };
    for (const std::string& at : transports) {
        std::string get, next, set, walk;
        Serve([&] {
            get = Tool("snmpget", at, "1.3.6.1.2.1.1.1.0");
            next = Tool("snmpgetnext", at, "1.3.6.1.2.1.1.3.0");
            set = Tool("snmpset", at, "1.3.6.1.2.1.1.5.0 s \"" + at + "\"");
            walk = Tool("snmpwalk", at, "1.3.6.1.2.1.1");
        });
        EXPECT_NE(std::string::npos, get.find("iso.3.6.1.2.1.1.1.0 = STRING: \"")) << at << get;
        EXPECT_NE(std::string::npos, next.find("iso.3.6.1.2.1.1.4.0 = STRING:")) << at << next;
        EXPECT_NE(std::string::npos, set.find("iso.3.6.1.2.1.1.5.0 = STRING: \"" + at + "\""))
            << at << set;
        EXPECT_STREQ(at.c_str(), db_get_string(obj::sysName));
        EXPECT_NE(std::string::npos, walk.find("iso.3.6.1.2.1.1.7.0 = INTEGER: ")) << at << walk;
        EXPECT_EQ(std::string::npos, walk.find("Timeout")) << at << walk;
    }
}

class CapturedExchanges : public test_support::FirmwareFixture {};

TEST_F(CapturedExchanges, AreAnsweredByteForByte) {
    CapturingAgent agent;
    for (const char* name : {"get", "getnext", "set"}) {
        snmp_test::Bytes request = snmp_test::fixture(std::string("exchange_") + name + "_request");
        snmp_test::Bytes expected =
            snmp_test::fixture(std::string("exchange_") + name + "_response");
        ASSERT_FALSE(request.empty()) << name;
        EXPECT_EQ(snmp_test::to_hex(expected), snmp_test::to_hex(agent.Ask(request))) << name;
    }
}

} // namespace
