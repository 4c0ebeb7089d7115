// One SNMPv1 trap message, built and handed to a transport. A trap is always
// SNMPv1: SEQUENCE { version 0, community, Trap-PDU { enterprise
// 1.3.6.1.4.11, agent address, generic, specific, time stamp in whole
// seconds since start, varbinds } }. The PDU is built in a request record of
// the agent's pool (never on a stack) and encoded into the agent's transmit
// buffer, so the caller keeps the agent's other messages out meanwhile (the
// agent's semaphore, which a request being answered already holds).
#pragma once

#include "comm/agents/trap_queue.h"
#include "comm/snmp/snmp.h"

#include <cstdint>

struct snmp_agent;

// Where a trap goes.
enum trap_transport : uint32_t {
    TRAP_TRANSPORT_NONE = 0,
    TRAP_TRANSPORT_LINK = 1, // the agent's own link (PMPP, PPP)
    TRAP_TRANSPORT_UDP = 2,  // the UDP trap client to the central host
    TRAP_TRANSPORT_TCP = 3,  // the TCP trap client
    TRAP_TRANSPORT_PORT = 4, // the accepted connection on TCP 162 (port 6)
};

const char* const TRAP_COMMUNITY = "meadow";
const uint32_t TRAP_DEFAULT_PORT = 162;

// Builds and sends one trap: `address` is the agent address the PDU names,
// `port` the transport's destination port (0: 162), `community` null for
// "meadow". Generic traps other than 6 carry specific 0 and no varbinds.
// -> the result of sendPduTrap, -1 when nothing could be sent.
int snmp_trap(snmp_agent* agent, uint32_t transport, uint32_t port, const uint8_t address[4],
              const char* community, uint32_t generic, uint32_t specific, uint32_t count,
              const trap_varbind* varbinds);
// The same for a queued record.
int snmp_trap_record(snmp_agent* agent, uint32_t transport, uint32_t port, const uint8_t address[4],
                     const trap_record& record);

// Encodes `pdu` into the agent's transmit buffer and hands it to the
// transport. -> 1 when handed over (whether the transport then succeeds or
// not), -1 when refused.
int sendPduTrap(snmp_agent* agent, uint32_t transport, uint32_t port, const uint8_t address[4],
                const char* community, const snmp_pdu* pdu);

struct trap_message {
    uint8_t* start;
    uint32_t length;
    uint32_t port; // 162 when 0 was given
    uint8_t address[4];
};
// -> 1 with the message in the agent's transmit buffer, 0 when encoding failed.
int snmpv1_prepare_trap_message(snmp_agent* agent, uint32_t port, const uint8_t address[4],
                                const char* community, const snmp_pdu* pdu, trap_message* out);
