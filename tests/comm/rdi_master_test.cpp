// Scripted masters (tests/comm/scripts/rdi_master.py) on the CCP line's
// pseudo-terminal: the block-transfer mode (CCP protocol 14) end to end, and
// a PMPP master whose next request is answered by the pending trap.
#include "comm/agents/ntcip_agents.h"
#include "comm/agents/trap_delivery.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/support/host_process.h"

#include <string>

namespace {

std::string MasterScript() {
    return std::string(TEST_SOURCE_DIR) + "/comm/scripts/rdi_master.py";
}

class CcpMaster : public agent_test::NetworkedSign {
  protected:
    void RunMaster(const std::string& mode) {
        test_support::ProcessResult result{-1, ""};
        std::string log = StateDir() + "/master.log";
        std::string link = StateDir() + "/uart0";
        Serve([&] {
            result =
                test_support::RunProcess({"/usr/bin/python3", MasterScript(), link, mode}, log, 60);
        });
        EXPECT_EQ(0, result.status) << result.output;
    }
};

// Protocol 14 before the communication task binds the CCP port.
class RdiMaster : public CcpMaster {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        db_set(obj::halvCommConfigProtocol.row(0), TRAP_CCP_RDI, 0);
        tx_thread_sleep(1100);
        CNTCIP::SetRDIParameters(nullptr, "ccp_pmpp", 0, 2, 0, 0);
    }
};

TEST_F(RdiMaster, RequestsInBlocksAreAnsweredInChecksummedBlocks) {
    ASSERT_EQ(1, AgentRow(FindAgent("ccp_pmpp"))->agent->pmpp.rdi_flag);
    RunMaster("rdi");
}

TEST_F(CcpMaster, APendingTrapAnswersTheNextPoll) {
    db_set(obj::halvCommConfigTraps.row(0), TRAP_MODE_CCP, 0);
    db_set(obj::halvTrapsGeneric, 0x7F, 0);
    raise_trap(TRAP_WARM_START, 0, 0, nullptr);
    ASSERT_FALSE(TheTrapBuffer().IsEmpty());
    RunMaster("trap-poll");
    EXPECT_TRUE(TheTrapBuffer().IsEmpty());
}

} // namespace
