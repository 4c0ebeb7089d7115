#include "comm/drivers/serial_driver.h"

#include "platform/board/bus.h"
#include "platform/kernel/kernel.h"
#include "platform/monitor/monitor.h"
#include "runtime/console.h"

#include <algorithm>
#include <cstring>

namespace {

const uint32_t RING_SIZE_MAX = 65535;
const uint32_t FIFO_LOAD = 16;
// Busy-wait loop counts of RTS modes 2 and 5: the line turn-around after
// sending and before the first byte.
const uint32_t TRAILING_SPIN = 393215;
const uint32_t LEADING_SPIN = 655359;

enum : uint32_t { RBR = 0, THR = 0, IER = 1, IIR = 2, FCR = 2, LCR = 3, MCR = 4, LSR = 5, MSR = 6 };

enum : uint8_t {
    IER_THR_EMPTY = 0x02,
    IER_MODEM_STATUS = 0x08,
    FCR_ON_AND_CLEAR = 0x07,
    MCR_DTR = 0x01,
    MCR_RTS = 0x02,
    LSR_DATA_READY = 0x01,
    MSR_DELTA_DCD = 0x08,
    MSR_CTS = 0x10,
    MSR_DSR = 0x20,
    MSR_RI = 0x40,
    MSR_DCD = 0x80,
    IIR_NOT_PENDING = 0x01,
    IIR_MODEM_STATUS = 0,
    IIR_THR_EMPTY = 2,
    IIR_RECEIVED = 4,
    IIR_LINE_STATUS = 6,
    IIR_TIMEOUT = 12,
};

struct uart_port {
    uint32_t base;
    uint32_t source;
    bool own_fifo_and_line; // port 0 programs its FIFO and (optionally) its line control
};
const uart_port PORTS[] = {
    {BUS_UART0, UART0_UIC_SOURCE, true},
    {BUS_UART1, UART1_UIC_SOURCE, false},
};

// The RTS bits in the order they are tested; none of them: flow bit 0 picks
// mode 4, else mode 3.
struct rts_row {
    uint32_t option;
    uint8_t mode;
    bool high;
};
const rts_row RTS_ROWS[] = {
    {SERIAL_RTS_MODE0, 0, false},
    {SERIAL_RTS_MODE1, 1, true},
    {SERIAL_RTS_MODE2, 2, false},
    {SERIAL_RTS_MODE3, 3, false},
};
const uint32_t FLOW_HARDWARE = 0x1; // flow bit 0: RTS mode 4
const uint32_t FLOW_LEADING = 0x2;  // flow bit 1: RTS mode 2 becomes 5

struct dtr_row {
    uint32_t option;
    uint8_t mode;
    bool high;
};
const uint8_t DTR_REFUSED = 0xFF;
const dtr_row DTR_ROWS[] = {
    {SERIAL_DTR_MODE0, 0, false},
    {SERIAL_DTR_MODE1, 1, true},
    {SERIAL_DTR_HANDSHAKE, DTR_REFUSED, false},
};

// The two class-wide marks of RTS modes 2 and 5, shared by both ports.
uint8_t rts_raised_mark = 0;
uint8_t turn_around_mark = 0;

void spin(uint32_t loops) {
    for (volatile uint32_t i = 0; i < loops; i = i + 1) {
    }
}

// The line-control value the driver writes itself (port 0 with 0x0002).
uint8_t line_control(uint32_t data_bits, uint32_t options) {
    uint8_t length = data_bits == 5 ? 0 : data_bits == 6 ? 1 : data_bits == 7 ? 2 : 3;
    uint8_t parity = (options & SERIAL_NO_PARITY) ? 0 : 0x18;
    uint8_t stop = (options & SERIAL_ONE_STOP)                           ? 0
                   : (options & (SERIAL_TWO_STOP_A | SERIAL_TWO_STOP_B)) ? 4
                                                                         : 0;
    return uint8_t(stop | parity | length);
}

} // namespace

// ---- CRingBuffer ----------------------------------------------------------------------------

CRingBuffer::CRingBuffer(uint32_t ring_size, bool delete_self) {
    (void)delete_self;
    size = ring_size > RING_SIZE_MAX ? RING_SIZE_MAX : ring_size;
    data = size ? new uint8_t[size] : nullptr;
}

CRingBuffer::~CRingBuffer() {
    delete[] data;
}

bool CRingBuffer::IsAlmostFull() const {
    return int(count) >= int(size) * 75 / 100;
}

bool CRingBuffer::IsAlmostEmpty() const {
    return int(count) <= int(size) * 25 / 100;
}

bool CRingBuffer::Push(uint8_t byte) {
    if (count >= size) return false;
    data[head] = byte;
    count++;
    head = head == size - 1 ? 0 : uint16_t(head + 1);
    return true;
}

bool CRingBuffer::Pop(uint8_t& byte) {
    if (count == 0 || !data) return false;
    byte = data[tail];
    count--;
    tail = tail == size - 1 ? 0 : uint16_t(tail + 1);
    return true;
}

// ---- CSerialDriver --------------------------------------------------------------------------

CSerialDriver::~CSerialDriver() {
    delete tx_ring_;
    delete rx_ring_;
}

bool CSerialDriver::Write(const uint8_t* buffer, uint32_t length) {
    for (uint32_t i = 0; i < length; i++)
        if (!WriteByte(buffer[i])) return false;
    return true;
}

bool CSerialDriver::WriteString(const char* text) {
    return Write(reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)));
}

uint32_t CSerialDriver::GetRxFree() {
    return rx_ring_ ? rx_ring_->size - rx_ring_->count : 0;
}

uint32_t CSerialDriver::GetRxSize() {
    return rx_ring_ ? rx_ring_->size : 0;
}

void CSerialDriver::Flush() {
    if (tx_ring_) tx_ring_->Clear();
    if (rx_ring_) rx_ring_->Clear();
}

void CSerialDriver::SetRxCallback(serial_notify_fn function, uint32_t argument1,
                                  uint32_t argument2) {
    rx_callback_ = function;
    rx_arguments_[0] = argument1;
    rx_arguments_[1] = argument2;
}

void CSerialDriver::SetTxCallback(serial_notify_fn function, uint32_t argument1,
                                  uint32_t argument2) {
    tx_callback_ = function;
    tx_arguments_[0] = argument1;
    tx_arguments_[1] = argument2;
}

void CSerialDriver::SetModemStatusCallback(uint32_t argument, serial_modem_fn function) {
    modem_argument_ = argument;
    modem_callback_ = function;
}

// ---- CJ6SerialDriver ------------------------------------------------------------------------

serial_line_modes serial_decode_options(uint32_t options, uint32_t flow) {
    serial_line_modes modes{3, false, 0, false};
    bool rts_found = false;
    for (const rts_row& row : RTS_ROWS) {
        if (!(options & row.option)) continue;
        modes.rts_mode = row.mode == 2 && (flow & FLOW_LEADING) ? 5 : row.mode;
        modes.rts_high = row.high;
        rts_found = true;
        break;
    }
    if (!rts_found && (flow & FLOW_HARDWARE)) {
        modes.rts_mode = 4;
        modes.rts_high = true;
    }
    for (const dtr_row& row : DTR_ROWS) {
        if (!(options & row.option)) continue;
        modes.dtr_mode = row.mode;
        modes.dtr_high = row.high;
        break;
    }
    return modes;
}

uint8_t CJ6SerialDriver::Register(uint32_t offset) {
    return bus_read8(base_ + offset);
}

void CJ6SerialDriver::SetRegister(uint32_t offset, uint8_t value) {
    bus_write8(base_ + offset, value);
}

void CJ6SerialDriver::ModemControlBit(uint8_t bit, bool on) {
    if (!base_) return;
    uint8_t mcr = Register(MCR);
    SetRegister(MCR, on ? uint8_t(mcr | bit) : uint8_t(mcr & ~bit));
}

bool CJ6SerialDriver::Open(uint32_t port, uint32_t baud, uint32_t data_bits, uint32_t options,
                           uint32_t flow, uint32_t ring_size) {
    if (!rx_ring_) {
        rx_ring_ = new CRingBuffer(ring_size);
        tx_ring_ = new CRingBuffer(ring_size);
    }
    options_ = options;
    if (port < sizeof PORTS / sizeof PORTS[0]) {
        const uart_port& p = PORTS[port];
        base_ = p.base;
        if (options & SERIAL_INTERRUPTS) {
            if (opened_) isr_unregister(p.source);
            isr_register(p.source, this);
        }
        mon_uart_setup(int(port), int(baud), int(data_bits), options);
        if (p.own_fifo_and_line) {
            SetRegister(FCR, FCR_ON_AND_CLEAR);
            if (options & SERIAL_OWN_LINE_CONTROL)
                SetRegister(LCR, line_control(data_bits, options));
        }
    }
    if (!ApplyLineOptions(options, flow)) return false;
    if (base_) SetRegister(IER, Register(IER) | IER_MODEM_STATUS);
    opened_ = 1;
    return true;
}

bool CJ6SerialDriver::ApplyLineOptions(uint32_t options, uint32_t flow) {
    serial_line_modes modes = serial_decode_options(options, flow);
    if (modes.dtr_mode == DTR_REFUSED) {
        SetDTR(false);
        return false;
    }
    dtr_mode_ = modes.dtr_mode;
    SetDTR(modes.dtr_high);
    rts_mode_ = modes.rts_mode;
    SetRTS(modes.rts_high);
    return true;
}

bool CJ6SerialDriver::SetBaudRate(uint32_t baud) {
    mon_uart_setup(base_ == BUS_UART0 ? 0 : 1, int(baud), 8, options_);
    return true;
}

bool CJ6SerialDriver::WriteByte(uint8_t byte) {
    if (!base_) return false;
    CInterruptLock masked;
    tx_ring_->Push(byte);
    SetRegister(IER, Register(IER) | IER_THR_EMPTY);
    return true;
}

// Each pass queues what fits (at least one byte: a full ring drops it, as
// WriteByte does) and lets the empty-holding-register interrupt move it on.
bool CJ6SerialDriver::Write(const uint8_t* buffer, uint32_t length) {
    if (!base_) return false;
    uint32_t done = 0;
    while (done < length) {
        CInterruptLock masked;
        const uint32_t room = tx_ring_->size - tx_ring_->count;
        const uint32_t load = std::max<uint32_t>(1, std::min(room, length - done));
        for (uint32_t i = 0; i < load; i++)
            tx_ring_->Push(buffer[done++]);
        SetRegister(IER, Register(IER) | IER_THR_EMPTY);
    }
    return true;
}

bool CJ6SerialDriver::ReadByte(int* out) {
    CInterruptLock masked;
    uint8_t byte = 0;
    bool got = rx_ring_ && rx_ring_->Pop(byte);
    *out = got ? byte : -1;
    if (rts_mode_ == 4 && rx_ring_ && rx_ring_->IsAlmostEmpty()) SetRTS(true);
    return got;
}

bool CJ6SerialDriver::IsDCD() {
    return base_ && (Register(MSR) & MSR_DCD);
}
bool CJ6SerialDriver::IsRI() {
    return base_ && (Register(MSR) & MSR_RI);
}
bool CJ6SerialDriver::IsDSR() {
    return base_ && (Register(MSR) & MSR_DSR);
}
bool CJ6SerialDriver::IsCTS() {
    return base_ && (Register(MSR) & MSR_CTS);
}
void CJ6SerialDriver::SetDTR(bool on) {
    ModemControlBit(MCR_DTR, on);
}
void CJ6SerialDriver::SetRTS(bool on) {
    ModemControlBit(MCR_RTS, on);
}

void CJ6SerialDriver::InterruptHandler() {
    if (!base_) return;
    for (uint8_t iir = Register(IIR); !(iir & IIR_NOT_PENDING); iir = Register(IIR)) {
        switch (iir & 0x0F) {
        case IIR_RECEIVED:
        case IIR_TIMEOUT:
            while (Register(LSR) & LSR_DATA_READY)
                ReceiveByte(Register(RBR));
            break;
        case IIR_THR_EMPTY:
            TransmitService();
            break;
        case IIR_LINE_STATUS:
            Register(LSR);
            break;
        case IIR_MODEM_STATUS:
            ModemStatusService();
            break;
        default:
            return;
        }
    }
}

// A rising carrier reports "present" twice (the level and its change), a
// falling one "absent" once.
void CJ6SerialDriver::ModemStatusService() {
    uint8_t msr = Register(MSR);
    if ((msr & MSR_DCD) && modem_callback_)
        modem_callback_(modem_argument_, IsDCD() ? SERIAL_CARRIER_PRESENT : SERIAL_CARRIER_ABSENT);
    bool cts_gated = rts_mode_ == 2 || rts_mode_ == 4 || rts_mode_ == 5;
    if ((msr & MSR_CTS) && cts_gated && IsCTS() && tx_ring_ && tx_ring_->count) TransmitService();
    if ((msr & MSR_DELTA_DCD) && modem_callback_)
        modem_callback_(modem_argument_, IsDCD() ? SERIAL_CARRIER_PRESENT : SERIAL_CARRIER_ABSENT);
    // A change of carrier also wakes the line's reader, byte or no byte.
    if (!(msr & MSR_DELTA_DCD)) return;
    carrier_changes_ = carrier_changes_ + 1;
    if (rx_callback_) rx_callback_(rx_arguments_[0], rx_arguments_[1]);
}

void CJ6SerialDriver::ReceiveByte(uint8_t byte) {
    if (rts_mode_ == 2 && !IsDCD()) return;
    if (rx_ring_->count >= rx_ring_->size) trace_printf("error serial queue full\n");
    rx_ring_->Push(byte);
    if (rx_callback_) rx_callback_(rx_arguments_[0], rx_arguments_[1]);
    if (rts_mode_ == 4 && rx_ring_->IsAlmostFull()) SetRTS(false);
}

void CJ6SerialDriver::IdleTransmitter() {
    SetRegister(IER, uint8_t(Register(IER) & ~IER_THR_EMPTY));
    switch (rts_mode_) {
    case 0:
        SetRTS(false);
        break;
    case 1:
    case 3:
        SetRTS(true);
        break;
    case 2:
    case 5:
        if (rts_raised_mark) {
            rts_raised_mark = 0;
            turn_around_mark = 0;
            spin(TRAILING_SPIN);
        }
        SetRTS(false);
        break;
    default:
        break;
    }
}

// The RTS step before each byte of a load: false stops the load (CTS low).
bool CJ6SerialDriver::RtsStepBeforeByte() {
    switch (rts_mode_) {
    case 0:
    case 3:
        SetRTS(false);
        return true;
    case 1:
        SetRTS(true);
        return true;
    case 5:
        if (!turn_around_mark) {
            spin(LEADING_SPIN);
            turn_around_mark = 1;
        }
        [[fallthrough]]; // then as mode 2
    case 2:
        SetRTS(true);
        rts_raised_mark = 1;
        return IsCTS();
    case 4:
        return IsCTS();
    default:
        return true;
    }
}

void CJ6SerialDriver::TransmitService() {
    if (!base_ || !tx_ring_) return;
    SetDTR(dtr_mode_ == 1);
    if (tx_ring_->count == 0) {
        IdleTransmitter();
        return;
    }
    for (uint32_t sent = 0; sent < FIFO_LOAD && tx_ring_->count; sent++) {
        if (!RtsStepBeforeByte()) return;
        uint8_t byte = 0;
        tx_ring_->Pop(byte);
        SetRegister(THR, byte);
        if (tx_callback_) tx_callback_(tx_arguments_[0], tx_arguments_[1]);
    }
}
