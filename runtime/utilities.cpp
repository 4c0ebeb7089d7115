#include "runtime/utilities.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

// ---- LIST ----

namespace {

const uint8_t LIST_MAGIC[4] = {'L', 'I', 'S', 'T'};
const uint8_t DEAD_MAGIC[4] = {'U', 'I', 'S', 'T'};

bool list_valid(const util_list* list) {
    return memcmp(list->magic, LIST_MAGIC, 4) == 0;
}

// Common checks and node allocation of the insertion operations.
int new_node(util_list* list, util_list_node** out, util_list_node** node) {
    if (!list || !out) return UTIL_LIST_NULL;
    if (!list_valid(list)) return UTIL_LIST_INVALID;
    *node = new (std::nothrow) util_list_node{nullptr, nullptr, nullptr};
    if (!*node) return UTIL_LIST_NO_MEMORY;
    *out = *node;
    list->changes++;
    return UTIL_LIST_OK;
}

// Link `node` between `before` and `after` (either may be null at the ends).
void link_between(util_list* list, util_list_node* before, util_list_node* node,
                  util_list_node* after) {
    node->prev = before;
    node->next = after;
    if (before)
        before->next = node;
    else
        list->head = node;
    if (after)
        after->prev = node;
    else
        list->tail = node;
}

} // namespace

int util_list_create(util_list* list, uint8_t type, uint8_t flags) {
    if (!list) return UTIL_LIST_NULL;
    if (list_valid(list)) return UTIL_LIST_ALREADY_VALID;
    if (type != 1 || flags != 0) return UTIL_LIST_BAD_TYPE;
    list->type = type;
    list->flags = flags;
    list->changes = 0;
    list->head = list->tail = nullptr;
    memcpy(list->magic, LIST_MAGIC, 4);
    return UTIL_LIST_OK;
}

int util_list_destroy(util_list* list) {
    if (!list) return UTIL_LIST_NULL;
    if (!list_valid(list)) return UTIL_LIST_INVALID;
    while (list->head)
        util_list_remove(list, list->head);
    memcpy(list->magic, DEAD_MAGIC, 4);
    return UTIL_LIST_OK;
}

int util_list_append(util_list* list, util_list_node** out) {
    util_list_node* node = nullptr;
    int rc = new_node(list, out, &node);
    if (rc == UTIL_LIST_OK) link_between(list, list->tail, node, nullptr);
    return rc;
}

int util_list_add_first(util_list* list, util_list_node** out) {
    util_list_node* node = nullptr;
    int rc = new_node(list, out, &node);
    if (rc == UTIL_LIST_OK) link_between(list, nullptr, node, list->head);
    return rc;
}

int util_list_insert_after(util_list* list, util_list_node* at, util_list_node** out) {
    if (!at) return UTIL_LIST_NULL;
    util_list_node* node = nullptr;
    int rc = new_node(list, out, &node);
    if (rc == UTIL_LIST_OK) link_between(list, at, node, at->next);
    return rc;
}

int util_list_insert_before(util_list* list, util_list_node* at, util_list_node** out) {
    if (!at) return UTIL_LIST_NULL;
    util_list_node* node = nullptr;
    int rc = new_node(list, out, &node);
    if (rc == UTIL_LIST_OK) link_between(list, at->prev, node, at);
    return rc;
}

int util_list_remove(util_list* list, util_list_node* node) {
    if (!list || !node) return UTIL_LIST_NULL;
    if (!list_valid(list)) return UTIL_LIST_INVALID;
    if (!list->head) return UTIL_LIST_EMPTY;
    if (node->prev)
        node->prev->next = node->next;
    else
        list->head = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        list->tail = node->prev;
    list->changes++;
    delete node;
    return UTIL_LIST_OK;
}

// ---- base64 ----

namespace {

const char BASE64_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

uint8_t base64_value(char c) {
    const char* at = c ? strchr(BASE64_ALPHABET, c) : nullptr;
    return at ? static_cast<uint8_t>(at - BASE64_ALPHABET) : 0;
}

} // namespace

int base64_encode(const uint8_t* bytes, size_t count, char* text, size_t capacity, size_t* length) {
    size_t needed = (count + 2) / 3 * 4;
    if (!text || (count && !bytes) || needed >= capacity) return 2;
    size_t out = 0;
    for (size_t i = 0; i < count; i += 3) {
        size_t left = count - i;
        uint32_t group = bytes[i] << 16;
        if (left > 1) group |= bytes[i + 1] << 8;
        if (left > 2) group |= bytes[i + 2];
        text[out++] = BASE64_ALPHABET[(group >> 18) & 63];
        text[out++] = BASE64_ALPHABET[(group >> 12) & 63];
        text[out++] = left > 1 ? BASE64_ALPHABET[(group >> 6) & 63] : '=';
        text[out++] = left > 2 ? BASE64_ALPHABET[group & 63] : '=';
    }
    text[out] = '\0';
    if (length) *length = out;
    return 0;
}

int base64_decode(const char* text, size_t length, uint8_t* bytes, size_t capacity, size_t* count) {
    if ((length * 3 + 6) / 4 > capacity || (length && (!text || !bytes))) return 2;
    size_t out = 0;
    for (size_t i = 0; i + 4 <= length; i += 4) {
        const char* g = text + i;
        uint32_t group = base64_value(g[0]) << 18 | base64_value(g[1]) << 12 |
                         base64_value(g[2]) << 6 | base64_value(g[3]);
        bytes[out++] = static_cast<uint8_t>(group >> 16);
        if (g[2] == '=') continue;
        bytes[out++] = static_cast<uint8_t>(group >> 8);
        if (g[3] == '=') continue;
        bytes[out++] = static_cast<uint8_t>(group);
    }
    if (count) *count = out;
    return 0;
}

bool base64_valid(const char* text, size_t length) {
    if ((length && text == nullptr) || length % 4 != 0) return false;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        const bool padding = c == '=' && i + 2 >= length && (i + 1 == length || text[i + 1] == '=');
        if (!padding && (c == '\0' || strchr(BASE64_ALPHABET, c) == nullptr)) return false;
    }
    return true;
}

int base64_encode_table(char* table, size_t size) {
    if (!table || size < 64) return 0;
    memcpy(table, BASE64_ALPHABET, 64);
    return 1;
}

int base64_decode_table(uint8_t* table, size_t size) {
    if (!table || size < 128) return 0;
    memset(table, 0, 128);
    for (int i = 0; i < 64; i++)
        table[static_cast<uint8_t>(BASE64_ALPHABET[i])] = i;
    return 1;
}

// ---- CRC-16 ----

namespace {

struct crc16_table_s {
    uint16_t entry[256];
    crc16_table_s() {
        for (unsigned i = 0; i < 256; i++) {
            uint16_t v = i;
            for (int bit = 0; bit < 8; bit++)
                v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
            entry[i] = v;
        }
    }
};

const crc16_table_s& crc16_table() {
    static const crc16_table_s table;
    return table;
}

uint16_t crc16_run(uint16_t value, const uint8_t* p, size_t count) {
    const uint16_t* t = crc16_table().entry;
    for (size_t i = 0; i < count; i++)
        value = (value >> 8) ^ t[(value ^ p[i]) & 0xFF];
    return value;
}

uint16_t crc16_finishing(uint16_t value, uint32_t flags) {
    if (flags & CRC16_COMPLEMENT) value = ~value;
    if (flags & CRC16_SWAP) value = static_cast<uint16_t>(value << 8 | value >> 8);
    return value;
}

} // namespace

int crc16_init(crc16_state* state, uint16_t initial) {
    if (!state || state->marker == CRC16_OPEN) return 1;
    state->marker = CRC16_OPEN;
    state->value = initial;
    return 0;
}

int crc16_update(crc16_state* state, const void* bytes, size_t count) {
    if (!state || state->marker != CRC16_OPEN || (count && !bytes)) return 2;
    state->value = crc16_run(state->value, static_cast<const uint8_t*>(bytes), count);
    return 0;
}

int crc16_get(const crc16_state* state, uint16_t* value, uint32_t flags) {
    if (!state || !value || state->marker != CRC16_OPEN) return 2;
    *value = crc16_finishing(state->value, flags);
    return 0;
}

int crc16_finish(crc16_state* state) {
    if (!state || state->marker != CRC16_OPEN) return 2;
    state->marker = CRC16_CLOSED;
    return 0;
}

uint16_t crc16(const void* bytes, size_t count, uint16_t initial, uint32_t flags) {
    uint16_t v = bytes ? crc16_run(initial, static_cast<const uint8_t*>(bytes), count) : initial;
    return crc16_finishing(v, flags);
}

// ---- text ----

namespace {

int fold(int c) {
    c &= 0xFF;
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

int util_stricmp(const char* a, const char* b) {
    for (;; a++, b++) {
        int d = fold(*a) - fold(*b);
        if (d != 0 || *a == '\0') return d;
    }
}

int util_strnicmp(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; i++) {
        int d = fold(a[i]) - fold(b[i]);
        if (d != 0) return d < 0 ? -1 : 1;
    }
    return 0;
}

void str_tolower(char* text, size_t n) {
    if (!text) return;
    for (size_t i = 0; i < n; i++)
        text[i] = static_cast<char>(fold(text[i]));
}

unsigned hex_digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

uint32_t hex_to_u32(const char* text) {
    uint32_t value = 0;
    for (; text && *text; text++)
        value = value << 4 | hex_digit_value(*text);
    return value;
}

int parse_decimal_list(const char* text, size_t length, uint32_t* numbers, size_t capacity,
                       size_t* count) {
    if (!text || !numbers || !count) return 1;
    memset(numbers, 0, capacity * sizeof *numbers);
    *count = 0;
    size_t i = 0;
    while (i < length && text[i]) {
        if (!is_digit(text[i])) {
            i++;
            continue;
        }
        if (*count == capacity) return 2;
        uint32_t value = 0;
        for (; i < length && is_digit(text[i]); i++)
            value = value * 10 + (text[i] - '0');
        numbers[(*count)++] = value;
    }
    return 0;
}

int str_append_format(char* destination, size_t limit, char* scratch, size_t scratch_size,
                      const char* format, ...) {
    if (!destination || !scratch || !format || scratch_size == 0) return 2;
    memset(scratch, 0, scratch_size);
    va_list args;
    va_start(args, format);
    int n = vsnprintf(scratch, scratch_size, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= scratch_size) return 1;
    size_t used = strnlen(destination, limit);
    if (used + n >= limit) return 1;
    memcpy(destination + used, scratch, n + 1);
    return 0;
}

int str_replace_all(const char* text, const char* pattern, const char* replacement, char* output,
                    size_t output_size) {
    if (!text || !pattern || !replacement || !output) return -2;
    if (*pattern == '\0') return -3;
    if (output_size == 0) return -1;
    output[0] = '\0';
    size_t used = 0, plen = strlen(pattern), rlen = strlen(replacement);
    int replaced = 0;
    // Each piece is the text before an occurrence plus the replacement; the
    // last piece is the rest of the text.
    for (const char* at = text;;) {
        const char* hit = strstr(at, pattern);
        size_t before = hit ? static_cast<size_t>(hit - at) : strlen(at);
        size_t piece = before + (hit ? rlen : 0);
        if (used + piece >= output_size) return -1;
        memcpy(output + used, at, before);
        if (hit) memcpy(output + used + before, replacement, rlen);
        used += piece;
        output[used] = '\0';
        if (!hit) return replaced;
        replaced = 1;
        at = hit + plen;
    }
}

int is_leap_year(int year) {
    return (year % 4 == 0 && (year % 400 == 0 || year % 100 != 0));
}
