// A central system's messages, end to end: net-snmp's snmpset and snmpget
// (privileged community of the factory defaults) against a running
// sign-controller: a message stored, validated and activated, and the
// time-base schedule started by activating the schedule message.
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test_support::BesideTests;
using test_support::HostProcess;
using test_support::Lines;
using test_support::RunCommand;

const std::string MESSAGE = "1.3.6.1.4.1.1206.4.2.3.5.8.1.";
const std::string CONTROL = "1.3.6.1.4.1.1206.4.2.3.6.";
const std::string ACTION = "1.3.6.1.4.1.1206.4.2.3.8.2.1.";
const std::string TIMEBASE = "1.3.6.1.4.1.1206.4.2.6.3.3.";
const std::string UP_TIME = "1.3.6.1.2.1.1.3.0"; // whole seconds

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '"'))
        s.pop_back();
    size_t first = s.find_first_not_of(" \"");
    return first == std::string::npos ? "" : s.substr(first);
}

class MessageActivation : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunCommand("command -v snmpget").find("snmpget") == std::string::npos)
            GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
        if (!fs::exists(BesideTests("sign-controller")))
            GTEST_SKIP() << "sign-controller not built";
        char pattern[] = "/tmp/message_activation_XXXXXX";
        dir_ = mkdtemp(pattern);
        const int offset = test_support::FreePortOffset();
        at_ = "udp:127.0.0.1:" + std::to_string(161 + offset);
        ASSERT_TRUE(sign_.Start({BesideTests("sign-controller"), "--state", dir_ + "/state",
                                 "--speed", "20", "--port-offset", std::to_string(offset)},
                                dir_ + "/out.txt"));
        // The communication task opens the SNMP port at its first step.
        for (int wait = 0; wait < 60; ++wait) {
            if (Get("1.3.6.1.2.1.1.2.0").find("Timeout") == std::string::npos) return;
            ASSERT_EQ(-1, sign_.Wait(0.25)) << sign_.Output();
        }
        FAIL() << "the sign never answered:\n" << sign_.Output();
    }
    void TearDown() override {
        if (sign_.Running()) {
            sign_.Signal(SIGINT);
            sign_.Wait(10);
        }
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::string Tool(const std::string& tool, const std::string& args) {
        return RunCommand(tool + " -v1 -c stewardcastle -t 2 -r 1 -Oqv " + at_ + " " + args);
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

    // The values of one GET, one a line, trimmed.
    std::vector<std::string> Values(const std::string& oids) {
        std::vector<std::string> values = Lines(Tool("snmpget", oids));
        for (std::string& v : values)
            v = trimmed(v);
        return values;
    }
    // Changeable message `n` holds `text` and is valid.
    void StoreValid(int n, const std::string& text) {
        const std::string status = MESSAGE + "9.3." + std::to_string(n);
        EXPECT_EQ(std::string::npos, Set(status, "i", "6").find("Error")); // modifyReq
        EXPECT_EQ("2", GetWhen(status, "2"));                              // modifying
        EXPECT_EQ(std::string::npos,
                  Set(MESSAGE + "3.3." + std::to_string(n), "s", text).find("Error"));
        EXPECT_EQ(std::string::npos, Set(status, "i", "7").find("Error")); // validateReq
        EXPECT_EQ("4", GetWhen(status, "4"));                              // valid
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
    StoreValid(1, "HELLO");
    EXPECT_EQ("60664", Get(MESSAGE + "5.3.1"));

    std::string activated = Set(CONTROL + "3.0", "x", "FFFFFF030001ECF800000000");
    EXPECT_EQ(std::string::npos, activated.find("Error")) << activated;
    EXPECT_EQ("2", GetWhen(CONTROL + "17.0", "2"));
    EXPECT_EQ("03 00 01 EC F8", Get(CONTROL + "5.0"));
    EXPECT_EQ("8", Get(CONTROL + "7.0"));
}

// Action 1 names changeable message 5, day plan 1's first event at 00:00
// names action 1, schedule entry 1 takes day plan 1 on every day of the
// year; activating the schedule message starts the scheduler, which shows
// the action's message within two seconds.
TEST_F(MessageActivation, TheScheduleShowsTheMessageOfTheActionInEffect) {
    StoreValid(5, "HELLO");
    EXPECT_EQ("60664", Get(MESSAGE + "5.3.5"));
    EXPECT_EQ(std::string::npos, Set(ACTION + "2.1", "x", "030005ECF8").find("Error"));
    const std::string plan =
        Tool("snmpset", TIMEBASE + "5.1.3.1.1 i 0 " + TIMEBASE + "5.1.4.1.1 i 0 " + TIMEBASE +
                            "5.1.5.1.1 o " + ACTION + "1.1");
    EXPECT_EQ(std::string::npos, plan.find("Error")) << plan;
    const std::string entry =
        Tool("snmpset", TIMEBASE + "2.1.2.1 i 8190 " + TIMEBASE + "2.1.3.1 i 254 " + TIMEBASE +
                            "2.1.4.1 i 4294967294 " + TIMEBASE + "2.1.5.1 i 1");
    EXPECT_EQ(std::string::npos, entry.find("Error")) << entry;

    const long activated_at = std::strtol(Get(UP_TIME).c_str(), nullptr, 10);
    const std::string activated = Set(CONTROL + "3.0", "x", "FFFFFF060001000000000000");
    EXPECT_EQ(std::string::npos, activated.find("Error")) << activated;
    // Read together with the sign's up-time until shown, for at most two
    // seconds of the sign's time (plus the second the up-time rounds off).
    std::vector<std::string> shown;
    long elapsed = 0;
    do {
        shown = Values(UP_TIME + " " + CONTROL + "5.0 " + CONTROL + "7.0 " + TIMEBASE + "7.0");
        if (shown.size() != 4) break;
        elapsed = std::strtol(shown[0].c_str(), nullptr, 10) - activated_at;
    } while (shown[1] != "03 00 05 EC F8" && elapsed <= 3 && sign_.Wait(0.02) == -1);
    ASSERT_EQ(4u, shown.size()) << ::testing::PrintToString(shown);
    EXPECT_EQ("03 00 05 EC F8", shown[1]) << "dmsMsgTableSource";
    EXPECT_EQ("9", shown[2]) << "dmsMsgSourceMode";
    EXPECT_EQ("1", shown[3]) << "timeBaseScheduleTableStatus";
    EXPECT_LE(elapsed, 3) << "seconds after the activation";
}

} // namespace
