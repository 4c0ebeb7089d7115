// CLCD_MessagePreview (menu 30): how a stored message will look on the
// sign, page by page, on the panel's 240 x 64-dot LCD, with the pixels the
// pixel test found failed marked on the picture.
//
// It is opened from the preview list (menu 29), whose Enter leaves the
// chosen message in the manager's pending activation. The display draws the
// page into the screen's own surface through its own panel view
// (CLCDDisplayDriver, lcd_view.h), which puts the picture on the LCD at the
// layout of its size. Down and Up (Enter as Down) turn the pages, Enter on
// the last one returns to message control; Left and Right show the halves
// of a sign wider than the LCD.
#pragma once

#include "display/surface.h"
#include "frontpanel/lcd_view.h"
#include "frontpanel/menu.h"

#include <cstdint>

class CLCD_MessagePreview : public CMenuItem {
  public:
    static constexpr int32_t MAX_MARKED = 500;

    explicit CLCD_MessagePreview(int32_t id);

    void OnEnter(CLCD_Manager& manager) override;
    void OnActivated(CLCD_Manager& manager) override;
    void OnLeave(CLCD_Manager& manager, int32_t next_id) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    uint8_t Page() const { return page_; }
    int32_t PageCount() const { return page_count_; }
    uint8_t Half() const { return half_; }
    const CLCDDisplayDriver& View() const { return view_; }

  private:
    // The message's MULTI text when it is valid. -> its length, or -1.
    int32_t LoadText() const;
    bool DrawPage(CLCD& lcd);
    void DrawFailedPixels(CLCD& lcd);
    uint8_t Left() const;
    void TurnTo(CLCD_Manager& manager, uint8_t page, uint8_t redraw);

    CLCDDisplayDriver view_;
    CSurface surface_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t failed_ = 0;
    uint8_t overlay_phase_ = 0;
    uint8_t page_ = 1;
    uint8_t half_ = 0;
    uint32_t number_ = 0;
    uint32_t memory_type_ = 0;
    int32_t page_count_ = 0;
    uint8_t saved_right_ = 0;
};

extern const menu_family PREVIEW_SCREENS;
