// The PPP link of the agents "ccp_ppp" (the CCP serial port) and
// "ethernet_ppp" (PPP frames in a TCP stream): HDLC-like framing with an
// asynchronous control-character map, LCP, CHAP-MD5 both ways and IPCP to
// bring the link up, then SNMP in protocol 0x00C1 straight to the agent and
// IP datagrams in protocol 0x0021 to the link's IP instance.
//
//   7E | FF | 7D 23 | protocol (2; a lone C1 on receipt) | information | FCS-16 | 7E
//
// The FCS is the PMPP link's (comm/links/pmpp.h). Bytes 7D, 7E and every
// control byte whose bit is set in the transmit map go as 7D, byte ^ 0x20;
// the map is all ones until LCP has acknowledged the peer's map.
// Address-and-control and protocol-field compression are refused in LCP, so
// every received frame opens with FF 03 and a two-byte protocol.
//
// Received bytes pass through a ring to one worker thread ("PPP RX WORKER
// THREAD", comm/links/link_worker.h) shared by up to ten links; it assembles
// and checks the frames, runs the bring-up sequencer and the control
// protocols (comm/links/ppp_control.cpp) and answers the direct-cable
// handshake "CLIENT" with "CLIENTSERVER".
//
// Authentication belongs to one session: a new TCP connection, a change of
// the CCP's carrier, a new peer's "CLIENT" and a Configure-Request after LCP
// opened all end it, and nothing but LCP is taken until the next peer has
// passed CHAP again. LCP answers codes it does not know with a Code-Reject
// and, once opened, protocols it does not know with a Protocol-Reject; a
// challenge left unanswered goes again after CHAP_RESTART_TICKS.
#pragma once

#include "comm/links/link_worker.h"
#include "comm/links/pmpp.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

struct snmp_agent;
struct NX_IP;

const uint32_t PPP_LINK_ID = 0x50505020; // "PPP "
const uint16_t PPP_MRU = 1500;
// Raw frames (still escaped): a full MRU of information with its protocol,
// address, control and FCS, every byte escaped, and the two flags. An IP
// datagram of the MTU (1500) so fits one frame.
const uint32_t PPP_FRAME_BYTES = 2 * (PPP_MRU + 6) + 2;
const uint32_t PPP_MTU = 1500;
const uint32_t PPP_RING_BYTES = 1500;
const uint32_t PPP_LINKS = 10;
const uint32_t PPP_NAME_BYTES = 32;
const uint32_t PPP_CHALLENGE_MAX = 63;
const uint32_t PPP_SECRET_BYTES = 256; // the secret buffer a CHAP callback fills

const uint16_t PPP_LCP = 0xC021;
const uint16_t PPP_PAP = 0xC023;
const uint16_t PPP_CHAP = 0xC223;
const uint16_t PPP_IPCP = 0x8021;
const uint16_t PPP_IP = 0x0021;
const uint16_t PPP_SNMP = 0x00C1;
const uint8_t PPP_SNMP_SHORT = 0xC1; // the one-byte protocol field

// States of LCP and IPCP (RFC 1661 numbering).
enum ppp_state : uint16_t {
    PPP_INITIAL = 0,
    PPP_STARTING = 1,
    PPP_CLOSED = 2,
    PPP_STOPPED = 3,
    PPP_CLOSING = 4,
    PPP_STOPPING = 5,
    PPP_REQ_SENT = 6,
    PPP_ACK_RCVD = 7,
    PPP_ACK_SENT = 8,
    PPP_OPENED = 9,
};
const uint16_t PPP_IPCP_STOPPED = PPP_STOPPED;
const uint16_t PPP_IPCP_OPENED = PPP_OPENED;

// LCP events (handled in this order when several come at once).
enum lcp_event : uint32_t {
    LCP_TIMEOUT_RETRY = 0x40,
    LCP_TIMEOUT_LAST = 0x80,
    LCP_UP = 0x04,
    LCP_DOWN = 0x08,
    LCP_OPEN = 0x10,
    LCP_CLOSE = 0x20,
    LCP_CONFIGURE_REQUEST = 0x100,
    LCP_CONFIGURE_ACK = 0x400,
    LCP_CONFIGURE_NAK = 0x800, // Configure-Nak or Configure-Reject
    LCP_TERMINATE_REQUEST = 0x1000,
    LCP_TERMINATE_ACK = 0x2000,
    LCP_OTHER_CODE = 0x4000,
    LCP_CODE_REJECT = 0x8000,
};
const uint32_t PPP_EVENT_LINK_DOWN = LCP_TERMINATE_REQUEST; // also carrier lost

enum chap_event : uint32_t {
    CHAP_CHALLENGE_RECEIVED = 0x01,
    CHAP_RESP_EVENT = 0x02,
    CHAP_SUCCESS_RECEIVED = 0x04,
    CHAP_FAILURE_RECEIVED = 0x08,
    CHAP_SEND_CHALLENGE = 0x10,
    CHAP_TIMEOUT = 0x80,
};
enum chap_state : uint16_t {
    CHAP_IDLE = 1,
    CHAP_CHALLENGE_SENT = 2,
    CHAP_RESPONSE_SENT = 3,
    CHAP_SUCCESS = 5,
};
enum pap_event : uint32_t {
    PAP_REQUEST_RECEIVED = 0x01,
    PAP_ACK_RECEIVED = 0x02,
    PAP_NAK_RECEIVED = 0x04,
    PAP_START = 0x08,
    PAP_TIMEOUT = 0x80,
};
enum ipcp_event : uint32_t {
    IPCP_START = 0x01,
    IPCP_CONFIGURE_REQUEST = 0x02,
    IPCP_CONFIGURE_ACK = 0x04,
    IPCP_CONFIGURE_NAK = 0x08,
    IPCP_TERMINATE_REQUEST = 0x10,
    IPCP_TIMEOUT = 0x20,
};
// Bits of the link's event group "PPP IP EVENTS".
enum ppp_link_event : ULONG {
    PPP_LCP_OPENED_BIT = 1,
    PPP_PAP_DONE_BIT = 2,
    AP_AUTHENTICATED = 4,
    PPP_IPCP_OPENED_BIT = 8,
};

typedef void (*ppp_byte_fn)(uint8_t byte);
typedef bool (*ppp_read_fn)(uint8_t* byte);
typedef bool (*ppp_frame_fn)(const uint8_t* data, uint32_t length);
// CHAP callbacks: the challenge to send (bytes out, -> their count 1 to 63),
// and the secret shared with a peer (our name, PPP_NAME_BYTES, and the
// secret, PPP_SECRET_BYTES, out).
typedef uint32_t (*chap_challenge_fn)(uint8_t* challenge, uint8_t* identifier, char* name);
typedef int (*chap_secret_fn)(struct ppp_link* link, char* name, char* secret);
typedef int (*pap_verify_fn)(const char* peer_id, const char* password);
typedef void (*pap_credentials_fn)(char* peer_id, char* password);
// The stand-in of the link's own IP instance: each received datagram.
typedef void (*ppp_ip_input_fn)(struct ppp_link* link, const uint8_t* datagram, uint32_t length);
typedef uint32_t (*ppp_address_fn)();

// How a session ends (ppp_session_restart): the peer went (carrier fall, a
// new peer on the cable), so the link waits for the next peer's request; or
// a new connection came, to which the link sends its own request at once.
enum session_end_kind : uint8_t { SESSION_KEEP = 0, SESSION_PASSIVE = 1, SESSION_ACTIVE = 2 };
// The CHAP restart timer: a challenge left unanswered this long goes again.
const uint32_t CHAP_RESTART_TICKS = 300;

struct ppp_link {
    uint32_t id;
    const char* name;
    NX_IP* ip;
    snmp_agent* agent;
    uint16_t lcp_state;
    uint16_t authenticated;
    uint16_t auth_of_peer; // what the link requires of the peer (0xC223 or 0)
    uint16_t auth_by_peer; // what the peer requires of the link
    uint16_t protocol;     // of the frame being handled
    // Statistics: ring overflows, bytes outside a frame, frames sent and received.
    uint32_t bytes_dropped, bytes_invalid, frames_sent, frames_received;
    uint16_t restart_counter;
    uint8_t rx_id, tx_id;
    uint16_t mru;
    // Callbacks: bytes to and from the line, bytes outside a frame, whole frames out.
    ppp_byte_fn write_byte;
    ppp_read_fn read_byte;
    ppp_byte_fn outside_byte;
    ppp_frame_fn send_frame;
    // Kernel objects.
    TX_EVENT_FLAGS_GROUP ip_events; // "PPP IP EVENTS"
    TX_MUTEX mutex;                 // "PPP PROTECT MUTEX": the transmit frame and the automata
    TX_SEMAPHORE tx_ready;          // "PPP TX READY SEMAPHORE"
    TX_SEMAPHORE ring_sem;          // "PPP SERIAL BUFFER SEMAPHORE": one count per ring byte
    link_timer timer;               // "PPP Comm Timeout"
    uint32_t timeout_ms;
    // The frame being built (escaped) with its running FCS; a frame that
    // outgrows the buffer is marked and never sent.
    uint8_t transmit[PPP_FRAME_BYTES];
    uint16_t transmit_length;
    uint16_t transmit_fcs;
    bool transmit_overflow;
    // The received frame, raw, and unescaped without flags and FCS.
    uint8_t frame[PPP_FRAME_BYTES];
    uint16_t store_index;
    uint8_t plain[PPP_FRAME_BYTES];
    uint16_t plain_length, read_index;
    // The control packet being handled: where its code byte is in `plain`, its length.
    uint16_t packet_at, packet_length;
    // PAP (never made usable in this system).
    uint16_t pap_usable, pap_state;
    pap_verify_fn pap_verify;
    pap_credentials_fn pap_credentials;
    // CHAP.
    uint16_t chap_protocol, chap_usable, chap_state;
    bool challenge_pending;  // a challenge of ours awaits its response
    uint8_t session_end_due; // SESSION_* : the session ends at the worker's next step
    char chap_name[PPP_NAME_BYTES];
    uint8_t challenge[PPP_CHALLENGE_MAX];
    uint8_t challenge_length;
    chap_challenge_fn chap_challenge;
    chap_secret_fn chap_secret, chap_responder;
    // IPCP.
    uint16_t ipcp_state;
    uint8_t local_ip[4], peer_ip[4];
    bool up; // the link IP instance's interface
    // Receive ring (producers: the worker or a TCP server thread, under the
    // interrupt lock; consumer: the worker).
    uint8_t ring[PPP_RING_BYTES];
    uint16_t head, tail, count;
    uint32_t tx_accm, accm; // transmit map; the map negotiated by the last request
    uint8_t accm_received;
    uint8_t framing; // 0xC1 direct SNMP, 0x21 IP: how the last request came
    TX_EVENT_FLAGS_GROUP* wake_group;
    ULONG wake_flag;
    uint32_t activity_bit;
    ppp_link* next;
    uint8_t sequencer_step; // the bring-up stage, 0 to 3
    uint8_t chap_enable;    // set by the agent before creation
    // IP datagrams received, handed to the link's IP instance.
    ppp_ip_input_fn ip_input;
    uint32_t datagrams_dropped;
    // The address IPCP offers the peer, read when IPCP starts (0: none configured).
    ppp_address_fn peer_address;
    uint8_t reject_id; // of the link's last Code-Reject or Protocol-Reject
};

// ---- The link (comm/links/ppp.cpp) ----

// Creates the link's kernel objects, the shared worker (first link only),
// enters the link in the worker's table and, when the agent wants CHAP,
// enables it with the agent's callbacks. -> 0 (failures are printed).
int ppp_create(ppp_link* link, const char* name, NX_IP* ip, snmp_agent* agent, UINT priority,
               ppp_byte_fn outside_byte, ppp_byte_fn write_byte);
// One received byte into the ring. -> 0, or PMPP_RING_FULL (dropped, counted).
int ppp_byte_receive(ppp_link* link, uint8_t byte);
void ppp_set_timeout(ppp_link* link, uint32_t milliseconds);
// The local and peer addresses for IPCP (most significant byte first); IPCP Closed.
int ppp_ip_address_set(ppp_link* link, uint32_t local, uint32_t peer);

// Builds the frame being sent: the first byte opens it (7E FF 7D 23).
void ppp_tx_add_byte(ppp_link* link, uint8_t byte);
// FCS, closing flag, out through the frame or byte callback. -> false when
// the frame outgrew the transmit buffer (nothing is sent).
bool ppp_send_frame(ppp_link* link);
// The raw bytes a frame of `protocol` and this information takes under the
// current transmit map.
uint32_t ppp_frame_bytes(const ppp_link* link, uint16_t protocol, const uint8_t* data,
                         uint32_t length);
// The received frame's next byte (after address, control and protocol once
// the frame is dispatched). -> false at the frame's end.
bool ppp_rx_get_byte(ppp_link* link, uint8_t* byte);
// The received frame's information bytes not read yet.
uint32_t ppp_rx_remaining(const ppp_link* link);

// The receive step on one byte of the ring (`timeout`: the time-out form);
// results as the PMPP link's (PMPP_MORE, PMPP_DROP, PMPP_FRAME). Exposed for
// tests and the fuzz target, as is the frame dispatch.
int ppp_receive_step(ppp_link* link, bool timeout);
void ppp_receive_packet_process(ppp_link* link);
// Sends an IP datagram in one 0x0021 frame (the link IP instance's send).
void ppp_ip_send(ppp_link* link, const uint8_t* datagram, uint32_t length);

// The LCP link-down event (a connection ended or the carrier went).
void ppp_link_down(ppp_link* link);
// The bring-up sequencer back to its first stage (before a dial).
void ppp_link_sequencer_restart(ppp_link* link);
// The peer's session is over (from any thread): at the worker's next step
// LCP, CHAP, IPCP and the sequencer start again, and nothing but LCP is
// taken until the next peer has authenticated again.
void ppp_session_restart(ppp_link* link, session_end_kind how);

// The worker's table (the link driver, tests): the link in `entry`, or null.
ppp_link* ppp_worker_link(uint32_t entry);

// ---- The control protocols (comm/links/ppp_control.cpp) ----

void lcp_state_machine(ppp_link* link, uint32_t events);
void chap_state_macine(ppp_link* link, uint32_t events);
void pap_state_machine(ppp_link* link, uint32_t events);
void ipcp_state_machine(ppp_link* link, uint32_t events);
// Gives the received control packet (in the link's receive frame) to its automaton.
void ppp_control_receive(ppp_link* link, uint16_t protocol);
// -> true when the link is up to IPCP.
bool ppp_link_sequencer(ppp_link* link);
// The comm time-out's action.
void ppp_timeout_dispatch(ppp_link* link);
// Ends the session on the worker's thread (see ppp_session_restart).
void ppp_session_end(ppp_link* link, session_end_kind how);
// A received frame of a protocol the link does not know: LCP Protocol-Reject.
void ppp_protocol_reject(ppp_link* link);
int ppp_chap_enable(ppp_link* link, chap_challenge_fn challenge, chap_secret_fn secret,
                    chap_secret_fn responder);
// MD5 over the identifier, the secret's characters and the challenge.
void chap_md5_response(uint8_t digest[16], uint8_t identifier, const char* secret,
                       const uint8_t* challenge, uint32_t challenge_length);

// ---- The agent's side (comm/snmp/snmp_ppp.cpp) ----

// SNMP carried directly in the received 0x00C1 frame.
void ppp_snmp_receive(ppp_link* link);
// Sends one SNMP message in a 0x00C1 frame; one that cannot fit a frame is
// answered tooBig instead.
void ntcip_packet_send(snmp_agent* agent, ppp_link* link, const uint8_t* data, uint32_t length);
// The CHAP callbacks of every PPP agent.
uint32_t snmp_chap_challenge(uint8_t* challenge, uint8_t* identifier, char* name);
int snmp_chap_get_secret(ppp_link* link, char* name, char* secret);
int snmp_chap_get_responder(ppp_link* link, char* name, char* secret);
// The address IPCP offers a peer: halvRemoteIPAddress as it is now.
uint32_t snmp_ppp_peer_address();
// The net driver of the PPP agents.
int snmp_ppp_net_drv(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                     void* arg2);
