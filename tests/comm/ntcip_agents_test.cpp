// The agent table and the port drivers: binding, the lock word and the
// refusals, on the booted firmware (the Ethernet agents are created at start).
#include "comm/agents/ntcip_agents.h"
#include "comm/comm_task.h"
#include "comm/net/servers.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <string>
#include <vector>

namespace {

class NtcipAgents : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        tx_thread_sleep(1100); // the communication task has opened and bound the servers
    }
    static uint8_t PortOf(const char* name) { return AgentRow(FindAgent(name))->port; }
    static bool Locked(uint32_t port) { return (PortLockWord() >> port) & 1u; }
};

TEST_F(NtcipAgents, TheEthernetAgentsAreBoundToTheTcpAndUdpServers) {
    EXPECT_EQ(4, PortOf("ethernet_tcp"));
    EXPECT_EQ(5, PortOf("ethernet_udp"));
    EXPECT_TRUE(Locked(4));
    EXPECT_TRUE(Locked(5));
    EXPECT_FALSE(Locked(6)); // the trap server is held only while a trap goes out
    // The longest response each can send: one datagram; the link's buffer on TCP.
    EXPECT_EQ(UDP_SEND_MAX, AgentRow(FindAgent("ethernet_udp"))->agent->response_limit);
    EXPECT_EQ(ETHERNET_TX_BYTES, AgentRow(FindAgent("ethernet_tcp"))->agent->response_limit);
    EXPECT_EQ(AGENT_NOT_FOUND, FindAgent("ethernet"));
}

// The address-translation table's entry 0 is this sign's address and MAC,
// filled by the agents' address configuration at start-up.
TEST_F(NtcipAgents, TheAddressTranslationTableHoldsTheSignsAddressAndMac) {
    agent_test::CapturingAgent agent;
    const std::vector<uint32_t> at = {1, 3, 6, 1, 2, 1, 3, 1, 1};
    auto next = [&](uint32_t column) {
        std::vector<uint32_t> name = at;
        name.push_back(column);
        return agent.AskPdu(agent_test::request(0xA1, agent_test::ADMIN, name, column));
    };
    auto net = next(3);
    ASSERT_TRUE(net);
    const snmp_varbind& address = net->varbinds[0];
    EXPECT_EQ(std::vector<uint32_t>({1, 3, 6, 1, 2, 1, 3, 1, 1, 3, 0, 1, 127, 0, 0, 1}),
              std::vector<uint32_t>(address.name, address.name + address.name_length));
    EXPECT_EQ(snmp_test::Bytes({127, 0, 0, 1}),
              snmp_test::Bytes(address.value, address.value + address.value_length));
    auto phys = next(2);
    ASSERT_TRUE(phys);
    uint8_t mac[7] = {};
    ASSERT_EQ(6u, db_get_string_copy(obj::ifPhysAddress, mac, sizeof mac));
    EXPECT_NE(snmp_test::Bytes(6, 0), snmp_test::Bytes(mac, mac + 6));
    EXPECT_EQ(snmp_test::Bytes(mac, mac + 6),
              snmp_test::Bytes(phys->varbinds[0].value,
                               phys->varbinds[0].value + phys->varbinds[0].value_length));
}

TEST_F(NtcipAgents, SixAgentsAndTheCcpPortCarriesPmppByDefault) {
    for (const char* name :
         {"ccp_pmpp", "ccp_ppp", "ethernet_pmpp", "ethernet_ppp", "ethernet_tcp", "ethernet_udp"})
        EXPECT_NE(AGENT_NOT_FOUND, FindAgent(name)) << name;
    EXPECT_EQ(0, PortOf("ccp_pmpp"));
    EXPECT_EQ(PORT_NONE, PortOf("ccp_ppp"));
    EXPECT_TRUE(Locked(0));
    EXPECT_EQ(1u, AgentRow(FindAgent("ccp_pmpp"))->agent->pmpp.station_address);
}

// CCP modes 4 and 5 carry PPP: the communication task's first step binds
// "ccp_ppp" to the CCP port instead.
class NtcipAgentsWithPppOnTheCcpPort : public NtcipAgents {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        db_set(obj::halvCommConfigProtocol.row(0), 4, 0);
        tx_thread_sleep(1100);
    }
};

TEST_F(NtcipAgentsWithPppOnTheCcpPort, TheCcpPortCarriesPpp) {
    EXPECT_EQ(0, PortOf("ccp_ppp"));
    EXPECT_EQ(PORT_NONE, PortOf("ccp_pmpp"));
    EXPECT_TRUE(Locked(0));
}

TEST_F(NtcipAgents, ANewHdlcAddressReachesEveryAgentThroughTheDisplayTask) {
    db_set(obj::halvhdlcAddress, 0x0105, DB_NOTIFY);
    tx_thread_sleep(200);
    for (const char* name : {"ccp_pmpp", "ethernet_pmpp", "ethernet_udp"})
        EXPECT_EQ(0x0105u, AgentRow(FindAgent(name))->agent->pmpp.station_address) << name;
}

TEST_F(NtcipAgents, TheCcpPortIsRefusedWhileTheOtherAgentHoldsIt) {
    test_support::ClearConsole();
    EXPECT_EQ(0, CNTCIP::Configure("ccp_ppp", 0));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                     "CNTCIP::Configure: error unable to attain driver:0"));
    EXPECT_EQ(1, CNTCIP::Configure("ccp_pmpp", PORT_NONE));
    EXPECT_EQ(1, CNTCIP::Configure("ccp_ppp", 0));
    EXPECT_EQ(0, PortOf("ccp_ppp"));
}

TEST_F(NtcipAgents, APmppAgentOnTheTrapPortHoldsItIdle) {
    test_support::ClearConsole();
    EXPECT_EQ(1, CNTCIP::Configure("ethernet_pmpp", 6));
    EXPECT_TRUE(Locked(6));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("CNTCIP::Configure: error invalid port setting:6"));
    EXPECT_EQ(nullptr, AcquirePortDriver(6)) << "trap sending finds the port busy";
}

TEST(CcpLine, FlowControlAndModeChooseTheOptionWords) {
    struct row {
        uint8_t flow_control, mode;
        uint32_t options, flow;
    } rows[] = {{1, 2, 0x1821, 0},  {2, 2, 0x5221, 0},  {3, 2, 0x5421, 0},
                {7, 2, 0x5021, 1},  {8, 2, 0x5421, 2},  {0, 2, 0x3121, 0},
                {7, 14, 0x5022, 1}, {1, 14, 0x1822, 0}, {9, 14, 0x3122, 0}};
    for (const row& r : rows) {
        ccp_line_options line = CcpLineOptions(r.flow_control, r.mode);
        EXPECT_EQ(r.options, line.options) << int(r.flow_control) << " mode " << int(r.mode);
        EXPECT_EQ(r.flow, line.flow) << int(r.flow_control) << " mode " << int(r.mode);
    }
}

TEST_F(NtcipAgents, ABusyPortIsRefusedUntilItsHolderLetsGo) {
    test_support::ClearConsole();
    EXPECT_EQ(0, CNTCIP::Configure("ethernet_udp", 4));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                     "CNTCIP::Configure: error unable to attain driver:4"));
    EXPECT_FALSE(Locked(5)); // the old binding was released before the new port was tried
    EXPECT_EQ(PORT_NONE, PortOf("ethernet_udp"));
    // Another user takes the released port; unbinding the refused agent leaves it held.
    ASSERT_NE(nullptr, AcquirePortDriver(5));
    EXPECT_EQ(1, CNTCIP::Configure("ethernet_udp", PORT_NONE));
    EXPECT_TRUE(Locked(5));
    EXPECT_TRUE(ReleasePortDriver(5));
    EXPECT_EQ(1, CNTCIP::Configure("ethernet_tcp", PORT_NONE));
    EXPECT_EQ(1, CNTCIP::Configure("ethernet_udp", 4));
    EXPECT_EQ(4, PortOf("ethernet_udp"));
}

TEST_F(NtcipAgents, UnbindingTwiceReleasesThePortOnce) {
    EXPECT_EQ(1, CNTCIP::Configure("ethernet_udp", PORT_NONE));
    EXPECT_FALSE(Locked(5));
    ASSERT_NE(nullptr, AcquirePortDriver(5)); // another user takes it
    EXPECT_EQ(1, CNTCIP::Configure("ethernet_udp", PORT_NONE));
    EXPECT_TRUE(Locked(5));
}

TEST_F(NtcipAgents, PortsWithoutAFittingDriver) {
    test_support::ClearConsole();
    // Ports 2 and 3 have no driver: refused, and their lock bit stays set.
    EXPECT_EQ(0, CNTCIP::Configure("ethernet_tcp", 2));
    EXPECT_TRUE(Locked(2));
    EXPECT_EQ(0, CNTCIP::Configure("ethernet_tcp", 7));
    // Port 6 is a TCP server an Ethernet agent cannot use: bound idle, port held.
    EXPECT_EQ(1, CNTCIP::Configure("ethernet_tcp", 6));
    EXPECT_TRUE(Locked(6));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("CNTCIP::Configure: error invalid port setting:6"));
    EXPECT_EQ(0, CNTCIP::Configure("no such agent", 4));
}

TEST_F(NtcipAgents, StatisticsOfAnUnknownAgentOrSelector) {
    EXPECT_EQ(0u, CNTCIP::GetAgentStatistic("nobody", 1));
    EXPECT_EQ(0u, CNTCIP::GetAgentStatistic("ccp_pmpp", 5));
    EXPECT_EQ(1, CNTCIP::SetPMPPTimeout(nullptr, "nobody", 5));
}

TEST_F(NtcipAgents, TheTableHoldsTwelveAgents) {
    static CNTCIP spare;
    uint32_t before = AgentCount();
    for (uint32_t i = before; i < AGENT_ROWS; i++)
        EXPECT_EQ(1, CNTCIP::InsertAgent(&spare, AGENT_ETHERNET));
    EXPECT_EQ(0, CNTCIP::InsertAgent(&spare, AGENT_ETHERNET));
    EXPECT_EQ(AGENT_ROWS, AgentCount());
}

TEST_F(NtcipAgents, ReleaseCoversSixteenPortBits) {
    EXPECT_TRUE(ReleasePortDriver(15));
    EXPECT_FALSE(ReleasePortDriver(16));
    EXPECT_EQ(nullptr, AcquirePortDriver(7));
}

} // namespace
