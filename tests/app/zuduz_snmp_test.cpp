// A central system asks the running sign for a fan run through the zuduz
// objects with net-snmp's tools: the intake fan (510) on a simulated DC I/O
// board is stored in the peripheral list over SNMP; a SET of 1 switches its
// output on the board, a GET reads the fans' state, and 180 simulated
// seconds later the request has ended and the fans are off again.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using test_support::RunningSign;

const std::string ZUDUZ = "1.3.6.1.4.1.1206.3.35";
const std::string FAN_REQUEST = ZUDUZ + ".1.0";
const std::string CLIMATE_FAILURES = ZUDUZ + ".2.0";
const std::string FAN_REQUEST2 = ZUDUZ + ".3.0";
const std::string POWER_STATUS = ZUDUZ + ".4.0";
const std::string LIST = "1.3.6.1.4.1.1206.3.11.2.15";
const std::string LIST_STATE = LIST + ".1.0";
const std::string LIST_ID = LIST + ".3.1.2.";
const std::string LIST_PARAMETERS = LIST + ".3.1.3.";
const std::string LIST_STATUS = LIST + ".3.1.4.";

class ZuduzSnmp : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string why = RunningSign::WhyNot();
        if (!why.empty()) GTEST_SKIP() << why;
        if (test_support::run_command("command -v socat").find("socat") == std::string::npos)
            GTEST_SKIP() << "socat is not installed (Debian package socat)";
        char dir[] = "/tmp/zuduz_snmp_test_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(dir));
        dir_ = dir;
        std::ofstream(dir_ + "/field.txt") << "can dcio io1 42230\n";
        ASSERT_TRUE(sign_.Start(SPEED, {"--field", dir_ + "/field.txt"}));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    void TearDown() override {
        sign_.Stop();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    // The outputs the sign drives on the board once they read `expected`,
    // or as they last read after `seconds` of host time.
    std::string OutputsWhen(const std::string& expected, double seconds) {
        std::string outputs;
        for (double waited = 0; waited < seconds; waited += 0.1) {
            const std::string line = sign_.Field("get io1");
            const size_t at = line.find("outputs=");
            outputs =
                at == std::string::npos ? "?" : line.substr(at + 8, line.find(' ', at) - at - 8);
            if (outputs == expected) break;
            sign_.Process().Wait(0.1);
        }
        return outputs;
    }

    // The value of the object after `oid`.
    std::string Next(const std::string& oid) const {
        std::string value = sign_.Tool("snmpgetnext", oid, "-Oqv");
        while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
            value.pop_back();
        return value;
    }

    static constexpr int SPEED = 20;
    std::string dir_;
    RunningSign sign_;
};

TEST_F(ZuduzSnmp, ARequestRunsTheFansFor180Seconds) {
    EXPECT_EQ("2", sign_.Get(FAN_REQUEST));
    EXPECT_EQ("2", sign_.Get(FAN_REQUEST2));
    for (const std::string& read_only : {CLIMATE_FAILURES, POWER_STATUS}) {
        const std::string refused = sign_.Set(read_only, "x", "00");
        EXPECT_NE(std::string::npos, refused.find("noSuchName")) << refused;
    }
    for (const char* value : {"0", "3"}) {
        const std::string refused = sign_.Set(FAN_REQUEST, "i", value);
        EXPECT_NE(std::string::npos, refused.find("badValue")) << refused;
    }

    // The second request is stored (GETNEXT) while its fan state, which
    // nothing switches, reads 2 (GET); the reload of the edited peripheral
    // list withdraws it.
    std::string set = sign_.Set(FAN_REQUEST2, "i", "1");
    EXPECT_NE(std::string::npos, set.find("INTEGER: 1")) << set;
    EXPECT_EQ("2", sign_.Get(FAN_REQUEST2));
    EXPECT_EQ("1", Next(CLIMATE_FAILURES));
    sign_.Set(LIST_STATE, "i", "1");
    sign_.Set(LIST_ID + "1", "i", "50");
    sign_.Set(LIST_PARAMETERS + "1", "s", "42230,FF,F0,F0,F0,1");
    sign_.Set(LIST_ID + "2", "i", "510");
    sign_.Set(LIST_PARAMETERS + "2", "s", "18,32");
    sign_.Set(LIST_STATE, "i", "2");
    ASSERT_EQ("0", sign_.GetWhen(LIST_STATUS + "2", "0", 10)) << sign_.Process().Output();
    EXPECT_EQ("2", Next(CLIMATE_FAILURES));

    set = sign_.Set(FAN_REQUEST, "i", "1");
    EXPECT_NE(std::string::npos, set.find("INTEGER: 1")) << set;
    EXPECT_EQ("24", OutputsWhen("24", 10)) << sign_.Process().Output();
    EXPECT_EQ("1", sign_.GetWhen(FAN_REQUEST, "1", 5));

    // 180 simulated seconds are 9 s of host time at speed 20.
    EXPECT_EQ("2", sign_.GetWhen(FAN_REQUEST, "2", 20));
    EXPECT_EQ("none", OutputsWhen("none", 5));
}

} // namespace
