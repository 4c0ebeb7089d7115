// Message rows through the SNMP agent of a booted firmware, with the flash
// journal behind the store: what a manager writes is what the sign keeps
// across a power cut, and a text the store cannot keep is refused without
// touching the row.
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace snmp_test;

namespace {

const char* const ADMIN = "stewardcastle";
constexpr uint8_t GET = 0xA0, SET = 0xA3;
constexpr uint32_t MODIFYING = 2;

std::vector<uint32_t> entry(uint32_t column, uint32_t memory_type, uint32_t number) {
    return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, column, memory_type, number};
}
const auto TEXT = entry(3, 3, 1);
const auto STATUS = entry(9, 3, 1);

Bytes octets(const std::string& text) {
    return tlv(0x04, Bytes(text.begin(), text.end()));
}

// One varbind's exchange: the response's error status and value.
struct Reply {
    uint32_t status = 99;
    std::string value;
};

Reply ask(agent_test::CapturingAgent& agent, uint8_t pdu, const std::vector<uint32_t>& name,
          const Bytes& value = Bytes{0x05, 0x00}) {
    Reply r;
    auto response = agent.AskPdu(
        community_message(0, ADMIN, pdu, request_body({varbind(oid_tlv(name), value)})));
    if (!response) return r;
    r.status = response->error_status;
    const snmp_varbind& vb = response->varbinds[0];
    r.value.assign(reinterpret_cast<const char*>(vb.value), vb.value_length);
    return r;
}

// The first boot: a text stored, a longer one than the store keeps refused.
// Any surprise ends the boot with its own exit status.
void edit_then_cut() {
    agent_test::CapturingAgent agent;
    for (uint32_t row : {0u, 1u})
        if (db_set(obj::changeableMsgStatus.row(row), MODIFYING, DB_NO_VALIDATE) != DB_OK) _exit(3);
    if (ask(agent, SET, TEXT, octets("KEEP ME")).status != 0) _exit(4);
    const uint32_t too_long = db_get(obj::dmsMaxMultiStringLength) + 1;
    Reply refused = ask(agent, SET, TEXT, octets(std::string(too_long, 'A')));
    if (refused.status != 3) {
        std::fprintf(stderr, "a text of %u bytes: status %u\n", too_long, refused.status);
        _exit(5);
    }
    if (ask(agent, GET, TEXT).value != "KEEP ME") _exit(6);
    // The longest text the sign announces is kept.
    if (ask(agent, SET, entry(3, 3, 2), octets(std::string(too_long - 1, 'B'))).status != 0)
        _exit(7);
}

TEST(MessageStore, ATextTooLongForTheStoreIsRefusedAndTheRowKeepsItsTextAcrossAPowerCut) {
    char pattern[] = "/tmp/message-store-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    std::string error;
    ASSERT_TRUE(test_support::BootAfterPowerOff(dir, edit_then_cut, 5, error)) << error;
    agent_test::CapturingAgent agent;
    EXPECT_EQ("KEEP ME", ask(agent, GET, TEXT).value);
    EXPECT_EQ(std::string(db_get(obj::dmsMaxMultiStringLength), 'B'),
              ask(agent, GET, entry(3, 3, 2)).value);
    Reply status = ask(agent, GET, STATUS);
    ASSERT_EQ(4u, status.value.size());
    uint32_t number = 0;
    std::memcpy(&number, status.value.data(), 4);
    EXPECT_EQ(MODIFYING, number);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
