// Beacons and general-purpose outputs on a DC I/O board of the simulated
// field, stored in the peripheral list and polled by the peripheral task:
// the beacon follows the displayed message's beacon setting, an output its
// bit of the request word; their auxiliary I/O values show what the board
// reports back.
#include "peripherals/io/beacon.h"
#include "peripherals/io/general_purpose_output.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "platform/field/field.h"
#include "tests/display/activation_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

using namespace display_test;

const ULONG PASS = 50;

class OutputPoints : public Activation {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can dcio io1 42230\n";
    }
    void SetUp() override {
        Activation::SetUp();
        pl_iterator list;
        ASSERT_TRUE(list.Add(50, "42230,F0,FF,FF,FF,1")); // points 32-55 outputs
        ASSERT_TRUE(list.Add(40, "20,32"));               // BEACON01 on point 32
        ASSERT_TRUE(list.Add(662, "21,32"));              // GP OUTPUT03 on point 33
        ASSERT_TRUE(list.Add(700, "32,30000,1,2,3,4"));   // GEN2 BEACON1 on points 40, 41
        tx_thread_sleep(10 * PASS);                       // the board runs
    }
    // A changeable message with its beacon setting, stored and validated.
    void StoreWithBeacon(unsigned number, const std::string& multi, uint32_t beacon) {
        const DbObject status = obj::changeableMsgStatus.row(number - 1);
        ASSERT_EQ(DB_OK, db_set(status, MSG_STATUS_MODIFY_REQ, DB_NOTIFY));
        validate_message();
        db_set_string(obj::changeableMsgMultiString.row(number - 1), multi.data(),
                      uint32_t(multi.size()), DB_NOTIFY);
        db_set(obj::changeableMsgBeacon.row(number - 1), beacon, DB_NOTIFY);
        ASSERT_EQ(DB_OK, db_set(status, MSG_STATUS_VALIDATE_REQ, DB_NOTIFY));
        validate_message();
        ASSERT_EQ(uint32_t(MSG_STATUS_VALID), db_get(status));
    }
    void Show(unsigned number) {
        ASSERT_EQ(ACTIVATE_ERROR_NONE,
                  Activate(Code(65535, 255, 3, uint16_t(number), Crc(number))));
    }
    template <class T> static T* Live(uint16_t id) {
        CPeripheral* p = nullptr;
        ThePeripheralTask().Registry().Find(id, &p);
        return dynamic_cast<T*>(p);
    }
    // The output points the field board is driven on, as "get io1" lists them.
    static std::string Outputs() {
        const std::string line = host::field_command("get io1");
        const size_t at = line.find("outputs=");
        return at == std::string::npos ? "" : line.substr(at + 8, line.find(' ', at) - at - 8);
    }
    static uint32_t AuxValue(const COutputPoint* p) {
        return db_get(
            obj::auxIOPortValue.row(unsigned(static_cast<const CPointPeripheral*>(p)->AuxRow())));
    }
};

TEST_F(OutputPoints, BeaconsFollowTheDisplayedMessage) {
    CBeacon* beacon = Live<CBeacon>(40);
    CBeaconIO* pair = Live<CBeaconIO>(700);
    ASSERT_NE(nullptr, beacon);
    ASSERT_NE(nullptr, pair);
    EXPECT_STREQ("     OFF", beacon->StatusText());
    EXPECT_EQ(0u, AuxValue(beacon));

    StoreWithBeacon(1, "SLOW DOWN", 1);
    StoreWithBeacon(2, "THANK YOU", 0);
    Show(1);
    tx_thread_sleep(2 * PASS);
    EXPECT_STREQ("      ON", beacon->StatusText());
    EXPECT_STREQ("      ON", pair->StatusText());
    tx_thread_sleep(8 * PASS); // sent, read back at the board's next polls
    EXPECT_EQ("32,40-41", Outputs());
    EXPECT_EQ(1u, AuxValue(beacon)) << "the board reported the lamp on";
    EXPECT_EQ(1, pair->ReadBack());
    EXPECT_EQ(CPeripheral::STATE_VALID, beacon->State()) << "the board's state";

    Show(2);
    tx_thread_sleep(2 * PASS);
    EXPECT_STREQ("     OFF", beacon->StatusText());
    tx_thread_sleep(8 * PASS);
    EXPECT_EQ("none", Outputs());
    EXPECT_EQ(0u, AuxValue(beacon));
}

TEST_F(OutputPoints, AnOutputFollowsItsRequestBitAndShowsWhatTheBoardReports) {
    CGeneralPurposeOutput* output = Live<CGeneralPurposeOutput>(662);
    ASSERT_NE(nullptr, output);
    ASSERT_EQ("ok\n", host::field_command("set io1 echo=0"));
    ThePeripheralTask().SetGpoRequest(2); // GP OUTPUT02 is not stored: nothing happens
    ThePeripheralTask().SetGpoRequest(3);
    tx_thread_sleep(2 * PASS);
    EXPECT_TRUE(output->IsCommandedOn());
    tx_thread_sleep(2 * PASS);
    EXPECT_EQ("33", Outputs());
    tx_thread_sleep(4 * PASS);
    EXPECT_EQ(0u, AuxValue(output)) << "the board has not confirmed it";
    EXPECT_EQ(0u, db_get(obj::auxIOPortLastCommand.row(unsigned(output->AuxRow()))));

    ASSERT_EQ("ok\n", host::field_command("set io1 echo=1"));
    tx_thread_sleep(6 * PASS);
    EXPECT_EQ(1u, AuxValue(output));
    EXPECT_EQ(1u, db_get(obj::auxIOPortLastCommand.row(unsigned(output->AuxRow()))));

    ThePeripheralTask().ClearGpoRequest(3);
    tx_thread_sleep(8 * PASS);
    EXPECT_FALSE(output->IsCommandedOn());
    EXPECT_EQ("none", Outputs());
    EXPECT_EQ(0u, AuxValue(output));
}

// The port a board flashes is found from the point mask: 48-55 is port 3,
// 40-47 port 2, anything else 0; the board gets it with the configuration.
TEST_F(OutputPoints, ABeaconPairsPortComesFromItsPoints) {
    const uint8_t configuration[4] = {0x11, 0x22, 0x33, 0x44};
    const struct {
        uint32_t mask;
        uint8_t selector, port_mask;
    } cases[] = {{0x03000000, 3, 0x03},
                 {0x00030000, 2, 0x03},
                 {0x00000003, 0, 0x00},
                 {0x01010000, 3, 0x01},
                 {0x00000000, 0, 0x00}};
    for (const auto& c : cases) {
        CBeaconIO pair(701, 50, c.mask, configuration);
        EXPECT_EQ(c.selector, pair.PortSelector()) << std::hex << c.mask;
        EXPECT_EQ(c.port_mask, pair.PortMask()) << std::hex << c.mask;
    }
    CBeaconIO pair(701, 50, 0x03000000, configuration);
    uint8_t bytes[5] = {}, keep_alive = 0;
    pair.BeaconConfiguration(bytes, &keep_alive);
    const uint8_t expected[5] = {3, 0x03, 0x11, 0x22, 0x33};
    EXPECT_EQ(0, std::memcmp(expected, bytes, 5));
    EXPECT_EQ(0x44, keep_alive);
}

// Point peripherals whose board is not live are not created.
TEST_F(OutputPoints, WithoutTheirBoardNoneIsCreated) {
    pl_iterator list;
    ASSERT_TRUE(list.Add(701, "33,30000,0,0,0,0")); // board 51 is not stored
    ASSERT_TRUE(list.Add(663, "22,33"));
    tx_thread_sleep(2 * PASS);
    EXPECT_EQ(nullptr, Live<CBeaconIO>(701));
    EXPECT_EQ(nullptr, Live<CGeneralPurposeOutput>(663));
    EXPECT_NE(nullptr, Live<CGeneralPurposeOutput>(662));
}

} // namespace
