// The transport-independent SNMP agent. Every protocol agent is an
// snmp_agent record set up by snmp_agent_create with a transport (net)
// driver; every message that arrives on any transport enters
// snmp_message_process, which checks the version and the community, resolves
// each varbind through the MIB registry (a validation and a commit pass for
// SET), answers through the transport and then runs the display and clock
// actions that some SETs trigger.
//
// Each message in progress has a request record of its own (the PDU of 50
// varbinds, the envelope fields and the lookup context), taken from a small
// fixed pool, never from a thread stack. "SNMP PROTECT MUTEX" is held over the
// whole processing of a SET, so SETs never interleave.
//
// An error response carries the varbinds exactly as received (the request is
// kept and decoded again), a tooBig response none; the response of a SET is
// sized before its commit pass, so a tooBig answer wrote nothing. SNMPv3
// messages are dropped (counted as bad versions); only a committed SET
// switches the local-time feature.
#pragma once

#include "comm/snmp/snmp.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

struct snmp_agent;
struct snmp_request;

// Transport driver: driver(agent, transport 0 datagram / 1 stream, command,
// argument, argument) -> 0 on success.
enum snmp_driver_command : uint32_t {
    SNMP_DRIVER_CREATE = 0,  // memory block, in/out bytes used
    SNMP_DRIVER_OPEN = 1,    // endpoint record {port (2 bytes big-endian), IPv4, 0}, 7
    SNMP_DRIVER_RECEIVE = 2, // buffer, in/out length
    SNMP_DRIVER_SEND = 3,    // message start, address of its length (uint32_t)
    SNMP_DRIVER_DELETE = 4,
    // Whether a response goes out whole: message start, address of its length;
    // 0 when it fits (a driver that does not know the command says so).
    SNMP_DRIVER_FITS = 5,
};
typedef int (*snmp_net_driver)(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                               void* arg2);
// The request callback (snmp_process) and the non-request callback.
typedef void (*snmp_request_callback)(snmp_agent* agent, snmp_request* request);
typedef void (*snmp_dispatch_entry)(ULONG agent);

const uint32_t SNMP_AGENT_NAME = 30;
const uint32_t SNMP_SET_VALUE_LIMIT = 2000; // longest value a SET stages or a response carries

struct snmp_agent {
    char name[SNMP_AGENT_NAME];
    uint16_t local_port;
    uint16_t trap_port;
    uint8_t address[4];
    uint8_t* transmit_buffer; // SNMP_MESSAGE_BUFFER bytes each, carved at creation
    uint8_t* receive_buffer;
    snmp_request_callback request;
    snmp_request_callback non_request;
    snmp_net_driver driver;
    uint16_t peer_port; // sender of the message in progress (written by a transport)
    uint8_t peer_address[4];
    uint32_t reply_port; // copied from the request slot by the response encoder
    uint8_t reply_address[4];
    snmp_request_slots slots;
    // Largest message the bound transport takes and sends (0: the transmit
    // buffer). A longer response, or a longer request, is answered tooBig.
    uint32_t response_limit;
    void* link; // the transport's link block
    // The IP network of a PPP or PMPP link (comm/snmp/snmp_link_net.h); null otherwise.
    struct snmp_link_net* net;
    TX_SEMAPHORE semaphore;
    TX_THREAD dispatch[2];
};

// Everything of one message in progress.
struct snmp_request;

// Once at start-up: "SNMP PROTECT MUTEX", the codec's store hooks and the
// MIB registry.
void snmp_entry();

// -> 0 or the failing status. The transport driver's create command runs
// first and may take memory from the block; the transmit and receive buffers
// (3000 bytes each) and the dispatch stacks follow it. *used grows by all
// that was taken.
int snmp_agent_create(snmp_agent* agent, const char* name, uint16_t local_port, uint16_t trap_port,
                      const uint8_t address[4], uint8_t* memory, uint32_t* used,
                      uint32_t stack_size, snmp_request_callback request,
                      snmp_request_callback non_request, snmp_net_driver driver,
                      snmp_dispatch_entry first, snmp_dispatch_entry second);

// The number a thread of the agent is given as its input (registers the agent).
ULONG snmp_agent_number(snmp_agent* agent);
// The agent a dispatch thread was given (its thread input is the number).
snmp_agent* snmp_agent_by_number(ULONG number);

// Entry of every received SNMP message, on the caller's thread.
void snmp_message_process(snmp_agent* agent, const uint8_t* message, uint32_t length);

// The request callback of every agent and the (empty) non-request callback.
void snmp_process(snmp_agent* agent, snmp_request* request);
void snmp_nonrequest_stub(snmp_agent* agent, snmp_request* request);

// Bytes set to 1 by every request with a known community; read and cleared
// by the communication-loss supervision and the modem.
extern volatile uint8_t snmp_activity_flag;
extern volatile uint8_t snmp_modem_activity_flag;

// The display's entries the agent calls after SETs (display/display_entries.h);
// a test installs a double. Null puts the display's own entries back.
struct snmp_display_entries {
    bool (*activate)();
    void (*validate)();
    void (*store_graphic)();
};
void snmp_set_display_entries(const snmp_display_entries* entries);

// A request record of the pool for a trap being sent (its PDU; the envelope
// fields are unused): null when every record is taken. Give it back after.
snmp_pdu* snmp_trap_record_take();
void snmp_trap_record_give(snmp_pdu* pdu);

// Request records: in use now (tests check that every drop path gives them back).
uint32_t snmp_request_records_in_use();
