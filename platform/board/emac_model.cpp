#include "platform/board/emac_model.h"
#include "platform/kernel/host.h"

namespace board {

namespace {

// Register offsets in the window.
enum : uint32_t {
    MR0 = EMAC_MR0 - EMAC0_BASE,
    MR1 = EMAC_MR1 - EMAC0_BASE,
    TMR0 = EMAC_TMR0 - EMAC0_BASE,
    RMR = EMAC_RMR - EMAC0_BASE,
    ISR = EMAC_ISR - EMAC0_BASE,
    ISER = EMAC_ISER - EMAC0_BASE,
    IAHR = EMAC_IAHR - EMAC0_BASE,
    IALR = EMAC_IALR - EMAC0_BASE,
    GAHT1 = EMAC_GAHT1 - EMAC0_BASE,
    GAHT4 = EMAC_GAHT4 - EMAC0_BASE,
    IPGVR = EMAC_IPGVR - EMAC0_BASE,
    STACR = EMAC_STACR - EMAC0_BASE,
    TRTR = EMAC_TRTR - EMAC0_BASE,
    RWMR = EMAC_RWMR - EMAC0_BASE,
};
const uint32_t UIC_EMAC = 0x00010000u;

struct EthernetPort {
    Dp83843 phy;
    Mal mal;
    Emac0 emac{mal, phy};
    std::mutex m;
    std::vector<std::vector<uint8_t>> sent;
    bool started = false;
};

EthernetPort& port() {
    static EthernetPort p;
    return p;
}

} // namespace

uint32_t Emac0::Word(uint32_t offset) {
    uint32_t at = offset & ~3u;
    if (at == MR0) {
        uint32_t mode = r_.mode0 & ~(MR0_RX_IDLE | MR0_TX_IDLE | MR0_SOFT_RESET);
        if (!busy_ && !(mode & MR0_RX_ENABLE)) mode |= MR0_RX_IDLE;
        if (!busy_ && !(mode & MR0_TX_ENABLE)) mode |= MR0_TX_IDLE;
        return mode;
    }
    if (at == STACR) return station_;
    if (at == ISR) return r_.status;
    return at < kWindow ? words_[at / 4] : 0;
}

uint32_t Emac0::Read(uint32_t offset, int width) {
    std::lock_guard<std::mutex> lock(m_);
    uint32_t word = Word(offset);
    if (width == 4) return word;
    uint32_t shift = 8 * (4 - width - (offset & 3));
    return (word >> shift) & ((1u << (8 * width)) - 1);
}

void Emac0::Write(uint32_t offset, int width, uint32_t value) {
    std::unique_lock<std::mutex> lock(m_);
    if (width != 4) return; // the MAC's registers take whole words
    SetWord(offset & ~3u, value, lock);
}

void Emac0::SetWord(uint32_t at, uint32_t value, std::unique_lock<std::mutex>& lock) {
    if (at >= kWindow) return;
    words_[at / 4] = value;
    switch (at) {
    case MR0:
        if (value & MR0_SOFT_RESET) {
            r_.soft_resets++;
            r_.mode0 = 0;
        } else {
            r_.mode0 = value;
        }
        break;
    case MR1:
        r_.mode1 = value;
        r_.mode1_writes.push_back(value);
        break;
    case TMR0:
        if (value & TMR0_CHANNEL0) {
            lock.unlock();
            mal_.StartTransmit();
            lock.lock();
        }
        break;
    case RMR:
        r_.receive_mode = value;
        break;
    case ISR:
        r_.status &= ~value;
        break;
    case ISER:
        r_.status_enable = value;
        break;
    case IAHR:
        r_.address_high = value;
        break;
    case IALR:
        r_.address_low = value;
        break;
    case IPGVR:
        r_.gap = value;
        break;
    case STACR:
        Manage(value);
        break;
    case TRTR:
        r_.threshold = value;
        break;
    case RWMR:
        r_.watermarks = value;
        break;
    default:
        if (at >= GAHT1 && at <= GAHT4) r_.group_hash[(at - GAHT1) / 4] = value;
        break;
    }
    Update(lock);
}

// One management cycle with the PHY, complete at once unless stalled.
void Emac0::Manage(uint32_t command) {
    uint32_t op = command & (STA_READ | STA_WRITE);
    if (op == 0) return;
    if (stalled_) {
        station_ = command & ~(STA_COMPLETE | STA_PHY_ERROR);
        return;
    }
    uint32_t address = (command >> 5) & 0x1F, reg = command & 0x1F;
    uint16_t data = 0;
    bool answered = address == Dp83843::kAddress &&
                    (op == uint32_t(STA_READ) ? phy_.Read(reg, data)
                                              : phy_.Write(reg, uint16_t(command >> 16)));
    station_ = (command & 0x3FFF) | STA_COMPLETE | (answered ? 0u : uint32_t(STA_PHY_ERROR));
    if (op == STA_READ) station_ = (station_ & 0xFFFF) | uint32_t(data) << 16;
}

void Emac0::Update(std::unique_lock<std::mutex>& lock) {
    bool active = (r_.status & r_.status_enable) != 0;
    lock.unlock();
    uic_set_input(UIC_EMAC, active);
}

bool Emac0::Accepts(const std::vector<uint8_t>& frame) {
    if (frame.size() < 6) return false;
    const uint8_t own[6] = {uint8_t(r_.address_high >> 8), uint8_t(r_.address_high),
                            uint8_t(r_.address_low >> 24), uint8_t(r_.address_low >> 16),
                            uint8_t(r_.address_low >> 8),  uint8_t(r_.address_low)};
    bool broadcast = true, mine = true;
    for (int i = 0; i < 6; i++) {
        broadcast = broadcast && frame[i] == 0xFF;
        mine = mine && frame[i] == own[i];
    }
    if (broadcast) return r_.receive_mode & RMR_BROADCAST;
    if (frame[0] & 1) return r_.receive_mode & RMR_MULTICAST;
    return mine && (r_.receive_mode & RMR_OWN);
}

void Emac0::WireReceive(const std::vector<uint8_t>& frame, uint16_t status) {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!(r_.mode0 & MR0_RX_ENABLE) || !Accepts(frame)) return;
    }
    mal_.Receive(frame, status);
}

void Emac0::RaiseStatus(uint32_t bits) {
    std::unique_lock<std::mutex> lock(m_);
    r_.status |= bits;
    Update(lock);
}

void Emac0::HoldBusy(bool held) {
    std::lock_guard<std::mutex> lock(m_);
    busy_ = held;
}

void Emac0::StallManagement(bool stalled) {
    std::lock_guard<std::mutex> lock(m_);
    stalled_ = stalled;
    if (!stalled) station_ |= STA_COMPLETE;
}

void Emac0::Reset() {
    std::unique_lock<std::mutex> lock(m_);
    r_ = EmacRegisters();
    station_ = STA_COMPLETE;
    for (uint32_t& w : words_)
        w = 0;
    busy_ = stalled_ = false;
    Update(lock);
}

EmacRegisters Emac0::Registers() {
    std::lock_guard<std::mutex> lock(m_);
    return r_;
}

void ethernet_start(const std::string& host_interface) {
    EthernetPort& p = port();
    p.phy.PowerUp(host_interface);
    p.mal.Reset();
    p.emac.Reset();
    {
        std::lock_guard<std::mutex> lock(p.m);
        p.sent.clear();
    }
    p.mal.SetTransmitSink([](const std::vector<uint8_t>& frame) {
        std::lock_guard<std::mutex> lock(port().m);
        port().sent.push_back(frame);
    });
    bus_map(EMAC0_BASE, EMAC0_WINDOW, &p.emac);
    dcr_map(MAL_CFG, MAL_DCR_COUNT, &p.mal);
    dcr_map(DCR_PLB_WORD, 1, &p.mal);
    p.started = true;
}

void ethernet_stop() {
    EthernetPort& p = port();
    if (!p.started) return;
    bus_unmap(&p.emac);
    dcr_unmap(&p.mal);
    p.mal.Reset();
    p.mal.SetTransmitSink(nullptr);
    p.started = false;
}

void ethernet_set_cable(int plugged) {
    port().phy.SetCable(plugged);
}
void ethernet_set_partner(const PhyPartner& partner) {
    port().phy.SetPartner(partner);
}
void phy_set_answering(bool answering) {
    port().phy.SetAnswering(answering);
}
void ethernet_wire_receive(const std::vector<uint8_t>& frame, uint16_t status) {
    host::raise_interrupt([frame, status] { port().emac.WireReceive(frame, status); });
}
std::vector<std::vector<uint8_t>> ethernet_wire_sent() {
    std::lock_guard<std::mutex> lock(port().m);
    return port().sent;
}
void ethernet_hold_transmit(bool held) {
    port().mal.HoldTransmit(held);
}
void emac_hold_busy(bool held) {
    port().emac.HoldBusy(held);
}
void emac_stall_management(bool stalled) {
    port().emac.StallManagement(stalled);
}
void emac_raise_status(uint32_t bits) {
    port().emac.RaiseStatus(bits);
}
void mal_raise_system_error(uint32_t esr) {
    port().mal.RaiseSystemError(esr);
}
void mal_raise_descriptor_error(bool receive) {
    port().mal.RaiseDescriptorError(receive);
}
EmacRegisters emac_registers() {
    return port().emac.Registers();
}
MalState mal_state() {
    return port().mal.State();
}
PhyRegisters phy_registers() {
    return port().phy.Registers();
}

} // namespace board
