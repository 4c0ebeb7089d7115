// The Ethernet link driver of the controller's port: the on-chip MAC (EMAC0),
// its memory-access layer (MAL) and the PHY at management address 1.
//
// The network start-up sets the MAC address and the link mode, then creates
// the Ethernet IP instance with emac_driver_entry as its driver; the IP
// thread initialises and enables it. The driver owns one packet pool, one
// transmit descriptor and a ring of 32 receive descriptors in board RAM (where
// the platform start-up puts them, emac_set_packet_pool_address), and six
// interrupt handlers the interrupt registry calls by their UIC0 sources. The
// communication task runs the link monitor each step and re-applies speed and
// duplex after a silent period.
//
// On the host the Ethernet IP instance's own traffic runs on host sockets: the
// driver is set up and enabled as on the board and its link, interrupts and
// statistics are real, but the sign's IP packets do not cross it.
#pragma once

#include "platform/netstack/netstack.h"

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

// Driver states.
enum : uint16_t {
    EMAC_NOT_INITIALISED = 1,
    EMAC_PHY_CHECK_FAILED = 2,
    EMAC_POOL_FAILED = 3,
    EMAC_SETUP_FAILED = 4,
    EMAC_DISABLED = 5,
    EMAC_ENABLED = 6,
};

const uint32_t EMAC_RX_DESCRIPTORS = 32;
const uint32_t EMAC_POOL_BYTES = 69696;
// The pool, then the transmit table, then the receive table 32 bytes on.
const uint32_t EMAC_MEMORY_BYTES = EMAC_POOL_BYTES + 32 + 8 * EMAC_RX_DESCRIPTORS;

struct emac_link_mode {
    uint32_t speed;
    uint32_t duplex;
};

struct emac_state {
    uint16_t state = 0; // 0 until the first request
    uint32_t speed = EMAC_SPEED_AUTO;
    uint32_t duplex = EMAC_DUPLEX_AUTO;
    uint8_t force10 = 1;
    uint8_t mac[6] = {};
    uint32_t pool_address = 0, tx_table = 0, rx_table = 0;
    uint32_t receive_mode = 0x40500000u;
    uint8_t previous_link = 2; // 0 down, 1 up, 2 not yet seen
    uint8_t link_up = 0;       // 1 up, 0 down (read by the communication task)
    uint8_t phy_fault = 0;     // 1 while the PHY does not answer the link monitor
    bool tx_busy = false;
    NX_PACKET* tx_packet = nullptr;
    NX_PACKET* queue_head = nullptr;
    NX_PACKET* rx_packet[EMAC_RX_DESCRIPTORS] = {};
    uint32_t rx_index = 0;
    NX_IP* ip = nullptr;
    NX_PACKET_POOL pool{};
    TX_SEMAPHORE protect{};
};
emac_state& emac();
// Forget the driver (a restart in-process): the next request starts at state 1.
void emac_forget();

uint32_t emac_set_packet_pool_address(uint32_t address);
uint32_t emac_set_mac_address(const uint8_t mac[6]);
void emac_set_link_mode(uint32_t speed, uint32_t duplex, uint32_t force10);

void emac_driver_entry(void* request); // an NX_IP_DRIVER
void emac_link_monitor();
void emac_apply_speed_duplex();
int AutoNegotiate(uint32_t count, uint32_t* a100, uint32_t* afull);
int phy_read(uint32_t reg, uint16_t* value);
int phy_write(uint32_t reg, uint16_t value);

void emac_mal_rxeob_isr();
void emac_mal_txeob_isr();
void emac_mal_serr_isr();
void emac_mal_rxde_isr();
void emac_mal_txde_isr();
void emac_isr();
