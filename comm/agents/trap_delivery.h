// Trap raising and delivery. CNTCIP::SendTrap (through raise_trap) applies
// the trap-enable settings and queues one record; once a step the
// communication task runs CNTCIP::ProcessTraps, which drops expired records
// and offers the queue to the delivery paths in a fixed order: the Ethernet
// path (UDP client, TCP client or the accepted connection on TCP 162, by
// halvCommConfigTraps row 4), then the CCP port (PPP with dial-back through
// a dial-up modem, or PMPP in its block-transfer mode). Inside the agent a
// request on the CCP port is answered by a pending trap (trap-on-poll). Each
// record leaves once, by the first path that takes it.
//
// The enable rules are data: a trap is queued when some port row has a trap
// mode (1 to 4), its generic bit is set in halvTrapsGeneric and, for an
// enterprise-specific trap (2 to 20), its bit in halvTrapsEnterpriseSpecific.
#pragma once

#include "comm/agents/trap_queue.h"

#include <cstdint>

struct snmp_agent;

// Trap modes of halvCommConfigTraps (rows 0 CCP ... 4 Ethernet).
enum trap_mode : uint8_t {
    TRAP_MODE_CCP = 1, // row 0: traps on the CCP port
    TRAP_MODE_TCP = 2,
    TRAP_MODE_UDP = 3,
    TRAP_MODE_PORT = 4, // the accepted connection on TCP 162
};

// Protocols of halvCommConfigProtocol that the delivery reads.
const uint8_t TRAP_CCP_PPP = 4;
const uint8_t TRAP_CCP_RDI = 14;
const uint8_t TRAP_ETHERNET_SNMP = 11;

// True when the trap is enabled by the settings (SendTrap's rules 1 to 4).
bool TrapEnabled(uint32_t generic, uint32_t specific);

// Trap-on-poll queries of the agent (unknown agent: "off" and "empty").
bool IsTrapOnPollOff(snmp_agent* agent);
bool IsTrapBufferEmpty(snmp_agent* agent);
bool PopAgentTrap(snmp_agent* agent, trap_record& out);
// The agent answers a request by the oldest pending trap when trap-on-poll
// is on for it. -> true when a trap answered (the request is then dropped).
bool AnswerPollWithTrap(snmp_agent* agent);

// Sends on the accepted connection of TCP 162 (port 6) when the port is free.
void SendThroughTrapPort(const uint8_t* data, uint32_t length);

// The trap clients at the network start: created on the Ethernet IP
// instance and aimed at the central host of CNTCIP_IP (local port 162).
struct NX_IP;
struct NX_PACKET_POOL;
void StartTrapClients(NX_IP* ip, NX_PACKET_POOL* pool);
// Aims both trap clients at the central host of CNTCIP_IP again.
void AimTrapClients();
// Empties the UDP trap client's socket (what arrives there is dropped).
void DrainTrapUdpClient();

// What the delivery asks of other units; each has a stand-in until its unit
// provides it: the Ethernet MAC's link flag (up), the communication task's
// poll-time communication-loss flag (clear).
void SetTrapLinkQuery(bool (*ethernet_link_up)());
void SetTrapCommLossQuery(bool (*poll_time_loss)());

// The delivery's counters back to their start values (tests).
void ResetTrapDelivery();
