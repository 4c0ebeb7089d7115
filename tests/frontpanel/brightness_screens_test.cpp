// The brightness, temperature, threshold and default-font screens driven
// from the panel's keypad, each checked in the store, through the MIB and in
// the sign picture.
#include "display/display_entries.h"
#include "display/message_rows.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/brightness.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_caller.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using test_support::PanelSession;

const uint8_t ESCAPE = field::PANEL_KEY_ESCAPE;
const uint8_t LEFT = field::PANEL_KEY_LEFT;
const uint8_t UP = field::PANEL_KEY_UP;
const uint8_t DOWN = field::PANEL_KEY_DOWN;

const std::vector<uint32_t> SHUT_OFF_TEMPERATURE = {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 4, 0};
const std::vector<uint32_t> LEGIBILITY_THRESHOLD = {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 14, 0};
const std::vector<uint32_t> FAILED_PIXEL_LIMIT = {1, 3, 6, 1, 4, 1, 1206, 3, 6, 11, 7, 0};
const std::vector<uint32_t> DEFAULT_FONT = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 4, 5, 0};

TEST(BrightnessPercent, RoundsALevelUp) {
    struct Case {
        uint32_t level, percent;
    } cases[] = {{0, 0}, {1, 1}, {127, 50}, {128, 51}, {254, 100}, {255, 100}};
    for (const Case& c : cases)
        EXPECT_EQ(c.percent, brightness_percent(c.level)) << c.level;
}

class BrightnessScreens : public test_support::PanelNavigation {
  protected:
    void OpenBrightness() {
        LogIn("1234");
        Open("BRIGHTNESS CONTROL");
        ASSERT_TRUE(Shows(1, "BRIGHTNESS CONTROL")) << Screen();
    }
    void OpenOptions() {
        LogIn("1234");
        OpenPath({"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE OPTIONS"});
        ASSERT_TRUE(Shows(1, "CONFIGURE OPTIONS")) << Screen();
    }
    void Erase(int keys) {
        for (int i = 0; i < keys; ++i)
            Key(LEFT);
    }
    uint32_t Central(const std::vector<uint32_t>& name) {
        return agent_test::AgentCaller().GetInteger(name);
    }
    // The sign's picture brightness while changeable message 1 is on show.
    int PictureBrightness() {
        test_support::Picture picture = SignPicture(300);
        EXPECT_FALSE(picture.Dark());
        return std::stoi(picture.text["brightness"]);
    }
    void ShowMessage(const std::string& multi) {
        DbObject status = obj::changeableMsgStatus.row(0); // message 1
        db_set(status, MSG_STATUS_MODIFY_REQ, DB_NOTIFY);
        validate_message();
        db_set_string(obj::changeableMsgMultiString.row(0), multi.data(), uint32_t(multi.size()),
                      DB_NOTIFY);
        db_set(status, MSG_STATUS_VALIDATE_REQ, DB_NOTIFY);
        validate_message();
        ASSERT_EQ(uint32_t(MSG_STATUS_VALID), db_get(status));
        PanelSession::Manager()->SetPendingActivation(PENDING_CHANGEABLE, 1);
        ASSERT_TRUE(PanelSession::Manager()->ActivateMessage(65535));
    }
};

TEST_F(BrightnessScreens, AManualPercentageSetsTheLevelAndDimsTheSign) {
    Panel();
    db_set(obj::dmsIllumControl, 4, DB_NOTIFY);
    OpenBrightness();
    ShowMessage("[cr1,1,112,48,9]"); // in local mode, as an operator runs it
    EXPECT_TRUE(Shows(3, "MANUAL DIMMING"));
    EXPECT_TRUE(Shows(6, "PRESS UP ARROW FOR AUTOMATIC DIMMING"));
    EXPECT_TRUE(Shows(8, "ENTER PERCENTAGE:"));

    Digits("100", true);
    EXPECT_EQ(255u, db_get(obj::dmsIllumManLevel));
    EXPECT_TRUE(Shows(4, "DIMMING LEVEL:100%")) << Screen();
    int bright = PictureBrightness();
    Digits("20", true);
    EXPECT_EQ(51u, db_get(obj::dmsIllumManLevel));
    EXPECT_TRUE(Shows(4, "DIMMING LEVEL: 20%")) << Screen();
    EXPECT_LT(PictureBrightness(), bright);

    // On a sign of 16 levels half is level 8; Enter with nothing typed writes nothing.
    db_set(obj::dmsIllumNumBrightLevels, 16, DB_NO_VALIDATE);
    Digits("50", true);
    EXPECT_EQ(8u, db_get(obj::dmsIllumManLevel));
    Digits("", true);
    EXPECT_EQ(8u, db_get(obj::dmsIllumManLevel));
}

TEST_F(BrightnessScreens, UpSwitchesBetweenAutomaticAndManualAndAutomaticIgnoresDigits) {
    Panel();
    db_set(obj::dmsIllumControl, 3, DB_NOTIFY); // timer
    OpenBrightness();
    struct Case {
        uint32_t after;
        const char* row3;
    } cases[] = {{2, "AUTOMATIC DIMMING"}, {4, "MANUAL DIMMING"}, {2, "AUTOMATIC DIMMING"}};
    for (const Case& c : cases) {
        Key(UP);
        EXPECT_EQ(c.after, db_get(obj::dmsIllumControl));
        EXPECT_TRUE(Shows(3, c.row3)) << Screen();
    }
    uint32_t level = db_get(obj::dmsIllumManLevel);
    Digits("5", true);
    EXPECT_EQ(level, db_get(obj::dmsIllumManLevel));
    EXPECT_EQ(2u, db_get(obj::dmsIllumControl));
}

TEST_F(BrightnessScreens, MasterBrightnessTakesOneToAHundredPercent) {
    OpenOptions();
    Open("SPECIAL FEATURES");
    ASSERT_TRUE(ShowsAfter("MASTER BRIGHTNESS", "100")) << Screen();
    Open("MASTER BRIGHTNESS");
    EXPECT_TRUE(Shows(2, "RESTRICTIONS:>= 1 AND <= 100"));
    EXPECT_TRUE(Shows(8, "ENTER % OF MAXIMUM BRIGHTNESS"));
    for (const char* refused : {"0", "101"}) {
        Digits(refused, true);
        EXPECT_TRUE(Shows(6, "INVALID ENTRY")) << refused;
        Erase(3);
    }
    EXPECT_EQ(100u, db_get(obj::halvIllumBrightnessScaler));
    Digits("60", true);
    EXPECT_EQ(60u, db_get(obj::halvIllumBrightnessScaler));
    EXPECT_TRUE(ShowsAfter("MASTER BRIGHTNESS", "60")) << Screen();
}

TEST_F(BrightnessScreens, TheCriticalTemperatureCanOnlyBeSwitchedOff) {
    OpenOptions();
    EXPECT_TRUE(ShowsAfter("CRITICAL TEMPERATURE", "75")) << Screen();
    Open("CRITICAL TEMPERATURE");
    EXPECT_TRUE(Shows(4, "CELSIUS:"));
    EXPECT_TRUE(Shows(8, "PRESS ENTER TO SAVE"));
    for (const char* refused : {"85", "1", "127"}) {
        Digits(refused, true);
        EXPECT_TRUE(Shows(1, "CRITICAL TEMPERATURE")) << refused;
        Erase(3);
    }
    EXPECT_EQ(75u, db_get(obj::halvShutOffTemp));
    Digits("0", true);
    EXPECT_TRUE(Shows(1, "CONFIGURE OPTIONS"));
    EXPECT_EQ(0u, Central(SHUT_OFF_TEMPERATURE));
    EXPECT_TRUE(ShowsAfter("CRITICAL TEMPERATURE", "DISABLED*")) << Screen();
}

TEST_F(BrightnessScreens, TheLegibilityThresholdTakesZeroToAHundred) {
    OpenOptions();
    EXPECT_TRUE(ShowsAfter("LEGIBILITY THRESHOLD", "DISABLED")) << Screen();
    struct Case {
        const char* typed;
        bool accepted;
        const char* shown;
    } cases[] = {{"101", false, nullptr}, {"40", true, "40%"}, {"0", true, "DISABLED"}};
    for (const Case& c : cases) {
        Open("LEGIBILITY THRESHOLD");
        Digits(c.typed, true);
        if (!c.accepted) {
            EXPECT_TRUE(Shows(1, "LEGIBILITY THRESHOLD")) << c.typed;
            Key(ESCAPE);
            EXPECT_EQ(0u, db_get(obj::halvLegibilityRatioThreshold));
            continue;
        }
        EXPECT_EQ(uint32_t(std::stoul(c.typed)), Central(LEGIBILITY_THRESHOLD)) << c.typed;
        EXPECT_TRUE(ShowsAfter("LEGIBILITY THRESHOLD", c.shown)) << Screen();
    }
}

TEST_F(BrightnessScreens, TheFailedPixelThresholdIsDisabledOrOneToSixtyFiveThousand) {
    db_set(obj::fdotMaxNumPixelFailure, 100, DB_NOTIFY);
    OpenOptions();
    EXPECT_TRUE(ShowsAfter("FAILED PIXEL THRESHOLD", "100")) << Screen();
    Open("FAILED PIXEL THRESHOLD");
    Open("DISABLE");
    EXPECT_TRUE(Shows(1, "CONFIGURE OPTIONS"));
    EXPECT_EQ(0xFFFFFFFFu, db_get(obj::fdotMaxNumPixelFailure));
    EXPECT_TRUE(ShowsAfter("FAILED PIXEL THRESHOLD", "DISABLED")) << Screen();

    Open("FAILED PIXEL THRESHOLD");
    Open("ENABLE");
    EXPECT_TRUE(Shows(2, "RESTRICTIONS:>=1 AND <= 65535")) << Screen();
    for (const char* refused : {"0", "65536"}) {
        Digits(refused, true);
        EXPECT_TRUE(Shows(4, "PIXELS:")) << refused;
        Erase(5);
    }
    for (const char* accepted : {"65535", "1"}) {
        Digits(accepted, true);
        EXPECT_TRUE(Shows(1, "CONFIGURE OPTIONS"));
        EXPECT_EQ(uint32_t(std::stoul(accepted)), Central(FAILED_PIXEL_LIMIT));
        if (accepted[0] == '6') {
            Open("FAILED PIXEL THRESHOLD");
            Open("ENABLE");
        }
    }
    EXPECT_TRUE(ShowsAfter("FAILED PIXEL THRESHOLD", " 1")) << Screen();
}

TEST_F(BrightnessScreens, TheDefaultFontListOffersTheFontsNoTallerThanTheSign) {
    Panel();
    db_set(obj::vmsSignHeightPixels, 16, DB_NOTIFY);
    tx_thread_sleep(300);
    std::vector<std::string> expected;
    std::vector<uint32_t> rows;
    for (uint16_t i = 0; i < 20; ++i) {
        uint32_t height = db_get(obj::fontHeight.row(i));
        if (height == 0 || height > db_get(obj::vmsSignHeightPixels)) continue;
        char name[41] = {};
        db_get_string_copy(obj::fontName.row(i), name, sizeof name);
        expected.push_back(name);
        rows.push_back(i);
    }
    ASSERT_GE(expected.size(), 2u) << "two fonts fit a 16-pixel sign";
    LogIn("1234");
    OpenPath({"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE DISPLAY"});
    Key(DOWN);
    Open("DEFAULT FONT");
    ASSERT_TRUE(Shows(1, "DEFAULT FONT"));
    for (size_t i = 0; i < expected.size() && i < 6; ++i)
        EXPECT_TRUE(Shows(int(i) + 2, std::to_string(i + 1) + ") " + expected[i])) << Screen();
    if (expected.size() < 6) {
        EXPECT_EQ("", Panel().Row(int(expected.size()) + 2).substr(0, 2));
    }
    Digits("2");
    EXPECT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    EXPECT_EQ(rows[1] + 1, Central(DEFAULT_FONT));
    EXPECT_TRUE(ShowsAfter("DEFAULT FONT", expected[1])) << Screen();
}

} // namespace
