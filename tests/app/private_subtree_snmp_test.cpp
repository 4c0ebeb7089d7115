// A central system configures a running sign through its private subtree
// with net-snmp's tools: the configuration unlock opens and closes the sign's
// read-only configuration, a serial number shows in the module table, the
// station address and shut-off temperature are checked, and a walk of the
// whole subtree is ordered with every answer repeated by a GET.
#include "tests/comm/snmp_test_util.h"
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using test_support::parse_oid;
using test_support::RunningSign;
using test_support::SnmpLine;

const std::string HALV = "1.3.6.1.4.1.1206.3.11";
const std::string SIGN_HEIGHT = "1.3.6.1.4.1.1206.4.2.3.1.3.0";
const std::string UNLOCK = HALV + ".2.8.0";
constexpr int SPEED = 20;

using snmp_test::Bytes;
using snmp_test::oid_tlv;

constexpr uint8_t GET_PDU = 0xA0;
constexpr uint8_t GETNEXT_PDU = 0xA1;

// SNMPv1 requests with the privileged community over a UDP
// socket of its own: the response's bytes, or none after two tries.
class RawSnmp {
  public:
    explicit RawSnmp(uint16_t port) : port_(port) {}
    ~RawSnmp() {
        if (fd_ >= 0) close(fd_);
    }
    bool Open() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port_);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval wait{2, 0};
        return fd_ >= 0 && setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0 &&
               connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    Bytes Ask(uint8_t pdu, const std::vector<std::vector<uint32_t>>& names) {
        std::vector<Bytes> varbinds;
        for (const std::vector<uint32_t>& name : names)
            varbinds.push_back(snmp_test::varbind(oid_tlv(name), Bytes{0x05, 0x00}));
        const Bytes request = snmp_test::community_message(0, "stewardcastle", pdu,
                                                           snmp_test::request_body(varbinds));
        Bytes answer(9000);
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (send(fd_, request.data(), request.size(), 0) < 0) break;
            ssize_t n = recv(fd_, answer.data(), answer.size(), 0);
            if (n > 0) return Bytes(answer.begin(), answer.begin() + n);
        }
        return {};
    }

  private:
    uint16_t port_;
    int fd_ = -1;
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class PrivateSubtreeSnmp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(sign_.Start(SPEED));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    RunningSign sign_;
};

TEST_F(PrivateSubtreeSnmp, UnlockSerialNumberStationAddressAndShutOffTemperature) {
    const std::string height = sign_.Get(SIGN_HEIGHT);
    std::string locked = sign_.Set(SIGN_HEIGHT, "i", "1234");
    EXPECT_TRUE(has(locked, "noSuchName")) << locked;
    std::string unlock = sign_.Set(UNLOCK, "i", "2");
    EXPECT_TRUE(has(unlock, "INTEGER: 2")) << unlock;
    std::string open = sign_.Set(SIGN_HEIGHT, "i", "1234");
    EXPECT_TRUE(has(open, "INTEGER: 1234")) << open;
    EXPECT_EQ("1234", sign_.Get(SIGN_HEIGHT));
    std::string lock = sign_.Set(UNLOCK, "i", "1");
    EXPECT_TRUE(has(lock, "INTEGER: 1")) << lock;
    std::string relocked = sign_.Set(SIGN_HEIGHT, "i", height);
    EXPECT_TRUE(has(relocked, "noSuchName")) << relocked;
    EXPECT_EQ("1234", sign_.Get(SIGN_HEIGHT));

    sign_.Set(HALV + ".2.28.0", "i", "1234");
    EXPECT_EQ("SN: 1234", sign_.Get("1.3.6.1.4.1.1206.4.2.6.1.3.1.5.2"));

    std::string refused = sign_.Set(HALV + ".2.11.0", "i", "63");
    EXPECT_TRUE(has(refused, "badValue")) << refused;
    std::string address = sign_.Set(HALV + ".2.11.0", "i", "62");
    EXPECT_TRUE(has(address, "INTEGER: 62")) << address;
    EXPECT_EQ("62", sign_.Get(HALV + ".2.11.0"));

    // The factory's shut-off temperature can be set back from a central system.
    for (const char* degrees : {"85", "0", "75"}) {
        std::string shut_off = sign_.Set(HALV + ".2.4.0", "i", degrees);
        EXPECT_TRUE(has(shut_off, std::string("INTEGER: ") + degrees)) << shut_off;
    }
    EXPECT_TRUE(has(sign_.Set(HALV + ".2.4.0", "i", "200"), "badValue"));
    EXPECT_EQ("75", sign_.Get(HALV + ".2.4.0"));
}

// A walk as net-snmp's snmpwalk makes it; then the GETNEXTs that found the
// names and GETs of the names, as raw SNMPv1 requests of as many names as an
// answer's packet holds (a tool per request would take minutes for the ten
// thousand names): the two answers are the same bytes.
TEST_F(PrivateSubtreeSnmp, AWalkOfTheSubtreeIsOrderedAndEveryAnswerAGetRepeats) {
    const std::vector<SnmpLine> walk = sign_.Walk(HALV);
    ASSERT_GT(walk.size(), 1000u);
    EXPECT_EQ(parse_oid(HALV + ".1.1.0"), walk.front().oid);
    EXPECT_EQ(parse_oid(HALV + ".11.6.1.3.2"), walk.back().oid);
    EXPECT_EQ("", test_support::out_of_order(walk));

    RawSnmp raw(sign_.SnmpPort());
    ASSERT_TRUE(raw.Open());
    // The walk's text of a value is at least as long as its encoding.
    const size_t MAX_NAMES = 48, MAX_ANSWER = 1900;
    size_t differing = 0;
    for (size_t first = 0, end = 0; first < walk.size(); first = end) {
        std::vector<std::vector<uint32_t>> previous, names;
        size_t answer = 0;
        for (end = first; end < walk.size() && end - first < MAX_NAMES; ++end) {
            const size_t size = oid_tlv(walk[end].oid).size() + walk[end].text.size();
            if (end > first && answer + size > MAX_ANSWER) break;
            answer += size;
            previous.push_back(end == 0 ? parse_oid(HALV) : walk[end - 1].oid);
            names.push_back(walk[end].oid);
        }
        const Bytes next = raw.Ask(GETNEXT_PDU, previous);
        const Bytes get = raw.Ask(GET_PDU, names);
        ASSERT_FALSE(get.empty()) << walk[first].text;
        const Bytes name = oid_tlv(names.back());
        EXPECT_NE(get.end(), std::search(get.begin(), get.end(), name.begin(), name.end()))
            << walk[end - 1].text;
        if (next != get && ++differing < 10)
            ADD_FAILURE() << "GET differs from " << walk[first].text;
    }
    EXPECT_EQ(0u, differing);
}

} // namespace
