// Interoperation with net-snmp's command-line tools: a tiny UDP responder on
// loopback built on the codec answers snmpget, snmpgetnext and snmpset, and
// the tools' output shows that our responses are accepted.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "comm/snmp/snmp.h"
#include "snmp_test_util.h"

using namespace snmp_test;

namespace {

using Oid = std::vector<uint32_t>;

struct Value {
    uint16_t syntax;
    Bytes octets;
    uint32_t number;
    Oid oid;
};

// The responder's objects, in OID order (which std::map gives).
std::map<Oid, Value> initial_objects() {
    return {
        {{1, 3, 6, 1, 2, 1, 1, 1, 0}, {SNMP_OCTETSTR, text("Field controller"), 0, {}}},
        {{1, 3, 6, 1, 2, 1, 1, 2, 0}, {SNMP_OBJECTID, {}, 0, {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3}}},
        {{1, 3, 6, 1, 2, 1, 1, 3, 0}, {SNMP_TIMETICKS, {}, 4200, {}}},
        {{1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 10, 0, 0, 1}, {SNMP_IPADDR, {10, 0, 0, 1}, 0, {}}},
        {{1, 3, 6, 1, 2, 1, 11, 1, 0}, {SNMP_COUNTER, {}, 4294967295u, {}}},
        {{1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 1, 1, 0}, {SNMP_GAUGE, {}, 24, {}}},
        {{1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 1, 0},
         {SNMP_INTEGER, {}, static_cast<uint32_t>(-5), {}}},
    };
}

class Responder {
  public:
    Responder() : objects_(initial_objects()) {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0; // any free port
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Responder() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    uint16_t port() const { return port_; }
    int answered() const { return answered_; }

  private:
    void Serve() {
        auto pdu = new_pdu();
        std::vector<uint8_t> in(SNMP_MESSAGE_BUFFER);
        std::vector<uint8_t> out(SNMP_MESSAGE_BUFFER);
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            sockaddr_in peer{};
            socklen_t peer_len = sizeof peer;
            const ssize_t n = recvfrom(fd_, in.data(), in.size(), 0,
                                       reinterpret_cast<sockaddr*>(&peer), &peer_len);
            if (n <= 0) continue;
            snmp_reply reply{};
            if (!Answer(in.data(), static_cast<uint32_t>(n), pdu.get(), out.data(), &reply)) {
                continue;
            }
            sendto(fd_, reply.start, reply.length, 0, reinterpret_cast<sockaddr*>(&peer), peer_len);
            ++answered_;
        }
    }

    int Answer(const uint8_t* message, uint32_t length, snmp_pdu* pdu, uint8_t* out,
               snmp_reply* reply) {
        uint32_t version = 0;
        snmp_message_info info;
        const uint8_t sender[4] = {127, 0, 0, 1};
        if (!snmp_message_version(message, length, &version)) return 0;
        const bool v1 = version == 0;
        if (!(v1 ? snmp_v1_message_decode : snmp_v2c_message_decode)(&slots_, 0, sender, message,
                                                                     length, &info, pdu)) {
            return 0;
        }
        for (int j = 0; j < pdu->varbind_count && pdu->error_status == 0; ++j) {
            Serve(pdu, pdu->varbinds[j], j);
        }
        pdu->type = SNMP_PDU_RESPONSE;
        return (v1 ? snmp_v1_response_encode : snmp_v2c_response_encode)(
            &slots_, &info, pdu, out, SNMP_MESSAGE_BUFFER, reply);
    }

    void Serve(snmp_pdu* pdu, snmp_varbind& vb, int j) {
        Oid name = name_of(vb);
        auto it = objects_.end();
        if (pdu->type == SNMP_PDU_NEXT) {
            it = objects_.upper_bound(name);
        } else {
            it = objects_.find(name);
        }
        if (it == objects_.end()) {
            pdu->error_status = 2; // noSuchName
            pdu->error_index = static_cast<uint32_t>(j + 1);
            return;
        }
        if (pdu->type == SNMP_PDU_SET) {
            Value& v = it->second;
            v.syntax = vb.syntax;
            v.octets.assign(vb.value, vb.value + vb.value_length);
            v.number = number_of(vb);
            v.oid = oid_value_of(vb);
        }
        vb.name_length = 0;
        for (uint32_t subid : it->first)
            vb.name[vb.name_length++] = subid;
        const Value& v = it->second;
        if (v.syntax == SNMP_OBJECTID) {
            set_oid_value(vb, v.oid);
        } else if (v.syntax == SNMP_OCTETSTR || v.syntax == SNMP_IPADDR) {
            set_octets(vb, v.syntax, v.octets);
        } else {
            set_number(vb, v.syntax, v.number);
        }
    }

    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::map<Oid, Value> objects_;
    snmp_request_slots slots_{};
    std::thread thread_;
};

bool have_net_snmp() {
    return std::system("command -v snmpget >/dev/null 2>&1") == 0;
}

// Runs a net-snmp tool against the responder, under a wall-clock limit.
std::string run(const std::string& tool, const Responder& responder, const std::string& args) {
    const std::string command = "timeout 20 " + tool + " -m '' -On -r 1 -t 2 127.0.0.1:" +
                                std::to_string(responder.port()) + " " + args + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char chunk[512];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe))
        output.append(chunk, n);
    pclose(pipe);
    return output;
}

void expect_lines(const std::string& output, std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        EXPECT_NE(output.find(line), std::string::npos) << "missing: " << line << "\nin:\n"
                                                        << output;
    }
}

} // namespace

TEST(SnmpInterop, NetSnmpToolsAcceptOurResponses) {
    if (!have_net_snmp()) GTEST_SKIP() << "net-snmp command-line tools are not installed";
    Responder responder;

    expect_lines(run("snmpget -v1 -c public", responder,
                     "1.3.6.1.2.1.1.1.0 1.3.6.1.2.1.1.2.0 1.3.6.1.2.1.1.3.0 "
                     "1.3.6.1.2.1.4.20.1.1.10.0.0.1 1.3.6.1.2.1.11.1.0 "
                     "1.3.6.1.4.1.1206.4.2.3.1.1.0 1.3.6.1.4.1.1206.4.2.3.6.1.0"),
                 {".1.3.6.1.2.1.1.1.0 = STRING: \"Field controller\"",
                  ".1.3.6.1.2.1.1.2.0 = OID: .1.3.6.1.4.1.1206.4.2.3",
                  ".1.3.6.1.2.1.1.3.0 = Timeticks: (4200) 0:00:42.00",
                  ".1.3.6.1.2.1.4.20.1.1.10.0.0.1 = IpAddress: 10.0.0.1",
                  ".1.3.6.1.2.1.11.1.0 = Counter32: 4294967295",
                  ".1.3.6.1.4.1.1206.4.2.3.1.1.0 = Gauge32: 24",
                  ".1.3.6.1.4.1.1206.4.2.3.6.1.0 = INTEGER: -5"});

    expect_lines(run("snmpgetnext -v1 -c public", responder, "1.3.6.1.2.1.1 1.3.6.1.2.1.4"),
                 {".1.3.6.1.2.1.1.1.0 = STRING: \"Field controller\"",
                  ".1.3.6.1.2.1.4.20.1.1.10.0.0.1 = IpAddress: 10.0.0.1"});

    expect_lines(run("snmpset -v1 -c administrator", responder,
                     "1.3.6.1.4.1.1206.4.2.3.6.1.0 i -200 1.3.6.1.2.1.1.1.0 s \"[jl3]HELLO\" "
                     "1.3.6.1.2.1.1.2.0 o 1.3.6.1.4.1.1206.4.1"),
                 {".1.3.6.1.4.1.1206.4.2.3.6.1.0 = INTEGER: -200",
                  ".1.3.6.1.2.1.1.1.0 = STRING: \"[jl3]HELLO\"",
                  ".1.3.6.1.2.1.1.2.0 = OID: .1.3.6.1.4.1.1206.4.1"});
    expect_lines(run("snmpget -v1 -c public", responder, "1.3.6.1.2.1.1.1.0"),
                 {".1.3.6.1.2.1.1.1.0 = STRING: \"[jl3]HELLO\""});

    expect_lines(run("snmpset -v1 -c administrator", responder,
                     "1.3.6.1.2.1.4.20.1.1.10.0.0.1 a 192.168.1.20 1.3.6.1.2.1.1.3.0 t 123456 "
                     "1.3.6.1.4.1.1206.4.2.3.1.1.0 u 4294967295"),
                 {".1.3.6.1.2.1.4.20.1.1.10.0.0.1 = IpAddress: 192.168.1.20",
                  ".1.3.6.1.2.1.1.3.0 = Timeticks: (123456) 0:20:34.56",
                  ".1.3.6.1.4.1.1206.4.2.3.1.1.0 = Gauge32: 4294967295"});

    // A walk is a chain of GetNextRequests, each answered in turn.
    const std::string walk = run("snmpwalk -v1 -c public", responder, "1.3.6.1.2.1");
    expect_lines(walk, {".1.3.6.1.2.1.1.1.0 = STRING: \"[jl3]HELLO\"",
                        ".1.3.6.1.2.1.1.3.0 = Timeticks: (123456) 0:20:34.56",
                        ".1.3.6.1.2.1.11.1.0 = Counter32: 4294967295"});
    EXPECT_EQ(walk.find("Timeout"), std::string::npos) << walk;

    // An error status and index reach the tool.
    expect_lines(run("snmpget -v1 -c public", responder, "1.3.6.1.2.1.1.3.0 1.3.6.1.2.1.1.9.0"),
                 {"noSuchName", "Failed object: .1.3.6.1.2.1.1.9.0"});

    // A v2c request gets a v2c envelope.
    expect_lines(run("snmpget -v2c -c public", responder, "1.3.6.1.2.1.11.1.0"),
                 {".1.3.6.1.2.1.11.1.0 = Counter32: 4294967295"});
    EXPECT_GE(responder.answered(), 12);
}
