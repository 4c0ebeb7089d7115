// CPixelTestBoard: a pixel test board (peripherals 750 to 753,
// "PIXELTESTBRD1" to "PIXELTESTBRD4", class 0x2A), a CAN board with two
// masters.
//
// For the display's pixel test it measures the light of up to twelve display
// modules: StartTest sends the start request, ReadResults collects the three
// '@' result frames (frame number in byte 1) and gives their twelve readings
// (bytes 0-3 from frame 3, 4-7 from frame 2, 8-11 from frame 1, each frame's
// bytes 4-7). The pixel test takes the board's "PTB Mutex" for its whole run.
//
// For the peripheral task it measures six power-supply voltages (tenths of a
// volt) in two '@' frames: channels 4, 5, 2, 3 in bytes 4-7 of frame 1,
// channels 0 and 1 in bytes 4-5 of frame 2. Channel i of board 750 + k is
// the supply "POWERSUPPLY%02d" numbered 6k + i + 1: a good reading (3.1 V
// or more) is written in hundredths of a volt to the voltage of every power
// row of that name; ten low readings in a row set the channel's failure bit
// (status image byte 3, bit i), which the power supplies read through their
// bridges; the first good reading clears it.
//
// The poller's cycle: identify, then measure in the poll that sees the
// identity, then the results, then identify again. It starts an exchange only
// when it can take "PTB Mutex" without waiting, and gives it back on the
// reply, after 30 silent polls (COMM ERROR) and when the board is disabled;
// both masters drain the same device queue, a frame going to whichever drains
// it first.
#pragma once

#include "peripherals/can/can_board.h"
#include "peripherals/can/can_networks.h"
#include "peripherals/io/bridge.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

class CPixelTestBoard : public CCanBoard, public io_board {
  public:
    static const uint16_t FIRST_ID = 750;
    static const uint32_t BOARDS = 4;
    static const uint32_t READINGS = 12;
    static const uint32_t RESULT_FRAMES = 3;
    static const uint32_t READINGS_PER_FRAME = 4;
    static const uint8_t CLASS_CODE = 0x2A;
    static const uint32_t LISTENERS = 6;
    static const uint32_t CHANNELS = 6;
    static const uint8_t LOW_VOLTAGE = 31; // tenths of a volt
    static const uint32_t LOW_READINGS_TO_FAIL = 10;
    static const uint8_t SILENT_POLLS = 30;
    // The poller's next request.
    enum : uint8_t { REQUEST_IDENTIFY = 2, REQUEST_MEASURE = 5, REQUEST_IDLE = 8 };

    CPixelTestBoard(uint16_t id, uint8_t bus_code = CAN_CODE_LOCAL, uint32_t can_id = 0);
    ~CPixelTestBoard() override;

    // Registers the device and creates the mutex: READING, or COMM ERROR.
    bool Init() override;
    void Poll() override;
    // Disabling gives back the mutex the poller holds.
    void SetEnabled(uint8_t flag) override;
    const char* CanBusName() const override { return ""; }
    uint32_t CanId() const override { return 0; }

    // "PTB Mutex" (null until Init created it).
    TX_MUTEX* Mutex() { return mutex_created_ ? &mutex_ : nullptr; }
    // Sends the start request. -> the send's result.
    bool StartTest() { return SendTestCommand(); }
    // False at once for a capacity below 12; otherwise zero-fills the buffer
    // and collects result frames, sleeping 2 ticks whenever the queue is
    // empty, at most 30 times. -> true with the readings once frames 1, 2 and
    // 3 are in.
    bool ReadResults(uint8_t* buffer, uint32_t capacity);

    uint8_t Request() const { return request_; }
    uint8_t Voltage(unsigned channel) const { return channel < CHANNELS ? voltage_[channel] : 0; }
    bool PollerHoldsMutex() const { return held_; }

    static const char* IdToName(uint16_t id);
    static uint16_t NameToId(const char* name);

    // io_board: the status image, six listener slots.
    CPeripheral& BoardPeripheral() override { return *this; }
    uint8_t BoardKind() const override { return IO_BOARD_PIXEL_TEST; }
    const uint8_t* InputImage() const override { return status_image_; }
    void AddListener(io_bridge* bridge) override;
    void RemoveListener(io_bridge* bridge) override;
    uint8_t FirstPoint() const override { return 24; }
    uint8_t LastPoint() const override { return 55; }

  protected:
    // The start request to the board (a scripted board in tests answers it).
    virtual bool SendTestCommand();
    void OnReply(const can_packet& reply) override;
    void OnSilenceLimit() override;

  private:
    // Keeps a result frame numbered 1 to `last`. -> false for any other.
    bool Keep(const can_packet& frame, uint8_t last);
    void TakeMeasurement();
    void Judge(unsigned channel, uint8_t voltage);
    void WriteVoltage(unsigned channel, uint8_t voltage);
    void SendDueRequest();
    void Release();

    uint8_t status_image_[IO_IMAGE_BYTES] = {};
    io_bridge* listeners_[LISTENERS] = {};
    TX_MUTEX mutex_{};
    bool mutex_created_ = false;
    bool held_ = false; // the poller holds the mutex
    uint32_t low_readings_[CHANNELS] = {};
    uint8_t request_ = REQUEST_IDENTIFY;
    uint8_t voltage_[CHANNELS] = {};
    can_packet frames_[RESULT_FRAMES];
    uint8_t received_ = 0; // bit n - 1: frame n kept
};
