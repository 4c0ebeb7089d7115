// The manager's screen services (see services.h and manager.h): editing and
// aligned drawing on the manager's cursor and redraw request, the message
// operations and the password test.
#include "frontpanel/services.h"

#include "display/display_entries.h"
#include "display/message_rows.h"
#include "frontpanel/keyboard_decoder.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "platform/kernel/kernel.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// --- paging ------------------------------------------------------------------------

bool page_on_key(CLCD_Manager& manager, uint16_t code, uint8_t& page, uint8_t last_page) {
    if (!is_paging_key(code)) return false;
    uint8_t turned = turn_page(code, page, last_page);
    if (turned != page) manager.RequestRedraw(DRAW_PARTIAL);
    page = turned;
    return true;
}

// --- editing and drawing ---------------------------------------------------------------

bool CLCD_Manager::EditText(char* buffer, size_t size, uint16_t* key) {
    if (key == nullptr) return false;
    edit_outcome outcome = edit_text_key(buffer, size, *key);
    if (outcome == EDIT_NOT_HANDLED) return false;
    if (key_event_code(*key) != KEY_BACKSPACE && key_event_code(*key) != KEY_LEFT) multitap_index++;
    RequestRedraw(2);
    return true;
}

bool CLCD_Manager::EditNumber(uint32_t* value, uint32_t maximum, uint16_t* key, bool wrap) {
    if (value == nullptr || key == nullptr) return false;
    edit_outcome outcome = edit_number_key(*value, maximum, *key, wrap);
    if (outcome == EDIT_CHANGED) RequestRedraw(2);
    return outcome != EDIT_NOT_HANDLED;
}

void CLCD_Manager::DrawNumber(uint8_t row, uint8_t column, int32_t value, uint8_t width,
                              bool place_cursor) {
    if (width >= 16) return;
    char digits[16];
    int length = std::snprintf(digits, sizeof digits, "%d", int(value));
    lcd_.PrintRowCol(row, column, "%-*s", int(width), digits);
    if (place_cursor) SetCursorPos(row, column + length - (value == 0 ? 1 : 0), cursor_height);
}

void CLCD_Manager::DrawDecimal(uint8_t row, uint8_t column, uint32_t integer,
                               uint8_t integer_digits, uint32_t fraction, uint8_t fraction_digits,
                               bool point_entered, bool place_cursor) {
    if (fraction_digits + integer_digits + 1 >= 16) return;
    char text[DECIMAL_TEXT_LENGTH + 1];
    size_t cursor =
        format_decimal(text, integer, integer_digits, fraction, fraction_digits, point_entered);
    lcd_.PrintRowCol(row, column, "%s", text);
    if (place_cursor) SetCursorPos(row, int32_t(column + cursor), cursor_height);
}

void CLCD_Manager::DrawWrappedText(uint8_t row, uint8_t column, const char* text, uint8_t width,
                                   uint8_t rows, bool place_cursor) {
    if (text == nullptr || width == 0) return;
    size_t shown = std::min(size_t(width) * rows, std::strlen(text));
    if (place_cursor)
        SetCursorPos(row + int32_t(shown / width), column + int32_t(shown % width), cursor_height);
    for (uint8_t i = 0; i < rows; i++) {
        size_t start = std::min(shown, size_t(i) * width);
        int shown_here = int(std::min(shown - start, size_t(width)));
        lcd_.PrintRowCol(uint8_t(row + i), column, "%.*s%*s", shown_here, text + start,
                         width - shown_here, "");
    }
}

// --- messages --------------------------------------------------------------------------

namespace {

// The front panel's requests travel in the ordinary activation slot with
// state and source 2 (local).
const uint8_t PANEL_REQUEST_STATE = 2;
const uint8_t PANEL_REQUEST_SOURCE = 2;
const uint8_t PANEL_PRIORITY = 255;

// Changeable messages 1-500 are the panel's own; permanent messages 3 and up
// are kept in changeable rows 500 and up.
const uint32_t CHANGEABLE_MESSAGES_SHOWN = 500;
const uint32_t PERMANENT_IN_CHANGEABLE_OFFSET = 497;

// The CRC of the pending message. -> false when the kind or the number names
// no message (the CRC stays 0).
bool pending_message_crc(uint32_t kind, uint32_t number, uint16_t& crc) {
    crc = 0;
    const DbObject* column = nullptr;
    uint32_t row = 0;
    if (kind == PENDING_PERMANENT && number >= 1 && number <= 2) {
        column = &obj::permanentMsgCRC;
        row = number - 1;
    } else if (kind == PENDING_PERMANENT && number >= 3 &&
               number <= db_get(obj::dmsNumPermanentMsg)) {
        column = &obj::changeableMsgCRC;
        row = number + PERMANENT_IN_CHANGEABLE_OFFSET;
    } else if (kind == PENDING_CHANGEABLE && number >= 1 && number <= CHANGEABLE_MESSAGES_SHOWN) {
        column = &obj::changeableMsgCRC;
        row = number - 1;
    } else if (kind == PENDING_VOLATILE && number >= 1) {
        column = &obj::volatileMsgCRC;
        row = number - 1;
    } else if (kind == PENDING_BLANK || kind == PENDING_BLANK_OTHER) {
        return true;
    }
    if (column == nullptr || row >= column->rows) {
        if (kind == PENDING_PERMANENT)
            console_printf(
                "CLCD_Manager: ERROR --  trying to activate an invalid permanent message\n");
        return false;
    }
    crc = uint16_t(db_get(column->row(row)));
    return true;
}

bool changeable_row_valid(uint32_t row) {
    return row < obj::changeableMsgStatus.rows;
}

} // namespace

void CLCD_Manager::SetPendingActivationIfValid(uint32_t, int32_t kind, uint32_t number) {
    if (kind >= 0) SetPendingActivation(uint32_t(kind), number);
}

bool CLCD_Manager::ActivateMessage(uint16_t duration) {
    uint16_t crc = 0;
    bool valid = pending_message_crc(pending_kind, pending_number, crc);
    const uint8_t no_address[4] = {};
    CMsgActivationCode code;
    code.Set(duration, PANEL_PRIORITY, uint8_t(pending_kind), uint16_t(pending_number), crc,
             no_address);
    request_activation(ACTIVATION_SLOT_ORDINARY, PANEL_REQUEST_STATE, PANEL_REQUEST_SOURCE, code);
    return valid;
}

bool CLCD_Manager::RequestMessageStatus(uint16_t row, uint8_t request, uint8_t expected) {
    if (!changeable_row_valid(row)) return false;
    const DbObject status = obj::changeableMsgStatus.row(row);
    db_set(status, request, DB_NOTIFY);
    const uint32_t TRIES = 5, FIRST_WAIT_TICKS = 10;
    for (uint32_t attempt = 1; attempt <= TRIES; attempt++) {
        tx_thread_sleep(FIRST_WAIT_TICKS * attempt);
        uint32_t now = db_get(status);
        if (now == expected) return true;
        if (now != request) return false;
    }
    return false;
}

bool CLCD_Manager::SaveEditedMessage() {
    if (editor.save_slot == 0 || editor.save_slot > CHANGEABLE_MESSAGES_SHOWN) return false;
    uint16_t row = uint16_t(editor.save_slot - 1);
    if (db_get(obj::changeableMsgStatus.row(row)) != MSG_STATUS_NOT_USED &&
        !RequestMessageStatus(row, MSG_STATUS_NOT_USED_REQ, MSG_STATUS_NOT_USED))
        return false;
    if (!RequestMessageStatus(row, MSG_STATUS_MODIFY_REQ, MSG_STATUS_MODIFYING)) {
        RequestMessageStatus(row, MSG_STATUS_NOT_USED_REQ, MSG_STATUS_NOT_USED);
        return false;
    }
    uint32_t length = std::min<uint32_t>(editor.length, message_editor_record::TEXT_BYTES);
    db_set_string(obj::changeableMsgMultiString.row(row), editor.text, length, DB_NOTIFY);
    db_set_string(obj::changeableMsgOwner.row(row), editor.owner,
                  uint32_t(strnlen(editor.owner, sizeof editor.owner)), DB_NOTIFY);
    db_set(obj::changeableMsgRunTimePriority.row(row), editor.priority, DB_NOTIFY);
    db_set(obj::changeableMsgBeacon.row(row), editor.beacon != 0 ? 1 : 0, DB_NOTIFY);
    if (!RequestMessageStatus(row, MSG_STATUS_VALIDATE_REQ, MSG_STATUS_VALID)) {
        RequestMessageStatus(row, MSG_STATUS_NOT_USED_REQ, MSG_STATUS_NOT_USED);
        return false;
    }
    SetPendingActivation(PENDING_CHANGEABLE, editor.save_slot);
    return true;
}

bool CLCD_Manager::EditFirstFreeMessage() {
    for (uint16_t row = 0; row < CHANGEABLE_MESSAGES_SHOWN; row++) {
        if (db_get(obj::changeableMsgStatus.row(row)) != MSG_STATUS_NOT_USED) continue;
        editor.save_slot = uint16_t(row + 1);
        ActivateMenu(MENU_MESSAGE_EDITOR, current_, false);
        return true;
    }
    editor.save_slot = 0;
    ActivateMenu(MENU_NO_FREE_SLOT, current_, false);
    return false;
}

bool CLCD_Manager::IsMessageDisplayed(uint8_t memory_type, uint16_t number) {
    uint8_t bytes[CMsgIDCode::kLength + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsMsgTableSource, bytes, sizeof bytes, &length);
    CMsgIDCode code;
    code.Decode(bytes, length);
    return code.m_memoryType == memory_type && code.m_messageNumber == number;
}

// --- passwords -------------------------------------------------------------------------

namespace {

bool keypad_equal_to_stored(const char* text, const DbObject& stored) {
    char value[256];
    db_get_string_copy(stored, value, sizeof value);
    return keypad_equal(text, value);
}

} // namespace

bool CLCD_Manager::IsPasswordUnique(const char* text) {
    if (text == nullptr) return false;
    if (keypad_equal_to_stored(text, obj::communityNameAdmin)) return false;
    for (uint16_t row = 0; row < obj::communityNameUser.rows; row++)
        if (keypad_equal_to_stored(text, obj::communityNameUser.row(row))) return false;
    return true;
}

bool CLCD_Manager::KeypadEqual(const char* a, const char* b) {
    return keypad_equal(a, b);
}

char CLCD_Manager::KeypadGroupChar(char character) {
    return keypad_group_char(character);
}
