#include "comm/links/ppp.h"
#include "platform/netstack/netstack.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/links/comm_activity.h"
#include "comm/links/hdlc.h"
#include "comm/links/link_worker.h"
#include "runtime/console.h"

#include <cstring>

namespace {

const ULONG TIMEOUT_TICKS_MIN = 1000;
const uint8_t ADDRESS_ALL = 0xFF;
const uint8_t CONTROL_UNNUMBERED = 0x03;
const uint32_t FRAME_TAIL_ROOM = 5; // FCS (both bytes escaped) and the closing flag
const uint32_t IP_HEADER_MIN = 20;

// ---- The worker ----

const link_worker_texts WORKER_TEXTS = {
    "PPP RX WORKER THREAD",
    "PPP Worker Events",
    "nx_ppp_worker_thread Allocation Error:%d! Ptr:%08x, Size:%d\n",
    "pmpp_create: nx_ppp_rx_thread failed %02x\n",
    "nx_ppp_create: tx_event_flags_create failed:0x%02X\n",
    "nx_ppp_create: failed to register with worker thread\n",
};

void serve_link(void* link);
link_timer* timer_of(void* link) {
    return &static_cast<ppp_link*>(link)->timer;
}

link_worker& worker() {
    static link_worker w = {&WORKER_TEXTS, serve_link, timer_of, {}, {}, {}, 0, 0};
    return w;
}

struct created_links {
    ppp_link* head = nullptr;
    uint32_t count = 0;
};
created_links& created() {
    static created_links c;
    return c;
}

// The direct-cable handshake: the window of the last bytes since a 'C',
// shared by every link of the worker.
struct handshake_window {
    uint8_t bytes[10];
    uint8_t index;
};
handshake_window& window() {
    static handshake_window w;
    return w;
}

const char HANDSHAKE[] = "CLIENT";
const char HANDSHAKE_ANSWER[] = "CLIENTSERVER";

void feed_handshake(ppp_link* link, uint8_t byte) {
    handshake_window& w = window();
    if (byte == 'C') {
        std::memset(w.bytes, 0, sizeof w.bytes);
        w.index = 0;
    } else if (w.index < sizeof w.bytes - 1) {
        w.index++;
    }
    w.bytes[w.index] = byte;
    uint8_t expected[sizeof w.bytes] = {};
    std::memcpy(expected, HANDSHAKE, sizeof HANDSHAKE - 1);
    if (std::memcmp(w.bytes, expected, sizeof w.bytes) != 0) return;
    w.bytes[0] = 0; // matched once: the next 'C' starts the window afresh
    ppp_session_restart(link, SESSION_PASSIVE); // a new peer on the cable
    if (!link->write_byte) return;
    for (uint32_t i = 0; i < sizeof HANDSHAKE_ANSWER - 1; i++)
        link->write_byte(uint8_t(HANDSHAKE_ANSWER[i]));
}

// The comm time-out; the CHAP restart timer while a challenge of ours waits.
ULONG timer_ticks(const ppp_link* link) {
    if (link->challenge_pending) return CHAP_RESTART_TICKS;
    ULONG ticks = link->timeout_ms * 100 / 1000;
    return ticks < TIMEOUT_TICKS_MIN ? TIMEOUT_TICKS_MIN : ticks;
}

void serve_link(void* entry) {
    ppp_link* link = static_cast<ppp_link*>(entry);
    ppp_link_sequencer(link);
    uint8_t byte;
    while (link->read_byte && link->read_byte(&byte)) {
        ppp_byte_receive(link, byte);
        feed_handshake(link, byte);
    }
    // Bytes still in the ring after a session's end belong to no peer that
    // authenticated: they are taken as the new session's.
    uint8_t due = link->session_end_due;
    if (due != SESSION_KEEP) {
        link->session_end_due = SESSION_KEEP;
        ppp_session_end(link, session_end_kind(due));
    }
    int result = PMPP_MORE;
    if (tx_semaphore_get(&link->ring_sem, TX_NO_WAIT) == TX_SUCCESS) {
        result = ppp_receive_step(link, false);
        link_timer_stop(link->timer);
    } else {
        CommLED_Activity(link->activity_bit, 0);
    }
    if (link->timer.timeout_flag) {
        ppp_receive_step(link, true);
        link->timer.timeout_flag = link->timer.active = 0;
    }
    if (!link->timer.active) link_timer_start(link->timer, timer_ticks(link));
    if (result == PMPP_DROP) link->store_index = 0;
    if (result == PMPP_FRAME) {
        link->frames_received++;
        ppp_receive_packet_process(link);
        link->store_index = 0;
    }
    // Bytes left in the ring, or a frame that may have moved the bring-up
    // on: the sequencer runs again at once.
    if (link->count || result == PMPP_FRAME)
        tx_event_flags_set(link->wake_group, link->wake_flag, TX_OR);
}

// ---- Frames ----

bool needs_escape(const ppp_link* link, uint8_t byte) {
    return byte == HDLC_FLAG || byte == HDLC_ESCAPE ||
           (byte < 0x20 && ((link->tx_accm >> byte) & 1u));
}

void raw_out(ppp_link* link, uint8_t byte) {
    if (link->transmit_length >= PPP_FRAME_BYTES) {
        link->transmit_overflow = true;
        return;
    }
    link->transmit[link->transmit_length++] = byte;
}

void escaped_out(ppp_link* link, uint8_t byte) {
    if (needs_escape(link, byte)) {
        raw_out(link, HDLC_ESCAPE);
        raw_out(link, byte ^ HDLC_ESCAPE_XOR);
    } else {
        raw_out(link, byte);
    }
}

void open_frame(ppp_link* link) {
    const uint8_t header[] = {ADDRESS_ALL, CONTROL_UNNUMBERED};
    link->transmit_length = 0;
    link->transmit_overflow = false;
    raw_out(link, HDLC_FLAG);
    raw_out(link, ADDRESS_ALL);
    raw_out(link, HDLC_ESCAPE); // the control byte always goes escaped
    raw_out(link, CONTROL_UNNUMBERED ^ HDLC_ESCAPE_XOR);
    link->transmit_fcs = pmpp_fcs(PMPP_FCS_INITIAL, header, sizeof header);
}

// The raw frame [0, length) unescaped into `plain` without its flags; a
// good FCS is cut off. -> false for a bad or short frame (address, control,
// a protocol byte and the FCS at least).
bool frame_check(ppp_link* link, uint32_t length) {
    int32_t n = hdlc_frame_check(link->frame, length, link->plain, 5);
    if (n < 0) return false;
    link->plain_length = uint16_t(n);
    return true;
}

// ---- Information that is not a control packet ----

void snmp_frame(ppp_link* link) {
    link->framing = PPP_SNMP_SHORT;
    ppp_snmp_receive(link);
}

// One datagram a frame: its total length is the frame's information, no more, no less.
void ip_frame(ppp_link* link) {
    link->framing = uint8_t(PPP_IP);
    uint32_t left = ppp_rx_remaining(link);
    const uint8_t* datagram = link->plain + link->read_index;
    uint32_t total = left >= 4 ? uint32_t(datagram[2]) << 8 | datagram[3] : 0;
    if (total < IP_HEADER_MIN || total != left || total > PPP_MTU || !link->up) {
        link->datagrams_dropped++;
        return;
    }
    if (link->ip_input)
        link->ip_input(link, datagram, total);
    else
        nx_link_datagram_receive(link->ip, datagram, total);
}

struct protocol_row {
    uint16_t protocol;
    bool after_authentication;
    void (*receive)(ppp_link* link);
};
const protocol_row PROTOCOLS[] = {
    {PPP_SNMP_SHORT, true, snmp_frame},
    {PPP_SNMP, true, snmp_frame},
    {PPP_IP, true, ip_frame},
};

} // namespace

int ppp_create(ppp_link* link, const char* name, NX_IP* ip, snmp_agent* agent, UINT priority,
               ppp_byte_fn outside_byte, ppp_byte_fn write_byte) {
    uint8_t chap_wanted = link->chap_enable;
    std::memset(static_cast<void*>(link), 0, sizeof *link);
    link->chap_enable = chap_wanted;
    link->name = name;
    link->ip = ip;
    link->agent = agent;
    link->framing = PPP_SNMP_SHORT;
    link->outside_byte = outside_byte;
    link->write_byte = write_byte;
    link->lcp_state = PPP_CLOSED;
    link->mru = PPP_MRU;
    link->rx_id = link->tx_id = uint8_t(tx_time_get());
    link->authenticated = 1;
    link->tx_accm = link->accm = 0xFFFFFFFFu;
    link->ipcp_state = PPP_STOPPED;
    link->peer_address = snmp_ppp_peer_address;
    UINT rc = tx_event_flags_create(&link->ip_events, "PPP IP EVENTS");
    if (rc != TX_SUCCESS) console_printf("ppp_create: tx_event_flags_create failed %02x\n", rc);
    rc = tx_mutex_create(&link->mutex, "PPP PROTECT MUTEX", TX_NO_INHERIT);
    if (rc != TX_SUCCESS)
        console_printf("ppp_create: tx_mutex_create PPP PROTECT MUTEX failed  %02x\n", rc);
    rc = tx_semaphore_create(&link->tx_ready, "PPP TX READY SEMAPHORE", 0);
    if (rc != TX_SUCCESS)
        console_printf("ppp_create: tx_semaphore_create PPP TX READY SEMAPHORE failed %02x\n", rc);
    link->activity_bit = CommLED_RegisterAgent();
    link_worker_start(worker(), priority);
    int entry = link_worker_register(worker(), link);
    if (entry >= 0) {
        link->wake_group = &worker().events;
        link->wake_flag = 1u << entry;
        rc = link_timer_create(worker(), entry, "PPP Comm Timeout");
        if (rc != TX_SUCCESS) console_printf("nx_ppp_create: tx_timer_create failed:0x%02X\n", rc);
    }
    rc = tx_semaphore_create(&link->ring_sem, "PPP SERIAL BUFFER SEMAPHORE", 0);
    if (rc != TX_SUCCESS)
        console_printf("ppp_create: tx_semaphore_create PPP SERIAL BUFFER SEMAPHORE failed %02x\n",
                       rc);
    {
        CInterruptLock masked;
        link->id = PPP_LINK_ID;
        link->next = created().head;
        created().head = link;
        created().count++;
    }
    if (link->chap_enable) {
        rc = UINT(ppp_chap_enable(link, snmp_chap_challenge, snmp_chap_get_secret,
                                  snmp_chap_get_responder));
        if (rc != 0) console_printf("ppp_create: ppp_chap enable failed %02x\n", rc);
    }
    return 0;
}

int ppp_byte_receive(ppp_link* link, uint8_t byte) {
    {
        CInterruptLock masked;
        if (link->count >= PPP_RING_BYTES) {
            link->bytes_dropped++;
            return PMPP_RING_FULL;
        }
        link->ring[link->head] = byte;
        link->head = uint16_t((link->head + 1) % PPP_RING_BYTES);
        link->count++;
    }
    UINT rc = tx_semaphore_put(&link->ring_sem);
    if (rc != TX_SUCCESS) console_printf("---ppp_byte_receive tx_sem put failed %02x\n", rc);
    return 0;
}

ppp_link* ppp_worker_link(uint32_t entry) {
    return entry < PPP_LINKS ? static_cast<ppp_link*>(worker().links[entry]) : nullptr;
}

void ppp_set_timeout(ppp_link* link, uint32_t milliseconds) {
    link->timeout_ms = milliseconds;
}

int ppp_ip_address_set(ppp_link* link, uint32_t local, uint32_t peer) {
    for (int i = 0; i < 4; i++) {
        link->local_ip[i] = uint8_t(local >> (24 - 8 * i));
        link->peer_ip[i] = uint8_t(peer >> (24 - 8 * i));
    }
    link->ipcp_state = PPP_CLOSED;
    return 0;
}

void ppp_tx_add_byte(ppp_link* link, uint8_t byte) {
    if (link->transmit_length == 0) open_frame(link);
    link->transmit_fcs = pmpp_fcs(link->transmit_fcs, &byte, 1);
    uint32_t size = needs_escape(link, byte) ? 2 : 1;
    if (link->transmit_length + size + FRAME_TAIL_ROOM > PPP_FRAME_BYTES) {
        link->transmit_overflow = true;
        return;
    }
    escaped_out(link, byte);
}

bool ppp_send_frame(ppp_link* link) {
    if (link->transmit_length == 0) return false;
    if (link->transmit_overflow) {
        console_printf("ppp_send_frame: frame does not fit, not sent\n");
        link->transmit_length = 0;
        return false;
    }
    link->frames_sent++;
    uint16_t fcs = uint16_t(~link->transmit_fcs);
    escaped_out(link, uint8_t(fcs));
    escaped_out(link, uint8_t(fcs >> 8));
    raw_out(link, HDLC_FLAG);
    uint32_t length = link->transmit_length;
    link->transmit_length = 0;
    if (link->send_frame && link->send_frame(link->transmit, length)) return true;
    if (!link->write_byte) return true;
    for (uint32_t i = 0; i < length; i++)
        link->write_byte(link->transmit[i]);
    return true;
}

uint32_t ppp_frame_bytes(const ppp_link* link, uint16_t protocol, const uint8_t* data,
                         uint32_t length) {
    uint32_t size = 4 + FRAME_TAIL_ROOM; // 7E FF 7D 23 ... FCS 7E
    const uint8_t protocol_bytes[] = {uint8_t(protocol >> 8), uint8_t(protocol)};
    for (uint8_t byte : protocol_bytes)
        size += needs_escape(link, byte) ? 2 : 1;
    for (uint32_t i = 0; i < length; i++)
        size += needs_escape(link, data[i]) ? 2 : 1;
    return size;
}

bool ppp_rx_get_byte(ppp_link* link, uint8_t* byte) {
    if (link->read_index >= link->plain_length) return false;
    *byte = link->plain[link->read_index++];
    return true;
}

uint32_t ppp_rx_remaining(const ppp_link* link) {
    return link->read_index < link->plain_length ? link->plain_length - link->read_index : 0u;
}

int ppp_receive_step(ppp_link* link, bool timeout) {
    if (timeout) {
        ppp_timeout_dispatch(link);
        link->store_index = 0;
        return PMPP_MORE;
    }
    CommLED_Activity(link->activity_bit, 1);
    uint8_t byte;
    if (!hdlc_ring_take<PPP_RING_BYTES>(link, &byte)) return PMPP_MORE;
    CommLED_NotifyPanel(1, PANEL_NOTIFY_EVERY_BYTE);
    hdlc_byte stored = hdlc_store(link->frame, PPP_FRAME_BYTES, link->store_index, byte);
    switch (stored) {
    case HDLC_OUTSIDE:
    case HDLC_OVERRUN: // longer than any frame: the receiver waits for the next flag
        hdlc_refused(link, stored, byte);
        return PMPP_DROP;
    case HDLC_CLOSED:
        if (frame_check(link, link->store_index + 1u)) return PMPP_FRAME;
        trace_printf("receive_buf: CRC failed %02X \n", byte);
        return PMPP_DROP;
    default:
        return PMPP_MORE;
    }
}

void ppp_receive_packet_process(ppp_link* link) {
    link->read_index = 2; // address and control
    uint8_t first = 0, second = 0;
    if (!ppp_rx_get_byte(link, &first)) return;
    uint16_t protocol = first;
    if (first != PPP_SNMP_SHORT) {
        if (!ppp_rx_get_byte(link, &second)) return;
        protocol = uint16_t(first << 8 | second);
    }
    link->protocol = protocol;
    if (protocol == PPP_LCP || protocol == PPP_PAP || protocol == PPP_CHAP ||
        protocol == PPP_IPCP) {
        ppp_control_receive(link, protocol);
        return;
    }
    for (const protocol_row& row : PROTOCOLS) {
        if (row.protocol != protocol) continue;
        if (row.after_authentication && link->authenticated != 1) {
            trace_printf("ppp_receive_packet_process: authenticated not TRUE\n");
            return;
        }
        row.receive(link);
        return;
    }
    ppp_protocol_reject(link);
}

void ppp_ip_send(ppp_link* link, const uint8_t* datagram, uint32_t length) {
    if (!link->up || length > PPP_MTU) return;
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    link->transmit_length = 0;
    ppp_tx_add_byte(link, uint8_t(PPP_IP >> 8));
    ppp_tx_add_byte(link, uint8_t(PPP_IP));
    for (uint32_t i = 0; i < length; i++)
        ppp_tx_add_byte(link, datagram[i]);
    ppp_send_frame(link);
    tx_mutex_put(&link->mutex);
    tx_semaphore_put(&link->tx_ready);
}

void ppp_link_down(ppp_link* link) {
    lcp_state_machine(link, PPP_EVENT_LINK_DOWN);
}

void ppp_link_sequencer_restart(ppp_link* link) {
    link->sequencer_step = 0;
}

void ppp_session_restart(ppp_link* link, session_end_kind how) {
    {
        CInterruptLock masked;
        if (how > link->session_end_due) link->session_end_due = how;
    }
    if (link->wake_group) tx_event_flags_set(link->wake_group, link->wake_flag, TX_OR);
}
