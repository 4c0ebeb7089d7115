// The network stack against real host sockets on loopback: packet pools, TCP
// server and client sockets, UDP, abortable waits and the Telnet server's
// negotiation. The test body is a kernel thread on the virtual clock; the
// outside peer is a host thread that holds the clock while it talks.
#include "tests/support/host_process.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "platform/netstack/dhcp.h"
#include "platform/netstack/netstack.h"
#include "platform/netstack/telnet_addon.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "tests/support/kernel_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const ULONG PAYLOAD = 1500;
const UINT PORT = 4100;

// The outside peer: a host thread running `script`; the virtual clock stands
// still until the script is done, so the firmware's waits do not run out first.
class Peer {
  public:
    explicit Peer(std::function<void()> script) {
        host::host_activity_begin();
        thread_ = std::thread([script] {
            script();
            // What the script's last steps caused (an end of stream, say)
            // reaches the firmware before the clock may move on.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            host::host_activity_end();
        });
    }
    ~Peer() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::thread thread_;
};

// Let the firmware run until `done` holds (at most about two seconds): the
// clock stands still while host sockets deliver what the peer sent.
bool Settle(const std::function<bool()>& done) {
    for (int i = 0; i < 100; i++) {
        if (done()) return true;
        Peer hold([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        tx_thread_sleep(1);
    }
    return done();
}

int HostSocket(int type) {
    int fd = socket(AF_INET, type, 0);
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

int ConnectTo(uint16_t port) {
    int fd = HostSocket(SOCK_STREAM);
    sockaddr_in a = Loopback(port);
    for (int i = 0; i < 100; i++) {
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    close(fd);
    return -1;
}

std::string ReadSome(int fd, size_t want) {
    std::string text;
    char buffer[512];
    while (text.size() < want) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        text.append(buffer, n);
    }
    return text;
}

std::string Data(NX_PACKET* p) {
    return std::string(reinterpret_cast<char*>(p->prepend_ptr), p->length);
}

class NetStack : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        // Test programs run side by side: every process takes its own ports.
        host::host_options().port_offset = test_support::FreePortOffset();
        test_support::KernelFixture::SetUp();
        ASSERT_EQ(NX_SUCCESS,
                  nx_packet_pool_create(&pool_, "test pool", PAYLOAD, memory_, sizeof memory_));
        void* stack = nullptr;
        ASSERT_EQ(OS_OK, os_byte_allocate(&thread_stack_pool(), &stack, 2048, OS_NO_WAIT));
        ASSERT_EQ(NX_SUCCESS, nx_ip_create(&ip_, "test ip", NX_IP_LOOPBACK, 0xFF000000u, &pool_,
                                           nullptr, stack, 2048, 1));
    }
    uint16_t HostPort(UINT port) { return static_cast<uint16_t>(nx_ip_host_port(port)); }

    NX_PACKET* Packet(const std::string& text) {
        NX_PACKET* p = nullptr;
        EXPECT_EQ(NX_SUCCESS, nx_packet_allocate(&pool_, &p, NX_TCP_PACKET, NX_NO_WAIT));
        EXPECT_EQ(NX_SUCCESS, nx_packet_data_append(p, text.data(), text.size(), &pool_, 0));
        return p;
    }

    // The stack's records live as long as the process, as the firmware's do.
    static uint8_t memory_[16 * (PAYLOAD + 128)];
    static NX_PACKET_POOL pool_;
    static NX_IP ip_;
    static NX_TCP_SOCKET server_;
};

alignas(8) uint8_t NetStack::memory_[16 * (PAYLOAD + 128)];
NX_PACKET_POOL NetStack::pool_;
NX_IP NetStack::ip_;
NX_TCP_SOCKET NetStack::server_;

int g_disconnects = 0;
void CountDisconnect(NX_TCP_SOCKET*) {
    g_disconnects++;
}

// Without --ethernet the host-socket network has a link while the instance
// has an address, and there is no interface for a DHCP client to run on.
TEST_F(NetStack, TheStatusFollowsTheAddressAndDhcpNeedsAnInterface) {
    ULONG actual = 0;
    EXPECT_EQ(NX_SUCCESS,
              nx_ip_status_check(&ip_, NX_IP_LINK_ENABLED | NX_IP_ADDRESS_RESOLVED, &actual, 0));
    ASSERT_EQ(NX_SUCCESS, nx_ip_address_set(&ip_, 0, 0xFFFFFF00u));
    ULONG start = tx_time_get();
    EXPECT_EQ(NX_NOT_SUCCESSFUL, nx_ip_status_check(&ip_, NX_IP_LINK_ENABLED, &actual, 100));
    EXPECT_EQ(100u, tx_time_get() - start) << "the whole wait";
    EXPECT_EQ(0u, actual);

    NX_DHCP client{};
    ASSERT_EQ(NX_SUCCESS, nx_dhcp_create(&client, &ip_, "DHCP Client"));
    EXPECT_EQ(NX_DHCP_NO_INTERFACE, nx_dhcp_start(&client));
    EXPECT_EQ(NX_DHCP_NOT_BOUND, nx_dhcp_force_renew(&client));
    EXPECT_EQ(NX_DHCP_NOT_STARTED, nx_dhcp_stop(&client));
    EXPECT_EQ(NX_SUCCESS, nx_dhcp_delete(&client));
    EXPECT_EQ(NX_PTR_ERROR, nx_dhcp_force_renew(&client));
    EXPECT_EQ(NX_SUCCESS, nx_ip_address_set(&ip_, NX_IP_LOOPBACK, 0xFF000000u));
}

TEST_F(NetStack, PoolCountsEmptyRequestsInvalidReleasesAndRefusesOverflow) {
    std::vector<NX_PACKET*> taken;
    NX_PACKET* p = nullptr;
    while (nx_packet_allocate(&pool_, &p, NX_UDP_PACKET, NX_NO_WAIT) == NX_SUCCESS)
        taken.push_back(p);
    ULONG total = 0, free_packets = 9, requests = 0, suspensions = 0, invalid = 0;
    nx_packet_pool_info_get(&pool_, &total, &free_packets, &requests, &suspensions, &invalid);
    EXPECT_EQ(total, taken.size());
    EXPECT_EQ(0u, free_packets);
    EXPECT_EQ(1u, requests);
    EXPECT_EQ(NX_NO_PACKET, nx_packet_allocate(&pool_, &p, NX_UDP_PACKET, 20)); // waits, runs out
    std::string big(PAYLOAD, 'x');
    EXPECT_EQ(NX_OVERFLOW, nx_packet_data_append(taken[0], big.data(), big.size(), &pool_, 0));
    EXPECT_EQ(0u, taken[0]->length);
    for (NX_PACKET* q : taken)
        EXPECT_EQ(NX_SUCCESS, nx_packet_release(q));
    EXPECT_EQ(NX_ALREADY_RELEASED, nx_packet_release(taken[0]));
    nx_packet_pool_info_get(&pool_, &total, &free_packets, &requests, &suspensions, &invalid);
    EXPECT_EQ(total, free_packets);
    EXPECT_EQ(2u, requests);
    EXPECT_EQ(1u, suspensions);
    EXPECT_EQ(1u, invalid);
}

// A stored port that the offset would push past 65535 is refused, never
// wrapped onto some other host port.
TEST_F(NetStack, APortTheOffsetPushesOutOfRangeIsRefused) {
    const int offset = host::host_options().port_offset;
    const UINT beyond = UINT(65536 - offset);
    EXPECT_EQ(0u, nx_ip_host_port(beyond));
    EXPECT_EQ(UINT(65535), nx_ip_host_port(beyond - 1));
    ASSERT_EQ(NX_SUCCESS,
              nx_tcp_socket_create(&ip_, &server_, "srv", 0, 0, 128, 1000, nullptr, nullptr));
    EXPECT_EQ(NX_PORT_UNAVAILABLE, nx_tcp_server_socket_listen(&ip_, beyond, &server_, 2, nullptr));
    static NX_UDP_SOCKET udp;
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_create(&ip_, &udp, "udp", 0, 0, 128, 2));
    EXPECT_EQ(NX_PORT_UNAVAILABLE, nx_udp_socket_bind(&udp, beyond, 0));
    nx_udp_socket_delete(&udp);
}

TEST_F(NetStack, TcpServerExchangesDataAndSeesThePeerClose) {
    g_disconnects = 0;
    ASSERT_EQ(NX_SUCCESS, nx_tcp_socket_create(&ip_, &server_, "srv", 0, 0, 128, 1000, nullptr,
                                               CountDisconnect));
    ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_listen(&ip_, PORT, &server_, 2, nullptr));
    std::string answer;
    uint16_t port = HostPort(PORT);
    Peer peer([&] {
        int fd = ConnectTo(port);
        send(fd, "hello", 5, 0);
        answer = ReadSome(fd, 5);
        close(fd);
    });
    ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_accept(&server_, 500));
    EXPECT_EQ(NX_TCP_ESTABLISHED, server_.state);
    NX_PACKET* p = nullptr;
    ASSERT_EQ(NX_SUCCESS, nx_tcp_socket_receive(&server_, &p, 500));
    EXPECT_EQ("hello", Data(p));
    nx_packet_release(p);
    ASSERT_EQ(NX_SUCCESS, nx_tcp_socket_send(&server_, Packet("world"), 100));
    EXPECT_EQ(NX_NOT_CONNECTED, nx_tcp_socket_receive(&server_, &p, 500)); // the peer closed
    peer.Join();
    EXPECT_EQ("world", answer);
    tx_thread_sleep(2); // the IP thread runs the disconnect callback
    EXPECT_EQ(1, g_disconnects);
    EXPECT_EQ(NX_SUCCESS, nx_tcp_socket_disconnect(&server_, 10));
    EXPECT_EQ(NX_SUCCESS, nx_tcp_server_socket_unaccept(&server_));
    EXPECT_EQ(NX_SUCCESS, nx_tcp_server_socket_relisten(&ip_, PORT, &server_));
    EXPECT_EQ(NX_TCP_LISTEN_STATE, server_.state);
    ULONG sent = 0, received = 0;
    nx_tcp_info_get(&ip_, &sent, &received, nullptr, nullptr);
    EXPECT_EQ(1u, sent);
    EXPECT_EQ(1u, received);
}

int g_listen_calls = 0;
void CountListen(NX_TCP_SOCKET*, UINT port) {
    if (port == PORT) g_listen_calls++;
}

// Until the stack has refused `count` connections (at most a few seconds of
// host time, while the peer holds the clock): the kernel takes the host's
// connections whenever this thread enters it.
bool RefusedConnections(NX_IP* ip, ULONG count) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        ULONG dropped = 0;
        nx_tcp_info_get(ip, nullptr, nullptr, nullptr, &dropped);
        if (dropped >= count) return true;
        if (std::chrono::steady_clock::now() > until) return false;
        tx_thread_relinquish();
    }
}

TEST_F(NetStack, QueuedConnectionWaitsForARelistenAndAFullQueueRefuses) {
    g_listen_calls = 0;
    static NX_TCP_SOCKET second;
    ASSERT_EQ(NX_SUCCESS,
              nx_tcp_socket_create(&ip_, &server_, "a", 0, 0, 128, 1000, nullptr, nullptr));
    ASSERT_EQ(NX_SUCCESS,
              nx_tcp_socket_create(&ip_, &second, "b", 0, 0, 128, 1000, nullptr, nullptr));
    ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_listen(&ip_, PORT, &server_, 1, CountListen));
    EXPECT_EQ(NX_DUPLICATE_LISTEN, nx_tcp_server_socket_listen(&ip_, PORT, &second, 1, nullptr));
    uint16_t port = HostPort(PORT);
    std::string first_got, second_got, third_got = "unset";
    Peer peer([&] {
        int a = ConnectTo(port);
        int b = ConnectTo(port);
        send(b, "second", 6, 0);
        int c = ConnectTo(port); // the queue of one is full: refused once accepted
        first_got = ReadSome(a, 1);
        second_got = ReadSome(b, 1);
        third_got = ReadSome(c, 1);
        close(a);
        close(b);
        close(c);
    });
    ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_accept(&server_, 500));
    // The host hands the connections over in the order they came: once the
    // third is refused, the second waits in the queue.
    ASSERT_TRUE(RefusedConnections(&ip_, 1));
    EXPECT_EQ(NX_CONNECTION_PENDING, nx_tcp_server_socket_relisten(&ip_, PORT, &second));
    ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_accept(&second, 100));
    NX_PACKET* p = nullptr;
    ASSERT_EQ(NX_SUCCESS, nx_tcp_socket_receive(&second, &p, 500));
    EXPECT_EQ("second", Data(p));
    nx_packet_release(p);
    ASSERT_EQ(NX_SUCCESS, nx_tcp_socket_send(&server_, Packet("1"), 0));
    ASSERT_EQ(NX_SUCCESS, nx_tcp_socket_send(&second, Packet("2"), 0));
    peer.Join(); // what it reads is in the host sockets already
    EXPECT_EQ("1", first_got);
    EXPECT_EQ("2", second_got);
    EXPECT_EQ("", third_got); // closed without data
    tx_thread_sleep(1);       // the IP thread has run the listen callbacks
    EXPECT_EQ(2, g_listen_calls);
    EXPECT_EQ(NX_SUCCESS, nx_tcp_server_socket_unlisten(&ip_, PORT));
}

TEST_F(NetStack, ReceiveWindowCutsLargeDataIntoPackets) {
    ASSERT_EQ(NX_SUCCESS,
              nx_tcp_socket_create(&ip_, &server_, "srv", 0, 0, 128, 100, nullptr, nullptr));
    ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_listen(&ip_, PORT, &server_, 1, nullptr));
    uint16_t port = HostPort(PORT);
    std::string sent(1000, 'a');
    for (size_t i = 0; i < sent.size(); i++)
        sent[i] = static_cast<char>('a' + i % 26);
    Peer peer([&] {
        int fd = ConnectTo(port);
        send(fd, sent.data(), sent.size(), 0);
        ReadSome(fd, 1); // until the firmware closes
        close(fd);
    });
    ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_accept(&server_, 500));
    std::string got;
    NX_PACKET* p = nullptr;
    while (got.size() < sent.size() && nx_tcp_socket_receive(&server_, &p, 500) == NX_SUCCESS) {
        EXPECT_LE(p->length, 100u);
        got += Data(p);
        nx_packet_release(p);
    }
    EXPECT_EQ(sent, got);
    nx_tcp_socket_disconnect(&server_, 0);
}

TEST_F(NetStack, TcpClientConnectsSendsAndIsRefusedByAClosedPort) {
    int listener = HostSocket(SOCK_STREAM);
    sockaddr_in a = Loopback(0);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a));
    listen(listener, 1);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    uint16_t port = ntohs(a.sin_port);
    std::string got;
    static NX_TCP_SOCKET client;
    ASSERT_EQ(NX_SUCCESS,
              nx_tcp_socket_create(&ip_, &client, "cli", 0, 0, 128, 1000, nullptr, nullptr));
    ASSERT_EQ(NX_SUCCESS, nx_tcp_client_socket_bind(&client, NX_ANY_PORT, 0));
    Peer peer([&] {
        int fd = accept(listener, nullptr, nullptr);
        got = ReadSome(fd, 4);
        close(fd);
    });
    ASSERT_EQ(NX_SUCCESS, nx_tcp_client_socket_connect(&client, NX_IP_LOOPBACK, port, 500));
    ASSERT_EQ(NX_SUCCESS, nx_tcp_socket_send(&client, Packet("ping"), 100));
    peer.Join();
    EXPECT_EQ("ping", got);
    EXPECT_EQ(NX_SUCCESS, nx_tcp_socket_disconnect(&client, 100));
    close(listener); // nobody listens there any more
    EXPECT_EQ(NX_NOT_CONNECTED, nx_tcp_client_socket_connect(&client, NX_IP_LOOPBACK, port, 500));
    EXPECT_EQ(NX_TCP_CLOSED, client.state);
}

// A second kernel thread waits for data without limit; its wait is aborted.
NX_TCP_SOCKET* g_waiting_socket = nullptr;
UINT g_wait_result = 0;
void WaitForData(ULONG) {
    NX_PACKET* p = nullptr;
    g_wait_result = nx_tcp_socket_receive(g_waiting_socket, &p, NX_WAIT_FOREVER);
}

TEST_F(NetStack, BlockingReceiveEndsWhenItsWaitIsAborted) {
    ASSERT_EQ(NX_SUCCESS,
              nx_tcp_socket_create(&ip_, &server_, "srv", 0, 0, 128, 1000, nullptr, nullptr));
    ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_listen(&ip_, PORT, &server_, 1, nullptr));
    uint16_t port = HostPort(PORT);
    int fd = -1;
    {
        Peer peer([&] { fd = ConnectTo(port); });
        ASSERT_EQ(NX_SUCCESS, nx_tcp_server_socket_accept(&server_, 500));
    }
    g_waiting_socket = &server_;
    g_wait_result = 0xFF;
    static TX_THREAD waiter;
    static uint8_t stack[4096];
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(&waiter, "waiter", WaitForData, 0, stack, sizeof stack,
                                           5, 5, 0, TX_AUTO_START));
    tx_thread_sleep(1000); // nothing comes: it still waits
    EXPECT_EQ(0xFFu, g_wait_result);
    tx_thread_wait_abort(&waiter);
    tx_thread_sleep(1);
    EXPECT_EQ(NX_WAIT_ABORTED, g_wait_result);
    close(fd);
}

TEST_F(NetStack, UdpDatagramsCarryTheirSourceBothWays) {
    static NX_UDP_SOCKET udp;
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_create(&ip_, &udp, "udp", 0, 0, 128, 2));
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_bind(&udp, 161, NX_WAIT_FOREVER));
    static NX_UDP_SOCKET other;
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_create(&ip_, &other, "udp2", 0, 0, 128, 2));
    EXPECT_EQ(NX_PORT_UNAVAILABLE, nx_udp_socket_bind(&other, 161, 0));
    uint16_t port = HostPort(161);
    int fd = HostSocket(SOCK_DGRAM);
    sockaddr_in me = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me);
    socklen_t len = sizeof me;
    getsockname(fd, reinterpret_cast<sockaddr*>(&me), &len);
    std::string reply;
    {
        Peer peer([&] {
            sockaddr_in to = Loopback(port);
            sendto(fd, "get", 3, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        });
        NX_PACKET* p = nullptr;
        ASSERT_EQ(NX_SUCCESS, nx_udp_socket_receive(&udp, &p, 500));
        EXPECT_EQ("get", Data(p));
        ULONG from = 0;
        UINT from_port = 0;
        nx_udp_source_extract(p, &from, &from_port);
        EXPECT_EQ(NX_IP_LOOPBACK, from);
        EXPECT_EQ(ntohs(me.sin_port), from_port);
        nx_packet_release(p);
        ASSERT_EQ(NX_SUCCESS, nx_udp_socket_send(&udp, Packet("response"), from, from_port));
    }
    reply = ReadSome(fd, 8);
    EXPECT_EQ("response", reply);
    NX_PACKET* p = nullptr;
    EXPECT_EQ(NX_NO_PACKET, nx_udp_socket_receive(&udp, &p, 10));
    EXPECT_EQ(NX_STILL_BOUND, nx_udp_socket_delete(&udp));
    EXPECT_EQ(NX_SUCCESS, nx_udp_socket_unbind(&udp));
    EXPECT_EQ(NX_SUCCESS, nx_udp_socket_delete(&udp));
    close(fd);
}

// Answers to datagrams that wait behind others may leave together, but in
// order and never later than the sender's next wait; the answer to the last
// waiting datagram leaves at once, while the sender still runs.
TEST_F(NetStack, UdpAnswersToQueuedDatagramsLeaveInOrderByTheNextWait) {
    static NX_UDP_SOCKET udp;
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_create(&ip_, &udp, "udp", 0, 0, 128, 8));
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_bind(&udp, 161, NX_WAIT_FOREVER));
    int fd = HostSocket(SOCK_DGRAM);
    sockaddr_in me = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me);
    {
        Peer peer([&] {
            sockaddr_in to = Loopback(HostPort(161));
            for (const char* q : {"q1", "q2", "q3"})
                sendto(fd, q, 2, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        });
    }
    auto received = [] {
        ULONG count = 0;
        nx_udp_info_get(&ip_, nullptr, &count, nullptr, nullptr);
        return count;
    };
    ASSERT_TRUE(Settle([&] { return received() == 3; }));
    auto answer = [&](const std::string& text) {
        NX_PACKET* p = nullptr;
        ASSERT_EQ(NX_SUCCESS, nx_udp_socket_receive(&udp, &p, NX_NO_WAIT));
        ULONG from = 0;
        UINT from_port = 0;
        nx_udp_source_extract(p, &from, &from_port);
        nx_packet_release(p);
        ASSERT_EQ(NX_SUCCESS, nx_udp_socket_send(&udp, Packet(text), from, from_port));
    };
    answer("a1");
    answer("a2");
    tx_thread_sleep(1);
    EXPECT_EQ("a1a2", ReadSome(fd, 4));
    answer("a3");
    EXPECT_EQ("a3", ReadSome(fd, 2));
    ULONG sent = 0;
    nx_udp_info_get(&ip_, &sent, nullptr, nullptr, nullptr);
    EXPECT_EQ(3u, sent);
    EXPECT_EQ(NX_SUCCESS, nx_udp_socket_unbind(&udp));
    EXPECT_EQ(NX_SUCCESS, nx_udp_socket_delete(&udp));
    close(fd);
}

// A UDP port of the sign is its own: another program cannot share it while
// it is bound, even asking to (SO_REUSEADDR), and has it at once after the
// unbind, however busy the I/O thread that watched it.
TEST_F(NetStack, AUdpPortIsNeverSharedAndFreeAtOnceAfterTheUnbind) {
    static NX_UDP_SOCKET udp;
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_create(&ip_, &udp, "udp", 0, 0, 128, 2));
    const sockaddr_in port = Loopback(HostPort(161));
    for (int round = 0; round < 50; ++round) {
        ASSERT_EQ(NX_SUCCESS, nx_udp_socket_bind(&udp, 161, NX_WAIT_FOREVER));
        int sharer = HostSocket(SOCK_DGRAM);
        int one = 1;
        setsockopt(sharer, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        EXPECT_NE(0, bind(sharer, reinterpret_cast<const sockaddr*>(&port), sizeof port)) << round;
        close(sharer);
        ASSERT_EQ(NX_SUCCESS, nx_udp_socket_unbind(&udp));
        int next = HostSocket(SOCK_DGRAM);
        EXPECT_EQ(0, bind(next, reinterpret_cast<const sockaddr*>(&port), sizeof port))
            << round << ": " << strerror(errno);
        close(next);
    }
    EXPECT_EQ(NX_SUCCESS, nx_udp_socket_delete(&udp));
}

// The instance's sockets listen on its own address when this host has it
// (127.0.0.2 is one of every Linux host's), else on loopback (192.0.2.10, a
// documentation address, never is).
TEST_F(NetStack, SocketsListenOnTheInstanceAddressOrElseOnLoopback) {
    struct Case {
        ULONG address;
        uint32_t listens_on, not_on;
    } cases[] = {
        {0x7F000002u, 0x7F000002u, NX_IP_LOOPBACK},
        {0xC000020Au, NX_IP_LOOPBACK, 0x7F000002u},
    };
    static NX_UDP_SOCKET udp[2];
    for (UINT i = 0; i < 2; i++) {
        const Case& c = cases[i];
        ASSERT_EQ(NX_SUCCESS, nx_ip_address_set(&ip_, c.address, 0xFFFFFF00u));
        ASSERT_EQ(NX_SUCCESS, nx_udp_socket_create(&ip_, &udp[i], "udp", 0, 0, 128, 4));
        ASSERT_EQ(NX_SUCCESS, nx_udp_socket_bind(&udp[i], 170 + i, NX_WAIT_FOREVER));
        uint16_t port = HostPort(170 + i);
        int fd = HostSocket(SOCK_DGRAM);
        {
            Peer peer([&] {
                sockaddr_in to = Loopback(port);
                to.sin_addr.s_addr = htonl(c.not_on);
                sendto(fd, "astray", 6, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                to.sin_addr.s_addr = htonl(c.listens_on);
                sendto(fd, "here", 4, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            });
            NX_PACKET* p = nullptr;
            ASSERT_EQ(NX_SUCCESS, nx_udp_socket_receive(&udp[i], &p, 500)) << i;
            EXPECT_EQ("here", Data(p)) << i;
            nx_packet_release(p);
        }
        NX_PACKET* p = nullptr;
        EXPECT_EQ(NX_NO_PACKET, nx_udp_socket_receive(&udp[i], &p, 10)) << i;
        EXPECT_EQ(NX_SUCCESS, nx_udp_socket_unbind(&udp[i]));
        close(fd);
    }
}

// ---- Telnet server add-on ----

std::string g_telnet_data;
int g_telnet_new = 0, g_telnet_end = 0;
void TelnetNew(NX_TELNET_SERVER*, UINT) {
    g_telnet_new++;
}
void TelnetData(NX_TELNET_SERVER*, UINT, NX_PACKET* p) {
    g_telnet_data += Data(p);
    nx_packet_release(p);
}
void TelnetEnd(NX_TELNET_SERVER*, UINT) {
    g_telnet_end++;
}

TEST_F(NetStack, TelnetServerOffersCharacterModeAndTakesNegotiationOutOfTheData) {
    g_telnet_data.clear();
    g_telnet_new = g_telnet_end = 0;
    static NX_TELNET_SERVER server;
    void* stack = nullptr;
    ASSERT_EQ(OS_OK, os_byte_allocate(&thread_stack_pool(), &stack, 2048, OS_NO_WAIT));
    ASSERT_EQ(NX_SUCCESS, nx_telnet_server_create(&server, "Server", &ip_, stack, 2048, TelnetNew,
                                                  TelnetData, TelnetEnd));
    ASSERT_EQ(NX_SUCCESS, nx_telnet_server_start(&server));
    uint16_t port = HostPort(NX_TELNET_SERVER_PORT);
    std::string offer, answer;
    Peer peer([&] {
        int fd = ConnectTo(port);
        offer = ReadSome(fd, 6);
        const char input[] = "ab\r\0c\xFF\xFD\x01"      // DO ECHO: our own offer, not answered
                             "\xFF\xFB\x1F"             // WILL window size: refused
                             "\xFF\xFA\x18\x01\xFF\xF0" // a subnegotiation, skipped
                             "d\r\ne\xFF\xFF";
        send(fd, input, sizeof input - 1, 0);
        answer = ReadSome(fd, 3);
        close(fd);
    });
    Settle([] { return g_telnet_end == 1; }); // the firmware serves while the peer talks
    peer.Join();
    EXPECT_EQ(std::string("\xFF\xFB\x01\xFF\xFB\x03"), offer);
    EXPECT_EQ(std::string("\xFF\xFE\x1F"), answer);
    EXPECT_EQ(std::string("ab\rcd\re\xFF"), g_telnet_data);
    EXPECT_EQ(1, g_telnet_new);
    EXPECT_EQ(1, g_telnet_end);
    // The connection's place listens again for the next client.
    Peer second([&] {
        int fd = ConnectTo(port);
        ReadSome(fd, 6);
        close(fd);
    });
    Settle([] { return g_telnet_end == 2; });
    second.Join();
    EXPECT_EQ(2, g_telnet_new);
    EXPECT_EQ(2, g_telnet_end);
}

// ---- host events on the processor ----

// What a kernel thread saw when a host event woke it.
struct Arrival {
    ULONG tick;
    std::thread::id host_thread;
    std::string data;
};
std::vector<Arrival> g_arrivals;
NX_UDP_SOCKET g_event_udp;

void ReceiveOneDatagram(ULONG) {
    NX_PACKET* p = nullptr;
    if (nx_udp_socket_receive(&g_event_udp, &p, NX_WAIT_FOREVER) != NX_SUCCESS) return;
    g_arrivals.push_back({tx_time_get(), std::this_thread::get_id(), Data(p)});
    nx_packet_release(p);
}

void TelnetArrival(NX_TELNET_SERVER*, UINT, NX_PACKET* p) {
    g_arrivals.push_back({tx_time_get(), std::this_thread::get_id(), Data(p)});
    nx_packet_release(p);
}

TEST_F(NetStack, HostEventsReachWaitingThreadsAsInterruptsWhileTheClockStandsStill) {
    g_arrivals.clear();
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_create(&ip_, &g_event_udp, "udp", 0, 0, 128, 2));
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_bind(&g_event_udp, 162, NX_WAIT_FOREVER));
    static TX_THREAD receiver;
    static uint8_t stack[4096];
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(&receiver, "receiver", ReceiveOneDatagram, 0, stack,
                                           sizeof stack, 5, 5, 0, TX_AUTO_START));
    static NX_TELNET_SERVER server;
    void* server_stack = nullptr;
    ASSERT_EQ(OS_OK, os_byte_allocate(&thread_stack_pool(), &server_stack, 2048, OS_NO_WAIT));
    ASSERT_EQ(NX_SUCCESS, nx_telnet_server_create(&server, "Server", &ip_, server_stack, 2048,
                                                  TelnetNew, TelnetArrival, TelnetEnd));
    ASSERT_EQ(NX_SUCCESS, nx_telnet_server_start(&server));
    tx_thread_sleep(10); // every kernel thread waits now
    ULONG start = tx_time_get();
    uint16_t udp_port = HostPort(162), telnet_port = HostPort(NX_TELNET_SERVER_PORT);
    int telnet_fd = -1;
    {
        // While the host events are pending the clock stands still: the body's
        // sleep cannot run out before they reached their threads.
        Peer peer([&] {
            int fd = HostSocket(SOCK_DGRAM);
            sockaddr_in to = Loopback(udp_port);
            sendto(fd, "trap", 4, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            close(fd);
            telnet_fd = ConnectTo(telnet_port);
            ReadSome(telnet_fd, 6); // the server's offer
            send(telnet_fd, "x", 1, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        });
        tx_thread_sleep(1000);
    }
    // Every thread waited and nothing was pending: the clock jumped to the
    // body's wake-up, and not before the events arrived.
    EXPECT_EQ(start + 1000, tx_time_get());
    ASSERT_EQ(2u, g_arrivals.size());
    for (const Arrival& a : g_arrivals) {
        EXPECT_EQ(start, a.tick) << a.data;
        // Kernel threads run on the processor's host thread, the test body's.
        EXPECT_EQ(std::this_thread::get_id(), a.host_thread) << a.data;
    }
    EXPECT_EQ("trap", g_arrivals[0].data);
    EXPECT_EQ("x", g_arrivals[1].data);
    close(telnet_fd);
}

} // namespace
