// A bus device made of 16-bit registers at even offsets: byte and 32-bit
// accesses are split into and composed from the registers, big-endian, as the
// board's bus logic does. A derived device gives Reg and SetReg; both run
// under the device's lock (the mutex m_, unless the device overrides Read and
// Write to hold a lock of its own around ReadRegisters and WriteRegisters).
#pragma once

#include "platform/board/board.h"

#include <atomic>
#include <mutex>

namespace board {

class Reg16Device : public BusDevice {
  public:
    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t offset, int width, uint32_t value) override;

  protected:
    virtual uint16_t Reg(uint32_t reg) = 0;
    virtual void SetReg(uint32_t reg, uint16_t value) = 0;

    // The access itself; the caller holds the device's lock.
    uint32_t ReadRegisters(uint32_t offset, int width);
    void WriteRegisters(uint32_t offset, int width, uint32_t value);

    std::mutex m_;
};

// A lock for state held only for a few instructions and taken millions of
// times an hour (a register polled byte by byte): taking it free costs one
// atomic exchange and releasing it a plain store, where a mutex costs two
// atomic operations and two library calls. A waiter yields the host processor.
class SpinLock {
  public:
    void lock() {
        while (held_.exchange(true, std::memory_order_acquire))
            while (held_.load(std::memory_order_relaxed))
                Pause();
    }
    void unlock() { held_.store(false, std::memory_order_release); }

  private:
    static void Pause();
    std::atomic<bool> held_{false};
};

} // namespace board
