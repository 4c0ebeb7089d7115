// The display driver's frame conversion that skips a frame it already made:
// after every change of the pixels, the layout, the blank flag or the frame
// area's bytes, the area holds what a fresh conversion writes.
#include "display/j6_frame_formats.h"
#include "display/surface.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step {
    const char* what;
    void (*change)(CSurface& surface, std::vector<uint8_t>& area, uint8_t& format, bool& blank);
};

const Step STEPS[] = {
    {"first frame", [](CSurface&, std::vector<uint8_t>&, uint8_t&, bool&) {}},
    {"same frame again", [](CSurface&, std::vector<uint8_t>&, uint8_t&, bool&) {}},
    {"a pixel lit",
     [](CSurface& s, std::vector<uint8_t>&, uint8_t&, bool&) { s.SetPixel(3, 2, 0x1F); }},
    {"the area overwritten", [](CSurface&, std::vector<uint8_t>& area, uint8_t&,
                                bool&) { area.assign(area.size(), 0xA5); }},
    {"blank", [](CSurface&, std::vector<uint8_t>&, uint8_t&, bool& blank) { blank = true; }},
    {"shown again", [](CSurface&, std::vector<uint8_t>&, uint8_t&, bool& blank) { blank = false; }},
    {"another layout",
     [](CSurface&, std::vector<uint8_t>&, uint8_t& format, bool&) { format = 12; }},
    {"a pixel dark",
     [](CSurface& s, std::vector<uint8_t>&, uint8_t&, bool&) { s.SetPixel(3, 2, 0); }},
};

TEST(FrameConverter, TheAreaAlwaysHoldsWhatAFreshConversionWrites) {
    CSurface surface;
    ASSERT_NE(nullptr, surface.Create(16, 24, 8));
    surface.Fill(0);
    surface.SetPixel(0, 0, 0x10);
    std::vector<uint8_t> area(4096, 0), fresh(4096, 0);
    uint8_t format = 1;
    bool blank = false;
    j6_frame_converter converter;
    for (const Step& step : STEPS) {
        step.change(surface, area, format, blank);
        std::fill(fresh.begin(), fresh.end(), 0);
        const j6_frame_target to_area = {area.data(), uint32_t(area.size()), 1, 0, 8};
        const j6_frame_target to_fresh = {fresh.data(), uint32_t(fresh.size()), 1, 0, 8};
        const j6_frame_result got = converter.convert(surface, format, blank, to_area);
        const j6_frame_result want = j6_convert_frame(surface, format, blank, to_fresh);
        EXPECT_EQ(want.bytes, got.bytes) << step.what;
        EXPECT_EQ(want.needed, got.needed) << step.what;
        EXPECT_EQ(want.stored_height, got.stored_height) << step.what;
        ASSERT_GT(want.bytes, 0u) << step.what;
        EXPECT_TRUE(std::equal(fresh.begin(), fresh.begin() + want.bytes, area.begin()))
            << step.what;
    }
}

} // namespace
