#include "comm/drivers/ethernet_mac.h"

#include "comm/network.h"

#include <cstring>

emac_state& emac() {
    static emac_state state;
    return state;
}

void emac_set_link_mode(uint32_t speed, uint32_t duplex, uint32_t options) {
    (void)options;
    emac().speed = speed;
    emac().duplex = duplex;
}

void emac_set_mac_address(const uint8_t mac[6]) {
    std::memcpy(emac().mac, mac, sizeof emac().mac);
}

void emac_link_monitor() {
    ULONG actual = 0;
    emac().link_up =
        nx_ip_status_check(&ethernet_ip(), NX_IP_LINK_ENABLED, &actual, NX_NO_WAIT) == NX_SUCCESS;
}

void emac_apply_speed_duplex() {
    emac().speed_duplex_applied++;
}
