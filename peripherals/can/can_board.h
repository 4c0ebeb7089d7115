// CCanBoard: the base of every peripheral that is a board on a CAN network
// (sensors, I/O boards, pixel test boards). It is the peripheral and its CAN
// device at once: the device takes the peripheral's name and the bus named by
// the board's bus code, requests go to the board's identifier, and the poll
// drains the replies with external interrupts masked around each pop. An
// identify reply ('B') gives the board's revision.
//
// can_silence watches a board that stops answering: a row per kind says after
// how many silent polls the board is given up (and what the kind does then,
// through OnSilenceLimit), how often the controller's driver is initialised
// again on the way, how many times in the board's life, and which bus-code
// bit allows it. Every reinitialisation is a request that the board's own
// poll carries out, on the peripheral task's thread: timers and the interrupt
// handler only ask.
#pragma once

#include "peripherals/can/can_device.h"
#include "runtime/peripheral.h"

#include <cstdint>

// Board commands and reply tags.
enum : uint8_t {
    CAN_COMMAND_READ = 0x00,
    CAN_COMMAND_SET_OUTPUTS = 0x01,
    CAN_COMMAND_IDENTIFY = 0x02,
    CAN_COMMAND_CONFIGURE = 0x03,
    CAN_COMMAND_KEEP_ALIVE = 0x07,
    CAN_REPLY_TAG = 0x40,
    CAN_REPLY_DATA = 0x40,     // '@'
    CAN_REPLY_IDENTITY = 0x42, // 'B'
};

struct can_silence_rule {
    uint8_t class_code;
    uint8_t limit;           // silent polls before the board is given up (0: its timers judge)
    uint8_t reinit_every;    // silent polls between reinitialisations below the limit (0: none)
    uint8_t reinit_max;      // reinitialisations in the board's life (255: no bound)
    uint8_t reinit_bus_bit;  // bus-code bit that allows them
    uint8_t reinit_at_limit; // one more when the limit is reached
};

// The rule of a class code (a rule that never gives up for an unknown one).
const can_silence_rule& can_silence_rule_of(uint8_t class_code);

class can_silence {
  public:
    // What a silent poll asks for (bits).
    enum : uint8_t { NOTHING = 0, REINITIALISE = 1, GIVE_UP = 2 };

    explicit can_silence(const can_silence_rule& rule) : rule_(&rule) {}
    // A reply: the count of silent polls starts again.
    void Heard() { silent_polls_ = 0; }
    // One poll without a reply -> REINITIALISE and/or GIVE_UP (once per
    // silence, at the limit).
    uint8_t SilentPoll(uint8_t bus_code);
    // A reinitialisation is allowed by the bus code and the life bound (and counted).
    bool TakeReinit(uint8_t bus_code);
    uint8_t SilentPolls() const { return silent_polls_; }

  private:
    const can_silence_rule* rule_;
    uint8_t silent_polls_ = 0;
    uint8_t reinits_ = 0;
};

class CCanBoard : public CPeripheral, public can_device {
  public:
    CCanBoard(uint8_t class_code, uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel);
    // Unregisters the device.
    ~CCanBoard() override;

    const char* CanBusName() const override { return BusName(); }
    uint32_t CanId() const override { return DeviceId(); }
    // The base status line, then the five device counters.
    void PrintStatus() override;

    // Asks for the driver's reinitialisation at the next poll (any context).
    void RequestReinit() { reinit_requested_ = 1; }

  protected:
    // The device takes `name` (the peripheral's) and registers with the core.
    bool RegisterDevice(const char* name);
    // Request `command` 01 01 then `args` (five bytes, null: zeros).
    bool SendRequest(uint8_t command, const uint8_t* args = nullptr);
    bool SendIdentify() { return SendRequest(CAN_COMMAND_IDENTIFY); }
    bool SendRead() { return SendRequest(CAN_COMMAND_READ); }
    // Pops every queued reply: a 'B' sets the revision; each goes to OnReply.
    // -> the number of replies.
    unsigned DrainReplies();
    virtual void OnReply(const can_packet&) {}
    // The poll of the sensors that read ten times and then identify: drains
    // the replies, then sends the identify when `*counter` is 10 (and sets it
    // to 0), otherwise counts it up and sends a read, whose poll is
    // supervised for silence.
    void ReadThenIdentify(uint8_t* counter);
    // Carries out a requested reinitialisation (task context).
    void ServiceReinit();
    // A silent poll under the kind's rule: reinitialises or gives up as it says.
    void SupervisePoll();
    virtual void OnSilenceLimit() {}

    can_silence silence_;
    char device_name_[32] = {};

  private:
    volatile uint8_t reinit_requested_ = 0;
};

// A CAN board's creation values: field 0 the CAN identifier, field 1 the bus
// code, field 2 the channel. -> false for an identifier past 29 bits, or a
// bus code or channel past one byte (such a record is refused).
bool can_board_values(const PeripheralParameters& values, uint32_t* can_id, uint8_t* bus_code,
                      uint8_t* channel);
