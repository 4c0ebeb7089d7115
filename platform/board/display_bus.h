// The display-bus FPGA at 0xF0500000: the receive side of the 6120 display
// bus, on which the sign's modules report their failed pixels.
//
// Registers (8-bit): +0x0 read status (bit 0x02 ready: no module scan under
// way), write 4 moves the next received byte into the data register, write 1
// starts a module scan; +0x2 read the data register; +0x4 read the number of
// received bytes waiting (at most 255 reported). UIC0 source 0x10 is driven
// active while bytes wait.
//
// A module scan asks the modules (the scanner, platform/field) for their
// report frames; the FPGA takes them in one at a time, the next a tick after
// the one before has been read out, with the ready bit low until the last has
// been read. The receive queue is bounded: bytes beyond it are dropped.
#pragma once

#include "platform/board/board.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace board {

const uint32_t DISPLAY_BUS_BASE = 0xF0500000u;
const uint32_t DISPLAY_BUS_SOURCE = 0x10;

// The modules' answer to a module scan: their report frames, in order.
using DisplayScanner = std::function<std::vector<std::vector<uint8_t>>()>;

class DisplayBusFpga : public BusDevice {
  public:
    static const uint32_t kWindow = 0x10;
    static const size_t kQueueBytes = 4096;

    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t offset, int width, uint32_t value) override;
    void Reset();
    void SetScanner(DisplayScanner scanner);
    // Bytes as if the modules had sent them (tests).
    void Receive(const std::vector<uint8_t>& bytes);
    uint32_t Scans();
    size_t Dropped();

  private:
    void StartScan();
    void TakeNextFrame(); // device event
    void ScheduleNextFrameLocked();
    void DriveInterruptLocked();

    std::mutex m_;
    std::deque<uint8_t> queue_;
    std::deque<std::vector<uint8_t>> frames_; // of the scan, not yet taken in
    DisplayScanner scanner_;
    uint8_t data_ = 0;
    bool scanning_ = false;
    uint64_t event_ = 0; // the pending frame's device event, 0 none
    uint32_t scans_ = 0;
    size_t dropped_ = 0;
};

// The board's FPGA.
DisplayBusFpga& display_bus();
void display_bus_set_scanner(DisplayScanner scanner);
void display_bus_receive(const std::vector<uint8_t>& bytes);

} // namespace board
