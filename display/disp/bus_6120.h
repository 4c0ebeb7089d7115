// The display bus of signs built from 6120-family modules: the modules report
// failed pixels through the display-bus FPGA, whose receive interrupt is UIC0
// source 0x10. In interrupt mode that interrupt runs the bus's receive step;
// in polled mode the display task does. Here the bus attaches and detaches in
// either mode; its receive step and framing stream come with the modules'
// pixel reports.
#pragma once

#include "display/disp/bus.h"
#include "runtime/interrupt.h"

#include <cstdint>

namespace disp {

// The byte framer of the display bus (a plain stream until the framing of
// module reports is built).
class stream_6120 : public stream {};

class bus_6120 : public bus {
  public:
    enum : uint8_t { INTERRUPT_MODE = 0, POLLED_MODE = 1 };
    static const uint32_t RECEIVE_SOURCE = 0x10; // UIC0 source of the FPGA

    bus_6120() = default;

    // bus::attach, then in interrupt mode the FPGA interrupt registered and
    // enabled (non-critical, active high, level).
    bool attach_isr(const char* name, stream* framer, uint8_t mode);
    bool detach() override;
    // The receive step: nothing to read yet.
    void service() override {}

    uint8_t mode() const { return mode_; }

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
};

} // namespace disp
