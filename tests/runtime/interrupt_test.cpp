#include "runtime/interrupt.h"

#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <vector>

namespace {

// UIC0 as the dispatcher sees it: status (write 1 to clear), enable, masked status.
struct fake_uic : board::DcrDevice {
    uint32_t status = 0;
    uint32_t enable = 0xFFFFFFFF;
    std::vector<uint32_t> status_clears;
    uint32_t ReadDcr(uint32_t dcrn) override {
        switch (dcrn) {
        case DCR_UIC0_SR:
            return status;
        case DCR_UIC0_ER:
            return enable;
        case DCR_UIC0_MSR:
            return status & enable;
        default:
            return 0;
        }
    }
    void WriteDcr(uint32_t dcrn, uint32_t value) override {
        if (dcrn == DCR_UIC0_SR) {
            status &= ~value;
            status_clears.push_back(value);
        }
        if (dcrn == DCR_UIC0_ER) enable = value;
    }
};

struct counting_isr : Interrupt {
    int calls = 0;
    void handler() override { calls++; }
};

int g_rx_calls = 0;
void rx_handler() {
    g_rx_calls++;
}

class InterruptRegistry : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        board::dcr_map(DCR_UIC0_SR, 9, &uic);
    }
    void TearDown() override { board::dcr_unmap(&uic); }
    fake_uic uic;
};

TEST_F(InterruptRegistry, SourcesGoToTheObjectOfTheirLowestBit) {
    counting_isr can, spare, replacement;
    isr_register(0x14, &can); // stored for 0x4 only
    EXPECT_EQ(&can, isr_registered(0x4));
    EXPECT_EQ(nullptr, isr_registered(0x10));

    uic.status = 0x14;
    isr_dispatch();
    EXPECT_EQ(1, can.calls);
    EXPECT_EQ(0u, uic.status);
    EXPECT_EQ(2u, isr_count_all()); // the unregistered 0x10 is counted and cleared

    isr_register(0x4, &replacement);
    uic.status = 0x4;
    isr_dispatch();
    EXPECT_EQ(1, can.calls);
    EXPECT_EQ(1, replacement.calls);
    isr_unregister(0x4);
    uic.status = 0x4;
    isr_dispatch();
    EXPECT_EQ(1, replacement.calls);

    test_support::ClearConsole();
    isr_register(0x4, nullptr);
    isr_register(0, &spare);
    EXPECT_EQ("registering isr:0x00000004 failed\nregistering isr:0x00000000 failed\n",
              test_support::ConsoleText());
}

TEST_F(InterruptRegistry, EthernetSourcesGoToTheirFixedHandlers) {
    isr_set_ethernet_handler(ISR_MAL_RXEOB, rx_handler);
    uic.status = ISR_MAL_RXEOB | ISR_EMAC; // EMAC has no handler installed
    isr_dispatch();
    EXPECT_EQ(1, g_rx_calls);
    EXPECT_EQ(2u, isr_count_ethernet());
    EXPECT_EQ(1, isr_ethernet_activity());
    EXPECT_EQ(0u, uic.status);
    ASSERT_FALSE(uic.status_clears.empty());
    EXPECT_EQ(ISR_ETHERNET_BITS, uic.status_clears.front());
}

TEST_F(InterruptRegistry, PulseSourceIsMaskedAfterAThousandPulses) {
    counting_isr pulse;
    isr_register(ISR_PULSE_SOURCE, &pulse);
    for (int i = 1; i <= 1000; i++) {
        EXPECT_TRUE(uic.enable & ISR_PULSE_SOURCE) << i;
        uic.status |= ISR_PULSE_SOURCE;
        isr_dispatch();
    }
    EXPECT_EQ(1000u, isr_count_pulses());
    EXPECT_EQ(1000, pulse.calls);
    EXPECT_FALSE(uic.enable & ISR_PULSE_SOURCE);
    uic.status |= ISR_PULSE_SOURCE; // pending but masked: nothing runs
    isr_dispatch();
    EXPECT_EQ(1000, pulse.calls);
}

} // namespace

namespace {

// The dispatcher on the board's own interrupt controller, installed at start-up.
class InterruptOnTheBoard : public test_support::FirmwareFixture {};

TEST_F(InterruptOnTheBoard, ARaisedSourceReachesItsHandlerAndThePulseSourceIsThrottled) {
    counting_isr can, pulse;
    isr_register(0x4, &can);
    isr_register(ISR_PULSE_SOURCE, &pulse);
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) | 0x4 | ISR_PULSE_SOURCE);
    board::uic_pulse(0x4);
    tx_thread_sleep(1);
    EXPECT_EQ(1, can.calls);
    EXPECT_EQ(0u, dcr_read(DCR_UIC0_SR) & 0x4);

    for (int i = 0; i < 1005; i++) {
        board::uic_pulse(ISR_PULSE_SOURCE);
        tx_thread_sleep(1);
    }
    EXPECT_EQ(1000, pulse.calls);
    EXPECT_EQ(0u, dcr_read(DCR_UIC0_ER) & ISR_PULSE_SOURCE);
    isr_unregister(0x4);
    isr_unregister(ISR_PULSE_SOURCE);
}

// A level source whose device stays active (its handler does not quieten it)
// must not hold the processor: the system keeps running and the source is
// served again at each request of the controller.
TEST_F(InterruptOnTheBoard, AStuckLevelSourceDoesNotHoldTheProcessor) {
    counting_isr stuck;
    isr_register(0x4, &stuck);
    dcr_write(DCR_UIC0_TR, dcr_read(DCR_UIC0_TR) & ~0x4u); // level
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) | 0x4);
    board::uic_set_input(0x4, true);
    ULONG before = tx_time_get();
    tx_thread_sleep(10);
    EXPECT_EQ(before + 10, tx_time_get());
    EXPECT_GE(stuck.calls, 10);
    board::uic_set_input(0x4, false);
    tx_thread_sleep(2);
    int calls = stuck.calls;
    tx_thread_sleep(10);
    EXPECT_EQ(calls, stuck.calls);
    isr_unregister(0x4);
}

} // namespace
