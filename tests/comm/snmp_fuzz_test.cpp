// Bounded mutation fuzzing of the message decoders: mutated requests never
// crash, never read past the received bytes (the sanitizers watch an
// exact-size copy) and, when they decode, encode back into a message that
// decodes again to the same record.
#include <chrono>
#include <random>

#include <gtest/gtest.h>

#include "comm/snmp/snmp.h"
#include "snmp_test_util.h"

using namespace snmp_test;

namespace {

const uint8_t kSender[4] = {127, 0, 0, 1};

bool feature_on() {
    return true;
}

std::vector<Bytes> seeds() {
    std::vector<Bytes> out;
    for (const char* name : {"get_sysdescr", "getnext_system", "get_three", "set_integer",
                             "set_string", "set_types", "get_v2c", "get_v3_probe"}) {
        out.push_back(fixture(name));
    }
    // A trap and a long-form length.
    out.push_back(community_message(
        0, "meadow", 0xA4,
        cat({oid_tlv({1, 3, 6, 1, 4, 11}), hex("40 04 C0 A8 00 09 02 01 06 02 01 0C 43 02 0E 10"),
             tlv(0x30, varbind(oid_tlv({1, 3, 6, 1, 2, 1, 1, 3, 0}), hex("43 01 05")))})));
    out.push_back(community_message(
        0, "public", 0xA3,
        request_body({varbind(oid_tlv({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, 3, 3, 1}),
                              tlv(0x04, Bytes(300, 'A')))})));
    return out;
}

// Turns a decoded record into what a response would carry and checks that it
// encodes and decodes back to the same shape.
void round_trip(snmp_pdu* pdu, bool v1) {
    if (pdu->type != SNMP_PDU_TRAP) pdu->type = SNMP_PDU_RESPONSE;
    std::vector<uint8_t> buffer(20000);
    snmp_message_info info{};
    info.message_model = v1 ? 0 : 1;
    info.security_model = v1 ? 1 : 2;
    info.pdu_version = v1 ? 0 : 2;
    snmp_reply reply{};
    const int encoded = v1 ? snmp_v1_response_encode(nullptr, &info, pdu, buffer.data(),
                                                     static_cast<uint32_t>(buffer.size()), &reply)
                           : snmp_v2c_response_encode(nullptr, &info, pdu, buffer.data(),
                                                      static_cast<uint32_t>(buffer.size()), &reply);
    ASSERT_EQ(encoded, 1);
    auto back = new_pdu();
    snmp_message_info back_info;
    const Bytes message(reply.start, reply.start + reply.length);
    auto copy = exact_copy(message);
    const int decoded = v1 ? snmp_v1_message_decode(nullptr, 0, kSender, copy.get(), reply.length,
                                                    &back_info, back.get())
                           : snmp_v2c_message_decode(nullptr, 0, kSender, copy.get(), reply.length,
                                                     &back_info, back.get());
    ASSERT_EQ(decoded, 1) << to_hex(message);
    ASSERT_EQ(back->varbind_count, pdu->varbind_count);
    for (int i = 0; i < pdu->varbind_count; ++i) {
        EXPECT_EQ(name_of(back->varbinds[i]), name_of(pdu->varbinds[i]));
        EXPECT_EQ(back->varbinds[i].syntax, pdu->varbinds[i].syntax);
    }
}

} // namespace

TEST(SnmpFuzz, MutatedMessagesNeverCrashOrOverread) {
    const std::vector<Bytes> corpus = seeds();
    std::mt19937 rng(20261210);
    auto pdu = new_pdu();
    snmp_request_slots slots{};
    snmp_message_info info;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int decoded = 0;
    int iterations = 0;
    for (; iterations < 40000 && std::chrono::steady_clock::now() < deadline; ++iterations) {
        asn1_set_local_time_feature_source(iterations % 2 ? feature_on : nullptr);
        const Bytes message = mutate(corpus[rng() % corpus.size()], rng);
        auto copy = exact_copy(message);
        const uint32_t length = static_cast<uint32_t>(message.size());
        uint32_t version = 0;
        snmp_message_version(copy.get(), length, &version);
        if (snmp_v3_message_decode(&slots, 1, kSender, copy.get(), length, &info, pdu.get())) {
            snmp_request_slot_free(&slots, info.slot, nullptr, nullptr, nullptr);
        }
        for (bool v1 : {true, false}) {
            const int ok = v1 ? snmp_v1_message_decode(&slots, 1, kSender, copy.get(), length,
                                                       &info, pdu.get())
                              : snmp_v2c_message_decode(&slots, 1, kSender, copy.get(), length,
                                                        &info, pdu.get());
            if (!ok) continue;
            ++decoded;
            if (info.is_request)
                snmp_request_slot_free(&slots, info.slot, nullptr, nullptr, nullptr);
            ASSERT_GE(pdu->varbind_count, 0);
            ASSERT_LE(pdu->varbind_count, static_cast<int16_t>(SNMP_MAX_VARBINDS));
            round_trip(pdu.get(), v1);
            if (HasFatalFailure() || HasNonfatalFailure()) {
                FAIL() << "round trip of " << to_hex(message);
            }
        }
    }
    asn1_set_local_time_feature_source(nullptr);
    EXPECT_GT(decoded, 0);
    RecordProperty("iterations", iterations);
}
