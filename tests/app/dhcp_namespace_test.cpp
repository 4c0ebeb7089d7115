// DHCP end to end: the sign in a network namespace of its own, its Ethernet
// port a veth whose other end sits in a second namespace with a DHCP server
// (dnsmasq). The sign leases an address, writes it into the boot monitor's
// environment, answers SNMP there, and renews its lease when its cable comes
// back. The same two namespaces carry a static address typed at the front
// panel through the restart it takes effect at. The test makes and removes its namespaces; it needs
// root (CAP_NET_ADMIN), iproute2, dnsmasq and net-snmp, and skips without them.
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using test_support::BesideTests;
using test_support::HostProcess;

struct shell_result {
    int status;
    std::string output;
};

shell_result shell(const std::string& command) {
    shell_result r{-1, ""};
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, p))
        r.output += buffer;
    r.status = pclose(p);
    return r;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// Waits up to `seconds` of host time for `done`.
template <typename Done> bool within(double seconds, Done done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

class DhcpInNamespaces : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root (CAP_NET_ADMIN) for network namespaces";
        if (!fs::exists(BesideTests("sign-controller")) || !fs::exists(BesideTests("flashtool")))
            GTEST_SKIP() << "sign-controller or flashtool not built";
        for (const char* tool : {"ip", "dnsmasq", "snmpget"})
            if (shell(std::string("command -v ") + tool).status != 0)
                GTEST_SKIP() << tool << " is not installed (packages iproute2, dnsmasq-base, snmp)";
        ip_ = shell("command -v ip").output;
        ip_.erase(ip_.find_last_not_of("\n") + 1);
        const std::string id = std::to_string(getpid());
        sign_ns_ = "sgn" + id;
        server_ns_ = "dhc" + id;
        sign_if_ = "vs" + id;
        server_if_ = "vd" + id;
        shell_result made = shell("ip netns add " + sign_ns_ + " && ip netns add " + server_ns_);
        made_ = true;
        if (made.status != 0) GTEST_SKIP() << "cannot make network namespaces: " << made.output;
        shell_result wired = shell(
            "ip link add " + sign_if_ + " type veth peer name " + server_if_ + " && ip link set " +
            sign_if_ + " netns " + sign_ns_ + " && ip link set " + server_if_ + " netns " +
            server_ns_ + " && ip -n " + server_ns_ + " addr add 10.77.0.1/24 dev " + server_if_ +
            " && ip -n " + server_ns_ + " link set " + server_if_ + " up && ip -n " + server_ns_ +
            " link set lo up && ip -n " + sign_ns_ + " link set lo up && ip -n " + sign_ns_ +
            " link set " + sign_if_ + " up && ip netns exec " + sign_ns_ + " true");
        if (wired.status != 0) GTEST_SKIP() << "cannot wire the namespaces: " << wired.output;
        char tmpl[] = "/tmp/dhcp_namespace_test_XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override {
        sign_.Kill();
        server_.Kill();
        if (made_) shell("ip netns del " + sign_ns_ + "; ip netns del " + server_ns_);
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::string InServer(const std::string& command) {
        return "ip netns exec " + server_ns_ + " " + command;
    }
    bool StartServer() {
        return server_.Start({ip_, "netns", "exec", server_ns_, "dnsmasq", "--keep-in-foreground",
                              "--conf-file=/dev/null", "--port=0", "--no-ping", "--user=root",
                              "--bind-interfaces", "--interface=" + server_if_,
                              "--dhcp-range=10.77.0.50,10.77.0.60,255.255.255.0,1h",
                              "--dhcp-option=3,10.77.0.1", "--dhcp-leasefile=" + dir_ + "/leases",
                              "--log-facility=" + dir_ + "/dnsmasq.log", "--log-dhcp",
                              "--pid-file=" + dir_ + "/dnsmasq.pid"},
                             dir_ + "/dnsmasq.out");
    }
    // A first start with halvEthernetMode 2: CONFIG.XML in the new flash.
    bool StartSign() {
        std::ofstream(dir_ + "/CONFIG.XML")
            << "<!-- CONFIG.XML J6 V2.0 -->\nhalvEthernetMode[0000]:XXXX,2\n";
        fs::create_directories(dir_ + "/state");
        if (test_support::RunProcess(
                {BesideTests("flashtool"), dir_ + "/state/flash.img", "put", dir_ + "/CONFIG.XML"},
                dir_ + "/flashtool.txt")
                .status != 0)
            return false;
        return sign_.Start({ip_, "netns", "exec", sign_ns_, BesideTests("sign-controller"),
                            "--state", dir_ + "/state", "--speed", "10", "--ethernet", sign_if_,
                            "--console-log"},
                           dir_ + "/sign.out");
    }
    std::string Log() { return read_file(dir_ + "/dnsmasq.log"); }
    // A first start with a static address: the boot monitor's environment
    // holds it, and the front panel's line is state/uart1.
    bool StartStaticSign(const std::string& address, int speed) {
        fs::create_directories(dir_ + "/state");
        std::ofstream(dir_ + "/state/environment")
            << "IPADD=" << address << "\nNETMASK=255.255.255.0\nGIPADD=10.77.0.1\n";
        return sign_.Start({ip_, "netns", "exec", sign_ns_, BesideTests("sign-controller"),
                            "--state", dir_ + "/state", "--speed", std::to_string(speed),
                            "--ethernet", sign_if_, "--console-log"},
                           dir_ + "/sign.out");
    }
    bool AnswersAt(const std::string& address, double seconds) {
        return within(seconds, [&] {
            return shell(InServer("snmpget -v1 -c stewardcastle -t 1 -r 0 udp:" + address +
                                  ":161 1.3.6.1.2.1.1.1.0"))
                       .output.find("STRING") != std::string::npos;
        });
    }
    // Steps of the scripted panel (tests/app/scripts/scripted_panel.py) on
    // the panel line; the printable text the sign sent is kept.
    void Panel(const std::vector<std::string>& steps) {
        std::string command =
            "python3 " TEST_SOURCE_DIR "/app/scripts/scripted_panel.py " + dir_ + "/state/uart1 0";
        for (const std::string& step : steps)
            command += " '" + step + "'";
        std::istringstream lines(shell(command).output);
        std::string number, source, hex;
        while (lines >> number >> source && std::getline(lines, hex)) {
            for (size_t at = 1; at + 1 < hex.size(); at += 2) {
                char c = char(std::stoi(hex.substr(at, 2), nullptr, 16));
                shown_ += c >= ' ' && c <= '~' ? c : '|';
            }
        }
    }
    std::string shown_;

    std::string ip_, sign_ns_, server_ns_, sign_if_, server_if_, dir_;
    bool made_ = false;
    HostProcess server_, sign_;
};

TEST_F(DhcpInNamespaces, TheSignLeasesItsAddressAnswersThereAndRenewsWhenTheCableComesBack) {
    ASSERT_TRUE(StartServer());
    ASSERT_TRUE(StartSign());
    std::smatch leased;
    const std::regex ipadd("IPADD=(10\\.77\\.0\\.(5[0-9]|60))\n");
    std::string environment;
    ASSERT_TRUE(within(30,
                       [&] {
                           environment = read_file(dir_ + "/state/environment");
                           return std::regex_search(environment, leased, ipadd);
                       }))
        << environment << sign_.Output() << Log();
    EXPECT_NE(std::string::npos, environment.find("NETMASK=255.255.255.0\n")) << environment;
    EXPECT_NE(std::string::npos, environment.find("GIPADD=10.77.0.1\n")) << environment;
    const std::string address = leased[1];

    // The servers opened on the leased address once the start-up had it.
    std::string answer;
    EXPECT_TRUE(within(20,
                       [&] {
                           answer = shell(InServer("snmpget -v1 -c stewardcastle -t 1 -r 0 udp:" +
                                                   address + ":161 1.3.6.1.2.1.1.1.0"))
                                        .output;
                           return answer.find("STRING") != std::string::npos;
                       }))
        << answer << sign_.Output();

    // The link monitor's first look comes before any cable is pulled: a cable
    // pulled earlier would be the link the sign starts with, not one that goes.
    ASSERT_TRUE(within(30, [&] { return count_of(sign_.Output(), "Ethernet link up\n") == 1; }))
        << sign_.Output();

    // The cable goes and comes back, pulled at the far end (the interface's
    // carrier drops) and then at the sign's own end (the interface goes down
    // and its carrier cannot be read at all): each time the driver's link
    // monitor reports it, negotiates again when it returns, and the lease is
    // renewed (letter 107). The sign's steps are waited for, never assumed
    // to fit a fixed pause.
    const std::string far_end = "ip -n " + server_ns_ + " link set " + server_if_;
    const std::string own_end = "ip -n " + sign_ns_ + " link set " + sign_if_;
    const std::string carrier =
        "ip netns exec " + sign_ns_ + " cat /sys/class/net/" + sign_if_ + "/carrier";
    int round = 0;
    for (const std::string& end : {far_end, own_end}) {
        round++;
        int requests = count_of(Log(), "DHCPREQUEST(" + server_if_ + ")");
        ASSERT_EQ(0, shell(end + " down").status);
        // Only a host that never shows the carrier going down at all excuses
        // the sign from seeing it.
        if (!within(5, [&] { return shell(carrier).output != "1\n"; })) {
            shell(end + " up");
            GTEST_SKIP() << "the host does not show the carrier going down (" << end << ")";
        }
        EXPECT_TRUE(within(30,
                           [&] {
                               return count_of(sign_.Output(), "Ethernet link down\n") == round &&
                                      count_of(sign_.Output(), "link down\n") == 2 * round;
                           }))
            << end << "\n"
            << sign_.Output();
        ASSERT_EQ(0, shell(end + " up").status);
        EXPECT_TRUE(within(30,
                           [&] {
                               return count_of(sign_.Output(), "Ethernet link up\n") == round + 1 &&
                                      count_of(sign_.Output(), "calling nx_dhcp_force_renew\n") ==
                                          round;
                           }))
            << end << "\n"
            << sign_.Output();
        EXPECT_EQ(round, count_of(sign_.Output(), "link enabled\n")) << sign_.Output();
        EXPECT_TRUE(within(
            30, [&] { return count_of(Log(), "DHCPREQUEST(" + server_if_ + ")") > requests; }))
            << end << "\n"
            << Log() << sign_.Output();
    }
}

// The panel brought up and logged in, then CONFIGURATION, COMMUNICATION
// CONFIGURATION, ETHERNET CONTROL PORT, IP SETTINGS, CONTROLLER IP ADDRESS:
// 10.77.0.20 typed and marked; Escape leaves IP SETTINGS and the sign restarts
// with the address.
TEST_F(DhcpInNamespaces, AnAddressTypedAtThePanelIsTheSignsAfterTheRestart) {
    if (shell("command -v python3").status != 0) GTEST_SKIP() << "python3 is not installed";
    const int speed = 10;
    // A static address is the host interface's to hold: the sign's port holds
    // the old and the new one, and the sign listens on the one it is given.
    for (const char* address : {"10.77.0.10/24", "10.77.0.20/24"})
        ASSERT_EQ(0,
                  shell("ip -n " + sign_ns_ + " addr add " + address + " dev " + sign_if_).status);
    ASSERT_TRUE(StartStaticSign("10.77.0.10", speed));
    ASSERT_TRUE(AnswersAt("10.77.0.10", 40)) << sign_.Output();
    // Right (0c) moves on to the next octet; 77 moves on by itself.
    Panel({"port:ffb0",
           "until:fe36:5",
           "port:ffa7",
           "wait:0.5",
           "port:ffb3",
           "wait:0.5",
           "keys:1234",
           "port:08",
           "open:CONFIGURATION:5",
           "open:COMMUNICATION CONFIGURATION:5",
           "open:ETHERNET CONTROL PORT:5",
           "open:IP SETTINGS:5",
           "open:CONTROLLER IP ADDRESS:5",
           "wait:0.5",
           "keys:10",
           "port:0c",
           "keys:770",
           "port:0c",
           "keys:20",
           "port:08",
           "wait:0.5"});
    ASSERT_NE(std::string::npos, shown_.rfind("10.77.0.20*"))
        << shown_.substr(shown_.size() > 800 ? shown_.size() - 800 : 0);
    Panel({"port:00", "wait:0.3"}); // Escape leaves IP SETTINGS
    std::string environment;
    EXPECT_TRUE(within(60,
                       [&] {
                           environment = read_file(dir_ + "/state/environment");
                           return environment.find("IPADD=10.77.0.20\n") != std::string::npos;
                       }))
        << environment << sign_.Output();
    EXPECT_NE(std::string::npos, sign_.Output().find("ethernet config changed... rebooting"))
        << sign_.Output();
    EXPECT_TRUE(AnswersAt("10.77.0.20", 60)) << sign_.Output();
    EXPECT_FALSE(AnswersAt("10.77.0.10", 2)) << "the old address is gone";
}

} // namespace
