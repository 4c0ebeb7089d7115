// The field file: one parser for every kind, "FILE:LINE: reason" for the
// first bad line, the display modules' settings from the good ones.
#include "display/disp/bus_6120.h"
#include "platform/field/display_failures.h"
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
        {"display colour red\n",
         "1: unknown display setting 'colour' (format, module, scale, size or failed)"},
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
        {"display failed 5\n", "1: display failed needs X[-X2] Y[-Y2], LEDs from 0"},
        {"display failed 9-3 0\n", "1: display failed needs X[-X2] Y[-Y2], LEDs from 0"},
        {"display failed x 0\n", "1: display failed needs X[-X2] Y[-Y2], LEDs from 0"},
        {"display failed 1 2 3\n", "1: display failed needs X[-X2] Y[-Y2], LEDs from 0"},
        {"display size 8\n", "1: display size needs HxW, each 1 to 65535"},
        {"display size 0x8\n", "1: display size needs HxW, each 1 to 65535"},
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

// Dead LEDs come back from a module scan as index reports: a sign 16 high
// of 8-pixel modules reports (0,0), (1,8) and (0,1) as indices 0, 9 and
// 0x8000 in one frame; a whole dead sign fills frames of at most 255 bytes
// that the display bus's framer takes, one index per LED.
TEST_F(FieldFile, DeadLedsAreReportedInFramesOfAtMost255Bytes) {
    std::string error;
    ASSERT_TRUE(Start("display module 8x8\ndisplay size 16x24\ndisplay failed 0 0-1\n"
                      "display failed 1 8\n",
                      error))
        << error;
    std::vector<std::vector<uint8_t>> frames = field::module_scan_frames();
    ASSERT_EQ(1u, frames.size());
    const std::vector<uint8_t> expected = {0x7E, 0x01, 0x07, 0x01, 0x00, 0x00,
                                           0x00, 0x09, 0x80, 0x00, 0x10, 0x7E};
    EXPECT_EQ(expected, frames[0]);

    ASSERT_TRUE(host::field_line("display failed 0-23 0-15", error)) << error;
    frames = field::module_scan_frames();
    EXPECT_GT(frames.size(), 2u);
    disp::stream_6120 framer;
    uint32_t indices = 0;
    for (const std::vector<uint8_t>& frame : frames) {
        EXPECT_LE(frame.size(), 255u);
        ASSERT_TRUE(framer.push(frame.data(), uint32_t(frame.size())));
        disp::packet p;
        ASSERT_TRUE(framer.next_packet(&p));
        EXPECT_EQ(0x01, p.payload[0]);
        indices += (p.length - 1) / 2;
    }
    EXPECT_EQ(16u * 24, indices);
}

// The modules decode a refreshed frame as a fresh pair of modules would: the
// same buffer rewritten in place, and the same bytes under other settings.
TEST(DisplayModules, EachFrameShowsAsAFreshDecodingOfIt) {
    field::DisplayModules& modules = field::display_modules();
    std::vector<uint8_t> buffer(256);
    auto fill = [&](uint8_t seed) {
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = uint8_t(i * seed + seed);
    };
    auto show = [&](field::DisplayModules& m) {
        board::DisplayOutput out;
        out.lit = true;
        out.brightness = 50;
        out.width = 16;
        out.height = 8;
        out.frame = buffer.data();
        out.frame_bytes = uint32_t(buffer.size());
        m.Show(out);
        return m.Picture().levels;
    };
    auto fresh = [&](field::LedColours colours) {
        modules.Reset();
        field::DisplaySettings s;
        s.colours = colours;
        modules.SetSettings(s);
        return show(modules);
    };
    fill(3);
    const auto first = fresh(field::LedColours::Mono);
    fill(7);
    const auto second = fresh(field::LedColours::Mono);
    const auto second_full = fresh(field::LedColours::Full);
    ASSERT_NE(first, second);

    modules.Reset();
    fill(3);
    EXPECT_EQ(first, show(modules));
    fill(7); // the same buffer, rewritten
    EXPECT_EQ(second, show(modules));
    field::DisplaySettings full;
    full.colours = field::LedColours::Full;
    modules.SetSettings(full);
    EXPECT_EQ(second_full, show(modules));
    modules.Reset();
}

} // namespace
