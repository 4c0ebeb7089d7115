// The board's bus logic at 0xF0200000: the 16-bit latch, the SPI port and the
// status register with the board identification bits.
#pragma once

#include "platform/board/reg16.h"

namespace board {

class BusLogic : public Reg16Device {
  public:
    static const uint32_t kWindow = 8;
    enum : uint32_t { kLatch = 0, kSpiControl = 2, kStatus = 4 };
    // SPI control bits.
    enum : uint16_t {
        kSpiSelectMask = 0x0300,
        kSpiRead = 0x0400,
        kSpiStart = 0x0800,
        kSpiReset = 0x1000,
        kSpiDone = 0x0100, // in the status register
    };

    void SetBoardId(int id) { board_id_ = id & 15; }
    void Attach(unsigned select, SpiDevice* device);

    // The SPI port is clocked byte by byte, several register accesses a
    // byte: they run under a spin lock rather than the device mutex.
    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t offset, int width, uint32_t value) override;

  protected:
    uint16_t Reg(uint32_t reg) override;
    void SetReg(uint32_t reg, uint16_t value) override;

  private:
    void Control(uint16_t value);
    SpiDevice* Selected();

    SpinLock lock_;
    int board_id_ = 2;
    uint16_t latch_ = 0;
    uint16_t control_ = 0x0200; // nothing selected
    bool done_ = false;
    uint8_t received_ = 0;
    unsigned selected_ = 2; // 0, 1, or 2 = none
    SpiDevice* devices_[2] = {nullptr, nullptr};
};

} // namespace board
