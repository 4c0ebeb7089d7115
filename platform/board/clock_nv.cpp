// The clock and non-volatile byte device (see clock_nv.h).
#include "platform/board/clock_nv.h"

#include "platform/board/state_record.h"
#include "platform/kernel/host.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace board {

namespace {
const char kMagic[8] = {'C', 'L', 'O', 'C', 'K', 'N', 'V', '1'};
const uint64_t kTicksPerSecond = 100;

// Index of a counter register (1, 3, 5, 7 -> 0..3), or -1.
int counter_index(uint32_t offset) {
    return (offset & 1) && offset <= 7 ? int(offset / 2) : -1;
}

uint64_t wall_seconds() {
    return uint64_t(std::time(nullptr));
}
} // namespace

struct ClockNvDevice::Backing {
    char magic[8];
    uint32_t seconds; // the counter when last saved
    uint32_t unused;
    uint64_t wall;          // host seconds when last saved
    uint8_t bytes[kWindow]; // the storage bytes
};

ClockNvDevice::~ClockNvDevice() {
    Close();
}

bool ClockNvDevice::Open(const std::string& path, std::string& error) {
    std::lock_guard<std::mutex> lock(m_);
    bool had_bytes = false;
    file_ = static_cast<Backing*>(
        map_state_record("clock/NV", path, sizeof(Backing), true, &had_bytes, error));
    if (file_ == nullptr) return false;
    if (std::memcmp(file_->magic, kMagic, sizeof kMagic) != 0) {
        // New (or unreadable): the counter and the storage bytes start at 0,
        // as on a new board.
        if (had_bytes)
            std::fprintf(stderr,
                         "clock/NV: %s was not valid: the counter and the stored bytes start "
                         "again from 0\n",
                         path.c_str());
        std::memset(file_, 0, sizeof(Backing));
        std::memcpy(file_->magic, kMagic, sizeof kMagic);
    }
    // The counter stood still while the board was off: the firmware measures
    // the outage against the real-time clock.
    base_seconds_ = file_->seconds;
    base_tick_ = host::clock_ticks();
    SaveLocked(base_seconds_);
    return true;
}

void ClockNvDevice::Close() {
    std::lock_guard<std::mutex> lock(m_);
    if (file_ == nullptr) return;
    SaveLocked(NowLocked());
    unmap_state_record(file_, sizeof(Backing));
    file_ = nullptr;
}

uint32_t ClockNvDevice::NowLocked() {
    uint64_t ticks = host::clock_ticks();
    uint64_t elapsed = ticks > base_tick_ ? (ticks - base_tick_) / kTicksPerSecond : 0;
    return uint32_t(base_seconds_ + elapsed);
}

void ClockNvDevice::SaveLocked(uint32_t seconds) {
    if (file_ == nullptr) return;
    file_->seconds = seconds;
    file_->wall = wall_seconds();
}

uint32_t ClockNvDevice::Seconds() {
    std::lock_guard<std::mutex> lock(m_);
    uint32_t now = NowLocked();
    SaveLocked(now);
    return now;
}

void ClockNvDevice::SetSeconds(uint32_t seconds) {
    std::lock_guard<std::mutex> lock(m_);
    // Keep the fraction of the running second, so the counter steps on time.
    uint64_t ticks = host::clock_ticks();
    base_tick_ = ticks - (ticks > base_tick_ ? (ticks - base_tick_) % kTicksPerSecond : 0);
    base_seconds_ = seconds;
    SaveLocked(seconds);
}

uint8_t ClockNvDevice::Byte(uint32_t offset) {
    std::lock_guard<std::mutex> lock(m_);
    return offset < kWindow && file_ != nullptr ? file_->bytes[offset] : 0xFF;
}

uint8_t ClockNvDevice::ReadByte(uint32_t offset) {
    int index = counter_index(offset);
    if (index < 0) return file_ != nullptr ? file_->bytes[offset] : 0xFF;
    if (index == 0) { // the most significant byte latches the whole counter
        uint32_t now = NowLocked();
        SaveLocked(now);
        for (int i = 0; i < 4; ++i)
            latched_[i] = uint8_t(now >> (24 - 8 * i));
    }
    return latched_[index];
}

void ClockNvDevice::WriteByte(uint32_t offset, uint8_t value) {
    int index = counter_index(offset);
    if (index < 0) {
        if (file_ != nullptr) file_->bytes[offset] = value;
        return;
    }
    pending_[index] = value;
    if (index != 0) return;
    // The most significant byte, written last, sets the counter.
    uint32_t seconds = 0;
    for (int i = 0; i < 4; ++i)
        seconds = (seconds << 8) | pending_[i];
    base_tick_ = host::clock_ticks();
    base_seconds_ = seconds;
    SaveLocked(seconds);
}

uint32_t ClockNvDevice::Read(uint32_t offset, int width) {
    std::lock_guard<std::mutex> lock(m_);
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | (offset + i < kWindow ? ReadByte(offset + i) : 0xFF);
    return v;
}

void ClockNvDevice::Write(uint32_t offset, int width, uint32_t value) {
    std::lock_guard<std::mutex> lock(m_);
    // Bytes of a wide write go out least significant (highest address) first.
    for (int i = width - 1; i >= 0; --i)
        if (offset + i < kWindow) WriteByte(offset + i, uint8_t(value >> (8 * (width - 1 - i))));
}

} // namespace board
