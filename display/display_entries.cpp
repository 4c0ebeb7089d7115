#include "display/display_entries.h"

#include "display/display_task.h"
#include "store/database.h"
#include "store/objects.h"

bool activate_message() {
    TheDisplay().ActivateFromObject();
    return db_get(obj::dmsActivateMsgError) != ACTIVATE_ERROR_NONE;
}

void validate_message() {
    TheDisplay().ValidateMessage();
}

bool check_multi(const char* text, uint32_t length) {
    return TheDisplay().CheckMULTI(text, length, 0);
}

void store_graphic() {
    TheDisplay().StoreGraphic();
}

void clear_memory() {
    TheDisplay().ClearMemory();
}

void request_activation(uint8_t slot, uint8_t source_mode, uint8_t source,
                        const CMsgActivationCode& code) {
    if (slot >= ACTIVATION_SLOTS) return;
    db_set(obj::activationRequestState.row(slot), source_mode, DB_NOTIFY);
    db_set(obj::activationRequestSource.row(slot), source, DB_NOTIFY);
    db_set_string(obj::activationRequestCode.row(slot), code.Encoded(), CMsgActivationCode::kLength,
                  DB_NOTIFY);
}
