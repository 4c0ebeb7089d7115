// A central system's message road through the agent and the display: the
// message is stored and validated through dmsMessageStatus, activated
// through dmsActivateMessage, and the response and the stored answers are
// read back (the real display entries, not a double).
#include "comm/snmp/snmp_agent.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <cstring>
#include <string>

using namespace agent_test;
using namespace snmp_test;

namespace {

// dmsMessageTable columns, instance .memoryType.number.
std::vector<uint32_t> Message(uint32_t column, uint32_t type, uint32_t number) {
    return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, column, type, number};
}
const uint32_t MULTI = 3, CRC = 5, STATUS = 9;
const std::vector<uint32_t> ACTIVATE = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 3, 0};

Bytes set_request(const std::vector<uint32_t>& name, const Bytes& value, uint8_t id) {
    Bytes body = cat(
        {tlv(0x02, Bytes{id}), hex("02 01 00 02 01 00"), tlv(0x30, varbind(oid_tlv(name), value))});
    return community_message(0, ADMIN, 0xA3, body);
}

Bytes integer(uint32_t value) {
    return tlv(0x02, Bytes{uint8_t(value >> 8), uint8_t(value)});
}

Bytes stored(const DbObject& object) {
    uint32_t n = 0;
    const char* p = db_get_string(object, &n);
    return Bytes(p, p + n);
}

class SnmpActivation : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200); // the display task takes its first steps
    }
    // One SET. -> the response's error status and index.
    std::pair<uint32_t, uint32_t> Set(const std::vector<uint32_t>& name, const Bytes& value) {
        auto pdu = agent_.AskPdu(set_request(name, value, ++id_));
        EXPECT_NE(nullptr, pdu);
        return pdu ? std::make_pair(pdu->error_status, pdu->error_index) : std::make_pair(99u, 0u);
    }
    uint32_t GetInteger(const std::vector<uint32_t>& name) {
        auto pdu = agent_.AskPdu(request(0xA0, ADMIN, name, ++id_));
        EXPECT_NE(nullptr, pdu);
        if (!pdu || pdu->error_status != 0) return 0xFFFFFFFF;
        uint32_t value = 0; // integers are decoded to a native 32-bit value
        std::memcpy(&value, pdu->varbinds[0].value, sizeof value);
        return value;
    }
    CapturingAgent agent_;
    uint8_t id_ = 0;
};

TEST_F(SnmpActivation, AMessageIsValidatedAndActivatedOverSnmp) {
    using P = std::pair<uint32_t, uint32_t>;
    ASSERT_EQ(P(0, 0), Set(Message(STATUS, 3, 1), integer(6)));
    EXPECT_EQ(2u, GetInteger(Message(STATUS, 3, 1)));
    ASSERT_EQ(P(0, 0), Set(Message(MULTI, 3, 1), tlv(0x04, Bytes{'H', 'E', 'L', 'L', 'O'})));
    ASSERT_EQ(P(0, 0), Set(Message(STATUS, 3, 1), integer(7)));
    EXPECT_EQ(4u, GetInteger(Message(STATUS, 3, 1)));
    EXPECT_EQ(60664u, GetInteger(Message(CRC, 3, 1)));

    Bytes code = hex("FF FF FF 03 00 01 EC F8 0A 01 02 03");
    EXPECT_EQ(P(0, 0), Set(ACTIVATE, tlv(0x04, code)));
    EXPECT_EQ(2u, db_get(obj::dmsActivateMsgError));
    EXPECT_EQ(8u, db_get(obj::dmsMsgSourceMode));
    EXPECT_EQ(hex("03 00 01 EC F8"), stored(obj::dmsMsgTableSource));
    EXPECT_EQ(65535u, db_get(obj::dmsMessageTimeRemaining));
    EXPECT_EQ(0x0A010203u, db_get(obj::dmsMsgRequesterID));

    Bytes wrong = hex("FF FF FF 03 00 01 EC F9 0A 01 02 03");
    EXPECT_EQ(P(5, 1), Set(ACTIVATE, tlv(0x04, wrong)));
    EXPECT_EQ(7u, db_get(obj::dmsActivateMsgError));
    EXPECT_EQ(wrong, stored(obj::dmsActivateErrorMsgCode));
    EXPECT_EQ(hex("03 00 01 EC F8"), stored(obj::dmsMsgTableSource));
}

} // namespace
