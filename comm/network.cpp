#include "comm/network.h"

#include "comm/drivers/ethernet_mac.h"
#include "platform/monitor/monitor.h"
#include "runtime/console.h"
#include "runtime/os.h"
#include "runtime/pools.h"

uint32_t net_ip_address = 0;
uint32_t net_subnet_mask = 0;
uint32_t net_gateway_address = 0;
uint32_t net_ntp_server_address = 0;

namespace {

// A packet holds a whole SNMP message of the agent's buffer (3000 bytes) with
// its headers: the agent takes and answers messages up to 2050 bytes on UDP
// and answers a longer one tooBig (beyond a packet, from the first bytes the
// network layer hands over).
const ULONG PACKET_PAYLOAD = 3072;
const ULONG PACKET_COUNT = 48;
const ULONG IP_STACK_BYTES = 2048;
const UINT IP_PRIORITY = 1;
const uint32_t DEFAULT_ADDRESS = 0x7F000001u;
const uint32_t DEFAULT_MASK = 0xFF000000u;

// The pool's packets: a fixed record of the firmware image.
alignas(8) uint8_t pool_memory[PACKET_COUNT * (PACKET_PAYLOAD + 64)];

struct network_state {
    bool pool_ready = false;
    bool ip_ready = false;
};

network_state& state() {
    static network_state s;
    return s;
}

uint32_t env_address(const char* name, uint32_t fallback) {
    uint32_t value = parse_ip_address(mon_getenv(name));
    return value ? value : fallback;
}

bool create_pool() {
    UINT rc = nx_packet_pool_create(&netx_packet_pool(), "NetX", PACKET_PAYLOAD, pool_memory,
                                    sizeof pool_memory);
    if (rc != NX_SUCCESS) console_printf("nx_packet_pool_create: failure:0x%02X!!\n", rc);
    return rc == NX_SUCCESS;
}

const ULONG ARP_CACHE_BYTES = 1024;
alignas(8) uint8_t arp_cache[ARP_CACHE_BYTES];

void enable_services(NX_IP& ip, bool icmp) {
    nx_arp_enable(&ip, arp_cache, ARP_CACHE_BYTES);
    if (icmp) nx_icmp_enable(&ip);
    nx_udp_enable(&ip);
    nx_tcp_enable(&ip);
}

// Reads one field of `base` digits (at least one) no greater than 255.
bool parse_field(const char*& text, uint32_t base, uint32_t* value) {
    auto digit = [base](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (digit(*text) < 0) return false;
    uint32_t v = 0;
    for (; digit(*text) >= 0; text++) {
        v = v * base + uint32_t(digit(*text));
        if (v > 255) return false;
    }
    *value = v;
    return true;
}

// `count` fields separated by `separator` and nothing after the last.
bool parse_fields(const char* text, uint32_t base, char separator, uint32_t count,
                  uint32_t* fields) {
    if (!text) return false;
    for (uint32_t i = 0; i < count; i++) {
        if (!parse_field(text, base, &fields[i])) return false;
        if (i + 1 < count && *text++ != separator) return false;
    }
    return *text == '\0';
}

} // namespace

NX_PACKET_POOL& netx_packet_pool() {
    static NX_PACKET_POOL pool;
    return pool;
}

NX_IP& ethernet_ip() {
    static NX_IP ip;
    return ip;
}

bool parse_dotted_address(const char* text, uint32_t* address) {
    uint32_t f[4];
    if (!parse_fields(text, 10, '.', 4, f)) return false;
    *address = f[0] << 24 | f[1] << 16 | f[2] << 8 | f[3];
    return true;
}

uint32_t parse_ip_address(const char* text) {
    uint32_t address = 0;
    return parse_dotted_address(text, &address) ? address : 0;
}

bool parse_mac_address(const char* text, uint8_t mac[6]) {
    uint32_t f[6];
    if (!parse_fields(text, 16, ':', 6, f)) return false;
    for (int i = 0; i < 6; i++)
        mac[i] = uint8_t(f[i]);
    return true;
}

net_start_result ethernet_network_start(uint32_t address, uint32_t mask, bool icmp) {
    network_state& s = state();
    if (!s.pool_ready) {
        if (!create_pool()) return NET_NO_INSTANCE;
        s.pool_ready = true;
    }
    if (s.ip_ready) return NET_STARTED;
    void* stack = nullptr;
    os_status got = os_byte_allocate(&thread_stack_pool(), &stack, IP_STACK_BYTES, OS_NO_WAIT);
    if (got != OS_OK) {
        console_printf("Ethernet Allocation Error:%d Ptr:%08x, Size:%d\n", int(got), 0u,
                       int(IP_STACK_BYTES));
        return NET_NO_MEMORY;
    }
    UINT rc = nx_ip_create(&ethernet_ip(), "NetX IP Instance 0", address, mask, &netx_packet_pool(),
                           emac_driver_entry, stack, IP_STACK_BYTES, IP_PRIORITY);
    if (rc != NX_SUCCESS) {
        os_byte_release(stack);
        console_printf("nx_ip_create: failure:0x%02X!!\n", rc);
        return NET_NO_INSTANCE;
    }
    enable_services(ethernet_ip(), icmp);
    s.ip_ready = true;
    return NET_STARTED;
}

int ethernet_network_start() {
    return ethernet_network_start(env_address("IPADD", DEFAULT_ADDRESS),
                                  env_address("NETMASK", DEFAULT_MASK)) == NET_STARTED;
}
