// Bounded fuzzing of the agent and of the SNMP-over-Ethernet framing under the
// sanitizers: mutated requests through snmp_message_process never crash,
// every request record and request slot is given back whatever happens, and a
// response always decodes with the request's id; random byte streams through
// the framer never overrun its buffer and every message it completes is
// exactly as long as its BER header says.
#include "comm/links/snmp_ethernet.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <random>

using namespace agent_test;
using namespace snmp_test;

namespace {

const int AGENT_CASES = 4000;
const int FRAMING_BYTES = 200000;

std::vector<uint32_t> walk_start() {
    return {1, 3, 6, 1, 2, 1, 1};
}

std::vector<Bytes> seeds() {
    std::vector<Bytes> out;
    for (const char* name : {"get_sysdescr", "getnext_system", "get_three", "set_integer",
                             "set_string", "set_types", "get_v2c", "get_v3_probe"})
        out.push_back(fixture(name));
    out.push_back(request(0xA1, ADMIN, walk_start(), 5));
    out.push_back(request(0xA1, "public", {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5}, 6));
    out.push_back(community_message(
        0, ADMIN, 0xA3,
        request_body({varbind(oid_tlv({1, 3, 6, 1, 2, 1, 1, 5, 0}), tlv(0x04, Bytes(300, 'A'))),
                      varbind(oid_tlv({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 7, 3, 1, 5, 1, 3}),
                              hex("02 01 07"))})));
    return out;
}

uint32_t request_id_of(const Bytes& message) {
    auto pdu = new_pdu();
    snmp_message_info info{};
    uint32_t version = 9;
    snmp_message_version(message.data(), static_cast<uint32_t>(message.size()), &version);
    if (version == 0 &&
        snmp_v1_message_decode(nullptr, 0, nullptr, message.data(),
                               static_cast<uint32_t>(message.size()), &info, pdu.get()))
        return pdu->request_id;
    if ((version == 1 || version == 2) &&
        snmp_v2c_message_decode(nullptr, 0, nullptr, message.data(),
                                static_cast<uint32_t>(message.size()), &info, pdu.get()))
        return pdu->request_id;
    return 0xFFFFFFFFu;
}

class AgentFuzz : public test_support::FirmwareFixture {};

TEST_F(AgentFuzz, MutatedRequestsNeverCrashLeakOrAnswerAnotherRequest) {
    db_set_text(obj::communityNameUser.row(1), "public", DB_NOTIFY);
    db_set(obj::communityNameAccessMask.row(1), 0x1, DB_NOTIFY);
    CapturingAgent agent;
    std::mt19937 rng(19);
    std::vector<Bytes> pool = seeds();
    size_t answered = 0;
    for (int i = 0; i < AGENT_CASES; i++) {
        Bytes message = mutate(pool[rng() % pool.size()], rng);
        std::unique_ptr<uint8_t[]> exact = exact_copy(message);
        Bytes copy(exact.get(), exact.get() + message.size());
        Bytes reply = agent.Ask(copy);
        ASSERT_EQ(0u, agent.SlotsInUse()) << to_hex(message);
        ASSERT_EQ(0u, snmp_request_records_in_use()) << to_hex(message);
        if (reply.empty()) continue;
        answered++;
        uint32_t asked = request_id_of(message);
        if (reply.size() > 2 && asked != 0xFFFFFFFFu) {
            EXPECT_EQ(asked, request_id_of(reply)) << to_hex(message);
        }
    }
    EXPECT_GT(answered, 0u);
}

TEST(FramingFuzz, RandomStreamsNeverOverrunAndCompleteOnlyWholeMessages) {
    std::mt19937 rng(1906);
    ethernet_framer framer;
    static const uint8_t bias[] = {0x30, 0x30, 0x81, 0x82, 0x83, 0x80, 0x00, 0x07, 0xD0, 0xD1};
    for (int i = 0; i < FRAMING_BYTES; i++) {
        uint8_t byte = rng() % 3 ? bias[rng() % sizeof bias] : static_cast<uint8_t>(rng());
        int result = ethernet_frame_byte(framer, byte);
        ASSERT_LE(framer.length, ETHERNET_MESSAGE_BYTES);
        if (result == ETHERNET_FRAME_NOT_MSG) framer.length = 0;
        if (result != ETHERNET_FRAME_COMPLETE) continue;
        const uint8_t* m = framer.message;
        size_t header = m[1] & 0x80 ? 2 + (m[1] & 0x7F) : 2;
        size_t content = m[1] & 0x80 ? 0 : m[1];
        for (size_t k = 2; k < header; k++)
            content = content << 8 | m[k];
        ASSERT_EQ(0x30, m[0]);
        ASSERT_LE(content, ETHERNET_CONTENT_MAX);
        ASSERT_EQ(header + (content ? content : 1), framer.length); // 30 00 takes one more byte
        framer.length = 0;
    }
}

} // namespace
