#include "store/short_error_status.h"

#include "store/database.h"
#include "store/objects.h"

void short_error_change(uint32_t set_mask, uint32_t clear_mask) {
    db_change_bits(obj::shortErrorStatus, set_mask, clear_mask, DB_NOTIFY);
}

bool short_error_is_set(uint32_t mask) {
    return (db_get(obj::shortErrorStatus) & mask) != 0;
}
