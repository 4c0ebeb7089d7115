// Message objects (1.3.6.1.4.1.1206.4.2.3.5): the scalars that count and
// size the stored messages, and the message table, whose instance
// .c.memoryType.number names a row of one of the store's message tables.
//
// Memory types and their rows:
//   other (1)          no rows (a walk passes on to permanent)
//   permanent (2)      1 .. dmsNumPermanentMsg: 1-2 built in, 3-52 are
//                      changeable storage rows 500-549; never written here
//   changeable (3)     1 .. 500, or 550 while the configuration is unlocked
//                      in local or central-override mode
//   volatile (4)       1 .. 4
//   currentBuffer (5)  1 (read from its shadow row while that holds text)
//   schedule (6)       1
//   blank (7)          1 .. 255, constant rows; never written
// The row-status rules of changeable and volatile rows are the store's
// validation; a refusal is answered badValue (3) or genErr (5) as the store
// gives it. The display's validation walk carries out status requests.
#include "ntcip/objects/sign_groups.h"

#include "display/message_codes.h"
#include "runtime/console.h"
#include "store/database.h"

#include <cstring>

namespace {

using namespace mibdef;

constexpr uint32_t MESSAGE_MASK = 0x00400000;
constexpr uint32_t MEMORY_TYPE_OTHER = 1;
constexpr uint32_t MEMORY_TYPES = MSG_MEMORY_BLANK;
constexpr uint32_t NUMBER_UNKNOWN_TYPE = obj::kChangeableMsgRows; // maximum of any other type
constexpr uint32_t BLANK_NUMBERS = 255;
constexpr uint32_t PERMANENT_STORAGE_SHIFT =
    497;                                // permanent n >= 3: changeable storage row n + 497
constexpr uint32_t CONFIG_UNLOCKED = 2; // halvObj2_8
constexpr uint32_t MODE_LOCAL = 2;
constexpr uint32_t MODE_CENTRAL_OVERRIDE = 5;
constexpr uint32_t STATUS_VALID = 4;
constexpr uint32_t FEATURE_FEW_CHANGEABLE = 0x20; // halvSpecialFeatureSet
constexpr uint32_t FEW_CHANGEABLE_MAX = 25;

enum message_column : uint32_t {
    COLUMN_MEMORY_TYPE = 1,
    COLUMN_NUMBER = 2,
    COLUMN_MULTI = 3,
    COLUMN_OWNER = 4,
    COLUMN_CRC = 5,
    COLUMN_BEACON = 6,
    COLUMN_PIXEL_SERVICE = 7,
    COLUMN_PRIORITY = 8,
    COLUMN_STATUS = 9,
};
constexpr uint32_t FIRST_DATA_COLUMN = COLUMN_MULTI;
constexpr uint32_t DATA_COLUMNS = COLUMN_STATUS - COLUMN_MULTI + 1;

// The store's objects behind the data columns 3..9 of one message table.
struct message_storage {
    DbObject column[DATA_COLUMNS];
};

const message_storage kPermanent = {{obj::permanentMsgMultiString, obj::permanentMsgOwner,
                                     obj::permanentMsgCRC, obj::permanentMsgBeacon,
                                     obj::permanentMsgPixelService,
                                     obj::permanentMsgRunTimePriority, obj::permanentMsgStatus}};
const message_storage kChangeable = {{obj::changeableMsgMultiString, obj::changeableMsgOwner,
                                      obj::changeableMsgCRC, obj::changeableMsgBeacon,
                                      obj::changeableMsgPixelService,
                                      obj::changeableMsgRunTimePriority, obj::changeableMsgStatus}};
const message_storage kVolatile = {{obj::volatileMsgMultiString, obj::volatileMsgOwner,
                                    obj::volatileMsgCRC, obj::volatileMsgBeacon,
                                    obj::volatileMsgPixelService, obj::volatileMsgRunTimePriority,
                                    obj::volatileMsgStatus}};
const message_storage kCurrentBuffer = {
    {obj::currentBufferMsgMultiString, obj::currentBufferMsgOwner, obj::currentBufferMsgCRC,
     obj::currentBufferMsgBeacon, obj::currentBufferMsgPixelService,
     obj::currentBufferMsgRunTimePriority, obj::currentBufferMsgStatus}};
const message_storage kCurrentBufferShadow = {
    {obj::currentBufferShadowMsgMultiString, obj::currentBufferShadowMsgOwner,
     obj::currentBufferShadowMsgCRC, obj::currentBufferShadowMsgBeacon,
     obj::currentBufferShadowMsgPixelService, obj::currentBufferShadowMsgRunTimePriority,
     obj::currentBufferShadowMsgStatus}};
const message_storage kSchedule = {{obj::scheduleMsgMultiString, obj::scheduleMsgOwner,
                                    obj::scheduleMsgCRC, obj::scheduleMsgBeacon,
                                    obj::scheduleMsgPixelService, obj::scheduleMsgRunTimePriority,
                                    obj::scheduleMsgStatus}};

bool configuration_unlocked() {
    return db_get(obj::halvObj2_8) == CONFIG_UNLOCKED;
}

// The stored count, never more than the rows that hold permanent messages.
uint32_t permanent_maximum() {
    constexpr uint32_t rows =
        obj::kPermanentMsgRows + obj::kChangeableMsgRows - obj::kChangeableMsgOrdinaryRows;
    const uint32_t count = db_get(obj::dmsNumPermanentMsg);
    return count < rows ? count : rows;
}

// The storage rows 500-549 appear as changeable messages 501-550 while the
// configuration is unlocked in local or central-override mode.
uint32_t changeable_maximum() {
    const uint32_t mode = db_get(obj::dmsControlMode);
    const bool editable = mode == MODE_LOCAL || mode == MODE_CENTRAL_OVERRIDE;
    return configuration_unlocked() && editable ? obj::kChangeableMsgRows
                                                : obj::kChangeableMsgOrdinaryRows;
}

uint32_t no_rows() {
    return 0;
}
uint32_t volatile_maximum() {
    return obj::kVolatileMsgRows;
}
uint32_t one_row() {
    return 1;
}
uint32_t blank_maximum() {
    return BLANK_NUMBERS;
}

// Each memory type: its number maximum, the table it reads (null: no stored
// rows) and whether a manager may write it.
struct memory_type_entry {
    uint32_t (*maximum)();
    const message_storage* storage;
    bool writable;
};
const memory_type_entry kMemoryTypes[MEMORY_TYPES + 1] = {
    {no_rows, nullptr, false},                // 0: no such memory type
    {no_rows, nullptr, false},                // other
    {permanent_maximum, &kPermanent, false},  // permanent
    {changeable_maximum, &kChangeable, true}, // changeable
    {volatile_maximum, &kVolatile, true},     // volatile
    {one_row, &kCurrentBuffer, true},         // currentBuffer
    {one_row, &kSchedule, true},              // schedule
    {blank_maximum, nullptr, false},          // blank: constant rows
};

// Console lines of a data column addressed with memory type 0.
const char* const kNoMemoryTypeLines[DATA_COLUMNS] = {
    nullptr,
    nullptr,
    "Invalid mem type for dms msg CRC  %d\n",
    "Invalid mem type for dms msg Beacon\n",
    "Invalid mem type for dms msg Pixel Service\n",
    "Invalid mem type for dms msg priority\n",
    "Invalid mem type for dms msg Status\n",
};

bool check_message_memory_type(uint32_t memory_type) {
    if (memory_type == MEMORY_TYPE_OTHER || memory_type > MEMORY_TYPES) {
        console_printf("Invalid mem type, not support Other\n");
        return false;
    }
    return true;
}

// An instance as the hooks see it: the memory type in the high half, the
// message number in the low half.
constexpr uint32_t NUMBER_BITS = 16;
int encode_instance(uint32_t memory_type, uint32_t number) {
    return int(memory_type << NUMBER_BITS | number);
}
uint32_t memory_type_of(uint32_t instance) {
    return instance >> NUMBER_BITS;
}
uint32_t number_of(uint32_t instance) {
    return instance & ((1u << NUMBER_BITS) - 1u);
}

bool names_data_column_instance(const mib_request& request) {
    const uint32_t L = request.row.oid_length; // memory type at L - 1, number at L
    return *request.length == L + 1 &&
           std::memcmp(request.name, request.row.oid, (L - 1) * sizeof(uint32_t)) == 0;
}

// The instance check: memory type and number within their maxima. A GETNEXT
// that lands on memory type other moves on to permanent. A data column named
// with memory type 0, other or 8 and above says so on the console and names
// nothing (a walk always lands on a memory type with rows).
int message_instance(mib_request& request) {
    const uint32_t L = request.row.oid_length;
    const uint32_t column = request.row.column.tag;
    uint32_t* name = request.name;
    const bool data_column = column >= FIRST_DATA_COLUMN;
    if (request.mode != MIB_GETNEXT && data_column && names_data_column_instance(request)) {
        if (name[L - 1] == 0) {
            const char* line = kNoMemoryTypeLines[column - FIRST_DATA_COLUMN];
            if (line != nullptr) console_printf(line, 0);
            return -1;
        }
        if (!check_message_memory_type(name[L - 1])) return -1;
    }
    const uint32_t memory_type = *request.length >= L ? name[L - 1] : 0;
    uint32_t maximum = NUMBER_UNKNOWN_TYPE;
    if (memory_type <= MEMORY_TYPES) maximum = kMemoryTypes[memory_type].maximum();
    if (memory_type == MEMORY_TYPE_OTHER && request.mode == MIB_GETNEXT &&
        *request.length == L + 1) {
        maximum = 1;
        name[L] = 1;
    }
    const uint32_t maxima[2] = {MEMORY_TYPES, maximum};
    if (header_table(request, maxima, 2) != 0) return -1;
    if (request.mode == MIB_GETNEXT && name[L - 1] == MEMORY_TYPE_OTHER) name[L - 1]++;
    return encode_instance(name[L - 1], name[L]);
}

// Where a stored row lives: a table and its row.
struct message_location {
    const message_storage* storage; // null: a blank (constant) row
    uint32_t row;
};

message_location locate(uint32_t memory_type, uint32_t number, bool reading) {
    const memory_type_entry& entry = kMemoryTypes[memory_type];
    if (memory_type == MSG_MEMORY_PERMANENT && number > obj::kPermanentMsgRows)
        return {&kChangeable, number + PERMANENT_STORAGE_SHIFT};
    if (memory_type == MSG_MEMORY_CURRENT_BUFFER && reading) {
        uint32_t length = 0;
        db_get_string(obj::currentBufferShadowMsgMultiString, &length);
        if (length != 0) return {&kCurrentBufferShadow, 0};
    }
    return {entry.storage, number - 1};
}

// Blank rows: the text and owner of permanent message 1 (empty), CRC,
// beacon and pixel service 0, the number as priority, and the status of
// permanent message 1.
uintptr_t* answer_blank(mib_request& request, uint32_t column, uint32_t number) {
    switch (column) {
    case COLUMN_MULTI:
        return mib_answer_object(request, obj::permanentMsgMultiString.row(0), mib_value::octets);
    case COLUMN_OWNER:
        return mib_answer_object(request, obj::permanentMsgOwner.row(0), mib_value::octets);
    case COLUMN_PRIORITY:
        return mib_answer_integer(request, number);
    case COLUMN_STATUS:
        return mib_answer_object(request, obj::permanentMsgStatus.row(0), mib_value::unsigned_int);
    default:
        return mib_answer_integer(request, 0);
    }
}

bool read_message(mib_request& request, uint32_t instance) {
    const uint32_t column = request.row.column.tag;
    const uint32_t memory_type = memory_type_of(instance);
    const uint32_t number = number_of(instance);
    if (column == COLUMN_MEMORY_TYPE) {
        mib_answer_integer(request, memory_type);
        return true;
    }
    if (column == COLUMN_NUMBER) {
        mib_answer_integer(request, number);
        return true;
    }
    const message_location at = locate(memory_type, number, true);
    if (at.storage == nullptr) {
        answer_blank(request, column, number);
        return true;
    }
    const DbObject object = at.storage->column[column - FIRST_DATA_COLUMN].row(at.row);
    mib_answer_object(request, object, request.row.column.value);
    return true;
}

// Permanent and blank rows are refused (genErr); the others are written
// with the request's store flags and the store's validation decides.
int write_message(mib_request& request, uint32_t instance) {
    const uint32_t column = request.row.column.tag;
    const uint32_t memory_type = memory_type_of(instance);
    if (!kMemoryTypes[memory_type].writable) return DB_REFUSED5;
    const message_location at = locate(memory_type, number_of(instance), false);
    const DbObject object = at.storage->column[column - FIRST_DATA_COLUMN].row(at.row);
    return mib_write_object(request, object, request.ctx.write_flags);
}

constexpr mib_hooks kMessageHooks = {message_instance, read_message, write_message};

constexpr mib_variable message_column(uint32_t column, uint8_t type) {
    return custom({8, 1, column, MIB_PLACEHOLDER}, type, &kMessageHooks, 2, column)
        .writes(mib_write::report);
}

// dmsNumChangeableMsg: while the configuration is unlocked, the valid rows
// among all 550 storage rows, counted now.
bool read_changeable_count(mib_request& request, uint32_t) {
    if (!configuration_unlocked()) return false;
    uint32_t valid = 0;
    for (uint32_t r = 0; r < obj::kChangeableMsgRows; ++r)
        if (db_get(obj::changeableMsgStatus.row(r)) == STATUS_VALID) valid++;
    mib_answer_integer(request, valid);
    return true;
}

// dmsMaxChangeableMsg: 25 on a sign with the small message memory.
bool read_changeable_maximum(mib_request& request, uint32_t) {
    if ((db_get(obj::halvSpecialFeatureSet) & FEATURE_FEW_CHANGEABLE) == 0) return false;
    mib_answer_integer(request, FEW_CHANGEABLE_MAX);
    return true;
}

constexpr mib_hooks kChangeableCount = {nullptr, read_changeable_count, nullptr};
constexpr mib_hooks kChangeableMaximum = {nullptr, read_changeable_maximum, nullptr};

constexpr auto kRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5},
          {
              scalar({1, 0}, MIB_INTEGER, obj::dmsNumPermanentMsg),
              scalar({2, 0}, MIB_INTEGER, obj::dmsNumChangeableMsg).hooked(&kChangeableCount),
              scalar({3, 0}, MIB_INTEGER, obj::dmsMaxChangeableMsg).hooked(&kChangeableMaximum),
              scalar({4, 0}, MIB_INTEGER, obj::dmsFreeChangeableMemory),
              scalar({5, 0}, MIB_INTEGER, obj::dmsNumVolatileMsg),
              scalar({6, 0}, MIB_INTEGER, obj::dmsMaxVolatileMsg),
              scalar({7, 0}, MIB_INTEGER, obj::dmsFreeVolatileMemory),
              message_column(COLUMN_MEMORY_TYPE, MIB_INTEGER).list({1, 2, 3, 4, 5, 6}),
              message_column(COLUMN_NUMBER, MIB_INTEGER).range(1, 65535),
              message_column(COLUMN_MULTI, MIB_OCTETSTR).rw().mask(MESSAGE_MASK),
              message_column(COLUMN_OWNER, MIB_OCTETSTR).rw().mask(MESSAGE_MASK),
              message_column(COLUMN_CRC, MIB_INTEGER).config().range(0, 65535),
              message_column(COLUMN_BEACON, MIB_INTEGER).rw().range(0, 1).mask(MESSAGE_MASK),
              message_column(COLUMN_PIXEL_SERVICE, MIB_INTEGER).rw().range(0, 1).mask(MESSAGE_MASK),
              message_column(COLUMN_PRIORITY, MIB_INTEGER).rw().range(1, 255).mask(MESSAGE_MASK),
              message_column(COLUMN_STATUS, MIB_INTEGER)
                  .rw()
                  .list({1, 2, 3, 4, 5, 6, 7, 8})
                  .mask(MESSAGE_MASK),
              scalar({9, 0}, MIB_INTEGER, obj::dmsValidateMessageError),
          });

} // namespace

const mib_table dms_message_table = table(kRows);
