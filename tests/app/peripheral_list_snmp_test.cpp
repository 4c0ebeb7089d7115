// A central system edits the sign's stored peripheral list over SNMP with
// net-snmp's tools: the list opened for editing, two rows written, the edit
// closed, and the sign reloads it: an id no class builds is marked as a load
// failure, an id already live is skipped, and the rows outlive a restart.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using test_support::RunningSign;

const std::string LIST = "1.3.6.1.4.1.1206.3.11.2.15";
const std::string STATE = LIST + ".1.0";
const std::string ID = LIST + ".3.1.2.";
const std::string STATUS = LIST + ".3.1.4.";

// True once the program's console shows `text`, within `seconds` of host time.
bool Shows(RunningSign& sign, const std::string& text, double seconds = 10) {
    for (double waited = 0; waited < seconds; waited += 0.1) {
        if (sign.Process().Output().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

class PeripheralListSnmp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(sign_.Start(SPEED, {"--console-log"}));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    static constexpr int SPEED = 20;
    RunningSign sign_;
};

TEST_F(PeripheralListSnmp, AnEditedListIsReloadedWithItsFailuresAndOutlivesARestart) {
    EXPECT_EQ("2", sign_.Get(STATE));
    // Rows are writable only while the list is being edited.
    EXPECT_NE(std::string::npos, sign_.Set(ID + "2", "i", "16").find("noSuchName"));

    sign_.Set(STATE, "i", "1");
    EXPECT_NE(std::string::npos, sign_.Set(ID + "2", "i", "16").find("INTEGER: 16"));
    EXPECT_NE(std::string::npos, sign_.Set(ID + "3", "i", "303").find("INTEGER: 303"));
    sign_.Set(STATE, "i", "2");

    EXPECT_EQ("1", sign_.GetWhen(STATUS + "2", "1", 10)) << sign_.Process().Output();
    EXPECT_TRUE(Shows(sign_, "load failure on")) << sign_.Process().Output();
    EXPECT_TRUE(Shows(sign_, "skip duplicate SCRIPT FILE")) << sign_.Process().Output();
    EXPECT_EQ("0", sign_.Get(STATUS + "3"));

    ASSERT_TRUE(sign_.Restart(SPEED, {"--console-log"}));
    ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    EXPECT_EQ("16", sign_.Get(ID + "2"));
    EXPECT_EQ("303", sign_.Get(ID + "3"));
    EXPECT_EQ("1", sign_.GetWhen(STATUS + "2", "1", 10)) << sign_.Process().Output();
    EXPECT_TRUE(Shows(sign_, "skip duplicate SCRIPT FILE")) << sign_.Process().Output();
}

} // namespace
