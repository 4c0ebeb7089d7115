// A central system's PPP peer of our own (tests/comm/scripts/ppp_peer.py:
// its own framing, FCS and MD5) brings the sign's CCP line up in protocol 4
// over the pseudo-terminal linked as uart0: LCP, CHAP both ways, IPCP, then
// SNMP in PPP frames. What crossed the line is saved as a capture, and
// tshark decodes it without a malformed packet. The same peer brings up the
// "ethernet_ppp" channel on the NTCIP TCP port.
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/support/host_process.h"

#include <unistd.h>

#include <string>
#include <vector>

namespace {

const uint32_t CENTRAL = 0x0A141E28; // 10.20.30.40

class PppPeer : public agent_test::NetworkedSign {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        db_set(obj::halvCommConfigProtocol.row(ProtocolRow()), ProtocolRow() ? 10 : 4, 0);
        db_set(obj::halvRemoteIPAddress, CENTRAL, 0);
        tx_thread_sleep(1100); // the network start binds the PPP agent to its port
    }
    // Row 0: the CCP port in protocol 4; row 4: the Ethernet channel in protocol 10.
    virtual uint32_t ProtocolRow() const { return 0; }
    std::string Capture() const { return StateDir() + "/ppp.pcap"; }
    // Runs the peer against `link` while the firmware serves it (`scenario`:
    // the peer's optional last argument).
    void RunPeer(const std::string& link, const std::string& scenario = "") {
        char secret[256] = {};
        TheDatabase().GetChapSecret(secret, sizeof secret);
        test_support::ProcessResult result{-1, ""};
        std::string script = std::string(TEST_SOURCE_DIR) + "/comm/scripts/ppp_peer.py";
        Serve([&] {
            std::vector<std::string> command = {"/usr/bin/python3", script,   link, secret,
                                                "10.20.30.40",      Capture()};
            if (!scenario.empty()) command.push_back(scenario);
            result = test_support::RunProcess(command, StateDir() + "/peer.log", 60);
        });
        EXPECT_EQ(0, result.status) << result.output;
    }
};

TEST_F(PppPeer, BringsTheCcpLineUpAndGetsSnmpAnswers) {
    RunPeer(StateDir() + "/uart0");
    if (access("/usr/bin/tshark", X_OK) != 0)
        GTEST_SKIP() << "tshark (Debian package tshark) is not installed: the capture is not "
                        "decoded";
    test_support::ProcessResult decoded = test_support::RunProcess(
        {"/usr/bin/tshark", "-n", "-r", Capture(), "-V"}, StateDir() + "/tshark.log", 60);
    EXPECT_EQ(0, decoded.status) << decoded.output;
    EXPECT_EQ(std::string::npos, decoded.output.find("Malformed")) << decoded.output;
    EXPECT_NE(std::string::npos, decoded.output.find("Challenge Handshake Authentication"))
        << decoded.output;
    EXPECT_NE(std::string::npos, decoded.output.find("Internet Protocol Control Protocol"));
}

class PppPeerOnEthernet : public PppPeer {
  protected:
    uint32_t ProtocolRow() const override { return 4; }
};

TEST_F(PppPeerOnEthernet, BringsTheNtcipTcpChannelUpAndGetsSnmpAnswers) {
    RunPeer("tcp:127.0.0.1:" + std::to_string(agent_test::host_port(161)));
}

// A peer that authenticated, left without a word and connected again gets
// nothing but LCP until the new connection has authenticated for itself.
TEST_F(PppPeerOnEthernet, ANewConnectionAuthenticatesForItself) {
    RunPeer("tcp:127.0.0.1:" + std::to_string(agent_test::host_port(161)), "rejoin");
}

} // namespace
