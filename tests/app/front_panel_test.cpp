// The front panel end to end: the running program, a scripted panel on its
// panel line (state/uart1), a viewer on the web-LCD mirror, a central system
// reading the control mode and receiving traps. The panel probes until it
// answers, its reports switch local and central control with traps 14 and
// 13, and the mirror carries the panel's bytes but takes only keys.
#include "tests/support/running_sign.h"
#include "tests/support/trap_receiver.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using test_support::HostProcess;
using test_support::RunningSign;
using test_support::TrapReceiver;

const std::string CONTROL_MODE = "1.3.6.1.4.1.1206.4.2.3.6.1.0"; // dmsControlMode
const int MIRROR_PORT = 15002;

// What the sign sent during each step of the scripted panel: source -> hex.
typedef std::vector<std::map<std::string, std::string>> Steps;

class FrontPanelLink : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::string why : {RunningSign::WhyNot(), TrapReceiver::WhyNot()})
            if (!why.empty()) GTEST_SKIP() << why;
        for (const char* tool : {"python3", "socat"})
            if (test_support::run_command(std::string("command -v ") + tool).find(tool) ==
                std::string::npos)
                GTEST_SKIP() << tool << " is not installed";
        const uint16_t port = TrapReceiver::FreePort();
        ASSERT_TRUE(sign_.Put("CONFIG.XML", TrapReceiver::SignSettings(port)));
        ASSERT_TRUE(trapd_.Start(port, sign_.StateDir() + "/../trapd")) << trapd_.Output();
        ASSERT_TRUE(sign_.Start(SPEED));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    void TearDown() override { trapd_.Stop(); }

    // Runs the scripted panel through `steps` (with the mirror's viewer when
    // `mirror` is set).
    Steps Panel(const std::vector<std::string>& steps, bool mirror = false) {
        std::string command = "python3 " TEST_SOURCE_DIR "/app/scripts/scripted_panel.py " +
                              sign_.StateDir() + "/uart1 " +
                              std::to_string(mirror ? MIRROR_PORT + sign_.PortOffset() : 0);
        for (const std::string& step : steps)
            command += " " + step;
        Steps out(steps.size());
        std::istringstream lines(test_support::run_command(command));
        size_t number;
        std::string source, hex;
        while (lines >> number >> source) {
            std::getline(lines, hex);
            if (number < out.size()) out[number][source] = hex.empty() ? "" : hex.substr(1);
        }
        return out;
    }
    // How often `bytes` (hex) occurs at a byte boundary of `hex`.
    static int Count(const std::string& hex, const std::string& bytes) {
        int n = 0;
        for (size_t at = hex.find(bytes); at != std::string::npos; at = hex.find(bytes, at + 1))
            n += at % 2 == 0;
        return n;
    }

    static constexpr int SPEED = 20;
    RunningSign sign_;
    TrapReceiver trapd_;
};

TEST_F(FrontPanelLink, AScriptedPanelIsProbedBroughtUpAndSwitchesControl) {
    // Re-initialised: after 20 polls the sign probes again, with a keep-alive
    // on every poll, four times at most; again, and the panel answers the
    // first probe: it is brought up. Then it asks for local control.
    Steps s = Panel({"port:ffb0", "until:fe36:5", "wait:0.06", "wait:0.5", "port:ffb0",
                     "until:fe36:5", "port:ffa7", "wait:0.5", "port:ffb3", "wait:0.5"});
    const std::string probing = s[1]["port"] + s[2]["port"];
    EXPECT_GE(Count(probing, "fe36"), 2);
    EXPECT_LE(Count(probing, "fe36"), 4);
    EXPECT_GE(Count(probing, "fe40"), Count(probing, "fe36"));
    const std::string& up = s[7]["port"];
    EXPECT_LE(Count(up, "fe36"), 1);
    EXPECT_GE(Count(up, "fe37"), 1);
    EXPECT_GE(Count(up, "fe39"), 1);
    EXPECT_EQ(1, Count(up, "fe57")) << "central control: the lamp off";
    EXPECT_EQ(1, Count(s[9]["port"], "fe56")) << "local control: the lamp on";
    EXPECT_EQ("2", sign_.GetWhen(CONTROL_MODE, "2"));
    EXPECT_TRUE(trapd_.Logged("Enterprise Specific Trap (14)", 1)) << trapd_.Output();

    // Central, then the mode toggle twice.
    s = Panel({"port:ffb4", "wait:0.5", "port:ffb9", "wait:0.5", "port:ffb9", "wait:0.5"});
    EXPECT_GE(Count(s[1]["port"], "fe57"), 1);
    EXPECT_EQ(1, Count(s[3]["port"], "fe56"));
    EXPECT_GE(Count(s[5]["port"], "fe57"), 1);
    EXPECT_EQ("4", sign_.GetWhen(CONTROL_MODE, "4"));
    EXPECT_TRUE(trapd_.Logged("Enterprise Specific Trap (14)", 2)) << trapd_.Output();
    EXPECT_TRUE(trapd_.Logged("Enterprise Specific Trap (13)", 2)) << trapd_.Output();
}

TEST_F(FrontPanelLink, TheMirrorCarriesThePanelsBytesAndTakesOnlyKeys) {
    // A viewer that only watches, as socat does.
    const std::string watched = sign_.StateDir() + "/../mirror.bin";
    HostProcess viewer;
    ASSERT_TRUE(viewer.Start(
        {"/bin/sh", "-c",
         "exec socat -u TCP:127.0.0.1:" + std::to_string(MIRROR_PORT + sign_.PortOffset()) +
             " - > " + watched},
        watched + ".log"));
    // A key on the panel: the backlight and the key indicator's icons.
    Steps s = Panel({"wait:0.3", "port:05", "wait:0.5"});
    test_support::run_command("sleep 0.3");
    viewer.Kill();
    const std::string port = s[2]["port"];
    const size_t key = port.find("fe420a");
    ASSERT_NE(std::string::npos, key) << port;
    ASSERT_GE(port.size(), key + 80);
    const std::string mirror =
        test_support::run_command("od -An -v -tx1 " + watched + " | tr -d ' \\n'");
    EXPECT_NE(std::string::npos, mirror.find(port.substr(key, 80)))
        << "the line's bytes are on the mirror";

    // Keys from the viewer act; reports from it change nothing.
    s = Panel({"mirror:05", "wait:1.5", "mirror:ffb3", "wait:0.5", "mirror:ffb5", "wait:1"}, true);
    EXPECT_NE(std::string::npos, s[1]["port"].find("fe420a")) << "a key lights the backlight";
    EXPECT_EQ("4", sign_.Get(CONTROL_MODE));
    EXPECT_EQ(0u, trapd_.Count("Enterprise Specific Trap (14)"));
    EXPECT_TRUE(sign_.Process().Running());
    const std::string output = sign_.Process().Output();
    const std::string started = "sign-controller: state directory";
    EXPECT_EQ(output.find(started), output.rfind(started)) << "no restart";
}

} // namespace
