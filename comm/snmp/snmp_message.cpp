// SNMP message envelopes (v1, v2c, v3) and the request slots. See snmp.h.
#include <cstring>

#include "comm/snmp/snmp.h"
#include "comm/snmp/snmp_internal.h"

namespace {

// An OCTET STRING read as a NUL-terminated text of at most limit octets.
int text_decode(asn1_context* ctx, uint32_t limit, char* text, uint32_t* length) {
    uint8_t* eoc = nullptr;
    if (!snmp_expect_header(ctx, &eoc, ASN1_UNI, ASN1_PRI, ASN1_OTS)) return 0;
    if (!g_asn1_octets_decode(ctx, eoc, reinterpret_cast<uint8_t*>(text), limit, length)) {
        return 0;
    }
    text[*length] = '\0';
    return 1;
}

int text_encode(asn1_context* ctx, const char* text, uint32_t limit) {
    const uint32_t length = static_cast<uint32_t>(strnlen(text, limit));
    return snmp_octets_element_encode(ctx, ASN1_UNI, ASN1_OTS,
                                      reinterpret_cast<const uint8_t*>(text), length);
}

void no_counter() {}

using counter_fn = void (*)();

counter_fn& in_get_responses_counter() {
    static counter_fn counter = no_counter;
    return counter;
}

uint32_t bounded(uint32_t length, uint32_t limit) {
    return length < limit ? length : limit;
}

void info_clear(snmp_message_info* info) {
    std::memset(info, 0, sizeof *info);
}

// After a decoded message: a request takes a slot recording its sender.
int take_slot(snmp_request_slots* slots, uint16_t port, const uint8_t address[4],
              snmp_message_info* info, const snmp_pdu* pdu) {
    info->is_request = pdu->type != SNMP_PDU_RESPONSE;
    if (!info->is_request || !slots) return 1;
    if (!snmp_request_slot_alloc(slots, &info->slot)) return 0;
    snmp_request_slot& slot = slots->slot[info->slot];
    slot.message_id = info->message_id;
    slot.port = port;
    if (address) std::memcpy(slot.address, address, 4);
    return 1;
}

// SEQUENCE { version, community, PDU } of v1 and v2c.
int community_message_decode(const uint8_t* message, uint32_t length, snmp_message_info* info,
                             snmp_pdu* pdu, bool v1) {
    asn1_context ctx;
    uint8_t* eoc = nullptr;
    g_asn1_open(&ctx, const_cast<uint8_t*>(message), length, ASN1_DEC);
    if (!snmp_expect_header(&ctx, &eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ) ||
        !snmp_uint_element_decode(&ctx, &info->version) ||
        !text_decode(&ctx, SNMP_MAX_COMMUNITY, info->community, &info->community_length)) {
        return 0;
    }
    if (!(v1 ? g_snmp_pdu_v1_decode(&ctx, pdu) : g_snmp_pdu_v2_decode(&ctx, pdu))) return 0;
    return g_asn1_eoc_decode(&ctx, eoc);
}

// Releases the request's slot and reports where the response goes.
int release_slot(snmp_request_slots* slots, const snmp_message_info* info, snmp_reply* reply,
                 uint32_t* message_id) {
    if (!slots) return 1;
    return snmp_request_slot_free(slots, info->slot, message_id, &reply->port, reply->address);
}

int finish(asn1_context* ctx, uint8_t* eoc, snmp_reply* reply) {
    if (!g_asn1_header_encode(ctx, eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ)) return 0;
    g_asn1_close(ctx, &reply->start, &reply->length);
    return 1;
}

int community_message_encode(uint32_t version, const char* community, const snmp_pdu* pdu,
                             uint8_t* buffer, uint32_t size, snmp_reply* reply) {
    asn1_context ctx;
    uint8_t* eoc = nullptr;
    g_asn1_open(&ctx, buffer, size, ASN1_ENC);
    g_asn1_eoc_encode(&ctx, &eoc);
    const int pdu_ok =
        version == 0 ? g_snmp_pdu_v1_encode(&ctx, pdu) : g_snmp_pdu_v2_encode(&ctx, pdu);
    return pdu_ok && text_encode(&ctx, community, SNMP_MAX_COMMUNITY) &&
           snmp_uint_element_encode(&ctx, ASN1_UNI, ASN1_INT, version) && finish(&ctx, eoc, reply);
}

} // namespace

void snmp_set_in_get_responses_counter(void (*counter)()) {
    in_get_responses_counter() = counter ? counter : no_counter;
}

int snmp_request_slot_alloc(snmp_request_slots* slots, uint32_t* index) {
    for (uint32_t i = 0; i < SNMP_REQUEST_SLOTS; ++i) {
        if (!slots->slot[i].in_use) {
            slots->slot[i] = snmp_request_slot{1, 0, 0, {0, 0, 0, 0}};
            *index = i;
            return 1;
        }
    }
    return 0;
}

int snmp_request_slot_free(snmp_request_slots* slots, uint32_t index, uint32_t* message_id,
                           uint32_t* port, uint8_t address[4]) {
    if (index >= SNMP_REQUEST_SLOTS || !slots->slot[index].in_use) return 0;
    snmp_request_slot& slot = slots->slot[index];
    if (message_id) *message_id = slot.message_id;
    if (port) *port = slot.port;
    if (address) std::memcpy(address, slot.address, 4);
    slot.in_use = 0;
    return 1;
}

int snmp_message_version(const uint8_t* message, uint32_t length, uint32_t* version) {
    asn1_context ctx;
    uint8_t* eoc = nullptr;
    g_asn1_open(&ctx, const_cast<uint8_t*>(message), length, ASN1_DEC);
    return snmp_expect_header(&ctx, &eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ) &&
           snmp_uint_element_decode(&ctx, version);
}

int snmp_v1_message_decode(snmp_request_slots* slots, uint16_t port, const uint8_t address[4],
                           const uint8_t* message, uint32_t length, snmp_message_info* info,
                           snmp_pdu* pdu) {
    info_clear(info);
    if (!community_message_decode(message, length, info, pdu, true) || info->version != 0) {
        return 0;
    }
    info->message_model = 0;
    info->security_model = 1;
    info->pdu_version = 0;
    if (pdu->type == SNMP_PDU_RESPONSE) in_get_responses_counter()();
    return take_slot(slots, port, address, info, pdu);
}

int snmp_v2c_message_decode(snmp_request_slots* slots, uint16_t port, const uint8_t address[4],
                            const uint8_t* message, uint32_t length, snmp_message_info* info,
                            snmp_pdu* pdu) {
    info_clear(info);
    if (!community_message_decode(message, length, info, pdu, false)) return 0;
    if (info->version != 1 && info->version != 2) return 0;
    info->message_model = info->version;
    info->security_model = 2;
    info->pdu_version = 2;
    return take_slot(slots, port, address, info, pdu);
}

int snmp_v3_message_decode(snmp_request_slots* slots, uint16_t port, const uint8_t address[4],
                           const uint8_t* message, uint32_t length, snmp_message_info* info,
                           snmp_pdu* pdu) {
    asn1_context ctx;
    uint8_t* eoc = nullptr;
    uint8_t* header_eoc = nullptr;
    uint8_t* scoped_eoc = nullptr;
    uint8_t flags[4] = {};
    uint32_t flags_length = 0;
    info_clear(info);
    g_asn1_open(&ctx, const_cast<uint8_t*>(message), length, ASN1_DEC);
    if (!snmp_expect_header(&ctx, &eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ) ||
        !snmp_uint_element_decode(&ctx, &info->version) || info->version != 3 ||
        !snmp_expect_header(&ctx, &header_eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ) ||
        !snmp_uint_element_decode(&ctx, &info->message_id) ||
        !snmp_uint_element_decode(&ctx, &info->max_size) ||
        !text_decode(&ctx, sizeof flags - 1, reinterpret_cast<char*>(flags), &flags_length) ||
        !snmp_uint_element_decode(&ctx, &info->security_model) ||
        !g_asn1_eoc_decode(&ctx, header_eoc) ||
        !text_decode(&ctx, SNMP_MAX_COMMUNITY, info->community, &info->community_length) ||
        !snmp_expect_header(&ctx, &scoped_eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ) ||
        !text_decode(&ctx, SNMP_MAX_CONTEXT, info->context_engine_id,
                     &info->context_engine_id_length) ||
        !text_decode(&ctx, SNMP_MAX_CONTEXT, info->context_name, &info->context_name_length) ||
        !g_snmp_pdu_v2_decode(&ctx, pdu) || !g_asn1_eoc_decode(&ctx, scoped_eoc) ||
        !g_asn1_eoc_decode(&ctx, eoc)) {
        return 0;
    }
    info->message_model = 3;
    info->security_level = flags[0] & 0x03u;
    info->pdu_version = 2;
    return take_slot(slots, port, address, info, pdu);
}

int snmp_v1_response_encode(snmp_request_slots* slots, const snmp_message_info* info,
                            const snmp_pdu* pdu, uint8_t* buffer, uint32_t size,
                            snmp_reply* reply) {
    if (!release_slot(slots, info, reply, nullptr)) return 0;
    if (info->message_model != 0 || info->security_model > 1 || info->security_level != 0 ||
        info->pdu_version != 0) {
        return 0;
    }
    std::memset(buffer, 0, size);
    return community_message_encode(0, info->community, pdu, buffer, size, reply);
}

int snmp_v2c_response_encode(snmp_request_slots* slots, const snmp_message_info* info,
                             const snmp_pdu* pdu, uint8_t* buffer, uint32_t size,
                             snmp_reply* reply) {
    if (!release_slot(slots, info, reply, nullptr)) return 0;
    if (info->message_model != 1 || info->security_model > 2 || info->security_level != 0 ||
        info->pdu_version != 2) {
        return 0;
    }
    return community_message_encode(1, info->community, pdu, buffer, size, reply);
}

int snmp_v3_response_encode(snmp_request_slots* slots, const snmp_message_info* info,
                            const snmp_pdu* pdu, uint8_t* buffer, uint32_t size,
                            snmp_reply* reply) {
    uint32_t message_id = info->message_id;
    if (!release_slot(slots, info, reply, &message_id)) return 0;
    if (info->message_model != 3 || info->security_model == 1 || info->security_model == 2 ||
        info->pdu_version != 2) {
        return 0;
    }
    const uint32_t security_model = info->security_model ? info->security_model : 3;
    const uint8_t flags = 0x00; // no authentication, no privacy, not reportable
    asn1_context ctx;
    uint8_t* eoc = nullptr;
    uint8_t* header_eoc = nullptr;
    g_asn1_open(&ctx, buffer, size, ASN1_ENC);
    g_asn1_eoc_encode(&ctx, &eoc);
    // Security parameters and the context engine id are binary: they go back
    // with their received lengths rather than up to a first zero octet.
    if (!g_snmp_scoped_pdu_encode(&ctx, pdu,
                                  reinterpret_cast<const uint8_t*>(info->context_engine_id),
                                  bounded(info->context_engine_id_length, SNMP_MAX_CONTEXT),
                                  reinterpret_cast<const uint8_t*>(info->context_name),
                                  bounded(info->context_name_length, SNMP_MAX_CONTEXT)) ||
        !snmp_octets_element_encode(&ctx, ASN1_UNI, ASN1_OTS,
                                    reinterpret_cast<const uint8_t*>(info->community),
                                    bounded(info->community_length, SNMP_MAX_COMMUNITY))) {
        return 0;
    }
    g_asn1_eoc_encode(&ctx, &header_eoc);
    return snmp_uint_element_encode(&ctx, ASN1_UNI, ASN1_INT, security_model) &&
           snmp_octets_element_encode(&ctx, ASN1_UNI, ASN1_OTS, &flags, 1) &&
           snmp_uint_element_encode(&ctx, ASN1_UNI, ASN1_INT, SNMP_MESSAGE_BUFFER) &&
           snmp_uint_element_encode(&ctx, ASN1_UNI, ASN1_INT, message_id) &&
           g_asn1_header_encode(&ctx, header_eoc, ASN1_UNI, ASN1_CON, ASN1_SEQ) &&
           snmp_uint_element_encode(&ctx, ASN1_UNI, ASN1_INT, 3) && finish(&ctx, eoc, reply);
}

int snmp_v1_message_encode(const char* community, const snmp_pdu* pdu, uint8_t* buffer,
                           uint32_t size, uint8_t** start, uint32_t* length) {
    snmp_reply reply{};
    if (!community_message_encode(0, community, pdu, buffer, size, &reply)) return 0;
    *start = reply.start;
    *length = reply.length;
    return 1;
}
