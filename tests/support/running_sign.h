// RunningSign: sign-controller started as a host process over a fresh state
// directory, every port moved by this test process's free port offset, and a
// central system's view of it through net-snmp's command-line tools (SNMPv1,
// the factory privileged community, UDP 161 plus the offset). Tests that drive
// the real program wait on the wall clock, bounded by the limits given here.
#pragma once

#include "tests/support/host_process.h"

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

// One "OID = TYPE: value" line of a tool's numeric output (-On); a value
// over several lines is joined to its line.
struct ToolLine {
    std::vector<uint32_t> oid;
    std::string text; // the whole line
};
std::vector<ToolLine> tool_lines(const std::string& output);
// "1.3.6.1" or ".1.3.6.1" -> its sub-identifiers.
std::vector<uint32_t> parse_oid(const std::string& dotted);
std::string dotted_oid(const std::vector<uint32_t>& oid);
// Empty when every name of the walk lies after the one before it, else the
// first two lines out of order.
std::string out_of_order(const std::vector<ToolLine>& walk);

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
    std::string Tool(const std::string& tool, const std::string& args,
                     const std::string& options = "") const;
    // The value alone of one object (-Oqv), without quotes or line end.
    std::string Get(const std::string& oid) const;
    // The values of one GET of `oids`, in order, each as Get gives it.
    std::vector<std::string> Values(const std::string& oids,
                                    const std::string& options = "-Oqv") const;
    // The lines of an snmpwalk of `oid` with numeric names.
    std::vector<ToolLine> Walk(const std::string& oid) const;
    std::string Set(const std::string& oid, const std::string& type,
                    const std::string& value) const;
    // The value of `oid` once it reads `expected`, or its last reading after
    // `seconds` of host time.
    std::string GetWhen(const std::string& oid, const std::string& expected, double seconds = 2);

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

} // namespace test_support
