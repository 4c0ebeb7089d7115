// A central system with net-snmp's tools loads a brightness table into the
// running sign and reads the font count: the answers it sees and what the
// sign keeps.
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"

#include <string>

using namespace agent_test;

namespace {

const std::string kDms = "1.3.6.1.4.1.1206.4.2.3";

class SignMediaNetSnmp : public NetworkedSign {
  protected:
    std::string Tool(const std::string& tool, const std::string& args) {
        return run_command(tool + " -v1 -c stewardcastle -t 3 -r 1 udp:127.0.0.1:" +
                           std::to_string(host_port(161)) + " " + args);
    }
};

TEST_F(SignMediaNetSnmp, BrightnessTableAndFontCount) {
    if (!netsnmp_tools_installed())
        GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
    const std::string table = kDms + ".7.7.0";
    std::string fonts, good, good_error, gap, gap_error;
    Serve([&] {
        fonts = Tool("snmpget", kDms + ".3.1.0");
        good = Tool("snmpset", table + " x \"02 000A 0000 0064 00C8 005A 012C\"");
        good_error = Tool("snmpget", kDms + ".7.8.0");
        gap = Tool("snmpset", table + " x \"02 000A 0000 0064 00C8 0066 012C\"");
        gap_error = Tool("snmpget", kDms + ".7.8.0");
    });
    EXPECT_NE(std::string::npos, fonts.find("3.1.0 = INTEGER: 20")) << fonts;
    EXPECT_NE(std::string::npos,
              good.find("7.7.0 = Hex-STRING: 02 00 0A 00 00 00 64 00 C8 00 5A 01 2C"))
        << good;
    EXPECT_NE(std::string::npos, good_error.find("7.8.0 = INTEGER: 2")) << good_error;
    EXPECT_NE(std::string::npos, gap.find("genError")) << gap;
    EXPECT_NE(std::string::npos, gap_error.find("7.8.0 = INTEGER: 3")) << gap_error;

    uint32_t length = 0;
    const char* stored = db_get_string(obj::dmsIllumBrightnessValues, &length);
    EXPECT_EQ(std::string("\x02\x00\x0A\x00\x00\x00\x64\x00\xC8\x00\x5A\x01\x2C", 13),
              std::string(stored, length));
}

} // namespace
