// The display step's memory of its frames: one compare of a frame a step
// tells both whether the last blanking still holds and whether the Current
// Display slot already has the picture; a frame written since, or taken
// unblanked by the slot's check, is always blanked again.
#include "display/frame_output.h"

#include <gtest/gtest.h>

namespace {

const uint16_t HEIGHT = 8, WIDTH = 10;
const uint32_t LIT = 0x7C00;

// One face lit all over, its pixel (2, 3) failed, stepped as the display
// step does: the blanking when asked, then the Current Display check.
class FrameMemory : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(frame_.create(HEIGHT, WIDTH, LIT, 15));
        ASSERT_TRUE(errors_.create(HEIGHT, WIDTH, 0, 1));
        disp::pixel failed{2, 3, 1};
        errors_.set_pixel(failed);
        sources_.test[0] = &errors_;
        sources_.faces = 1;
        sources_.width = WIDTH;
        sources_.height = HEIGHT;
    }
    struct Outcome {
        bool blanked, stored;
    };
    Outcome Step(bool blanking = true) {
        blanked_.begin_step();
        disp::frame* frames[1] = {&frame_};
        Outcome outcome{false, false};
        if (blanking && list_.follow(sources_) && !blanked_.unchanged(frames, 1, list_)) {
            for (const failed_pixel_list::failure& f : list_) {
                disp::pixel dark{f.x, f.y, 0};
                frame_.set_pixel(dark);
            }
            blanked_.remember(frames, 1, list_, map_);
            outcome.blanked = true;
        }
        uint64_t revision = 0;
        outcome.stored = !blanked_.picture(0, &frame_, revision) ||
                         !shown_.same(revision, shown_frame_memory::place{});
        return outcome;
    }
    uint32_t Pixel(uint16_t x, uint16_t y) {
        disp::pixel p{x, y};
        frame_.get_pixel(p);
        return p.value;
    }
    void Light(uint16_t x, uint16_t y) {
        disp::pixel p{x, y, LIT};
        frame_.set_pixel(p);
    }

    disp::frame frame_, errors_;
    failure_sources sources_;
    failed_pixel_list list_;
    blanked_frames blanked_;
    shown_frame_memory shown_;
    uint8_t map_[blanked_frames::MAP_BYTES] = {};
};

TEST_F(FrameMemory, AnUnchangedFrameIsNeitherBlankedNorStoredAgain) {
    Outcome first = Step();
    EXPECT_TRUE(first.blanked);
    EXPECT_TRUE(first.stored);
    EXPECT_EQ(0u, Pixel(2, 3));
    for (int i = 0; i < 3; ++i) {
        Outcome later = Step();
        EXPECT_FALSE(later.blanked);
        EXPECT_FALSE(later.stored);
        uint32_t lit = 0;
        EXPECT_TRUE(blanked_.lit_count(0, lit));
        EXPECT_EQ(uint32_t(HEIGHT * WIDTH - 1), lit) << "counted once, at the blanking";
    }
}

TEST_F(FrameMemory, AFrameWrittenAfterTheBlankingIsBlankedAgain) {
    Step();
    // Another page: the failed pixel lit again, another one dark.
    Light(2, 3);
    disp::pixel dark{0, 0, 0};
    frame_.set_pixel(dark);
    Outcome redrawn = Step();
    EXPECT_TRUE(redrawn.blanked);
    EXPECT_TRUE(redrawn.stored);
    EXPECT_EQ(0u, Pixel(2, 3));
    EXPECT_FALSE(Step().blanked);

    // That page drawn again: blanked, and the slot keeps its picture.
    Light(2, 3);
    Outcome same_page = Step();
    EXPECT_TRUE(same_page.blanked);
    EXPECT_FALSE(same_page.stored);
    EXPECT_EQ(0u, Pixel(2, 3));
}

// Failures switched off for a step: the slot's check takes the unblanked
// frame; with the same failures back the frame is blanked again.
TEST_F(FrameMemory, APictureTakenUnblankedIsNeverTakenForTheBlankedOne) {
    Step();
    Light(2, 3);
    EXPECT_TRUE(Step(false).stored);
    EXPECT_EQ(LIT, Pixel(2, 3));
    uint32_t lit = 0;
    EXPECT_FALSE(blanked_.lit_count(0, lit)) << "not the blanked frame's count";
    Outcome back = Step();
    EXPECT_TRUE(back.blanked);
    EXPECT_TRUE(back.stored);
    EXPECT_EQ(0u, Pixel(2, 3));
}

TEST_F(FrameMemory, TheSameBytesInAnotherShapeAreAnotherPicture) {
    ASSERT_TRUE(frame_.destroy());
    ASSERT_TRUE(frame_.create(HEIGHT, WIDTH, 0, 15));
    EXPECT_TRUE(Step(false).stored);
    EXPECT_FALSE(Step(false).stored);
    ASSERT_TRUE(frame_.destroy());
    ASSERT_TRUE(frame_.create(WIDTH, HEIGHT, 0, 15)); // the same 160 zero bytes
    EXPECT_TRUE(Step(false).stored);
}

} // namespace
