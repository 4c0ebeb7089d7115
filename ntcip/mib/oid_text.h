// Object access by dotted OID text ("1.3.6.1.2.1.1.5.0"): code outside the
// SNMP agent (web pages, the start-up script, private handlers) reads and
// writes any served object with the same lookup, checks, write permission
// and handlers as an SNMP request.
//
// Each call takes a request record from a small static pool (never the
// caller's stack) and gives it back; nothing is kept between calls. A SET
// holds the SET lock for its whole length and runs the checks and the write
// in one lookup. Results: 1 done, 0 not (null or malformed text, more than
// 40 numbers, no such object, a refused value or permission, a value longer
// than 2000 bytes, the wrong getter for the object's type, the pool in use).
// A SET of a read-only object writes nothing and still gives 1.
#pragma once

#include <cstdint>

// Override flags of the setters: the write is notified (bit 0) and
// validated by the store (bit 1).
constexpr unsigned OID_TEXT_NOTIFY = 1;
constexpr unsigned OID_TEXT_VALIDATE = 2;

int snmp_get_integer_by_oid_text(const char* text, uint32_t length, uint32_t* value);
int snmp_get_integer_by_oid_text2(const char* text, uint32_t length, uint32_t* value);
// Copies at most `size` bytes of the value; *out_length is the count copied.
int snmp_get_octets_by_oid_text(const char* text, uint32_t length, uint8_t* buffer, uint32_t size,
                                uint32_t* out_length);
// The value (at most `size` bytes read) in base64, NUL-terminated, into `out`.
int snmp_get_octets_base64_by_oid_text(const char* text, uint32_t length, char* out, uint32_t size,
                                       uint32_t* out_length);

int snmp_set_integer_by_oid_text(const char* text, uint32_t length, uint32_t value,
                                 unsigned override_flags, uint32_t permission_mask);
int snmp_set_octets_by_oid_text(const char* text, uint32_t length, const uint8_t* bytes,
                                uint32_t count, unsigned override_flags, uint32_t permission_mask);
// Called with the decoded bytes before they are set; may change the bytes
// and their count (at most `capacity`).
using oid_text_octets_hook = void (*)(const char* text, uint32_t length, uint8_t* bytes,
                                      uint32_t* count, uint32_t capacity);
int snmp_set_octets_base64_by_oid_text(const char* text, uint32_t length, const char* base64,
                                       uint32_t base64_length, unsigned override_flags,
                                       uint32_t permission_mask, oid_text_octets_hook hook);

// The same setters reporting the lookup's error (mib_error) in *error.
int oid_text_set_integer(const char* text, uint32_t length, uint32_t value, unsigned override_flags,
                         uint32_t permission_mask, int* error);
int oid_text_set_octets(const char* text, uint32_t length, const uint8_t* bytes, uint32_t count,
                        unsigned override_flags, uint32_t permission_mask, int* error);

// Lets the start-up script set every object through these setters.
void oid_text_attach_script();
