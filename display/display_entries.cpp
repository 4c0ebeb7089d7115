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

void request_activation(uint8_t slot, uint8_t source_mode, uint8_t source,
                        const CMsgActivationCode& code) {
    if (slot >= ACTIVATION_SLOTS) return;
    db_set(obj::activationRequestState.row(slot), source_mode, DB_NOTIFY);
    db_set(obj::activationRequestSource.row(slot), source, DB_NOTIFY);
    db_set_string(obj::activationRequestCode.row(slot), code.Encoded(), CMsgActivationCode::kLength,
                  DB_NOTIFY);
}
