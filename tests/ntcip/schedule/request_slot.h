// What the schedule task asked of the display: the ordinary activation
// request slot (row 6), read from the store, and the message ID codes the
// tests write.
#pragma once

#include "display/message_codes.h"
#include "store/database.h"
#include "store/objects.h"

#include <string>

namespace schedule_test {

const uint8_t SLOT = 6;

struct Request {
    uint8_t state = 0, source = 0;
    CMsgActivationCode code;
    bool made = false; // the slot holds a 12-byte code
};

inline Request slot_request() {
    Request r;
    uint8_t bytes[CMsgActivationCode::kLength + 1];
    uint32_t length = 0;
    db_get_string_copy(obj::activationRequestCode.row(SLOT), bytes, sizeof bytes, &length);
    r.made = r.code.Decode(bytes, length);
    r.state = uint8_t(db_get(obj::activationRequestState.row(SLOT)));
    r.source = uint8_t(db_get(obj::activationRequestSource.row(SLOT)));
    return r;
}

// The request, and the slot emptied so that a later request shows as new.
inline Request take_request() {
    Request r = slot_request();
    db_set_string(obj::activationRequestCode.row(SLOT), nullptr, 0, 0);
    db_set(obj::activationRequestState.row(SLOT), 0, 0);
    return r;
}

inline std::string id_code(uint8_t type, uint16_t number, uint16_t crc) {
    return std::string{char(type), char(number >> 8), char(number), char(crc >> 8), char(crc)};
}

} // namespace schedule_test
