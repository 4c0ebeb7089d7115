// sign-controller --cell-modem HOST:PORT: a new sign with the cellular-modem
// feature bit (from its CONFIG.XML) reads the signal strength of the scripted
// modem (tests/comm/scripts/cell_modem.py) a minute after its network start,
// through the connection the option sends to the script.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using test_support::HostProcess;
using test_support::RunningSign;

TEST(CellModemOption, TheSignReadsTheScriptedModemsSignal) {
    if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
    RunningSign sign;
    HostProcess modem;
    ASSERT_TRUE(sign.Put("CONFIG.XML", "<!-- CONFIG.XML J6 V2.0 -->\n"
                                       "halvFeatureSet[0000]:XXXX,34\n"));
    std::string script = std::string(TEST_SOURCE_DIR) + "/comm/scripts/cell_modem.py";
    ASSERT_TRUE(modem.Start({"/usr/bin/python3", script}, sign.StateDir() + "/../modem.log"));
    for (int i = 0; i < 500 && modem.Output().find("port ") == std::string::npos; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string out = modem.Output();
    ASSERT_NE(std::string::npos, out.find("port ")) << out;
    std::string port = out.substr(out.find("port ") + 5);
    port = port.substr(0, port.find('\n'));
    modem.Type("set rssi -87\n");
    ASSERT_TRUE(sign.Start(5, {"--cell-modem", "127.0.0.1:" + port}));
    ASSERT_TRUE(sign.Answering()) << sign.Process().Output();
    // The first reading comes 60 s of sign time after the network start.
    bool read = false;
    for (int i = 0; i < 400 && !read; i++) {
        read = modem.Output().find("RX AT*NETRSSI?\\r") != std::string::npos;
        if (!read) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(read) << modem.Output() << sign.Process().Output();
    EXPECT_NE(std::string::npos, modem.Output().find("RX 40718\\r")) << "the password first";
    modem.Type("quit\n");
    modem.Wait(2);
}

} // namespace
