// The display-bus FPGA (see display_bus.h).
#include "platform/board/display_bus.h"

#include "platform/board/bus.h"
#include "platform/kernel/host.h"

namespace board {

namespace {

const uint32_t REG_STATUS = 0x0, REG_DATA = 0x2, REG_WAITING = 0x4;
const uint8_t STATUS_READY = 0x02;
const uint8_t COMMAND_NEXT_BYTE = 4, COMMAND_SCAN = 1;
const uint32_t WAITING_MAX = 255;

} // namespace

DisplayBusFpga& display_bus() {
    static DisplayBusFpga fpga;
    return fpga;
}

void display_bus_set_scanner(DisplayScanner scanner) {
    display_bus().SetScanner(std::move(scanner));
}

void display_bus_receive(const std::vector<uint8_t>& bytes) {
    display_bus().Receive(bytes);
}

uint32_t DisplayBusFpga::Read(uint32_t offset, int width) {
    (void)width;
    std::lock_guard<std::mutex> lock(m_);
    switch (offset) {
    case REG_STATUS:
        return scanning_ ? 0 : STATUS_READY;
    case REG_DATA:
        return data_;
    case REG_WAITING:
        return uint32_t(queue_.size() < WAITING_MAX ? queue_.size() : WAITING_MAX);
    default:
        return 0;
    }
}

void DisplayBusFpga::Write(uint32_t offset, int width, uint32_t value) {
    (void)width;
    if (offset != REG_STATUS) return;
    if (value == COMMAND_SCAN) {
        StartScan();
        return;
    }
    if (value != COMMAND_NEXT_BYTE) return;
    std::lock_guard<std::mutex> lock(m_);
    if (queue_.empty()) return;
    data_ = queue_.front();
    queue_.pop_front();
    if (queue_.empty() && scanning_) ScheduleNextFrameLocked();
    DriveInterruptLocked();
}

void DisplayBusFpga::StartScan() {
    DisplayScanner scanner;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (scanning_) return;
        scanning_ = true;
        ++scans_;
        scanner = scanner_;
    }
    std::vector<std::vector<uint8_t>> frames;
    if (scanner) frames = scanner();
    std::lock_guard<std::mutex> lock(m_);
    frames_.assign(frames.begin(), frames.end());
    if (queue_.empty()) ScheduleNextFrameLocked();
}

// A tick later: the next frame into the queue, or the scan over.
void DisplayBusFpga::ScheduleNextFrameLocked() {
    if (event_ != 0) return;
    event_ = host::schedule_device_event(host::clock_ticks() + 1, [this] { TakeNextFrame(); });
}

void DisplayBusFpga::TakeNextFrame() {
    std::lock_guard<std::mutex> lock(m_);
    event_ = 0;
    if (!scanning_) return;
    if (frames_.empty()) {
        if (queue_.empty()) scanning_ = false;
        return;
    }
    for (uint8_t b : frames_.front()) {
        if (queue_.size() < kQueueBytes)
            queue_.push_back(b);
        else
            ++dropped_;
    }
    frames_.pop_front();
    if (queue_.empty()) ScheduleNextFrameLocked();
    DriveInterruptLocked();
}

void DisplayBusFpga::Receive(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(m_);
    for (uint8_t b : bytes) {
        if (queue_.size() < kQueueBytes)
            queue_.push_back(b);
        else
            ++dropped_;
    }
    DriveInterruptLocked();
}

void DisplayBusFpga::DriveInterruptLocked() {
    uic_set_input(DISPLAY_BUS_SOURCE, !queue_.empty());
}

void DisplayBusFpga::SetScanner(DisplayScanner scanner) {
    std::lock_guard<std::mutex> lock(m_);
    scanner_ = std::move(scanner);
}

void DisplayBusFpga::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    if (event_ != 0) host::cancel_device_event(event_);
    event_ = 0;
    queue_.clear();
    frames_.clear();
    data_ = 0;
    scanning_ = false;
    scans_ = 0;
    dropped_ = 0;
}

uint32_t DisplayBusFpga::Scans() {
    std::lock_guard<std::mutex> lock(m_);
    return scans_;
}

size_t DisplayBusFpga::Dropped() {
    std::lock_guard<std::mutex> lock(m_);
    return dropped_;
}

} // namespace board
