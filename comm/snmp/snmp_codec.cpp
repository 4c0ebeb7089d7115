// SNMP PDU codec: varbinds, varbind lists, request and trap fields, the
// SNMPv1 and SNMPv2 PDU forms. See snmp.h.
#include "comm/snmp/snmp.h"

#include <cstring>

#include "comm/snmp/snmp_internal.h"
#include "runtime/console.h"

namespace {

struct syntax_row {
    uint32_t syntax;
    uint32_t cls;
    uint32_t tag;
};

const syntax_row syntax_table[] = {
    {SNMP_NULL, ASN1_UNI, ASN1_NUL},
    {SNMP_INTEGER, ASN1_UNI, ASN1_INT},
    {SNMP_UINTEGER, ASN1_UNI, ASN1_INT}, // found after SNMP_INTEGER: the decoder picks it by value
    {SNMP_OCTETSTR, ASN1_UNI, ASN1_OTS},
    {SNMP_OBJECTID, ASN1_UNI, ASN1_OJI},
    {SNMP_IPADDR, ASN1_APL, 0},
    {SNMP_COUNTER, ASN1_APL, 1},
    {SNMP_GAUGE, ASN1_APL, 2},
    {SNMP_TIMETICKS, ASN1_APL, 3},
    {SNMP_OPAQUE, ASN1_APL, 4},
    {SNMP_BITSTRING, ASN1_UNI, ASN1_BTS},
    {SNMP_COUNTER64, ASN1_APL, 6},
    {SNMP_NOSUCHOBJECT, ASN1_CTX, 0},
    {SNMP_NOSUCHINSTANCE, ASN1_CTX, 1},
    {SNMP_ENDOFMIBVIEW, ASN1_CTX, 2},
    {SNMP_SYNTAX_END, 0, 0},
};

void no_counter() {}

using counter_fn = void (*)();

counter_fn& out_bad_values_counter() {
    static counter_fn counter = no_counter;
    return counter;
}

void store_u32(uint8_t* value, uint32_t number) {
    std::memcpy(value, &number, sizeof number);
}

uint32_t load_u32(const uint8_t* value) {
    uint32_t number = 0;
    std::memcpy(&number, value, sizeof number);
    return number;
}

// An INTEGER content of five octets, 00 then one with its top bit set: a
// value from 2^31 to 2^32-1.
bool integer_above_signed(const asn1_context* ctx, const uint8_t* eoc) {
    return eoc && eoc - ctx->pointer == 5 && ctx->pointer[0] == 0x00 && (ctx->pointer[1] & 0x80u);
}

// Value content of a varbind by syntax, decoded up to eoc. An INTEGER above
// 2^31-1 changes the syntax to SNMP_UINTEGER.
int value_decode(asn1_context* ctx, uint8_t* eoc, uint32_t* syntax, snmp_varbind* obj) {
    uint32_t number = 0;
    if (*syntax == SNMP_INTEGER && integer_above_signed(ctx, eoc)) *syntax = SNMP_UINTEGER;
    switch (*syntax) {
    case SNMP_NULL:
    case SNMP_NOSUCHOBJECT:
    case SNMP_NOSUCHINSTANCE:
    case SNMP_ENDOFMIBVIEW:
        obj->value_length = 0;
        return g_asn1_null_decode(ctx, eoc);
    case SNMP_INTEGER: {
        int32_t signed_number = 0;
        if (!g_asn1_long_decode(ctx, eoc, &signed_number)) return 0;
        store_u32(obj->value, static_cast<uint32_t>(signed_number));
        obj->value_length = 4;
        return 1;
    }
    case SNMP_OCTETSTR:
    case SNMP_OPAQUE:
        return g_asn1_octets_decode(ctx, eoc, obj->value, SNMP_MAX_VALUE, &obj->value_length);
    case SNMP_OBJECTID: {
        uint32_t oid[SNMP_MAX_OID];
        uint32_t count = 0;
        if (!g_asn1_oid_decode(ctx, eoc, oid, SNMP_MAX_OID, &count)) return 0;
        std::memcpy(obj->value, oid, count * sizeof oid[0]);
        obj->value_length = 4 * count;
        return 1;
    }
    case SNMP_IPADDR:
        if (!g_asn1_octets_decode(ctx, eoc, obj->value, 16, &obj->value_length)) return 0;
        return obj->value_length == 4 || obj->value_length == 16;
    case SNMP_UINTEGER:
    case SNMP_COUNTER:
    case SNMP_GAUGE:
    case SNMP_TIMETICKS:
        if (!g_asn1_ulong_decode(ctx, eoc, &number)) return 0;
        store_u32(obj->value, number);
        obj->value_length = 4;
        return 1;
    default:
        return 0;
    }
}

// An OID value kept as consecutive uint32_t sub-identifiers in a varbind's
// value bytes (length: 4 per sub-identifier), written without copying it to
// the stack.
int oid_value_encode(asn1_context* ctx, uint8_t** eoc, const uint8_t* value, uint32_t length) {
    *eoc = ctx->pointer;
    if (length > SNMP_MAX_VALUE || length % 4 != 0) return snmp_fail(ctx, ASN1_ERR_ENC_BADVALUE);
    const uint32_t count = length / 4;
    if (count < 2) return snmp_fail(ctx, ASN1_ERR_ENC_BADVALUE);
    for (uint32_t i = count; i-- > 2;) {
        if (!g_asn1_subid_encode(ctx, load_u32(value + 4 * i))) return 0;
    }
    return g_asn1_subid_encode(ctx, load_u32(value) * 40u + load_u32(value + 4));
}

// Value content of a varbind by syntax, written backwards; eoc is its end.
int value_encode(asn1_context* ctx, uint8_t** eoc, const snmp_varbind* obj) {
    switch (obj->syntax) {
    case SNMP_NULL:
    case SNMP_NOSUCHOBJECT:
    case SNMP_NOSUCHINSTANCE:
    case SNMP_ENDOFMIBVIEW:
        return g_asn1_null_encode(ctx, eoc);
    case SNMP_INTEGER:
        return g_asn1_long_encode(ctx, eoc, static_cast<int32_t>(load_u32(obj->value)));
    case SNMP_OCTETSTR:
    case SNMP_IPADDR:
    case SNMP_OPAQUE:
        if (obj->value_length > SNMP_MAX_VALUE) return snmp_fail(ctx, ASN1_ERR_ENC_BADVALUE);
        return g_asn1_octets_encode(ctx, eoc, obj->value, obj->value_length);
    case SNMP_OBJECTID:
        return oid_value_encode(ctx, eoc, obj->value, obj->value_length);
    case SNMP_UINTEGER:
    case SNMP_COUNTER:
    case SNMP_GAUGE:
    case SNMP_TIMETICKS:
        return g_asn1_ulong_encode(ctx, eoc, load_u32(obj->value));
    default:
        out_bad_values_counter()();
        return 0;
    }
}

// Whether the content that ends at eoc is finished, without consuming
// anything when it is not.
bool at_end(asn1_context* ctx, uint8_t* eoc) {
    const asn1_context saved = *ctx;
    if (g_asn1_eoc_decode(ctx, eoc)) return true;
    *ctx = saved;
    return false;
}

// Steps over one varbind beyond the stored slots: its SEQUENCE must be
// well-formed and definite; its content is not kept.
int varbind_skip(asn1_context* ctx) {
    uint8_t* eoc = nullptr;
    if (!snmp_expect_header(ctx, &eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ)) return 0;
    if (!eoc) return snmp_fail(ctx, ASN1_ERR_DEC_LENGTH);
    ctx->pointer = eoc;
    return 1;
}

uint32_t capped_count(uint32_t count, bool report) {
    if (count <= SNMP_MAX_VARBINDS) return count;
    if (report) console_printf("**** MAX OBJECTS EXCEEDED!\n");
    return SNMP_MAX_VARBINDS;
}

// The PDU of both forms: v1 takes types 0 to 4, v2 types 0 to 3 and 5 to 7.
int pdu_encode(asn1_context* ctx, const snmp_pdu* pdu, bool v1) {
    const uint32_t type = pdu->type;
    const bool trap = type == SNMP_PDU_TRAP;
    if (!snmp_pdu_type_allowed(type, v1)) return 0;
    uint8_t* eoc = nullptr;
    g_asn1_eoc_encode(ctx, &eoc);
    const uint32_t count = static_cast<uint32_t>(static_cast<int32_t>(pdu->varbind_count));
    if (!g_snmp_list_encode(ctx, pdu->varbinds, count)) {
        console_printf("g_snmp_pdu_v1_encode: g_snmp_list_encode failed\n");
        return 0;
    }
    if (!(trap ? g_snmp_trap_encode(ctx, pdu) : g_snmp_request_encode(ctx, pdu))) {
        console_printf("g_snmp_pdu_v1_encode: g_snmp_request_encode failed\n");
        return 0;
    }
    if (!g_asn1_header_encode(ctx, eoc, ASN1_CTX, ASN1_CON, type)) {
        console_printf("g_snmp_pdu_v1_encode: g_snmp_header_encode failed\n");
        return 0;
    }
    return 1;
}

int pdu_decode(asn1_context* ctx, snmp_pdu* pdu, bool v1) {
    uint8_t* eoc = nullptr;
    uint32_t cls = 0;
    uint32_t con = 0;
    uint32_t type = 0;
    if (!g_asn1_header_decode(ctx, &eoc, &cls, &con, &type)) return 0;
    if (cls != ASN1_CTX || con != ASN1_CON || !snmp_pdu_type_allowed(type, v1)) return 0;
    pdu->type = type;
    const bool trap = type == SNMP_PDU_TRAP;
    if (!(trap ? g_snmp_trap_decode(ctx, pdu) : g_snmp_request_decode(ctx, pdu))) {
        if (v1) console_printf("g_snmp_pdu_v1_decode: g_snmp_request_decode failed\n");
        return 0;
    }
    uint32_t count = 0;
    if (!g_snmp_list_decode(ctx, pdu->varbinds, &count)) {
        if (v1) console_printf("g_snmp_pdu_v1_decode: g_snmp_list_decode failed\n");
        return 0;
    }
    pdu->varbind_count = static_cast<int16_t>(capped_count(count, v1));
    return g_asn1_eoc_decode(ctx, eoc);
}

} // namespace

int snmp_fail(asn1_context* ctx, uint32_t error) {
    ctx->error = error;
    return 0;
}

bool snmp_pdu_type_allowed(uint32_t type, bool v1) {
    if (v1) return type <= SNMP_PDU_TRAP;
    return type <= SNMP_PDU_TRAP2 && type != SNMP_PDU_TRAP;
}

int snmp_expect_header(asn1_context* ctx, uint8_t** eoc, uint32_t cls, uint32_t con, uint32_t tag) {
    uint32_t got_cls = 0;
    uint32_t got_con = 0;
    uint32_t got_tag = 0;
    if (!g_asn1_header_decode(ctx, eoc, &got_cls, &got_con, &got_tag)) return 0;
    return got_cls == cls && got_con == con && got_tag == tag;
}

int snmp_uint_element_encode(asn1_context* ctx, uint32_t cls, uint32_t tag, uint32_t value) {
    uint8_t* eoc = nullptr;
    return g_asn1_uint_encode(ctx, &eoc, value) &&
           g_asn1_header_encode(ctx, eoc, cls, ASN1_PRI, tag);
}

int snmp_octets_element_encode(asn1_context* ctx, uint32_t cls, uint32_t tag, const uint8_t* bytes,
                               uint32_t count) {
    uint8_t* eoc = nullptr;
    return g_asn1_octets_encode(ctx, &eoc, bytes, count) &&
           g_asn1_header_encode(ctx, eoc, cls, ASN1_PRI, tag);
}

int snmp_uint_element_decode(asn1_context* ctx, uint32_t* value) {
    uint8_t* eoc = nullptr;
    return snmp_expect_header(ctx, &eoc, ASN1_UNI, ASN1_PRI, ASN1_INT) &&
           g_asn1_uint_decode(ctx, eoc, value);
}

void snmp_set_out_bad_values_counter(void (*counter)()) {
    out_bad_values_counter() = counter ? counter : no_counter;
}

int g_snmp_syntax2tag_cls(uint32_t syntax, uint32_t* tag, uint32_t* cls) {
    for (const syntax_row* row = syntax_table; row->syntax != SNMP_SYNTAX_END; ++row) {
        if (row->syntax == syntax) {
            *tag = row->tag;
            *cls = row->cls;
            return 1;
        }
    }
    return 0;
}

int g_snmp_tag_cls2syntax(uint32_t tag, uint32_t cls, uint32_t* syntax) {
    for (const syntax_row* row = syntax_table; row->syntax != SNMP_SYNTAX_END; ++row) {
        if (row->tag == tag && row->cls == cls) {
            *syntax = row->syntax;
            return 1;
        }
    }
    return 0;
}

int g_snmp_object_decode(asn1_context* ctx, snmp_varbind* obj) {
    uint8_t* eoc = nullptr;
    uint8_t* name_eoc = nullptr;
    if (!snmp_expect_header(ctx, &eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ)) return 0;
    if (!snmp_expect_header(ctx, &name_eoc, ASN1_UNI, ASN1_PRI, ASN1_OJI)) return 0;
    uint32_t name_length = 0;
    if (!g_asn1_oid_decode(ctx, name_eoc, obj->name, SNMP_MAX_OID, &name_length)) {
        console_printf("g_snmp_object_decode failed at g_asn1_oid_decode\n");
        return 0;
    }
    uint32_t syntax = SNMP_NULL;
    if (eoc && eoc == ctx->pointer && asn1_local_time_feature() && eoc - ctx->begin >= 2) {
        // A varbind sent without its value: taken as NULL; the end check
        // then accepts the two octets its length never counted.
        obj->value_length = 0;
        eoc -= 2;
    } else {
        uint8_t* value_eoc = nullptr;
        uint32_t cls = 0;
        uint32_t con = 0;
        uint32_t tag = 0;
        if (!g_asn1_header_decode(ctx, &value_eoc, &cls, &con, &tag)) return 0;
        if (con != ASN1_PRI || !g_snmp_tag_cls2syntax(tag, cls, &syntax)) return 0;
        if (!value_decode(ctx, value_eoc, &syntax, obj)) return 0;
    }
    obj->syntax = static_cast<uint16_t>(syntax);
    obj->name_length = name_length;
    return g_asn1_eoc_decode(ctx, eoc);
}

int g_snmp_object_encode(asn1_context* ctx, const snmp_varbind* obj) {
    uint8_t* eoc = nullptr;
    uint8_t* value_eoc = nullptr;
    uint8_t* name_eoc = nullptr;
    uint32_t tag = 0;
    uint32_t cls = 0;
    if (obj->name_length > SNMP_MAX_OID) return snmp_fail(ctx, ASN1_ERR_ENC_BADVALUE);
    g_asn1_eoc_encode(ctx, &eoc);
    if (!value_encode(ctx, &value_eoc, obj)) return 0;
    g_snmp_syntax2tag_cls(obj->syntax, &tag, &cls);
    return g_asn1_header_encode(ctx, value_eoc, cls, ASN1_PRI, tag) &&
           g_asn1_oid_encode(ctx, &name_eoc, obj->name, obj->name_length) &&
           g_asn1_header_encode(ctx, name_eoc, ASN1_UNI, ASN1_PRI, ASN1_OJI) &&
           g_asn1_header_encode(ctx, eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ);
}

int g_snmp_list_encode(asn1_context* ctx, const snmp_varbind* list, uint32_t count) {
    if (count > SNMP_MAX_VARBINDS) return 0;
    uint8_t* eoc = nullptr;
    g_asn1_eoc_encode(ctx, &eoc);
    for (uint32_t i = count; i-- > 0;) {
        if (!g_snmp_object_encode(ctx, &list[i])) {
            console_printf("g_snmp_list_encode: object encode failed,asn1:0x%08X,obj:0x%08X\n",
                           ctx->error, i);
            return 0;
        }
    }
    return g_asn1_header_encode(ctx, eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ);
}

int g_snmp_list_decode(asn1_context* ctx, snmp_varbind* list, uint32_t* count) {
    uint8_t* eoc = nullptr;
    *count = 0;
    if (!snmp_expect_header(ctx, &eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ)) return 0;
    uint32_t n = 0;
    for (; !at_end(ctx, eoc); ++n) {
        const int ok =
            n < SNMP_MAX_VARBINDS ? g_snmp_object_decode(ctx, &list[n]) : varbind_skip(ctx);
        if (!ok) {
            console_printf("g_snmp_list_decode: failed at g_snmp_object_decode idx %d\n",
                           static_cast<int>(n));
            return 0;
        }
        // An end marker can only be passed by a malformed list: stop there.
        if (eoc && ctx->pointer > eoc && ctx->pointer - eoc > 2)
            return snmp_fail(ctx, ASN1_ERR_DEC_LENGTH);
    }
    *count = n;
    return 1;
}

int g_snmp_request_encode(asn1_context* ctx, const snmp_pdu* pdu) {
    return snmp_uint_element_encode(ctx, ASN1_UNI, ASN1_INT, pdu->error_index) &&
           snmp_uint_element_encode(ctx, ASN1_UNI, ASN1_INT, pdu->error_status) &&
           snmp_uint_element_encode(ctx, ASN1_UNI, ASN1_INT, pdu->request_id);
}

int g_snmp_request_decode(asn1_context* ctx, snmp_pdu* pdu) {
    uint8_t* eoc = nullptr;
    uint32_t cls = 0;
    uint32_t con = 0;
    uint32_t tag = 0;
    if (!snmp_uint_element_decode(ctx, &pdu->request_id)) return 0;
    if (!g_asn1_header_decode(ctx, &eoc, &cls, &con, &tag) || cls != ASN1_UNI ||
        !g_asn1_uint_decode(ctx, eoc, &pdu->error_status)) {
        return 0;
    }
    return g_asn1_header_decode(ctx, &eoc, &cls, &con, &tag) && tag == ASN1_INT &&
           g_asn1_uint_decode(ctx, eoc, &pdu->error_index);
}

int g_snmp_trap_encode(asn1_context* ctx, const snmp_pdu* pdu) {
    uint8_t* eoc = nullptr;
    if (pdu->enterprise_length > SNMP_MAX_OID) return snmp_fail(ctx, ASN1_ERR_ENC_BADVALUE);
    return snmp_uint_element_encode(ctx, ASN1_APL, 3, pdu->time_stamp) &&
           snmp_uint_element_encode(ctx, ASN1_UNI, ASN1_INT, pdu->specific_trap) &&
           snmp_uint_element_encode(ctx, ASN1_UNI, ASN1_INT, pdu->generic_trap) &&
           snmp_octets_element_encode(ctx, ASN1_APL, 0, pdu->agent_address, 4) &&
           g_asn1_oid_encode(ctx, &eoc, pdu->enterprise, pdu->enterprise_length) &&
           g_asn1_header_encode(ctx, eoc, ASN1_UNI, ASN1_PRI, ASN1_OJI);
}

int g_snmp_trap_decode(asn1_context* ctx, snmp_pdu* pdu) {
    uint8_t* eoc = nullptr;
    uint32_t cls = 0;
    uint32_t con = 0;
    uint32_t tag = 0;
    uint32_t count = 0;
    if (!snmp_expect_header(ctx, &eoc, ASN1_UNI, ASN1_PRI, ASN1_OJI) ||
        !g_asn1_oid_decode(ctx, eoc, pdu->enterprise, SNMP_MAX_OID, &pdu->enterprise_length)) {
        return 0;
    }
    // Agent address: IpAddress, or an OCTET STRING, of at most 4 octets.
    std::memset(pdu->agent_address, 0, sizeof pdu->agent_address);
    if (!g_asn1_header_decode(ctx, &eoc, &cls, &con, &tag) || con != ASN1_PRI ||
        !((cls == ASN1_APL && tag == 0) || (cls == ASN1_UNI && tag == ASN1_OTS)) ||
        !g_asn1_octets_decode(ctx, eoc, pdu->agent_address, 4, &count)) {
        return 0;
    }
    if (!snmp_uint_element_decode(ctx, &pdu->generic_trap) ||
        !snmp_uint_element_decode(ctx, &pdu->specific_trap)) {
        return 0;
    }
    // Time stamp: TimeTicks, or a plain INTEGER.
    return g_asn1_header_decode(ctx, &eoc, &cls, &con, &tag) && con == ASN1_PRI &&
           ((cls == ASN1_APL && tag == 3) || (cls == ASN1_UNI && tag == ASN1_INT)) &&
           g_asn1_ulong_decode(ctx, eoc, &pdu->time_stamp);
}

int g_snmp_pdu_v1_encode(asn1_context* ctx, const snmp_pdu* pdu) {
    return pdu_encode(ctx, pdu, true);
}

int g_snmp_pdu_v1_decode(asn1_context* ctx, snmp_pdu* pdu) {
    return pdu_decode(ctx, pdu, true);
}

int g_snmp_pdu_v2_encode(asn1_context* ctx, const snmp_pdu* pdu) {
    return pdu_encode(ctx, pdu, false);
}

int g_snmp_pdu_v2_decode(asn1_context* ctx, snmp_pdu* pdu) {
    return pdu_decode(ctx, pdu, false);
}

int g_snmp_scoped_pdu_encode(asn1_context* ctx, const snmp_pdu* pdu, const uint8_t* engine_id,
                             uint32_t engine_id_length, const uint8_t* context_name,
                             uint32_t context_name_length) {
    uint8_t* eoc = nullptr;
    g_asn1_eoc_encode(ctx, &eoc);
    return g_snmp_pdu_v2_encode(ctx, pdu) &&
           snmp_octets_element_encode(ctx, ASN1_UNI, ASN1_OTS, context_name, context_name_length) &&
           snmp_octets_element_encode(ctx, ASN1_UNI, ASN1_OTS, engine_id, engine_id_length) &&
           g_asn1_header_encode(ctx, eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ);
}
