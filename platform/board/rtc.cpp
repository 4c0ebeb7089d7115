// The board's real-time clock (see rtc.h).
#include "platform/board/rtc.h"

#include "platform/board/state_record.h"
#include "platform/kernel/host.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace board {

namespace {
const char kMagic[8] = {'R', 'T', 'C', 'L', 'O', 'C', 'K', '1'};
const uint64_t kCentisecondsPerSecond = 100;
const int64_t kMillisecondsPerCentisecond = 10;

// Host wall clock in milliseconds since 1970.
int64_t wall_milliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
} // namespace

struct RealTimeClock::Backing {
    char magic[8];
    uint64_t centiseconds; // the clock's reading when last saved
    int64_t wall_ms;       // the host's wall clock at that reading
};

RealTimeClock::~RealTimeClock() {
    Close();
}

RealTimeClock::Backing* RealTimeClock::MapBacking(const std::string& path, std::string& error,
                                                  bool create) {
    bool had_bytes = false;
    auto* file = static_cast<Backing*>(
        map_state_record("rtc", path, sizeof(Backing), create, &had_bytes, error));
    if (file == nullptr) return nullptr;
    if (std::memcmp(file->magic, kMagic, sizeof kMagic) != 0) {
        if (had_bytes)
            std::fprintf(stderr,
                         "rtc: %s was not valid: the clock starts again at the host's time\n",
                         path.c_str());
        std::memcpy(file->magic, kMagic, sizeof kMagic);
        int64_t now = wall_milliseconds();
        file->centiseconds = uint64_t(now / kMillisecondsPerCentisecond);
        file->wall_ms = now;
    }
    return file;
}

bool RealTimeClock::Open(const std::string& path, std::string& error) {
    std::lock_guard<std::mutex> lock(m_);
    file_ = MapBacking(path, error, true);
    if (file_ == nullptr) return false;
    // The clock ran on its battery while the board was off.
    int64_t off_ms = wall_milliseconds() - file_->wall_ms;
    uint64_t off = off_ms > 0 ? uint64_t(off_ms / kMillisecondsPerCentisecond) : 0;
    base_centiseconds_ = file_->centiseconds + off;
    base_tick_ = host::clock_ticks();
    SaveLocked(base_centiseconds_);
    return true;
}

void RealTimeClock::Close() {
    std::lock_guard<std::mutex> lock(m_);
    if (file_ == nullptr) return;
    SaveLocked(NowLocked());
    unmap_state_record(file_, sizeof(Backing));
    file_ = nullptr;
}

// The kernel tick is one hundredth of a second.
uint64_t RealTimeClock::NowLocked() {
    uint64_t ticks = host::clock_ticks();
    return base_centiseconds_ + (ticks > base_tick_ ? ticks - base_tick_ : 0);
}

void RealTimeClock::SaveLocked(uint64_t centiseconds) {
    if (file_ == nullptr) return;
    file_->centiseconds = centiseconds;
    file_->wall_ms = wall_milliseconds();
}

uint64_t RealTimeClock::Seconds() {
    std::lock_guard<std::mutex> lock(m_);
    uint64_t now = NowLocked();
    SaveLocked(now);
    return now / kCentisecondsPerSecond;
}

void RealTimeClock::SetSeconds(uint64_t seconds) {
    std::lock_guard<std::mutex> lock(m_);
    base_tick_ = host::clock_ticks();
    base_centiseconds_ = seconds * kCentisecondsPerSecond;
    SaveLocked(base_centiseconds_);
}

bool RealTimeClock::AgeFile(const std::string& path, uint32_t seconds) {
    std::string error;
    Backing* file = MapBacking(path, error, false);
    if (file == nullptr) return false;
    file->wall_ms -= int64_t(seconds) * 1000;
    unmap_state_record(file, sizeof(Backing));
    return true;
}

} // namespace board
