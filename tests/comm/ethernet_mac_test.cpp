// The Ethernet MAC driver on the board's register models of the MAC, its
// memory-access layer and the PHY: requests by driver state, PHY management,
// auto-negotiation and the fixed modes, frames through the model's wire and
// the error interrupts.
#include "comm/drivers/ethernet_mac.h"
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/board/emac_model.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/interrupt.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using Frame = std::vector<uint8_t>;

const uint8_t OWN_MAC[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const uint32_t OWN_IP = 0x0A000005;

struct received {
    nx_link_kind kind;
    Frame data;
};

class EthernetMac : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        char tmpl[] = "/tmp/ethernet_mac_test_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
        board_set_external_interrupt_handler(isr_dispatch_masked);
        host::monitor_console_capture(true);
        host::monitor_console_take();
        emac_forget();
        emac_set_packet_pool_address(
            uint32_t(reinterpret_cast<uintptr_t>(test_support::FreeRam())));
        emac_set_mac_address(OWN_MAC);
        emac_set_link_mode(EMAC_SPEED_AUTO, EMAC_DUPLEX_AUTO, 0);
        ip_ = NX_IP{};
        ip_.address = OWN_IP;
        nx_link_receive_observer([this](nx_link_kind kind, const NX_PACKET& p) {
            got_.push_back({kind, Frame(p.prepend_ptr, p.prepend_ptr + p.length)});
        });
    }
    void TearDown() override {
        nx_link_receive_observer(nullptr);
        host::monitor_console_capture(false);
        host::board_stop();
        std::filesystem::remove_all(options_.state_dir);
    }
    UINT Request(UINT command, NX_PACKET* packet = nullptr, ULONG* back = nullptr) {
        NX_IP_DRIVER r{};
        r.command = command;
        r.packet = packet;
        r.return_ptr = back;
        r.ip = &ip_;
        r.physical_msw = 0x0011;
        r.physical_lsw = 0x22334455;
        emac_driver_entry(&r);
        return r.status;
    }
    void Enable() {
        ASSERT_EQ(NX_SUCCESS, Request(NX_LINK_INITIALIZE));
        ASSERT_EQ(NX_SUCCESS, Request(NX_LINK_ENABLE));
    }
    // A packet of the driver's pool carrying `bytes` of data after header room.
    NX_PACKET* Packet(size_t bytes, ULONG room = NX_IP_PACKET) {
        NX_PACKET* p = nullptr;
        EXPECT_EQ(NX_SUCCESS, nx_packet_allocate(&emac().pool, &p, room, NX_NO_WAIT));
        Frame data(bytes, 0xA5);
        if (p) nx_packet_data_append(p, data.data(), ULONG(data.size()), nullptr, NX_NO_WAIT);
        return p;
    }
    void Arrive(const Frame& frame, uint16_t status = 0) {
        board::ethernet_wire_receive(frame, status);
        host::run_until_idle();
    }
    std::string Monitor() { return host::monitor_console_take(); }

    host::HostOptions options_;
    NX_IP ip_;
    std::vector<received> got_;
};

// An Ethernet frame to the controller of `type` with `body`, padded to 60 bytes.
Frame EthernetFrame(uint16_t type, const Frame& body, size_t pad_to = 60) {
    Frame f(OWN_MAC, OWN_MAC + 6);
    Frame source = {0x02, 0x99, 0x88, 0x77, 0x66, 0x55};
    f.insert(f.end(), source.begin(), source.end());
    f.push_back(uint8_t(type >> 8));
    f.push_back(uint8_t(type));
    f.insert(f.end(), body.begin(), body.end());
    if (f.size() < pad_to) f.resize(pad_to, 0);
    return f;
}

Frame IpDatagram(uint16_t total_length) {
    Frame d(total_length < 20 ? 20 : total_length, 0);
    d[0] = 0x45;
    d[2] = uint8_t(total_length >> 8);
    d[3] = uint8_t(total_length);
    return d;
}

Frame ArpRequestFor(uint32_t target) {
    Frame a(28, 0);
    a[7] = 1; // request
    for (int i = 0; i < 4; i++)
        a[24 + i] = uint8_t(target >> (24 - 8 * i));
    return a;
}

TEST_F(EthernetMac, RequestsAnswerByTheDriversState) {
    ULONG back = 7;
    const struct {
        UINT command;
        UINT status;
        uint16_t state_after;
        const char* what;
    } steps[] = {
        {NX_LINK_ENABLE, NX_NOT_SUCCESSFUL, EMAC_NOT_INITIALISED, "enable before initialise"},
        {NX_LINK_DISABLE, NX_NOT_ENABLED, EMAC_NOT_INITIALISED, "disable before initialise"},
        {NX_LINK_MULTICAST_JOIN, NX_NOT_ENABLED, EMAC_NOT_INITIALISED, "join while not enabled"},
        {NX_LINK_INITIALIZE, NX_SUCCESS, EMAC_DISABLED, "initialise"},
        {NX_LINK_INITIALIZE, NX_SUCCESS, EMAC_DISABLED, "initialise only once"},
        {NX_LINK_DISABLE, NX_NOT_ENABLED, EMAC_DISABLED, "disable while disabled"},
        {NX_LINK_ENABLE, NX_SUCCESS, EMAC_ENABLED, "enable"},
        {NX_LINK_ENABLE, NX_ALREADY_ENABLED, EMAC_ENABLED, "enable twice"},
        {NX_LINK_MULTICAST_JOIN, NX_SUCCESS, EMAC_ENABLED, "join"},
        {NX_LINK_MULTICAST_LEAVE, NX_SUCCESS, EMAC_ENABLED, "leave"},
        {NX_LINK_DISABLE, NX_SUCCESS, EMAC_DISABLED, "disable"},
        {NX_LINK_MULTICAST_LEAVE, NX_NOT_ENABLED, EMAC_DISABLED, "leave while disabled"},
        {11, NX_UNHANDLED_COMMAND, EMAC_DISABLED, "unknown command"},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(step.status, Request(step.command, nullptr, &back)) << step.what;
        EXPECT_EQ(step.state_after, emac().state) << step.what;
    }
    EXPECT_EQ(0u, back) << "an unknown command up to 16 answers 0";
    back = 7;
    EXPECT_EQ(NX_UNHANDLED_COMMAND, Request(60, nullptr, &back));
    EXPECT_EQ(7u, back) << "beyond 16 (and not 50) the answer is left alone";
    EXPECT_EQ(1518u, ip_.mtu);
    EXPECT_EQ(0x0200u, ip_.physical_msw);
    EXPECT_EQ(0x00000001u, ip_.physical_lsw);
    EXPECT_EQ(1u, ip_.address_mapping_needed);
    EXPECT_EQ(0u, ip_.link_up) << "disabled";

    // A send while disabled is refused and its packet goes back to the pool.
    ULONG free_before = emac().pool.free_packets;
    NX_PACKET* p = Packet(100);
    EXPECT_EQ(NX_NOT_ENABLED, Request(NX_LINK_PACKET_SEND, p));
    EXPECT_EQ(free_before, emac().pool.free_packets);

    // Multicast join and leave program the group hash and the receive mode.
    ASSERT_EQ(NX_SUCCESS, Request(NX_LINK_ENABLE));
    Request(NX_LINK_MULTICAST_JOIN);
    EXPECT_EQ(0xFFFFu, board::emac_registers().group_hash[3]);
    EXPECT_EQ(0x40580000u, board::emac_registers().receive_mode);
    Request(NX_LINK_MULTICAST_LEAVE);
    EXPECT_EQ(0u, board::emac_registers().group_hash[0]);
    EXPECT_EQ(0x40500000u, board::emac_registers().receive_mode);
}

TEST_F(EthernetMac, AFailedPhyCheckLeavesTheDriverInStateTwoForGood) {
    board::phy_set_answering(false);
    EXPECT_EQ(NX_NOT_SUCCESSFUL, Request(NX_LINK_INITIALIZE));
    EXPECT_EQ(EMAC_PHY_CHECK_FAILED, emac().state);
    board::phy_set_answering(true);
    Request(NX_LINK_INITIALIZE);
    EXPECT_EQ(EMAC_PHY_CHECK_FAILED, emac().state) << "later initialise requests do nothing";
    EXPECT_EQ(NX_NOT_SUCCESSFUL, Request(NX_LINK_ENABLE));
}

TEST_F(EthernetMac, PhyManagementReadsWritesAndReportsItsFaults) {
    uint16_t value = 0;
    ASSERT_EQ(0, phy_write(4, 0x0061));
    ASSERT_EQ(0, phy_read(4, &value));
    EXPECT_EQ(0x0061, value);
    EXPECT_EQ(0x0061, board::phy_registers().advertised);

    const struct {
        bool answering, stalled;
        const char* read_text;
        const char* write_text;
    } faults[] = {
        {false, false, "phy_read err3\n", "phy_write err3\n"}, // the PHY error bit
        {true, true, "phy_read err2\n", "phy_write err1\n"},   // the cycle never completes
    };
    for (const auto& f : faults) {
        board::phy_set_answering(f.answering);
        board::emac_stall_management(f.stalled);
        Monitor();
        EXPECT_EQ(-1, phy_read(1, &value));
        EXPECT_NE(std::string::npos, Monitor().find(f.read_text)) << f.read_text;
        EXPECT_EQ(-1, phy_write(4, 0x0021));
        EXPECT_NE(std::string::npos, Monitor().find(f.write_text)) << f.write_text;
        board::emac_stall_management(false);
        board::phy_set_answering(true);
    }
    board::emac_stall_management(true);
    phy_read(1, &value); // leaves the cycle running
    Monitor();
    EXPECT_EQ(-1, phy_read(1, &value));
    EXPECT_NE(std::string::npos, Monitor().find("phy_read err1\n"));
    board::emac_stall_management(false);
    EXPECT_EQ(0, phy_read(1, &value));
}

TEST_F(EthernetMac, AutoNegotiationAdvertisesByAbilityAndTakesTheCommonBest) {
    const struct {
        uint32_t a100, afull;
        uint16_t partner;
        uint16_t advertised;
        uint32_t is100, full;
    } cases[] = {
        {1, 1, board::PHY_ALL_ABILITIES, 0x01E1, 1, 1},
        {1, 0, board::PHY_ALL_ABILITIES, 0x00A1, 1, 0},
        {0, 0, board::PHY_ALL_ABILITIES, 0x0021, 0, 0}, // forced to 10 Mbit/s half duplex
        {1, 1, board::PHY_10_HALF, 0x01E1, 0, 0},
        {1, 1, board::PHY_10_HALF | board::PHY_10_FULL, 0x01E1, 0, 1},
        {1, 1, board::PHY_100_HALF | board::PHY_10_HALF, 0x01E1, 1, 0},
    };
    for (const auto& c : cases) {
        board::PhyPartner partner;
        partner.abilities = c.partner;
        board::ethernet_set_partner(partner);
        uint32_t a100 = c.a100, afull = c.afull;
        EXPECT_EQ(0, AutoNegotiate(7000, &a100, &afull)) << c.partner;
        EXPECT_EQ(c.advertised, board::phy_registers().advertised) << c.partner;
        EXPECT_EQ(c.is100, a100) << c.partner;
        EXPECT_EQ(c.full, afull) << c.partner;
        uint16_t control = board::phy_registers().control;
        EXPECT_EQ(c.is100 != 0, (control & 0x2000) != 0);
        EXPECT_EQ(c.full != 0, (control & 0x0100) != 0);
    }

    board::PhyPartner silent;
    silent.negotiation_reads = -1;
    board::ethernet_set_partner(silent);
    uint32_t a100 = 1, afull = 1;
    Monitor();
    EXPECT_EQ(-1, AutoNegotiate(0, &a100, &afull));
    EXPECT_NE(std::string::npos, Monitor().find("Autonegotiate: Timeout\n"));

    board::PhyPartner faulty;
    faulty.remote_fault = true;
    board::ethernet_set_partner(faulty);
    EXPECT_EQ(-1, AutoNegotiate(0, &a100, &afull));
    EXPECT_NE(std::string::npos, Monitor().find("Autonegotiate: remote fault\n"));
}

TEST_F(EthernetMac, TheSetUpProgramsTheLinkModeIntoThePhyAndModeRegisterOne) {
    const struct {
        uint32_t speed, duplex, force10;
        uint16_t partner;
        uint16_t control_set, control_clear, advertised;
        uint32_t mode1;
    } cases[] = {
        {EMAC_SPEED_100, EMAC_DUPLEX_FULL, 0, 0, 0x2100, 0x1000, 0x0101, 0x91780000},
        {EMAC_SPEED_100, EMAC_DUPLEX_HALF, 0, 0, 0x2000, 0x1100, 0x0081, 0x00780000},
        {EMAC_SPEED_10, EMAC_DUPLEX_FULL, 0, 0, 0x0100, 0x3000, 0x1001, 0x00380000},
        {EMAC_SPEED_10, EMAC_DUPLEX_HALF, 0, 0, 0x0000, 0x3100, 0x0021, 0x00380000},
        {EMAC_SPEED_100, EMAC_DUPLEX_FULL, 1, 0, 0x0000, 0x3100, 0x0021, 0x00380000},
        {EMAC_SPEED_AUTO, EMAC_DUPLEX_AUTO, 0, board::PHY_10_HALF, 0x1000, 0x2100, 0x01E1,
         0x00380000},
        {EMAC_SPEED_AUTO, EMAC_DUPLEX_AUTO, 0, board::PHY_ALL_ABILITIES, 0x3100, 0, 0x01E1,
         0x91780000},
        {EMAC_SPEED_AUTO, EMAC_DUPLEX_AUTO, 1, board::PHY_ALL_ABILITIES, 0x1000, 0x2100, 0x0021,
         0x00380000},
    };
    for (const auto& c : cases) {
        host::board_stop();
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
        emac_forget();
        emac_set_packet_pool_address(
            uint32_t(reinterpret_cast<uintptr_t>(test_support::FreeRam())));
        emac_set_mac_address(OWN_MAC);
        emac_set_link_mode(c.speed, c.duplex, c.force10);
        board::PhyPartner partner;
        if (c.partner) partner.abilities = c.partner;
        board::ethernet_set_partner(partner);
        ASSERT_EQ(NX_SUCCESS, Request(NX_LINK_INITIALIZE)) << c.speed << "/" << c.duplex;
        board::PhyRegisters phy = board::phy_registers();
        EXPECT_EQ(c.control_set, phy.control & c.control_set) << c.speed << "/" << c.duplex;
        EXPECT_EQ(0, phy.control & c.control_clear) << c.speed << "/" << c.duplex;
        EXPECT_EQ(c.advertised, phy.advertised) << c.speed << "/" << c.duplex;
        EXPECT_EQ(0x0020, phy.phy_status & 0x0030);
        board::EmacRegisters mac = board::emac_registers();
        EXPECT_EQ(c.mode1, mac.mode1) << c.speed << "/" << c.duplex << " force " << c.force10;
        EXPECT_EQ(0x18000000u, mac.mode0 & 0x18000000u);
        EXPECT_EQ(0x0200u, mac.address_high);
        EXPECT_EQ(0x00000001u, mac.address_low);
        EXPECT_EQ(0x40500000u, mac.receive_mode);
        EXPECT_EQ(0x0F002000u, mac.watermarks);
        EXPECT_EQ(8u, mac.gap);
        board::MalState mal = board::mal_state();
        EXPECT_EQ(0x60606000u, mal.plb_word);
        EXPECT_EQ(0x60u, mal.rx_buffer_size);
        EXPECT_EQ(0x80000000u, mal.rx_active & mal.tx_active);
        EXPECT_EQ(emac().rx_table, mal.rx_table);
    }
}

TEST_F(EthernetMac, ReceivedFramesReachTheIpLayerByTypeAndBadOnesAreDropped) {
    Enable();
    ULONG free_packets = emac().pool.free_packets;
    // A 60-byte frame carrying a 40-byte datagram: the padding is not data.
    Arrive(EthernetFrame(0x0800, IpDatagram(40)));
    // A datagram claiming more than arrived is cut to what arrived (62 - 14).
    Frame claims_more = IpDatagram(48);
    claims_more[2] = 0x03; // 1000
    claims_more[3] = 0xE8;
    Arrive(EthernetFrame(0x0800, claims_more));
    // Dropped: a total below an IP header, an oversized frame, a frame with a
    // status bit, an ARP request for another address, an unknown type.
    Arrive(EthernetFrame(0x0800, IpDatagram(12)));
    Arrive(EthernetFrame(0x0800, IpDatagram(1500), 1519));
    Arrive(EthernetFrame(0x0800, IpDatagram(40)), 0x0001);
    Arrive(EthernetFrame(0x0806, ArpRequestFor(OWN_IP + 1)));
    Arrive(EthernetFrame(0x86DD, IpDatagram(40)));
    // Handed up: an ARP request for the controller and a RARP frame.
    Arrive(EthernetFrame(0x0806, ArpRequestFor(OWN_IP)));
    Arrive(EthernetFrame(0x8035, ArpRequestFor(0)));

    ASSERT_EQ(4u, got_.size());
    EXPECT_EQ(NX_LINK_IP, got_[0].kind);
    EXPECT_EQ(40u, got_[0].data.size());
    EXPECT_EQ(0x45, got_[0].data[0]) << "the Ethernet header is removed";
    EXPECT_EQ(48u, got_[1].data.size());
    EXPECT_EQ(NX_LINK_ARP, got_[2].kind);
    EXPECT_EQ(NX_LINK_RARP, got_[3].kind);
    EXPECT_EQ(free_packets, emac().pool.free_packets) << "every packet went back to the pool";
    EXPECT_EQ(9u, emac().rx_index) << "dropped frames' descriptors are given back and reused";

    // The ring goes round: 40 more frames all arrive.
    got_.clear();
    for (int i = 0; i < 40; i++)
        Arrive(EthernetFrame(0x0800, IpDatagram(40)));
    EXPECT_EQ(40u, got_.size());
    EXPECT_EQ(0u, board::mal_state().dropped);
}

TEST_F(EthernetMac, ASecondSendWaitsForTheFirstAndLeavesFromTheTransmitInterrupt) {
    Enable();
    board::ethernet_hold_transmit(true);
    ASSERT_EQ(NX_SUCCESS, Request(NX_LINK_PACKET_SEND, Packet(46)));
    ASSERT_EQ(NX_SUCCESS, Request(NX_LINK_ARP_SEND, Packet(28)));
    host::run_until_idle();
    EXPECT_TRUE(board::ethernet_wire_sent().empty());
    EXPECT_TRUE(emac().tx_busy);
    ASSERT_NE(nullptr, emac().queue_head);

    board::ethernet_hold_transmit(false);
    host::run_for_ticks(5);
    std::vector<Frame> sent = board::ethernet_wire_sent();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(Frame({0x00, 0x11, 0x22, 0x33, 0x44, 0x55}),
              Frame(sent[0].begin(), sent[0].begin() + 6));
    EXPECT_EQ(Frame(OWN_MAC, OWN_MAC + 6), Frame(sent[0].begin() + 6, sent[0].begin() + 12));
    EXPECT_EQ(0x08, sent[0][12]);
    EXPECT_EQ(60u, sent[0].size());
    EXPECT_EQ(Frame(6, 0xFF), Frame(sent[1].begin(), sent[1].begin() + 6)) << "ARP: broadcast";
    EXPECT_EQ(0x06, sent[1][13]);
    EXPECT_FALSE(emac().tx_busy);
    EXPECT_EQ(nullptr, emac().queue_head);

    // An oversized packet is refused and released.
    ULONG free_packets = emac().pool.free_packets;
    EXPECT_EQ(NX_NOT_SUCCESSFUL, Request(NX_LINK_PACKET_SEND, Packet(1510, NX_PHYSICAL_HEADER)));
    EXPECT_EQ(free_packets, emac().pool.free_packets);
}

TEST_F(EthernetMac, DescriptorAndBusErrorsRebuildWhatFailed) {
    Enable();
    Arrive(EthernetFrame(0x0800, IpDatagram(40)));
    ASSERT_EQ(1u, emac().rx_index);
    ULONG free_packets = emac().pool.free_packets;

    board::mal_raise_descriptor_error(true);
    host::run_until_idle();
    EXPECT_EQ(0u, emac().rx_index) << "the receive ring is rebuilt";
    EXPECT_EQ(free_packets, emac().pool.free_packets) << "its old packets were released";
    EXPECT_EQ(0x80000000u, board::mal_state().rx_active) << "and channel 0 is active again";
    Arrive(EthernetFrame(0x0800, IpDatagram(40)));
    EXPECT_EQ(2u, got_.size());

    board::mal_raise_descriptor_error(false);
    host::run_until_idle();
    EXPECT_EQ(0x80000000u, board::mal_state().tx_active);

    uint32_t resets = board::mal_state().resets;
    size_t mode1_writes = board::emac_registers().mode1_writes.size();
    board::mal_raise_system_error(0x80000000u | 0x00010000u); // a bus error
    host::run_until_idle();
    EXPECT_EQ(resets + 1, board::mal_state().resets) << "the set-up ran again";
    EXPECT_EQ(mode1_writes + 1, board::emac_registers().mode1_writes.size());
    EXPECT_EQ(free_packets, emac().pool.free_packets);
    Arrive(EthernetFrame(0x0800, IpDatagram(40)));
    EXPECT_EQ(3u, got_.size()) << "and frames arrive after it";

    board::mal_raise_system_error(0x80000000u); // valid, but none of the known errors
    host::run_until_idle();
    EXPECT_EQ(resets + 1, board::mal_state().resets);

    uint32_t before = isr_count_ethernet();
    board::emac_raise_status(0x00040000);
    host::run_until_idle();
    EXPECT_EQ(0u, board::emac_registers().status) << "the EMAC status is acknowledged";
    EXPECT_GT(isr_count_ethernet(), before);
}

TEST_F(EthernetMac, WaitsForIdleAreBoundedAndReportATimeOut) {
    Enable();
    board::emac_hold_busy(true);
    Monitor();
    EXPECT_EQ(NX_SUCCESS, Request(NX_LINK_DISABLE));
    std::string text = Monitor();
    EXPECT_NE(std::string::npos, text.find("emac: receive idle time-out\n")) << text;
    EXPECT_NE(std::string::npos, text.find("emac: transmit idle time-out\n")) << text;
    EXPECT_EQ(EMAC_DISABLED, emac().state);
}

TEST_F(EthernetMac, TheLinkMonitorFollowsTheCableAndNegotiatesWhenItComesBack) {
    board::PhyPartner partner;
    partner.abilities = board::PHY_10_HALF;
    board::ethernet_set_partner(partner);
    Enable();
    EXPECT_EQ(0x00380000u, board::emac_registers().mode1) << "10 Mbit/s half duplex";
    emac_link_monitor();
    EXPECT_EQ(1, emac().link_up);
    EXPECT_EQ("", Monitor()) << "the first look at a link says nothing";

    board::ethernet_set_cable(0);
    emac_link_monitor();
    EXPECT_EQ(0, emac().link_up);
    EXPECT_EQ("link down\n\r", Monitor());
    emac_link_monitor();
    EXPECT_EQ("", Monitor());

    partner.abilities = board::PHY_ALL_ABILITIES;
    board::ethernet_set_partner(partner);
    uint32_t negotiations = board::phy_registers().negotiations;
    board::ethernet_set_cable(1);
    emac_link_monitor();
    EXPECT_EQ(1, emac().link_up);
    EXPECT_EQ("link enabled\n\r", Monitor());
    EXPECT_EQ(negotiations + 1, board::phy_registers().negotiations);
    EXPECT_EQ(0x81780000u, board::emac_registers().mode1) << "100/full as the monitor writes it";
    ULONG status = 0;
    Request(NX_LINK_GET_STATUS, nullptr, &status);
    EXPECT_EQ(1u, status);

    board::phy_set_answering(false);
    emac_link_monitor();
    EXPECT_EQ(0, emac().link_up) << "a failed read clears the link";
    EXPECT_EQ(1, emac().phy_fault);

    board::phy_set_answering(true);
    emac_set_link_mode(EMAC_SPEED_10, EMAC_DUPLEX_HALF, 0);
    board::ethernet_set_cable(0);
    emac_link_monitor();
    EXPECT_EQ(0, emac().link_up);
    EXPECT_EQ(0, emac().phy_fault);
    EXPECT_EQ(std::string::npos, Monitor().find("link down")) << "a fixed mode only reads the bit";
}

TEST_F(EthernetMac, ReApplyingSpeedAndDuplexResetsTheMacAndProgramsItAgain) {
    Enable();
    uint32_t resets = board::emac_registers().soft_resets;
    emac_apply_speed_duplex();
    board::EmacRegisters mac = board::emac_registers();
    EXPECT_EQ(resets + 1, mac.soft_resets);
    EXPECT_EQ(0x91780000u, mac.mode1);
    EXPECT_EQ(0x18000000u, mac.mode0);
    EXPECT_EQ(0x40500000u, mac.receive_mode);
}

} // namespace
