// The live peripheral registry on its own: creation through the factory list,
// look-up and the changes made by id, iteration by class code, and the
// destruction of what it owns.
#include "peripherals/pl_mediator.h"
#include "runtime/pools.h"
#include "tests/support/kernel_fixture.h"

#include <vector>

namespace {

class PlMediatorTest : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        test_support::KernelFixture::SetUp();
        periph_register_factories(factories);
    }
    pl_factory factories;
    static std::vector<uint16_t> Ids(const pl_mediator& r, uint8_t class_code) {
        std::vector<uint16_t> ids;
        unsigned cursor = 0;
        CPeripheral* p = nullptr;
        for (bool more = r.First(class_code, &cursor, &p); more;
             more = r.Next(class_code, &cursor, &p))
            ids.push_back(p->Id());
        return ids;
    }
    static uint32_t TakeDatabaseBits() {
        ULONG actual = 0;
        tx_event_flags_get(&database_event_flags(), 0xFFFFFFFFu, TX_OR_CLEAR, &actual, TX_NO_WAIT);
        return uint32_t(actual);
    }
};

TEST_F(PlMediatorTest, CreatesTheFilePeripheralsThroughTheFactoryList) {
    pl_mediator r;
    EXPECT_FALSE(r.Create(PERIPHERAL_ID_CONFIG_FILE, nullptr)); // not initialised
    ASSERT_TRUE(r.Init(&factories));
    EXPECT_FALSE(r.Init(&factories));
    for (uint16_t id : {300, 301, 302, 303})
        EXPECT_TRUE(r.Create(id, nullptr)) << id;
    EXPECT_TRUE(r.Create(70, nullptr));   // the front panel
    EXPECT_FALSE(r.Create(0, nullptr));   // class code 0
    EXPECT_FALSE(r.Create(999, nullptr)); // no class at all
    EXPECT_EQ(5u, r.Count());

    CPeripheral* p = nullptr;
    ASSERT_TRUE(r.Find(PERIPHERAL_ID_CONFIG_FILE, &p));
    EXPECT_EQ(PERIPHERAL_CLASS_CONFIG_FILE, p->ClassCode());
    EXPECT_EQ(PERIPHERAL_FIXED_SLOT, p->ListSlot());
    EXPECT_EQ(600, p->PollPeriod());
    EXPECT_EQ(0, p->Countdown());
    EXPECT_EQ(1, p->Enabled());
    ASSERT_TRUE(r.Find(PERIPHERAL_ID_SCRIPT_FILE, &p));
    EXPECT_EQ(1, p->PollPeriod());
    ASSERT_TRUE(r.Find(70, &p));
    EXPECT_EQ(PERIPHERAL_CLASS_LCD_MANAGER, p->ClassCode());
    EXPECT_FALSE(r.Find(71, &p));
    EXPECT_EQ(nullptr, p);

    EXPECT_EQ((std::vector<uint16_t>{300, 301, 302, 303, 70}), Ids(r, PERIPHERAL_CLASS_ANY));
    EXPECT_EQ((std::vector<uint16_t>{302}), Ids(r, PERIPHERAL_CLASS_MONRC_FILE));
    EXPECT_EQ(std::vector<uint16_t>{}, Ids(r, 0x26));
}

TEST_F(PlMediatorTest, ChangesByIdReachOnlyLivePeripherals) {
    pl_mediator r;
    EXPECT_FALSE(r.Disable(PERIPHERAL_ID_CONFIG_FILE)); // before Init
    ASSERT_TRUE(r.Init(&factories));
    ASSERT_TRUE(r.Create(PERIPHERAL_ID_CONFIG_FILE, nullptr));
    CPeripheral* p = nullptr;
    ASSERT_TRUE(r.Find(PERIPHERAL_ID_CONFIG_FILE, &p));

    EXPECT_TRUE(r.Disable(PERIPHERAL_ID_CONFIG_FILE));
    EXPECT_EQ(0, p->Enabled());
    EXPECT_TRUE(r.Enable(PERIPHERAL_ID_CONFIG_FILE));
    EXPECT_EQ(1, p->Enabled());
    EXPECT_TRUE(r.MakeDue(PERIPHERAL_ID_CONFIG_FILE));
    EXPECT_EQ(600, p->Countdown());
    uint16_t previous = 0;
    EXPECT_TRUE(r.SetPollPeriod(PERIPHERAL_ID_CONFIG_FILE, 10, &previous));
    EXPECT_EQ(600, previous);
    EXPECT_EQ(10, p->PollPeriod());
    EXPECT_EQ(0, p->Countdown());
    EXPECT_TRUE(r.SetCountdown(PERIPHERAL_ID_CONFIG_FILE, 3));
    EXPECT_EQ(3, p->Countdown());

    for (uint16_t id : {0, 302, 65535}) {
        EXPECT_FALSE(r.Enable(id));
        EXPECT_FALSE(r.Disable(id));
        EXPECT_FALSE(r.MakeDue(id));
        EXPECT_FALSE(r.SetCountdown(id, 1));
        EXPECT_FALSE(r.SetPollPeriod(id, 1, nullptr));
        EXPECT_FALSE(r.Contains(id));
    }
}

// The registry owns its peripherals: each one deleted raises bit 0x40 of
// "database".
TEST_F(PlMediatorTest, DestructionDeletesWhatItOwns) {
    {
        pl_mediator r;
        ASSERT_TRUE(r.Init(&factories));
        ASSERT_TRUE(r.Create(PERIPHERAL_ID_MONRC_FILE, nullptr));
        TakeDatabaseBits();
    }
    EXPECT_EQ(0x40u, TakeDatabaseBits() & 0x40u);
}

} // namespace
