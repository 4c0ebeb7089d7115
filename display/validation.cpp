// The message-table sweep: the status requests found in the volatile and
// changeable rows are carried out, the rows to be validated are checked by
// a measuring parse of their MULTI text (CheckMULTI), a valid row gets its
// CRC, the memory-use counts are rewritten and the message-ID objects that
// name a changeable message that is no longer valid are pointed at the blank
// message. Runs under the display lock: the parser, the renderer's surface
// and the scratch message are the ones the display thread draws with.
#include "display/display_task.h"

#include "display/render.h"
#include "runtime/console.h"
#include "runtime/utilities.h"
#include "store/short_error_status.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint32_t SHORT_MESSAGE_ERROR = 0x80; // shortErrorStatus
const uint32_t VALIDATE_ERROR_NONE = 2, VALIDATE_ERROR_SYNTAX = 5;
const uint32_t MESSAGE_BYTES = 1500;
const uint32_t VOLATILE_MEMORY = 6000;
const uint32_t CHANGEABLE_MEMORY = 750000;

// Objects that name a message the sign may be asked to show later.
const DbObject MESSAGE_REFERENCES[] = {
    obj::dmsEndDurationMessage, obj::dmsCommunicationsLossMessage, obj::halvEmergencyMessage,
    obj::dmsResetMessage,       obj::dmsShortPowerRecoveryMessage, obj::dmsLongPowerRecoveryMessage,
};
const unsigned REFERENCES = sizeof MESSAGE_REFERENCES / sizeof MESSAGE_REFERENCES[0];

// What a measuring parse's result means for validation: the text printed
// (with the error position where it has %d) and whether the message error
// bit of shortErrorStatus is set.
struct check_outcome {
    const char* text;
    bool console; // printed at console level, else trace level
    bool message_error;
};
const int FIRST_ERROR = 3, LAST_ERROR = 15;
const check_outcome OUTCOMES[LAST_ERROR - FIRST_ERROR + 1] = {
    {"MULTI Error -> UNSUPPORTED_TAG At:%d\n", false, false},
    {"MULTI Error -> ERR_UNSUPPORTED_TAG_VALUE At:%d\n", false, false},
    {"MULTI Error -> ERR_TEXT_TOO_BIG\n", false, false},
    {"MULTI Error -> ERR_FONT_NOT_DEFINED At:%d\n", false, false},
    {"MULTI Error -> ERR_CHAR_NOT_DEFINED At:%d\n", false, false},
    {"MULTI Error -> ERR_FIELD_DEV_NOT_EXIST At:%d\n", false, false},
    {"MULTI Error -> ERR_FIELD_DEV_ERR At:%d\n", false, false},
    {"MULTI Error -> ERR_FLASH_REGION_ERR At:%d\n", false, false},
    {"MULTI Error -> ERR_TAG_CONFLICT At:%d\n", false, false},
    {"MULTI Error -> ERR_TOO_MANY_PAGES At:%d\n", false, false},
    {"MULTI Error -> ERR_FONT_VERSION_ID At:%d\n", true, true},
    {"MULTI Error -> ERR_GRAPHIC_VERSION_ID At:%d\n", true, true},
    {"MULTI Error -> ERR_GRAPHIC_NOT_DEFINED At:%d\n", false, false},
};

// One table as the sweep sees it: its columns, rows and write flags.
struct swept_table {
    const message_columns& columns;
    unsigned rows;
    bool changeable;
};

uint16_t message_crc(const char* multi, uint32_t length, uint8_t beacon, uint8_t pixel_service) {
    crc16_state state{};
    crc16_init(&state, 0xFFFF);
    crc16_update(&state, multi, length);
    crc16_update(&state, &beacon, 1);
    crc16_update(&state, &pixel_service, 1);
    uint16_t crc = 0;
    crc16_get(&state, &crc, CRC16_COMPLEMENT | CRC16_SWAP);
    crc16_finish(&state);
    return crc;
}

unsigned valid_rows(const DbObject& status, unsigned first, unsigned end) {
    unsigned count = 0;
    for (unsigned r = first; r < end; ++r)
        count += db_get(status.row(r)) == MSG_STATUS_VALID ? 1 : 0;
    return count;
}

void write_counts(bool changeable) {
    if (!changeable) {
        unsigned n = valid_rows(obj::volatileMsgStatus, 0, VOLATILE_ROWS);
        db_set(obj::dmsNumVolatileMsg, n, DB_NOTIFY);
        db_set(obj::dmsFreeVolatileMemory, VOLATILE_MEMORY - MESSAGE_BYTES * n, DB_NOTIFY);
        return;
    }
    unsigned n = valid_rows(obj::changeableMsgStatus, 0, CHANGEABLE_ROWS);
    db_set(obj::dmsNumChangeableMsg, n, DB_NOTIFY);
    if (db_get(obj::halvObj2_8) == MESSAGE_LOCK_UNLOCKED) {
        unsigned stored =
            valid_rows(obj::changeableMsgStatus, CHANGEABLE_ROWS, CHANGEABLE_STORAGE_ROWS);
        db_set(obj::dmsNumPermanentMsg, BUILT_IN_PERMANENT_MESSAGES + stored, DB_NOTIFY);
    }
    db_set(obj::dmsFreeChangeableMemory, CHANGEABLE_MEMORY - MESSAGE_BYTES * n, DB_NOTIFY);
}

// The message-ID objects, decoded once per sweep (any length but 5 stays
// cleared and names no row).
struct references {
    CMsgIDCode codes[REFERENCES];
    void Read() {
        for (unsigned i = 0; i < REFERENCES; ++i) {
            uint8_t bytes[CMsgIDCode::kLength + 1];
            uint32_t length = 0;
            db_get_string_copy(MESSAGE_REFERENCES[i], bytes, sizeof bytes, &length);
            codes[i].Decode(bytes, length);
        }
    }
    // Points every reference to changeable message `number` at the blank message.
    void Blank(unsigned number) {
        for (unsigned i = 0; i < REFERENCES; ++i) {
            if (codes[i].m_memoryType != MSG_MEMORY_CHANGEABLE ||
                codes[i].m_messageNumber != number)
                continue;
            codes[i].Set(kBlankMemoryType, kBlankMessageNumber, kBlankMessageCRC);
            db_set_string(MESSAGE_REFERENCES[i], codes[i].Encoded(), CMsgIDCode::kLength,
                          DB_NOTIFY);
        }
    }
};

} // namespace

void CDisplay::ValidateMessage() {
    display_guard guard(lock_);
    static references refs;
    refs.Read();
    const swept_table tables[] = {
        {VOLATILE_MESSAGES, VOLATILE_ROWS, false},
        {CHANGEABLE_MESSAGES,
         db_get(obj::halvObj2_8) == MESSAGE_LOCK_UNLOCKED ? CHANGEABLE_STORAGE_ROWS
                                                          : CHANGEABLE_ROWS,
         true},
    };
    for (const swept_table& table : tables) {
        for (unsigned row = 0; row < table.rows; ++row) {
            SweepMessageRow(table.columns, row, table.changeable);
            if (table.changeable && db_get(table.columns.status.row(row)) != MSG_STATUS_VALID)
                refs.Blank(row + 1);
        }
        write_counts(table.changeable);
    }
}

// One row's status request. The sweep's own status steps skip the store's
// transition rule (it accepts notUsed only from notUsedReq, so a stray status
// could never be put right otherwise).
void CDisplay::SweepMessageRow(const message_columns& columns, unsigned row, bool changeable) {
    const DbObject status = columns.status.row(row);
    const uint32_t quiet = DB_NO_VALIDATE;
    const uint32_t outcome = changeable ? DB_NOTIFY | DB_NO_VALIDATE : DB_NO_VALIDATE;
    switch (db_get(status)) {
    case MSG_STATUS_NOT_USED:
    case MSG_STATUS_MODIFYING:
    case MSG_STATUS_VALID:
    case MSG_STATUS_ERROR:
        return;
    case MSG_STATUS_VALIDATING:
        break;
    case MSG_STATUS_MODIFY_REQ:
        db_set(status, MSG_STATUS_MODIFYING, quiet);
        PurgeBitmapDirectory(TheFileSystem(), &TheSystemMedia());
        return;
    case MSG_STATUS_VALIDATE_REQ:
        db_set(status, MSG_STATUS_VALIDATING, quiet);
        break;
    case MSG_STATUS_NOT_USED_REQ:
        db_set(status, MSG_STATUS_NOT_USED, outcome);
        PurgeBitmapDirectory(TheFileSystem(), &TheSystemMedia());
        return;
    default: // 0 or above 8
        db_set(status, MSG_STATUS_NOT_USED, quiet);
        return;
    }
    uint32_t length = 0;
    db_get_string_copy(columns.multi.row(row), validation_text_, sizeof validation_text_, &length);
    if (length >= sizeof validation_text_) length = sizeof validation_text_ - 1;
    if (!CheckMULTI(validation_text_, length, 0)) {
        db_set(status, MSG_STATUS_ERROR, outcome);
        return;
    }
    uint16_t crc = message_crc(validation_text_, length, uint8_t(db_get(columns.beacon.row(row))),
                               uint8_t(db_get(columns.pixel_service.row(row))));
    db_set(columns.crc.row(row), crc, outcome);
    db_set(status, MSG_STATUS_VALID, outcome);
}

bool CDisplay::CheckMULTI(const char* text, uint32_t length, int mode) {
    (void)mode; // validation is the only mode
    display_guard guard(lock_);
    if (!parser_in_use_ || !render_in_use_) return false;
    uint32_t position = 0;
    int result = TrialParse(text, length, position);
    db_set(obj::dmsMultiSyntaxError, 0, DB_NOTIFY);
    db_set(obj::dmsMultiSyntaxErrorPosition, 0, DB_NOTIFY);
    if (result == MULTI_OK || result == MULTI_EMPTY_PAGE) {
        db_set(obj::dmsMultiSyntaxError, MULTI_OK, DB_NOTIFY);
        db_set(obj::dmsValidateMessageError, VALIDATE_ERROR_NONE, DB_NOTIFY);
        short_error_change(0, SHORT_MESSAGE_ERROR);
        return true;
    }
    if (result < FIRST_ERROR || result > LAST_ERROR) return false;
    const check_outcome& outcome = OUTCOMES[result - FIRST_ERROR];
    (outcome.console ? console_printf : trace_printf)(outcome.text, int(position));
    db_set(obj::dmsMultiSyntaxError, uint32_t(result), DB_NOTIFY);
    db_set(obj::dmsValidateMessageError, VALIDATE_ERROR_SYNTAX, DB_NOTIFY);
    db_set(obj::dmsMultiSyntaxErrorPosition, position, DB_NOTIFY);
    if (outcome.message_error) short_error_change(SHORT_MESSAGE_ERROR, 0);
    return false;
}
