// The agent table and the port drivers: binding, the lock word and the
// refusals, on the booted firmware (the Ethernet agents are created at start).
#include "comm/agents/ntcip_agents.h"
#include "comm/comm_task.h"
#include "comm/net/servers.h"
#include "tests/support/firmware_fixture.h"

#include <string>

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
    EXPECT_EQ(AGENT_NOT_FOUND, FindAgent("ccp_pmpp"));
}

TEST_F(NtcipAgents, ABusyPortIsRefusedUntilItsHolderLetsGo) {
    test_support::ClearConsole();
    EXPECT_EQ(0, CNTCIP::Configure("ethernet_udp", 4));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                     "CNTCIP::Configure: error unable to attain driver:4"));
    EXPECT_FALSE(Locked(5)); // the old binding was released before the new port was tried
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
