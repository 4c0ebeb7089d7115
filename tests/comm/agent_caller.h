// A central system's view through the in-process agent on a booted firmware:
// one-varbind SETs and integer GETs with the factory privileged community,
// each answered on the caller's thread.
#pragma once

#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"

#include <cstring>
#include <vector>

namespace agent_test {

class AgentCaller {
  public:
    // An INTEGER value of the two octets the tests need.
    static Bytes Integer(uint32_t value) {
        return snmp_test::tlv(0x02, Bytes{uint8_t(value >> 8), uint8_t(value)});
    }
    // -> the response's error status; 99 when there was no response.
    uint32_t Set(const std::vector<uint32_t>& name, const Bytes& value) {
        using namespace snmp_test;
        Bytes body = cat({tlv(0x02, Bytes{++id_}), hex("02 01 00 02 01 00"),
                          tlv(0x30, varbind(oid_tlv(name), value))});
        auto pdu = agent_.AskPdu(community_message(0, ADMIN, 0xA3, body));
        return pdu ? pdu->error_status : 99u;
    }
    // -> the value; 0xFFFFFFFF when the GET failed.
    uint32_t GetInteger(const std::vector<uint32_t>& name) {
        auto pdu = agent_.AskPdu(request(0xA0, ADMIN, name, ++id_));
        if (!pdu || pdu->error_status != 0) return 0xFFFFFFFF;
        uint32_t value = 0; // integers are decoded to a native 32-bit value
        std::memcpy(&value, pdu->varbinds[0].value, sizeof value);
        return value;
    }

    // -> the octets of an OCTET STRING value; empty when the GET failed.
    Bytes GetOctets(const std::vector<uint32_t>& name) {
        auto pdu = agent_.AskPdu(request(0xA0, ADMIN, name, ++id_));
        if (!pdu || pdu->error_status != 0) return {};
        const snmp_varbind& vb = pdu->varbinds[0];
        return Bytes(vb.value, vb.value + vb.value_length);
    }

  private:
    CapturingAgent agent_;
    uint8_t id_ = 0;
};

// A booted firmware whose display task has taken its first steps, asked
// through the in-process agent.
class FirmwareWithAgent : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200); // the display task takes its first steps
    }
    uint32_t Set(const std::vector<uint32_t>& name, const Bytes& value) {
        return caller_.Set(name, value);
    }
    uint32_t GetInteger(const std::vector<uint32_t>& name) { return caller_.GetInteger(name); }
    Bytes GetOctets(const std::vector<uint32_t>& name) { return caller_.GetOctets(name); }
    AgentCaller caller_;
};

} // namespace agent_test
