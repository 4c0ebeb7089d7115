// RunningSign: sign-controller started as a host process over a fresh state
// directory, every port moved by this test process's free port offset, and a
// central system's view of it through net-snmp's command-line tools (SNMPv1,
// the factory privileged community, UDP 161 plus the offset). Tests that drive
// the real program wait on the wall clock, bounded by the limits given here.
#pragma once

#include "tests/support/host_process.h"
#include "tests/support/snmp_tool_output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

class RunningSign {
  public:
    RunningSign() = default;
    RunningSign(const RunningSign&) = delete;
    RunningSign& operator=(const RunningSign&) = delete;
    ~RunningSign() { Stop(); }

    // Why such a test cannot run here (the program not built, net-snmp's
    // tools missing); empty when it can.
    static std::string WhyNot();

    // Puts a file named `name` holding `bytes` into the sign's flash before
    // the first start (a new state directory), as flashtool does.
    bool Put(const std::string& name, const std::string& bytes);
    // Starts the program at `speed` simulated seconds per host second, with
    // `extra` options after the state directory, speed and port offset.
    bool Start(int speed, const std::vector<std::string>& extra = {});
    // True once the agent answers a GET (the servers open at the
    // communication task's first step); false when the program ended or
    // `seconds` of host time passed first.
    bool Answering(double seconds = 20);
    // Ends the program (SIGINT, then a kill) and removes the state directory.
    void Stop();
    // Ends the program as Stop does but keeps its state directory, and starts
    // it again over it on the same ports (a restart of the sign).
    bool Restart(int speed, const std::vector<std::string>& extra = {});

    // One net-snmp tool ("snmpget", "snmpset", ...) with `options` before the
    // sign's address and `args` after it: its standard output and error.
    // Over UDP, or over TCP ("tcp"), which carries the responses too large
    // for one datagram.
    std::string Tool(const std::string& tool, const std::string& args,
                     const std::string& options = "", const std::string& transport = "udp") const;
    // The value alone of one object (-Oqv), without quotes or line end.
    std::string Get(const std::string& oid) const;
    // The values of one GET of `oids`, in order, each as Get gives it.
    std::vector<std::string> Values(const std::string& oids,
                                    const std::string& options = "-Oqv") const;
    // The lines of an snmpwalk of `oid` with numeric names.
    std::vector<SnmpLine> Walk(const std::string& oid) const;
    std::string Set(const std::string& oid, const std::string& type,
                    const std::string& value) const;
    // The value of `oid` once it reads `expected`, or its last reading after
    // `seconds` of host time.
    std::string GetWhen(const std::string& oid, const std::string& expected, double seconds = 2);

    // One command on the field's control socket (state/field.ctl, through
    // socat): its reply; "no control socket" when the program named none.
    std::string Field(const std::string& command);
    std::string StateDir() const { return dir_ + "/state"; }
    int PortOffset() const { return offset_; }
    uint16_t SnmpPort() const { return uint16_t(161 + offset_); }
    HostProcess& Process() { return process_; }

  private:
    bool MakeStateDir();
    bool Launch(int speed, const std::vector<std::string>& extra);
    void EndProgram();

    std::string dir_;
    int offset_ = 0;
    HostProcess process_;
};

// A test of the running sign: started at SPEED and answering before each
// test, skipped with the reason where it cannot run here.
class RunningSignTest : public ::testing::Test {
  protected:
    static constexpr int SPEED = 20;
    void SetUp() override;
    RunningSign sign_;
};

} // namespace test_support
