// CLCD_TestPattern (menu 5): puts a test pattern on the sign. A wizard of a
// list of the 34 patterns; COLOR TEST goes on to ask for a red, a green and
// a blue value. Finishing hands the colour to the display task first (for
// COLOR TEST) and then writes the pattern's code into halvObj1_1, which the
// display task follows. In the diagnostics list the entry shows the pattern
// that is on.
#pragma once

#include "frontpanel/screens/wizard.h"

#include <cstddef>
#include <cstdint>

// One pattern of the list: its name and the display's test code. The list
// position is the row's index; codes 7 and 29 have no name.
struct test_pattern_row {
    const char* name;
    uint8_t code;
};
const size_t TEST_PATTERN_COUNT = 34;
extern const test_pattern_row TEST_PATTERNS[TEST_PATTERN_COUNT];
const uint8_t TEST_CODE_NONE = 1;
const uint8_t TEST_CODE_COLOUR = 32;

// The list position of a test code. -> -1 for a code with no name.
int test_pattern_position(uint32_t code);

class CLCD_TestPattern : public CLCD_SimpleWizardBase {
  public:
    explicit CLCD_TestPattern(int32_t id);

    void OnEnter(CLCD_Manager& manager) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

    // The colour last handed to the display task (red, green, blue).
    const uint8_t* Colour() const { return colour_; }

  protected:
    void Finish(CLCD_Manager& manager) override;

  private:
    void SetColour(uint8_t red, uint8_t green, uint8_t blue);

    wizard_step pattern_;
    wizard_step red_, green_, blue_;
    const char* names_[TEST_PATTERN_COUNT + 1] = {};
    uint8_t colour_[3] = {};
};

extern const menu_family TEST_PATTERN_SCREENS;
