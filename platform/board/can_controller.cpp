// The CAN controller chip (see can_controller.h).
#include "platform/board/can_controller.h"

#include <algorithm>
#include <utility>

namespace board {

namespace {

enum : uint8_t {
    INSTR_RESET = 0xC0,
    INSTR_READ = 0x03,
    INSTR_WRITE = 0x02,
    INSTR_BIT_MODIFY = 0x05,
    INSTR_READ_STATUS = 0xA0,
};

// CANINTF bits.
enum : uint8_t { RX0IF = 0x01, RX1IF = 0x02, TX0IF = 0x04, ERRIF = 0x20 };
// EFLG bits.
enum : uint8_t {
    RX1OVR = 0x80,
    RX0OVR = 0x40,
    TXBO = 0x20,
    TXEP = 0x10,
    RXEP = 0x08,
    TXWAR = 0x04,
    RXWAR = 0x02,
    EWARN = 0x01,
};
// TXBnCTRL bits.
enum : uint8_t { ABTF = 0x40, TXERR = 0x10, TXREQ = 0x08, TXP = 0x03 };
// RXBnCTRL bits.
enum : uint8_t { RXRTR = 0x08, BUKT = 0x04, BUKT1 = 0x02 };
// CANCTRL bits.
enum : uint8_t { ABAT = 0x10 };
// Identifier layout: SIDL bits.
enum : uint8_t { SIDL_SRR = 0x10, SIDL_IDE = 0x08 };
const uint8_t DLC_RTR = 0x40;

// Oscillator periods a bit on the field's bus: every board runs at it.
const int FIELD_PERIODS_PER_BIT = 160;

// Registers by what a write may change: the mask of writable bits, and
// whether the register only takes writes in configuration mode.
struct RegisterRule {
    uint8_t first, last;
    uint8_t writable;
    bool config_only;
    bool bit_modify; // takes BIT MODIFY; other registers take it as a write
};
const RegisterRule REGISTER_RULES[] = {
    {0x00, 0x0B, 0xFF, true, false},  // filters 0-2
    {0x0C, 0x0D, 0xFF, false, true},  // pin control
    {0x10, 0x1B, 0xFF, true, false},  // filters 3-5
    {0x1C, 0x1D, 0x00, false, false}, // error counters
    {0x20, 0x27, 0xFF, true, false},  // masks
    {0x28, 0x2A, 0xFF, true, true},   // bit timing
    {0x2B, 0x2C, 0xFF, false, true},  // CANINTE, CANINTF
    {0x2D, 0x2D, 0xC0, false, true},  // EFLG: the overflow bits may be cleared
    {0x30, 0x30, 0x0B, false, true},  // transmit buffer controls
    {0x31, 0x3D, 0xFF, false, false}, {0x40, 0x40, 0x0B, false, true},
    {0x41, 0x4D, 0xFF, false, false}, {0x50, 0x50, 0x0B, false, true},
    {0x51, 0x5D, 0xFF, false, false}, {0x60, 0x60, 0x64, false, true}, // receive buffer controls
    {0x70, 0x70, 0x60, false, true},
};

const RegisterRule* rule_of(uint8_t address) {
    for (const RegisterRule& r : REGISTER_RULES)
        if (address >= r.first && address <= r.last) return &r;
    return nullptr; // receive buffers and unused addresses are read only
}

// CANSTAT and CANCTRL appear at xE and xF of every row.
uint8_t canonical(uint8_t address) {
    address &= 0x7F;
    if ((address & 0x0F) == 0x0E) return CanController::kCanStat;
    if ((address & 0x0F) == 0x0F) return CanController::kCanCtrl;
    return address;
}

// Four identifier registers (SIDH, SIDL, EID8, EID0) as a 29-bit value:
// standard identifier bits 28-18, extended bits 17-0.
uint32_t layout_id(const uint8_t* r) {
    uint32_t sid = uint32_t(r[0]) << 3 | r[1] >> 5;
    uint32_t eid = uint32_t(r[1] & 0x03) << 16 | uint32_t(r[2]) << 8 | r[3];
    return sid << 18 | eid;
}

uint32_t frame_layout_id(const CanFrame& f) {
    return f.extended ? f.id & 0x1FFFFFFF : (f.id & 0x7FF) << 18;
}

// The filter registers of each receive buffer, and its mask.
const uint8_t BUFFER_FILTERS[2][4] = {{0x00, 0x04, 0xFF, 0xFF}, {0x08, 0x10, 0x14, 0x18}};
const uint8_t BUFFER_MASK[2] = {0x20, 0x24};

} // namespace

CanController::CanController() {
    PowerUp();
}

void CanController::PowerUp() {
    std::lock_guard<std::mutex> lock(m_);
    std::fill(std::begin(regs_), std::end(regs_), 0);
    for (uint8_t f : {0x00, 0x04, 0x08, 0x10, 0x14, 0x18}) {
        regs_[f] = 0xFF;
        regs_[f + 1] = 0xEB; // extended filters until set
        regs_[f + 2] = regs_[f + 3] = 0xFF;
    }
    Reset();
    step_ = Step::Idle;
    int_asserted_ = false;
    outgoing_.clear();
}

// The RESET instruction: configuration mode, flags and buffers cleared;
// filters and masks keep their values.
void CanController::Reset() {
    std::fill(regs_ + kCnf3, std::end(regs_), 0);
    regs_[kCanCtrl] = 0x87;
    regs_[kCanStat] = uint8_t(kConfig << 5);
    regs_[kTec] = regs_[kRec] = 0;
    regs_[0x0C] = regs_[0x0D] = 0;
    UpdateInt();
}

void CanController::Select(bool selected) {
    std::unique_lock<std::mutex> lock(m_);
    step_ = selected ? Step::Instruction : Step::Idle;
}

uint8_t CanController::Transfer(uint8_t out) {
    std::unique_lock<std::mutex> lock(m_);
    uint8_t in = 0xFF;
    switch (step_) {
    case Step::Instruction:
        step_ = Step::Ignore;
        if (out == INSTR_RESET) Reset();
        if (out == INSTR_READ) step_ = Step::ReadAddress;
        if (out == INSTR_WRITE) step_ = Step::WriteAddress;
        if (out == INSTR_BIT_MODIFY) step_ = Step::ModifyAddress;
        if (out == INSTR_READ_STATUS) step_ = Step::Status;
        break;
    case Step::ReadAddress:
        address_ = out & 0x7F;
        step_ = Step::Read;
        break;
    case Step::Read:
        in = ReadReg(address_);
        address_ = (address_ + 1) & 0x7F;
        break;
    case Step::WriteAddress:
        address_ = out & 0x7F;
        step_ = Step::Write;
        break;
    case Step::Write:
        WriteReg(address_, out);
        address_ = (address_ + 1) & 0x7F;
        break;
    case Step::ModifyAddress:
        address_ = out & 0x7F;
        step_ = Step::ModifyMask;
        break;
    case Step::ModifyMask:
        mask_ = out;
        step_ = Step::ModifyData;
        break;
    case Step::ModifyData:
        BitModify(address_, mask_, out);
        step_ = Step::Ignore;
        break;
    case Step::Status:
        in = Status();
        break;
    case Step::Idle:
    case Step::Ignore:
        break;
    }
    Flush(lock);
    return in;
}

uint8_t CanController::ReadReg(uint8_t address) const {
    address = canonical(address);
    if (address == kCanStat) return uint8_t((regs_[kCanStat] & 0xE0) | InterruptCode() << 1);
    return regs_[address];
}

void CanController::WriteReg(uint8_t address, uint8_t value) {
    address = canonical(address);
    if (address == kCanCtrl) return ControlWritten(value);
    const RegisterRule* rule = rule_of(address);
    if (rule == nullptr || (rule->config_only && OpMode() != kConfig)) return;
    if (address == kEflg) {
        regs_[kEflg] &= uint8_t(value | ~rule->writable); // the overflow bits can only be cleared
    } else {
        uint8_t keep = uint8_t(regs_[address] & ~rule->writable);
        regs_[address] = uint8_t(keep | (value & rule->writable));
    }
    Pump();
    UpdateInt();
}

void CanController::BitModify(uint8_t address, uint8_t mask, uint8_t data) {
    address = canonical(address);
    const RegisterRule* rule = rule_of(address);
    bool modifiable = address == kCanCtrl || (rule != nullptr && rule->bit_modify);
    if (!modifiable) return WriteReg(address, data);
    WriteReg(address, uint8_t((regs_[address] & ~mask) | (data & mask)));
}

// CANCTRL: the requested mode takes effect at once; ABAT aborts every
// pending transmission.
void CanController::ControlWritten(uint8_t value) {
    regs_[kCanCtrl] = value;
    uint8_t request = value >> 5;
    Mode mode = request > kConfig ? kConfig : Mode(request);
    regs_[kCanStat] = uint8_t(mode << 5);
    if (value & ABAT) {
        for (int b = 0; b < 3; ++b) {
            uint8_t& ctrl = regs_[kTxb0 + 0x10 * b];
            if (ctrl & TXREQ) ctrl = uint8_t((ctrl & ~TXREQ) | ABTF);
        }
    }
    Pump();
    UpdateInt();
}

uint8_t CanController::Status() const {
    uint8_t flags = regs_[kCanIntF];
    uint8_t status = flags & (RX0IF | RX1IF);
    for (int b = 0; b < 3; ++b) {
        if (regs_[kTxb0 + 0x10 * b] & TXREQ) status |= uint8_t(0x04 << (2 * b));
        if (flags & (TX0IF << b)) status |= uint8_t(0x08 << (2 * b));
    }
    return status;
}

// CANSTAT's interrupt code: the most urgent enabled flag.
uint8_t CanController::InterruptCode() const {
    static const struct {
        uint8_t flag, code;
    } ORDER[] = {{0x20, 1}, {0x40, 2}, {0x04, 3}, {0x08, 4}, {0x10, 5}, {0x01, 6}, {0x02, 7}};
    uint8_t pending = regs_[kCanIntE] & regs_[kCanIntF];
    for (const auto& o : ORDER)
        if (pending & o.flag) return o.code;
    return 0;
}

// The bit time in oscillator periods from CNF1-3: 2 x (BRP + 1) periods a
// quantum; synchronisation + propagation + phase 1 + phase 2 quanta a bit.
bool CanController::TimingMatches() const {
    uint8_t cnf1 = regs_[kCnf1], cnf2 = regs_[kCnf2], cnf3 = regs_[kCnf3];
    int prop = (cnf2 & 7) + 1;
    int phase1 = ((cnf2 >> 3) & 7) + 1;
    int phase2 = (cnf2 & 0x80) ? (cnf3 & 7) + 1 : std::max(phase1, 2);
    int quanta = 1 + prop + phase1 + phase2;
    return 2 * ((cnf1 & 0x3F) + 1) * quanta == FIELD_PERIODS_PER_BIT;
}

// Sends every buffer whose TXREQ is set, highest priority first (TXP, then
// the higher buffer number).
void CanController::Pump() {
    Mode mode = OpMode();
    if (mode != kNormal && mode != kLoopback) return;
    int order[3] = {2, 1, 0};
    std::stable_sort(std::begin(order), std::end(order), [this](int a, int b) {
        return (regs_[kTxb0 + 0x10 * a] & TXP) > (regs_[kTxb0 + 0x10 * b] & TXP);
    });
    for (int b : order) {
        uint8_t& ctrl = regs_[kTxb0 + 0x10 * b];
        if (!(ctrl & TXREQ)) continue;
        if (mode == kNormal && (regs_[kEflg] & TXBO)) continue; // bus off: stays pending
        if (mode == kNormal && !TimingMatches()) {
            ctrl |= TXERR; // nobody acknowledges: it stays pending
            continue;
        }
        Transmit(b);
    }
}

void CanController::Transmit(int buffer) {
    const uint8_t* r = &regs_[kTxb0 + 0x10 * buffer + 1];
    CanFrame f;
    f.extended = (r[1] & SIDL_IDE) != 0;
    uint32_t id = layout_id(r);
    f.id = f.extended ? id : id >> 18;
    f.remote = (r[4] & DLC_RTR) != 0;
    f.dlc = r[4] & 0x0F;
    std::copy(r + 5, r + 13, f.data);
    uint8_t& ctrl = regs_[kTxb0 + 0x10 * buffer];
    ctrl = uint8_t(ctrl & ~(TXREQ | TXERR | ABTF));
    regs_[kCanIntF] |= uint8_t(TX0IF << buffer);
    if (OpMode() == kLoopback) {
        Accept(f);
    } else {
        outgoing_.push_back(f);
    }
}

void CanController::Receive(const CanFrame& frame) {
    std::unique_lock<std::mutex> lock(m_);
    Mode mode = OpMode();
    bool listening = mode == kNormal || mode == kListenOnly;
    if (listening && TimingMatches() && !(regs_[kEflg] & TXBO)) Accept(frame);
    UpdateInt();
}

// The filter of `buffer` that accepts the frame, or -1.
int CanController::Hit(int buffer, const CanFrame& frame) const {
    uint8_t mode = (regs_[buffer == 0 ? kRxb0 : kRxb1] >> 5) & 3;
    if (mode == 3) return buffer == 0 ? 0 : 2;
    if ((mode == 1 && frame.extended) || (mode == 2 && !frame.extended)) return -1;
    uint32_t id = frame_layout_id(frame);
    uint32_t mask = layout_id(&regs_[BUFFER_MASK[buffer]]);
    if (!frame.extended) mask &= 0x1FFC0000u;
    for (int i = 0; i < 4 && BUFFER_FILTERS[buffer][i] != 0xFF; ++i) {
        const uint8_t* filter = &regs_[BUFFER_FILTERS[buffer][i]];
        bool filter_extended = (filter[1] & SIDL_IDE) != 0;
        if (filter_extended == frame.extended && ((id ^ layout_id(filter)) & mask) == 0)
            return buffer == 0 ? i : 2 + i;
    }
    return -1;
}

void CanController::Accept(const CanFrame& frame) {
    uint8_t& flags = regs_[kCanIntF];
    int hit0 = Hit(0, frame);
    if (hit0 >= 0) {
        if (!(flags & RX0IF)) return Load(0, frame, hit0);
        if (!(regs_[kRxb0] & BUKT)) return Overflow(RX0OVR);
        if (flags & RX1IF) return Overflow(RX1OVR);
        Load(1, frame, hit0);
        regs_[kRxb0] |= BUKT1;
        return;
    }
    int hit1 = Hit(1, frame);
    if (hit1 < 0) return;
    if (flags & RX1IF) return Overflow(RX1OVR);
    Load(1, frame, hit1);
}

void CanController::Load(int buffer, const CanFrame& frame, int filter) {
    uint8_t* r = &regs_[(buffer == 0 ? kRxb0 : kRxb1) + 1];
    if (frame.extended) {
        uint32_t id = frame.id & 0x1FFFFFFF;
        r[0] = uint8_t(id >> 21);
        r[1] = uint8_t(((id >> 13) & 0xE0) | SIDL_IDE | ((id >> 16) & 0x03));
        r[2] = uint8_t(id >> 8);
        r[3] = uint8_t(id);
        r[4] = uint8_t((frame.dlc & 0x0F) | (frame.remote ? DLC_RTR : 0));
    } else {
        uint32_t id = frame.id & 0x7FF;
        r[0] = uint8_t(id >> 3);
        r[1] = uint8_t((id << 5) | (frame.remote ? SIDL_SRR : 0));
        r[2] = r[3] = 0;
        r[4] = uint8_t(frame.dlc & 0x0F);
    }
    std::copy(frame.data, frame.data + 8, r + 5);
    uint8_t& ctrl = regs_[buffer == 0 ? kRxb0 : kRxb1];
    uint8_t kept = buffer == 0 ? uint8_t(ctrl & 0x64) : uint8_t(ctrl & 0x60);
    uint8_t hit = buffer == 0 ? uint8_t(filter & 1) : uint8_t(filter & 7);
    ctrl = uint8_t(kept | (frame.remote ? RXRTR : 0) | hit);
    regs_[kCanIntF] |= uint8_t(buffer == 0 ? RX0IF : RX1IF);
}

void CanController::Overflow(uint8_t eflg_bit) {
    regs_[kEflg] |= eflg_bit;
    regs_[kCanIntF] |= ERRIF;
}

void CanController::SetError(CanError error) {
    std::unique_lock<std::mutex> lock(m_);
    static const struct {
        uint8_t flags, tec, rec;
    } STATES[] = {{0, 0, 0},
                  {TXEP | RXEP | TXWAR | RXWAR | EWARN, 128, 128},
                  {TXBO | TXEP | TXWAR | EWARN, 255, 0}};
    const auto& s = STATES[int(error)];
    regs_[kEflg] = uint8_t((regs_[kEflg] & (RX0OVR | RX1OVR)) | s.flags);
    regs_[kTec] = s.tec;
    regs_[kRec] = s.rec;
    if (error != CanError::None) regs_[kCanIntF] |= ERRIF;
    Pump();
    UpdateInt();
    Flush(lock);
}

CanError CanController::Error() {
    std::lock_guard<std::mutex> lock(m_);
    if (regs_[kEflg] & TXBO) return CanError::BusOff;
    if (regs_[kEflg] & (TXEP | RXEP)) return CanError::Passive;
    return CanError::None;
}

uint8_t CanController::Register(uint8_t address) {
    std::lock_guard<std::mutex> lock(m_);
    return ReadReg(address);
}

void CanController::SetBusSink(std::function<void(const CanFrame&)> sink) {
    std::lock_guard<std::mutex> lock(m_);
    sink_ = std::move(sink);
}

void CanController::UpdateInt() {
    bool asserted = (regs_[kCanIntE] & regs_[kCanIntF]) != 0;
    if (asserted == int_asserted_) return;
    int_asserted_ = asserted;
    uic_set_input(CAN_UIC_SOURCE, asserted);
}

// Frames sent under the lock reach the bus after it.
void CanController::Flush(std::unique_lock<std::mutex>& lock) {
    if (outgoing_.empty()) return;
    std::vector<CanFrame> frames;
    frames.swap(outgoing_);
    std::function<void(const CanFrame&)> sink = sink_;
    lock.unlock();
    if (sink)
        for (const CanFrame& f : frames)
            sink(f);
}

CanController& can_controller() {
    static CanController chip;
    return chip;
}

void can_attach_bus(std::function<void(const CanFrame&)> sink) {
    can_controller().SetBusSink(std::move(sink));
}

} // namespace board
