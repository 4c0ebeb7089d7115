// A bus device made of 16-bit registers at even offsets: byte and 32-bit
// accesses are split into and composed from the registers, big-endian, as the
// board's bus logic does. A derived device gives Reg and SetReg; both run
// under the device's mutex.
#pragma once

#include "platform/board/board.h"

#include <mutex>

namespace board {

class Reg16Device : public BusDevice {
  public:
    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t offset, int width, uint32_t value) override;

  protected:
    virtual uint16_t Reg(uint32_t reg) = 0;
    virtual void SetReg(uint32_t reg, uint16_t value) = 0;

    std::mutex m_;
};

} // namespace board
