// SNMP over the serial links' own IP networks, driven from the line
// (tests/comm/scripts/link_ip_peer.py): a PMPP master that writes IPv4/UDP
// datagrams in frames with IPI 0x21 itself, and a bridge of the PMPP and PPP
// links' datagrams to a TUN device in a network namespace, from where
// net-snmp's snmpget (UDP, and TCP twice) and ping reach the sign. The way
// back of each request is kept with it; a TCP response that finds the
// connection gone is dropped.
#include "comm/agents/ntcip_agents.h"
#include "platform/monitor/monitor.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/console/console_test_util.h"
#include "tests/support/host_process.h"
#include "tests/support/kernel_fixture.h"

#include <unistd.h>

#include <string>
#include <vector>

namespace {

const char* const SIGN = "10.9.8.7"; // the sign's address on its links (IPADD)
const uint32_t CENTRAL = 0x0A141E28; // 10.20.30.40

std::string PeerScript() {
    return std::string(TEST_SOURCE_DIR) + "/comm/scripts/link_ip_peer.py";
}

class LinkIp : public agent_test::NetworkedSign {
  protected:
    void Prepare() override { mon_setenv("IPADD", SIGN); }
    // Runs the peer in `mode` against the CCP line while the firmware serves it.
    void RunPeer(std::vector<std::string> args) {
        test_support::ProcessResult result{-1, ""};
        std::vector<std::string> command = {"/usr/bin/python3", PeerScript(), args[0],
                                            StateDir() + "/uart0", SIGN};
        command.insert(command.end(), args.begin() + 1, args.end());
        Serve([&] { result = test_support::RunProcess(command, StateDir() + "/peer.log", 120); });
        EXPECT_EQ(0, result.status) << result.output;
    }
    // Why the namespace test cannot run here ("" when it can).
    static std::string TunMissing() {
        if (geteuid() != 0) return "needs root (CAP_NET_ADMIN) for a TUN device and a namespace";
        if (access("/dev/net/tun", R_OK | W_OK) != 0) return "no /dev/net/tun";
        const char* const tools[][2] = {{"/usr/bin/snmpget", "snmp"},
                                        {"/usr/bin/ping", "iputils-ping"},
                                        {"/bin/ip", "iproute2"}};
        for (const auto& tool : tools)
            if (access(tool[0], X_OK) != 0)
                return std::string(tool[0]) + " is not installed (Debian package " + tool[1] + ")";
        test_support::ProcessResult made =
            test_support::RunProcess({"/bin/sh", "-c", "unshare -n true"}, "/dev/null", 10);
        if (made.status != 0) return "cannot make network namespaces";
        return "";
    }
};

TEST_F(LinkIp, APmppMasterGetsUdpAnswersAndCraftedDatagramsAreDropped) {
    RunPeer({"pmpp-udp"});
}

// What no dispatch thread sends follows the link's last IPI; a TCP response
// that finds the connection gone is dropped (the PMPP driver says so), and
// the line stays silent.
TEST_F(LinkIp, ATcpResponseAfterThePeerClosedIsDropped) {
    struct row {
        const char* agent;
        const char* said;
    };
    for (const row& r :
         {row{"ccp_pmpp", "snmp_pmpp_net_drv: unable to tx over tcp, not connected\n"},
          row{"ccp_ppp", nullptr}}) {
        int index = FindAgent(r.agent);
        ASSERT_NE(AGENT_NOT_FOUND, index) << r.agent;
        CNTCIP* agent = AgentRow(index)->agent;
        agent->link_net.last = snmp_way_back{2, 0x0A010203, 5000};
        agent->link_net.connected = 0;
        agent->pmpp.ipi = agent->ppp.framing = 0x21;
        uint32_t frames = agent->pmpp.frames_sent + agent->ppp.frames_sent;
        test_support::ClearConsole();
        agent_test::Bytes response = agent_test::get(7);
        uint32_t length = uint32_t(response.size());
        agent->driver(agent, 0, SNMP_DRIVER_SEND, response.data(), &length);
        tx_thread_sleep(10);
        if (r.said)
            EXPECT_NE(std::string::npos, test_support::ConsoleText().find(r.said)) << r.agent;
        else
            EXPECT_EQ(std::string::npos, test_support::ConsoleText().find("net_drv")) << r.agent;
        EXPECT_EQ(frames, agent->pmpp.frames_sent + agent->ppp.frames_sent) << r.agent;
    }
}

TEST_F(LinkIp, SnmpgetAndPingReachTheSignThroughItsPmppLink) {
    std::string missing = TunMissing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    RunPeer({"pmpp-tun"});
}

class PppLinkIp : public LinkIp {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        db_set(obj::halvCommConfigProtocol.row(0), 4, 0);
        db_set(obj::halvRemoteIPAddress, CENTRAL, 0);
        tx_thread_sleep(1100); // the network start binds the PPP agent to the CCP port
    }
};

TEST_F(PppLinkIp, APeerGetsUdpAnswersWhereItsRequestsCameFrom) {
    char secret[256] = {};
    TheDatabase().GetChapSecret(secret, sizeof secret);
    RunPeer({"ppp-udp", secret, "10.20.30.40"});
}

TEST_F(PppLinkIp, SnmpgetAndPingReachTheSignThroughItsPppLink) {
    std::string missing = TunMissing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    char secret[256] = {};
    TheDatabase().GetChapSecret(secret, sizeof secret);
    RunPeer({"ppp-tun", secret, "10.20.30.40"});
}

} // namespace
