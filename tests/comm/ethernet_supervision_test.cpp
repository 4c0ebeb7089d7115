// The communication task's watch over the Ethernet port, on the virtual
// clock with the whole firmware: soft resets of a silent interface and the
// controlled restart when the PHY stops answering.
#include "comm/drivers/ethernet_mac.h"
#include "platform/board/emac_model.h"
#include "comm/comm_task.h"
#include "tests/comm/agent_net_util.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const ULONG STEP = 200;        // ticks of one step of the communication task
const int SILENT_STEPS = 1200; // 40 minutes of steps

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class EthernetSupervision : public agent_test::NetworkedSign {
  protected:
    // A broadcast frame on the wire: one receive interrupt.
    static void Interrupt() {
        std::vector<uint8_t> frame(60, 0);
        for (int i = 0; i < 6; i++)
            frame[i] = 0xFF;
        frame[12] = 0x08;
        board::ethernet_wire_receive(frame);
        tx_thread_sleep(1);
    }
    // The link check of `steps` steps of the task, back to back: the test
    // holds the processor, so the virtual clock stands still meanwhile.
    static void LinkChecks(int steps) {
        for (int i = 0; i < steps; i++)
            the_comm_task().CheckEthernetLink();
    }
    static int SoftResets() {
        return count_of(test_support::ConsoleText(), "Ethernet soft reset\n");
    }
};

TEST_F(EthernetSupervision, ASilentInterfaceIsSoftResetAtMostFourTimesPerSilentPeriod) {
    uint32_t resets = board::emac_registers().soft_resets;
    LinkChecks(2 * SILENT_STEPS);
    EXPECT_EQ(0, SoftResets()) << "no Ethernet interrupt seen yet";

    Interrupt();
    LinkChecks(SILENT_STEPS);
    EXPECT_EQ(0, SoftResets()) << "the step that sees the interrupt starts the period";
    LinkChecks(1);
    EXPECT_EQ(1, SoftResets());
    EXPECT_EQ(resets + 1, board::emac_registers().soft_resets);
    EXPECT_EQ(0x18000000u, board::emac_registers().mode0) << "the MAC runs again";

    LinkChecks(5 * SILENT_STEPS);
    EXPECT_EQ(4, SoftResets());

    Interrupt(); // the interface speaks: a new silent period may reset again
    LinkChecks(SILENT_STEPS + 1);
    EXPECT_EQ(5, SoftResets());
}

TEST_F(EthernetSupervision, APhyThatStopsAnsweringLeadsToLetter120AndTheEthernetReset) {
    EXPECT_EQ(0, emac().phy_fault);
    board::phy_set_answering(false);
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(1, emac().phy_fault);
    EXPECT_EQ(0, emac().link_up);
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("phy_read err3\n"));
    // Letter 120, answered 67 by the peripheral task: the controller restarts
    // through ethernet_reset (which reports when the board outlived it).
    tx_thread_sleep(10 * STEP);
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Ethernet Reset Failed\n"));

    board::phy_set_answering(true);
    tx_thread_sleep(1500); // past the reset's wait and a step
    EXPECT_EQ(0, emac().phy_fault);
    EXPECT_EQ(1, emac().link_up);
}

} // namespace
