// The parser over the object store: defaults, sign settings and the font and
// graphic tables read through the store source.
#include "display/multi_parser.h"
#include "multi_fake.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "tests/store/store_fixture.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const uint32_t FLAGS = DB_NO_VALIDATE | DB_NO_JOURNAL;

class MultiStore : public store_test::StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        const std::pair<DbObject, uint32_t> settings[] = {
            {obj::vmsSignWidthPixels, 112},
            {obj::vmsSignHeightPixels, 32},
            {obj::vmsCharacterWidthPixels, 0},
            {obj::vmsCharacterHeightPixels, 0},
            {obj::dmsSignType, 6},
            {obj::halvModuleID, 58},
            {obj::halvSpecialFeatureSet, 0},
            {obj::dmsColorScheme, 4},
            {obj::defaultFont, 2},
            {obj::defaultFlashOn, 4},
            {obj::defaultFlashOff, 6},
            {obj::defaultJustificationLine, 2},
            {obj::defaultJustificationPage, 4},
            {obj::defaultPageOnTime, 25},
            {obj::defaultPageOffTime, 3},
            {obj::fontNumber.row(4), 2},
            {obj::fontVersionID.row(4), 0xBEEF},
            {obj::fontStatus.row(4), 4},
            {obj::fontLineSpacing.row(4), 6},
            {obj::dmsGraphicNumber.row(7), 5},
            {obj::dmsGraphicID.row(7), 0x1234},
            {obj::dmsGraphicStatus.row(7), 6},
            {obj::dmsGraphicWidth.row(7), 20},
            {obj::dmsGraphicHeight.row(7), 10},
            {obj::tempMinCtrlCabinet, 0xFB},
        };
        for (const auto& s : settings)
            ASSERT_EQ(DB_OK, db_set(s.first, s.second, FLAGS));
        ASSERT_EQ(DB_OK, db_set_string(obj::defaultForegroundRGB, "\xFF\x00\x00\x12", 4, FLAGS));
        ASSERT_EQ(DB_OK, db_set_string(obj::defaultBackgroundRGB, "\x00\x00\xFF", 3, FLAGS));
    }
    CMULTIParser parser; // reads the store
    multi_test::Recorder recorder;
    std::unique_ptr<CMessage> message{new CMessage};

    int Validate(const std::string& text) {
        message->windows[0] = msg_window{0, 0, 112, 32};
        recorder.seen.clear();
        return parser.Validate(&recorder, multi_test::Recorder::Callback, message.get(),
                               text.data(), uint32_t(text.size()));
    }
};

TEST_F(MultiStore, DefaultsComeFromTheDefaultObjects) {
    ASSERT_EQ(MULTI_OK, Validate("A"));
    const message_defaults& d = message->defaults;
    EXPECT_EQ(31u, d.foreground) << "24-bit colour FF 00 00";
    EXPECT_EQ(3, d.foreground_rgb_length) << "only the first three bytes";
    EXPECT_EQ(31u << 10, d.page_background);
    EXPECT_EQ(-1, d.text_background);
    EXPECT_EQ((std::vector<int>{4, 6, 25, 3, 2, 2, 4}),
              (std::vector<int>{d.flash_on, d.flash_off, d.page_on, d.page_off, d.font,
                                d.justification_line, d.justification_page}));
    EXPECT_EQ(2, message->font);
    EXPECT_EQ(31u, multi_default_foreground_rgb15());
    EXPECT_EQ(31u << 10, multi_default_background_rgb15());
    ASSERT_EQ(DB_OK, db_set(obj::dmsColorScheme, 1, FLAGS));
    EXPECT_EQ(0u, multi_default_foreground_rgb15()) << "classic colour 255";
}

TEST_F(MultiStore, TagsReadTheSignAndItsTables) {
    struct {
        const char* text;
        int result;
    } cases[] = {
        {"[fo2]", 2},          {"[fo2,BEEF]", 2},     {"[fo2,BEEE]", 13}, {"[fo1]", 6},
        {"[fo]", 2},           {"[g5,93,1]", 2},      {"[g5,94,1]", 4},   {"[g5,1,1,1234]", 2},
        {"[g4]", 15},          {"[pb3]", 2},          {"[pb2]", 4},       {"[f92]", 2},
        {"[ms11,spk,4,3]", 2}, {"[ms11,spk,5,3]", 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, Validate(c.text)) << c.text;
    ASSERT_EQ(MULTI_OK, Validate("[f92][f93]"));
    EXPECT_EQ("F4:-5#0 F5:23#0 14 15", recorder.Joined());
    const std::string text = "[fo2]A[nl]B";
    parser.SetText(&recorder, multi_test::Recorder::Callback, message.get(), text.data(),
                   uint32_t(text.size()));
    ASSERT_TRUE(parser.ParsePage(&recorder, multi_test::Recorder::Callback, message.get(), 1));
    EXPECT_EQ(3, message->lines[0][0].line_spacing) << "half of font 2's line spacing";
}

TEST_F(MultiStore, BitmapFilesAreFoundInTheFlashFileSystem) {
    host::host_options().flash_size = 512 * 1024;
    std::string error;
    ASSERT_TRUE(host::monitor_start(host::host_options(), error)) << error;
    const unsigned char data[] = {'B', 'M', 0, 0};
    ASSERT_GE(mon_tfsadd("Bitmaps/arrow.bmp", "", "", data, sizeof(data)), 0);
    ASSERT_EQ(MULTI_OK, Validate("[ms11,g,3,4,arrow.bmp]"));
    EXPECT_EQ("B:Bitmaps/arrow.bmp,3,4 14 15", recorder.Joined());
    EXPECT_EQ(MULTI_UNSUPPORTED_TAG_VALUE, Validate("[ms11,g,3,4,missing.bmp]"));
    host::monitor_stop();
}

} // namespace
