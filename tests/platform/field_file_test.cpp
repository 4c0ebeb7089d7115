// The field file: one parser for every kind, "FILE:LINE: reason" for the
// first bad line, the display modules' settings from the good ones.
#include "platform/field/display_modules.h"
#include "platform/field/field.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class FieldFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/field_file_test_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        options_.field_file = options_.state_dir + "/field.txt";
    }
    void TearDown() override {
        host::field_stop();
        std::filesystem::remove_all(options_.state_dir);
    }
    bool Start(const std::string& text, std::string& error) {
        std::ofstream(options_.field_file) << text;
        return host::field_start(options_, error);
    }
    host::HostOptions options_;
};

TEST_F(FieldFile, GoodLinesSetTheDisplayModules) {
    std::string error;
    ASSERT_TRUE(Start("# the sign's modules\n\n  display module 16x32 red-green   # two colours\n"
                      "display format 3\n\tdisplay scale 4\ndisplay module 7x5\n",
                      error))
        << error;
    field::DisplaySettings s = field::display_modules().Settings();
    EXPECT_EQ(3, s.format);
    EXPECT_EQ(4, s.scale);
    EXPECT_EQ(7, s.module_height); // the last module line wins, mono by default
    EXPECT_EQ(5, s.module_width);
    EXPECT_EQ(field::LedColours::Mono, s.colours);

    ASSERT_TRUE(Start("", error)) << error; // a new start is back at the defaults
    s = field::display_modules().Settings();
    EXPECT_EQ(0, s.format);
    EXPECT_EQ(8, s.module_height);
    EXPECT_EQ(1, s.scale);
}

TEST_F(FieldFile, TheFirstBadLineIsNamedWithItsReason) {
    struct {
        const char* text;
        const char* error; // after "FILE:"
    } cases[] = {
        {"display format 1\n\nlamp on\n", "3: unknown device kind 'lamp'"},
        {"Display format 1\n", "1: unknown device kind 'Display'"},
        {"display\n", "1: unknown display setting '' (format, module, scale, size or failed)"},
        {"display colour red\n", "1: unknown display setting 'colour' (format, module, scale, size or failed)"},
        {"display format 256\n", "1: display format needs one number 0 to 255"},
        {"display format -1\n", "1: display format needs one number 0 to 255"},
        {"display format 1 2\n", "1: display format needs one number 0 to 255"},
        {"display format 0x10\n", "1: display format needs one number 0 to 255"},
        {"display scale 0\n", "1: display scale needs one number 1 to 16"},
        {"display scale 99999999999999999999\n", "1: display scale needs one number 1 to 16"},
        {"display module 8x\n", "1: display module needs HxW, each 1 to 64"},
        {"display module 8*8\n", "1: display module needs HxW, each 1 to 64"},
        {"display module 0x8\n", "1: display module needs HxW, each 1 to 64"},
        {"display module 8x8 blue\n", "1: display module colours must be mono, red-green or full"},
        {"display module\n", "1: display module needs HxW and mono, red-green or full"},
        {"display module 8x8 mono extra\n",
         "1: display module needs HxW and mono, red-green or full"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(Start(c.text, error)) << c.text;
        EXPECT_EQ(options_.field_file + ":" + c.error, error) << c.text;
    }
    options_.field_file = options_.state_dir + "/missing.txt";
    std::string error;
    EXPECT_FALSE(host::field_start(options_, error));
    EXPECT_EQ(options_.field_file + ": cannot read the field file", error);
}

} // namespace
