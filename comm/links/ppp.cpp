#include "comm/links/ppp.h"

#include "comm/snmp/snmp_agent.h"
#include "runtime/console.h"

namespace {
const ULONG DRIVER_IDLE_TICKS = 50;
} // namespace

void ppp_set_timeout(ppp_link* link, uint32_t milliseconds) {
    link->timeout_ms = milliseconds;
}

void ppp_link_down(ppp_link* link) {
    link->ipcp_state = PPP_IPCP_STOPPED;
}

void ppp_link_sequencer_restart(ppp_link* link) {
    link->sequencer_step = 0;
}

int snmp_ppp_net_drv(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                     void* arg2) {
    (void)agent;
    (void)transport;
    (void)arg1;
    switch (command) {
    case SNMP_DRIVER_CREATE:
        *static_cast<uint32_t*>(arg2) = 0;
        return 0;
    case SNMP_DRIVER_RECEIVE:
        tx_thread_sleep(DRIVER_IDLE_TICKS);
        return 1;
    case SNMP_DRIVER_SEND:
        console_printf("snmp_ppp_net_drv: invalid IPI specified\n");
        return 0;
    default:
        return 0;
    }
}
