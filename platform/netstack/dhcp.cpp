// The DHCP client add-on on the host: one host thread per started client
// speaks DHCP (RFC 2131) on the interface named by --ethernet through a
// packet socket bound to it, so that it works while the interface has no
// address yet: DISCOVER and REQUEST go out as broadcast IP/UDP datagrams from
// 0.0.0.0:68 to 255.255.255.255:67 (the broadcast flag asks the server to
// answer by broadcast), a renewal carries the leased address in ciaddr. A
// lease gives the interface its address and mask (and a default route via
// the router), then reaches the kernel as an interrupt: the IP instance takes
// the address and gateway, and the state-change callback runs on the IP
// thread.
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "platform/netstack/dhcp.h"
#include "platform/netstack/internal.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>

namespace netstack {
namespace {

enum : uint8_t {
    DHCPDISCOVER = 1,
    DHCPOFFER = 2,
    DHCPREQUEST = 3,
    DHCPACK = 5,
    DHCPNAK = 6,
};
enum : uint8_t {
    OPT_MASK = 1,
    OPT_ROUTER = 3,
    OPT_REQUESTED_IP = 50,
    OPT_LEASE = 51,
    OPT_TYPE = 53,
    OPT_SERVER = 54,
    OPT_PARAMETERS = 55,
    OPT_END = 255,
};
const uint16_t CLIENT_PORT = 68, SERVER_PORT = 67;
const size_t BOOTP_FIXED = 236;
const uint8_t MAGIC[4] = {99, 130, 83, 99};
const int REPLY_WAIT_MS = 2000;
const int REQUEST_TRIES = 3;
const int SLICE_MS = 100;
const uint32_t DEFAULT_LEASE_SECONDS = 3600;

struct lease {
    uint32_t address = 0, mask = 0, router = 0, server = 0, seconds = 0;
};

struct reply {
    uint8_t type = 0;
    lease offered;
};

struct dhcp_impl {
    NX_DHCP* client = nullptr;
    std::string interface;
    int ifindex = 0;
    uint8_t mac[6] = {};
    int fd = -1;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> renew{false};
    std::atomic<bool> bound{false};
    std::atomic<bool> alive{true};
    uint32_t xid = 0;
    lease current;
};

// ---- wire format ----

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    put16(b, at, uint16_t(v >> 16));
    put16(b, at + 2, uint16_t(v));
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint16_t ip_checksum(const uint8_t* p, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2)
        sum += uint32_t(p[i]) << 8 | p[i + 1];
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

void option(std::vector<uint8_t>& b, uint8_t code, uint32_t value) {
    b.insert(b.end(), {code, 4, uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                       uint8_t(value)});
}

// A BOOTP request of `type` with `ciaddr`, asking for `requested` from
// `server` (0: left out).
std::vector<uint8_t> bootp(const dhcp_impl& c, uint8_t type, uint32_t ciaddr, uint32_t requested,
                           uint32_t server) {
    std::vector<uint8_t> b(BOOTP_FIXED, 0);
    b[0] = 1; // request
    b[1] = 1; // Ethernet
    b[2] = 6;
    put32(b, 4, c.xid);
    put16(b, 10, ciaddr ? 0 : 0x8000); // broadcast answers while we have no address
    put32(b, 12, ciaddr);
    std::memcpy(&b[28], c.mac, 6);
    b.insert(b.end(), MAGIC, MAGIC + 4);
    b.insert(b.end(), {OPT_TYPE, 1, type});
    if (requested) option(b, OPT_REQUESTED_IP, requested);
    if (server) option(b, OPT_SERVER, server);
    b.insert(b.end(), {OPT_PARAMETERS, 3, OPT_MASK, OPT_ROUTER, OPT_LEASE, OPT_END});
    return b;
}

// The IP and UDP headers in front of a BOOTP message, from `source` to the
// limited broadcast.
std::vector<uint8_t> datagram(const std::vector<uint8_t>& payload, uint32_t source) {
    std::vector<uint8_t> d(28 + payload.size(), 0);
    std::copy(payload.begin(), payload.end(), d.begin() + 28);
    d[0] = 0x45;
    put16(d, 2, uint16_t(28 + payload.size()));
    d[8] = 64; // TTL
    d[9] = IPPROTO_UDP;
    put32(d, 12, source);
    put32(d, 16, 0xFFFFFFFFu);
    put16(d, 10, ip_checksum(d.data(), 20));
    put16(d, 20, CLIENT_PORT);
    put16(d, 22, SERVER_PORT);
    put16(d, 24, uint16_t(8 + payload.size())); // UDP checksum 0: none
    return d;
}

// A DHCP answer to this client within an IP datagram; false for anything else.
bool parse_reply(const dhcp_impl& c, const uint8_t* p, size_t n, reply& out) {
    if (n < 20 || (p[0] >> 4) != 4 || p[9] != IPPROTO_UDP) return false;
    size_t ihl = size_t(p[0] & 0xF) * 4;
    if (n < ihl + 8 + BOOTP_FIXED + 4) return false;
    const uint8_t* udp = p + ihl;
    if ((udp[2] << 8 | udp[3]) != CLIENT_PORT) return false;
    const uint8_t* m = udp + 8;
    size_t length = n - ihl - 8;
    if (m[0] != 2 || get32(m + 4) != c.xid || std::memcmp(m + 28, c.mac, 6) != 0 ||
        std::memcmp(m + BOOTP_FIXED, MAGIC, 4) != 0)
        return false;
    out = reply{};
    out.offered.address = get32(m + 16);
    for (size_t at = BOOTP_FIXED + 4; at < length && m[at] != OPT_END;) {
        if (m[at] == 0) { // pad
            at++;
            continue;
        }
        if (at + 2 > length || at + 2 + m[at + 1] > length) break;
        uint8_t code = m[at], size = m[at + 1];
        const uint8_t* v = m + at + 2;
        if (code == OPT_TYPE && size >= 1) out.type = v[0];
        if (size >= 4 && code == OPT_MASK) out.offered.mask = get32(v);
        if (size >= 4 && code == OPT_ROUTER) out.offered.router = get32(v);
        if (size >= 4 && code == OPT_SERVER) out.offered.server = get32(v);
        if (size >= 4 && code == OPT_LEASE) out.offered.seconds = get32(v);
        at += 2u + size;
    }
    return out.type != 0;
}

// ---- the exchange ----

bool send_message(dhcp_impl& c, const std::vector<uint8_t>& message, uint32_t source) {
    std::vector<uint8_t> d = datagram(message, source);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_IP);
    to.sll_ifindex = c.ifindex;
    to.sll_halen = 6;
    std::memset(to.sll_addr, 0xFF, 6);
    return sendto(c.fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           ssize_t(d.size());
}

// Waits up to `ms` for an answer of one of the two types. false when none
// came or the client is stopping.
bool await(dhcp_impl& c, uint8_t type, uint8_t other, int ms, reply& out) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!c.stop && std::chrono::steady_clock::now() < end) {
        pollfd p{c.fd, POLLIN, 0};
        if (poll(&p, 1, SLICE_MS) <= 0) continue;
        uint8_t buffer[2048];
        ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0 && parse_reply(c, buffer, size_t(n), out) &&
            (out.type == type || out.type == other))
            return true;
    }
    return false;
}

// One request and its answer, with retries. -> the answer's type, 0 none.
uint8_t ask(dhcp_impl& c, const std::vector<uint8_t>& message, uint32_t source, uint8_t type,
            uint8_t other, reply& out) {
    for (int i = 0; i < REQUEST_TRIES && !c.stop; i++) {
        send_message(c, message, source);
        if (await(c, type, other, REPLY_WAIT_MS, out)) return out.type;
    }
    return 0;
}

void set_state(dhcp_impl& c, std::shared_ptr<dhcp_impl> keep, UINT state) {
    NX_DHCP* client = c.client;
    to_kernel([client, keep, state] {
        if (!keep->alive) return;
        ip_impl* ip = ip_of(client->ip);
        if (!ip) return;
        defer(ip, [client, keep, state] {
            if (!keep->alive) return;
            client->state = state;
            if (client->notify) client->notify(client, state);
        });
    });
}

void put_address(int fd, ifreq& r, unsigned long request, uint32_t address) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    std::memcpy(&r.ifr_addr, &a, sizeof a);
    ioctl(fd, request, &r);
}

// The lease on the host interface: its address and mask when they changed
// (setting them again would drop the routes through it), and the default
// route via the router (refused when it is already there).
void set_interface_address(const dhcp_impl& c, const lease& l, bool changed) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return;
    ifreq r{};
    std::strncpy(r.ifr_name, c.interface.c_str(), IFNAMSIZ - 1);
    if (changed) {
        put_address(fd, r, SIOCSIFADDR, l.address);
        if (l.mask) put_address(fd, r, SIOCSIFNETMASK, l.mask);
    }
    if (l.router) {
        rtentry route{};
        sockaddr_in any{}, gateway{};
        any.sin_family = gateway.sin_family = AF_INET;
        gateway.sin_addr.s_addr = htonl(l.router);
        std::memcpy(&route.rt_dst, &any, sizeof any);
        std::memcpy(&route.rt_genmask, &any, sizeof any);
        std::memcpy(&route.rt_gateway, &gateway, sizeof gateway);
        route.rt_flags = RTF_UP | RTF_GATEWAY;
        route.rt_dev = const_cast<char*>(c.interface.c_str());
        ioctl(fd, SIOCADDRT, &route);
    }
    close(fd);
}

void take_lease(dhcp_impl& c, std::shared_ptr<dhcp_impl> keep, const lease& l) {
    bool changed = !c.bound || l.address != c.current.address || l.mask != c.current.mask;
    c.current = l;
    if (c.current.seconds == 0) c.current.seconds = DEFAULT_LEASE_SECONDS;
    set_interface_address(c, c.current, changed);
    NX_DHCP* client = c.client;
    lease now = c.current;
    to_kernel([client, keep, now] {
        if (!keep->alive || !ip_of(client->ip)) return;
        nx_ip_address_set(client->ip, now.address, now.mask);
        nx_ip_gateway_address_set(client->ip, now.router);
    });
    c.bound = true;
    set_state(c, keep, NX_DHCP_STATE_BOUND);
}

// DISCOVER, OFFER, REQUEST, ACK until a lease is taken. false when stopping.
bool acquire(dhcp_impl& c, std::shared_ptr<dhcp_impl> keep) {
    std::mt19937 random(std::random_device{}());
    while (!c.stop) {
        c.xid = uint32_t(random());
        set_state(c, keep, NX_DHCP_STATE_SELECTING);
        reply offer, ack;
        if (!ask(c, bootp(c, DHCPDISCOVER, 0, 0, 0), 0, DHCPOFFER, DHCPOFFER, offer)) continue;
        set_state(c, keep, NX_DHCP_STATE_REQUESTING);
        std::vector<uint8_t> request =
            bootp(c, DHCPREQUEST, 0, offer.offered.address, offer.offered.server);
        if (ask(c, request, 0, DHCPACK, DHCPNAK, ack) == DHCPACK) {
            take_lease(c, keep, ack.offered);
            return true;
        }
    }
    return false;
}

// Sleeps until half the lease is over, a renewal is asked for, or the
// client stops. -> false when stopping.
bool wait_for_renewal(dhcp_impl& c) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(c.current.seconds / 2);
    while (!c.stop && !c.renew && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(SLICE_MS));
    c.renew = false;
    return !c.stop;
}

void client_thread(std::shared_ptr<dhcp_impl> keep) {
    dhcp_impl& c = *keep;
    while (acquire(c, keep)) {
        while (wait_for_renewal(c)) {
            set_state(c, keep, NX_DHCP_STATE_RENEWING);
            reply ack;
            std::vector<uint8_t> request = bootp(c, DHCPREQUEST, c.current.address, 0, 0);
            if (ask(c, request, c.current.address, DHCPACK, DHCPNAK, ack) != DHCPACK) break;
            if (ack.offered.address == 0) ack.offered.address = c.current.address;
            take_lease(c, keep, ack.offered);
        }
        c.bound = false;
    }
}

bool open_interface(dhcp_impl& c) {
    c.ifindex = int(if_nametoindex(c.interface.c_str()));
    if (c.ifindex == 0) return false;
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    ifreq r{};
    std::strncpy(r.ifr_name, c.interface.c_str(), IFNAMSIZ - 1);
    bool have_mac = ioctl(fd, SIOCGIFHWADDR, &r) == 0;
    close(fd);
    if (!have_mac) return false;
    std::memcpy(c.mac, r.ifr_hwaddr.sa_data, 6);
    c.fd = socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_IP));
    if (c.fd < 0) return false;
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_IP);
    at.sll_ifindex = c.ifindex;
    if (bind(c.fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        close(c.fd);
        c.fd = -1;
        return false;
    }
    return true;
}

// The clients' host records, found from the firmware's record.
std::shared_ptr<dhcp_impl>* impl_of(NX_DHCP* client) {
    return client ? static_cast<std::shared_ptr<dhcp_impl>*>(client->impl) : nullptr;
}

} // namespace
} // namespace netstack

using namespace netstack;

UINT nx_dhcp_create(NX_DHCP* client, NX_IP* ip, const char* name) {
    if (!client || !ip_of(ip)) return NX_PTR_ERROR;
    auto impl = std::make_shared<dhcp_impl>();
    impl->client = client;
    impl->interface = host::host_options().ethernet;
    client->name = name;
    client->ip = ip;
    client->state = NX_DHCP_STATE_NOT_STARTED;
    client->notify = nullptr;
    client->impl = new std::shared_ptr<dhcp_impl>(impl);
    return NX_SUCCESS;
}

UINT nx_dhcp_state_change_notify(NX_DHCP* client, nx_dhcp_state_fn notify) {
    if (!impl_of(client)) return NX_PTR_ERROR;
    client->notify = notify;
    return NX_SUCCESS;
}

UINT nx_dhcp_start(NX_DHCP* client) {
    std::shared_ptr<dhcp_impl>* impl = impl_of(client);
    if (!impl) return NX_PTR_ERROR;
    dhcp_impl& c = **impl;
    if (c.thread.joinable()) return NX_DHCP_ALREADY_STARTED;
    if (c.interface.empty() || !open_interface(c)) return NX_DHCP_NO_INTERFACE;
    c.stop = false;
    c.renew = false;
    client->state = NX_DHCP_STATE_INIT;
    c.thread = std::thread(client_thread, *impl);
    return NX_SUCCESS;
}

UINT nx_dhcp_stop(NX_DHCP* client) {
    std::shared_ptr<dhcp_impl>* impl = impl_of(client);
    if (!impl) return NX_PTR_ERROR;
    dhcp_impl& c = **impl;
    if (!c.thread.joinable()) return NX_DHCP_NOT_STARTED;
    c.stop = true;
    c.thread.join();
    close(c.fd);
    c.fd = -1;
    c.bound = false;
    client->state = NX_DHCP_STATE_NOT_STARTED;
    return NX_SUCCESS;
}

UINT nx_dhcp_delete(NX_DHCP* client) {
    std::shared_ptr<dhcp_impl>* impl = impl_of(client);
    if (!impl) return NX_PTR_ERROR;
    nx_dhcp_stop(client);
    (*impl)->alive = false; // callbacks still on their way do nothing
    delete impl;
    client->impl = nullptr;
    return NX_SUCCESS;
}

UINT nx_dhcp_force_renew(NX_DHCP* client) {
    std::shared_ptr<dhcp_impl>* impl = impl_of(client);
    if (!impl) return NX_PTR_ERROR;
    if (!(*impl)->bound) return NX_DHCP_NOT_BOUND;
    (*impl)->renew = true;
    return NX_SUCCESS;
}
