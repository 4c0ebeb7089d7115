// SNMP message codec: requests captured from net-snmp, responses, traps,
// the v2c/v3 envelopes, request slots and the bounds of the record.
#include <gtest/gtest.h>

#include "comm/snmp/snmp.h"
#include "snmp_test_util.h"

using namespace snmp_test;

namespace {

using Oid = std::vector<uint32_t>;

const uint8_t kSender[4] = {10, 1, 2, 3};

bool feature_on() {
    return true;
}

int bad_values = 0;
void count_bad_value() {
    ++bad_values;
}
int get_responses = 0;
void count_get_response() {
    ++get_responses;
}

// Decodes a v1 message from an exact-size copy.
int decode_v1(const Bytes& message, snmp_pdu* pdu, snmp_message_info* info,
              snmp_request_slots* slots = nullptr) {
    auto copy = exact_copy(message);
    return snmp_v1_message_decode(slots, 1161, kSender, copy.get(),
                                  static_cast<uint32_t>(message.size()), info, pdu);
}

Bytes encode_v1(const char* community, const snmp_pdu* pdu) {
    std::vector<uint8_t> buffer(SNMP_MESSAGE_BUFFER);
    uint8_t* start = nullptr;
    uint32_t length = 0;
    if (!snmp_v1_message_encode(community, pdu, buffer.data(), SNMP_MESSAGE_BUFFER, &start,
                                &length)) {
        return {};
    }
    return Bytes(start, start + length);
}

// A v1 GetRequest of n varbinds, each 1.3.6.1.2.1.1.1.<i> with a NULL value.
Bytes get_request(uint32_t n) {
    std::vector<Bytes> varbinds;
    for (uint32_t i = 0; i < n; ++i) {
        varbinds.push_back(varbind(oid_tlv({1, 3, 6, 1, 2, 1, 1, 1, i}), hex("05 00")));
    }
    return community_message(0, "public", 0xA0, request_body(varbinds));
}

} // namespace

// Requests produced by net-snmp's snmpget, snmpgetnext and snmpset.
TEST(SnmpCodec, NetSnmpRequestsDecodeToTheirRecords) {
    struct Expected {
        Oid name;
        uint16_t syntax;
        uint32_t value_length;
        Bytes value; // octets, or the native 32-bit number, or the OID's uint32_t
    };
    auto num = [](uint32_t v) {
        Bytes b(4);
        std::memcpy(b.data(), &v, 4);
        return b;
    };
    auto oidv = [](Oid o) {
        Bytes b(o.size() * 4);
        std::memcpy(b.data(), o.data(), b.size());
        return b;
    };
    const Oid dms = {1, 3, 6, 1, 4, 1, 1206};
    auto under = [&](Oid tail) {
        Oid o = dms;
        o.insert(o.end(), tail.begin(), tail.end());
        return o;
    };
    struct Case {
        const char* fixture;
        uint32_t type;
        uint32_t request_id;
        const char* community;
        std::vector<Expected> varbinds;
    } cases[] = {
        {"get_sysdescr",
         SNMP_PDU_GET,
         0x641fd92d,
         "public",
         {{{1, 3, 6, 1, 2, 1, 1, 1, 0}, SNMP_NULL, 0, {}}}},
        {"getnext_system",
         SNMP_PDU_NEXT,
         0x1bbec95b,
         "public",
         {{{1, 3, 6, 1, 2, 1, 1}, SNMP_NULL, 0, {}}}},
        {"get_three",
         SNMP_PDU_GET,
         0x5fb04c0c,
         "public",
         {{{1, 3, 6, 1, 2, 1, 1, 1, 0}, SNMP_NULL, 0, {}},
          {{1, 3, 6, 1, 2, 1, 1, 3, 0}, SNMP_NULL, 0, {}},
          {under({4, 2, 3, 1, 1, 0}), SNMP_NULL, 0, {}}}},
        {"set_integer",
         SNMP_PDU_SET,
         0x1957f57b,
         "administrator",
         {{under({4, 2, 3, 6, 1, 0}), SNMP_INTEGER, 4, num(static_cast<uint32_t>(-200))}}},
        {"set_string",
         SNMP_PDU_SET,
         0x095630b8,
         "administrator",
         {{under({4, 2, 3, 5, 8, 1, 3, 3, 1}), SNMP_OCTETSTR, 19,
           Bytes{'[', 'j', 'l', '3', ']', 'H', 'E', 'L', 'L', 'O', '[', 'n', 'l', ']', 'W', 'O',
                 'R', 'L', 'D'}}}},
        {"set_types",
         SNMP_PDU_SET,
         0x038f7ad5,
         "administrator",
         {{{1, 3, 6, 1, 2, 1, 1, 2, 0}, SNMP_OBJECTID, 40, oidv(under({4, 2, 3}))},
          {under({3, 11, 1, 0}), SNMP_IPADDR, 4, Bytes{192, 168, 1, 20}},
          {under({3, 11, 2, 0}), SNMP_TIMETICKS, 4, num(123456)},
          {under({3, 11, 3, 0}), SNMP_GAUGE, 4, num(4294967295u)},
          {under({3, 11, 4, 0}), SNMP_OCTETSTR, 3, Bytes{0x00, 0xFF, 0x80}}}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.fixture);
        const Bytes message = fixture(row.fixture);
        ASSERT_FALSE(message.empty());
        uint32_t version = 9;
        ASSERT_TRUE(
            snmp_message_version(message.data(), static_cast<uint32_t>(message.size()), &version));
        EXPECT_EQ(version, 0u);
        auto pdu = new_pdu();
        snmp_message_info info;
        ASSERT_EQ(decode_v1(message, pdu.get(), &info), 1);
        EXPECT_STREQ(info.community, row.community);
        EXPECT_EQ(info.message_model, 0u);
        EXPECT_EQ(info.security_model, 1u);
        EXPECT_EQ(info.pdu_version, 0u);
        EXPECT_EQ(info.is_request, 1);
        EXPECT_EQ(pdu->type, row.type);
        EXPECT_EQ(pdu->request_id, row.request_id);
        EXPECT_EQ(pdu->error_status, 0u);
        EXPECT_EQ(pdu->error_index, 0u);
        ASSERT_EQ(pdu->varbind_count, static_cast<int16_t>(row.varbinds.size()));
        for (size_t i = 0; i < row.varbinds.size(); ++i) {
            const snmp_varbind& vb = pdu->varbinds[i];
            const Expected& want = row.varbinds[i];
            EXPECT_EQ(name_of(vb), want.name) << i;
            EXPECT_EQ(vb.syntax, want.syntax) << i;
            EXPECT_EQ(vb.value_length, want.value_length) << i;
            EXPECT_EQ(to_hex(vb.value, want.value.size()), to_hex(want.value)) << i;
        }
    }
}

TEST(SnmpCodec, GetResponseIsByteExact) {
    // The sysDescr.0 request answered with an OCTET STRING.
    auto pdu = new_pdu();
    snmp_message_info info;
    snmp_request_slots slots{};
    ASSERT_EQ(decode_v1(fixture("get_sysdescr"), pdu.get(), &info, &slots), 1);
    pdu->type = SNMP_PDU_RESPONSE;
    set_octets(pdu->varbinds[0], SNMP_OCTETSTR, {'D', 'M', 'S'});
    uint8_t buffer[SNMP_MESSAGE_BUFFER];
    snmp_reply reply{};
    ASSERT_EQ(snmp_v1_response_encode(&slots, &info, pdu.get(), buffer, sizeof buffer, &reply), 1);
    EXPECT_EQ(to_hex(reply.start, reply.length),
              to_hex(hex("30 2C 02 01 00 04 06 70 75 62 6C 69 63 A2 1F 02 04 64 1F D9 2D"
                         " 02 01 00 02 01 00 30 11 30 0F 06 08 2B 06 01 02 01 01 01 00"
                         " 04 03 44 4D 53")));
    EXPECT_EQ(reply.start + reply.length, buffer + sizeof buffer);
    EXPECT_EQ(reply.port, 1161u);
    EXPECT_EQ(to_hex(reply.address, 4), "0A 01 02 03");
    EXPECT_EQ(slots.slot[info.slot].in_use, 0);
}

TEST(SnmpCodec, ValuesOfEverySyntaxRoundTrip) {
    auto pdu = new_pdu();
    pdu->type = SNMP_PDU_RESPONSE;
    pdu->request_id = 0xFFFFFFFF; // -1 from the central system: echoed as 5 octets
    pdu->error_status = 2;
    pdu->error_index = 3;
    const Oid value_oid = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3};
    struct Row {
        uint16_t syntax;
        Bytes octets; // for octet syntaxes
        uint32_t number;
    } rows[] = {
        {SNMP_NULL, {}, 0},
        {SNMP_INTEGER, {}, static_cast<uint32_t>(-5)},
        {SNMP_OCTETSTR, {1, 2, 3}, 0},
        {SNMP_OBJECTID, {}, 0},
        {SNMP_IPADDR, {10, 0, 0, 1}, 0},
        {SNMP_COUNTER, {}, 4294967295u},
        {SNMP_GAUGE, {}, 17},
        {SNMP_TIMETICKS, {}, 360000},
        {SNMP_OPAQUE, {0x9F, 0x78}, 0},
        {SNMP_NOSUCHOBJECT, {}, 0},
        {SNMP_NOSUCHINSTANCE, {}, 0},
        {SNMP_ENDOFMIBVIEW, {}, 0},
    };
    const int n = sizeof rows / sizeof rows[0];
    pdu->varbind_count = n;
    for (int i = 0; i < n; ++i) {
        snmp_varbind& vb = pdu->varbinds[i];
        set_name(vb, {1, 3, 6, 1, 4, 1, 1206, 3, 11, static_cast<uint32_t>(i), 0});
        vb.syntax = rows[i].syntax;
        if (rows[i].syntax == SNMP_OBJECTID) {
            set_oid_value(vb, value_oid);
        } else if (!rows[i].octets.empty()) {
            set_octets(vb, rows[i].syntax, rows[i].octets);
        } else if (rows[i].syntax >= SNMP_INTEGER && rows[i].syntax <= SNMP_TIMETICKS) {
            set_number(vb, rows[i].syntax, rows[i].number);
        }
    }
    // The v1 form encodes them all (the exceptions only make sense in v2c,
    // but the codec does not police that).
    const Bytes message = encode_v1("public", pdu.get());
    ASSERT_FALSE(message.empty());
    EXPECT_NE(to_hex(message).find("02 05 00 FF FF FF FF 02 01 02 02 01 03"), std::string::npos);

    auto back = new_pdu();
    snmp_message_info info;
    snmp_set_in_get_responses_counter(count_get_response);
    get_responses = 0;
    ASSERT_EQ(decode_v1(message, back.get(), &info), 1);
    snmp_set_in_get_responses_counter(nullptr);
    EXPECT_EQ(get_responses, 1);   // counted as snmpInGetResponses
    EXPECT_EQ(info.is_request, 0); // and takes no slot
    EXPECT_EQ(back->request_id, 0xFFFFFFFFu);
    EXPECT_EQ(back->error_status, 2u);
    EXPECT_EQ(back->error_index, 3u);
    ASSERT_EQ(back->varbind_count, n);
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        const snmp_varbind& vb = back->varbinds[i];
        EXPECT_EQ(vb.syntax, rows[i].syntax);
        EXPECT_EQ(vb.name_length, 11u);
        if (rows[i].syntax == SNMP_OBJECTID) {
            EXPECT_EQ(oid_value_of(vb), value_oid);
        } else if (!rows[i].octets.empty()) {
            EXPECT_EQ(to_hex(vb.value, vb.value_length), to_hex(rows[i].octets));
        } else if (rows[i].syntax >= SNMP_INTEGER && rows[i].syntax <= SNMP_TIMETICKS) {
            EXPECT_EQ(vb.value_length, 4u);
            EXPECT_EQ(number_of(vb), rows[i].number);
        } else {
            EXPECT_EQ(vb.value_length, 0u);
        }
    }
}

TEST(SnmpCodec, DecodedOidValueEchoesUnchanged) {
    // A varbind returned as it was decoded keeps its OID value.
    auto pdu = new_pdu();
    snmp_message_info info;
    ASSERT_EQ(decode_v1(fixture("set_types"), pdu.get(), &info), 1);
    pdu->varbind_count = 1;
    const Bytes message = encode_v1("administrator", pdu.get());
    EXPECT_NE(to_hex(message).find("06 0A 2B 06 01 04 01 89 36 04 02 03"), std::string::npos);
}

TEST(SnmpCodec, IpAddressLengths) {
    // 4 and 16 octets are taken; any other count fails the message.
    for (uint32_t n : {4u, 16u, 5u, 0u, 17u}) {
        const Bytes vb = varbind(oid_tlv({1, 3, 6, 1, 2, 1, 4, 20, 1}), tlv(0x40, Bytes(n, 0x0A)));
        const Bytes message = community_message(0, "p", 0xA3, request_body({vb}));
        auto pdu = new_pdu();
        snmp_message_info info;
        const bool good = n == 4 || n == 16;
        EXPECT_EQ(decode_v1(message, pdu.get(), &info), good ? 1 : 0) << n;
        if (good) {
            EXPECT_EQ(pdu->varbinds[0].value_length, n);
        }
    }
}

TEST(SnmpCodec, VarbindWithoutValueNeedsTheLocalTimeFeature) {
    // 30 0A 06 08 ... : the varbind ends right after its name; the list and
    // the message count what was sent.
    const Bytes fixed = community_message(
        0, "public", 0xA0, request_body({hex("30 0A 06 08 2B 06 01 02 01 01 01 00")}));
    for (bool feature : {false, true}) {
        asn1_set_local_time_feature_source(feature ? feature_on : nullptr);
        auto pdu = new_pdu();
        snmp_message_info info;
        EXPECT_EQ(decode_v1(fixed, pdu.get(), &info), feature ? 1 : 0);
        if (feature) {
            ASSERT_EQ(pdu->varbind_count, 1);
            EXPECT_EQ(pdu->varbinds[0].syntax, SNMP_NULL);
            EXPECT_EQ(pdu->varbinds[0].value_length, 0u);
            EXPECT_EQ(name_of(pdu->varbinds[0]), (Oid{1, 3, 6, 1, 2, 1, 1, 1, 0}));
        }
    }
    asn1_set_local_time_feature_source(nullptr);
}

TEST(SnmpCodec, TrapPduFieldsInWireOrder) {
    auto pdu = new_pdu();
    pdu->type = SNMP_PDU_TRAP;
    const uint32_t enterprise[] = {1, 3, 6, 1, 4, 11};
    std::memcpy(pdu->enterprise, enterprise, sizeof enterprise);
    pdu->enterprise_length = 6;
    const uint8_t address[4] = {192, 168, 0, 9};
    std::memcpy(pdu->agent_address, address, 4);
    pdu->generic_trap = 6;
    pdu->specific_trap = 12;
    pdu->time_stamp = 3600;
    pdu->varbind_count = 1;
    set_name(pdu->varbinds[0], {1, 3, 6, 1, 2, 1, 1, 3, 0});
    set_number(pdu->varbinds[0], SNMP_TIMETICKS, 3600);
    const Bytes message = encode_v1("meadow", pdu.get());
    EXPECT_EQ(to_hex(message),
              to_hex(hex("30 36 02 01 00 04 06 6D 65 61 64 6F 77 A4 29"
                         " 06 05 2B 06 01 04 0B 40 04 C0 A8 00 09 02 01 06 02 01 0C 43 02 0E 10"
                         " 30 10 30 0E 06 08 2B 06 01 02 01 01 03 00 43 02 0E 10")));
    auto back = new_pdu();
    snmp_message_info info;
    ASSERT_EQ(decode_v1(message, back.get(), &info), 1);
    EXPECT_EQ(back->type, SNMP_PDU_TRAP);
    EXPECT_EQ(back->enterprise_length, 6u);
    EXPECT_EQ(to_hex(back->agent_address, 4), "C0 A8 00 09");
    EXPECT_EQ(back->generic_trap, 6u);
    EXPECT_EQ(back->specific_trap, 12u);
    EXPECT_EQ(back->time_stamp, 3600u);
    EXPECT_EQ(back->varbind_count, 1);
}

TEST(SnmpCodec, TrapDecoderAcceptsAlternativesAndRefusesLongAddress) {
    // Agent address as OCTET STRING, time stamp as INTEGER; then 5 octets.
    struct Case {
        Bytes address;
        Bytes time_stamp;
        int ok;
    } cases[] = {
        {hex("04 04 0A 00 00 01"), hex("02 01 07"), 1},
        {hex("40 04 0A 00 00 01"), hex("43 01 07"), 1},
        {hex("40 03 0A 00 00"), hex("43 01 07"), 1},
        {hex("40 05 0A 00 00 01 09"), hex("43 01 07"), 0},
        {hex("41 04 0A 00 00 01"), hex("43 01 07"), 0}, // a Counter is no address
        {hex("40 04 0A 00 00 01"), hex("41 01 07"), 0}, // nor a time stamp
    };
    for (const auto& row : cases) {
        const Bytes body = cat({oid_tlv({1, 3, 6, 1, 4, 11}), row.address, hex("02 01 00 02 01 00"),
                                row.time_stamp, hex("30 00")});
        auto pdu = new_pdu();
        snmp_message_info info;
        const int ok = decode_v1(community_message(0, "p", 0xA4, body), pdu.get(), &info);
        EXPECT_EQ(ok, row.ok) << to_hex(row.address);
        if (ok) {
            EXPECT_EQ(pdu->time_stamp, 7u);
        }
        if (ok && row.address[1] == 4) {
            EXPECT_EQ(to_hex(pdu->agent_address, 4), "0A 00 00 01");
        }
    }
}

TEST(SnmpCodec, UnknownSyntaxFailsTheEncodeAndCountsOutBadValues) {
    snmp_set_out_bad_values_counter(count_bad_value);
    bad_values = 0;
    auto pdu = new_pdu();
    pdu->type = SNMP_PDU_RESPONSE;
    pdu->varbind_count = 2;
    set_name(pdu->varbinds[0], {1, 3, 6, 1});
    set_name(pdu->varbinds[1], {1, 3, 6, 1});
    pdu->varbinds[1].syntax = SNMP_BITSTRING;
    EXPECT_TRUE(encode_v1("public", pdu.get()).empty());
    EXPECT_EQ(bad_values, 1);
    snmp_set_out_bad_values_counter(nullptr);
}

TEST(SnmpCodec, EncoderRefusesWhatTheRecordCannotHold) {
    struct Case {
        const char* what;
        void (*spoil)(snmp_pdu*);
    } cases[] = {
        {"count above 50", [](snmp_pdu* p) { p->varbind_count = 51; }},
        {"negative count", [](snmp_pdu* p) { p->varbind_count = -1; }},
        {"name of 41", [](snmp_pdu* p) { p->varbinds[0].name_length = 41; }},
        {"name of 1", [](snmp_pdu* p) { p->varbinds[0].name_length = 1; }},
        {"octets past the value area",
         [](snmp_pdu* p) {
             p->varbinds[0].syntax = SNMP_OCTETSTR;
             p->varbinds[0].value_length = SNMP_MAX_VALUE + 1;
         }},
        {"oid value past the value area",
         [](snmp_pdu* p) {
             p->varbinds[0].syntax = SNMP_OBJECTID;
             p->varbinds[0].value_length = SNMP_MAX_VALUE + 4;
         }},
        {"pdu type 9", [](snmp_pdu* p) { p->type = 9; }},
        {"message past the buffer",
         [](snmp_pdu* p) {
             p->varbinds[0].syntax = SNMP_OCTETSTR;
             p->varbinds[0].value_length = SNMP_MESSAGE_BUFFER;
         }},
    };
    for (const auto& row : cases) {
        auto pdu = new_pdu();
        pdu->type = SNMP_PDU_RESPONSE;
        pdu->varbind_count = 1;
        set_name(pdu->varbinds[0], {1, 3, 6, 1, 2, 1, 1, 1, 0});
        ASSERT_FALSE(encode_v1("public", pdu.get()).empty()) << row.what;
        row.spoil(pdu.get());
        EXPECT_TRUE(encode_v1("public", pdu.get()).empty()) << row.what;
    }
}

TEST(SnmpCodec, ListDecoderNeverWritesPastFiftySlots) {
    for (uint32_t n : {0u, 1u, 50u, 51u, 120u}) {
        const Bytes message = get_request(n);
        // Straight into a heap array of exactly 50 slots.
        auto copy = exact_copy(message);
        asn1_context ctx;
        g_asn1_open(&ctx, copy.get(), static_cast<uint32_t>(message.size()), ASN1_DEC);
        uint8_t* eoc = nullptr;
        uint32_t cls, con, tag, number;
        uint8_t community[8];
        ASSERT_TRUE(g_asn1_header_decode(&ctx, &eoc, &cls, &con, &tag));
        ASSERT_TRUE(g_asn1_header_decode(&ctx, &eoc, &cls, &con, &tag));
        ASSERT_TRUE(g_asn1_uint_decode(&ctx, eoc, &number));
        ASSERT_TRUE(g_asn1_header_decode(&ctx, &eoc, &cls, &con, &tag));
        ASSERT_TRUE(g_asn1_octets_decode(&ctx, eoc, community, sizeof community, &number));
        ASSERT_TRUE(g_asn1_header_decode(&ctx, &eoc, &cls, &con, &tag));
        auto pdu = new_pdu();
        ASSERT_TRUE(g_snmp_request_decode(&ctx, pdu.get()));
        std::unique_ptr<snmp_varbind[]> slots(new snmp_varbind[SNMP_MAX_VARBINDS]);
        uint32_t count = 0;
        EXPECT_EQ(g_snmp_list_decode(&ctx, slots.get(), &count), 1) << n;
        EXPECT_EQ(count, n);

        // Through the message decoder the record keeps 50.
        snmp_message_info info;
        ASSERT_EQ(decode_v1(message, pdu.get(), &info), 1) << n;
        EXPECT_EQ(pdu->varbind_count, static_cast<int16_t>(std::min(n, SNMP_MAX_VARBINDS)));
    }
}

TEST(SnmpCodec, NamesOidValuesAndEnterprisesOverFortyAreRefused) {
    auto oid_of = [](uint32_t subids) {
        std::vector<uint32_t> oid = {1, 3};
        while (oid.size() < subids)
            oid.push_back(static_cast<uint32_t>(oid.size()));
        return oid;
    };
    const Bytes short_name = oid_tlv({1, 3, 6, 1});
    for (uint32_t n : {40u, 41u, 60u}) {
        SCOPED_TRACE(n);
        const int want = n <= SNMP_MAX_OID ? 1 : 0;
        auto pdu = new_pdu();
        snmp_message_info info;
        // As a varbind name.
        const Bytes name = community_message(
            0, "p", 0xA0, request_body({varbind(oid_tlv(oid_of(n)), hex("05 00"))}));
        EXPECT_EQ(decode_v1(name, pdu.get(), &info), want);
        if (want) {
            EXPECT_EQ(pdu->varbinds[0].name_length, n);
        }
        // As an OID value.
        const Bytes value = community_message(
            0, "p", 0xA3, request_body({varbind(short_name, oid_tlv(oid_of(n)))}));
        EXPECT_EQ(decode_v1(value, pdu.get(), &info), want);
        if (want) {
            EXPECT_EQ(pdu->varbinds[0].value_length, 4 * n);
        }
        // As a trap's enterprise.
        const Bytes trap = community_message(
            0, "p", 0xA4,
            cat({oid_tlv(oid_of(n)), hex("40 04 01 02 03 04 02 01 00 02 01 00 43 01 00 30 00")}));
        EXPECT_EQ(decode_v1(trap, pdu.get(), &info), want);
        if (want) {
            EXPECT_EQ(pdu->enterprise_length, n);
        }
    }
}

TEST(SnmpCodec, CommunityOfMoreThan51OctetsIsRefused) {
    for (uint32_t n : {0u, 51u, 52u, 200u}) {
        const std::string community(n, 'c');
        const Bytes message = community_message(0, community, 0xA0, request_body({}));
        auto pdu = new_pdu();
        snmp_message_info info;
        EXPECT_EQ(decode_v1(message, pdu.get(), &info), n <= SNMP_MAX_COMMUNITY ? 1 : 0) << n;
        if (n <= SNMP_MAX_COMMUNITY) {
            EXPECT_EQ(std::string(info.community), community);
        }
    }
}

TEST(SnmpCodec, TruncatedMessagesFailCleanly) {
    // Every prefix of a real request fails without reading past its end.
    const Bytes message = fixture("set_types");
    for (size_t n = 0; n < message.size(); ++n) {
        auto pdu = new_pdu();
        snmp_message_info info;
        EXPECT_EQ(decode_v1(Bytes(message.begin(), message.begin() + static_cast<long>(n)),
                            pdu.get(), &info),
                  0)
            << n;
    }
}

TEST(SnmpCodec, RequestSlots) {
    snmp_request_slots slots{};
    auto pdu = new_pdu();
    snmp_message_info info;
    const Bytes message = fixture("get_sysdescr");
    for (uint32_t i = 0; i < SNMP_REQUEST_SLOTS; ++i) {
        ASSERT_EQ(decode_v1(message, pdu.get(), &info, &slots), 1);
        EXPECT_EQ(info.slot, i);
    }
    // All ten in use: the next request is not taken.
    EXPECT_EQ(decode_v1(message, pdu.get(), &info, &slots), 0);

    uint8_t buffer[SNMP_MESSAGE_BUFFER];
    snmp_reply reply{};
    info.slot = 4;
    pdu->type = SNMP_PDU_RESPONSE;
    ASSERT_EQ(snmp_v1_response_encode(&slots, &info, pdu.get(), buffer, sizeof buffer, &reply), 1);
    // No slot, no response.
    EXPECT_EQ(snmp_v1_response_encode(&slots, &info, pdu.get(), buffer, sizeof buffer, &reply), 0);
    info.slot = 99;
    EXPECT_EQ(snmp_v1_response_encode(&slots, &info, pdu.get(), buffer, sizeof buffer, &reply), 0);
    // The freed slot is the next one taken.
    ASSERT_EQ(decode_v1(message, pdu.get(), &info, &slots), 1);
    EXPECT_EQ(info.slot, 4u);
}

TEST(SnmpCodec, ResponseEncodersCheckTheirModels) {
    struct Case {
        uint32_t message_model, security_model, pdu_version;
        int v1, v2c;
    } cases[] = {
        {0, 1, 0, 1, 0}, {0, 0, 0, 1, 0}, {0, 2, 0, 0, 0}, {0, 1, 2, 0, 0},
        {1, 2, 2, 0, 1}, {1, 0, 2, 0, 1}, {1, 3, 2, 0, 0}, {2, 2, 2, 0, 0},
    };
    auto pdu = new_pdu();
    pdu->type = SNMP_PDU_RESPONSE;
    uint8_t buffer[SNMP_MESSAGE_BUFFER];
    for (const auto& row : cases) {
        snmp_message_info info{};
        info.message_model = row.message_model;
        info.security_model = row.security_model;
        info.pdu_version = row.pdu_version;
        snmp_request_slots slots{};
        snmp_reply reply{};
        ASSERT_TRUE(snmp_request_slot_alloc(&slots, &info.slot));
        EXPECT_EQ(snmp_v1_response_encode(&slots, &info, pdu.get(), buffer, sizeof buffer, &reply),
                  row.v1);
        EXPECT_EQ(slots.slot[0].in_use, 0); // released in any case
        ASSERT_TRUE(snmp_request_slot_alloc(&slots, &info.slot));
        EXPECT_EQ(snmp_v2c_response_encode(&slots, &info, pdu.get(), buffer, sizeof buffer, &reply),
                  row.v2c);
    }
}

TEST(SnmpCodec, V2cRequestIsAnsweredInAV2cEnvelope) {
    const Bytes message = fixture("get_v2c");
    uint32_t version = 0;
    ASSERT_TRUE(
        snmp_message_version(message.data(), static_cast<uint32_t>(message.size()), &version));
    EXPECT_EQ(version, 1u);
    auto pdu = new_pdu();
    snmp_message_info info;
    snmp_request_slots slots{};
    auto copy = exact_copy(message);
    // The v1 decoder does not take it; the v2c one does.
    EXPECT_EQ(snmp_v1_message_decode(&slots, 161, kSender, copy.get(),
                                     static_cast<uint32_t>(message.size()), &info, pdu.get()),
              0);
    ASSERT_EQ(snmp_v2c_message_decode(&slots, 161, kSender, copy.get(),
                                      static_cast<uint32_t>(message.size()), &info, pdu.get()),
              1);
    EXPECT_EQ(info.message_model, 1u);
    EXPECT_EQ(info.security_model, 2u);
    EXPECT_EQ(info.pdu_version, 2u);
    EXPECT_EQ(name_of(pdu->varbinds[0]), (Oid{1, 3, 6, 1, 2, 1, 1, 5, 0}));
    pdu->type = SNMP_PDU_RESPONSE;
    set_octets(pdu->varbinds[0], SNMP_OCTETSTR, {'s', 'i', 'g', 'n'});
    uint8_t buffer[SNMP_MESSAGE_BUFFER];
    snmp_reply reply{};
    ASSERT_EQ(snmp_v2c_response_encode(&slots, &info, pdu.get(), buffer, sizeof buffer, &reply), 1);
    EXPECT_EQ(to_hex(reply.start, 13), "30 2D 02 01 01 04 06 70 75 62 6C 69 63");
    EXPECT_EQ(reply.port, 161u);

    // A v2 decoder refuses the trap layout, the v1 decoder GetBulk.
    const Bytes trap = community_message(
        1, "p", 0xA4,
        cat({oid_tlv({1, 3, 6}), hex("40 04 01 02 03 04 02 01 00 02 01 00 43 01 00 30 00")}));
    auto copy2 = exact_copy(trap);
    EXPECT_EQ(snmp_v2c_message_decode(nullptr, 0, kSender, copy2.get(),
                                      static_cast<uint32_t>(trap.size()), &info, pdu.get()),
              0);
    EXPECT_EQ(decode_v1(community_message(0, "p", 0xA5, request_body({})), pdu.get(), &info), 0);
    auto copy3 = exact_copy(community_message(1, "p", 0xA5, request_body({})));
    EXPECT_EQ(snmp_v2c_message_decode(nullptr, 0, kSender, copy3.get(), 21, &info, pdu.get()), 1);
}

TEST(SnmpCodec, V3MessageDecodesAndIsAnswered) {
    // The engine-discovery probe of net-snmp's snmpget -v3.
    const Bytes message = fixture("get_v3_probe");
    auto pdu = new_pdu();
    snmp_message_info info;
    snmp_request_slots slots{};
    auto copy = exact_copy(message);
    ASSERT_EQ(snmp_v3_message_decode(&slots, 5000, kSender, copy.get(),
                                     static_cast<uint32_t>(message.size()), &info, pdu.get()),
              1);
    EXPECT_EQ(info.message_model, 3u);
    EXPECT_EQ(info.security_model, 3u);
    EXPECT_EQ(info.message_id, 0x5aac9db6u);
    EXPECT_EQ(info.max_size, 65507u);
    EXPECT_EQ(info.community_length, 16u);
    EXPECT_EQ(info.context_engine_id_length, 0u);
    EXPECT_STREQ(info.context_name, "signs");
    EXPECT_EQ(pdu->type, SNMP_PDU_GET);
    EXPECT_EQ(pdu->request_id, 0x0a7dd719u);
    EXPECT_EQ(pdu->varbind_count, 0);

    pdu->type = SNMP_PDU_RESPONSE;
    uint8_t buffer[SNMP_MESSAGE_BUFFER];
    snmp_reply reply{};
    ASSERT_EQ(snmp_v3_response_encode(&slots, &info, pdu.get(), buffer, sizeof buffer, &reply), 1);
    // Version 3, the request's message id, maximum size 3000, flags 0, model 3,
    // and the security parameters as received (binary, with zero octets).
    EXPECT_EQ(to_hex(reply.start + 2, 39),
              "02 01 03 30 10 02 04 5A AC 9D B6 02 02 0B B8 04 01 00 02 01 03 04 10 30 0E 04 00 "
              "02 01 00 02 01 00 04 00 04 00 04 00");
    auto back = new_pdu();
    snmp_message_info back_info;
    ASSERT_EQ(snmp_v3_message_decode(nullptr, 0, kSender, reply.start, reply.length, &back_info,
                                     back.get()),
              1);
    EXPECT_EQ(back_info.message_id, 0x5aac9db6u);
    EXPECT_STREQ(back_info.context_name, "signs");
    EXPECT_EQ(back->type, SNMP_PDU_RESPONSE);

    // Context engine id and context name: 49 octets taken, 50 refused.
    auto v3 = [](const std::string& engine, const std::string& context) {
        const Bytes header = tlv(0x30, hex("02 01 01 02 02 0B B8 04 01 00 02 01 03"));
        const Bytes scoped = tlv(0x30, cat({tlv(0x04, text(engine)), tlv(0x04, text(context)),
                                            tlv(0xA0, request_body({}))}));
        return tlv(0x30, cat({hex("02 01 03"), header, tlv(0x04, text("user")), scoped}));
    };
    for (uint32_t n : {49u, 50u}) {
        for (bool engine : {true, false}) {
            const std::string name(n, 'x');
            const Bytes m = engine ? v3(name, "") : v3("", name);
            auto copy3 = exact_copy(m);
            EXPECT_EQ(snmp_v3_message_decode(nullptr, 0, kSender, copy3.get(),
                                             static_cast<uint32_t>(m.size()), &info, pdu.get()),
                      n <= SNMP_MAX_CONTEXT ? 1 : 0)
                << n << engine;
        }
    }
}
