// CCANJ6Driver: the driver of the controller board's own CAN chip. Sends go
// through the chip's transmit buffers under the mutex "canj6drv"; received
// frames are read in the handler of interrupt source 0x4 and delivered to the
// attached buses. The chip sits behind logic of the display EPLD: until the
// display driver has programmed it, the driver refuses to touch the chip.
#pragma once

#include "peripherals/can/can_driver.h"
#include "peripherals/can/mcp2510.h"
#include "platform/kernel/kernel.h"
#include "runtime/interrupt.h"

class CCANJ6Driver : public can_driver, public Interrupt {
  public:
    static constexpr uint32_t INTERRUPT_SOURCE = 0x4;
    // Frames read in one interrupt at most (both buffers, refilled as read).
    static constexpr int MAX_FRAMES_PER_INTERRUPT = 16;

    CCANJ6Driver() = default;
    ~CCANJ6Driver() override;

    // The first call creates the mutex and registers the interrupt; each call
    // then sets the chip up. -> 0 when the EPLD is not programmed.
    int Initialize(uint32_t a, uint32_t b, uint32_t c) override;
    // -> 1 when a transmit buffer took the frame; 0 when it was not sent (no
    // data, length 0, not initialised, EPLD not programmed, chip not set up,
    // all transmit buffers busy).
    int Send(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data,
             uint8_t channel) override;
    int Read(uint32_t*, uint8_t*, uint8_t*, uint8_t*) override { return 0; }
    // Interrupt context: every frame waiting in the chip goes to the buses.
    void handler() override { OnInterrupt(); }
    void OnInterrupt();

    CMCP2510& Chip() { return chip_; }

  private:
    bool ReadOne();

    CMCP2510 chip_;
    TX_MUTEX mutex_{};
    bool initialised_ = false;
    // Receive scratch, filled by the chip read in the handler.
    uint32_t rx_identifier_ = 0;
    uint8_t rx_remote_ = 0;
    uint8_t rx_length_ = 0;
    uint8_t rx_data_[CAN_DATA_BYTES] = {};
};
