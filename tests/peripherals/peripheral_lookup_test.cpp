// The peripheral task's look-up for other threads: an id names a live
// peripheral by its low 16 bits; one that is not installed is not found.
#include "peripherals/peripheral_task.h"
#include "tests/support/firmware_fixture.h"

namespace {

class PeripheralLookup : public test_support::FirmwareFixture {};

TEST_F(PeripheralLookup, FindsOnlyInstalledPeripheralsByTheLow16Bits) {
    tx_thread_sleep(100); // the peripheral task has created its fixed peripherals
    CPeripheralTask& task = ThePeripheralTask();
    EXPECT_TRUE(task.Exists(PERIPHERAL_ID_CONFIG_FILE));
    EXPECT_TRUE(task.Exists(0x10000u | PERIPHERAL_ID_CONFIG_FILE));
    CPeripheral* found = nullptr;
    ASSERT_TRUE(task.Find(PERIPHERAL_ID_CONFIG_FILE, &found));
    EXPECT_EQ(PERIPHERAL_ID_CONFIG_FILE, found->Id());
    EXPECT_TRUE(task.Exists(70)) << "the front panel";
    for (uint32_t id : {0u, 71u, 0xFFFFu, 0x10000u}) {
        EXPECT_FALSE(task.Exists(id)) << id;
        EXPECT_FALSE(task.Find(id, &found)) << id;
        EXPECT_EQ(nullptr, found);
    }
}

} // namespace
