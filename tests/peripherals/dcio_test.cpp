// DC I/O boards and their bridges on the whole firmware with a simulated
// field board (kind dcio): the request sequence each kind of board and
// revision gets, the trigger masks, the restart a new listener causes, and
// the bridge's claims, refusals, packed reads and output retries.
#include "peripherals/factory.h"
#include "peripherals/io/bridge.h"
#include "peripherals/io/dcio.h"
#include "peripherals/io/pixel_test_board.h"
#include "peripherals/peripheral_task.h"
#include "platform/field/field.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string IDENTIFY = "02 01 01 00 00 00 00 00";
const std::string PORTS = "03 01 01 F0 FF F0 F0 00";
const std::string RESET = "03 01 01 00 00 00 00 07";
const std::string READ = "00 01 01 00 00 00 00 00";

// A peripheral that only counts the board's input reports.
class Listener : public CPeripheral {
  public:
    explicit Listener(uint16_t id = 30) : CPeripheral(0x0A, id) {}
    void Poll() override {}
    void OnEvent(uint32_t) override { ++events; }
    int events = 0;
};

class DcioBoard : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can dcio io1 42230\n";
    }
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200);
    }
    static DCIO* Create(uint16_t id, const char* parameters) {
        PeripheralRecord record{0, id, periph_id_to_class(id), parameters};
        pl_factory factories;
        periph_register_factories(factories);
        CPeripheral* created = nullptr;
        factories.Create(record, &created);
        return static_cast<DCIO*>(created);
    }
    // The frames the sign sent to 42230 so far (data bytes).
    static std::vector<std::string> Sent() {
        std::ifstream log(host::can_log_path());
        std::vector<std::string> frames;
        for (std::string tick, direction, id, rest; log >> tick >> direction >> id;) {
            std::getline(log, rest);
            if (direction == "tx" && id == "42230") frames.push_back(rest.substr(3));
        }
        return frames;
    }
    // `polls` polls of the board, each answered before the next.
    static void Polls(DCIO& board, int polls) {
        for (int i = 0; i < polls; ++i) {
            board.Poll();
            tx_thread_sleep(5);
        }
    }
    // The board joins the live registry, where the bridges find it; the test
    // polls it itself (the peripheral task skips a disabled peripheral).
    static DCIO* Live(DCIO* board) {
        if (board == nullptr || !ThePeripheralTask().Registry().Adopt(board)) return nullptr;
        board->SetEnabled(0);
        return board;
    }
    static std::vector<std::string> Since(size_t mark) {
        std::vector<std::string> all = Sent();
        return std::vector<std::string>(all.begin() + long(mark), all.end());
    }
};

TEST_F(DcioBoard, EachKindOfBoardGetsItsRequestSequence) {
    struct Case {
        const char* name;
        uint16_t id;
        const char* parameters;
        int revision;
        std::vector<std::string> frames; // the first polls' requests
    };
    const Case cases[] = {
        {"revision 4", 52, "42230,F0,FF,F0,F0,2", 4, {IDENTIFY, PORTS, READ, READ}},
        {"revision 5", 52, "42230,F0,FF,F0,F0,2", 5, {IDENTIFY, RESET, PORTS, READ, READ}},
        {"control board", 55, "42230,F0,FF,F0,F0,1", 5, {IDENTIFY, PORTS, READ, READ}},
        {"mini board", 590, "42230,1", 5, {IDENTIFY, READ, READ}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ("ok\n", host::field_command("set io1 rev=" + std::to_string(c.revision)));
        std::unique_ptr<DCIO> board(Create(c.id, c.parameters));
        ASSERT_NE(nullptr, board);
        EXPECT_EQ(CPeripheral::STATE_READING, board->State());
        const size_t mark = Sent().size();
        Polls(*board, int(c.frames.size()));
        EXPECT_EQ(c.frames, Since(mark));
        EXPECT_EQ(CPeripheral::STATE_VALID, board->State());
        EXPECT_TRUE(board->InputValid());
        EXPECT_EQ(DCIO::REQUEST_RUN, board->Request());
    }
    // The simulated board took the port codes the sign sent.
    EXPECT_NE(std::string::npos, host::field_command("get io1").find("dirs=F0,FF,F0,F0"));
    EXPECT_EQ(nullptr, Create(52, "42230,F0,FE,F0,F0,2")); // no port code FE
    EXPECT_EQ(nullptr, Create(52, "42230,F0,1FF,F0,F0,2"));
}

// Polled by the peripheral task: a read every second; a silent board is in
// COMM ERROR after 80 polls and again 80 polls after each answer stops.
TEST_F(DcioBoard, RunsOnThePeripheralTaskAndNoticesSilence) {
    ASSERT_EQ("ok\n", host::field_command("set io1 rev=4"));
    DCIO* board = Create(52, "42230,F0,FF,F0,F0,1");
    ASSERT_NE(nullptr, board);
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(board));
    tx_thread_sleep(500);
    const size_t reads = Sent().size();
    tx_thread_sleep(1000);
    EXPECT_EQ(reads + 10, Sent().size());
    EXPECT_EQ(CPeripheral::STATE_VALID, board->State());
    ASSERT_EQ("ok\n", host::field_command("set io1 silent=1"));
    tx_thread_sleep(7800);
    EXPECT_EQ(CPeripheral::STATE_VALID, board->State());
    tx_thread_sleep(400);
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, board->State());
    ASSERT_EQ("ok\n", host::field_command("set io1 silent=0"));
    tx_thread_sleep(300);
    EXPECT_EQ(CPeripheral::STATE_VALID, board->State());
}

// A revision 5 board sends the trigger masks the bridges registered; a new
// listener starts the board again at identify with its outputs cleared.
TEST_F(DcioBoard, TriggerMasksAndANewListener) {
    ASSERT_EQ("ok\n", host::field_command("set io1 rev=5"));
    DCIO* board = Live(Create(52, "42230,F0,F0,F0,F0,2"));
    ASSERT_NE(nullptr, board);
    Polls(*board, 6);
    ASSERT_EQ(DCIO::REQUEST_RUN, board->Request());
    board->OutputImage()[3] = 0x80;

    Listener door;
    io_bridge bridge;
    ASSERT_TRUE(bridge.Init(52, &door));
    uint32_t points = 0, triggers = 0;
    dcio_point_mask(32, points, true);
    dcio_point_mask(32, triggers, true);
    ASSERT_NE(0u, bridge.Register(interface_cfg(points, 0, triggers, 1)));
    const size_t mark = Sent().size();
    Polls(*board, 6);
    EXPECT_EQ((std::vector<std::string>{IDENTIFY, RESET, "03 01 01 F0 F0 F0 F0 00",
                                        "03 01 01 01 01 00 00 04", READ, READ}),
              Since(mark));
    EXPECT_EQ(0, board->OutputImage()[3]);
    EXPECT_EQ(2, door.events);
}

// Power supplies on a pixel test board read its status bits through the same
// bridge; a DC I/O bridge does not take that board.
TEST_F(DcioBoard, APixelTestBoardsStatusThroughItsBridge) {
    auto* ptb = new CPixelTestBoard(752);
    ASSERT_TRUE(ptb->Init());
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(ptb));
    ptb->SetEnabled(0);
    Listener supply;
    io_bridge wrong;
    EXPECT_FALSE(wrong.Init(752, &supply));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("dcio_bridge::Init: failed to find dcio class"));
    io_bridge bridge(PTB_BRIDGE);
    ASSERT_TRUE(bridge.Init(752, &supply));
    uint32_t mask = 0;
    ptb_point_mask(1, mask, true);
    ptb_point_mask(3, mask, false);
    const uint32_t serial = bridge.Register(interface_cfg(mask, 0, 0, 0));
    ASSERT_NE(0u, serial);
    // Ten measurements with channel 2 (point 3) below 3.1 V fail it.
    for (int measurement = 0; measurement < 10; ++measurement) {
        ptb->Poll(); // identify
        const uint8_t identity[8] = {'B', 1, 1, 0, 0, 0, 1, 0};
        ptb->Receive(can_packet(0, 0, 8, identity));
        ptb->Poll(); // measure
        const uint8_t first[8] = {'@', 1, 1, 0, 120, 120, 20, 120};
        const uint8_t second[8] = {'@', 2, 1, 0, 120, 120, 0, 0};
        ptb->Receive(can_packet(0, 0, 8, first));
        ptb->Receive(can_packet(0, 0, 8, second));
        ptb->Poll(); // the results
    }
    EXPECT_EQ(2u, bridge.Get(serial));
    EXPECT_EQ(0u, bridge.Get(serial + 99));
    bridge.UnRegister(serial);
    EXPECT_EQ(0u, bridge.Get(serial));
}

class Bridge : public DcioBoard {
  protected:
    void SetUp() override {
        DcioBoard::SetUp();
        board_ = Live(Create(52, "42230,F0,FF,F0,F0,1"));
        ASSERT_NE(nullptr, board_);
        ASSERT_TRUE(bridge_a_.Init(52, &owner_a_));
        ASSERT_TRUE(bridge_b_.Init(52, &owner_b_));
        Polls(*board_, 4);
    }
    static uint32_t Mask(std::initializer_list<uint32_t> points) {
        uint32_t mask = 0;
        for (uint32_t p : points)
            dcio_point_mask(p, mask, false);
        return mask;
    }
    DCIO* board_ = nullptr;
    Listener owner_a_{30}, owner_b_{31};
    io_bridge bridge_a_, bridge_b_;
};

TEST_F(Bridge, RefusesConflictsAndWrongDirections) {
    ASSERT_NE(0u, bridge_a_.Register(interface_cfg(Mask({24}), 0, 0, 0)));
    struct Case {
        const char* text; // the console line of the refusal ("" accepted)
        uint32_t points;
        uint8_t write, override_;
        uint32_t triggers;
    };
    const Case cases[] = {
        {"conflict found", Mask({24}), 0, 0, 0},
        {"cannot register read-only override access because write access flag was set", Mask({24}),
         1, 1, 0},
        {"cannot register input on output port", Mask({32}), 0, 0, 0},
        {"cannot register output on input port", Mask({40}), 1, 0, 0},
        {"cannot configure trigger on output port", Mask({33}), 1, 0, Mask({33})},
        {"", Mask({24}), 0, 1, 0}, // read-only override watches a claimed point
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        interface_cfg set(c.points, c.write, c.triggers, c.triggers ? 1 : 0);
        set.read_only_override = c.override_;
        const uint8_t claimed = board_->ClaimedPoints()[4];
        uint32_t serial = bridge_b_.Register(set);
        if (*c.text == 0) {
            EXPECT_EQ(set.serial, serial);
        } else {
            EXPECT_EQ(0u, serial);
            EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                             std::string("dcio_bridge::Register: ") + c.text));
            EXPECT_EQ(claimed, board_->ClaimedPoints()[4]);
        }
    }
    EXPECT_EQ(0x01, board_->ClaimedPoints()[3]);
}

TEST_F(Bridge, ReadsPackedPointsAndSendsOutputsOnce) {
    ASSERT_EQ("ok\n", host::field_command("set io1 open=40"));
    Polls(*board_, 2);
    uint32_t input = bridge_a_.Register(interface_cfg(Mask({24, 40}), 0, 0, 0));
    ASSERT_NE(0u, input);
    EXPECT_EQ(2u, bridge_a_.Get(input));
    EXPECT_EQ(2, bridge_a_.CountPoints(input));
    EXPECT_EQ(0x40, bridge_a_.FirstInputByte());
    EXPECT_TRUE(bridge_a_.IsInputValid());
    EXPECT_EQ(0u, bridge_a_.Get(input + 1000));

    uint32_t output = bridge_b_.Register(interface_cfg(Mask({33, 34}), 1, 0, 0));
    ASSERT_NE(0u, output);
    bridge_b_.Set(output, 0x1);
    EXPECT_EQ(1, bridge_b_.PointSet(output)->send_pending);
    bridge_b_.Process();
    EXPECT_EQ(0x02, board_->OutputImage()[4]);
    const size_t mark = Sent().size();
    Polls(*board_, 2);
    EXPECT_EQ((std::vector<std::string>{"01 01 01 00 02 00 00 00", READ}), Since(mark));
    EXPECT_NE(std::string::npos, host::field_command("get io1").find("outputs=33 "));
    bridge_b_.Set(output, 0x1);
    EXPECT_EQ(0, bridge_b_.PointSet(output)->send_pending);

    // An input tied to the output is made (0) while the output is on.
    ASSERT_EQ("ok\n", host::field_command("set io1 tie=26:33"));
    uint32_t tied = bridge_a_.Register(interface_cfg(Mask({26}), 0, 0, 0));
    Polls(*board_, 2);
    EXPECT_EQ(0u, bridge_a_.Get(tied));
    bridge_b_.Set(output, 0);
    bridge_b_.Process();
    Polls(*board_, 3); // the outputs, then a read and its report
    EXPECT_EQ(1u, bridge_a_.Get(tied));
    EXPECT_EQ(0, host::field_command("set io1 open=23").find("error: points must be"));
    EXPECT_EQ(0, host::field_command("set io1 tie=26").find("error: tie must be"));
    bridge_a_.UnRegister(tied);

    // Unregistered points are free for another set.
    bridge_b_.UnRegister(output);
    EXPECT_EQ(0, board_->ClaimedPoints()[4]);
    EXPECT_NE(0u, bridge_a_.Register(interface_cfg(Mask({33, 34}), 1, 0, 0)));
}

// A board that does not report its outputs back: the desired state is sent
// again 10 polls of the owner after the change, then every 11.
TEST_F(Bridge, UnconfirmedOutputsAreSentAgain) {
    ASSERT_EQ("ok\n", host::field_command("set io1 echo=0"));
    uint32_t output = bridge_a_.Register(interface_cfg(Mask({32}), 1, 0, 0));
    bridge_a_.Set(output, 1);
    const size_t mark = Sent().size();
    for (int i = 0; i < 23; ++i) {
        bridge_a_.Process();
        Polls(*board_, 1);
    }
    std::vector<size_t> sends;
    std::vector<std::string> sent = Since(mark);
    for (size_t i = 0; i < sent.size(); ++i)
        if (sent[i].compare(0, 2, "01") == 0) sends.push_back(i);
    EXPECT_EQ((std::vector<size_t>{0, 10, 21}), sends);
}

TEST(BridgePointMasks, DcioAndPixelTestBoardRules) {
    struct Case {
        uint32_t point, dcio, ptb;
    };
    const Case cases[] = {{0, 0, 0},
                          {1, 0, 1},
                          {23, 0, 1u << 22},
                          {24, 1, 1u << 23},
                          {32, 1u << 8, 1u << 31},
                          {33, 1u << 9, 0},
                          {55, 1u << 31, 0},
                          {56, 0, 0}};
    for (const Case& c : cases) {
        uint32_t dcio = 0xFFFF, ptb = 0xFFFF;
        dcio_point_mask(c.point, dcio, true);
        ptb_point_mask(c.point, ptb, true);
        EXPECT_EQ(c.dcio, dcio) << c.point;
        EXPECT_EQ(c.ptb, ptb) << c.point;
    }
    interface_cfg a, b(1, 0, 0, 0);
    EXPECT_NE(0u, a.serial);
    EXPECT_EQ(a.serial + 1, b.serial);
    EXPECT_EQ(0x01, b.points[3]);
}

} // namespace
