// CPixelTestBoard: a pixel test board (peripherals 750 to 753 on the sensor
// CAN bus) measures the light of up to twelve display modules at once. What
// the pixel test needs of it: its "PTB Mutex" (held by the board's own polling
// while it talks to the board; the pixel test holds it for the whole test),
// StartTest (start a light measurement) and ReadResults (the twelve readings
// of the last measurement).
//
// The board answers a measurement with three result frames of four readings
// each (OnResultFrame). Sending the test command over the CAN bus belongs to
// the CAN boards' work: until then SendTestCommand sends nothing and reports
// it, and a board without an answer gives no readings.
//
// Power supplies measured on the board read its 8-byte status image (a set
// bit: that supply failed) through a bridge (bridge.h); the board keeps six
// listener slots for them.
#pragma once

#include "peripherals/io/bridge.h"
#include "platform/kernel/kernel.h"
#include "runtime/peripheral.h"

#include <cstdint>

class CPixelTestBoard : public CPeripheral, public io_board {
  public:
    static const uint16_t FIRST_ID = 750;
    static const uint32_t BOARDS = 4;
    static const uint32_t READINGS = 12;
    static const uint32_t RESULT_FRAMES = 3;
    static const uint32_t READINGS_PER_FRAME = 4;
    static const uint8_t CLASS_CODE = 0x1D;
    static const uint32_t LISTENERS = 6;

    explicit CPixelTestBoard(uint16_t id);
    ~CPixelTestBoard() override;

    // "PTB Mutex", created with the board (priority inheritance).
    TX_MUTEX* Mutex() { return mutex_created_ ? &mutex_ : nullptr; }
    // Forgets the last results and sends the test command.
    void StartTest();
    // False for a capacity below 12; otherwise zero-fills the buffer, waits up
    // to 30 x 2 ticks for the three result frames and copies the readings
    // (bytes 0-3 from the third frame, 4-7 from the second, 8-11 from the
    // first). False when they did not all arrive in time.
    bool ReadResults(uint8_t* buffer, uint32_t capacity);
    // Result frame `number` (1 to 3) of a measurement, as the board sent it.
    void OnResultFrame(uint32_t number, const uint8_t readings[READINGS_PER_FRAME]);

    // The board's own polling: a turn under the mutex.
    void Poll() override;

    // A status report of the board: its power supplies' failure bits.
    void OnStatusReport(const uint8_t image[IO_IMAGE_BYTES]);
    // io_board: the status image, points 23-47, six listener slots.
    CPeripheral& BoardPeripheral() override { return *this; }
    uint8_t BoardKind() const override { return IO_BOARD_PIXEL_TEST; }
    const uint8_t* InputImage() const override { return status_image_; }
    void AddListener(io_bridge* bridge) override;
    void RemoveListener(io_bridge* bridge) override;
    uint8_t FirstPoint() const override { return 23; }
    uint8_t LastPoint() const override { return 47; }

  protected:
    // The 8-byte test command to the board. -> false when it could not go.
    virtual bool SendTestCommand();

  private:
    TX_MUTEX mutex_;
    bool mutex_created_ = false;
    uint8_t frames_[RESULT_FRAMES][READINGS_PER_FRAME] = {};
    uint8_t received_ = 0; // bit n: frame n + 1 arrived
    uint8_t status_image_[IO_IMAGE_BYTES] = {};
    io_bridge* listeners_[LISTENERS] = {};
};
