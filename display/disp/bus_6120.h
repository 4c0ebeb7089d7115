// The display bus of signs built from 6120-family modules: the modules report
// failed pixels through the display-bus FPGA, whose receive interrupt is UIC0
// source 0x10. In interrupt mode that interrupt runs the bus's receive step;
// in polled mode nothing reads the FPGA (a module scan then ends by the
// FPGA's ready bit or the scan's time-out).
//
// The FPGA (8-bit registers on the external bus):
//   +0x0 read: status, bit 0x02 ready (no module scan running)
//   +0x0 write: 4 moves the next received byte into the data register,
//               1 starts a module scan
//   +0x2 read: data, one received byte
//   +0x4 read: number of received bytes waiting
//
// Frames on the wire: 7E, type 1, length (below 0x80 the length itself; 0x80+k,
// k = 1..4, then k length bytes, most significant first), payload, 8-bit sum of
// every byte from the opening flag through the payload, 7E. Inside a frame
// 7F makes the next byte count XOR 0x20 (so 7E and 7F travel as data).
#pragma once

#include "display/disp/bus.h"
#include "runtime/list.h"
#include "runtime/interrupt.h"

#include <cstdint>

namespace disp {

const uint32_t FPGA_BASE = 0xF0500000u;
const uint32_t FPGA_STATUS = FPGA_BASE + 0x0;
const uint32_t FPGA_DATA = FPGA_BASE + 0x2;
const uint32_t FPGA_WAITING = FPGA_BASE + 0x4;
const uint8_t FPGA_READY = 0x02;
const uint8_t FPGA_NEXT_BYTE = 4;
const uint8_t FPGA_START_SCAN = 1;

const uint32_t RECEIVE_LOG_BYTES = 5000;
using receive_log_fifo = impl::fifo<uint8_t, RECEIVE_LOG_BYTES>;
// A copy of every byte the bus received, filled by the receive step and
// drained (with external interrupts masked) by the diagnostics' step; bytes
// beyond its room are dropped and counted.
receive_log_fifo& receive_log();
uint32_t receive_log_dropped();

// Cuts the received bytes into validated frames.
class stream_6120 : public stream {
  public:
    static const uint32_t QUEUE_BYTES = 2048;
    static const uint32_t FRAME_BYTES = 1024;

    stream_6120() = default;
    // Refused for null bytes or a count of 0; bytes beyond the queue's room
    // are dropped and counted.
    bool push(const uint8_t* bytes, uint32_t count) override;
    // Feeds queued bytes to the framer until a frame completes (true, `out`
    // its payload) or the queue runs dry (false).
    bool next_packet(packet* out) override;
    // One byte into the framer; true when it closes a valid frame.
    bool step(uint8_t b);
    uint32_t dropped() const { return dropped_; }

  private:
    bool check_frame();
    void hunt() { held_ = 0; }

    static const uint32_t ESCAPE_PENDING = 0x80000000u;
    static const uint32_t DELIVERED = 0x40000000u;

    impl::fifo<uint8_t, QUEUE_BYTES> queue_;
    uint8_t frame_[FRAME_BYTES] = {};
    uint32_t held_ = 0;
    uint32_t flags_ = 0;
    bool last_is_flag_ = false; // the last held byte is a flag as sent, not data
    packet current_;
    uint32_t dropped_ = 0;
};

class bus_6120 : public bus {
  public:
    enum : uint8_t { INTERRUPT_MODE = 0, POLLED_MODE = 1 };
    static const uint32_t RECEIVE_SOURCE = 0x10; // UIC0 source of the FPGA

    bus_6120() = default;

    // bus::attach, then in interrupt mode the FPGA interrupt registered and
    // enabled (non-critical, active high, level).
    bool attach_isr(const char* name, stream* framer, uint8_t mode);
    bool detach() override;
    // The receive step: every waiting byte read (and logged), pushed into the
    // stream; at most one packet broadcast per step.
    void service() override;

    uint8_t mode() const { return mode_; }
    uint32_t last_read() const { return last_read_; }

  private:
    // Runs the owner's receive step from the interrupt.
    class owner_interrupt : public Interrupt {
      public:
        void handler() override {
            if (owner) owner->service();
        }
        bus_6120* owner = nullptr;
    };

    uint8_t mode_ = INTERRUPT_MODE;
    owner_interrupt interrupt_dummy_; // the owner only, in polled mode
    owner_interrupt logic_interrupt_; // registered in interrupt mode
    uint8_t received_[1024] = {};
    uint32_t last_read_ = 0;
};

} // namespace disp
