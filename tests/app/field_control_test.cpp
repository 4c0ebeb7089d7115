// The CAN field of the running program, as a technician reaches it: boards
// from the field file, changed through state/field.ctl with socat.
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test_support::BesideTests;
using test_support::HostProcess;

class FieldControl : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(BesideTests("sign-controller")))
            GTEST_SKIP() << "sign-controller not built";
        char tmpl[] = "/tmp/field_control_test_XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    bool Start(const std::string& field) {
        std::ofstream(dir_ + "/field.txt") << field;
        return run_.Start({BesideTests("sign-controller"), "--state", dir_ + "/state", "--speed",
                           "20", "--port-offset", std::to_string(test_support::FreePortOffset()),
                           "--field", dir_ + "/field.txt"},
                          dir_ + "/out.txt");
    }
    // The control socket's path once the program printed it ("" when it ended first).
    std::string ControlPath() {
        const std::string mark = "sign-controller: field control ";
        for (int wait = 0; wait < 200; ++wait) {
            std::string out = run_.Output();
            size_t at = out.find(mark);
            if (at != std::string::npos) {
                at += mark.size();
                return out.substr(at, out.find(',', at) - at);
            }
            if (run_.Wait(0.05) != -1) return "";
        }
        return "";
    }
    std::string dir_;
    HostProcess run_;
};

TEST_F(FieldControl, ATechnicianListsAndChangesTheBoardsOverSocat) {
    if (test_support::run_command("command -v socat").find("socat") == std::string::npos)
        GTEST_SKIP() << "socat is not installed (Debian package socat)";
    ASSERT_TRUE(Start("# the sign's sensors\ncan temperature sign1 42105 temp=83\n"
                      "can light front 42005 raw=500 level=100\ncan humidity hum1 42901 rh=60\n"));
    std::string path = ControlPath();
    ASSERT_FALSE(path.empty()) << run_.Output();
    EXPECT_NE(std::string::npos,
              run_.Output().find("CAN frames logged in " + fs::path(path).parent_path().string() +
                                 "/can.log"));
    // The commands wait for the processor (a loaded host may still be starting
    // the firmware); socat ends when the sign has answered the last one.
    std::string replies = test_support::run_command(
        "printf 'list\\nset sign1 temp=85\\nget sign1\\nset nosuch temp=1\\nset sign1 temp=abc\\n"
        "set can error=busoff\\n'"
        " | socat -t 120 - UNIX-CONNECT:" +
        path);
    EXPECT_EQ("sign1 temperature 42105 rev=1 silent=0 latency=1 bus=local temp=83\n"
              "front light 42005 rev=1 silent=0 latency=1 bus=local raw=500 level=100\n"
              "hum1 humidity 42901 rev=1 silent=0 latency=1 bus=local rh=60 second=0\n"
              "ok\n"
              "ok\n"
              "sign1 temperature 42105 rev=1 silent=0 latency=1 bus=local temp=85\n"
              "ok\n"
              "error: no board nosuch\n"
              "error: temp must be a number -128 to 127\n"
              "ok\n",
              replies);
    // The CAN driver sets the chip up again at its next send after a bus-off.
    std::string can;
    for (int look = 0; look < 100 && can != "can error=none\nok\n"; ++look) {
        can =
            test_support::run_command("printf 'get can\\n' | socat -t 120 - UNIX-CONNECT:" + path);
        EXPECT_TRUE(can == "can error=busoff\nok\n" || can == "can error=none\nok\n") << can;
    }
    EXPECT_EQ("can error=none\nok\n", can);
    run_.Signal(SIGINT);
    EXPECT_NE(-1, run_.Wait(10));
}

// A client of the control socket that sends its lines before it reads.
int Connect(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

void SendAll(int fd, const std::string& lines) {
    for (size_t sent = 0; sent < lines.size();) {
        ssize_t n = ::send(fd, lines.data() + sent, lines.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += size_t(n);
    }
}

// Ends the client's side; -> everything the sign answered until it closed.
std::string ReadToEnd(int fd) {
    ::shutdown(fd, SHUT_WR);
    std::string replies;
    char buffer[65536];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 120000) > 0) { // a safety net only: the sign closes when done
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        replies.append(buffer, size_t(n));
    }
    ::close(fd);
    return replies;
}

std::string SendAllThenRead(const std::string& path, const std::string& lines) {
    int fd = Connect(path);
    if (fd < 0) return "?";
    SendAll(fd, lines);
    return ReadToEnd(fd);
}

std::string Repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

// One reply a line, in order, even for a client that reads only once it has
// sent 5,000 commands (whose replies far outgrow the socket's buffer); a
// line past the limit, however long, is one error.
TEST_F(FieldControl, EveryLineGetsExactlyOneReply) {
    ASSERT_TRUE(Start("can temperature sign1 42105 temp=83\ncan light front 42005 raw=500\n"
                      "can humidity hum1 42901 rh=60\n"));
    const std::string path = ControlPath();
    ASSERT_FALSE(path.empty()) << run_.Output();
    const std::string list = SendAllThenRead(path, "list\n");
    ASSERT_NE(std::string::npos, list.find("sign1 temperature")) << list;
    // The first client reads nothing until the sign has applied its last
    // command, as a second client sees.
    int fd = Connect(path);
    ASSERT_GE(fd, 0);
    SendAll(fd, Repeated("list\n", 5000) + "set sign1 temp=99\n");
    bool applied = false;
    for (int ask = 0; ask < 100000 && !applied; ++ask)
        applied = SendAllThenRead(path, "get sign1\n").find("temp=99") != std::string::npos;
    EXPECT_TRUE(applied);
    EXPECT_EQ(Repeated(list, 5000) + "ok\n", ReadToEnd(fd));
    ASSERT_EQ("ok\n", SendAllThenRead(path, "set sign1 temp=83\n"));

    const std::string too_long = "error: the line is too long (512 characters at most)\n";
    const std::string get = "get sign1\n";
    const std::string sign1 =
        "sign1 temperature 42105 rev=1 silent=0 latency=1 bus=local temp=83\nok\n";
    for (size_t length : {size_t(513), size_t(600), size_t(5000), size_t(100000)}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(sign1 + too_long + sign1,
                  SendAllThenRead(path, get + std::string(length, 'x') + "\n" + get));
    }
    EXPECT_EQ(sign1 + sign1, SendAllThenRead(path, get + "get sign1")) << "the last line unended";
    run_.Signal(SIGINT);
    EXPECT_NE(-1, run_.Wait(10));
}

TEST_F(FieldControl, ABadCanLineStopsTheProgramAtItsLine) {
    struct {
        const char* field;
        const char* error;
    } cases[] = {
        {"can temperature sign1 42105\ncan thermometer t2 42106\n",
         ":2: unknown CAN board kind 'thermometer' (temperature, light, humidity, rpm, dcio, ptb, "
         "acio)\n"},
        {"# sensors\ncan light front 4200Z\n", ":2: bad identifier '4200Z' (hex, 0 to 1FFFFF7F)\n"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Start(c.field));
        EXPECT_EQ(2, run_.Wait(10));
        EXPECT_NE(std::string::npos, run_.Output().find(dir_ + "/field.txt" + c.error))
            << run_.Output();
    }
}

} // namespace
