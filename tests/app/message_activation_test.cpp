// A central system's messages, end to end: net-snmp's snmpset and snmpget
// (privileged community of the factory defaults) against a running
// sign-controller: a message stored, validated and activated, and the
// time-base schedule started by activating the schedule message.
#include "tests/support/png_reader.h"
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using test_support::RunningSign;

const std::string MESSAGE = "1.3.6.1.4.1.1206.4.2.3.5.8.1.";
const std::string CONTROL = "1.3.6.1.4.1.1206.4.2.3.6.";
const std::string ACTION = "1.3.6.1.4.1.1206.4.2.3.8.2.1.";
const std::string TIMEBASE = "1.3.6.1.4.1.1206.4.2.6.3.3.";
const std::string UP_TIME = "1.3.6.1.2.1.1.3.0"; // whole seconds

class MessageActivation : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(sign_.Start(Speed()));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    // Simulated seconds per host second.
    virtual int Speed() const { return 20; }
    std::string Get(const std::string& oid) { return sign_.Get(oid); }
    std::string Set(const std::string& oid, const std::string& type, const std::string& value) {
        return sign_.Set(oid, type, value);
    }
    std::string GetWhen(const std::string& oid, const std::string& expected) {
        return sign_.GetWhen(oid, expected);
    }

    std::string Tool(const std::string& tool, const std::string& args) {
        return sign_.Tool(tool, args, "-Oqv");
    }
    std::vector<std::string> Values(const std::string& oids) { return sign_.Values(oids); }
    // Changeable message `n` holds `text` and is valid. -> its CRC.
    std::string StoreValid(int n, const std::string& text) {
        const std::string status = MESSAGE + "9.3." + std::to_string(n);
        EXPECT_EQ(std::string::npos, Set(status, "i", "6").find("Error")); // modifyReq
        EXPECT_EQ("2", GetWhen(status, "2"));                              // modifying
        EXPECT_EQ(std::string::npos,
                  Set(MESSAGE + "3.3." + std::to_string(n), "s", text).find("Error"));
        EXPECT_EQ(std::string::npos, Set(status, "i", "7").find("Error")); // validateReq
        EXPECT_EQ("4", GetWhen(status, "4"));                              // valid
        return Get(MESSAGE + "5.3." + std::to_string(n));
    }

    RunningSign sign_;
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
    EXPECT_EQ("60664", StoreValid(1, "HELLO"));

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
    EXPECT_EQ("60664", StoreValid(5, "HELLO"));
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
    } while (shown[1] != "03 00 05 EC F8" && elapsed <= 3 && sign_.Process().Wait(0.02) == -1);
    ASSERT_EQ(4u, shown.size()) << ::testing::PrintToString(shown);
    EXPECT_EQ("03 00 05 EC F8", shown[1]) << "dmsMsgTableSource";
    EXPECT_EQ("9", shown[2]) << "dmsMsgSourceMode";
    EXPECT_EQ("1", shown[3]) << "timeBaseScheduleTableStatus";
    EXPECT_LE(elapsed, 3) << "seconds after the activation";
}

// The sign's picture (sign.png) as a central system's message runs: its
// pages follow each other at the default page times (2 s on, no off time),
// and a blank darkens the sign. The program runs at four times real time, so
// that the picture writer (at most ten pictures a host second) shows every page.
class SignPages : public MessageActivation {
  protected:
    int Speed() const override { return 4; }
    std::string Picture() { return sign_.StateDir() + "/sign.png"; }
};

TEST_F(SignPages, PagesFollowEachOtherAndABlankDarkensTheSign) {
    unsigned crc = unsigned(std::stoul(StoreValid(2, "AAA[np]BBB")));
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
        sign_.Process().Wait(0.03);
    }
    ASSERT_EQ(3u, shown.size()) << sign_.Process().Output();
    EXPECT_NE(shown[0].rgb, shown[1].rgb) << "page 2";
    EXPECT_EQ(shown[0].rgb, shown[2].rgb) << "page 1 again";

    activated = Set(CONTROL + "3.0", "x", "FFFFFF070001000000000000");
    ASSERT_EQ(std::string::npos, activated.find("Error")) << activated;
    test_support::Picture now;
    for (int wait = 0; wait < 100 && !(test_support::ReadPng(Picture(), now) && now.Dark()); ++wait)
        sign_.Process().Wait(0.03);
    EXPECT_TRUE(now.Dark()) << "the blank darkens the sign";
}

} // namespace
