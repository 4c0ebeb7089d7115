// Server tags and form fields: the scanners, the type table and the two
// hooks around a posted write.
#include "web/web_tags.h"

#include "display/display_entries.h"
#include "ntcip/mib/oid_text.h"
#include "runtime/console.h"
#include "runtime/utilities.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

const uint32_t ALL_ACCESS = 0xFFFFFFFFu;
const size_t MAX_OID_NUMBERS = 40;

const uint32_t MESSAGE_STATUS_PREFIX[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, 9};
const uint32_t ACTIVATE_MESSAGE[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 3, 0};
const char* const MESSAGE_CRC_FORMAT = "1.3.6.1.4.1.1206.4.2.3.5.8.1.5.%d.%d";

// What the pages write only while the sign is not in local control: a run or
// blank by number, the changeable message table, an activation and a reset.
const uint32_t RUN_BY_NUMBER[] = {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 27};
const uint32_t CHANGEABLE_TABLE[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8};
const uint32_t SOFTWARE_RESET[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 2};
const uint32_t ACTIVATION[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 3};
const struct {
    const uint32_t* numbers;
    size_t count;
} CENTRAL_ONLY[] = {
    {RUN_BY_NUMBER, std::size(RUN_BY_NUMBER)},
    {CHANGEABLE_TABLE, std::size(CHANGEABLE_TABLE)},
    {SOFTWARE_RESET, std::size(SOFTWARE_RESET)},
    {ACTIVATION, std::size(ACTIVATION)},
};

uint32_t oid_length(const web_tag& tag) {
    return uint32_t(std::strlen(tag.oid));
}

// ---- readers: the object into the tag; a failed read leaves 0 or nothing ----

void read_int(web_tag& tag) {
    uint32_t v = 0;
    if (snmp_get_integer_by_oid_text(tag.oid, oid_length(tag), &v)) tag.value = int32_t(v);
}

void read_ip(web_tag& tag) {
    uint32_t v = 0;
    if (snmp_get_integer_by_oid_text2(tag.oid, oid_length(tag), &v)) tag.value = int32_t(v);
}

void read_str(web_tag& tag) {
    uint32_t n = 0;
    if (snmp_get_octets_by_oid_text(tag.oid, oid_length(tag), tag.octets, WEB_TAG_OCTETS, &n))
        tag.length = n;
}

void read_oct(web_tag& tag) {
    uint32_t n = 0;
    if (snmp_get_octets_base64_by_oid_text(tag.oid, oid_length(tag),
                                           reinterpret_cast<char*>(tag.octets), WEB_TAG_OCTETS, &n))
        tag.length = n;
}

// ---- page writers ----

bool append(const char* text, size_t n, char* out, size_t size, size_t* used) {
    if (*used + n >= size) return false;
    std::memcpy(out + *used, text, n);
    *used += n;
    out[*used] = '\0';
    return true;
}

bool write_number(const web_tag& tag, char* out, size_t size, size_t* used) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "%d", int(tag.value));
    return append(text, size_t(n), out, size, used);
}

const char* escape_of(uint8_t c) {
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&#39;";
    case 0:
        return "&#0;";
    default:
        return nullptr;
    }
}

bool write_text(const web_tag& tag, char* out, size_t size, size_t* used) {
    uint32_t n = tag.length < WEB_TAG_OCTETS ? tag.length : WEB_TAG_OCTETS;
    return web_append_escaped(tag.octets, n, out, size, used);
}

// ---- object writers of form fields ----

bool set_int(const web_tag& tag) {
    trace_printf("INT %s, value:%d\n", tag.oid, int(tag.value));
    if (!tag.value_ok) return false;
    int done = snmp_set_integer_by_oid_text(tag.oid, oid_length(tag), uint32_t(tag.value),
                                            tag.flags, ALL_ACCESS);
    web_after_int_post(tag.oid, oid_length(tag), uint32_t(tag.value));
    return done == 1;
}

bool set_str(const web_tag& tag) {
    trace_printf("STR %s, string w/length:%d\n", tag.oid, int(tag.length));
    if (!tag.value_ok) return false;
    return snmp_set_octets_by_oid_text(tag.oid, oid_length(tag), tag.octets, tag.length, tag.flags,
                                       ALL_ACCESS) == 1;
}

bool names(const char* oid, size_t length, const uint32_t* expected, size_t n);

// A written activation code runs at once, as after the agent's SET (the
// object itself stores the code without announcing it).
bool set_oct(const web_tag& tag) {
    trace_printf("OCT %s, octets w/length:%d\n", tag.oid, int(tag.length));
    if (!tag.value_ok) return false;
    bool done = snmp_set_octets_base64_by_oid_text(
                    tag.oid, oid_length(tag), reinterpret_cast<const char*>(tag.octets), tag.length,
                    tag.flags, ALL_ACCESS, web_fill_message_crc) == 1;
    if (done && names(tag.oid, oid_length(tag), ACTIVATE_MESSAGE,
                      sizeof ACTIVATE_MESSAGE / sizeof ACTIVATE_MESSAGE[0]))
        activate_message();
    return done;
}

// ---- field values ----

// A decimal number in 32 bits (signed or not), with nothing else but
// trailing blanks.
bool parse_decimal(const char* text, size_t n, int32_t* value) {
    size_t i = 0;
    bool negative = i < n && text[i] == '-';
    if (i < n && (text[i] == '-' || text[i] == '+')) i++;
    size_t first = i;
    uint64_t v = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; i++) {
        v = v * 10 + uint64_t(text[i] - '0');
        if (v > 0xFFFFFFFFull) return false;
    }
    if (i == first) return false;
    for (; i < n; i++)
        if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n') return false;
    if (negative && v > 0x80000000ull) return false;
    *value = negative ? int32_t(-int64_t(v)) : int32_t(uint32_t(v));
    return true;
}

void value_int(web_tag& tag, const char* text, size_t n) {
    tag.value_ok = parse_decimal(text, n, &tag.value);
}

void value_bytes(web_tag& tag, const char* text, size_t n) {
    tag.value_ok = n <= WEB_TAG_OCTETS;
    if (!tag.value_ok) return;
    std::memcpy(tag.octets, text, n);
    tag.length = uint32_t(n);
}

struct tag_type {
    const char* suffix;
    void (*read)(web_tag&);
    bool (*write_page)(const web_tag&, char*, size_t, size_t*);
    void (*take_value)(web_tag&, const char*, size_t); // null: not a form field type
    bool (*set)(const web_tag&);
};

const tag_type TAG_TYPES[] = {
    {",INT", read_int, write_number, value_int, set_int},
    {",STR", read_str, write_text, value_bytes, set_str},
    {",OCT", read_oct, write_text, value_bytes, set_oct},
    {",IP", read_ip, write_number, nullptr, nullptr},
};

const tag_type* type_of(const web_tag& tag) {
    for (const tag_type& t : TAG_TYPES)
        if (tag.type[0] && util_stricmp(tag.type, t.suffix + 1) == 0) return &t;
    return nullptr;
}

const char* find_text(const char* text, size_t length, const char* what) {
    size_t n = std::strlen(what);
    for (size_t i = 0; i + n <= length; i++)
        if (std::memcmp(text + i, what, n) == 0) return text + i;
    return nullptr;
}

bool matches(const uint32_t* numbers, size_t count, const uint32_t* expected, size_t n) {
    if (count != n) return false;
    for (size_t i = 0; i < n; i++)
        if (numbers[i] != expected[i]) return false;
    return true;
}

// The OID text names exactly `expected`.
bool names(const char* oid, size_t length, const uint32_t* expected, size_t n) {
    uint32_t numbers[MAX_OID_NUMBERS];
    size_t count = 0;
    return parse_decimal_list(oid, length, numbers, MAX_OID_NUMBERS, &count) == 0 &&
           matches(numbers, count, expected, n);
}

} // namespace

bool web_append_escaped(const uint8_t* bytes, size_t count, char* out, size_t size, size_t* used) {
    size_t start = *used;
    for (size_t i = 0; i < count; i++) {
        const char* escape = escape_of(bytes[i]);
        char plain = char(bytes[i]);
        bool fits = escape ? append(escape, std::strlen(escape), out, size, used)
                           : append(&plain, 1, out, size, used);
        if (!fits) {
            *used = start;
            if (start < size) out[start] = '\0';
            return false;
        }
    }
    return true;
}

bool web_split_tag(const char* text, size_t length, const char* stop, web_tag* tag,
                   size_t* consumed) {
    const char* end = find_text(text, length, stop);
    size_t limit = end ? size_t(end - text) : length;
    for (size_t i = 0; i < limit; i++) {
        for (const tag_type& t : TAG_TYPES) {
            size_t n = std::strlen(t.suffix);
            if (i + n > limit || util_strnicmp(text + i, t.suffix, n) != 0) continue;
            if (i >= WEB_OID_TEXT_BYTES) return false;
            std::memcpy(tag->oid, text, i);
            tag->oid[i] = '\0';
            std::memcpy(tag->type, text + i + 1, n - 1);
            tag->type[n - 1] = '\0';
            *consumed = i + n;
            return true;
        }
    }
    return false;
}

void web_resolve_tag(const char* text, size_t length, web_tag* tag) {
    size_t consumed = 0;
    if (!web_split_tag(text, length, "#$", tag, &consumed)) return;
    const tag_type* type = type_of(*tag);
    if (type) type->read(*tag);
}

bool web_write_tag(const web_tag& tag, char* out, size_t size, size_t* used) {
    const tag_type* type = type_of(tag);
    return type ? type->write_page(tag, out, size, used) : true;
}

bool web_parse_post_field(const char* text, size_t length, web_tag* tag) {
    size_t at = 0;
    if (!web_split_tag(text, length, "\"", tag, &at)) return false;
    if (at < length && text[at] == ',') at++;
    for (; at < length && text[at] != '"'; at++) {
        if (text[at] == 'n' || text[at] == 'N') tag->flags |= WEB_FLAG_NOTIFY;
        if (text[at] == 'v' || text[at] == 'V') tag->flags |= WEB_FLAG_VALIDATE;
    }
    if (at < length) at++; // the closing quote
    while (at < length && (text[at] == '\r' || text[at] == '\n'))
        at++;
    const char* boundary = find_text(text + at, length - at, "\r\n--");
    size_t n = boundary ? size_t(boundary - (text + at)) : length - at;
    const tag_type* type = type_of(*tag);
    if (type && type->take_value) type->take_value(*tag, text + at, n);
    return true;
}

bool web_write_field(const web_tag& tag) {
    const tag_type* type = type_of(tag);
    return type && type->set && type->set(tag);
}

namespace {

// Each "$*" field of a posted body parsed into the server thread's one record
// (2 KB kept off its stack); `take` says whether to count it.
template <typename Take> int for_each_field(const char* body, size_t length, Take take) {
    static web_tag tag;
    int taken = 0;
    for (size_t i = 0; i + 1 < length; i++) {
        if (body[i] != '$' || body[i + 1] != '*') continue;
        std::memset(&tag, 0, sizeof tag);
        if (web_parse_post_field(body + i + 2, length - i - 2, &tag) && take(tag)) taken++;
    }
    return taken;
}

bool central_only(const web_tag& tag) {
    uint32_t numbers[MAX_OID_NUMBERS];
    size_t count = 0;
    if (parse_decimal_list(tag.oid, oid_length(tag), numbers, MAX_OID_NUMBERS, &count) != 0)
        return false;
    for (const auto& prefix : CENTRAL_ONLY)
        if (count >= prefix.count && matches(numbers, prefix.count, prefix.numbers, prefix.count))
            return true;
    return false;
}

} // namespace

int web_post_fields(const char* body, size_t length) {
    return for_each_field(body, length, [](const web_tag& tag) { return web_write_field(tag); });
}

bool web_post_needs_central(const char* body, size_t length) {
    return for_each_field(body, length, central_only) > 0;
}

void web_after_int_post(const char* oid, size_t length, uint32_t value) {
    (void)value;
    uint32_t numbers[MAX_OID_NUMBERS];
    size_t count = 0;
    const size_t prefix = sizeof MESSAGE_STATUS_PREFIX / sizeof MESSAGE_STATUS_PREFIX[0];
    if (parse_decimal_list(oid, length, numbers, MAX_OID_NUMBERS, &count) != 0 || count < 2 ||
        !matches(numbers, count - 2, MESSAGE_STATUS_PREFIX, prefix))
        return;
    validate_message();
}

void web_fill_message_crc(const char* oid, uint32_t length, uint8_t* bytes, uint32_t* count,
                          uint32_t capacity) {
    (void)capacity;
    const size_t code_bytes = 8; // up to the CRC
    if (!names(oid, length, ACTIVATE_MESSAGE,
               sizeof ACTIVATE_MESSAGE / sizeof ACTIVATE_MESSAGE[0]) ||
        !bytes || !count || *count < code_bytes)
        return;
    char crc_oid[64];
    int m = std::snprintf(crc_oid, sizeof crc_oid, MESSAGE_CRC_FORMAT, int(bytes[3]),
                          int(bytes[4] << 8 | bytes[5]));
    uint32_t crc = 0;
    if (!snmp_get_integer_by_oid_text(crc_oid, uint32_t(m), &crc)) return;
    bytes[6] = uint8_t(crc >> 8);
    bytes[7] = uint8_t(crc);
}

void web_split_key_value(const char* text, size_t length, web_key_value* pair) {
    std::memset(pair, 0, sizeof *pair);
    size_t k = 0, v = 0;
    bool in_value = false;
    for (size_t i = 0; i < length && text[i]; i++) {
        if (text[i] == '=') {
            in_value = true;
            std::memset(pair->value, 0, sizeof pair->value);
            v = 0;
        } else if (in_value) {
            if (v + 1 < sizeof pair->value) pair->value[v++] = text[i];
        } else if (k + 1 < sizeof pair->key) {
            pair->key[k++] = text[i];
        }
    }
}
