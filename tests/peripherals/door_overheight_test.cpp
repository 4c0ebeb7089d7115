// Doors and overheight detectors on a DC I/O board of the simulated field:
// the door status objects, bits and trap; the emergency request rows of the
// detectors; a board that falls silent; deleting the point peripherals.
#include "comm/agents/trap_raise.h"
#include "peripherals/factory.h"
#include "peripherals/io/dcio.h"
#include "peripherals/io/door_sensor.h"
#include "peripherals/io/overheight_detector.h"
#include "peripherals/peripheral_task.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/display/activation_fixture.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const uint32_t DOOR_BIT = 0x2000, STATUS_WORD_DOOR = 0x2;

const std::string ZEROS = "00 00 00 00 00 00 00 00 00 00 00 00";

int door_traps = 0;

class PointPeripherals : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can dcio io2 42231\n";
    }
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200);
        door_traps = 0;
        set_trap_sink([](uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind*) {
            if (generic == TRAP_ENTERPRISE_SPECIFIC && specific == 3 && count == 2) ++door_traps;
        });
        // The board is live (the point peripherals find it there); the test
        // polls it itself.
        board_ = static_cast<DCIO*>(Create(50, "42231,F0,F0,F0,F0,1"));
        ASSERT_NE(nullptr, board_);
        ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(board_));
        board_->SetEnabled(0);
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        FirmwareFixture::TearDown();
    }
    static CPeripheral* Create(uint16_t id, const char* parameters, uint16_t slot = 0) {
        PeripheralRecord record{slot, id, periph_id_to_class(id), parameters};
        pl_factory factories;
        periph_register_factories(factories);
        CPeripheral* created = nullptr;
        factories.Create(record, &created);
        return created;
    }
    // The field sets the contacts; four polls of the board bring the report
    // (also to a board that starts again at identify).
    void Contacts(const std::string& settings, int polls = 4) {
        if (!settings.empty()) {
            ASSERT_EQ("ok\n", host::field_command("set io2 " + settings));
        }
        for (int i = 0; i < polls; ++i) {
            board_->Poll();
            tx_thread_sleep(5);
        }
    }
    static uint32_t StatusWordDoor() { return db_get(obj::quorvelObj1_1_20_7) & STATUS_WORD_DOOR; }
    static uint32_t ShortDoor() { return db_get(obj::shortErrorStatus) & DOOR_BIT; }
    static std::string Row(unsigned row) {
        uint8_t bytes[16] = {};
        uint32_t length = 0;
        db_get_string_copy(obj::activationRequestCode.row(row), bytes, sizeof bytes, &length);
        std::string text;
        char hex[4];
        for (uint32_t i = 0; i < length; ++i) {
            std::snprintf(hex, sizeof hex, "%s%02X", i ? " " : "", bytes[i]);
            text += hex;
        }
        return text;
    }
    DCIO* board_ = nullptr;
};

TEST_F(PointPeripherals, ADoorOpensWithOneTrapAndClosesWithout) {
    std::unique_ptr<CDoorSensor> door(static_cast<CDoorSensor*>(Create(30, "18,32", 1)));
    ASSERT_NE(nullptr, door);
    EXPECT_EQ(CPeripheral::STATE_READING, door->State());
    EXPECT_EQ(1, door->DoorNumber());
    Contacts("");
    EXPECT_EQ(CDoorSensor::DOOR_CLOSED, door->DoorState());
    EXPECT_EQ(CPeripheral::STATE_VALID, door->State());

    Contacts("open=24");
    EXPECT_EQ(0x01u, db_get(obj::dmsStatDoorOpen));
    EXPECT_EQ(DOOR_BIT, ShortDoor());
    EXPECT_EQ(STATUS_WORD_DOOR, StatusWordDoor());
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(unsigned(door->AuxRow()))));
    EXPECT_STREQ("DOOR SWITCH 1",
                 db_get_string(obj::auxIOPortDescription.row(unsigned(door->AuxRow()))));
    Contacts("", 4);
    EXPECT_EQ(1, door_traps);

    Contacts("closed=24");
    EXPECT_EQ(0u, db_get(obj::dmsStatDoorOpen));
    EXPECT_EQ(0u, ShortDoor());
    EXPECT_EQ(0u, StatusWordDoor());
    Contacts("open=24");
    EXPECT_EQ(2, door_traps);
}

TEST_F(PointPeripherals, TwoDoorsAndOneCloses) {
    std::unique_ptr<CPeripheral> door1(Create(30, "18,32", 1));
    std::unique_ptr<CPeripheral> door2(Create(31, "19,32", 2));
    ASSERT_NE(nullptr, door1);
    ASSERT_NE(nullptr, door2);
    EXPECT_EQ(nullptr, Create(32, "18,32", 3)); // point 24 is door 1's
    EXPECT_EQ(nullptr, Create(32, "17,32", 3)); // no point 23 on the board
    EXPECT_EQ(nullptr, Create(32, "1A,33", 3)); // no board 51
    EXPECT_EQ(nullptr, Create(32, "1A,A", 3));  // peripheral 10 is no I/O board
    Contacts("open=24-25");
    EXPECT_EQ(0x03u, db_get(obj::dmsStatDoorOpen));
    EXPECT_EQ(2, door_traps);
    Contacts("closed=24");
    EXPECT_EQ(0x02u, db_get(obj::dmsStatDoorOpen));
    EXPECT_EQ(DOOR_BIT, ShortDoor());
    EXPECT_EQ(0u, StatusWordDoor());
    // Deleting the last open door clears the door bit.
    door2.reset();
    EXPECT_EQ(0u, db_get(obj::dmsStatDoorOpen));
    EXPECT_EQ(0u, ShortDoor());
}

// A board that stops answering opens the door, at every poll, without a
// trap; the next report of a shut door closes it.
TEST_F(PointPeripherals, ASilentBoardOpensTheDoorWithoutATrap) {
    std::unique_ptr<CPeripheral> door(Create(30, "18,32", 1));
    ASSERT_NE(nullptr, door);
    Contacts("");
    Contacts("silent=1", 81);
    ASSERT_EQ(CPeripheral::STATE_COMM_ERROR, board_->State());
    door->Poll();
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, door->State());
    EXPECT_EQ(0x01u, db_get(obj::dmsStatDoorOpen));
    EXPECT_EQ(DOOR_BIT, ShortDoor());
    EXPECT_EQ(0, door_traps);
    Contacts("silent=0");
    EXPECT_EQ(0u, db_get(obj::dmsStatDoorOpen));
    EXPECT_EQ(0u, ShortDoor());
    EXPECT_EQ(0, door_traps);
}

TEST_F(PointPeripherals, OverheightDetectorsRequestTheEmergencyMessage) {
    const uint8_t emergency[5] = {0x03, 0x00, 0x05, 0x12, 0x34};
    ASSERT_EQ(DB_OK, db_set_string(obj::halvEmergencyMessage, emergency, 5, 0));
    db_set(obj::changeableMsgCRC.row(11), 0xBEEF, DB_NO_VALIDATE);
    std::unique_ptr<COverheightDetector> first(
        static_cast<COverheightDetector*>(Create(500, "18,32,0,0", 1)));
    ASSERT_NE(nullptr, first);
    first->OnEvent(0); // no report yet: nothing, not even the state
    EXPECT_EQ(CPeripheral::STATE_READING, first->State());
    // Inverted, changeable message 12: a made contact (0) trips it.
    std::unique_ptr<COverheightDetector> second(
        static_cast<COverheightDetector*>(Create(501, "19,32,1,C", 2)));
    ASSERT_NE(nullptr, second);
    Contacts("");
    EXPECT_EQ(CPeripheral::STATE_VALID, first->State());
    EXPECT_EQ(COverheightDetector::DETECTOR_IDLE, first->DetectorState());
    EXPECT_EQ("FF FF FF 03 00 0C BE EF 00 00 00 00", Row(1));

    Contacts("open=24-25");
    EXPECT_EQ("FF FF FF 03 00 05 12 34 00 00 00 00", Row(0));
    EXPECT_EQ(1u, db_get(obj::activationRequestState.row(0)));
    EXPECT_EQ(6u, db_get(obj::activationRequestSource.row(0)));
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(unsigned(first->AuxRow()))));
    EXPECT_EQ(ZEROS, Row(1));

    Contacts("closed=24");
    EXPECT_EQ(ZEROS, Row(0));
    EXPECT_EQ(COverheightDetector::DETECTOR_IDLE, first->DetectorState());

    // A detector deleted while tripped withdraws its request.
    Contacts("closed=25");
    EXPECT_EQ("FF FF FF 03 00 0C BE EF 00 00 00 00", Row(1));
    second.reset();
    EXPECT_EQ(ZEROS, Row(1));
}

TEST_F(PointPeripherals, AnUnreadableEmergencyMessageOrABadNumber) {
    ASSERT_EQ(DB_OK, db_set_string(obj::halvEmergencyMessage, "\x03\x00", 2, DB_NO_VALIDATE));
    std::unique_ptr<COverheightDetector> detector(
        static_cast<COverheightDetector*>(Create(500, "18,32,0,0", 1)));
    ASSERT_NE(nullptr, detector);
    Contacts("open=24");
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("Error reading halvEmergencyMessage\n"));
    EXPECT_EQ(COverheightDetector::DETECTOR_TRIPPED, detector->DetectorState());
    EXPECT_EQ(ZEROS, Row(0));
    // Message numbers past the changeable message table are refused.
    EXPECT_EQ(nullptr, Create(501, "19,32,0,227", 2));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("OVERHEIGHT02: message 551 is not a changeable"));
    EXPECT_NE(nullptr, std::unique_ptr<CPeripheral>(Create(501, "19,32,0,226", 2)));
}

} // namespace

namespace {

using namespace display_test;

// The sign shows the detectors' messages: OVERHEIGHT01's row wins while both
// are tripped, and OVERHEIGHT02's message comes back when the first releases.
class OverheightOnTheSign : public Activation {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can dcio io2 42231\n";
    }
    void Polls(DCIO& board, const std::string& settings) {
        ASSERT_EQ("ok\n", host::field_command("set io2 " + settings));
        for (int i = 0; i < 4; ++i) {
            board.Poll();
            tx_thread_sleep(5);
        }
        tx_thread_sleep(SECOND);
    }
};

TEST_F(OverheightOnTheSign, TheFirstDetectorsMessageWins) {
    ASSERT_EQ(uint32_t(MSG_STATUS_VALID), Store(1, "OVER HEIGHT"));
    ASSERT_EQ(uint32_t(MSG_STATUS_VALID), Store(2, "TOO TALL"));
    const uint8_t emergency[5] = {3, 0, 1, uint8_t(Crc(1) >> 8), uint8_t(Crc(1))};
    ASSERT_EQ(DB_OK, db_set_string(obj::halvEmergencyMessage, emergency, 5, 0));
    pl_factory factories;
    periph_register_factories(factories);
    auto create = [&](uint16_t id, const char* parameters, uint16_t slot) {
        CPeripheral* created = nullptr;
        factories.Create({slot, id, periph_id_to_class(id), parameters}, &created);
        return std::unique_ptr<CPeripheral>(created);
    };
    DCIO* board = static_cast<DCIO*>(create(50, "42231,F0,F0,F0,F0,1", 0).release());
    ASSERT_NE(nullptr, board);
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(board));
    board->SetEnabled(0);
    auto first = create(500, "18,32,0,0", 1);
    auto second = create(501, "19,32,0,2", 2);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);

    Polls(*board, "open=24");
    const Bytes message1 = {3, 0, 1, uint8_t(Crc(1) >> 8), uint8_t(Crc(1))};
    const Bytes message2 = {3, 0, 2, uint8_t(Crc(2) >> 8), uint8_t(Crc(2))};
    EXPECT_EQ(message1, Shown());
    Polls(*board, "open=25");
    EXPECT_EQ(message1, Shown());
    Polls(*board, "closed=24");
    EXPECT_EQ(message2, Shown());
}

} // namespace
