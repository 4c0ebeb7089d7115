// SNMP over the serial links' own IP networks. Each PPP or PMPP agent has an
// IP instance whose link driver is its link ("PPP over SNMP/IP", "PMPP over
// SNMP/IP"), a UDP socket and a TCP server socket on port 161, and a "tcp
// thread" that accepts TCP connections. The agent's "SNMP UDP Dispatch"
// thread receives the datagrams, its "SNMP TCP Dispatch" thread the stream of
// the accepted connection; each answers by the way its own request came
// (transport, peer address and port), so a request on one transport never
// redirects the response of the other. What the link hands the agent directly
// (PPP protocol 0x00C1, PMPP IPI 0xC1) is answered directly.
#pragma once

#include "platform/netstack/netstack.h"

#include <cstdint>

struct snmp_agent;

// The way back of a request received over the link's IP network.
struct snmp_way_back {
    uint8_t layer; // 1 UDP, 2 TCP (the firmware's snmp_ip_layer)
    uint32_t peer_ip;
    uint16_t peer_port;
};

struct snmp_link_net {
    NX_IP ip;
    bool ip_created;
    NX_UDP_SOCKET udp;
    NX_TCP_SOCKET tcp;
    TX_THREAD tcp_thread;
    // The TCP thread's words.
    NX_IP* relisten_ip;
    uint8_t rearmed;
    volatile uint8_t connected;
    TX_THREAD* dispatch_thread; // the agent's "SNMP TCP Dispatch"
    // Bit 1: a connection was accepted (the TCP dispatch thread, idle, waits for it).
    TX_EVENT_FLAGS_GROUP events;
    // Per transport (0 UDP, 1 TCP): the way back of its last request; and
    // the way of the last request of either, for what no dispatch thread sends.
    snmp_way_back way[2];
    snmp_way_back last;
};

const uint16_t SNMP_LINK_PORT = 161;
const uint32_t SNMP_LINK_NET_BYTES = 0x1400; // taken from the start-up memory by create

// The dispatch entries of the agents on PPP and PMPP links.
void ppp_udp_ip_thread_entry(ULONG agent_number);
void snmp_tcp_dispatch_entry(ULONG agent_number);

// The link drivers of the link IP instances.
void _nx_ppp_driver(void* request);
void _nx_pmpp_driver(void* request);

// The address of an agent's link IP instance (skipped when it was never created).
void snmp_link_net_address_set(snmp_agent* agent, uint32_t address, uint32_t mask);
