// A scripted central master (tests/comm/scripts/pmpp_master.py, with its own
// framing and FCS) polls the sign over the CCP line (the pseudo-terminal
// linked as uart0, or a TCP line) and over the Ethernet TCP channel in PMPP
// frames. Each case is the whole conversation of a master: answer at once,
// hold for the poll, the empty poll answer, silence for what it must refuse.
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/support/host_process.h"

#include <string>

namespace {

using agent_test::host_port;

std::string MasterScript() {
    return std::string(TEST_SOURCE_DIR) + "/comm/scripts/pmpp_master.py";
}

class PmppMaster : public agent_test::NetworkedSign {
  protected:
    // Runs the master against `link` while the firmware serves it.
    void RunMaster(const std::string& link) {
        test_support::ProcessResult result{-1, ""};
        std::string log = StateDir() + "/master.log";
        Serve([&] {
            result = test_support::RunProcess({"/usr/bin/python3", MasterScript(), link}, log, 60);
        });
        EXPECT_EQ(0, result.status) << result.output;
    }
};

TEST_F(PmppMaster, OnTheCcpPseudoTerminal) {
    RunMaster(StateDir() + "/uart0");
}

class PmppMasterOnTcpLine : public PmppMaster {
  protected:
    void Configure(host::HostOptions& options) override {
        PmppMaster::Configure(options);
        options.uart[0] = "tcp:2101";
    }
};

TEST_F(PmppMasterOnTcpLine, OnTheCcpLineOverTcp) {
    RunMaster("tcp:127.0.0.1:" + std::to_string(host_port(2101)));
}

// Channel protocol 9 before the communication task's first step: the TCP
// server on the NTCIP port carries PMPP frames for "ethernet_pmpp".
class PmppMasterOnEthernet : public PmppMaster {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        db_set(obj::halvCommConfigProtocol.row(4), 9, 0);
        tx_thread_sleep(1100);
    }
};

TEST_F(PmppMasterOnEthernet, OnTheNtcipTcpPort) {
    RunMaster("tcp:127.0.0.1:" + std::to_string(host_port(161)));
}

} // namespace
