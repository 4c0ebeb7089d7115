// What the sign shows, on the panel.
//
//   19 CLCD_CurrentDisplay      the sign image on the LCD (the display task
//                               draws it while the manager's sign-image flag
//                               is set); Left and Right show the two parts
//                               of a sign wider than 240 dots; Enter opens
//                               the MULTI text. Outside local control the
//                               screen leaves by itself after twice the
//                               panel's inactivity period without a key.
//   20 CLCD_CurrentMultiString  the MULTI text of the message on the sign in
//                               rows of 38 characters, six rows a page.
//
// The sign image is switched off on every way out of menu 19.
#pragma once

#include "frontpanel/menu.h"

#include <cstddef>
#include <cstdint>

class CLCD_CurrentDisplay : public CMenuItem {
  public:
    static constexpr int32_t MENU_ID = 19;
    static constexpr uint32_t WIDE_SIGN = 240; // wider: shown in two parts

    explicit CLCD_CurrentDisplay(int32_t id);

    void OnActivated(CLCD_Manager& manager) override;
    void OnLeave(CLCD_Manager& manager, int32_t next_id) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    uint8_t Half() const { return half_; }
    uint32_t Countdown() const { return countdown_; }

  private:
    void ShowHalf(CLCD_Manager& manager, uint8_t half);

    uint32_t saved_right_ = 0;
    uint8_t half_ = 1;
    uint32_t countdown_ = 0;
    uint8_t saved_indicator_mode_ = 0;
};

// The indicator mode that keeps the sign image clear of the indicators on a
// sign `width` dots wide and `height` high; -1 keeps the manager's.
int indicator_mode_for_sign(uint32_t width, uint32_t height);

class CLCD_CurrentMultiString : public CMenuItem {
  public:
    static constexpr size_t ROW_WIDTH = 38;
    static constexpr int32_t ROWS_PER_PAGE = 6;

    explicit CLCD_CurrentMultiString(int32_t id);

    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    int32_t Page() const { return page_; }

  private:
    // Shows the rows of the current page. -> false when it has none.
    bool ShowPage(CLCD& lcd);

    int32_t page_ = 1;
};

// The MULTI text of the message on the sign; empty when the sign is blank
// or shows a message of no table. -> its length.
size_t current_multi_text(char* text, size_t size);

extern const menu_family CURRENT_DISPLAY_SCREENS;
