// The UARTs' host lines: the pseudo-terminal linked in the state directory,
// the TCP listener and the control socket of the modem inputs. These talk to
// real host file descriptors, so they wait on the wall clock, bounded.
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/kernel/host.h"
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

const uint32_t MSR = BUS_UART0 + 6;
const uint32_t LSR = BUS_UART0 + 5;

class UartLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/uart_line_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(nullptr, 0);
    }
    void TearDown() override {
        host::board_stop();
        std::filesystem::remove_all(options_.state_dir);
    }
    void Start() {
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
    }
    // Lets the processor take host events until `done` holds (at most 5 s).
    static bool Until(const std::function<bool()>& done) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            host::run_until_idle();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    std::string Control(int port, const std::string& command) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::string path = options_.state_dir + "/uart" + std::to_string(port) + ".ctl";
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        EXPECT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a)) << path;
        std::string line = command + "\n", reply;
        EXPECT_EQ(ssize_t(line.size()), write(fd, line.data(), line.size()));
        char c;
        while (read(fd, &c, 1) == 1) {
            reply += c;
            if (reply.size() >= 3 &&
                (reply.rfind("ok\n") == reply.size() - 3 ||
                 reply.find("error:") != std::string::npos) &&
                c == '\n')
                break;
        }
        close(fd);
        return reply;
    }

    host::HostOptions options_;
};

TEST_F(UartLineTest, ThePseudoTerminalCarriesBytesBothWays) {
    Start();
    std::string link = options_.state_dir + "/uart0";
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(3, write(fd, "abc", 3));
    ASSERT_TRUE(Until([] { return bus_read8(LSR) & 1; }));
    std::string got;
    while (bus_read8(LSR) & 1)
        got += char(bus_read8(BUS_UART0));
    ASSERT_TRUE(Until([&] {
        while (bus_read8(LSR) & 1)
            got += char(bus_read8(BUS_UART0));
        return got.size() == 3;
    }));
    EXPECT_EQ("abc", got);
    EXPECT_EQ(0x80, bus_read8(MSR) & 0x80) << "a pseudo-terminal always has carrier";

    bus_write8(BUS_UART0, 'Z');
    host::run_until_idle();
    char c = 0;
    ASSERT_EQ(1, read(fd, &c, 1));
    EXPECT_EQ('Z', c);
    close(fd);
}

TEST_F(UartLineTest, TheControlSocketSetsTheModemInputs) {
    Start();
    EXPECT_EQ("ok\n", Control(1, "DCD 0"));
    ASSERT_TRUE(Until([] { return (bus_read8(BUS_UART1 + 6) & 0x80) == 0; }));
    EXPECT_EQ("ok\n", Control(1, "RI 1"));
    ASSERT_TRUE(Until([] { return (bus_read8(BUS_UART1 + 6) & 0x40) != 0; }));
    EXPECT_EQ("ok\n", Control(1, "auto"));
    ASSERT_TRUE(Until([] { return (bus_read8(BUS_UART1 + 6) & 0xC0) == 0x80; }));
    bus_write8(BUS_UART1 + 4, 0x03);
    EXPECT_EQ("DTR 1 RTS 1\nok\n", Control(1, "STATUS"));
    EXPECT_EQ(0u, Control(1, "DCD 2").find("error:"));
    EXPECT_EQ(0u, Control(1, "HANGUP").find("error:"));
}

TEST_F(UartLineTest, ATcpLineServesOnePeerAndCarrierFollowsIt) {
    options_.port_offset = test_support::FreePortOffset();
    options_.uart[0] = "tcp:2101";
    Start();
    EXPECT_EQ("tcp:" + std::to_string(2101 + options_.port_offset), board::uart_line_name(0));
    EXPECT_EQ(0, bus_read8(MSR) & 0x80) << "no peer, no carrier";
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(2101 + options_.port_offset));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
    ASSERT_TRUE(Until([] { return (bus_read8(MSR) & 0x80) != 0; }));
    ASSERT_EQ(2, write(fd, "hi", 2));
    ASSERT_TRUE(Until([] { return bus_read8(LSR) & 1; }));
    EXPECT_EQ('h', bus_read8(BUS_UART0));
    close(fd);
    ASSERT_TRUE(Until([] { return (bus_read8(MSR) & 0x80) == 0; }));
}

TEST(UartOptions, TheLineOptionIsChecked) {
    for (const char* bad : {"tcp:", "tcp:0", "tcp:70000", "serial", "tcp:12x"}) {
        host::HostOptions options;
        std::string error;
        const char* argv[] = {"sign-controller", "--uart0", bad};
        EXPECT_FALSE(host::parse_host_options(3, const_cast<char**>(argv), options, error)) << bad;
    }
    host::HostOptions options;
    std::string error;
    const char* argv[] = {"sign-controller", "--uart1=tcp:2000"};
    ASSERT_TRUE(host::parse_host_options(2, const_cast<char**>(argv), options, error)) << error;
    EXPECT_EQ("tcp:2000", options.uart[1]);
    EXPECT_EQ("pty", options.uart[0]);
}

} // namespace
