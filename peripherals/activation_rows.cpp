// Activation request rows written by the peripherals (see activation_rows.h).
#include "peripherals/activation_rows.h"

#include "display/display_entries.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

bool row_exists(uint8_t row) {
    return row < ACTIVATION_SLOTS;
}

} // namespace

bool write_activation_row(uint8_t row, const uint8_t* code, uint8_t state, uint8_t source) {
    if (!row_exists(row) || code == nullptr) return false;
    CMsgActivationCode request;
    request.Decode(code);
    request_activation(row, state, source, request);
    return true;
}

bool clear_activation_row(uint8_t row) {
    if (!row_exists(row)) return false;
    const uint8_t none[ACTIVATION_CODE_BYTES] = {};
    db_set_string(obj::activationRequestCode.row(row), none, ACTIVATION_CODE_BYTES, DB_NOTIFY);
    return true;
}

bool activation_row_occupied(uint8_t row) {
    if (!row_exists(row)) return false;
    uint8_t code[ACTIVATION_CODE_BYTES + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::activationRequestCode.row(row), code, sizeof code, &length);
    if (length != ACTIVATION_CODE_BYTES) return false;
    for (uint32_t i = 0; i < ACTIVATION_CODE_BYTES; ++i)
        if (code[i] != 0) return true;
    return false;
}
