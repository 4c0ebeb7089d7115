// SNMP over Ethernet: the agents "ethernet_tcp" and "ethernet_udp" carry SNMP
// messages as plain BER over the Ethernet TCP and UDP servers. A request is
// one BER SEQUENCE (0x30, a length of one short-form or one or two long-form
// octets, and that many content octets, at most 2996) with no other framing;
// its response goes back the same way, on the connection or to the sender it
// came from.
//
// The servers hand what they receive to the agent's link in runs: the bytes
// of one TCP segment or one UDP datagram, with their source, enter the
// receive ring in one step. The link's receive thread ("ETHERNET RECEIVE
// THREAD") cuts each source's bytes into messages with a framer of that
// source (one per TCP connection slot, a fresh one for each datagram), so
// that two connections never mix their bytes, and passes each complete
// message to snmp_message_process. A datagram must hold exactly one message:
// a shorter one is dropped, one with bytes after its message is counted as a
// parse error and dropped. One announcing a message longer than the buffer
// (the network layer may have cut it) is answered tooBig from its header.
#pragma once

#include "comm/snmp/snmp.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

struct snmp_agent;

// Requests are taken up to the agent's buffer, so that one longer than the
// 2050 bytes the link sends is answered tooBig rather than lost.
const uint32_t ETHERNET_MESSAGE_BYTES = SNMP_MESSAGE_BUFFER;      // tag, length octets, content
const uint32_t ETHERNET_CONTENT_MAX = ETHERNET_MESSAGE_BYTES - 4; // content octets of one message
const uint32_t ETHERNET_RING_BYTES = 2 * ETHERNET_MESSAGE_BYTES;  // receive ring
const uint32_t ETHERNET_TX_BYTES = 2050;    // transmit buffer: the longest message, both ways
const uint32_t ETHERNET_STREAM_SOURCES = 5; // one framer per TCP connection slot
const uint32_t ETHERNET_RUNS = 64;          // runs waiting in the ring
const uint32_t ETHERNET_LINK_ID = 0x50505020;
const ULONG ETHERNET_POLL_TICKS = 25;

// Results of one framing step.
enum ethernet_frame_result : int {
    ETHERNET_FRAME_MORE = 0,      // byte taken, message not complete
    ETHERNET_FRAME_NOT_MSG = 176, // byte is not part of a message; the buffer is cleared
    ETHERNET_RING_FULL = 177,
    ETHERNET_FRAME_COMPLETE = 178,
};

// Where a run of bytes came from, and so where the response of its message goes.
struct ethernet_source {
    void* server = nullptr; // the receiving CTCP_Server or CUDP_Server
    uint8_t slot = 0;       // its connection slot (TCP) or socket slot (UDP)
    bool datagram = false;  // a UDP datagram: one whole message
    uint32_t peer_ip = 0;   // UDP sender
    uint16_t peer_port = 0;
};

// The framing state of one byte stream.
struct ethernet_framer {
    uint8_t state = 0; // 0 idle, 1 first length octet, 2 long-form length octets, 3 content
    uint32_t remaining = 0;
    uint8_t long_left = 0;
    uint16_t length = 0;
    uint8_t message[ETHERNET_MESSAGE_BYTES];
};

// One framing step on one byte: see the result values. After a refused
// length (above 2996, or a long form of other than one or two octets) the
// length octet stays in the buffer, so the next byte is refused and clears
// it; the one after may begin a new message.
int ethernet_frame_byte(ethernet_framer& framer, uint8_t byte);
void ethernet_framer_reset(ethernet_framer& framer);

// The send-frame callback of a link: installed by the agents' binding.
typedef bool (*ethernet_send_fn)(const ethernet_source& to, const uint8_t* data, uint32_t length);
typedef void (*ethernet_byte_fn)(uint8_t byte);

struct ethernet_run {
    ethernet_source source;
    uint16_t count; // bytes in the ring; 0 with reset: restart the source's framer
    bool reset;
};

// The link block of one SNMP-over-Ethernet agent.
struct ethernet_link {
    uint32_t id;
    const char* name;
    snmp_agent* agent;
    uint32_t bytes_received, bytes_written, bytes_dropped, bytes_invalid;
    uint32_t frames_sent, frames_received;
    uint32_t timeout_setting;
    ethernet_send_fn send_frame;
    ethernet_byte_fn write_byte;
    uint32_t activity_bit;
    TX_MUTEX mutex;         // "ETHERNET PROTECT MUTEX": the transmit buffer
    TX_SEMAPHORE semaphore; // "ETHERNET SERIAL BUFFER SEMAPHORE": runs waiting
    TX_THREAD thread;
    uint32_t idle_polls;
    // Receive ring of bytes and the runs they belong to (producers: the
    // server threads, under the interrupt lock; consumer: the link's thread).
    uint8_t ring[ETHERNET_RING_BYTES];
    uint16_t ring_head, ring_tail, ring_count;
    ethernet_run runs[ETHERNET_RUNS];
    uint8_t run_head, run_tail, run_count;
    // The run being framed, copied out of the ring in one step.
    ethernet_run current;
    uint8_t run_bytes[ETHERNET_RING_BYTES];
    ethernet_source reply_to; // the source of the message being processed
    ethernet_framer streams[ETHERNET_STREAM_SOURCES];
    ethernet_framer datagram;
    uint8_t transmit[ETHERNET_TX_BYTES];
    uint16_t transmit_length;
};

// Creates the link's kernel objects and its receive thread (priority given)
// and registers its activity bit. -> 0 (failures are printed, creation goes on).
int ethernet_create(ethernet_link* link, const char* name, snmp_agent* agent, UINT priority);

// A run of received bytes from `source`, put into the ring in one step.
// -> 0, or ETHERNET_RING_FULL when it does not fit (the whole run is dropped
// and counted, and the source's framing starts again).
int ethernet_bytes_receive(ethernet_link* link, const ethernet_source& source, const uint8_t* data,
                           uint32_t count);
// A new connection (or its end) on a stream source: its framer starts again.
void ethernet_stream_restart(ethernet_link* link, const ethernet_source& source);

// One pass of the receive thread: wait up to 25 ticks for a run and frame
// it, delivering every complete message. Exposed for tests.
void ethernet_receive_step(ethernet_link* link);

// Sends a message (a response) to the source of the message in progress.
// -> true when the send-frame callback took it.
bool ethernet_raw_send(ethernet_link* link, const uint8_t* message, uint32_t length);

// The link's own setting of the idle timeout (see the receive thread).
void ethernet_set_timeout(ethernet_link* link, uint32_t setting);

// The net driver of the Ethernet agents.
int snmp_ethernet_net_drv(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                          void* arg2);
