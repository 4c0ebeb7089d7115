// The board's CAN controller chip, reached through the SPI master of the bus
// logic (CSPI). CMCP2510 knows the chip's instructions and registers: the
// set-up (a table of register writes), bit timing, frame reads and writes.
// Every exchange with the chip runs with external interrupts masked, so the
// interrupt handler's reads never interleave with a task's instruction.
#pragma once

#include <cstdint>

// The SPI master at 0xF0200002 (control/data) and 0xF0200004 (status).
class CSPI {
  public:
    virtual ~CSPI() = default;
    // One byte out to device 0 or 1 (any other device: none selected). -> 1.
    int Write(uint8_t device, uint8_t byte);
    // One byte in; devices other than 0 and 1 give 0.
    uint8_t Read(uint8_t device);
    // Resets the SPI logic.
    void Reset();
    // Ends an exchange: no device selected.
    void Deselect();
    // Selects a device (0 or 1) without clocking a byte.
    void Select(uint8_t device);

  private:
    bool WaitDone();
};

class CMCP2510 {
  public:
    // Identifier modes.
    enum : uint8_t { STANDARD_IDS = 0, EXTENDED_IDS = 1 };
    // The bit-rate code every board of the sign's networks uses.
    static constexpr uint8_t RATE_CODE = 6;

    virtual ~CMCP2510() = default;

    uint8_t ReadRegister(uint8_t address);
    void WriteRegister(uint8_t address, uint8_t value);
    // Mask bits of the register set (data 0xFF) or cleared (data 0x00).
    void BitModify(uint8_t address, uint8_t mask, bool set);
    uint8_t ReadStatus();
    void Reset();

    // The full set-up. In thread context it waits 10 ticks between checks of
    // configuration mode; in interrupt or timer context it checks without
    // waiting. -> 1 done, 0 when the chip never entered configuration mode.
    int Init(uint8_t identifier_mode, uint8_t rate_code, uint8_t interrupts);
    // Bit timing of a rate code 0-8; other codes write nothing.
    void SetBitRate(uint8_t rate_code);
    // TXBO, TXEP or RXEP set in EFLG.
    bool IsBusOff();
    // A receive buffer holds a frame (RX0IF or RX1IF).
    bool ReceivePending();
    // One frame from the receive buffers. -> 1 with the frame; 0 when none was
    // read (an overflow dropped, a transmit flag cleared, or nothing pending:
    // seven overflows or five empty reads in a row repeat the set-up).
    int ReadFrame(uint32_t* identifier, uint8_t* remote, uint8_t* length, uint8_t* data);
    // Loads the first free transmit buffer (TXB0, TXB1, TXB2) and requests
    // sending. -> 1 loaded; 0 when not set up or all three are busy.
    int WriteFrame(uint32_t identifier, uint8_t remote, uint8_t length, const uint8_t* data);

    uint8_t Initialised() const { return initialised_; }
    // Completed set-ups since construction.
    uint32_t SetUps() const { return setups_; }

  private:
    void ReadRegisters(uint8_t address, uint8_t* out, uint8_t count);
    void WriteRegisters(uint8_t address, const uint8_t* values, uint8_t count);
    bool WaitForConfigurationMode();
    void ConfigureInterruptSource();
    // Counts a failed read; past `limit` earlier ones in a row, the set-up runs again.
    void CountReceiveError(uint8_t limit);
    void ReadBuffer(uint8_t base, uint32_t* identifier, uint8_t* remote, uint8_t* length,
                    uint8_t* data);

    CSPI spi_;
    uint8_t initialised_ = 0;
    uint8_t identifier_mode_ = 0;
    uint8_t rate_code_ = 0;
    uint8_t interrupts_ = 0;
    uint8_t receive_errors_ = 0;
    uint32_t setups_ = 0;
};
