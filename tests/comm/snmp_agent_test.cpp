// The agent from its edge: SNMP messages into snmp_message_process, the
// response bytes and the stored objects and counters out, on a booted
// firmware with a double of the display's entries.
#include "comm/snmp/snmp_agent.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <algorithm>
#include <string>

using namespace agent_test;
using namespace snmp_test;

namespace {

const char* const USER = "Harbor";      // a user community with every right
const char* const NO_RIGHTS = "meadow"; // a user community with none
const std::vector<uint32_t> SYS_NAME = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const std::vector<uint32_t> SYS_LOCATION = {1, 3, 6, 1, 2, 1, 1, 6, 0};
const std::vector<uint32_t> ADMIN_NAME = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5, 1, 0};
const std::vector<uint32_t> SECURITY_GROUP = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5};
const std::vector<uint32_t> ACTIVATE = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 3, 0};
const std::vector<uint32_t> BITMAP_BLOCK = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 10, 7, 1, 3, 1, 1};

// The display double: activations fail, the post-SET entries are counted.
struct display_double {
    static int activations, validations, graphics;
    static bool activate() {
        activations++;
        db_set(obj::dmsActivateMsgError, 8, 0); // syntaxMULTI
        return true;
    }
    static void validate() { validations++; }
    static void store_graphic() { graphics++; }
};
int display_double::activations = 0;
int display_double::validations = 0;
int display_double::graphics = 0;
const snmp_display_entries DOUBLE = {display_double::activate, display_double::validate,
                                     display_double::store_graphic};

Bytes set_request(const std::string& community, const std::vector<Bytes>& varbinds,
                  uint32_t id = 1) {
    Bytes body = cat({tlv(0x02, Bytes{static_cast<uint8_t>(id)}), hex("02 01 00 02 01 00")});
    Bytes list;
    for (const Bytes& vb : varbinds)
        list = cat({list, vb});
    return community_message(0, community, 0xA3, cat({body, tlv(0x30, list)}));
}

Bytes octets(const std::string& text) {
    return tlv(0x04, Bytes(text.begin(), text.end()));
}

std::string text_of(const snmp_varbind& vb) {
    return std::string(reinterpret_cast<const char*>(vb.value), vb.value_length);
}

bool under(const snmp_varbind& vb, const std::vector<uint32_t>& prefix) {
    return vb.name_length >= prefix.size() && std::equal(prefix.begin(), prefix.end(), vb.name);
}

class SnmpAgent : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        snmp_set_display_entries(&DOUBLE);
    }
    void TearDown() override {
        snmp_set_display_entries(nullptr);
        EXPECT_EQ(0u, agent_.SlotsInUse());
        EXPECT_EQ(0u, snmp_request_records_in_use());
        test_support::FirmwareFixture::TearDown();
    }
    // True when the registry serves the object (to the privileged community).
    bool Served(const std::vector<uint32_t>& name) {
        auto pdu = agent_.AskPdu(get(1, ADMIN, name));
        return pdu && pdu->error_status == 0;
    }
    CapturingAgent agent_;
};

TEST_F(SnmpAgent, AnUnknownCommunityIsDroppedAndCounted) {
    uint32_t names = db_get(obj::snmpInBadCommunityNames);
    uint32_t uses = db_get(obj::snmpInBadCommunityUses);
    uint32_t panynj = db_get(obj::panynjObj1_5);
    EXPECT_TRUE(agent_.Ask(get(1, "nobody")).empty());
    EXPECT_TRUE(agent_.Ask(get(2, "")).empty());
    EXPECT_EQ(names + 2, db_get(obj::snmpInBadCommunityNames));
    EXPECT_EQ(uses + 2, db_get(obj::snmpInBadCommunityUses));
    EXPECT_EQ(panynj + 2, db_get(obj::panynjObj1_5));
    ASSERT_NE(nullptr, agent_.AskPdu(get(3)));
    EXPECT_EQ(0u, db_get(obj::panynjObj1_5)); // a known community clears it
}

TEST_F(SnmpAgent, TheSecurityGroupIsHiddenFromUserCommunities) {
    auto denied = agent_.AskPdu(get(1, USER, ADMIN_NAME));
    ASSERT_NE(nullptr, denied);
    EXPECT_EQ(2u, denied->error_status);
    EXPECT_EQ(1u, denied->error_index);
    auto set = agent_.AskPdu(set_request(USER, {varbind(oid_tlv(ADMIN_NAME), octets("mine"))}));
    ASSERT_NE(nullptr, set);
    EXPECT_EQ(2u, set->error_status);
    EXPECT_STREQ("stewardcastle", db_get_string(obj::communityNameAdmin));
    // A walk by a user community steps over the whole group.
    std::vector<uint32_t> before = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 4, 7, 0}; // numEvents
    auto next = agent_.AskPdu(request(0xA1, USER, before, 2));
    ASSERT_NE(nullptr, next);
    EXPECT_FALSE(under(next->varbinds[0], SECURITY_GROUP));
    // The administrator's walk enters it.
    ASSERT_TRUE(Served(ADMIN_NAME));
    auto admin = agent_.AskPdu(request(0xA1, ADMIN, before, 3));
    ASSERT_NE(nullptr, admin);
    EXPECT_TRUE(under(admin->varbinds[0], SECURITY_GROUP));
}

// The CHAP name and secret likewise: a user community reads neither, and its
// walk passes from the CHAP count straight to the PMPP objects.
TEST_F(SnmpAgent, TheChapSecretIsHiddenFromUserCommunities) {
    const std::vector<uint32_t> chap_count = {1, 3, 6, 1, 4, 1, 1206, 4, 1, 1, 1, 1, 0};
    const std::vector<uint32_t> chap_table = {1, 3, 6, 1, 4, 1, 1206, 4, 1, 1, 1, 2};
    for (uint32_t column : {1u, 2u}) {
        std::vector<uint32_t> name = chap_table;
        name.insert(name.end(), {1, column, 1});
        auto denied = agent_.AskPdu(get(1, USER, name));
        ASSERT_NE(nullptr, denied);
        EXPECT_EQ(2u, denied->error_status) << column;
        auto admin = agent_.AskPdu(get(2, ADMIN, name));
        ASSERT_NE(nullptr, admin);
        EXPECT_EQ(0u, admin->error_status) << column;
    }
    auto next = agent_.AskPdu(request(0xA1, USER, chap_count, 3));
    ASSERT_NE(nullptr, next);
    EXPECT_EQ(0u, next->error_status);
    EXPECT_FALSE(under(next->varbinds[0], chap_table));
    EXPECT_TRUE(under(next->varbinds[0], {1, 3, 6, 1, 4, 1, 1206, 4, 1, 2}));
}

TEST_F(SnmpAgent, ASetWithABadValueAtIndexTwoWritesNothing) {
    std::string name_before = db_get_string(obj::sysName);
    auto mismatch =
        agent_.AskPdu(set_request(ADMIN, {varbind(oid_tlv(SYS_NAME), octets("new")),
                                          varbind(oid_tlv(SYS_LOCATION), hex("02 01 05"))}));
    ASSERT_NE(nullptr, mismatch);
    EXPECT_EQ(3u, mismatch->error_status);
    EXPECT_EQ(2u, mismatch->error_index);
    EXPECT_EQ("new", text_of(mismatch->varbinds[0])); // as received
    EXPECT_EQ(name_before, db_get_string(obj::sysName));
    std::vector<uint32_t> auth_traps = {1, 3, 6, 1, 2, 1, 11, 30, 0};
    auto range = agent_.AskPdu(set_request(ADMIN, {varbind(oid_tlv(SYS_NAME), octets("new")),
                                                   varbind(oid_tlv(auth_traps), hex("02 01 07"))}));
    ASSERT_NE(nullptr, range);
    EXPECT_EQ(3u, range->error_status);
    EXPECT_EQ(2u, range->error_index);
    EXPECT_EQ(name_before, db_get_string(obj::sysName));
}

TEST_F(SnmpAgent, SetsAreCommittedAndReadBack) {
    auto pdu = agent_.AskPdu(set_request(USER, {varbind(oid_tlv(SYS_NAME), octets("sign 7")),
                                                varbind(oid_tlv(SYS_LOCATION), octets("km 12"))}));
    ASSERT_NE(nullptr, pdu);
    EXPECT_EQ(0u, pdu->error_status);
    EXPECT_EQ("sign 7", text_of(pdu->varbinds[0]));
    EXPECT_STREQ("sign 7", db_get_string(obj::sysName));
    EXPECT_STREQ("km 12", db_get_string(obj::sysLocation));
    // A community without rights is refused and writes nothing.
    auto refused = agent_.AskPdu(set_request(NO_RIGHTS, {varbind(oid_tlv(SYS_NAME), octets("x"))}));
    ASSERT_NE(nullptr, refused);
    EXPECT_EQ(2u, refused->error_status);
    EXPECT_STREQ("sign 7", db_get_string(obj::sysName));
}

TEST_F(SnmpAgent, ASetOfAReadOnlyObjectIsNoSuchName) {
    uint32_t read_onlys = db_get(obj::snmpInReadOnlys);
    std::string descr = db_get_string(obj::sysDescr);
    auto pdu = agent_.AskPdu(set_request(ADMIN, {varbind(oid_tlv(SYS_DESCR), octets("mine"))}));
    ASSERT_NE(nullptr, pdu);
    EXPECT_EQ(2u, pdu->error_status);
    EXPECT_EQ(1u, pdu->error_index);
    EXPECT_EQ(read_onlys + 1, db_get(obj::snmpInReadOnlys));
    EXPECT_EQ(descr, db_get_string(obj::sysDescr));
}

TEST_F(SnmpAgent, AFailedActivationAnswersGenErr) {
    ASSERT_TRUE(Served(ACTIVATE));
    Bytes code = hex("FF FF FF 03 00 01 00 00 7F 00 00 01");
    auto pdu = agent_.AskPdu(set_request(ADMIN, {varbind(oid_tlv(ACTIVATE), tlv(0x04, code))}));
    ASSERT_NE(nullptr, pdu);
    EXPECT_EQ(1, display_double::activations);
    EXPECT_EQ(5u, pdu->error_status);
    EXPECT_EQ(1u, pdu->error_index);
    EXPECT_EQ(8u, db_get(obj::dmsActivateMsgError));
}

TEST_F(SnmpAgent, AGraphicBlockIsReadAsTenTwentyThreeBytes) {
    ASSERT_TRUE(Served(BITMAP_BLOCK));
    auto pdu = agent_.AskPdu(get(1, ADMIN, BITMAP_BLOCK));
    ASSERT_NE(nullptr, pdu);
    EXPECT_EQ(1023u, pdu->varbinds[0].value_length);
}

TEST_F(SnmpAgent, GetBulkIsDroppedAndCountedAsGenErr) {
    uint32_t gen_errs = db_get(obj::snmpInGenErrs);
    Bytes bulk = community_message(1, ADMIN, 0xA5,
                                   cat({hex("02 01 01 02 01 00 02 01 05"),
                                        tlv(0x30, varbind(oid_tlv(SYS_DESCR), hex("05 00")))}));
    EXPECT_TRUE(agent_.Ask(bulk).empty());
    EXPECT_EQ(gen_errs + 1, db_get(obj::snmpInGenErrs));
}

TEST_F(SnmpAgent, Snmpv2cIsAnsweredInItsEnvelopeWithV1Statuses) {
    uint32_t bad_versions = db_get(obj::snmpInBadVersions);
    uint32_t version = 9;
    auto pdu = agent_.AskPdu(request(0xA0, ADMIN, SYS_DESCR, 4, 1), &version);
    ASSERT_NE(nullptr, pdu);
    EXPECT_EQ(1u, version);
    EXPECT_EQ(0u, pdu->error_status);
    auto missing =
        agent_.AskPdu(request(0xA0, ADMIN, {1, 3, 6, 1, 2, 1, 1, 99, 0}, 5, 1), &version);
    ASSERT_NE(nullptr, missing);
    EXPECT_EQ(2u, missing->error_status); // noSuchName, not a v2 exception
    EXPECT_EQ(bad_versions + 2, db_get(obj::snmpInBadVersions));
}

TEST_F(SnmpAgent, AResponseTooBigForTheTransportIsAnsweredTooBig) {
    agent_.Agent()->response_limit = 1456;
    std::vector<Bytes> many(30, varbind(oid_tlv(SYS_DESCR), hex("05 00")));
    Bytes message = community_message(0, ADMIN, 0xA0, request_body(many));
    uint32_t out_too_bigs = db_get(obj::snmpOutTooBigs);
    Bytes reply = agent_.Ask(message);
    ASSERT_FALSE(reply.empty());
    EXPECT_LE(reply.size(), 1456u);
    EXPECT_EQ(out_too_bigs + 1, db_get(obj::snmpOutTooBigs));
    auto pdu = agent_.AskPdu(message);
    ASSERT_NE(nullptr, pdu);
    EXPECT_EQ(1u, pdu->error_status);
    EXPECT_EQ(0u, pdu->error_index);
    EXPECT_EQ(0, pdu->varbind_count);
    // Within the limit the same request is answered whole.
    agent_.Agent()->response_limit = 3000;
    auto whole = agent_.AskPdu(
        community_message(0, ADMIN, 0xA0, request_body(std::vector<Bytes>(20, many[0]))));
    ASSERT_NE(nullptr, whole);
    EXPECT_EQ(0u, whole->error_status);
    EXPECT_EQ(20, whole->varbind_count);
}

TEST_F(SnmpAgent, UndecodableAndUnansweredRequestsGiveTheirSlotsBack) {
    // More drops than there are request slots: each one gives its slot back,
    // so the next good request is still answered.
    for (int i = 0; i < 25; i++) {
        agent_.Ask(get(1, "nobody"));
        agent_.Ask(community_message(1, ADMIN, 0xA5, request_body({})));
        agent_.Ask(hex("30 03 02 01 00"));
    }
    auto pdu = agent_.AskPdu(get(9));
    ASSERT_NE(nullptr, pdu);
    EXPECT_EQ(9u, pdu->request_id);
}

// The bytes of a v1 or v2c message's varbind list: what follows the
// request id, error status and error index of its PDU.
Bytes varbind_list(const Bytes& m) {
    size_t at = 0;
    auto enter = [&m, &at]() -> size_t {
        if (at + 2 > m.size()) return at = m.size(), 0;
        size_t n = m[at + 1];
        at += 2;
        if (n & 0x80) {
            size_t octets = n & 0x7F;
            for (n = 0; octets-- && at < m.size();)
                n = n << 8 | m[at++];
        }
        return n;
    };
    enter();       // message
    at += enter(); // version
    at += enter(); // community
    enter();       // PDU
    for (int i = 0; i < 3; i++)
        at += enter();
    return at < m.size() ? Bytes(m.begin() + at, m.end()) : Bytes{};
}

Bytes request_of(uint8_t pdu_tag, const std::string& community, const std::vector<Bytes>& vbs) {
    return community_message(0, community, pdu_tag, request_body(vbs));
}

const std::vector<uint32_t> SYS_CONTACT = {1, 3, 6, 1, 2, 1, 1, 4, 0};
const std::vector<uint32_t> SYS_OBJECT_ID = {1, 3, 6, 1, 2, 1, 1, 2, 0};
const std::vector<uint32_t> DAY_PLAN_ACTION = {1, 3, 6, 1, 4, 1, 1206, 4, 2,
                                               6, 3, 3, 5, 1, 5, 1,    1};
const std::vector<uint32_t> LOCAL_TIME_OBJECT = {1, 3, 6, 1, 4, 1, 1206, 3, 16, 1, 1, 20, 5, 0};

TEST_F(SnmpAgent, AnErrorResponseEchoesEveryVarbindAsReceived) {
    // The admin's text stands in the store and in the agent's earlier records.
    const std::string secret(222, 'S');
    auto written =
        agent_.AskPdu(set_request(ADMIN, {varbind(oid_tlv(SYS_CONTACT), octets(secret))}));
    ASSERT_NE(nullptr, written);
    ASSERT_EQ(0u, written->error_status);
    std::vector<uint32_t> forty = {1, 3};
    while (forty.size() < SNMP_MAX_OID)
        forty.push_back(static_cast<uint32_t>(forty.size()));
    struct Case {
        const char* what;
        Bytes request;
        uint32_t status, index;
    } cases[] = {
        {"noSuchName with an OID value of 40 sub-identifiers",
         request_of(0xA0, NO_RIGHTS,
                    {varbind(oid_tlv({1, 3, 6, 1, 2, 1, 1, 99, 0}), oid_tlv(forty))}),
         2, 1},
        {"an OID row set with an INTEGER",
         request_of(0xA3, ADMIN, {varbind(oid_tlv(DAY_PLAN_ACTION), hex("02 01 05"))}), 3, 1},
        {"an OID row set with an OCTET STRING",
         request_of(0xA3, ADMIN, {varbind(oid_tlv(DAY_PLAN_ACTION), octets("abc"))}), 3, 1},
        {"a read-only OID row set with an INTEGER",
         request_of(0xA3, ADMIN, {varbind(oid_tlv(SYS_OBJECT_ID), hex("02 01 05"))}), 2, 1},
        {"a hidden object asked by a user community",
         request_of(0xA0, USER, {varbind(oid_tlv(ADMIN_NAME), octets("xyz"))}), 2, 1},
        {"GETNEXT past the end keeps the first varbind's name",
         request_of(0xA1, ADMIN,
                    {varbind(oid_tlv(SYS_DESCR), hex("05 00")),
                     varbind(oid_tlv({2, 99}), oid_tlv(forty))}),
         2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes reply = agent_.Ask(c.request);
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(to_hex(varbind_list(c.request)), to_hex(varbind_list(reply)));
        EXPECT_EQ(std::search(reply.begin(), reply.end(), secret.begin(), secret.begin() + 8),
                  reply.end());
        auto pdu = agent_.AskPdu(c.request);
        ASSERT_NE(nullptr, pdu);
        EXPECT_EQ(c.status, pdu->error_status);
        EXPECT_EQ(c.index, pdu->error_index);
    }
}

TEST_F(SnmpAgent, OnlyACommittedSetSwitchesTheLocalTimeFeature) {
    CDataBase& db = TheDatabase();
    ASSERT_EQ(0, db.IsLocalTimeFeature());
    std::vector<uint32_t> column(LOCAL_TIME_OBJECT.begin(), LOCAL_TIME_OBJECT.end() - 1);
    struct Case {
        const char* what;
        Bytes request;
    } reads[] = {
        {"GET by a user", get(1, NO_RIGHTS, LOCAL_TIME_OBJECT)},
        {"GET by the admin", get(2, ADMIN, LOCAL_TIME_OBJECT)},
        {"GETNEXT onto it", request(0xA1, NO_RIGHTS, column, 3)},
        {"SET by a community without rights",
         set_request(NO_RIGHTS, {varbind(oid_tlv(LOCAL_TIME_OBJECT), octets("1"))})},
        {"SET refused for a bad value",
         set_request(ADMIN, {varbind(oid_tlv(LOCAL_TIME_OBJECT), octets("1")),
                             varbind(oid_tlv(SYS_OBJECT_ID), hex("02 01 05"))})},
    };
    for (const Case& c : reads) {
        ASSERT_FALSE(agent_.Ask(c.request).empty()) << c.what;
        EXPECT_EQ(0, db.IsLocalTimeFeature()) << c.what;
    }
    auto set =
        agent_.AskPdu(set_request(ADMIN, {varbind(oid_tlv(LOCAL_TIME_OBJECT), octets("1"))}));
    ASSERT_NE(nullptr, set);
    EXPECT_EQ(0u, set->error_status);
    EXPECT_EQ(1, db.IsLocalTimeFeature());
}

TEST_F(SnmpAgent, AnSnmpv3MessageIsDroppedAndCountedAsABadVersion) {
    // A v3 envelope whose security parameters carry the admin community.
    Bytes header =
        tlv(0x30, cat({hex("02 01 01 02 02 08 00"), tlv(0x04, hex("04")), hex("02 01 03")}));
    Bytes scoped =
        tlv(0x30, cat({tlv(0x04, {}), tlv(0x04, {}),
                       tlv(0xA3, request_body({varbind(oid_tlv(SYS_NAME), octets("v3"))}))}));
    Bytes message = tlv(0x30, cat({hex("02 01 03"), header, tlv(0x04, text(ADMIN)), scoped}));
    uint32_t bad_versions = db_get(obj::snmpInBadVersions);
    EXPECT_TRUE(agent_.Ask(message).empty());
    EXPECT_EQ(bad_versions + 1, db_get(obj::snmpInBadVersions));
    auto name = agent_.AskPdu(get(2, ADMIN, SYS_NAME));
    ASSERT_NE(nullptr, name);
    EXPECT_NE("v3", text_of(name->varbinds[0]));
}

TEST_F(SnmpAgent, ASetAnsweredTooBigWroteNothing) {
    const std::string text(120, 'c');
    Bytes set = set_request(ADMIN, {varbind(oid_tlv(SYS_CONTACT), octets(text))});
    struct Case {
        const char* what;
        uint32_t fits, limit;
    } cases[] = {
        {"the transport cannot send the response", 100, 0},
        {"the request is longer than the transport's messages", 0, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingAgent::FitsUpTo(c.fits);
        agent_.Agent()->response_limit = c.limit;
        uint32_t out_too_bigs = db_get(obj::snmpOutTooBigs);
        auto pdu = agent_.AskPdu(set);
        ASSERT_NE(nullptr, pdu);
        EXPECT_EQ(1u, pdu->error_status);
        EXPECT_EQ(out_too_bigs + 1, db_get(obj::snmpOutTooBigs));
        CapturingAgent::FitsUpTo(0);
        agent_.Agent()->response_limit = 0;
        auto contact = agent_.AskPdu(get(2, ADMIN, SYS_CONTACT));
        ASSERT_NE(nullptr, contact);
        EXPECT_NE(text, text_of(contact->varbinds[0]));
    }
    // Within the limits the same SET is written.
    ASSERT_EQ(0u, agent_.AskPdu(set)->error_status);
    EXPECT_EQ(text, text_of(agent_.AskPdu(get(3, ADMIN, SYS_CONTACT))->varbinds[0]));
}

TEST_F(SnmpAgent, AReceivedTooBigResponseIsCountedAndNotAnswered) {
    uint32_t in_too_bigs = db_get(obj::snmpInTooBigs);
    Bytes response =
        community_message(0, ADMIN, 0xA2, cat({hex("02 01 01 02 01 01 02 01 00"), tlv(0x30, {})}));
    EXPECT_TRUE(agent_.Ask(response).empty());
    EXPECT_EQ(in_too_bigs + 1, db_get(obj::snmpInTooBigs));
}

} // namespace
