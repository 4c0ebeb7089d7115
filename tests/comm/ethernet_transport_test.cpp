// Managers reach the agent over the sign's own servers: UDP and TCP on the
// NTCIP port, TCP 14001, the text datagrams of UDP 3002 and the trap
// connection on TCP 162. Every response goes back to the connection or the
// sender (from the socket) its request came from.
#include "comm/comm_task.h"
#include "comm/net/servers.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"

#include <atomic>
#include <thread>

using namespace agent_test;
using snmp_test::hex;

namespace {

class EthernetTransport : public NetworkedSign {};

TEST_F(EthernetTransport, AUdpRequestIsAnsweredFromTheSocketItCameInOn) {
    uint32_t first = 0, second = 0;
    uint16_t first_from = 0, second_from = 0;
    Serve([&] {
        UdpManager m;
        m.Send(get(11));
        first = response_id(m.Receive(2000, &first_from));
        m.Send(hex("0D 00 00 00 00 00 00 00 41 42"), TEXT_DATAGRAM_PORT);
        usleep(50000);
        m.Send(get(12));
        second = response_id(m.Receive(2000, &second_from));
    });
    EXPECT_EQ(11u, first);
    EXPECT_EQ(12u, second);
    EXPECT_EQ(host_port(161), first_from);
    EXPECT_EQ(host_port(161), second_from);
}

TEST_F(EthernetTransport, TextDatagramsOnPort3002SetTheFieldText) {
    struct Case {
        const char* what;
        const char* datagram;
        const char* text_after;
    } cases[] = {
        {"nine bytes, first 13", "0D 01 02 03 04 05 06 07 41", "A"},
        {"eight bytes change nothing", "0D 01 02 03 04 05 06 07", "A"},
        {"first byte not 13 changes nothing", "0C 01 02 03 04 05 06 07 42 43", "A"},
        {"the whole tail is the text", "0D 00 00 00 00 00 00 00 48 65 6C 6C 6F", "Hello"},
    };
    for (const Case& c : cases) {
        Serve([&] {
            UdpManager m;
            m.Send(hex(c.datagram), TEXT_DATAGRAM_PORT);
            usleep(50000);
        });
        tx_thread_sleep(2);
        EXPECT_STREQ(c.text_after, db_get_string(obj::halvObj6_2)) << c.what;
    }
    // A text longer than a packet arrives cut: no part of it is stored.
    Bytes long_text = hex("0D 00 00 00 00 00 00 00");
    long_text.resize(5000, 'Z');
    Serve([&] {
        UdpManager m;
        m.Send(long_text, TEXT_DATAGRAM_PORT);
        usleep(50000);
    });
    tx_thread_sleep(2);
    EXPECT_STREQ("Hello", db_get_string(obj::halvObj6_2)) << "a text longer than a packet";
}

TEST_F(EthernetTransport, ManagersOnEveryPortAtOnceGetTheirOwnAnswers) {
    std::atomic<uint32_t> answers[3] = {};
    Serve([&] {
        std::thread tcp161([&] {
            TcpManager m(161);
            for (uint32_t i = 0; i < 20; i++)
                if (response_id(m.Ask(get(1000 + i))) == 1000 + i) answers[0]++;
        });
        std::thread tcp14001([&] {
            TcpManager m(NTCIP_SECOND_PORT);
            for (uint32_t i = 0; i < 20; i++)
                if (response_id(m.Ask(get(2000 + i))) == 2000 + i) answers[1]++;
        });
        UdpManager m;
        for (uint32_t i = 0; i < 20; i++)
            if (response_id(m.Ask(get(3000 + i))) == 3000 + i) answers[2]++;
        tcp161.join();
        tcp14001.join();
    });
    for (auto& count : answers)
        EXPECT_EQ(20u, count.load());
}

TEST_F(EthernetTransport, TwoConnectionsInterleavingHalvesOfTheirRequestsAreEachAnswered) {
    uint32_t a_id = 0, b_id = 0;
    Serve([&] {
        TcpManager a(161), b(NTCIP_SECOND_PORT);
        Bytes request_a = get(71), request_b = get(72);
        a.Send(Bytes(request_a.begin(), request_a.begin() + 10));
        usleep(50000);
        b.Send(Bytes(request_b.begin(), request_b.begin() + 7));
        usleep(50000);
        a.Send(Bytes(request_a.begin() + 10, request_a.end()));
        b.Send(Bytes(request_b.begin() + 7, request_b.end()));
        a_id = response_id(a.Receive());
        b_id = response_id(b.Receive());
    });
    EXPECT_EQ(71u, a_id);
    EXPECT_EQ(72u, b_id);
}

TEST_F(EthernetTransport, AStreamIsCutIntoMessagesWhateverComesBetween) {
    std::vector<uint32_t> ids;
    Serve([&] {
        TcpManager m(161);
        Bytes stream = snmp_test::cat({get(1), get(2), hex("01 02 30 83 00 00 10"), get(3)});
        m.Send(stream);
        for (int i = 0; i < 3; i++)
            ids.push_back(response_id(m.Receive()));
    });
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3}), ids);
}

TEST_F(EthernetTransport, ElevenBadCommunitiesGoUnansweredAndTheNextGoodOneIsAnswered) {
    size_t bad_answers = 0;
    uint32_t good = 0;
    uint32_t bad_names = db_get(obj::snmpInBadCommunityNames);
    Serve([&] {
        UdpManager m;
        for (uint32_t i = 0; i < 11; i++)
            m.Send(get(100 + i, "nobody"));
        while (!m.Receive(200).empty())
            bad_answers++;
        good = response_id(m.Ask(get(200)));
    });
    EXPECT_EQ(0u, bad_answers);
    EXPECT_EQ(200u, good);
    EXPECT_EQ(bad_names + 11, db_get(obj::snmpInBadCommunityNames));
}

TEST_F(EthernetTransport, AnIdleConnectionIsClosedAfterThreeHundredSeconds) {
    std::unique_ptr<TcpManager> m;
    Serve([&] { m.reset(new TcpManager(161)); });
    tx_thread_sleep(TCP_IDLE_TICKS - 100);
    bool early = true, late = false;
    Serve([&] { early = m->ClosedWithin(100); });
    tx_thread_sleep(200);
    Serve([&] { late = m->ClosedWithin(1000); });
    EXPECT_FALSE(early);
    EXPECT_TRUE(late);
    uint32_t again = 0;
    Serve([&] { again = response_id(TcpManager(161).Ask(get(5))); });
    EXPECT_EQ(5u, again); // the port listens again
}

TEST_F(EthernetTransport, TheTrapConnectionIsAnnouncedAndItsBytesAreDiscarded) {
    static const uint32_t codes[] = {LETTER_TRAP_CONNECTION_OPENED, LETTER_TRAP_CONNECTION_CLOSED,
                                     0};
    TX_EVENT_FLAGS_GROUP group{};
    tx_event_flags_create(&group, "test letters");
    subscriber watcher(the_post_office(), &group, 1, nullptr);
    ASSERT_EQ(1, watcher.attach(codes));
    Bytes answer = {0};
    Serve([&] {
        TcpManager m(TRAP_CONNECTION_PORT);
        answer = m.Ask(get(9));
    });
    EXPECT_TRUE(answer.empty());
    std::vector<uint32_t> letters;
    console_test::Settle([&] {
        letter_s* letter = nullptr;
        while (watcher.receive(&letter)) {
            letters.push_back(letter->code());
            watcher.release(letter);
        }
        return letters.size() >= 2;
    });
    EXPECT_EQ((std::vector<uint32_t>{LETTER_TRAP_CONNECTION_OPENED, LETTER_TRAP_CONNECTION_CLOSED}),
              letters);
    watcher.detach();
}

TEST_F(EthernetTransport, ASixthListeningPortIsRefused) {
    CTCP_Server extra;
    // The sign's four ports (NTCIP, 14001, 162, the front panel's web-LCD
    // mirror) hold four of the five.
    EXPECT_EQ(1u, tcp_free_slots());
    // (a port the host cannot give keeps its slot taken, as a failed listen does)
    for (UINT port = 4001; port < 4010 && tcp_free_slots() > 0; port++)
        extra.Open(port, 0);
    EXPECT_EQ(0u, tcp_free_slots());
    EXPECT_FALSE(extra.Open(4011, 0));
}

} // namespace
