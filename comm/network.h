// The controller's Ethernet network: the "NetX" packet pool and the Ethernet
// IP instance "NetX IP Instance 0" with the address and mask of the boot
// monitor's "IPADD" and "NETMASK". The telnet console and the protocol
// servers and agents share them; whichever needs them first starts them.
#pragma once

#include "platform/netstack/netstack.h"

NX_PACKET_POOL& netx_packet_pool();
NX_IP& ethernet_ip();
// Create the pool and the instance once. -> 1 when both exist.
int ethernet_network_start();
// "a.b.c.d" to an address (most significant byte first); 0 when malformed.
uint32_t parse_ip_address(const char* text);
