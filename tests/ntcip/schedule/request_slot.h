// What the schedule task asked of the display: its requests in the order
// they were made (watched as they are made, since the display takes them out
// of its slot at once), and the message ID codes the tests write.
#pragma once

#include "display/message_codes.h"
#include "ntcip/schedule/schedule_task.h"
#include "store/database.h"
#include "store/objects.h"

#include <deque>
#include <string>

namespace schedule_test {

struct Request {
    uint8_t state = 0; // the source mode asked for
    CMsgActivationCode code;
    bool made = false;
    uint32_t request_source = 0; // panynjObj1_4 when the request was made
};

inline std::deque<Request>& requests() {
    static std::deque<Request> list;
    return list;
}

inline void record_request(uint8_t source_mode, const CMsgActivationCode& code) {
    Request r;
    r.state = source_mode;
    r.code.Decode(code.Encoded());
    r.made = true;
    r.request_source = db_get(obj::panynjObj1_4);
    requests().push_back(r);
}

// Starts watching (before the firmware boots, or at once).
inline void watch_requests() {
    requests().clear();
    set_schedule_request_observer(record_request);
}

// The oldest request not taken yet; made is false when there is none.
inline Request take_request() {
    if (requests().empty()) return Request{};
    Request r = requests().front();
    requests().pop_front();
    return r;
}

inline std::string id_code(uint8_t type, uint16_t number, uint16_t crc) {
    return std::string{char(type), char(number >> 8), char(number), char(crc >> 8), char(crc)};
}

} // namespace schedule_test
