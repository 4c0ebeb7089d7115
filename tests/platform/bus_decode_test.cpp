// Address decoding of the external bus: the newest mapping of an address
// answers it, whatever answered the access before.
#include "platform/board/board.h"
#include "platform/board/bus.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// A device that answers every read with its own tag and keeps the last write.
class TagDevice : public board::BusDevice {
  public:
    explicit TagDevice(uint32_t tag) : tag_(tag) {}
    uint32_t Read(uint32_t offset, int) override { return tag_ << 8 | offset; }
    void Write(uint32_t offset, int, uint32_t value) override {
        last_offset = offset;
        last_value = value;
    }
    uint32_t last_offset = 0xFFFFFFFF;
    uint32_t last_value = 0;

  private:
    uint32_t tag_;
};

const uint32_t kBase = 0x10000000; // far from every device the board maps

TEST(BusDecode, TheNewestOverlappingMappingAnswersAfterAnAccessToTheOlderOne) {
    TagDevice wide(1), inner(2), later(3);
    board::bus_map(kBase, 0x100, &wide);
    EXPECT_EQ(0x104u, bus_read32(kBase + 0x04));
    board::bus_map(kBase + 0x80, 0x10, &inner);
    struct Case {
        uint32_t addr;
        uint32_t expected;
    };
    // Alternating devices, and the older one right before the inner window.
    const Case cases[] = {{kBase + 0x04, 0x104}, {kBase + 0x84, 0x204}, {kBase + 0x7C, 0x17C},
                          {kBase + 0x8F, 0x20F}, {kBase + 0x90, 0x190}, {kBase + 0x84, 0x204}};
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, bus_read32(c.addr)) << std::hex << c.addr;
    bus_write16(kBase + 0x86, 0xBEEF);
    EXPECT_EQ(6u, inner.last_offset);
    EXPECT_EQ(0xBEEFu, inner.last_value);
    EXPECT_EQ(0xFFFFFFFFu, wide.last_offset);

    // A mapping that covers the one that answered last takes over at once.
    board::bus_map(kBase + 0x80, 0x08, &later);
    EXPECT_EQ(0x304u, bus_read32(kBase + 0x84));
    EXPECT_EQ(0x20Cu, bus_read32(kBase + 0x8C));

    // Unmapped, the older mappings answer again; with none, all ones.
    board::bus_unmap(&later);
    board::bus_unmap(&inner);
    EXPECT_EQ(0x184u, bus_read32(kBase + 0x84));
    board::bus_unmap(&wide);
    EXPECT_EQ(0xFFFFFFFFu, bus_read32(kBase + 0x84));
    EXPECT_EQ(0xFFFFu, bus_read16(kBase + 0x84));
}

} // namespace
