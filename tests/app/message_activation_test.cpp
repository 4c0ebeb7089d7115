// A central system's messages, end to end: net-snmp's snmpset and snmpget
// (privileged community of the factory defaults) against a running
// sign-controller.
#include "tests/support/host_process.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test_support::BesideTests;
using test_support::HostProcess;

const std::string MESSAGE = "1.3.6.1.4.1.1206.4.2.3.5.8.1.";
const std::string CONTROL = "1.3.6.1.4.1.1206.4.2.3.6.";

std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, p))
        out += buffer;
    pclose(p);
    return out;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '"'))
        s.pop_back();
    size_t first = s.find_first_not_of(" \"");
    return first == std::string::npos ? "" : s.substr(first);
}

class MessageActivation : public ::testing::Test {
  protected:
    void SetUp() override {
        if (run("command -v snmpget").find("snmpget") == std::string::npos)
            GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
        if (!fs::exists(BesideTests("sign-controller")))
            GTEST_SKIP() << "sign-controller not built";
        char pattern[] = "/tmp/message_activation_XXXXXX";
        dir_ = mkdtemp(pattern);
        const int offset = test_support::FreePortOffset();
        at_ = "udp:127.0.0.1:" + std::to_string(161 + offset);
        ASSERT_TRUE(sign_.Start({BesideTests("sign-controller"), "--state", dir_ + "/state",
                                 "--speed", Speed(), "--port-offset", std::to_string(offset)},
                                dir_ + "/out.txt"));
        // The communication task opens the SNMP port at its first step.
        for (int wait = 0; wait < 60; ++wait) {
            if (Get("1.3.6.1.2.1.1.2.0").find("Timeout") == std::string::npos) return;
            ASSERT_EQ(-1, sign_.Wait(0.25)) << sign_.Output();
        }
        FAIL() << "the sign never answered:\n" << sign_.Output();
    }
    // Simulated seconds per host second.
    virtual std::string Speed() const { return "20"; }
    void TearDown() override {
        if (sign_.Running()) {
            sign_.Signal(SIGINT);
            sign_.Wait(10);
        }
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::string Tool(const std::string& tool, const std::string& args) {
        return run(tool + " -v1 -c stewardcastle -t 2 -r 1 -Oqv " + at_ + " " + args);
    }
    std::string Get(const std::string& oid) { return trimmed(Tool("snmpget", oid)); }
    std::string Set(const std::string& oid, const std::string& type, const std::string& value) {
        return Tool("snmpset", oid + " " + type + " " + value);
    }
    // The value of `oid` once it reads `expected` (at most two host seconds).
    std::string GetWhen(const std::string& oid, const std::string& expected) {
        std::string value;
        for (int wait = 0; wait < 20 && (value = Get(oid)) != expected; ++wait)
            sign_.Wait(0.1);
        return value;
    }

    // Stores `multi` in changeable message `row` as a central system does. -> its CRC.
    std::string Store(int row, const std::string& multi) {
        const std::string r = std::to_string(row);
        EXPECT_EQ(std::string::npos, Set(MESSAGE + "9.3." + r, "i", "6").find("Error"));
        EXPECT_EQ("2", GetWhen(MESSAGE + "9.3." + r, "2")); // modifying
        EXPECT_EQ(std::string::npos, Set(MESSAGE + "3.3." + r, "s", multi).find("Error"));
        EXPECT_EQ(std::string::npos, Set(MESSAGE + "9.3." + r, "i", "7").find("Error"));
        EXPECT_EQ("4", GetWhen(MESSAGE + "9.3." + r, "4")); // valid
        return Get(MESSAGE + "5.3." + r);
    }

    std::string dir_, at_;
    HostProcess sign_;
};

TEST_F(MessageActivation, AWrongCodeOrAnUnusedRowIsRefused) {
    std::string wrong = Set(CONTROL + "3.0", "x", "FFFFFF030001123400000000");
    EXPECT_NE(std::string::npos, wrong.find("genError")) << wrong;
    EXPECT_NE("2", Get(CONTROL + "17.0"));

    std::string unused = Set(MESSAGE + "3.3.2", "s", "HELLO"); // notUsed
    EXPECT_NE(std::string::npos, unused.find("genError")) << unused;
    EXPECT_EQ("", Get(MESSAGE + "3.3.2"));
}

TEST_F(MessageActivation, AStoredMessageIsValidatedAndActivated) {
    EXPECT_EQ("60664", Store(1, "HELLO"));

    std::string activated = Set(CONTROL + "3.0", "x", "FFFFFF030001ECF800000000");
    EXPECT_EQ(std::string::npos, activated.find("Error")) << activated;
    EXPECT_EQ("2", GetWhen(CONTROL + "17.0", "2"));
    EXPECT_EQ("03 00 01 EC F8", Get(CONTROL + "5.0"));
    EXPECT_EQ("8", Get(CONTROL + "7.0"));
}

// The sign's picture (sign.png) as a central system's message runs: its
// pages follow each other at the default page times (2 s on, no off time),
// and a blank darkens the sign. The program runs at four times real time, so
// that the picture writer (at most ten pictures a host second) shows every page.
class SignPages : public MessageActivation {
  protected:
    std::string Speed() const override { return "4"; }
    std::string Picture() {
        return fs::absolute(dir_ + "/state").lexically_normal().string() + "/sign.png";
    }
};

TEST_F(SignPages, PagesFollowEachOtherAndABlankDarkensTheSign) {
    unsigned crc = unsigned(std::stoul(Store(2, "AAA[np]BBB")));
    char code[32];
    std::snprintf(code, sizeof code, "FFFFFF030002%04X00000000", crc);
    std::string activated = Set(CONTROL + "3.0", "x", code);
    ASSERT_EQ(std::string::npos, activated.find("Error")) << activated;

    // The distinct pictures shown, in order, until page 1 comes round again.
    std::vector<test_support::Picture> shown;
    for (int wait = 0; wait < 300 && shown.size() < 3; ++wait) {
        test_support::Picture now;
        if (test_support::ReadPng(Picture(), now) && !now.Dark() &&
            (shown.empty() || shown.back().rgb != now.rgb))
            shown.push_back(now);
        sign_.Wait(0.03);
    }
    ASSERT_EQ(3u, shown.size()) << sign_.Output();
    EXPECT_NE(shown[0].rgb, shown[1].rgb) << "page 2";
    EXPECT_EQ(shown[0].rgb, shown[2].rgb) << "page 1 again";

    activated = Set(CONTROL + "3.0", "x", "FFFFFF070001000000000000");
    ASSERT_EQ(std::string::npos, activated.find("Error")) << activated;
    test_support::Picture now;
    for (int wait = 0; wait < 100 && !(test_support::ReadPng(Picture(), now) && now.Dark()); ++wait)
        sign_.Wait(0.03);
    EXPECT_TRUE(now.Dark()) << "the blank darkens the sign";
}

} // namespace
