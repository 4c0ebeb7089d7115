// What the store keeps, seen by a central system: a SET the journal cannot
// keep is never acknowledged.
#include "platform/monitor/monitor.h"
#include "tests/comm/agent_caller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using agent_test::Bytes;

class StoreOverSnmp : public agent_test::FirmwareWithAgent {};

// With the active journal file gone, every writable object answers genErr,
// whatever its write policy, and keeps its value.
TEST_F(StoreOverSnmp, ASetTheJournalCannotKeepIsGenErrAndChangesNothing) {
    const std::vector<uint32_t> contact = {1, 3, 6, 1, 2, 1, 1, 4, 0};
    const std::vector<uint32_t> location = {1, 3, 6, 1, 2, 1, 1, 6, 0};
    const std::vector<uint32_t> zone = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 5, 0};
    ASSERT_EQ(0u, Set(contact, snmp_test::tlv(0x04, Bytes{'k', 'e', 'p', 't'})));
    ASSERT_EQ(0, mon_tfsunlink("nv1.dat"));
    const Bytes location_before = GetOctets(location);
    const uint32_t zone_before = GetInteger(zone);
    EXPECT_EQ(5u, Set(contact, snmp_test::tlv(0x04, Bytes{'l', 'o', 's', 't'})));
    EXPECT_EQ(5u, Set(location, snmp_test::tlv(0x04, Bytes{'l', 'o', 's', 't'})));
    EXPECT_EQ(5u, Set(zone, agent_test::AgentCaller::Integer(3600)));
    EXPECT_EQ(Bytes({'k', 'e', 'p', 't'}), GetOctets(contact));
    EXPECT_EQ(location_before, GetOctets(location));
    EXPECT_EQ(zone_before, GetInteger(zone));
}

} // namespace
