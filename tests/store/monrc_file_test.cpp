// "monrc": the four monitor lines from the network objects, and the
// monitor's environment following the file at the next start.
#include "tests/store/config_fixture.h"

#include "store/monrc_file.h"

#include <cstring>
#include <vector>

using namespace config_test;

namespace {

class MonrcFileTest : public ConfigFixture {
  protected:
    void SetAddresses(const char* mac, uint32_t mac_length) {
        db_set(obj::ipAdEntAddr, 0xC0A8010A, 0);    // 192.168.1.10
        db_set(obj::ipAdEntNetMask, 0xFFFFFF00, 0); // 255.255.255.0
        db_set(obj::ipRouteDest, 0x0A000001, 0);    // 10.0.0.1
        db_set_string(obj::ifPhysAddress, mac, mac_length, 0);
    }
    std::string BuildText() {
        std::vector<uint8_t> buffer(256);
        uint32_t length = 0;
        EXPECT_EQ(0, CFile_Monrc::Build(buffer.data(), uint32_t(buffer.size()), &length));
        return std::string(buffer.begin(), buffer.begin() + length);
    }
};

TEST_F(MonrcFileTest, FourLinesFromTheNetworkObjects) {
    SetAddresses("\x00\x1A\x2B\xFC\x4D\x0E", 6);
    EXPECT_EQ("set IPADD 192.168.1.10\r\n"
              "set NETMASK 255.255.255.0\r\n"
              "set GIPADD 10.0.0.1\r\n"
              "set ETHERADD 00:1A:2B:FC:4D:0E\r\n",
              BuildText());
}

// Fewer than six address bytes: no ETHERADD line, the monitor keeps its own.
TEST_F(MonrcFileTest, ShortMacAddressIsLeftOut) {
    SetAddresses("\x01\x02\x03", 3);
    EXPECT_EQ("set IPADD 192.168.1.10\r\nset NETMASK 255.255.255.0\r\nset GIPADD 10.0.0.1\r\n",
              BuildText());
    uint8_t small[30];
    uint32_t length = 0;
    EXPECT_EQ(1, CFile_Monrc::Build(small, sizeof small, &length));
    EXPECT_EQ(1, CFile_Monrc::Build(nullptr, 100, &length));
}

TEST_F(MonrcFileTest, EnvironmentFollowsTheFileAtTheNextStart) {
    SetAddresses("\x02\x11\x22\x33\x44\x55", 6);
    EXPECT_EQ(1, CFile_Monrc::Write(Media(), Driver()));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(" - Writing monrc\t\t\t\t\t[ OK ]\n"));
    EXPECT_EQ(TFS_FLAG_EXEC, tfs_file_flags(mon_tfsstat("monrc")) & TFS_FLAG_EXEC);
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());

    host::monitor_stop();
    std::string error;
    ASSERT_TRUE(host::monitor_start(host::host_options(), error)) << error;
    EXPECT_STREQ("192.168.1.10", mon_getenv("IPADD"));
    EXPECT_STREQ("255.255.255.0", mon_getenv("NETMASK"));
    EXPECT_STREQ("10.0.0.1", mon_getenv("GIPADD"));
    EXPECT_STREQ("02:11:22:33:44:55", mon_getenv("ETHERADD"));
}

TEST_F(MonrcFileTest, FactoryEntries) {
    EXPECT_STREQ("MONRC FILE", CFile_Monrc::GetName(1));
    EXPECT_EQ(302, CFile_Monrc::GetType("MONRC FILE"));
    EXPECT_EQ(0, CFile_Monrc::GetType(nullptr));
    EXPECT_EQ(nullptr, CFile_Monrc::Create({0, 303, 0x10, nullptr}));
    CPeripheral* p = CFile_Monrc::Create({0, 302, 0x10, nullptr});
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0x10, p->ClassCode());
    EXPECT_EQ(1, p->PollPeriod());
    EXPECT_EQ(1, p->Enabled());
    delete p;
}

} // namespace
