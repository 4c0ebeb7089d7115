// panelterm from the outside: the emulator runs under tmux on one end of a
// socat pseudo-terminal pair; the test is the sign on the other end, writes
// LCD commands, reads the screen with capture-pane and the panel's bytes from
// the line, and presses keys with send-keys. These wait on the wall clock,
// bounded.
#include "tests/tools/tool_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <fcntl.h>
#include <sys/file.h>
#include <filesystem>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;
using test_support::run_command;

// The program's path on PATH ("" when it is not installed).
std::string installed(const char* program) {
    std::vector<std::string> lines =
        test_support::Lines(run_command(std::string("command -v ") + program));
    return lines.empty() || lines[0].find('/') == std::string::npos ? std::string() : lines[0];
}

class PanelTerm : public tools_test::ToolTest {
  protected:
    PanelTerm() : ToolTest("panelterm") {}
    void SetUp() override {
        ToolTest::SetUp();
        if (IsSkipped()) return;
        socat_path_ = installed("socat");
        if (installed("tmux").empty() || socat_path_.empty())
            GTEST_SKIP() << "tmux or socat missing";
        panel_ = dir_ + "/panel";
        sign_ = dir_ + "/sign";
        ASSERT_NO_FATAL_FAILURE(OpenLine());
        tmux_ = "tmux -S " + dir_ + "/tmux.sock ";
        run_command(tmux_ + "new-session -d -s panel -x 120 -y 30 '" +
                    test_support::BesideTests("panelterm") + " " + panel_ + "'");
        ASSERT_TRUE(Until([&] { return Screen().find("front panel on") != std::string::npos; }))
            << Screen();
    }
    void TearDown() override {
        if (!tmux_.empty()) run_command(tmux_ + "kill-server");
        if (line_ >= 0) close(line_);
        socat_.Kill();
        ToolTest::TearDown();
    }
    // A new pseudo-terminal pair under the same two links, as a restarting
    // sign gives.
    void OpenLine() {
        if (line_ >= 0) close(line_);
        socat_.Kill();
        std::filesystem::remove(panel_);
        std::filesystem::remove(sign_);
        ASSERT_TRUE(socat_.Start(
            {socat_path_, "pty,raw,echo=0,link=" + panel_, "pty,raw,echo=0,link=" + sign_},
            dir_ + "/socat.txt"));
        ASSERT_TRUE(Until([&] {
            return std::filesystem::exists(panel_) && std::filesystem::exists(sign_);
        })) << socat_.Output();
        line_ = open(sign_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(line_, 0);
        termios t{};
        tcgetattr(line_, &t);
        cfmakeraw(&t);
        tcsetattr(line_, TCSANOW, &t);
    }
    static bool Until(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    std::string Screen() { return run_command(tmux_ + "capture-pane -p -t panel"); }
    void Keys(const std::string& keys) { run_command(tmux_ + "send-keys -t panel " + keys); }
    // Writes one byte at a time, so that the panel reads them cut anywhere.
    void Write(const Bytes& bytes) {
        for (uint8_t byte : bytes) {
            ASSERT_EQ(1, write(line_, &byte, 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // Reads what the panel sent until `expected` came (heartbeats left out).
    bool Expect(const Bytes& expected, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return Until(
            [&] {
                uint8_t buffer[256];
                ssize_t n;
                while ((n = read(line_, buffer, sizeof buffer)) > 0)
                    received_.insert(received_.end(), buffer, buffer + n);
                for (size_t i = 0; i + 1 < received_.size();)
                    if (received_[i] == 0xFF && received_[i + 1] == 0xFF)
                        received_.erase(received_.begin() + long(i),
                                        received_.begin() + long(i) + 2);
                    else
                        i += received_[i] == 0xFF ? 2 : 1;
                auto at = std::search(received_.begin(), received_.end(), expected.begin(),
                                      expected.end());
                if (at == received_.end()) return false;
                received_.erase(received_.begin(), at + long(expected.size()));
                return true;
            },
            limit);
    }
    // The screen line holding `text`, and the column of `text` after the
    // frame character that opens the line (1 = the first).
    int ColumnOf(const std::string& text, int& row) {
        std::vector<std::string> lines = test_support::Lines(Screen());
        for (size_t i = 0; i < lines.size(); i++) {
            size_t at = lines[i].find(text), frame = lines[i].find('|');
            if (at == std::string::npos || frame == std::string::npos) continue;
            row = int(i);
            return int(at - frame);
        }
        return -1;
    }

    test_support::HostProcess socat_;
    std::string socat_path_, panel_, sign_, tmux_;
    int line_ = -1;
    Bytes received_;
};

TEST_F(PanelTerm, AnswersDrawsAndSendsItsKeysOverThePanelLine) {
    Write({0xFE, '6'});
    EXPECT_TRUE(Expect({0xFF, 0xA7})) << "the probe is answered";

    const std::string title = "** WELCOME TO THE MAIN MENU **";
    Bytes command = {0xFE, 'G', 6, 1};
    command.insert(command.end(), title.begin(), title.end());
    Write(command);
    Write(
        {0xFE, 'd', 0xE8, 0x38, 0xEF, 0x3F, 0x00, 0x04, 0x02, 0xFF, 0xDF, 0x02, 0x04, 0x00, 0x00});
    Write({0xFE, 'V'});
    int row = 0, column = -1;
    ASSERT_TRUE(Until([&] { return (column = ColumnOf(title, row)) > 0; })) << Screen();
    EXPECT_EQ(6, column) << Screen();
    EXPECT_EQ(1, row) << "row 1 is the line under the heading";
    EXPECT_TRUE(Until([&] {
        std::string screen = Screen();
        return screen.find("right arrow") != std::string::npos &&
               screen.find("LOCAL") != std::string::npos;
    })) << Screen();

    // The numeric keypad is the panel's keypad; the PC's digit keys are the
    // PS/2 keyboard's, so a digit typed twice never walks the multi-tap list.
    Keys("KP1");
    EXPECT_TRUE(Expect({0x03})) << socat_.Output();
    Keys("KP0");
    EXPECT_TRUE(Expect({0x04}));
    Keys("1");
    EXPECT_TRUE(Expect({0xFF, 0xBD, 0x00, 0x16, 0xF0, 0x16, 0xED}));
    Keys("1");
    EXPECT_TRUE(Expect({0xFF, 0xBD, 0x00, 0x16, 0xF0, 0x16, 0xED}));
    Keys("Enter");
    EXPECT_TRUE(Expect({0x08}));
    Keys("F1");
    EXPECT_TRUE(Expect({0xFF, 0xBD, 0x00, 0x05, 0xF0, 0x05, 0xED}));
    Keys("A");
    EXPECT_TRUE(Expect({0xFF, 0xBD, 0x04, 0x1C, 0xF0, 0x1C, 0xED}));
    Keys("M-l");
    EXPECT_TRUE(Expect({0xFF, 0xB3}));
    Keys("M-c");
    EXPECT_TRUE(Expect({0xFF, 0xB4}));
    Keys("M-q");
    EXPECT_TRUE(Until([&] {
        std::vector<std::string> lines =
            test_support::Lines(run_command(tmux_ + "has-session -t panel 2>/dev/null; echo $?"));
        return !lines.empty() && lines.back() != "0";
    })) << "Alt-q ends the emulator";
}

TEST_F(PanelTerm, OpensTheLineAgainWhenItComesBack) {
    Write({0xFE, '7'});
    EXPECT_TRUE(Expect({0xFF, 0xA7}));
    ASSERT_NO_FATAL_FAILURE(OpenLine());
    EXPECT_TRUE(Until([&] {
        Write({0xFE, '6'});
        return Expect({0xFF, 0xA7}, std::chrono::milliseconds(200));
    })) << "the panel answers on the new line";
    Write({0xFE, 'G', 1, 3, 'b', 'a', 'c', 'k'});
    int row = 0;
    EXPECT_TRUE(Until([&] { return ColumnOf("back", row) == 1; })) << Screen();
    EXPECT_EQ(3, row);
}

// A link in a state directory that no sign holds (its lock free: the sign
// was killed) may lead to a pty the host has given another sign since: the
// panel leaves it alone and says why, until a sign holds the directory again.
TEST_F(PanelTerm, LeavesTheLinkOfAStoppedSignAlone) {
    const int lock = open((dir_ + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_NO_FATAL_FAILURE(OpenLine());
    EXPECT_TRUE(Until([&] {
        return Screen().find("no sign runs there: a link left by a stopped sign") !=
               std::string::npos;
    })) << Screen();
    ASSERT_EQ(0, flock(lock, LOCK_EX)); // a sign holds the directory again
    EXPECT_TRUE(Until([&] {
        Write({0xFE, '6'});
        return Expect({0xFF, 0xA7}, std::chrono::milliseconds(200));
    })) << Screen();
    close(lock);
}

} // namespace
