#include "display/message_rows.h"

#include "store/database.h"

namespace {

// The highest permanent message kept in the changeable rows: only while the
// message lock is on, and never past the last changeable row.
uint32_t last_stored_permanent() {
    if (db_get(obj::halvObj2_8) == MESSAGE_LOCK_UNLOCKED) return 0;
    int32_t count = db_get_signed(obj::dmsNumPermanentMsg);
    const int32_t most =
        int32_t(CHANGEABLE_STORAGE_ROWS - CHANGEABLE_ROWS + BUILT_IN_PERMANENT_MESSAGES);
    return count < 0 ? 0 : uint32_t(count < most ? count : most);
}

uint32_t last_changeable() {
    return db_get(obj::halvObj2_8) == 1 ? CHANGEABLE_ROWS : CHANGEABLE_STORAGE_ROWS;
}

uint32_t fixed_two() {
    return 2;
}
uint32_t fixed_four() {
    return VOLATILE_ROWS;
}
uint32_t fixed_one() {
    return 1;
}
uint32_t fixed_255() {
    return 255;
}

// One range of numbers of one memory type: numbers first..last() are rows
// number + shift of the table.
struct memory_range {
    uint8_t memory_type;
    uint16_t first;
    uint32_t (*last)();
    const message_columns* columns;
    int32_t shift;
};

const memory_range RANGES[] = {
    {MSG_MEMORY_PERMANENT, 1, fixed_two, &PERMANENT_MESSAGES, -1},
    // Permanent 3 to 52 are changeable rows 500 to 549.
    {MSG_MEMORY_PERMANENT, 3, last_stored_permanent, &CHANGEABLE_MESSAGES,
     int32_t(CHANGEABLE_ROWS) - 3},
    {MSG_MEMORY_CHANGEABLE, 1, last_changeable, &CHANGEABLE_MESSAGES, -1},
    {MSG_MEMORY_VOLATILE, 1, fixed_four, &VOLATILE_MESSAGES, -1},
    {MSG_MEMORY_CURRENT_BUFFER, 1, fixed_one, &CURRENT_BUFFER_MESSAGE, -1},
    {MSG_MEMORY_SCHEDULE, 1, fixed_one, &SCHEDULE_MESSAGE, -1},
    {MSG_MEMORY_BLANK, 1, fixed_255, nullptr, 0},
};

} // namespace

uint8_t find_message_row(uint8_t memory_type, uint16_t number, message_row& place) {
    bool known_type = false;
    for (const memory_range& range : RANGES) {
        if (range.memory_type != memory_type) continue;
        known_type = true;
        if (number < range.first || number > range.last()) continue;
        place.columns = range.columns;
        place.row = range.columns ? unsigned(int32_t(number) + range.shift) : 0;
        return ACTIVATE_ERROR_NONE;
    }
    return known_type ? ACTIVATE_ERROR_MESSAGE_NUMBER : ACTIVATE_ERROR_MEMORY_TYPE;
}
