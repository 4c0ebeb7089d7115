// BER primitives: see asn1.h.
#include "comm/snmp/asn1.h"

#include "runtime/console.h"

namespace {

bool feature_off() {
    return false;
}

using feature_fn = bool (*)();

feature_fn& feature_source() {
    static feature_fn source = feature_off;
    return source;
}

int fail(asn1_context* ctx, asn1_error error) {
    ctx->error = error;
    return 0;
}

// Octets left before the end marker (or before the buffer end for the
// indefinite form).
uint32_t left_before(const asn1_context* ctx, const uint8_t* eoc) {
    const uint8_t* limit = eoc ? eoc : ctx->end;
    return ctx->pointer < limit ? static_cast<uint32_t>(limit - ctx->pointer) : 0;
}

// One octet of a content that must end at eoc.
int content_octet(asn1_context* ctx, uint8_t* eoc, uint8_t* octet) {
    if (left_before(ctx, eoc) == 0) return fail(ctx, ASN1_ERR_DEC_EMPTY);
    return g_asn1_octet_decode(ctx, octet);
}

// Base-128 number (tags, sub-identifiers) of at most 32 bits, read below limit.
int base128_decode(asn1_context* ctx, const uint8_t* limit, uint32_t* value) {
    uint32_t v = 0;
    uint8_t octet = 0;
    do {
        if (ctx->pointer >= limit) return fail(ctx, ASN1_ERR_DEC_EMPTY);
        if (!g_asn1_octet_decode(ctx, &octet)) return 0;
        if (v > 0x01FFFFFFu) return fail(ctx, ASN1_ERR_DEC_BADVALUE);
        v = (v << 7) | (octet & 0x7Fu);
    } while (octet & 0x80u);
    *value = v;
    return 1;
}

// Writes the fewest octets of an unsigned value, least significant first,
// adding a leading 0x00 when the top bit of the leading octet is set.
int unsigned_encode(asn1_context* ctx, uint8_t** eoc, uint32_t value) {
    *eoc = ctx->pointer;
    uint8_t last = 0;
    do {
        last = static_cast<uint8_t>(value & 0xFFu);
        if (!g_asn1_octet_encode(ctx, last)) return 0;
        value >>= 8;
    } while (value != 0);
    if (last & 0x80u) return g_asn1_octet_encode(ctx, 0x00);
    return 1;
}

int unsigned_decode(asn1_context* ctx, uint8_t* eoc, uint32_t* value) {
    if (!eoc) return fail(ctx, ASN1_ERR_DEC_LENGTH);
    uint8_t octet = 0;
    if (!content_octet(ctx, eoc, &octet)) return 0;
    uint32_t v = octet;
    uint32_t count = octet == 0 ? 0 : 1;
    while (ctx->pointer < eoc) {
        if (++count > 4) return fail(ctx, ASN1_ERR_DEC_BADVALUE);
        if (!g_asn1_octet_decode(ctx, &octet)) return 0;
        v = (v << 8) | octet;
    }
    *value = v;
    return 1;
}

} // namespace

void asn1_set_local_time_feature_source(bool (*source)()) {
    feature_source() = source ? source : feature_off;
}

bool asn1_local_time_feature() {
    return feature_source()();
}

void g_asn1_open(asn1_context* ctx, uint8_t* buffer, uint32_t length, int direction) {
    ctx->begin = buffer;
    ctx->end = buffer + length;
    ctx->pointer = direction ? ctx->begin : ctx->end;
    ctx->error = ASN1_ERR_NONE;
}

void g_asn1_close(asn1_context* ctx, uint8_t** start, uint32_t* length) {
    *start = ctx->pointer;
    *length = static_cast<uint32_t>(ctx->end - ctx->pointer);
}

int g_asn1_octet_encode(asn1_context* ctx, uint8_t octet) {
    if (ctx->pointer <= ctx->begin) return fail(ctx, ASN1_ERR_ENC_FULL);
    *--ctx->pointer = octet;
    return 1;
}

int g_asn1_octet_decode(asn1_context* ctx, uint8_t* octet) {
    if (ctx->pointer >= ctx->end) return fail(ctx, ASN1_ERR_DEC_EMPTY);
    *octet = *ctx->pointer++;
    return 1;
}

int g_asn1_tag_encode(asn1_context* ctx, uint32_t tag) {
    if (!g_asn1_octet_encode(ctx, static_cast<uint8_t>(tag & 0x7Fu))) return 0;
    for (tag >>= 7; tag != 0; tag >>= 7) {
        if (!g_asn1_octet_encode(ctx, static_cast<uint8_t>(0x80u | (tag & 0x7Fu)))) return 0;
    }
    return 1;
}

int g_asn1_tag_decode(asn1_context* ctx, uint32_t* tag) {
    return base128_decode(ctx, ctx->end, tag);
}

int g_asn1_id_encode(asn1_context* ctx, uint32_t cls, uint32_t con, uint32_t tag) {
    uint32_t field = tag;
    if (tag >= 31) {
        if (!g_asn1_tag_encode(ctx, tag)) return 0;
        field = 31;
    }
    return g_asn1_octet_encode(ctx, static_cast<uint8_t>((cls << 6) | (con << 5) | field));
}

int g_asn1_id_decode(asn1_context* ctx, uint32_t* cls, uint32_t* con, uint32_t* tag) {
    uint8_t octet = 0;
    if (!g_asn1_octet_decode(ctx, &octet)) return 0;
    *cls = (octet & 0xC0u) >> 6;
    *con = (octet & 0x20u) >> 5;
    *tag = octet & 0x1Fu;
    if (*tag == 31) return g_asn1_tag_decode(ctx, tag);
    return 1;
}

int g_asn1_length_encode(asn1_context* ctx, uint32_t definite, uint32_t length) {
    if (!definite) return g_asn1_octet_encode(ctx, 0x80);
    if (length < 0x80) return g_asn1_octet_encode(ctx, static_cast<uint8_t>(length));
    uint8_t count = 0;
    for (; length != 0; length >>= 8, ++count) {
        if (!g_asn1_octet_encode(ctx, static_cast<uint8_t>(length & 0xFFu))) return 0;
    }
    return g_asn1_octet_encode(ctx, static_cast<uint8_t>(0x80u | count));
}

int g_asn1_length_decode(asn1_context* ctx, uint32_t* definite, uint32_t* length) {
    uint8_t octet = 0;
    if (!g_asn1_octet_decode(ctx, &octet)) return 0;
    if (octet == 0x80) {
        *definite = 0;
        *length = 0;
        return 1;
    }
    *definite = 1;
    if (octet < 0x80) {
        *length = octet;
        return 1;
    }
    uint32_t v = 0;
    for (uint32_t count = octet & 0x7Fu; count > 0; --count) {
        if (!g_asn1_octet_decode(ctx, &octet)) return 0;
        if (v > 0x00FFFFFFu) return fail(ctx, ASN1_ERR_DEC_BADVALUE);
        v = (v << 8) | octet;
    }
    *length = v;
    return 1;
}

int g_asn1_header_encode(asn1_context* ctx, uint8_t* eoc, uint32_t cls, uint32_t con,
                         uint32_t tag) {
    uint32_t length = eoc ? static_cast<uint32_t>(eoc - ctx->pointer) : 0;
    if (!g_asn1_length_encode(ctx, eoc != nullptr, length)) return 0;
    return g_asn1_id_encode(ctx, cls, con, tag);
}

int g_asn1_header_decode(asn1_context* ctx, uint8_t** eoc, uint32_t* cls, uint32_t* con,
                         uint32_t* tag) {
    uint32_t definite = 0;
    uint32_t length = 0;
    if (!g_asn1_id_decode(ctx, cls, con, tag)) return 0;
    if (!g_asn1_length_decode(ctx, &definite, &length)) return 0;
    if (!definite) {
        *eoc = nullptr;
        return 1;
    }
    // A content announced past the received bytes is refused here, so that
    // every end marker lies inside the buffer.
    if (length > static_cast<uint32_t>(ctx->end - ctx->pointer)) {
        return fail(ctx, ASN1_ERR_DEC_EMPTY);
    }
    *eoc = ctx->pointer + length;
    return 1;
}

int g_asn1_eoc_encode(asn1_context* ctx, uint8_t** eoc) {
    if (eoc) {
        *eoc = ctx->pointer;
        return 1;
    }
    return g_asn1_octet_encode(ctx, 0x00) && g_asn1_octet_encode(ctx, 0x00);
}

int g_asn1_eoc_decode(asn1_context* ctx, uint8_t* eoc) {
    if (!eoc) {
        uint8_t first = 0;
        uint8_t second = 0;
        if (!g_asn1_octet_decode(ctx, &first) || !g_asn1_octet_decode(ctx, &second)) return 0;
        if (first != 0 || second != 0) return fail(ctx, ASN1_ERR_DEC_EOC);
        return 1;
    }
    if (ctx->pointer == eoc) return 1;
    // Tolerates a central system whose lengths count two octets it never sent.
    if (ctx->pointer > eoc && ctx->pointer - eoc == 2 && asn1_local_time_feature()) return 1;
    return fail(ctx, ASN1_ERR_DEC_LENGTH);
}

int g_asn1_null_encode(asn1_context* ctx, uint8_t** eoc) {
    *eoc = ctx->pointer;
    return 1;
}

int g_asn1_null_decode(asn1_context* ctx, uint8_t* eoc) {
    if (!eoc || eoc < ctx->pointer) return fail(ctx, ASN1_ERR_DEC_LENGTH);
    ctx->pointer = eoc;
    return 1;
}

int g_asn1_long_encode(asn1_context* ctx, uint8_t** eoc, int32_t value) {
    if (value >= 0) return unsigned_encode(ctx, eoc, static_cast<uint32_t>(value));
    *eoc = ctx->pointer;
    uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i, bits >>= 8) {
        if (!g_asn1_octet_encode(ctx, static_cast<uint8_t>(bits & 0xFFu))) return 0;
    }
    return 1;
}

int g_asn1_long_decode(asn1_context* ctx, uint8_t* eoc, int32_t* value) {
    if (!eoc) return fail(ctx, ASN1_ERR_DEC_LENGTH);
    // Five octets hold a signed 32-bit value only when the first merely
    // repeats the sign of the second; any other is out of range, not cut.
    if (eoc - ctx->pointer == 5 && ctx->pointer[0] != ((ctx->pointer[1] & 0x80u) ? 0xFFu : 0x00u))
        return fail(ctx, ASN1_ERR_DEC_BADVALUE);
    uint8_t octet = 0;
    if (!content_octet(ctx, eoc, &octet)) return 0;
    uint32_t bits = (octet & 0x80u) ? 0xFFFFFF00u | octet : octet;
    for (uint32_t count = 1; ctx->pointer < eoc; ++count) {
        if (count >= 5) return fail(ctx, ASN1_ERR_DEC_BADVALUE);
        if (!g_asn1_octet_decode(ctx, &octet)) return 0;
        bits = (bits << 8) | octet;
    }
    *value = static_cast<int32_t>(bits);
    return 1;
}

int g_asn1_uint_encode(asn1_context* ctx, uint8_t** eoc, uint32_t value) {
    return unsigned_encode(ctx, eoc, value);
}

int g_asn1_uint_decode(asn1_context* ctx, uint8_t* eoc, uint32_t* value) {
    return unsigned_decode(ctx, eoc, value);
}

int g_asn1_ulong_encode(asn1_context* ctx, uint8_t** eoc, uint32_t value) {
    return unsigned_encode(ctx, eoc, value);
}

int g_asn1_ulong_decode(asn1_context* ctx, uint8_t* eoc, uint32_t* value) {
    return unsigned_decode(ctx, eoc, value);
}

int g_asn1_octets_encode(asn1_context* ctx, uint8_t** eoc, const uint8_t* bytes, uint32_t count) {
    *eoc = ctx->pointer;
    while (count > 0) {
        if (!g_asn1_octet_encode(ctx, bytes[--count])) return 0;
    }
    return 1;
}

int g_asn1_octets_decode(asn1_context* ctx, uint8_t* eoc, uint8_t* bytes, uint32_t size,
                         uint32_t* count) {
    if (!eoc || eoc < ctx->pointer) return fail(ctx, ASN1_ERR_DEC_LENGTH);
    uint32_t n = static_cast<uint32_t>(eoc - ctx->pointer);
    if (n > size) return fail(ctx, ASN1_ERR_DEC_BADVALUE);
    for (uint32_t i = 0; i < n; ++i) {
        bytes[i] = *ctx->pointer++;
    }
    *count = n;
    return 1;
}

int g_asn1_subid_encode(asn1_context* ctx, uint32_t subid) {
    return g_asn1_tag_encode(ctx, subid);
}

int g_asn1_subid_decode(asn1_context* ctx, uint32_t* subid) {
    return base128_decode(ctx, ctx->end, subid);
}

int g_asn1_oid_encode(asn1_context* ctx, uint8_t** eoc, const uint32_t* oid, uint32_t count) {
    *eoc = ctx->pointer;
    if (count < 2) return fail(ctx, ASN1_ERR_ENC_BADVALUE);
    for (uint32_t i = count; i-- > 2;) {
        if (!g_asn1_subid_encode(ctx, oid[i])) return 0;
    }
    return g_asn1_subid_encode(ctx, oid[0] * 40u + oid[1]);
}

int g_asn1_oid_decode(asn1_context* ctx, uint8_t* eoc, uint32_t* oid, uint32_t size,
                      uint32_t* count) {
    *count = 0;
    if (!eoc || eoc < ctx->pointer) return fail(ctx, ASN1_ERR_DEC_LENGTH);
    const uint32_t bound = static_cast<uint32_t>(eoc - ctx->pointer) + 1;
    uint32_t first = 0;
    if (size < 2 || !base128_decode(ctx, eoc, &first)) {
        if (size < 2) ctx->error = ASN1_ERR_DEC_BADVALUE;
        console_printf("g_asn1_oid_decode failed 1\n");
        return 0;
    }
    oid[0] = first < 40 ? 0 : first < 80 ? 1 : 2;
    oid[1] = first - 40u * oid[0];
    uint32_t n = 2;
    while (ctx->pointer < eoc) {
        if (n >= bound || n >= size) {
            console_printf("g_asn1_oid_decode failed 2\n");
            return fail(ctx, ASN1_ERR_DEC_BADVALUE);
        }
        if (!base128_decode(ctx, eoc, &oid[n])) {
            console_printf("g_asn1_oid_decode failed 3\n");
            return 0;
        }
        ++n;
    }
    *count = n;
    return 1;
}
