// The remote control panel's CAN network through the front panel's link:
// frames out as FE 'A' commands byte by byte, frames in from FF B8 records
// to the listening buses, the panel revisions that carry the tunnel, and a
// temperature board behind the simulated panel read over SNMP after it was
// added at the panel.
#include "frontpanel/can_tunnel.h"
#include "frontpanel/manager.h"
#include "peripherals/can/can_bus.h"
#include "peripherals/can/can_networks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "platform/field/field.h"
#include "platform/field/panel_lcd.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/support/panel_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

using test_support::PanelSession;
using Bytes = std::vector<uint8_t>;

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A bus that only keeps what the driver hands it.
class CapturingBus : public can_bus {
  public:
    void OnDriverPacket(const can_packet& packet) override { packets.push_back(packet); }
    std::vector<can_packet> packets;
};

class CanTunnel : public test_support::PanelNavigation {};

TEST_F(CanTunnel, AFrameGoesOutAsOneEscapedLcdCommand) {
    Panel();
    can_cp_driver& driver = the_can_cp_driver();
    ASSERT_EQ(7, PanelSession::Manager()->SecondRevision());
    const Bytes data = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xFF};
    const uint32_t sent = driver.frames_sent, errors = driver.errors;

    Panel().ClearSent();
    EXPECT_EQ(1, driver.Send(0x5B010, 0, 8, data.data(), 0));
    EXPECT_TRUE(contains(Panel().Sent(), {0xFE, 0x41, 0x00, 0x3B, 0x60, 0x20, 0x08, 0x01, 0x02,
                                          0x03, 0x04, 0x05, 0x06, 0x07, 0xFF, 0xDF}));
    EXPECT_EQ(sent + 1, driver.frames_sent);

    struct {
        uint32_t identifier;
        uint8_t flags, length;
        bool extended;
        Bytes head; // after FE 41
    } forms[] = {
        {0x42105, CAN_FLAG_REMOTE, 2, true, {0x00, 0x38, 0x42, 0x0B, 0x02, 0x01, 0x02, 0, 0}},
        {0x123, 0, 3, false, {0x24, 0x60, 0x03, 0x01, 0x02, 0x03, 0, 0}},
        {0x123, CAN_FLAG_REMOTE, 0, false, {0x24, 0x70, 0x00, 0, 0, 0, 0}},
    };
    for (const auto& f : forms) {
        driver.Initialize(0, f.extended ? 1 : 0, 100);
        Panel().ClearSent();
        EXPECT_EQ(1, driver.Send(f.identifier, f.flags, f.length, data.data(), 0));
        EXPECT_TRUE(contains(Panel().Sent(), concat({0xFE, 0x41}, f.head)))
            << std::hex << f.identifier;
    }
    driver.Initialize(0, 1, 100);

    // Refusals: channel 1 touches no counter; nine data bytes are dropped.
    const uint32_t before = driver.frames_sent;
    Panel().ClearSent();
    EXPECT_EQ(0, driver.Send(0x5B010, 0, 8, data.data(), 1));
    EXPECT_EQ(errors, driver.errors);
    const Bytes nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(0, driver.Send(0x5B010, 0, 9, nine.data(), 0));
    EXPECT_EQ(errors + 1, driver.errors);
    EXPECT_EQ(before, driver.frames_sent);
    EXPECT_FALSE(contains(Panel().Sent(), {0xFE, 0x41}));
}

TEST(CanTunnelRevisions, OnlyPanelsOfRevisionSevenCarryTheTunnel) {
    struct {
        uint8_t first, second;
        bool carries;
    } cases[] = {
        {0, 0, false}, {7, 0, false}, {7, 3, false}, {5, 9, false},
        {6, 7, false}, {0, 7, true},  {7, 7, true},  {9, 12, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.carries, can_cp_driver::PanelCarriesTunnel(c.first, c.second))
            << int(c.first) << "/" << int(c.second);
}

TEST_F(CanTunnel, AnOldPanelRevisionStopsEveryFrame) {
    Panel();
    can_cp_driver& driver = the_can_cp_driver();
    Panel().Send({0xFF, 0xA3}); // the panel now reports revision 3
    ASSERT_EQ(3, PanelSession::Manager()->SecondRevision());
    const uint32_t errors = driver.errors;
    Panel().ClearSent();
    const Bytes data(8, 0x11);
    EXPECT_EQ(0, driver.Send(0x5B010, 0, 8, data.data(), 0));
    EXPECT_EQ(errors + 1, driver.errors);
    EXPECT_FALSE(contains(Panel().Sent(), {0xFE, 0x41}));
}

TEST_F(CanTunnel, AFrameFromThePanelReachesTheListeningBuses) {
    Panel();
    // The driver keeps its listeners for the program's life.
    CapturingBus& capture = *new CapturingBus;
    ASSERT_TRUE(capture.Attach("TUNNEL CAPTURE", &the_can_cp_driver()));
    const uint32_t received = the_can_cp_driver().frames_received;
    Panel().Send({0xFF, 0xB8, 0x00, 0x2B, 0x61, 0x20, 0x08, 1, 2, 3, 4, 5, 6, 7, 0xFE, 0xDE});
    ASSERT_EQ(1u, capture.packets.size());
    const can_packet& p = capture.packets[0];
    EXPECT_EQ(0x5B090u, p.identifier);
    EXPECT_EQ(8, p.length);
    EXPECT_EQ(0, p.channel);
    EXPECT_EQ(Bytes({1, 2, 3, 4, 5, 6, 7, 0xFE}), Bytes(p.data, p.data + 8));
    EXPECT_EQ(received + 1, the_can_cp_driver().frames_received);
    EXPECT_EQ(&the_can_cp_driver(), the_panel_can_bus().Driver()) << "bus 4 listens too";

    // A record longer than eight data bytes is not dispatched; the parser
    // goes on with the next record.
    Panel().Send({0xFF, 0xB8, 0x00, 0x2B, 0x61, 0x20, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    Panel().Send({0xFF, 0xB8, 0x00, 0x2B, 0x61, 0x20, 0x01, 0x42});
    ASSERT_EQ(2u, capture.packets.size());
    EXPECT_EQ(1, capture.packets[1].length);
    EXPECT_EQ(0x42, capture.packets[1].data[0]);
}

// --- a board behind the simulated panel --------------------------------------------------

// dmsTempSensorCurrentReading of a row as a central system reads it.
int32_t snmp_temperature(uint32_t row) {
    agent_test::CapturingAgent agent;
    auto pdu = agent.AskPdu(agent_test::request(
        0xA0, agent_test::ADMIN, {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 7, 36, 1, 3, row + 1}, 1));
    int32_t value = -1000;
    if (pdu && pdu->error_status == 0) std::memcpy(&value, pdu->varbinds[0].value, sizeof value);
    return value;
}

class PanelNetwork : public test_support::PanelNavigation {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can temperature AMB 42101 bus=panel temp=21\n";
    }
    // The live peripheral's state, looked up afresh: a reload of the list
    // builds it again.
    static int StateOf(uint16_t id) {
        CPeripheral* found = nullptr;
        return ThePeripheralTask().Find(id, &found) ? found->State() : -1;
    }
    // Polls until the peripheral is in `state` (at most `polls`). -> reached.
    static bool Reaches(uint16_t id, int state, int polls) {
        for (int pass = 0; pass < polls && StateOf(id) != state; ++pass)
            PanelSession::Polls(1);
        return StateOf(id) == state;
    }
};

TEST_F(PanelNetwork, ATemperatureBoardBehindThePanelIsAddedAndReadOverSnmp) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "ADD PERIPHERALS", "ADD TEMP",
              "EXTERNAL (AMBIENT)", "DEFAULT (RECOMMENDED)", "ON LOCAL CONTROL PANEL"});
    uint16_t slot = 0;
    ASSERT_TRUE(pl_iterator().FindSlot(12, &slot));
    EXPECT_STREQ("42101,4", db_get_string(obj::halvPeripheralParameters.row(slot)));

    EXPECT_TRUE(Reaches(12, CPeripheral::STATE_VALID, 40)) << StateOf(12);
    bool read = false;
    for (uint32_t row = 0; row < 8 && !read; ++row)
        read = snmp_temperature(row) == 21;
    EXPECT_TRUE(read) << "21 C in the temperature table";
    EXPECT_GT(the_can_cp_driver().frames_received, 0u);
}

// Without a panel that reports its revision nothing is tunnelled, and the
// board behind it is never heard.
TEST_F(PanelNetwork, WithoutAPanelRevisionTheBoardStaysSilent) {
    ASSERT_TRUE(pl_iterator().Add(12, "42101,4"));
    EXPECT_TRUE(Reaches(12, CPeripheral::STATE_COMM_ERROR, 1000)) << StateOf(12);
    EXPECT_EQ(0u, the_can_cp_driver().frames_sent);
    EXPECT_GT(the_can_cp_driver().errors, 0u);
}

} // namespace
