// The clock and non-volatile byte device at 0xF0100000 (16 byte registers).
// Registers 1, 3, 5 and 7 hold the global-time seconds counter, most
// significant first; the other bytes are battery-backed storage (0x0B the
// early-restart byte, 0x0E the control byte). The counter follows the kernel's
// clock while the program runs and keeps its last value while it does not, so
// that the firmware can measure an outage against the real-time clock (rtc.h).
// Everything lives in a small memory-mapped file of the state directory, so a
// killed program loses nothing.
#pragma once

#include "platform/board/board.h"

#include <mutex>
#include <string>

namespace board {

class ClockNvDevice : public BusDevice {
  public:
    static const uint32_t kWindow = 16;

    ~ClockNvDevice() override;
    // Open (or create) the backing file. False with the reason in `error`.
    bool Open(const std::string& path, std::string& error);
    void Close();

    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t offset, int width, uint32_t value) override;

    uint32_t Seconds();
    void SetSeconds(uint32_t seconds);
    uint8_t Byte(uint32_t offset);

  private:
    struct Backing; // the file's layout
    uint32_t NowLocked();
    void SaveLocked(uint32_t seconds);
    uint8_t ReadByte(uint32_t offset);
    void WriteByte(uint32_t offset, uint8_t value);

    std::mutex m_;
    Backing* file_ = nullptr;
    uint32_t base_seconds_ = 0; // counter at base_tick_
    uint64_t base_tick_ = 0;
    uint8_t latched_[4] = {}; // read latch, MSB first
    uint8_t pending_[4] = {}; // write holding register, MSB first
};

} // namespace board
