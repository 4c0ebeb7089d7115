// Requests captured from net-snmp's snmpget, snmpgetnext and snmpset run
// through the codec, the registry and the encoder as the agent runs them;
// the responses are decoded again and compared with what the tools expect.
#include "tests/ntcip/mib/mib_fixture.h"

#include "ntcip/objects/mib2.h"
#include "platform/kernel/kernel.h"

using namespace mib_test;
using snmp_test::Bytes;

namespace {

constexpr uint32_t NO_ERROR = 0, NO_SUCH_NAME = 2, BAD_VALUE = 3;

class WireTest : public MibFixture {
  protected:
    // Answers one SNMPv1 request: every varbind looked up (a SET in its two
    // passes under the SET lock); on an error the varbinds go back as received.
    Bytes Serve(const Bytes& request) {
        snmp_message_info info;
        std::unique_ptr<snmp_pdu> req = snmp_test::new_pdu();
        const uint8_t address[4] = {127, 0, 0, 1};
        EXPECT_EQ(1, snmp_v1_message_decode(nullptr, 161, address, request.data(),
                                            uint32_t(request.size()), &info, req.get()));
        std::unique_ptr<snmp_pdu> received(new snmp_pdu(*req));
        int mode = req->type == SNMP_PDU_GET    ? MIB_GET
                   : req->type == SNMP_PDU_NEXT ? MIB_GETNEXT
                                                : MIB_SET;
        uint32_t mask = 0;
        TheDatabase().LookupCommunity(info.community, &mask);
        mib_context_begin(*ctx, mask);
        uint32_t status = 0, index = 0;
        auto pass = [&](uint8_t phase) {
            for (int i = 0; i < req->varbind_count && status == 0; ++i) {
                snmp_varbind& vb = req->varbinds[i];
                if (mode == MIB_SET && mib_stage_value(*ctx, vb) == 0) status = BAD_VALUE;
                ctx->set_phase = phase;
                uint8_t type = uint8_t(vb.syntax);
                uint32_t value_length = 0;
                uint16_t access = 0;
                int error = 0;
                uintptr_t* r = getStatPtr(*ctx, vb.name, &vb.name_length, &type, &value_length,
                                          &access, mode, req.get(), i, &error);
                if (status == 0 && (error == MIB_NO_SUBTREE || error == MIB_NO_SUCH_NAME))
                    status = NO_SUCH_NAME;
                if (status == 0 && error == MIB_BAD_VALUE) status = BAD_VALUE;
                if (status == 0 && mode == MIB_SET && access != MIB_READ_WRITE)
                    status = NO_SUCH_NAME; // read-only, as SNMPv1 reports it
                if (status == 0 && req->error_status != 0) status = req->error_status;
                if (status != 0) {
                    index = uint32_t(i + 1);
                } else if (r != nullptr && (mode != MIB_SET || phase == 1)) {
                    mib_answer_varbind(vb, type, value_length);
                }
            }
        };
        if (mode == MIB_SET) {
            mib_set_lock();
            pass(0);
            if (status == 0) pass(1);
            mib_set_unlock();
        } else {
            pass(1);
        }
        if (status != 0)
            std::copy(received->varbinds, received->varbinds + SNMP_MAX_VARBINDS, req->varbinds);
        req->type = SNMP_PDU_RESPONSE;
        req->error_status = status;
        req->error_index = index;
        uint8_t buffer[SNMP_MESSAGE_BUFFER];
        uint8_t* start = nullptr;
        uint32_t length = 0;
        EXPECT_EQ(1, snmp_v1_message_encode(info.community, req.get(), buffer, sizeof buffer,
                                            &start, &length));
        return Bytes(start, start + length);
    }

    // The response decoded again.
    std::unique_ptr<snmp_pdu> Decode(const Bytes& response) {
        snmp_message_info info;
        std::unique_ptr<snmp_pdu> pdu = snmp_test::new_pdu();
        EXPECT_EQ(1, snmp_v1_message_decode(nullptr, 0, nullptr, response.data(),
                                            uint32_t(response.size()), &info, pdu.get()));
        EXPECT_EQ(uint32_t(SNMP_PDU_RESPONSE), pdu->type);
        return pdu;
    }
    std::unique_ptr<snmp_pdu> Exchange(const char* fixture) {
        return Decode(Serve(snmp_test::fixture(fixture)));
    }
};

std::string octets_of(const snmp_varbind& vb) {
    return std::string(reinterpret_cast<const char*>(vb.value), vb.value_length);
}

TEST_F(WireTest, GetAndGetNextOfTheSystemGroup) {
    auto descr = Exchange("get_sysdescr");
    EXPECT_EQ(NO_ERROR, descr->error_status);
    EXPECT_EQ(SNMP_OCTETSTR, descr->varbinds[0].syntax);
    EXPECT_EQ(Str(obj::sysDescr), octets_of(descr->varbinds[0]));

    auto next = Exchange("mib_getnext_mib2"); // GETNEXT 1.3.6.1.2.1
    EXPECT_EQ(NO_ERROR, next->error_status);
    EXPECT_EQ(mib2({1, 1, 0}), snmp_test::name_of(next->varbinds[0]));
    EXPECT_EQ(Str(obj::sysDescr), octets_of(next->varbinds[0]));
}

TEST_F(WireTest, UpTimeTenSecondsAfterStartIsTen) {
    tx_thread_sleep(1000);
    auto up = Exchange("mib_get_uptime");
    EXPECT_EQ(NO_ERROR, up->error_status);
    EXPECT_EQ(SNMP_TIMETICKS, up->varbinds[0].syntax);
    EXPECT_EQ(10u, snmp_test::number_of(up->varbinds[0]));
}

TEST_F(WireTest, SetsAnsweredAsTheToolsExpect) {
    db_set(obj::ipForwarding, 1, 0);
    auto refused = Exchange("mib_set_ipforwarding_3");
    EXPECT_EQ(BAD_VALUE, refused->error_status);
    EXPECT_EQ(1u, refused->error_index);
    EXPECT_EQ(3u, snmp_test::number_of(refused->varbinds[0])); // as received
    EXPECT_EQ(1u, db_get(obj::ipForwarding));

    auto stored = Exchange("mib_set_ipforwarding_2");
    EXPECT_EQ(NO_ERROR, stored->error_status);
    EXPECT_EQ(2u, snmp_test::number_of(stored->varbinds[0]));
    EXPECT_EQ(2u, db_get(obj::ipForwarding));

    auto locked = Exchange("mib_set_ifspeed");
    EXPECT_EQ(NO_SUCH_NAME, locked->error_status);
    EXPECT_EQ(83886080u, db_get(obj::ifSpeed));

    auto speed = Exchange("mib_set_rs232_speed"); // 57600 on port 3
    EXPECT_EQ(NO_ERROR, speed->error_status);
    EXPECT_EQ(9600u, snmp_test::number_of(speed->varbinds[0]));
    EXPECT_EQ(9600u, db_get(obj::rs232PortInSpeed.row(2)));
}

// snmpwalk of the address-translation table: each response's name is the
// next request's.
TEST_F(WireTest, AddressTranslationWalkGivesTwoInstancesPerColumn) {
    const uint8_t mac[6] = {0, 0x50, 0xC2, 1, 2, 3};
    at_cache_set(0, 0xC0A80002, mac);
    Bytes request = snmp_test::fixture("mib_getnext_at");
    std::vector<Oid> walk;
    for (int step = 0; step < 10; ++step) {
        auto response = Decode(Serve(request));
        ASSERT_EQ(NO_ERROR, response->error_status);
        Oid name = snmp_test::name_of(response->varbinds[0]);
        if (name.size() < 7 || name[6] != 3) break;
        walk.push_back(name);
        snmp_message_info info;
        std::unique_ptr<snmp_pdu> next = snmp_test::new_pdu();
        ASSERT_EQ(1, snmp_v1_message_decode(nullptr, 0, nullptr, request.data(),
                                            uint32_t(request.size()), &info, next.get()));
        snmp_varbind& vb = next->varbinds[0];
        std::copy(name.begin(), name.end(), vb.name);
        vb.name_length = uint32_t(name.size());
        uint8_t buffer[SNMP_MESSAGE_BUFFER];
        uint8_t* start = nullptr;
        uint32_t length = 0;
        ASSERT_EQ(1, snmp_v1_message_encode(info.community, next.get(), buffer, sizeof buffer,
                                            &start, &length));
        request.assign(start, start + length);
    }
    ASSERT_EQ(6u, walk.size());
    for (uint32_t c = 1; c <= 3; ++c) {
        EXPECT_EQ(mib2({3, 1, 1, c, 0, 1, 192, 168, 0, 2}), walk[2 * (c - 1)]);
        EXPECT_EQ(mib2({3, 1, 1, c, 1, 1, 0, 0, 0, 0}), walk[2 * (c - 1) + 1]);
    }
}

} // namespace
