// The checks and start of one activation: the code is checked against the
// message it names (memory type, number, status, CRC, priority), the
// message's MULTI text passes a trial parse, then it becomes the message on
// show and the current-message objects describe it. Every outcome is
// recorded in dmsActivateMsgError and its companions. Runs under the display
// lock, on the display thread or on the thread of a central activation.
#include "display/display_task.h"

#include "display/render.h"
#include "runtime/console.h"
#include "store/short_error_status.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t SHORT_MESSAGE_ERROR = 0x80;   // shortErrorStatus
const uint32_t FEATURE_NO_CRC_CHECK = 0x20;  // halvSpecialFeatureSet
const uint32_t ACTIVATION_TOGGLE = 0x4;      // quorvelObj1_1_20_7
const uint32_t BLANK_PRIORITY_FEATURE = 100; // run-time priority of a blank with bit 0x20

bool crc_check_off() {
    return (db_get(obj::halvSpecialFeatureSet) & FEATURE_NO_CRC_CHECK) != 0;
}

// The seven values of a message row into the record.
void read_row(const message_row& place, CMessageActivation& record) {
    const message_columns& c = *place.columns;
    unsigned r = place.row;
    uint32_t length = 0;
    db_get_string_copy(c.multi.row(r), record.multi, sizeof record.multi, &length);
    record.multi_length = length < sizeof record.multi ? length : sizeof record.multi - 1;
    db_get_string_copy(c.owner.row(r), record.owner, sizeof record.owner, &length);
    record.owner_length = length < sizeof record.owner ? length : sizeof record.owner - 1;
    record.crc = uint16_t(db_get(c.crc.row(r)));
    record.beacon = db_get(c.beacon.row(r));
    record.pixel_service = db_get(c.pixel_service.row(r));
    record.run_time_priority = db_get(c.run_time_priority.row(r));
    record.status = db_get(c.status.row(r));
}

void read_blank(uint16_t number, CMessageActivation& record) {
    record.multi[0] = record.owner[0] = 0;
    record.multi_length = record.owner_length = 0;
    record.crc = 0;
    record.beacon = record.pixel_service = 0;
    record.run_time_priority = TheDatabase().IsLocalTimeFeature() ? BLANK_PRIORITY_FEATURE : number;
    record.status = MSG_STATUS_VALID;
}

void write_colour(const DbObject& object, const uint8_t* rgb, uint8_t length) {
    db_set_string(object, rgb, length <= 3 ? length : 3, DB_NOTIFY);
}

} // namespace

uint8_t CDisplay::request_activation(const uint8_t* code, uint32_t length, unsigned slot_number,
                                     bool record_result, uint8_t source_mode, uint8_t source) {
    (void)slot_number;
    CMessageActivation& record = activation_;
    record.Reset();
    bool whole = code && length >= CMsgActivationCode::kLength;
    trace_printf("request_activation:%d,%d\n", whole ? code[3] : 0,
                 whole ? (code[4] << 8) | code[5] : 0);
    uint8_t result = CheckActivation(code, length, record);
    if (result == ACTIVATE_ERROR_NONE) result = LoadMessage(record);
    if (result == ACTIVATE_ERROR_NONE) {
        ActivateMessage(record);
        db_set(obj::dmsMsgSourceMode, source_mode, DB_NOTIFY);
        db_set(obj::panynjObj1_4, source, DB_NOTIFY);
    }
    if (record_result) {
        RecordActivationError(result);
        db_set(obj::dmsMultiSyntaxError, record.syntax_error, DB_NOTIFY);
        db_set(obj::dmsMultiSyntaxErrorPosition, record.error_position, DB_NOTIFY);
    }
    return result;
}

uint8_t CDisplay::CheckActivation(const uint8_t* code, uint32_t length,
                                  CMessageActivation& record) {
    if (!code || length != CMsgActivationCode::kLength) return ACTIVATE_ERROR_OTHER;
    record.code.Decode(code);
    // A sign that cannot show its configuration takes no message but the
    // blank: a success would tell of a picture that is not there.
    if (!showable_ && record.code.m_memoryType != MSG_MEMORY_BLANK) return ACTIVATE_ERROR_OTHER;
    message_row place{};
    uint8_t result = find_message_row(record.code.m_memoryType, record.code.m_messageNumber, place);
    if (result != ACTIVATE_ERROR_NONE) return result;
    if (place.columns)
        read_row(place, record);
    else
        read_blank(record.code.m_messageNumber, record);
    return ACTIVATE_ERROR_NONE;
}

uint8_t CDisplay::LoadMessage(CMessageActivation& record) {
    if (!parser_in_use_ || !render_in_use_) return ACTIVATE_ERROR_OTHER;
    uint8_t type = record.code.m_memoryType;
    if (type != MSG_MEMORY_SCHEDULE && record.status != MSG_STATUS_VALID)
        return ACTIVATE_ERROR_MESSAGE_STATUS;
    if (!crc_check_off()) {
        bool rowless = type == MSG_MEMORY_SCHEDULE || type == MSG_MEMORY_BLANK;
        uint16_t expected = rowless ? 0 : record.crc;
        if (record.code.m_messageCRC != expected) return ACTIVATE_ERROR_MESSAGE_CRC;
    }
    if (record.code.m_priority < db_get(obj::currentBufferMsgRunTimePriority))
        return ACTIVATE_ERROR_PRIORITY;
    int result = TrialParse(record.multi, record.multi_length, record.error_position);
    if (result == MULTI_OK || result == MULTI_EMPTY_PAGE) {
        record.error_position = 0;
        return ACTIVATE_ERROR_NONE;
    }
    record.syntax_error = uint32_t(result);
    return ACTIVATE_ERROR_SYNTAX_MULTI;
}

// The measuring pass of every page into the task's scratch message; the
// surface keeps the picture on show meanwhile.
int CDisplay::TrialParse(const char* text, uint32_t length, uint32_t& error_position) {
    CSurface& surface = render_in_use_->GetSurface();
    surface.SetKeepContent(1);
    scratch_.surface = &surface;
    scratch_.windows[0] =
        msg_window{0, 0, uint32_t(surface.GetWidth()), uint32_t(surface.GetHeight())};
    int result = render_in_use_->ParseMessage(parser_in_use_, &scratch_, text, length);
    error_position = scratch_.error_position;
    surface.SetKeepContent(0);
    return result;
}

void CDisplay::ActivateMessage(CMessageActivation& record) {
    const CMsgActivationCode& code = record.code;
    has_current_text_ = true;
    trace_printf("ActivateMessage\n");
    release_in_use(obj::dmsGraphicStatus);
    db_set(obj::dmsMessageTimeRemaining, code.m_duration, DB_NOTIFY);
    page_count_ = render_in_use_->PageCount(parser_in_use_, record.multi, record.multi_length);
    render_in_use_->SetText(parser_in_use_, &message_, record.multi, record.multi_length);
    if (db_get(obj::halvObj1_1) != 1) db_set(obj::halvObj1_1, 1, DB_NOTIFY);
    display_state_ = code.m_memoryType == MSG_MEMORY_BLANK ? DISPLAY_BLANK : DISPLAY_START_MESSAGE;
    beacon_on_ = record.beacon != 0 ? 1 : 0;

    db_set_string(obj::currentBufferShadowMsgMultiString, nullptr, 0, DB_NOTIFY);
    db_set_string(obj::currentBufferMsgMultiString, record.multi, record.multi_length, DB_NOTIFY);
    db_set_string(obj::currentBufferMsgOwner, record.owner, record.owner_length, DB_NOTIFY);
    db_set(obj::currentBufferMsgCRC, record.crc, DB_NOTIFY);
    db_set(obj::currentBufferMsgBeacon, record.beacon, DB_NOTIFY);
    db_set(obj::currentBufferMsgPixelService, record.pixel_service, DB_NOTIFY);
    db_set(obj::currentBufferMsgRunTimePriority, record.run_time_priority, DB_NOTIFY);
    db_set(obj::currentBufferMsgStatus, MSG_STATUS_VALID, DB_NOTIFY);
    render_in_use_->display_mode = 0;
    if (db_get(obj::quorvelObj1_1_20_7) & ACTIVATION_TOGGLE)
        db_change_bits(obj::quorvelObj1_1_20_7, 0, ACTIVATION_TOGGLE, DB_NOTIFY);
    else
        db_change_bits(obj::quorvelObj1_1_20_7, ACTIVATION_TOGGLE, 0, DB_NOTIFY);
    RecordActivationResult();
    CMsgIDCode shown;
    shown.Set(code.m_memoryType, code.m_messageNumber, record.crc);
    db_set_string(obj::dmsMsgTableSource, shown.Encoded(), CMsgIDCode::kLength, DB_NOTIFY);
    const uint8_t* a = code.m_sourceAddress;
    bool local = std::memcmp(a, "\x7f\x00\x00\x01", 4) == 0 || std::memcmp(a, "\0\0\0\0", 4) == 0;
    uint32_t requester = (uint32_t(a[0]) << 24) | (a[1] << 16) | (a[2] << 8) | a[3];
    db_set(obj::dmsMsgRequesterID, local ? 0 : requester, DB_NOTIFY);
}

void CDisplay::RecordActivationResult() {
    message_defaults defaults;
    defaults.Load();
    const std::pair<DbObject, uint8_t> values[] = {
        {obj::defaultFlashOnActivate, defaults.flash_on},
        {obj::defaultFlashOffActivate, defaults.flash_off},
        {obj::defaultFontActivate, defaults.font},
        {obj::defaultJustificationLineActivate, defaults.justification_line},
        {obj::defaultJustificationPageActivate, defaults.justification_page},
        {obj::defaultPageOnTimeActivate, defaults.page_on},
        {obj::defaultPageOffTimeActivate, defaults.page_off},
    };
    for (const auto& v : values)
        db_set(v.first, v.second, DB_NOTIFY);
    write_colour(obj::defaultForegroundRGBActivate, defaults.foreground_rgb,
                 defaults.foreground_rgb_length);
    write_colour(obj::defaultBackgroundRGBActivate, defaults.background_rgb,
                 defaults.background_rgb_length);
}

void CDisplay::RecordActivationError(uint8_t error) {
    uint8_t sent[CMsgActivationCode::kLength + 1];
    uint32_t length = 0;
    db_get_string_copy(obj::dmsActivateMessage, sent, sizeof sent, &length);
    db_set_string(obj::dmsActivateErrorMsgCode, sent,
                  length < sizeof sent ? length : CMsgActivationCode::kLength, DB_NOTIFY);
    db_set(obj::dmsActivateMsgError, error, DB_NOTIFY);
    if (error == ACTIVATE_ERROR_NONE)
        short_error_change(0, SHORT_MESSAGE_ERROR);
    else
        short_error_change(SHORT_MESSAGE_ERROR, 0);
}
