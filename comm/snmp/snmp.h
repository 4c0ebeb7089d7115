// SNMP message codec: turns the PDU of an SNMP message into the request
// record snmp_pdu and back, and wraps a PDU into the envelope of its version
// (v1, v2c, v3). All encoding and decoding goes through the BER primitives of
// comm/snmp/asn1.h. Every function returns 1 on success and 0 on failure; a
// failed decode leaves a partly filled record, which the caller discards.
#pragma once

#include <cstdint>

#include "comm/snmp/asn1.h"

constexpr uint32_t SNMP_MAX_VARBINDS = 50;
constexpr uint32_t SNMP_MAX_OID = 40;          // sub-identifiers per name or OID value
constexpr uint32_t SNMP_MAX_VALUE = 8000;      // value bytes per varbind
constexpr uint32_t SNMP_MAX_COMMUNITY = 51;    // community / security-parameters octets
constexpr uint32_t SNMP_MAX_CONTEXT = 49;      // context engine id / context name octets
constexpr uint32_t SNMP_MESSAGE_BUFFER = 3000; // transmit and receive buffers
constexpr uint32_t SNMP_REQUEST_SLOTS = 10;

// The codec's numbering of value types.
enum snmp_syntax : uint32_t {
    SNMP_NULL = 0,
    SNMP_INTEGER = 1,
    SNMP_OCTETSTR = 2,
    SNMP_OBJECTID = 3,
    SNMP_IPADDR = 4,
    SNMP_COUNTER = 5,
    SNMP_GAUGE = 6,
    SNMP_TIMETICKS = 7,
    SNMP_OPAQUE = 8,
    SNMP_BITSTRING = 9,
    SNMP_COUNTER64 = 11,
    SNMP_NOSUCHOBJECT = 12,
    SNMP_NOSUCHINSTANCE = 13,
    SNMP_ENDOFMIBVIEW = 14,
    // A universal INTEGER whose value lies above 2^31-1 (an unsigned 32-bit
    // number, sent with a leading zero octet): decoded from such a content,
    // and answered for INTEGER objects whose range reaches above 2^31-1.
    SNMP_UINTEGER = 15,
    SNMP_SYNTAX_END = 0xFFFFFFFF,
};

// PDU types (the context tags of the PDU).
enum snmp_pdu_type : uint32_t {
    SNMP_PDU_GET = 0,
    SNMP_PDU_NEXT = 1,
    SNMP_PDU_RESPONSE = 2,
    SNMP_PDU_SET = 3,
    SNMP_PDU_TRAP = 4,
    SNMP_PDU_BULK = 5,
    SNMP_PDU_INFORM = 6,
    SNMP_PDU_TRAP2 = 7,
};

// One varbind slot.
//  value_length: OCTET STRING, Opaque, IpAddress: octets; INTEGER, Counter,
//  Gauge, TimeTicks: 4; NULL and the exceptions: 0; OBJECT IDENTIFIER: 4 x
//  the sub-identifiers, for the decoder and the encoder alike (a length that
//  is not a multiple of 4 does not encode).
//  value: numbers as a native uint32_t in the first 4 bytes (an INTEGER
//  below zero as its 32-bit pattern, one above 2^31-1 as SNMP_UINTEGER); octets as they
//  came (the agent may add a NUL); OID values as consecutive uint32_t.
struct snmp_varbind {
    uint32_t name[SNMP_MAX_OID];
    uint32_t name_length;
    uint16_t syntax;
    uint32_t value_length;
    alignas(4) uint8_t value[SNMP_MAX_VALUE];
    uintptr_t handler_result; // an object handler's result: integer or address of bytes
};

// The request record, one per message in progress (about 409 KB: keep it out
// of thread stacks). The request fields serve types 0-3 and 5-7, the trap
// fields type 4; the varbinds serve both.
struct snmp_pdu {
    uint32_t type;
    // request layout
    uint32_t request_id;
    uint32_t error_status;
    uint32_t error_index;
    // trap layout
    uint32_t enterprise[SNMP_MAX_OID];
    uint32_t enterprise_length;
    uint8_t agent_address[4];
    uint32_t generic_trap;
    uint32_t specific_trap;
    uint32_t time_stamp;
    // both
    snmp_varbind varbinds[SNMP_MAX_VARBINDS];
    int16_t varbind_count;
};

// Where the codec counts an unknown syntax in a slot to be encoded
// (snmpOutBadValues). The store link raises obj::snmpOutBadValues.
void snmp_set_out_bad_values_counter(void (*counter)());
// Where snmp_v1_message_decode counts a received GetResponse (snmpInGetResponses).
void snmp_set_in_get_responses_counter(void (*counter)());
// Installs the object store behind the three codec hooks (the local-time
// feature of asn1.h and the two counters): the agent calls it once at start-up.
void snmp_codec_attach_store();

int g_snmp_syntax2tag_cls(uint32_t syntax, uint32_t* tag, uint32_t* cls);
int g_snmp_tag_cls2syntax(uint32_t tag, uint32_t cls, uint32_t* syntax);

int g_snmp_object_encode(asn1_context* ctx, const snmp_varbind* obj);
int g_snmp_object_decode(asn1_context* ctx, snmp_varbind* obj);
int g_snmp_list_encode(asn1_context* ctx, const snmp_varbind* list, uint32_t count);
// Stores at most SNMP_MAX_VARBINDS slots; each further varbind must still be
// a well-formed SEQUENCE, whose content is stepped over and counted, so
// *count may exceed the slots.
int g_snmp_list_decode(asn1_context* ctx, snmp_varbind* list, uint32_t* count);
int g_snmp_request_encode(asn1_context* ctx, const snmp_pdu* pdu);
int g_snmp_request_decode(asn1_context* ctx, snmp_pdu* pdu);
int g_snmp_trap_encode(asn1_context* ctx, const snmp_pdu* pdu);
int g_snmp_trap_decode(asn1_context* ctx, snmp_pdu* pdu);
int g_snmp_pdu_v1_encode(asn1_context* ctx, const snmp_pdu* pdu);
int g_snmp_pdu_v1_decode(asn1_context* ctx, snmp_pdu* pdu);
int g_snmp_pdu_v2_encode(asn1_context* ctx, const snmp_pdu* pdu);
int g_snmp_pdu_v2_decode(asn1_context* ctx, snmp_pdu* pdu);
int g_snmp_scoped_pdu_encode(asn1_context* ctx, const snmp_pdu* pdu, const uint8_t* engine_id,
                             uint32_t engine_id_length, const uint8_t* context_name,
                             uint32_t context_name_length);

// Request slots: one per request awaiting its response. The agent owns the
// table and serialises access to it.
struct snmp_request_slot {
    uint8_t in_use;
    uint32_t message_id; // version-3 message id, else 0
    uint32_t port;
    uint8_t address[4];
};
struct snmp_request_slots {
    snmp_request_slot slot[SNMP_REQUEST_SLOTS];
};
// Takes the first free slot; 0 when all are in use.
int snmp_request_slot_alloc(snmp_request_slots* slots, uint32_t* index);
// Returns the slot's message id, port and address and frees it; 0 for a slot
// not in use (any out pointer may be null).
int snmp_request_slot_free(snmp_request_slots* slots, uint32_t index, uint32_t* message_id,
                           uint32_t* port, uint8_t address[4]);

// The envelope fields handed between the message decoders, the agent and the
// response encoders. Texts end with a NUL after the received octets.
struct snmp_message_info {
    uint32_t version;        // version field read from the message
    uint32_t message_model;  // 0 v1, 1 v2c (also for version 2), 3 v3
    uint32_t security_model; // 1 v1, 2 v2c, as received for v3
    uint32_t security_level;
    uint32_t pdu_version;                   // 0 SNMPv1 PDU, 2 SNMPv2 PDU
    uint32_t max_size;                      // v3 maximum size as received
    uint32_t message_id;                    // v3 message id
    uint8_t is_request;                     // 0 for a GetResponse PDU (never answered)
    uint32_t slot;                          // request slot taken by the decoder
    char community[SNMP_MAX_COMMUNITY + 1]; // or the v3 security parameters
    uint32_t community_length;
    char context_engine_id[SNMP_MAX_CONTEXT + 1];
    uint32_t context_engine_id_length;
    char context_name[SNMP_MAX_CONTEXT + 1];
    uint32_t context_name_length;
};

// Reads the outer SEQUENCE and the version number only (what the agent needs
// to choose a decoder); 0 when the message does not start that way.
int snmp_message_version(const uint8_t* message, uint32_t length, uint32_t* version);

// Message decoders: fill info and pdu; a request (any PDU but GetResponse)
// takes a request slot recording the sender's port and address (when slots is
// not null; no free slot fails the message). Version 0 for v1; 1 and 2 for
// v2c; 3 for v3.
int snmp_v1_message_decode(snmp_request_slots* slots, uint16_t port, const uint8_t address[4],
                           const uint8_t* message, uint32_t length, snmp_message_info* info,
                           snmp_pdu* pdu);
int snmp_v2c_message_decode(snmp_request_slots* slots, uint16_t port, const uint8_t address[4],
                            const uint8_t* message, uint32_t length, snmp_message_info* info,
                            snmp_pdu* pdu);
int snmp_v3_message_decode(snmp_request_slots* slots, uint16_t port, const uint8_t address[4],
                           const uint8_t* message, uint32_t length, snmp_message_info* info,
                           snmp_pdu* pdu);

// Response encoders: release the request's slot (no slot in use, no
// response; reply port and address come back from it when the out pointers
// are not null), encode the PDU and its envelope into buffer (size octets;
// the agent's 3000-byte transmit buffer) and give the finished message's
// start and length.
struct snmp_reply {
    uint8_t* start;
    uint32_t length;
    uint32_t port;
    uint8_t address[4];
};
int snmp_v1_response_encode(snmp_request_slots* slots, const snmp_message_info* info,
                            const snmp_pdu* pdu, uint8_t* buffer, uint32_t size, snmp_reply* reply);
int snmp_v2c_response_encode(snmp_request_slots* slots, const snmp_message_info* info,
                             const snmp_pdu* pdu, uint8_t* buffer, uint32_t size,
                             snmp_reply* reply);
int snmp_v3_response_encode(snmp_request_slots* slots, const snmp_message_info* info,
                            const snmp_pdu* pdu, uint8_t* buffer, uint32_t size, snmp_reply* reply);

// A whole SNMPv1 message (SEQUENCE { version 0, community, PDU }) for the
// trap builder and tests: no request slot is involved.
int snmp_v1_message_encode(const char* community, const snmp_pdu* pdu, uint8_t* buffer,
                           uint32_t size, uint8_t** start, uint32_t* length);
