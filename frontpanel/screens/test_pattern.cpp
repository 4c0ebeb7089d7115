// The test pattern screen (see test_pattern.h).
#include "frontpanel/screens/test_pattern.h"

#include "display/display_task.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

const test_pattern_row TEST_PATTERNS[TEST_PATTERN_COUNT] = {
    {"NONE", 1},
    {"AUTO TEST", 10},
    {"MOVING COLUMNS", 3},
    {"MOVING ROWS", 4},
    {"ALL ON 100%", 8},
    {"ALPHABET", 5},
    {"LINE NUMBERS", 6},
    {"ALL ON/OFF", 2},
    {"ALL ON DIMMING LEVELS", 9},
    {"MODULE REVISION", 24},
    {"ALL ON/OFF BURN", 30},
    {"ALL ON 100% BURN", 31},
    {"EVEN COLUMNS", 20},
    {"ODD COLUMNS", 21},
    {"EVEN ROWS", 18},
    {"ODD ROWS", 19},
    {"EVEN DIAGONALS", 22},
    {"ODD DIAGONALS", 23},
    {"ON/OFF DIMMING BURN", 25},
    {"7 SEGMENT", 34},
    {"POWER SUPPLY", 36},
    {"PIXEL TEST", 28},
    {"ON/OFF DIMMING LEVELS", 35},
    {"COLOR TEST", TEST_CODE_COLOUR},
    {"MODULE ADDRESS", 33},
    {"PIXEL TEST RESULTS1", 26},
    {"PIXEL TEST RESULTS2", 27},
    {"HALVENMARK LOGO", 11},
    {"ALL ON RED 10 PERCENT", 12},
    {"ALL ON GREEN 10 PERCENT", 13},
    {"ALL ON BLUE 10 PERCENT", 14},
    {"ALL ON RED 100 PERCENT", 15},
    {"ALL ON GREEN 100 PERCENT", 16},
    {"ALL ON BLUE 100 PERCENT", 17},
};

int test_pattern_position(uint32_t code) {
    for (size_t i = 0; i < TEST_PATTERN_COUNT; ++i)
        if (TEST_PATTERNS[i].code == code) return int(i);
    return -1;
}

namespace {

const uint8_t RED_STEP = 1;

// COLOR TEST goes on to the red value; every other pattern finishes.
bool pattern_continues(wizard_step& step, uint32_t* index) {
    if (step.selected >= TEST_PATTERN_COUNT) return false;
    if (TEST_PATTERNS[step.selected].code != TEST_CODE_COLOUR) return false;
    *index = RED_STEP;
    return true;
}

void colour_step(wizard_step& step, const char* title) {
    step.kind = STEP_NUMBER;
    step.title = title;
    step.prompt = "VALUE";
    step.footer = "PRESS ENTER TO SAVE";
}

} // namespace

CLCD_TestPattern::CLCD_TestPattern(int32_t id)
    : CLCD_SimpleWizardBase(id, {"TEST PATTERNS", ""}, RIGHT_DIAGNOSTICS) {
    for (size_t i = 0; i < TEST_PATTERN_COUNT; ++i)
        names_[i] = TEST_PATTERNS[i].name;
    pattern_.kind = STEP_LIST;
    pattern_.title = "TEST PATTERNS";
    pattern_.entries = names_;
    pattern_.callback = pattern_continues;
    colour_step(red_, "ENTER RED VALUE");
    colour_step(green_, "ENTER GREEN VALUE");
    colour_step(blue_, "ENTER BLUE VALUE");
    AddStep(&pattern_);
    AddStep(&red_);
    AddStep(&green_);
    AddStep(&blue_);
    SetColour(0, 0, 0);
}

void CLCD_TestPattern::SetColour(uint8_t red, uint8_t green, uint8_t blue) {
    colour_[0] = red;
    colour_[1] = green;
    colour_[2] = blue;
    TheDisplay().SetCustomTestColour(red, blue, green);
}

void CLCD_TestPattern::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    red_.value = green_.value = blue_.value = 0;
}

// The colour reaches the display task before the code that uses it.
void CLCD_TestPattern::Finish(CLCD_Manager&) {
    if (pattern_.selected >= TEST_PATTERN_COUNT) return;
    const uint8_t code = TEST_PATTERNS[pattern_.selected].code;
    if (code == TEST_CODE_COLOUR) {
        SetColour(uint8_t(red_.value), uint8_t(green_.value), uint8_t(blue_.value));
        console_printf("Color=%d\n", int(code));
    }
    db_set(obj::halvObj1_1, code, DB_NOTIFY);
}

void CLCD_TestPattern::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    const uint32_t code = db_get(obj::halvObj1_1);
    const int position = test_pattern_position(code);
    if (position < 0)
        lcd.Print(row, justify, "%s", "OTHER");
    else if (code == TEST_CODE_COLOUR)
        lcd.Print(row, justify, "COLOR R:%d G:%d B:%d", int(colour_[0]), int(colour_[1]),
                  int(colour_[2]));
    else
        lcd.Print(row, justify, "%s", TEST_PATTERNS[position].name);
}

namespace {

const menu_factory_record TEST_PATTERN_RECORDS[] = {
    {TYPE_TEST_PATTERN, menu_create<CLCD_TestPattern>},
};

} // namespace

extern const menu_family TEST_PATTERN_SCREENS = menu_family_of(TEST_PATTERN_RECORDS);
