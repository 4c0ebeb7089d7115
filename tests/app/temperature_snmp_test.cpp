// A temperature sensor end to end: the running program with a simulated CAN
// board, the sensor stored in the peripheral list by a central system over
// SNMP, its reading and its silence read back over SNMP while a technician
// changes the board through state/field.ctl.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

using test_support::RunningSign;

const std::string LIST = "1.3.6.1.4.1.1206.3.11.2.15";
const std::string LIST_STATE = LIST + ".1.0";
const std::string LIST_ID = LIST + ".3.1.2.";
const std::string LIST_PARAMETERS = LIST + ".3.1.3.";
const std::string LIST_STATUS = LIST + ".3.1.4."; // halvPeripheralStatus
const std::string ERRORS = "1.3.6.1.4.1.1206.4.2.3.9.7";
const std::string SHORT_ERROR_STATUS = ERRORS + ".1.0";
const std::string TEMP_DESCRIPTION = ERRORS + ".36.1.2";
const std::string TEMP_READING = ERRORS + ".36.1.3."; // dmsTempSensorCurrentReading
const unsigned PERIPHERAL_COMM_ERROR = 0x0008;

class TemperatureSnmp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        if (test_support::run_command("command -v socat").find("socat") == std::string::npos)
            GTEST_SKIP() << "socat is not installed (Debian package socat)";
        char tmpl[] = "/tmp/temperature_snmp_test_XXXXXX";
        dir_ = mkdtemp(tmpl);
        std::ofstream(dir_ + "/field.txt") << "can temperature sign1 42105 temp=30\n";
        ASSERT_TRUE(sign_.Start(SPEED, {"--field", dir_ + "/field.txt"}));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    void TearDown() override {
        sign_.Stop();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    // One command on the field's control socket: its reply.
    std::string Field(const std::string& command) {
        const std::string mark = "sign-controller: field control ";
        std::string out = sign_.Process().Output();
        size_t at = out.find(mark);
        if (at == std::string::npos) return "no control socket";
        at += mark.size();
        std::string path = out.substr(at, out.find(',', at) - at);
        return test_support::run_command("printf '" + command +
                                         "\\n' | socat -t 30 - UNIX-CONNECT:" + path);
    }
    // The NTCIP index of the temperature table row described by `name`, "" none.
    std::string TableIndexOf(const std::string& name, double seconds) {
        for (double waited = 0; waited < seconds; waited += 0.2) {
            for (const auto& line : sign_.Walk(TEMP_DESCRIPTION))
                if (line.text.find(name) != std::string::npos && !line.oid.empty())
                    return std::to_string(line.oid.back());
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return "";
    }
    static constexpr int SPEED = 100;
    std::string dir_;
    RunningSign sign_;
};

TEST_F(TemperatureSnmp, AStoredSensorReadsItsBoardAndReportsItsSilence) {
    sign_.Set(LIST_STATE, "i", "1");
    EXPECT_NE(std::string::npos, sign_.Set(LIST_ID + "1", "i", "13").find("INTEGER: 13"));
    EXPECT_NE(std::string::npos, sign_.Set(LIST_PARAMETERS + "1", "s", "42105,2").find("42105,2"));
    sign_.Set(LIST_STATE, "i", "2");

    const std::string row = TableIndexOf("TEMPSIGN1", 10);
    ASSERT_FALSE(row.empty()) << sign_.Process().Output();
    EXPECT_EQ("30", sign_.GetWhen(TEMP_READING + row, "30", 10));

    EXPECT_NE(std::string::npos, Field("set sign1 temp=45").find("ok"));
    // A poll is 5 s of the sign's time: 0.05 s here; the host gets some slack.
    EXPECT_EQ("45", sign_.GetWhen(TEMP_READING + row, "45", 3));

    EXPECT_NE(std::string::npos, Field("set sign1 silent=1").find("ok"));
    // 400 s of silence: 4 s here.
    EXPECT_EQ("2", sign_.GetWhen(LIST_STATUS + "1", "2", 20)) << sign_.Process().Output();
    EXPECT_TRUE(std::stoul(sign_.Get(SHORT_ERROR_STATUS)) & PERIPHERAL_COMM_ERROR);
    EXPECT_EQ("0", sign_.Get(TEMP_READING + row));
}

} // namespace
