// CLCD_PeripheralView (menu 186, under DIAGNOSTICS and PERIPHERAL
// CONFIGURATION): the live peripherals that the view lists (their listed
// flag set), six to a page, each with a one-word reading while it is VALID
// or its state text otherwise, and a detail page for one of them (its name,
// board revision and where it sits on the CAN networks).
//
// What a class shows is a row of one table {class code, reading, detail
// kind, addressed}; the I/O-based devices choose their reading by id from a
// second table. The screen only reads.
//
// The list is rebuilt at every drawing into a table of 255 entries; a
// registry that holds more ends the list with a row "MORE NOT SHOWN". The
// table keeps ids, so a peripheral that went away between drawing and
// choosing (the stored list was reloaded) is looked up again by id: the
// screen then says so and stays on the list.
#pragma once

#include "frontpanel/menu.h"

#include <cstddef>
#include <cstdint>

class CPeripheral;

// The one-word reading of a VALID peripheral as the list shows it.
void peripheral_view_reading(CPeripheral& peripheral, bool french, char* text, size_t size);

class CLCD_PeripheralView : public CMenuItem {
  public:
    static constexpr size_t TABLE_SIZE = 255;
    static constexpr uint8_t ROWS_PER_PAGE = 6;
    enum view_mode : uint8_t { MODE_LIST = 1, MODE_DETAIL = 2 };

    explicit CLCD_PeripheralView(int32_t id);

    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
    // Under DIAGNOSTICS the diagnostics right is enough; elsewhere the
    // peripherals right is needed.
    bool HasRights(CLCD_Manager& manager) override;

    uint8_t Mode() const { return mode_; }
    uint8_t Page() const { return page_; }
    size_t ListedCount() const { return count_; }
    bool Truncated() const { return truncated_; }

  private:
    // Fills the table from the registry; peripherals stay valid for this
    // drawing only (the registry changes on this thread alone).
    void Rebuild();
    void DrawList(CLCD_Manager& manager, CLCD& lcd, uint8_t phase);
    void DrawDetail(CLCD_Manager& manager, CLCD& lcd);
    void DrawRow(CLCD_Manager& manager, CLCD& lcd, uint8_t n, CPeripheral& peripheral);
    bool Choose(CLCD_Manager& manager, uint8_t digit);
    // Entries plus the "MORE NOT SHOWN" row.
    size_t RowCount() const { return count_ + (truncated_ ? 1 : 0); }
    uint8_t LastPage() const;

    uint8_t mode_ = MODE_LIST;
    uint8_t page_ = 0;
    uint8_t selected_ = 0;
    uint8_t rows_drawn_ = 0;
    uint8_t gone_notice_ = 0;
    bool truncated_ = false;
    uint16_t detail_id_ = 0;
    size_t count_ = 0;
    uint16_t ids_[TABLE_SIZE] = {};
    CPeripheral* drawn_[TABLE_SIZE] = {};
};

// The factory record of the view.
extern const menu_family PERIPHERAL_VIEW_SCREENS;
