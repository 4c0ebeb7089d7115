// Where a message named by memory type and number is stored: the columns of
// each message table of the object store, and the rule that turns a
// (memory type, number) pair into a table row or into the NTCIP activation
// error that refuses it.
#pragma once

#include "display/message_codes.h"
#include "store/objects.h"

#include <cstdint>

// NTCIP dmsMessageStatus values.
enum msg_status : uint8_t {
    MSG_STATUS_NOT_USED = 1,
    MSG_STATUS_MODIFYING = 2,
    MSG_STATUS_VALIDATING = 3,
    MSG_STATUS_VALID = 4,
    MSG_STATUS_ERROR = 5,
    MSG_STATUS_MODIFY_REQ = 6,
    MSG_STATUS_VALIDATE_REQ = 7,
    MSG_STATUS_NOT_USED_REQ = 8,
};

// NTCIP dmsActivateMsgError values.
enum activate_error : uint8_t {
    ACTIVATE_ERROR_OTHER = 1,
    ACTIVATE_ERROR_NONE = 2,
    ACTIVATE_ERROR_PRIORITY = 3,
    ACTIVATE_ERROR_MESSAGE_STATUS = 4,
    ACTIVATE_ERROR_MEMORY_TYPE = 5,
    ACTIVATE_ERROR_MESSAGE_NUMBER = 6,
    ACTIVATE_ERROR_MESSAGE_CRC = 7,
    ACTIVATE_ERROR_SYNTAX_MULTI = 8,
};

// The seven columns of one message table.
struct message_columns {
    DbObject multi, owner, crc, beacon, pixel_service, run_time_priority, status;
};

constexpr message_columns PERMANENT_MESSAGES = {
    obj::permanentMsgMultiString, obj::permanentMsgOwner,        obj::permanentMsgCRC,
    obj::permanentMsgBeacon,      obj::permanentMsgPixelService, obj::permanentMsgRunTimePriority,
    obj::permanentMsgStatus};
constexpr message_columns CHANGEABLE_MESSAGES = {
    obj::changeableMsgMultiString,  obj::changeableMsgOwner,
    obj::changeableMsgCRC,          obj::changeableMsgBeacon,
    obj::changeableMsgPixelService, obj::changeableMsgRunTimePriority,
    obj::changeableMsgStatus};
constexpr message_columns VOLATILE_MESSAGES = {
    obj::volatileMsgMultiString, obj::volatileMsgOwner,        obj::volatileMsgCRC,
    obj::volatileMsgBeacon,      obj::volatileMsgPixelService, obj::volatileMsgRunTimePriority,
    obj::volatileMsgStatus};
constexpr message_columns CURRENT_BUFFER_MESSAGE = {
    obj::currentBufferMsgMultiString,  obj::currentBufferMsgOwner,
    obj::currentBufferMsgCRC,          obj::currentBufferMsgBeacon,
    obj::currentBufferMsgPixelService, obj::currentBufferMsgRunTimePriority,
    obj::currentBufferMsgStatus};
constexpr message_columns SCHEDULE_MESSAGE = {
    obj::scheduleMsgMultiString, obj::scheduleMsgOwner,        obj::scheduleMsgCRC,
    obj::scheduleMsgBeacon,      obj::scheduleMsgPixelService, obj::scheduleMsgRunTimePriority,
    obj::scheduleMsgStatus};

// Changeable rows: 500 for changeable messages, then 50 that hold permanent
// messages 3 to 52 while the message lock (halvObj2_8) is off.
const unsigned CHANGEABLE_ROWS = 500;
const unsigned CHANGEABLE_STORAGE_ROWS = 550;
const unsigned VOLATILE_ROWS = 4;
const unsigned BUILT_IN_PERMANENT_MESSAGES = 2;
const uint32_t MESSAGE_LOCK_UNLOCKED = 2; // halvObj2_8: the extra rows are open for editing

// A message's place: its table and row, or no row at all (the blank message).
struct message_row {
    const message_columns* columns; // null: the blank message
    unsigned row;
};

// Looks the message up by memory type and number. -> ACTIVATE_ERROR_NONE
// with its place, ACTIVATE_ERROR_MEMORY_TYPE or ACTIVATE_ERROR_MESSAGE_NUMBER.
uint8_t find_message_row(uint8_t memory_type, uint16_t number, message_row& place);
