#include "comm/links/snmp_ethernet.h"

#include "comm/links/comm_activity.h"
#include "comm/snmp/snmp_agent.h"
#include "runtime/console.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/objects.h"

#include <algorithm>
#include <cstring>

namespace {

const ULONG RECEIVE_STACK_BYTES = 5120;
const uint32_t IDLE_LIMIT = 2000;
const uint32_t IDLE_SETTING_DIVISOR = 250;
const uint8_t SEQUENCE_TAG = 0x30;

void frame_reset(ethernet_framer& f) {
    f.state = 0;
    f.remaining = 0;
    f.long_left = 0;
    f.length = 0;
}

// The length is known: a content longer than the message buffer is refused.
void length_known(ethernet_framer& f) {
    if (f.remaining > ETHERNET_CONTENT_MAX)
        frame_reset(f);
    else
        f.state = 3;
}

// The first length octet: short form, or a long form of one or two octets.
void first_length_octet(ethernet_framer& f, uint8_t byte) {
    if (!(byte & 0x80)) {
        f.remaining = byte;
        length_known(f);
        return;
    }
    uint8_t octets = byte & 0x7F;
    if (octets == 0 || octets > 2) {
        frame_reset(f);
        return;
    }
    f.remaining = 0;
    f.long_left = octets;
    f.state = 2;
}

ethernet_framer& framer_of(ethernet_link* link, const ethernet_source& source) {
    if (source.datagram) return link->datagram;
    return link->streams[source.slot % ETHERNET_STREAM_SOURCES];
}

void count_parse_error() {
    TheDatabase().IncCounter(obj::snmpInASNParseErrs);
}

// A complete message goes to the agent, its response back to its source.
void deliver(ethernet_link* link, const ethernet_source& source, const ethernet_framer& f) {
    link->frames_received++;
    snmp_agent* agent = link->agent;
    if (!agent || !agent->receive_buffer) return;
    uint32_t length = f.length;
    if (length > SNMP_MESSAGE_BUFFER) {
        console_printf("SNMP PACKET TOO LONG: %d\n", static_cast<int>(length));
        length = SNMP_MESSAGE_BUFFER;
    }
    std::memcpy(agent->receive_buffer, f.message, length);
    link->reply_to = source;
    agent->peer_port = source.peer_port;
    for (int i = 0; i < 4; i++)
        agent->peer_address[i] = static_cast<uint8_t>(source.peer_ip >> (24 - 8 * i));
    snmp_message_process(agent, agent->receive_buffer, length);
}

// Content octets before a message's last one, taken at once as the byte
// step would take them one by one. -> how many were taken (fewer than `count`).
uint32_t frame_content(ethernet_framer& f, const uint8_t* bytes, uint32_t count) {
    if (f.state != 3 || f.remaining < 2) return 0;
    uint32_t taken = std::min(f.remaining - 1, count - 1);
    uint32_t kept = std::min(taken, ETHERNET_MESSAGE_BYTES - f.length);
    std::memcpy(f.message + f.length, bytes, kept);
    f.length = static_cast<uint16_t>(f.length + kept);
    f.remaining -= taken;
    return taken;
}

// ---- datagrams longer than the agent takes ----------------------------------------------
// The host network layer hands over only the first bytes of a datagram longer
// than a packet. A datagram whose SEQUENCE announces more than the message
// buffer holds is answered tooBig from its header: a stand-in message with
// the received version, community, PDU type and request-id, padded to one
// byte beyond what the link sends, takes the agent's path of every
// over-long request (community checked, tooBig answered with no varbinds,
// counted).

const uint32_t STAND_IN_BYTES = ETHERNET_TX_BYTES + 1;
const uint8_t LONG_TWO = 0x82; // a long-form length of two octets
const uint8_t INTEGER_TAG = 0x02, OCTETS_TAG = 0x04;
const uint8_t PAD_NAME[] = {0x06, 0x01, 0x2B}; // 1.3: a name only read, never looked up

// The header of the TLV of `bytes` at `at` (its tag and length octets, within
// `count`): its size and the content length it announces.
bool header_at(const uint8_t* bytes, uint32_t count, uint32_t at, uint32_t* header,
               uint32_t* content) {
    if (at + 2 > count) return false;
    uint32_t length = bytes[at + 1], octets = 0;
    if (length & 0x80) {
        octets = length & 0x7F;
        if (octets == 0 || octets > 2 || at + 2 + octets > count) return false;
        length = 0;
        for (uint32_t k = 0; k < octets; k++)
            length = length << 8 | bytes[at + 2 + k];
    }
    *header = 2 + octets;
    *content = length;
    return true;
}

// The whole size of the TLV at `at`, when all of it lies within `count`.
bool whole_tlv_at(const uint8_t* bytes, uint32_t count, uint32_t at, uint8_t tag, uint32_t* size) {
    uint32_t header = 0, content = 0;
    if (!header_at(bytes, count, at, &header, &content) || bytes[at] != tag) return false;
    *size = header + content;
    return at + *size <= count;
}

// The message length a datagram announces (its tag, length octets and content).
bool announced_length(const uint8_t* bytes, uint32_t count, uint32_t* total) {
    uint32_t header = 0, content = 0;
    if (count == 0 || bytes[0] != SEQUENCE_TAG || !header_at(bytes, count, 0, &header, &content))
        return false;
    *total = header + content;
    return true;
}

uint8_t* put_long_header(uint8_t* out, uint8_t tag, uint32_t length) {
    *out++ = tag;
    *out++ = LONG_TWO;
    *out++ = static_cast<uint8_t>(length >> 8);
    *out++ = static_cast<uint8_t>(length);
    return out;
}

uint8_t* put_bytes(uint8_t* out, const uint8_t* from, uint32_t count) {
    std::memcpy(out, from, count);
    return out + count;
}

// The header fields of a cut message: where its version, community and
// request-id TLVs lie, and the PDU's tag.
struct cut_header {
    uint32_t version_at, version_size, community_size, id_at, id_size;
    uint8_t pdu_tag;
};

// -> false when the fields are not there whole.
bool read_cut_header(const uint8_t* b, uint32_t count, cut_header* h) {
    uint32_t header = 0, content = 0;
    if (!header_at(b, count, 0, &header, &content)) return false;
    h->version_at = header;
    if (!whole_tlv_at(b, count, h->version_at, INTEGER_TAG, &h->version_size)) return false;
    const uint32_t community_at = h->version_at + h->version_size;
    if (!whole_tlv_at(b, count, community_at, OCTETS_TAG, &h->community_size)) return false;
    const uint32_t pdu_at = community_at + h->community_size;
    if (!header_at(b, count, pdu_at, &header, &content)) return false;
    h->pdu_tag = b[pdu_at];
    h->id_at = pdu_at + header;
    return whole_tlv_at(b, count, h->id_at, INTEGER_TAG, &h->id_size);
}

// Writes the stand-in of the cut message `b` into the framer. -> false when
// its header cannot be read.
bool stand_in_message(ethernet_framer& f, const uint8_t* b, uint32_t count) {
    cut_header h{};
    if (!read_cut_header(b, count, &h)) return false;
    const uint8_t statuses[] = {INTEGER_TAG, 1, 0, INTEGER_TAG, 1, 0};
    const uint32_t fields = h.version_size + h.community_size;
    // Five long headers (message, PDU, list, varbind, pad) and the fields.
    const uint32_t fixed =
        4 + fields + 4 + h.id_size + sizeof statuses + 4 + 4 + sizeof PAD_NAME + 4;
    if (fixed >= STAND_IN_BYTES) return false;
    const uint32_t pad = STAND_IN_BYTES - fixed;
    const uint32_t varbind = sizeof PAD_NAME + 4 + pad;
    const uint32_t pdu = h.id_size + sizeof statuses + 4 + 4 + varbind;
    uint8_t* out = put_long_header(f.message, SEQUENCE_TAG, fields + 4 + pdu);
    out = put_bytes(out, b + h.version_at, fields);
    out = put_long_header(out, h.pdu_tag, pdu);
    out = put_bytes(out, b + h.id_at, h.id_size);
    out = put_bytes(out, statuses, sizeof statuses);
    out = put_long_header(out, SEQUENCE_TAG, 4 + varbind);
    out = put_long_header(out, SEQUENCE_TAG, varbind);
    out = put_bytes(out, PAD_NAME, sizeof PAD_NAME);
    out = put_long_header(out, OCTETS_TAG, pad);
    std::memset(out, 0, pad);
    f.length = static_cast<uint16_t>(STAND_IN_BYTES);
    return true;
}

// A datagram announcing a message longer than the buffer is answered tooBig
// (or dropped as a parse error when its header cannot be read). -> whether
// it was one.
bool answered_as_cut(ethernet_link* link, const ethernet_run& run, const uint8_t* bytes) {
    uint32_t total = 0;
    if (!announced_length(bytes, run.count, &total) || total <= ETHERNET_MESSAGE_BYTES)
        return false;
    ethernet_framer& f = link->datagram;
    if (stand_in_message(f, bytes, run.count))
        deliver(link, run.source, f);
    else
        count_parse_error();
    frame_reset(f);
    return true;
}

// The bytes of one run through the framer of its source.
void frame_run(ethernet_link* link, const ethernet_run& run, const uint8_t* bytes) {
    ethernet_framer& f = framer_of(link, run.source);
    if (run.source.datagram) frame_reset(f);
    if (run.source.datagram && answered_as_cut(link, run, bytes)) return;
    for (uint32_t i = 0; i < run.count; i++) {
        i += frame_content(f, bytes + i, run.count - i);
        int result = ethernet_frame_byte(f, bytes[i]);
        if (result == ETHERNET_FRAME_NOT_MSG) {
            f.length = 0;
            if (run.source.datagram) return;
            continue;
        }
        if (result != ETHERNET_FRAME_COMPLETE) continue;
        if (run.source.datagram && i + 1 != run.count) {
            count_parse_error(); // bytes after the message: the datagram is refused whole
            frame_reset(f);
            return;
        }
        deliver(link, run.source, f);
        frame_reset(f);
        tx_thread_relinquish();
    }
    if (run.source.datagram) frame_reset(f); // a datagram cut short is no message
}

// Ring copies in at most two pieces, around the ring's end; the caller holds
// the interrupt lock and has checked the room or the count.
void ring_put(ethernet_link* link, const uint8_t* data, uint32_t count) {
    if (count == 0) return;
    uint32_t first = std::min(count, ETHERNET_RING_BYTES - link->ring_head);
    std::memcpy(link->ring + link->ring_head, data, first);
    std::memcpy(link->ring, data + first, count - first);
    link->ring_head = static_cast<uint16_t>((link->ring_head + count) % ETHERNET_RING_BYTES);
}

void ring_take(ethernet_link* link, uint8_t* to, uint32_t count) {
    if (count == 0) return;
    uint32_t first = std::min(count, ETHERNET_RING_BYTES - link->ring_tail);
    std::memcpy(to, link->ring + link->ring_tail, first);
    std::memcpy(to + first, link->ring, count - first);
    link->ring_tail = static_cast<uint16_t>((link->ring_tail + count) % ETHERNET_RING_BYTES);
}

bool take_run(ethernet_link* link) {
    CInterruptLock lock;
    if (link->run_count == 0) return false;
    link->current = link->runs[link->run_tail];
    link->run_tail = static_cast<uint8_t>((link->run_tail + 1) % ETHERNET_RUNS);
    link->run_count--;
    ring_take(link, link->run_bytes, link->current.count);
    link->ring_count = static_cast<uint16_t>(link->ring_count - link->current.count);
    return true;
}

void idle_poll(ethernet_link* link) {
    CommLED_Activity(link->activity_bit, 0);
    uint32_t limit = IDLE_LIMIT + link->timeout_setting / IDLE_SETTING_DIVISOR;
    if (++link->idle_polls < limit) return;
    trace_printf("nx_ethernet_time_out\n");
    link->idle_polls = 0;
    for (ethernet_framer& f : link->streams)
        frame_reset(f);
    frame_reset(link->datagram);
}

// Puts one run record into the queue; the caller holds the interrupt lock.
bool queue_run(ethernet_link* link, const ethernet_run& run) {
    if (link->run_count >= ETHERNET_RUNS) return false;
    link->runs[link->run_head] = run;
    link->run_head = static_cast<uint8_t>((link->run_head + 1) % ETHERNET_RUNS);
    link->run_count++;
    return true;
}

// Thread inputs are 32 bits: a thread finds its link by number.
const uint32_t LINKS_MAX = 12;
ethernet_link* links[LINKS_MAX];
uint32_t link_count = 0;

void receive_thread(ULONG input) {
    ethernet_link* link = links[input % LINKS_MAX];
    for (;;)
        ethernet_receive_step(link);
}

void create_kernel_objects(ethernet_link* link) {
    UINT rc = tx_mutex_create(&link->mutex, "ETHERNET PROTECT MUTEX", TX_NO_INHERIT);
    if (rc != TX_SUCCESS)
        console_printf("ethernet_create: tx_mutex_create ETHERNET PROTECT MUTEX failed  %02x\n",
                       rc);
    rc = tx_semaphore_create(&link->semaphore, "ETHERNET SERIAL BUFFER SEMAPHORE", 0);
    if (rc != TX_SUCCESS)
        console_printf("ethernet_create: tx_semaphore_create ETHERNET SERIAL BUFFER SEMAPHORE "
                       "failed %02x\n",
                       rc);
}

void create_receive_thread(ethernet_link* link, UINT priority) {
    if (link_count >= LINKS_MAX) {
        console_printf("ethernet_create: nx_ethernet_rx_thread failed %02x\n", TX_THREAD_ERROR);
        return;
    }
    uint32_t number = link_count++;
    links[number] = link;
    void* stack = nullptr;
    os_status status =
        os_byte_allocate(&thread_stack_pool(), &stack, RECEIVE_STACK_BYTES, OS_NO_WAIT);
    if (status != OS_OK) {
        console_printf("nx_ethernet_receive_thread Allocation Error:%d! Ptr:%08x, Size:%d\n",
                       static_cast<int>(status), 0u, static_cast<int>(RECEIVE_STACK_BYTES));
        return;
    }
    std::memset(stack, 0xEF, RECEIVE_STACK_BYTES);
    UINT rc = tx_thread_create(&link->thread, "ETHERNET RECEIVE THREAD", receive_thread, number,
                               stack, RECEIVE_STACK_BYTES, priority, priority, 0, TX_AUTO_START);
    if (rc != TX_SUCCESS)
        console_printf("ethernet_create: nx_ethernet_rx_thread failed %02x\n", rc);
}

} // namespace

void ethernet_framer_reset(ethernet_framer& framer) {
    frame_reset(framer);
}

int ethernet_frame_byte(ethernet_framer& f, uint8_t byte) {
    bool complete = false;
    switch (f.state) {
    case 0:
        if (f.length != 0 || byte != SEQUENCE_TAG) return ETHERNET_FRAME_NOT_MSG;
        f.state = 1;
        break;
    case 1:
        first_length_octet(f, byte);
        break;
    case 2:
        if (f.long_left > 0) {
            f.remaining = f.remaining * 256 + byte;
            f.long_left--;
        }
        if (f.long_left == 0) length_known(f);
        break;
    default:
        if (f.remaining > 0) f.remaining--;
        complete = f.remaining == 0;
        break;
    }
    if (f.length < ETHERNET_MESSAGE_BYTES) f.message[f.length++] = byte;
    if (!complete) return ETHERNET_FRAME_MORE;
    f.state = 0;
    return ETHERNET_FRAME_COMPLETE;
}

int ethernet_create(ethernet_link* link, const char* name, snmp_agent* agent, UINT priority) {
    std::memset(static_cast<void*>(link), 0, sizeof *link);
    link->name = name;
    link->agent = agent;
    create_kernel_objects(link);
    link->activity_bit = CommLED_RegisterAgent();
    create_receive_thread(link, priority);
    CInterruptLock lock;
    link->id = ETHERNET_LINK_ID;
    return 0;
}

int ethernet_bytes_receive(ethernet_link* link, const ethernet_source& source, const uint8_t* data,
                           uint32_t count) {
    if (!link || link->id != ETHERNET_LINK_ID) return ETHERNET_RING_FULL;
    bool fits = false, queued = false;
    {
        CInterruptLock lock;
        fits = count <= ETHERNET_RING_BYTES - link->ring_count &&
               queue_run(link, ethernet_run{source, static_cast<uint16_t>(count), false});
        if (fits) {
            ring_put(link, data, count);
            link->ring_count = static_cast<uint16_t>(link->ring_count + count);
            link->bytes_received += count;
            queued = true;
        } else {
            // The stream's framing cannot go on over the lost bytes: it starts again.
            link->bytes_dropped += count;
            if (!source.datagram) queued = queue_run(link, ethernet_run{source, 0, true});
        }
    }
    if (queued) {
        UINT rc = tx_semaphore_put(&link->semaphore);
        if (rc != TX_SUCCESS) trace_printf("---ethernet_byte_receive tx_sem put failed %02x\n", rc);
    }
    if (fits) return 0;
    console_printf("_nx_ethernet_byte_receive: error buffer full\n");
    return ETHERNET_RING_FULL;
}

void ethernet_stream_restart(ethernet_link* link, const ethernet_source& source) {
    if (!link || link->id != ETHERNET_LINK_ID) return;
    bool queued;
    {
        CInterruptLock lock;
        queued = queue_run(link, ethernet_run{source, 0, true});
    }
    if (queued) tx_semaphore_put(&link->semaphore);
}

void ethernet_receive_step(ethernet_link* link) {
    if (tx_semaphore_get(&link->semaphore, ETHERNET_POLL_TICKS) != TX_SUCCESS) {
        idle_poll(link);
        return;
    }
    if (!take_run(link)) return;
    CommLED_Activity(link->activity_bit, 1);
    link->idle_polls = 0;
    if (link->current.reset) {
        frame_reset(framer_of(link, link->current.source));
        return;
    }
    CommLED_NotifyPanel(link->current.count, PANEL_NOTIFY_BYTES);
    frame_run(link, link->current, link->run_bytes);
}

bool ethernet_raw_send(ethernet_link* link, const uint8_t* message, uint32_t length) {
    if (length > ETHERNET_TX_BYTES) {
        console_printf("failed to transmit packet on ethernet\n");
        return false;
    }
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    std::memcpy(link->transmit, message, length);
    link->transmit_length = static_cast<uint16_t>(length);
    link->frames_sent++;
    bool sent = link->send_frame && link->send_frame(link->reply_to, link->transmit, length);
    if (!sent) {
        console_printf("failed to transmit packet on ethernet\n");
        for (uint32_t i = 0; i < length && link->write_byte; i++) {
            link->bytes_written++;
            link->write_byte(link->transmit[i]);
        }
    }
    tx_mutex_put(&link->mutex);
    return sent;
}

void ethernet_set_timeout(ethernet_link* link, uint32_t setting) {
    link->timeout_setting = setting;
}

int snmp_ethernet_net_drv(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                          void* arg2) {
    (void)transport;
    ethernet_link* link = static_cast<ethernet_link*>(agent->link);
    switch (command) {
    case SNMP_DRIVER_CREATE:
        if (!link || ethernet_create(link, "SNMP OVER ethernet", agent, 2) != 0) {
            console_printf("snmp_ethernet_net_drv ethernet create for SNMP failed\n");
            return 1;
        }
        return 0;
    case SNMP_DRIVER_SEND:
        if (link && arg1 && arg2)
            ethernet_raw_send(link, static_cast<const uint8_t*>(arg1),
                              *static_cast<uint32_t*>(arg2));
        TheDatabase().IncCounter(obj::snmpOutPkts);
        return 0;
    default:
        return 0;
    }
}
