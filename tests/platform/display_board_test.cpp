// The display EPLD and DMA models from the bus: what reaches the display
// modules' side, and what the DMA refuses.
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/kernel/host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

class DisplayBoard : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/display_board_test_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(nullptr, 0);
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
        board::display_output_attach(
            [this](const board::DisplayOutput& out) { shown_.push_back(out); });
    }
    void TearDown() override {
        board::display_output_attach(nullptr);
        host::board_stop();
        std::filesystem::remove_all(options_.state_dir);
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

    host::HostOptions options_;
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
