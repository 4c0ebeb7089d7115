// The message preview (see preview.h).
#include "frontpanel/screens/preview.h"

#include "display/display_task.h"
#include "display/message.h"
#include "display/message_rows.h"
#include "frontpanel/keyboard_decoder.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "store/database.h"
#include "store/objects.h"

#include <algorithm>

namespace {

const uint32_t LCD_WIDTH = CLCDDisplayDriver::LCD_WIDTH;
const uint32_t LCD_HEIGHT = CLCDDisplayDriver::LCD_HEIGHT;
const uint32_t FAILED_PIXEL_FIRST_ROW = 500;  // rows of the pixel test's failures
const uint32_t PERMANENT_IN_CHANGEABLE = 498; // permanent 3 is changeable row 500
const uint32_t PERMANENT_OWN_ROWS = 2;
const uint8_t COLOUR_CLEAR = 0;
const uint8_t COLOUR_SET = 255;

// Where each kind of message keeps its status and text: {memory type,
// first number, last number, status, text, rows before number n's row n - 1}.
struct message_source {
    uint32_t memory_type;
    uint32_t first, last;
    DbObject status, text;
    uint32_t row_offset;
};
const message_source MESSAGE_SOURCES[] = {
    {PENDING_PERMANENT, 1, PERMANENT_OWN_ROWS, obj::permanentMsgStatus,
     obj::permanentMsgMultiString, 0},
    {PENDING_PERMANENT, PERMANENT_OWN_ROWS + 1, 52, obj::changeableMsgStatus,
     obj::changeableMsgMultiString, PERMANENT_IN_CHANGEABLE},
    {PENDING_CHANGEABLE, 1, 500, obj::changeableMsgStatus, obj::changeableMsgMultiString, 0},
    {PENDING_VOLATILE, 1, 0xFFFF, obj::volatileMsgStatus, obj::volatileMsgMultiString, 0},
};

// One text and one parsed message serve every preview.
char preview_text[2501];
CMessage& scratch_message() {
    static CMessage* message = new CMessage;
    return *message;
}

} // namespace

CLCD_MessagePreview::CLCD_MessagePreview(int32_t id) : CMenuItem(id) {}

int32_t CLCD_MessagePreview::LoadText() const {
    for (const message_source& source : MESSAGE_SOURCES) {
        if (source.memory_type != memory_type_ || number_ < source.first || number_ > source.last)
            continue;
        // Permanent messages 3-52 live in the changeable rows 500-549.
        const uint32_t row = number_ - 1 + source.row_offset;
        if (db_get(source.status.row(row)) != MSG_STATUS_VALID) return -1;
        return int32_t(
            db_get_string_copy(source.text.row(row), preview_text, sizeof preview_text - 1));
    }
    return -1;
}

void CLCD_MessagePreview::OnEnter(CLCD_Manager& manager) {
    width_ = int32_t(db_get(obj::vmsSignWidthPixels));
    height_ = int32_t(db_get(obj::vmsSignHeightPixels));
    failed_ = std::min<int32_t>(int32_t(db_get(obj::dmsPixelFailureTestRows)), MAX_MARKED);
    memory_type_ = manager.pending_kind;
    number_ = manager.pending_number;
    const int32_t length = LoadText();
    page_count_ = length >= 0 ? TheDisplay().PreviewPage(preview_text, uint32_t(length)) : 0;
    page_ = 1;
    half_ = 0;
    overlay_phase_ = 0;
}

void CLCD_MessagePreview::OnActivated(CLCD_Manager& manager) {
    CMenuItem::OnActivated(manager);
    saved_right_ = manager.right_is_navigation;
    manager.right_is_navigation = 1;
}

void CLCD_MessagePreview::OnLeave(CLCD_Manager& manager, int32_t next_id) {
    CMenuItem::OnLeave(manager, next_id);
    manager.right_is_navigation = saved_right_;
}

void CLCD_MessagePreview::TurnTo(CLCD_Manager& manager, uint8_t page, uint8_t redraw) {
    page_ = page;
    overlay_phase_ = 0;
    manager.RequestRedraw(redraw);
}

bool CLCD_MessagePreview::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    const uint16_t code = key_event_code(*key);
    const bool wide = width_ > int32_t(LCD_WIDTH);
    switch (code) {
    case KEY_LEFT:
    case KEY_RIGHT:
        if (wide) {
            half_ = code == KEY_RIGHT ? 1 : 0;
            manager.RequestRedraw(DRAW_FULL);
        }
        return true;
    case KEY_ENTER:
        if (page_ >= page_count_) {
            manager.ActivateMenu(MENU_MESSAGE_CONTROL, this, false);
            return true;
        }
        [[fallthrough]];
    case KEY_DOWN:
        if (page_ < page_count_) TurnTo(manager, uint8_t(page_ + 1), DRAW_PARTIAL);
        return true;
    case KEY_UP:
        if (page_ > 1) TurnTo(manager, uint8_t(page_ - 1), DRAW_PARTIAL);
        return true;
    case KEY_REENTRY:
        return true;
    default:
        return false;
    }
}

uint8_t CLCD_MessagePreview::Left() const {
    const uint32_t columns = view_.Columns();
    if (columns < LCD_WIDTH) return uint8_t((LCD_WIDTH - columns) / 2);
    return columns > LCD_WIDTH && half_ == 0 ? 1 : 0;
}

bool CLCD_MessagePreview::DrawPage(CLCD& lcd) {
    const int32_t length = LoadText();
    if (length < 0) return false;
    if (!TheDisplay().PreviewMessage(&surface_, &view_, preview_text, uint32_t(length), page_,
                                     scratch_message()))
        return false;
    view_.DrawBitmap(lcd, half_);
    return true;
}

// The failed pixels (1-based positions) of the pixel test: cleared on the
// second redraw of a page, set from the third on.
void CLCD_MessagePreview::DrawFailedPixels(CLCD& lcd) {
    if (overlay_phase_ == 0) {
        overlay_phase_ = 1;
        return;
    }
    if (overlay_phase_ < 3) {
        lcd.SetDrawColour(overlay_phase_ == 1 ? COLOUR_CLEAR : COLOUR_SET);
        ++overlay_phase_;
    }
    const int32_t left = Left(), top = view_.Top();
    const int32_t right_shift = width_ - int32_t(LCD_WIDTH - 1) + width_ % 8;
    for (int32_t i = 0; i < failed_; ++i) {
        int32_t x = int32_t(db_get(obj::pixelFailureXLocation.row(FAILED_PIXEL_FIRST_ROW + i)));
        const int32_t y =
            int32_t(db_get(obj::pixelFailureYLocation.row(FAILED_PIXEL_FIRST_ROW + i)));
        if (half_ == 0 && x >= int32_t(LCD_WIDTH)) continue;
        if (half_ == 1) {
            if (x <= right_shift) continue;
            x -= right_shift;
        }
        lcd.PutPixel(uint8_t(left + x - 1), uint8_t(top + y - 1));
    }
}

void CLCD_MessagePreview::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_PERIODIC) return;
    lcd.PrintLine(1, LCD_CENTRE, "%s FRAME %d/%d", Title(manager.French()), int(page_),
                  int(page_count_));
    if (height_ > int32_t(LCD_HEIGHT)) {
        lcd.Print(4, LCD_CENTRE, "%s", "TOO LARGE TO DISPLAY");
        return;
    }
    if (DrawPage(lcd)) DrawFailedPixels(lcd);
}

namespace {

const menu_factory_record PREVIEW_SCREEN_RECORDS[] = {
    {TYPE_MESSAGE_PREVIEW, menu_create<CLCD_MessagePreview>},
};

} // namespace

extern const menu_family PREVIEW_SCREENS = menu_family_of(PREVIEW_SCREEN_RECORDS);
