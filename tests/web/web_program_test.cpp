// sign-controller as a maintainer meets it with curl: a page template put
// into flash by flashtool, served on port 80 plus the offset behind Basic
// authentication, and a form post read back by snmpget.
#include "tests/support/host_process.h"
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using test_support::run_command;

const char* const TEMPLATE = "<html><body>mode=[$%1.3.6.1.4.1.1206.4.2.3.6.1.0,int#$] "
                             "location=[$%1.3.6.1.2.1.1.6.0,str#$]</body></html>\n";

class WebProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = test_support::RunningSign::WhyNot(); !why.empty())
            GTEST_SKIP() << why;
        if (run_command("command -v curl").empty()) GTEST_SKIP() << "curl is not installed";
        ASSERT_TRUE(sign_.Put("preindex.html", TEMPLATE));
        ASSERT_TRUE(sign_.Start(20));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    std::string Url() const {
        return "http://127.0.0.1:" + std::to_string(80 + sign_.PortOffset()) + "/";
    }
    std::string Curl(const std::string& options) const {
        return run_command("curl -s -i --max-time 10 " + options + " " + Url() + " 2>&1");
    }
    test_support::RunningSign sign_;
};

TEST_F(WebProgram, CurlLogsInReadsThePageAndPostsAField) {
    std::string none = Curl("");
    EXPECT_NE(std::string::npos, none.find("HTTP/1.0 401")) << none;
    EXPECT_NE(std::string::npos, none.find("realm=\"Halvenmark\""));
    EXPECT_NE(std::string::npos, Curl("-u 'admin:wrong'").find("HTTP/1.0 401"));

    std::string mode = sign_.Get("1.3.6.1.4.1.1206.4.2.3.6.1.0");
    std::string page = Curl("-u ':stewardcastle'");
    EXPECT_NE(std::string::npos, page.find("HTTP/1.0 200")) << page;
    EXPECT_NE(std::string::npos, page.find("mode=[" + mode + "]")) << page;

    std::string posted = Curl("-u ':stewardcastle' -F '$*1.3.6.1.2.1.1.6.0,str,nv#$=Mile 9'");
    EXPECT_NE(std::string::npos, posted.find("location=[Mile 9]")) << posted;
    EXPECT_EQ("Mile 9", sign_.Get("1.3.6.1.2.1.1.6.0"));
}

} // namespace
