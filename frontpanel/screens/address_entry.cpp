// The address entry screen of the front panel: see address_entry.h.
#include "frontpanel/screens/address_entry.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/number_entry.h"
#include "frontpanel/screens/wizard.h"
#include "store/database.h"

#include <cstdio>

namespace {

const menu_text CURRENT_FORMAT = {"CURRENT:%d.%d.%d.%d", "ADRESSE:%d.%d.%d.%d"};

// The read-only notice, row by row, in each language.
struct notice_line {
    uint8_t row;
    const char* text;
};
const notice_line READ_ONLY_EN[] = {
    {4, "UNABLE TO MODIFY DUE TO ETHERNET MODE"},
    {6, "(PRESS ESC TO CONTINUE)"},
};
const notice_line READ_ONLY_FR[] = {
    {4, "IMPOSSIBLE DE MODIFIER A"},
    {5, "CAUSE DU MODE ETHERNET"},
    {6, "(APPUYER SUR ESCAPE POUR CONTINUER)"},
};

const uint8_t VALUE_ROW = 4;
const uint8_t ERROR_ROW = 6;
const uint8_t OCTET_LIMIT = 255;

int octet_of(uint32_t address, unsigned i) {
    return int((address >> (24 - 8 * i)) & 0xFF);
}

} // namespace

const address_entry_row* address_entry_find(const address_entry_row* rows, size_t count,
                                            int32_t id) {
    for (size_t i = 0; i < count; ++i)
        if (rows[i].id == id) return &rows[i];
    return nullptr;
}

void format_address(uint32_t address, char* text, size_t size) {
    std::snprintf(text, size, "%d.%d.%d.%d", octet_of(address, 0), octet_of(address, 1),
                  octet_of(address, 2), octet_of(address, 3));
}

// --- the octets ------------------------------------------------------------------------

uint32_t address_octets::Packed() const {
    return (octet[0] & 0xFF) << 24 | (octet[1] & 0xFF) << 16 | (octet[2] & 0xFF) << 8 |
           (octet[3] & 0xFF);
}

void address_octets::Advance() {
    if (index < 3) ++index;
}

void address_octets::CountDigit() {
    int32_t& count = digits[index];
    if (count == 1 && octet[index] > 25) {
        // No third digit fits: 26-99 are complete.
        ++count;
        Advance();
    } else if (count < 2) {
        ++count;
    } else {
        if (octet[index] > 100 && count < 3) ++count;
        Advance();
    }
}

bool address_octets::EraseStep() {
    if (digits[index] > 0) {
        --digits[index];
        return false;
    }
    if (index == 0) return false;
    --index;
    if (digits[index] == 0) return false;
    --digits[index];
    return true;
}

// --- the screen ------------------------------------------------------------------------

CLCD_SimpleIPAddrBase::CLCD_SimpleIPAddrBase(const address_entry_row& row)
    : CMenuItem(row.id), row_(row) {}

void CLCD_SimpleIPAddrBase::Load() {
    current_ = row_.current ? row_.current(row_) : db_get(row_.object);
    read_only_ = row_.read_only && row_.read_only(row_) ? 1 : 0;
}

bool CLCD_SimpleIPAddrBase::Store(CLCD_Manager&) {
    int result = row_.store ? row_.store(row_, new_address_, changed_ != 0)
                            : db_set(row_.object, new_address_, DB_NOTIFY);
    return result == 0;
}

void CLCD_SimpleIPAddrBase::OnEnter(CLCD_Manager&) {
    octets_.Clear();
    refused_ = 0;
    Load();
}

void CLCD_SimpleIPAddrBase::OnActivated(CLCD_Manager& manager) {
    // The panel's Right key moves to the next octet here.
    manager.right_is_navigation = 1;
}

bool CLCD_SimpleIPAddrBase::EraseKey(CLCD_Manager& manager, uint16_t* key) {
    manager.EditNumber(&octets_.octet[octets_.index], OCTET_LIMIT, key, false);
    if (octets_.EraseStep())
        manager.EditNumber(&octets_.octet[octets_.index], OCTET_LIMIT, key, false);
    manager.RequestRedraw(DRAW_PARTIAL);
    return true;
}

bool CLCD_SimpleIPAddrBase::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (read_only_) return false; // Escape leaves through the manager
    uint16_t code = key_event_code(*key);
    if (code >= KEY_F1 && code <= KEY_F12) return true; // no function-key shortcuts on this screen
    if (is_erase_key(*key)) return EraseKey(manager, key);
    if (code == KEY_RIGHT) {
        octets_.Advance();
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
    if (manager.EditNumber(&octets_.octet[octets_.index], OCTET_LIMIT, key, false)) {
        // A digit, also one refused as past 255, counts towards the advance.
        octets_.CountDigit();
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
    if (code != KEY_ENTER) return false;
    new_address_ = octets_.Packed();
    changed_ = new_address_ != current_ ? 1 : 0;
    if (!Store(manager)) {
        refused_ = 1;
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
    manager.ActivateMenu(MENU_PARENT, this, false);
    return true;
}

void CLCD_SimpleIPAddrBase::DrawReadOnly(CLCD_Manager& manager, CLCD& lcd) {
    bool french = manager.French();
    const notice_line* lines = french ? READ_ONLY_FR : READ_ONLY_EN;
    size_t count = french ? std::size(READ_ONLY_FR) : std::size(READ_ONLY_EN);
    for (size_t i = 0; i < count; ++i)
        lcd.Print(lines[i].row, LCD_CENTRE, "%s", lines[i].text);
}

void CLCD_SimpleIPAddrBase::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    bool french = manager.French();
    if (phase == DRAW_FULL) {
        lcd.Print(1, LCD_CENTRE, "%s", Title(french));
        if (read_only_) {
            DrawReadOnly(manager, lcd);
            return;
        }
        lcd.Print(2, LCD_CENTRE, CURRENT_FORMAT.Of(french), octet_of(current_, 0),
                  octet_of(current_, 1), octet_of(current_, 2), octet_of(current_, 3));
        lcd.PrintLine(7, LCD_CENTRE, "%s", row_.line7.Of(french));
        lcd.PrintLine(8, LCD_CENTRE, "%s", ENTRY_SAVE_HINT.Of(french));
        manager.SetCursor(true, VALUE_ROW, OCTET_COLUMN);
    }
    if (read_only_ || (phase != DRAW_FULL && phase != DRAW_PARTIAL)) return;
    const uint32_t* octet = octets_.octet;
    lcd.PrintRowCol(VALUE_ROW, OCTET_COLUMN, "%-3d.%-3d.%-3d.%-3d", int(octet[0]), int(octet[1]),
                    int(octet[2]), int(octet[3]));
    manager.SetCursorPos(VALUE_ROW,
                         OCTET_COLUMN + 4 * octets_.index + octets_.digits[octets_.index], 7);
    if (refused_) {
        lcd.PrintLine(ERROR_ROW, LCD_CENTRE, "%s", ENTRY_INVALID.Of(french));
        refused_ = 0;
    }
}

void CLCD_SimpleIPAddrBase::DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row,
                                       uint8_t justify) {
    (void)manager;
    if (row_.suffix == ADDRESS_SUFFIX_NONE) return;
    uint32_t stored = db_get(row_.object);
    char text[24];
    format_address(stored, text, sizeof text);
    bool pending =
        row_.suffix == ADDRESS_SUFFIX_PENDING && row_.current && row_.current(row_) != stored;
    lcd.Print(row, justify, "%s%s", text, pending ? "*" : "");
}
