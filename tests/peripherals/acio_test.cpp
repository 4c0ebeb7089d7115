// AC I/O boards and their multi-point ports on the whole firmware with a
// simulated field board (kind acio): identification by peripheral id, the
// requests with their byte 5, the silence that ends in COMM ERROR, and the
// port's value that selects one output point.
#include "console/monitor_task.h"
#include "peripherals/io/acio.h"
#include "peripherals/peripheral_task.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using test_support::ConsoleText;

const std::string IDENTIFY = "02 01 01 00 00 20 00 00";
const std::string READ = "00 01 01 00 00 20 00 00";

class AcioBoard : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can acio ac1 42300\ncan acio ac2 42301\n";
    }
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200);
    }
    template <class T>
    static std::unique_ptr<T> Make(CPeripheral* (*create)(const PeripheralRecord&,
                                                          const PeripheralParameters&),
                                   uint16_t id, uint8_t class_code, const char* parameters) {
        PeripheralParameters values;
        if (!CPeripheral::ParseParameters(parameters, &values)) return nullptr;
        return std::unique_ptr<T>(static_cast<T*>(create({0, id, class_code, parameters}, values)));
    }
    static std::unique_ptr<ACIO> Board(uint16_t id, const char* parameters) {
        return Make<ACIO>(Create_ACIO, id, PERIPHERAL_CLASS_ACIO, parameters);
    }
    static std::unique_ptr<CAuxIOBidirect> Port(uint16_t id, const char* parameters) {
        return Make<CAuxIOBidirect>(Create_AuxIOBidirect, id, PERIPHERAL_CLASS_AUX_IO_PORT,
                                    parameters);
    }
    // A live board 490 on ac1, polled by the test.
    static ACIO* LiveBoard() {
        ACIO* board = Board(ACIO::BOARD_ID, "42300,1").release();
        if (board == nullptr || !ThePeripheralTask().Registry().Adopt(board)) return nullptr;
        board->SetEnabled(0);
        return board;
    }
    // The frames the sign sent to `id` so far (data bytes).
    static std::vector<std::string> Sent(const std::string& id) {
        std::ifstream log(host::can_log_path());
        std::vector<std::string> frames;
        for (std::string tick, direction, to, rest; log >> tick >> direction >> to;) {
            std::getline(log, rest);
            if (direction == "tx" && to == id) frames.push_back(rest.substr(3));
        }
        return frames;
    }
    static void Polls(CPeripheral& p, int polls) {
        for (int i = 0; i < polls; ++i) {
            p.Poll();
            tx_thread_sleep(5);
        }
    }
    static size_t Count(const std::string& text) {
        size_t n = 0;
        for (size_t at = ConsoleText().find(text); at != std::string::npos;
             at = ConsoleText().find(text, at + 1))
            ++n;
        return n;
    }
};

// Only the board with the peripheral id 490 leaves identification; a reply
// in a phase the board never takes starts it again from identify.
TEST_F(AcioBoard, OnlyBoard490LeavesIdentification) {
    std::unique_ptr<ACIO> board = Board(490, "42300,1");
    std::unique_ptr<ACIO> other = Board(491, "42301,1");
    ASSERT_NE(nullptr, board);
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(CPeripheral::STATE_READING, board->State());
    Polls(*board, 3);
    Polls(*other, 3);
    EXPECT_EQ((std::vector<std::string>{IDENTIFY, READ, READ}), Sent("42300"));
    EXPECT_EQ((std::vector<std::string>{IDENTIFY, IDENTIFY, IDENTIFY}), Sent("42301"));
    EXPECT_EQ(CPeripheral::STATE_VALID, board->State());
    EXPECT_TRUE(board->InputValid());
    EXPECT_EQ(ACIO::PHASE_IDENTIFY, other->Phase());
    EXPECT_EQ(CPeripheral::STATE_READING2, other->State());
    EXPECT_NE(std::string::npos, host::field_command("get ac1").find("dirs=FF,FF,F0,F0"));

    board->SetPhase(3);
    Polls(*board, 1);
    EXPECT_EQ(ACIO::PHASE_IDENTIFY, board->Phase());
    EXPECT_EQ(IDENTIFY, Sent("42300").back());
    Polls(*board, 2);
    EXPECT_EQ(ACIO::PHASE_RUN, board->Phase());
    EXPECT_EQ(nullptr, Board(490, "42300,100")); // no bus code 0x100
}

// The poll after the 80th silent one gives one warning and COMM ERROR, and
// the count starts again.
TEST_F(AcioBoard, ABoardSilentFor80PollsIsACommError) {
    TheMonitorTask().SetTraceLevel(1);
    std::unique_ptr<ACIO> board = Board(490, "42300,1");
    ASSERT_NE(nullptr, board);
    Polls(*board, 3);
    ASSERT_EQ("ok\n", host::field_command("set ac1 silent=1"));
    Polls(*board, 1); // takes the last reply, and its request has none: 1 silent poll
    Polls(*board, 79);
    EXPECT_EQ(CPeripheral::STATE_VALID, board->State());
    EXPECT_EQ(0u, Count("Warning: Comm Timeout 490\n"));
    Polls(*board, 1);
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, board->State());
    EXPECT_EQ(1u, Count("Warning: Comm Timeout 490\n"));
    Polls(*board, 80);
    EXPECT_EQ(1u, Count("Warning: Comm Timeout 490\n"));
    Polls(*board, 1);
    EXPECT_EQ(2u, Count("Warning: Comm Timeout 490\n"));
    ASSERT_EQ("ok\n", host::field_command("set ac1 silent=0"));
    Polls(*board, 2);
    EXPECT_EQ(CPeripheral::STATE_VALID, board->State());
}

// The port's value n drives its n-th point alone; a value above the width
// is reset to 0 in the store and drives nothing; a new port takes up what
// the outputs show.
TEST_F(AcioBoard, APortsValueSelectsOnePoint) {
    ACIO* board = LiveBoard();
    ASSERT_NE(nullptr, board);
    std::unique_ptr<CAuxIOBidirect> port = Port(470, "18,1EA,3"); // points 24-26
    ASSERT_NE(nullptr, port);
    const unsigned row = unsigned(port->AuxRow());
    auto cycle = [&](int count) {
        for (int i = 0; i < count; ++i) {
            Polls(*board, 1);
            port->Poll();
        }
    };
    cycle(5);
    EXPECT_FALSE(port->ReadBackPending());
    EXPECT_EQ(0u, db_get(obj::auxIOPortValue.row(row)));
    db_set(obj::auxIOPortValue.row(row), 2, DB_NOTIFY);
    cycle(3);
    EXPECT_NE(std::string::npos, host::field_command("get ac1").find("outputs=25 "));
    EXPECT_EQ(CPeripheral::STATE_VALID, port->State());

    db_set(obj::auxIOPortValue.row(row), 4, DB_NOTIFY);
    cycle(3);
    EXPECT_EQ(0u, db_get(obj::auxIOPortValue.row(row)));
    EXPECT_NE(std::string::npos, host::field_command("get ac1").find("outputs=none "));

    db_set(obj::auxIOPortValue.row(row), 3, DB_NOTIFY);
    cycle(3);
    port.reset();
    std::unique_ptr<CAuxIOBidirect> again = Port(471, "18,1EA,3");
    ASSERT_NE(nullptr, again);
    for (int i = 0; i < 6; ++i) {
        Polls(*board, 1);
        again->Poll();
    }
    EXPECT_EQ(3u, db_get(obj::auxIOPortValue.row(unsigned(again->AuxRow()))));
}

TEST_F(AcioBoard, APortNeedsAWidthAndAnAcBoard) {
    ACIO* board = LiveBoard();
    ASSERT_NE(nullptr, board);
    EXPECT_EQ(nullptr, Port(470, "18,1EA,A")); // 10 points
    EXPECT_EQ(nullptr, Port(470, "18,1EA,0"));
    EXPECT_EQ(nullptr, Port(470, "28,1EA,2")); // points 40-41 are inputs
    EXPECT_EQ(nullptr, Port(470, "18,1EB,2")); // no board 491
    EXPECT_EQ(nullptr, Port(469, "18,1EA,2"));
    std::unique_ptr<CAuxIOBidirect> port = Port(478, "18,1EA,9");
    ASSERT_NE(nullptr, port);
    EXPECT_EQ(nullptr, Port(477, "20,1EA,1")); // point 32 is the first port's
}

} // namespace
