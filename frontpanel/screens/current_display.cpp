// The current display screens (see current_display.h).
#include "frontpanel/screens/current_display.h"

#include "display/message.h"
#include "display/message_codes.h"
#include "frontpanel/lcd.h"
#include "frontpanel/lcd_view.h"
#include "frontpanel/manager.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"

#include <algorithm>

namespace {

const uint32_t TALL_SIGN = 49;   // from this height the indicators make room
const uint32_t TITLED_SIGN = 48; // below this height the title fits above the image
const uint8_t MEMORY_OTHER = 1;  // dmsMsgTableSource memory types with no text
const uint8_t MEMORY_BLANK = 7;
const uint8_t MORE_ROW = 8;
const char* const MORE_BLANKS = "                 ";
const uint8_t TOO_LARGE_ROW = 4;
const menu_text TOO_LARGE = {"TOO LARGE TO DISPLAY", "PANNEAU TROP LARGE"};

// The widest signs hide the most indicators: {from width, mode}.
struct indicator_width_row {
    uint32_t width;
    uint8_t mode;
};
const indicator_width_row INDICATOR_WIDTHS[] = {{225, 3}, {209, 2}, {193, 1}, {0, 0}};

void set_sign_image(CLCD_Manager& manager, uint8_t view) {
    const bool locked = manager.SignImageMutexReady();
    if (locked) os_mutex_get(&manager.SignImageMutex(), OS_WAIT_FOREVER);
    manager.sign_image = view;
    if (locked) os_mutex_put(&manager.SignImageMutex());
}

uint32_t idle_ticks() {
    return 2 * db_get(obj::fdotObj11_11);
}

// One text for both screens: the panel runs on one thread.
char multi_text[MULTI_MAX_TEXT + 1];

} // namespace

int indicator_mode_for_sign(uint32_t width, uint32_t height) {
    if (height < TALL_SIGN) return -1;
    for (const indicator_width_row& row : INDICATOR_WIDTHS)
        if (width >= row.width) return row.mode;
    return 0;
}

size_t current_multi_text(char* text, size_t size) {
    if (size == 0) return 0;
    text[0] = 0;
    uint8_t source[CMsgIDCode::kLength + 1] = {};
    const uint32_t length = db_get_string_copy(obj::dmsMsgTableSource, source, sizeof source);
    CMsgIDCode code;
    if (!code.Decode(source, length) || code.m_memoryType == MEMORY_OTHER ||
        code.m_memoryType == MEMORY_BLANK)
        return 0;
    const uint32_t copied =
        db_get_string_copy(obj::currentBufferMsgMultiString, text, uint32_t(size - 1));
    text[std::min<size_t>(copied, size - 1)] = 0;
    return std::min<size_t>(copied, size - 1);
}

// --- the sign image ------------------------------------------------------------------------

CLCD_CurrentDisplay::CLCD_CurrentDisplay(int32_t id) : CMenuItem(id) {}

void CLCD_CurrentDisplay::OnActivated(CLCD_Manager& manager) {
    CMenuItem::OnActivated(manager);
    saved_right_ = manager.right_is_navigation;
    manager.right_is_navigation = 1;
    half_ = 1;
    countdown_ = idle_ticks();
    saved_indicator_mode_ = manager.indicator_mode;
    const int mode =
        indicator_mode_for_sign(db_get(obj::vmsSignWidthPixels), db_get(obj::vmsSignHeightPixels));
    if (mode >= 0) manager.indicator_mode = uint8_t(mode);
}

void CLCD_CurrentDisplay::OnLeave(CLCD_Manager& manager, int32_t next_id) {
    set_sign_image(manager, 0);
    manager.right_is_navigation = uint8_t(saved_right_);
    CMenuItem::OnLeave(manager, next_id);
    manager.indicator_mode = saved_indicator_mode_;
}

void CLCD_CurrentDisplay::ShowHalf(CLCD_Manager& manager, uint8_t half) {
    if (db_get(obj::vmsSignWidthPixels) <= WIDE_SIGN) return;
    half_ = half;
    manager.RequestRedraw(DRAW_FULL);
}

bool CLCD_CurrentDisplay::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    countdown_ = idle_ticks();
    switch (key_event_code(*key)) {
    case KEY_ENTER:
        set_sign_image(manager, 0);
        manager.ActivateMenu(CLCD_CurrentDisplay::MENU_ID + 1, this, false);
        return true;
    case KEY_ESCAPE:
        set_sign_image(manager, 0);
        manager.ActivateMenu(MENU_PARENT, this, true);
        return true;
    case KEY_LEFT:
        ShowHalf(manager, 1);
        return true;
    case KEY_RIGHT:
        ShowHalf(manager, 2);
        return true;
    default:
        return false;
    }
}

void CLCD_CurrentDisplay::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (db_get(obj::dmsControlMode) != CONTROL_LOCAL && countdown_ != 0 && --countdown_ == 0) {
        manager.InjectEscape();
        return;
    }
    if (phase != DRAW_FULL) return;
    const uint32_t height = db_get(obj::vmsSignHeightPixels);
    if (height < TITLED_SIGN) lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    // A sign taller than the LCD is never drawn (nor is a face the display
    // left out): say so instead of showing an empty screen.
    if (height > CLCDDisplayDriver::LCD_HEIGHT) {
        lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
        lcd.Print(TOO_LARGE_ROW, LCD_CENTRE, "%s", manager.Text(TOO_LARGE));
        return;
    }
    set_sign_image(manager, half_);
}

// --- the MULTI text ------------------------------------------------------------------------

CLCD_CurrentMultiString::CLCD_CurrentMultiString(int32_t id) : CMenuItem(id) {}

void CLCD_CurrentMultiString::OnEnter(CLCD_Manager&) {
    page_ = 1;
}

bool CLCD_CurrentMultiString::ShowPage(CLCD& lcd) {
    const size_t length = current_multi_text(multi_text, sizeof multi_text);
    const int32_t rows = int32_t((length + ROW_WIDTH - 1) / ROW_WIDTH);
    const int32_t first = ROWS_PER_PAGE * (page_ - 1);
    int32_t shown = 0;
    for (int32_t i = 0; i < ROWS_PER_PAGE; ++i) {
        const uint8_t row = uint8_t(2 + i);
        if (first + i >= rows) {
            lcd.ClearLine(row);
            continue;
        }
        lcd.PrintAt(row, 1, LCD_LEFT, "%.38s", multi_text + (first + i) * ROW_WIDTH);
        ++shown;
    }
    if (rows > first + ROWS_PER_PAGE)
        lcd.Print(MORE_ROW, LCD_CENTRE, "%s", "(MORE)");
    else
        lcd.Print(MORE_ROW, LCD_CENTRE, "%s", MORE_BLANKS);
    return shown > 0;
}

void CLCD_CurrentMultiString::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    if (ShowPage(lcd) || page_ <= 1) return;
    --page_;
    ShowPage(lcd);
    manager.RequestRedraw(DRAW_PARTIAL);
}

bool CLCD_CurrentMultiString::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    switch (key_event_code(*key)) {
    case KEY_ENTER:
    case KEY_ESCAPE:
        manager.ActivateMenu(MENU_PARENT, this, false);
        return true;
    case KEY_UP:
        if (page_ > 1) --page_;
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    case KEY_DOWN:
        ++page_;
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    default:
        return false;
    }
}

namespace {

const menu_factory_record CURRENT_DISPLAY_RECORDS[] = {
    {TYPE_CURRENT_DISPLAY, menu_create<CLCD_CurrentDisplay>},
    {TYPE_CURRENT_MULTI_STRING, menu_create<CLCD_CurrentMultiString>},
};

} // namespace

extern const menu_family CURRENT_DISPLAY_SCREENS = menu_family_of(CURRENT_DISPLAY_RECORDS);
