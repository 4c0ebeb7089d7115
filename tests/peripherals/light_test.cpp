// Light sensors on the whole firmware with a simulated CAN field: readings of
// ambient and line boards into the photocell level, a sensor whose board
// never answers, and the front sensor that falls back to the controller's
// light-to-frequency input.
#include "peripherals/can/can_j6_driver.h"
#include "peripherals/can/can_networks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/sensors/light.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/peripherals/sensor_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sensor_test::PASS;
const uint32_t PHOTOCELL_BIT = 0x0040;

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class LightSensor : public sensor_test::SensorFixture {
  protected:
    std::string FieldLines() const override { return "can light line 42013 raw=500 level=100\n"; }
    static CLight* Create(uint16_t id, const char* parameters, uint16_t slot) {
        return SensorFixture::Create<CLight>(id, PERIPHERAL_CLASS_LIGHT, parameters, slot);
    }
    static CLight* Install(uint16_t id, const char* parameters, uint16_t slot) {
        return SensorFixture::Install<CLight>(id, PERIPHERAL_CLASS_LIGHT, parameters, slot);
    }
};

// The ambient sensor's reply 40 00 00 01 F4 00 64 00 reads 500 and level
// 100; the line board at 0x42013 is scaled by halvObj2_37 (50 %) to 250 and 50.
// A level past one byte shows as 255 in its one-byte object, never as a
// small one, while the photocell level keeps it whole.
TEST_F(LightSensor, BoardReadingsMakeThePhotocellLevel) {
    db_set(obj::halvObj2_37, 50, DB_NOTIFY);
    CLight* ambient = Install(LIGHT_AMBIENT, "42004,1", 1); // no board: the reply is given
    CLight* rear = Install(LIGHT_REAR, "42013,1", 2);
    ASSERT_TRUE(ambient && rear);
    Polls(*ambient, 3); // the mode, an identify, a read
    const uint8_t reply[8] = {0x40, 0x00, 0x00, 0x01, 0xF4, 0x00, 0x64, 0x00};
    {
        CInterruptLock masked;
        ambient->Receive(can_packet(0x42004 + CAN_REPLY_OFFSET, 0, 8, reply));
    }
    Polls(*ambient, 1);
    Polls(*rear, 4); // the mode, an identify, a read, its reply
    tx_thread_sleep(PASS + 5);
    struct Expected {
        CLight* sensor;
        uint16_t reading, level;
        DbObject object;
    } const expected[] = {
        {ambient, 500, 100, obj::quorvelObj1_2_5},
        {rear, 250, 50, obj::quorvelObj1_2_7},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.sensor->Id());
        EXPECT_EQ(CPeripheral::STATE_VALID, e.sensor->State());
        EXPECT_EQ(e.reading, e.sensor->GetReading());
        EXPECT_EQ(e.level, e.sensor->GetLevel());
        EXPECT_EQ(e.level, db_get(e.object));
        ASSERT_GE(e.sensor->TableRow(), 0);
        EXPECT_EQ(e.level, db_get(obj::photocellLevel.row(unsigned(e.sensor->TableRow()))));
        EXPECT_EQ(e.level, db_get(obj::auxIOPortValue.row(unsigned(e.sensor->AuxRow()))));
    }
    EXPECT_STREQ("LGHTAMBIENT",
                 db_get_string(obj::photocellDescription.row(unsigned(ambient->TableRow()))));
    EXPECT_EQ(100u, db_get(obj::dmsIllumPhotocellLevelStatus));

    ASSERT_EQ("ok\n", host::field_command("set line level=600")); // 300 after scaling
    Polls(*rear, 2);
    tx_thread_sleep(PASS + 5);
    EXPECT_EQ(300, rear->GetLevel());
    EXPECT_EQ(255u, db_get(obj::quorvelObj1_2_7));
    EXPECT_EQ(300u, db_get(obj::dmsIllumPhotocellLevelStatus));
}

// A sensor whose board never answers: the driver is set up again at 20, 40
// and 60 silent polls and once more at 80 (bus code 2), and at the 80th
// silent poll the sensor is in COMM ERROR with one console message. Every
// eleventh request is an identify, which is not counted.
TEST_F(LightSensor, ASilentBoardIsGivenUpAfterEightyPolls) {
    CLight* sensor = Create(LIGHT_AMBIENT, "42009,2", 1);
    ASSERT_NE(nullptr, sensor);
    const uint32_t setups = the_can_j6_driver().Chip().SetUps();
    const int DECIDING_POLL = 1, BOARD_POLLS = 88; // 80 reads, 8 identifies
    Polls(*sensor, DECIDING_POLL + BOARD_POLLS - 1);
    EXPECT_EQ(CPeripheral::STATE_READING, sensor->State());
    EXPECT_EQ(setups + 3, the_can_j6_driver().Chip().SetUps());
    Polls(*sensor, 1);
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, sensor->State());
    EXPECT_EQ(setups + 4, the_can_j6_driver().Chip().SetUps());
    EXPECT_EQ(3u, db_get(obj::photocellStatus.row(unsigned(sensor->TableRow()))));
    EXPECT_TRUE(db_get(obj::shortErrorStatus) & PHOTOCELL_BIT);
    Polls(*sensor, 30);
    EXPECT_EQ(1u, count_of(test_support::ConsoleText(), "Light Comm Error timeout = 80\n"));
    EXPECT_EQ(setups + 4, the_can_j6_driver().Chip().SetUps());
    delete sensor;
}

TEST(FrequencyAverage, TheLatestHundredTwentyWindowsAreAveraged) {
    frequency_average average;
    EXPECT_EQ(10, average.Add(10));
    EXPECT_EQ(15, average.Add(20));
    average.Clear();
    for (unsigned i = 0; i < frequency_average::CAPACITY; ++i)
        average.Add(i == 0 ? 250 : 10);
    EXPECT_EQ((250 + 119 * 10) / 120, average.Level());
    EXPECT_EQ(11, average.Add(130)) << "the 121st replaces the first";
    EXPECT_EQ(frequency_average::CAPACITY, average.Stored());
    EXPECT_EQ(12, average.Add(0x10000 + 130)) << "a window keeps its low 16 bits";
}

// The sign's factory list holds the front sensor on 0x42002, where no board
// answers: after five probe reads it counts the controller's frequency input
// (400 Hz: 100 edges a window of 25 ticks).
class FrontSensor : public LightSensor {
  protected:
    std::string FieldLines() const override { return "board frequency 400\n"; }
};

TEST_F(FrontSensor, WithoutABoardItReadsTheFrequencyInput) {
    CLight* front = static_cast<CLight*>(ThePeripheralTask().GetPeripheral(LIGHT_FRONT));
    ASSERT_NE(nullptr, front);
    ASSERT_EQ(PERIPHERAL_CLASS_LIGHT, front->ClassCode());
    for (int waited = 0; waited < 80 && !front->ModeDecided(); ++waited)
        tx_thread_sleep(100);
    ASSERT_TRUE(front->ModeDecided());
    EXPECT_EQ(CLight::MODE_FREQUENCY, front->Mode());
    EXPECT_EQ(5u, front->packets_sent) << "five probe reads";
    tx_thread_sleep(20 * PASS + 10);
    EXPECT_EQ(CPeripheral::STATE_VALID, front->State());
    EXPECT_NEAR(100, front->GetLevel(), 5); // about 100 edges a window
    EXPECT_EQ(front->GetLevel(), db_get(obj::quorvelObj1_2_6));
    EXPECT_EQ(front->GetLevel(), db_get(obj::dmsIllumPhotocellLevelStatus));
    EXPECT_EQ(5u, front->packets_sent) << "nothing more on the bus";
}

} // namespace
