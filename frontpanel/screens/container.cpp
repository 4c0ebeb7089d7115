// The sub-menu container (see container.h).
#include "frontpanel/screens/container.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/services.h"
#include "runtime/console.h"

namespace {

const uint8_t SUFFIX_JUSTIFY = LCD_RIGHT;

uint8_t last_page(uint8_t visible) {
    return visible == 0 ? 0 : uint8_t((visible - 1) / CLCD_MenuItemEx::ROWS_PER_PAGE);
}

} // namespace

CLCD_MenuItemEx::CLCD_MenuItemEx(int32_t id, menu_text title, uint32_t rights)
    : CMenuItem(id, title, rights) {}

bool CLCD_MenuItemEx::AddChild(CMenuItem* child) {
    if (child == nullptr) {
        console_printf("Error: Add LCD menu Failure, % d pointer = NULL\n", int(child_count_));
        return false;
    }
    if (child_count_ >= MAX_SUBMENUSIZE) {
        console_printf("Error: Add LCD Menu Failure, %d selection, MAX_SUBMENUSIZE) = %d\n",
                       int(child_count_), int(MAX_SUBMENUSIZE));
        return false;
    }
    child->SetParent(this);
    children_[child_count_++] = child;
    return true;
}

void CLCD_MenuItemEx::Configure(const menu_row& row) {
    footer_ = row.footer;
}

void CLCD_MenuItemEx::OnEnter(CLCD_Manager& manager) {
    manager.refresh_period = refresh_period_;
    page_ = 0;
}

// A child listed by several containers may depend on the one asking (the
// peripheral view's rights): the asking container becomes its parent first.
bool CLCD_MenuItemEx::ChildVisible(CLCD_Manager& manager, CMenuItem* child) {
    child->SetParent(this);
    return child->HasRights(manager);
}

uint8_t CLCD_MenuItemEx::CountVisibleChildren(CLCD_Manager& manager) {
    uint8_t visible = 0;
    for (size_t slot = 0; slot < child_count_; slot++)
        if (ChildVisible(manager, children_[slot])) visible++;
    return visible;
}

size_t CLCD_MenuItemEx::FindVisibleChild(CLCD_Manager& manager, size_t n, CMenuItem** child) {
    if (child) *child = nullptr;
    size_t seen = 0;
    for (size_t slot = 0; slot < child_count_; slot++) {
        if (!ChildVisible(manager, children_[slot]) || ++seen != n) continue;
        if (child) *child = children_[slot];
        return slot + 1;
    }
    return 0;
}

bool CLCD_MenuItemEx::HasRights(CLCD_Manager& manager) {
    for (size_t slot = 0; slot < child_count_; slot++)
        if (ChildVisible(manager, children_[slot])) return true;
    return false;
}

bool CLCD_MenuItemEx::HasCustomPage(CLCD_Manager&) {
    return false;
}

void CLCD_MenuItemEx::DrawCustomPage(CLCD_Manager&, CLCD&, uint8_t, uint8_t) {}

void CLCD_MenuItemEx::DrawTitle(CLCD_Manager& manager, CLCD& lcd) {
    lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
}

void CLCD_MenuItemEx::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    switch (phase) {
    case DRAW_FULL:
        DrawTitle(manager, lcd);
        [[fallthrough]];
    case DRAW_PERIODIC:
        // Redrawn on every poll so that the children's values stay current.
        if (HasCustomPage(manager))
            DrawCustomPage(manager, lcd, FIRST_ROW, 1);
        else
            DrawPage(manager, lcd, FIRST_ROW, 1);
        break;
    case DRAW_PARTIAL:
        DrawPage(manager, lcd, FIRST_ROW, 1);
        break;
    }
}

void CLCD_MenuItemEx::DrawPage(CLCD_Manager& manager, CLCD& lcd, uint8_t first_row,
                               uint8_t column) {
    if (child_count_ == 0) return;
    bool french = manager.French();
    rows_drawn_ = 0;
    unsigned v = 0;
    for (size_t slot = 0; slot < child_count_; slot++) {
        CMenuItem* child = children_[slot];
        if (!ChildVisible(manager, child)) continue;
        if (v / ROWS_PER_PAGE > page_) break;
        if (v / ROWS_PER_PAGE == page_) {
            uint8_t row = uint8_t(first_row + v % ROWS_PER_PAGE);
            lcd.PrintAt(row, column, LCD_LEFT, "%d) %s", int(v % ROWS_PER_PAGE + 1),
                        child->Title(french));
            child->DrawSuffix(manager, lcd, row, SUFFIX_JUSTIFY);
            rows_drawn_++;
        }
        v++;
    }
    if (rows_drawn_ == 0) {
        lcd.PrintAt(first_row, column, LCD_LEFT, "%s", "1) NO MENUS AVAILABLE");
        v++;
    }
    if (footer_.english != nullptr)
        lcd.PrintAt(FOOTER_ROW, 1, LCD_CENTRE, "%s", footer_.Of(french));
    for (; v / ROWS_PER_PAGE == page_; v++)
        lcd.ClearToEndOfLine(uint8_t(first_row + v % ROWS_PER_PAGE), column);
    uint8_t visible = CountVisibleChildren(manager);
    draw_scroll_marks(lcd, page_ > 0, visible > 0 && page_ < last_page(visible));
}

bool CLCD_MenuItemEx::OpenChild(CLCD_Manager& manager, uint8_t digit) {
    if (HasCustomPage(manager) || digit > rows_drawn_) return true;
    CMenuItem* child = nullptr;
    FindVisibleChild(manager, digit + size_t(page_) * ROWS_PER_PAGE, &child);
    if (child == nullptr) return true;
    child->SetParent(this);
    manager.ActivateMenu(child->Id(), this, false);
    return true;
}

bool CLCD_MenuItemEx::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    uint16_t code = key_event_code(*key);
    if (code >= '1' && code <= '8') return OpenChild(manager, uint8_t(code - '0'));
    if (!is_paging_key(code)) return false;
    if (!HasCustomPage(manager))
        page_on_key(manager, code, page_, last_page(CountVisibleChildren(manager)));
    return true;
}

namespace {

const menu_factory_record CONTAINER_RECORDS[] = {
    {TYPE_CONTAINER, menu_create<CLCD_MenuItemEx>},
};

} // namespace

extern const menu_family CONTAINER_SCREENS = menu_family_of(CONTAINER_RECORDS);
