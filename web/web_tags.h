// The web pages' server tags and form fields, which name objects by dotted
// OID text ("1.3.6.1.2.1.1.3.0" or "1,3,6,1,2,1,1,3,0"):
//
//   tag in a page template:  $%OID,TYPE ... #$         TYPE: INT STR OCT IP
//   field name in a form:    "$*OID,TYPE[,FLAGS]#$"    FLAGS: n (notify), v (validate)
//
// A tag is replaced by the object's value: INT and IP in decimal (an address
// is one integer), STR as its bytes, OCT in base64; text values are
// HTML-escaped. A posted field writes its value into the object. The four
// types are one table {suffix, reader, writer, page writer}; a tag with no
// type or an OID text of 160 bytes or more produces and writes nothing.
#pragma once

#include <cstddef>
#include <cstdint>

const uint32_t WEB_OID_TEXT_BYTES = 160;
const uint32_t WEB_TAG_OCTETS = 2000;

// Write flags of a form field.
const uint8_t WEB_FLAG_NOTIFY = 0x1;   // letter n
const uint8_t WEB_FLAG_VALIDATE = 0x2; // letter v

// One tag or form field, cleared before each use.
struct web_tag {
    char oid[WEB_OID_TEXT_BYTES];
    char type[4]; // "INT", "STR", "OCT" or "IP" as written
    int32_t value;
    uint32_t length; // bytes of octets
    uint8_t octets[WEB_TAG_OCTETS];
    uint8_t flags;
    bool value_ok; // an INT field's value was a decimal number in 32 bits
};

// Finds the first type suffix (",INT", ",STR", ",OCT", ",IP", any letter
// case) in `text` before `stop` (the tag's "#$" or the field's closing
// quote; the end of the text when absent), never past `length` bytes. ->
// true with the OID text and type in `tag` and *consumed the offset just
// after the suffix; false (tag untouched) when there is none or the OID text
// does not fit.
bool web_split_tag(const char* text, size_t length, const char* stop, web_tag* tag,
                   size_t* consumed);

// Reads the object of the tag whose text follows "$%" (up to its "#$").
void web_resolve_tag(const char* text, size_t length, web_tag* tag);

// Appends the tag's value to `out` (at `*used` of `size` bytes) as its type
// writes it. -> false when it does not fit (nothing appended then).
bool web_write_tag(const web_tag& tag, char* out, size_t size, size_t* used);

// Appends `count` bytes to `out` (at `*used` of `size` bytes) with the
// characters that mean something in HTML (& < > " ' and NUL) written as
// entities. -> false when they do not all fit (nothing appended then).
bool web_append_escaped(const uint8_t* bytes, size_t count, char* out, size_t size, size_t* used);

// Parses the form field whose text follows "$*" up to the end of the body.
// -> false when the field names no type.
bool web_parse_post_field(const char* text, size_t length, web_tag* tag);

// Writes one parsed field into its object (the SET of the field's type with
// its write flags and every access right). -> true when written.
bool web_write_field(const web_tag& tag);

// Writes every "$*" field of a posted body. -> the number written.
int web_post_fields(const char* body, size_t length);
// Whether a posted body writes what the pages refuse in local control (a run,
// a blank, a stored message, an activation, a reset).
bool web_post_needs_central(const char* body, size_t length);

// After an INT field: a write of a dmsMessageStatus instance runs the
// message-table sweep.
void web_after_int_post(const char* oid, size_t length, uint32_t value);
// Before an OCT field is written: a dmsActivateMessage code gets the CRC of
// the message it names.
void web_fill_message_crc(const char* oid, uint32_t length, uint8_t* bytes, uint32_t* count,
                          uint32_t capacity);

// One key=value item of a URL's query.
struct web_key_value {
    char key[40];
    char value[40];
};
// Splits `text` at its first '=' (each further '=' starts the value again);
// both parts cleared first and cut to 39 bytes.
void web_split_key_value(const char* text, size_t length, web_key_value* pair);
