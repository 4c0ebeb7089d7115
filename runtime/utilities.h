// Small helpers shared across the firmware: the LIST of data pointers, base64,
// the CRC-16 accumulator of every stored checksum, text helpers and the
// leap-year test. Plain functions with integer results.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- LIST: a doubly linked list of data pointers with a validity marker ----
struct util_list_node {
    void* data; // set by the caller; the list never reads it
    util_list_node* next;
    util_list_node* prev;
};

struct util_list {
    uint8_t magic[4]; // "LIST" while valid, "UIST" after destroy
    uint8_t type;     // must be 1
    uint8_t flags;    // must be 0
    uint16_t changes; // +1 per insertion and removal (wraps)
    util_list_node* head;
    util_list_node* tail;
};

enum : int {
    UTIL_LIST_OK = 0,
    UTIL_LIST_NULL = 1,
    UTIL_LIST_EMPTY = 2,
    UTIL_LIST_ALREADY_VALID = 3,
    UTIL_LIST_INVALID = 4,
    UTIL_LIST_BAD_TYPE = 5,
    UTIL_LIST_NO_MEMORY = 6,
};

int util_list_create(util_list* list, uint8_t type, uint8_t flags);
int util_list_destroy(util_list* list);
int util_list_append(util_list* list, util_list_node** node);
int util_list_add_first(util_list* list, util_list_node** node);
int util_list_insert_after(util_list* list, util_list_node* at, util_list_node** node);
int util_list_insert_before(util_list* list, util_list_node* at, util_list_node** node);
int util_list_remove(util_list* list, util_list_node* node);

// ---- base64 (RFC 4648) ----
// -> 0; 2 when (count + 2) / 3 * 4 is not below the capacity (NUL needs room).
int base64_encode(const uint8_t* bytes, size_t count, char* text, size_t capacity, size_t* length);
// -> 0; 2 when (length * 3 + 6) / 4 exceeds the capacity. Whole groups of four only.
int base64_decode(const char* text, size_t length, uint8_t* bytes, size_t capacity, size_t* count);
// Whether `text` is whole base64: groups of four alphabet characters, '='
// only as the last one or two.
bool base64_valid(const char* text, size_t length);
// Build the 64-entry encode / 128-entry decode table; 0 when the buffer is short, else 1.
int base64_encode_table(char* table, size_t size);
int base64_decode_table(uint8_t* table, size_t size);

// ---- CRC-16 (reflected polynomial 0x8408, the X.25 table) ----
struct crc16_state {
    uint16_t marker; // 0x3136 "16" while open, 0x554E "UN" after finish
    uint16_t value;
};
const uint16_t CRC16_OPEN = 0x3136;
const uint16_t CRC16_CLOSED = 0x554E;
const uint32_t CRC16_COMPLEMENT = 2; // one's complement of the value
const uint32_t CRC16_SWAP = 4;       // swap its two bytes (after the complement)

int crc16_init(crc16_state* state, uint16_t initial);                     // 1 when already open
int crc16_update(crc16_state* state, const void* bytes, size_t count);    // 2 when not open
int crc16_get(const crc16_state* state, uint16_t* value, uint32_t flags); // 2 when not open
int crc16_finish(crc16_state* state);                                     // 2 when not open
// One-shot form: crc16(data, n, 0xFFFF, CRC16_COMPLEMENT) is CRC-16/X.25;
// journal records, font ids and message CRCs take CRC16_COMPLEMENT | CRC16_SWAP.
uint16_t crc16(const void* bytes, size_t count, uint16_t initial = 0xFFFF, uint32_t flags = 0);

// ---- text ----
int util_stricmp(const char* a, const char* b);
int util_strnicmp(const char* a, const char* b, size_t n); // -1, 0, 1 over exactly n bytes
void str_tolower(char* text, size_t n);
unsigned hex_digit_value(int character); // 0 for a non-hex character
uint32_t hex_to_u32(const char* text);
// Every run of decimal digits within length is one number. -> 0; 1 null; 2 too many.
int parse_decimal_list(const char* text, size_t length, uint32_t* numbers, size_t capacity,
                       size_t* count);
// Format into scratch, then append to destination when the text fits in limit
// (the destination's total length stays below limit). -> 0; 1 too long or format
// error; 2 null argument or scratch size 0.
int str_append_format(char* destination, size_t limit, char* scratch, size_t scratch_size,
                      const char* format, ...) __attribute__((format(printf, 5, 6)));
// -> 1 replaced, 0 none, -1 does not fit, -2 null argument, -3 empty pattern.
int str_replace_all(const char* text, const char* pattern, const char* replacement, char* output,
                    size_t output_size);
int is_leap_year(int year);
