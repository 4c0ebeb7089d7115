// A stock telnet client against the sign-controller program on loopback: the
// maintenance console as a technician meets it. The console bit of the
// feature object comes from a "CONFIG.XML" put into the flash beforehand.
#include <gtest/gtest.h>

#include "tests/support/host_process.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const TELNET = "/usr/bin/telnet";
const char* const COMMUNITY = "stewardcastle";

class TelnetClient : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(test_support::BesideTests("sign-controller")) ||
            !fs::exists(test_support::BesideTests("flashtool")))
            GTEST_SKIP() << "sign-controller or flashtool is not built";
        if (!fs::exists(TELNET)) GTEST_SKIP() << "the telnet client is not installed";
        char pattern[] = "/tmp/telnet_console_XXXXXX";
        dir_ = mkdtemp(pattern);
        port_offset_ = test_support::FreePortOffset();
    }
    void TearDown() override {
        telnet_.Kill();
        controller_.Kill();
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    // Wait until `text` appears in the telnet output after what was matched before.
    bool Sees(const std::string& text, std::chrono::seconds limit = 10s) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            std::string out = telnet_.Output();
            size_t at = out.find(text, mark_);
            if (at != std::string::npos) {
                mark_ = at + text.size();
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::string Transcript() const { return telnet_.Output(); }
    // Typed as a person types a password: each character waits for its "*"
    // echo, then Enter.
    bool TypePassword(const std::string& password) {
        for (char c : password) {
            telnet_.Type(std::string(1, c));
            if (!Sees("*")) return false;
        }
        telnet_.Type("\r");
        return true;
    }

    std::string dir_;
    int port_offset_ = 0;
    size_t mark_ = 0;
    test_support::HostProcess controller_, telnet_;
};

TEST_F(TelnetClient, TechnicianLogsInAndRunsCommands) {
    std::string state = dir_ + "/state";
    std::string config = dir_ + "/CONFIG.XML";
    std::ofstream(config) << "<!-- CONFIG.XML J6 V2.0 -->\nhalvFeatureSet[0000]:XXXX,1C\n";
    fs::create_directories(state);
    ASSERT_EQ(0, test_support::RunProcess({test_support::BesideTests("flashtool"),
                                           state + "/flash.img", "put", config, "CONFIG.XML"},
                                          dir_ + "/flashtool.txt")
                     .status);

    controller_.Start({test_support::BesideTests("sign-controller"), "--state", state, "--speed",
                       "4", "--port-offset", std::to_string(port_offset_)},
                      dir_ + "/controller.txt");
    std::string port = std::to_string(port_offset_ + 23);
    // The console starts with the communication task, a few seconds after boot.
    bool connected = false;
    for (int attempt = 0; attempt < 60 && !connected; attempt++) {
        telnet_.Kill();
        mark_ = 0;
        telnet_.Start({TELNET, "127.0.0.1", port}, dir_ + "/telnet.txt");
        connected = Sees("Password: ", 1s);
        ASSERT_TRUE(controller_.Running()) << controller_.Output();
    }
    ASSERT_TRUE(connected) << Transcript() << controller_.Output();

    EXPECT_TRUE(TypePassword("wrong")) << Transcript();
    EXPECT_TRUE(Sees("FAILURE")) << Transcript();
    EXPECT_TRUE(Sees("Password: ")) << Transcript();
    ASSERT_TRUE(TypePassword(COMMUNITY)) << Transcript();
    ASSERT_TRUE(Sees("SUCCESS")) << Transcript();
    EXPECT_TRUE(Sees("VMS>")) << Transcript();
    telnet_.Type("help\r");
    EXPECT_TRUE(Sees("vms")) << Transcript();
    EXPECT_TRUE(Sees("VMS>")) << Transcript();
    telnet_.Type("tfs ls\r");
    EXPECT_TRUE(Sees("CONFIG.XML")) << Transcript();
    EXPECT_TRUE(Sees("VMS>")) << Transcript();
    telnet_.Type("vms -s\r");
    EXPECT_TRUE(Sees("-Uptime(y/d/h/m/s) = ")) << Transcript();
    EXPECT_TRUE(Sees("VMS>")) << Transcript();
    telnet_.Type("vms -t 1\r");
    EXPECT_TRUE(Sees("new level:1")) << Transcript();
}

} // namespace
