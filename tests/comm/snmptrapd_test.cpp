// net-snmp's trap receiver (snmptrapd, authorization off) as the central
// system: the restart trap of a start reaches it by UDP and by the TCP trap
// client, with the sign's enterprise, the community "meadow" and the time
// stamp in seconds (12: the communication task's first pass after the
// network start).
#include "comm/agents/trap_delivery.h"
#include "platform/kernel/host.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/support/host_process.h"

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace {

const uint32_t LOOPBACK = 0x7F000001;

bool snmptrapd_installed() {
    return agent_test::run_command("command -v snmptrapd").find("snmptrapd") != std::string::npos;
}

class Snmptrapd : public test_support::FirmwareFixture {
  protected:
    virtual const char* Transport() const = 0;
    void Configure(host::HostOptions& options) override {
        options.port_offset = test_support::FreePortOffset();
        port_ = uint16_t(options.port_offset + 1062);
        if (!snmptrapd_installed()) return;
        dir_ = "/tmp/snmptrapd-" + std::to_string(getpid());
        agent_test::run_command("mkdir -p " + dir_);
        std::ofstream(dir_ + "/snmptrapd.conf")
            << "disableAuthorization yes\n[snmp] persistentDir " << dir_ << "\n";
        trapd_.Start({"/usr/sbin/snmptrapd", "-f", "-Lo", "-C", "-m", "", "-On", "-c",
                      dir_ + "/snmptrapd.conf",
                      std::string(Transport()) + ":127.0.0.1:" + std::to_string(port_)},
                     dir_ + "/out");
        ready_ = Wait("NET-SNMP version", 10);
    }
    void TearDown() override {
        trapd_.Kill();
        test_support::FirmwareFixture::TearDown();
        if (!dir_.empty()) agent_test::run_command("rm -rf " + dir_);
    }
    // snmptrapd's output once it holds `text` (host time, at most `seconds`).
    bool Wait(const std::string& text, double seconds) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (trapd_.Output().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    // The firmware runs on, tick by tick with the clock held a moment each
    // tick (so that the connection keeps pace), until snmptrapd printed `text`.
    bool Running(const std::string& text, int ticks) {
        for (int i = 0; i < ticks; i++) {
            if (trapd_.Output().find(text) != std::string::npos) return true;
            host::host_activity_begin();
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            host::host_activity_end();
            tx_thread_sleep(1);
        }
        return false;
    }
    // The central host and the trap settings before the restart check runs.
    void CentralSystem(uint8_t ethernet_mode) {
        db_set(obj::halvRemoteIPAddress, LOOPBACK, 0);
        db_set(obj::halvRemoteIPPort, port_, 0);
        db_set(obj::halvCommConfigTraps.row(4), ethernet_mode, 0);
        db_set(obj::halvTrapsGeneric, 0x03, 0); // coldStart and warmStart
    }
    void ExpectTheColdStartTrap() {
        ASSERT_TRUE(ready_) << trapd_.Output();
        ASSERT_LT(tx_time_get(), 100u) << "the restart check ran before the settings";
        tx_thread_sleep(1200);
        EXPECT_TRUE(Running(".1.3.6.1.4.11 Cold Start Trap (0) Uptime: 0:00:00.12", 2000))
            << trapd_.Output();
        EXPECT_NE(std::string::npos, trapd_.Output().find("TRAP, SNMP v1, community meadow"));
    }

    uint16_t port_ = 0;
    std::string dir_;
    bool ready_ = false;
    test_support::HostProcess trapd_;
};

class SnmptrapdOnUdp : public Snmptrapd {
    const char* Transport() const override { return "udp"; }
};
class SnmptrapdOnTcp : public Snmptrapd {
    const char* Transport() const override { return "tcp"; }
};

TEST_F(SnmptrapdOnUdp, LogsTheColdStartTrapOfTheStart) {
    if (!snmptrapd_installed()) GTEST_SKIP() << "snmptrapd is not installed";
    CentralSystem(TRAP_MODE_UDP);
    ExpectTheColdStartTrap();
}

TEST_F(SnmptrapdOnTcp, LogsTheColdStartTrapOfTheStart) {
    if (!snmptrapd_installed()) GTEST_SKIP() << "snmptrapd is not installed";
    CentralSystem(TRAP_MODE_TCP);
    ExpectTheColdStartTrap();
}

} // namespace
