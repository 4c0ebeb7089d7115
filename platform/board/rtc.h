// The board's battery-backed real-time clock, the one the boot monitor reads
// and sets as a calendar record (mon_rtcread, mon_rtcwrite). It counts UTC in
// hundredths of a second: a new state directory starts it at the host's UTC;
// while the program runs it follows the kernel's clock (so --speed and the
// virtual clock apply); while the program is stopped it keeps running with the
// host's wall clock. Its state is a small memory-mapped file of the state
// directory holding the clock's reading and the host's wall time at that
// reading, rewritten at every read and write, so a killed program loses
// nothing and a write keeps its offset from host time across restarts.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace board {

class RealTimeClock {
  public:
    ~RealTimeClock();
    // Open (or create) the backing file. False with the reason in `error`.
    bool Open(const std::string& path, std::string& error);
    void Close();

    // Whole seconds of UTC since 1970 (64 bits: the clock runs past 2106).
    uint64_t Seconds();
    // Set to `seconds` (the fraction of the running second restarts at 0).
    void SetSeconds(uint64_t seconds);

    // Host side: the file at `path` as if the board had been off for
    // `seconds` more than it was. False when the file cannot be used.
    static bool AgeFile(const std::string& path, uint32_t seconds);

  private:
    struct Backing;
    // Maps the backing file (a new or invalid one starts at the host's time);
    // null with the reason in `error`. Only `create` makes a missing file.
    static Backing* MapBacking(const std::string& path, std::string& error, bool create);
    uint64_t NowLocked();
    void SaveLocked(uint64_t centiseconds);

    std::mutex m_;
    Backing* file_ = nullptr;
    uint64_t base_centiseconds_ = 0; // reading at base_tick_
    uint64_t base_tick_ = 0;
};

} // namespace board
