// The CAN controller chip over the bus logic's SPI port (see mcp2510.h).
#include "peripherals/can/mcp2510.h"

#include "platform/board/bus.h"
#include "platform/kernel/kernel.h"
#include "runtime/console.h"
#include "runtime/os.h"

#include <cstring>

namespace {

// SPI control bits.
enum : uint16_t {
    SPI_DEVICE0 = 0x0000,
    SPI_DEVICE1 = 0x0100,
    SPI_NO_DEVICE = 0x0200,
    SPI_READ = 0x0400,
    SPI_START = 0x0800,
    SPI_RESET = 0x1000,
    SPI_DONE = 0x0100, // status register
};
const int SPI_DONE_POLLS = 10000;

// Chip instructions.
enum : uint8_t {
    INSTR_RESET = 0xC0,
    INSTR_READ = 0x03,
    INSTR_WRITE = 0x02,
    INSTR_BIT_MODIFY = 0x05,
    INSTR_READ_STATUS = 0xA0,
};

// Chip registers.
enum : uint8_t {
    CANSTAT = 0x0E,
    CANCTRL = 0x0F,
    CNF3 = 0x28,
    CNF2 = 0x29,
    CNF1 = 0x2A,
    CANINTE = 0x2B,
    CANINTF = 0x2C,
    EFLG = 0x2D,
    TXB0CTRL = 0x30,
    TXB1CTRL = 0x40,
    TXB2CTRL = 0x50,
    RXB0CTRL = 0x60,
    RXB1CTRL = 0x70,
};
const uint8_t MODE_MASK = 0xE0, MODE_CONFIGURATION = 0x80, MODE_NORMAL = 0x00;
const uint8_t CANCTRL_NORMAL = 0x0F, CANCTRL_CONFIGURATION = 0x8F;
const int CONFIGURATION_TRIES = 50;
const uint32_t CONFIGURATION_WAIT = 10; // ticks between tries
const int NORMAL_MODE_RETRIES = 3;
const uint8_t EFLG_ERROR_STATE = 0x38; // TXBO, TXEP, RXEP
const uint8_t TXREQ = 0x08;
const uint8_t DLC_REMOTE = 0x40;
const uint8_t SIDL_EXTENDED = 0x08, SIDL_REMOTE = 0x10;
const uint8_t TRANSMIT_BUFFERS[] = {TXB0CTRL, TXB1CTRL, TXB2CTRL};
const uint32_t CAN_SOURCE = 0x4;
const uint8_t CAN_BYTES = 8;

// Failed reads tolerated before the set-up is repeated: earlier overflows,
// earlier interrupts with nothing pending.
const uint8_t OVERFLOWS_TOLERATED = 6;
const uint8_t EMPTY_READS_TOLERATED = 4;

struct RegisterWrite {
    uint8_t address;
    uint8_t value;
};

// Written in configuration mode: both acceptance masks open (every frame is
// received), filters 2 to 5 all ones.
const RegisterWrite CONFIGURATION_WRITES[] = {
    {0x20, 0x00}, {0x21, 0x00}, {0x23, 0x00}, {0x22, 0x00}, {0x24, 0x00}, {0x25, 0x00},
    {0x27, 0x00}, {0x26, 0x00}, {0x08, 0xFF}, {0x09, 0xFF}, {0x0B, 0xFF}, {0x0A, 0xFF},
    {0x10, 0xFF}, {0x11, 0xFF}, {0x13, 0xFF}, {0x12, 0xFF}, {0x14, 0xFF}, {0x15, 0xFF},
    {0x17, 0xFF}, {0x16, 0xFF}, {0x18, 0xFF}, {0x19, 0xFF}, {0x1B, 0xFF}, {0x1A, 0xFF},
};

// Written in normal mode: interrupt on reception into either buffer, buffer 0
// rolls over into buffer 1, flags clear, every transmit buffer at the highest
// priority.
const RegisterWrite RUN_WRITES[] = {
    {CANINTE, 0x03},  {RXB0CTRL, 0x04}, {RXB1CTRL, 0x00}, {CANINTF, 0x00},
    {TXB0CTRL, 0x03}, {TXB1CTRL, 0x03}, {TXB2CTRL, 0x03},
};

// Bit timing by rate code: CNF1, CNF2 (CNF3 is always 0x02).
struct BitTiming {
    uint8_t cnf1, cnf2;
};
const BitTiming BIT_TIMINGS[] = {
    {0x01, 0x90}, {0x01, 0xA0}, {0x03, 0x90}, {0x04, 0x90}, {0x04, 0xA0},
    {0x07, 0x90}, {0x09, 0x90}, {0x09, 0xA0}, {0x13, 0x90},
};
const uint8_t CNF3_VALUE = 0x02;

// A receive buffer: its flag in READ STATUS and CANINTF, its overflow bit in EFLG.
struct ReceiveBuffer {
    uint8_t base;
    uint8_t flag;
    uint8_t overflow;
};
const ReceiveBuffer RECEIVE_BUFFERS[] = {{RXB0CTRL, 0x01, 0x40}, {RXB1CTRL, 0x02, 0x80}};
// Transmit-complete flags: in READ STATUS, and in CANINTF.
const uint8_t STATUS_TRANSMITTED = 0xA8;
const uint8_t TRANSMIT_FLAGS[] = {0x04, 0x08, 0x10};

uint16_t select_bits(uint8_t device) {
    return device == 0 ? SPI_DEVICE0 : device == 1 ? SPI_DEVICE1 : SPI_NO_DEVICE;
}

void spi_control(uint16_t value) {
    bus_write16(BUS_LOGIC_SPI_CONTROL, value);
}

} // namespace

// ---- CSPI ------------------------------------------------------------------------

bool CSPI::WaitDone() {
    for (int i = 0; i < SPI_DONE_POLLS; ++i)
        if (bus_read16(BUS_LOGIC_STATUS) & SPI_DONE) return true;
    console_printf("SPI Write Error\n");
    Reset();
    return false;
}

int CSPI::Write(uint8_t device, uint8_t byte) {
    uint16_t s = select_bits(device);
    spi_control(s);
    spi_control(uint16_t(s | byte));
    spi_control(uint16_t(s | byte | SPI_START));
    WaitDone();
    spi_control(uint16_t(s | byte));
    return 1;
}

uint8_t CSPI::Read(uint8_t device) {
    if (device > 1) return 0;
    uint16_t s = select_bits(device);
    spi_control(s);
    spi_control(uint16_t(s | SPI_READ));
    spi_control(uint16_t(s | SPI_READ | SPI_START));
    WaitDone();
    spi_control(uint16_t(s | SPI_READ));
    return uint8_t(bus_read16(BUS_LOGIC_STATUS));
}

void CSPI::Reset() {
    spi_control(uint16_t(SPI_RESET | SPI_NO_DEVICE));
    spi_control(SPI_NO_DEVICE);
}

void CSPI::Select(uint8_t device) {
    spi_control(select_bits(device));
}

void CSPI::Deselect() {
    spi_control(SPI_NO_DEVICE);
}

// ---- CMCP2510: instructions --------------------------------------------------------

uint8_t CMCP2510::ReadRegister(uint8_t address) {
    uint8_t value = 0;
    ReadRegisters(address, &value, 1);
    return value;
}

void CMCP2510::ReadRegisters(uint8_t address, uint8_t* out, uint8_t count) {
    CInterruptLock masked;
    spi_.Write(0, INSTR_READ);
    spi_.Write(0, address);
    for (uint8_t i = 0; i < count; ++i)
        out[i] = spi_.Read(0);
    spi_.Deselect();
}

void CMCP2510::WriteRegister(uint8_t address, uint8_t value) {
    WriteRegisters(address, &value, 1);
}

void CMCP2510::WriteRegisters(uint8_t address, const uint8_t* values, uint8_t count) {
    CInterruptLock masked;
    spi_.Write(0, INSTR_WRITE);
    spi_.Write(0, address);
    for (uint8_t i = 0; i < count; ++i)
        spi_.Write(0, values[i]);
    spi_.Deselect();
}

void CMCP2510::BitModify(uint8_t address, uint8_t mask, bool set) {
    CInterruptLock masked;
    spi_.Write(0, INSTR_BIT_MODIFY);
    spi_.Write(0, address);
    spi_.Write(0, mask);
    spi_.Write(0, set ? 0xFF : 0x00);
    spi_.Deselect();
}

uint8_t CMCP2510::ReadStatus() {
    CInterruptLock masked;
    spi_.Write(0, INSTR_READ_STATUS);
    uint8_t status = spi_.Read(0);
    spi_.Deselect();
    return status;
}

void CMCP2510::Reset() {
    CInterruptLock masked;
    spi_.Write(0, INSTR_RESET);
    spi_.Deselect();
}

// ---- CMCP2510: set-up ------------------------------------------------------------------

void CMCP2510::SetBitRate(uint8_t rate_code) {
    if (rate_code >= sizeof BIT_TIMINGS / sizeof BIT_TIMINGS[0]) return;
    WriteRegister(CNF1, BIT_TIMINGS[rate_code].cnf1);
    WriteRegister(CNF2, BIT_TIMINGS[rate_code].cnf2);
    WriteRegister(CNF3, CNF3_VALUE);
}

// The chip is asked at once and then after each wait; a thread waits between
// checks, while the interrupt handler (and a timer) must not wait, so there
// the chip is asked again at once.
bool CMCP2510::WaitForConfigurationMode() {
    bool may_wait = !tx_in_non_thread_context();
    for (int i = 0; i < CONFIGURATION_TRIES; ++i) {
        if (i > 0 && may_wait) os_sleep(CONFIGURATION_WAIT);
        if ((ReadRegister(CANSTAT) & MODE_MASK) == MODE_CONFIGURATION) return true;
    }
    console_printf("failed to reach configuration mode\n");
    return false;
}

void CMCP2510::ConfigureInterruptSource() {
    dcr_write(DCR_UIC0_CR, dcr_read(DCR_UIC0_CR) & ~CAN_SOURCE);
    dcr_write(DCR_UIC0_PR, dcr_read(DCR_UIC0_PR) & ~CAN_SOURCE);
    dcr_write(DCR_UIC0_TR, dcr_read(DCR_UIC0_TR) | CAN_SOURCE);
    dcr_write(DCR_UIC0_SR, CAN_SOURCE);
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) | CAN_SOURCE);
}

int CMCP2510::Init(uint8_t identifier_mode, uint8_t rate_code, uint8_t interrupts) {
    identifier_mode_ = identifier_mode;
    rate_code_ = rate_code;
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) & ~CAN_SOURCE);
    Reset();
    if (!WaitForConfigurationMode()) return 0;
    SetBitRate(rate_code);
    for (const RegisterWrite& w : CONFIGURATION_WRITES)
        WriteRegister(w.address, w.value);
    WriteRegister(CANCTRL, CANCTRL_NORMAL);
    uint8_t status = ReadRegister(CANSTAT);
    for (int i = 0; i < NORMAL_MODE_RETRIES && (status & MODE_MASK) != MODE_NORMAL; ++i) {
        WriteRegister(CANCTRL, CANCTRL_CONFIGURATION);
        WriteRegister(CANCTRL, CANCTRL_NORMAL);
        status = ReadRegister(CANSTAT);
    }
    for (const RegisterWrite& w : RUN_WRITES)
        WriteRegister(w.address, w.value);
    if (interrupts) {
        interrupts_ = interrupts;
        ConfigureInterruptSource();
    }
    initialised_ = 1;
    ++setups_;
    return 1;
}

bool CMCP2510::IsBusOff() {
    return (ReadRegister(EFLG) & EFLG_ERROR_STATE) != 0;
}

bool CMCP2510::ReceivePending() {
    return (ReadStatus() & (RECEIVE_BUFFERS[0].flag | RECEIVE_BUFFERS[1].flag)) != 0;
}

// ---- CMCP2510: frames ----------------------------------------------------------------

void CMCP2510::CountReceiveError(uint8_t limit) {
    if (receive_errors_++ < limit) return;
    receive_errors_ = 0;
    Init(identifier_mode_, rate_code_, interrupts_);
}

void CMCP2510::ReadBuffer(uint8_t base, uint32_t* identifier, uint8_t* remote, uint8_t* length,
                          uint8_t* data) {
    uint8_t r[13];
    ReadRegisters(uint8_t(base + 1), r, sizeof r);
    const uint8_t sidh = r[0], sidl = r[1], eid8 = r[2], eid0 = r[3], dlc = r[4];
    if (sidl & SIDL_EXTENDED) {
        *identifier = uint32_t(eid0) | uint32_t(eid8) << 8 | uint32_t(sidl & 0x03) << 16 |
                      uint32_t(sidl & 0xE0) << 13 | uint32_t(sidh) << 21;
        *remote = (dlc & DLC_REMOTE) ? 1 : 0;
    } else {
        *identifier = uint32_t(sidl >> 5) | uint32_t(sidh) << 3;
        *remote = (sidl & SIDL_REMOTE) ? 1 : 0;
    }
    std::memcpy(data, r + 5, CAN_BYTES);
    *length = dlc & 0x0F;
}

int CMCP2510::ReadFrame(uint32_t* identifier, uint8_t* remote, uint8_t* length, uint8_t* data) {
    if (!identifier || !remote || !length || !data) return 0;
    uint8_t eflg = ReadRegister(EFLG);
    uint8_t status = ReadStatus();
    for (const ReceiveBuffer& b : RECEIVE_BUFFERS) {
        if (!(status & b.flag)) continue;
        if (eflg & b.overflow) {
            BitModify(CANINTF, b.flag, false);
            BitModify(EFLG, b.overflow, false);
            CountReceiveError(OVERFLOWS_TOLERATED);
            return 0;
        }
        ReadBuffer(b.base, identifier, remote, length, data);
        BitModify(CANINTF, b.flag, false);
        receive_errors_ = 0;
        return 1;
    }
    if (status & STATUS_TRANSMITTED) {
        uint8_t flags = ReadRegister(CANINTF);
        for (uint8_t f : TRANSMIT_FLAGS)
            if (flags & f) {
                BitModify(CANINTF, f, false);
                break;
            }
        return 0;
    }
    CountReceiveError(EMPTY_READS_TOLERATED);
    return 0;
}

int CMCP2510::WriteFrame(uint32_t identifier, uint8_t remote, uint8_t length, const uint8_t* data) {
    CInterruptLock masked;
    if (!initialised_) return 0;
    uint8_t image[13] = {};
    if (identifier_mode_ == STANDARD_IDS) {
        image[0] = uint8_t(identifier >> 3);
        image[1] = uint8_t((identifier << 5) & 0xE0);
    } else {
        image[0] = uint8_t(identifier >> 21);
        image[1] =
            uint8_t(((identifier >> 13) & 0xE0) | SIDL_EXTENDED | ((identifier >> 16) & 0x03));
        image[2] = uint8_t(identifier >> 8);
        image[3] = uint8_t(identifier);
    }
    length = length > CAN_BYTES ? CAN_BYTES : length;
    if (data != nullptr) std::memcpy(image + 4, data, length);
    image[12] = uint8_t(length | (remote ? DLC_REMOTE : 0));
    for (uint8_t base : TRANSMIT_BUFFERS) {
        if (ReadRegister(base) & TXREQ) continue;
        WriteRegisters(uint8_t(base + 1), image, 4);
        WriteRegister(uint8_t(base + 5), image[12]);
        WriteRegisters(uint8_t(base + 6), image + 4, CAN_BYTES);
        WriteRegister(base, uint8_t(ReadRegister(base) | TXREQ));
        return 1;
    }
    return 0;
}
