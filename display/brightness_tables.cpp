// The two built-in brightness tables, written into dmsIllumBrightnessValues
// in place of an invalid table or when feature bit 0x8 changes: 8 levels, or
// 248 levels whose photocell bands start at 1, follow each other without a
// gap and widen as the light grows, with light outputs in even steps of
// 264.25 up to the full 65535 of the last level.
#include "display/brightness.h"

namespace {

struct table_level {
    uint16_t output, down, up;
};

const table_level EIGHT_LEVELS[] = {
    {257, 1, 24},      {6500, 25, 56},    {12300, 57, 104},  {19500, 105, 148},
    {27400, 149, 204}, {36700, 205, 266}, {46200, 267, 398}, {65535, 399, 65535},
};

// The upper photocell bound of each of the 248 levels.
const uint16_t UPPER_BOUNDS[] = {
    1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,    15,  16,  17,  18,
    19,  20,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  31,  32,    34,  35,  36,  37,
    38,  39,  42,  44,  46,  48,  50,  52,  54,  56,  58,  62,  65,  67,    68,  70,  72,  74,
    76,  79,  81,  83,  85,  87,  89,  90,  91,  92,  93,  94,  95,  97,    98,  99,  101, 102,
    104, 105, 106, 108, 109, 111, 112, 114, 115, 117, 118, 119, 121, 122,   124, 125, 127, 128,
    130, 131, 133, 134, 136, 137, 139, 140, 142, 143, 145, 146, 148, 150,   151, 153, 154, 156,
    157, 159, 160, 162, 164, 165, 167, 168, 170, 172, 173, 175, 176, 178,   180, 181, 183, 185,
    186, 188, 189, 191, 193, 194, 196, 198, 199, 201, 203, 204, 206, 208,   209, 211, 213, 214,
    216, 218, 219, 221, 223, 225, 226, 228, 230, 231, 233, 235, 236, 238,   240, 242, 243, 245,
    247, 248, 250, 252, 254, 255, 257, 259, 261, 262, 264, 266, 267, 269,   271, 273, 274, 276,
    278, 280, 281, 283, 285, 287, 288, 290, 292, 293, 295, 297, 299, 300,   302, 304, 306, 307,
    309, 311, 312, 314, 316, 318, 319, 321, 323, 324, 326, 328, 330, 331,   333, 335, 336, 338,
    340, 341, 343, 345, 346, 348, 350, 351, 353, 355, 356, 358, 359, 361,   363, 364, 366, 368,
    369, 371, 372, 374, 376, 379, 382, 384, 386, 390, 393, 396, 398, 65535,
};
const uint32_t LEVELS = sizeof UPPER_BOUNDS / sizeof UPPER_BOUNDS[0];
static_assert(LEVELS * 6 + 1 == BRIGHTNESS_TABLE_248_BYTES, "248 levels of 6 bytes");
static_assert(sizeof EIGHT_LEVELS / sizeof EIGHT_LEVELS[0] * 6 + 1 == BRIGHTNESS_TABLE_8_BYTES,
              "8 levels of 6 bytes");

const uint16_t FULL_OUTPUT = 65535;

// Level k (from 1) of the 248: k x 264.25 rounded down, the last one full.
table_level level_of(uint32_t k) {
    const uint16_t down = k == 1 ? 1 : uint16_t(UPPER_BOUNDS[k - 2] + 1);
    const uint16_t output = k == LEVELS ? FULL_OUTPUT : uint16_t(k * 1057 / 4);
    return table_level{output, down, UPPER_BOUNDS[k - 1]};
}

uint8_t* put16(uint8_t* at, uint16_t value) {
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
    return at + 2;
}

uint8_t* put_level(uint8_t* at, const table_level& level) {
    return put16(put16(put16(at, level.output), level.down), level.up);
}

struct builtin_tables {
    uint8_t eight[BRIGHTNESS_TABLE_8_BYTES];
    uint8_t full[BRIGHTNESS_TABLE_248_BYTES];
    builtin_tables() {
        uint8_t* at = eight;
        *at++ = uint8_t(sizeof EIGHT_LEVELS / sizeof EIGHT_LEVELS[0]);
        for (const table_level& level : EIGHT_LEVELS)
            at = put_level(at, level);
        at = full;
        *at++ = uint8_t(LEVELS);
        for (uint32_t k = 1; k <= LEVELS; ++k)
            at = put_level(at, level_of(k));
    }
};

} // namespace

const uint8_t* builtin_brightness_table(bool eight_levels, uint32_t& length) {
    static const builtin_tables tables;
    length = eight_levels ? BRIGHTNESS_TABLE_8_BYTES : BRIGHTNESS_TABLE_248_BYTES;
    return eight_levels ? tables.eight : tables.full;
}
