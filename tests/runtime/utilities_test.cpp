#include "runtime/utilities.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Crc16, X25CheckValueAndFinishingFlags) {
    const char* text = "123456789";
    EXPECT_EQ(0x906E, crc16(text, 9, 0xFFFF, CRC16_COMPLEMENT));
    EXPECT_EQ(0x6E90, crc16(text, 9, 0xFFFF, CRC16_COMPLEMENT | CRC16_SWAP));
    EXPECT_EQ(static_cast<uint16_t>(~0x906E), crc16(text, 9));

    crc16_state s{};
    EXPECT_EQ(0, crc16_init(&s, 0xFFFF));
    EXPECT_EQ(0, crc16_update(&s, text, 4));
    EXPECT_EQ(1, crc16_init(&s, 0x1234)); // still open: the running value stays
    EXPECT_EQ(0, crc16_update(&s, text + 4, 5));
    uint16_t v = 0;
    EXPECT_EQ(0, crc16_get(&s, &v, CRC16_COMPLEMENT));
    EXPECT_EQ(0x906E, v);
    EXPECT_EQ(0, crc16_finish(&s));
    EXPECT_EQ(CRC16_CLOSED, s.marker);
    EXPECT_EQ(2, crc16_update(&s, text, 1));
    EXPECT_EQ(2, crc16_get(&s, &v, 0));
    EXPECT_EQ(2, crc16_finish(&s));
    EXPECT_EQ(0, crc16_init(&s, 0xFFFF)); // a finished state opens again
}

struct base64_case {
    const char* bytes;
    const char* text;
};

TEST(Base64, EncodesAndDecodesTheRfcVectors) {
    const base64_case cases[] = {{"", ""},
                                 {"f", "Zg=="},
                                 {"fo", "Zm8="},
                                 {"foo", "Zm9v"},
                                 {"foob", "Zm9vYg=="},
                                 {"fooba", "Zm9vYmE="},
                                 {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        char text[16];
        size_t n = 99;
        ASSERT_EQ(0, base64_encode(reinterpret_cast<const uint8_t*>(c.bytes), strlen(c.bytes), text,
                                   sizeof text, &n));
        EXPECT_STREQ(c.text, text);
        EXPECT_EQ(strlen(c.text), n);
        uint8_t bytes[16];
        ASSERT_EQ(0, base64_decode(c.text, strlen(c.text), bytes, sizeof bytes, &n));
        EXPECT_EQ(std::string(c.bytes), std::string(reinterpret_cast<char*>(bytes), n));
    }
}

TEST(Base64, CapacityAndPartialGroups) {
    const uint8_t three[3] = {1, 2, 3};
    char small[5];
    size_t n = 0;
    EXPECT_EQ(2, base64_encode(three, 3, small, 4, &n)); // no room for the NUL
    EXPECT_EQ(0, base64_encode(three, 3, small, 5, &n));
    EXPECT_STREQ("AQID", small);

    uint8_t out[8];
    EXPECT_EQ(0, base64_decode("Zm8=", 4, out, sizeof out, &n));
    EXPECT_EQ(2u, n);
    EXPECT_EQ(0, base64_decode("Zm9vYm", 6, out, sizeof out, &n)); // partial group ignored
    EXPECT_EQ(3u, n);
    EXPECT_EQ(0, memcmp(out, "foo", 3));
    EXPECT_EQ(2, base64_decode("Zm9vYmFy", 8, out, 6, &n));      // (8*3+6)/4 = 7 > 6
    EXPECT_EQ(0, base64_decode("!!!!", 4, out, sizeof out, &n)); // outside the alphabet: 0
    EXPECT_EQ(3u, n);
    EXPECT_EQ(0, out[0]);

    char enc[64];
    uint8_t dec[128];
    EXPECT_EQ(0, base64_encode_table(enc, 63));
    EXPECT_EQ(1, base64_encode_table(enc, 64));
    EXPECT_EQ('/', enc[63]);
    EXPECT_EQ(0, base64_decode_table(dec, 127));
    EXPECT_EQ(1, base64_decode_table(dec, 128));
    EXPECT_EQ(62, dec['+']);
    EXPECT_EQ(0, dec['!']);
}

TEST(UtilList, LifeCycleAndResults) {
    util_list l;
    memset(&l, 0, sizeof l);
    EXPECT_EQ(UTIL_LIST_NULL, util_list_create(nullptr, 1, 0));
    EXPECT_EQ(UTIL_LIST_BAD_TYPE, util_list_create(&l, 2, 0));
    EXPECT_EQ(UTIL_LIST_OK, util_list_create(&l, 1, 0));
    EXPECT_EQ(UTIL_LIST_ALREADY_VALID, util_list_create(&l, 1, 0));

    util_list_node *a, *b, *c, *d;
    EXPECT_EQ(UTIL_LIST_OK, util_list_append(&l, &b));
    EXPECT_EQ(UTIL_LIST_OK, util_list_add_first(&l, &a));
    EXPECT_EQ(UTIL_LIST_OK, util_list_insert_after(&l, b, &d));
    EXPECT_EQ(UTIL_LIST_OK, util_list_insert_before(&l, d, &c));
    EXPECT_EQ(a, l.head);
    EXPECT_EQ(d, l.tail);
    EXPECT_EQ(b, a->next);
    EXPECT_EQ(c, b->next);
    EXPECT_EQ(d, c->next);
    EXPECT_EQ(c, d->prev);
    EXPECT_EQ(4, l.changes);
    EXPECT_EQ(UTIL_LIST_OK, util_list_remove(&l, b));
    EXPECT_EQ(c, a->next);
    EXPECT_EQ(UTIL_LIST_OK, util_list_destroy(&l));
    EXPECT_EQ(0, memcmp(l.magic, "UIST", 4));
    EXPECT_EQ(UTIL_LIST_INVALID, util_list_append(&l, &a));
    EXPECT_EQ(UTIL_LIST_OK, util_list_create(&l, 1, 0)); // a destroyed header can be reused
    EXPECT_EQ(UTIL_LIST_EMPTY, util_list_remove(&l, a));
}

TEST(Text, CompareAndParse) {
    EXPECT_EQ(0, util_stricmp("Hello", "hELLO"));
    EXPECT_LT(util_stricmp("abc", "abd"), 0);
    EXPECT_GT(util_stricmp("abcd", "abc"), 0);
    EXPECT_EQ(0, util_strnicmp("AB\0x", "ab\0y", 3));
    EXPECT_EQ(-1, util_strnicmp("AB\0x", "ab\0y", 4)); // does not stop at the NUL
    EXPECT_EQ(1, util_strnicmp("b", "A", 1));
    char text[] = "MiXeD";
    str_tolower(text, 3);
    EXPECT_STREQ("mixeD", text);
    str_tolower(nullptr, 3);

    EXPECT_EQ(11u, hex_digit_value('b'));
    EXPECT_EQ(15u, hex_digit_value('F'));
    EXPECT_EQ(0u, hex_digit_value('g'));
    EXPECT_EQ(0x1A2Bu, hex_to_u32("1a2B"));
    EXPECT_EQ(0x102u, hex_to_u32("1x2")); // other characters are 0 digits
    EXPECT_EQ(0x23456789u, hex_to_u32("123456789"));
    EXPECT_EQ(0u, hex_to_u32(nullptr));

    uint32_t numbers[8];
    size_t count = 0;
    EXPECT_EQ(0, parse_decimal_list("1.3.6.1.4.1", 11, numbers, 8, &count));
    EXPECT_EQ(6u, count);
    EXPECT_EQ(6u, numbers[2]);
    EXPECT_EQ(0,
              parse_decimal_list("12.345", 4, numbers, 8, &count)); // only the first 4 characters
    EXPECT_EQ(2u, count);
    EXPECT_EQ(3u, numbers[1]);
    EXPECT_EQ(2, parse_decimal_list("1.3.6", 5, numbers, 2, &count));
    EXPECT_EQ(1, parse_decimal_list(nullptr, 5, numbers, 2, &count));

    for (int year : {2000, 2016})
        EXPECT_EQ(1, is_leap_year(year)) << year;
    for (int year : {1900, 2015})
        EXPECT_EQ(0, is_leap_year(year)) << year;
}

TEST(Text, ReplaceAllStopsWhenTheOutputIsFull) {
    char out[16];
    EXPECT_EQ(1, str_replace_all("a\nb\n", "\n", "\r\n", out, 7));
    EXPECT_STREQ("a\r\nb\r\n", out);
    EXPECT_EQ(-1, str_replace_all("a\nb\n", "\n", "\r\n", out, 6));
    EXPECT_STREQ("a\r\n", out);
    EXPECT_EQ(0, str_replace_all("abc", "x", "y", out, sizeof out));
    EXPECT_STREQ("abc", out);
    EXPECT_EQ(1, str_replace_all("aaa", "aa", "b", out, sizeof out)); // no overlap
    EXPECT_STREQ("ba", out);
    EXPECT_EQ(-2, str_replace_all(nullptr, "a", "b", out, sizeof out));
    EXPECT_EQ(-3, str_replace_all("abc", "", "b", out, sizeof out));
}

TEST(Text, AppendFormatKeepsTheDestinationBounded) {
    char dest[12] = "abc";
    char scratch[8];
    EXPECT_EQ(0, str_append_format(dest, sizeof dest, scratch, sizeof scratch, "%d", 1234));
    EXPECT_STREQ("abc1234", dest);
    EXPECT_EQ(1, str_append_format(dest, sizeof dest, scratch, sizeof scratch, "%s", "VWXYZ"));
    EXPECT_STREQ("abc1234", dest); // would reach the limit: nothing appended
    EXPECT_EQ(1, str_append_format(dest, 64, scratch, sizeof scratch, "%s", "longer than 7"));
    EXPECT_EQ(2, str_append_format(dest, sizeof dest, scratch, 0, "x"));
    EXPECT_EQ(2, str_append_format(nullptr, 4, scratch, sizeof scratch, "x"));
}

} // namespace
