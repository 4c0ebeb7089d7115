// Helpers shared by the PDU codec and the message envelopes.
#pragma once

#include <cstdint>

#include "comm/snmp/asn1.h"

int snmp_fail(asn1_context* ctx, uint32_t error);
bool snmp_pdu_type_allowed(uint32_t type, bool v1);
// Decodes a header and checks its class, form and tag.
int snmp_expect_header(asn1_context* ctx, uint8_t** eoc, uint32_t cls, uint32_t con, uint32_t tag);
// A whole primitive element: unsigned number or octets, header in front.
int snmp_uint_element_encode(asn1_context* ctx, uint32_t cls, uint32_t tag, uint32_t value);
int snmp_octets_element_encode(asn1_context* ctx, uint32_t cls, uint32_t tag, const uint8_t* bytes,
                               uint32_t count);
// A universal primitive INTEGER read with the unsigned decoder.
int snmp_uint_element_decode(asn1_context* ctx, uint32_t* value);
