// On-chip odds and ends of the board (see onchip.cpp).
#pragma once

#include "platform/board/board.h"

#include <mutex>

namespace board {

// The word at 0xFFFFFFF4 that names the monitor's entry (monConnect checks it).
const uint32_t kMonitorEntry = 0xFFF80100u;

uint32_t gpio_inputs();
void gpio_write_outputs(uint32_t set_mask, uint32_t clear_mask);
void onchip_reset();

// A board model wired to GPIO port 0's outputs (the display EPLD's
// configuration pins). Told of every change, from the writing thread, after
// the observer of gpio_on_output_change.
class GpioListener {
  public:
    virtual ~GpioListener() = default;
    virtual void OutputsChanged(uint32_t before, uint32_t after) = 0;
};
void gpio_listen(GpioListener* listener); // null: none

// GPIO port 0's registers on the bus (0xEF600700): the output register at
// offset 0 and the input register at offset 0x1C, 32 bits each.
class Gpio0Registers : public BusDevice {
  public:
    static const uint32_t kWindow = 0x20;
    enum : uint32_t { kOutput = 0x00, kInput = 0x1C };
    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t offset, int width, uint32_t value) override;
};

class MonitorEntryWord : public BusDevice {
  public:
    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t, int, uint32_t) override {}
};

} // namespace board
