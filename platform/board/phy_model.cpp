#include "platform/board/phy_model.h"

#include <fcntl.h>
#include <unistd.h>

namespace board {

namespace {

enum : uint16_t {
    CONTROL_RESET = 0x8000,
    CONTROL_SPEED_100 = 0x2000,
    CONTROL_AUTONEG = 0x1000,
    CONTROL_RESTART = 0x0200,
    CONTROL_FULL = 0x0100,
    STATUS_ABILITIES = 0x7800,
    STATUS_COMPLETE = 0x0020,
    STATUS_REMOTE_FAULT = 0x0010,
    STATUS_CAN_NEGOTIATE = 0x0008,
    STATUS_LINK = 0x0004,
    STATUS_EXTENDED = 0x0001,
    PARTNER_REMOTE_FAULT = 0x2000,
    SELECTOR = 0x0001,
};

} // namespace

bool host_carrier(const std::string& name) {
    int fd = open(("/sys/class/net/" + name + "/carrier").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char c = '0';
    ssize_t got = read(fd, &c, 1);
    close(fd);
    return got == 1 && c == '1';
}

void Dp83843::PowerUp(const std::string& host_interface) {
    std::lock_guard<std::mutex> lock(m_);
    host_interface_ = host_interface;
    cable_ = -1;
    answering_ = true;
    partner_ = PhyPartner();
    r_ = PhyRegisters();
    ResetLocked();
}

void Dp83843::ResetLocked() {
    r_.control = CONTROL_SPEED_100 | CONTROL_AUTONEG | CONTROL_FULL;
    r_.advertised = PHY_ALL_ABILITIES | SELECTOR;
    r_.partner = 0;
    r_.phy_status = 0;
    negotiation_left_ = -1;
    complete_ = false;
    r_.resets++;
}

bool Dp83843::PluggedLocked() {
    if (cable_ >= 0) return cable_ == 1;
    return host_interface_.empty() || host_carrier(host_interface_);
}

// Reading the status register moves a running negotiation on; it completes
// only with the cable plugged.
uint16_t Dp83843::StatusLocked() {
    bool plugged = PluggedLocked();
    if (negotiation_left_ > 0) negotiation_left_--;
    if (negotiation_left_ == 0 && plugged) {
        complete_ = true;
        negotiation_left_ = -1;
        r_.partner = uint16_t(partner_.abilities | SELECTOR |
                              (partner_.remote_fault ? PARTNER_REMOTE_FAULT : 0));
    }
    if (!plugged) complete_ = false;
    uint16_t status = STATUS_ABILITIES | STATUS_CAN_NEGOTIATE | STATUS_EXTENDED;
    if (plugged) status |= STATUS_LINK;
    if (complete_) status |= STATUS_COMPLETE;
    if (complete_ && partner_.remote_fault) status |= STATUS_REMOTE_FAULT;
    r_.status = status;
    return status;
}

bool Dp83843::Read(uint32_t reg, uint16_t& value) {
    std::lock_guard<std::mutex> lock(m_);
    if (!answering_) return false;
    switch (reg) {
    case 0:
        value = r_.control;
        break;
    case 1:
        value = StatusLocked();
        break;
    case 4:
        value = r_.advertised;
        break;
    case 5:
        value = r_.partner;
        break;
    case 0x10:
        value = r_.phy_status;
        break;
    default:
        value = 0;
        break;
    }
    return true;
}

bool Dp83843::Write(uint32_t reg, uint16_t value) {
    std::lock_guard<std::mutex> lock(m_);
    if (!answering_) return false;
    if (reg == 0 && (value & CONTROL_RESET)) {
        ResetLocked();
        return true;
    }
    if (reg == 0) {
        r_.control = value & ~CONTROL_RESTART;
        if ((value & CONTROL_RESTART) && (value & CONTROL_AUTONEG)) {
            r_.negotiations++;
            complete_ = false;
            negotiation_left_ = partner_.negotiation_reads;
        }
    }
    if (reg == 4) r_.advertised = value;
    if (reg == 0x10) r_.phy_status = value;
    return true;
}

void Dp83843::SetPartner(const PhyPartner& partner) {
    std::lock_guard<std::mutex> lock(m_);
    partner_ = partner;
}

void Dp83843::SetCable(int plugged) {
    std::lock_guard<std::mutex> lock(m_);
    cable_ = plugged;
}

void Dp83843::SetAnswering(bool answering) {
    std::lock_guard<std::mutex> lock(m_);
    answering_ = answering;
}

bool Dp83843::Answering() {
    std::lock_guard<std::mutex> lock(m_);
    return answering_;
}

bool Dp83843::CablePlugged() {
    std::lock_guard<std::mutex> lock(m_);
    return PluggedLocked();
}

PhyRegisters Dp83843::Registers() {
    std::lock_guard<std::mutex> lock(m_);
    return r_;
}

} // namespace board
