// The pages of a message on the sign face, from its edges: messages are
// stored, validated and activated as a central system does, and the sign
// surface is watched tick by tick on the virtual clock (10 frames a second:
// one display step every 10 ticks).
#include "display/display_engine.h"
#include "display/render.h"
#include "tests/display/activation_fixture.h"

#include <string>
#include <vector>

namespace {

using namespace display_test;
using test_support::ConsoleText;

const ULONG STEP = 10; // ticks of one display step at 10 frames a second

// What the surface showed and for how many ticks; "" is dark.
struct shown {
    std::string image;
    ULONG ticks;
};

class PageSequencing : public Activation {
  protected:
    static std::string Surface() {
        const CSurface& s = TheRender().GetSurface();
        std::string image(reinterpret_cast<const char*>(s.GetBuffer()), s.GetSize());
        return image.find_first_not_of('\0') == std::string::npos ? "" : image;
    }
    // The surface sampled once a tick for `ticks` ticks, runs merged.
    static std::vector<shown> Watch(ULONG ticks) {
        std::vector<shown> runs;
        for (ULONG t = 0; t < ticks; ++t) {
            std::string image = Surface();
            if (runs.empty() || runs.back().image != image) runs.push_back({image, 0});
            ++runs.back().ticks;
            tx_thread_sleep(1);
        }
        return runs;
    }
    // Stores `multi` as changeable message 1 and activates it centrally.
    void Show(const std::string& multi) {
        ASSERT_EQ(MSG_STATUS_VALID, Store(1, multi));
        ASSERT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 3, 1, Crc(1))));
    }
    void Blank() { ASSERT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 7, 1, 0))); }
};

// Pages 1, 2, 1, ... at the page on time; with an off time dark between them.
TEST_F(PageSequencing, PagesFollowTheirOnAndOffTimes) {
    struct {
        const char* multi;
        size_t pages;
        ULONG on, off; // ticks of the clock
    } const cases[] = {
        {"[pt25o0]AAA[np]BBB", 2, 25 * STEP, 0},
        {"[pt25o5]AAA[np]BBB", 2, 25 * STEP, 5 * STEP},
        {"[pt10o0]AAA[np]BBB[np]CCC", 3, 10 * STEP, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.multi);
        Show(c.multi);
        std::vector<shown> runs = Watch(8 * (c.on + c.off));
        runs.erase(runs.begin()); // the page shown before, or a part of the first
        const size_t per_page = c.off ? 2 : 1;
        ASSERT_GE(runs.size(), 4 * per_page);
        for (size_t i = 0; i + 1 < runs.size(); ++i) {
            const bool dark = c.off && runs[i].image.empty();
            EXPECT_EQ(dark ? c.off : c.on, runs[i].ticks) << "run " << i;
        }
        const size_t round = c.pages * per_page;
        for (size_t i = 0; i + round < runs.size(); ++i)
            EXPECT_EQ(runs[i].image, runs[i + round].image) << "the pages come round";
        EXPECT_NE(runs[0].image, runs[per_page].image);
    }
}

TEST_F(PageSequencing, APageOnTimeOfZeroGoesDarkAfterItsFirstTick) {
    Show("[pt0o5]AAA[np]BBB");
    tx_thread_sleep(STEP);
    EXPECT_EQ(DISPLAY_PAGE_OFF, TheDisplay().DisplayState());
    std::vector<shown> runs = Watch(30 * STEP);
    for (size_t i = 1; i + 1 < runs.size(); ++i)
        EXPECT_EQ(runs[i].image.empty() ? 5 * STEP : STEP, runs[i].ticks) << "run " << i;
}

TEST_F(PageSequencing, OnePageStaysOnUnlessATagGivesItAnOffTime) {
    Show("HELLO");
    tx_thread_sleep(STEP);
    std::vector<shown> steady = Watch(100 * STEP);
    ASSERT_EQ(1u, steady.size());
    EXPECT_FALSE(steady[0].image.empty());
    EXPECT_EQ(DISPLAY_PAGE_ON, TheDisplay().DisplayState());

    Show("[pt10o5]HELLO");
    std::vector<shown> blinking = Watch(60 * STEP);
    ASSERT_GE(blinking.size(), 6u);
    for (size_t i = 1; i + 1 < blinking.size(); ++i)
        EXPECT_EQ(blinking[i].image.empty() ? 5 * STEP : 10 * STEP, blinking[i].ticks);
}

TEST_F(PageSequencing, TwoFacesDoubleThePageTimesAsTheyTickTwiceAStep) {
    ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, 136, DB_NOTIFY)); // a two-sided sign
    tx_thread_sleep(4 * SECOND);                                 // the display is built again
    ASSERT_EQ(2u, TheDisplay().FaceCount());
    Show("[pt25o0]AAA[np]BBB");
    tx_thread_sleep(STEP);
    EXPECT_EQ(2 * 25 - 2, TheDisplay().OnTicks()) << "50 ticks of the primary face, one gone";
    std::vector<shown> runs = Watch(100 * STEP);
    ASSERT_GE(runs.size(), 3u);
    EXPECT_EQ(25 * STEP, runs[1].ticks);
    EXPECT_EQ(25 * STEP, runs[2].ticks);
}

TEST_F(PageSequencing, ABlankDarkensTheSignAndReleasesWhatWasInUse) {
    Show("HELLO");
    tx_thread_sleep(2 * STEP);
    EXPECT_NE("", Surface());
    db_set(obj::dmsGraphicStatus.row(3), 5, DB_NO_VALIDATE);
    db_set(obj::fontStatus.row(2), 5, DB_NO_VALIDATE);
    Blank();
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ("", Surface());
    EXPECT_EQ(DISPLAY_BLANK, TheDisplay().DisplayState());
    EXPECT_EQ(4u, db_get(obj::dmsGraphicStatus.row(3)));
    EXPECT_EQ(4u, db_get(obj::fontStatus.row(2)));
}

TEST_F(PageSequencing, APageThatCannotBeDrawnBlanksTheSign) {
    db_set(obj::dmsGraphicBlockSize, 1023, DB_NO_VALIDATE);
    Graphic(0, 1, 2, 8, {Hex("FF00")});
    store_graphic();
    ASSERT_EQ(4u, db_get(obj::dmsGraphicStatus.row(0)));
    ASSERT_EQ(MSG_STATUS_VALID, Store(1, "[g1]AB"));
    // The graphic goes before the display's next step draws the page.
    ASSERT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 3, 1, Crc(1))));
    db_set(obj::dmsGraphicStatus.row(0), 2, DB_NO_VALIDATE); // modifying
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(DISPLAY_BLANK, TheDisplay().DisplayState());
    EXPECT_NE(std::string::npos, ConsoleText().find("ERROR PARSING FRAME\n"));
    EXPECT_EQ("", Surface());
}

} // namespace
