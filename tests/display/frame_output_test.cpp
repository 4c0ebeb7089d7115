// The display step's frame output from its edges, on the virtual clock: the
// faces' frames with failed pixels blanked, the module error map, the
// legibility ratio, a pixel test's results and the result slots; the face
// settings with the refresh rate and the module table's texts; the front
// panel's sign image and preview.
#include "display/disp/diag_index_registrar.h"
#include "display/disp/diagnostics.h"
#include "display/render.h"
#include "frontpanel/lcd_view.h"
#include "runtime/post_office.h"
#include "tests/display/activation_fixture.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace display_test;
using disp::diag_index_registrar;
using test_support::ConsoleText;

const ULONG STEP = 10; // ticks of one display step at 10 frames a second

// Diagnostics whose failed pixels a test sets, finished when it says so.
class HeldDiagnostics : public disp::diagnostics {
  public:
    explicit HeldDiagnostics(const face_config& face) {
        errors_.create(face.height, face.width, 0, 1);
        own_errors_ = &errors_;
    }
    bool finished() override { return done; }
    void Fail(uint16_t x, uint16_t y) {
        disp::pixel p{x, y, 1};
        errors_.set_pixel(p);
    }
    bool done = true;

  private:
    disp::frame errors_;
};

// The panel manager's view byte.
struct PanelStandIn : front_panel_view {
    uint8_t SignImageView() const override { return view; }
    uint8_t view = 0;
};

std::vector<std::pair<int, int>> LitPixels(const CSurface& s = TheRender().GetSurface()) {
    std::vector<std::pair<int, int>> lit;
    for (int y = 0; y < s.GetHeight(); ++y)
        for (int x = 0; x < s.GetWidth(); ++x)
            if (s.GetPixel(x, y) != 0) lit.push_back({x, y});
    return lit;
}

class FrameOutput : public Activation {
  protected:
    void Show(const std::string& multi) {
        ASSERT_EQ(MSG_STATUS_VALID, Store(1, multi));
        ASSERT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 3, 1, Crc(1))));
        tx_thread_sleep(2 * STEP);
    }
    void Blank() { ASSERT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 7, 1, 0))); }
    // The primary face's diagnostics replaced by held ones.
    HeldDiagnostics& Hold() {
        held_ = std::make_unique<HeldDiagnostics>(TheDisplay().FaceConfig(0));
        TheDisplay().FaceConfig(0).diagnostics = held_.get();
        return *held_;
    }
    std::unique_ptr<HeldDiagnostics> held_;
};

TEST_F(FrameOutput, LegibilityFollowsTheLitPixelsThatFailed) {
    Blank();
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(100u, db_get(obj::panynjObj1_6)) << "nothing lit";
    EXPECT_EQ(Bytes(11, 0), Value(obj::panynjObj1_7)) << "84 modules, none failed";

    Show("[cr1,1,8,5,255,255,255]");
    std::vector<std::pair<int, int>> lit = LitPixels();
    ASSERT_EQ(40u, lit.size());
    HeldDiagnostics& held = Hold();
    for (int i = 0; i < 3; ++i)
        held.Fail(uint16_t(lit[i].first), uint16_t(lit[i].second));
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(92u, db_get(obj::panynjObj1_6)) << "37 x 100 / 40";
    EXPECT_EQ(Bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), Value(obj::panynjObj1_7));
}

TEST_F(FrameOutput, AFailedPixelMarksItsModuleOnTheModuleLines) {
    db_set(obj::halvLineLength.row(0), 10, DB_NO_VALIDATE);
    db_set(obj::halvLineLength.row(1), 10, DB_NO_VALIDATE);
    db_set(obj::halvLineLength.row(2), 8, DB_NO_VALIDATE);
    db_set(obj::vmsSignWidthPixels, 160, 0);
    ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, 30, DB_NOTIFY)); // modules of 16 x 16
    tx_thread_sleep(4 * SECOND);
    ASSERT_EQ(28u, TheDisplay().FaceConfig(0).total_modules);
    EXPECT_EQ(Bytes(4, 0), Value(obj::panynjObj1_7)) << "no test, no real-time diagnostics";
    Hold().Fail(35, 20);
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(Bytes({0, 0x10, 0, 0}), Value(obj::panynjObj1_7)) << "module 1 x 10 + 2";
}

TEST_F(FrameOutput, AFinishedPixelTestStoresAtMostFiveHundredAndBlanksThemAll) {
    Show("[cr1,1,112,48,255,255,255]");
    std::vector<std::pair<int, int>> lit = LitPixels();
    ASSERT_EQ(48u * 112, lit.size());
    HeldDiagnostics& held = Hold();
    held.done = false;
    for (int i = 0; i < 600; ++i)
        held.Fail(uint16_t(lit[i].first), uint16_t(lit[i].second));
    db_set(obj::pixelTestActivation, 3, DB_NOTIFY);
    tx_thread_sleep(3 * STEP);
    EXPECT_EQ(DISPLAY_PIXEL_TEST, TheDisplay().DisplayState()) << "halted for the test";
    EXPECT_EQ(3u, db_get(obj::pixelTestActivation));
    TheRender().GetSurface().SetPixel(111, 47, 0); // a page drawn again would light it
    tx_thread_sleep(3 * STEP);
    EXPECT_EQ(0u, TheRender().GetSurface().GetPixel(111, 47)) << "nothing drawn during the test";
    EXPECT_EQ(DISPLAY_PIXEL_TEST, TheDisplay().DisplayState());
    held.done = true;
    tx_thread_sleep(STEP);
    EXPECT_EQ(500u, db_get(obj::pixelTestFailureCount));
    EXPECT_EQ(600u, db_get(obj::halvObj5_4));
    EXPECT_EQ(0x20u, db_get(obj::shortErrorStatus) & 0x20);
    EXPECT_EQ(2u, db_get(obj::pixelTestActivation));
    EXPECT_EQ(88u, db_get(obj::panynjObj1_6)) << "all 600 dark: 4775 of 5375 lit";
    // The test's picture went to its slot: 48 x 112 one-bit values, 1024 a line.
    const unsigned slot = unsigned(TheDisplay().PixelResultsSlot(0));
    EXPECT_EQ(1024u, Value(obj::halvObj11_3_1_3.row(slot * 63)).size());
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(DISPLAY_PAGE_ON, TheDisplay().DisplayState()) << "the message is back";
}

TEST_F(FrameOutput, TheCurrentDisplayFollowsThePageOnTheSign) {
    EXPECT_EQ(8u, db_get(obj::halvObj11_1));
    EXPECT_EQ(1u, db_get(obj::halvObj11_5));
    EXPECT_EQ(1u, db_get(obj::halvObj11_6_1_2.row(0))) << "face 1 at row 0";
    EXPECT_EQ(8u, db_get(obj::halvObj11_6_1_3.row(0)));
    EXPECT_EQ("Current Display", Text(obj::halvObj11_2_1_2.row(0)));
    EXPECT_EQ("Message Page 6 with Pixel Errors", Text(obj::halvObj11_2_1_2.row(6)));
    EXPECT_EQ("Pixel Test Results", Text(obj::halvObj11_2_1_2.row(7)));
    EXPECT_EQ(7, TheDisplay().PixelResultsSlot(0));
    EXPECT_EQ(2u, db_get(obj::halvObj11_2_1_5.row(0))) << "15-bit frames";
    EXPECT_EQ(1u, db_get(obj::halvObj11_2_1_5.row(7))) << "a monochrome module";

    Show("[pt10o0]AAA[np]BBB");
    std::vector<Bytes> pages;
    auto picture = [](unsigned slot) {
        Bytes all;
        for (unsigned line = 0; line < 63; ++line) {
            Bytes bytes = Value(obj::halvObj11_3_1_3.row(slot * 63 + line));
            all.insert(all.end(), bytes.begin(), bytes.end());
        }
        return all;
    };
    for (int i = 0; i < 30; ++i) {
        Bytes current = picture(0);
        if (pages.empty() || pages.back() != current) pages.push_back(current);
        EXPECT_EQ(current, picture(1)) << "message page 1";
        tx_thread_sleep(STEP);
    }
    ASSERT_EQ(3u, pages.size()) << "page 1, page 2, page 1";
    EXPECT_EQ(pages[0], pages[2]);
    EXPECT_EQ("10,0", Text(obj::halvObj11_2_1_8.row(0)));
}

TEST_F(FrameOutput, APictureFillsItsLinesAndNothingAfter) {
    diag_index_registrar::Clear();
    unsigned slot = 99;
    ASSERT_TRUE(diag_index_registrar::Register(1, "Big", 300, 96, 1, 9, slot));
    EXPECT_EQ(0u, slot);
    EXPECT_EQ(44u, db_get(obj::halvObj11_2_1_3.row(0))) << "300, low 8 bits";
    EXPECT_FALSE(diag_index_registrar::Register(1, nullptr, 16, 96, 1, 9, slot));

    disp::frame picture;
    picture.create(16, 96, 0, 1);
    disp::pixel p{95, 15, 1};
    picture.set_pixel(p);
    picture.attribute[1] = 30;
    picture.attribute[2] = 5;
    db_set(obj::halvObj11_4, 64, 0);
    db_set_string(obj::halvObj11_3_1_3.row(3), "old", 3, 0);
    diag_index_registrar::StoreResult(0, &picture, false, 0, true);
    EXPECT_EQ("30,5", Text(obj::halvObj11_2_1_8.row(0)));
    for (unsigned line = 0; line < 3; ++line)
        EXPECT_EQ(64u, Value(obj::halvObj11_3_1_3.row(line)).size()) << line;
    EXPECT_EQ(0x80, Value(obj::halvObj11_3_1_3.row(2))[63]);
    EXPECT_EQ("old", Text(obj::halvObj11_3_1_3.row(3))) << "no fourth line";

    // Every slot taken: refused.
    for (unsigned i = 1; i < diag_index_registrar::SLOTS; ++i)
        ASSERT_TRUE(diag_index_registrar::Register(2, "X", 1, 1, 1, 9, slot));
    EXPECT_FALSE(diag_index_registrar::Register(2, "Y", 1, 1, 1, 9, slot));
    EXPECT_EQ(2u, db_get(obj::halvObj11_5)) << "face 1: slot 1; face 2: slots 2 to 26";
    EXPECT_EQ(2u, db_get(obj::halvObj11_6_1_2.row(1)));
    EXPECT_EQ(26u, db_get(obj::halvObj11_6_1_3.row(1)));
}

// --- face settings -------------------------------------------------------------------

using FaceSettings = Activation;

TEST_F(FaceSettings, TheFrameRateFollowsTheSignsSize) {
    struct {
        uint32_t height, width, configured, rate;
    } const cases[] = {
        {48, 112, 3, 10}, {48, 112, 0, 10}, {160, 200, 0, 5},
        {160, 200, 3, 3}, {300, 250, 7, 2}, {300, 250, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.height * 1000 + c.width);
        db_set(obj::vmsSignHeightPixels, c.height, 0);
        db_set(obj::vmsSignWidthPixels, c.width, 0);
        db_set(obj::halvObj2_22, c.configured, 0);
        face_config face;
        EXPECT_EQ(1, TheDisplay().ApplyFaceGeometry(&face));
        EXPECT_EQ(c.rate, face.frame_rate);
        EXPECT_EQ(c.width, face.width);
    }
    EXPECT_EQ(0, TheDisplay().ApplyFaceGeometry(nullptr));

    // A sign of 160 x 200 is built again: 5 frames a second, a step every 20 ticks.
    db_set(obj::halvObj2_22, 0, 0);
    db_set(obj::vmsSignWidthPixels, 200, 0);
    ASSERT_EQ(DB_OK, db_set(obj::vmsSignHeightPixels, 160, DB_NOTIFY));
    tx_thread_sleep(4 * SECOND);
    EXPECT_NE(std::string::npos, ConsoleText().find("FPS = 5\n"));
    EXPECT_EQ(20u, TheDisplay().Period());
    EXPECT_EQ(5u, TheDisplay().RunsPerSecond());
    EXPECT_EQ(5u, TheRender().frames_per_second);
    EXPECT_EQ(5u, db_get(obj::halvObj2_22));
    uint32_t runs = TheDisplay().Runs();
    tx_thread_sleep(SECOND);
    EXPECT_EQ(5u, TheDisplay().Runs() - runs);
}

TEST_F(FaceSettings, TheModuleTableNamesTheSign) {
    EXPECT_EQ("QK-3XXX-48x112-8-A", Text(obj::moduleModel.row(6))) << "after a cold start";
    EXPECT_EQ("SN: ----", Text(obj::moduleVersion.row(1)));
    EXPECT_EQ("SN: ----", Text(obj::moduleVersion.row(6)));
    struct {
        uint32_t module, type, access, height, width, char_height, char_width, pitch;
        const char* model;
    } const cases[] = {
        {30, 6, 8, 48, 112, 0, 0, 20, "QK-3XXX-48x112-20-A"},
        {1, 4, 8, 14, 100, 0, 0, 66, "QM-1000-2-20-66-A"}, // 7 x 5 characters for none
        {109, 5, 8, 14, 100, 0, 0, 66, "QR-4000-2-18x7-100-A"},
        {109, 6, 8, 14, 100, 0, 0, 44, "QR-4100-14x100-12-A"},
        {21, 6, 8, 48, 112, 7, 5, 66, "QM-24X0-48x112-66-A"},
        {21, 6, 8, 48, 112, 7, 5, 30, "QM-23X0-48x112-30-A"},
        {94, 5, 4, 21, 120, 7, 0, 20, "QM-21X0-3-7x120-20-RGB"},
        {98, 6, 3, 48, 112, 7, 5, 20, "QM-2XX0-48x112-20-RA"},
        {116, 4, 8, 14, 100, 7, 5, 20, "QP-5XXX-X-18-W"},
        {300, 6, 8, 48, 112, 0, 0, 8, "QM-1000-48x112-8- "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const std::pair<DbObject, uint32_t> values[] = {
            {obj::halvModuleID, c.module},
            {obj::dmsSignType, c.type},
            {obj::dmsSignAccess, c.access},
            {obj::vmsSignHeightPixels, c.height},
            {obj::vmsSignWidthPixels, c.width},
            {obj::vmsCharacterHeightPixels, c.char_height},
            {obj::vmsCharacterWidthPixels, c.char_width},
            {obj::vmsHorizontalPitch, c.pitch},
        };
        for (const auto& v : values)
            db_set(v.first, v.second, DB_NO_VALIDATE);
        TheDisplay().BuildSerialNumberText();
        EXPECT_EQ(c.model, Text(obj::moduleModel.row(6)));
        if (c.type == 4 || c.type == 5) {
            EXPECT_NE(0u, db_get(obj::vmsCharacterHeightPixels)) << "7 written for none";
        }
    }
    db_set(obj::halvControllerSerialNum, 12345, 0);
    TheDisplay().BuildSerialNumberText();
    EXPECT_EQ("SN: 12345", Text(obj::moduleVersion.row(1)));
    EXPECT_EQ("SN: ----", Text(obj::moduleVersion.row(6)));
}

// --- the front panel ------------------------------------------------------------------

using FrontPanel = FrameOutput;

TEST_F(FrontPanel, TheSignImageIsDrawnOnlyInItsView) {
    Show("[cr1,1,8,5,255,255,255]");
    PanelStandIn panel;
    TheDisplay().SetFrontPanelManager(&panel);
    ASSERT_EQ(&TheSignImageDriver(), TheDisplay().FrontPanelDriver());
    CLCDDisplayDriver& image = TheSignImageDriver();
    EXPECT_EQ(48u, image.Rows()) << "sized to the sign";
    const uint32_t before = image.FramesDrawn();
    tx_thread_sleep(30 * STEP);
    EXPECT_EQ(before, image.FramesDrawn()) << "outside the view";
    panel.view = 1;
    tx_thread_sleep(STEP);
    EXPECT_EQ(before + 1, image.FramesDrawn()) << "at once";
    tx_thread_sleep(18 * STEP);
    EXPECT_EQ(before + 1, image.FramesDrawn());
    tx_thread_sleep(STEP);
    EXPECT_EQ(before + 2, image.FramesDrawn()) << "every nineteenth frame";
    TheDisplay().SetFrontPanelManager(nullptr);
}

TEST_F(FrontPanel, APreviewOfALaterPageKeepsWhatTheEarlierOnesSet) {
    const std::string text = "[cf255,0,0]A[np]B";
    ASSERT_EQ(2u, TheDisplay().PreviewPage(text.data(), uint32_t(text.size())));
    auto preview = std::make_unique<CMessage>();
    CSurface surface;
    CLCDDisplayDriver image;
    ASSERT_EQ(1, TheDisplay().PreviewMessage(&surface, &image, text.data(), uint32_t(text.size()),
                                             1, *preview));
    const uint32_t red = preview->foreground;
    EXPECT_NE(multi_default_foreground_rgb15(), red);
    EXPECT_EQ(48u, image.Height());
    ASSERT_EQ(1, TheDisplay().PreviewMessage(&surface, &image, text.data(), uint32_t(text.size()),
                                             2, *preview));
    EXPECT_EQ(red, preview->foreground) << "page 1's colour goes on";
    EXPECT_FALSE(LitPixels(surface).empty());
    EXPECT_EQ(0, TheDisplay().PreviewMessage(&surface, &image, "[g99]", 5, 1, *preview));
}

TEST(FrontPanelBeforeConfiguration, APreviewNeedsTheDisplayConfiguration) {
    post_office office;
    auto display = std::make_unique<CDisplay>(office);
    EXPECT_EQ(0u, display->PreviewPage("A[np]B", 6));
    auto preview = std::make_unique<CMessage>();
    EXPECT_EQ(0, display->PreviewMessage(nullptr, nullptr, "A", 1, 1, *preview));
}

} // namespace
