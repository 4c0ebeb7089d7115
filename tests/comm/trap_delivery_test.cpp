// Trap raising and delivery on the booted firmware: the enable settings, the
// Ethernet path's pacing and order, the CCP dial-back with a modem double,
// the bytes of a coldStart trap on the wire, the port-162 connection and the
// TCP trap client on the virtual clock. The delivery passes are run from the
// test thread (priority 0), so the communication task's own passes stay out
// until the test sleeps.
#include "comm/agents/ntcip_agents.h"
#include "comm/agents/trap_delivery.h"
#include "comm/agents/trap_message.h"
#include "comm/net/clients.h"
#include "store/database.h"
#include "store/objects.h"
#include "platform/kernel/host.h"
#include "tests/comm/agent_net_util.h"
#include "comm/drivers/ethernet_mac.h"
#include "platform/board/emac_model.h"
#include "tests/support/kernel_fixture.h"

#include <fcntl.h>

#include <chrono>
#include <functional>
#include <thread>

#include <string>
#include <vector>

namespace {

using snmp_test::Bytes;

const uint32_t LOOPBACK = 0x7F000001;

uint16_t receiver_port() {
    return uint16_t(test_support::FreePortOffset() + 1062);
}

// The central system's trap receiver: a UDP socket, or a TCP listener whose
// connections are accepted as they come.
class Receiver {
  public:
    explicit Receiver(int type) : type_(type) {
        fd_ = socket(AF_INET, type, 0);
        int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a = agent_test::loopback(receiver_port());
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (type == SOCK_STREAM) listen(fd_, 4);
        fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~Receiver() {
        if (peer_ >= 0) close(peer_);
        close(fd_);
    }
    // What arrived so far (a TCP receiver accepts first).
    Bytes Take() {
        if (type_ == SOCK_STREAM && peer_ < 0) {
            peer_ = accept(fd_, nullptr, nullptr);
            if (peer_ >= 0) fcntl(peer_, F_SETFL, O_NONBLOCK);
        }
        int from = type_ == SOCK_STREAM ? peer_ : fd_;
        Bytes got;
        uint8_t buffer[4096];
        ssize_t n;
        while (from >= 0 && (n = recv(from, buffer, sizeof buffer, 0)) > 0)
            got.insert(got.end(), buffer, buffer + n);
        closed_ = from >= 0 && n == 0;
        return got;
    }
    int Datagrams() {
        int count = 0;
        uint8_t buffer[4096];
        while (recv(fd_, buffer, sizeof buffer, 0) > 0)
            count++;
        return count;
    }
    bool Connected() const { return peer_ >= 0; }
    bool PeerClosed() const { return closed_; }

  private:
    int type_;
    int fd_ = -1;
    int peer_ = -1;
    bool closed_ = false;
};

class TrapDelivery : public agent_test::NetworkedSign {
  protected:
    void SetUp() override {
        agent_test::NetworkedSign::SetUp(); // the network is up, the trap clients exist
        emac_link_monitor();                // and the MAC driver has seen the link
        TheTrapBuffer().Clear();
        ResetTrapDelivery();
        AimAt(LOOPBACK, receiver_port());
    }
    static void AimAt(uint32_t address, uint16_t port) {
        TheNTCIP_IP().SetCentralAddress(address);
        TheNTCIP_IP().central_trap_port = port;
        AimTrapClients();
    }
    static void Modes(uint8_t ccp, uint8_t ethernet) {
        db_set(obj::halvCommConfigTraps.row(0), ccp, 0);
        db_set(obj::halvCommConfigTraps.row(4), ethernet, 0);
    }
    static void Raise(uint32_t generic, uint32_t specific = 0) {
        raise_trap(generic, specific, 0, nullptr);
    }
    static uint32_t Queued() { return TheTrapBuffer().Count(); }
    // Runs the firmware tick by tick, the clock held a moment each tick so
    // that host events (connections, refusals) keep pace with it, until
    // `done` or `ticks` ran out.
    static bool Tick(const std::function<bool()>& done, int ticks) {
        for (int i = 0; i < ticks; i++) {
            if (done()) return true;
            host::host_activity_begin();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            host::host_activity_end();
            tx_thread_sleep(1);
        }
        return done();
    }
};

struct enable_case {
    uint8_t ccp, ethernet;
    uint32_t generic_mask;
    std::vector<uint8_t> enterprise;
    uint32_t generic, specific;
    bool queued;
};

TEST_F(TrapDelivery, TheEnableSettingsDecideWhatIsQueued) {
    const enable_case cases[] = {
        {0, 0, 0x7F, {0xFF, 0xFF, 0xFF}, 0, 0, false}, // no port has a trap mode
        {1, 0, 65, {}, 0, 0, true},                    // coldStart with 65
        {1, 0, 65, {}, 1, 0, false},                   // warmStart is not in 65
        {0, 3, 65, {0x01}, 6, 2, true},
        {0, 3, 65, {0x01}, 6, 3, false},
        {0, 3, 65, {0x01}, 6, 10, false}, // needs bit 0 of the second byte
        {0, 3, 65, {0x00, 0x01}, 6, 10, true},
        {0, 3, 0x3F, {0xFF}, 6, 2, false},              // generic 6 itself is off
        {0, 4, 0x7F, {0xFF, 0xFF, 0xFF}, 6, 21, false}, // no such enterprise trap
        {0, 2, 0x7F, {}, 7, 0, false},                  // no such generic trap
        {5, 5, 0x7F, {}, 0, 0, false},                  // 5 is no trap mode
    };
    for (const enable_case& c : cases) {
        TheTrapBuffer().Clear();
        Modes(c.ccp, c.ethernet);
        db_set(obj::halvTrapsGeneric, c.generic_mask, 0);
        db_set_string(obj::halvTrapsEnterpriseSpecific, c.enterprise.data(),
                      uint32_t(c.enterprise.size()), 0);
        Raise(c.generic, c.specific);
        EXPECT_EQ(c.queued ? 1u : 0u, Queued())
            << "modes " << int(c.ccp) << "/" << int(c.ethernet) << " mask " << c.generic_mask
            << " trap " << c.generic << "." << c.specific;
    }
}

TEST_F(TrapDelivery, UdpTrapsLeaveOnPassesOneFourAndSevenAndNeverTwice) {
    Modes(1, 3); // the CCP port (PMPP, no RDI) takes nothing meanwhile
    db_set(obj::halvTrapsGeneric, 0x7F, 0);
    Receiver central(SOCK_DGRAM);
    for (int i = 0; i < 3; i++)
        Raise(TRAP_COLD_START);
    std::vector<uint32_t> left;
    for (int pass = 1; pass <= 7; pass++) {
        CNTCIP::ProcessTraps();
        left.push_back(Queued());
    }
    EXPECT_EQ((std::vector<uint32_t>{2, 2, 2, 1, 1, 1, 0}), left);
    tx_thread_sleep(1);
    EXPECT_EQ(3, central.Datagrams());
}

// A pulled cable: the MAC driver's link monitor sees the link down, and the
// Ethernet path holds its traps back, looking again every third pass.
TEST_F(TrapDelivery, APulledCableHoldsTheEthernetTrapsBack) {
    Modes(0, 3);
    db_set(obj::halvTrapsGeneric, 0x7F, 0);
    Receiver central(SOCK_DGRAM);
    Raise(TRAP_COLD_START);
    board::ethernet_set_cable(0);
    emac_link_monitor();
    for (int pass = 0; pass < 4; pass++)
        CNTCIP::ProcessTraps();
    EXPECT_EQ(1u, Queued());
    board::ethernet_set_cable(1);
    emac_link_monitor();
    std::vector<uint32_t> left;
    for (int pass = 0; pass < 3; pass++) {
        CNTCIP::ProcessTraps();
        left.push_back(Queued());
    }
    EXPECT_EQ((std::vector<uint32_t>{1, 1, 0}), left) << "the pacing of the last look runs out";
    tx_thread_sleep(1);
    EXPECT_EQ(1, central.Datagrams());
}

TEST_F(TrapDelivery, EthernetComesBeforeTheCcpPort) {
    Modes(1, 3);
    db_set(obj::halvCommConfigProtocol.row(0), TRAP_CCP_PPP, 0);
    AgentRow(FindAgent("ccp_ppp"))->agent->ppp.ipcp_state = PPP_IPCP_OPENED;
    db_set(obj::halvTrapsGeneric, 0x7F, 0);
    Receiver central(SOCK_DGRAM);
    Raise(TRAP_COLD_START);
    Raise(TRAP_WARM_START);
    CNTCIP::ProcessTraps(); // one each: UDP first, then the PPP link
    EXPECT_EQ(0u, Queued());
    tx_thread_sleep(1);
    EXPECT_EQ(1, central.Datagrams());
}

TEST_F(TrapDelivery, NothingIsOfferedWhileTheTcpClientHoldsAMessage) {
    Modes(0, 2);
    db_set(obj::halvTrapsGeneric, 0x7F, 0);
    AimAt(LOOPBACK, receiver_port()); // nobody listens: the message stays pending
    Raise(TRAP_COLD_START);
    Raise(TRAP_WARM_START);
    CNTCIP::ProcessTraps();
    EXPECT_EQ(1u, Queued());
    EXPECT_TRUE(tcp_client_busy(&TrapTcpClient()));
    CNTCIP::ProcessTraps();
    EXPECT_EQ(1u, Queued());
}

// The bytes of a coldStart trap from a sign at 127.0.0.1, 12 s after start.
TEST_F(TrapDelivery, AColdStartTrapOnTheWire) {
    Receiver central(SOCK_DGRAM);
    snmp_agent* agent = AgentRow(FindAgent("ethernet_udp"))->agent;
    const uint8_t address[4] = {127, 0, 0, 1};
    while (tx_time_get() < 1200)
        tx_thread_sleep(1200 - tx_time_get());
    ASSERT_EQ(1200u, tx_time_get());
    tx_semaphore_get(&agent->semaphore, TX_WAIT_FOREVER);
    EXPECT_EQ(1, snmp_trap(agent, TRAP_TRANSPORT_UDP, receiver_port(), address, nullptr,
                           TRAP_COLD_START, 5, 0, nullptr));
    tx_semaphore_put(&agent->semaphore);
    tx_thread_sleep(1);
    EXPECT_EQ(snmp_test::hex("30 25 02 01 00 04 06 6D 65 61 64 6F 77 A4 18 06 05 2B 06 01 04 0B "
                             "40 04 7F 00 00 01 02 01 00 02 01 00 43 01 0C 30 00"),
              central.Take());
}

// A varbind of a type a trap cannot carry goes as NULL; the trap still leaves.
TEST_F(TrapDelivery, AnUnknownVarbindTypeGoesAsNull) {
    Receiver central(SOCK_DGRAM);
    snmp_agent* agent = AgentRow(FindAgent("ethernet_udp"))->agent;
    trap_varbind v[2];
    location_time_varbinds(v, 0x01020304);
    v[0].type = 42;
    const uint8_t address[4] = {127, 0, 0, 1};
    test_support::ClearConsole();
    tx_semaphore_get(&agent->semaphore, TX_WAIT_FOREVER);
    snmp_trap(agent, TRAP_TRANSPORT_UDP, receiver_port(), address, "public", 6, 17, 2, v);
    tx_semaphore_put(&agent->semaphore);
    tx_thread_sleep(1);
    Bytes got = central.Take();
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("snmp_trap: trap varType error"));
    std::unique_ptr<snmp_pdu> pdu = snmp_test::new_pdu();
    snmp_message_info info{};
    ASSERT_TRUE(snmp_v1_message_decode(nullptr, 0, nullptr, got.data(), uint32_t(got.size()), &info,
                                       pdu.get()));
    EXPECT_STREQ("public", info.community);
    ASSERT_EQ(2, pdu->varbind_count);
    EXPECT_EQ(SNMP_NULL, pdu->varbinds[0].syntax);
    EXPECT_EQ(SNMP_COUNTER, pdu->varbinds[1].syntax);
    EXPECT_EQ(17u, pdu->specific_trap);
}

// Mode 4: a central system connected to TCP 162 gets the bare message.
TEST_F(TrapDelivery, TheConnectionOnPort162CarriesTheTrap) {
    Modes(0, 4);
    db_set(obj::halvTrapsGeneric, 0x7F, 0);
    agent_test::TcpManager central(162);
    Tick([] { return false; }, 60); // accepted: the schedule task raises its flag
    Raise(TRAP_WARM_START);
    CNTCIP::ProcessTraps();
    EXPECT_EQ(0u, Queued());
    Bytes got = central.Receive(2000);
    ASSERT_GE(got.size(), 14u);
    EXPECT_EQ(0x30, got[0]);
    EXPECT_EQ(0xA4, got[13]);
}

// A varbind of `arcs` sub-identifiers (1.3, then arcs of five encoded bytes)
// and an OCTET STRING of `octets` bytes.
trap_varbind long_varbind(uint32_t arcs, uint32_t octets) {
    trap_varbind v{};
    v.name[0] = 1;
    v.name[1] = 3;
    for (uint32_t i = 2; i < arcs; i++)
        v.name[i] = 0xFFFFFFFF;
    v.name_length = arcs;
    v.type = SNMP_OCTETSTR;
    v.value_length = octets;
    std::memset(v.value, 'x', octets);
    return v;
}

// The connection on TCP 162 takes a trap in pieces of at most 1,444 bytes
// each: a longer trap is refused whole and counted, never sent cut; one of
// exactly 1,444 bytes arrives whole. The trap: 45 bytes of envelope, six
// varbinds of 219 bytes, and a seventh of 85 (1,444) or 86 bytes (1,445).
TEST_F(TrapDelivery, ATrapLongerThanOneSendOfPort162IsRefusedWholeAndCounted) {
    agent_test::TcpManager central(162);
    Tick([] { return false; }, 60); // accepted
    snmp_agent* agent = AgentRow(FindAgent("ethernet_tcp"))->agent;
    const uint8_t address[4] = {127, 0, 0, 1};
    auto send = [&](uint32_t last_octets) {
        std::vector<trap_varbind> v(6, long_varbind(40, 20));
        v.push_back(long_varbind(15, last_octets));
        tx_semaphore_get(&agent->semaphore, TX_WAIT_FOREVER);
        snmp_trap(agent, TRAP_TRANSPORT_PORT, 0, address, nullptr, TRAP_ENTERPRISE_SPECIFIC, 9,
                  uint32_t(v.size()), v.data());
        tx_semaphore_put(&agent->semaphore);
    };
    const uint32_t too_bigs = db_get(obj::snmpOutTooBigs);
    test_support::ClearConsole();
    send(14); // 1,445 bytes
    EXPECT_EQ(too_bigs + 1, db_get(obj::snmpOutTooBigs));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("trap of 1445 bytes too long"));
    send(13); // 1,444 bytes: the next thing on the connection, whole
    const Bytes got = central.Receive(2000);
    ASSERT_EQ(1444u, got.size());
    std::unique_ptr<snmp_pdu> pdu = snmp_test::new_pdu();
    snmp_message_info info{};
    ASSERT_TRUE(snmp_v1_message_decode(nullptr, 0, nullptr, got.data(), uint32_t(got.size()), &info,
                                       pdu.get()));
    ASSERT_EQ(7, pdu->varbind_count);
    EXPECT_EQ(13u, pdu->varbinds[6].value_length);
    EXPECT_EQ(too_bigs + 1, db_get(obj::snmpOutTooBigs));
}

class ModemDouble : public CModemDriver {
  public:
    void PushResponseByte(uint8_t) override {}
    bool IsBufferAlmostFull() override { return false; }
    void Dial(const char* number) override { dials.push_back(number); }
    void Escape() override { escapes++; }
    void HangUp() override { hang_ups++; }
    std::vector<std::string> dials;
    int escapes = 0, hang_ups = 0;
};

TEST_F(TrapDelivery, DialBackStopsAtTheAttemptLimitUntilANewTrap) {
    Modes(1, 0);
    db_set(obj::halvCommConfigProtocol.row(0), TRAP_CCP_PPP, 0);
    db_set(obj::halvTrapsGeneric, 0x7F, 0);
    db_set_string(obj::halvCallbackNumber, "5551234", 7, 0);
    db_set(obj::halvCallbackMaxAttempts, 2, 0);
    db_set(obj::halvCallbackMinTimeBetweenAttempts, 1, 0); // 30 passes between dials
    ModemDouble modem;
    CNTCIP::LinkExternalModem(0, &modem);
    Raise(TRAP_COLD_START);
    std::vector<int> dial_passes;
    for (int pass = 1; pass <= 120; pass++) {
        size_t before = modem.dials.size();
        CNTCIP::ProcessTraps();
        if (modem.dials.size() != before) dial_passes.push_back(pass);
    }
    EXPECT_EQ((std::vector<int>{16, 47}), dial_passes); // 15 passes at start, then 30 and 1
    EXPECT_EQ("5551234", modem.dials.front());
    tx_thread_sleep(200); // a later global time: the new trap counts as new
    Raise(TRAP_WARM_START);
    CNTCIP::ProcessTraps();
    EXPECT_EQ(3u, modem.dials.size());
    EXPECT_EQ(2u, Queued()); // nothing went out: no carrier
    CNTCIP::UnlinkModem(&modem);
}

TEST_F(TrapDelivery, TheTcpClientConnectsSendsAndClosesAfterItsLinger) {
    Receiver central(SOCK_STREAM);
    tcp_client& client = TrapTcpClient();
    const uint8_t first[] = {0x30, 0x00}, second[] = {0x30, 0x01, 0x05};
    test_support::ClearConsole();
    tcp_client_send_data(&client, first, sizeof first);
    tcp_client_send_data(&client, second, sizeof second); // refused: one at a time
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("tcp_client_send_data: tcp client driver busy"));
    tx_thread_sleep(10);
    Bytes got;
    Tick([&] { return !(got = central.Take()).empty(); }, 100);
    EXPECT_EQ(Bytes(first, first + 2), got);
    EXPECT_TRUE(central.Connected());
    EXPECT_FALSE(tcp_client_busy(&client));
    ULONG sent = tx_time_get();
    tx_thread_sleep(1000);
    central.Take();
    EXPECT_FALSE(central.PeerClosed()); // still lingering
    EXPECT_TRUE(Tick([&] { return central.Take().empty() && central.PeerClosed(); }, 300));
    EXPECT_LE(tx_time_get() - sent, 1250u); // ten empty waits of a second, and one more
    EXPECT_EQ(uint32_t(TCP_CLIENT_IDLE), client.state);
}

TEST_F(TrapDelivery, ARefusingHostIsTriedAboutOnceASecond) {
    tcp_client& client = TrapTcpClient();
    const uint8_t message[] = {0x30, 0x00};
    test_support::ClearConsole();
    tcp_client_send_data(&client, message, sizeof message); // nobody listens
    Tick([] { return false; }, 500);
    const std::string& text = test_support::ConsoleText();
    size_t tries = 0;
    for (size_t at = text.find("connect failed"); at != std::string::npos;
         at = text.find("connect failed", at + 1))
        tries++;
    EXPECT_GE(tries, 4u);
    EXPECT_LE(tries, 6u);
    EXPECT_TRUE(tcp_client_busy(&client));
}

} // namespace
