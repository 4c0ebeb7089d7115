// SNMP load: SNMPv1 GetRequests of 1 and 10 varbinds (names from a short
// GETNEXT walk of the system group), 1 and 8 requests in flight, against a
// sign-controller started for the run and, as the reference, Debian's snmpd
// on another loopback port (skipped with a note when /usr/sbin/snmpd is
// missing), and the floor: a responder forked from the bench that turns each
// datagram round as a GetResponse with no decoding, the most any agent could
// answer on this host with this load tool. Counters: rate (responses per
// second), p50 and p99 latency (µs); the sign's cases add floor_pct, its rate
// as a share of the floor's in the same case.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "comm/snmp/snmp.h"

namespace {

using Clock = std::chrono::steady_clock;
using Oid = std::vector<uint32_t>;

const char* const COMMUNITY = "stewardcastle";
const uint16_t SIGN_OFFSET = 27000;
const uint16_t SNMPD_PORT = 27261;
const uint16_t FLOOR_PORT = 27262;
const double CASE_SECONDS = 3.0;

struct target {
    std::string name;
    uint16_t port = 0;
    pid_t pid = -1;
    std::string skip; // why the target cannot be measured
    std::vector<Oid> walk;
};

std::string beside_me(const char* program) {
    char path[4096] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string self(path, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/') + 1) + program;
}

pid_t spawn(const std::vector<std::string>& args, const std::string& log) {
    pid_t pid = fork();
    if (pid == 0) {
        FILE* out = std::fopen(log.c_str(), "w");
        if (out) {
            dup2(fileno(out), 1);
            dup2(fileno(out), 2);
        }
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

std::unique_ptr<snmp_pdu> new_pdu() {
    auto pdu = std::make_unique<snmp_pdu>();
    std::memset(pdu.get(), 0, sizeof(snmp_pdu));
    return pdu;
}

std::vector<uint8_t> request(uint32_t type, uint32_t id, const std::vector<Oid>& names) {
    auto pdu = new_pdu();
    pdu->type = type;
    pdu->request_id = id;
    pdu->varbind_count = static_cast<int16_t>(names.size());
    for (size_t i = 0; i < names.size(); i++) {
        snmp_varbind& vb = pdu->varbinds[i];
        vb.name_length = static_cast<uint32_t>(names[i].size());
        std::copy(names[i].begin(), names[i].end(), vb.name);
        vb.syntax = SNMP_NULL;
    }
    static uint8_t buffer[SNMP_MESSAGE_BUFFER];
    uint8_t* start = nullptr;
    uint32_t length = 0;
    if (!snmp_v1_message_encode(COMMUNITY, pdu.get(), buffer, sizeof buffer, &start, &length))
        return {};
    return std::vector<uint8_t>(start, start + length);
}

class manager {
  public:
    explicit manager(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        to_.sin_family = AF_INET;
        to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to_.sin_port = htons(port);
    }
    ~manager() { close(fd_); }
    void send(const std::vector<uint8_t>& m) {
        sendto(fd_, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_);
    }
    // The decoded response within `ms`, or null.
    std::unique_ptr<snmp_pdu> receive(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return nullptr;
        uint8_t buffer[65536];
        ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        auto pdu = new_pdu();
        snmp_message_info info{};
        if (n <= 0 || !snmp_v1_message_decode(nullptr, 0, nullptr, buffer, static_cast<uint32_t>(n),
                                              &info, pdu.get()))
            return nullptr;
        return pdu;
    }

    // The request id of the next response within `ms` (read from its header
    // only, so that the generator stays cheap), or 0.
    uint32_t receive_id(int ms) {
        uint8_t b[65536];
        ssize_t n = recv(fd_, b, sizeof b, MSG_DONTWAIT); // the poll only when nothing waits
        if (n < 0) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, ms) <= 0) return 0;
            n = recv(fd_, b, sizeof b, 0);
        }
        size_t i = 0;
        auto skip_header = [&](size_t& at) -> size_t { // -> content length
            if (at + 2 > static_cast<size_t>(n)) return 0;
            size_t length = b[at + 1];
            at += 2;
            if (length & 0x80) {
                size_t octets = length & 0x7F;
                length = 0;
                for (size_t k = 0; k < octets && at < static_cast<size_t>(n); k++)
                    length = length << 8 | b[at++];
            }
            return length;
        };
        if (n <= 0) return 0;
        skip_header(i);                 // message
        i += skip_header(i);            // version
        i += skip_header(i);            // community
        skip_header(i);                 // PDU
        size_t length = skip_header(i); // request id
        uint32_t id = 0;
        for (size_t k = 0; k < length && i + k < static_cast<size_t>(n); k++)
            id = id << 8 | b[i + k];
        return id;
    }

  private:
    int fd_;
    sockaddr_in to_{};
};

// A GetRequest whose request id is patched in place: ids from FIRST_ID on
// keep their four octets.
const uint32_t FIRST_ID = 0x10000000;
struct request_template {
    std::vector<uint8_t> bytes;
    size_t id_at = 0;
    explicit request_template(const std::vector<Oid>& names)
        : bytes(request(SNMP_PDU_GET, 0x5A5A5A5A, names)) {
        const uint8_t mark[] = {0x02, 0x04, 0x5A, 0x5A, 0x5A, 0x5A};
        id_at = std::search(bytes.begin(), bytes.end(), mark, mark + 6) - bytes.begin() + 2;
    }
    const std::vector<uint8_t>& with_id(uint32_t id) {
        for (int k = 0; k < 4; k++)
            bytes[id_at + k] = static_cast<uint8_t>(id >> (24 - 8 * k));
        return bytes;
    }
};

// Ten names from GETNEXT steps after the system group's root.
std::vector<Oid> short_walk(uint16_t port, double wait_seconds) {
    manager m(port);
    std::vector<Oid> names;
    Oid name = {1, 3, 6, 1, 2, 1, 1};
    auto until = Clock::now() + std::chrono::duration<double>(wait_seconds);
    for (uint32_t id = 1; names.size() < 10 && Clock::now() < until; id++) {
        m.send(request(SNMP_PDU_NEXT, id, {name}));
        auto pdu = m.receive(500);
        if (!pdu || pdu->request_id != id || pdu->error_status != 0) continue;
        const snmp_varbind& vb = pdu->varbinds[0];
        name.assign(vb.name, vb.name + vb.name_length);
        names.push_back(name);
    }
    return names;
}

target& sign() {
    static target t = [] {
        target s;
        s.name = "sign-controller";
        s.port = SIGN_OFFSET + 161;
        char dir[] = "/tmp/snmp-load-XXXXXX";
        if (!mkdtemp(dir)) {
            s.skip = "no temporary folder";
            return s;
        }
        s.pid = spawn({beside_me("sign-controller"), "--state", std::string(dir) + "/state",
                       "--port-offset", std::to_string(SIGN_OFFSET)},
                      std::string(dir) + "/sign.log");
        s.walk = short_walk(s.port, 30); // the servers open ten seconds after start
        if (s.walk.size() < 10) s.skip = "the sign's walk gave fewer than ten names";
        return s;
    }();
    return t;
}

target& snmpd() {
    static target t = [] {
        target s;
        s.name = "snmpd";
        s.port = SNMPD_PORT;
        if (access("/usr/sbin/snmpd", X_OK) != 0) {
            s.skip = "Debian's snmpd is not installed (apt-get install snmpd): reference skipped";
            return s;
        }
        char dir[] = "/tmp/snmpd-load-XXXXXX";
        if (!mkdtemp(dir)) {
            s.skip = "no temporary folder";
            return s;
        }
        std::string conf = std::string(dir) + "/snmpd.conf";
        std::ofstream(conf) << "rocommunity " << COMMUNITY << " 127.0.0.1\n";
        setenv("SNMP_PERSISTENT_DIR", dir, 1);
        s.pid = spawn({"/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", conf, "-p",
                       std::string(dir) + "/pid", "udp:127.0.0.1:" + std::to_string(s.port)},
                      std::string(dir) + "/snmpd.log");
        s.walk = short_walk(s.port, 10);
        if (s.walk.size() < 10) s.skip = "snmpd's walk gave fewer than ten names";
        return s;
    }();
    return t;
}

// The floor's loop: each datagram goes back to its sender with the PDU tag
// turned into a GetResponse's; the PDU follows the message header, the
// version and the community, whose lengths are read and not checked.
[[noreturn]] void floor_respond(int fd) {
    uint8_t b[65536];
    for (;;) {
        sockaddr_in from{};
        socklen_t from_length = sizeof from;
        ssize_t n = recvfrom(fd, b, sizeof b, 0, reinterpret_cast<sockaddr*>(&from), &from_length);
        if (n <= 0) continue;
        size_t at = 1;
        at += (b[at] & 0x80) ? 1 + (b[at] & 0x7F) : 1; // past the message header
        at += 2 + b[at + 1];                           // version
        at += 2 + b[at + 1];                           // community
        if (at < static_cast<size_t>(n)) b[at] = 0xA2;
        sendto(fd, b, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), from_length);
    }
}

target& floor_target() {
    static target t = [] {
        target s;
        s.name = "floor";
        s.port = FLOOR_PORT;
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        at.sin_port = htons(s.port);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            s.skip = "the floor responder's port is taken";
            return s;
        }
        s.pid = fork();
        if (s.pid == 0) floor_respond(fd);
        close(fd);
        s.walk = sign().walk; // the floor answers any names: the sign's are used
        if (s.walk.size() < 10) s.skip = "no names to ask (the sign's walk failed)";
        return s;
    }();
    return t;
}

// Each case's rate by target name, for the sign's share of the floor.
std::map<std::string, double>& rates() {
    static std::map<std::string, double> r;
    return r;
}

void stop_targets() {
    for (target* t : {&sign(), &snmpd(), &floor_target()})
        if (t->pid > 0) {
            kill(t->pid, SIGTERM);
            waitpid(t->pid, nullptr, 0);
        }
}

void run_load(benchmark::State& state, target& (*which)(), size_t varbinds, size_t in_flight,
              const std::string& which_case) {
    target& t = which();
    if (!t.skip.empty()) {
        state.SkipWithError(t.skip.c_str());
        return;
    }
    request_template message(std::vector<Oid>(t.walk.begin(), t.walk.begin() + varbinds));
    manager m(t.port);
    std::map<uint32_t, Clock::time_point> sent;
    std::vector<double> latencies;
    uint32_t next_id = FIRST_ID;
    auto send_one = [&] {
        sent[next_id] = Clock::now();
        m.send(message.with_id(next_id++));
    };
    for (auto _ : state) {
        auto begin = Clock::now();
        auto end = begin + std::chrono::duration<double>(CASE_SECONDS);
        for (size_t i = 0; i < in_flight; i++)
            send_one();
        while (Clock::now() < end) {
            uint32_t id = m.receive_id(1000);
            auto now = Clock::now();
            auto it = sent.find(id);
            if (it != sent.end()) {
                latencies.push_back(
                    std::chrono::duration<double, std::micro>(now - it->second).count());
                sent.erase(it);
            }
            for (auto it = sent.begin(); it != sent.end();) // a lost datagram is asked again
                it = now - it->second > std::chrono::seconds(1) ? sent.erase(it) : std::next(it);
            while (sent.size() < in_flight)
                send_one();
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) {
        return latencies.empty() ? 0.0 : latencies[static_cast<size_t>(q * (latencies.size() - 1))];
    };
    const double rate = static_cast<double>(latencies.size()) / CASE_SECONDS;
    state.counters["rate"] = benchmark::Counter(rate);
    rates()[t.name + which_case] = rate;
    const double floor_rate = rates()["floor" + which_case];
    if (t.name == "sign-controller" && floor_rate > 0)
        state.counters["floor_pct"] = 100.0 * rate / floor_rate;
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
}

struct registration {
    registration() {
        // Case by case, the floor, the sign and snmpd one after the other,
        // so that all see the same load of the machine.
        const std::pair<const char*, target& (*)()> targets[] = {
            {"floor", &floor_target}, {"sign", &sign}, {"snmpd", &snmpd}};
        for (size_t varbinds : {1, 10})
            for (size_t in_flight : {1, 8})
                for (const auto& [label, which] : targets) {
                    const std::string which_case =
                        "/get" + std::to_string(varbinds) + "/inflight" + std::to_string(in_flight);
                    const std::string name = label + which_case;
                    benchmark::RegisterBenchmark(
                        name.c_str(),
                        [which = which, varbinds, in_flight, which_case](benchmark::State& s) {
                            run_load(s, which, varbinds, in_flight, which_case);
                        })
                        ->Iterations(1)
                        ->UseManualTime()
                        ->Unit(benchmark::kMillisecond);
                }
        std::atexit(stop_targets);
    }
} registered;

} // namespace
