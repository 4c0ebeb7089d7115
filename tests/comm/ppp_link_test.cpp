// The PPP link on the CCP port (protocol 4), driven as a peer drives it:
// frames into UART0's line, frames out of it, on the booted firmware. The
// peer's framing and digests are its own (tests/comm/ppp_test_util.h, MD5
// from libmd); the link is brought up with LCP, CHAP both ways and IPCP and
// then carries SNMP in protocol 0x00C1.
#include "comm/agents/ntcip_agents.h"
#include "comm/links/ppp.h"
#include "platform/board/board.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/ppp_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <md5.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace {

using ppp_test::frame;
using ppp_test::frames_in;
using ppp_test::packet;
using ppp_test::received;
using snmp_test::Bytes;
using snmp_test::hex;
using snmp_test::to_hex;

const uint32_t CENTRAL = 0x0A141E28; // 10.20.30.40, halvRemoteIPAddress
const uint16_t LCP = 0xC021, CHAP = 0xC223, IPCP = 0x8021, SNMP = 0x00C1;

Bytes md5(uint8_t id, const std::string& secret, const Bytes& challenge) {
    MD5_CTX c;
    MD5Init(&c);
    MD5Update(&c, &id, 1);
    MD5Update(&c, reinterpret_cast<const uint8_t*>(secret.data()), secret.size());
    MD5Update(&c, challenge.data(), challenge.size());
    Bytes digest(16);
    MD5Final(digest.data(), &c);
    return digest;
}

std::string chap_secret() {
    char secret[PPP_SECRET_BYTES] = {};
    TheDatabase().GetChapSecret(secret, sizeof secret);
    return secret;
}

Bytes cat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

class PppLink : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        board::uart_attach_peer(0, [this](const uint8_t* data, size_t size) {
            line_.insert(line_.end(), data, data + size);
        });
        db_set(obj::halvCommConfigProtocol.row(0), 4, 0);
        db_set(obj::halvRemoteIPAddress, CENTRAL, 0);
        tx_thread_sleep(1100); // the communication task starts the network and binds
        ASSERT_EQ(0, AgentRow(FindAgent("ccp_ppp"))->port);
        link_ = &AgentRow(FindAgent("ccp_ppp"))->agent->ppp;
    }
    // Sends bytes as the peer; -> what the sign put on the line meanwhile.
    Bytes Line(const Bytes& bytes, ULONG ticks = 20) {
        line_.clear();
        board::uart_line_receive(0, bytes);
        tx_thread_sleep(ticks);
        return line_;
    }
    std::vector<received> Exchange(const Bytes& bytes, ULONG ticks = 20) {
        std::vector<received> frames = frames_in(Line(bytes, ticks));
        for (const received& r : frames) {
            EXPECT_TRUE(r.fcs_good);
            EXPECT_TRUE(r.address_control);
            seen_.push_back(r);
        }
        return frames;
    }
    // The first (or last) packet seen of this protocol and code.
    Bytes Seen(uint16_t protocol, uint8_t code, bool last = false) {
        Bytes found;
        for (const received& r : seen_) {
            if (r.protocol != protocol || r.packet.empty() || r.packet[0] != code) continue;
            found = r.packet;
            if (!last) break;
        }
        return found;
    }
    // LCP up: the peer asks for `options`, the sign's own request is acked.
    void OpenLcp(const Bytes& options = hex("02 06 00 00 00 00 03 05 C2 23 05")) {
        Exchange(frame(LCP, packet(1, 0x41, options)));
        Bytes request = Seen(LCP, 1);
        ASSERT_GE(request.size(), 4u);
        Exchange(frame(LCP, cat(Bytes{2}, Bytes(request.begin() + 1, request.end()))));
        ASSERT_EQ(PPP_OPENED, link_->lcp_state);
    }
    // The sign's challenge answered with `secret`. -> the sign's verdict packet.
    Bytes AnswerChallenge(const std::string& secret) {
        tx_thread_sleep(20);
        Exchange({});
        Bytes challenge = Seen(CHAP, 1, true);
        EXPECT_GE(challenge.size(), 5u);
        if (challenge.size() < 5) return {};
        uint8_t size = challenge[4];
        Bytes value(challenge.begin() + 5, challenge.begin() + 5 + size);
        Bytes response = cat(Bytes{16}, md5(challenge[1], secret, value));
        response = cat(response, snmp_test::text("central"));
        std::vector<received> got = Exchange(frame(CHAP, packet(2, challenge[1], response)));
        for (const received& r : got)
            if (r.protocol == CHAP && (r.packet[0] == 3 || r.packet[0] == 4)) return r.packet;
        return {};
    }
    // IPCP up with the peer taking `peer` (the sign's own request acked).
    void OpenIpcp(const Bytes& peer) {
        Exchange(frame(IPCP, packet(1, 0x61, cat(hex("03 06"), peer))));
        Bytes request = Seen(IPCP, 1);
        ASSERT_GE(request.size(), 10u);
        Exchange(frame(IPCP, cat(Bytes{2}, Bytes(request.begin() + 1, request.end()))));
    }
    // A GET of sysDescr.0 in a 0x00C1 frame. -> the response, empty when none.
    // `after`: bytes the frame carries after the message.
    Bytes Get(uint32_t id, bool one_byte_protocol = false, const Bytes& after = {}) {
        Bytes info = cat(agent_test::get(id), after);
        for (const received& r : Exchange(frame(SNMP, info, one_byte_protocol), 50))
            if (r.protocol == SNMP) return r.packet;
        return {};
    }

    Bytes line_;
    std::vector<received> seen_;
    ppp_link* link_ = nullptr;
};

// The whole bring-up a central system's PPP goes through: the sign's LCP
// request, CHAP both ways (the peer's challenge with zero bytes in it),
// IPCP's Nak of 0.0.0.0, then SNMP in both protocol field forms.
TEST_F(PppLink, ChapBothWaysAndIpcpBringTheLinkUpAndSnmpIsAnswered) {
    OpenLcp();
    Bytes request = Seen(LCP, 1);
    EXPECT_EQ(hex("00 0F 03 05 C2 23 05 02 06 00 00 00 00"),
              Bytes(request.begin() + 2, request.end()));

    Bytes challenge = hex("00 11 00 22 00 00 33 44 55 66 77 88 99 AA BB 00");
    Exchange(frame(CHAP, packet(1, 0x33, cat(Bytes{16}, cat(challenge, snmp_test::text("peer"))))));
    Bytes response = Seen(CHAP, 2);
    ASSERT_GE(response.size(), 21u) << to_hex(response);
    EXPECT_EQ(0x33, response[1]);
    EXPECT_EQ(16, response[4]);
    EXPECT_EQ(md5(0x33, chap_secret(), challenge),
              Bytes(response.begin() + 5, response.begin() + 21));

    Bytes sign_challenge = Seen(CHAP, 1);
    ASSERT_GE(sign_challenge.size(), 5u);
    EXPECT_GE(sign_challenge[4], 32);
    EXPECT_LE(sign_challenge[4], 63);
    EXPECT_GE(sign_challenge.size(), 5u + sign_challenge[4]);
    Bytes verdict = AnswerChallenge(chap_secret());
    ASSERT_FALSE(verdict.empty());
    EXPECT_EQ(3, verdict[0]) << "Success";
    EXPECT_EQ(1, link_->authenticated);

    Exchange(frame(IPCP, packet(1, 0x60, hex("03 06 00 00 00 00"))));
    Bytes nak = Seen(IPCP, 3);
    EXPECT_EQ(hex("03 60 00 0A 03 06 0A 14 1E 28"), nak) << "Nak with the central address";
    OpenIpcp(hex("0A 14 1E 28"));
    EXPECT_EQ(PPP_OPENED, link_->ipcp_state);
    EXPECT_TRUE(link_->up);

    EXPECT_EQ(0x1234u, agent_test::response_id(Get(0x1234)));
    EXPECT_EQ(0x1235u, agent_test::response_id(Get(0x1235, true))) << "the one-byte C1 field";
}

// A challenge is random bytes: zero bytes among them go out and count.
const Bytes ZEROED_CHALLENGE = hex("00 01 00 00 02 03 00 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 "
                                   "11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20 21 22 00 00");

uint32_t zeroed_challenge(uint8_t* challenge, uint8_t* identifier, char* name) {
    std::memcpy(challenge, ZEROED_CHALLENGE.data(), ZEROED_CHALLENGE.size());
    *identifier = 0x5A;
    std::strcpy(name, "sign");
    return uint32_t(ZEROED_CHALLENGE.size());
}

TEST_F(PppLink, AChallengeWithZeroBytesGoesWholeAndIsChecked) {
    link_->chap_challenge = zeroed_challenge;
    OpenLcp();
    tx_thread_sleep(20);
    Bytes challenge = Seen(CHAP, 1);
    ASSERT_EQ(packet(1, 0x5A, cat(Bytes{40}, cat(ZEROED_CHALLENGE, snmp_test::text("sign")))),
              challenge);
    Bytes verdict = AnswerChallenge(chap_secret());
    ASSERT_FALSE(verdict.empty());
    EXPECT_EQ(3, verdict[0]);
}

TEST_F(PppLink, TheSignsChallengesAreFreshRandomBytesOf32To63) {
    uint8_t first[PPP_CHALLENGE_MAX], next[PPP_CHALLENGE_MAX];
    uint8_t id = 0, last_id = 0;
    char name[PPP_NAME_BYTES] = {};
    uint32_t n = snmp_chap_challenge(first, &last_id, name);
    bool zero_seen = false, lengths_vary = false;
    for (int i = 0; i < 200; i++) {
        uint32_t m = snmp_chap_challenge(next, &id, name);
        ASSERT_GE(m, 32u);
        ASSERT_LE(m, 63u);
        EXPECT_EQ(uint8_t(last_id + 1), id);
        last_id = id;
        EXPECT_NE(0, std::memcmp(first, next, 32));
        zero_seen = zero_seen || std::count(next, next + m, 0) > 0;
        lengths_vary = lengths_vary || m != n;
    }
    EXPECT_TRUE(zero_seen);
    EXPECT_TRUE(lengths_vary);
    char expected[PPP_NAME_BYTES] = {};
    TheDatabase().GetChapName(expected, sizeof expected);
    EXPECT_STREQ(expected, name);
}

// The peer's Configure-Request options and what the sign answers.
TEST_F(PppLink, ConfigureRequestOptionsAreAnsweredOptionByOption) {
    struct row {
        const char* what;
        Bytes options;
        uint8_t code; // of the sign's answer
        Bytes answer; // its options
    } rows[] = {
        {"MRU 100", hex("01 04 00 64"), 3, hex("01 04 00 64")},
        {"PAP", hex("03 04 C0 23"), 3, hex("03 04 C0 23")},
        {"CHAP with another algorithm", hex("03 05 C2 23 81"), 3, hex("03 05 C2 23 05")},
        {"PAP, then ACCM after it", hex("03 04 C0 23 02 06 00 00 00 00"), 3, hex("03 04 C0 23")},
        {"protocol-field compression", hex("07 02"), 4, hex("07 02")},
        {"address-and-control compression", hex("08 02 05 06 01 02 03 04"), 4, hex("08 02")},
        {"an unknown option", hex("0D 03 06"), 4, hex("0D 03 06")},
        {"MRU 1400, ACCM, magic, CHAP-MD5",
         hex("01 04 05 78 02 06 00 00 00 00 05 06 11 22 33 44 03 05 C2 23 05"), 2,
         hex("01 04 05 78 02 06 00 00 00 00 05 06 11 22 33 44 03 05 C2 23 05")},
    };
    uint8_t id = 0x10;
    for (const row& r : rows) {
        Bytes answer;
        for (const received& got : Exchange(frame(LCP, packet(1, ++id, r.options))))
            if (got.protocol == LCP && got.packet[0] != 1) answer = got.packet;
        EXPECT_EQ(packet(r.code, id, r.answer), answer) << r.what;
        EXPECT_EQ(r.code == 2 ? 1400 : PPP_MRU, link_->mru) << r.what;
    }
}

TEST_F(PppLink, MalformedOptionsAreDroppedAndTheLinkStaysUp) {
    OpenLcp();
    const Bytes bad[] = {hex("01 00 05 DC"), hex("05 01 00 00 00 00"), hex("02 06 00 00"),
                         hex("01 04 05 DC 03"), hex("03 09 C2 23 05")};
    for (const Bytes& options : bad) {
        EXPECT_TRUE(Exchange(frame(LCP, packet(1, 0x70, options))).empty()) << to_hex(options);
        EXPECT_EQ(PPP_OPENED, link_->lcp_state) << to_hex(options);
    }
    // A packet whose length field runs past its frame is dropped too.
    Bytes long_field = packet(9, 0x71, hex("00 00 00 00"));
    long_field[3] = 0x40;
    EXPECT_TRUE(Exchange(frame(LCP, long_field)).empty());
    std::vector<received> echo = Exchange(frame(LCP, packet(9, 0x72, hex("00 00 00 00 61 62"))));
    ASSERT_EQ(1u, echo.size()) << "the link still answers";
    EXPECT_EQ(packet(10, 0x72, hex("00 00 00 00 61 62")), echo[0].packet);
}

// What LCP answers besides configuration: an Echo-Reply to an Echo-Request,
// nothing to a Discard-Request, an Echo-Reply or a Protocol-Reject, a
// Code-Reject with a fresh identifier to a code it does not know, and a
// Protocol-Reject to a protocol it does not know (IPv6CP here).
TEST_F(PppLink, LcpAnswersEchoesAndRejectsWhatItDoesNotKnow) {
    OpenLcp();
    struct row {
        const char* what;
        uint16_t protocol;
        Bytes sent;
        uint8_t code; // of the sign's LCP answer, 0: none
        Bytes data;   // its data
    } rows[] = {
        {"Echo-Request", LCP, packet(9, 0x21, hex("12 34 56 78 AB CD")), 10,
         hex("00 00 00 00 AB CD")},
        {"Discard-Request", LCP, packet(11, 0x22, hex("00 00 00 00 61")), 0, {}},
        {"Echo-Reply", LCP, packet(10, 0x23, hex("00 00 00 00")), 0, {}},
        {"Protocol-Reject", LCP, packet(8, 0x24, hex("80 57 01 01 00 04")), 0, {}},
        {"code 14", LCP, packet(14, 0x25, hex("01 02")), 7, packet(14, 0x25, hex("01 02"))},
        {"code 0", LCP, packet(0, 0x26, {}), 7, packet(0, 0x26, {})},
        {"IPv6CP", 0x8057, packet(1, 0x27, hex("01 0A 11 22 33 44 55 66 77 88")), 8,
         cat(hex("80 57"), packet(1, 0x27, hex("01 0A 11 22 33 44 55 66 77 88")))},
    };
    std::vector<uint8_t> reject_ids;
    for (const row& r : rows) {
        std::vector<received> got = Exchange(frame(r.protocol, r.sent));
        if (r.code == 0) {
            EXPECT_TRUE(got.empty()) << r.what;
            continue;
        }
        ASSERT_EQ(1u, got.size()) << r.what;
        EXPECT_EQ(LCP, got[0].protocol) << r.what;
        ASSERT_GE(got[0].packet.size(), 4u) << r.what;
        EXPECT_EQ(r.code, got[0].packet[0]) << r.what;
        EXPECT_EQ(r.data, Bytes(got[0].packet.begin() + 4, got[0].packet.end())) << r.what;
        if (r.code == 10)
            EXPECT_EQ(0x21, got[0].packet[1]);
        else
            reject_ids.push_back(got[0].packet[1]);
    }
    ASSERT_EQ(3u, reject_ids.size());
    EXPECT_NE(reject_ids[0], reject_ids[1]) << "each reject has its own identifier";
    EXPECT_NE(reject_ids[1], reject_ids[2]);
    EXPECT_EQ(PPP_OPENED, link_->lcp_state);
    // Before LCP is open a protocol it does not know is dropped silently.
    Exchange(frame(LCP, packet(5, 0x28, {})));
    EXPECT_TRUE(Exchange(frame(0x8057, packet(1, 0x29, {}))).empty());
}

// A challenge lost on the way goes again on the restart timer, with a new
// identifier, and its answer authenticates the peer.
TEST_F(PppLink, ALostChallengeIsSentAgain) {
    OpenLcp();
    tx_thread_sleep(20);
    Exchange({});
    Bytes first = Seen(CHAP, 1);
    ASSERT_GE(first.size(), 5u);
    seen_.clear();
    std::vector<received> again = Exchange({}, CHAP_RESTART_TICKS + 20);
    ASSERT_EQ(1u, again.size()) << "the peer never saw the first";
    EXPECT_EQ(CHAP, again[0].protocol);
    EXPECT_EQ(1, again[0].packet[0]);
    EXPECT_NE(first[1], again[0].packet[1]);
    Bytes verdict = AnswerChallenge(chap_secret());
    ASSERT_FALSE(verdict.empty());
    EXPECT_EQ(3, verdict[0]);
    EXPECT_EQ(again[0].packet[1], verdict[1]);
    EXPECT_EQ(0x77u, agent_test::response_id(Get(0x77)));
}

TEST_F(PppLink, AWrongChapResponseGetsFailureAndSnmpStaysRefused) {
    OpenLcp();
    Bytes verdict = AnswerChallenge("not the secret");
    ASSERT_FALSE(verdict.empty());
    EXPECT_EQ(4, verdict[0]) << "Failure";
    EXPECT_EQ(0, link_->authenticated);
    EXPECT_TRUE(Get(7).empty());
    Exchange(frame(IPCP, packet(1, 0x60, hex("03 06 0A 14 1E 28"))));
    EXPECT_TRUE(Seen(IPCP, 2).empty()) << "IPCP waits for authentication";
    EXPECT_NE(PPP_OPENED, link_->ipcp_state);
}

TEST_F(PppLink, TheCableHandshakeIsAnsweredClientServer) {
    struct row {
        const char* text;
        size_t answers;
    } rows[] = {{"CLIENT", 1}, {"CCLIENT", 1}, {"CLIENTCLIENT", 2}, {"CLXENT", 0}, {"LIENT", 0}};
    const std::string answer = "CLIENTSERVER";
    for (const row& r : rows) {
        Bytes line = Line(snmp_test::text(r.text));
        std::string out(line.begin(), line.end());
        size_t count = 0;
        for (size_t at = out.find(answer); at != std::string::npos; at = out.find(answer, at + 1))
            count++;
        EXPECT_EQ(r.answers, count) << r.text;
    }
}

// Before LCP acknowledges the peer's map every control byte goes escaped;
// after it, none but the control field's 03.
TEST_F(PppLink, ControlBytesAreEscapedUntilTheMapIsAcknowledged) {
    auto raw_control_bytes = [](const Bytes& line) {
        return std::count_if(line.begin(), line.end(), [](uint8_t b) { return b < 0x20; });
    };
    Bytes before = Line(frame(LCP, packet(1, 0x41, hex("02 06 00 00 00 00 03 05 C2 23 05"))));
    ASSERT_FALSE(frames_in(before).empty());
    EXPECT_EQ(0, raw_control_bytes(before)) << to_hex(before);
    EXPECT_NE(std::string::npos, to_hex(before).find("7D 20")) << "00 goes as 7D 20";
    Bytes request;
    for (const received& r : frames_in(before))
        if (r.packet[0] == 1) request = r.packet;
    Line(frame(LCP, cat(Bytes{2}, Bytes(request.begin() + 1, request.end()))));
    Bytes after = Line(frame(LCP, packet(9, 0x50, hex("00 00 00 00"))));
    ASSERT_EQ(1u, frames_in(after).size());
    EXPECT_GT(raw_control_bytes(after), 0) << to_hex(after);
    EXPECT_EQ(hex("7E FF 7D 23"), Bytes(after.begin(), after.begin() + 4));
}

class RecordingModem : public CModemDriver {
  public:
    void PushResponseByte(uint8_t) override {}
    bool IsBufferAlmostFull() override { return false; }
    void Dial(const char*) override {}
    void Escape() override {}
    void HangUp() override {}
};

TEST_F(PppLink, CarrierLossOnAChapLinkResetsLcpIpcpAndChap) {
    static RecordingModem modem;
    board::uart_set_modem_input(0, board::UART_DCD, true);
    ASSERT_EQ(0, CNTCIP::LinkExternalModem(0, &modem));
    OpenLcp();
    Bytes verdict = AnswerChallenge(chap_secret());
    ASSERT_FALSE(verdict.empty());
    ASSERT_EQ(3, verdict[0]);
    OpenIpcp(hex("0A 14 1E 28"));
    ASSERT_EQ(PPP_OPENED, link_->ipcp_state);

    board::uart_set_modem_input(0, board::UART_DCD, false);
    tx_thread_sleep(20); // no byte comes: the fall itself ends the session
    EXPECT_EQ(PPP_STOPPED, link_->lcp_state);
    EXPECT_EQ(PPP_STOPPED, link_->ipcp_state);
    EXPECT_EQ(CHAP_IDLE, link_->chap_state);
    EXPECT_EQ(0, link_->authenticated);
    EXPECT_FALSE(link_->up);
    EXPECT_EQ(0xFFFFFFFFu, link_->tx_accm);
    CNTCIP::UnlinkModem(&modem);
}

// Authentication belongs to one session. After a peer authenticated, each
// way a session ends lets nothing but LCP through until the next peer has
// authenticated for itself.
TEST_F(PppLink, EachNewSessionAuthenticatesAgain) {
    static RecordingModem modem;
    struct row {
        const char* what;
        std::function<void()> end_session;
    } rows[] = {
        {"the carrier falls and rises again, no byte between",
         [] {
             board::uart_set_modem_input(0, board::UART_DCD, false);
             board::uart_set_modem_input(0, board::UART_DCD, true);
             tx_thread_sleep(5);
         }},
        {"a new peer on the cable says CLIENT", [this] { Line(snmp_test::text("CLIENT")); }},
        {"a Configure-Request after Opened, and LCP opens again",
         [this] {
             for (const received& r :
                  Exchange(frame(LCP, packet(1, 0x44, hex("02 06 00 00 00 00 03 05 C2 23 05")))))
                 if (r.protocol == LCP && r.packet[0] == 1)
                     Exchange(
                         frame(LCP, cat(Bytes{2}, Bytes(r.packet.begin() + 1, r.packet.end()))));
         }},
    };
    board::uart_set_modem_input(0, board::UART_DCD, true);
    ASSERT_EQ(0, CNTCIP::LinkExternalModem(0, &modem));
    OpenLcp();
    ASSERT_EQ(3, AnswerChallenge(chap_secret()).at(0));
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_EQ(0x10u, agent_test::response_id(Get(0x10)));
        seen_.clear();
        r.end_session();
        EXPECT_EQ(0, link_->authenticated);
        EXPECT_TRUE(Get(0x11).empty()) << "SNMP without authentication";
        Exchange(frame(IPCP, packet(1, 0x62, hex("03 06 0A 14 1E 28"))));
        EXPECT_TRUE(Seen(IPCP, 2).empty()) << "IPCP without authentication";
        if (link_->lcp_state != PPP_OPENED) OpenLcp();
        ASSERT_EQ(3, AnswerChallenge(chap_secret()).at(0)) << "the next peer authenticates";
        EXPECT_EQ(0x12u, agent_test::response_id(Get(0x12)));
    }
    CNTCIP::UnlinkModem(&modem);
}

TEST_F(PppLink, UnlinkingTheModemTakesTheLinkDown) {
    static RecordingModem modem;
    board::uart_set_modem_input(0, board::UART_DCD, true);
    ASSERT_EQ(0, CNTCIP::LinkExternalModem(0, &modem));
    OpenLcp();
    EXPECT_EQ(0, CNTCIP::UnlinkModem(&modem));
    EXPECT_EQ(PPP_STOPPED, link_->lcp_state);
    EXPECT_EQ(CcpModem(), nullptr);
}

// IPCP offers the address configured when it starts, not the one read at
// start-up nor a previous peer's; with none configured the link is refused.
TEST_F(PppLink, IpcpOffersTheRemoteAddressConfiguredNow) {
    const uint32_t NOW = 0xC0A80105; // 192.168.1.5
    db_set(obj::halvRemoteIPAddress, NOW, 0);
    OpenLcp();
    ASSERT_EQ(3, AnswerChallenge(chap_secret()).at(0));
    Exchange(frame(IPCP, packet(1, 0x60, hex("03 06 0A 01 01 01")))); // this peer's own
    Exchange(frame(IPCP, packet(1, 0x61, hex("03 06 00 00 00 00"))));
    EXPECT_EQ(packet(3, 0x61, hex("03 06 C0 A8 01 05")), Seen(IPCP, 3));

    db_set(obj::halvRemoteIPAddress, 0, 0);
    test_support::ClearConsole();
    seen_.clear();
    Exchange(frame(LCP, packet(5, 0x62, {}))); // the peer ends; the next one comes
    OpenLcp();
    ASSERT_EQ(3, AnswerChallenge(chap_secret()).at(0));
    tx_thread_sleep(20);
    Exchange({});
    EXPECT_FALSE(Seen(LCP, 5).empty()) << "LCP is closed";
    EXPECT_TRUE(Seen(IPCP, 1).empty()) << "no IPCP request";
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("no remote IP address configured, link refused"));
    EXPECT_TRUE(Get(0x31).empty());
}

// An SNMP frame holds one message: bytes after it refuse the frame, counted.
TEST_F(PppLink, BytesAfterTheSnmpMessageRefuseTheFrame) {
    OpenLcp();
    ASSERT_EQ(3, AnswerChallenge(chap_secret()).at(0));
    uint32_t parse_errors = db_get(obj::snmpInASNParseErrs);
    EXPECT_TRUE(Get(0x41, false, hex("00")).empty());
    EXPECT_TRUE(Get(0x42, true, hex("30 00")).empty());
    EXPECT_EQ(parse_errors + 2, db_get(obj::snmpInASNParseErrs));
    EXPECT_EQ(0x43u, agent_test::response_id(Get(0x43)));
}

// A response too long for the transmit frame is answered tooBig, and an
// SNMP length that claims more than its frame is not taken.
TEST_F(PppLink, SnmpLengthsAreBoundedByTheFrames) {
    OpenLcp();
    ASSERT_EQ(3, AnswerChallenge(chap_secret()).at(0));
    Bytes request = agent_test::get(0x99);
    Bytes claims_more = request;
    claims_more[1] = uint8_t(claims_more[1] + 40);
    EXPECT_TRUE(Exchange(frame(SNMP, claims_more), 50).empty());

    snmp_test::Bytes list;
    for (int i = 0; i < 45; i++) {
        Bytes vb = snmp_test::varbind(snmp_test::oid_tlv(agent_test::SYS_DESCR), hex("05 00"));
        list.insert(list.end(), vb.begin(), vb.end());
    }
    Bytes body = snmp_test::cat({snmp_test::tlv(0x02, Bytes{0x01, 0x23}), hex("02 01 00 02 01 00"),
                                 snmp_test::tlv(0x30, list)});
    Bytes big = snmp_test::community_message(0, agent_test::ADMIN, 0xA0, body);
    std::vector<received> got = Exchange(frame(SNMP, big), 100);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(0x123u, agent_test::response_id(got[0].packet));
    EXPECT_LT(got[0].packet.size(), 300u) << "a tooBig answer";
}

std::vector<Bytes> datagrams;

TEST_F(PppLink, AnIpDatagramOfAFullMtuTravelsInOneFrame) {
    OpenLcp();
    ASSERT_EQ(3, AnswerChallenge(chap_secret()).at(0));
    OpenIpcp(hex("0A 14 1E 28"));
    Bytes datagram(PPP_MTU, 0x7E); // every byte escaped
    datagram[2] = 0x05, datagram[3] = 0xDC;
    line_.clear();
    ppp_ip_send(link_, datagram.data(), uint32_t(datagram.size()));
    std::vector<received> frames = frames_in(line_);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(0x0021, frames[0].protocol);
    EXPECT_EQ(datagram, frames[0].packet);

    datagrams.clear();
    link_->ip_input = [](ppp_link*, const uint8_t* d, uint32_t n) {
        datagrams.emplace_back(d, d + n);
    };
    Bytes in(40, 0x45);
    in[2] = 0, in[3] = 28;
    uint32_t dropped = link_->datagrams_dropped;
    Exchange(frame(0x0021, in));
    EXPECT_EQ(0u, datagrams.size()) << "shorter than its frame";
    in[3] = 60;
    Exchange(frame(0x0021, in));
    EXPECT_EQ(0u, datagrams.size()) << "longer than its frame";
    EXPECT_EQ(dropped + 2, link_->datagrams_dropped);
    in[3] = 40;
    Exchange(frame(0x0021, in));
    ASSERT_EQ(1u, datagrams.size());
    EXPECT_EQ(in, datagrams[0]) << "the next good datagram is taken";
}

} // namespace
