#include "tests/support/trap_receiver.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

namespace test_support {

std::string TrapReceiver::WhyNot() {
    if (run_command("command -v snmptrapd").find("snmptrapd") == std::string::npos)
        return "snmptrapd is not installed";
    return "";
}

std::string TrapReceiver::SignSettings(uint16_t port) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "<!-- CONFIG.XML J6 V2.0 -->\n"
                  "halvRemoteIPAddress[0000]:XXXX,7F000001\n"
                  "halvRemoteIPPort[0000]:XXXX,%X\n"
                  "halvCommConfigTraps[0][0004]:XXXX,3\n"
                  "halvTrapsGeneric[0000]:XXXX,43\n"
                  "halvTrapsEnterpriseSpecific[0000]:0004,\xFF\xFF\xFF\xFF\n",
                  unsigned(port));
    return text;
}

uint16_t TrapReceiver::FreePort() {
    return uint16_t(1062 + FreePortOffset());
}

bool TrapReceiver::Start(uint16_t port, const std::string& dir) {
    run_command("mkdir -p " + dir);
    std::ofstream(dir + "/snmptrapd.conf")
        << "disableAuthorization yes\n[snmp] persistentDir " << dir << "\n";
    if (!trapd_.Start({"/usr/sbin/snmptrapd", "-f", "-Lo", "-C", "-m", "", "-On", "-c",
                       dir + "/snmptrapd.conf", "udp:127.0.0.1:" + std::to_string(port)},
                      dir + "/out"))
        return false;
    return Logged("NET-SNMP version", 1);
}

bool TrapReceiver::Logged(const std::string& text, size_t count) {
    for (int i = 0; i < 1500; i++) {
        if (Count(text) >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

size_t TrapReceiver::Count(const std::string& text) const {
    const std::string out = trapd_.Output();
    size_t n = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
        n++;
    return n;
}

} // namespace test_support
