// The menu framework's tables: the menu table's invariants in one loop, and
// the factory registry's duplicate and capacity rules.
#include "frontpanel/menu.h"

#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

// The screen classes that list children (containers and their subclasses).
const std::set<uint32_t> CONTAINER_TYPES = {TYPE_CONTAINER,       TYPE_MAIN_MENU,
                                            TYPE_MESSAGE_CONTROL, TYPE_PIXEL_TEST_RESULTS,
                                            TYPE_RDI_OPTIONS,     TYPE_ETHERNET_OPTIONS};
const uint32_t KNOWN_RIGHTS = RIGHT_PERIPHERALS | RIGHT_PASSWORD | RIGHT_CONFIGURATION |
                              RIGHT_DATE_TIME | RIGHT_RESET | RIGHT_SCHEDULE | RIGHT_DIAGNOSTICS |
                              RIGHT_BRIGHTNESS | RIGHT_MESSAGE_EDIT | RIGHT_MESSAGE_RUN |
                              RIGHT_COMMUNICATION | RIGHT_FONT;

TEST(MenuTable, EveryRowResolvesAndTheSpecialMenusKeepTheirRules) {
    EXPECT_EQ(141u, MENU_TABLE_COUNT);
    std::set<int32_t> ids;
    for (size_t i = 0; i < MENU_TABLE_COUNT; ++i)
        EXPECT_TRUE(ids.insert(MENU_TABLE[i].id).second) << "duplicate id " << MENU_TABLE[i].id;

    std::map<int32_t, int> listed; // how many containers list each id
    for (size_t i = 0; i < MENU_TABLE_COUNT; ++i) {
        const menu_row& row = MENU_TABLE[i];
        SCOPED_TRACE(row.id);
        EXPECT_TRUE(row.parent == 0 || ids.count(row.parent)) << "fixed parent " << row.parent;
        EXPECT_EQ(0u, row.rights & ~KNOWN_RIGHTS);
        EXPECT_NE(nullptr, row.title.english);
        EXPECT_NE(nullptr, row.title.french);
        for (size_t c = 0; c < MENU_MAX_LISTED && row.children[c] != 0; ++c) {
            EXPECT_TRUE(CONTAINER_TYPES.count(row.type)) << "children of a non-container";
            EXPECT_TRUE(ids.count(row.children[c])) << "child " << row.children[c];
            EXPECT_NE(row.id, row.children[c]);
            ++listed[row.children[c]];
        }
        EXPECT_EQ(&row, menu_table_row(row.id));
    }
    // Menus with roles of their own.
    for (int32_t id : {MENU_SPLASH, MENU_LOGIN, MENU_MAIN, MENU_INSUFFICIENT_RIGHTS})
        EXPECT_TRUE(ids.count(id)) << id;
    EXPECT_EQ(0, listed[MENU_RUN_OPTIONS]) << "run options take the asker as parent";
    EXPECT_EQ(0, menu_table_row(MENU_RUN_OPTIONS)->parent);
    EXPECT_EQ(0, listed[MENU_NO_FREE_SLOT]) << "the no-free-slot screen takes the asker as parent";
    ASSERT_NE(nullptr, menu_table_row(MENU_NO_FREE_SLOT));
    EXPECT_EQ(0, menu_table_row(MENU_NO_FREE_SLOT)->parent);
    EXPECT_EQ(MENU_SLOT_USED, menu_table_row(MENU_SLOT_USED)->parent);
    EXPECT_EQ(2, listed[130]) << "listed by RDI options and IP settings";
    EXPECT_EQ(0, listed[MENU_MAIN]);
}

TEST(MenuTable, AMissingFrenchTextFallsBackToTheEnglishOne) {
    const menu_row* preview = menu_table_row(29);
    ASSERT_NE(nullptr, preview);
    EXPECT_STREQ("PREVIEW A MESSAGE", preview->title.Of(false));
    EXPECT_STREQ("PREVIEW A MESSAGE", preview->title.Of(true)) << "no bare number in a list";
    EXPECT_STREQ("", menu_text({"", ""}).Of(true));
    EXPECT_STREQ("HORAIRE RAPIDE", menu_table_row(MENU_QUICK_SCHEDULE)->title.Of(true));
    EXPECT_STREQ("* = REQUIRES REBOOT", menu_table_row(48)->footer.Of(false));
    EXPECT_STREQ("", menu_table_row(47)->footer.Of(false)) << "no footer";
}

class Item : public CMenuItem {
  public:
    Item(int32_t id, int tag) : CMenuItem(id), tag(tag) {}
    bool OnKey(CLCD_Manager&, uint16_t*) override { return false; }
    void Draw(CLCD_Manager&, CLCD&, uint8_t) override {}
    int tag;
};

CMenuItem* first(int32_t id, const menu_row&) {
    return new Item(id, 1);
}
CMenuItem* second(int32_t id, const menu_row&) {
    return new Item(id, 2);
}

class ClassFactory : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        class_factory::Reset();
    }
    void TearDown() override {
        class_factory::Reset();
        KernelFixture::TearDown();
    }
};

TEST_F(ClassFactory, ADuplicateTypeIsLoggedOncePerEarlierRecordAndTheFirstBuilds) {
    static const menu_factory_record records[] = {{500, first}, {500, second}, {500, second}};
    for (const menu_factory_record& r : records)
        EXPECT_EQ(500u, class_factory::Register(&r));
    const std::string& console = test_support::ConsoleText();
    const std::string line = "class_factory::Register: error duplicate type:500\n";
    size_t lines = 0;
    for (size_t at = console.find(line); at != std::string::npos; at = console.find(line, at + 1))
        ++lines;
    EXPECT_EQ(3u, lines) << console;
    EXPECT_EQ(3u, class_factory::Count());

    const menu_row& row = *menu_table_row(MENU_MAIN);
    CMenuItem* built = class_factory::Create(500, 77, row);
    ASSERT_NE(nullptr, built);
    EXPECT_EQ(1, static_cast<Item*>(built)->tag);
    EXPECT_EQ(77, built->Id());
    delete built;
    EXPECT_EQ(nullptr, class_factory::Create(501, 77, row));
}

TEST_F(ClassFactory, RegistrationsBeyondCapacityAreDroppedSilently) {
    static menu_factory_record records[class_factory::CAPACITY + 1];
    for (size_t i = 0; i <= class_factory::CAPACITY; ++i) {
        records[i] = {uint32_t(1000 + i), first};
        class_factory::Register(&records[i]);
    }
    EXPECT_EQ(class_factory::CAPACITY, class_factory::Count());
    EXPECT_EQ(nullptr, class_factory::Create(uint32_t(1000 + class_factory::CAPACITY), 1,
                                             *menu_table_row(MENU_MAIN)));
    EXPECT_EQ(std::string::npos, test_support::ConsoleText().find("class_factory"));
}

} // namespace
