// The controller's Ethernet network: the "NetX" packet pool, the Ethernet IP
// instance "NetX IP Instance 0", the interface's configuration (address,
// mask, gateway, time server) and the parsers of the boot monitor's address
// texts. The telnet console and the protocol servers and agents share one
// instance; the communication task's start-up creates it with the configured
// address, and whichever else needs it first creates it from "IPADD" and
// "NETMASK".
#pragma once

#include "platform/netstack/netstack.h"

#include <cstdint>

// The Ethernet interface's configuration, most significant byte first; set by
// the network start-up and by DHCP, read by the front panel.
extern uint32_t net_ip_address;
extern uint32_t net_subnet_mask;
extern uint32_t net_gateway_address; // 0: none
extern uint32_t net_ntp_server_address;

NX_PACKET_POOL& netx_packet_pool();
NX_IP& ethernet_ip();

enum net_start_result { NET_STARTED = 1, NET_NO_MEMORY = 2, NET_NO_INSTANCE = 3 };
// Create the pool and the instance with `address` and `mask` (nothing when
// they exist); ARP, UDP and TCP always, ICMP when `icmp`. NET_NO_MEMORY prints "Ethernet Allocation
// Error..." (the instance's stack could not be had), NET_NO_INSTANCE "nx_ip_create: failure...".
net_start_result ethernet_network_start(uint32_t address, uint32_t mask, bool icmp = true);
// The same with "IPADD" and "NETMASK" (127.0.0.1/8 where unset). -> 1 when
// both exist.
int ethernet_network_start();

// "a.b.c.d": four decimal fields 0..255 separated by '.', nothing after the
// fourth. -> true and the address (a in the most significant byte).
bool parse_dotted_address(const char* text, uint32_t* address);
// "a.b.c.d" to an address; 0 when malformed.
uint32_t parse_ip_address(const char* text);
// Six hexadecimal fields (one digit or more, each at most FF) separated by
// ':', nothing after the sixth. -> true and the six bytes.
bool parse_mac_address(const char* text, uint8_t mac[6]);
