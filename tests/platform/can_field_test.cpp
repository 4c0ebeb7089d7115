// The CAN field from the sign's side: the controller chip driven only by bus
// reads and writes as the driver clocks them through the bus logic's SPI
// port, the simulated boards answering on the kernel clock, the control
// commands, the frame log, the frequency input and the board temperature.
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/field/field.h"
#include "platform/kernel/host.h"
#include "platform/monitor/monitor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Chip registers and bits the driver uses.
enum : uint8_t {
    CANSTAT = 0x0E,
    CANCTRL = 0x0F,
    CNF3 = 0x28,
    CNF2 = 0x29,
    CNF1 = 0x2A,
    CANINTE = 0x2B,
    CANINTF = 0x2C,
    EFLG = 0x2D,
    TXB0CTRL = 0x30,
    RXB0CTRL = 0x60,
    RXB1CTRL = 0x70,
};
const uint32_t CAN_SOURCE = 0x4, FREQUENCY_SOURCE = 0x2;

// The SPI port of the bus logic, one byte at a time as the driver does it:
// data, then the start bit's rising edge, then start cleared.
void spi(uint16_t value) {
    bus_write16(BUS_LOGIC_SPI_CONTROL, value);
}
void spi_out(uint8_t byte) {
    spi(byte);
    spi(uint16_t(byte | 0x0800));
    EXPECT_TRUE(bus_read16(BUS_LOGIC_STATUS) & 0x0100);
    spi(byte);
}
uint8_t spi_in() {
    spi(0x0400);
    spi(0x0C00);
    uint8_t in = uint8_t(bus_read16(BUS_LOGIC_STATUS));
    spi(0x0400);
    return in;
}
void deselect() {
    spi(0x0200);
}

uint8_t read_reg(uint8_t address) {
    spi_out(0x03);
    spi_out(address);
    uint8_t v = spi_in();
    deselect();
    return v;
}
void write_regs(uint8_t address, const std::vector<uint8_t>& values) {
    spi_out(0x02);
    spi_out(address);
    for (uint8_t v : values)
        spi_out(v);
    deselect();
}
void write_reg(uint8_t address, uint8_t value) {
    write_regs(address, {value});
}
void bit_modify(uint8_t address, uint8_t mask, uint8_t data) {
    for (uint8_t b : {uint8_t(0x05), address, mask, data})
        spi_out(b);
    deselect();
}
uint8_t read_status() {
    spi_out(0xA0);
    uint8_t v = spi_in();
    deselect();
    return v;
}
void chip_reset() {
    spi_out(0xC0);
    deselect();
}

// The driver's set-up: bit rate code 6, every frame received, normal mode,
// interrupts on reception, roll-over into buffer 1, source 0x4 falling-edge.
void chip_setup() {
    chip_reset();
    write_regs(CNF3, {0x02, 0x90, 0x09});
    for (uint8_t a = 0x20; a < 0x28; ++a)
        write_reg(a, 0);
    for (uint8_t a : {0x08, 0x09, 0x0A, 0x0B, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18,
                      0x19, 0x1A, 0x1B})
        write_reg(a, 0xFF);
    write_reg(CANCTRL, 0x0F);
    write_reg(CANINTE, 0x03);
    write_reg(RXB0CTRL, 0x04);
    write_reg(RXB1CTRL, 0x00);
    write_reg(CANINTF, 0x00);
    for (uint8_t t : {0x30, 0x40, 0x50})
        write_reg(t, 0x03);
    dcr_write(DCR_UIC0_PR, dcr_read(DCR_UIC0_PR) & ~CAN_SOURCE);
    dcr_write(DCR_UIC0_TR, dcr_read(DCR_UIC0_TR) | CAN_SOURCE);
    dcr_write(DCR_UIC0_SR, CAN_SOURCE);
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) | CAN_SOURCE);
}

// An extended request in transmit buffer 0, then TXREQ.
void send(uint32_t id, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> image = {uint8_t(id >> 21),
                                  uint8_t(((id >> 13) & 0xE0) | 0x08 | ((id >> 16) & 0x03)),
                                  uint8_t(id >> 8), uint8_t(id), uint8_t(data.size())};
    image.insert(image.end(), data.begin(), data.end());
    image.resize(13, 0);
    write_regs(TXB0CTRL + 1, image);
    write_reg(TXB0CTRL, read_reg(TXB0CTRL) | 0x08);
}

struct Received {
    uint32_t id;
    uint8_t dlc;
    std::vector<uint8_t> data;
};
// Receive buffer n as the driver reads it, then its flag cleared.
Received receive(int n) {
    uint8_t base = n == 0 ? 0x61 : 0x71;
    uint8_t r[13];
    for (int i = 0; i < 13; ++i)
        r[i] = read_reg(uint8_t(base + i));
    Received out;
    out.id = r[3] | r[2] << 8 | (r[1] & 0x03) << 16 | (r[1] & 0xE0) << 13 | uint32_t(r[0]) << 21;
    out.dlc = r[4] & 0x0F;
    out.data.assign(r + 5, r + 13);
    bit_modify(CANINTF, uint8_t(n == 0 ? 0x01 : 0x02), 0x00);
    return out;
}

// Lets `ticks` ticks pass, and what they brought be taken.
void pass(ULONG ticks) {
    tx_thread_sleep(ticks);
    host::run_until_idle();
}

const std::vector<uint8_t> READ = {0x00, 0x01, 0x01, 0, 0, 0, 0, 0};
const std::vector<uint8_t> IDENTIFY = {0x02, 0x01, 0x01, 0, 0, 0, 0, 0};

int g_can_edges = 0;
int g_pulses = 0;
void dispatcher() {
    uint32_t pending = dcr_read(DCR_UIC0_MSR);
    if (pending & CAN_SOURCE) ++g_can_edges;
    if (pending & FREQUENCY_SOURCE) ++g_pulses;
    dcr_write(DCR_UIC0_SR, pending);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class CanField : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/can_field_test_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        options_.field_file = options_.state_dir + "/field.txt";
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(nullptr, 0);
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
        g_can_edges = g_pulses = 0;
        board_set_external_interrupt_handler(dispatcher);
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
    std::vector<std::string> Log() {
        std::ifstream in(host::can_log_path());
        std::stringstream text;
        text << in.rdbuf();
        return lines_of(text.str());
    }
    host::HostOptions options_;
};

TEST_F(CanField, ResetGivesConfigurationModeAndTheControlWriteNormalMode) {
    Field("");
    chip_reset();
    EXPECT_EQ(0x80, read_reg(CANSTAT));
    EXPECT_EQ(0x87, read_reg(CANCTRL));
    EXPECT_EQ(0x80, read_reg(0x5E)); // CANSTAT answers in every row
    write_regs(CNF3, {0x02, 0x90, 0x09});
    write_reg(CANCTRL, 0x0F);
    EXPECT_EQ(0x00, read_reg(CANSTAT) & 0xE0);
    write_reg(CNF1, 0x13); // bit timing takes writes in configuration mode only
    EXPECT_EQ(0x09, read_reg(CNF1));
    write_reg(CANCTRL, 0x4F); // loopback
    EXPECT_EQ(0x40, read_reg(CANSTAT) & 0xE0);
    chip_reset();
    EXPECT_EQ(0x80, read_reg(CANSTAT) & 0xE0);
    EXPECT_EQ(0x00, read_reg(CNF1));
}

TEST_F(CanField, ATemperatureBoardAnswersFromItsIdentifierPlus0x80) {
    Field("can temperature sign1 42105 temp=83 rev=258\ncan temperature sign2 42106 latency=5\n");
    chip_setup();
    send(0x42105, READ);
    EXPECT_EQ(0x08, read_status() & 0x0C); // sent: TXREQ clear, TX0IF set
    host::run_until_idle();
    EXPECT_EQ(0, g_can_edges); // the reply is a tick away
    pass(1);
    EXPECT_EQ(1, g_can_edges);
    EXPECT_EQ(0x01, read_status() & 0x03);
    Received r = receive(0);
    EXPECT_EQ(0x42185u, r.id);
    EXPECT_EQ(8, r.dlc);
    EXPECT_EQ((std::vector<uint8_t>{0x40, 0x01, 0x01, 0x53, 0, 0, 0, 0}), r.data);

    send(0x42105, IDENTIFY);
    pass(1);
    EXPECT_EQ((std::vector<uint8_t>{0x42, 0x01, 0x01, 0, 0, 0x01, 0x02, 0}), receive(0).data);

    send(0x42106, READ); // latency 5 ticks
    pass(4);
    EXPECT_EQ(0, read_status() & 0x03);
    pass(1);
    EXPECT_EQ(0x42186u, receive(0).id);

    std::vector<std::string> log = Log();
    ASSERT_EQ(6u, log.size());
    EXPECT_EQ("0 tx 42105 8 00 01 01 00 00 00 00 00", log[0]);
    EXPECT_EQ("1 rx 42185 8 40 01 01 53 00 00 00 00", log[1]);
}

// A group identify reaches every board of the kind; replies arrive lowest
// identifier first, into buffer 0 and rolling over into buffer 1; a third
// with both full is lost to the overflow flag, and INT, already low, gives
// no second edge.
TEST_F(CanField, AGroupIdentifyIsAnsweredByEveryBoardOfTheKind) {
    Field("can temperature t3 42108\ncan light front 42005\ncan temperature t1 42104\n");
    chip_setup();
    send(0x42100, IDENTIFY);
    pass(1);
    EXPECT_EQ(1, g_can_edges);
    EXPECT_EQ(0x03, read_status() & 0x03);
    EXPECT_EQ(0, read_reg(EFLG));
    EXPECT_EQ(0x42184u, receive(0).id);
    EXPECT_EQ(0x42188u, receive(1).id);

    std::string error;
    ASSERT_TRUE(host::field_line("can temperature t2 42105", error)) << error;
    g_can_edges = 0;
    send(0x42100, IDENTIFY);
    pass(1);
    EXPECT_EQ(1, g_can_edges);
    EXPECT_EQ(0x80, read_reg(EFLG)); // RX1OVR
    EXPECT_EQ(0x23, read_reg(CANINTF) & 0x23);
    EXPECT_EQ(0x42184u, receive(0).id);
    EXPECT_EQ(0x42185u, receive(1).id);
    bit_modify(EFLG, 0x80, 0x00);
    EXPECT_EQ(0, read_reg(EFLG));

    send(0x42000, IDENTIFY); // INT went high: the next frame is a new edge
    pass(1);
    EXPECT_EQ(2, g_can_edges);
    EXPECT_EQ(0x42085u, receive(0).id);
}

TEST_F(CanField, ASilentBoardAnswersNothingAndBusOffIsReadBack) {
    Field("can humidity hum 42901 rh=40 second=7 silent=1\n");
    chip_setup();
    send(0x42901, READ);
    pass(10);
    EXPECT_EQ(0, read_status() & 0x03);
    EXPECT_EQ("ok\n", host::field_command("set hum silent=0"));
    send(0x42901, READ);
    pass(1);
    EXPECT_EQ((std::vector<uint8_t>{0x40, 1, 1, 40, 0, 7, 0, 0}), receive(0).data);

    EXPECT_EQ("ok\n", host::field_command("set can error=busoff"));
    EXPECT_EQ("can error=busoff\nok\n", host::field_command("get can"));
    EXPECT_EQ(0x30, read_reg(EFLG) & 0x38); // TXBO and TXEP: the driver sets up again
    send(0x42901, READ);
    EXPECT_EQ(0x04, read_status() & 0x04); // bus off: it stays pending
    chip_reset();
    EXPECT_EQ(0, read_reg(EFLG));
    EXPECT_EQ("can error=none\nok\n", host::field_command("get can"));
    EXPECT_EQ("ok\n", host::field_command("set can error=passive"));
    EXPECT_EQ(0x18, read_reg(EFLG) & 0x38);
    EXPECT_EQ(0x80, read_reg(0x1C)); // TEC
}

// A bit timing other than the field's puts nothing on the bus: the request
// stays pending with TXERR set.
TEST_F(CanField, AWrongBitRateReachesNoBoard) {
    Field("can temperature sign1 42105\n");
    chip_setup();
    write_reg(CANCTRL, 0x8F);
    write_reg(CNF1, 0x07); // rate code 5
    write_reg(CANCTRL, 0x0F);
    send(0x42105, READ);
    pass(2);
    EXPECT_EQ(0x18, read_reg(TXB0CTRL) & 0x18);
    EXPECT_EQ(0, read_status() & 0x03);
    EXPECT_TRUE(Log().empty());
}

// The chip reports a length code up to 15 as received; eight data registers
// hold the bytes, so a driver must clamp it.
TEST_F(CanField, ALengthCodeAbove8IsReportedAsReceived) {
    Field("");
    chip_setup();
    board::CanFrame frame;
    frame.id = 0x42190;
    frame.dlc = 15;
    for (int i = 0; i < 8; ++i)
        frame.data[i] = uint8_t(0xA0 + i);
    host::can_field_send(frame);
    pass(1);
    Received r = receive(0);
    EXPECT_EQ(15, r.dlc);
    EXPECT_EQ(0xA7, r.data[7]);
    EXPECT_EQ("0 rx 42190 15 A0 A1 A2 A3 A4 A5 A6 A7", Log().at(0));
}

TEST_F(CanField, ControlCommandsChangeTheFieldOrRefuseAndLeaveIt) {
    Field("can temperature sign1 42105 temp=83\ncan light front 42005 raw=500 level=100\n"
          "can rpm fan1 42521 rpm=1200\nboard temperature -5\n");
    EXPECT_EQ("sign1 temperature 42105 rev=1 silent=0 latency=1 bus=local temp=83\n"
              "front light 42005 rev=1 silent=0 latency=1 bus=local raw=500 level=100\n"
              "fan1 rpm 42521 rev=1 silent=0 latency=1 bus=local rpm=1200 follows=none\nok\n",
              host::field_command("list"));
    EXPECT_EQ("ok\n", host::field_command("set sign1 temp=85 rev=3"));
    EXPECT_EQ("sign1 temperature 42105 rev=3 silent=0 latency=1 bus=local temp=85\nok\n",
              host::field_command("get sign1"));
    struct {
        std::string command, reply;
    } refused[] = {
        {"set nosuch temp=1", "error: no board nosuch\n"},
        {"set sign1 temp=abc", "error: temp must be a number -128 to 127\n"},
        {"set sign1 rev=9 temp=200", "error: temp must be a number -128 to 127\n"},
        {"set sign1 level=3",
         "error: no key 'level' on a temperature board (rev, silent, latency, bus, temp)\n"},
        {"set sign1 bus=nowhere", "error: bus must be local or panel\n"},
        {"set fan1 follows=sign1.1", "error: sign1 is no I/O board\n"},
        {"set fan1 follows=nobody.1", "error: no board nobody\n"},
        {"set board temperature=128", "error: temperature must be a number -128 to 127\n"},
        {"set can error=broken", "error: set can takes error=none|passive|busoff\n"},
        {"set sign1", "error: unknown command (list; get NAME; set NAME key=value ...)\n"},
        {"", "error: unknown command (list; get NAME; set NAME key=value ...)\n"},
        {"get sign1 " + std::string(600, 'x'),
         "error: the line is too long (512 characters at most)\n"},
    };
    for (const auto& c : refused)
        EXPECT_EQ(c.reply, host::field_command(c.command)) << c.command;
    EXPECT_EQ("sign1 temperature 42105 rev=3 silent=0 latency=1 bus=local temp=85\nok\n",
              host::field_command("get sign1"));

    EXPECT_EQ("board temperature=-5 frequency=0\nok\n", host::field_command("get board"));
    EXPECT_EQ(-5, mon_boardtemp());
    EXPECT_EQ("ok\n", host::field_command("set board temperature=-40"));
    EXPECT_EQ(-40, int8_t(mon_boardtemp()));
}

TEST_F(CanField, TheFieldFileNamesItsFirstBadCanLine) {
    struct {
        const char* text;
        const char* error; // after "FILE:"
    } cases[] = {
        {"can temperature\n", "1: can needs KIND NAME ID [key=value ...]"},
        {"can lamp l1 42000\n",
         "1: unknown CAN board kind 'lamp' (temperature, light, humidity, rpm, dcio, ptb, acio)"},
        {"can light l1 4200G\n", "1: bad identifier '4200G' (hex, 0 to 1FFFFF7F)"},
        {"can light l1 1FFFFFFF\n", "1: bad identifier '1FFFFFFF' (hex, 0 to 1FFFFF7F)"},
        {"can light l1 42001\ncan light l1 42002\n", "2: a board named l1 exists"},
        {"can light board 42001\n", "1: the name board is reserved"},
        {"can light a.b 42001\n", "1: bad board name 'a.b' (1 to 24 letters, digits, _ or -)"},
        {"can light l1 42001 raw=70000\n", "1: raw must be a number 0 to 65535"},
        {"can light l1 42001 raw\n", "1: 'raw' is no key=value"},
        {"can light l1 42001 colour=red\n",
         "1: no key 'colour' on a light board (rev, silent, latency, bus, raw, level)"},
        {"board temperature hot\n", "1: temperature must be a number -128 to 127"},
        {"board colour 3\n", "1: board needs temperature C or frequency HZ"},
    };
    for (const auto& c : cases) {
        std::ofstream(options_.field_file) << c.text;
        std::string error;
        EXPECT_FALSE(host::field_start(options_, error)) << c.text;
        EXPECT_EQ(options_.field_file + ":" + c.error, error) << c.text;
    }
}

// Edges at the field's rate reach source 0x2 only while it is enabled.
TEST_F(CanField, TheFrequencyInputCountsOnlyWhileItsSourceIsEnabled) {
    Field("board frequency 400\n");
    dcr_write(DCR_UIC0_TR, FREQUENCY_SOURCE);
    pass(25);
    EXPECT_EQ(0, g_pulses);
    dcr_write(DCR_UIC0_ER, FREQUENCY_SOURCE);
    pass(25);
    EXPECT_EQ(100, g_pulses);
    dcr_write(DCR_UIC0_ER, 0);
    pass(25);
    EXPECT_EQ(100, g_pulses);
    EXPECT_EQ("ok\n", host::field_command("set board frequency=40"));
    dcr_write(DCR_UIC0_ER, FREQUENCY_SOURCE);
    pass(50);
    EXPECT_EQ(120, g_pulses);
    EXPECT_EQ(0, g_can_edges);
}

// Past 4 MB the frame log moves to can.log.1 and starts again.
TEST_F(CanField, TheFrameLogRotatesPast4MB) {
    Field("");
    board::CanFrame frame;
    frame.id = 0x42190;
    frame.dlc = 8;
    const size_t line = std::string("0 rx 42190 8 00 00 00 00 00 00 00 00\n").size();
    const size_t limit = 4u << 20, frames = limit / line + 10;
    for (size_t i = 0; i < frames; ++i)
        host::can_field_send(frame);
    host::run_until_idle();
    size_t rotated = std::filesystem::file_size(host::can_log_path() + ".1");
    EXPECT_GE(rotated, limit);
    EXPECT_LT(rotated, limit + line);
    EXPECT_EQ(frames, rotated / line + Log().size());
}

} // namespace
