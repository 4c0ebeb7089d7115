// The board behind the bus: board id, clock/NV device, real-time clock, UIC0, SPI port,
// display EPLD and DMA.
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/kernel/host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class BoardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/board_test_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(nullptr, 0);
        Start();
    }
    void TearDown() override {
        host::board_stop();
        std::filesystem::remove_all(options_.state_dir);
    }
    void Start() {
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
    }
    // The global time as the firmware reads it: most significant byte first.
    static uint32_t ReadGlobalTime() {
        uint32_t v = 0;
        for (uint32_t a = 0xF0100001; a <= 0xF0100007; a += 2)
            v = (v << 8) | bus_read8(a);
        return v;
    }
    // ... and writes it: least significant byte first.
    static void WriteGlobalTime(uint32_t v) {
        for (uint32_t a = 0xF0100007, shift = 0; a >= 0xF0100001; a -= 2, shift += 8)
            bus_write8(a, uint8_t(v >> shift));
    }

    host::HostOptions options_;
};

TEST_F(BoardTest, BoardIdReadsBackAsTheFirmwareComputesIt) {
    for (int id : {2, 0, 6, 7, 15}) {
        options_.board_id = id;
        host::board_stop();
        Start();
        uint16_t value = bus_read16(0xF0200004);
        EXPECT_EQ(id, (value >> 9) & 15) << "board id " << id;
        EXPECT_EQ(uint8_t(value >> 8), bus_read8(0xF0200004));
    }
    options_.board_id = 16;
    host::board_stop();
    std::string error;
    EXPECT_FALSE(host::board_start(options_, error));
    EXPECT_NE(std::string::npos, error.find("board id"));
}

TEST_F(BoardTest, LatchKeepsWhatWasWrittenAndUnmappedAddressesReadAllOnes) {
    bus_write16(0xF0200000, 0x0001);
    EXPECT_EQ(0x0001, bus_read16(0xF0200000));
    EXPECT_EQ(0xFFFFFFFFu, bus_read32(0x12345678));
    EXPECT_EQ(0xFF, bus_read8(0x12345678));
    bus_write32(0x12345678, 1); // ignored
    EXPECT_EQ(0u, dcr_read(0x1FF));
}

TEST_F(BoardTest, GlobalTimeFollowsTheKernelClockAndSurvivesARestart) {
    WriteGlobalTime(1000000000u);
    EXPECT_EQ(1000000000u, ReadGlobalTime());
    EXPECT_EQ(1000000000u, board::clock_seconds());
    tx_thread_sleep(100 * 3600); // an hour of virtual time
    EXPECT_EQ(1000003600u, ReadGlobalTime());

    // A half-written value (no most significant byte yet) changes nothing.
    bus_write8(0xF0100007, 0x55);
    EXPECT_EQ(1000003600u, ReadGlobalTime());

    bus_write8(0xF010000B, 0x0B); // early-restart byte
    board::set_rtc_seconds(2000000000u);
    host::board_stop();
    // Ten minutes off: the real-time clock runs on its battery, the
    // global-time counter keeps its last value.
    ASSERT_TRUE(host::board_power_off(options_.state_dir, 600));
    Start();
    EXPECT_EQ(1000003600u, ReadGlobalTime());
    EXPECT_GE(board::rtc_seconds(), 2000000600u);
    EXPECT_LE(board::rtc_seconds(), 2000000602u);
    EXPECT_EQ(0x0B, bus_read8(0xF010000B));
    tx_thread_sleep(1000);
    EXPECT_EQ(1000003610u, ReadGlobalTime());
}

TEST_F(BoardTest, ANewBoardsClocksStartAtZeroAndAtTheHostsTime) {
    EXPECT_EQ(0u, ReadGlobalTime());
    const uint64_t host_now = uint64_t(std::time(nullptr));
    EXPECT_GE(board::rtc_seconds() + 2, host_now);
    EXPECT_LE(board::rtc_seconds(), host_now + 2);
    EXPECT_FALSE(host::board_power_off(options_.state_dir + "/none", 1));
}

TEST_F(BoardTest, ReadingTheMostSignificantByteLatchesTheCounter) {
    WriteGlobalTime(0x0000FFFFu);
    tx_thread_sleep(50);
    uint8_t msb = bus_read8(0xF0100001);
    tx_thread_sleep(100); // the counter carries into the next byte meanwhile
    uint8_t b2 = bus_read8(0xF0100003), b1 = bus_read8(0xF0100005), b0 = bus_read8(0xF0100007);
    EXPECT_EQ(0x0000FFFFu, (uint32_t(msb) << 24) | (b2 << 16) | (b1 << 8) | b0);
    EXPECT_EQ(0x00010000u, ReadGlobalTime());
}

int g_dispatches = 0;
std::vector<uint32_t> g_seen;
void dispatcher() {
    ++g_dispatches;
    uint32_t pending = dcr_read(DCR_UIC0_MSR);
    g_seen.push_back(pending);
    dcr_write(DCR_UIC0_SR, pending);
}

TEST_F(BoardTest, InterruptControllerDispatchesEnabledSources) {
    g_dispatches = 0;
    g_seen.clear();
    board_set_external_interrupt_handler(dispatcher);
    dcr_write(DCR_UIC0_TR, 0xFFFFFFFFu); // all edge-triggered
    board::uic_set_input(0x4, true);     // not enabled yet: pending only
    tx_thread_sleep(1);
    EXPECT_EQ(0, g_dispatches);
    EXPECT_EQ(0x4u, dcr_read(DCR_UIC0_SR));
    EXPECT_EQ(0u, dcr_read(DCR_UIC0_MSR));

    dcr_write(DCR_UIC0_ER, 0x80000014u); // enabling a pending source raises it
    tx_thread_sleep(1);
    EXPECT_EQ(1, g_dispatches);
    EXPECT_EQ(0u, dcr_read(DCR_UIC0_SR));

    board::uic_set_input(0x4, true); // no new edge
    tx_thread_sleep(1);
    EXPECT_EQ(1, g_dispatches);
    board::uic_set_input(0x4, false);
    board::uic_pulse(0x80000000u);
    tx_thread_sleep(1);
    ASSERT_EQ(2, g_dispatches);
    EXPECT_EQ(0x80000000u, g_seen.back());

    dcr_write(DCR_UIC0_CR, 0x10); // critical sources do not reach this vector
    board::uic_pulse(0x10);
    tx_thread_sleep(1);
    EXPECT_EQ(2, g_dispatches);
    EXPECT_EQ(0x10u, dcr_read(DCR_UIC0_MSR));
    dcr_write(DCR_UIC0_SR, 0x10); // write 1 to clear
    EXPECT_EQ(0u, dcr_read(DCR_UIC0_SR));
    board_set_external_interrupt_handler(nullptr);
}

TEST_F(BoardTest, LevelSourceStaysPendingWhileActive) {
    g_dispatches = 0;
    board_set_external_interrupt_handler(dispatcher);
    dcr_write(DCR_UIC0_TR, 0); // level
    dcr_write(DCR_UIC0_ER, 0x40000000u);
    board::uic_set_input(0x40000000u, true);
    tx_thread_sleep(5);
    int while_active = g_dispatches;
    EXPECT_GE(while_active, 2); // the handler cannot clear a level still active
    EXPECT_EQ(0x40000000u, dcr_read(DCR_UIC0_SR));
    board::uic_set_input(0x40000000u, false);
    tx_thread_sleep(5);
    EXPECT_LE(g_dispatches, while_active + 1);
    EXPECT_EQ(0u, dcr_read(DCR_UIC0_SR));
    board_set_external_interrupt_handler(nullptr);
}

class EchoSpi : public board::SpiDevice {
  public:
    void Select(bool selected) override { events.push_back(selected ? "sel" : "desel"); }
    uint8_t Transfer(uint8_t out) override {
        events.push_back("x" + std::to_string(out));
        return uint8_t(out + 1);
    }
    std::vector<std::string> events;
};

TEST_F(BoardTest, SpiPortClocksBytesToTheSelectedDevice) {
    EchoSpi can;
    board::spi_attach(0, &can);
    bus_write16(0xF0200002, 0x0000 | 0x0800 | 0x41); // select device 0, start, send 0x41
    uint16_t status = bus_read16(0xF0200004);
    EXPECT_TRUE(status & 0x100);
    EXPECT_EQ(0x42, status & 0xFF);
    EXPECT_EQ(2, (status >> 9) & 15);                // the board id shares the register
    bus_write16(0xF0200002, 0x0000 | 0x0800 | 0x41); // start still set: no new transfer
    bus_write16(0xF0200002, 0x0400);                 // start cleared, then its rising edge
    bus_write16(0xF0200002, 0x0400 | 0x0800);        // read transfer clocks out 0xFF
    EXPECT_EQ(0x00, bus_read16(0xF0200004) & 0xFF);
    bus_write16(0xF0200002, 0x0200); // deselect
    EXPECT_EQ((std::vector<std::string>{"sel", "x65", "x255", "desel"}), can.events);
    board::spi_attach(0, nullptr);
}

// The display EPLD and DMA models from the bus: what reaches the display
// modules' side, and what the DMA refuses.
class DisplayBoard : public BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        board::display_output_attach(
            [this](const board::DisplayOutput& out) { shown_.push_back(out); });
    }
    void TearDown() override {
        board::display_output_attach(nullptr);
        BoardTest::TearDown();
    }
    static void Pins(uint32_t value) { bus_write32(BUS_GPIO0_OUTPUT, value); }
    static uint32_t Inputs() { return bus_read32(BUS_GPIO0_INPUT); }
    // nCONFIG high, then `bytes` bytes of ones on DATA.
    static void Configure(uint32_t bytes) {
        Pins(0);
        Pins(GPIO_EPLD_NCONFIG);
        for (uint32_t i = 0; i < 8 * bytes; ++i) {
            Pins(GPIO_EPLD_NCONFIG | GPIO_EPLD_DATA);
            Pins(GPIO_EPLD_NCONFIG | GPIO_EPLD_DATA | GPIO_EPLD_DCLK);
        }
    }
    static void Transfer(uint32_t source, uint32_t count) {
        dcr_write(DCR_DMA0_SR, 0xFFFFFFFFu);
        dcr_write(DCR_DMA0_SA0, source);
        dcr_write(DCR_DMA0_CT0, count);
        dcr_write(DCR_DMA0_CR0, DMA_CR_ENABLE);
    }
    static uint32_t Area() { return uint32_t(reinterpret_cast<uintptr_t>(board_frame_area())); }

    std::vector<board::DisplayOutput> shown_;
};

TEST_F(DisplayBoard, TheEpldShowsNothingUntilTheWholeImageIsIn) {
    EXPECT_EQ(0u, Inputs() & (GPIO_EPLD_NSTATUS | GPIO_EPLD_CONF_DONE));
    Configure(98022);
    EXPECT_EQ(GPIO_EPLD_NSTATUS, Inputs() & (GPIO_EPLD_NSTATUS | GPIO_EPLD_CONF_DONE));
    bus_write16(BUS_DISPLAY_EPLD + EPLD_CONTROL, 0x0150);
    EXPECT_EQ(0u, bus_read16(BUS_DISPLAY_EPLD + EPLD_VERSION));
    Transfer(Area(), 8);
    EXPECT_TRUE(shown_.empty());

    Configure(98023);
    EXPECT_EQ(GPIO_EPLD_CONF_DONE, Inputs() & GPIO_EPLD_CONF_DONE);
    board::epld_set_format_code(3);
    bus_write16(BUS_DISPLAY_EPLD + EPLD_CONTROL, 0x0150);
    EXPECT_EQ(0x0103u, bus_read16(BUS_DISPLAY_EPLD + EPLD_STATUS));
    EXPECT_EQ(12u, bus_read16(BUS_DISPLAY_EPLD + EPLD_VERSION) & 0xFF);
    ASSERT_EQ(1u, shown_.size()); // the new brightness at once
    EXPECT_EQ(0x50, shown_[0].brightness);
    std::memcpy(board_frame_area(), "\x01\x02\x03\x04", 4);
    Transfer(Area(), 2);
    ASSERT_EQ(2u, shown_.size());
    EXPECT_EQ(3, shown_[1].format);
    EXPECT_EQ(4u, shown_[1].frame_bytes);
    EXPECT_EQ(0, std::memcmp(shown_[1].frame, "\x01\x02\x03\x04", 4));

    board::epld_lose_configuration();
    ASSERT_EQ(3u, shown_.size());
    EXPECT_FALSE(shown_[2].lit);
}

TEST_F(DisplayBoard, TheDmaReadsOnlyTheFrameAreaAndCanBeHeld) {
    Configure(98023);
    struct {
        uint32_t source, count;
        bool completes;
    } cases[] = {
        {Area(), 0x10000, true},     // the whole area
        {Area(), 0x10001, false},    // one unit beyond it
        {Area() + 0x1FFFE, 1, true}, // its last two bytes
        {Area() - 2, 1, false},      // below it
        {0x00001000u, 4, false},     // elsewhere
    };
    for (const auto& c : cases) {
        size_t before = shown_.size();
        Transfer(c.source, c.count);
        uint32_t status = dcr_read(DCR_DMA0_SR);
        EXPECT_EQ(c.completes, (status & DMA_SR_TERMINAL_COUNT0) != 0) << std::hex << c.source;
        EXPECT_EQ(!c.completes, (status & DMA_SR_ERROR0) != 0);
        EXPECT_EQ(before + (c.completes ? 1 : 0), shown_.size());
    }
    board::dma_hold(true);
    Transfer(Area(), 4);
    EXPECT_EQ(0u, dcr_read(DCR_DMA0_SR) & DMA_SR_TERMINAL_COUNT0);
    size_t before = shown_.size();
    board::dma_hold(false);
    EXPECT_NE(0u, dcr_read(DCR_DMA0_SR) & DMA_SR_TERMINAL_COUNT0);
    EXPECT_EQ(before + 1, shown_.size());
}

} // namespace
