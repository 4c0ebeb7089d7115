// 16-bit register windows (see reg16.h).
#include "platform/board/reg16.h"

#include <thread>

namespace board {

uint32_t Reg16Device::Read(uint32_t offset, int width) {
    std::lock_guard<std::mutex> lock(m_);
    return ReadRegisters(offset, width);
}

void Reg16Device::Write(uint32_t offset, int width, uint32_t value) {
    std::lock_guard<std::mutex> lock(m_);
    WriteRegisters(offset, width, value);
}

uint32_t Reg16Device::ReadRegisters(uint32_t offset, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        uint32_t at = offset + i;
        uint16_t reg = Reg(at & ~1u);
        v = (v << 8) | ((at & 1) ? reg & 0xFF : reg >> 8);
    }
    return v;
}

void Reg16Device::WriteRegisters(uint32_t offset, int width, uint32_t value) {
    if (width == 1) { // one half of a 16-bit register
        uint32_t reg = offset & ~1u;
        uint16_t now = Reg(reg);
        now = (offset & 1) ? uint16_t((now & 0xFF00) | (value & 0xFF))
                           : uint16_t((now & 0x00FF) | ((value & 0xFF) << 8));
        SetReg(reg, now);
        return;
    }
    if (width == 4) {
        SetReg(offset & ~1u, uint16_t(value >> 16));
        SetReg((offset & ~1u) + 2, uint16_t(value));
        return;
    }
    SetReg(offset & ~1u, uint16_t(value));
}

void SpinLock::Pause() {
    std::this_thread::yield();
}

} // namespace board
