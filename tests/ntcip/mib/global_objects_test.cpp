// The global configuration, database, security, auxiliary I/O, protocol and
// location objects through the registry: instances at and past the tables'
// edges, SETs with their checks, the store objects behind them, and walks.
#include "tests/ntcip/mib/mib_fixture.h"

using namespace mib_test;

namespace {

const Oid kNtcip = {1, 3, 6, 1, 4, 1, 1206};
Oid ntcip(const Oid& rest) {
    return cat(kNtcip, rest);
}
Oid global(const Oid& rest) {
    return ntcip(cat({4, 2, 6}, rest));
}
Oid module(uint32_t column, uint32_t index) {
    return global({1, 3, 1, column, index});
}
Oid user(uint32_t column, uint32_t index) {
    return global({5, 3, 1, column, index});
}
Oid protocol(const Oid& rest) {
    return ntcip(cat({4, 1}, rest));
}
Oid group_address(uint32_t column, uint32_t index) {
    return protocol({2, 3, 2, 1, column, index});
}
Oid port(uint32_t column, uint32_t type, uint32_t number) {
    return global({7, 3, 1, column, type, number});
}
Oid older_port(uint32_t column, uint32_t type, uint32_t number) {
    return ntcip({2, 1, 1, 3, 1, column, type, number});
}
Oid ess(uint32_t n) {
    return ntcip({4, 2, 5, 2, 2, n, 0});
}

constexpr uint32_t AUX_IO_RIGHT = 0x00002000;
constexpr uint32_t DB_RIGHT = 0x00008000;

class GlobalObjectsTest : public MibFixture {
  protected:
    // The run-time defaults of a new start.
    void Restart() { TheDatabase().InitVolatile(); }
    // The response value of an OID (the encoder's form: one word per sub-identifier).
    Oid OidValue() {
        const snmp_varbind& vb = pdu->varbinds[0];
        const uint32_t* subids = reinterpret_cast<const uint32_t*>(vb.value);
        return Oid(subids, subids + vb.value_length / 4); // bytes, 4 a sub-identifier
    }
};

TEST_F(GlobalObjectsTest, ModuleTableHasEightRows) {
    EXPECT_EQ(8u, Get(global({1, 2, 0})).number);
    for (uint32_t index : {0u, 9u, 255u})
        EXPECT_EQ(MIB_NO_SUCH_NAME, Get(module(3, index)).error) << index;
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(cat(module(3, 1), {1})).error);
    EXPECT_EQ(3u, Get(module(1, 3)).number);
    EXPECT_EQ("CONTROLLER SERIAL NUMBER", Get(module(4, 2)).octets);
    EXPECT_EQ("SN: ----", Get(module(5, 7)).octets);
    EXPECT_EQ(2u, Get(module(6, 2)).number);
    EXPECT_EQ(3u, Get(module(6, 8)).number);

    Answer node = Get(module(2, 1));
    ASSERT_EQ(MIB_FOUND, node.error);
    EXPECT_EQ(MIB_OBJECTID, node.type);
    EXPECT_EQ(Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3}), OidValue());

    // Past the last row: the next column, then the base standards.
    EXPECT_EQ(module(4, 1), Next(module(3, 8)).name);
    EXPECT_EQ(module(4, 1), Next(module(3, 9)).name);
    Answer after = Next(module(6, 8));
    EXPECT_EQ(global({1, 4, 0}), after.name);
    EXPECT_EQ(0u, after.octets.find("NTCIP 1101:1996v01.12\r\n"));
    EXPECT_EQ(global({2, 1, 0}), Next(global({1, 4, 0})).name);
}

TEST_F(GlobalObjectsTest, TransactionObjectsAreStoredUntilTheNextStart) {
    Answer set = SetNumber(global({2, 1, 0}), SNMP_INTEGER, 2);
    EXPECT_EQ(MIB_FOUND, set.error);
    EXPECT_EQ(2u, set.number);
    EXPECT_EQ(2u, Get(global({2, 1, 0})).number);
    EXPECT_EQ(0u, Get(global({2, 6, 0})).number); // nothing verified
    EXPECT_EQ(7u, Get(global({2, 2, 0})).number);
    EXPECT_EQ(MIB_FOUND, SetNumber(global({2, 4, 0}), SNMP_INTEGER, 200).error);

    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(global({2, 1, 0}), SNMP_INTEGER, 4).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(global({2, 4, 0}), SNMP_INTEGER, 256).error);
    EXPECT_EQ(MIB_NO_SUCH_NAME, SetNumber(global({2, 1, 0}), SNMP_INTEGER, 3, ~DB_RIGHT).error);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(global({2, 6, 0}), SNMP_INTEGER, 1).access);
    EXPECT_EQ(2u, db_get(obj::dbCreateTransaction));
    EXPECT_EQ(0u, db_get(obj::dbVerifyStatus));

    Restart();
    EXPECT_EQ(1u, Get(global({2, 1, 0})).number);
    EXPECT_EQ(0u, Get(global({2, 4, 0})).number);
}

TEST_F(GlobalObjectsTest, UserCommunitiesAreTheRowsTheCommunityCheckReads) {
    CDataBase& s = TheDatabase();
    EXPECT_EQ(100u, Get(global({5, 2, 0})).number);
    EXPECT_EQ(7u, Get(user(1, 7)).number);
    EXPECT_EQ("Harbor", Get(user(2, 3)).octets);
    for (uint32_t index : {0u, 101u})
        EXPECT_EQ(MIB_NO_SUCH_NAME, Get(user(2, index)).error) << index;

    EXPECT_EQ(MIB_FOUND, SetOctets(user(2, 5), "ops-centre").error);
    EXPECT_EQ(MIB_FOUND, SetNumber(user(3, 5), SNMP_GAUGE, 0x00002000).error);
    uint32_t mask = 0;
    EXPECT_EQ(1, s.LookupCommunity("ops-centre", &mask));
    EXPECT_EQ(0x00002000u, mask);

    // Too short, too long, wrong syntax: refused, the row keeps its name.
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(user(2, 5), "short").error);
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(user(2, 5), std::string(17, 'n')).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(user(2, 5), SNMP_INTEGER, 1).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(global({5, 1, 0}), "seven77").error);
    EXPECT_EQ("ops-centre", Str(obj::communityNameUser.row(4)));

    // A renamed privileged community takes effect at once.
    EXPECT_EQ(MIB_FOUND, SetOctets(global({5, 1, 0}), "new-admin").error);
    EXPECT_EQ(2, s.LookupCommunity("new-admin", &mask));
    EXPECT_EQ(0, s.LookupCommunity("stewardcastle", &mask));

    // An emptied row never matches, not even an empty community.
    ASSERT_EQ(DB_OK, db_set_string(obj::communityNameUser.row(4), "", 0, DB_NOTIFY));
    EXPECT_EQ(0, s.LookupCommunity("ops-centre", &mask));
    EXPECT_EQ(0, s.LookupCommunity("", &mask));
    EXPECT_EQ("", Get(user(2, 5)).octets);
}

TEST_F(GlobalObjectsTest, ChapTableHasOneRow) {
    EXPECT_EQ("PASSWORD", Get(protocol({1, 1, 2, 1, 1, 1})).octets);
    EXPECT_EQ(1u, Get(protocol({1, 1, 1, 0})).number);
    for (uint32_t index : {0u, 2u})
        EXPECT_EQ(MIB_NO_SUCH_NAME, Get(protocol({1, 1, 2, 1, 1, index})).error) << index;
    EXPECT_EQ(MIB_FOUND, SetOctets(protocol({1, 1, 2, 1, 2, 1}), "NEWSECRET").error);
    char secret[32] = {};
    TheDatabase().GetChapSecret(secret, sizeof secret);
    EXPECT_STREQ("NEWSECRET", secret);
}

TEST_F(GlobalObjectsTest, GroupAddressHasItsHdlcView) {
    Answer set = SetNumber(group_address(2, 1), SNMP_INTEGER, 0x0B);
    EXPECT_EQ(0u, set.error_status);
    EXPECT_EQ(0x0Bu, set.number);
    EXPECT_EQ(2u, Get(group_address(3, 1)).number);
    EXPECT_EQ(0x0Bu, Get(group_address(2, 1)).number);
    EXPECT_EQ(255, TheDatabase().IsGroupAddress(2));

    Answer even = SetNumber(group_address(2, 1), SNMP_INTEGER, 0x0A);
    EXPECT_EQ(3u, even.error_status);
    EXPECT_EQ(2u, db_get(obj::pmppGroupAddress.row(0)));

    EXPECT_EQ(MIB_FOUND, SetNumber(group_address(3, 10), SNMP_INTEGER, 62).error);
    EXPECT_EQ(0xFBu, Get(group_address(2, 10)).number);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(group_address(3, 10), SNMP_INTEGER, 63).error);
    EXPECT_EQ(MIB_FOUND, SetNumber(group_address(3, 1), SNMP_INTEGER, 0).error);
    EXPECT_EQ(0u, Get(group_address(2, 1)).number);
    EXPECT_EQ(0u, Get(group_address(3, 1)).number);

    EXPECT_EQ(10u, Get(group_address(1, 10)).number);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(group_address(1, 11)).error);
    EXPECT_EQ(MIB_NO_SUCH_NAME,
              SetNumber(group_address(2, 1), SNMP_INTEGER, 3, ~0x02000000u).error);
}

// The protocol rows in OID order: the SNMP configuration after the PMPP rows.
TEST_F(GlobalObjectsTest, ProtocolWalkReachesEveryObject) {
    std::vector<Oid> expected = {protocol({1, 1, 1, 0}), protocol({1, 1, 2, 1, 1, 1}),
                                 protocol({1, 1, 2, 1, 2, 1}), protocol({2, 2, 1, 0}),
                                 protocol({2, 3, 1, 0})};
    for (uint32_t c = 1; c <= 3; ++c)
        for (uint32_t i = 1; i <= 10; ++i)
            expected.push_back(group_address(c, i));
    expected.push_back(protocol({7, 1, 1, 0}));
    EXPECT_EQ(expected, Walk(protocol({}), protocol({})));
    EXPECT_EQ(2050u, Get(protocol({7, 1, 1, 0})).number);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(protocol({7, 1, 1, 1})).error);
}

TEST_F(GlobalObjectsTest, PortInstancesStayInsideTheTable) {
    struct Case {
        uint32_t type, number;
        bool found;
    };
    const Case cases[] = {
        {1, 1, true},  {3, 112, true}, {2, 24, true},   {2, 25, false},  {0, 1, false},
        {4, 1, false}, {1, 0, false},  {3, 113, false}, {1, 113, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.found ? MIB_FOUND : MIB_NO_SUCH_NAME, Get(port(2, c.type, c.number)).error)
            << c.type << "." << c.number;
        EXPECT_EQ(c.found ? MIB_FOUND : MIB_NO_SUCH_NAME,
                  Get(older_port(2, c.type, c.number)).error)
            << c.type << "." << c.number;
    }
    EXPECT_EQ(24u, Get(port(2, 2, 24)).number);           // the stored number of row 135
    EXPECT_NE(MIB_FOUND, Get(older_port(7, 1, 1)).error); // no last-commanded column

    // GETNEXT runs through each type's numbers, then on to the next column.
    EXPECT_EQ(port(1, 2, 1), Next(port(1, 1, 112)).name);
    EXPECT_EQ(port(1, 3, 1), Next(port(1, 2, 24)).name);
    EXPECT_EQ(port(2, 1, 1), Next(port(1, 3, 112)).name);
    EXPECT_EQ(older_port(1, 1, 1), Next(ntcip({2, 1, 1, 2, 0})).name);
}

TEST_F(GlobalObjectsTest, PortWritesReachTheSharedRows) {
    // Types 1 and 3 name the same row; the older subtree too.
    EXPECT_EQ(MIB_FOUND, SetOctets(port(3, 1, 5), "door contact").error);
    EXPECT_EQ("door contact", Get(port(3, 3, 5)).octets);
    EXPECT_EQ("door contact", Get(older_port(3, 3, 5)).octets);
    EXPECT_EQ("door contact", Str(obj::auxIOv2PortDescription.row(4)));

    Answer value = SetNumber(port(5, 2, 3), SNMP_INTEGER, 1, AUX_IO_RIGHT);
    EXPECT_EQ(MIB_FOUND, value.error);
    EXPECT_EQ(1u, value.number);
    EXPECT_EQ(1u, db_get(obj::auxIOv2PortValue.row(114)));
    EXPECT_EQ(1u, Get(port(7, 2, 3)).number);
    EXPECT_EQ(MIB_FOUND, SetNumber(older_port(5, 3, 7), SNMP_INTEGER, 1).error);
    EXPECT_EQ(1u, db_get(obj::auxIOv2PortLastCommandedState.row(6)));
    EXPECT_EQ(MIB_FOUND, SetNumber(port(7, 3, 7), SNMP_INTEGER, 2).error);
    EXPECT_EQ(1u, db_get(obj::auxIOv2PortValue.row(6)));

    EXPECT_EQ(MIB_NO_SUCH_NAME, SetNumber(port(5, 3, 7), SNMP_INTEGER, 0, ~AUX_IO_RIGHT).error);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(port(1, 3, 7), SNMP_INTEGER, 2).access);
    // The older table bounds the resolution at 32.
    EXPECT_EQ(MIB_FOUND, SetNumber(port(4, 3, 7), SNMP_INTEGER, 33).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(older_port(4, 3, 7), SNMP_INTEGER, 33).error);
    EXPECT_EQ(33u, db_get(obj::auxIOv2PortResolution.row(6)));
    EXPECT_EQ(112u, Get(global({7, 1, 0})).number);
    EXPECT_EQ(24u, Get(ntcip({2, 1, 1, 2, 0})).number);
}

TEST_F(GlobalObjectsTest, LocationFollowsTheConfiguredPositionAtStart) {
    EXPECT_EQ(90000001u, Get(ess(1)).number);
    EXPECT_EQ(180000001u, Get(ess(2)).number);
    EXPECT_EQ(0u, Get(ess(4)).number);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(ess(3)).error);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(ess(1), SNMP_INTEGER, 0).access);

    db_set(obj::siteLatitude, uint32_t(-33868820), 0);
    db_set(obj::siteLongitude, 151209290, 0);
    EXPECT_EQ(90000001u, Get(ess(1)).number);
    Restart();
    EXPECT_EQ(uint32_t(-33868820), Get(ess(1)).number);
    EXPECT_EQ(151209290u, Get(ess(2)).number);
}

// Every object a walk reaches answers a GET with the same value.
TEST_F(GlobalObjectsTest, WalksAreIncreasingAndAgreeWithGet) {
    for (const Oid& root : {protocol({}), global({1}), global({5}), ntcip({2, 1, 1})}) {
        Oid name = root, previous;
        size_t count = 0;
        for (;; ++count) {
            Answer next = Next(name);
            if (next.error != MIB_FOUND || next.name.size() < root.size() ||
                !std::equal(root.begin(), root.end(), next.name.begin()))
                break;
            if (!previous.empty()) {
                EXPECT_GT(0, snmp_oid_compare(previous.data(), uint32_t(previous.size()),
                                              next.name.data(), uint32_t(next.name.size())));
            }
            Answer get = Get(next.name);
            EXPECT_EQ(MIB_FOUND, get.error);
            EXPECT_EQ(next.number, get.number);
            EXPECT_EQ(next.octets, get.octets);
            previous = name = next.name;
        }
        EXPECT_LT(5u, count);
    }
}

} // namespace
