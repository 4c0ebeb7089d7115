// The event log's value writer, byte for byte: each SNMP type, the length
// forms, the room of a 512-byte buffer and the cut of a value too long.
#include "ntcip/schedule/event_log_ber.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string hex(const uint8_t* p, size_t n) {
    std::string out;
    char two[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%s%02X", i ? " " : "", p[i]);
        out += two;
    }
    return out;
}

struct Written {
    int result;
    std::string bytes;
    uint32_t used;
};

Written write(const std::function<int(ber_writer*)>& put, uint32_t capacity = 512) {
    std::vector<uint8_t> buffer(capacity);
    ber_writer w;
    EXPECT_EQ(BER_OK, ber_writer_init(&w, buffer.data(), capacity));
    int result = put(&w);
    return {result, hex(buffer.data(), w.used), w.used};
}

TEST(EventLogValueWriter, EncodesEachTypeAsTheAgentCarriesIt) {
    const uint32_t door[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 6, 0};
    const uint8_t address[] = {10, 1, 2, 3};
    const uint8_t hello[] = {'h', 'e', 'l', 'l', 'o'};
    const struct {
        const char* what;
        std::function<int(ber_writer*)> put;
        const char* expected;
    } cases[] = {
        {"octets", [&](ber_writer* w) { return ber_put_octets(w, hello, 5); },
         "04 05 68 65 6C 6C 6F"},
        {"empty octets", [&](ber_writer* w) { return ber_put_octets(w, hello, 0); }, "04 00"},
        {"door OID", [&](ber_writer* w) { return ber_put_oid(w, door, 13); },
         "06 0D 2B 06 01 04 01 89 36 04 02 03 09 06 00"},
        {"IpAddress", [&](ber_writer* w) { return ber_put_ipaddress(w, address); },
         "40 04 0A 01 02 03"},
        {"integer 0", [](ber_writer* w) { return ber_put_integer(w, 0); }, "02 01 00"},
        {"integer 127", [](ber_writer* w) { return ber_put_integer(w, 127); }, "02 01 7F"},
        {"integer 128", [](ber_writer* w) { return ber_put_integer(w, 128); }, "02 02 00 80"},
        {"integer -1", [](ber_writer* w) { return ber_put_integer(w, -1); }, "02 01 FF"},
        {"integer -129", [](ber_writer* w) { return ber_put_integer(w, -129); }, "02 02 FF 7F"},
        {"integer minimum", [](ber_writer* w) { return ber_put_integer(w, INT32_MIN); },
         "02 04 80 00 00 00"},
        {"counter 0", [](ber_writer* w) { return ber_put_counter(w, 0); }, "41 01 00"},
        {"counter 200", [](ber_writer* w) { return ber_put_counter(w, 200); }, "41 02 00 C8"},
        {"counter max", [](ber_writer* w) { return ber_put_counter(w, 0xFFFFFFFFu); },
         "41 05 00 FF FF FF FF"},
        {"counter 65536", [](ber_writer* w) { return ber_put_counter(w, 65536); },
         "41 03 01 00 00"},
        {"timeticks 100", [](ber_writer* w) { return ber_put_timeticks(w, 100); }, "43 01 64"},
        {"gauge 128", [](ber_writer* w) { return ber_put_gauge(w, 128); }, "42 02 00 80"},
        {"null", [](ber_writer* w) { return ber_put_null(w); }, "05 00"},
    };
    for (const auto& c : cases) {
        Written out = write(c.put);
        EXPECT_EQ(BER_OK, out.result) << c.what;
        EXPECT_EQ(c.expected, out.bytes) << c.what;
    }
}

TEST(EventLogValueWriter, LongOctetsTakeTheLongLengthAndAreCutToTheRoom) {
    std::vector<uint8_t> value(600);
    for (size_t i = 0; i < value.size(); ++i)
        value[i] = uint8_t(i);

    Written long_value = write([&](ber_writer* w) { return ber_put_octets(w, value.data(), 300); });
    EXPECT_EQ(BER_OK, long_value.result);
    EXPECT_EQ("04 82 01 2C 00 01", long_value.bytes.substr(0, 17));
    EXPECT_EQ(304u, long_value.used);

    Written short_long = write([&](ber_writer* w) { return ber_put_octets(w, value.data(), 200); });
    EXPECT_EQ("04 81 C8 00", short_long.bytes.substr(0, 11));

    // 511 bytes free: the room is 507, the encoding 511 bytes.
    Written cut = write([&](ber_writer* w) { return ber_put_octets(w, value.data(), 600); });
    EXPECT_EQ(BER_CUT, cut.result);
    EXPECT_EQ("04 82 01 FB 00 01", cut.bytes.substr(0, 17));
    EXPECT_EQ(511u, cut.used);
}

TEST(EventLogValueWriter, RoomAndCursorLimits) {
    uint8_t buffer[512];
    ber_writer w;
    ASSERT_EQ(BER_OK, ber_writer_init(&w, buffer, sizeof buffer));
    EXPECT_EQ(507u, ber_writer_room(&w));
    EXPECT_EQ(BER_NO_BACK, ber_writer_back(&w));

    // A full cursor refuses every writer and moves no further.
    const uint8_t one = 1;
    while (ber_writer_advance(&w) == BER_OK) {
    }
    EXPECT_EQ(511u, w.used);
    EXPECT_EQ(0u, ber_writer_room(&w));
    EXPECT_EQ(BER_FULL, ber_put_octets(&w, &one, 1));
    EXPECT_EQ(BER_FULL, ber_put_integer(&w, 1));
    EXPECT_EQ(BER_FULL, ber_put_null(&w));
    EXPECT_EQ(511u, w.used);
    EXPECT_EQ(BER_OK, ber_writer_back(&w));
    EXPECT_EQ(510u, w.used);

    // Three bytes free: room for a one-byte content, never a part of an integer.
    uint8_t small[4];
    ASSERT_EQ(BER_OK, ber_writer_init(&w, small, sizeof small));
    EXPECT_EQ(1u, ber_writer_room(&w));
    EXPECT_EQ(BER_FULL, ber_put_counter(&w, 200));
    EXPECT_EQ(0u, w.used);
    EXPECT_EQ(BER_CUT, ber_put_octets(&w, small, 3));
    EXPECT_EQ(3u, w.used);

    EXPECT_EQ(BER_MISSING, ber_writer_init(nullptr, buffer, 512));
    EXPECT_EQ(BER_MISSING, ber_writer_init(&w, nullptr, 512));
    EXPECT_EQ(BER_MISSING, ber_put_octets(nullptr, &one, 1));
    EXPECT_EQ(BER_MISSING, ber_put_ipaddress(&w, nullptr));
}

TEST(EventLogValueWriter, LargeSubIdentifiersTakeTheFullBase128Form) {
    const struct {
        const char* what;
        std::vector<uint32_t> oid;
        const char* expected;
    } cases[] = {
        {"two octets", {1, 3, 16383}, "06 03 2B FF 7F"},
        {"three octets", {1, 3, 16384}, "06 04 2B 81 80 00"},
        {"largest", {1, 3, 0xFFFFFFFFu}, "06 06 2B 8F FF FF FF 7F"},
        {"first two above 127", {2, 100, 5}, "06 03 81 34 05"},
        {"first above 2", {7, 0}, "06 02 82 18"},
        {"one sub-identifier", {1}, "06 01 00"},
        {"none", {}, "06 01 00"},
    };
    for (const auto& c : cases) {
        Written out = write(
            [&](ber_writer* w) { return ber_put_oid(w, c.oid.data(), uint32_t(c.oid.size())); });
        EXPECT_EQ(BER_OK, out.result) << c.what;
        EXPECT_EQ(c.expected, out.bytes) << c.what;
    }
}

TEST(EventLogValueWriter, AnOidTooLongIsCutToWholeSubIdentifiers) {
    // 40 sub-identifiers of five octets each: 196 content octets, more than
    // one length octet can say. Whole sub-identifiers up to 127 octets remain.
    std::vector<uint32_t> oid(40, 0xFFFFFFFFu);
    oid[0] = 1;
    oid[1] = 3;
    Written out = write([&](ber_writer* w) { return ber_put_oid(w, oid.data(), 40); });
    EXPECT_EQ(BER_CUT, out.result);
    EXPECT_EQ("06 7E 2B 8F", out.bytes.substr(0, 11)); // 1 + 25 x 5 octets
    EXPECT_EQ(2u + 126u, out.used);

    // In a small buffer the room decides, and the length stays exact.
    Written small = write([&](ber_writer* w) { return ber_put_oid(w, oid.data(), 40); }, 12);
    EXPECT_EQ(BER_CUT, small.result);
    EXPECT_EQ("06 06 2B 8F FF FF FF 7F", small.bytes);
}

} // namespace
