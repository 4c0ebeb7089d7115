// IP instances: the host address their sockets bind to, the IP thread that
// runs the sockets' callbacks, status and counters.
#include "platform/board/phy_model.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "platform/netstack/dhcp.h"
#include "platform/netstack/internal.h"
#include "platform/netstack/link_stack.h"

#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace netstack {

namespace {

const ULONG IP_DEFERRED = 0x1;
const ULONG STATUS_POLL_TICKS = 10;

// The status bits that follow the address and the link, brought up to date.
ULONG live_status(NX_IP* ip) {
    ULONG status = ip->status & ~(NX_IP_ADDRESS_RESOLVED | NX_IP_LINK_ENABLED);
    if (ip->address != 0) status |= NX_IP_ADDRESS_RESOLVED;
    if (link_up(ip)) status |= NX_IP_LINK_ENABLED;
    ip->status = status;
    return status;
}

// The instance's own address when this host has it, else loopback.
uint32_t choose_host_address(uint32_t address) {
    if (address == 0 || address == NX_IP_LOOPBACK) return NX_IP_LOOPBACK;
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return NX_IP_LOOPBACK;
    bool usable = bind_address(fd, address, 0) == 0;
    close(fd);
    return usable ? address : NX_IP_LOOPBACK;
}

void ip_thread_entry(ip_impl* ip) {
    for (;;) {
        ULONG actual = 0;
        tx_event_flags_get(&ip->events, IP_DEFERRED, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
        for (;;) {
            std::function<void()> fn;
            {
                CInterruptLock lock;
                if (ip->deferred.empty()) break;
                fn = std::move(ip->deferred.front());
                ip->deferred.pop_front();
            }
            fn();
        }
    }
}

// Board RAM lies below 4 GB, but the instance record may not: the thread's
// input carries an index into this table.
std::deque<ip_impl*>& instances() {
    static auto* table = new std::deque<ip_impl*>; // outlives every instance
    return *table;
}

void ip_thread_trampoline(ULONG index) {
    ip_thread_entry(instances()[index]);
}

// The IP thread's first work, as on the board: initialise the link driver,
// then enable it.
void start_link_driver(NX_IP* ip, nx_link_driver_fn driver) {
    for (UINT command : {NX_LINK_INITIALIZE, NX_LINK_ENABLE}) {
        NX_IP_DRIVER request{};
        request.command = command;
        request.ip = ip;
        driver(&request);
        ip_impl* impl = ip_of(ip);
        if (command == NX_LINK_INITIALIZE && impl && impl->link) link_ip_initialized(impl);
    }
}

std::function<void(nx_link_kind, const NX_PACKET&)>& link_observer() {
    static std::function<void(nx_link_kind, const NX_PACKET&)> observer;
    return observer;
}

void link_receive(nx_link_kind kind, NX_PACKET* packet) {
    if (!packet) return;
    if (link_observer()) link_observer()(kind, *packet);
    nx_packet_release(packet);
}

} // namespace

bool link_up(NX_IP* ip) {
    if (is_link_ip(ip)) return ip->link_up != 0;
    const std::string& name = host::host_options().ethernet;
    if (name.empty()) return ip->address != 0;
    return board::host_carrier(name);
}

ip_impl* ip_of(NX_IP* ip) {
    return ip ? static_cast<ip_impl*>(ip->impl) : nullptr;
}

void defer(ip_impl* ip, std::function<void()> fn) {
    {
        CInterruptLock lock;
        ip->deferred.push_back(std::move(fn));
    }
    tx_event_flags_set(&ip->events, IP_DEFERRED, TX_OR);
}

void to_kernel(std::function<void()> fn) {
    host::host_activity_begin();
    host::raise_interrupt([fn] {
        fn();
        host::host_activity_end();
    });
}

UINT wait_events(TX_EVENT_FLAGS_GROUP* group, ULONG bits, ULONG wait, UINT timeout_status) {
    if (wait != NX_NO_WAIT && tx_in_non_thread_context()) return NX_WAIT_ERROR;
    ULONG actual = 0;
    UINT rc = tx_event_flags_get(group, bits, TX_OR_CLEAR, &actual, wait);
    if (rc == TX_SUCCESS) return NX_SUCCESS;
    if (rc == TX_WAIT_ABORTED) return NX_WAIT_ABORTED;
    return timeout_status;
}

ULONG remaining(ULONG wait, ULONG start) {
    if (wait == NX_WAIT_FOREVER) return wait;
    ULONG spent = tx_time_get() - start;
    return spent >= wait ? 0 : wait - spent;
}

} // namespace netstack

using namespace netstack;

UINT nx_ip_create(NX_IP* ip, const char* name, ULONG address, ULONG mask, NX_PACKET_POOL* pool,
                  nx_link_driver_fn driver, void* stack, ULONG stack_size, UINT priority) {
    if (!ip || !pool || !stack) return NX_PTR_ERROR;
    ip_impl* impl = new ip_impl;
    impl->ip = ip;
    impl->host_address = choose_host_address(address);
    ip->name = name;
    ip->address = address;
    ip->mask = mask;
    ip->default_pool = pool;
    ip->status = NX_IP_INITIALIZE_DONE;
    ip->thread = TX_THREAD{};
    ip->impl = impl;
    if (tx_event_flags_create(&impl->events, name) != TX_SUCCESS) {
        ip->impl = nullptr;
        delete impl;
        return NX_IP_INTERNAL_ERROR;
    }
    if (driver && link_driver_carries_ip(driver)) {
        impl->driver = driver;
        if (!link_ip_attach(impl)) {
            tx_event_flags_delete(&impl->events);
            ip->impl = nullptr;
            delete impl;
            return NX_IP_INTERNAL_ERROR;
        }
    }
    instances().push_back(impl);
    ULONG index = static_cast<ULONG>(instances().size() - 1);
    if (tx_thread_create(&ip->thread, name, ip_thread_trampoline, index, stack, stack_size,
                         priority, priority, 0, TX_AUTO_START) != TX_SUCCESS) {
        tx_event_flags_delete(&impl->events);
        instances()[index] = nullptr;
        ip->impl = nullptr;
        delete impl;
        return NX_IP_INTERNAL_ERROR;
    }
    if (driver) defer(impl, [ip, driver] { start_link_driver(ip, driver); });
    return NX_SUCCESS;
}

void nx_link_receive_observer(std::function<void(nx_link_kind, const NX_PACKET&)> observer) {
    CInterruptLock lock;
    link_observer() = std::move(observer);
}

void _nx_ip_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet) {
    ip_impl* impl = ip_of(ip);
    if (packet && impl && impl->link) {
        link_ip_input(impl, packet->prepend_ptr, packet->length);
        nx_packet_release(packet);
        return;
    }
    link_receive(NX_LINK_IP, packet);
}
void _nx_arp_packet_deferred_receive(NX_IP*, NX_PACKET* packet) {
    link_receive(NX_LINK_ARP, packet);
}
void _nx_rarp_packet_deferred_receive(NX_IP*, NX_PACKET* packet) {
    link_receive(NX_LINK_RARP, packet);
}

UINT nx_ip_delete(NX_IP* ip) {
    ip_impl* impl = ip_of(ip);
    if (!impl) return NX_PTR_ERROR;
    if (impl->link) return NX_DELETE_ERROR; // a link's instance lives as long as its link
    if (!impl->listeners.empty() || !impl->udp_ports.empty()) return NX_SOCKETS_BOUND;
    tx_thread_terminate(&ip->thread);
    tx_thread_delete(&ip->thread);
    tx_event_flags_delete(&impl->events);
    for (ip_impl*& entry : instances())
        if (entry == impl) entry = nullptr;
    ip->impl = nullptr;
    delete impl;
    return NX_SUCCESS;
}

UINT nx_ip_address_get(NX_IP* ip, ULONG* address, ULONG* mask) {
    if (!ip_of(ip) || !address || !mask) return NX_PTR_ERROR;
    *address = ip->address;
    *mask = ip->mask;
    return NX_SUCCESS;
}

UINT nx_ip_address_set(NX_IP* ip, ULONG address, ULONG mask) {
    ip_impl* impl = ip_of(ip);
    if (!impl) return NX_PTR_ERROR;
    ip->address = address;
    ip->mask = mask;
    impl->host_address = choose_host_address(address); // for sockets bound from now on
    if (impl->link) link_ip_address_set(impl);
    return NX_SUCCESS;
}

// The link and the address are looked at again every tenth of a second of
// the wait.
UINT nx_ip_status_check(NX_IP* ip, ULONG needed, ULONG* actual, ULONG wait) {
    if (!ip_of(ip) || !actual) return NX_PTR_ERROR;
    const ULONG start = tx_time_get();
    for (;;) {
        *actual = live_status(ip) & needed;
        if (*actual == needed) return NX_SUCCESS;
        ULONG left = remaining(wait, start);
        if (left == 0 || tx_in_non_thread_context()) return NX_NOT_SUCCESSFUL;
        tx_thread_sleep(left < STATUS_POLL_TICKS ? left : STATUS_POLL_TICKS);
    }
}

UINT nx_ip_gateway_address_set(NX_IP* ip, ULONG address) {
    ip_impl* impl = ip_of(ip);
    if (!impl) return NX_PTR_ERROR;
    impl->gateway = address;
    return NX_SUCCESS;
}

UINT nx_ip_gateway_address_get(NX_IP* ip, ULONG* address) {
    ip_impl* impl = ip_of(ip);
    if (!impl || !address) return NX_PTR_ERROR;
    *address = impl->gateway;
    return NX_SUCCESS;
}

bool nx_network_available() {
    return host::host_options().network;
}

static UINT enable(NX_IP* ip, ULONG bit) {
    if (!ip_of(ip)) return NX_PTR_ERROR;
    ip->status |= bit;
    return NX_SUCCESS;
}

UINT nx_arp_enable(NX_IP* ip, void* cache, ULONG cache_size) {
    (void)cache;
    (void)cache_size;
    return enable(ip, NX_IP_ARP_ENABLED);
}

UINT nx_icmp_enable(NX_IP* ip) {
    return enable(ip, 0);
}

UINT nx_udp_enable(NX_IP* ip) {
    return enable(ip, NX_IP_UDP_ENABLED);
}

UINT nx_tcp_enable(NX_IP* ip) {
    return enable(ip, NX_IP_TCP_ENABLED);
}

static void put(ULONG* out, ULONG value) {
    if (out) *out = value;
}

UINT nx_ip_info_get(NX_IP* ip, ULONG* packets_sent, ULONG* packets_received, ULONG* packets_dropped,
                    ULONG* icmp_received) {
    ip_impl* impl = ip_of(ip);
    if (!impl) return NX_PTR_ERROR;
    put(packets_sent, impl->tcp_sent + impl->udp_sent);
    put(packets_received, impl->tcp_received + impl->udp_received);
    put(packets_dropped, impl->tcp_dropped + impl->udp_dropped);
    put(icmp_received, 0); // ICMP is answered by the host itself
    return NX_SUCCESS;
}

UINT nx_icmp_info_get(NX_IP* ip, ULONG* pings_sent, ULONG* ping_timeouts, ULONG* ping_responses) {
    if (!ip_of(ip)) return NX_PTR_ERROR;
    put(pings_sent, 0);
    put(ping_timeouts, 0);
    put(ping_responses, 0);
    return NX_SUCCESS;
}

UINT nx_arp_info_get(NX_IP* ip, ULONG* requests_sent, ULONG* requests_received,
                     ULONG* responses_sent, ULONG* responses_received, ULONG* dynamic_entries,
                     ULONG* static_entries, ULONG* aged_entries, ULONG* invalid_messages) {
    if (!ip_of(ip)) return NX_PTR_ERROR;
    for (ULONG* out : {requests_sent, requests_received, responses_sent, responses_received,
                       dynamic_entries, static_entries, aged_entries, invalid_messages})
        put(out, 0);
    return NX_SUCCESS;
}

UINT nx_arp_dynamic_entry_get(NX_IP* ip, ULONG index, ULONG* ip_address, uint8_t hardware[6]) {
    (void)index;
    (void)ip_address;
    (void)hardware;
    return ip_of(ip) ? NX_ENTRY_NOT_FOUND : NX_PTR_ERROR;
}

UINT nx_ip_host_port(UINT port) {
    const long host_port = long(port) + host::host_options().port_offset;
    return host_port >= 1 && host_port <= 0xFFFF ? UINT(host_port) : 0; // 0: no such host port
}
