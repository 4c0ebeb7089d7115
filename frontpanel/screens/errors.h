// The error status screens (menus 139-149 under "*** SYSTEM ERRORS ***",
// menu 138): one screen for each category of the sign's short error status,
// offered only while its bit is set, so the group lists exactly the kinds of
// error present. A screen lists the failing items of its category (power
// supplies, sensors, climate devices, doors, devices out of touch, the
// controller's errors) or explains its error on a few fixed lines.
//
// Every screen is one class, CLCD_ErrorStatus, over a row of
// ERROR_SCREENS: {factory type, short error status bits, how its lines are
// found, the source table, the numbering and line texts, the text when
// nothing is listed}. A list shows six items a page from row 2 with "(MORE)"
// on row 8 while later pages exist; Up and Down turn the pages. Counts read
// from the store never take a walk past the rows its table has.
#pragma once

#include "frontpanel/menu.h"
#include "store/objects.h"

#include <cstddef>
#include <cstdint>

class CLCD;
class error_page;
struct error_screen_row;

// Writes a screen's lines: a list walker hands each failing item's line to
// the page; a text screen writes its rows itself.
using error_draw_fn = void (*)(const error_screen_row& row, error_page& page);

// The status table a list screen walks: failure map (bit i = row i), row
// count, description, and a per-row detail text (or a fixed one).
struct error_table {
    DbObject map;
    DbObject count;
    DbObject description;
    const DbObject* detail; // null: the row's fixed detail text
    menu_text fixed_detail;
};

struct error_screen_row {
    uint32_t type;
    uint16_t bits; // of shortErrorStatus: any of them offers the screen
    error_draw_fn draw;
    const error_table* table;
    const char* numbering; // before each listed line ("%d) "), null: none
    menu_text line;        // a listed item: the description, then the detail
    menu_text empty;       // shown when nothing is listed (null: nothing)
    uint8_t empty_row;
};
extern const error_screen_row ERROR_SCREENS[11];
const error_screen_row* error_screen_of_type(uint32_t type);

// The page being drawn: it counts every item it is handed, writes those of
// the current page and numbers them from 1 on each page.
class error_page {
  public:
    static constexpr uint8_t ROWS = 6;
    static constexpr uint8_t FIRST_ROW = 2;

    error_page(CLCD& lcd, const error_screen_row& row, uint8_t page, bool french)
        : lcd_(lcd), row_(row), page_(page), french_(french) {}
    void Add(const char* text);
    CLCD& Lcd() { return lcd_; }
    bool French() const { return french_; }
    uint32_t Positions() const { return positions_; }
    uint8_t Items() const { return items_; }

  private:
    CLCD& lcd_;
    const error_screen_row& row_;
    uint8_t page_;
    bool french_;
    uint32_t positions_ = 0;
    uint8_t items_ = 0;
};

class CLCD_ErrorStatus : public CMenuItem {
  public:
    CLCD_ErrorStatus(int32_t id, const error_screen_row& row);

    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
    // Offered while one of its bits of shortErrorStatus is set.
    bool HasRights(CLCD_Manager& manager) override;

    uint8_t Page() const { return page_; }
    uint8_t PageCount() const { return page_count_; }
    uint8_t ItemCount() const { return item_count_; }
    bool DetailMode() const { return detail_mode_ != 0; }

  private:
    void DrawStatus(CLCD_Manager& manager, CLCD& lcd);

    const error_screen_row& row_;
    uint8_t item_count_ = 0;
    uint8_t detail_mode_ = 0;
    uint8_t page_count_ = 1;
    uint8_t page_ = 1;
};

extern const menu_family ERROR_STATUS_SCREENS;
