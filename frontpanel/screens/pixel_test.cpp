// The pixel-test screens (see pixel_test.h).
#include "frontpanel/screens/pixel_test.h"

#include "display/disp/diagnostics.h"
#include "display/disp/face.h"
#include "display/display_task.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "store/short_error_status.h"

#include <algorithm>
#include <cstdio>

namespace {

const int32_t RESULTS_MENU = 9;
const int32_t SYSTEM_ERRORS_MENU = 138;
const uint32_t PIXEL_TEST_RUN = 3; // pixelTestActivation
const uint32_t FIRST_TEST_ROW = 500;
const uint32_t TALLEST_MAP = 64;
const uint8_t COUNT_ROW = 8;
const uint8_t TOO_LARGE_ROW = 4;
const uint8_t LAST_PAGE_ROW = 7;

enum : uint32_t { CHOICE_CANCEL = 0, CHOICE_CONFIRM = 1 };

const choice_row ACTIVATION_CHOICES[] = {
    {CHOICE_CONFIRM, {"CONFIRM", "CONFIRMER"}, RESULTS_MENU},
    {CHOICE_CANCEL, {"CANCEL", "ANNULER"}, MENU_PARENT},
};
const choice_row CLEAR_CHOICES[] = {
    {CHOICE_CONFIRM, {"CONFIRM", "CONFIRMER"}, MENU_PARENT},
    {CHOICE_CANCEL, {"CANCEL", "ANNULER"}, MENU_PARENT},
};
const choice_row NO_ERROR_CHOICE = {0, {"NO ERROR", "AUCUNE ERREUR"}, MENU_PARENT};

// What a failed pixel's status says: {status, text}; 0 says nothing.
struct pixel_status_row {
    uint32_t status;
    menu_text text;
};
const menu_text STUCK_OFF = {"STUCK OFF", "TOUJOURS ETEINTE"};
const menu_text STUCK_ON = {"STUCK ON", "TOUJOURS ALLUMEE"};
const pixel_status_row PIXEL_STATUSES[] = {
    {0, {"", ""}}, {4, STUCK_OFF}, {6, STUCK_OFF}, {20, STUCK_OFF}, {5, STUCK_ON}, {7, STUCK_ON},
};
const menu_text UNKNOWN_ERROR = {"UNKNOWN ERROR", "ERREUR INCONNUE"};

const menu_text& pixel_status_text(uint32_t status) {
    for (const pixel_status_row& row : PIXEL_STATUSES)
        if (row.status == status) return row.text;
    return UNKNOWN_ERROR;
}

uint32_t failure_rows() {
    return db_get(obj::dmsPixelFailureTestRows);
}

bool listed_under_system_errors(const CMenuItem& item) {
    return item.Parent() != nullptr && item.Parent()->Id() == SYSTEM_ERRORS_MENU;
}

} // namespace

const disp::frame* pixel_test_failure_frame() {
    CDisplay& display = TheDisplay();
    if (display.FaceCount() == 0) return nullptr;
    const disp::diagnostics* diagnostics = display.FaceConfig(0).diagnostics;
    return diagnostics ? diagnostics->own_errors() : nullptr;
}

// --- activation and the results group ---------------------------------------------------------

CLCD_PixelTestActivation::CLCD_PixelTestActivation(int32_t id) : CLCD_SimpleMenuBase(id) {
    AddChoices(ACTIVATION_CHOICES);
}

void CLCD_PixelTestActivation::OnSelect(CLCD_Manager&, const choice_row& choice) {
    if (choice.value == CHOICE_CONFIRM) db_set(obj::pixelTestActivation, PIXEL_TEST_RUN, DB_NOTIFY);
}

CLCD_PixelTestResults::CLCD_PixelTestResults(int32_t id) : CLCD_MenuItemEx(id) {}

bool CLCD_PixelTestResults::HasCustomPage(CLCD_Manager&) {
    return db_get(obj::pixelTestActivation) == PIXEL_TEST_RUN;
}

void CLCD_PixelTestResults::DrawCustomPage(CLCD_Manager& manager, CLCD& lcd, uint8_t first_row,
                                           uint8_t column) {
    lcd.PrintAt(first_row, column, LCD_LEFT, "%s",
                manager.French() ? "EN COURS D'EXECUTION..." : "RUNNING... PLEASE WAIT");
    for (uint8_t row = uint8_t(first_row + 1); row <= LAST_PAGE_ROW; ++row)
        lcd.ClearLine(row);
}

// --- the map ---------------------------------------------------------------------------------

CLCD_PixelTestResultsBitmap::CLCD_PixelTestResultsBitmap(int32_t id) : CMenuItem(id) {}

bool CLCD_PixelTestResultsBitmap::HasRights(CLCD_Manager& manager) {
    if (!CMenuItem::HasRights(manager)) return false;
    return !listed_under_system_errors(*this) || failure_rows() >= 1;
}

bool CLCD_PixelTestResultsBitmap::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr || key_event_code(*key) != KEY_ENTER || failure_rows() < 1) return false;
    // The list returns to the map it was opened from.
    if (CMenuItem* list = manager.FindMenu(LIST_MENU, nullptr)) list->SetParent(this);
    manager.ActivateMenu(LIST_MENU, this, false);
    return true;
}

void CLCD_PixelTestResultsBitmap::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    const bool french = manager.French();
    if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(french));
    const uint32_t errors = failure_rows();
    if (errors == 0)
        lcd.Print(COUNT_ROW, LCD_CENTRE, "%s", french ? "AUCUNE ERREUR" : "NO ERRORS!");
    else
        lcd.Print(COUNT_ROW, LCD_CENTRE, french ? "%d ERREURS" : "%d ERRORS!", int(errors));
    if (db_get(obj::vmsSignHeightPixels) > TALLEST_MAP) {
        lcd.Print(TOO_LARGE_ROW, LCD_CENTRE, "%s",
                  french ? "PANNEAU TROP LARGE" : "TOO LARGE TO DISPLAY");
        return;
    }
    const disp::frame* frame = pixel_test_failure_frame();
    if (frame == nullptr) return;
    // The map takes its size from the frame it shows, never from the sign's
    // configured size, so a size changed since the test reads nothing past it.
    view_.Resize(frame->height(), frame->width());
    view_.CopyFrame(frame);
    view_.DrawBitmap(lcd, 0);
}

// --- the list --------------------------------------------------------------------------------

CLCD_PixelTestResultsList::CLCD_PixelTestResultsList(int32_t id) : CLCD_SimpleMenuBase(id) {
    UseChoiceStorage(storage_, MAX_ROWS);
    activate_target_ = 0;
}

bool CLCD_PixelTestResultsList::HasRights(CLCD_Manager& manager) {
    if (!CMenuItem::HasRights(manager)) return false;
    return !listed_under_system_errors(*this) || failure_rows() >= 1;
}

void CLCD_PixelTestResultsList::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleMenuBase::OnEnter(manager);
    Rebuild();
}

void CLCD_PixelTestResultsList::Rebuild() {
    ClearChoices();
    const uint32_t count = std::min<uint32_t>(failure_rows(), MAX_ROWS);
    CDisplay& display = TheDisplay();
    if (display.FaceCount() == 0) return;
    const int32_t module_width = display.FaceConfig(0).module_width;
    const int32_t module_height = display.FaceConfig(0).module_height;
    // Without a module size there is no module to name.
    if (module_width == 0 || module_height == 0) return;
    if (count == 0) {
        AddChoice(&NO_ERROR_CHOICE);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t x = int32_t(db_get(obj::pixelFailureXLocation.row(FIRST_TEST_ROW + i)));
        const int32_t y = int32_t(db_get(obj::pixelFailureYLocation.row(FIRST_TEST_ROW + i)));
        std::snprintf(texts_[i], TEXT_BYTES, "[%d,%d] module:[%d,%d]", int(x), int(y),
                      int((x - 1) / module_width + 1), int((y - 1) / module_height + 1));
        rows_[i] = {db_get(obj::pixelFailureStatus.row(FIRST_TEST_ROW + i)),
                    {texts_[i], texts_[i]},
                    MENU_PARENT};
        AddChoice(&rows_[i]);
    }
}

void CLCD_PixelTestResultsList::DrawChoiceSuffix(CLCD_Manager& manager, CLCD& lcd, size_t index,
                                                 uint8_t row, uint8_t justify) {
    const choice_row* choice = Choice(index);
    if (choice == nullptr || choice == &NO_ERROR_CHOICE) return;
    const char* text = pixel_status_text(choice->value).Of(manager.French());
    if (text[0] != 0) lcd.Print(row, justify, "%s", text);
}

// --- clearing --------------------------------------------------------------------------------

CLCD_PixelTestResultsClear::CLCD_PixelTestResultsClear(int32_t id) : CLCD_SimpleMenuBase(id) {
    AddChoices(CLEAR_CHOICES);
}

bool CLCD_PixelTestResultsClear::HasRights(CLCD_Manager& manager) {
    if (!CMenuItem::HasRights(manager)) return false;
    return !listed_under_system_errors(*this) ||
           (db_get(obj::shortErrorStatus) & SHORT_ERROR_PIXEL) != 0;
}

void CLCD_PixelTestResultsClear::OnSelect(CLCD_Manager&, const choice_row& choice) {
    if (choice.value == CHOICE_CONFIRM) the_post_office().post(LETTER_CLEAR_PIXEL_TEST_FAILURES);
}

namespace {

const menu_factory_record PIXEL_TEST_RECORDS[] = {
    {TYPE_PIXEL_TEST_ACTIVATION, menu_create<CLCD_PixelTestActivation>},
    {TYPE_PIXEL_TEST_RESULTS, menu_create<CLCD_PixelTestResults>},
    {TYPE_PIXEL_TEST_BITMAP, menu_create<CLCD_PixelTestResultsBitmap>},
    {TYPE_PIXEL_TEST_LIST, menu_create<CLCD_PixelTestResultsList>},
    {TYPE_PIXEL_TEST_CLEAR, menu_create<CLCD_PixelTestResultsClear>},
};

} // namespace

extern const menu_family PIXEL_TEST_SCREENS = menu_family_of(PIXEL_TEST_RECORDS);
