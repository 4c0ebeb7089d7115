// The control protocols of the PPP link: LCP, CHAP with MD5 both ways, the
// PAP automaton (no callbacks are installed, so PAP is never negotiated),
// IPCP, the bring-up sequencer and the comm time-out's dispatch.
//
// LCP and IPCP are tables of (state, event) -> (actions, next state); the
// first row that matches wins, a pair without a row changes nothing. Their
// Configure-Request checks are one option walker over a table of rules per
// protocol: each option advances by its own length, and a packet with an
// option shorter than two bytes or running past its end is dropped whole.
#include "comm/links/ppp.h"

#include "runtime/console.h"

#include <md5.h>

#include <cstring>

namespace {

const uint8_t ANY_STATE = 0xFF;
const uint8_t STAY = 0xFF;
const uint16_t RESTART_COUNT = 2;
const uint16_t MRU_MIN = 200;
const uint32_t OPTION_LIST_BYTES = PPP_FRAME_BYTES;

enum control_code : uint8_t {
    CONFIGURE_REQUEST = 1,
    CONFIGURE_ACK = 2,
    CONFIGURE_NAK = 3,
    CONFIGURE_REJECT = 4,
    TERMINATE_REQUEST = 5,
    TERMINATE_ACK = 6,
    CODE_REJECT = 7,
    PROTOCOL_REJECT = 8,
    ECHO_REQUEST = 9,
    ECHO_REPLY = 10,
    DISCARD_REQUEST = 11,
};

// ---- Packets ----

// The control packet of the received frame: code, identifier and the bytes
// after the four-byte header, bounded by both its length field and the frame.
struct control_packet {
    uint8_t code, id;
    const uint8_t* data;
    uint32_t length;
};

control_packet packet_of(const ppp_link* link) {
    const uint8_t* p = link->plain + link->packet_at;
    return control_packet{p[0], p[1], p + 4, uint32_t(link->packet_length - 4)};
}

// Sends one packet of `protocol`: code, identifier, length, data.
void send_packet(ppp_link* link, uint16_t protocol, uint8_t code, uint8_t id, const uint8_t* data,
                 uint32_t length) {
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    link->transmit_length = 0;
    uint32_t total = length + 4;
    const uint8_t header[] = {uint8_t(protocol >> 8), uint8_t(protocol), code, id,
                              uint8_t(total >> 8),    uint8_t(total)};
    for (uint8_t byte : header)
        ppp_tx_add_byte(link, byte);
    for (uint32_t i = 0; i < length; i++)
        ppp_tx_add_byte(link, data[i]);
    ppp_send_frame(link);
    tx_mutex_put(&link->mutex);
}

void set_link_bits(ppp_link* link, ULONG bits) {
    UINT rc = tx_event_flags_set(&link->ip_events, bits, TX_OR);
    if (rc != TX_SUCCESS && bits == AP_AUTHENTICATED)
        console_printf("chap_state_macine: tx_event_flags_set for AP_AUTHENTICATED failed %02x\n",
                       rc);
}

bool take_link_bit(ppp_link* link, ULONG bit) {
    ULONG actual = 0;
    return tx_event_flags_get(&link->ip_events, bit, TX_OR_CLEAR, &actual, TX_NO_WAIT) ==
           TX_SUCCESS;
}

uint32_t big_endian(const uint8_t* p, uint32_t bytes) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < bytes; i++)
        value = value << 8 | p[i];
    return value;
}

// ---- The option walker ----

// What a Configure-Request check found: options to Nak (with the values we
// want) and to Reject, and whether every option was accepted.
struct option_verdict {
    uint8_t nak[OPTION_LIST_BYTES];
    uint8_t reject[OPTION_LIST_BYTES];
    uint32_t nak_length, reject_length;
    bool accepted;
    bool well_formed;
};

void list_add(uint8_t* list, uint32_t& length, const uint8_t* bytes, uint32_t count) {
    if (length + count > OPTION_LIST_BYTES) return;
    std::memcpy(list + length, bytes, count);
    length += count;
}

typedef void (*option_check)(ppp_link* link, const uint8_t* option, option_verdict& verdict);
struct option_rule {
    uint8_t type;
    uint8_t length_min;
    option_check check;
};

void reject_option(ppp_link*, const uint8_t* option, option_verdict& verdict) {
    list_add(verdict.reject, verdict.reject_length, option, option[1]);
}

void ignore_option(ppp_link*, const uint8_t*, option_verdict&) {}

// Walks the options; an option of a known type but shorter than its rule
// wants is rejected like an unknown one.
void check_options(ppp_link* link, const uint8_t* options, uint32_t length,
                   const option_rule* rules, uint32_t rule_count, option_verdict& verdict) {
    verdict.nak_length = verdict.reject_length = 0;
    verdict.accepted = verdict.well_formed = true;
    uint32_t at = 0;
    while (at < length) {
        uint32_t size = length - at >= 2 ? options[at + 1] : 0;
        if (size < 2 || size > length - at) {
            verdict.well_formed = false;
            return;
        }
        option_check check = reject_option;
        for (uint32_t r = 0; r < rule_count; r++)
            if (rules[r].type == options[at] && size >= rules[r].length_min) check = rules[r].check;
        check(link, options + at, verdict);
        at += size;
    }
}

bool verdict_good(const option_verdict& v) {
    return v.accepted && v.nak_length == 0 && v.reject_length == 0;
}

// ---- LCP options ----

void lcp_mru(ppp_link* link, const uint8_t* option, option_verdict& verdict) {
    uint32_t mru = big_endian(option + 2, 2);
    if (mru > PPP_MRU) mru = PPP_MRU;
    if (mru < MRU_MIN) {
        list_add(verdict.nak, verdict.nak_length, option, 4);
        mru = PPP_MRU;
    }
    link->mru = uint16_t(mru);
}

void lcp_accm(ppp_link* link, const uint8_t* option, option_verdict&) {
    link->accm = big_endian(option + 2, 4);
    link->accm_received = 1;
}

// CHAP is answered with MD5 only: another algorithm is Nak'd naming MD5.
void lcp_authentication(ppp_link* link, const uint8_t* option, option_verdict& verdict) {
    static const uint8_t CHAP_MD5[] = {3, 5, 0xC2, 0x23, 5};
    uint16_t protocol = uint16_t(big_endian(option + 2, 2));
    link->auth_by_peer = protocol;
    bool md5 = option[1] == sizeof CHAP_MD5 && option[4] == CHAP_MD5[4];
    if (protocol == PPP_CHAP && link->chap_usable && !md5) {
        list_add(verdict.nak, verdict.nak_length, CHAP_MD5, sizeof CHAP_MD5);
        return;
    }
    bool usable =
        (protocol == PPP_PAP && link->pap_usable) || (protocol == PPP_CHAP && link->chap_usable);
    if (usable) return;
    const uint8_t entry[] = {option[0], 4, option[2], option[3]};
    list_add(verdict.nak, verdict.nak_length, entry, sizeof entry);
    link->auth_by_peer = 0;
}

// Address-and-control (8) and protocol-field (7) compression are refused:
// the receiver expects FF 03 and a two-byte protocol in every frame.
const option_rule LCP_OPTIONS[] = {
    {1, 4, lcp_mru},
    {2, 6, lcp_accm},
    {3, 4, lcp_authentication},
    {5, 6, ignore_option},
};

// ---- IPCP options ----

void ipcp_address(ppp_link* link, const uint8_t* option, option_verdict& verdict) {
    if (big_endian(option + 2, 4) != 0) {
        std::memcpy(link->peer_ip, option + 2, 4);
        return;
    }
    // The offer: the address configured now, never one a peer asked for before.
    uint32_t offer = link->peer_address ? link->peer_address() : 0;
    const uint8_t entry[] = {
        3, 6, uint8_t(offer >> 24), uint8_t(offer >> 16), uint8_t(offer >> 8), uint8_t(offer)};
    list_add(verdict.nak, verdict.nak_length, entry, sizeof entry);
}

void ipcp_addresses(ppp_link*, const uint8_t*, option_verdict& verdict) {
    verdict.accepted = false;
}

const option_rule IPCP_OPTIONS[] = {
    {3, 6, ipcp_address},
    {1, 10, ipcp_addresses},
    {4, 2, ignore_option},
};

// ---- The automata's tables ----

enum action : uint16_t {
    IRC = 1,       // restart counter := 2
    SCR = 2,       // send Configure-Request
    STR = 4,       // send Terminate-Request
    STA = 8,       // send Terminate-Ack
    RESPOND = 16,  // Configure-Ack, or the Nak or Reject of the check
    SCR_LATE = 32, // send Configure-Request after the response
    DOWN = 64,     // the whole link back to its start (terminate or carrier lost)
    REPLY = 128,   // answer a packet of another code
};

struct transition {
    uint8_t event; // index into the automaton's event order
    uint8_t state; // or ANY_STATE
    uint16_t actions;
    uint8_t next; // or STAY
};

// LCP events in the order they are handled; a received request is split
// into good and bad by its check.
enum lcp_index : uint8_t {
    L_TO_RETRY,
    L_TO_LAST,
    L_UP,
    L_DOWN,
    L_OPEN,
    L_CLOSE,
    L_RCR_GOOD,
    L_RCR_BAD,
    L_RCA,
    L_RCN,
    L_RTR,
    L_RTA,
    L_RUC,
    L_RXJ,
};

const transition LCP_TABLE[] = {
    {L_TO_RETRY, 4, STR, STAY},
    {L_TO_RETRY, 5, STR, STAY},
    {L_TO_RETRY, 6, SCR, STAY},
    {L_TO_RETRY, 7, SCR, STAY},
    {L_TO_RETRY, 8, SCR, STAY},
    {L_TO_LAST, 4, 0, PPP_CLOSED},
    {L_TO_LAST, ANY_STATE, 0, PPP_STOPPED},
    {L_UP, 0, 0, PPP_CLOSED},
    {L_DOWN, ANY_STATE, 0, PPP_CLOSED},
    {L_OPEN, 2, IRC | SCR, PPP_REQ_SENT},
    {L_OPEN, 3, 0, PPP_STOPPED},
    {L_OPEN, 4, 0, PPP_STOPPED},
    {L_OPEN, 5, 0, PPP_STOPPED},
    {L_CLOSE, 3, 0, PPP_CLOSED},
    {L_CLOSE, 5, 0, PPP_CLOSING},
    {L_CLOSE, 6, IRC | STR, PPP_CLOSING},
    {L_CLOSE, 7, IRC | STR, PPP_CLOSING},
    {L_CLOSE, 8, IRC | STR, PPP_CLOSING},
    {L_CLOSE, 9, IRC | STR, PPP_CLOSING},
    {L_RCR_GOOD, 2, STA, STAY},
    {L_RCR_GOOD, 3, IRC | SCR | RESPOND, PPP_ACK_SENT},
    {L_RCR_GOOD, 6, RESPOND, PPP_ACK_SENT},
    {L_RCR_GOOD, 7, RESPOND, PPP_OPENED},
    {L_RCR_GOOD, 8, RESPOND, STAY},
    {L_RCR_GOOD, 9, IRC | SCR | RESPOND, PPP_ACK_SENT},
    {L_RCR_BAD, 2, STA, STAY},
    {L_RCR_BAD, 3, IRC | SCR | RESPOND, PPP_REQ_SENT},
    {L_RCR_BAD, 6, RESPOND, STAY},
    {L_RCR_BAD, 7, RESPOND, STAY},
    {L_RCR_BAD, 8, RESPOND, PPP_REQ_SENT},
    {L_RCR_BAD, 9, IRC | SCR | RESPOND, PPP_REQ_SENT},
    {L_RCA, 2, STA, STAY},
    {L_RCA, 3, STA, STAY},
    {L_RCA, 6, 0, PPP_ACK_RCVD},
    {L_RCA, 7, SCR, PPP_REQ_SENT},
    {L_RCA, 8, 0, PPP_OPENED},
    {L_RCN, 2, STA, STAY},
    {L_RCN, 3, STA, STAY},
    {L_RCN, 6, SCR, STAY},
    {L_RCN, 7, SCR, PPP_REQ_SENT},
    {L_RCN, 8, SCR, STAY},
    {L_RTR, 0, 0, STAY},
    {L_RTR, ANY_STATE, STA | DOWN, PPP_STOPPED},
    {L_RTA, 4, 0, PPP_CLOSED},
    {L_RTA, 5, 0, PPP_STOPPED},
    {L_RTA, 6, 0, PPP_STOPPED},
    {L_RTA, 7, 0, PPP_STOPPED},
    {L_RTA, 9, IRC | SCR, PPP_REQ_SENT},
    {L_RUC, ANY_STATE, REPLY, STAY},
    {L_RXJ, 4, 0, PPP_CLOSED},
    {L_RXJ, 5, 0, PPP_STOPPED},
    {L_RXJ, 6, 0, PPP_STOPPED},
    {L_RXJ, 7, 0, PPP_STOPPED},
    {L_RXJ, 8, 0, PPP_STOPPED},
    {L_RXJ, 9, STA, PPP_STOPPING},
};

enum ipcp_index : uint8_t { I_TO, I_RCR_GOOD, I_RCR_BAD, I_RCA, I_RCN, I_RTR };

const transition IPCP_TABLE[] = {
    {I_TO, 6, SCR, PPP_REQ_SENT},
    {I_TO, 7, SCR, PPP_REQ_SENT},
    {I_TO, 8, SCR, STAY},
    {I_RCR_GOOD, 9, RESPOND | SCR_LATE, PPP_ACK_SENT},
    {I_RCR_GOOD, 3, RESPOND | SCR_LATE, PPP_ACK_SENT},
    {I_RCR_GOOD, 6, RESPOND, PPP_ACK_SENT},
    {I_RCR_GOOD, 7, RESPOND, PPP_OPENED},
    {I_RCR_GOOD, 8, RESPOND, STAY},
    {I_RCR_BAD, 9, RESPOND | SCR_LATE, PPP_REQ_SENT},
    {I_RCR_BAD, 3, RESPOND | SCR_LATE, PPP_REQ_SENT},
    {I_RCR_BAD, 6, RESPOND, STAY},
    {I_RCR_BAD, 7, RESPOND, STAY},
    {I_RCR_BAD, 8, RESPOND, PPP_REQ_SENT},
    {I_RCA, 2, STR, STAY},
    {I_RCA, 3, STR, STAY},
    {I_RCA, 6, 0, PPP_ACK_RCVD},
    {I_RCA, 7, SCR, PPP_REQ_SENT},
    {I_RCA, 8, 0, PPP_OPENED},
    {I_RCN, 2, STR, STAY},
    {I_RCN, 3, STR, STAY},
    {I_RCN, 6, SCR, PPP_REQ_SENT},
    {I_RCN, 7, SCR, PPP_REQ_SENT},
    {I_RCN, 8, SCR, STAY},
    {I_RTR, 6, 0, PPP_STOPPED},
    {I_RTR, 7, 0, PPP_STOPPED},
};

const transition* find_transition(const transition* table, uint32_t rows, uint8_t event,
                                  uint16_t state) {
    for (uint32_t i = 0; i < rows; i++)
        if (table[i].event == event && (table[i].state == state || table[i].state == ANY_STATE))
            return &table[i];
    return nullptr;
}

// The Configure-Ack, -Nak or -Reject of a checked request (nothing when the
// request was refused without a list).
void respond(ppp_link* link, uint16_t protocol, const option_verdict& verdict) {
    control_packet p = packet_of(link);
    if (verdict_good(verdict))
        send_packet(link, protocol, CONFIGURE_ACK, p.id, p.data, p.length);
    else if (verdict.reject_length)
        send_packet(link, protocol, CONFIGURE_REJECT, p.id, verdict.reject, verdict.reject_length);
    else if (verdict.nak_length)
        send_packet(link, protocol, CONFIGURE_NAK, p.id, verdict.nak, verdict.nak_length);
}

// ---- LCP actions ----

void lcp_send_request(ppp_link* link) {
    static const uint8_t CHAP_MD5[] = {3, 5, 0xC2, 0x23, 5};
    static const uint8_t ACCM_NONE[] = {2, 6, 0, 0, 0, 0};
    uint8_t options[sizeof CHAP_MD5 + sizeof ACCM_NONE];
    uint32_t n = 0;
    if (link->auth_of_peer == PPP_CHAP) {
        std::memcpy(options, CHAP_MD5, sizeof CHAP_MD5);
        n += sizeof CHAP_MD5;
    }
    std::memcpy(options + n, ACCM_NONE, sizeof ACCM_NONE);
    n += sizeof ACCM_NONE;
    send_packet(link, PPP_LCP, CONFIGURE_REQUEST, link->tx_id, options, n);
    if (link->restart_counter) link->restart_counter--;
}

void lcp_send_terminate(ppp_link* link) {
    send_packet(link, PPP_LCP, TERMINATE_REQUEST, link->tx_id, nullptr, 0);
    if (link->restart_counter) link->restart_counter--;
}

// Sends a Code-Reject or Protocol-Reject of LCP: a fresh identifier, and
// `head` (the rejected protocol, or nothing) and `body` cut to the peer's MRU.
void send_reject(ppp_link* link, uint8_t code, const uint8_t* head, uint32_t head_length,
                 const uint8_t* body, uint32_t body_length) {
    static uint8_t data[PPP_FRAME_BYTES]; // the worker's alone, off its stack
    uint32_t room = link->mru - 4u - head_length;
    uint32_t n = body_length < room ? body_length : room;
    if (head_length) std::memcpy(data, head, head_length);
    if (n) std::memcpy(data + head_length, body, n);
    send_packet(link, PPP_LCP, code, ++link->reject_id, data, head_length + n);
}

// An Echo-Request gets its Echo-Reply (magic number 0: none was
// negotiated); a code LCP does not know is sent back in a Code-Reject.
void lcp_reply_other(ppp_link* link) {
    control_packet p = packet_of(link);
    if (p.code == ECHO_REQUEST) {
        static uint8_t reply[PPP_FRAME_BYTES]; // the worker's alone, off its stack
        std::memset(reply, 0, 4);
        uint32_t n = p.length >= 4 ? p.length : 4;
        if (p.length > 4) std::memcpy(reply + 4, p.data + 4, p.length - 4);
        send_packet(link, PPP_LCP, ECHO_REPLY, p.id, reply, n);
        return;
    }
    send_reject(link, CODE_REJECT, nullptr, 0, link->plain + link->packet_at, link->packet_length);
}

// Terminate-Request received or carrier lost: LCP, IPCP, PAP, CHAP and the
// sequencer back to their start, the transmit map to all ones.
void link_reset(ppp_link* link) {
    link->restart_counter = 0;
    link->ipcp_state = PPP_STOPPED;
    link->sequencer_step = 0;
    link->pap_state = 1;
    link->chap_state = CHAP_IDLE;
    link->challenge_pending = false;
    if (link->auth_of_peer) link->authenticated = 0;
    link->up = false;
    link->tx_accm = 0xFFFFFFFFu;
    ULONG actual = 0;
    tx_event_flags_get(&link->ip_events, 0xFFFFFFFFu, TX_OR_CLEAR, &actual, TX_NO_WAIT);
}

void lcp_run(ppp_link* link, uint8_t event, const option_verdict& verdict) {
    const transition* t =
        find_transition(LCP_TABLE, sizeof LCP_TABLE / sizeof *LCP_TABLE, event, link->lcp_state);
    if (!t) return;
    // This layer down: whatever takes LCP out of Opened (a new
    // Configure-Request included) ends the session and its authentication.
    bool leaves_opened = link->lcp_state == PPP_OPENED && t->next != STAY && t->next != PPP_OPENED;
    if (leaves_opened) link_reset(link);
    if (t->actions & IRC) link->restart_counter = RESTART_COUNT;
    if (t->actions & SCR) lcp_send_request(link);
    if (t->actions & STR) lcp_send_terminate(link);
    if (t->actions & STA) send_packet(link, PPP_LCP, TERMINATE_ACK, link->rx_id, nullptr, 0);
    if (t->actions & RESPOND) {
        respond(link, PPP_LCP, verdict);
        if (verdict_good(verdict) && link->accm_received) link->tx_accm = link->accm;
    }
    if (t->actions & REPLY) lcp_reply_other(link);
    if (t->actions & DOWN) link_reset(link);
    if (t->next == STAY) return;
    bool opened = t->next == PPP_OPENED && link->lcp_state != PPP_OPENED;
    link->lcp_state = t->next;
    if (opened) set_link_bits(link, PPP_LCP_OPENED_BIT);
}

void lcp_check_request(ppp_link* link, option_verdict& verdict) {
    link->accm = 0xFFFFFFFFu;
    link->accm_received = 0;
    control_packet p = packet_of(link);
    check_options(link, p.data, p.length, LCP_OPTIONS, sizeof LCP_OPTIONS / sizeof *LCP_OPTIONS,
                  verdict);
    if (!link->accm_received) {
        link->accm = 0;
        link->accm_received = 1;
    }
}

option_verdict& shared_verdict() {
    static option_verdict verdict; // the worker's alone: checks run on its thread
    return verdict;
}

// ---- IPCP actions ----

void ipcp_send_request(ppp_link* link) {
    link->tx_id++;
    const uint8_t option[] = {
        3, 6, link->local_ip[0], link->local_ip[1], link->local_ip[2], link->local_ip[3]};
    send_packet(link, PPP_IPCP, CONFIGURE_REQUEST, link->tx_id, option, sizeof option);
}

// The address option of a received Ack or Nak becomes the local address.
void ipcp_take_address(ppp_link* link) {
    control_packet p = packet_of(link);
    uint32_t at = 0;
    while (at + 2 <= p.length && p.data[at + 1] >= 2 && at + p.data[at + 1] <= p.length) {
        if (p.data[at] == 3 && p.data[at + 1] == 6) std::memcpy(link->local_ip, p.data + at + 2, 4);
        at += p.data[at + 1];
    }
}

// IPCP offers the peer the address configured now; with none configured
// the link is refused: LCP is closed with a console line.
bool ipcp_offer_ready(ppp_link* link) {
    uint32_t address = link->peer_address ? link->peer_address() : 0;
    for (int i = 0; i < 4; i++)
        link->peer_ip[i] = uint8_t(address >> (24 - 8 * i));
    if (address != 0) return true;
    console_printf("PPP %s: no remote IP address configured, link refused\n",
                   link->name ? link->name : "");
    lcp_state_machine(link, LCP_CLOSE);
    return false;
}

void ipcp_run(ppp_link* link, uint8_t event, const option_verdict& verdict) {
    const transition* t = find_transition(IPCP_TABLE, sizeof IPCP_TABLE / sizeof *IPCP_TABLE, event,
                                          link->ipcp_state);
    if (!t) return;
    if (t->actions & SCR) ipcp_send_request(link);
    if (t->actions & STR) send_packet(link, PPP_IPCP, TERMINATE_REQUEST, link->tx_id, nullptr, 0);
    if (t->actions & RESPOND) respond(link, PPP_IPCP, verdict);
    if (t->actions & SCR_LATE) ipcp_send_request(link);
    if (t->next == STAY) return;
    bool opened = t->next == PPP_OPENED && link->ipcp_state != PPP_OPENED;
    link->ipcp_state = t->next;
    if (!opened) return;
    link->up = true; // the link IP instance: its address is the local one, mask all ones
    set_link_bits(link, PPP_IPCP_OPENED_BIT);
}

// ---- CHAP ----

void chap_send_challenge(ppp_link* link) {
    uint8_t id = 0;
    char name[PPP_NAME_BYTES] = {};
    uint32_t n = link->chap_challenge ? link->chap_challenge(link->challenge, &id, name) : 0;
    if (n == 0 || n > PPP_CHALLENGE_MAX) return;
    name[PPP_NAME_BYTES - 1] = 0;
    std::memcpy(link->chap_name, name, sizeof name);
    link->challenge_length = uint8_t(n);
    uint32_t name_length = uint32_t(std::strlen(name));
    uint8_t data[1 + PPP_CHALLENGE_MAX + PPP_NAME_BYTES];
    data[0] = uint8_t(n);
    std::memcpy(data + 1, link->challenge, n);
    std::memcpy(data + 1 + n, name, name_length);
    send_packet(link, PPP_CHAP, 1, id, data, 1 + n + name_length);
    link->chap_state = CHAP_CHALLENGE_SENT;
    link->challenge_pending = true;
    link_timer_stop(link->timer); // the worker starts it again as the restart timer
}

// A Challenge or Response's value: its size byte within the packet.
bool chap_value(const control_packet& p, const uint8_t** value, uint32_t* size) {
    if (p.length < 1 || p.data[0] > p.length - 1) return false;
    *value = p.data + 1;
    *size = p.data[0];
    return true;
}

void chap_answer_challenge(ppp_link* link) {
    control_packet p = packet_of(link);
    const uint8_t* challenge;
    uint32_t size;
    if (!chap_value(p, &challenge, &size)) return;
    char name[PPP_NAME_BYTES] = {};
    char secret[PPP_SECRET_BYTES] = {};
    if (link->chap_secret) link->chap_secret(link, name, secret);
    name[PPP_NAME_BYTES - 1] = 0;
    secret[PPP_SECRET_BYTES - 1] = 0;
    uint32_t name_length = uint32_t(std::strlen(name));
    uint8_t data[1 + 16 + PPP_NAME_BYTES];
    data[0] = 16;
    chap_md5_response(data + 1, p.id, secret, challenge, size);
    std::memcpy(data + 17, name, name_length);
    send_packet(link, PPP_CHAP, 2, p.id, data, 17 + name_length);
    link->chap_state = CHAP_RESPONSE_SENT;
}

void chap_check_response(ppp_link* link) {
    control_packet p = packet_of(link);
    const uint8_t* value;
    uint32_t size;
    if (!chap_value(p, &value, &size)) return;
    char name[PPP_NAME_BYTES] = {};
    char secret[PPP_SECRET_BYTES] = {};
    if (link->chap_responder) link->chap_responder(link, name, secret);
    secret[PPP_SECRET_BYTES - 1] = 0;
    uint8_t expected[16];
    chap_md5_response(expected, p.id, secret, link->challenge, link->challenge_length);
    bool good = link->challenge_pending && size == 16 && std::memcmp(expected, value, 16) == 0;
    link->challenge_pending = false;
    if (good) {
        send_packet(link, PPP_CHAP, 3, p.id, nullptr, 0);
        link->authenticated = 1;
        set_link_bits(link, AP_AUTHENTICATED);
        link->chap_state = CHAP_SUCCESS;
        return;
    }
    trace_printf("chap state machine: CHAP_RESP_EVENT build Failed msg No Good\n");
    send_packet(link, PPP_CHAP, 4, p.id, nullptr, 0);
    link->authenticated = 0;
}

// ---- PAP (automaton only: nothing installs its callbacks) ----

void pap_check_request(ppp_link* link) {
    control_packet p = packet_of(link);
    char id[PPP_NAME_BYTES] = {}, password[PPP_NAME_BYTES] = {};
    if (p.length < 1 || p.data[0] + 2u > p.length) return;
    uint32_t id_length = p.data[0], password_length = p.data[1 + id_length];
    if (2 + id_length + password_length > p.length || id_length >= sizeof id ||
        password_length >= sizeof password)
        return;
    std::memcpy(id, p.data + 1, id_length);
    std::memcpy(password, p.data + 2 + id_length, password_length);
    const uint8_t message[] = {0};
    bool good = link->pap_verify && link->pap_verify(id, password) == 0;
    send_packet(link, PPP_PAP, good ? 2 : 3, p.id, message, sizeof message);
    link->authenticated = good ? 1 : 0;
    if (good) set_link_bits(link, AP_AUTHENTICATED);
}

void pap_send_request(ppp_link* link) {
    char id[PPP_NAME_BYTES] = {}, password[PPP_NAME_BYTES] = {};
    if (link->pap_credentials) link->pap_credentials(id, password);
    id[PPP_NAME_BYTES - 1] = password[PPP_NAME_BYTES - 1] = 0;
    uint32_t id_length = uint32_t(std::strlen(id)),
             password_length = uint32_t(std::strlen(password));
    uint8_t data[2 + 2 * PPP_NAME_BYTES];
    data[0] = uint8_t(id_length);
    std::memcpy(data + 1, id, id_length);
    data[1 + id_length] = uint8_t(password_length);
    std::memcpy(data + 2 + id_length, password, password_length);
    send_packet(link, PPP_PAP, 1, 1, data, 2 + id_length + password_length);
    link->pap_state = 2;
}

// ---- Received control packets ----

// Code -> event of each control protocol.
struct code_event {
    uint16_t protocol;
    uint8_t code;
    uint32_t event;
};
const code_event CODE_EVENTS[] = {
    {PPP_LCP, CONFIGURE_REQUEST, LCP_CONFIGURE_REQUEST},
    {PPP_LCP, CONFIGURE_ACK, LCP_CONFIGURE_ACK},
    {PPP_LCP, CONFIGURE_NAK, LCP_CONFIGURE_NAK},
    {PPP_LCP, CONFIGURE_REJECT, LCP_CONFIGURE_NAK},
    {PPP_LCP, TERMINATE_REQUEST, LCP_TERMINATE_REQUEST},
    {PPP_LCP, TERMINATE_ACK, LCP_TERMINATE_ACK},
    {PPP_LCP, CODE_REJECT, LCP_CODE_REJECT},
    {PPP_LCP, ECHO_REQUEST, LCP_OTHER_CODE},
    {PPP_LCP, PROTOCOL_REJECT, 0}, // of nothing the link needs: nothing to do
    {PPP_LCP, ECHO_REPLY, 0},
    {PPP_LCP, DISCARD_REQUEST, 0}, // silently discarded
    {PPP_CHAP, 1, CHAP_CHALLENGE_RECEIVED},
    {PPP_CHAP, 2, CHAP_RESP_EVENT},
    {PPP_CHAP, 3, CHAP_SUCCESS_RECEIVED},
    {PPP_CHAP, 4, CHAP_FAILURE_RECEIVED},
    {PPP_PAP, 1, PAP_REQUEST_RECEIVED},
    {PPP_PAP, 2, PAP_ACK_RECEIVED},
    {PPP_PAP, 3, PAP_NAK_RECEIVED},
    {PPP_IPCP, CONFIGURE_REQUEST, IPCP_CONFIGURE_REQUEST},
    {PPP_IPCP, CONFIGURE_ACK, IPCP_CONFIGURE_ACK},
    {PPP_IPCP, CONFIGURE_NAK, IPCP_CONFIGURE_NAK},
    {PPP_IPCP, TERMINATE_REQUEST, IPCP_TERMINATE_REQUEST},
};

// Known codes without a row's event are 0; an unknown LCP code is
// LCP_OTHER_CODE, which answers it with a Code-Reject.
uint32_t event_of(uint16_t protocol, uint8_t code) {
    for (const code_event& row : CODE_EVENTS)
        if (row.protocol == protocol && row.code == code) return row.event;
    return protocol == PPP_LCP ? uint32_t(LCP_OTHER_CODE) : 0u;
}

// Locates the packet in the frame: -> false when its header or length
// field does not fit the frame.
bool locate_packet(ppp_link* link) {
    uint32_t left = ppp_rx_remaining(link);
    if (left < 4) return false;
    const uint8_t* p = link->plain + link->read_index;
    uint32_t length = uint32_t(p[2]) << 8 | p[3];
    if (length < 4 || length > left) return false;
    link->packet_at = link->read_index;
    link->packet_length = uint16_t(length);
    return true;
}

} // namespace

void chap_md5_response(uint8_t digest[16], uint8_t identifier, const char* secret,
                       const uint8_t* challenge, uint32_t challenge_length) {
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, &identifier, 1);
    MD5Update(&context, reinterpret_cast<const uint8_t*>(secret), std::strlen(secret));
    MD5Update(&context, challenge, challenge_length);
    MD5Final(digest, &context);
}

void lcp_state_machine(ppp_link* link, uint32_t events) {
    static const struct {
        uint32_t bit;
        uint8_t index;
    } ORDER[] = {
        {LCP_TIMEOUT_RETRY, L_TO_RETRY},
        {LCP_TIMEOUT_LAST, L_TO_LAST},
        {LCP_UP, L_UP},
        {LCP_DOWN, L_DOWN},
        {LCP_OPEN, L_OPEN},
        {LCP_CLOSE, L_CLOSE},
        {LCP_CONFIGURE_REQUEST, L_RCR_GOOD},
        {LCP_CONFIGURE_ACK, L_RCA},
        {LCP_CONFIGURE_NAK, L_RCN},
        {LCP_TERMINATE_REQUEST, L_RTR},
        {LCP_TERMINATE_ACK, L_RTA},
        {LCP_OTHER_CODE, L_RUC},
        {LCP_CODE_REJECT, L_RXJ},
    };
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    for (const auto& step : ORDER) {
        if (!(events & step.bit)) continue;
        option_verdict& verdict = shared_verdict();
        uint8_t index = step.index;
        if (step.bit == LCP_CONFIGURE_REQUEST) {
            lcp_check_request(link, verdict);
            if (!verdict.well_formed) continue; // a malformed request is dropped
            if (!verdict_good(verdict)) index = L_RCR_BAD;
        }
        if (step.bit == LCP_TIMEOUT_RETRY) link->tx_id = uint8_t(link->tx_id + tx_time_get());
        if (step.bit == LCP_OPEN) link->tx_id = uint8_t(tx_time_get());
        lcp_run(link, index, verdict);
    }
    tx_mutex_put(&link->mutex);
}

void chap_state_macine(ppp_link* link, uint32_t events) {
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    if (events & CHAP_SEND_CHALLENGE) chap_send_challenge(link);
    if (events & CHAP_CHALLENGE_RECEIVED) chap_answer_challenge(link);
    if (events & CHAP_RESP_EVENT) chap_check_response(link);
    if (events & CHAP_SUCCESS_RECEIVED) link->chap_state = CHAP_SUCCESS;
    if (events & CHAP_FAILURE_RECEIVED) link->chap_state = CHAP_IDLE;
    if (events & CHAP_TIMEOUT) {
        link->chap_state = CHAP_IDLE;
        link->challenge_pending = false;
        link->authenticated = 0;
    }
    tx_mutex_put(&link->mutex);
}

void pap_state_machine(ppp_link* link, uint32_t events) {
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    if (events & PAP_REQUEST_RECEIVED) pap_check_request(link);
    if ((events & PAP_START) && link->pap_state == 1) pap_send_request(link);
    if ((events & PAP_ACK_RECEIVED) && link->pap_state == 2) {
        link->pap_state = 4;
        set_link_bits(link, PPP_PAP_DONE_BIT);
    }
    if ((events & PAP_NAK_RECEIVED) && link->pap_state == 2) link->pap_state = 1;
    if (events & PAP_TIMEOUT) {
        link->pap_state = 1;
        link->authenticated = 0;
    }
    tx_mutex_put(&link->mutex);
}

void ipcp_state_machine(ppp_link* link, uint32_t events) {
    static const struct {
        uint32_t bit;
        uint8_t index;
    } ORDER[] = {
        {IPCP_TIMEOUT, I_TO},
        {IPCP_CONFIGURE_REQUEST, I_RCR_GOOD},
        {IPCP_CONFIGURE_ACK, I_RCA},
        {IPCP_CONFIGURE_NAK, I_RCN},
        {IPCP_TERMINATE_REQUEST, I_RTR},
    };
    UINT rc = tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    if (rc != TX_SUCCESS) console_printf("ipcp_state_machine tx_mutex_get failed %02x\n", rc);
    for (const auto& step : ORDER) {
        if (!(events & step.bit)) continue;
        option_verdict& verdict = shared_verdict();
        uint8_t index = step.index;
        if (step.bit == IPCP_CONFIGURE_REQUEST) {
            control_packet p = packet_of(link);
            check_options(link, p.data, p.length, IPCP_OPTIONS,
                          sizeof IPCP_OPTIONS / sizeof *IPCP_OPTIONS, verdict);
            if (!verdict.well_formed) continue;
            if (!verdict_good(verdict)) index = I_RCR_BAD;
        }
        if (step.bit == IPCP_CONFIGURE_ACK || step.bit == IPCP_CONFIGURE_NAK)
            ipcp_take_address(link);
        ipcp_run(link, index, verdict);
    }
    if (rc == TX_SUCCESS) tx_mutex_put(&link->mutex);
}

void ppp_control_receive(ppp_link* link, uint16_t protocol) {
    if (!locate_packet(link)) {
        trace_printf("ppp_receive_packet_process: invalid packet\n");
        return;
    }
    control_packet p = packet_of(link);
    if (protocol == PPP_LCP || protocol == PPP_IPCP) link->rx_id = link->tx_id = p.id;
    uint32_t event = event_of(protocol, p.code);
    switch (protocol) {
    case PPP_LCP:
        lcp_state_machine(link, event);
        return;
    case PPP_CHAP:
        if (!link->chap_usable || event == 0) return;
        if (event == CHAP_CHALLENGE_RECEIVED && link->auth_of_peer == PPP_CHAP &&
            !link->challenge_pending && link->authenticated != 1)
            chap_state_macine(link, CHAP_SEND_CHALLENGE); // the link challenges the peer too
        chap_state_macine(link, event);
        return;
    case PPP_PAP:
        if (link->pap_usable && event) pap_state_machine(link, event);
        return;
    default: // IPCP: only over an opened, authenticated link
        if (link->lcp_state != PPP_OPENED || link->authenticated != 1 || event == 0) return;
        ipcp_state_machine(link, event);
        return;
    }
}

bool ppp_link_sequencer(ppp_link* link) {
    if (link->lcp_state != PPP_OPENED) {
        if (link->sequencer_step == 0) {
            lcp_state_machine(link, LCP_OPEN);
            link->sequencer_step = 1;
        }
        if (!take_link_bit(link, PPP_LCP_OPENED_BIT)) return false;
    }
    if (link->auth_of_peer != PPP_CHAP && link->auth_by_peer != PPP_CHAP) {
        if (link->sequencer_step == 1) link->sequencer_step = 2;
    } else if (link->authenticated != 1) {
        if (link->sequencer_step == 1) {
            if (!link->challenge_pending) chap_state_macine(link, CHAP_SEND_CHALLENGE);
            link->sequencer_step = 2;
        }
        if (!take_link_bit(link, AP_AUTHENTICATED)) return false;
    }
    if (link->ipcp_state != PPP_OPENED) {
        if (link->sequencer_step == 2) {
            if (!ipcp_offer_ready(link)) return false;
            link->ipcp_state = PPP_STOPPED;
            ipcp_state_machine(link, IPCP_START);
            link->sequencer_step = 3;
        }
        if (!take_link_bit(link, PPP_IPCP_OPENED_BIT)) return false;
    }
    return link->sequencer_step == 3;
}

void ppp_timeout_dispatch(ppp_link* link) {
    if (link->lcp_state >= PPP_CLOSING && link->lcp_state <= PPP_ACK_SENT) {
        lcp_state_machine(link, link->restart_counter ? LCP_TIMEOUT_RETRY : LCP_TIMEOUT_LAST);
        return;
    }
    if (link->lcp_state != PPP_OPENED) return;
    if (link->authenticated == 1) {
        if (link->ipcp_state >= PPP_REQ_SENT && link->ipcp_state <= PPP_ACK_SENT)
            ipcp_state_machine(link, IPCP_TIMEOUT);
        return;
    }
    if (link->challenge_pending) { // lost on the way, or its response was: again
        chap_state_macine(link, CHAP_SEND_CHALLENGE);
        return;
    }
    if (link->auth_by_peer == PPP_PAP) pap_state_machine(link, PAP_TIMEOUT);
    if (link->auth_by_peer == PPP_CHAP) chap_state_macine(link, CHAP_TIMEOUT);
}

void ppp_session_end(ppp_link* link, session_end_kind how) {
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    link_reset(link);
    link->lcp_state = how == SESSION_ACTIVE ? PPP_CLOSED : PPP_STOPPED;
    link->store_index = 0;
    tx_mutex_put(&link->mutex);
}

void ppp_protocol_reject(ppp_link* link) {
    if (link->lcp_state != PPP_OPENED) return; // only an opened LCP rejects protocols
    const uint8_t protocol[] = {uint8_t(link->protocol >> 8), uint8_t(link->protocol)};
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    send_reject(link, PROTOCOL_REJECT, protocol, sizeof protocol, link->plain + link->read_index,
                ppp_rx_remaining(link));
    tx_mutex_put(&link->mutex);
}

int ppp_chap_enable(ppp_link* link, chap_challenge_fn challenge, chap_secret_fn secret,
                    chap_secret_fn responder) {
    link->chap_challenge = challenge;
    link->chap_secret = secret;
    link->chap_responder = responder;
    link->chap_protocol = PPP_CHAP;
    if (challenge && responder) {
        link->auth_by_peer = PPP_CHAP;
        link->authenticated = 0;
    }
    if (secret) {
        link->auth_of_peer = PPP_CHAP;
        link->chap_state = CHAP_IDLE;
    }
    link->chap_usable = 1;
    return 0;
}
