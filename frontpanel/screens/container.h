// CLCD_MenuItemEx: the screen that lists other menu items and lets the user
// open one: the main menu, message control, diagnostics, configuration and
// its groups, the error status group and the port groups. One class serves
// every container row of the menu table; a container differs from another
// only by its row (title, rights, footer, children).
//
// It holds up to 30 children (in the order the table lists them) and shows
// the ones the user may see six to a page from row 2 as "1) TITLE", each with
// its current value (the child's DrawSuffix) at the right. A digit opens the
// child of that row, the arrow keys (and Page Up/Down, Home, End) page. A
// container is visible in its parent while at least one child is visible;
// entered with none, it shows "1) NO MENUS AVAILABLE". Escape is the
// manager's (back to the parent).
//
// A screen that draws its own page area instead (HasCustomPage) keeps the
// title and the footer and leaves the digits and paging to itself.
#pragma once

#include "frontpanel/menu.h"

#include <cstddef>
#include <cstdint>

class CLCD_MenuItemEx : public CMenuItem {
  public:
    static constexpr size_t MAX_SUBMENUSIZE = 30;
    static constexpr uint8_t ROWS_PER_PAGE = 6;
    static constexpr uint8_t FIRST_ROW = 2;
    static constexpr uint8_t FOOTER_ROW = 8;

    explicit CLCD_MenuItemEx(int32_t id, menu_text title = {"", ""}, uint32_t rights = 0);

    // Appends a child (its parent becomes this container). -> false, logged,
    // for a null child or a full container.
    bool AddChild(CMenuItem* child) override;
    // The footer of the container's table row.
    void Configure(const menu_row& row) override;
    void SetFooter(menu_text footer) { footer_ = footer; }

    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
    // True while at least one child is visible to the user.
    bool HasRights(CLCD_Manager& manager) override;

    // The standard page: the visible children of the current page from
    // `first_row`, the footer, the cleared rest, the scroll marks.
    virtual void DrawPage(CLCD_Manager& manager, CLCD& lcd, uint8_t first_row, uint8_t column);
    virtual bool HasCustomPage(CLCD_Manager& manager);
    virtual void DrawCustomPage(CLCD_Manager& manager, CLCD& lcd, uint8_t first_row,
                                uint8_t column);

    // Makes every child's parent this container and counts the visible ones.
    uint8_t CountVisibleChildren(CLCD_Manager& manager);
    // The n-th visible child (n from 1). -> its 1-based slot, or 0 (child null).
    size_t FindVisibleChild(CLCD_Manager& manager, size_t n, CMenuItem** child);

    size_t ChildCount() const { return child_count_; }
    CMenuItem* Child(size_t slot) const { return slot < child_count_ ? children_[slot] : nullptr; }
    uint8_t Page() const { return page_; }
    uint8_t RowsDrawn() const { return rows_drawn_; }

  protected:
    // The title, centred on row 1.
    void DrawTitle(CLCD_Manager& manager, CLCD& lcd);
    bool OpenChild(CLCD_Manager& manager, uint8_t digit);
    // Makes the child's parent this container, then asks its rights.
    bool ChildVisible(CLCD_Manager& manager, CMenuItem* child);

  private:
    CMenuItem* children_[MAX_SUBMENUSIZE] = {};
    menu_text footer_ = {nullptr, nullptr};
    size_t child_count_ = 0;
    uint8_t page_ = 0;
    uint8_t rows_drawn_ = 0;
};

// The generic container of the menu table (factory type 140).
extern const menu_family CONTAINER_SCREENS;
