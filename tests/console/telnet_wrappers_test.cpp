// The firmware's telnet client and server wrappers: states and results.
#include "tests/support/host_process.h"
#include "console/monitor_task.h"
#include "comm/network.h"
#include "console/telnet.h"
#include "tests/console/console_test_util.h"
#include "tests/support/firmware_fixture.h"

namespace {

using console_test::Peer;

class TelnetWrappers : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.port_offset = test_support::FreePortOffset();
    }
    // A host listener the client reaches; -> its port.
    uint16_t Listen() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 1);
        socklen_t len = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        return ntohs(a.sin_port);
    }
    void TearDown() override {
        if (listener_ >= 0) close(listener_);
        test_support::FirmwareFixture::TearDown();
    }
    int listener_ = -1;
};

TEST_F(TelnetWrappers, ClientConnectsOnceKeepsOnePacketsFirstBytesAndSeesThePeerClose) {
    ASSERT_EQ(1, ethernet_network_start());
    static CTelnetClient client(&ethernet_ip(), &netx_packet_pool());
    uint16_t port = Listen();
    int peer_fd = -1;
    {
        Peer peer([&] { peer_fd = accept(listener_, nullptr, nullptr); });
        ASSERT_EQ(1, client.Connect(NX_IP_LOOPBACK, port)); // creates the client first
    }
    EXPECT_EQ(CTelnetClient::CONNECTED, client.State());
    EXPECT_EQ(0, client.Connect(NX_IP_LOOPBACK, port)); // already connected: kept
    EXPECT_EQ(CTelnetClient::CONNECTED, client.State());
    EXPECT_EQ(1, client.Send("AT\r", 3));

    char buffer[10] = {};
    uint32_t length = 0;
    {
        Peer peer([&] { send(peer_fd, "0123456789012345678901234567890123456789", 40, 0); });
        ASSERT_EQ(1, client.Receive(buffer, sizeof buffer, &length, 500));
    }
    EXPECT_EQ(10u, length);
    EXPECT_EQ("0123456789", std::string(buffer, length));
    EXPECT_EQ(0, client.Receive(buffer, sizeof buffer, &length, 20)); // the rest was dropped

    {
        Peer peer([&] { close(peer_fd); });
    }
    tx_thread_sleep(5);
    EXPECT_EQ(1, client.Disconnect());
    EXPECT_EQ(CTelnetClient::DISCONNECTED, client.State());
    EXPECT_EQ(0, client.Disconnect());
    EXPECT_EQ(1, client.Delete());
    EXPECT_EQ(CTelnetClient::DELETED, client.State());
}

TEST_F(TelnetWrappers, ServerIsCreatedOnceAndStopsOnlyWhenStarted) {
    ASSERT_EQ(1, ethernet_network_start());
    CTelnetServer& server = TheMonitorTask().TelnetServer();
    EXPECT_EQ(0, server.Stop());
    ASSERT_EQ(1, server.Create());
    EXPECT_EQ(0, server.Create()); // creates nothing new
    EXPECT_EQ(CTelnetServer::CREATED, server.State());
    EXPECT_EQ(1, server.Start());
    EXPECT_EQ(CTelnetServer::STARTED, server.State());
    EXPECT_EQ(1, server.Stop());
    EXPECT_EQ(CTelnetServer::STOPPED, server.State());
    EXPECT_EQ(1, server.Delete());
    EXPECT_EQ(CTelnetServer::DELETED, server.State());
}

} // namespace
