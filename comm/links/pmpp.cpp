#include "comm/links/pmpp.h"
#include "platform/netstack/netstack.h"

#include "comm/links/comm_activity.h"
#include "comm/links/hdlc.h"
#include "comm/links/link_worker.h"
#include "comm/links/pmpp_rdi.h"
#include "comm/snmp/snmp_agent.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const ULONG TIMEOUT_TICKS_MIN = 100;
const uint32_t IP_HEADER_MIN = 20;
const uint32_t FRAME_ROOM = 10; // an IP frame is sent when it reaches the maximum less this
const uint8_t ESCAPE_XOR = 0x20;
const uint8_t CONTROL_UNNUMBERED = 0x03;
const uint32_t TOO_BIG_ROOM = 300;
const ULONG RDI_TIMER_EXTRA = 2;

void serve_link(void* link);
link_timer* timer_of(void* link) {
    return &static_cast<pmpp_link*>(link)->timer;
}

const link_worker_texts WORKER_TEXTS = {
    "PMPP RX WORKER THREAD",
    "PMPP Worker Events",
    "nx_pmpp_worker_thread Allocation Error:%d! Ptr:%08x, Size:%d\n",
    "pmpp_create: nx_pmpp_rx_thread failed %02x\n",
    "nx_pmpp_create: tx_event_flags_create failed:0x%02X\n",
    "nx_pmpp_create: failed to register with worker thread\n",
};

link_worker& worker() {
    static link_worker w = {&WORKER_TEXTS, serve_link, timer_of, {}, {}, {}, 0, 0};
    return w;
}

struct created_links {
    pmpp_link* head = nullptr; // the ring of created links (newest first)
    uint32_t count = 0;
};
created_links& created() {
    static created_links c;
    return c;
}

// ---- Frame building ----

struct frame_builder {
    uint8_t* buffer;
    uint32_t capacity;
    uint32_t length;
    bool full;

    void raw(uint8_t byte) {
        if (length >= capacity) {
            full = true;
            return;
        }
        buffer[length++] = byte;
    }
    void escaped(uint8_t byte) {
        if (byte == PMPP_FLAG || byte == PMPP_ESCAPE) {
            raw(PMPP_ESCAPE);
            raw(byte ^ ESCAPE_XOR);
        } else {
            raw(byte);
        }
    }
};

// 7E, this station's address field, 13 and (when given) the IPI.
void open_frame(frame_builder& b, uint16_t station, int ipi) {
    b.raw(PMPP_FLAG);
    uint8_t field[2];
    uint32_t bytes = pmpp_address_field(station, field);
    if (bytes == 1)
        b.escaped(field[0]);
    else
        for (uint32_t i = 0; i < bytes; i++)
            b.raw(field[i]);
    b.raw(PMPP_CONTROL);
    if (ipi >= 0) b.raw(uint8_t(ipi));
}

// Counts a frame, appends the FCS and the closing flag and puts the frame out.
void transmit(pmpp_link* link) {
    link->frames_sent++;
    static uint8_t plain[PMPP_FRAME_BYTES];
    uint32_t n = hdlc_unescape(link->transmit, 1, link->transmit_length, plain);
    uint16_t fcs = uint16_t(~pmpp_fcs(PMPP_FCS_INITIAL, plain, n));
    frame_builder b{link->transmit, PMPP_FRAME_BYTES, link->transmit_length, false};
    b.escaped(uint8_t(fcs));
    b.escaped(uint8_t(fcs >> 8));
    b.raw(PMPP_FLAG);
    if (b.full) {
        console_printf("ntcip_pmpp_packet_send: frame does not fit, not sent\n");
        return;
    }
    link->transmit_length = uint16_t(b.length);
    if (link->send_frame && link->send_frame(link->transmit, b.length)) return;
    if (!link->write_byte) return;
    for (uint32_t i = 0; i < b.length; i++)
        link->write_byte(link->transmit[i]);
}

// The bytes a frame of this message takes: flag, escaped address field,
// control, IPI, escaped message, FCS (escaped) and flag.
uint32_t frame_bytes(uint16_t station, const uint8_t* data, uint32_t length) {
    uint8_t field[2];
    uint32_t bytes = pmpp_address_field(station, field);
    uint32_t size = 1 + bytes + (bytes == 1 && (field[0] == PMPP_FLAG || field[0] == PMPP_ESCAPE));
    size += 2 + 4 + 1 + length;
    for (uint32_t i = 0; i < length; i++)
        size += data[i] == PMPP_FLAG || data[i] == PMPP_ESCAPE;
    return size;
}

// ---- A tooBig answer in place of a response that does not fit ----

struct ber_item {
    uint8_t tag;
    const uint8_t* content;
    uint32_t length;
    uint32_t size; // header and content
};

bool ber_read(const uint8_t* p, uint32_t available, ber_item& item) {
    if (available < 2) return false;
    item.tag = p[0];
    uint32_t header = 2, length = p[1];
    if (p[1] & 0x80) {
        uint32_t octets = p[1] & 0x7F;
        if (octets == 0 || octets > 2 || available < 2 + octets) return false;
        length = 0;
        for (uint32_t i = 0; i < octets; i++)
            length = length << 8 | p[2 + i];
        header += octets;
    }
    if (length > available - header) return false;
    item.content = p + header;
    item.length = length;
    item.size = header + length;
    return true;
}

uint32_t ber_header(uint8_t* out, uint8_t tag, uint32_t length) {
    out[0] = tag;
    if (length < 0x80) {
        out[1] = uint8_t(length);
        return 2;
    }
    out[1] = 0x81;
    out[2] = uint8_t(length);
    return 3;
}

// The response turned into {version, community, GetResponse {request id,
// tooBig, 0, no varbinds}}. -> its length, 0 when the response is not a
// community message.
uint32_t too_big_answer(const uint8_t* response, uint32_t length, uint8_t* out, uint32_t room) {
    ber_item message, version, community, pdu, request_id;
    if (!ber_read(response, length, message) || message.tag != 0x30) return 0;
    const uint8_t* p = message.content;
    uint32_t left = message.length;
    if (!ber_read(p, left, version) || version.tag != 0x02) return 0;
    const uint8_t* version_at = p;
    p += version.size, left -= version.size;
    if (!ber_read(p, left, community) || community.tag != 0x04) return 0;
    const uint8_t* community_at = p;
    p += community.size, left -= community.size;
    if (!ber_read(p, left, pdu) || !ber_read(pdu.content, pdu.length, request_id)) return 0;
    const uint8_t status[] = {0x02, 0x01, 0x01, 0x02, 0x01, 0x00, 0x30, 0x00};
    uint32_t pdu_content = request_id.size + sizeof status;
    uint32_t body = version.size + community.size + (pdu_content < 0x80 ? 2 : 3) + pdu_content;
    if (body + 3 > room) return 0;
    uint32_t n = ber_header(out, 0x30, body);
    std::memcpy(out + n, version_at, version.size);
    n += version.size;
    std::memcpy(out + n, community_at, community.size);
    n += community.size;
    n += ber_header(out + n, pdu.tag, pdu_content);
    std::memcpy(out + n, pdu.content, request_id.size);
    n += request_id.size;
    std::memcpy(out + n, status, sizeof status);
    return n + sizeof status;
}

// ---- Receiving ----

void link_reply(pmpp_link* link) {
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    if (link->held_length) {
        std::memcpy(link->transmit, link->held, link->held_length);
        link->transmit_length = link->held_length;
        link->held_length = 0;
    } else {
        frame_builder b{link->transmit, PMPP_FRAME_BYTES, 0, false};
        open_frame(b, link->station_address, -1);
        link->transmit_length = uint16_t(b.length);
    }
    transmit(link);
    tx_mutex_put(&link->mutex);
}

// The information field of an SNMP frame: one message, exactly.
void snmp_receive(pmpp_link* link, const uint8_t* info, uint32_t length) {
    if (!pmpp_snmp_message_fills(info, length)) return;
    if (link->agent) snmp_message_process(link->agent, info, length);
}

// IP datagrams: 20 <= total length <= the link's MTU, one a frame, whose
// total length is the frame's information, no more and no less (a datagram
// of the MTU fits one frame, so none continues in the next).
void ip_receive(pmpp_link* link, const uint8_t* info, uint32_t length) {
    uint32_t total = length >= 4 ? uint32_t(info[2]) << 8 | info[3] : 0;
    if (total < IP_HEADER_MIN || total > PMPP_FRAME_BYTES || total != length) {
        link->datagrams_dropped++;
        return;
    }
    link->datagram_total = uint16_t(total);
    std::memcpy(link->datagram, info, total);
    link->datagram_have = 0;
    if (!link->up)
        link->datagrams_dropped++;
    else if (link->ip_input)
        link->ip_input(link, link->datagram, link->datagram_total);
    else
        nx_link_datagram_receive(link->ip, link->datagram, link->datagram_total);
}

// FCS check of the raw frame [0, length): unescaped into `plain` without the
// flags; the FCS bytes are cut off a good frame.
bool frame_check(pmpp_link* link, uint32_t length) {
    int32_t n = hdlc_frame_check(link->frame, length, link->plain, 4);
    if (n < 0) return false;
    link->plain_length = uint16_t(n);
    return true;
}

// Outside the block-transfer mode the inter-character time-out (at least a
// second); in the mode the current state's time-out.
void restart_timer(pmpp_link* link) {
    ULONG ticks = link->timeout_ms * 100 / 1000;
    if (ticks < TIMEOUT_TICKS_MIN) ticks = TIMEOUT_TICKS_MIN;
    if (link->rdi_flag) ticks = rdi_state_ticks(link) + RDI_TIMER_EXTRA;
    link_timer_start(link->timer, ticks);
}

// One pass of the worker over one link.
void serve_link(void* entry) {
    pmpp_link* link = static_cast<pmpp_link*>(entry);
    uint8_t byte;
    while (link->read_byte && link->read_byte(&byte))
        _nx_pmpp_byte_receive(link, byte);
    int result = PMPP_MORE;
    if (tx_semaphore_get(&link->ring_sem, TX_NO_WAIT) == TX_SUCCESS) {
        result = link->rdi_flag ? rdi_receive_step(link) : pmpp_receive_step(link, false);
        link_timer_stop(link->timer);
    } else {
        CommLED_Activity(link->activity_bit, 0);
    }
    if (link->timer.timeout_flag) {
        if (link->rdi_flag)
            rdi_timeout(link);
        else
            pmpp_receive_step(link, true);
        link->timer.timeout_flag = link->timer.active = 0;
    }
    if (!link->timer.active) restart_timer(link);
    if (result == PMPP_DROP) link->store_index = 0;
    if (result == PMPP_FRAME) {
        link->frames_received++;
        pmpp_dispatch_frame(link);
        link->store_index = 0;
    }
    if (link->count) tx_event_flags_set(link->wake_group, link->wake_flag, TX_OR);
}

void create_kernel_objects(pmpp_link* link) {
    UINT rc = tx_event_flags_create(&link->ip_events, "PMPP IP EVENTS");
    if (rc != TX_SUCCESS) console_printf("pmpp_create: tx_event_flags_create failed %02x\n", rc);
    rc = tx_mutex_create(&link->mutex, "PMPP PROTECT MUTEX", TX_NO_INHERIT);
    if (rc != TX_SUCCESS)
        console_printf("pmpp_create: tx_mutex_create PMPP PROTECT MUTEX failed  %02x\n", rc);
    rc = tx_semaphore_create(&link->tx_ready, "PMPP TX READY SEMAPHORE", 0);
    if (rc != TX_SUCCESS)
        console_printf("pmpp_create: tx_semaphore_create PMPP TX READY SEMAPHORE failed %02x\n",
                       rc);
}

} // namespace

bool pmpp_snmp_message_fills(const uint8_t* info, uint32_t length) {
    uint32_t header = 2, content = length >= 2 ? info[1] : 0;
    bool good = length >= 2;
    if (good && (info[1] & 0x80)) {
        uint32_t octets = info[1] & 0x7F;
        good = octets != 0 && octets <= 2 && length >= 2 + octets;
        content = 0;
        for (uint32_t i = 0; good && i < octets; i++)
            content = content << 8 | info[2 + i];
        header += octets;
    }
    if (good && header + content == length) return true;
    trace_printf("SNMP message of %u bytes in a frame of %u: refused\n", unsigned(header + content),
                 unsigned(length));
    TheDatabase().IncCounter(obj::snmpInASNParseErrs);
    return false;
}

uint32_t pmpp_address_field(uint16_t address, uint8_t field[2]) {
    if (address < 64) {
        field[0] = uint8_t(address << 2 | 1);
        return 1;
    }
    field[0] = uint8_t((address << 2) & 0xFC);
    field[1] = uint8_t(address >> 5 | 1);
    return 2;
}

uint16_t pmpp_fcs(uint16_t fcs, const uint8_t* data, uint32_t length) {
    for (uint32_t i = 0; i < length; i++) {
        fcs ^= data[i];
        for (int bit = 0; bit < 8; bit++)
            fcs = (fcs & 1) ? uint16_t((fcs >> 1) ^ 0x8408) : uint16_t(fcs >> 1);
    }
    return fcs;
}

int pmpp_create(pmpp_link* link, const char* name, NX_IP* ip, snmp_agent* agent, UINT priority,
                pmpp_byte_fn outside_byte, pmpp_byte_fn write_byte, pmpp_read_fn read_byte) {
    uint16_t station = link->station_address;
    std::memset(static_cast<void*>(link), 0, sizeof *link);
    link->station_address = station;
    link->name = name;
    link->ip = ip;
    link->agent = agent;
    link->ipi = PMPP_IPI_SNMP;
    link->outside_byte = outside_byte;
    link->write_byte = write_byte;
    link->read_byte = read_byte;
    link->max_frame = PMPP_FRAME_BYTES;
    link->rdi.state = RDI_WAITING;
    create_kernel_objects(link);
    link->activity_bit = CommLED_RegisterAgent();
    link_worker_start(worker(), priority);
    int entry = link_worker_register(worker(), link);
    if (entry < 0) return 1;
    link->wake_group = &worker().events;
    link->wake_flag = 1u << entry;
    UINT rc = link_timer_create(worker(), entry, "PMPP Comm Timeout");
    if (rc != TX_SUCCESS) console_printf("nx_pmpp_create: tx_timer_create failed:0x%02X\n", rc);
    rc = tx_semaphore_create(&link->ring_sem, "PMPP SERIAL BUFFER SEMAPHORE", 0);
    if (rc != TX_SUCCESS)
        console_printf(
            "pmpp_create: tx_semaphore_create PMPP SERIAL BUFFER SEMAPHORE failed %02x\n", rc);
    CInterruptLock masked;
    link->id = PMPP_LINK_ID;
    link->next = created().head;
    created().head = link;
    created().count++;
    return 0;
}

pmpp_link* pmpp_worker_link(uint32_t entry) {
    return entry < PMPP_LINKS ? static_cast<pmpp_link*>(worker().links[entry]) : nullptr;
}

int _nx_pmpp_byte_receive(pmpp_link* link, uint8_t byte) {
    {
        CInterruptLock masked;
        if (link->count >= PMPP_RING_BYTES) {
            link->bytes_dropped++;
            trace_printf("_nx_pmpp_byte_receive: error queue full\n");
            return PMPP_RING_FULL;
        }
        link->ring[link->head] = byte;
        link->head = uint16_t((link->head + 1) % PMPP_RING_BYTES);
        link->count++;
    }
    UINT rc = tx_semaphore_put(&link->ring_sem);
    if (rc != TX_SUCCESS) trace_printf("---pmpp_byte_receive tx_sem put failed %02x\n", rc);
    return 0;
}

void pmpp_set_timeout(pmpp_link* link, uint32_t milliseconds) {
    link->timeout_ms = milliseconds;
}

void pmpp_set_rdi_parameters(pmpp_link* link, uint32_t ack_timeout, uint32_t retries,
                             uint32_t remote_address, uint32_t remote_lid) {
    link->rdi_ack_timeout = ack_timeout;
    link->rdi_retries = retries;
    link->rdi_remote_address = remote_address;
    link->rdi_remote_lid = remote_lid;
}

bool pmpp_ring_take(pmpp_link* link, uint8_t* byte) {
    CommLED_Activity(link->activity_bit, 1);
    return hdlc_ring_take<PMPP_RING_BYTES>(link, byte);
}

uint32_t pmpp_too_big_answer(const uint8_t* response, uint32_t length, uint8_t* out,
                             uint32_t room) {
    return too_big_answer(response, length, out, room);
}

int pmpp_receive_step(pmpp_link* link, bool timeout) {
    if (timeout) {
        link->store_index = 0;
        return PMPP_MORE;
    }
    uint8_t byte;
    if (!pmpp_ring_take(link, &byte)) return PMPP_MORE;
    CommLED_NotifyPanel(1, PANEL_NOTIFY_BYTES);
    hdlc_byte stored = hdlc_store(link->frame, PMPP_RX_FRAME_BYTES, link->store_index, byte);
    switch (stored) {
    case HDLC_OUTSIDE:
    case HDLC_OVERRUN: // longer than any frame: the receiver waits for the next flag
        hdlc_refused(link, stored, byte);
        return PMPP_DROP;
    case HDLC_RESTARTED:
        trace_printf("pmpp_receive_buffer_process: (byte == 0x7e) && (previous_byte == 0x7e)\n");
        return PMPP_MORE;
    case HDLC_STORED:
        return PMPP_MORE;
    case HDLC_CLOSED: {
        uint32_t length = link->store_index + 1u;
        if (frame_check(link, length)) return PMPP_FRAME;
        uint8_t ends[8];
        for (uint32_t i = 0; i < 4; i++) {
            ends[i] = link->frame[i < length ? i : length - 1];
            ends[4 + i] = link->frame[length >= 4 - i ? length - 4 + i : 0];
        }
        trace_printf("RX CRC failed length:%u start:%02X,%02X,%02X,%02Xend:%02X,%02X,%02X,%02X \n",
                     unsigned(length), ends[0], ends[1], ends[2], ends[3], ends[4], ends[5],
                     ends[6], ends[7]);
        return PMPP_DROP;
    }
    }
    return PMPP_MORE;
}

void pmpp_dispatch_frame(pmpp_link* link) {
    const uint8_t* p = link->plain;
    uint32_t n = link->plain_length;
    uint32_t at = 1;
    uint16_t address = p[0] >> 2;
    if (!(p[0] & 1)) {
        if (n < 3) return;
        address = uint16_t((p[0] >> 2) | ((p[1] & 0xFE) << 5));
        at = 2;
    }
    bool group = p[0] & 2;
    bool accepted =
        address == PMPP_ALL_STATIONS ||
        (group ? TheDatabase().IsGroupAddress(address) != 0 : address == link->station_address);
    if (!accepted || at >= n) return;
    link->group_flag = group ? 0xFF : 0;
    link->last_address = address;
    uint8_t control = p[at++];
    if (control == PMPP_POLL) {
        if (at < n && p[at] == PMPP_POLL_FINAL) link_reply(link);
        at++;
    } else if (control != CONTROL_UNNUMBERED && control != PMPP_CONTROL) {
        return;
    }
    if (at >= n) return;
    uint8_t ipi = p[at++];
    if (ipi == PMPP_IPI_SNMP) {
        link->ipi = PMPP_IPI_SNMP;
        snmp_receive(link, p + at, n - at);
    } else if (ipi == PMPP_IPI_IP) {
        link->ipi = PMPP_IPI_IP;
        ip_receive(link, p + at, n - at);
    }
}

void ntcip_pmpp_packet_send(snmp_agent* agent, pmpp_link* link, const uint8_t* data,
                            uint32_t length) {
    (void)agent;
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    static uint8_t too_big[TOO_BIG_ROOM];
    if (frame_bytes(link->station_address, data, length) > link->max_frame) {
        uint32_t answer = too_big_answer(data, length, too_big, sizeof too_big);
        if (answer == 0) {
            console_printf("ntcip_pmpp_packet_send: response of %u bytes does not fit a frame\n",
                           unsigned(length));
            tx_mutex_put(&link->mutex);
            return;
        }
        TheDatabase().IncCounter(obj::snmpOutTooBigs);
        data = too_big;
        length = answer;
    }
    frame_builder b{link->transmit, PMPP_FRAME_BYTES, 0, false};
    open_frame(b, link->station_address, PMPP_IPI_SNMP);
    for (uint32_t i = 0; i < length; i++)
        b.escaped(data[i]);
    link->transmit_length = uint16_t(b.length);
    if (link->last_address != PMPP_ALL_STATIONS && link->group_flag == 0) {
        transmit(link);
    } else {
        std::memcpy(link->held, link->transmit, b.length);
        link->held_length = uint16_t(b.length);
    }
    tx_mutex_put(&link->mutex);
}

void pmpp_ip_send(pmpp_link* link, const uint8_t* datagram, uint32_t length) {
    if (!link->up) return;
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    frame_builder b{link->transmit, PMPP_FRAME_BYTES, 0, false};
    open_frame(b, link->station_address, PMPP_IPI_IP);
    for (uint32_t i = 0; i < length; i++) {
        b.escaped(datagram[i]);
        if (b.length + 2 + FRAME_ROOM < link->max_frame && i + 1 < length) continue;
        link->transmit_length = uint16_t(b.length);
        transmit(link);
        b = frame_builder{link->transmit, PMPP_FRAME_BYTES, 0, false};
        open_frame(b, link->station_address, PMPP_IPI_IP);
    }
    tx_mutex_put(&link->mutex);
    tx_semaphore_put(&link->tx_ready);
}
