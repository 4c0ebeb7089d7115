// Humidity sensors on the whole firmware with a simulated CAN field: the
// summaries the climate control reads, a sign sensor that falls silent, and
// the identify that goes out until the board answers it.
#include "peripherals/can/can_networks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/sensors/humidity.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/peripherals/sensor_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const uint32_t HUMIDITY_BIT = 0x4000;

class HumiditySensor : public sensor_test::SensorFixture {
  protected:
    std::string FieldLines() const override {
        return "can humidity sign1 42901 rh=60\n"
               "can humidity sign2 42903 rh=71\n"
               "can humidity outside 42905 rh=33\n";
    }
    static CHumidity* Install(uint16_t id, const char* parameters, uint16_t slot) {
        return SensorFixture::Install<CHumidity>(id, PERIPHERAL_CLASS_HUMIDITY, parameters, slot);
    }
    // The two sign sensors, identified and read.
    void TwoSignSensors() {
        sign1_ = Install(HUMIDITY_SIGN1, "42901,1", 1);
        sign2_ = Install(HUMIDITY_SIGN2, "42903,1", 2);
        ASSERT_TRUE(sign1_ && sign2_);
        Polls(*sign1_, 3); // identify, read, its reply
        Polls(*sign2_, 3);
    }
    CHumidity* sign1_ = nullptr;
    CHumidity* sign2_ = nullptr;
};

TEST_F(HumiditySensor, TheSummariesOfTheClimateControl) {
    TwoSignSensors();
    EXPECT_EQ(65u, db_get(obj::halvObj5_7)) << "(60 + 71) / 2";
    EXPECT_EQ(CPeripheral::STATE_VALID, sign2_->State());
    ASSERT_GE(sign2_->TableRow(), 0);
    EXPECT_EQ(71u, db_get(obj::humiditySensorLevel.row(unsigned(sign2_->TableRow()))));
    EXPECT_STREQ("HUMIDITY SIGN2",
                 db_get_string(obj::humiditySensorDescription.row(unsigned(sign2_->TableRow()))));
    EXPECT_EQ(71u, db_get(obj::auxIOPortValue.row(unsigned(sign2_->AuxRow()))));

    CHumidity* ambient = Install(HUMIDITY_AMBIENT, "42905,1", 3);
    ASSERT_NE(nullptr, ambient);
    Polls(*ambient, 3);
    EXPECT_EQ(33u, db_get(obj::halvObj5_8));
    EXPECT_EQ(65u, db_get(obj::halvObj5_7));

    CHumidity* cabinet = Install(HUMIDITY_CABINET, "42907,0", 4);
    ASSERT_NE(nullptr, cabinet);
    EXPECT_STREQ(CAN_BUS_PANEL, cabinet->CanBusName());
}

// At its tenth silent poll a sign sensor publishes 0 while it still counts
// (the average falls to 30), then it is in COMM ERROR and the next
// publication leaves it out.
TEST_F(HumiditySensor, ASilentSignSensorFirstCountsAsZeroThenNotAtAll) {
    TwoSignSensors();
    ASSERT_EQ("ok\n", host::field_command("set sign2 silent=1"));
    Polls(*sign2_, 9); // the first drains the reply already on its way
    EXPECT_EQ(CPeripheral::STATE_VALID, sign2_->State());
    EXPECT_EQ(65u, db_get(obj::halvObj5_7));
    Polls(*sign2_, 1);
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, sign2_->State());
    EXPECT_EQ(30u, db_get(obj::halvObj5_7));
    EXPECT_EQ(3u, db_get(obj::humiditySensorStatus.row(unsigned(sign2_->TableRow()))));
    EXPECT_TRUE(db_get(obj::shortErrorStatus) & HUMIDITY_BIT);
    EXPECT_EQ(0u, db_get(obj::auxIOPortValue.row(unsigned(sign2_->AuxRow()))));
    Polls(*sign1_, 1);
    EXPECT_EQ(60u, db_get(obj::halvObj5_7));

    ASSERT_EQ("ok\n", host::field_command("set sign2 silent=0"));
    Polls(*sign2_, 2);
    EXPECT_EQ(CPeripheral::STATE_VALID, sign2_->State());
    EXPECT_EQ(65u, db_get(obj::halvObj5_7));
    EXPECT_EQ(2u, db_get(obj::humiditySensorStatus.row(unsigned(sign2_->TableRow()))));
}

TEST_F(HumiditySensor, TheIdentifyGoesOutUntilTheBoardAnswersIt) {
    ASSERT_EQ("ok\n", host::field_command("set sign1 silent=1"));
    CHumidity* sensor = Install(HUMIDITY_SIGN1, "42901,1", 1);
    ASSERT_NE(nullptr, sensor);
    Polls(*sensor, 4);
    EXPECT_EQ(CHumidity::REQUEST_IDENTIFY, sensor->Request());
    EXPECT_EQ(4u, sensor->packets_sent);
    ASSERT_EQ("ok\n", host::field_command("set sign1 silent=0"));
    Polls(*sensor, 2);
    EXPECT_EQ(CHumidity::REQUEST_READ, sensor->Request());
    Polls(*sensor, 1);
    EXPECT_EQ(60, sensor->Humidity());
}

} // namespace
