#include "display/display_entries.h"

#include "store/database.h"
#include "store/objects.h"

namespace {
const uint32_t ACTIVATE_ERROR_OTHER = 1;
}

bool activate_message() {
    db_set(obj::dmsActivateMsgError, ACTIVATE_ERROR_OTHER, DB_NOTIFY);
    return true;
}

void validate_message() {}

void store_graphic() {}

void clear_memory() {}
