// A central system's messages, end to end: net-snmp's snmpset and snmpget
// (privileged community of the factory defaults) against a running
// sign-controller.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using test_support::RunningSign;

const std::string MESSAGE = "1.3.6.1.4.1.1206.4.2.3.5.8.1.";
const std::string CONTROL = "1.3.6.1.4.1.1206.4.2.3.6.";

class MessageActivation : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(sign_.Start(20));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    std::string Get(const std::string& oid) { return sign_.Get(oid); }
    std::string Set(const std::string& oid, const std::string& type, const std::string& value) {
        return sign_.Set(oid, type, value);
    }
    std::string GetWhen(const std::string& oid, const std::string& expected) {
        return sign_.GetWhen(oid, expected);
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
    EXPECT_EQ(std::string::npos, Set(MESSAGE + "9.3.1", "i", "6").find("Error")); // modifyReq
    EXPECT_EQ("2", GetWhen(MESSAGE + "9.3.1", "2"));                              // modifying
    EXPECT_EQ(std::string::npos, Set(MESSAGE + "3.3.1", "s", "HELLO").find("Error"));
    EXPECT_EQ(std::string::npos, Set(MESSAGE + "9.3.1", "i", "7").find("Error")); // validateReq
    EXPECT_EQ("4", GetWhen(MESSAGE + "9.3.1", "4"));                              // valid
    EXPECT_EQ("60664", Get(MESSAGE + "5.3.1"));

    std::string activated = Set(CONTROL + "3.0", "x", "FFFFFF030001ECF800000000");
    EXPECT_EQ(std::string::npos, activated.find("Error")) << activated;
    EXPECT_EQ("2", GetWhen(CONTROL + "17.0", "2"));
    EXPECT_EQ("03 00 01 EC F8", Get(CONTROL + "5.0"));
    EXPECT_EQ("8", Get(CONTROL + "7.0"));
}

} // namespace
