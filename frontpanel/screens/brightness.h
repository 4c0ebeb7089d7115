// The front panel's brightness, temperature and threshold screens: how
// bright the sign runs and when it blanks, and the default font of new
// messages. The display task applies what they write: the brightness
// objects at once (their change notification), the thresholds and the
// default font when it next uses them.
//
//   44   CLCD_BrightnessControl     automatic or manual dimming, the manual
//                                   level as a percentage, the level in force
//   83   master brightness          number entry, 1-100 percent
//   77   critical temperature       one-number wizard: only 0 (protection off)
//   78   legibility threshold       one-number wizard, 0-100 percent
//   79   CLCD_FailedPixelThreshold  DISABLE, or ENABLE and 1-65535 pixels
//   209  CLCD_MessageDefaults_Font  the fonts no taller than the sign
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/choice.h"
#include "frontpanel/screens/number_entry.h"
#include "frontpanel/screens/sign_config.h"
#include "frontpanel/screens/wizard.h"

#include <cstddef>
#include <cstdint>

// A brightness level of 0-255 as a percentage, rounded up (1 shows 1).
uint32_t brightness_percent(uint32_t level);

class CLCD_BrightnessControl : public CMenuItem {
  public:
    explicit CLCD_BrightnessControl(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    uint32_t Percentage() const { return percentage_; }

  private:
    static const uint8_t STATUS_DRAWS = 10;

    void DrawMode(CLCD_Manager& manager, CLCD& lcd);
    void DrawEntry(CLCD_Manager& manager, CLCD& lcd);
    void DrawStatus(CLCD& lcd);

    uint32_t percentage_ = 0;
    uint8_t refresh_ = 100; // the first draw shows the status rows
};

class CLCD_FailedPixelThreshold : public CLCD_SimpleWizardBase {
  public:
    explicit CLCD_FailedPixelThreshold(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  protected:
    void Finish(CLCD_Manager& manager) override;

  private:
    wizard_step list_;
    wizard_step pixels_;
};

class CLCD_MessageDefaults_Font : public CLCD_SimpleMenuBase {
  public:
    static constexpr size_t FONT_ROWS = 20;
    static constexpr size_t NAME_BYTES = 41;

    explicit CLCD_MessageDefaults_Font(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    void OnSelect(CLCD_Manager& manager, const choice_row& choice) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  private:
    char names_[FONT_ROWS][NAME_BYTES] = {};
    choice_row choices_[FONT_ROWS] = {};
};

// Master brightness.
extern const number_entry_row BRIGHTNESS_ROWS[1];
// Critical temperature and legibility threshold.
extern const number_wizard_row THRESHOLD_ROWS[2];

extern const menu_family BRIGHTNESS_SCREENS;
