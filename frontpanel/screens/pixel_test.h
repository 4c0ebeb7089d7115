// The pixel-test screens of the diagnostics menu. The display task runs the
// test and keeps its results (the failure frame and the failure rows 500 on);
// these screens only ask for it and show what it found.
//
//    8 CLCD_PixelTestActivation    CONFIRM writes 3 (run) to pixelTestActivation
//                                  and opens the results; CANCEL goes back
//    9 CLCD_PixelTestResults       the results group; "RUNNING... PLEASE WAIT"
//                                  while the test runs
//   10 CLCD_PixelTestResultsBitmap the failure frame as a map of the sign, the
//                                  error count on row 8; Enter opens the list
//   11 CLCD_PixelTestResultsList   the failed pixels, "[x,y] module:[c,r]" and
//                                  what is wrong, at most 500
//   12 CLCD_PixelTestResultsClear  CONFIRM asks the display task to clear the
//                                  results (letter 113)
//
// The map and the list are also offered in "*** SYSTEM ERRORS ***" (menu
// 138), there only while the test found failures; the clear screen there
// only while the sign reports a pixel error.
#pragma once

#include "frontpanel/lcd_view.h"
#include "frontpanel/screens/choice.h"
#include "frontpanel/screens/container.h"

#include <cstddef>
#include <cstdint>

namespace disp {
class frame;
}

// The display's frame of the pixel test's failed pixels, or null.
const disp::frame* pixel_test_failure_frame();

class CLCD_PixelTestActivation : public CLCD_SimpleMenuBase {
  public:
    explicit CLCD_PixelTestActivation(int32_t id);
    void OnSelect(CLCD_Manager& manager, const choice_row& choice) override;
};

class CLCD_PixelTestResults : public CLCD_MenuItemEx {
  public:
    explicit CLCD_PixelTestResults(int32_t id);
    bool HasCustomPage(CLCD_Manager& manager) override;
    void DrawCustomPage(CLCD_Manager& manager, CLCD& lcd, uint8_t first_row,
                        uint8_t column) override;
};

class CLCD_PixelTestResultsBitmap : public CMenuItem {
  public:
    static constexpr int32_t LIST_MENU = 11;

    explicit CLCD_PixelTestResultsBitmap(int32_t id);
    bool HasRights(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    const CLCDDisplayDriver& View() const { return view_; }

  private:
    CLCDDisplayDriver view_;
};

class CLCD_PixelTestResultsList : public CLCD_SimpleMenuBase {
  public:
    static constexpr size_t MAX_ROWS = 500;
    static constexpr size_t TEXT_BYTES = 64;

    explicit CLCD_PixelTestResultsList(int32_t id);
    bool HasRights(CLCD_Manager& manager) override;
    void OnEnter(CLCD_Manager& manager) override;
    void DrawChoiceSuffix(CLCD_Manager& manager, CLCD& lcd, size_t index, uint8_t row,
                          uint8_t justify) override;

  private:
    void Rebuild();

    const choice_row* storage_[MAX_ROWS] = {};
    choice_row rows_[MAX_ROWS] = {};
    char texts_[MAX_ROWS][TEXT_BYTES] = {};
};

class CLCD_PixelTestResultsClear : public CLCD_SimpleMenuBase {
  public:
    explicit CLCD_PixelTestResultsClear(int32_t id);
    bool HasRights(CLCD_Manager& manager) override;
    void OnSelect(CLCD_Manager& manager, const choice_row& choice) override;
};

extern const menu_family PIXEL_TEST_SCREENS;
