// A central system with net-snmp's tools loads a brightness table into the
// running sign, reads the font count and defines a graphic: the answers it
// sees and what the sign keeps.
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

// A graphic defined from a central system: the display's graphic store,
// which the agent runs after each status SET, turns each request into a
// state; asking twice for the ready state leaves one usable graphic.
TEST_F(SignMediaNetSnmp, AGraphicIsDefinedAndMadeReady) {
    if (!netsnmp_tools_installed())
        GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
    const std::string g = kDms + ".10.6.1.";
    auto status = [&](const char* value) { return Tool("snmpset", g + "10.3 i " + value); };
    auto get = [&](const std::string& name) { return Tool("snmpget", name); };
    std::string before, early, modifying, ready, id, count, again, id_again, count_again;
    std::string writes;
    Serve([&] {
        before = get(g + "10.3");
        early = Tool("snmpset", g + "2.3 i 7");
        status("7");
        modifying = get(g + "10.3");
        writes = Tool("snmpset", g + "2.3 i 7 " + g + "4.3 i 8 " + g + "5.3 i 8 " + g + "6.3 i 1 " +
                                     kDms + ".10.7.1.3.3.1 x \"FF818181818181FF\"");
        status("8");
        ready = get(g + "10.3");
        id = get(g + "7.3");
        count = get(kDms + ".10.2.0");
        status("8");
        again = get(g + "10.3");
        id_again = get(g + "7.3");
        count_again = get(kDms + ".10.2.0");
    });
    EXPECT_NE(std::string::npos, before.find("10.3 = INTEGER: 1")) << before;
    EXPECT_NE(std::string::npos, early.find("genError")) << early;
    EXPECT_NE(std::string::npos, modifying.find("10.3 = INTEGER: 2")) << modifying;
    EXPECT_EQ(std::string::npos, writes.find("Error")) << writes;
    EXPECT_NE(std::string::npos, ready.find("10.3 = INTEGER: 4")) << ready;
    const uint32_t stored_id = db_get(obj::dmsGraphicID.row(2));
    EXPECT_NE(0u, stored_id);
    EXPECT_NE(std::string::npos, id.find("7.3 = INTEGER: " + std::to_string(stored_id) + "\n"))
        << id;
    EXPECT_NE(std::string::npos, count.find("2.0 = INTEGER: 1")) << count;
    EXPECT_NE(std::string::npos, again.find("10.3 = INTEGER: 4")) << again;
    EXPECT_EQ(id, id_again);
    EXPECT_NE(std::string::npos, count_again.find("2.0 = INTEGER: 1")) << count_again;
}
