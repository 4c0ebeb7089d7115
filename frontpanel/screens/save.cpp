// The message save screens (see save.h).
#include "frontpanel/screens/save.h"

#include "display/message_rows.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const int32_t MENU_SAVE_AS = 32;
const menu_text SAVE_FAILED = {"SAVE FAILED", "ECHEC DE L'ENREGISTREMENT"};

// The options of the save screen, rows 2-5, and what each digit does.
enum save_choice : uint8_t { SAVE_HERE = 1, SAVE_ELSEWHERE, SAVE_NOTHING, SAVE_GO_BACK };
const menu_text SAVE_OPTIONS[] = {
    {"1) SAVE IN %d", "1) ENREGISTRER DANS %d"},
    {"2) SAVE IN ANOTHER SLOT", "2) ENREGISTRER SOUS..."},
    {"3) DO NOT SAVE", "3) NE PAS ENREGISTRER"},
    {"4) GO BACK", "4) RETOURNER EN EDITION"},
};
const menu_text SLOT_USED_OPTIONS[] = {
    {"1) CONFIRM (OVERWRITE)", "1) REMPLACER LE MESSAGE"},
    {"2) SELECT ANOTHER SLOT", "2) CHOISIR UN AUTRE NUMERO"},
};
const menu_text ENTER_SLOT = {"ENTER SLOT NUMBER:", "NUMERO DU MESSAGE:"};
const menu_text PRESS_ENTER = {"PRESS ENTER TO SAVE", "APPUYER SUR ENTER POUR ENREGISTRER"};
const uint8_t SLOT_ROW = 4, SLOT_LABEL_COLUMN = 9, SLOT_COLUMN = 28, SLOT_DIGITS = 3;

void draw_title(CLCD_Manager& manager, CLCD& lcd, const CMenuItem& item) {
    lcd.PrintLine(1, LCD_CENTRE, "%s", item.Title(manager.French()));
}

// The digit of a key event, or 0 for none.
uint8_t digit_of(uint16_t event) {
    uint16_t code = key_event_code(event);
    return code >= '1' && code <= '9' ? uint8_t(code - '0') : 0;
}

} // namespace

bool save_edited_message_into(CLCD_Manager& manager, CMenuItem* asking, uint32_t slot) {
    manager.editor.save_slot = uint16_t(slot);
    if (manager.SaveEditedMessage()) {
        manager.ActivateMenu(MENU_RUN_OPTIONS, asking, false);
        return true;
    }
    manager.PostNotice(manager.Text(SAVE_FAILED));
    if (!manager.ActivateMenu(MENU_MESSAGE_CONTROL, asking, false))
        manager.RequestRedraw(DRAW_FULL);
    return false;
}

// --- CLCD_MessageSave ----------------------------------------------------------------------

CLCD_MessageSave::CLCD_MessageSave(int32_t id) : CMenuItem(id) {}

bool CLCD_MessageSave::OnKey(CLCD_Manager& manager, uint16_t* key) {
    const uint16_t code = key_event_code(*key);
    switch (code == KEY_ESCAPE ? uint8_t(SAVE_GO_BACK) : digit_of(*key)) {
    case SAVE_HERE:
        save_edited_message_into(manager, this, manager.editor.save_slot);
        return true;
    case SAVE_ELSEWHERE:
        manager.ActivateMenu(MENU_SAVE_AS, this, false);
        return true;
    case SAVE_NOTHING:
        manager.ActivateMenu(MENU_MESSAGE_CONTROL, this, false);
        return true;
    case SAVE_GO_BACK: // the editor keeps its text
        manager.ActivateMenu(MENU_PARENT, this, true);
        return true;
    default:
        return false;
    }
}

void CLCD_MessageSave::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL) return;
    draw_title(manager, lcd, *this);
    uint8_t row = 2;
    for (const menu_text& option : SAVE_OPTIONS)
        lcd.PrintLine(row++, LCD_LEFT, manager.Text(option), int(manager.editor.save_slot));
}

// --- CLCD_MessageSaveAs ----------------------------------------------------------------------

CLCD_MessageSaveAs::CLCD_MessageSaveAs(int32_t id) : CMenuItem(id) {}

void CLCD_MessageSaveAs::OnActivated(CLCD_Manager& manager) {
    CMenuItem::OnActivated(manager);
    slot_ = 0;
}

bool CLCD_MessageSaveAs::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (manager.EditNumber(&slot_, LAST_SLOT, key, true)) return true;
    if (key_event_code(*key) != KEY_ENTER || slot_ == 0) return false;
    if (db_get(obj::changeableMsgStatus.row(uint16_t(slot_ - 1))) == MSG_STATUS_VALID) {
        manager.replace_candidate = slot_;
        manager.ActivateMenu(MENU_SLOT_USED, this, false);
        return true;
    }
    save_edited_message_into(manager, this, slot_);
    return true;
}

void CLCD_MessageSaveAs::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_FULL) {
        draw_title(manager, lcd, *this);
        lcd.PrintRowCol(SLOT_ROW, SLOT_LABEL_COLUMN, "%s", manager.Text(ENTER_SLOT));
        manager.SetCursor(true, SLOT_ROW, SLOT_COLUMN);
    }
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    manager.DrawNumber(SLOT_ROW, SLOT_COLUMN, int32_t(slot_), SLOT_DIGITS, false);
    if (slot_ != 0)
        lcd.PrintLine(8, LCD_CENTRE, "%s", manager.Text(PRESS_ENTER));
    else
        lcd.ClearLine(8);
}

// --- CLCD_MessageSlotUsed ----------------------------------------------------------------------

CLCD_MessageSlotUsed::CLCD_MessageSlotUsed(int32_t id) : CMenuItem(id) {}

bool CLCD_MessageSlotUsed::OnKey(CLCD_Manager& manager, uint16_t* key) {
    uint8_t digit = digit_of(*key);
    if (digit == 1) {
        save_edited_message_into(manager, this, manager.replace_candidate);
    } else if (digit == 2) {
        manager.SetPendingActivation(0, 0);
        manager.ActivateMenu(MENU_SAVE_AS, this, false);
    }
    return true;
}

void CLCD_MessageSlotUsed::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL) return;
    draw_title(manager, lcd, *this);
    uint8_t row = 2;
    for (const menu_text& option : SLOT_USED_OPTIONS)
        lcd.PrintLine(row++, LCD_LEFT, "%s", manager.Text(option));
}

namespace {
const menu_factory_record SAVE_SCREEN_RECORDS[] = {
    {TYPE_MESSAGE_SAVE, menu_create<CLCD_MessageSave>},
    {TYPE_MESSAGE_SAVE_AS, menu_create<CLCD_MessageSaveAs>},
    {TYPE_MESSAGE_SLOT_USED, menu_create<CLCD_MessageSlotUsed>},
};
} // namespace

const menu_family SAVE_SCREENS = menu_family_of(SAVE_SCREEN_RECORDS);
