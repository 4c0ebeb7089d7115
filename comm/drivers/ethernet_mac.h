// The Ethernet MAC driver as the communication task sees it: link mode, MAC
// address, the link monitor with its link-up and PHY-fault bytes, and the
// re-application of speed and duplex after a silent period.
//
// This is the driver's stand-in until the MAC and PHY models exist: on the
// host the cable is the network stack's link (the carrier of the host
// interface named by --ethernet, else the host-socket network), and the
// driver records what it is asked to do, so that the start-up and the link
// check can be followed.
#pragma once

#include <cstdint>

// Speed and duplex codes of emac_set_link_mode.
enum : uint32_t {
    EMAC_SPEED_AUTO = 100,
    EMAC_SPEED_100 = 101,
    EMAC_SPEED_10 = 102,
    EMAC_DUPLEX_AUTO = 100,
    EMAC_DUPLEX_HALF = 10,
    EMAC_DUPLEX_FULL = 20,
};

struct emac_link_mode {
    uint32_t speed;
    uint32_t duplex;
};

struct emac_state {
    uint32_t speed = EMAC_SPEED_AUTO;
    uint32_t duplex = EMAC_DUPLEX_AUTO;
    uint8_t mac[6] = {};
    uint8_t link_up = 0;   // kept by emac_link_monitor: 1 up, 0 down
    uint8_t phy_fault = 0; // 1 when the PHY stopped answering
    uint32_t speed_duplex_applied = 0;
};
emac_state& emac();

void emac_set_link_mode(uint32_t speed, uint32_t duplex, uint32_t options);
void emac_set_mac_address(const uint8_t mac[6]);
// Reads the link and keeps it in emac().link_up.
void emac_link_monitor();
void emac_apply_speed_duplex();
