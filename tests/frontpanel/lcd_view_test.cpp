// The sign image on the panel's LCD: the layouts of narrow, full-width,
// wide and too-tall signs as the panel module decodes them, the surface
// depths of the preview, and frames of another size than the view.
#include "display/disp/frame.h"
#include "display/display_task.h"
#include "display/surface.h"
#include "frontpanel/lcd.h"
#include "frontpanel/lcd_view.h"
#include "frontpanel/manager.h"
#include "tests/frontpanel/panel_navigation.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using test_support::PanelSession;
using test_support::RectCommand;
using Bytes = std::vector<uint8_t>;

// A frame with every dot lit.
std::unique_ptr<disp::frame> lit_frame(uint16_t rows, uint16_t columns) {
    auto frame = std::make_unique<disp::frame>();
    EXPECT_TRUE(frame->create(rows, columns, 0, 1));
    for (uint16_t y = 0; y < rows; ++y)
        for (uint16_t x = 0; x < columns; ++x) {
            disp::pixel p{x, y};
            p.value = 1;
            frame->set_pixel(p);
        }
    return frame;
}

Bytes bitmap_header(uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
    return {LCD_COMMAND, 'd', x, y, uint8_t(x + width - 1), uint8_t(y + height - 1)};
}

class SignImageView : public test_support::PanelNavigation {
  protected:
    void SetUp() override {
        PanelNavigation::SetUp();
        Panel();
        manager_ = PanelSession::Manager();
        ASSERT_NE(nullptr, manager_);
        // The display's own view stays quiet: only this one draws.
        TheDisplay().AttachFrontPanelImage(nullptr);
        manager_->sign_image = 1;
        view_.SetManager(manager_);
    }
    void Draw(uint16_t rows, uint16_t columns, uint8_t mode = 1) {
        view_.Resize(rows, columns);
        view_.SetViewMode(mode);
        auto frame = lit_frame(rows, columns);
        Panel().ClearSent();
        EXPECT_EQ(0, view_.DrawFrame(frame.get()));
        EXPECT_FALSE(view_.Drawing());
        PanelSession::Polls(1);
    }

    CLCD_Manager* manager_ = nullptr;
    CLCDDisplayDriver view_;
};

TEST_F(SignImageView, EachSignSizeHasItsLayout) {
    struct layout_case {
        uint16_t rows, columns;
        uint8_t mode;
        std::vector<Bytes> sent;
    } cases[] = {
        {48, 112, 1, {RectCommand(63, 7, 176, 56), bitmap_header(64, 8, 112, 48)}},
        {64,
         240,
         1,
         {RectCommand(0, 255, 239, 255), RectCommand(0, 64, 239, 64),
          bitmap_header(0, 0, 240, 64)}},
        {48,
         288,
         1,
         {RectCommand(1, 7, 239, 7), RectCommand(0, 7, 0, 56), bitmap_header(1, 8, 239, 1),
          bitmap_header(1, 55, 239, 1)}},
        {48,
         290,
         2,
         {RectCommand(0, 7, 233, 7), RectCommand(234, 7, 234, 56), bitmap_header(0, 8, 234, 1)}},
    };
    for (const layout_case& c : cases) {
        Draw(c.rows, c.columns, c.mode);
        for (const Bytes& bytes : c.sent)
            EXPECT_TRUE(Panel().SentContains(bytes)) << c.rows << "x" << c.columns;
    }
}

TEST_F(SignImageView, ASignTallerThanTheLcdIsNeverDrawn) {
    Draw(65, 112);
    EXPECT_TRUE(Shows(4, "TOO LARGE TO DISPLAY"));
    EXPECT_FALSE(Panel().SentContains({LCD_COMMAND, 'd'}));
}

TEST_F(SignImageView, NothingIsDrawnOutsideTheSignImage) {
    manager_->sign_image = 0;
    Draw(48, 112);
    EXPECT_FALSE(Panel().SentContains(bitmap_header(64, 8, 112, 48)));
}

// The sign's size changes between two frames: the view reads and writes only
// where the frame and its own bitmap overlap (the sanitizers watch).
TEST_F(SignImageView, AFrameOfAnotherSizeIsCopiedWhereItOverlaps) {
    auto large = lit_frame(48, 112);
    auto small = lit_frame(24, 56);
    view_.Resize(24, 56);
    view_.DrawFrame(large.get());
    EXPECT_TRUE(view_.Dot(55, 23));
    view_.Resize(48, 112);
    view_.DrawFrame(small.get());
    EXPECT_TRUE(view_.Dot(55, 23));
    EXPECT_FALSE(view_.Dot(56, 23));
    EXPECT_FALSE(view_.Dot(0, 24));
}

TEST(SignImageSurface, EachDepthLightsItsDots) {
    struct depth_case {
        int bits;
        std::vector<uint8_t> pixel;
        bool lit;
    } cases[] = {
        {1, {1}, true},           {2, {2}, true},           {2, {0xFC}, false},  {8, {0x80}, true},
        {15, {0x01, 0x00}, true}, {15, {0x00, 0x01}, true}, {15, {0, 0}, false},
    };
    for (const depth_case& c : cases) {
        CSurface surface;
        uint8_t* bytes = surface.Create(1, 2, c.bits);
        ASSERT_NE(nullptr, bytes);
        std::copy(c.pixel.begin(), c.pixel.end(), bytes);
        CLCDDisplayDriver view;
        view.Resize(1, 2);
        EXPECT_EQ(1, view.ConvertFrame(&surface));
        EXPECT_EQ(c.lit, view.Dot(0, 0)) << c.bits << " bits";
        EXPECT_FALSE(view.Dot(1, 0));
    }
}

TEST(SignImageFrames, ConvertingAFrameSetsItsLitDots) {
    disp::frame frame;
    ASSERT_TRUE(frame.create(2, 10, 0, 1));
    disp::pixel p{9, 1};
    p.value = 1;
    frame.set_pixel(p);
    frame_to_bitmap converter;
    const uint8_t* bitmap = nullptr;
    ASSERT_EQ(1, converter.Convert(&frame, &bitmap));
    EXPECT_EQ(2, converter.BytesPerRow());
    EXPECT_EQ((Bytes{0, 0, 0, 0x40}), Bytes(bitmap, bitmap + 4));
    EXPECT_EQ(0, converter.Convert(nullptr, &bitmap));
}

} // namespace
