// The bus decoder: a device mapped in the place of another answers from the
// next access on, whatever the accessing thread looked up before.
#include "platform/board/board.h"
#include "platform/board/bus.h"

#include <gtest/gtest.h>

namespace {

class Constant : public board::BusDevice {
  public:
    explicit Constant(uint32_t value) : value_(value) {}
    uint32_t Read(uint32_t offset, int) override { return value_ + offset; }
    void Write(uint32_t, int, uint32_t value) override { written = value; }
    uint32_t written = 0;

  private:
    const uint32_t value_;
};

const uint32_t BASE = 0x7F000000;

TEST(BusMap, ARemappedWindowAnswersFromTheNewDeviceAtOnce) {
    Constant first(0x100), second(0x200), inner(0x300);
    board::bus_map(BASE, 0x100, &first);
    EXPECT_EQ(0x104u, bus_read32(BASE + 4));
    bus_write32(BASE + 8, 1);
    EXPECT_EQ(1u, first.written);

    board::bus_map(BASE + 0x10, 0x10, &inner); // newer: wins inside its window
    EXPECT_EQ(0x304u, bus_read32(BASE + 0x14));
    EXPECT_EQ(0x120u, bus_read32(BASE + 0x20));

    board::bus_unmap(&first);
    board::bus_map(BASE, 0x100, &second);
    EXPECT_EQ(0x204u, bus_read32(BASE + 4));
    bus_write32(BASE + 8, 2);
    EXPECT_EQ(2u, second.written);
    EXPECT_EQ(1u, first.written);

    board::bus_unmap(&second);
    board::bus_unmap(&inner);
    EXPECT_EQ(0xFFFFFFFFu, bus_read32(BASE + 4)); // nothing there any more
}

} // namespace
