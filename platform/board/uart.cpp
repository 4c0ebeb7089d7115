// The 16550 UART model (see uart.h).
#include "platform/board/uart.h"

#include "platform/board/bus.h"
#include "platform/kernel/host.h"

namespace board {

namespace {

enum : uint32_t { RBR = 0, IER = 1, IIR = 2, LCR = 3, MCR = 4, LSR = 5, MSR = 6, SCR = 7 };

enum : uint8_t {
    IER_RECEIVED = 0x01,
    IER_THR_EMPTY = 0x02,
    IER_LINE_STATUS = 0x04,
    IER_MODEM_STATUS = 0x08,
    IIR_NONE = 0x01,
    IIR_LINE_STATUS = 0x06,
    IIR_RECEIVED = 0x04,
    IIR_THR_EMPTY = 0x02,
    IIR_MODEM_STATUS = 0x00,
    IIR_FIFOS_ON = 0xC0,
    FCR_ENABLE = 0x01,
    FCR_CLEAR_RX = 0x02,
    FCR_CLEAR_TX = 0x04,
    LCR_DLAB = 0x80,
    LSR_DATA_READY = 0x01,
    LSR_OVERRUN = 0x02,
    LSR_THR_EMPTY = 0x20,
    LSR_TX_EMPTY = 0x40,
    MCR_DTR = 0x01,
    MCR_RTS = 0x02,
};
const uint32_t OPTION_INTERRUPTS = 0x1000;

// Modem-status bits of each input and the delta bit its change sets.
struct input_bits {
    uint8_t level;
    uint8_t delta;
};
const input_bits INPUT_BITS[UART_INPUTS] = {
    {0x80, 0x08}, // DCD, delta DCD
    {0x40, 0x04}, // RI, trailing edge of RI (only a fall sets it)
    {0x10, 0x01}, // CTS, delta CTS
    {0x20, 0x02}, // DSR, delta DSR
};

} // namespace

uint32_t Uart16550::Read(uint32_t offset, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | ReadRegister(offset + i);
    return v;
}

void Uart16550::Write(uint32_t offset, int width, uint32_t value) {
    for (int i = 0; i < width; ++i)
        WriteRegister(offset + i, uint8_t(value >> (8 * (width - 1 - i))));
}

bool Uart16550::InputLevel(UartInput line) const {
    if (forced_[line]) return level_[line];
    return line == UART_RI ? false : peer_present_;
}

uint8_t Uart16550::Msr() const {
    uint8_t msr = msr_deltas_;
    for (int line = 0; line < UART_INPUTS; ++line)
        if (InputLevel(UartInput(line))) msr |= INPUT_BITS[line].level;
    return msr;
}

// The pending condition of highest priority.
uint8_t Uart16550::Iir() const {
    uint8_t id = IIR_NONE;
    if ((ier_ & IER_LINE_STATUS) && lsr_errors_)
        id = IIR_LINE_STATUS;
    else if ((ier_ & IER_RECEIVED) && !rx_.empty())
        id = IIR_RECEIVED;
    else if ((ier_ & IER_THR_EMPTY) && thre_pending_)
        id = IIR_THR_EMPTY;
    else if ((ier_ & IER_MODEM_STATUS) && msr_deltas_)
        id = IIR_MODEM_STATUS;
    return id | (fifo_on_ ? IIR_FIFOS_ON : 0);
}

uint8_t Uart16550::ReadRegister(uint32_t reg) {
    std::unique_lock<std::mutex> lock(m_);
    uint8_t v = 0;
    switch (reg) {
    case RBR:
        if (lcr_ & LCR_DLAB) {
            v = dll_;
            break;
        }
        if (!rx_.empty()) {
            v = rx_.front();
            rx_.pop_front();
            Refill();
        }
        break;
    case IER:
        v = (lcr_ & LCR_DLAB) ? dlm_ : ier_;
        break;
    case IIR:
        v = Iir();
        if ((v & 0x0F) == IIR_THR_EMPTY) thre_pending_ = false;
        break;
    case LCR:
        v = lcr_;
        break;
    case MCR:
        v = mcr_;
        break;
    case LSR:
        v = lsr_errors_ | (rx_.empty() ? 0 : LSR_DATA_READY);
        if (tx_.empty()) v |= LSR_THR_EMPTY | LSR_TX_EMPTY;
        lsr_errors_ = 0;
        break;
    case MSR:
        v = Msr();
        msr_deltas_ = 0;
        break;
    case SCR:
        v = scratch_;
        break;
    default:
        break;
    }
    Update(lock);
    return v;
}

void Uart16550::WriteRegister(uint32_t reg, uint8_t value) {
    std::unique_lock<std::mutex> lock(m_);
    bool drain = false;
    switch (reg) {
    case RBR:
        if (lcr_ & LCR_DLAB) {
            dll_ = value;
            break;
        }
        if (tx_.size() < UART_FIFO_BYTES) tx_.push_back(value);
        thre_pending_ = false;
        drain = !drain_queued_;
        drain_queued_ = true;
        break;
    case IER:
        if (lcr_ & LCR_DLAB) {
            dlm_ = value;
            break;
        }
        // Enabling the empty-holding-register interrupt while it is empty
        // raises it at once, as on the chip.
        if (!(ier_ & IER_THR_EMPTY) && (value & IER_THR_EMPTY) && tx_.empty()) thre_pending_ = true;
        ier_ = value & 0x0F;
        break;
    case IIR:
        fifo_on_ = value & FCR_ENABLE;
        if (value & FCR_CLEAR_RX) {
            rx_.clear();
            Refill();
        }
        if (value & FCR_CLEAR_TX) tx_.clear();
        break;
    case LCR:
        lcr_ = value;
        break;
    case MCR:
        mcr_ = value & 0x1F;
        break;
    case SCR:
        scratch_ = value;
        break;
    default:
        break;
    }
    Update(lock);
    if (drain) host::raise_interrupt([this] { Drain(); });
}

// Bytes from the line move into the receive FIFO as it has room.
void Uart16550::Refill() {
    while (rx_.size() < UART_FIFO_BYTES && !line_in_.empty()) {
        rx_.push_back(line_in_.front());
        line_in_.pop_front();
    }
}

// The transmit FIFO's load goes out to the line; the holding register is
// empty again.
void Uart16550::Drain() {
    std::unique_lock<std::mutex> lock(m_);
    std::vector<uint8_t> load(tx_.begin(), tx_.end());
    tx_.clear();
    drain_queued_ = false;
    if (!load.empty()) {
        thre_pending_ = true;
        loads_.push_back(uint32_t(load.size()));
    }
    auto sink = sink_;
    auto peer = peer_;
    auto observer = observer_;
    Update(lock);
    if (load.empty()) return;
    if (sink) sink(load.data(), load.size());
    if (observer) observer(true, load.data(), load.size());
    if (peer) peer(load.data(), load.size());
}

// Releases the lock and drives the UIC0 source from the pending conditions.
void Uart16550::Update(std::unique_lock<std::mutex>& lock) {
    bool irq = (Iir() & IIR_NONE) == 0;
    bool changed = irq != last_irq_;
    last_irq_ = irq;
    lock.unlock();
    if (irq || changed) uic_set_input(uic_mask_, irq);
}

void Uart16550::LineReceive(const std::vector<uint8_t>& bytes) {
    std::unique_lock<std::mutex> lock(m_);
    line_in_.insert(line_in_.end(), bytes.begin(), bytes.end());
    Refill();
    auto observer = observer_;
    Update(lock);
    if (observer && !bytes.empty()) observer(false, bytes.data(), bytes.size());
}

void Uart16550::ModemChanged(uint8_t before) {
    uint8_t after = Msr();
    for (const input_bits& bits : INPUT_BITS) {
        bool was = before & bits.level, is = after & bits.level;
        bool ri = bits.level == INPUT_BITS[UART_RI].level;
        if (was != is && (!ri || was)) msr_deltas_ |= bits.delta;
    }
}

void Uart16550::SetModemInput(UartInput line, bool level) {
    std::unique_lock<std::mutex> lock(m_);
    uint8_t before = Msr();
    forced_[line] = true;
    level_[line] = level;
    ModemChanged(before);
    Update(lock);
}

void Uart16550::FollowPeer() {
    std::unique_lock<std::mutex> lock(m_);
    uint8_t before = Msr();
    for (bool& f : forced_)
        f = false;
    ModemChanged(before);
    Update(lock);
}

void Uart16550::SetPeerPresent(bool present) {
    std::unique_lock<std::mutex> lock(m_);
    uint8_t before = Msr();
    peer_present_ = present;
    ModemChanged(before);
    Update(lock);
}

ModemOutputs Uart16550::Outputs() {
    std::lock_guard<std::mutex> lock(m_);
    ModemOutputs out;
    out.dtr = mcr_ & MCR_DTR;
    out.rts = mcr_ & MCR_RTS;
    return out;
}

// Programs the line as the monitor's set-up service does: divisor, word
// length, stop bits and parity from the options, the received-data interrupt
// and the UIC0 source (level, active high) for an interrupt-driven port.
void Uart16550::Setup(const UartSetup& setup) {
    std::unique_lock<std::mutex> lock(m_);
    uint32_t divisor = setup.baud > 0 ? 115200u / uint32_t(setup.baud) : 0;
    dll_ = uint8_t(divisor);
    dlm_ = uint8_t(divisor >> 8);
    lcr_ = uint8_t((setup.databits < 5 ? 3 : (setup.databits - 5) & 3) |
                   ((setup.options & 0x40) ? 4 : 0));
    bool interrupts = setup.options & OPTION_INTERRUPTS;
    if (interrupts) ier_ |= IER_RECEIVED;
    Update(lock);
    if (!interrupts) return;
    dcr_write(DCR_UIC0_TR, dcr_read(DCR_UIC0_TR) & ~uic_mask_);
    dcr_write(DCR_UIC0_PR, dcr_read(DCR_UIC0_PR) | uic_mask_);
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) | uic_mask_);
}

void Uart16550::SetLineSink(std::function<void(const uint8_t*, size_t)> sink) {
    std::lock_guard<std::mutex> lock(m_);
    sink_ = std::move(sink);
}

void Uart16550::SetPeer(std::function<void(const uint8_t*, size_t)> peer) {
    std::lock_guard<std::mutex> lock(m_);
    peer_ = std::move(peer);
}

void Uart16550::SetObserver(std::function<void(bool, const uint8_t*, size_t)> observer) {
    std::lock_guard<std::mutex> lock(m_);
    observer_ = std::move(observer);
}

size_t Uart16550::QueuedInput() {
    std::lock_guard<std::mutex> lock(m_);
    return line_in_.size();
}

std::vector<uint32_t> Uart16550::LoadSizes() {
    std::lock_guard<std::mutex> lock(m_);
    return loads_;
}

void Uart16550::Reset(bool keep_scratch) {
    std::unique_lock<std::mutex> lock(m_);
    line_in_.clear();
    rx_.clear();
    tx_.clear();
    thre_pending_ = false;
    drain_queued_ = false;
    ier_ = lcr_ = mcr_ = lsr_errors_ = msr_deltas_ = dll_ = dlm_ = 0;
    if (!keep_scratch) scratch_ = 0;
    fifo_on_ = false;
    for (bool& f : forced_)
        f = false;
    peer_ = nullptr;
    loads_.clear();
    last_irq_ = false;
    lock.unlock();
    uic_set_input(uic_mask_, false);
}

} // namespace board
