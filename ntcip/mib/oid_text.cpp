// Object access by dotted OID text through the registry's lookup.
#include "ntcip/mib/oid_text.h"

#include "runtime/console.h"
#include "ntcip/mib/mib.h"
#include "platform/kernel/kernel.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/script_file.h"

#include <cstring>

namespace {

// ---- request records ---------------------------------------------------------------

constexpr uint32_t SLOTS = 4; // nested calls (a handler reading by text) take another

struct Slot {
    mib_context ctx;
    snmp_varbind varbind;
    alignas(4) uint8_t scratch[MIB_SET_VALUE_MAX + 4];
};

Slot g_slots[SLOTS];
bool g_busy[SLOTS];

class SlotLease {
  public:
    SlotLease() {
        CInterruptLock guard;
        for (uint32_t i = 0; i < SLOTS && slot_ == nullptr; ++i)
            if (!g_busy[i]) {
                g_busy[i] = true;
                slot_ = &g_slots[i];
            }
    }
    ~SlotLease() {
        if (slot_ == nullptr) return;
        CInterruptLock guard;
        g_busy[slot_ - g_slots] = false;
    }
    SlotLease(const SlotLease&) = delete;
    SlotLease& operator=(const SlotLease&) = delete;
    Slot* get() const {
        if (slot_ == nullptr) console_printf("OID text access: no request record free\n");
        return slot_;
    }

  private:
    Slot* slot_ = nullptr;
};

class SetLock {
  public:
    SetLock() { mib_set_lock(); }
    ~SetLock() { mib_set_unlock(); }
    SetLock(const SetLock&) = delete;
    SetLock& operator=(const SetLock&) = delete;
};

// ---- names and values ---------------------------------------------------------------

bool parse_name(const char* text, uint32_t length, snmp_varbind& varbind) {
    size_t count = 0;
    if (text == nullptr ||
        parse_decimal_list(text, length, varbind.name, SNMP_MAX_OID, &count) != 0 || count == 0)
        return false;
    varbind.name_length = uint32_t(count);
    return true;
}

bool is_byte_type(uint8_t type) {
    return type == MIB_OCTETSTR || type == MIB_OPAQUE || type == MIB_OBJECTID;
}

// A GET of varbind 0: the result word, or null; the row's type and length.
uintptr_t* get_in_slot(Slot& s, const char* text, uint32_t length, uint8_t* type,
                       uint32_t* value_length, int* error) {
    *error = MIB_NO_SUBTREE;
    mib_context_begin(s.ctx, MIB_ALL_RIGHTS);
    if (!parse_name(text, length, s.varbind)) return nullptr;
    s.varbind.syntax = SNMP_INTEGER;
    s.varbind.value_length = 0;
    *type = SNMP_INTEGER;
    *value_length = 0;
    uint32_t error_status = 0;
    uint16_t access = 0;
    uintptr_t* result =
        mib_lookup(s.ctx, s.varbind, type, value_length, &access, MIB_GET, &error_status, error);
    return *error == MIB_FOUND ? result : nullptr;
}

// The value to set, before it is fitted to the object's type.
struct Value {
    bool integer;
    uint32_t number;
    const uint8_t* bytes;
    uint32_t count;
};

// The syntax of a number for the row's type: an octet row gets INTEGER,
// which its syntax check refuses.
uint16_t number_syntax(uint8_t type) {
    return is_byte_type(type) ? uint16_t(SNMP_INTEGER) : mib_syntax_of(type);
}

uint16_t octets_syntax(uint8_t type, uint32_t count) {
    if (type == MIB_OPAQUE) return SNMP_OPAQUE;
    if (type == MIB_OBJECTID && count % 4 == 0) return SNMP_OBJECTID; // the store's OID form
    if (type == MIB_IPADDRESS && count == 4) return SNMP_IPADDR;
    return SNMP_OCTETSTR;
}

// Stages the value for the row's type; the syntax goes to the SET check.
bool stage(mib_set_value& v, const Value& value, uint8_t type, uint8_t* syntax) {
    if (value.integer) {
        v.integer = value.number;
        v.above_signed = false; // a bare 32-bit pattern: the row's check reads it
        v.length = 4;
        const uint8_t be[4] = {uint8_t(value.number >> 24), uint8_t(value.number >> 16),
                               uint8_t(value.number >> 8), uint8_t(value.number)};
        std::memcpy(v.bytes, be, 4);
        v.bytes[4] = 0;
        *syntax = uint8_t(number_syntax(type));
        return true;
    }
    if (value.count > MIB_SET_VALUE_MAX || (value.count > 0 && value.bytes == nullptr))
        return false;
    if (value.count > 0) std::memmove(v.bytes, value.bytes, value.count);
    v.length = value.count;
    v.bytes[v.length] = 0;
    v.integer = 0;
    v.above_signed = false;
    for (uint32_t i = 0; i < 4 && i < v.length; ++i)
        v.integer = v.integer << 8 | v.bytes[i];
    *syntax = uint8_t(octets_syntax(type, value.count));
    return true;
}

uint32_t store_flags(unsigned override_flags) {
    return ((override_flags & OID_TEXT_NOTIFY) ? DB_NOTIFY : 0) |
           ((override_flags & OID_TEXT_VALIDATE) ? 0 : DB_NO_VALIDATE);
}

// One SET lookup of varbind 0 under the SET lock: checks, permission and
// write together. A handler's report of a refused write is a failure too.
int set_in_slot(Slot& s, const char* text, uint32_t length, const Value& value,
                unsigned override_flags, uint32_t mask, int* error) {
    uint8_t type = 0;
    uint32_t value_length = 0;
    if (get_in_slot(s, text, length, &type, &value_length, error) == nullptr) return 0;
    SetLock lock;
    mib_context_begin(s.ctx, mask);
    s.ctx.write_flags = store_flags(override_flags);
    uint8_t syntax = 0;
    if (!stage(s.ctx.set_value, value, type, &syntax)) {
        *error = MIB_BAD_VALUE;
        return 0;
    }
    parse_name(text, length, s.varbind);
    s.varbind.syntax = syntax;
    uint8_t in_out_type = syntax;
    uint32_t error_status = 0;
    uint16_t access = 0;
    mib_lookup(s.ctx, s.varbind, &in_out_type, &value_length, &access, MIB_SET, &error_status,
               error);
    return *error == MIB_FOUND && error_status == 0 ? 1 : 0;
}

int set_by_text(const char* text, uint32_t length, const Value& value, unsigned override_flags,
                uint32_t mask, int* error) {
    SlotLease lease;
    Slot* s = lease.get();
    *error = MIB_NO_SUBTREE;
    if (s == nullptr) return 0;
    return set_in_slot(*s, text, length, value, override_flags, mask, error);
}

// The bytes of an octet-valued object (at most `size`), or null.
const uint8_t* octets_in_slot(Slot& s, const char* text, uint32_t length, uint32_t size,
                              uint32_t* count) {
    uint8_t type = 0;
    uint32_t value_length = 0;
    int error = 0;
    uintptr_t* result = get_in_slot(s, text, length, &type, &value_length, &error);
    if (result == nullptr || !is_byte_type(type)) return nullptr;
    *count = value_length < size ? value_length : size;
    return reinterpret_cast<const uint8_t*>(*result);
}

bool is_base64(const char* text, uint32_t length) {
    return text != nullptr && base64_valid(text, length);
}

// ---- the start-up script ------------------------------------------------------------

class ScriptSink : public CScriptObjectSink {
  public:
    int SetInteger(const char* oid, uint32_t length, int32_t value) override {
        int error = 0;
        int done =
            oid_text_set_integer(oid, length, uint32_t(value), kFlags, MIB_ALL_RIGHTS, &error);
        return served(error) ? done : -1;
    }
    int SetOctets(const char* oid, uint32_t length, const uint8_t* bytes, uint32_t count) override {
        int error = 0;
        int done = oid_text_set_octets(oid, length, bytes, count, kFlags, MIB_ALL_RIGHTS, &error);
        return served(error) ? done : -1;
    }

  private:
    static constexpr unsigned kFlags = OID_TEXT_NOTIFY | OID_TEXT_VALIDATE;
    static bool served(int error) { return error != MIB_NO_SUBTREE && error != MIB_NO_SUCH_NAME; }
};

ScriptSink g_script_sink;

} // namespace

int snmp_get_integer_by_oid_text(const char* text, uint32_t length, uint32_t* value) {
    SlotLease lease;
    Slot* s = lease.get();
    if (s == nullptr || value == nullptr) return 0;
    uint8_t type = 0;
    uint32_t value_length = 0;
    int error = 0;
    uintptr_t* result = get_in_slot(*s, text, length, &type, &value_length, &error);
    if (result == nullptr || is_byte_type(type)) return 0;
    *value = uint32_t(*result);
    return 1;
}

int snmp_get_integer_by_oid_text2(const char* text, uint32_t length, uint32_t* value) {
    return snmp_get_integer_by_oid_text(text, length, value);
}

int snmp_get_octets_by_oid_text(const char* text, uint32_t length, uint8_t* buffer, uint32_t size,
                                uint32_t* out_length) {
    SlotLease lease;
    Slot* s = lease.get();
    uint32_t n = 0;
    const uint8_t* bytes = s ? octets_in_slot(*s, text, length, size, &n) : nullptr;
    if (bytes == nullptr || buffer == nullptr || out_length == nullptr) return 0;
    if (n > 0) std::memcpy(buffer, bytes, n);
    *out_length = n;
    return 1;
}

int snmp_get_octets_base64_by_oid_text(const char* text, uint32_t length, char* out, uint32_t size,
                                       uint32_t* out_length) {
    SlotLease lease;
    Slot* s = lease.get();
    uint32_t n = 0;
    const uint8_t* bytes = s ? octets_in_slot(*s, text, length, size, &n) : nullptr;
    size_t encoded = 0;
    if (bytes == nullptr || out == nullptr || out_length == nullptr ||
        base64_encode(bytes, n, out, size, &encoded) != 0)
        return 0;
    *out_length = uint32_t(encoded);
    return 1;
}

int oid_text_set_integer(const char* text, uint32_t length, uint32_t value, unsigned override_flags,
                         uint32_t permission_mask, int* error) {
    return set_by_text(text, length, Value{true, value, nullptr, 0}, override_flags,
                       permission_mask, error);
}

int oid_text_set_octets(const char* text, uint32_t length, const uint8_t* bytes, uint32_t count,
                        unsigned override_flags, uint32_t permission_mask, int* error) {
    return set_by_text(text, length, Value{false, 0, bytes, count}, override_flags, permission_mask,
                       error);
}

int snmp_set_integer_by_oid_text(const char* text, uint32_t length, uint32_t value,
                                 unsigned override_flags, uint32_t permission_mask) {
    int error = 0;
    return oid_text_set_integer(text, length, value, override_flags, permission_mask, &error);
}

int snmp_set_octets_by_oid_text(const char* text, uint32_t length, const uint8_t* bytes,
                                uint32_t count, unsigned override_flags, uint32_t permission_mask) {
    int error = 0;
    return oid_text_set_octets(text, length, bytes, count, override_flags, permission_mask, &error);
}

int snmp_set_octets_base64_by_oid_text(const char* text, uint32_t length, const char* base64,
                                       uint32_t base64_length, unsigned override_flags,
                                       uint32_t permission_mask, oid_text_octets_hook hook) {
    SlotLease lease;
    Slot* s = lease.get();
    if (s == nullptr || !is_base64(base64, base64_length)) return 0;
    size_t decoded = 0;
    if (base64_decode(base64, base64_length, s->scratch, MIB_SET_VALUE_MAX, &decoded) != 0)
        return 0;
    uint32_t count = uint32_t(decoded);
    if (hook != nullptr) hook(text, length, s->scratch, &count, MIB_SET_VALUE_MAX);
    if (count > MIB_SET_VALUE_MAX) return 0;
    int error = 0;
    return set_in_slot(*s, text, length, Value{false, 0, s->scratch, count}, override_flags,
                       permission_mask, &error);
}

void oid_text_attach_script() {
    CFile_Script::BindObjectSink(&g_script_sink);
}
