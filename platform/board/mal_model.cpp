#include "platform/board/mal_model.h"
#include "platform/kernel/host.h"

namespace board {

namespace {

const uint32_t UIC_SERR = 0x00200000u, UIC_TXEOB = 0x00100000u, UIC_RXEOB = 0x00080000u,
               UIC_TXDE = 0x00040000u, UIC_RXDE = 0x00020000u;

// A span of board RAM as the firmware addresses it, or null outside it.
uint8_t* ram(uint32_t address, uint32_t bytes) {
    uint32_t base = uint32_t(reinterpret_cast<uintptr_t>(host::board_ram_base()));
    uint64_t offset = uint64_t(address) - base;
    if (address < base || offset + bytes > host::board_ram_size()) return nullptr;
    return host::board_ram_base() + offset;
}

uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

} // namespace

uint32_t Mal::Register(uint32_t dcrn) {
    switch (dcrn) {
    case MAL_CFG:
        return s_.cfg;
    case MAL_ESR:
        return s_.esr;
    case MAL_IER:
        return s_.ier;
    case MAL_TXCASR:
        return s_.tx_active;
    case MAL_TXEOBISR:
        return s_.tx_eob;
    case MAL_TXDEIR:
        return s_.tx_de;
    case MAL_RXCASR:
        return s_.rx_active;
    case MAL_RXEOBISR:
        return s_.rx_eob;
    case MAL_RXDEIR:
        return s_.rx_de;
    case MAL_TXCTP0R:
        return s_.tx_table;
    case MAL_RXCTP0R:
        return s_.rx_table;
    case MAL_RCBS0:
        return s_.rx_buffer_size;
    case DCR_PLB_WORD:
        return s_.plb_word;
    default:
        return 0;
    }
}

uint32_t Mal::ReadDcr(uint32_t dcrn) {
    std::lock_guard<std::mutex> lock(m_);
    return Register(dcrn);
}

void Mal::WriteDcr(uint32_t dcrn, uint32_t value) {
    std::unique_lock<std::mutex> lock(m_);
    switch (dcrn) {
    case MAL_CFG:
        if (value & MAL_RESET) {
            uint32_t resets = s_.resets + 1, plb = s_.plb_word, dropped = s_.dropped;
            s_ = MalState();
            s_.resets = resets, s_.plb_word = plb, s_.dropped = dropped;
        } else {
            s_.cfg = value;
        }
        break;
    case MAL_ESR:
        s_.esr &= ~value;
        break;
    case MAL_IER:
        s_.ier = value;
        break;
    case MAL_TXCASR:
        s_.tx_active |= value;
        break;
    case MAL_TXCARR:
        s_.tx_active &= ~value;
        if (value & MAL_CHANNEL0) s_.tx_index = 0;
        break;
    case MAL_TXEOBISR:
        s_.tx_eob &= ~value;
        break;
    case MAL_TXDEIR:
        s_.tx_de &= ~value;
        break;
    case MAL_RXCASR:
        s_.rx_active |= value;
        break;
    case MAL_RXCARR:
        s_.rx_active &= ~value;
        if (value & MAL_CHANNEL0) s_.rx_index = 0;
        break;
    case MAL_RXEOBISR:
        s_.rx_eob &= ~value;
        break;
    case MAL_RXDEIR:
        s_.rx_de &= ~value;
        break;
    case MAL_TXCTP0R:
        s_.tx_table = value;
        break;
    case MAL_RXCTP0R:
        s_.rx_table = value;
        break;
    case MAL_RCBS0:
        s_.rx_buffer_size = value;
        break;
    case DCR_PLB_WORD:
        s_.plb_word = value;
        break;
    default:
        break;
    }
    Update(lock);
}

void Mal::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    s_ = MalState();
    held_ = pending_ = false;
}

// Releases the lock and drives the five level lines.
void Mal::Update(std::unique_lock<std::mutex>& lock) {
    const struct {
        uint32_t source;
        bool active;
    } lines[] = {{UIC_SERR, (s_.esr & ESR_VALID) && s_.ier != 0},
                 {UIC_TXEOB, s_.tx_eob != 0},
                 {UIC_RXEOB, s_.rx_eob != 0},
                 {UIC_TXDE, s_.tx_de != 0},
                 {UIC_RXDE, s_.rx_de != 0}};
    lock.unlock();
    for (const auto& line : lines)
        uic_set_input(line.source, line.active);
}

// The descriptor at the ring's index takes the frame; a descriptor that is not
// empty is a descriptor error and stops the channel, a buffer outside board
// RAM a bus error.
bool Mal::Receive(const std::vector<uint8_t>& frame, uint16_t status) {
    std::unique_lock<std::mutex> lock(m_);
    bool taken = false;
    uint8_t* desc = ram(s_.rx_table + 8 * s_.rx_index, 8);
    if (!(s_.rx_active & MAL_CHANNEL0) || desc == nullptr) {
        s_.dropped++;
    } else if (!(get16(desc) & DESC_READY)) {
        s_.rx_de |= MAL_CHANNEL0;
        s_.rx_active &= ~MAL_CHANNEL0;
        s_.dropped++;
    } else {
        uint32_t room = 16 * s_.rx_buffer_size;
        uint32_t length = uint32_t(frame.size()) < room ? uint32_t(frame.size()) : room;
        uint8_t* buffer = ram(get32(desc + 4), length);
        if (buffer == nullptr) {
            s_.esr |= ESR_VALID | ESR_RECEIVE | ESR_BUS_ERROR;
            s_.dropped++;
        } else {
            std::copy(frame.begin(), frame.begin() + length, buffer);
            uint16_t control = get16(desc);
            put16(desc, uint16_t((control & ~(DESC_READY | DESC_STATUS)) | (status & DESC_STATUS)));
            put16(desc + 2, uint16_t(length));
            if (control & DESC_INTERRUPT) s_.rx_eob |= MAL_CHANNEL0;
            s_.rx_index = (control & DESC_WRAP) ? 0 : s_.rx_index + 1;
            taken = true;
        }
    }
    Update(lock);
    return taken;
}

void Mal::StartTransmit() {
    std::unique_lock<std::mutex> lock(m_);
    pending_ = true;
    if (held_ || scheduled_) return;
    scheduled_ = true;
    lock.unlock();
    host::schedule_device_event(host::clock_ticks() + 1, [this] { CompleteTransmit(); });
}

void Mal::CompleteTransmit() {
    std::unique_lock<std::mutex> lock(m_);
    scheduled_ = false;
    if (held_ || !pending_) return;
    pending_ = false;
    std::vector<uint8_t> frame;
    uint8_t* desc = ram(s_.tx_table + 8 * s_.tx_index, 8);
    if (!(s_.tx_active & MAL_CHANNEL0) || desc == nullptr) {
        Update(lock);
        return;
    }
    uint16_t control = get16(desc);
    if (!(control & DESC_READY)) {
        s_.tx_de |= MAL_CHANNEL0;
    } else if (uint8_t* buffer = ram(get32(desc + 4), get16(desc + 2))) {
        frame.assign(buffer, buffer + get16(desc + 2));
        put16(desc, uint16_t(control & ~DESC_READY));
        if (control & DESC_INTERRUPT) s_.tx_eob |= MAL_CHANNEL0;
        s_.tx_index = (control & DESC_WRAP) ? 0 : s_.tx_index + 1;
    } else {
        s_.esr |= ESR_VALID | ESR_BUS_ERROR;
    }
    auto sink = sink_;
    Update(lock);
    if (!frame.empty() && sink) sink(frame);
}

void Mal::SetTransmitSink(std::function<void(const std::vector<uint8_t>&)> sink) {
    std::lock_guard<std::mutex> lock(m_);
    sink_ = std::move(sink);
}

void Mal::HoldTransmit(bool held) {
    {
        std::lock_guard<std::mutex> lock(m_);
        held_ = held;
        if (held || !pending_) return;
    }
    host::raise_interrupt([this] { CompleteTransmit(); });
}

void Mal::RaiseSystemError(uint32_t esr) {
    std::unique_lock<std::mutex> lock(m_);
    s_.esr |= esr;
    Update(lock);
}

void Mal::RaiseDescriptorError(bool receive) {
    std::unique_lock<std::mutex> lock(m_);
    if (receive) {
        s_.rx_de |= MAL_CHANNEL0;
        s_.rx_active &= ~MAL_CHANNEL0;
    } else {
        s_.tx_de |= MAL_CHANNEL0;
        s_.tx_active &= ~MAL_CHANNEL0;
    }
    Update(lock);
}

MalState Mal::State() {
    std::lock_guard<std::mutex> lock(m_);
    return s_;
}

} // namespace board
