// MIB-II through the registry: GET, GETNEXT and SET of the "cls b" objects
// as the agent asks for them, and the store objects behind them.
#include "tests/ntcip/mib/mib_fixture.h"

#include "ntcip/objects/mib2.h"
#include "platform/kernel/kernel.h"

using namespace mib_test;

namespace {

class Mib2Test : public MibFixture {};

Oid sys(uint32_t n) {
    return mib2({1, n, 0});
}
Oid if_column(uint32_t c, uint32_t i) {
    return mib2({2, 2, 1, c, i});
}

TEST_F(Mib2Test, SystemGroupReadsTheStore) {
    Answer descr = Get(sys(1));
    ASSERT_EQ(MIB_FOUND, descr.error);
    EXPECT_EQ(MIB_OCTETSTR, descr.type);
    EXPECT_EQ("Halvenmark, Inc. TZR-5100 Tessalon(tm) VMS Field Controller", descr.octets);

    Answer id = Get(sys(2));
    ASSERT_EQ(MIB_FOUND, id.error);
    EXPECT_EQ(MIB_OBJECTID, id.type);
    const snmp_varbind& vb = pdu->varbinds[0];
    const uint32_t* subids = reinterpret_cast<const uint32_t*>(vb.value);
    EXPECT_EQ(SNMP_OBJECTID, vb.syntax);
    EXPECT_EQ(Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3}), Oid(subids, subids + vb.value_length / 4));

    EXPECT_EQ(67u, Get(sys(7)).number);
    EXPECT_EQ(MIB_READ_ONLY, Get(sys(7)).access);
}

TEST_F(Mib2Test, UpTimeCountsWholeSeconds) {
    tx_thread_sleep(1000); // 10 s
    Answer up = Get(sys(3));
    ASSERT_EQ(MIB_FOUND, up.error);
    EXPECT_EQ(MIB_TIMETICKS, up.type);
    EXPECT_EQ(10u, up.number);
}

TEST_F(Mib2Test, WritableTextsAreStored) {
    Answer a = SetOctets(sys(6), "Gate 4 northbound");
    EXPECT_EQ(MIB_FOUND, a.error);
    EXPECT_EQ(MIB_READ_WRITE, a.access);
    EXPECT_EQ("Gate 4 northbound", a.octets); // read back
    EXPECT_EQ("Gate 4 northbound", Str(obj::sysLocation));
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(sys(5), std::string(256, 'x')).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(sys(5), SNMP_INTEGER, 1).error);
}

TEST_F(Mib2Test, InterfaceRowHasOneInstance) {
    Answer next = Next(if_column(1, 1));
    EXPECT_EQ(if_column(2, 1), next.name);
    EXPECT_EQ("Ethernet Port", next.octets);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(if_column(1, 2)).error);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(if_column(1, 0)).error);
    EXPECT_EQ(1518u, Get(if_column(4, 1)).number);
    // The column OID itself steps to index 1.
    EXPECT_EQ(if_column(3, 1), Next(mib2({2, 2, 1, 3})).name);
}

TEST_F(Mib2Test, ConfigurationRowsAreWritableOnlyWhileUnlocked) {
    Answer locked = SetNumber(if_column(5, 1), SNMP_GAUGE, 100000000);
    EXPECT_EQ(MIB_FOUND, locked.error);
    EXPECT_EQ(MIB_READ_ONLY, locked.access);
    EXPECT_EQ(83886080u, db_get(obj::ifSpeed));

    mib_set_write_override(true);
    Answer unlocked = SetNumber(if_column(5, 1), SNMP_GAUGE, 100000000);
    EXPECT_EQ(MIB_READ_WRITE, unlocked.access);
    EXPECT_EQ(100000000u, db_get(obj::ifSpeed));
    // Value checks are skipped (6 bytes expected), the syntax check is not.
    EXPECT_EQ(MIB_FOUND, SetOctets(if_column(6, 1), "abc").error);
    EXPECT_EQ("abc", Str(obj::ifPhysAddress));
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(if_column(5, 1), "fast").error);
    EXPECT_EQ(100000000u, db_get(obj::ifSpeed));
    mib_set_write_override(false);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(if_column(5, 1), SNMP_GAUGE, 1).access);
}

TEST_F(Mib2Test, IpForwardingTakesOnlyItsListedValues) {
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(mib2({4, 1, 0}), SNMP_INTEGER, 3).error);
    db_set(obj::ipForwarding, 1, 0);
    Answer a = SetNumber(mib2({4, 1, 0}), SNMP_INTEGER, 2);
    EXPECT_EQ(MIB_FOUND, a.error);
    EXPECT_EQ(2u, a.number);
    EXPECT_EQ(2u, db_get(obj::ipForwarding));
}

TEST_F(Mib2Test, AddressRowIsNamedByIndexNotAddress) {
    db_set(obj::ipAdEntAddr, 0xC0A80A05, 0);
    Answer a = Get(mib2({4, 20, 1, 1, 1}));
    ASSERT_EQ(MIB_FOUND, a.error);
    EXPECT_EQ(MIB_IPADDRESS, a.type);
    EXPECT_EQ(snmp_test::Bytes({192, 168, 10, 5}),
              snmp_test::Bytes(pdu->varbinds[0].value, pdu->varbinds[0].value + 4));
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(mib2({4, 20, 1, 1, 192, 168, 10, 5})).error);
}

TEST_F(Mib2Test, AddressMaskAndGatewaySetsMarkTheNetworkConfigurationPending) {
    set_network_config_changed(false);
    mib_set_write_override(true);
    EXPECT_EQ(
        MIB_FOUND,
        SetOctets(mib2({4, 20, 1, 3, 1}), std::string("\xFF\xFF\xFF\x00", 4), SNMP_IPADDR).error);
    EXPECT_EQ(0xFFFFFF00u, db_get(obj::ipAdEntNetMask));
    EXPECT_TRUE(network_config_changed());
    set_network_config_changed(false);
    EXPECT_EQ(
        MIB_FOUND,
        SetOctets(mib2({4, 21, 1, 1, 1}), std::string("\x0A\x00\x00\x01", 4), SNMP_IPADDR).error);
    EXPECT_EQ(0x0A000001u, db_get(obj::ipRouteDest));
    EXPECT_TRUE(network_config_changed());
    set_network_config_changed(false);
    EXPECT_EQ(MIB_FOUND, SetNumber(mib2({4, 21, 1, 2, 1}), SNMP_INTEGER, 3).error);
    EXPECT_FALSE(network_config_changed());
}

TEST_F(Mib2Test, AddressTranslationWalkShowsTwoEntriesPerColumn) {
    const uint8_t mac[6] = {0x00, 0x50, 0xC2, 0x01, 0x02, 0x03};
    at_cache_set(0, 0x7F000001, mac);
    at_cache_set(7, 0x01020304, mac); // ignored
    std::vector<Oid> walk = Walk(mib2({3}), mib2({3}));
    const Oid at = mib2({3, 1, 1});
    std::vector<Oid> expected;
    for (uint32_t c = 1; c <= 3; ++c) {
        expected.push_back(cat(at, {c, 0, 1, 127, 0, 0, 1}));
        expected.push_back(cat(at, {c, 1, 1, 0, 0, 0, 0}));
    }
    EXPECT_EQ(expected, walk);
    Answer phys = Next(cat(at, {1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mac), 6), phys.octets);
    EXPECT_EQ(0x7F000001u, [&] {
        Next(cat(at, {2, 1, 1, 0, 0, 0, 0}));
        return pdu->varbinds[0].handler_result;
    }());
    // Instances are never reached directly.
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(cat(at, {1, 0, 1, 127, 0, 0, 1})).error);
}

TEST_F(Mib2Test, EmptyTablesArePassedOver) {
    EXPECT_EQ(mib2({4, 23, 0}), Next(mib2({4, 22})).name);
    EXPECT_EQ(mib2({10, 16, 1, 1, 1, 1}), Next(mib2({10, 7, 5})).name);
}

TEST_F(Mib2Test, LapbOperationWalkVisitsItsFourColumns) {
    std::vector<Oid> walk = Walk(mib2({10, 16, 2}), mib2({10, 16, 2}));
    std::vector<Oid> expected;
    for (uint32_t c : {1u, 4u, 5u, 13u})
        for (uint32_t i = 1; i <= 5; ++i)
            expected.push_back(mib2({10, 16, 2, 1, c, i}));
    EXPECT_EQ(expected, walk);
}

TEST_F(Mib2Test, NotStoredColumnsAnswerWithoutWriting) {
    Answer timer = SetNumber(mib2({10, 16, 1, 1, 9, 2}), SNMP_INTEGER, 77);
    EXPECT_EQ(MIB_FOUND, timer.error);
    EXPECT_EQ(0u, timer.number);
    EXPECT_EQ(0u, db_get(obj::lapbAdmnT1AckWait.row(1)));
    Answer traps = SetNumber(mib2({11, 30, 0}), SNMP_INTEGER, 1);
    EXPECT_EQ(MIB_FOUND, traps.error);
    EXPECT_EQ(0u, traps.error_status);
    EXPECT_EQ(2u, Get(mib2({11, 30, 0})).number);
}

// Each port takes only the speeds it can run at; both speed columns are
// the port's one speed object.
TEST_F(Mib2Test, PortSpeedsFollowEachPortsTable) {
    struct Case {
        uint32_t port, column, speed, stored;
    };
    const Case cases[] = {
        {1, 6, 19200, 19200},   {1, 5, 57600, 57600}, {1, 5, 56000, 57600},
        {2, 5, 512000, 512000}, {3, 5, 57600, 9600},  {3, 6, 1200, 1200},
        {4, 5, 128000, 128000}, {5, 5, 10, 10},       {5, 5, 9600, 10},
    };
    for (const Case& c : cases) {
        Answer a = SetNumber(mib2({10, 33, 2, 1, c.column, c.port}), SNMP_INTEGER, c.speed);
        EXPECT_EQ(MIB_FOUND, a.error) << c.port << " " << c.speed;
        EXPECT_EQ(0u, a.error_status);
        EXPECT_EQ(c.stored, a.number) << c.port << " " << c.speed;
        EXPECT_EQ(c.stored, Get(mib2({10, 33, 2, 1, 5, c.port})).number);
        EXPECT_EQ(c.stored, db_get(obj::rs232PortInSpeed.row(c.port - 1)));
    }
}

TEST_F(Mib2Test, SnmpCountersFollowTheStore) {
    TheDatabase().IncCounter(obj::snmpInPkts);
    TheDatabase().IncCounter(obj::snmpInPkts);
    EXPECT_EQ(2u, Get(mib2({11, 1, 0})).number);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(mib2({11, 13, 0})).error);
    EXPECT_EQ(mib2({11, 15, 0}), Next(mib2({11, 12, 0})).name);
}

// The whole walk: every answer of a GETNEXT is also what a GET of that name
// answers (the address-translation instances are reached only by GETNEXT).
TEST_F(Mib2Test, EveryInstanceOfTheWalkAnswersAGetAlike) {
    Oid name = kMib2;
    size_t visited = 0;
    for (; visited < 300; ++visited) {
        Answer next = Next(name);
        if (next.error != MIB_FOUND || next.name[4] != 2) break;
        name = next.name;
        if (name[6] == 3) continue;
        Answer get = Get(name);
        EXPECT_EQ(MIB_FOUND, get.error) << ::testing::PrintToString(name);
        EXPECT_EQ(next.type, get.type) << ::testing::PrintToString(name);
        EXPECT_EQ(next.number, get.number) << ::testing::PrintToString(name);
        EXPECT_EQ(next.octets, get.octets) << ::testing::PrintToString(name);
    }
    EXPECT_EQ(195u, visited);
}

} // namespace
