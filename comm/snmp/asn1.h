// BER (ASN.1 Basic Encoding Rules) primitives on which every SNMP message is
// built and parsed. Each primitive works on one asn1_context and returns 1 on
// success and 0 on failure, leaving the reason in the context's error field.
//
// Encoding runs backwards: a message is written from its last octet towards
// its first, so every length is known when its header is written. An encoder
// that produces a content records its end marker (the current position) and
// then writes the content; the caller puts the header in front with
// g_asn1_header_encode. Decoding runs forwards: header, content up to the end
// marker, then g_asn1_eoc_decode for a constructed element.
//
// Every decode is bounded by the bytes handed to g_asn1_open: no primitive
// reads at or past `end`, nor writes before `begin`.
#pragma once

#include <cstdint>

enum asn1_error : uint32_t {
    ASN1_ERR_NONE = 0,
    ASN1_ERR_ENC_FULL = 1,     // no room left before begin
    ASN1_ERR_DEC_EMPTY = 2,    // no octet left before end
    ASN1_ERR_DEC_EOC = 3,      // end-of-contents octets not zero
    ASN1_ERR_DEC_LENGTH = 4,   // position is not the expected end
    ASN1_ERR_DEC_BADVALUE = 5, // value too long for its type / destination
    ASN1_ERR_ENC_BADVALUE = 6, // OID of fewer than two sub-identifiers
};

// Identifier classes, forms and universal tags.
enum : uint32_t { ASN1_UNI = 0, ASN1_APL = 1, ASN1_CTX = 2, ASN1_PRV = 3 };
enum : uint32_t { ASN1_PRI = 0, ASN1_CON = 1 };
enum : uint32_t {
    ASN1_INT = 2,
    ASN1_BTS = 3,
    ASN1_OTS = 4,
    ASN1_NUL = 5,
    ASN1_OJI = 6,
    ASN1_SEQ = 16
};

enum : int { ASN1_ENC = 0, ASN1_DEC = 1 };

struct asn1_context {
    uint8_t* pointer; // current position (forward when decoding, backward when encoding)
    uint8_t* begin;   // first octet of the buffer
    uint8_t* end;     // one past the last octet
    uint32_t error;   // asn1_error of the last failure
};

// Where the decoder asks whether the local-time feature is on (it tolerates a
// content that ends two octets before its announced end, see g_asn1_eoc_decode,
// and a varbind sent without its value). The agent installs a source reading
// the object store; until then the feature counts as off.
void asn1_set_local_time_feature_source(bool (*source)());
bool asn1_local_time_feature();

// direction: ASN1_DEC (non-zero) decodes, ASN1_ENC encodes.
void g_asn1_open(asn1_context* ctx, uint8_t* buffer, uint32_t length, int direction);
void g_asn1_close(asn1_context* ctx, uint8_t** start, uint32_t* length);

int g_asn1_octet_encode(asn1_context* ctx, uint8_t octet);
int g_asn1_octet_decode(asn1_context* ctx, uint8_t* octet);
int g_asn1_tag_encode(asn1_context* ctx, uint32_t tag);
int g_asn1_tag_decode(asn1_context* ctx, uint32_t* tag);
int g_asn1_id_encode(asn1_context* ctx, uint32_t cls, uint32_t con, uint32_t tag);
int g_asn1_id_decode(asn1_context* ctx, uint32_t* cls, uint32_t* con, uint32_t* tag);
int g_asn1_length_encode(asn1_context* ctx, uint32_t definite, uint32_t length);
int g_asn1_length_decode(asn1_context* ctx, uint32_t* definite, uint32_t* length);

// Length (from the end marker; indefinite when it is null) and identifier in
// front of a finished content.
int g_asn1_header_encode(asn1_context* ctx, uint8_t* eoc, uint32_t cls, uint32_t con, uint32_t tag);
// Identifier and length; *eoc := position + length, or null for the indefinite
// form. A definite length reaching past the received bytes is refused.
int g_asn1_header_decode(asn1_context* ctx, uint8_t** eoc, uint32_t* cls, uint32_t* con,
                         uint32_t* tag);

// With eoc: records the current position as the end marker of a content about
// to be written. With null: writes the two end-of-contents octets 00 00.
int g_asn1_eoc_encode(asn1_context* ctx, uint8_t** eoc);
int g_asn1_eoc_decode(asn1_context* ctx, uint8_t* eoc);

int g_asn1_null_encode(asn1_context* ctx, uint8_t** eoc);
int g_asn1_null_decode(asn1_context* ctx, uint8_t* eoc);
int g_asn1_long_encode(asn1_context* ctx, uint8_t** eoc, int32_t value);
// A signed 32-bit value: at most 4 significant octets (a fifth only as a
// sign octet); anything wider is refused with ASN1_ERR_DEC_BADVALUE.
int g_asn1_long_decode(asn1_context* ctx, uint8_t* eoc, int32_t* value);
int g_asn1_uint_encode(asn1_context* ctx, uint8_t** eoc, uint32_t value);
int g_asn1_uint_decode(asn1_context* ctx, uint8_t* eoc, uint32_t* value);
int g_asn1_ulong_encode(asn1_context* ctx, uint8_t** eoc, uint32_t value);
int g_asn1_ulong_decode(asn1_context* ctx, uint8_t* eoc, uint32_t* value);

int g_asn1_octets_encode(asn1_context* ctx, uint8_t** eoc, const uint8_t* bytes, uint32_t count);
// Copies the content into bytes; a content longer than size is refused with
// ASN1_ERR_DEC_BADVALUE and nothing is copied.
int g_asn1_octets_decode(asn1_context* ctx, uint8_t* eoc, uint8_t* bytes, uint32_t size,
                         uint32_t* count);

int g_asn1_subid_encode(asn1_context* ctx, uint32_t subid);
int g_asn1_subid_decode(asn1_context* ctx, uint32_t* subid);
int g_asn1_oid_encode(asn1_context* ctx, uint8_t** eoc, const uint32_t* oid, uint32_t count);
// Decodes into oid[0..size); more sub-identifiers than size (or than the
// content octets + 1) are refused with ASN1_ERR_DEC_BADVALUE, *count := 0.
int g_asn1_oid_decode(asn1_context* ctx, uint8_t* eoc, uint32_t* oid, uint32_t size,
                      uint32_t* count);
