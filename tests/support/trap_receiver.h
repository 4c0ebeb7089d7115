// TrapReceiver: a central system's trap receiver for tests of the running
// sign, net-snmp's snmptrapd (authorization off, numeric names, its log on
// standard output) on a loopback UDP port, and the CONFIG.XML lines that aim
// the sign's traps at it.
#pragma once

#include "tests/support/host_process.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace test_support {

class TrapReceiver {
  public:
    // Why it cannot run here (snmptrapd missing); empty when it can.
    static std::string WhyNot();
    // CONFIG.XML lines: the central host 127.0.0.1 at `port`, UDP traps on
    // the Ethernet port, generic traps coldStart, warmStart and
    // enterprise-specific, every enterprise-specific trap.
    static std::string SignSettings(uint16_t port);
    // A free port for it (1062 plus this process's port offset).
    static uint16_t FreePort();

    // Starts snmptrapd on `port` with its files in `dir`. -> true once it
    // logged its start.
    bool Start(uint16_t port, const std::string& dir);
    void Stop() { trapd_.Kill(); }
    // True once the log holds `text` `count` times (at most 30 host seconds).
    bool Logged(const std::string& text, size_t count);
    size_t Count(const std::string& text) const;
    std::string Output() const { return trapd_.Output(); }

  private:
    HostProcess trapd_;
};

} // namespace test_support
