// The PPP link block of the agents "ccp_ppp" and "ethernet_ppp": what the
// agents' binding reads and writes (statistics, byte and frame callbacks, the
// wake of the link's worker, the CHAP switch). The link itself (LCP, PAP,
// CHAP, IPCP) is not carried yet: its net driver creates nothing and a bound
// PPP agent takes no frames.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>

struct snmp_agent;

typedef void (*ppp_byte_fn)(uint8_t byte);
typedef bool (*ppp_read_fn)(uint8_t* byte);
typedef bool (*ppp_frame_fn)(const uint8_t* data, uint32_t length);

struct ppp_link {
    uint32_t bytes_dropped, bytes_invalid, frames_sent, frames_received;
    ppp_byte_fn write_byte;
    ppp_read_fn read_byte;
    ppp_frame_fn send_frame;
    TX_EVENT_FLAGS_GROUP* wake_group;
    ULONG wake_flag;
    uint8_t chap_enable;
    uint32_t timeout_ms;
    uint8_t sequencer_step; // the bring-up sequencer's step (0 first)
    uint16_t ipcp_state;    // PPP_IPCP_OPENED while IP runs over the link
};

const uint16_t PPP_IPCP_STOPPED = 3;
const uint16_t PPP_IPCP_OPENED = 9;
const uint32_t PPP_EVENT_LINK_DOWN = 0x1000;

void ppp_set_timeout(ppp_link* link, uint32_t milliseconds);
// The LCP link-down event: LCP and IPCP back to Stopped.
void ppp_link_down(ppp_link* link);
// The bring-up sequencer back to its first step (before a dial).
void ppp_link_sequencer_restart(ppp_link* link);

// The net driver of the PPP agents (create, open, receive, send, delete).
int snmp_ppp_net_drv(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                     void* arg2);
