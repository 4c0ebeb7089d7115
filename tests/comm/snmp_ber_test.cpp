// BER primitives: byte-exact encoding and decoding, bounds and refusals.
#include <functional>

#include <gtest/gtest.h>

#include "comm/snmp/asn1.h"
#include "snmp_test_util.h"

using namespace snmp_test;

namespace {

using Encoder = std::function<int(asn1_context*)>;

// A whole primitive element: content by the encoder, then its header.
template <typename Content> Encoder element(uint32_t cls, uint32_t tag, Content content) {
    return [=](asn1_context* ctx) {
        uint8_t* eoc = nullptr;
        return content(ctx, &eoc) && g_asn1_header_encode(ctx, eoc, cls, ASN1_PRI, tag);
    };
}

Encoder signed_int(int32_t v) {
    return element(ASN1_UNI, ASN1_INT,
                   [v](asn1_context* c, uint8_t** e) { return g_asn1_long_encode(c, e, v); });
}
Encoder unsigned_int(uint32_t cls, uint32_t tag, uint32_t v) {
    return element(cls, tag,
                   [v](asn1_context* c, uint8_t** e) { return g_asn1_ulong_encode(c, e, v); });
}
Encoder oid(std::vector<uint32_t> subids) {
    return element(ASN1_UNI, ASN1_OJI, [subids](asn1_context* c, uint8_t** e) {
        return g_asn1_oid_encode(c, e, subids.data(), static_cast<uint32_t>(subids.size()));
    });
}
Encoder octets(uint32_t cls, uint32_t tag, Bytes bytes) {
    return element(cls, tag, [bytes](asn1_context* c, uint8_t** e) {
        return g_asn1_octets_encode(c, e, bytes.data(), static_cast<uint32_t>(bytes.size()));
    });
}
Encoder length(uint32_t definite, uint32_t n) {
    return [=](asn1_context* c) { return g_asn1_length_encode(c, definite, n); };
}
Encoder id(uint32_t cls, uint32_t con, uint32_t tag) {
    return [=](asn1_context* c) { return g_asn1_id_encode(c, cls, con, tag); };
}

struct EncodeCase {
    const char* what;
    Encoder encode;
    const char* expected;
};

// A context over exactly the given bytes, for decoding.
struct Reader {
    std::unique_ptr<uint8_t[]> bytes;
    asn1_context ctx{};
    explicit Reader(const Bytes& in) : bytes(exact_copy(in)) {
        g_asn1_open(&ctx, bytes.get(), static_cast<uint32_t>(in.size()), ASN1_DEC);
    }
    // Header of the element at the position; its end marker.
    uint8_t* header(uint32_t* cls = nullptr, uint32_t* tag = nullptr) {
        uint8_t* eoc = nullptr;
        uint32_t c = 0, con = 0, t = 0;
        EXPECT_TRUE(g_asn1_header_decode(&ctx, &eoc, &c, &con, &t));
        if (cls) *cls = c;
        if (tag) *tag = t;
        return eoc;
    }
};

bool feature_on() {
    return true;
}

} // namespace

TEST(SnmpBer, EncodersGiveExactOctets) {
    const EncodeCase cases[] = {
        {"integer 0", signed_int(0), "02 01 00"},
        {"integer 127", signed_int(127), "02 01 7F"},
        {"integer 128", signed_int(128), "02 02 00 80"},
        {"integer 256", signed_int(256), "02 02 01 00"},
        {"integer max", signed_int(2147483647), "02 04 7F FF FF FF"},
        {"integer -1", signed_int(-1), "02 04 FF FF FF FF"},
        {"integer -200", signed_int(-200), "02 04 FF FF FF 38"},
        {"integer min", signed_int(INT32_MIN), "02 04 80 00 00 00"},
        {"unsigned 0", unsigned_int(ASN1_UNI, ASN1_INT, 0), "02 01 00"},
        {"unsigned 255", unsigned_int(ASN1_UNI, ASN1_INT, 255), "02 02 00 FF"},
        {"unsigned max", unsigned_int(ASN1_UNI, ASN1_INT, 4294967295u), "02 05 00 FF FF FF FF"},
        {"counter max", unsigned_int(ASN1_APL, 1, 4294967295u), "41 05 00 FF FF FF FF"},
        {"gauge 42", unsigned_int(ASN1_APL, 2, 42), "42 01 2A"},
        {"timeticks", unsigned_int(ASN1_APL, 3, 123456), "43 03 01 E2 40"},
        {"oid 1.3.6.1.4.1.1206", oid({1, 3, 6, 1, 4, 1, 1206}), "06 07 2B 06 01 04 01 89 36"},
        {"oid 2.100.3", oid({2, 100, 3}), "06 03 81 34 03"},
        {"oid large subid", oid({1, 3, 4294967295u}), "06 06 2B 8F FF FF FF 7F"},
        {"octets", octets(ASN1_UNI, ASN1_OTS, {'a', 'b', 'c'}), "04 03 61 62 63"},
        {"empty octets", octets(ASN1_UNI, ASN1_OTS, {}), "04 00"},
        {"ip address", octets(ASN1_APL, 0, {192, 168, 1, 20}), "40 04 C0 A8 01 14"},
        {"null",
         element(ASN1_UNI, ASN1_NUL,
                 [](asn1_context* c, uint8_t** e) { return g_asn1_null_encode(c, e); }),
         "05 00"},
        {"length 127", length(1, 127), "7F"},
        {"length 128", length(1, 128), "81 80"},
        {"length 300", length(1, 300), "82 01 2C"},
        {"length 65536", length(1, 65536), "83 01 00 00"},
        {"length indefinite", length(0, 0), "80"},
        {"id context constructed 3", id(ASN1_CTX, ASN1_CON, 3), "A3"},
        {"id tag 30", id(ASN1_APL, ASN1_PRI, 30), "5E"},
        {"id tag 31", id(ASN1_APL, ASN1_PRI, 31), "5F 1F"},
        {"id tag 200", id(ASN1_PRV, ASN1_PRI, 200), "DF 81 48"},
        {"end-of-contents", [](asn1_context* c) { return g_asn1_eoc_encode(c, nullptr); }, "00 00"},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(to_hex(encode_with(row.encode)), to_hex(hex(row.expected))) << row.what;
    }
}

TEST(SnmpBer, LongContentGetsLongFormLength) {
    Bytes content(300, 0x5A);
    Bytes out = encode_with(octets(ASN1_UNI, ASN1_OTS, content));
    ASSERT_EQ(out.size(), 304u);
    EXPECT_EQ(to_hex(Bytes(out.begin(), out.begin() + 4)), "04 82 01 2C");
}

TEST(SnmpBer, EncoderRefusals) {
    // An OID needs two sub-identifiers.
    asn1_context ctx;
    uint8_t buffer[16];
    uint8_t* eoc = nullptr;
    const uint32_t one[] = {1};
    g_asn1_open(&ctx, buffer, sizeof buffer, ASN1_ENC);
    EXPECT_EQ(g_asn1_oid_encode(&ctx, &eoc, one, 1), 0);
    EXPECT_EQ(ctx.error, ASN1_ERR_ENC_BADVALUE);

    // A full buffer keeps the partial tail only.
    const uint8_t text[] = {'a', 'b', 'c', 'd', 'e', 'f'};
    uint8_t small[3];
    g_asn1_open(&ctx, small, sizeof small, ASN1_ENC);
    EXPECT_EQ(g_asn1_octets_encode(&ctx, &eoc, text, sizeof text), 0);
    EXPECT_EQ(ctx.error, ASN1_ERR_ENC_FULL);
    uint8_t* start = nullptr;
    uint32_t count = 0;
    g_asn1_close(&ctx, &start, &count);
    EXPECT_EQ(to_hex(start, count), "64 65 66");

    // And a header that no longer fits fails the same way.
    EXPECT_EQ(g_asn1_header_encode(&ctx, eoc, ASN1_UNI, ASN1_PRI, ASN1_OTS), 0);
    EXPECT_EQ(ctx.error, ASN1_ERR_ENC_FULL);
}

TEST(SnmpBer, SignedDecoder) {
    struct Case {
        const char* in;
        int ok;
        int32_t value;
        uint32_t error;
    } cases[] = {
        {"02 01 00", 1, 0, 0},
        {"02 01 80", 1, -128, 0},
        {"02 02 FF 38", 1, -200, 0},
        {"02 02 00 80", 1, 128, 0},
        {"02 04 7F FF FF FF", 1, 2147483647, 0},
        {"02 05 FF 80 00 00 00", 1, INT32_MIN, 0},             // a sign octet in front
        {"02 05 00 FF FF FF FF", 0, 0, ASN1_ERR_DEC_BADVALUE}, // 2^32-1 is no signed value
        {"02 05 01 00 00 00 00", 0, 0, ASN1_ERR_DEC_BADVALUE}, // 2^32 is not cut to 0
        {"02 06 00 00 FF FF FF FF", 0, 0, ASN1_ERR_DEC_BADVALUE},
        {"02 00", 0, 0, ASN1_ERR_DEC_EMPTY},
    };
    for (const auto& row : cases) {
        Reader r(hex(row.in));
        uint8_t* eoc = r.header();
        int32_t value = 0;
        EXPECT_EQ(g_asn1_long_decode(&r.ctx, eoc, &value), row.ok) << row.in;
        if (row.ok) {
            EXPECT_EQ(value, row.value) << row.in;
        }
        EXPECT_EQ(r.ctx.error, row.error) << row.in;
    }
}

TEST(SnmpBer, UnsignedDecoder) {
    struct Case {
        const char* in;
        int ok;
        uint32_t value;
    } cases[] = {
        {"02 01 00", 1, 0},
        {"02 02 00 FF", 1, 255},
        {"02 04 FF FF FF FF", 1, 4294967295u}, // a negative INTEGER as its 32-bit pattern
        {"02 05 00 80 00 00 00", 1, 0x80000000u},
        {"02 05 01 00 00 00 00", 0, 0},
        {"02 06 00 00 00 00 00 01", 0, 0},
    };
    for (const auto& row : cases) {
        Reader r(hex(row.in));
        uint8_t* eoc = r.header();
        uint32_t value = 0;
        EXPECT_EQ(g_asn1_uint_decode(&r.ctx, eoc, &value), row.ok) << row.in;
        if (row.ok) {
            EXPECT_EQ(value, row.value) << row.in;
        }
        if (!row.ok) {
            EXPECT_EQ(r.ctx.error, ASN1_ERR_DEC_BADVALUE) << row.in;
        }
    }
}

TEST(SnmpBer, OidDecoder) {
    struct Case {
        const char* in;
        std::vector<uint32_t> oid; // empty: refused
    } cases[] = {
        {"06 03 2B 06 01", {1, 3, 6, 1}},
        {"06 07 2B 06 01 04 01 89 36", {1, 3, 6, 1, 4, 1, 1206}},
        {"06 01 27", {0, 39}},
        {"06 01 28", {1, 0}},
        {"06 01 50", {2, 0}},
        {"06 03 81 34 03", {2, 100, 3}},
        {"06 06 2B 8F FF FF FF 7F", {1, 3, 4294967295u}},
        {"06 00", {}},                      // no sub-identifier at all
        {"06 02 2B 86", {}},                // last sub-identifier cut off at the end marker
        {"06 07 2B 90 80 80 80 80 00", {}}, // sub-identifier above 32 bits
    };
    for (const auto& row : cases) {
        Reader r(hex(row.in));
        uint8_t* eoc = r.header();
        uint32_t out[8] = {};
        uint32_t count = 99;
        const int ok = g_asn1_oid_decode(&r.ctx, eoc, out, 8, &count);
        EXPECT_EQ(ok, row.oid.empty() ? 0 : 1) << row.in;
        EXPECT_EQ(std::vector<uint32_t>(out, out + count), ok ? row.oid : std::vector<uint32_t>{})
            << row.in;
    }
}

TEST(SnmpBer, OidLongerThanItsStoreIsRefused) {
    // 1.3 followed by n more sub-identifiers of one octet each.
    auto message = [](uint32_t n) {
        Bytes m = {0x06, static_cast<uint8_t>(1 + n), 0x2B};
        for (uint32_t i = 0; i < n; ++i)
            m.push_back(static_cast<uint8_t>(i + 1));
        return m;
    };
    for (uint32_t total : {40u, 41u, 100u}) {
        Reader r(message(total - 2));
        uint8_t* eoc = r.header();
        uint32_t store[40 + 1];
        store[40] = 0xDEADBEEF; // guard just past the store
        uint32_t count = 0;
        const int ok = g_asn1_oid_decode(&r.ctx, eoc, store, 40, &count);
        EXPECT_EQ(ok, total <= 40 ? 1 : 0) << total;
        EXPECT_EQ(count, total <= 40 ? total : 0u) << total;
        if (!ok) {
            EXPECT_EQ(r.ctx.error, ASN1_ERR_DEC_BADVALUE);
        }
        EXPECT_EQ(store[40], 0xDEADBEEFu) << total;
    }
}

TEST(SnmpBer, HeaderDecoder) {
    struct Case {
        const char* in;
        int ok;
        uint32_t cls, con, tag;
        int32_t length; // -1: indefinite
    } cases[] = {
        {"30 00", 1, ASN1_UNI, ASN1_CON, ASN1_SEQ, 0},
        {"A3 02 00 00", 1, ASN1_CTX, ASN1_CON, 3, 2},
        {"5F 81 48 00", 1, ASN1_APL, ASN1_PRI, 200, 0},
        {"30 80", 1, ASN1_UNI, ASN1_CON, ASN1_SEQ, -1},
        {"04 81 03 61 62 63", 1, ASN1_UNI, ASN1_PRI, ASN1_OTS, 3},
        {"04 83 00 00 01 61", 1, ASN1_UNI, ASN1_PRI, ASN1_OTS, 1},
        {"04 04 61 62 63", 0, 0, 0, 0, 0},          // content past the received bytes
        {"04 82 01", 0, 0, 0, 0, 0},                // length octets cut off
        {"04 85 01 00 00 00 00", 0, 0, 0, 0, 0},    // length above 32 bits
        {"04 84 FF FF FF FF", 0, 0, 0, 0, 0},       // 4 GB announced
        {"1F 81", 0, 0, 0, 0, 0},                   // tag octets cut off
        {"1F 90 80 80 80 80 01 00", 0, 0, 0, 0, 0}, // tag above 32 bits
        {"", 0, 0, 0, 0, 0},
    };
    for (const auto& row : cases) {
        Bytes in = hex(row.in);
        Reader r(in);
        uint8_t* eoc = nullptr;
        uint32_t cls = 9, con = 9, tag = 9;
        EXPECT_EQ(g_asn1_header_decode(&r.ctx, &eoc, &cls, &con, &tag), row.ok) << row.in;
        if (!row.ok) continue;
        EXPECT_EQ(cls, row.cls) << row.in;
        EXPECT_EQ(con, row.con) << row.in;
        EXPECT_EQ(tag, row.tag) << row.in;
        if (row.length < 0) {
            EXPECT_EQ(eoc, nullptr) << row.in;
        } else {
            EXPECT_EQ(eoc - r.ctx.pointer, row.length) << row.in;
        }
    }
}

TEST(SnmpBer, OctetsDecoderStaysInsideItsDestination) {
    Reader r(hex("04 05 01 02 03 04 05"));
    uint8_t* eoc = r.header();
    uint8_t small[4];
    uint32_t count = 0;
    EXPECT_EQ(g_asn1_octets_decode(&r.ctx, eoc, small, sizeof small, &count), 0);
    EXPECT_EQ(r.ctx.error, ASN1_ERR_DEC_BADVALUE);
    uint8_t big[5];
    EXPECT_EQ(g_asn1_octets_decode(&r.ctx, eoc, big, sizeof big, &count), 1);
    EXPECT_EQ(to_hex(big, count), "01 02 03 04 05");
}

TEST(SnmpBer, EndCheckAndTheLocalTimeTolerance) {
    // A SEQUENCE whose length counts two octets fewer than its content.
    const Bytes in = hex("30 03 02 03 01 02 03");
    for (bool feature : {false, true}) {
        asn1_set_local_time_feature_source(feature ? feature_on : nullptr);
        Reader r(in);
        uint8_t* seq_eoc = r.header();
        uint8_t* int_eoc = r.header();
        int32_t value = 0;
        ASSERT_TRUE(g_asn1_long_decode(&r.ctx, int_eoc, &value));
        EXPECT_EQ(g_asn1_eoc_decode(&r.ctx, seq_eoc), feature ? 1 : 0);
        EXPECT_EQ(r.ctx.error, feature ? ASN1_ERR_NONE : ASN1_ERR_DEC_LENGTH);
    }
    asn1_set_local_time_feature_source(nullptr);

    // Indefinite form: two zero octets end it.
    Reader good(hex("00 00"));
    EXPECT_EQ(g_asn1_eoc_decode(&good.ctx, nullptr), 1);
    Reader bad(hex("00 01"));
    EXPECT_EQ(g_asn1_eoc_decode(&bad.ctx, nullptr), 0);
    EXPECT_EQ(bad.ctx.error, ASN1_ERR_DEC_EOC);
    Reader cut(hex("00"));
    EXPECT_EQ(g_asn1_eoc_decode(&cut.ctx, nullptr), 0);
    EXPECT_EQ(cut.ctx.error, ASN1_ERR_DEC_EMPTY);
}

TEST(SnmpBer, PrimitivesRefuseTheIndefiniteForm) {
    Reader r(hex("02 80 01 00 00"));
    uint8_t* eoc = r.header();
    ASSERT_EQ(eoc, nullptr);
    int32_t value = 0;
    uint32_t number = 0;
    uint32_t oid[4];
    uint8_t bytes[4];
    EXPECT_EQ(g_asn1_long_decode(&r.ctx, eoc, &value), 0);
    EXPECT_EQ(g_asn1_uint_decode(&r.ctx, eoc, &number), 0);
    EXPECT_EQ(g_asn1_oid_decode(&r.ctx, eoc, oid, 4, &number), 0);
    EXPECT_EQ(g_asn1_octets_decode(&r.ctx, eoc, bytes, 4, &number), 0);
    EXPECT_EQ(g_asn1_null_decode(&r.ctx, eoc), 0);
}

TEST(SnmpBer, RoundTripOfNumbers) {
    const int32_t values[] = {0,     1,       127,        128, 255,  256,  32767,  32768,
                              65535, 8388608, 2147483647, -1,  -128, -129, -65536, INT32_MIN};
    for (int32_t v : values) {
        Reader r(encode_with(signed_int(v)));
        uint8_t* eoc = r.header();
        int32_t back = 0;
        ASSERT_TRUE(g_asn1_long_decode(&r.ctx, eoc, &back));
        EXPECT_EQ(back, v);
        Reader u(encode_with(unsigned_int(ASN1_APL, 1, static_cast<uint32_t>(v))));
        eoc = u.header();
        uint32_t ub = 0;
        ASSERT_TRUE(g_asn1_ulong_decode(&u.ctx, eoc, &ub));
        EXPECT_EQ(ub, static_cast<uint32_t>(v));
    }
}
