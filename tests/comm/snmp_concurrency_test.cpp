// Concurrent SETs from two managers on two transports (each served by its own
// link thread) with different communities never mix: each SET commits its own
// value with its own community's rights.
#include "comm/net/servers.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"

#include <atomic>
#include <string>
#include <thread>

using namespace agent_test;
using namespace snmp_test;

namespace {

const std::vector<uint32_t> SYS_NAME = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const std::vector<uint32_t> SYS_LOCATION = {1, 3, 6, 1, 2, 1, 1, 6, 0};
const int ROUNDS = 40;

Bytes set(const std::string& community, const std::vector<uint32_t>& name, const std::string& value,
          uint32_t id) {
    Bytes body =
        cat({tlv(0x02, Bytes{static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)}),
             hex("02 01 00 02 01 00"), tlv(0x30, varbind(oid_tlv(name), tlv(0x04, text(value))))});
    return community_message(0, community, 0xA3, body);
}

struct answer {
    uint32_t status = 99;
    std::string value;
};

answer decode(const Bytes& reply) {
    answer a;
    auto pdu = new_pdu();
    snmp_message_info info{};
    if (reply.empty() ||
        !snmp_v1_message_decode(nullptr, 0, nullptr, reply.data(),
                                static_cast<uint32_t>(reply.size()), &info, pdu.get()))
        return a;
    a.status = pdu->error_status;
    a.value.assign(reinterpret_cast<const char*>(pdu->varbinds[0].value),
                   pdu->varbinds[0].value_length);
    return a;
}

class SnmpConcurrency : public NetworkedSign {};

TEST_F(SnmpConcurrency, SetsWithDifferentCommunitiesNeverMix) {
    std::atomic<int> harbor_ok{0}, meadow_refused{0}, admin_ok{0};
    Serve([&] {
        std::thread refused([&] { // no rights: every SET refused, nothing written
            TcpManager m(161);
            for (int i = 0; i < ROUNDS; i++)
                meadow_refused += decode(m.Ask(set("meadow", SYS_NAME, "M" + std::to_string(i),
                                                   static_cast<uint32_t>(i))))
                                      .status == 2;
        });
        std::thread admin([&] {
            TcpManager m(NTCIP_SECOND_PORT);
            for (int i = 0; i < ROUNDS; i++) {
                std::string value = "A" + std::to_string(i);
                answer a = decode(m.Ask(set(ADMIN, SYS_LOCATION, value, static_cast<uint32_t>(i))));
                admin_ok += a.status == 0 && a.value == value;
            }
        });
        UdpManager m;
        for (int i = 0; i < ROUNDS; i++) {
            std::string value = "H" + std::to_string(i);
            answer a = decode(m.Ask(set("Harbor", SYS_NAME, value, static_cast<uint32_t>(i))));
            harbor_ok += a.status == 0 && a.value == value;
        }
        refused.join();
        admin.join();
    });
    EXPECT_EQ(ROUNDS, harbor_ok.load());
    EXPECT_EQ(ROUNDS, meadow_refused.load());
    EXPECT_EQ(ROUNDS, admin_ok.load());
    EXPECT_EQ("H" + std::to_string(ROUNDS - 1), std::string(db_get_string(obj::sysName)));
    EXPECT_EQ("A" + std::to_string(ROUNDS - 1), std::string(db_get_string(obj::sysLocation)));
}

} // namespace
