#include "comm/drivers/ethernet_mac.h"

#include "platform/board/bus.h"
#include "platform/board/ethernet_registers.h"
#include "platform/monitor/monitor.h"
#include "runtime/interrupt.h"

#include <cstring>

namespace {

enum : uint32_t {
    MR0_ENABLED = MR0_TX_ENABLE | MR0_RX_ENABLE,
    STA_READ_PHY1 = STA_READ | STA_CLOCK | 1u << STA_PHY_SHIFT,
    STA_WRITE_PHY1 = STA_WRITE | STA_CLOCK | 1u << STA_PHY_SHIFT,
    MAL_CONFIGURATION = 0x0007C082u,
    CHANNEL0 = MAL_CHANNEL0,
};
// PHY registers and bits.
enum : uint16_t {
    PHY_CONTROL = 0,
    PHY_STATUS = 1,
    PHY_ADVERTISE = 4,
    PHY_PARTNER = 5,
    PHY_OWN_STATUS = 0x10,
    BMSR_100_FULL = 0x4000,
    BMSR_100_HALF = 0x2000,
    BMSR_10_FULL = 0x1000,
    BMSR_10_HALF = 0x0800,
    BMSR_COMPLETE = 0x0020,
    BMSR_REMOTE_FAULT = 0x0010,
    BMSR_CAN_NEGOTIATE = 0x0008,
    BMSR_LINK = 0x0004,
    AD_100_FULL = 0x0100,
    AD_100_HALF = 0x0080,
    AD_10_FULL = 0x0040,
    AD_10_HALF = 0x0020,
    PARTNER_REMOTE_FAULT = 0x2000,
    BMCR_SPEED_100 = 0x2000,
    BMCR_AUTONEG = 0x1000,
    BMCR_RESTART = 0x0200,
    BMCR_FULL = 0x0100,
};

const uint32_t FRAME_MAX = 1518;
const uint32_t HEADER = 14;
const uint32_t IP_HEADER_MIN = 20;
const uint32_t PAYLOAD = 1540;
const uint32_t NEGOTIATION_COUNT = 7000;
const uint32_t PHY_POLLS = 500;
const uint32_t SPIN = 10000;
const uint32_t RESET_POLLS = 10000000;
const uint32_t IDLE_POLLS = 100000;
const uint32_t DEFAULT_POOL = 0x702000, DEFAULT_TX_TABLE = 0x700000, DEFAULT_RX_TABLE = 0x700020;
const uint16_t TYPE_IP = 0x0800, TYPE_ARP = 0x0806, TYPE_RARP = 0x8035;

void spin(uint32_t count) {
    for (volatile uint32_t i = 0; i < count; i = i + 1) {
    }
}

// Polls `reg` until (value & mask) == want, at most `polls` times.
bool poll_bus(uint32_t reg, uint32_t mask, uint32_t want, uint32_t polls) {
    for (uint32_t i = 0; i < polls; i++)
        if ((bus_read32(reg) & mask) == want) return true;
    return false;
}

int station_fault(const char* who, int step) {
    mon_printf("%s err%d\n", who, step);
    return -1;
}

// One cycle of the station management register: wait for the previous cycle
// to end (a write spins between its looks), start `command`, wait for it to
// end. The texts name the step that failed; -1 then.
int station_cycle(const char* who, uint32_t command, bool spin_while_busy, uint32_t* station) {
    bool ready = false;
    for (uint32_t i = 0; i < PHY_POLLS && !ready; i++) {
        ready = bus_read32(EMAC_STACR) & STA_COMPLETE;
        if (!ready && spin_while_busy) spin(SPIN);
    }
    if (!ready) return station_fault(who, 1);
    bus_write32(EMAC_STACR, command);
    bool done = false;
    for (uint32_t i = 0; i < PHY_POLLS && !done; i++) {
        spin(SPIN);
        spin(SPIN);
        done = bus_read32(EMAC_STACR) & STA_COMPLETE;
    }
    if (!done) return station_fault(who, 2);
    *station = bus_read32(EMAC_STACR);
    return (*station & STA_PHY_ERROR) ? station_fault(who, 3) : 0;
}

uint8_t* ram(uint32_t address) {
    return reinterpret_cast<uint8_t*>(uintptr_t(address));
}
uint32_t address_of(const void* p) {
    return uint32_t(reinterpret_cast<uintptr_t>(p));
}
uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, uint16_t(v >> 16));
    put16(p + 2, uint16_t(v));
}

// A MAL descriptor in board RAM: u16 control/status, u16 length, u32 buffer.
struct descriptor {
    uint8_t* at;
    uint16_t control() const { return get16(at); }
    uint16_t length() const { return get16(at + 2); }
    void set(uint16_t control, uint16_t length, uint32_t buffer) {
        put16(at, control);
        put16(at + 2, length);
        put32(at + 4, buffer);
    }
    void set_control(uint16_t control) { put16(at, control); }
    void set_buffer(uint32_t buffer) { put32(at + 4, buffer); }
};
descriptor tx_descriptor() {
    return descriptor{ram(emac().tx_table)};
}
descriptor rx_descriptor(uint32_t index) {
    return descriptor{ram(emac().rx_table + 8 * index)};
}

// ---- the semaphore ----

bool take_protect() {
    return tx_semaphore_get(&emac().protect, TX_NO_WAIT) == TX_SUCCESS;
}
void give_protect() {
    tx_semaphore_put(&emac().protect);
}

// ---- speed and duplex ----

struct link_choice {
    bool is100;
    bool full;
};

// Mode register 1 for a link; the link monitor's full-duplex value differs.
uint32_t mode1_for(link_choice link, bool from_monitor) {
    if (!link.is100) return 0x00380000u;
    if (!link.full) return 0x00780000u;
    return (from_monitor ? 0x80780000u : 0x90780000u) | 0x01000000u;
}

// How a fixed mode programs the PHY: control register kept bits, set bits,
// and the advertisement.
struct fixed_mode {
    link_choice link;
    uint16_t keep, set, advertise;
};
const fixed_mode FIXED_MODES[] = {
    {{true, true}, 0xEFFF, 0x2100, 0x0101},
    {{true, false}, 0xEEFF, 0x2000, 0x0081},
    {{false, true}, 0xCFFF, 0x0100, 0x1001},
    {{false, false}, 0xCEFF, 0x0000, 0x0021},
};

void program_fixed_mode(link_choice link) {
    for (const fixed_mode& m : FIXED_MODES) {
        if (m.link.is100 != link.is100 || m.link.full != link.full) continue;
        uint16_t control = 0;
        if (phy_read(PHY_CONTROL, &control) == 0)
            phy_write(PHY_CONTROL, uint16_t((control & m.keep) | m.set));
        phy_write(PHY_ADVERTISE, m.advertise);
    }
}

link_choice choose_speed_duplex(bool program_phy) {
    emac_state& s = emac();
    if (s.speed == EMAC_SPEED_AUTO) {
        uint32_t a100 = !s.force10, afull = !s.force10;
        AutoNegotiate(NEGOTIATION_COUNT, &a100, &afull);
        return {a100 != 0, afull != 0};
    }
    link_choice link{s.speed == EMAC_SPEED_100 && !s.force10,
                     s.duplex == EMAC_DUPLEX_FULL && !s.force10};
    if (program_phy) program_fixed_mode(link);
    return link;
}

void write_individual_address() {
    const uint8_t* m = emac().mac;
    bus_write32(EMAC_IAHR, uint32_t(m[0]) << 8 | m[1]);
    bus_write32(EMAC_IALR,
                uint32_t(m[2]) << 24 | uint32_t(m[3]) << 16 | uint32_t(m[4]) << 8 | m[5]);
}

// The EMAC's registers after the mode: mode register 0 is written last by the caller.
void write_mac_registers(link_choice link) {
    write_individual_address();
    bus_write32(EMAC_MR1, mode1_for(link, false));
    bus_write32(EMAC_RMR, emac().receive_mode);
    bus_write32(EMAC_TRTR, 0x18000000u);
    bus_write32(EMAC_RWMR, 0x0F002000u);
    bus_write32(EMAC_IPGVR, 8);
}

// ---- descriptors ----

void release_sent(NX_PACKET* packet) {
    packet->prepend_ptr += HEADER;
    packet->length -= HEADER;
    nx_packet_transmit_release(packet);
}

void release_ring() {
    for (NX_PACKET*& packet : emac().rx_packet) {
        if (packet) nx_packet_release(packet);
        packet = nullptr;
    }
}

UINT build_receive_ring() {
    emac_state& s = emac();
    release_ring();
    for (uint32_t i = 0; i < EMAC_RX_DESCRIPTORS; i++) {
        descriptor d = rx_descriptor(i);
        d.set(0, 0, 0);
        NX_PACKET* packet = nullptr;
        UINT rc = nx_packet_allocate(&s.pool, &packet, NX_RECEIVE_PACKET, NX_NO_WAIT);
        if (rc != NX_SUCCESS) return rc;
        s.rx_packet[i] = packet;
        uint16_t wrap = i + 1 == EMAC_RX_DESCRIPTORS ? DESC_WRAP : 0;
        d.set(uint16_t(wrap | DESC_READY | DESC_INTERRUPT), 0, address_of(packet->data_start + 2));
    }
    s.rx_index = 0;
    return NX_SUCCESS;
}

void reset_transmit_descriptor() {
    emac_state& s = emac();
    tx_descriptor().set(DESC_WRAP, 0, 0);
    if (s.tx_packet) release_sent(s.tx_packet);
    s.tx_packet = nullptr;
    s.tx_busy = false;
}

void reset_and_activate(uint32_t reset_reg, uint32_t activate_reg) {
    dcr_write(reset_reg, CHANNEL0);
    dcr_write(activate_reg, CHANNEL0);
}

// ---- set-up, start, stop ----

bool phy_check() {
    uint16_t status = 0;
    return phy_read(PHY_STATUS, &status) == 0;
}

UINT mac_mal_setup() {
    emac_state& s = emac();
    dcr_write(MAL_CFG, MAL_RESET);
    for (uint32_t i = 0; i < RESET_POLLS && (dcr_read(MAL_CFG) & MAL_RESET); i++) {
    }
    if (s.state == EMAC_PHY_CHECK_FAILED) return NX_NOT_SUCCESSFUL;
    link_choice link = choose_speed_duplex(true);
    uint16_t own = 0;
    if (phy_read(PHY_OWN_STATUS, &own) == 0)
        phy_write(PHY_OWN_STATUS, uint16_t((own & ~0x0010) | 0x0020));
    dcr_write(DCR_PLB_WORD, 0x60606000u);
    dcr_write(MAL_CFG, dcr_read(MAL_CFG) | MAL_CONFIGURATION);
    UINT rc = build_receive_ring();
    if (rc != NX_SUCCESS) return rc;
    reset_transmit_descriptor();
    write_individual_address();
    dcr_write(MAL_RXCARR, CHANNEL0);
    dcr_write(MAL_TXCARR, CHANNEL0);
    dcr_write(MAL_TXCTP0R, s.tx_table);
    dcr_write(MAL_RXCTP0R, s.rx_table);
    dcr_write(MAL_RCBS0, 0x60);
    dcr_write(MAL_TXCASR, CHANNEL0);
    dcr_write(MAL_RXCASR, CHANNEL0);
    bus_write32(EMAC_MR0, MR0_ENABLED);
    write_mac_registers(link);
    return NX_SUCCESS;
}

void start_interrupts() {
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) | ISR_ETHERNET_BITS);
    dcr_write(MAL_IER, 0x1F);
    bus_write32(EMAC_ISER, 0x000F0000u);
    dcr_write(DCR_UIC0_SR, 0xFFFFFFFFu);
    dcr_write(DCR_UIC0_PR, dcr_read(DCR_UIC0_PR) | ISR_ETHERNET_BITS);
    dcr_write(DCR_UIC0_TR, 0x20000000u);
    dcr_write(0xC7, 1); // vector configuration
    dcr_write(DCR_UIC0_SR, 0xFFFFFFFFu);
}

// Clears `enable` in mode register 0 and waits, bounded, for `idle`: the
// hardware ends the wait, a dead MAC may not.
bool disable_and_wait(uint32_t enable, uint32_t idle, const char* what) {
    bus_write32(EMAC_MR0, bus_read32(EMAC_MR0) & ~enable);
    if (poll_bus(EMAC_MR0, idle, idle, IDLE_POLLS)) return true;
    mon_printf("emac: %s idle time-out\n", what);
    return false;
}

void stop_interrupts() {
    disable_and_wait(MR0_RX_ENABLE, MR0_RX_IDLE, "receive");
    disable_and_wait(MR0_TX_ENABLE, MR0_TX_IDLE, "transmit");
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) & 0xFFC0FFFFu);
    dcr_write(MAL_IER, 0);
    bus_write32(EMAC_ISER, 0);
    dcr_write(DCR_UIC0_SR, 0xFFFFFFFFu);
}

// ---- transmit ----

void start_transmit(NX_PACKET* packet) {
    emac_state& s = emac();
    uint16_t length = uint16_t(packet->length > FRAME_MAX ? FRAME_MAX : packet->length);
    descriptor d = tx_descriptor();
    d.set(uint16_t(DESC_LAST | DESC_FCS_AND_PAD | DESC_WRAP), length,
          address_of(packet->prepend_ptr));
    d.set_control(uint16_t(d.control() | DESC_READY | DESC_INTERRUPT));
    bus_write32(EMAC_TMR0, CHANNEL0);
    s.tx_packet = packet;
    s.tx_busy = true;
}

UINT transmit(NX_PACKET* packet) {
    emac_state& s = emac();
    if (packet->length > FRAME_MAX) {
        release_sent(packet);
        return NX_NOT_SUCCESSFUL;
    }
    if (!s.tx_busy) {
        start_transmit(packet);
        return NX_SUCCESS;
    }
    packet->next = nullptr;
    NX_PACKET** tail = &s.queue_head;
    while (*tail)
        tail = &(*tail)->next;
    *tail = packet;
    return NX_SUCCESS;
}

// Puts the Ethernet header in front of the packet's data and sends it.
UINT send_frame(NX_IP_DRIVER& request, bool broadcast, uint16_t type) {
    emac_state& s = emac();
    NX_PACKET* packet = request.packet;
    if (!packet) return NX_PTR_ERROR;
    if (s.state != EMAC_ENABLED || packet->prepend_ptr < packet->data_start + HEADER) {
        nx_packet_transmit_release(packet);
        return NX_NOT_ENABLED;
    }
    packet->prepend_ptr -= HEADER;
    packet->length += HEADER;
    uint8_t* h = packet->prepend_ptr;
    if (broadcast) {
        std::memset(h, 0xFF, 6);
    } else {
        put16(h, uint16_t(request.physical_msw));
        put32(h + 2, uint32_t(request.physical_lsw));
    }
    std::memcpy(h + 6, s.mac, 6);
    put16(h + 12, type);
    return transmit(packet);
}

// ---- the other requests ----

UINT initialise(NX_IP* ip) {
    emac_state& s = emac();
    if (s.state != EMAC_NOT_INITIALISED) return NX_SUCCESS;
    if (!phy_check()) {
        s.state = EMAC_PHY_CHECK_FAILED;
        return NX_NOT_SUCCESSFUL;
    }
    if (nx_packet_pool_create(&s.pool, "enet packet pool", PAYLOAD, ram(s.pool_address),
                              EMAC_POOL_BYTES) != NX_SUCCESS) {
        s.state = EMAC_POOL_FAILED;
        return NX_NOT_SUCCESSFUL;
    }
    if (mac_mal_setup() != NX_SUCCESS) {
        release_ring();
        nx_packet_pool_delete(&s.pool);
        s.state = EMAC_SETUP_FAILED;
        return NX_NOT_SUCCESSFUL;
    }
    if (ip) {
        ip->mtu = FRAME_MAX;
        ip->physical_msw = ULONG(s.mac[0]) << 8 | s.mac[1];
        ip->physical_lsw =
            ULONG(s.mac[2]) << 24 | ULONG(s.mac[3]) << 16 | ULONG(s.mac[4]) << 8 | s.mac[5];
        ip->address_mapping_needed = 1;
        ip->link_up = 0;
    }
    s.ip = ip;
    s.queue_head = nullptr;
    s.state = EMAC_DISABLED;
    return NX_SUCCESS;
}

void set_link(NX_IP* ip, UINT up) {
    if (ip) ip->link_up = up;
}

UINT enable(NX_IP* ip) {
    emac_state& s = emac();
    if (s.state == EMAC_ENABLED) return NX_ALREADY_ENABLED;
    if (s.state != EMAC_DISABLED) return NX_NOT_SUCCESSFUL;
    start_interrupts();
    s.state = EMAC_ENABLED;
    set_link(ip, 1);
    return NX_SUCCESS;
}

UINT disable(NX_IP* ip) {
    emac_state& s = emac();
    if (s.state != EMAC_ENABLED) return NX_NOT_ENABLED;
    stop_interrupts();
    s.state = EMAC_DISABLED;
    set_link(ip, 0);
    return NX_SUCCESS;
}

// Joining accepts every multicast frame, leaving none; with the receiver off meanwhile.
UINT multicast(bool join) {
    if (emac().state != EMAC_ENABLED) return NX_NOT_ENABLED;
    disable_and_wait(MR0_RX_ENABLE, MR0_RX_IDLE, "receive");
    for (uint32_t i = 0; i < 4; i++)
        bus_write32(EMAC_GAHT1 + 4 * i, join ? 0xFFFF : 0);
    uint32_t mode = bus_read32(EMAC_RMR);
    bus_write32(EMAC_RMR, join ? mode | RMR_MULTICAST : mode & ~RMR_MULTICAST);
    bus_write32(EMAC_MR0, bus_read32(EMAC_MR0) | MR0_RX_ENABLE);
    return NX_SUCCESS;
}

// The first request of any kind creates the semaphore and installs the handlers.
void first_request() {
    emac_state& s = emac();
    if (s.state != 0) return;
    CInterruptLock masked;
    tx_semaphore_create(&s.protect, "ENET rec protect", 1);
    const struct {
        uint32_t source;
        void (*handler)();
    } handlers[] = {{ISR_MAL_SERR, emac_mal_serr_isr},   {ISR_MAL_TXEOB, emac_mal_txeob_isr},
                    {ISR_MAL_RXEOB, emac_mal_rxeob_isr}, {ISR_MAL_TXDE, emac_mal_txde_isr},
                    {ISR_MAL_RXDE, emac_mal_rxde_isr},   {ISR_EMAC, emac_isr}};
    for (const auto& h : handlers)
        isr_set_ethernet_handler(h.source, h.handler);
    s.state = EMAC_NOT_INITIALISED;
}

bool is_send(UINT command) {
    return command == NX_LINK_PACKET_SEND ||
           (command >= NX_LINK_PACKET_BROADCAST && command <= NX_LINK_RARP_SEND);
}

UINT serve(NX_IP_DRIVER& r) {
    switch (r.command) {
    case NX_LINK_PACKET_SEND:
        return send_frame(r, false, TYPE_IP);
    case NX_LINK_INITIALIZE:
        return initialise(r.ip);
    case NX_LINK_ENABLE:
        return enable(r.ip);
    case NX_LINK_DISABLE:
        return disable(r.ip);
    case NX_LINK_PACKET_BROADCAST:
        return send_frame(r, true, TYPE_IP);
    case NX_LINK_ARP_SEND:
        return send_frame(r, true, TYPE_ARP);
    case NX_LINK_ARP_RESPONSE_SEND:
        return send_frame(r, false, TYPE_ARP);
    case NX_LINK_RARP_SEND:
        return send_frame(r, true, TYPE_RARP);
    case NX_LINK_MULTICAST_JOIN:
        return multicast(true);
    case NX_LINK_MULTICAST_LEAVE:
        return multicast(false);
    case NX_LINK_GET_STATUS:
        if (r.return_ptr) *r.return_ptr = emac().link_up;
        return NX_SUCCESS;
    default:
        if (r.return_ptr && (r.command <= 16 || r.command == 50)) *r.return_ptr = 0;
        return NX_UNHANDLED_COMMAND;
    }
}

// ---- receive ----

// Hands a received frame up by its type, the Ethernet header removed.
void hand_up(NX_PACKET* packet, uint32_t received) {
    emac_state& s = emac();
    packet->prepend_ptr = packet->data_start + 2;
    const uint8_t* frame = packet->prepend_ptr;
    uint16_t type = get16(frame + 12);
    uint32_t length = received;
    if (type == TYPE_IP) {
        // The IP header's total length, never beyond what was received.
        uint32_t total = received >= HEADER + 4 ? get16(frame + HEADER + 2) : 0;
        if (total < IP_HEADER_MIN) {
            nx_packet_release(packet);
            return;
        }
        if (total + HEADER < length) length = total + HEADER;
    }
    if (length < HEADER) {
        nx_packet_release(packet);
        return;
    }
    packet->prepend_ptr += HEADER;
    packet->length = length - HEADER;
    packet->append_ptr = packet->prepend_ptr + packet->length;
    const uint8_t* body = packet->prepend_ptr;
    if (type == TYPE_IP) {
        _nx_ip_packet_deferred_receive(s.ip, packet);
    } else if (type == TYPE_ARP && packet->length >= 28 && s.ip &&
               (ULONG(get16(body + 24)) << 16 | get16(body + 26)) == s.ip->address) {
        _nx_arp_packet_deferred_receive(s.ip, packet);
    } else if (type == TYPE_RARP) {
        _nx_rarp_packet_deferred_receive(s.ip, packet);
    } else {
        nx_packet_release(packet);
    }
}

void receive_frames() {
    emac_state& s = emac();
    for (descriptor d = rx_descriptor(s.rx_index); !(d.control() & DESC_READY);
         d = rx_descriptor(s.rx_index)) {
        uint32_t index = s.rx_index;
        s.rx_index = (s.rx_index + 1) % EMAC_RX_DESCRIPTORS;
        uint16_t give_back = uint16_t((d.control() & DESC_WRAP) | DESC_READY | DESC_INTERRUPT);
        uint32_t length = d.length();
        NX_PACKET* replacement = nullptr;
        bool good = length != 0 && length <= FRAME_MAX && !(d.control() & DESC_STATUS);
        if (good && nx_packet_allocate(&s.pool, &replacement, NX_RECEIVE_PACKET, NX_NO_WAIT) ==
                        NX_SUCCESS) {
            NX_PACKET* received = s.rx_packet[index];
            s.rx_packet[index] = replacement;
            d.set(give_back, 0, address_of(replacement->data_start + 2));
            hand_up(received, length);
        } else {
            d.set(give_back, 0, address_of(s.rx_packet[index]->data_start + 2));
        }
    }
}

} // namespace

emac_state& emac() {
    static emac_state state;
    return state;
}

void emac_forget() {
    emac() = emac_state();
}

uint32_t emac_set_packet_pool_address(uint32_t address) {
    emac_state& s = emac();
    s.pool_address = address;
    s.tx_table = address + EMAC_POOL_BYTES;
    s.rx_table = s.tx_table + 32;
    return 0;
}

uint32_t emac_set_mac_address(const uint8_t mac[6]) {
    std::memcpy(emac().mac, mac, sizeof emac().mac);
    return 0;
}

void emac_set_link_mode(uint32_t speed, uint32_t duplex, uint32_t force10) {
    emac().speed = speed;
    emac().duplex = duplex;
    emac().force10 = force10 ? 1 : 0;
}

void emac_driver_entry(void* request) {
    NX_IP_DRIVER* r = static_cast<NX_IP_DRIVER*>(request);
    if (!r) return;
    emac_state& s = emac();
    first_request();
    if (s.pool_address == 0) emac_set_packet_pool_address(DEFAULT_POOL);
    if (!take_protect()) {
        if (is_send(r->command) && r->packet) nx_packet_transmit_release(r->packet);
        r->status = NX_NOT_SUCCESSFUL;
        return;
    }
    r->status = serve(*r);
    give_protect();
}

int phy_read(uint32_t reg, uint16_t* value) {
    uint32_t station = 0;
    if (station_cycle("phy_read", reg | STA_READ_PHY1, false, &station) != 0) return -1;
    if (value) *value = uint16_t(station >> 16);
    return 0;
}

int phy_write(uint32_t reg, uint16_t value) {
    uint32_t station = 0;
    return station_cycle("phy_write", uint32_t(value) << 16 | reg | STA_WRITE_PHY1, true, &station);
}

int AutoNegotiate(uint32_t count, uint32_t* a100, uint32_t* afull) {
    if (count == 0) count = 1000;
    uint16_t control = 0, status = 0, partner = 0;
    if (phy_read(PHY_CONTROL, &control) != 0) return -1;
    phy_write(PHY_CONTROL, uint16_t((control & 0xB37F) | BMCR_AUTONEG));
    if (phy_read(PHY_STATUS, &status) != 0) return -1;
    if (!(status & BMSR_CAN_NEGOTIATE)) {
        mon_printf("AutoNegotiate: PHY does not support AUTO Negotiation\n");
        return -1;
    }
    uint16_t advertise = 0x0001;
    if ((status & BMSR_100_HALF) && *a100) {
        advertise |= AD_100_HALF;
        if ((status & BMSR_100_FULL) && *afull) advertise |= AD_100_FULL;
    }
    if (status & BMSR_10_HALF) {
        advertise |= AD_10_HALF;
        if ((status & BMSR_10_FULL) && *afull) advertise |= AD_10_FULL;
    }
    phy_write(PHY_ADVERTISE, advertise);
    if (phy_read(PHY_CONTROL, &control) != 0) return -1;
    phy_write(PHY_CONTROL, uint16_t(control | BMCR_RESTART));
    uint16_t polled = 0;
    uint32_t left = count;
    for (; left > 0; left--) {
        if (phy_read(PHY_STATUS, &polled) != 0) return -1;
        if (polled & BMSR_REMOTE_FAULT) {
            mon_printf("Autonegotiate: remote fault\n");
            return -1;
        }
        if (polled & BMSR_COMPLETE) break;
    }
    if (phy_read(PHY_PARTNER, &partner) != 0) return -1;
    if (partner & PARTNER_REMOTE_FAULT) {
        mon_printf("Autonegotiate: remote fault\n");
        return -1;
    }
    bool is100 = (status & BMSR_100_HALF) && *a100 && (partner & AD_100_HALF);
    bool full = *afull && ((is100 && (status & BMSR_100_FULL) && (partner & AD_100_FULL)) ||
                           (!is100 && (status & BMSR_10_FULL) && (partner & AD_10_FULL)));
    if (phy_read(PHY_CONTROL, &control) != 0) return -1;
    control = uint16_t(control & ~(BMCR_SPEED_100 | BMCR_FULL));
    if (is100) control |= BMCR_SPEED_100;
    if (full) control |= BMCR_FULL;
    phy_write(PHY_CONTROL, control);
    *a100 = is100;
    *afull = full;
    if (left == 0) {
        mon_printf("Autonegotiate: Timeout\n");
        return -1;
    }
    return 0;
}

void emac_apply_speed_duplex() {
    bus_write32(EMAC_MR0, MR0_SOFT_RESET);
    for (uint32_t i = 0; i < RESET_POLLS && (bus_read32(EMAC_MR0) & MR0_SOFT_RESET); i++) {
    }
    link_choice link = choose_speed_duplex(false);
    write_mac_registers(link);
    bus_write32(EMAC_MR0, MR0_ENABLED);
}

// The link as the PHY's status register shows it; with auto-negotiation a
// link that comes back is negotiated again and the MAC follows the result.
void emac_link_monitor() {
    emac_state& s = emac();
    if (s.state < EMAC_DISABLED) return; // no port set up to watch
    uint16_t status = 0;
    if (phy_read(PHY_STATUS, &status) != 0) {
        s.link_up = 0;
        s.phy_fault = 1;
        return;
    }
    s.phy_fault = 0;
    bool link = status & BMSR_LINK;
    if (s.speed != EMAC_SPEED_AUTO) {
        s.link_up = link;
        return;
    }
    if (!link) {
        if (s.previous_link == 1) {
            mon_printf("link down\n\r");
            s.link_up = 0;
        }
        s.previous_link = 0;
        return;
    }
    if (s.previous_link == 0) {
        mon_printf("link enabled\n\r");
        s.link_up = 1;
        s.previous_link = 1;
        mon_wdtctrl(MON_WDT_DISABLE);
        uint32_t a100 = !s.force10, afull = !s.force10;
        AutoNegotiate(NEGOTIATION_COUNT, &a100, &afull);
        mon_wdtctrl(255);
        bus_write32(EMAC_MR1, mode1_for({a100 != 0, afull != 0}, true));
        return;
    }
    s.previous_link = 1;
    s.link_up = 1;
}

void emac_mal_txeob_isr() {
    dcr_write(MAL_TXEOBISR, dcr_read(MAL_TXEOBISR));
    if (!take_protect()) return;
    emac_state& s = emac();
    if (s.tx_packet) release_sent(s.tx_packet);
    s.tx_packet = nullptr;
    s.tx_busy = false;
    tx_descriptor().set_buffer(0);
    if (NX_PACKET* next = s.queue_head) {
        s.queue_head = next->next;
        next->next = nullptr;
        start_transmit(next);
    }
    give_protect();
}

void emac_mal_rxeob_isr() {
    dcr_write(MAL_RXEOBISR, CHANNEL0);
    if (!take_protect()) return;
    receive_frames();
    give_protect();
}

void emac_mal_serr_isr() {
    uint32_t esr = dcr_read(MAL_ESR);
    dcr_write(MAL_ESR, esr);
    if (!take_protect()) return;
    if (!(esr & ESR_VALID)) {
        give_protect();
        return;
    }
    bool receive = esr & ESR_RECEIVE;
    if (esr & ESR_BUS_ERROR) {
        mac_mal_setup();
        start_interrupts();
    } else if (esr & ESR_RING_ERRORS) {
        if (receive) {
            build_receive_ring();
            if (!(dcr_read(MAL_RXCASR) & CHANNEL0)) reset_and_activate(MAL_RXCARR, MAL_RXCASR);
        } else {
            reset_transmit_descriptor();
            if (!(dcr_read(MAL_TXCASR) & CHANNEL0)) reset_and_activate(MAL_TXCARR, MAL_TXCASR);
        }
    }
    give_protect();
}

void emac_mal_rxde_isr() {
    dcr_write(MAL_RXDEIR, dcr_read(MAL_RXDEIR));
    if (!take_protect()) return;
    build_receive_ring();
    reset_and_activate(MAL_RXCARR, MAL_RXCASR);
    give_protect();
}

void emac_mal_txde_isr() {
    dcr_write(MAL_TXDEIR, dcr_read(MAL_TXDEIR));
    if (!take_protect()) return;
    reset_transmit_descriptor();
    dcr_write(MAL_TXCASR, CHANNEL0);
    give_protect();
}

void emac_isr() {
    bus_write32(EMAC_ISR, bus_read32(EMAC_ISR));
}
