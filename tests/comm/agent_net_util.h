// Helpers of the tests that reach the agent over the network: a whole
// firmware on the virtual clock with its protocol servers open, and managers
// on host sockets that run on a host thread holding the clock while they talk.
#pragma once

#include "tests/support/host_process.h"
#include "platform/netstack/netstack.h"
#include "tests/comm/snmp_test_util.h"
#include "tests/console/console_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace agent_test {

using snmp_test::Bytes;

const char* const ADMIN = "stewardcastle"; // the factory privileged community
const std::vector<uint32_t> SYS_DESCR = {1, 3, 6, 1, 2, 1, 1, 1, 0};

// An SNMPv1 request with one varbind (NULL value) and a request id.
inline Bytes request(uint8_t pdu_tag, const std::string& community,
                     const std::vector<uint32_t>& name, uint32_t id, uint8_t version = 0) {
    using namespace snmp_test;
    Bytes vb = varbind(oid_tlv(name), hex("05 00"));
    Bytes body =
        cat({tlv(0x02, Bytes{static_cast<uint8_t>(id >> 24), static_cast<uint8_t>(id >> 16),
                             static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)}),
             hex("02 01 00 02 01 00"), tlv(0x30, vb)});
    return community_message(version, community, pdu_tag, body);
}

inline Bytes get(uint32_t id, const std::string& community = ADMIN,
                 const std::vector<uint32_t>& name = SYS_DESCR) {
    return request(0xA0, community, name, id);
}

// The request id of a message, read from its header alone (SEQUENCE,
// version, community, PDU, request id); 0 when the header is cut short.
inline uint32_t response_id(const Bytes& m) {
    size_t at = 0;
    auto content = [&](bool enter) -> bool {
        if (at + 2 > m.size()) return false;
        size_t length = m[at + 1];
        at += 2;
        if (length & 0x80) {
            size_t octets = length & 0x7F;
            length = 0;
            for (size_t k = 0; k < octets; k++, at++)
                length = at < m.size() ? length << 8 | m[at] : length;
        }
        if (!enter) at += length;
        return at <= m.size();
    };
    if (!content(true) || !content(false) || !content(false) || !content(true) ||
        at + 2 > m.size() || m[at] != 0x02)
        return 0;
    size_t length = m[at + 1];
    uint32_t id = 0;
    for (size_t k = 0; k < length && at + 2 + k < m.size(); k++)
        id = id << 8 | m[at + 2 + k];
    return id;
}

// An SNMPv1 SetRequest of one Counter value (a syntax net-snmp's snmpset
// cannot send).
inline Bytes counter_set(const std::string& community, const std::vector<uint32_t>& name,
                         uint32_t value) {
    using namespace snmp_test;
    Bytes count = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    if (count[0] & 0x80) count.insert(count.begin(), 0); // stays positive
    Bytes body = cat(
        {hex("02 01 07 02 01 00 02 01 00"), tlv(0x30, varbind(oid_tlv(name), tlv(0x41, count)))});
    return community_message(0, community, 0xA3, body);
}

// The error status of a response; -1 when there is none or it does not decode.
inline int error_status_of(const Bytes& response) {
    std::unique_ptr<snmp_pdu> pdu = snmp_test::new_pdu();
    snmp_message_info info{};
    if (response.empty() || !snmp_v1_message_decode(nullptr, 0, nullptr, response.data(),
                                                    uint32_t(response.size()), &info, pdu.get()))
        return -1;
    return int(pdu->error_status);
}

inline sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// Sends `request` to the agent on UDP `port` of this host and waits for one
// answer (a safety net of ten host seconds): its error status, -1 without one.
inline int udp_error_status(uint16_t port, const Bytes& request) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = loopback(port);
    sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd p{fd, POLLIN, 0};
    Bytes response(65536);
    ssize_t n = poll(&p, 1, 10000) > 0 ? recv(fd, response.data(), response.size(), 0) : -1;
    close(fd);
    response.resize(n > 0 ? size_t(n) : 0);
    return error_status_of(response);
}

inline uint16_t host_port(UINT port) {
    return static_cast<uint16_t>(nx_ip_host_port(port));
}

// A manager on UDP.
class UdpManager {
  public:
    UdpManager() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = loopback(0);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~UdpManager() { close(fd_); }
    void Send(const Bytes& message, UINT port = 161) {
        sockaddr_in a = loopback(host_port(port));
        sendto(fd_, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    // The next datagram within `ms` (empty when none); its source port in *from.
    Bytes Receive(int ms = 2000, uint16_t* from = nullptr) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return {};
        sockaddr_in a{};
        socklen_t len = sizeof a;
        ssize_t n =
            recvfrom(fd_, buffer_, sizeof buffer_, 0, reinterpret_cast<sockaddr*>(&a), &len);
        if (n < 0) return {};
        if (from) *from = ntohs(a.sin_port);
        return Bytes(buffer_, buffer_ + n);
    }
    Bytes Ask(const Bytes& message, UINT port = 161) {
        Send(message, port);
        return Receive();
    }

  private:
    int fd_ = -1;
    uint8_t buffer_[65536];
};

// A manager on a TCP connection.
class TcpManager {
  public:
    explicit TcpManager(UINT port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a = loopback(host_port(port));
        for (int i = 0; i < 100; i++) {
            if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return;
            usleep(20000);
        }
    }
    ~TcpManager() { close(fd_); }
    void Send(const Bytes& bytes) { send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // One whole BER message (SEQUENCE) within `ms`; empty when none.
    Bytes Receive(int ms = 2000) {
        while (true) {
            size_t need = Needed();
            if (need && buffer_.size() >= need) {
                Bytes message(buffer_.begin(), buffer_.begin() + need);
                buffer_.erase(buffer_.begin(), buffer_.begin() + need);
                return message;
            }
            if (!Fill(ms)) return {};
        }
    }
    Bytes Ask(const Bytes& message) {
        Send(message);
        return Receive();
    }
    // True when the sign closed the connection within `ms`.
    bool ClosedWithin(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return false;
        char c;
        return recv(fd_, &c, 1, MSG_PEEK) == 0;
    }

  private:
    size_t Needed() const {
        if (buffer_.size() < 2) return 0;
        uint8_t first = buffer_[1];
        if (!(first & 0x80)) return 2u + first;
        size_t octets = first & 0x7F;
        if (buffer_.size() < 2 + octets) return 0;
        size_t length = 0;
        for (size_t i = 0; i < octets; i++)
            length = length << 8 | buffer_[2 + i];
        return 2 + octets + length;
    }
    bool Fill(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return false;
        uint8_t chunk[4096];
        ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer_.insert(buffer_.end(), chunk, chunk + n);
        return true;
    }
    int fd_ = -1;
    Bytes buffer_;
};

using test_support::netsnmp_tools_installed;
using test_support::run_command;

// One net-snmp tool as an SNMPv1 manager of the sign's UDP port 161 (plus the
// offset): "snmpget", "snmpset", ... with `args` after the address.
inline std::string netsnmp(const std::string& tool, const std::string& community,
                           const std::string& args) {
    return run_command(tool + " -v1 -c " + community +
                       " -t 3 -r 1 udp:127.0.0.1:" + std::to_string(host_port(161)) + " " + args);
}

// Tool output (-On) cut into its varbinds: a varbind starts on a line that
// begins with its numeric name; a long hex string continues on further lines.
struct varbind_text {
    std::string oid;
    std::string text; // the whole "NAME = TYPE: VALUE" text
};
inline std::vector<varbind_text> varbinds_of(const std::string& output) {
    std::vector<varbind_text> out;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '.') {
            out.push_back({line.substr(0, line.find(' ')), line});
        } else if (!out.empty()) {
            out.back().text += "\n" + line;
        }
    }
    return out;
}

// The arcs of a numeric name (".1.3.6...").
inline std::vector<unsigned long> arcs(const std::string& oid) {
    std::vector<unsigned long> out;
    std::istringstream in(oid);
    std::string arc;
    while (std::getline(in, arc, '.'))
        if (!arc.empty()) out.push_back(std::stoul(arc));
    return out;
}

// A net-snmp tool with its arguments, as a test runs it against a sign.
using netsnmp_tool = std::function<std::string(const std::string& tool, const std::string& args)>;

// A walk of `root`, then a GET of every name it returned, ten to a request.
inline void walk_and_get(const netsnmp_tool& ask, const std::string& root,
                         std::vector<varbind_text>* walked, std::vector<varbind_text>* got) {
    *walked = varbinds_of(ask("snmpwalk", "-On " + root));
    for (size_t i = 0; i < walked->size(); i += 10) {
        std::string names;
        for (size_t k = i; k < walked->size() && k < i + 10; k++)
            names += " " + (*walked)[k].oid;
        for (const varbind_text& v : varbinds_of(ask("snmpget", "-On" + names)))
            got->push_back(v);
    }
}

// The walk returned at least `at_least` names, strictly increasing and under
// the root, and the GETs answered each with the walk's value.
inline void expect_walk_agrees_with_gets(const std::string& root, size_t at_least,
                                         const std::vector<varbind_text>& walked,
                                         const std::vector<varbind_text>& got) {
    EXPECT_GE(walked.size(), at_least) << root;
    for (size_t i = 0; i < walked.size(); i++) {
        EXPECT_EQ(0u, walked[i].oid.rfind("." + root + ".", 0)) << walked[i].text;
        if (i > 0) {
            EXPECT_LT(arcs(walked[i - 1].oid), arcs(walked[i].oid)) << walked[i].text;
        }
    }
    ASSERT_EQ(walked.size(), got.size()) << root;
    for (size_t i = 0; i < walked.size(); i++)
        EXPECT_EQ(walked[i].text, got[i].text);
}

// The whole firmware with its servers open (the communication task's first
// step, ten seconds after start).
class NetworkedSign : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        // Every port of the sign (23 to 15002 plus the offset) stays below the
        // host's ephemeral range, where other tests' client sockets take ports.
        options.port_offset = test_support::FreePortOffset();
    }
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        tx_thread_sleep(1100);
    }
    // Runs a manager's script on a host thread while the firmware serves it.
    void Serve(const std::function<void()>& script) {
        console_test::Peer peer(script);
        EXPECT_TRUE(console_test::Settle([&] { return peer.Done(); }, 60))
            << "the manager did not finish";
    }
};

} // namespace agent_test
