// Pixel diagnostics of faces on the 6120 display bus: the modules report
// their failed pixels, kept in a one-bit error frame of the face's size.
//
// A pixel test is a module scan: start_test asks the FPGA for one (on the face
// at the frame's origin), the modules' reports arrive as packets over the bus
// and mark their pixels; the test is finished once the FPGA is ready again
// and 50 steps have settled, or 300 steps after the start in any case.
//
// A report's payload: bytes up to a 01 are skipped, then 16-bit indices, most
// significant byte first (bits 0-14 the index, bit 15 the half flag).
#pragma once

#include "display/disp/diagnostics.h"

namespace disp {

class diag_6120 : public diagnostics {
  public:
    static const uint8_t SETTLE_STEPS = 50;
    static const uint16_t SCAN_TIMEOUT_STEPS = 300;

    diag_6120() { own_errors_ = &errors_; }

    bool attach(face* owner) override;
    bool detach() override;
    bool start_test(uint32_t argument) override;
    // Counts the time-outs down, prints the receive log, recounts the modules.
    void step() override;
    bool on_packet(const packet& received) override;
    bool ready() override;
    bool finished() override;

    // The pixel a module index names, in frame coordinates (value 1); for a
    // face H high of modules h high, L = H / h module lines.
    pixel index_to_xy(uint16_t index) const;

  private:
    enum : uint8_t { WAIT_MARKER = 0, HIGH_BYTE = 1, LOW_BYTE = 2 };
    void mark(uint16_t index);
    void print_receive_log();

    frame errors_; // 1 = a module reported the pixel failed
    uint16_t index_ = 0;
    uint8_t parse_state_ = WAIT_MARKER;
    uint8_t settle_ = 0;
    uint16_t scan_timeout_ = 0;
};

} // namespace disp
