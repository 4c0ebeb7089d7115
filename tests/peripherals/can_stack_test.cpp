// The CAN stack on the board's chip model and the simulated field: the
// controller chip's identifier layouts and transmit buffers, the buses'
// identifier ranges, the devices' queues, the interrupt handler and the
// chip's recovery set-up after repeated receive faults.
#include "display/epld.h"
#include "peripherals/can/can_board.h"
#include "peripherals/can/can_detect.h"
#include "peripherals/can/can_networks.h"
#include "peripherals/peripheral_ids.h"
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/board/can_controller.h"
#include "platform/field/can/can_field.h"
#include "platform/field/field.h"
#include "runtime/interrupt.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum : uint8_t { CANCTRL = 0x0F, RXB0CTRL = 0x60, TXB0CTRL = 0x30 };
const uint8_t CONFIGURATION_MODE = 0x8F, NORMAL_MODE = 0x0F, LOOPBACK_MODE = 0x4F;
const uint8_t READ_REQUEST[8] = {0x00, 0x01, 0x01, 0, 0, 0, 0, 0};

// A device as a CAN peripheral embeds it.
class TestDevice : public can_device {
  public:
    TestDevice(const char* name, const char* bus, uint32_t id) {
        SetDeviceName(name);
        SetBusName(bus);
        SetDeviceId(id);
    }
};

std::string field_hex(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", unsigned(id));
    return text;
}

board::CanFrame frame(uint32_t id, uint8_t first_byte = 0x40, bool extended = true) {
    board::CanFrame f;
    f.id = id;
    f.extended = extended;
    f.dlc = 8;
    f.data[0] = first_byte;
    return f;
}

class CanStack : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        char tmpl[] = "/tmp/can_stack_test_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        options_.field_file = options_.state_dir + "/field.txt";
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
        board_set_external_interrupt_handler(isr_dispatch_masked);
        epld_set_programmed(true);
    }
    void TearDown() override {
        board_set_external_interrupt_handler(nullptr);
        host::field_stop();
        host::board_stop();
        std::filesystem::remove_all(options_.state_dir);
    }
    void Field(const std::string& text) {
        std::ofstream(options_.field_file) << text;
        std::string error;
        ASSERT_TRUE(host::field_start(options_, error)) << error;
    }
    // The sign's buses as the peripheral task brings them up.
    void Networks(const std::string& field_text = "") {
        Field(field_text);
        can_register_buses();
    }
    static void Pass(ULONG ticks) { tx_thread_sleep(ticks); }
    host::HostOptions options_;
};

// A chip of its own, set up without the interrupt, so that the test reads it.
class CanChip : public CanStack {
  protected:
    void SetUp() override {
        CanStack::SetUp();
        Field("");
        ASSERT_EQ(1, chip_.Init(CMCP2510::EXTENDED_IDS, CMCP2510::RATE_CODE, 0));
    }
    struct Read {
        int got;
        uint32_t id;
        uint8_t remote, length;
        uint8_t data[8];
    };
    Read ReadFrame() {
        Read r{};
        r.got = chip_.ReadFrame(&r.id, &r.remote, &r.length, r.data);
        return r;
    }
    CMCP2510 chip_;
};

TEST_F(CanChip, IdentifierLayoutsStandardAndExtended) {
    // A standard frame is kept by a filter of the standard layout.
    chip_.WriteRegister(CANCTRL, CONFIGURATION_MODE);
    chip_.WriteRegister(0x01, 0x00);
    chip_.WriteRegister(CANCTRL, NORMAL_MODE);
    field::can_field_send(frame(0x92, 0x11, false));
    Pass(2);
    EXPECT_EQ(0x12, board::can_controller().Register(0x61)); // SIDH
    EXPECT_EQ(0x40, board::can_controller().Register(0x62)); // SIDL
    Read standard = ReadFrame();
    EXPECT_EQ(1, standard.got);
    EXPECT_EQ(0x92u, standard.id);
    EXPECT_EQ(0x11, standard.data[0]);

    // Extended identifiers go out and come back whole (loopback).
    chip_.WriteRegister(CANCTRL, LOOPBACK_MODE);
    for (uint32_t id : {0x42105u, 0x5B000u, 0x1FFFFFFFu, 0x00000001u, 0x15555555u}) {
        const uint8_t data[8] = {uint8_t(id), 2, 3, 4, 5, 6, 7, 8};
        ASSERT_EQ(1, chip_.WriteFrame(id, 0, 8, data));
        Read back = ReadFrame();
        EXPECT_EQ(1, back.got);
        EXPECT_EQ(id, back.id) << std::hex << id;
        EXPECT_EQ(8, back.length);
        EXPECT_EQ(0, std::memcmp(data, back.data, 8));
    }
}

TEST_F(CanChip, TransmitBuffersAreTakenInOrderAndAllBusyRefuses) {
    chip_.WriteRegister(CANCTRL, CONFIGURATION_MODE); // nothing leaves the chip
    for (uint8_t expected : {0x30, 0x40, 0x50}) {
        EXPECT_EQ(1, chip_.WriteFrame(0x42105, 0, 8, READ_REQUEST));
        EXPECT_TRUE(board::can_controller().Register(expected) & 0x08) << int(expected);
    }
    EXPECT_EQ(0, chip_.WriteFrame(0x42105, 0, 8, READ_REQUEST));
    CMCP2510 never_set_up;
    EXPECT_EQ(0, never_set_up.WriteFrame(0x42105, 0, 8, READ_REQUEST));
}

TEST_F(CanChip, TxbZeroBusyUsesTxbOne) {
    chip_.WriteRegister(CANCTRL, CONFIGURATION_MODE);
    ASSERT_EQ(1, chip_.WriteFrame(0x42105, 0, 8, READ_REQUEST));
    chip_.WriteRegister(CANCTRL, NORMAL_MODE); // TXB0 goes out
    chip_.WriteRegister(CANCTRL, CONFIGURATION_MODE);
    ASSERT_EQ(1, chip_.WriteFrame(0x42106, 0, 8, READ_REQUEST));
    ASSERT_EQ(1, chip_.WriteFrame(0x42107, 0, 8, READ_REQUEST));
    EXPECT_TRUE(board::can_controller().Register(0x30) & 0x08); // the second took TXB0 again
    EXPECT_TRUE(board::can_controller().Register(0x40) & 0x08);
    EXPECT_EQ(0x07, board::can_controller().Register(0x44)); // EID0 of 0x42107 in TXB1
}

TEST_F(CanChip, SevenOverflowsInARowRepeatTheSetUp) {
    chip_.WriteRegister(RXB0CTRL, 0x00); // no roll-over: a second frame overflows buffer 0
    uint32_t setups = chip_.SetUps();
    for (int overflow = 1; overflow <= 7; ++overflow) {
        field::can_field_send(frame(0x42185));
        field::can_field_send(frame(0x42186));
        Pass(2);
        EXPECT_EQ(0, ReadFrame().got);
        EXPECT_EQ(setups + (overflow == 7 ? 1 : 0), chip_.SetUps()) << overflow;
    }
    EXPECT_EQ(0x04, board::can_controller().Register(RXB0CTRL)); // set up again
}

TEST_F(CanChip, FiveEmptyReadsRepeatTheSetUpAndAFrameStartsTheCountAgain) {
    uint32_t setups = chip_.SetUps();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(0, ReadFrame().got);
    field::can_field_send(frame(0x42185));
    Pass(2);
    EXPECT_EQ(1, ReadFrame().got);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(0, ReadFrame().got);
    EXPECT_EQ(setups, chip_.SetUps());
    EXPECT_EQ(0, ReadFrame().got);
    EXPECT_EQ(setups + 1, chip_.SetUps());
}

TEST_F(CanChip, ALengthCodeAbove8IsClampedIntoThePacket) {
    board::CanFrame f = frame(0x42185);
    f.dlc = 15;
    field::can_field_send(f);
    Pass(2);
    Read r = ReadFrame();
    ASSERT_EQ(1, r.got);
    EXPECT_EQ(15, r.length); // as the chip reports it
    can_packet p(r.id, 0, r.length, r.data);
    EXPECT_EQ(8, p.length);
    can_packet copy(p);
    EXPECT_EQ(8, copy.length);
}

TEST(CanPacket, ACopyCarriesLengthBytesAndZeroesTheRest) {
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    can_packet p(0x42105, 1, 8, bytes);
    p.channel = 3;
    p.length = 3;
    can_packet copy = p;
    EXPECT_EQ(0x42105u, copy.identifier);
    EXPECT_EQ(1, copy.flags);
    EXPECT_EQ(3, copy.length);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 0, 0, 0, 0, 0}),
              std::vector<uint8_t>(copy.data, copy.data + 8));
    EXPECT_EQ(0, copy.channel);
}

TEST_F(CanStack, EachBusTakesItsOwnIdentifiers) {
    Networks();
    struct Case {
        uint32_t id;
        uint32_t local, controller;
    };
    const Case cases[] = {
        {0x5AFFF, 1, 0}, {0x5B000, 0, 1}, {0x5BFFE, 0, 1},
        {0x5BFFF, 0, 0}, {0x42000, 1, 0}, {0x41FFF, 0, 0},
    };
    for (const Case& c : cases) {
        uint32_t local = the_local_can_bus().frames_received;
        uint32_t controller = the_controller_can_bus().frames_received;
        field::can_field_send(frame(c.id));
        Pass(2);
        EXPECT_EQ(c.local, the_local_can_bus().frames_received - local) << std::hex << c.id;
        EXPECT_EQ(c.controller, the_controller_can_bus().frames_received - controller)
            << std::hex << c.id;
    }
    EXPECT_EQ(0u, the_panel_can_bus().frames_received); // no panel carries its network here
}

TEST_F(CanStack, TheEleventhFrameIsDroppedAndTheTenComeOutOldestFirst) {
    Networks();
    TestDevice device("board", CAN_BUS_LOCAL, 0x42100);
    ASSERT_TRUE(the_can_core().RegisterDevice(&device));
    EXPECT_FALSE(device.Accepts(can_packet(0x42100, 0, 8, nullptr))); // its own request heard back
    for (uint8_t i = 0; i < 11; ++i)
        field::can_field_send(frame(0x42180, i));
    Pass(3);
    EXPECT_EQ(10u, device.packets_received);
    EXPECT_EQ(1u, device.packets_dropped);
    can_packet p;
    for (uint8_t i = 0; i < 10; ++i) {
        ASSERT_TRUE(device.Pop(&p));
        EXPECT_EQ(i, p.data[0]);
    }
    EXPECT_FALSE(device.Pop(&p));
    EXPECT_TRUE(the_can_core().UnregisterDevice(&device));
    EXPECT_FALSE(the_can_core().UnregisterDevice(&device));
}

TEST_F(CanStack, AFrameForTwoDevicesIsQueuedInBoth) {
    Networks();
    TestDevice one("one", CAN_BUS_LOCAL, 0x42100), range("range", CAN_BUS_LOCAL, 0);
    range.SetRange(0x42100, 0x42110);
    TestDevice same_name("one", CAN_BUS_LOCAL, 0x42100);
    ASSERT_TRUE(the_can_core().RegisterDevice(&one));
    ASSERT_TRUE(the_can_core().RegisterDevice(&range));
    EXPECT_FALSE(the_can_core().RegisterDevice(&same_name));
    field::can_field_send(frame(0x42180));
    Pass(2);
    EXPECT_EQ(1u, one.Queued());
    EXPECT_EQ(1u, range.Queued());
    EXPECT_EQ(0u, same_name.Queued());
    the_can_core().UnregisterDevice(&one);
    the_can_core().UnregisterDevice(&range);
}

TEST_F(CanStack, ADeviceRegisteredBeforeItsBusIsBoundWhenTheBusComes) {
    Field("");
    TestDevice early("early", CAN_BUS_CONTROLLER, 0x5B010);
    ASSERT_TRUE(the_can_core().RegisterDevice(&early));
    EXPECT_EQ(nullptr, early.Bus());
    EXPECT_FALSE(early.Send(can_packet(0x5B010, 0, 8, READ_REQUEST)));
    EXPECT_EQ(1u, early.transmit_failures);
    can_register_buses();
    EXPECT_EQ(&the_controller_can_bus(), early.Bus());
    EXPECT_TRUE(early.Send(can_packet(0x5B010, 0, 8, READ_REQUEST)));
    EXPECT_EQ(1u, early.packets_sent);
    the_can_core().UnregisterDevice(&early);
}

// Failed sends are failures: the chip full, the EPLD not programmed, the
// control panel's network without a panel that carries it.
TEST_F(CanStack, SendsThatDoNotLeaveAreCountedAsFailures) {
    Networks();
    TestDevice device("board", CAN_BUS_LOCAL, 0x42105);
    TestDevice panel("panel board", CAN_BUS_PANEL, 0x42105);
    ASSERT_TRUE(the_can_core().RegisterDevice(&device));
    ASSERT_TRUE(the_can_core().RegisterDevice(&panel));
    const can_packet request(0x42105, 0, 8, READ_REQUEST);

    the_can_j6_driver().Chip().WriteRegister(CANCTRL, CONFIGURATION_MODE);
    for (int i = 0; i < 4; ++i)
        device.Send(request);
    EXPECT_EQ(3u, device.packets_sent);
    EXPECT_EQ(1u, device.transmit_failures);
    EXPECT_EQ(1u, the_local_can_bus().send_failures);

    epld_set_programmed(false);
    EXPECT_FALSE(device.Send(request));
    EXPECT_EQ(0, the_can_j6_driver().Initialize(0, 1, 100));
    epld_set_programmed(true);
    EXPECT_EQ(1, the_can_j6_driver().Initialize(0, 1, 100));
    EXPECT_TRUE(device.Send(request));

    EXPECT_FALSE(panel.Send(request));
    EXPECT_EQ(1u, panel.transmit_failures);
    EXPECT_EQ(0, the_can_j6_driver().Send(0x42105, 0, 0, READ_REQUEST, 0)); // length 0
    EXPECT_EQ(0, the_can_j6_driver().Send(0x42105, 0, 8, nullptr, 0));
    the_can_core().UnregisterDevice(&device);
    the_can_core().UnregisterDevice(&panel);
}

TEST_F(CanStack, ABusOffChipIsSetUpAgainBeforeTheNextSend) {
    Networks("can temperature t 42105\n");
    TestDevice device("board", CAN_BUS_LOCAL, 0x42105);
    ASSERT_TRUE(the_can_core().RegisterDevice(&device));
    host::field_command("set can error=busoff");
    uint32_t setups = the_can_j6_driver().Chip().SetUps();
    device.Send(can_packet(0x42105, 0, 8, READ_REQUEST));
    EXPECT_EQ(setups + 1, the_can_j6_driver().Chip().SetUps());
    the_can_core().UnregisterDevice(&device);
}

// Both receive buffers full while the interrupt was held off: one interrupt
// takes both frames, so reception does not stall with INT held low.
TEST_F(CanStack, OneInterruptReadsEveryWaitingFrame) {
    Networks();
    TestDevice device("board", CAN_BUS_LOCAL, 0x42105);
    ASSERT_TRUE(the_can_core().RegisterDevice(&device));
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) & ~CCANJ6Driver::INTERRUPT_SOURCE);
    field::can_field_send(frame(0x42185, 1));
    field::can_field_send(frame(0x42185, 2));
    Pass(2);
    EXPECT_EQ(0u, device.Queued());
    {
        CInterruptLock masked;
        the_can_j6_driver().OnInterrupt();
    }
    EXPECT_EQ(2u, device.Queued());
    EXPECT_EQ(0x00, board::can_controller().Register(0x2C) & 0x03);
    the_can_core().UnregisterDevice(&device);
}

// Probes on the three bus codes of auto-detection: the local network is
// probed twice (codes 1 and 2), the control panel's network refuses the sends.
TEST_F(CanStack, ProbesOfTheThreeBusCodesHearTheLocalBoardsTwice) {
    Networks("can temperature a 42105\ncan temperature b 42221\ncan temperature c 42E01\n"
             "can temperature outside 5B000\n");
    std::vector<std::string> heard;
    for (uint8_t code : AUTO_DETECT_BUS_CODES) {
        CPeripheralDetector* detector = create_peripheral_detector();
        ASSERT_TRUE(detector->Probe(code, can_bus_name_from_code(code), AUTO_DETECT_RANGE_LOW,
                                    AUTO_DETECT_RANGE_HIGH, AUTO_DETECT_PROBE_IDS, 9));
        Pass(50);
        EXPECT_FALSE(detector->Stop());
        uint32_t id = 0;
        uint8_t channel = 0;
        for (bool more = detector->First(&id, &channel); more; more = detector->Next(&id, &channel))
            heard.push_back(std::to_string(code) + ":" + field_hex(id));
        delete detector;
    }
    EXPECT_EQ((std::vector<std::string>{"1:42105", "1:42221", "1:42E01", "2:42105", "2:42221",
                                        "2:42E01"}),
              heard);
    EXPECT_EQ(0u, the_can_core().DeviceCount());
    std::ifstream log(host::can_log_path());
    int identify_frames = 0;
    for (std::string line; std::getline(log, line);)
        if (line.find(" tx ") != std::string::npos &&
            line.find(" 8 02 01 01 00 00 00 00 00") != std::string::npos)
            ++identify_frames;
    EXPECT_EQ(18, identify_frames);
}

TEST_F(CanStack, ADetectorRecordsEachBoardOnceAndOnlyInItsRange) {
    Networks();
    can_detect detector(the_can_core());
    const uint32_t ids[1] = {0x42100};
    ASSERT_TRUE(detector.Probe(1, CAN_BUS_LOCAL, 0x42000, 0x5AFFF, ids, 1));
    EXPECT_FALSE(detector.Probe(1, CAN_BUS_LOCAL, 0x42000, 0x5AFFF, ids, 1)); // already active
    uint32_t id = 0;
    uint8_t channel = 0;
    EXPECT_FALSE(detector.First(&id, &channel)); // not while active
    for (uint32_t reply : {0x42184u, 0x42184u, 0x42080u, 0x5B07Fu, 0x4207Fu, 0x5B080u})
        field::can_field_send(frame(reply, 0x42));
    Pass(3);
    EXPECT_FALSE(detector.Stop());
    std::vector<uint32_t> found;
    for (bool more = detector.First(&id, &channel); more; more = detector.Next(&id, &channel))
        found.push_back(id);
    EXPECT_EQ((std::vector<uint32_t>{0x42000, 0x42104}), found); // lowest identifier first
}

// The silence supervisor's rows: which silent polls reinitialise the driver
// and which one gives the board up, for a whole silence of 100 polls.
TEST(CanSilence, EachKindReinitialisesAndGivesUpByItsRow) {
    struct Case {
        uint8_t class_code, bus_code;
        std::vector<int> reinit_polls;
        int give_up_poll;
    };
    const Case cases[] = {
        {PERIPHERAL_CLASS_LIGHT, 2, {20, 40, 60, 80}, 80}, {PERIPHERAL_CLASS_LIGHT, 1, {}, 80},
        {PERIPHERAL_CLASS_FAN_RPM, 2, {20, 40, 60}, 80},   {PERIPHERAL_CLASS_HUMIDITY, 2, {}, 10},
        {PERIPHERAL_CLASS_TEMPERATURE, 2, {}, 0}, // its timers judge silence
    };
    for (const Case& c : cases) {
        can_silence silence(can_silence_rule_of(c.class_code));
        std::vector<int> reinits;
        int gave_up = 0;
        for (int poll = 1; poll <= 100; ++poll) {
            uint8_t asked = silence.SilentPoll(c.bus_code);
            if (asked & can_silence::REINITIALISE) reinits.push_back(poll);
            if (asked & can_silence::GIVE_UP) gave_up = gave_up ? -1 : poll;
        }
        EXPECT_EQ(c.reinit_polls, reinits) << int(c.class_code) << "/" << int(c.bus_code);
        EXPECT_EQ(c.give_up_poll, gave_up) << int(c.class_code);
    }
}

TEST(CanSilence, AReplyStartsTheCountAgainAndTheLifeBoundHolds) {
    can_silence silence(can_silence_rule_of(PERIPHERAL_CLASS_LIGHT));
    int reinits = 0;
    for (int silence_run = 0; silence_run < 5; ++silence_run) {
        for (int poll = 0; poll < 79; ++poll)
            if (silence.SilentPoll(2) & can_silence::REINITIALISE) ++reinits;
        silence.Heard();
    }
    EXPECT_EQ(10, reinits); // three a silence, ten in the board's life
    EXPECT_EQ(0, silence.SilentPolls());
}

} // namespace
