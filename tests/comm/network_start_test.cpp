// The network start-up: the boot monitor's address texts, the link mode, the
// time server's switch, and the start-up on the booted firmware.
#include "comm/comm_task.h"
#include "comm/drivers/ethernet_mac.h"
#include "comm/network.h"
#include "platform/monitor/monitor.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <cstring>
#include <string>

namespace {

bool Shows(const std::string& text) {
    return test_support::ConsoleText().find(text) != std::string::npos;
}

TEST(AddressTexts, DottedAddressesAreFourDecimalFieldsAndNothingAfter) {
    struct row {
        const char* text;
        bool valid;
        uint32_t address;
    } rows[] = {
        {"10.0.0.1", true, 0x0A000001},
        {"255.255.255.0", true, 0xFFFFFF00},
        {"0.0.0.0", true, 0},
        {"256.0.0.1", false, 0},
        {"10.0.0.256", false, 0},
        {"10.0.0.1 ", false, 0},
        {" 10.0.0.1", false, 0},
        {"10.0.0", false, 0},
        {"10.0.0.1.5", false, 0},
        {"10..0.1", false, 0},
        {"", false, 0},
        {"10.0.0.0001", true, 0x0A000001},
        {"99999999999.0.0.1", false, 0},
        {"a.b.c.d", false, 0},
    };
    for (const row& r : rows) {
        uint32_t address = 0xDEADBEEF;
        EXPECT_EQ(r.valid, parse_dotted_address(r.text, &address)) << '"' << r.text << '"';
        if (r.valid) {
            EXPECT_EQ(r.address, address) << r.text;
        }
    }
    uint32_t address = 0;
    EXPECT_FALSE(parse_dotted_address(nullptr, &address));
}

TEST(AddressTexts, MacAddressesAreSixHexadecimalFieldsOfAtMostFF) {
    struct row {
        const char* text;
        bool valid;
        uint8_t mac[6];
    } rows[] = {
        {"02:00:00:00:00:01", true, {2, 0, 0, 0, 0, 1}},
        {"2:0:a:B:0:f", true, {2, 0, 0x0A, 0x0B, 0, 0x0F}},
        {"ff:FF:00:7f:80:Fe", true, {0xFF, 0xFF, 0, 0x7F, 0x80, 0xFE}},
        {"02:00:00:00:00:01:07", false, {}},
        {"02:00:00:00:00", false, {}},
        {"02:00:00:00:00:100", false, {}},
        {"02:00:00:00:1FF:01", false, {}},
        {"02-00-00-00-00-01", false, {}},
        {"02:00:00:00:00:01 ", false, {}},
        {"02:00::00:00:01", false, {}},
        {"02:00:00:00:00:0g", false, {}},
        {"", false, {}},
    };
    for (const row& r : rows) {
        uint8_t mac[6] = {};
        EXPECT_EQ(r.valid, parse_mac_address(r.text, mac)) << '"' << r.text << '"';
        if (r.valid) {
            EXPECT_EQ(0, std::memcmp(r.mac, mac, 6)) << r.text;
        }
    }
}

TEST(LinkModes, ModesFiveAndSixFixTheDuplexAndIfSpeedTheSpeed) {
    struct row {
        uint32_t mode, if_speed, speed, duplex;
    } rows[] = {
        {5, 0x32000000, EMAC_SPEED_100, EMAC_DUPLEX_HALF},
        {5, 10000000, EMAC_SPEED_10, EMAC_DUPLEX_HALF},
        {6, 0x32000000, EMAC_SPEED_100, EMAC_DUPLEX_FULL},
        {6, 100000000, EMAC_SPEED_10, EMAC_DUPLEX_FULL},
        {0, 0x32000000, EMAC_SPEED_AUTO, EMAC_DUPLEX_AUTO},
        {7, 0, EMAC_SPEED_AUTO, EMAC_DUPLEX_AUTO},
    };
    for (const row& r : rows) {
        emac_link_mode mode = comm_task::LinkModeFor(r.mode, r.if_speed);
        EXPECT_EQ(r.speed, mode.speed) << r.mode << " " << r.if_speed;
        EXPECT_EQ(r.duplex, mode.duplex) << r.mode << " " << r.if_speed;
    }
}

TEST(TimeServer, TheClientRunsOnlyWithAServerAndItsFeatureBit) {
    EXPECT_FALSE(comm_task::SntpWanted(0, 0x40));
    EXPECT_FALSE(comm_task::SntpWanted(0x0A000001, 0));
    EXPECT_FALSE(comm_task::SntpWanted(0x0A000001, ~0x40u));
    EXPECT_TRUE(comm_task::SntpWanted(0x0A000001, 0x40));
}

class NetworkStart : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        tx_thread_sleep(1300); // the start-up and the first step have run
    }
};

TEST_F(NetworkStart, TheEnvironmentGivesTheInterfaceItsIdentity) {
    EXPECT_EQ(0x7F000001u, net_ip_address);
    EXPECT_EQ(0x7F000001u, db_get(obj::ipAdEntAddr));
    uint32_t length = 0;
    const char* mac = db_get_string(obj::ifPhysAddress, &length);
    ASSERT_EQ(6u, length);
    EXPECT_EQ(0, std::memcmp("\x02\x00\x00\x00\x00\x01", mac, 6));
    EXPECT_EQ(0, std::memcmp("\x02\x00\x00\x00\x00\x01", emac().mac, 6));
    EXPECT_EQ(uint32_t(EMAC_SPEED_AUTO), emac().speed) << "factory link mode";
    EXPECT_FALSE(the_comm_task().SntpEnabled()) << "no time server by default";
    EXPECT_EQ(1, emac().link_up);
}

TEST_F(NetworkStart, MissingAndMalformedTextsKeepWhatWasThere) {
    net_gateway_address = 0;
    test_support::ClearConsole();
    comm_task::ParseNetworkAddresses(nullptr, "10.0.0.1", "255.255.0.0", nullptr);
    EXPECT_EQ(0x0A000001u, net_ip_address);
    EXPECT_EQ(0xFFFF0000u, net_subnet_mask);
    EXPECT_EQ(0xAC10C00Eu, net_gateway_address) << "no GIPADD: the default gateway";
    EXPECT_EQ(0xAC10C00Eu, db_get(obj::ipRouteDest));
    EXPECT_TRUE(Shows("Warning: Invalid MAC Address - Using Default\n\r"));

    net_gateway_address = 0;
    test_support::ClearConsole();
    comm_task::ParseNetworkAddresses("02:00:00:00:00:01", "10.0.0.256", nullptr, "");
    EXPECT_EQ(0u, net_gateway_address) << "an empty GIPADD: no gateway";
    EXPECT_EQ(0x0A000001u, net_ip_address);
    EXPECT_EQ(0xFFFF0000u, net_subnet_mask);
    EXPECT_TRUE(Shows("Warning: Misformed GIP addr - No Gateway\n\r"));
    EXPECT_TRUE(Shows("Warning: Misformed IP addr - Using Default\n\r"));
    EXPECT_TRUE(Shows("Warning: Misformed Net Mask addr - Using Default\n\r"));
    EXPECT_FALSE(Shows("Invalid MAC"));
}

TEST_F(NetworkStart, ARenewalWithoutADhcpClientRestartsNothingAndTheTaskGoesOn) {
    test_support::ClearConsole();
    the_post_office().post(LETTER_DHCP_RENEW);
    tx_thread_sleep(200);
    EXPECT_TRUE(Shows("calling nx_dhcp_force_renew\n"));
    uint32_t runs = the_comm_task().Runs();
    tx_thread_sleep(400);
    EXPECT_LT(runs, the_comm_task().Runs());
}

// A board whose network may not be used: the start-up stops before the
// network and posts no end letter; the task runs its steps all the same.
class NoNetwork : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override { options.network = false; }
};

TEST_F(NoNetwork, TheStartUpStopsBeforeTheNetwork) {
    tx_thread_sleep(1500);
    EXPECT_EQ(nullptr, ethernet_ip().impl) << "no IP instance";
    EXPECT_EQ(0, emac().link_up);
    EXPECT_GT(the_comm_task().Runs(), 0u);
}

} // namespace

namespace {

// DHCP mode on a host without --ethernet: no link, so no DHCP client; the
// start-up goes on with the address 0.0.0.0 and the servers on loopback.
class DhcpWithoutInterface : public test_support::FirmwareFixture {
  protected:
    void Prepare() override {
        const std::string config = "<!-- CONFIG.XML J6 V2.0 -->\nhalvEthernetMode[0000]:XXXX,2\n";
        ASSERT_EQ(0, mon_tfsadd("CONFIG.XML", nullptr, nullptr,
                                reinterpret_cast<const uint8_t*>(config.data()),
                                static_cast<int>(config.size())));
    }
};

TEST_F(DhcpWithoutInterface, TheStartUpFindsNoLinkAndGoesOn) {
    tx_thread_sleep(1000 + 14 * 100 + 300);
    EXPECT_EQ(2u, db_get(obj::halvEthernetMode));
    EXPECT_EQ(0u, net_ip_address);
    EXPECT_EQ(0xFFFFFF00u, net_subnet_mask);
    EXPECT_EQ(nullptr, the_comm_task().DhcpClient().impl) << "no client without a link";
    EXPECT_EQ(5, AgentRow(FindAgent("ethernet_udp"))->port);
    EXPECT_FALSE(Shows("dhcp initialized ok"));
}

} // namespace
