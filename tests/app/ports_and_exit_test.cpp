// Several signs on one host: a sign never shares a port (it refuses to start
// with one line that names the port, the reason and the remedy), and it
// leaves no link or socket in its state directory when it ends. These drive
// the real program and wait on the wall clock, bounded.
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test_support::BesideTests;
using test_support::HostProcess;

const char* const STATE_LINKS[] = {"uart0", "uart1", "uart0.ctl", "uart1.ctl", "field.ctl"};

class SignPorts : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(BesideTests("sign-controller")))
            GTEST_SKIP() << "sign-controller not built";
        char pattern[] = "/tmp/sign_ports_test_XXXXXX";
        dir_ = mkdtemp(pattern);
        offset_ = test_support::FreePortOffset();
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::vector<std::string> Args(const std::string& state, int offset) const {
        return {BesideTests("sign-controller"),
                "--state",
                dir_ + "/" + state,
                "--speed",
                "20",
                "--port-offset",
                std::to_string(offset)};
    }
    // Waits (at most 20 s) until `process` printed `text`; false when it ended first.
    static bool WaitFor(HostProcess& process, const std::string& text) {
        for (int wait = 0; wait < 400; ++wait) {
            if (process.Output().find(text) != std::string::npos) return true;
            if (process.Wait(0.05) != -1) return false;
        }
        return false;
    }
    // The links and sockets left in a state directory.
    std::vector<std::string> Leftovers(const std::string& state) const {
        std::vector<std::string> left;
        for (const char* name : STATE_LINKS)
            if (fs::symlink_status(dir_ + "/" + state + "/" + name).type() !=
                fs::file_type::not_found)
                left.push_back(name);
        return left;
    }
    std::string Listening(const char* protocol, int port) const {
        return std::string("listening on ") + protocol +
               " 127.0.0.1:" + std::to_string(port + offset_) + "\n";
    }
    // The refusal: status 1 and one line naming the port, the reason and the remedy.
    static void ExpectRefused(HostProcess& process, const std::string& reason) {
        const int status = process.Wait(30);
        ASSERT_NE(-1, status) << process.Output();
        EXPECT_EQ(1, status);
        const std::string out = process.Output();
        const std::string mark = "sign-controller: cannot listen on ";
        const size_t at = out.find(mark);
        ASSERT_NE(std::string::npos, at) << out;
        const std::string line = out.substr(at, out.find('\n', at) - at);
        for (const std::string& part : {std::string(" 127.0.0.1:"), ": " + reason,
                                        std::string("--port-offset"), std::string("; not started")})
            EXPECT_NE(std::string::npos, line.find(part)) << part << "\n" << line;
    }

    std::string dir_;
    int offset_ = 0;
};

// A second sign on the ports of a running one stops at the first port it
// cannot take; the first keeps running, and the refused one leaves nothing.
TEST_F(SignPorts, ASecondSignOnTheSamePortsRefusesToStart) {
    HostProcess first, second;
    ASSERT_TRUE(first.Start(Args("first", offset_), dir_ + "/first.txt"));
    ASSERT_TRUE(WaitFor(first, Listening("UDP", 3002))) << first.Output();
    ASSERT_TRUE(second.Start(Args("second", offset_), dir_ + "/second.txt"));
    ExpectRefused(second, "Address already in use");
    EXPECT_EQ(std::string::npos, second.Output().find("listening on")) << second.Output();
    EXPECT_TRUE(Leftovers("second").empty());
    EXPECT_EQ(-1, first.Wait(0.2)) << first.Output();
    first.Signal(SIGINT);
    EXPECT_NE(-1, first.Wait(10));
}

// A port another program holds is refused, even when that program let its
// UDP port be shared (SO_REUSEADDR).
TEST_F(SignPorts, AUdpPortAnotherProgramSharesIsRefused) {
    int holder = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(holder, 0);
    int one = 1;
    setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(161 + offset_));
    ASSERT_EQ(0, bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a));
    HostProcess sign;
    ASSERT_TRUE(sign.Start(Args("state", offset_), dir_ + "/out.txt"));
    ExpectRefused(sign, "Address already in use");
    EXPECT_NE(std::string::npos,
              sign.Output().find("cannot listen on UDP 127.0.0.1:" + std::to_string(161 + offset_)))
        << sign.Output();
    close(holder);
}

// An ordinary user on the standard ports: the low ports need root, and the
// sign says so and what to do instead of running deaf. As root the test runs
// the program as the unprivileged user nobody.
TEST_F(SignPorts, AnOrdinaryUserOnTheStandardPortsIsToldWhatToDo) {
    int unprivileged_start = 1024;
    std::ifstream("/proc/sys/net/ipv4/ip_unprivileged_port_start") >> unprivileged_start;
    if (unprivileged_start <= 162)
        GTEST_SKIP() << "this host lets every user bind ports from " << unprivileged_start;
    std::vector<std::string> args = Args("state", 0);
    if (geteuid() == 0) {
        std::vector<std::string> found =
            test_support::Lines(test_support::run_command("command -v setpriv"));
        if (found.empty() || found[0].find('/') == std::string::npos)
            GTEST_SKIP() << "running as root without setpriv (util-linux) to drop to nobody";
        ASSERT_EQ(0, chmod(dir_.c_str(), 0777));
        args.insert(args.begin(), {found[0], "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    HostProcess sign;
    ASSERT_TRUE(sign.Start(args, dir_ + "/out.txt"));
    ExpectRefused(sign, "Permission denied");
    EXPECT_NE(std::string::npos, sign.Output().find("need root")) << sign.Output();
    EXPECT_TRUE(Leftovers("state").empty());
}

// Every end by a signal removes the serial links and the control sockets, so
// that no tool follows a link to a pty the host may give another sign.
TEST_F(SignPorts, EverySignalThatEndsTheSignRemovesItsLinksAndSockets) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string state = "state" + std::to_string(signal);
        HostProcess sign;
        ASSERT_TRUE(sign.Start(Args(state, offset_), dir_ + "/" + state + ".txt"));
        ASSERT_TRUE(WaitFor(sign, Listening("TCP", 161))) << sign.Output();
        ASSERT_EQ(5u, Leftovers(state).size()) << sign.Output();
        sign.Signal(signal);
        EXPECT_EQ(128 + signal, sign.Wait(10)) << strsignal(signal);
        EXPECT_EQ(std::vector<std::string>{}, Leftovers(state)) << strsignal(signal);
    }
}

} // namespace
