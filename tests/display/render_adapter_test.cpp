// The renderer's surface as the faces' frame: pixels and frame bytes read
// through the surface adapter, the attribute bytes the render adapter hands
// out with the frame, and the primary face's per-frame work.
#include "display/disp/diagnostics.h"
#include "display/disp/face.h"
#include "display/render.h"
#include "display/render_adapter.h"
#include "display/surface.h"
#include "display/surface_adapter.h"
#include "tests/support/kernel_fixture.h"

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Read(const surface_adapter& frame, uint32_t& position, uint32_t count,
                          bool* ok = nullptr) {
    std::vector<uint8_t> bytes(count, 0xEE);
    uint32_t read = 99;
    bool result = frame.read_bytes(position, bytes.data(), count, read);
    if (ok) *ok = result;
    bytes.resize(read);
    return bytes;
}

TEST(SurfaceAdapter, AColourPixelReadsLowByteFirst) {
    CSurface surface;
    ASSERT_NE(nullptr, surface.Create(2, 3, 15));
    surface_adapter frame(&surface);
    disp::pixel p(1, 0, 0x1234);
    ASSERT_TRUE(frame.set_pixel(p));
    disp::pixel back(1, 0);
    ASSERT_TRUE(frame.get_pixel(back));
    EXPECT_EQ(0x1234u, back.value);
    EXPECT_EQ(0x12, surface.GetBuffer()[2]) << "the surface keeps the high byte first";

    uint32_t position = 2;
    EXPECT_EQ((std::vector<uint8_t>{0x34, 0x12}), Read(frame, position, 2));
    EXPECT_EQ(4u, position);
    position = 10;
    bool ok = true;
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x00}), Read(frame, position, 4, &ok))
        << "the last two bytes of 12";
    EXPECT_TRUE(ok);
    EXPECT_TRUE(Read(frame, position, 4, &ok).empty());
    EXPECT_FALSE(ok) << "at the end";
    EXPECT_EQ(1u, frame.lit_count());
    EXPECT_EQ(15u, frame.bits_per_pixel());

    disp::pixel outside(3, 0);
    EXPECT_FALSE(frame.get_pixel(outside));
    EXPECT_FALSE(frame.set_pixel(outside));
}

TEST(SurfaceAdapter, AOneBitSurfaceReadsARowPerByte) {
    CSurface surface;
    ASSERT_NE(nullptr, surface.Create(2, 8, 1));
    surface_adapter frame(&surface);
    EXPECT_EQ(0u, frame.lit_count()) << "a blank surface";
    for (auto xy : {std::pair<uint16_t, uint16_t>{0, 0}, {3, 0}, {7, 1}}) {
        disp::pixel p(xy.first, xy.second, 1);
        ASSERT_TRUE(frame.set_pixel(p));
    }
    EXPECT_EQ(3u, frame.lit_count());
    uint32_t position = 0;
    EXPECT_EQ(std::vector<uint8_t>{0x09}, Read(frame, position, 1));
    EXPECT_EQ(8u, position);
    EXPECT_EQ(std::vector<uint8_t>{0x80}, Read(frame, position, 1));
    EXPECT_EQ(16u, position);
    bool ok = false;
    EXPECT_TRUE(Read(frame, position, 1, &ok).empty()) << "nothing after the end";
    EXPECT_TRUE(ok);

    position = 4; // a partly filled last byte counts
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x08}), Read(frame, position, 3));
    EXPECT_EQ(16u, position);
}

TEST(SurfaceAdapter, OtherDepthsAreRefused) {
    CSurface surface;
    ASSERT_NE(nullptr, surface.Create(2, 2, 8));
    surface_adapter frame(&surface);
    disp::pixel p(0, 0, 1);
    EXPECT_FALSE(frame.get_pixel(p));
    EXPECT_FALSE(frame.set_pixel(p));
    uint32_t position = 0;
    bool ok = true;
    EXPECT_TRUE(Read(frame, position, 2, &ok).empty());
    EXPECT_FALSE(ok);
}

int primary_ticks = 0;
void count_primary_tick() {
    ++primary_ticks;
}

class RenderAdapter : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        primary_ticks = 0;
        renderer.CreateSurface(8, 16, 15);
    }
    // A face named `name` on the renderer's surface.
    void Attach(const char* name) {
        std::strcpy(config.face_name, name);
        config.height = 8;
        config.width = 16;
        config.module_height = config.module_width = 8;
        config.bits_per_pixel = 15;
        config.Normalize();
        config.modules_per_line[0] = 2;
        config.CountModules();
        config.diagnostics = &diagnostics;
        config.engine = &adapter;
        ASSERT_TRUE(face.attach(&config));
    }
    CRender renderer;
    render_adapter adapter{renderer, count_primary_tick};
    face_config config;
    disp::diagnostics diagnostics;
    disp::face face;
};

TEST_F(RenderAdapter, OnlyThePrimaryFaceRunsThePerFrameWork) {
    Attach("mirror");
    for (int i = 0; i < 3; ++i)
        face.tick(0);
    EXPECT_EQ(0, primary_ticks);
    ASSERT_TRUE(face.detach());
    EXPECT_EQ(nullptr, adapter.attached_face());
    face.tick(0);
    Attach("primary");
    for (int i = 0; i < 3; ++i)
        face.tick(0);
    EXPECT_EQ(3, primary_ticks) << "once per tick";
}

TEST_F(RenderAdapter, TheFrameCarriesTheModeAndThePageTimes) {
    Attach("primary");
    struct {
        uint32_t mode;
        uint8_t on, off;
    } cases[] = {{0, 30, 0}, {1, 25, 5}, {0x101, 7, 3}};
    for (const auto& c : cases) {
        renderer.display_mode = c.mode;
        renderer.page_on_time = c.on;
        renderer.page_off_time = c.off;
        disp::frame* frame = nullptr;
        ASSERT_TRUE(adapter.next_frame(&frame));
        ASSERT_NE(nullptr, frame);
        EXPECT_EQ(uint8_t(c.mode), frame->attribute[0]);
        EXPECT_EQ(c.on, frame->attribute[1]);
        EXPECT_EQ(c.off, frame->attribute[2]);
        EXPECT_EQ(8u, frame->height());
        EXPECT_EQ(16u, frame->width());
    }
    renderer.GetSurface().SetPixel(3, 4, 0x7FFF);
    disp::frame* frame = nullptr;
    ASSERT_TRUE(adapter.next_frame(&frame));
    EXPECT_EQ(1u, frame->lit_count()) << "the view follows the surface";
    EXPECT_FALSE(adapter.next_frame(nullptr));
}

} // namespace
