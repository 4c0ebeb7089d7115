// The serial port drivers. CSerialDriver is the byte-port interface every
// user of a serial port works through (the agents' read and write callbacks,
// the PMPP and PPP links, the modem drivers, the front panel); CJ6SerialDriver
// drives one of the two on-chip 16550 UARTs by interrupt:
//
//   port 0  0xEF600300, UIC0 source 0x80000000: the CCP port (PMPP, PPP, modem)
//   port 1  0xEF600400, UIC0 source 0x40000000: the front-panel link
//
// Received bytes go from the interrupt service into the receive ring and are
// announced through the receive callback; bytes to send wait in the transmit
// ring and are moved to the UART by the holding-register-empty interrupt, one
// FIFO load (16 bytes) at a time. RTS and DTR follow the mode chosen by the
// option word of Open:
//
//   RTS 0 always low   1 always high   2 high while sending, CTS gates sending,
//   a trailing delay, reception only with carrier   3 low while sending, high
//   when idle (the default)   4 RTS/CTS flow control both ways   5 as 2 with a
//   leading delay and ungated reception.   DTR 0 low, 1 high.
#pragma once

#include "runtime/interrupt.h"

#include <cstdint>

// A byte ring with 16-bit indices (at most 65,535 bytes).
class CRingBuffer {
  public:
    CRingBuffer(uint32_t size, bool delete_self = false);
    virtual ~CRingBuffer();
    CRingBuffer(const CRingBuffer&) = delete;
    CRingBuffer& operator=(const CRingBuffer&) = delete;

    bool IsAlmostFull() const;  // count >= 75 % of size
    bool IsAlmostEmpty() const; // count <= 25 % of size
    bool Push(uint8_t byte);    // false (byte dropped) when full
    bool Pop(uint8_t& byte);    // false when empty
    void Clear() { count = head = tail = 0; }

    uint16_t count = 0;
    uint16_t head = 0;
    uint16_t tail = 0;
    uint8_t* data = nullptr;
    uint32_t size = 0;
};

typedef void (*serial_notify_fn)(uint32_t argument1, uint32_t argument2);
// The modem-status callback: (argument, 1) with carrier, (argument, 2) without.
typedef void (*serial_modem_fn)(uint32_t argument, uint32_t state);

enum serial_carrier : uint32_t {
    SERIAL_CARRIER_PRESENT = 1,
    SERIAL_CARRIER_ABSENT = 2,
};

class CSerialDriver {
  public:
    CSerialDriver() = default;
    virtual ~CSerialDriver();
    CSerialDriver(const CSerialDriver&) = delete;
    CSerialDriver& operator=(const CSerialDriver&) = delete;

    virtual bool WriteByte(uint8_t byte) = 0;
    // The next received byte into *out -> true; -1 and false when none.
    virtual bool ReadByte(int* out) = 0;
    virtual bool Open(uint32_t port, uint32_t baud, uint32_t data_bits, uint32_t options,
                      uint32_t flow, uint32_t ring_size) = 0;
    virtual void Reserved1() {}
    virtual void Reserved2() {}
    virtual bool IsDCD() { return false; }
    virtual bool IsRI() { return false; }
    virtual void SetDTR(bool on) { (void)on; }
    virtual bool IsDSR() { return false; }
    virtual void SetRTS(bool on) { (void)on; }
    virtual bool IsCTS() { return false; }
    virtual bool SetBaudRate(uint32_t baud) = 0;
    // WriteByte for each byte: false at the first refusal.
    virtual bool Write(const uint8_t* buffer, uint32_t length);
    virtual bool WriteString(const char* text);
    virtual uint32_t GetRxFree();
    virtual uint32_t GetRxSize();
    virtual void Flush();
    virtual void SetRxCallback(serial_notify_fn function, uint32_t argument1, uint32_t argument2);
    virtual void SetTxCallback(serial_notify_fn function, uint32_t argument1, uint32_t argument2);
    virtual void SetModemStatusCallback(uint32_t argument, serial_modem_fn function);
    virtual void SetUserByte(uint8_t byte) { user_byte_ = byte; }
    virtual uint8_t GetUserByte() { return user_byte_; }
    // Carrier changes the modem-status interrupt saw: a reader that compares
    // counts misses no change, even a fall the carrier rose again after.
    uint32_t CarrierChanges() const { return carrier_changes_; }

  protected:
    CRingBuffer* tx_ring_ = nullptr;
    CRingBuffer* rx_ring_ = nullptr;
    serial_notify_fn rx_callback_ = nullptr;
    serial_notify_fn tx_callback_ = nullptr;
    uint32_t modem_argument_ = 0;
    serial_modem_fn modem_callback_ = nullptr;
    uint32_t rx_arguments_[2] = {0, 0};
    uint32_t tx_arguments_[2] = {0, 0};
    uint8_t user_byte_ = 0;
    volatile uint32_t carrier_changes_ = 0;
};

// Option word of Open (the bits the driver reads).
enum serial_option : uint32_t {
    SERIAL_NO_PARITY = 0x0001,
    SERIAL_OWN_LINE_CONTROL = 0x0002, // port 0: the driver writes the line-control register
    SERIAL_ONE_STOP = 0x0020,
    SERIAL_TWO_STOP_A = 0x0040,
    SERIAL_TWO_STOP_B = 0x0080,
    SERIAL_RTS_MODE0 = 0x0100,
    SERIAL_RTS_MODE1 = 0x0200,
    SERIAL_RTS_MODE2 = 0x0400,
    SERIAL_RTS_MODE3 = 0x0800,
    SERIAL_INTERRUPTS = 0x1000,
    SERIAL_DTR_MODE0 = 0x2000,
    SERIAL_DTR_MODE1 = 0x4000,
    SERIAL_DTR_HANDSHAKE = 0x8000, // not offered: Open fails
};

class CJ6SerialDriver : public CSerialDriver, public Interrupt {
  public:
    CJ6SerialDriver() = default;
    ~CJ6SerialDriver() override = default;

    bool WriteByte(uint8_t byte) override;
    // As WriteByte for each byte, with as many bytes as the transmit ring has
    // room for queued under one interrupt lock.
    bool Write(const uint8_t* buffer, uint32_t length) override;
    bool ReadByte(int* out) override;
    bool Open(uint32_t port, uint32_t baud, uint32_t data_bits, uint32_t options, uint32_t flow,
              uint32_t ring_size) override;
    bool IsDCD() override;
    bool IsRI() override;
    void SetDTR(bool on) override;
    bool IsDSR() override;
    void SetRTS(bool on) override;
    bool IsCTS() override;
    bool SetBaudRate(uint32_t baud) override;

    virtual void InterruptHandler();
    virtual void TransmitService();
    virtual void ReceiveByte(uint8_t byte);
    void handler() override { InterruptHandler(); }

    uint8_t RtsMode() const { return rts_mode_; }
    uint8_t DtrMode() const { return dtr_mode_; }
    uint32_t OptionWord() const { return options_; }

  private:
    bool ApplyLineOptions(uint32_t options, uint32_t flow);
    uint8_t Register(uint32_t offset);
    void SetRegister(uint32_t offset, uint8_t value);
    void ModemControlBit(uint8_t bit, bool on);
    void ModemStatusService();
    bool RtsStepBeforeByte();
    void IdleTransmitter();

    uint32_t base_ = 0;
    uint32_t options_ = 0;
    uint8_t dtr_mode_ = 0;
    uint8_t rts_mode_ = 0;
    uint8_t opened_ = 0;
};

// The RTS and DTR modes an option word and flow word choose (the table the
// driver decodes them by). dtr_mode 0xFF: DTR handshake, refused.
struct serial_line_modes {
    uint8_t rts_mode;
    bool rts_high;
    uint8_t dtr_mode;
    bool dtr_high;
};
serial_line_modes serial_decode_options(uint32_t options, uint32_t flow);
