// The stored peripheral list and its loading: the iterator's edits (a stored
// id refused, a full list, a freed slot taken again, the editing state held
// around each write), and a registry that loads the list once, skips an id
// already live, marks what cannot be built, and deletes what it could not
// keep; the factory's common steps on a class of its own.
#include "peripherals/factory.h"
#include "peripherals/pl_iterator.h"
#include "peripherals/pl_mediator.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <string>

namespace {

using test_support::ClearConsole;
using test_support::ConsoleText;

const uint8_t TEST_CLASS = PERIPHERAL_CLASS_BEACON; // id 40

int g_alive = 0;
bool g_init_result = true;

class Probe : public CPeripheral {
  public:
    explicit Probe(uint16_t id, uint8_t class_code = TEST_CLASS) : CPeripheral(class_code, id) {
        ++g_alive;
    }
    ~Probe() override { --g_alive; }
    void Poll() override {}
    bool Init() override { return g_init_result; }
};

CPeripheral* create_probe(const PeripheralRecord& record, const PeripheralParameters&) {
    return periph_finish_creation(new Probe(record.id, record.class_code), record);
}

const pl_factory_row PROBE_ROWS[] = {
    {TEST_CLASS, create_probe, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_BEACON_IO, create_probe, 2, 1, true, false, false},
};

class StoredList : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        tx_thread_sleep(100);  // the peripheral task has loaded the factory list
        pl_iterator().Clear(); // (the front light sensor) and starts from none
        g_alive = 0;
        g_init_result = true;
        for (const pl_factory_row& row : PROBE_ROWS)
            factories.Add(&row);
    }
    static uint16_t Slot(uint16_t id) {
        pl_iterator it;
        uint16_t slot = 0xFFFF;
        it.FindSlot(id, &slot);
        return slot;
    }
    static uint32_t Status(uint16_t slot) { return db_get(obj::halvPeripheralStatus.row(slot)); }
    pl_factory factories;
};

TEST_F(StoredList, AddRefusesAStoredIdAndAFullListAndReusesAFreedSlot) {
    pl_iterator list;
    ASSERT_TRUE(list.Add(40, "%X,%X", 0x42100u, 1u));
    EXPECT_STREQ("42100,1", db_get_string(obj::halvPeripheralParameters.row(0)));
    EXPECT_NE(std::string::npos, ConsoleText().find("menu position =  0, id = 40\n"));
    EXPECT_FALSE(list.Add(40, "%X", 1u));
    EXPECT_FALSE(list.Add(0, "%X", 1u));
    EXPECT_FALSE(list.Add(41, "%s", std::string(81, '1').c_str())); // longer than a row keeps
    for (uint16_t id = 1000; id < 1254; ++id)
        ASSERT_TRUE(list.Add(id, "%X", unsigned(id))) << id;
    EXPECT_FALSE(list.Add(2000, "1")); // 255 slots used
    EXPECT_EQ(3, Slot(1002));
    db_set_text(obj::halvPeripheralAuxIOTableIndex.row(3), "0x5", DB_NOTIFY);
    ASSERT_TRUE(list.Remove(1002));
    EXPECT_FALSE(list.Remove(1002));
    EXPECT_STREQ("", db_get_string(obj::halvPeripheralAuxIOTableIndex.row(3)));
    ASSERT_TRUE(list.Add(2000, "1"));
    EXPECT_EQ(3, Slot(2000));
    EXPECT_TRUE(list.SetFlags(2000, 1));
    EXPECT_EQ(1u, Status(3));
    EXPECT_FALSE(list.SetFlags(1002, 1));
    EXPECT_EQ(2u, db_get(obj::peripheralConfigState)); // given back after every edit
    list.Clear();
    EXPECT_FALSE(list.Contains(40));
    list.Reset();
    pl_entry e;
    EXPECT_FALSE(list.Next(&e));
}

// An edit that finds the list being edited leaves it being edited.
TEST_F(StoredList, EditsKeepTheEditingStateTheyFound) {
    db_set(obj::peripheralConfigState, 1, DB_NOTIFY);
    pl_iterator list;
    ASSERT_TRUE(list.Add(40, "1"));
    ASSERT_TRUE(list.Remove(40));
    EXPECT_EQ(1u, db_get(obj::peripheralConfigState));
}

TEST_F(StoredList, LoadBuildsEachSlotOnceAndMarksWhatItCannotBuild) {
    pl_iterator list;
    ASSERT_TRUE(list.Add(16, "1"));                      // slot 0: no class builds it
    ASSERT_TRUE(list.Add(40, "1"));                      // slot 1
    ASSERT_TRUE(list.Add(301, "%s", ""));                // slot 2: no probe row for the file class
    db_set(obj::halvPeripheralID.row(3), 40, DB_NOTIFY); // the same id again
    db_set(obj::halvPeripheralStatus.row(3), 7, DB_NOTIFY);
    ASSERT_TRUE(list.Add(700, "1,2,3,4,5,6,7,8,9")); // slot 4: a ninth field
    {
        pl_mediator r;
        ASSERT_TRUE(r.Init(&factories));
        ClearConsole();
        pl_iterator cursor;
        ASSERT_TRUE(r.Load(cursor));
        EXPECT_FALSE(r.Load(cursor));
        EXPECT_EQ(1u, r.Count());
        EXPECT_EQ(1, g_alive);
        const uint32_t expected[] = {1, 0, 1, 7, 1};
        for (uint16_t slot = 0; slot < 5; ++slot)
            EXPECT_EQ(expected[slot], Status(slot)) << slot;
        const std::string& console = ConsoleText();
        EXPECT_NE(std::string::npos, console.find("load failure on UNKNOWN\n")) << console;
        EXPECT_NE(std::string::npos, console.find("skip duplicate BEACON01\n")) << console;
        EXPECT_NE(std::string::npos, console.find("load failure on CONFIG FILE\n")) << console;
        EXPECT_NE(std::string::npos, console.find("load failure on GEN2 BEACON1\n")) << console;

        CPeripheral* p = nullptr;
        ASSERT_TRUE(r.Find(40, &p));
        EXPECT_EQ(1, p->ListSlot());
        EXPECT_EQ(1, p->Listed());
        EXPECT_EQ(1, p->Enabled());
        EXPECT_LT(p->Countdown(), 2);
        unsigned cursor_of_class = 0;
        EXPECT_FALSE(r.First(PERIPHERAL_CLASS_TEMPERATURE, &cursor_of_class, &p));
        EXPECT_EQ(nullptr, p);

        EXPECT_TRUE(r.Unload());
        EXPECT_FALSE(r.Unload());
        EXPECT_EQ(0, g_alive);
        EXPECT_TRUE(r.Load(cursor));
        EXPECT_EQ(1, g_alive);
    }
    EXPECT_EQ(0, g_alive);
}

// A peripheral built but not taken into the registry is deleted and its slot
// marked, never reported as created.
TEST_F(StoredList, APeripheralTheRegistryCannotKeepIsDeletedAndMarked) {
    pl_iterator list;
    ASSERT_TRUE(list.Add(40, "1"));
    pl_mediator r;
    ASSERT_TRUE(r.Init(&factories));
    for (unsigned i = 0; i < pl_mediator::CAPACITY; ++i)
        ASSERT_TRUE(r.Adopt(new Probe(uint16_t(5000 + i), 0x77)));
    const int alive = g_alive;
    ClearConsole();
    pl_iterator cursor;
    ASSERT_TRUE(r.Load(cursor));
    EXPECT_EQ(alive, g_alive);
    EXPECT_EQ(1u, Status(Slot(40)));
    EXPECT_NE(std::string::npos, ConsoleText().find("load failure on BEACON01"));
}

TEST_F(StoredList, TheFactoryDrawsACountdownBelowThePeriodAndDropsAFailedInit) {
    const PeripheralRecord record{7, 13, PERIPHERAL_CLASS_TEMPERATURE, "42105"};
    for (int i = 0; i < 50; ++i) {
        CPeripheral* p =
            periph_finish_creation(new Probe(13, PERIPHERAL_CLASS_TEMPERATURE), record);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(10, p->PollPeriod());
        EXPECT_LT(p->Countdown(), 10);
        EXPECT_EQ(7, p->ListSlot());
        delete p;
    }
    g_init_result = false;
    EXPECT_EQ(nullptr, periph_finish_creation(new Probe(13, PERIPHERAL_CLASS_TEMPERATURE), record));
    EXPECT_EQ(0, g_alive);
}

} // namespace
