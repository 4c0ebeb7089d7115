// The sign's temperatures and its over-temperature protection on the whole
// firmware with a simulated CAN field: the housing's sensors drive the
// minimum and maximum objects, the brightness limit, the blank request in
// activation row 2 and traps 2 and 8.
#include "comm/agents/trap_raise.h"
#include "display/display_entries.h"
#include "display/message_rows.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/sensors/temperature.h"
#include "peripherals/temperature_limit.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/peripherals/sensor_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint32_t WARNING_BIT = 0x0200, CRITICAL_BIT = 0x0800;
using sensor_test::PASS;

struct RaisedTrap {
    uint32_t specific;
    std::vector<trap_varbind> varbinds;
};
std::vector<RaisedTrap> g_traps;

void record_trap(uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind* v) {
    if (generic == TRAP_ENTERPRISE_SPECIFIC) g_traps.push_back({specific, {v, v + count}});
}

Bytes value(const DbObject& o) {
    uint32_t n = 0;
    const char* p = db_get_string(o, &n);
    return Bytes(p, p + n);
}

std::vector<uint32_t> name_of(const trap_varbind& v) {
    return std::vector<uint32_t>(v.name, v.name + v.name_length);
}

class SignTemperatures : public sensor_test::SensorFixture {
  protected:
    std::string FieldLines() const override {
        return "can temperature sign1 42105 temp=30\n"
               "can temperature sign3 42107 temp=41\n"
               "can temperature sign2 42106 silent=1\n";
    }
    void SetUp() override {
        SensorFixture::SetUp();
        g_traps.clear();
        set_trap_sink(record_trap);
        db_set(obj::halvShutOffTemp, 85, DB_NOTIFY);
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        SensorFixture::TearDown();
    }
    // A housing sensor built from the stored list's slot `slot` and installed.
    static CTemperature* Install(uint16_t id, const char* parameters, uint16_t slot) {
        return SensorFixture::Install<CTemperature>(id, PERIPHERAL_CLASS_TEMPERATURE, parameters,
                                                    slot);
    }
    // The board reads `degrees`: two polls send the read and take its reply,
    // and the peripheral task's next pass evaluates it.
    static void Reading(CTemperature& sensor, const std::string& board, int degrees) {
        ASSERT_EQ("ok\n", host::field_command("set " + board + " temp=" + std::to_string(degrees)));
        Polls(sensor, 2);
        tx_thread_sleep(PASS + 5);
    }
    static uint32_t TemperatureBits() {
        return db_get(obj::shortErrorStatus) & (WARNING_BIT | CRITICAL_BIT);
    }
};

TEST_F(SignTemperatures, OverTemperatureDimsBlanksAndComesBack) {
    CTemperature* sign1 = Install(TEMP_SIGN1, "42105,1", 1);
    ASSERT_NE(nullptr, sign1);
    const Bytes blank = {0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x01, 0, 0, 0, 0, 0, 0};
    const Bytes none(12, 0);
    struct Step {
        int degrees;
        uint32_t bits;     // warning and critical bits of shortErrorStatus
        uint8_t limit;     // temperature brightness limit
        uint32_t trap;     // trap raised at this step (0 none)
        const Bytes* row2; // activationRequestCode[2] (null: not checked)
    };
    const Step steps[] = {
        {30, 0, 100, 0, nullptr},
        {83, WARNING_BIT, 50, 0, nullptr},
        {85, WARNING_BIT, 0, 2, &blank},
        {86, WARNING_BIT | CRITICAL_BIT, 0, 0, &blank},
        {83, WARNING_BIT | CRITICAL_BIT, 0, 0, &blank},
        {82, WARNING_BIT | CRITICAL_BIT, 50, 8, &none},
        {80, WARNING_BIT, 50, 0, &none},
        {79, WARNING_BIT, 100, 0, &none},
        {78, 0, 100, 0, &none},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.degrees);
        g_traps.clear();
        Reading(*sign1, "sign1", s.degrees);
        EXPECT_EQ(s.degrees, db_get_signed(obj::tempMaxSignHousing));
        EXPECT_EQ(s.bits, TemperatureBits());
        EXPECT_EQ(s.limit, temperature_brightness_limit());
        if (s.row2) {
            EXPECT_EQ(*s.row2, value(obj::activationRequestCode.row(2)));
        }
        ASSERT_EQ(s.trap != 0 ? 1u : 0u, g_traps.size());
        if (s.trap == 0) continue;
        EXPECT_EQ(s.trap, g_traps[0].specific);
        const std::vector<trap_varbind>& v = g_traps[0].varbinds;
        ASSERT_EQ(3u, v.size());
        EXPECT_EQ((std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 6, 0}), name_of(v[0]));
        EXPECT_EQ((std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0}), name_of(v[1]));
        EXPECT_EQ((std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 6, 0}),
                  name_of(v[2]));
        int32_t reported = 0;
        std::memcpy(&reported, v[2].value, sizeof reported);
        EXPECT_EQ(s.degrees, reported);
        if (s.trap == 2) {
            EXPECT_EQ(1u, db_get(obj::activationRequestState.row(2)));
            EXPECT_EQ(5u, db_get(obj::activationRequestSource.row(2)));
        }
    }
}

// An urgent message (run-time priority 200) lifts the blank without a trap;
// so does switching the protection off (shut-off temperature 0), which then
// leaves the sign alone however hot it reads.
TEST_F(SignTemperatures, AnUrgentMessageOrShutOffZeroLiftsTheBlank) {
    CTemperature* sign1 = Install(TEMP_SIGN1, "42105,1", 1);
    ASSERT_NE(nullptr, sign1);
    auto blanked = [&] {
        Reading(*sign1, "sign1", 83);
        Reading(*sign1, "sign1", 90);
        ASSERT_EQ(0, temperature_brightness_limit());
        ASSERT_EQ(CSignTemperatures::STATE_BLANKED, ThePeripheralTask().SignTemperatures().State());
        g_traps.clear();
    };
    auto released = [] {
        EXPECT_EQ(100, temperature_brightness_limit());
        EXPECT_EQ(Bytes(12, 0), value(obj::activationRequestCode.row(2)));
        EXPECT_EQ(CSignTemperatures::STATE_NORMAL, ThePeripheralTask().SignTemperatures().State());
        EXPECT_TRUE(g_traps.empty());
    };
    blanked();
    db_set(obj::currentBufferMsgRunTimePriority, 200, DB_NO_VALIDATE);
    tx_thread_sleep(PASS + 5);
    released();
    // The display has put its fail-safe blank up meanwhile: urgent again.
    db_set(obj::currentBufferMsgRunTimePriority, 200, DB_NO_VALIDATE);
    Reading(*sign1, "sign1", 90);
    EXPECT_EQ(100, temperature_brightness_limit()) << "no protection under an urgent message";

    db_set(obj::currentBufferMsgRunTimePriority, 0, DB_NO_VALIDATE);
    blanked();
    db_set(obj::halvShutOffTemp, 0, DB_NOTIFY);
    tx_thread_sleep(PASS + 5);
    released();
    Reading(*sign1, "sign1", 95);
    released();
}

// Every housing sensor silent: the temperature is unknown (its objects read
// 0), the sensor reports its failure, and the blanked sign stays blanked
// with no "cooled" trap until a reading says it has cooled.
TEST_F(SignTemperatures, LosingEveryHousingSensorKeepsTheBlank) {
    CTemperature* sign1 = Install(TEMP_SIGN1, "42105,1", 1);
    ASSERT_NE(nullptr, sign1);
    Reading(*sign1, "sign1", 83);
    Reading(*sign1, "sign1", 90);
    ASSERT_EQ(CSignTemperatures::STATE_BLANKED, ThePeripheralTask().SignTemperatures().State());
    const Bytes blank = value(obj::activationRequestCode.row(2));
    g_traps.clear();
    ASSERT_EQ("ok\n", host::field_command("set sign1 silent=1"));
    sign1->SetEnabled(1);   // its silence counts only while the task polls it
    tx_thread_sleep(41000); // past the sensor's 400 s of silence
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, sign1->State());
    EXPECT_EQ(3u, db_get(obj::tempSensorStatus.row(unsigned(sign1->TableRow()))));
    EXPECT_EQ(0, db_get_signed(obj::tempMaxSignHousing));
    EXPECT_EQ(CSignTemperatures::STATE_BLANKED, ThePeripheralTask().SignTemperatures().State());
    EXPECT_EQ(0, temperature_brightness_limit());
    EXPECT_EQ(blank, value(obj::activationRequestCode.row(2)));
    EXPECT_TRUE(g_traps.empty()) << "no trap 8";

    ASSERT_EQ("ok\n", host::field_command("set sign1 silent=0"));
    Reading(*sign1, "sign1", 80);
    tx_thread_sleep(1100); // the board answers again
    EXPECT_EQ(CSignTemperatures::STATE_REDUCED, ThePeripheralTask().SignTemperatures().State());
    ASSERT_EQ(1u, g_traps.size());
    EXPECT_EQ(8u, g_traps[0].specific);
}

// A central activation while the sign is blanked for heat is taken into the
// ordinary slot; the heat's blank, more urgent, stays on show, and once the
// sign has cooled the message comes up.
TEST_F(SignTemperatures, AMessageActivatedWhileBlankedForHeatShowsOnceCooled) {
    CTemperature* sign1 = Install(TEMP_SIGN1, "42105,1", 1);
    ASSERT_NE(nullptr, sign1);
    const DbObject status = obj::changeableMsgStatus.row(0);
    const std::string multi = "HELLO";
    ASSERT_EQ(DB_OK, db_set(status, MSG_STATUS_MODIFY_REQ, DB_NOTIFY));
    validate_message();
    ASSERT_EQ(DB_OK, db_set_string(obj::changeableMsgMultiString.row(0), multi.data(),
                                   uint32_t(multi.size()), DB_NOTIFY));
    ASSERT_EQ(DB_OK, db_set(status, MSG_STATUS_VALIDATE_REQ, DB_NOTIFY));
    validate_message();
    ASSERT_EQ(uint32_t(MSG_STATUS_VALID), db_get(status));
    const uint16_t crc = uint16_t(db_get(obj::changeableMsgCRC.row(0)));

    Reading(*sign1, "sign1", 83);
    Reading(*sign1, "sign1", 85);
    ASSERT_EQ(CSignTemperatures::STATE_BLANKED, ThePeripheralTask().SignTemperatures().State());
    tx_thread_sleep(PASS);
    const Bytes blank_shown = {7, 0, 1, 0, 0};
    ASSERT_EQ(blank_shown, value(obj::dmsMsgTableSource));

    const Bytes code = {0xFF, 0xFF, 0xFF, 3, 0, 1, uint8_t(crc >> 8), uint8_t(crc), 0, 0, 0, 0};
    db_set_string(obj::dmsActivateMessage, code.data(), uint32_t(code.size()), 0);
    const bool failed = activate_message();
    const uint32_t error = db_get(obj::dmsActivateMsgError);
    EXPECT_FALSE(failed);
    EXPECT_EQ(2u, error) << "taken: it shows when the blank lifts";
    tx_thread_sleep(PASS);
    EXPECT_EQ(blank_shown, value(obj::dmsMsgTableSource));
    EXPECT_EQ(0, temperature_brightness_limit());

    Reading(*sign1, "sign1", 38);
    Reading(*sign1, "sign1", 38);
    tx_thread_sleep(PASS);
    EXPECT_EQ(Bytes(12, 0), value(obj::activationRequestCode.row(2)));
    EXPECT_EQ((Bytes{3, 0, 1, uint8_t(crc >> 8), uint8_t(crc)}), value(obj::dmsMsgTableSource));
    EXPECT_EQ(multi, std::string(db_get_string(obj::currentBufferMsgMultiString)));
}

// Minimum and maximum of the valid housing sensors (13 and 15; 14 is
// silent), the cabinet from the controller board's sensor when sensor 11 is
// absent, the ambient pair kept while sensor 12 is absent.
TEST_F(SignTemperatures, MinimaAndMaximaComeFromTheValidSensors) {
    ASSERT_EQ("ok\n", host::field_command("set board temperature=37"));
    db_set(obj::tempMinAmbient, uint8_t(-5), 0);
    db_set(obj::tempMaxAmbient, 7, 0);
    CTemperature* sign1 = Install(TEMP_SIGN1, "42105,1", 1);
    CTemperature* sign3 = Install(TEMP_SIGN3, "42107,1", 2);
    CTemperature* sign2 = Install(TEMP_SIGN2, "42106,1", 3);
    ASSERT_TRUE(sign1 && sign2 && sign3);
    Reading(*sign1, "sign1", 30);
    Reading(*sign3, "sign3", 41);
    Reading(*sign2, "sign2", 60); // silent: never read
    tx_thread_sleep(600);         // the controller board's sensor is read
    EXPECT_EQ(CPeripheral::STATE_READING, sign2->State());
    EXPECT_EQ(30, db_get_signed(obj::tempMinSignHousing));
    EXPECT_EQ(41, db_get_signed(obj::tempMaxSignHousing));
    EXPECT_EQ(37, db_get_signed(obj::tempMinCtrlCabinet));
    EXPECT_EQ(37, db_get_signed(obj::tempMaxCtrlCabinet));
    EXPECT_EQ(-5, db_get_signed(obj::tempMinAmbient));
    EXPECT_EQ(7, db_get_signed(obj::tempMaxAmbient));
}

} // namespace
