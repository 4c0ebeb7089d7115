#include "comm/links/pmpp_rdi.h"

#include "comm/snmp/snmp_agent.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint8_t LINE_END = 0x0D;
const uint8_t LINE_FEED = 0x0A;
const uint8_t REFUSAL = 'A';
const uint32_t ID_AT = 6, COUNT_AT = 11, COUNT_DIGITS = 4, ID_BYTES = 5;
const uint8_t FORM0_LENGTH = 10, FORM1_LENGTH = 11, FORM2_LENGTH = 15;
const uint8_t FORM1_MARK = 0x0B;
const uint32_t UDP_HEADER = 8;
const uint8_t UDP_PROTOCOL = 17;
const uint8_t MORE_BLOCKS = 0x20;
const uint16_t TRAP_PEER_PORT = 161;
const uint8_t SIGN_DIGITS[5] = {'1', '1', '0', '0', '2'};
const uint32_t FRAME_TAIL = 2; // the two FCS positions a frame keeps free
const uint32_t TOO_BIG_ROOM = 300;

void put16(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value >> 8);
    p[1] = uint8_t(value);
}
uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

// Passes the outgoing line to the line and restarts the comm timer.
void send_line(pmpp_link* link, const uint8_t* bytes, uint32_t length) {
    for (uint32_t i = 0; i < length && link->write_byte; i++)
        link->write_byte(bytes[i]);
}

void send_ack(pmpp_link* link, uint8_t digit) {
    const uint8_t ack[4] = {RDI_ACK, digit, LINE_FEED, LINE_END};
    send_line(link, ack, sizeof ack);
}

// ---- Receive side ----

void refuse(pmpp_rdi& r) {
    r.state = RDI_WAITING;
    r.header_index = 0;
}

// The master's line: 16 bytes, a count of four digits from the shortest
// header plus the UDP header up to 512. -> ACK0 and the first header byte next.
void parse_line(pmpp_link* link) {
    pmpp_rdi& r = link->rdi;
    uint32_t count = 0;
    bool digits = r.header_index == RDI_LINE_BYTES;
    for (uint32_t i = 0; digits && i < COUNT_DIGITS; i++) {
        uint8_t d = r.header[COUNT_AT + i];
        digits = d >= '0' && d <= '9';
        count = count * 10 + uint32_t(d - '0');
    }
    if (!digits || count < FORM0_LENGTH + UDP_HEADER || count > RDI_COUNT_MAX) {
        trace_printf("XFERB line refused\r\n");
        refuse(r);
        return;
    }
    std::memcpy(r.xferb_id, r.header + ID_AT, ID_BYTES);
    r.remaining = int32_t(count);
    r.header_index = 0;
    r.state = RDI_FIRST_HEADER;
    send_ack(link, '0');
}

void decode_header(pmpp_rdi& r) {
    const uint8_t* h = r.header;
    if (r.form == 0) {
        std::memcpy(r.identification, h + 1, 2);
        r.more_blocks = (h[3] & MORE_BLOCKS) != 0;
        r.block_offset = uint16_t((h[3] & 0x1F) << 8 | h[4]);
        std::memcpy(r.peer_address, h + 5, 4);
        r.protocol = h[9];
        return;
    }
    std::memcpy(r.peer_address, h + 2, 4);
    std::memcpy(r.destination, h + 6, 4);
    r.protocol = h[10];
    if (r.form == 1) {
        std::memset(r.identification, 0, 2);
        r.more_blocks = 0;
        r.block_offset = 0;
        return;
    }
    std::memcpy(r.identification, h + 11, 2);
    r.more_blocks = (h[13] & MORE_BLOCKS) != 0;
    r.block_offset = uint16_t((h[13] & 0x1F) << 8 | h[14]);
}

// The request's frame: own address field, 13, C1, then the data of its blocks.
void open_request(pmpp_link* link) {
    uint8_t field[2];
    uint32_t bytes = pmpp_address_field(link->station_address, field);
    std::memcpy(link->plain, field, bytes);
    link->plain[bytes] = PMPP_CONTROL;
    link->plain[bytes + 1] = PMPP_IPI_SNMP;
    link->rdi.frame_length = uint16_t(bytes + 2);
}

// The compressed header is whole: for this sign, with room for the UDP header.
void header_complete(pmpp_link* link) {
    pmpp_rdi& r = link->rdi;
    decode_header(r);
    const uint8_t* own = link->agent ? static_cast<snmp_agent*>(link->agent)->address : nullptr;
    if (!own || std::memcmp(r.destination, own, 4) != 0 || r.remaining < int32_t(UDP_HEADER)) {
        refuse(r);
        return;
    }
    if (r.block_offset == 0) {
        open_request(link);
    } else if (r.frame_length == 0) {
        refuse(r); // a continuation of no request
        return;
    }
    r.state = RDI_UDP_HEADER;
}

// The block is whole: ACK1; the last block of a request hands it on.
int block_complete(pmpp_link* link) {
    pmpp_rdi& r = link->rdi;
    send_ack(link, '1');
    r.state = RDI_WAITING;
    r.header_index = 0;
    if (r.more_blocks) return PMPP_MORE;
    link->plain_length = r.frame_length;
    r.frame_length = 0;
    return PMPP_FRAME;
}

int receive_header_byte(pmpp_link* link, uint8_t byte) {
    pmpp_rdi& r = link->rdi;
    r.header[r.header_index++] = byte;
    r.remaining--;
    if (r.state == RDI_FIRST_HEADER) {
        r.form = byte == 0 ? 0 : 2;
        r.form_length = byte == 0 ? FORM0_LENGTH : FORM2_LENGTH;
        r.state = RDI_HEADER;
        return PMPP_MORE;
    }
    if (r.state == RDI_HEADER) {
        if (r.header_index == 2 && r.form == 2 && byte == FORM1_MARK) {
            r.form = 1;
            r.form_length = FORM1_LENGTH;
        }
        if (r.header_index == r.form_length) header_complete(link);
        return PMPP_MORE;
    }
    // The UDP header follows the compressed one.
    if (r.header_index < r.form_length + UDP_HEADER) return PMPP_MORE;
    const uint8_t* u = r.header + r.form_length;
    r.peer_port = get16(u);
    r.own_port = get16(u + 2);
    r.udp_length = get16(u + 4);
    r.udp_checksum = get16(u + 6);
    r.state = RDI_DATA;
    return r.remaining == 0 ? block_complete(link) : PMPP_MORE;
}

// A request that would outgrow the frame is dropped whole.
int receive_data_byte(pmpp_link* link, uint8_t byte) {
    pmpp_rdi& r = link->rdi;
    if (r.frame_length + FRAME_TAIL >= PMPP_RX_FRAME_BYTES) {
        trace_printf("RDI request too long, dropped\r\n");
        r.frame_length = 0;
        refuse(r);
        return PMPP_MORE;
    }
    link->plain[r.frame_length++] = byte;
    r.remaining--;
    return r.remaining == 0 ? block_complete(link) : PMPP_MORE;
}

// ---- Send side ----

uint32_t block_start(const pmpp_rdi& r, uint32_t block) {
    uint32_t start = 0;
    for (uint32_t k = 0; k < block && k < RDI_BLOCKS_MAX; k++)
        start += r.block_sizes[k];
    return start;
}

void build_line(pmpp_link* link) {
    pmpp_rdi& r = link->rdi;
    uint8_t* line = r.saved_line;
    line[0] = RDI_LINE_START;
    std::memcpy(line + 1, SIGN_DIGITS, sizeof SIGN_DIGITS);
    std::memcpy(line + ID_AT, r.xferb_id, ID_BYTES);
    uint32_t size = r.block_sizes[r.block_index];
    for (uint32_t i = 0; i < COUNT_DIGITS; i++, size /= 10)
        line[COUNT_AT + COUNT_DIGITS - 1 - i] = uint8_t('0' + size % 10);
    line[RDI_LINE_BYTES - 1] = LINE_END;
}

// The current block's line (again), then the master's ACK0 is awaited.
void announce_block(pmpp_link* link) {
    pmpp_rdi& r = link->rdi;
    r.state = RDI_SENDING_LINE;
    send_line(link, r.saved_line, RDI_LINE_BYTES);
    r.state = RDI_WAIT_ACK0;
}

void send_block(pmpp_link* link) {
    pmpp_rdi& r = link->rdi;
    r.block_start = block_start(r, r.block_index);
    send_line(link, link->transmit + r.block_start, r.block_sizes[r.block_index]);
    r.state = RDI_WAIT_ACK1;
}

void next_block(pmpp_link* link) {
    pmpp_rdi& r = link->rdi;
    r.block_index++;
    if (r.block_index >= r.block_count) {
        r.state = RDI_WAITING;
        return;
    }
    trace_printf("Wait for ACK2, next packet\r\n");
    build_line(link);
    r.retries = 0;
    announce_block(link);
}

void retransmit_or_give_up(pmpp_link* link) {
    pmpp_rdi& r = link->rdi;
    trace_printf("RDI Timout, retries = %d of %d\r\n", r.retries, int(link->rdi_retries));
    if (r.retries >= link->rdi_retries) {
        r.state = RDI_WAITING;
        return;
    }
    r.retries++;
    trace_printf("timeout, state %d, retransmit\r\n", link->rdi_flag);
    announce_block(link);
}

// The send side's states as a table: the byte that moves each state on, and
// the states of the acknowledgement it belongs to (an 06 starts it again).
struct ack_row {
    uint32_t state;
    uint8_t expected;
    uint32_t next;
    uint32_t restart; // the state an 06 leads to
};
const ack_row ACK_ROWS[] = {
    {8, RDI_ACK, 9, 9}, {9, '0', 10, 9},         {10, LINE_FEED, 11, 9},  {12, RDI_ACK, 13, 13},
    {13, '1', 14, 13},  {14, LINE_FEED, 15, 13}, {15, LINE_END, 16, 13},  {16, RDI_ACK, 17, 17},
    {17, '2', 18, 17},  {18, LINE_FEED, 19, 17}, {20, LINE_FEED, 21, 21},
};

void send_side_byte(pmpp_link* link, uint8_t byte) {
    pmpp_rdi& r = link->rdi;
    bool refusal_digit = (r.state == 9 || r.state == 13 || r.state == 17) && byte == REFUSAL;
    if (refusal_digit) {
        r.state = RDI_REFUSED;
        return;
    }
    if (byte == LINE_END && r.state == 11) return send_block(link);
    if (byte == LINE_END && r.state == 19) return next_block(link);
    if (byte == LINE_END && r.state == 21) return retransmit_or_give_up(link);
    for (const ack_row& row : ACK_ROWS) {
        if (row.state != r.state) continue;
        if (byte == row.expected)
            r.state = row.next;
        else if (byte == RDI_ACK && r.state != RDI_REFUSED)
            r.state = row.restart;
        return;
    }
    if (byte == RDI_ACK && (r.state == 11 || r.state == 19)) r.state = r.state == 11 ? 9 : 17;
}

// RFC 768: the ones' complement sum over the pseudo-header, the UDP header
// and the data; a sum of 0 goes as FFFF.
uint16_t udp_checksum(const uint8_t source[4], const uint8_t destination[4], const uint8_t* udp,
                      uint32_t length) {
    uint32_t sum = 0;
    auto add = [&sum](const uint8_t* p, uint32_t n) {
        for (uint32_t i = 0; i < n; i += 2)
            sum += uint32_t(p[i] << 8 | (i + 1 < n ? p[i + 1] : 0));
    };
    add(source, 4);
    add(destination, 4);
    sum += UDP_PROTOCOL + length;
    add(udp, length);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    uint16_t result = uint16_t(~sum);
    return result == 0 ? 0xFFFF : result;
}

// Block k into the transmit buffer at `at`. -> its size.
uint32_t build_block(pmpp_link* link, const uint8_t own[4], uint32_t k, bool more,
                     const uint8_t* data, uint32_t length, uint32_t at) {
    pmpp_rdi& r = link->rdi;
    uint8_t* b = link->transmit + at;
    b[0] = 0x10;
    b[1] = FORM2_LENGTH;
    std::memcpy(b + 2, own, 4);
    std::memcpy(b + 6, r.peer_address, 4);
    b[10] = r.protocol;
    std::memcpy(b + 11, r.identification, 2);
    b[13] = more ? MORE_BLOCKS : uint8_t((k >> 8) & 0x0F);
    b[14] = uint8_t(k);
    uint8_t* u = b + FORM2_LENGTH;
    put16(u, r.own_port);
    put16(u + 2, r.peer_port);
    put16(u + 4, length + UDP_HEADER);
    put16(u + 6, 0);
    std::memcpy(u + UDP_HEADER, data, length);
    uint16_t sum = udp_checksum(own, r.peer_address, u, length + UDP_HEADER);
    put16(u + 6, sum);
    r.checksum_at[k] = at + FORM2_LENGTH + 6;
    trace_printf("Add UDP checksum, # packets %d, loc %d, val %X\r\n", int(k + 1),
                 int(r.checksum_at[k]), sum);
    return FORM2_LENGTH + UDP_HEADER + length;
}

uint32_t blocks_of(uint32_t length) {
    return length == 0 ? 1 : (length + RDI_BLOCK_DATA - 1) / RDI_BLOCK_DATA;
}

bool fits(uint32_t length) {
    uint32_t blocks = blocks_of(length);
    return blocks <= RDI_BLOCKS_MAX &&
           length + blocks * (FORM2_LENGTH + UDP_HEADER) <= PMPP_FRAME_BYTES;
}

} // namespace

int rdi_receive_step(pmpp_link* link) {
    uint8_t byte;
    if (!pmpp_ring_take(link, &byte)) return PMPP_MORE;
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    pmpp_rdi& r = link->rdi;
    int result = PMPP_MORE;
    if (r.state < RDI_WAITING || r.state > RDI_STATES) r.state = RDI_WAITING;
    bool starts_line =
        byte == RDI_LINE_START && (r.state == RDI_WAITING || r.state >= RDI_SENDING_LINE);
    if (starts_line) {
        r.header[0] = byte;
        r.header_index = 1;
        r.state = RDI_LINE;
    } else if (r.state == RDI_LINE) {
        r.header[r.header_index++] = byte;
        if (byte == LINE_END)
            parse_line(link);
        else if (r.header_index >= RDI_LINE_BYTES)
            refuse(r); // longer than any line
    } else if (r.state >= RDI_FIRST_HEADER && r.state <= RDI_UDP_HEADER) {
        result = receive_header_byte(link, byte);
    } else if (r.state == RDI_DATA) {
        result = receive_data_byte(link, byte);
    } else if (r.state > RDI_SENDING_LINE) {
        send_side_byte(link, byte);
    }
    tx_mutex_put(&link->mutex);
    return result;
}

void rdi_timeout(pmpp_link* link) {
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    pmpp_rdi& r = link->rdi;
    if (r.state <= RDI_DATA) {
        refuse(r);
    } else if (r.state > RDI_SENDING_LINE) {
        retransmit_or_give_up(link);
    }
    tx_mutex_put(&link->mutex);
}

ULONG rdi_state_ticks(const pmpp_link* link) {
    uint32_t s = link->rdi.state;
    if (s == RDI_WAIT_ACK1) return 100;
    if (s == RDI_WAIT_ACK2)
        return link->rdi_ack_timeout ? ULONG(link->rdi_ack_timeout * 100 / 1000) : 4500;
    bool short_wait =
        (s >= 2 && s <= 6) || (s >= 9 && s <= 11) || (s >= 13 && s <= 15) || (s >= 17 && s <= 21);
    return short_wait ? 20 : 50;
}

void rdi_send_blocks(snmp_agent* agent, pmpp_link* link, const uint8_t* data, uint32_t length) {
    static uint8_t too_big[TOO_BIG_ROOM];
    if (!fits(length)) {
        uint32_t answer = pmpp_too_big_answer(data, length, too_big, sizeof too_big);
        if (answer == 0) {
            console_printf("rdi_send_blocks: response of %u bytes does not fit, not sent\n",
                           unsigned(length));
            return;
        }
        TheDatabase().IncCounter(obj::snmpOutTooBigs);
        data = too_big;
        length = answer;
    }
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    pmpp_rdi& r = link->rdi;
    link->frames_sent++;
    r.form = 2;
    r.block_count = uint8_t(blocks_of(length));
    uint32_t at = 0;
    for (uint32_t k = 0; k < r.block_count; k++) {
        uint32_t offset = k * RDI_BLOCK_DATA;
        uint32_t piece = length - offset < RDI_BLOCK_DATA ? length - offset : RDI_BLOCK_DATA;
        r.block_sizes[k] =
            build_block(link, agent->address, k, k + 1 < r.block_count, data + offset, piece, at);
        at += r.block_sizes[k];
    }
    link->transmit_length = uint16_t(at);
    r.block_index = 0;
    r.retries = 0;
    build_line(link);
    announce_block(link);
    tx_mutex_put(&link->mutex);
}

void rdi_prepare_trap_header(pmpp_link* link, uint16_t own_port) {
    tx_mutex_get(&link->mutex, TX_WAIT_FOREVER);
    pmpp_rdi& r = link->rdi;
    r.form = 2;
    for (int i = 0; i < 4; i++)
        r.peer_address[i] = uint8_t(link->rdi_remote_address >> (24 - 8 * i));
    r.protocol = UDP_PROTOCOL;
    std::memset(r.identification, 0, 2);
    r.more_blocks = 0;
    r.block_offset = 0;
    r.peer_port = TRAP_PEER_PORT;
    r.own_port = own_port;
    uint32_t lid = link->rdi_remote_lid;
    trace_printf("Remote LID = %d  ", int(lid));
    for (int i = int(ID_BYTES) - 1; i >= 0; i--, lid /= 10)
        r.xferb_id[i] = uint8_t('0' + (lid % 10 & 0x0F));
    tx_mutex_put(&link->mutex);
}
