// The DHCP client add-on of the network stack, as the firmware sees it: one
// client on an IP instance, which acquires an address (DISCOVER, OFFER,
// REQUEST, ACK on UDP 67/68), keeps it (renewal at half the lease) and sets
// it, with its mask and gateway, on the instance; the instance then reports
// its address resolved (NX_IP_ADDRESS_RESOLVED). The state-change callback
// runs on the instance's IP thread.
//
// On the host the client runs on the host interface named by the
// --ethernet option (the sign's Ethernet port), whose carrier is the
// instance's link (NX_IP_LINK_ENABLED), and it gives that interface the
// leased address. Without --ethernet there is no interface: the client
// cannot start (NX_DHCP_NO_INTERFACE).
#pragma once

#include "platform/netstack/netstack.h"

// Client states (the callback's new state).
enum : UINT {
    NX_DHCP_STATE_NOT_STARTED = 1,
    NX_DHCP_STATE_INIT = 2,
    NX_DHCP_STATE_SELECTING = 3,
    NX_DHCP_STATE_REQUESTING = 4,
    NX_DHCP_STATE_BOUND = 5,
    NX_DHCP_STATE_RENEWING = 6,
    NX_DHCP_STATE_REBINDING = 7,
};

// Statuses besides the stack's.
enum : UINT {
    NX_DHCP_NOT_STARTED = 0x90,
    NX_DHCP_ALREADY_STARTED = 0x91,
    NX_DHCP_NOT_BOUND = 0x92,
    NX_DHCP_NO_INTERFACE = 0x93,
};

struct NX_DHCP;
typedef void (*nx_dhcp_state_fn)(NX_DHCP* client, UINT new_state);

struct NX_DHCP {
    const char* name;
    NX_IP* ip;
    UINT state; // NX_DHCP_STATE_*
    nx_dhcp_state_fn notify;
    void* impl; // private
};

UINT nx_dhcp_create(NX_DHCP* client, NX_IP* ip, const char* name);
UINT nx_dhcp_state_change_notify(NX_DHCP* client, nx_dhcp_state_fn notify);
// Begins acquiring an address. NX_DHCP_ALREADY_STARTED while running,
// NX_DHCP_NO_INTERFACE when there is no interface to run on.
UINT nx_dhcp_start(NX_DHCP* client);
UINT nx_dhcp_stop(NX_DHCP* client);
UINT nx_dhcp_delete(NX_DHCP* client); // stops it first
// Renew the lease now (a REQUEST to the servers). NX_DHCP_NOT_BOUND unless bound.
UINT nx_dhcp_force_renew(NX_DHCP* client);

// The instance's default gateway (0: none).
UINT nx_ip_gateway_address_set(NX_IP* ip, ULONG address);
UINT nx_ip_gateway_address_get(NX_IP* ip, ULONG* address);
