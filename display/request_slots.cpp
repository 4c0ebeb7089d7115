// Activation requests: seven request slots of the object store (row 0 the
// most urgent, row 6 the ordinary one), the selection of the most urgent
// request, the time each slot's message may still run, the running
// message's countdown and the end-duration request. The selection reads a
// slot's code once and works on its own copy, so that a requester that
// rewrites the slot meanwhile never changes the code being checked.
#include "display/display_task.h"

#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint8_t SOURCE_LOOPBACK[4] = {127, 0, 0, 1};
const uint8_t SOURCE_NONE[4] = {0, 0, 0, 0};
const uint32_t SECONDS_PER_MINUTE = 60;

// An activation code object, copied once. -> true when it holds a request
// (12 bytes, not all zero).
bool read_code(const DbObject& object, uint8_t* code) {
    uint32_t length = 0;
    uint8_t copy[CMsgActivationCode::kLength + 1];
    db_get_string_copy(object, copy, sizeof copy, &length);
    if (length != CMsgActivationCode::kLength) return false;
    std::memcpy(code, copy, CMsgActivationCode::kLength);
    for (unsigned i = 0; i < CMsgActivationCode::kLength; ++i)
        if (code[i] != 0) return true;
    return false;
}

bool read_slot(unsigned slot, uint8_t* code) {
    return read_code(obj::activationRequestCode.row(slot), code);
}

CMsgActivationCode decoded(const uint8_t* code) {
    CMsgActivationCode c;
    c.Decode(code);
    return c;
}

} // namespace

// --- the central road ---------------------------------------------------------------

void CDisplay::ActivateFromObject() {
    display_guard guard(lock_);
    if (!guard.held()) return;
    if (db_get(obj::halvObj1_1) != 1) db_set(obj::halvObj1_1, 1, DB_NOTIFY);
    uint8_t code[CMsgActivationCode::kLength + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsActivateMessage, code, sizeof code, &length);
    if (length != CMsgActivationCode::kLength) {
        // Not a code: refused as such (error other), and the ordinary slot
        // keeps its request instead of turning empty, which would blank the sign.
        request_activation(code, length, ACTIVATION_SLOT_ORDINARY + 1, true, SOURCE_MODE_CENTRAL,
                           REQUEST_SOURCE_ORDINARY);
        return;
    }
    db_set(obj::activationRequestState.row(ACTIVATION_SLOT_ORDINARY), SOURCE_MODE_CENTRAL,
           DB_NOTIFY);
    db_set(obj::activationRequestSource.row(ACTIVATION_SLOT_ORDINARY), REQUEST_SOURCE_ORDINARY,
           DB_NOTIFY);
    db_set_string(obj::activationRequestCode.row(ACTIVATION_SLOT_ORDINARY), code, length, 0);
    handle_activate_msg();
}

// --- selection ----------------------------------------------------------------------

void CDisplay::handle_activate_msg() {
    display_guard guard(lock_);
    if (!guard.held()) return;
    trace_printf("handle_activate_msg\n");
    unsigned slot = 0;
    uint8_t code[CMsgActivationCode::kLength];
    if (!determine_msg_to_run(slot, code)) {
        ActivateFailSafeBlank();
        return;
    }
    if (CompareRequestSlots(last_slot_, slot, code) == 1 || first_activation_) {
        StartSlotTimer(slot, code);
    } else if (RefreshSlotDuration(slot, code) == 0) {
        // The slot's time ran out while a more urgent request ran: it no
        // longer takes part in the selection, and the end-duration message
        // is requested in its place.
        EmptySlot(slot);
        ActivateEndDurationMessage();
        trace_printf("activating end duration msg\n");
        return;
    }
    uint8_t state = uint8_t(db_get(obj::activationRequestState.row(slot)));
    uint8_t source = uint8_t(db_get(obj::activationRequestSource.row(slot)));
    uint8_t result =
        request_activation(code, CMsgActivationCode::kLength, slot + 1, true, state, source);
    if (result == ACTIVATE_ERROR_NONE) RecordSlotActivation(slot, code);
}

bool CDisplay::determine_msg_to_run(unsigned& slot, uint8_t* code) {
    for (unsigned i = 0; i < ACTIVATION_SLOTS; ++i) {
        if (!read_slot(i, code)) continue;
        trace_printf("determine_msg_to_run:%d\n", i);
        slot = i;
        return true;
    }
    return false;
}

void CDisplay::RecordSlotActivation(unsigned slot, const uint8_t* code) {
    first_activation_ = false;
    last_slot_ = slot;
    db_set_string(obj::activationRequestActiveCode.row(slot), code, CMsgActivationCode::kLength,
                  DB_NOTIFY);
    CMsgActivationCode activated = decoded(code);
    if (activated.m_memoryType != MSG_MEMORY_CURRENT_BUFFER)
        db_set_string(obj::savedActivateMessage, code, CMsgActivationCode::kLength, DB_NOTIFY);
    if (activated.m_memoryType == MSG_MEMORY_SCHEDULE)
        PostLetter(LETTER_SCHEDULED_MESSAGE_ACTIVATED);
}

void CDisplay::ActivateFailSafeBlank() {
    console_printf("Error! fail safe blank msg\n");
    CMsgActivationCode blank;
    blank.Set(DURATION_UNTIL_REPLACED, 255, kBlankMemoryType, kBlankMessageNumber, kBlankMessageCRC,
              SOURCE_NONE);
    request_activation(blank.Encoded(), CMsgActivationCode::kLength, 0, true, SOURCE_MODE_LOCAL,
                       REQUEST_SOURCE_ORDINARY);
}

// --- slot timing ---------------------------------------------------------------------

int CDisplay::CompareRequestSlots(unsigned last, unsigned slot, const uint8_t* code) {
    if (slot <= last) return 1;
    uint8_t active[CMsgActivationCode::kLength];
    if (!read_code(obj::activationRequestActiveCode.row(slot), active)) return 1;
    return CMsgActivationCode::Compare(decoded(active), decoded(code)) ? 0 : 1;
}

void CDisplay::StartSlotTimer(unsigned slot, const uint8_t* code) {
    uint32_t expiry = db_get_time() + decoded(code).m_duration * SECONDS_PER_MINUTE;
    db_set(obj::activationRequestExpiry.row(slot), expiry, DB_NOTIFY);
}

int CDisplay::RefreshSlotDuration(unsigned slot, uint8_t* code) {
    CMsgActivationCode request = decoded(code);
    if (request.m_duration == DURATION_UNTIL_REPLACED) return 1;
    uint32_t now = db_get_time();
    uint32_t expiry = db_get(obj::activationRequestExpiry.row(slot));
    uint32_t minutes = now < expiry ? (expiry - now) / SECONDS_PER_MINUTE : 0;
    request.m_duration =
        uint16_t(minutes < DURATION_UNTIL_REPLACED ? minutes : DURATION_UNTIL_REPLACED - 1);
    request.Encode();
    std::memcpy(code, request.Encoded(), CMsgActivationCode::kLength);
    db_set_string(obj::activationRequestCode.row(slot), code, CMsgActivationCode::kLength, 0);
    return minutes != 0 ? 1 : 0;
}

void CDisplay::EmptySlot(unsigned slot) {
    db_set_string(obj::activationRequestCode.row(slot), nullptr, 0, 0);
}

// --- duration of the running message ---------------------------------------------------

void CDisplay::CountdownDuration() {
    display_guard guard(lock_);
    uint32_t remaining = db_get(obj::dmsMessageTimeRemaining);
    uint32_t now = db_get_time();
    if (remaining == DURATION_UNTIL_REPLACED) {
        duration_minutes_ = DURATION_UNTIL_REPLACED;
        return;
    }
    if (remaining == 0) {
        if (db_get(obj::dmsMsgSourceMode) == SOURCE_MODE_END_DURATION) return;
        ExpireRunningMessage();
        return;
    }
    if (remaining != duration_minutes_ || duration_reference_ > now) {
        duration_reference_ = now;
        duration_minutes_ = remaining;
        return;
    }
    uint32_t seconds = now - duration_reference_;
    uint32_t elapsed = seconds / SECONDS_PER_MINUTE;
    if (elapsed >= duration_minutes_) {
        ExpireRunningMessage();
    } else if (elapsed != 0) {
        duration_minutes_ -= elapsed;
        db_set(obj::dmsMessageTimeRemaining, duration_minutes_, DB_NOTIFY);
        duration_reference_ = now - seconds % SECONDS_PER_MINUTE;
    }
}

// The running message's time is up: its slot no longer takes part in the
// selection (else a request in a more urgent slot would win every later
// selection and the end-duration request would never run), and the
// end-duration message is requested.
void CDisplay::ExpireRunningMessage() {
    db_set(obj::dmsMessageTimeRemaining, 0, DB_NOTIFY);
    uint8_t code[CMsgActivationCode::kLength], active[CMsgActivationCode::kLength];
    if (!first_activation_ && read_slot(last_slot_, code) &&
        read_code(obj::activationRequestActiveCode.row(last_slot_), active) &&
        CMsgActivationCode::Compare(decoded(code), decoded(active)))
        EmptySlot(last_slot_);
    ActivateEndDurationMessage();
}

void CDisplay::ActivateEndDurationMessage() {
    uint8_t bytes[CMsgIDCode::kLength + 1];
    uint32_t length = 0;
    db_get_string_copy(obj::dmsEndDurationMessage, bytes, sizeof bytes, &length);
    if (length != CMsgIDCode::kLength) return;
    CMsgIDCode id;
    id.Decode(bytes);
    CMsgActivationCode request;
    request.Set(DURATION_UNTIL_REPLACED, 255, id.m_memoryType, id.m_messageNumber, id.m_messageCRC,
                SOURCE_LOOPBACK);
    ::request_activation(ACTIVATION_SLOT_ORDINARY, SOURCE_MODE_END_DURATION,
                         REQUEST_SOURCE_ORDINARY, request);
}
