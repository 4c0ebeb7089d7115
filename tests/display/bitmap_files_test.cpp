// Bitmap files and the messages that name them: the tag scan over careless
// and hostile texts, and the clean-up of "./Bitmaps/" that a message status
// request sets off.
#include "display/display_task.h"
#include "platform/monitor/monitor.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <cstring>
#include <string>

namespace {

const uint32_t AS_THE_DISPLAY = DB_NOTIFY | DB_NO_VALIDATE;

// The name FindGraphicTag finds from `from`, or "-" for none.
std::string found(const std::string& text, uint32_t from = 0, uint32_t length = 0xFFFFFFFF) {
    if (length == 0xFFFFFFFF) length = uint32_t(text.size());
    uint32_t name_length = 0;
    int32_t at = CDisplay::FindGraphicTag(text.data(), length, from, &name_length);
    return at < 0 ? "-" : text.substr(size_t(at), name_length);
}

TEST(GraphicTags, TheScanStaysInsideTheTextAndTheTag) {
    const struct {
        const char* text;
        const char* name;
    } cases[] = {
        {"[ms11,g,1,1,12.bmp]", "12.bmp"},
        {"AB[MS11,G,10,-2,Bitmaps/x.bmp]CD", "Bitmaps/x.bmp"},
        {"[ms11,g,1,1,open.bmp", "open.bmp"}, // no closing bracket: up to the end
        {"[ms11,g,1", "-"},
        {"[ms11,g,", "-"},
        {"[ms11,g,1]x,1,a.bmp]", "-"}, // the fields never run past the tag
        {"[[ms11,g,1,1,a.bmp]", "-"},  // an escaped bracket opens no tag
        {"[ms11,gpo,1,1]", "-"},
        {"[ms12,g,1,1,a.bmp]", "-"},
        {"[ms11g,1,1,b.bmp]", "b.bmp"}, // the comma after 11 may be left out
        {"[jl3][ms11,g,1,1,]", ""},
        {"[", "-"},
        {"", "-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.name, found(c.text)) << c.text;

    const std::string two = "[ms11,g,1,1,a.bmp][ms11,g,2,2,b.bmp]";
    EXPECT_EQ("b.bmp", found(two, 1));
    EXPECT_EQ("-", found(two, uint32_t(two.size())));
    EXPECT_EQ("-", found(two, 1000));
    // A text cut short by its length: nothing past it is read.
    EXPECT_EQ("-", found("[ms11,g,1,1,abc.bmp]", 0, 8));
    EXPECT_EQ("ab", found("[ms11,g,1,1,abc.bmp]", 0, 14));
}

class BitmapDirectory : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200);
    }
    static void Put(const std::string& name) {
        static const unsigned char bytes[] = "BM";
        ASSERT_EQ(0, mon_tfsadd(name.c_str(), nullptr, nullptr, bytes, 2)) << name;
    }
    static bool Exists(const std::string& name) { return mon_tfsstat(name.c_str()) != nullptr; }
    static void PutMessage(const message_columns& table, unsigned row, const char* text,
                           uint32_t status) {
        ASSERT_EQ(DB_OK, db_set_text(table.multi.row(row), text, AS_THE_DISPLAY));
        ASSERT_EQ(DB_OK, db_set(table.status.row(row), status, AS_THE_DISPLAY));
    }
};

// A modify request sets off the clean-up: a tag's name protects every file
// it starts with, a message that is not valid protects nothing, files that
// are no bitmaps or lie outside the directory stay, and more files than one
// pass holds all go.
TEST_F(BitmapDirectory, AStatusRequestRemovesTheBitmapsNoValidMessageNames) {
    for (const char* name : {"Bitmaps/12.bmp", "Bitmaps/13.bmp", "Bitmaps/notes.txt", "12.bmp",
                             "13.bmp", "Bitmaps/perm.bmp"})
        Put(name);
    for (int i = 0; i < 40; ++i)
        Put("Bitmaps/extra" + std::to_string(i) + ".bmp");
    PutMessage(VOLATILE_MESSAGES, 2, "[ms11,g,1,1,12.bmpx]", MSG_STATUS_VALID);
    PutMessage(CHANGEABLE_MESSAGES, 7, "[ms11,g,1,1,13.bmp]", MSG_STATUS_MODIFYING);
    PutMessage(PERMANENT_MESSAGES, 0, "[ms11,g,1,1,Bitmaps/perm.bmp]", MSG_STATUS_VALID);

    ASSERT_EQ(DB_OK,
              db_set(obj::changeableMsgStatus.row(3), MSG_STATUS_MODIFY_REQ, AS_THE_DISPLAY));
    tx_thread_sleep(30);
    ASSERT_EQ(MSG_STATUS_MODIFYING, db_get(obj::changeableMsgStatus.row(3)));

    EXPECT_TRUE(Exists("Bitmaps/12.bmp"));
    EXPECT_FALSE(Exists("Bitmaps/13.bmp"));
    EXPECT_TRUE(Exists("Bitmaps/perm.bmp"));
    EXPECT_TRUE(Exists("Bitmaps/notes.txt"));
    EXPECT_TRUE(Exists("12.bmp"));
    EXPECT_TRUE(Exists("13.bmp")); // outside the directory
    for (int i = 0; i < 40; ++i)
        EXPECT_FALSE(Exists("Bitmaps/extra" + std::to_string(i) + ".bmp")) << i;

    // The flash-wide clean-up also removes the unnamed bitmap outside the directory.
    CDisplay::RemoveUnusedBitmaps();
    EXPECT_FALSE(Exists("13.bmp"));
    EXPECT_TRUE(Exists("12.bmp"));
    EXPECT_TRUE(Exists("Bitmaps/12.bmp"));
}

} // namespace
