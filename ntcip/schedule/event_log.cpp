// The event log: evaluation of the configuration rows, the class logs and
// the nearly-full trap.
#include "ntcip/schedule/event_log.h"

#include "comm/agents/trap_raise.h"
#include "ntcip/mib/mib.h"
#include "ntcip/schedule/event_log_ber.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

constexpr uint32_t ACTION_LOG = 3;
constexpr uint8_t MIB_NULL_TYPE = 13; // a row answering NULL
constexpr uint32_t NEARLY_FULL_PERCENT = 90;
constexpr uint32_t OID_BYTES = 4 * CEventLogging::MAX_OID;

// ---- the communication task's side ------------------------------------------------

bool never_exceeded() {
    return false;
}

// ---- the internal GETs ------------------------------------------------------------------

// The request record, context and work areas of the engine's GETs: static, never on the schedule
// task's stack. One engine thread uses it.
struct work_area {
    mib_context ctx;
    snmp_pdu pdu;                                // the agent's request record; varbind 0 is used
    alignas(4) uint8_t oid_bytes[OID_BYTES + 4]; // room for the copy's NUL
    uint32_t subids[CEventLogging::MAX_OID];
    uint8_t address[4];
    uint8_t value[CEventLogging::VALUE_BUFFER];
};

work_area& area() {
    static work_area a;
    return a;
}

// What a GET of one object gave: a number, or bytes (octets, Opaque, the
// store's form of an OID, the four bytes of an IpAddress).
struct object_value {
    uint8_t type;
    uint32_t number;
    const uint8_t* bytes;
    uint32_t length;
};

// A GET through the registry as the agent makes it. An OID of more than
// MAX_OID sub-identifiers, or none, names nothing.
bool read_object(const uint8_t* oid, uint32_t length, object_value& out) {
    const uint32_t count = length / 4;
    if (oid == nullptr || count == 0 || count > CEventLogging::MAX_OID) return false;
    work_area& a = area();
    snmp_varbind& vb = a.pdu.varbinds[0];
    vb.name_length = octets_to_oid(vb.name, CEventLogging::MAX_OID, oid, length);
    vb.syntax = SNMP_NULL;
    vb.value_length = 0;
    a.pdu.error_status = 0;
    mib_context_begin(a.ctx, MIB_ALL_RIGHTS);
    uint8_t type = SNMP_NULL;
    uint32_t value_length = 0;
    uint16_t access = 0;
    int error = MIB_NO_SUBTREE;
    uintptr_t* result = getStatPtr(a.ctx, vb.name, &vb.name_length, &type, &value_length, &access,
                                   MIB_GET, &a.pdu, 0, &error);
    if (result == nullptr || error != MIB_FOUND) return false;
    out.type = type;
    out.number = uint32_t(*result);
    out.bytes = reinterpret_cast<const uint8_t*>(*result);
    out.length = value_length;
    if (type == MIB_IPADDRESS || type == MIB_IPADDRESS_OLD) {
        for (uint32_t i = 0; i < 4; ++i)
            a.address[i] = uint8_t(out.number >> (24 - 8 * i));
        out.bytes = a.address;
        out.length = 4;
    }
    return true;
}

bool is_number_type(uint8_t type) {
    return type == MIB_INTEGER || type == MIB_COUNTER || type == MIB_GAUGE || type == MIB_TIMETICKS;
}

bool is_byte_type(uint8_t type) {
    return type == MIB_OBJECTID || type == MIB_OCTETSTR || type == MIB_IPADDRESS ||
           type == MIB_OPAQUE;
}

// A stored OID into the work area's bytes: its full length in bytes (only
// the first OID_BYTES are copied).
uint32_t load_oid(const DbObject& object) {
    uint32_t full = 0;
    db_get_string_copy(object, area().oid_bytes, OID_BYTES + 1, &full);
    return full;
}

// The BER encoding of a value into the work area; its length.
uint32_t encode_value(const object_value& v) {
    work_area& a = area();
    ber_writer w;
    ber_writer_init(&w, a.value, CEventLogging::VALUE_BUFFER);
    switch (v.type) {
    case MIB_OBJECTID:
        ber_put_oid(&w, a.subids,
                    octets_to_oid(a.subids, CEventLogging::MAX_OID, v.bytes, v.length));
        break;
    case MIB_OCTETSTR:
        ber_put_octets(&w, v.bytes, v.length);
        break;
    case MIB_INTEGER:
        ber_put_integer(&w, int32_t(v.number));
        break;
    case MIB_IPADDRESS:
        ber_put_ipaddress(&w, v.bytes);
        break;
    case MIB_COUNTER:
        ber_put_counter(&w, v.number);
        break;
    case MIB_GAUGE:
        ber_put_gauge(&w, v.number);
        break;
    case MIB_TIMETICKS:
        ber_put_timeticks(&w, v.number);
        break;
    case MIB_NULL_TYPE:
        ber_put_null(&w);
        break;
    default:
        trace_printf("CEventLogging::Log - Unhandled Type:%d", int(v.type));
        return 0;
    }
    return w.used;
}

// ---- the modes -------------------------------------------------------------------------------

using row_state = CEventLogging::row_state;

// How a mode updates its row state and decides to log.
enum class rule : uint8_t {
    change,   // the first value is recorded; each later change logs
    timed,    // the condition held for CV2 tenths of a second: one event per excursion
    band,     // one event each time the value leaves the band
    periodic, // every CV seconds; no value is read
};

struct mode_row {
    uint8_t mode;
    rule update;
    // The condition on the watched value; null when no value is read.
    bool (*holds)(uint32_t v, int32_t cv, int32_t cv2, const row_state& s);
    const char* read_failure; // traced when the value cannot be read; null: silent
};

bool differs(uint32_t v, int32_t, int32_t, const row_state& s) {
    return v != s.prior;
}
bool above(uint32_t v, int32_t cv, int32_t, const row_state&) {
    return int32_t(v) > cv;
}
bool below(uint32_t v, int32_t cv, int32_t, const row_state&) {
    return int32_t(v) < cv;
}
bool outside_band(uint32_t v, int32_t cv, int32_t cv2, const row_state&) {
    const int32_t low = cv < cv2 ? cv : cv2, high = cv < cv2 ? cv2 : cv;
    return int32_t(v) < low || int32_t(v) > high;
}
bool any_bit(uint32_t v, int32_t cv, int32_t, const row_state&) {
    return (v & uint32_t(cv)) != 0;
}

const mode_row kModes[] = {
    {2, rule::change, differs, "CEventLoggging::Process: on change, failed to get value\n"},
    {3, rule::timed, above, "CEventLogging::Process: > value, failed to get value\n"},
    {4, rule::timed, below, "CEventLogging::Process: < value, failed to get value\n"},
    {5, rule::band, outside_band,
     "CEventLogging::Process: hysteresis bound, failed to get value\n"},
    {6, rule::periodic, nullptr, nullptr},
    {7, rule::timed, any_bit, nullptr},
};

const mode_row* mode_of(uint32_t mode) {
    for (const mode_row& m : kModes)
        if (m.mode == mode) return &m;
    return nullptr;
}

void accumulate(row_state& s, uint32_t now) {
    if (s.last != 0) s.accum += now - s.last;
    s.last = now;
}

// One evaluation of a row: updates its state; true when it logs.
bool step(const mode_row& m, uint32_t v, int32_t cv, int32_t cv2, uint32_t now, row_state& s) {
    const bool holds = m.holds == nullptr || m.holds(v, cv, cv2, s);
    switch (m.update) {
    case rule::change:
        if (s.armed) {
            trace_printf("dwPrior:%d, dwValue:%d\n", int(s.prior), int(v));
            s.prior = v;
            s.armed = 0;
            return false;
        }
        s.prior = v;
        return holds;
    case rule::timed:
        if (!holds) {
            s.armed = 1;
            s.accum = 0;
            s.last = 0;
            return false;
        }
        accumulate(s, now);
        if (s.accum < uint32_t(cv2 / 10) || !s.armed) return false;
        s.armed = 0;
        return true;
    case rule::band:
        if (!holds) {
            s.armed = 1;
            return false;
        }
        if (!s.armed) return false;
        s.armed = 0;
        return true;
    case rule::periodic:
    default:
        accumulate(s, now);
        if (s.accum < uint32_t(cv)) return false;
        s.accum = 0;
        return true;
    }
}

// ---- the start-up suppression ----------------------------------------------------------------

// Objects that settle only after start-up: rows watching them wait for the
// first 59 passes. Each entry ends in its only 0.
constexpr uint32_t QUIET_OID_MAX = 15;
const uint32_t kQuietAtStartup[][QUIET_OID_MAX] = {
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 6, 0},    // dmsStatDoorOpen
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 1, 0}, // tempMinCtrlCabinet
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 2, 0}, // tempMaxCtrlCabinet
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 3, 0}, // tempMinAmbient
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 4, 0}, // tempMaxAmbient
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 5, 0}, // tempMinSignHousing
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 6, 0}, // tempMaxSignHousing
    {1, 3, 6, 1, 4, 1, 1206, 3, 11, 5, 7, 0},      // halvObj5_7
    {1, 3, 6, 1, 4, 1, 1206, 3, 11, 5, 8, 0},      // halvObj5_8
    {1, 3, 6, 1, 4, 1, 1206, 3, 11, 5, 9, 0},      // halvObj5_9
    {1, 3, 6, 1, 4, 1, 1206, 3, 6, 11, 1, 0},      // fdotObj11_1
    {1, 3, 6, 1, 4, 1, 1206, 3, 35, 2, 0},         // zuduz fan object 2
    {1, 3, 6, 1, 4, 1, 1206, 3, 35, 4, 0},         // zuduz fan object 4
};

// Compared up to and including the OID's first 0; an OID without a 0
// matches nothing.
bool quiet_at_startup(const uint32_t* subids, uint32_t count) {
    for (const auto& entry : kQuietAtStartup)
        for (uint32_t k = 0; k < count && k < QUIET_OID_MAX && subids[k] == entry[k]; ++k)
            if (entry[k] == 0) return true;
    return false;
}

uint32_t log_row(uint32_t class_index, uint32_t row) {
    return class_index * CEventLogging::ROWS_PER_CLASS + row;
}

} // namespace

event_log_links& the_event_log_links() {
    static event_log_links links = {never_exceeded};
    return links;
}

CEventLogging::CEventLogging() : rows_{}, countdown_(STARTUP_PASSES) {
    for (row_state& s : rows_)
        s.armed = 1;
}

void CEventLogging::Service() {
    Process();
    CheckLogFull();
}

void CEventLogging::Process() {
    if (countdown_ != 0) --countdown_;
    const uint32_t now = db_get_time();
    work_area& a = area();
    for (uint32_t i = 1; i <= CONFIG_ROWS; ++i) {
        const uint32_t r = i - 1;
        if (db_get(obj::eventConfigAction.row(r)) != ACTION_LOG) continue;
        const mode_row* m = mode_of(db_get(obj::eventConfigMode.row(r)));
        if (m == nullptr) continue;
        const uint32_t length = load_oid(obj::eventConfigCompareOID.row(r));
        if (countdown_ != 0) {
            const uint32_t count = octets_to_oid(a.subids, MAX_OID, a.oid_bytes,
                                                 length < OID_BYTES ? length : OID_BYTES);
            if (quiet_at_startup(a.subids, count)) continue;
        }
        uint32_t value = 0;
        if (m->holds != nullptr) {
            uint8_t error = 1;
            value = processPppPDU(a.oid_bytes, length, &error);
            if (error != 0) {
                if (m->read_failure != nullptr) trace_printf("%s", m->read_failure);
                continue;
            }
        }
        if (step(*m, value, db_get_signed(obj::eventConfigCompareValue.row(r)),
                 db_get_signed(obj::eventConfigCompareValue2.row(r)), now, rows_[r]))
            Log(i);
    }
}

uint32_t CEventLogging::processPppPDU(const uint8_t* oid, uint32_t length, uint8_t* error) {
    *error = 1;
    object_value v{};
    if (!read_object(oid, length, v)) return 0;
    if (is_number_type(v.type)) {
        *error = 0;
        return v.number;
    }
    if (is_byte_type(v.type)) {
        *error = 0;
        return crc16(v.bytes, v.length, 0xFFFF, CRC16_COMPLEMENT | CRC16_SWAP);
    }
    if (v.type != MIB_NULL_TYPE) console_printf("processPppPDU: type error\n");
    return 0;
}

void CEventLogging::Log(uint32_t config_row) {
    event_log_links& links = the_event_log_links();
    if (links.max_poll_time_exceeded != nullptr && links.max_poll_time_exceeded()) {
        trace_printf("CEventLogging::Log: Logging Disabled by fdotDmsMaxPollTime\n");
        return;
    }
    if (config_row == 0 || config_row > CONFIG_ROWS) return;
    const uint32_t r = config_row - 1;
    // Classes 1..16 have a log; an event of any other class is not kept.
    const uint32_t event_class = db_get(obj::eventConfigClass.row(r));
    if (event_class == 0 || event_class > CLASSES) {
        trace_printf("CEventLogging::Log: class %u has no log\n", unsigned(event_class));
        return;
    }
    const uint32_t c0 = event_class - 1;
    if (db_get(obj::eventClassLimit.row(c0)) == 0) return; // the class keeps no rows
    object_value v{};
    const uint32_t oid_length = load_oid(obj::eventConfigLogOID.row(r));
    if (!read_object(area().oid_bytes, oid_length, v)) {
        console_printf("CEventLogging::Log: noSuchObject\n");
        return;
    }
    const uint32_t length = encode_value(v);
    const int n = AllocateRow(c0);
    if (n < 0) return;
    trace_printf("CEventLogging::Log:[byClass:%d][byNumber:%d]\n", int(c0), n);
    const uint32_t k = log_row(c0, uint32_t(n));
    db_set(obj::eventLogID.row(k), config_row, DB_NOTIFY);
    db_set(obj::eventLogTime.row(k), db_get_time(), DB_NOTIFY);
    db_set_string(obj::eventLogValue.row(k), area().value, length, DB_NOTIFY);
    const DbObject class_events = obj::eventClassNumEvents.row(c0);
    db_set(class_events, (db_get(class_events) + 1) & 0xFFFF, DB_NOTIFY);
    db_set(obj::numEvents, (db_get(obj::numEvents) + 1) & 0xFFFF, DB_NOTIFY);
}

int CEventLogging::AllocateRow(uint32_t class_index) {
    if (class_index >= CLASSES) return -1;
    const uint32_t limit = db_get(obj::eventClassLimit.row(class_index));
    if (limit == 0) return -1;
    const DbObject count = obj::eventClassNumRowsInLog.row(class_index);
    const uint32_t held = db_get(count);
    if (held >= limit) { // full: the oldest row goes
        ClearRow(class_index, 0);
        ShiftClass(class_index);
        return int(limit - 1);
    }
    for (uint32_t n = 0; n < limit && n < ROWS_PER_CLASS; ++n)
        if (RowEmpty(class_index, n)) {
            db_set(count, held + 1, DB_NOTIFY);
            return int(n);
        }
    return 0;
}

void CEventLogging::ShiftClass(uint32_t class_index) {
    if (class_index >= CLASSES || !RowEmpty(class_index, 0)) return;
    uint32_t to = 0;
    for (uint32_t from = 0; from < ROWS_PER_CLASS; ++from) {
        if (RowEmpty(class_index, from)) continue;
        if (from != to) CopyRow(class_index, from, to);
        ++to;
    }
    for (; to < ROWS_PER_CLASS; ++to)
        ClearRow(class_index, to);
}

void CEventLogging::ClearClassByTime(uint32_t class_index) {
    if (class_index >= CLASSES) return;
    const uint32_t clear_time = db_get(obj::eventClassClearTime.row(class_index));
    const DbObject count = obj::eventClassNumRowsInLog.row(class_index);
    for (uint32_t n = 0; n < ROWS_PER_CLASS; ++n) {
        const uint32_t time = db_get(obj::eventLogTime.row(log_row(class_index, n)));
        if (time == 0 || time > clear_time) continue;
        ClearRow(class_index, n);
        const uint32_t held = db_get(count);
        if (held > 0) db_set(count, held - 1, DB_NOTIFY);
    }
    ShiftClass(class_index);
}

void CEventLogging::TrimAll() {
    for (uint32_t c0 = 0; c0 < CLASSES; ++c0) {
        const DbObject count = obj::eventClassNumRowsInLog.row(c0);
        const uint32_t held = db_get(count);
        const uint32_t limit = db_get(obj::eventClassLimit.row(c0));
        if (held <= limit) continue;
        for (uint32_t n = 0; n < held - limit && n < ROWS_PER_CLASS; ++n)
            ClearRow(c0, n);
        ShiftClass(c0);
        db_set(count, limit, DB_NOTIFY);
    }
}

void CEventLogging::CheckLogFull() {
    bool nearly_full = false;
    // maxEventClasses may be written above 16: only the 16 classes exist.
    for (uint32_t c0 = 0; !nearly_full && c0 < CLASSES && c0 < db_get(obj::maxEventClasses); ++c0) {
        const uint32_t limit = db_get(obj::eventClassLimit.row(c0));
        if (limit == 0) continue;
        nearly_full =
            db_get(obj::eventClassNumRowsInLog.row(c0)) >= limit * NEARLY_FULL_PERCENT / 100;
    }
    const bool latched = db_get(obj::fdotObj11_10) != 0;
    if (nearly_full && !latched) {
        db_set(obj::fdotObj11_10, 1, DB_NOTIFY);
        raise_sign_trap(NEARLY_FULL_TRAP);
    } else if (!nearly_full && latched) {
        db_set(obj::fdotObj11_10, 0, DB_NOTIFY);
    }
}

bool CEventLogging::HandleLetter(uint32_t code) {
    if (code >= LETTER_EVENT_CLASS_CLEAR_FIRST && code <= LETTER_EVENT_CLASS_CLEAR_LAST) {
        ClearClassByTime(code - LETTER_EVENT_CLASS_CLEAR_FIRST);
        return true;
    }
    if (code == LETTER_EVENT_CLASS_LIMITS) {
        TrimAll();
        return true;
    }
    return false;
}

void CEventLogging::ClearRow(uint32_t class_index, uint32_t row) {
    const uint32_t k = log_row(class_index, row);
    db_set(obj::eventLogID.row(k), 0, DB_NOTIFY);
    db_set(obj::eventLogTime.row(k), 0, DB_NOTIFY);
    db_set_string(obj::eventLogValue.row(k), nullptr, 0, DB_NOTIFY);
}

void CEventLogging::CopyRow(uint32_t class_index, uint32_t from, uint32_t to) {
    const uint32_t a = log_row(class_index, from), b = log_row(class_index, to);
    db_set(obj::eventLogID.row(b), db_get(obj::eventLogID.row(a)), DB_NOTIFY);
    db_set(obj::eventLogTime.row(b), db_get(obj::eventLogTime.row(a)), DB_NOTIFY);
    uint32_t length = 0;
    const char* bytes = db_get_string(obj::eventLogValue.row(a), &length);
    db_set_string(obj::eventLogValue.row(b), bytes, length, DB_NOTIFY);
}

bool CEventLogging::RowEmpty(uint32_t class_index, uint32_t row) const {
    return db_get(obj::eventLogTime.row(log_row(class_index, row))) == 0;
}
