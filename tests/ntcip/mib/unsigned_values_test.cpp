// Objects whose values reach above 2^31-1, from the agent's edge: a Counter
// or Gauge answers with its application tag, an INTEGER (0..4294967295)
// object as a positive INTEGER (a leading zero octet once the top bit is
// set), by GET, GETNEXT and a SET's read-back alike; net-snmp reads them
// unsigned. A value of the wrong syntax or wider than 32 bits is refused
// and leaves the object as it was.
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace agent_test;
using namespace snmp_test;

namespace {

using Name = std::vector<uint32_t>;

const Name PIXEL_LIMIT = {1, 3, 6, 1, 4, 1, 1206, 3, 6, 11, 7, 0};      // fdotMaxNumPixelFailure
const Name PIXEL_LIMIT_TWIN = {1, 3, 6, 1, 4, 1, 1206, 3, 32, 1, 1, 0}; // the same object
const Name SCHEDULE_DATE_3 = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 3, 2, 1, 4, 3};
const Name ACCESS_MASK_5 = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5, 3, 1, 3, 5}; // Gauge
constexpr uint8_t INTEGER = 0x02, GAUGE = 0x42;
constexpr int NO_ERROR = 0, BAD_VALUE = 3;

// The fewest big-endian octets of an unsigned value, 00 in front of a set top bit.
Bytes unsigned_content(uint32_t value) {
    Bytes out;
    do {
        out.insert(out.begin(), uint8_t(value));
        value >>= 8;
    } while (value != 0);
    if (out[0] & 0x80) out.insert(out.begin(), 0x00);
    return out;
}

Bytes value_varbind(const Name& name, uint8_t tag, const Bytes& content) {
    return varbind(oid_tlv(name), tlv(tag, content));
}

Bytes set_of(const Bytes& vb) {
    Bytes body = cat({hex("02 01 07 02 01 00 02 01 00"), tlv(0x30, vb)});
    return community_message(0, ADMIN, 0xA3, body);
}

// The name GETNEXT steps from to reach `name`: its last arc one lower
// (a scalar's .0 dropped).
Name before(const Name& name) {
    Name out = name;
    if (out.back() == 0)
        out.pop_back();
    else
        out.back()--;
    return out;
}

bool holds(const Bytes& message, const Bytes& part) {
    return std::search(message.begin(), message.end(), part.begin(), part.end()) != message.end();
}

class UnsignedValues : public test_support::FirmwareFixture {
  protected:
    Bytes Get(const Name& name) { return agent_.Ask(request(0xA0, ADMIN, name, 1)); }
    Bytes GetNext(const Name& name) { return agent_.Ask(request(0xA1, ADMIN, name, 1)); }
    CapturingAgent agent_;
};

TEST_F(UnsignedValues, AreAnsweredByteForByteAsSetByGetAndGetNext) {
    // The factory limit 0xFFFFFFFF under both its names.
    const Bytes factory = tlv(INTEGER, hex("00 FF FF FF FF"));
    EXPECT_TRUE(
        holds(Get(PIXEL_LIMIT), value_varbind(PIXEL_LIMIT, INTEGER, hex("00 FF FF FF FF"))));
    EXPECT_TRUE(holds(Get(PIXEL_LIMIT_TWIN), varbind(oid_tlv(PIXEL_LIMIT_TWIN), factory)));

    struct Row {
        Name name;
        uint8_t tag;
    } rows[] = {{PIXEL_LIMIT, INTEGER}, {SCHEDULE_DATE_3, INTEGER}, {ACCESS_MASK_5, GAUGE}};
    for (const Row& row : rows) {
        for (uint32_t value : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
            SCOPED_TRACE(::testing::Message() << row.name.back() << " = " << value);
            const Bytes vb = value_varbind(row.name, row.tag, unsigned_content(value));
            const Bytes answer = agent_.Ask(set_of(vb));
            ASSERT_EQ(NO_ERROR, error_status_of(answer));
            EXPECT_TRUE(holds(answer, vb));
            EXPECT_TRUE(holds(Get(row.name), vb));
            EXPECT_TRUE(holds(GetNext(before(row.name)), vb));
        }
    }
}

TEST_F(UnsignedValues, AWrongSyntaxOrAValueWiderThan32BitsChangesNothing) {
    const Bytes stored = value_varbind(PIXEL_LIMIT, INTEGER, hex("00 80 00 00 00"));
    ASSERT_EQ(NO_ERROR, error_status_of(agent_.Ask(set_of(stored))));
    struct Case {
        const char* what;
        Bytes value; // the value TLV sent
        int status;  // -1: no answer (the message does not decode)
    } cases[] = {
        {"a Gauge", hex("42 05 00 FF FF FF FF"), BAD_VALUE},
        {"2^32 as an INTEGER", hex("02 05 01 00 00 00 00"), -1},
        {"2^32 + 5 as an INTEGER", hex("02 05 01 00 00 00 05"), -1},
        {"2^32 as a Counter", hex("41 05 01 00 00 00 00"), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.status,
                  error_status_of(agent_.Ask(set_of(varbind(oid_tlv(PIXEL_LIMIT), c.value)))));
        EXPECT_TRUE(holds(Get(PIXEL_LIMIT), stored));
    }
    // A negative INTEGER is taken as its 32-bit pattern, as managers that
    // send signed values rely on: -1 reads back as 4294967295.
    ASSERT_EQ(NO_ERROR,
              error_status_of(agent_.Ask(set_of(value_varbind(PIXEL_LIMIT, INTEGER, hex("FF"))))));
    EXPECT_TRUE(
        holds(Get(PIXEL_LIMIT), value_varbind(PIXEL_LIMIT, INTEGER, hex("00 FF FF FF FF"))));
}

class UnsignedValuesOverUdp : public NetworkedSign {};

TEST_F(UnsignedValuesOverUdp, NetSnmpReadsThemUnsigned) {
    if (!netsnmp_tools_installed())
        GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
    std::string out;
    Serve([&] {
        out = netsnmp("snmpset", ADMIN, ".1.3.6.1.4.1.1206.4.2.6.5.3.1.3.5 u 4294967294");
        out += netsnmp("snmpget", ADMIN,
                       "-On .1.3.6.1.4.1.1206.3.6.11.7.0 .1.3.6.1.4.1.1206.4.2.6.5.3.1.3.5");
    });
    EXPECT_NE(std::string::npos, out.find(".1.3.6.1.4.1.1206.3.6.11.7.0 = INTEGER: 4294967295"))
        << out;
    EXPECT_NE(std::string::npos,
              out.find(".1.3.6.1.4.1.1206.4.2.6.5.3.1.3.5 = Gauge32: 4294967294"))
        << out;
}

} // namespace
