// The board's CAN controller chip on SPI select 0 of the bus logic, and its
// far side: the CAN bus of the field (platform/field/can/).
//
// The chip answers the SPI instructions RESET (C0), READ (03 addr, then bytes
// with the address counting up), WRITE (02 addr, bytes...), BIT MODIFY
// (05 addr mask data) and READ STATUS (A0) over its 128 registers: filters and
// masks, CANSTAT/CANCTRL (mirrored at xE/xF of every row), the bit timing
// CNF1-3, CANINTE/CANINTF, EFLG, TEC/REC, three transmit buffers (30/40/50)
// and two receive buffers (60/70) in the standard and extended identifier
// layouts. An instruction ends when the port deselects the chip.
//
// Modes follow CANCTRL's request at once. In normal mode a buffer whose
// TXREQ is set goes out on the bus when the chip's bit timing matches the
// field's (160 oscillator periods a bit, the timing every board uses);
// otherwise it stays pending with TXERR set. Loopback mode receives its own
// frames; listen-only receives without sending; configuration mode neither.
// A received frame goes to buffer 0 when its filters accept it (rolling over
// into buffer 1 with BUKT), else to buffer 1; a full buffer sets RXnOVR and
// ERRIF. The length code is reported as received, 0 to 15; eight data
// registers hold the bytes.
//
// INT is asserted while CANINTE & CANINTF is not 0; it reaches UIC0 source
// 0x4 (the firmware sets it falling-edge), so a frame arriving while INT is
// already asserted raises no new edge.
#pragma once

#include "platform/board/board.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace board {

const uint32_t CAN_UIC_SOURCE = 0x00000004u;

// One frame on the CAN bus. `dlc` is the length code as sent (0-15); at most
// eight bytes of `data` travel.
struct CanFrame {
    uint32_t id = 0;
    bool extended = true;
    bool remote = false;
    uint8_t dlc = 0;
    uint8_t data[8] = {};

    int Bytes() const { return remote ? 0 : (dlc > 8 ? 8 : dlc); }
};

// The error state the bus forces on the chip (its error flags and counters).
enum class CanError { None, Passive, BusOff };

class CanController : public SpiDevice {
  public:
    enum : uint8_t {
        kCanStat = 0x0E,
        kCanCtrl = 0x0F,
        kTec = 0x1C,
        kRec = 0x1D,
        kCnf3 = 0x28,
        kCnf2 = 0x29,
        kCnf1 = 0x2A,
        kCanIntE = 0x2B,
        kCanIntF = 0x2C,
        kEflg = 0x2D,
        kTxb0 = 0x30,
        kRxb0 = 0x60,
        kRxb1 = 0x70,
    };
    // Operating modes (CANSTAT bits 7-5).
    enum Mode : uint8_t { kNormal = 0, kSleep = 1, kLoopback = 2, kListenOnly = 3, kConfig = 4 };

    CanController();
    void Select(bool selected) override;
    uint8_t Transfer(uint8_t out) override;

    // Power-up: every register at its reset value, filters all ones.
    void PowerUp();
    // A frame from the bus (interrupt context).
    void Receive(const CanFrame& frame);
    // Frames the chip sends go to `sink`, called without the chip's lock.
    void SetBusSink(std::function<void(const CanFrame&)> sink);
    void SetError(CanError error);
    CanError Error();
    uint8_t Register(uint8_t address);

  private:
    enum class Step {
        Idle,
        Instruction,
        ReadAddress,
        Read,
        WriteAddress,
        Write,
        ModifyAddress,
        ModifyMask,
        ModifyData,
        Status,
        Ignore
    };

    void Reset();
    Mode OpMode() const { return Mode(regs_[kCanStat] >> 5); }
    uint8_t ReadReg(uint8_t address) const;
    void WriteReg(uint8_t address, uint8_t value);
    void BitModify(uint8_t address, uint8_t mask, uint8_t data);
    void ControlWritten(uint8_t value);
    uint8_t Status() const;
    uint8_t InterruptCode() const;
    bool TimingMatches() const;
    void Pump();
    void Transmit(int buffer);
    void Accept(const CanFrame& frame);
    int Hit(int buffer, const CanFrame& frame) const;
    void Load(int buffer, const CanFrame& frame, int filter);
    void Overflow(uint8_t eflg_bit);
    void UpdateInt();
    void Flush(std::unique_lock<std::mutex>& lock);

    std::mutex m_;
    uint8_t regs_[128] = {};
    Step step_ = Step::Idle;
    uint8_t address_ = 0, mask_ = 0;
    bool int_asserted_ = false;
    std::function<void(const CanFrame&)> sink_;
    std::vector<CanFrame> outgoing_; // sent under the lock, handed to the sink after it
};

// The chip of the board (the one on SPI select 0).
CanController& can_controller();

// Host side, for the field: frames the chip sends reach `sink` (null
// detaches); the field hands frames from the bus to Receive.
void can_attach_bus(std::function<void(const CanFrame&)> sink);

} // namespace board
