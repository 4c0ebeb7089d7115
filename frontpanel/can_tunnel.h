// can_cp_driver: the CAN driver of the remote control panel's network (bus
// code 4, "CAN Control Panel Driver"). The front panel carries that network
// over its serial link, so the sign reaches the boards behind the panel
// without a CAN controller of its own:
//   - a frame to send goes out as one LCD command, FE 'A' and the identifier
//     in the controller chip's register layout, the length and eight data
//     bytes (after FE the LCD driver escapes the data bytes as usual):
//       29-bit: FE 41 SIDH SIDL(bits 20-18 << 5 | 0x18 | bits 17-15) EID8
//               EID0(bits 6-0 << 1 | remote) LEN D0..D7           (15 bytes)
//       11-bit: FE 41 bits 10-3, bits 2-0 << 5 | 0x10 if remote, LEN D0..D7
//                                                                  (13 bytes)
//     only while the panel has reported revisions that carry the tunnel
//     (second 7 or more, first 0 or 7 or more);
//   - a frame the panel parser received (FF B8 ...) is handed to the buses
//     listening to the driver, on the peripheral task's thread, like a frame
//     from the controller chip.
// A tunnelled command never cuts into a sign-image bitmap on the LCD: the
// send waits, a few ticks at most and giving the display task the
// processor, while the sign image is being drawn; after that it drops the
// frame (counted as an error, one console line).
#pragma once

#include "peripherals/can/can_driver.h"

#include <cstddef>
#include <cstdint>

class CLCD_Manager;

class can_cp_driver : public can_driver {
  public:
    static constexpr size_t FRAME_BYTES = 32;
    static constexpr size_t EXTENDED_FRAME_BYTES = 15;
    static constexpr size_t STANDARD_FRAME_BYTES = 13;
    static constexpr uint8_t MIN_REVISION = 7;
    // Ticks the send waits for the sign image to be drawn.
    static constexpr uint32_t DRAWING_WAIT_TICKS = 10;

    // -> 1 sent; 0 refused (a channel other than 0 without counting; no
    // panel, an old panel, more than 8 data bytes, or a sign image still
    // being drawn, each counted as an error).
    int Send(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data,
             uint8_t channel) override;
    int Read(uint32_t*, uint8_t*, uint8_t*, uint8_t*) override { return 0; }
    // b != 0 selects 29-bit identifiers. -> 1.
    int Initialize(uint32_t a, uint32_t b, uint32_t c) override;

    // A complete frame from the panel parser: counted and handed to every
    // listening bus. A length above 8 is dropped.
    void Dispatch(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data);

    // The command of a frame in the current form. -> its length (15 or 13).
    size_t BuildFrame(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data,
                      uint8_t (&frame)[FRAME_BYTES]) const;
    // Whether panels of these revisions carry the tunnel.
    static bool PanelCarriesTunnel(uint8_t first, uint8_t second);

    bool Extended() const { return extended_ != 0; }
    // The manager to send through (tests; else found as peripheral 70).
    void SetManager(CLCD_Manager* manager) { manager_ = manager; }
    uint32_t drawing_timeouts = 0;

  private:
    bool FindManager();
    bool WaitForSignImage();

    uint8_t extended_ = 1;
    CLCD_Manager* manager_ = nullptr;
};

can_cp_driver& the_can_cp_driver();

// Puts the tunnel in place of the refusing stand-in of the panel's network
// and lets the panel parser hand it its frames. Before the peripheral task
// registers the buses.
void can_cp_driver_install();
