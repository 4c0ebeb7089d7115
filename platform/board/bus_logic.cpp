// The bus logic: latch, SPI port, board id (see bus_logic.h).
#include "platform/board/bus_logic.h"

namespace board {

void BusLogic::Attach(unsigned select, SpiDevice* device) {
    std::lock_guard<SpinLock> lock(lock_);
    if (select < 2) devices_[select] = device;
}

uint32_t BusLogic::Read(uint32_t offset, int width) {
    std::lock_guard<SpinLock> lock(lock_);
    return ReadRegisters(offset, width);
}

void BusLogic::Write(uint32_t offset, int width, uint32_t value) {
    std::lock_guard<SpinLock> lock(lock_);
    WriteRegisters(offset, width, value);
}

SpiDevice* BusLogic::Selected() {
    return selected_ < 2 ? devices_[selected_] : nullptr;
}

uint16_t BusLogic::Reg(uint32_t reg) {
    switch (reg) {
    case kLatch:
        return latch_;
    case kSpiControl:
        return control_;
    case kStatus:
        return uint16_t((board_id_ & 15) << 9) | (done_ ? kSpiDone : 0) | received_;
    default:
        return 0xFFFF;
    }
}

void BusLogic::SetReg(uint32_t reg, uint16_t value) {
    if (reg == kLatch) latch_ = value;
    if (reg == kSpiControl) Control(value);
}

// A write of the SPI control register: select changes first, then the
// rising edge of the start bit clocks one byte (sent, or 0xFF clocked out for
// a read), done at once.
void BusLogic::Control(uint16_t value) {
    bool start = (value & kSpiStart) && !(control_ & kSpiStart);
    control_ = value;
    unsigned select = (value & kSpiSelectMask) >> 8;
    if (value & kSpiReset) select = 2;
    if (select != selected_) {
        if (Selected() != nullptr) Selected()->Select(false);
        selected_ = select;
        if (Selected() != nullptr) Selected()->Select(true);
    }
    if (value & kSpiReset) {
        done_ = false;
        received_ = 0;
        return;
    }
    if (!start) return;
    uint8_t out = (value & kSpiRead) ? 0xFF : uint8_t(value);
    SpiDevice* dev = Selected();
    received_ = dev != nullptr ? dev->Transfer(out) : 0xFF;
    done_ = true;
}

} // namespace board
