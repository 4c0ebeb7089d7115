// The PMPP link on the CCP port, driven as a central master drives it: frames
// into UART0's line, frames out of it, on the booted firmware. Frame pieces
// (address forms, FCS, transparency) are checked against a master's own
// framing written here, and a bounded fuzz run feeds noise and damaged frames.
#include "comm/agents/ntcip_agents.h"
#include "comm/comm_task.h"
#include "comm/links/pmpp.h"
#include "platform/board/board.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/snmp_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

using snmp_test::Bytes;
using snmp_test::hex;
using snmp_test::to_hex;

// The master's side of the framing.
uint16_t fcs16(const Bytes& bytes) {
    uint16_t fcs = 0xFFFF;
    for (uint8_t b : bytes) {
        fcs ^= b;
        for (int i = 0; i < 8; i++)
            fcs = (fcs & 1) ? uint16_t((fcs >> 1) ^ 0x8408) : uint16_t(fcs >> 1);
    }
    return fcs;
}

Bytes frame(const Bytes& body) {
    Bytes all = body;
    uint16_t fcs = uint16_t(~fcs16(body));
    all.push_back(uint8_t(fcs));
    all.push_back(uint8_t(fcs >> 8));
    Bytes out{0x7E};
    for (uint8_t b : all) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(b ^ 0x20);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

// The frames in a byte stream, unescaped, flags and FCS checked and removed.
std::vector<Bytes> frames_in(const Bytes& stream, bool* fcs_good = nullptr) {
    std::vector<Bytes> frames;
    Bytes current;
    bool open = false;
    if (fcs_good) *fcs_good = true;
    for (size_t i = 0; i < stream.size(); i++) {
        uint8_t b = stream[i];
        if (b == 0x7E) {
            if (open && !current.empty()) {
                if (fcs16(current) != 0xF0B8 && fcs_good) *fcs_good = false;
                current.resize(current.size() - 2);
                frames.push_back(current);
            }
            current.clear();
            open = true;
            continue;
        }
        if (b == 0x7D && i + 1 < stream.size()) b = stream[++i] ^ 0x20;
        current.push_back(b);
    }
    return frames;
}

Bytes with_header(std::initializer_list<uint8_t> header, const Bytes& message) {
    Bytes body(header);
    body.insert(body.end(), message.begin(), message.end());
    return body;
}

class PmppLink : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        board::uart_attach_peer(0, [this](const uint8_t* data, size_t size) {
            line_.insert(line_.end(), data, data + size);
        });
        tx_thread_sleep(20);
        ASSERT_EQ(0, AgentRow(FindAgent("ccp_pmpp"))->port);
    }
    // Sends bytes as the master and lets the sign answer.
    Bytes Exchange(const Bytes& bytes, ULONG ticks = 20) {
        line_.clear();
        board::uart_line_receive(0, bytes);
        tx_thread_sleep(ticks);
        return line_;
    }
    Bytes line_;
};

TEST(PmppFraming, AddressForms) {
    struct row {
        uint16_t address;
        Bytes field;
    } rows[] = {{5, {0x15}},        {63, {0xFD}},        {100, {0x90, 0x03}}, {31, {0x7D}},
                {64, {0x00, 0x03}}, {255, {0xFC, 0x07}}, {300, {0xB0, 0x09}}, {8191, {0xFC, 0xFF}}};
    for (const row& r : rows) {
        uint8_t field[2];
        uint32_t n = pmpp_address_field(r.address, field);
        EXPECT_EQ(r.field, Bytes(field, field + n)) << int(r.address);
    }
}

TEST(PmppFraming, TheFcsOfAGoodFrameLeavesTheResidue) {
    Bytes body = hex("05 33 E7");
    uint16_t fcs = uint16_t(~pmpp_fcs(PMPP_FCS_INITIAL, body.data(), uint32_t(body.size())));
    EXPECT_EQ(hex("7E 05 33 E7 0A F0 7E"), frame(body)) << "the master's poll";
    body.push_back(uint8_t(fcs));
    body.push_back(uint8_t(fcs >> 8));
    EXPECT_EQ(PMPP_FCS_GOOD, pmpp_fcs(PMPP_FCS_INITIAL, body.data(), uint32_t(body.size())));
}

TEST_F(PmppLink, ARequestToThisStationIsAnsweredAtOnce) {
    Bytes request = agent_test::get(0x11223344);
    bool good = false;
    Bytes reply = Exchange(frame(with_header({0x05, 0x13, 0xC1}, request)));
    std::vector<Bytes> frames = frames_in(reply, &good);
    ASSERT_EQ(1u, frames.size()) << to_hex(reply);
    EXPECT_TRUE(good);
    ASSERT_GT(frames[0].size(), 3u);
    EXPECT_EQ(hex("05 13 C1"), Bytes(frames[0].begin(), frames[0].begin() + 3));
    Bytes response(frames[0].begin() + 3, frames[0].end());
    EXPECT_EQ(0x11223344u, agent_test::response_id(response));
    EXPECT_EQ(1u, CNTCIP::GetRxCount("ccp_pmpp"));
    EXPECT_EQ(1u, CNTCIP::GetTxCount("ccp_pmpp"));
}

TEST_F(PmppLink, AllStationsIsAnsweredOnlyWhenPolled) {
    EXPECT_EQ(hex("7E 05 13 E5 53 7E"), Exchange(hex("7E 05 33 E7 0A F0 7E")))
        << "a poll with nothing held";
    Bytes request = agent_test::get(77);
    EXPECT_TRUE(Exchange(frame(with_header({0xFD, 0x13, 0xC1}, request))).empty());
    std::vector<Bytes> frames = frames_in(Exchange(hex("7E 05 33 E7 0A F0 7E")));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(77u, agent_test::response_id(Bytes(frames[0].begin() + 3, frames[0].end())));
    EXPECT_EQ(hex("7E 05 13 E5 53 7E"), Exchange(hex("7E 05 33 E7 0A F0 7E")))
        << "the held response goes out once";
}

TEST_F(PmppLink, FramesTheStationDoesNotTake) {
    Bytes request = agent_test::get(5);
    Bytes good = frame(with_header({0x05, 0x13, 0xC1}, request));
    Bytes bad_fcs = good;
    bad_fcs[bad_fcs.size() - 2] ^= 0x01;
    struct row {
        const char* what;
        Bytes bytes;
    } rows[] = {
        {"bad FCS", bad_fcs},
        {"control 0x53", frame(with_header({0x05, 0x53, 0xC1}, request))},
        {"another station", frame(with_header({0x09, 0x13, 0xC1}, request))},
        {"another IPI", frame(with_header({0x05, 0x13, 0xC3}, request))},
        {"a message longer than its frame",
         frame(with_header({0x05, 0x13, 0xC1}, Bytes(request.begin(), request.end() - 3)))},
    };
    for (const row& r : rows)
        EXPECT_TRUE(Exchange(r.bytes).empty()) << r.what;
    EXPECT_EQ(1u, frames_in(Exchange(good)).size()) << "and the next good frame is answered";
}

TEST_F(PmppLink, FlagsAndBytesBetweenFrames) {
    Bytes request = agent_test::get(9);
    Bytes good = frame(with_header({0x05, 0x13, 0xC1}, request));
    uint32_t invalid = CNTCIP::GetBytesInvalid("ccp_pmpp");
    Bytes noisy = hex("01 02 7E");
    noisy.insert(noisy.end(), good.begin(), good.end()); // two flags: the second opens the frame
    EXPECT_EQ(1u, frames_in(Exchange(noisy)).size());
    EXPECT_EQ(invalid + 2, CNTCIP::GetBytesInvalid("ccp_pmpp"));
}

TEST_F(PmppLink, AStationAddressThatNeedsEscaping) {
    CNTCIP::SetStationAddress(31);
    Bytes request = agent_test::get(31);
    Bytes reply = Exchange(frame(with_header({0x7D, 0x13, 0xC1}, request)));
    ASSERT_GE(reply.size(), 3u);
    EXPECT_EQ(hex("7E 7D 5D"), Bytes(reply.begin(), reply.begin() + 3));
    std::vector<Bytes> frames = frames_in(reply);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(31u, agent_test::response_id(Bytes(frames[0].begin() + 3, frames[0].end())));
}

// halvhdlcAddress above 255 keeps all its bits: station 300 answers its own
// two-byte address and not station 44 (300's low byte).
TEST_F(PmppLink, AStationAddressAbove255IsKeptWhole) {
    using namespace snmp_test;
    const std::vector<uint32_t> HDLC_ADDRESS = {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 11, 0};
    Bytes body = cat({hex("02 01 07 02 01 00 02 01 00"),
                      tlv(0x30, varbind(oid_tlv(HDLC_ADDRESS), hex("02 02 01 2C")))});
    Bytes set = community_message(0, agent_test::ADMIN, 0xA3, body);
    std::vector<Bytes> answer = frames_in(Exchange(frame(with_header({0x05, 0x13, 0xC1}, set))));
    ASSERT_EQ(1u, answer.size());
    ASSERT_EQ(0, agent_test::error_status_of(Bytes(answer[0].begin() + 3, answer[0].end())));
    tx_thread_sleep(100); // the display task applies the address
    EXPECT_TRUE(Exchange(frame(with_header({0xB1, 0x13, 0xC1}, agent_test::get(44)))).empty());
    std::vector<Bytes> frames =
        frames_in(Exchange(frame(with_header({0xB0, 0x09, 0x13, 0xC1}, agent_test::get(300)))));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(hex("B0 09 13 C1"), Bytes(frames[0].begin(), frames[0].begin() + 4));
    EXPECT_EQ(300u, agent_test::response_id(Bytes(frames[0].begin() + 4, frames[0].end())));
}

// An SNMP frame holds one message: bytes after it refuse the frame, counted.
TEST_F(PmppLink, BytesAfterTheSnmpMessageRefuseTheFrame) {
    uint32_t parse_errors = db_get(obj::snmpInASNParseErrs);
    for (const Bytes& after : {hex("00"), agent_test::get(8)}) {
        Bytes info = agent_test::get(7);
        info.insert(info.end(), after.begin(), after.end());
        EXPECT_TRUE(Exchange(frame(with_header({0x05, 0x13, 0xC1}, info))).empty())
            << to_hex(after);
    }
    EXPECT_EQ(parse_errors + 2, db_get(obj::snmpInASNParseErrs));
    EXPECT_EQ(
        1u, frames_in(Exchange(frame(with_header({0x05, 0x13, 0xC1}, agent_test::get(9))))).size());
}

// A dial-up modem linked to the CCP port takes what the line brings without
// carrier (its command responses); with carrier the bytes reach the link.
class ResponseCatcher : public CModemDriver {
  public:
    void PushResponseByte(uint8_t byte) override { responses.push_back(byte); }
    bool IsBufferAlmostFull() override { return false; }
    void Dial(const char*) override {}
    void Escape() override {}
    void HangUp() override {}
    Bytes responses;
};

TEST_F(PmppLink, ALinkedModemTakesTheBytesThatComeWithoutCarrier) {
    static ResponseCatcher modem;
    test_support::ClearConsole();
    EXPECT_EQ(0, CNTCIP::LinkExternalModem(1, &modem));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                     "CNTCIP::LinkExternalModem: error unknown comm port setting"));
    Bytes request = frame(with_header({0x05, 0x13, 0xC1}, agent_test::get(21)));
    board::uart_set_modem_input(0, board::UART_DCD, false);
    EXPECT_EQ(1u, frames_in(Exchange(request)).size()) << "no modem linked: the port's own";
    EXPECT_TRUE(modem.responses.empty());

    ASSERT_EQ(0, CNTCIP::LinkExternalModem(0, &modem));
    EXPECT_TRUE(Exchange(hex("4F 4B 0D 0A")).empty());
    EXPECT_EQ(hex("4F 4B 0D 0A"), modem.responses);
    EXPECT_EQ(0, CcpLinkStatus() & 1);

    board::uart_set_modem_input(0, board::UART_DCD, true);
    EXPECT_EQ(1u, frames_in(Exchange(request)).size());
    EXPECT_EQ(1, CcpLinkStatus() & 1);
    EXPECT_EQ(4u, modem.responses.size());

    EXPECT_EQ(0, CNTCIP::UnlinkModem(&modem));
    board::uart_set_modem_input(0, board::UART_DCD, false);
    EXPECT_EQ(1u, frames_in(Exchange(request)).size()) << "unlinked";
    EXPECT_EQ(4u, modem.responses.size());
}

// A frame to one of the station's groups is held for the poll like one to
// all stations; a group the station is not in is not its business.
TEST_F(PmppLink, AGroupOfTheStationIsAnsweredWhenPolled) {
    ASSERT_EQ(DB_OK, db_set(obj::pmppGroupAddress.row(0), 2, DB_NOTIFY));
    Bytes poll = hex("7E 05 33 E7 0A F0 7E");
    EXPECT_TRUE(Exchange(frame(with_header({0x0B, 0x13, 0xC1}, agent_test::get(22)))).empty());
    std::vector<Bytes> frames = frames_in(Exchange(poll));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(22u, agent_test::response_id(Bytes(frames[0].begin() + 3, frames[0].end())));
    EXPECT_TRUE(Exchange(frame(with_header({0x0F, 0x13, 0xC1}, agent_test::get(23)))).empty());
    EXPECT_EQ(hex("7E 05 13 E5 53 7E"), Exchange(poll)) << "group 3: nothing held";
}

// Station 54's empty poll answer has the FCS bytes 7E A5: the flag value
// goes out escaped.
TEST_F(PmppLink, AnFcsByteEqualToTheFlagIsSentEscaped) {
    CNTCIP::SetStationAddress(54);
    EXPECT_EQ(hex("7E D9 13 7D 5E A5 7E"), Exchange(frame(hex("D9 33 E7"))));
}

TEST_F(PmppLink, AFrameLongerThanTheReceiveBufferIsDroppedAndTheNextIsAnswered) {
    Bytes flood{0x7E, 0x05, 0x13, 0xC1};
    flood.resize(2200, 0x41);
    EXPECT_TRUE(Exchange(flood, 200).empty());
    Bytes request = agent_test::get(12);
    EXPECT_EQ(1u, frames_in(Exchange(frame(with_header({0x05, 0x13, 0xC1}, request)), 50)).size());
}

TEST_F(PmppLink, APartialFrameIsDroppedAfterTheInterCharacterTimeout) {
    Bytes request = agent_test::get(4);
    Bytes good = frame(with_header({0x05, 0x13, 0xC1}, request));
    EXPECT_TRUE(Exchange(Bytes(good.begin(), good.begin() + 10), 300).empty());
    Bytes rest(good.begin() + 10, good.end());
    // What is left of the first frame is noise now; the next whole frame is answered.
    EXPECT_TRUE(frames_in(Exchange(rest)).empty());
    EXPECT_EQ(1u, frames_in(Exchange(good)).size());
}

TEST_F(PmppLink, RandomBytesAndDamagedFramesNeverStopTheLink) {
    std::mt19937 rng(2101);
    Bytes request = agent_test::get(1000);
    Bytes body = with_header({0x05, 0x13, 0xC1}, request);
    for (int round = 0; round < 120; round++) {
        Bytes noise;
        if (round % 3 == 0) {
            noise.resize(rng() % 64);
            for (uint8_t& b : noise)
                b = uint8_t(rng() % 4 == 0 ? 0x7E : rng());
        } else if (round % 3 == 1) {
            noise = frame(snmp_test::mutate(body, rng)); // a good FCS over a damaged message
        } else {
            noise = snmp_test::mutate(frame(body), rng); // damage to the frame itself
        }
        board::uart_line_receive(0, noise);
        tx_thread_sleep(2);
    }
    tx_thread_sleep(300); // any partial frame times out
    Bytes reply = Exchange(frame(with_header({0x05, 0x13, 0xC1}, agent_test::get(4242))), 50);
    std::vector<Bytes> frames = frames_in(reply);
    ASSERT_FALSE(frames.empty()) << to_hex(reply);
    EXPECT_EQ(4242u,
              agent_test::response_id(Bytes(frames.back().begin() + 3, frames.back().end())));
}

// The receive ring holds 2050 bytes: the next is refused and counted.
TEST_F(PmppLink, AFullRingRefusesTheNextByteAndCountsIt) {
    static pmpp_link link; // outside the worker's table
    std::memset(static_cast<void*>(&link), 0, sizeof link);
    ASSERT_EQ(TX_SUCCESS, tx_semaphore_create(&link.ring_sem, "ring", 0));
    for (uint32_t i = 0; i < PMPP_RING_BYTES; i++)
        ASSERT_EQ(0, _nx_pmpp_byte_receive(&link, uint8_t(i)));
    EXPECT_EQ(int(PMPP_RING_FULL), _nx_pmpp_byte_receive(&link, 0x7E));
    EXPECT_EQ(1u, link.bytes_dropped);
    EXPECT_EQ(PMPP_RING_BYTES, link.count);
}

// The receiver alone on the test's thread, byte by byte: far more noise,
// damaged frames and overlong runs than the line carries in a test's time.
// The frame buffer's index stays inside it, and the next poll is answered.
Bytes g_fuzzed_line;

TEST_F(PmppLink, TheReceiverTakesAnyByteStreamAndAnswersTheNextPoll) {
    static pmpp_link link; // outside the worker's table; no agent, its IP down
    std::memset(static_cast<void*>(&link), 0, sizeof link);
    link.station_address = 1; // address field 05
    ASSERT_EQ(TX_SUCCESS, tx_mutex_create(&link.mutex, "fuzzed link", TX_NO_INHERIT));
    link.write_byte = [](uint8_t byte) { g_fuzzed_line.push_back(byte); };
    auto feed = [](const Bytes& bytes) {
        for (uint8_t byte : bytes) {
            link.ring[0] = byte;
            link.tail = 0;
            link.count = 1;
            int result = pmpp_receive_step(&link, false);
            ASSERT_LE(link.store_index, PMPP_RX_FRAME_BYTES);
            if (result == PMPP_FRAME) pmpp_dispatch_frame(&link);
            if (result == PMPP_FRAME || result == PMPP_DROP) link.store_index = 0;
        }
    };
    std::mt19937 rng(2147);
    const Bytes seeds[] = {with_header({0x05, 0x13, 0xC1}, agent_test::get(1)),
                           with_header({0xFD, 0x33, 0xE7, 0xC1}, agent_test::get(2)),
                           with_header({0x90, 0x03, 0x13, 0x21}, Bytes(40, 0x45)), hex("05 33 E7")};
    for (int round = 0; round < 6000; round++) {
        const Bytes& seed = seeds[rng() % 4];
        Bytes bytes;
        switch (round % 4) {
        case 0: // noise, flags and escapes among it
            bytes.resize(rng() % 80);
            for (uint8_t& b : bytes)
                b = rng() % 3 ? uint8_t(rng()) : (rng() % 2 ? 0x7E : 0x7D);
            break;
        case 1: // a good FCS over a damaged body
            bytes = frame(snmp_test::mutate(seed, rng));
            break;
        case 2: // damage to the frame itself
            bytes = snmp_test::mutate(frame(seed), rng);
            break;
        default: // an opening flag and a run past the frame buffer
            bytes.assign(1 + rng() % 2500, uint8_t(rng() | 1));
            bytes[0] = 0x7E;
            break;
        }
        feed(bytes);
        if (HasFatalFailure()) return;
    }
    pmpp_receive_step(&link, true); // the inter-character time-out
    g_fuzzed_line.clear();
    feed(hex("7E 05 33 E7 0A F0 7E"));
    EXPECT_EQ(hex("7E 05 13 E5 53 7E"), g_fuzzed_line);
}

} // namespace

namespace {

// A GET of `count` copies of sysDescr.0.
Bytes get_many(uint32_t id, int count) {
    using namespace snmp_test;
    Bytes list;
    for (int i = 0; i < count; i++) {
        Bytes vb = varbind(oid_tlv(agent_test::SYS_DESCR), hex("05 00"));
        list.insert(list.end(), vb.begin(), vb.end());
    }
    Bytes body = cat({tlv(0x02, Bytes{0, 0, uint8_t(id >> 8), uint8_t(id)}),
                      hex("02 01 00 02 01 00"), tlv(0x30, list)});
    return community_message(0, agent_test::ADMIN, 0xA0, body);
}

// The error status of a response (SEQUENCE, version, community, PDU, id, status).
int error_status(const Bytes& m) {
    size_t at = 0;
    auto skip_header = [&] {
        uint8_t l = m.at(at + 1);
        at += 2 + ((l & 0x80) ? (l & 0x7F) : 0);
    };
    skip_header(); // message
    skip_header();
    at += m.at(at - 1); // version
    skip_header();
    at += m.at(at - 1); // community
    skip_header();      // PDU
    skip_header();
    at += m.at(at - 1); // request id
    return m.at(at + 2);
}

TEST_F(PmppLink, AHeldResponseKeepsItsWholeLength) {
    Bytes request = get_many(300, 8);
    EXPECT_TRUE(Exchange(frame(with_header({0xFD, 0x13, 0xC1}, request))).empty());
    bool good = false;
    std::vector<Bytes> frames = frames_in(Exchange(hex("7E 05 33 E7 0A F0 7E")), &good);
    ASSERT_EQ(1u, frames.size());
    EXPECT_TRUE(good);
    Bytes response(frames[0].begin() + 3, frames[0].end());
    ASSERT_GT(response.size(), 255u);
    EXPECT_EQ(300u, agent_test::response_id(response));
    EXPECT_EQ(0, error_status(response));
}

TEST_F(PmppLink, AResponseTooLongForAFrameIsAnsweredTooBig) {
    // About 2300 bytes of response: within the agent's buffer, beyond a frame.
    Bytes request = get_many(301, 30);
    uint32_t too_bigs = db_get(obj::snmpOutTooBigs);
    std::vector<Bytes> frames =
        frames_in(Exchange(frame(with_header({0x05, 0x13, 0xC1}, request))));
    ASSERT_EQ(1u, frames.size());
    Bytes response(frames[0].begin() + 3, frames[0].end());
    EXPECT_EQ(301u, agent_test::response_id(response));
    EXPECT_EQ(1, error_status(response)) << to_hex(response);
    EXPECT_EQ(too_bigs + 1, db_get(obj::snmpOutTooBigs));
}

} // namespace

namespace {

std::vector<Bytes> delivered;

void keep_datagram(pmpp_link*, const uint8_t* datagram, uint32_t length) {
    delivered.emplace_back(datagram, datagram + length);
}

// An IP header's first four bytes with the total length.
Bytes ip_start(uint16_t total, size_t size) {
    Bytes d(size, 0x45);
    d[2] = uint8_t(total >> 8);
    d[3] = uint8_t(total);
    return d;
}

TEST_F(PmppLink, AnIpDatagramIsTakenOnlyWhenItFillsItsFrameWithinTheLinkMtu) {
    pmpp_link& link = AgentRow(FindAgent("ccp_pmpp"))->agent->pmpp;
    link.up = true;
    link.ip_input = keep_datagram;
    delivered.clear();
    auto send = [&](const Bytes& info) { Exchange(frame(with_header({0x05, 0x13, 0x21}, info))); };
    send(ip_start(40, 40));
    ASSERT_EQ(1u, delivered.size());
    EXPECT_EQ(40u, delivered[0].size());
    Bytes near_mtu = ip_start(PMPP_FRAME_BYTES - 20, PMPP_FRAME_BYTES - 20);
    Bytes long_frame = frame(with_header({0x05, 0x13, 0x21}, near_mtu));
    for (size_t at = 0; at < long_frame.size(); at += 256) { // at a serial line's pace
        size_t end = std::min(long_frame.size(), at + 256);
        board::uart_line_receive(0, Bytes(long_frame.begin() + at, long_frame.begin() + end));
        tx_thread_sleep(2);
    }
    tx_thread_sleep(20);
    ASSERT_EQ(2u, delivered.size()) << "a datagram near the MTU in one frame";
    EXPECT_EQ(near_mtu, delivered[1]);
    uint32_t dropped = link.datagrams_dropped;
    send(ip_start(60, 30));    // longer than its frame
    send(Bytes(30, 0x11));     // (no continuation in the next frame)
    send(ip_start(24, 50));    // shorter than its frame
    send(ip_start(10, 10));    // shorter than an IP header
    send(ip_start(3000, 100)); // longer than the link's MTU
    EXPECT_EQ(2u, delivered.size());
    EXPECT_EQ(dropped + 5, link.datagrams_dropped);
    send(ip_start(20, 20));
    EXPECT_EQ(3u, delivered.size()) << "the next good datagram is taken";
}

} // namespace
