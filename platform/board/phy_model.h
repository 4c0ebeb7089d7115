// The Ethernet PHY at MII address 1, reached through the EMAC's station
// management register: control (0), status (1), advertisement (4), the link
// partner's abilities (5) and the PHY status register (0x10). It resets,
// auto-negotiates with a partner whose abilities tests set, and reports a
// partner's remote fault. Its cable follows the carrier of the host interface
// named by --ethernet (plugged when none), unless a test plugs or pulls it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace board {

// Ability bits of registers 4 and 5.
enum : uint16_t {
    PHY_10_HALF = 0x0020,
    PHY_10_FULL = 0x0040,
    PHY_100_HALF = 0x0080,
    PHY_100_FULL = 0x0100,
    PHY_ALL_ABILITIES = 0x01E0,
};

// The far end of the cable and the PHY's own faults.
struct PhyPartner {
    uint16_t abilities = PHY_ALL_ABILITIES;
    bool remote_fault = false;
    int negotiation_reads = 2; // reads of register 1 until negotiation completes; -1 never
};

struct PhyRegisters {
    uint16_t control = 0, advertised = 0, status = 0, partner = 0, phy_status = 0;
    uint32_t negotiations = 0; // restarts of auto-negotiation
    uint32_t resets = 0;
};

// True when the host interface `name` has its carrier. An interface that is
// down has no readable carrier (the read fails): that is a pulled cable too.
bool host_carrier(const std::string& name);

class Dp83843 {
  public:
    static const uint32_t kAddress = 1;

    void PowerUp(const std::string& host_interface);
    // A management cycle; false when the PHY does not answer.
    bool Read(uint32_t reg, uint16_t& value);
    bool Write(uint32_t reg, uint16_t value);

    void SetPartner(const PhyPartner& partner);
    void SetCable(int plugged); // 1 plugged, 0 pulled, -1 follow the host interface
    void SetAnswering(bool answering);
    bool Answering();
    bool CablePlugged();
    PhyRegisters Registers();

  private:
    bool PluggedLocked();
    uint16_t StatusLocked();
    void ResetLocked();

    std::mutex m_;
    std::string host_interface_;
    int cable_ = -1;
    bool answering_ = true;
    PhyPartner partner_;
    PhyRegisters r_;
    int negotiation_left_ = -1; // reads until complete; -1 not negotiating
    bool complete_ = false;
};

} // namespace board
