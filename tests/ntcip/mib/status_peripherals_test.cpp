// The status objects of a booted sign through its SNMP agent, fed as the
// peripherals feed them: a fixture peripheral that registers power supplies
// and an ambient temperature sensor, the lamp test taken up by the
// peripheral task, and the two writable settings across a power cut.
#include "peripherals/peripheral_ids.h"
#include "peripherals/peripheral_task.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <filesystem>

using namespace snmp_test;

namespace {

using Oid = std::vector<uint32_t>;

const char* const ADMIN = "stewardcastle";
constexpr uint8_t GET = 0xA0, GETNEXT = 0xA1, SET = 0xA3;
constexpr uint32_t NO_SUCH_NAME = 2;
constexpr uint16_t TEMPAMBIENT = 12;

Oid status(const Oid& rest) {
    Oid name = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9};
    name.insert(name.end(), rest.begin(), rest.end());
    return name;
}

struct Reply {
    uint32_t status = 99;
    Oid name;
    int32_t number = 0;
    std::string octets;
};

Reply ask(uint8_t pdu, const Oid& name, const Bytes& value = Bytes{0x05, 0x00}) {
    static agent_test::CapturingAgent agent;
    Reply r;
    auto response = agent.AskPdu(
        community_message(0, ADMIN, pdu, request_body({varbind(oid_tlv(name), value)})));
    if (!response) return r;
    r.status = response->error_status;
    const snmp_varbind& vb = response->varbinds[0];
    r.name = name_of(vb);
    if (vb.syntax == SNMP_OCTETSTR)
        r.octets.assign(reinterpret_cast<const char*>(vb.value), vb.value_length);
    else
        r.number = int32_t(number_of(vb));
    return r;
}
Bytes integer(uint8_t value) {
    return Bytes{0x02, 0x01, value};
}

void put_text(const DbObject& o, const std::string& text) {
    db_set_string(o, text.data(), uint32_t(text.size()), DB_NOTIFY);
}

// Registers two power supplies (the second failed) and one temperature
// sensor reading -10 above its warning limit, as the sign's peripherals do.
class FixtureSupplyAndSensor : public CPeripheral {
  public:
    FixtureSupplyAndSensor() : CPeripheral(0x26, TEMPAMBIENT) { SetEnabled(1); }
    void Poll() override {
        put_text(obj::dmsPowerDescription.row(0), "SUPPLY A");
        db_set(obj::dmsPowerVoltage.row(0), 240, DB_NOTIFY);
        db_set(obj::dmsPowerType.row(0), 4, DB_NOTIFY);
        put_text(obj::dmsPowerDescription.row(1), "SUPPLY B");
        db_set(obj::dmsPowerStatus.row(1), 3, DB_NOTIFY);
        db_set(obj::dmsPowerType.row(1), 4, DB_NOTIFY);
        db_set(obj::dmsPowerNumRows, 2, DB_NOTIFY);
        put_text(obj::dmsPowerFailureStatusMap, "\x02");
        put_text(obj::dmsTempSensorDescription.row(0), "TEMPAMBIENT");
        db_set(obj::dmsTempSensorCurrentReading.row(0), 0xF6, DB_NOTIFY | DB_NO_VALIDATE);
        db_set(obj::dmsTempSensorHighWarningTemperature.row(0), 0xF0, DB_NOTIFY | DB_NO_VALIDATE);
        db_set(obj::dmsTempSensorNumRows, 1, DB_NOTIFY);
        put_text(obj::tempSensorWarningMap, "\x01");
        db_change_bits(obj::shortErrorStatus, 0x4 | 0x200, 0, DB_NOTIFY);
        db_set(obj::tempMinAmbient, 0xF6, DB_NOTIFY | DB_NO_VALIDATE);
    }
};

class StatusPeripherals : public test_support::FirmwareFixture {};

TEST_F(StatusPeripherals, AFixturePeripheralsRowsCountsAndMapsReachTheManager) {
    tx_thread_sleep(100); // the peripheral task's registry is up
    // The controller board's own sensor stays live but no longer writes its
    // row, which the fixture takes over.
    ThePeripheralTask().Registry().Disable(PERIPHERAL_ID_TEMP_CONTROLLER);
    auto* fixture = new FixtureSupplyAndSensor;
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(fixture));
    tx_thread_sleep(100); // polled

    EXPECT_EQ(2, ask(GET, status({7, 12, 0})).number);
    EXPECT_EQ("\x02", ask(GET, status({7, 11, 0})).octets);
    EXPECT_EQ("SUPPLY B", ask(GET, status({7, 13, 1, 2, 2})).octets);
    EXPECT_EQ(3, ask(GET, status({7, 13, 1, 4, 2})).number);
    EXPECT_EQ(240, ask(GET, status({7, 13, 1, 5, 1})).number);
    EXPECT_EQ(NO_SUCH_NAME, ask(GET, status({7, 13, 1, 2, 3})).status);
    EXPECT_EQ(status({7, 14, 0}), ask(GETNEXT, status({7, 13, 1, 6, 2})).name);
    EXPECT_EQ(1, ask(GET, status({7, 35, 0})).number);
    EXPECT_EQ("TEMPAMBIENT", ask(GET, status({7, 36, 1, 2, 1})).octets);
    EXPECT_EQ(-10, ask(GET, status({7, 36, 1, 3, 1})).number);
    EXPECT_EQ(-16, ask(GET, status({7, 36, 1, 4, 1})).number);
    EXPECT_EQ(NO_SUCH_NAME, ask(GET, status({7, 36, 1, 3, 2})).status);
    EXPECT_EQ("\x01", ask(GET, status({9, 7, 0})).octets);
    EXPECT_EQ(0x204, ask(GET, status({7, 1, 0})).number);

    // The ambient zone has the fixture's sensor, the cabinet zone the
    // controller board's own; the sign housing has none.
    db_set(obj::halvSpecialFeatureSet, db_get(obj::halvSpecialFeatureSet) | 0x1000, 0);
    EXPECT_EQ(-10, ask(GET, status({9, 3, 0})).number);
    for (uint32_t x : {1u, 2u, 4u})
        EXPECT_EQ(0, ask(GET, status({9, x, 0})).status) << x;
    for (uint32_t x : {5u, 6u})
        EXPECT_EQ(NO_SUCH_NAME, ask(GET, status({9, x, 0})).status) << x;
    EXPECT_EQ(status({9, 1, 0}), ask(GETNEXT, status({8, 6, 0})).name);
    EXPECT_EQ(status({9, 7, 0}), ask(GETNEXT, status({9, 4, 0})).name);
}

TEST_F(StatusPeripherals, ALampTestIsTakenUpByThePeripheralTask) {
    tx_thread_sleep(100);
    Reply set = ask(SET, status({7, 7, 0}), integer(3));
    EXPECT_EQ(0u, set.status);
    EXPECT_EQ(3, set.number);
    tx_thread_sleep(100); // the peripheral task's next pass reads its letter
    EXPECT_EQ(2, ask(GET, status({7, 7, 0})).number);
}

// The first boot sets both; any surprise ends it with its own exit status.
void set_speed_limit_and_fuel_threshold() {
    tx_thread_sleep(300); // the journal is on
    if (ask(SET, status({4, 0}), integer(65)).status != 0) _exit(3);
    if (ask(SET, status({8, 2, 0}), integer(20)).number != 20) _exit(4);
    tx_thread_sleep(300);
}

TEST(StatusSettings, TheSpeedLimitOutlivesAPowerCutAndTheFuelThresholdDoesNot) {
    char pattern[] = "/tmp/status-settings-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    std::string error;
    ASSERT_TRUE(test_support::BootAfterPowerOff(dir, set_speed_limit_and_fuel_threshold, 5, error))
        << error;
    EXPECT_EQ(65, ask(GET, status({4, 0})).number);
    EXPECT_EQ(0, ask(GET, status({8, 2, 0})).number);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
