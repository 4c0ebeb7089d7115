#include "comm/network.h"

#include "runtime/console.h"
#include "platform/monitor/monitor.h"
#include "runtime/os.h"
#include "runtime/pools.h"

namespace {

const ULONG PACKET_PAYLOAD = 1568;
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

} // namespace

NX_PACKET_POOL& netx_packet_pool() {
    static NX_PACKET_POOL pool;
    return pool;
}

NX_IP& ethernet_ip() {
    static NX_IP ip;
    return ip;
}

uint32_t parse_ip_address(const char* text) {
    if (!text) return 0;
    uint32_t address = 0;
    for (int part = 0; part < 4; part++) {
        if (*text < '0' || *text > '9') return 0;
        uint32_t byte = 0;
        while (*text >= '0' && *text <= '9' && byte <= 255)
            byte = byte * 10 + static_cast<uint32_t>(*text++ - '0');
        if (byte > 255) return 0;
        address = address << 8 | byte;
        if (part < 3 && *text++ != '.') return 0;
    }
    return *text == '\0' ? address : 0;
}

int ethernet_network_start() {
    network_state& s = state();
    if (!s.pool_ready) {
        UINT rc = nx_packet_pool_create(&netx_packet_pool(), "NetX", PACKET_PAYLOAD, pool_memory,
                                        sizeof pool_memory);
        if (rc != NX_SUCCESS) {
            console_printf("nx_packet_pool_create: failure:0x%02X!!\n", rc);
            return 0;
        }
        s.pool_ready = true;
    }
    if (!s.ip_ready) {
        void* stack = nullptr;
        if (os_byte_allocate(&thread_stack_pool(), &stack, IP_STACK_BYTES, OS_NO_WAIT) != OS_OK) {
            console_printf("nx_ip_create: no stack\n");
            return 0;
        }
        UINT rc = nx_ip_create(&ethernet_ip(), "NetX IP Instance 0",
                               env_address("IPADD", DEFAULT_ADDRESS),
                               env_address("NETMASK", DEFAULT_MASK), &netx_packet_pool(), nullptr,
                               stack, IP_STACK_BYTES, IP_PRIORITY);
        if (rc != NX_SUCCESS) {
            os_byte_release(stack);
            console_printf("nx_ip_create: failure:0x%02X!!\n", rc);
            return 0;
        }
        nx_arp_enable(&ethernet_ip(), nullptr, 0);
        nx_icmp_enable(&ethernet_ip());
        nx_udp_enable(&ethernet_ip());
        nx_tcp_enable(&ethernet_ip());
        s.ip_ready = true;
    }
    return 1;
}
