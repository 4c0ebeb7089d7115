// The PMPP link: SNMP messages between a central master and the sign in
// point-to-multipoint frames, on the serial CCP port ("ccp_pmpp") or in a TCP
// stream ("ethernet_pmpp").
//
//   7E | address (1-2) | control 13 | IPI C1 SNMP / 21 IP | information | FCS-16 | 7E
//
// Between the flags every 7D or 7E byte (information, FCS, a one-byte
// address) goes as 7D, byte ^ 0x20. The FCS (RFC 1662, initial 0xFFFF)
// covers the unescaped bytes after the opening flag; its complement goes
// least significant byte first, and a good frame leaves the residue 0xF0B8.
// Address: bit 0 of each byte ends the field, bit 1 of the first is the group
// bit; below 64 one byte (a << 2) | 1, from 64 two bytes (a << 2) & 0xFC,
// (a >> 5) | 1; 63 is all stations.
//
// A frame to this station is answered at once; a frame to all stations or to
// one of the station's groups is answered by holding the response until the
// master polls (control 33, E7), and a poll with nothing held gets the empty
// frame 7E, address, 13, FCS, 7E. Received bytes pass through a ring to one
// worker thread ("PMPP RX WORKER THREAD") shared by up to ten links, which
// assembles, checks and dispatches the frames; a link's timer drops a partial
// frame after its inter-character time-out.
#pragma once

#include "comm/links/link_worker.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

struct snmp_agent;
struct NX_IP;

const uint32_t RDI_BLOCKS_MAX = 10;
const uint32_t RDI_HEADER_BYTES = 30;
const uint32_t RDI_LINE_BYTES = 16;

// The block-transfer mode's state of a link (comm/links/pmpp_rdi.h).
struct pmpp_rdi {
    uint32_t state;      // 1 to 21
    uint8_t xferb_id[5]; // of the master's last line
    int32_t remaining;   // bytes of the incoming block still expected
    uint8_t block_count, block_index, retries;
    uint32_t block_sizes[RDI_BLOCKS_MAX];
    uint32_t checksum_at[RDI_BLOCKS_MAX];
    uint8_t header[RDI_HEADER_BYTES]; // incoming line, then compressed headers
    uint8_t header_index;
    uint8_t line[RDI_LINE_BYTES]; // outgoing acknowledgement or line
    uint8_t line_length;
    uint8_t saved_line[RDI_LINE_BYTES]; // the current block's line, for a retransmission
    uint32_t block_start;               // transmit index of the current block
    uint8_t form, form_length;
    // The decoded headers of the request being served.
    uint8_t peer_address[4], destination[4];
    uint8_t protocol;
    uint8_t identification[2];
    uint8_t more_blocks;
    uint16_t block_offset;
    uint16_t peer_port, own_port, udp_length, udp_checksum;
    uint16_t frame_length; // request bytes gathered in `plain`
};
const uint32_t PMPP_FRAME_BYTES = 2050;    // transmit buffer, held frame, longest frame
const uint32_t PMPP_RX_FRAME_BYTES = 2082; // raw receive frame (still escaped)
const uint32_t PMPP_RING_BYTES = 2050;
const uint32_t PMPP_LINKS = 10;
const uint32_t PMPP_LINK_ID = 0x504D5050;
const uint8_t PMPP_FLAG = 0x7E;
const uint8_t PMPP_ESCAPE = 0x7D;
const uint8_t PMPP_CONTROL = 0x13;
const uint8_t PMPP_POLL = 0x33;
const uint8_t PMPP_POLL_FINAL = 0xE7;
const uint8_t PMPP_IPI_SNMP = 0xC1;
const uint8_t PMPP_IPI_IP = 0x21;
const uint8_t PMPP_ALL_STATIONS = 63;
const uint16_t PMPP_ADDRESS_MAX = 8191; // 13 bits: 6 in the first address byte, 7 in the second

// Results of one receive step.
enum pmpp_result : int {
    PMPP_MORE = 0,
    PMPP_DROP = 176,      // not a frame (outside bytes, bad FCS, too long): start again
    PMPP_RING_FULL = 177, // a received byte did not fit the ring
    PMPP_FRAME = 178,     // a good frame is in the receive buffer
    PMPP_FCS_BAD = 179,
};

typedef void (*pmpp_byte_fn)(uint8_t byte);
typedef bool (*pmpp_read_fn)(uint8_t* byte);
typedef bool (*pmpp_frame_fn)(const uint8_t* data, uint32_t length);
// The stand-in of the link's own IP instance: each reassembled datagram.
typedef void (*pmpp_ip_input_fn)(struct pmpp_link* link, const uint8_t* datagram, uint32_t length);

struct pmpp_link {
    uint32_t id;
    const char* name;
    NX_IP* ip;
    snmp_agent* agent;
    uint16_t station_address; // 1 to 8191 (PMPP_ADDRESS_MAX)
    uint8_t rdi_flag;         // the block-transfer mode (comm/links/pmpp_rdi.h) instead of frames
    // Statistics: ring overflows, bytes outside a frame, frames sent and received.
    uint32_t bytes_dropped, bytes_invalid, frames_sent, frames_received;
    uint16_t max_frame;
    uint32_t timeout_ms;
    pmpp_byte_fn write_byte;
    pmpp_read_fn read_byte;
    pmpp_byte_fn outside_byte;
    pmpp_frame_fn send_frame;
    // The worker's event group and this link's bit in it.
    TX_EVENT_FLAGS_GROUP* wake_group;
    ULONG wake_flag;
    uint32_t activity_bit;
    TX_MUTEX mutex;        // "PMPP PROTECT MUTEX": the transmit buffer and the held frame
    TX_SEMAPHORE ring_sem; // "PMPP SERIAL BUFFER SEMAPHORE": one count per byte in the ring
    TX_SEMAPHORE tx_ready; // "PMPP TX READY SEMAPHORE"
    TX_EVENT_FLAGS_GROUP ip_events;
    link_timer timer;   // "PMPP Comm Timeout"
    uint8_t ipi;        // IPI of the last SNMP message received
    uint8_t group_flag; // 0xFF: the frame in progress came to all stations or a group
    uint16_t last_address;
    bool up; // the link IP instance's interface
    // Receive ring (producers: the worker or a TCP server thread, under the
    // interrupt lock; consumer: the worker).
    uint8_t ring[PMPP_RING_BYTES];
    uint16_t head, tail, count;
    uint8_t frame[PMPP_RX_FRAME_BYTES];
    uint16_t store_index;
    uint8_t plain[PMPP_RX_FRAME_BYTES]; // the frame unescaped, opening flag excluded
    uint16_t plain_length;
    uint8_t transmit[PMPP_FRAME_BYTES];
    uint16_t transmit_length;
    uint8_t held[PMPP_FRAME_BYTES];
    uint16_t held_length; // the whole length: a held response is never cut
    // IP datagram being reassembled.
    uint8_t datagram[PMPP_FRAME_BYTES];
    uint16_t datagram_total, datagram_have;
    uint32_t datagrams_dropped;
    pmpp_ip_input_fn ip_input;
    // Block-transfer parameters (comm/links/pmpp_rdi.h).
    uint32_t rdi_ack_timeout, rdi_retries, rdi_remote_address, rdi_remote_lid;
    pmpp_rdi rdi;
    pmpp_link* next;
};

// Creates the link's kernel objects, the shared worker (first link only)
// and enters the link in the worker's table. -> 0 (failures are printed and
// creation goes on), 1 when the table is full.
int pmpp_create(pmpp_link* link, const char* name, NX_IP* ip, snmp_agent* agent, UINT priority,
                pmpp_byte_fn outside_byte, pmpp_byte_fn write_byte, pmpp_read_fn read_byte);
// One received byte into the ring (worker or TCP server thread).
// -> 0, or PMPP_RING_FULL (the byte is dropped and counted).
int _nx_pmpp_byte_receive(pmpp_link* link, uint8_t byte);
void pmpp_set_timeout(pmpp_link* link, uint32_t milliseconds);
void pmpp_set_rdi_parameters(pmpp_link* link, uint32_t ack_timeout, uint32_t retries,
                             uint32_t remote_address, uint32_t remote_lid);
// Sends one SNMP message (a response) as the link answers the frame in
// progress: at once to this station, held for the poll otherwise. A message
// whose frame would not fit is answered tooBig instead.
void ntcip_pmpp_packet_send(snmp_agent* agent, pmpp_link* link, const uint8_t* data,
                            uint32_t length);
// Sends one IP datagram in frames with IPI 0x21 (the link IP instance's send).
void pmpp_ip_send(pmpp_link* link, const uint8_t* datagram, uint32_t length);

// The receive step on one byte taken from the ring (exposed for tests and
// the fuzz target); `timeout` drops the partial frame.
int pmpp_receive_step(pmpp_link* link, bool timeout);
// One byte out of the link's ring. -> false when it is empty.
bool pmpp_ring_take(pmpp_link* link, uint8_t* byte);
// The information of an SNMP frame (PMPP or PPP) holds one message and
// nothing after it: -> true. Anything else (a bad length header, a message
// longer than its frame, bytes after it) is refused and counted in
// snmpInASNParseErrs.
bool pmpp_snmp_message_fills(const uint8_t* info, uint32_t length);
// A response turned into its tooBig answer (version, community, request id,
// no varbinds) in `out`. -> its length, 0 when it is no community message or
// does not fit `room`.
uint32_t pmpp_too_big_answer(const uint8_t* response, uint32_t length, uint8_t* out, uint32_t room);
// Dispatches the frame in the receive buffer (after PMPP_FRAME).
void pmpp_dispatch_frame(pmpp_link* link);

// Frame pieces: the address field of `address` (1 or 2 bytes, unescaped),
// FCS-16 over bytes, and escaping into a buffer (-> bytes written, 0 when it
// does not fit).
uint32_t pmpp_address_field(uint16_t address, uint8_t field[2]);
uint16_t pmpp_fcs(uint16_t fcs, const uint8_t* data, uint32_t length);
const uint16_t PMPP_FCS_INITIAL = 0xFFFF;
const uint16_t PMPP_FCS_GOOD = 0xF0B8;

// The net driver of the PMPP agents.
int snmp_pmpp_net_drv(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                      void* arg2);

// The worker's table (tests): the link in `entry`, or null.
pmpp_link* pmpp_worker_link(uint32_t entry);
