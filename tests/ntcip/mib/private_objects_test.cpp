// The private "halv" subtree through the registry: value checks at their
// edges, the configuration unlock, the activation by number, the serial
// numbers in the module table, the flash figures, the peripheral list's
// editing guard, the port table's Ethernet row, the tables a walk passes
// over, the failed pixels' detail by type, the result registry's bounds, and
// a walk of the whole subtree that every GET repeats.
#include "tests/ntcip/mib/mib_fixture.h"

#include "display/message_codes.h"
#include "ntcip/objects/private.h"
#include "peripherals/critical_temperature.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "store/validate.h"

using namespace mib_test;

namespace {

const Oid kHalv = {1, 3, 6, 1, 4, 1, 1206, 3, 11};
Oid halv(const Oid& rest) {
    return cat(kHalv, rest);
}
const Oid kDms = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3};

const Oid HDLC_ADDRESS = halv({2, 11, 0});
const Oid UNLOCK = halv({2, 8, 0});
const Oid ACTIVATE_BY_NUMBER = halv({2, 27, 0});
const Oid CONTROLLER_SERIAL = halv({2, 28, 0});
const Oid SIGN_SERIAL = halv({2, 29, 0});
const Oid FLASH_DEAD = halv({2, 34, 0});
const Oid PERIPHERAL_STATE = halv({2, 15, 1, 0});
Oid peripheral(uint32_t c, uint32_t index) {
    return halv({2, 15, 3, 1, c, index});
}
Oid port(uint32_t c, uint32_t index) {
    return halv({2, 17, 2, 1, c, index});
}
Oid pixel_detail(uint32_t c, uint32_t type, uint32_t number) {
    return halv({1, 2, 1, c, type, number});
}
Oid result_line(uint32_t c, uint32_t entry, uint32_t line) {
    return halv({11, 3, 1, c, entry, line});
}

class PrivateObjectsTest : public MibFixture {
  protected:
    void TearDown() override {
        mib_set_write_override(false);
        set_validation_services(ValidationServices());
        MibFixture::TearDown();
    }
    uint32_t Number(const Oid& name) {
        Answer a = Get(name);
        EXPECT_EQ(MIB_FOUND, a.error);
        return a.number;
    }
};

const uint32_t NO_SUCH_NAME = uint32_t(MIB_NO_SUCH_NAME);
const uint32_t BAD_VALUE = uint32_t(MIB_BAD_VALUE);

// Number SETs at the edges of their checks: refused ones write nothing.
TEST_F(PrivateObjectsTest, NumberChecksAtTheirEdges) {
    struct Case {
        Oid name;
        uint32_t value;
        uint32_t result;
        DbObject stored;
    };
    const Case cases[] = {
        {HDLC_ADDRESS, 63, BAD_VALUE, obj::halvhdlcAddress},
        {HDLC_ADDRESS, 62, 0, obj::halvhdlcAddress},
        {HDLC_ADDRESS, 64, 0, obj::halvhdlcAddress},
        {HDLC_ADDRESS, 8191, 0, obj::halvhdlcAddress},
        {HDLC_ADDRESS, 8192, BAD_VALUE, obj::halvhdlcAddress}, // past the two-byte address field
        {halv({11, 4, 0}), 1501, BAD_VALUE, obj::halvObj11_4},
        {halv({11, 4, 0}), 1500, 0, obj::halvObj11_4},
        {halv({3, 2, 0}), 4, BAD_VALUE, obj::halvCallbackMinTimeBetweenAttempts},
        {halv({3, 2, 0}), 65535, 0, obj::halvCallbackMinTimeBetweenAttempts},
        {halv({2, 17, 6, 0}), 5, BAD_VALUE, obj::halvObj2_17_6},
        {halv({2, 17, 6, 0}), 4, 0, obj::halvObj2_17_6},
        {ACTIVATE_BY_NUMBER, 524288, BAD_VALUE, obj::activationRequestState.row(6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.name) + " := " + std::to_string(c.value));
        const uint32_t before = db_get(c.stored);
        EXPECT_EQ(c.result, Result(SetNumber(c.name, SNMP_INTEGER, c.value)));
        EXPECT_EQ(c.result == 0 ? c.value : before, db_get(c.stored));
    }
}

TEST_F(PrivateObjectsTest, TextChecksRefuseTheWrongSyntaxAndLength) {
    const Oid text = halv({2, 21, 7, 0});
    EXPECT_EQ(BAD_VALUE, Result(SetNumber(text, SNMP_INTEGER, 5)));
    EXPECT_EQ(BAD_VALUE, Result(SetOctets(text, std::string(51, 'x'))));
    EXPECT_EQ("", Str(obj::halvObj2_21_7));
    const std::string fifty(50, 'y');
    Answer a = SetOctets(text, fifty);
    EXPECT_EQ(0u, Result(a));
    EXPECT_EQ(fifty, a.octets);
    EXPECT_EQ(fifty, Get(text).octets);

    // A stored message code is exactly 5 bytes.
    EXPECT_EQ(BAD_VALUE, Result(SetOctets(halv({2, 5, 0}), "1234")));
    EXPECT_EQ(BAD_VALUE, Result(SetOctets(halv({2, 18, 2, 1, 2, 1}), "123456")));
    const std::string code("\x03\x00\x05\x12\x34", 5);
    EXPECT_EQ(0u, Result(SetOctets(halv({2, 18, 2, 1, 2, 50}), code)));
    EXPECT_EQ(code, Str(obj::halvObj2_18_2_1_2.row(49)));
}

// Read-only objects answer read-only and keep their value; the index
// column of the tuning table answers its index and keeps nothing.
TEST_F(PrivateObjectsTest, ReadOnlyAndIndexColumnsKeepTheirValues) {
    PutText(obj::halvObj9_1, "5551234");
    Answer caller = SetOctets(halv({9, 1, 0}), "0");
    EXPECT_EQ(MIB_FOUND, caller.error);
    EXPECT_EQ(MIB_READ_ONLY, caller.access);
    EXPECT_EQ("5551234", Str(obj::halvObj9_1));
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(halv({2, 26, 0}), SNMP_INTEGER, 2).access);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(halv({5, 11, 0}), SNMP_INTEGER, 2).access);

    Put(obj::halvObj2_30_3_1_2.row(1), 33);
    Answer index = SetNumber(halv({2, 30, 3, 1, 1, 2}), SNMP_INTEGER, 4);
    EXPECT_EQ(MIB_READ_WRITE, index.access);
    EXPECT_EQ(2u, index.number);
    EXPECT_EQ(33u, db_get(obj::halvObj2_30_3_1_2.row(1)));
}

// The unlock opens every configuration row of every subtree for writing
// without value checks; locking closes them again.
TEST_F(PrivateObjectsTest, TheConfigurationUnlockOpensAndClosesTheConfigurationRows) {
    const Oid rdi = halv({2, 17, 3, 0});
    const Oid height = cat(kDms, {1, 3, 0});
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(rdi, SNMP_INTEGER, 7).access);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(height, SNMP_INTEGER, 7).access);
    EXPECT_EQ(0u, db_get(obj::halvObj2_17_3));

    EXPECT_EQ(BAD_VALUE, Result(SetNumber(UNLOCK, SNMP_INTEGER, 3)));
    EXPECT_FALSE(mib_write_override());
    EXPECT_EQ(0u, Result(SetNumber(UNLOCK, SNMP_INTEGER, 2)));
    EXPECT_TRUE(mib_write_override());
    EXPECT_EQ(2u, db_get(obj::halvObj2_8));
    EXPECT_EQ(MIB_READ_WRITE, SetNumber(rdi, SNMP_INTEGER, 7).access);
    EXPECT_EQ(7u, db_get(obj::halvObj2_17_3));
    EXPECT_EQ(MIB_READ_WRITE, SetNumber(height, SNMP_INTEGER, 7).access);
    EXPECT_EQ(BAD_VALUE, Result(SetOctets(rdi, "7"))); // the syntax check stays

    EXPECT_EQ(0u, Result(SetNumber(UNLOCK, SNMP_INTEGER, 1)));
    EXPECT_FALSE(mib_write_override());
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(rdi, SNMP_INTEGER, 9).access);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(height, SNMP_INTEGER, 9).access);
}

// The activation by number requests the message through the ordinary
// request slot: duration 65535, priority 255, the message's CRC, source
// 127.0.0.1; the GET reads the message on display.
TEST_F(PrivateObjectsTest, ActivationByNumberDecodesBothFormsAndRequestsThroughSlotSix) {
    Put(obj::changeableMsgCRC.row(4), 0xBEEF);
    struct Case {
        uint32_t value;
        uint8_t memory_type;
        uint16_t number;
        uint16_t crc;
    };
    const Case cases[] = {{0x30005, 3, 5, 0xBEEF},
                          {0x305, 3, 5, 0xBEEF},
                          {4096, 0, 4096, 0},
                          {0x7FFFF, 7, 0xFFFF, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        PutText(obj::activationRequestCode.row(6), "");
        EXPECT_EQ(0u, Result(SetNumber(ACTIVATE_BY_NUMBER, SNMP_INTEGER, c.value)));
        const std::string bytes = Str(obj::activationRequestCode.row(6));
        ASSERT_EQ(CMsgActivationCode::kLength, bytes.size());
        CMsgActivationCode code;
        ASSERT_TRUE(code.Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        EXPECT_EQ(c.memory_type, code.m_memoryType);
        EXPECT_EQ(c.number, code.m_messageNumber);
        EXPECT_EQ(c.crc, code.m_messageCRC);
        EXPECT_EQ(65535, code.m_duration);
        EXPECT_EQ(255, code.m_priority);
        EXPECT_EQ(std::string("\x7F\x00\x00\x01", 4),
                  std::string(reinterpret_cast<const char*>(code.m_sourceAddress), 4));
        EXPECT_EQ(2u, db_get(obj::activationRequestState.row(6)));
        EXPECT_EQ(2u, db_get(obj::activationRequestSource.row(6)));
    }
    PutText(obj::dmsMsgTableSource, std::string("\x03\x01\x2C\xBE\xEF", 5));
    EXPECT_EQ(0x3012Cu, Number(ACTIVATE_BY_NUMBER));
}

TEST_F(PrivateObjectsTest, SerialNumbersAreShownInTheModuleTable) {
    struct Case {
        Oid name;
        uint32_t value;
        uint32_t module_row;
        const char* text;
    };
    const Case cases[] = {
        {CONTROLLER_SERIAL, 1234, 1, "SN: 1234"},
        {CONTROLLER_SERIAL, 0, 1, "SN: ----"},
        {SIGN_SERIAL, 2147483647, 6, "SN: 2147483647"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(0u, Result(SetNumber(c.name, SNMP_INTEGER, c.value)));
        EXPECT_EQ(c.text, Str(obj::moduleVersion.row(c.module_row)));
        EXPECT_EQ(c.text,
                  Get({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 1, 3, 1, 5, c.module_row + 1}).octets);
    }
    EXPECT_EQ(BAD_VALUE, Result(SetNumber(SIGN_SERIAL, SNMP_INTEGER, 0x80000000u)));
}

TEST_F(PrivateObjectsTest, FlashDeadSpaceInPercent) {
    EXPECT_EQ(0u, Number(FLASH_DEAD)); // no flash file system: it reports neither space
    std::string error;
    ASSERT_TRUE(host::monitor_start(host::host_options(), error)) << error;
    EXPECT_EQ(0u, Number(FLASH_DEAD)); // a new flash has no dead space
    const std::string bytes(4000, 'z');
    ASSERT_EQ(0,
              mon_tfsadd("deadfile", "", "", reinterpret_cast<const unsigned char*>(bytes.data()),
                         int(bytes.size())));
    ASSERT_EQ(0, mon_tfsunlink("deadfile"));
    const long dead = mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0);
    const long available = mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0);
    ASSERT_GT(dead, 0);
    const uint32_t expected = uint32_t(dead * 100 / (dead + available));
    EXPECT_EQ(expected, Number(FLASH_DEAD));
    EXPECT_EQ(expected, db_get(obj::halvObj2_34));

    EXPECT_EQ(100u, flash_dead_percent(5, 0));
    EXPECT_EQ(50u, flash_dead_percent(0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_LE(Number(halv({2, 35, 0})), 100u);
    host::monitor_stop();
}

// The store takes a shut-off temperature of 0 (off) or 1..127 degrees, the
// range the sensors report above zero; a byte they would read as negative is
// refused and reported.
TEST_F(PrivateObjectsTest, ShutOffTemperatureWithinTheSensorsRange) {
    ValidationServices services;
    services.critical_temp_low = GetCriticalTempLow;
    services.critical_temp_high = GetCriticalTempHigh;
    set_validation_services(services);
    const Oid shut_off = halv({2, 4, 0});
    for (uint32_t accepted : {85u, 75u, 0u, 127u}) {
        EXPECT_EQ(0u, Result(SetNumber(shut_off, SNMP_INTEGER, accepted)));
        EXPECT_EQ(accepted, db_get(obj::halvShutOffTemp));
    }
    Answer refused = SetNumber(shut_off, SNMP_INTEGER, 200);
    EXPECT_EQ(3u, Result(refused));
    EXPECT_EQ(127u, db_get(obj::halvShutOffTemp));
}

TEST_F(PrivateObjectsTest, ThePeripheralListChangesOnlyWhileBeingEdited) {
    Put(obj::halvPeripheralID.row(2), 41);
    PutText(obj::halvPeripheralParameters.row(2), "42100,4,1");
    Put(obj::peripheralConfigState, 2);
    EXPECT_EQ(NO_SUCH_NAME, Result(SetNumber(peripheral(2, 3), SNMP_INTEGER, 0)));
    EXPECT_EQ(NO_SUCH_NAME, Result(SetOctets(peripheral(3, 3), "x")));
    EXPECT_EQ(41u, db_get(obj::halvPeripheralID.row(2)));
    EXPECT_EQ("42100,4,1", Str(obj::halvPeripheralParameters.row(2)));
    EXPECT_EQ(41u, Number(peripheral(2, 3))); // reading is always allowed

    EXPECT_EQ(0u, Result(SetNumber(PERIPHERAL_STATE, SNMP_INTEGER, 1)));
    EXPECT_EQ(0u, Result(SetNumber(peripheral(2, 3), SNMP_INTEGER, 0)));
    EXPECT_EQ(0u, Number(peripheral(2, 3)));
    EXPECT_EQ("", Get(peripheral(3, 3)).octets);
    EXPECT_EQ(0u, Result(SetOctets(peripheral(5, 255), "1,2")));
    EXPECT_EQ("1,2", Str(obj::halvPeripheralAuxIOTableIndex.row(254)));
    EXPECT_EQ(BAD_VALUE, Result(SetOctets(peripheral(3, 1), std::string(81, 'p'))));
    EXPECT_EQ(NO_SUCH_NAME, Result(SetNumber(peripheral(2, 256), SNMP_INTEGER, 1)));
    EXPECT_EQ(NO_SUCH_NAME, Result(SetNumber(peripheral(2, 0), SNMP_INTEGER, 1)));
}

TEST_F(PrivateObjectsTest, PortSpeedsAreTheSerialSpeedsAndTheEthernetSpeed) {
    Put(obj::rs232PortInSpeed.row(0), 9600);
    Put(obj::rs232PortInSpeed.row(3), 38400);
    Put(obj::ifSpeed, 10000000);
    EXPECT_EQ(9600u, Number(port(6, 1)));
    EXPECT_EQ(38400u, Number(port(6, 4)));
    EXPECT_EQ(10000000u, Number(port(6, 5)));
    EXPECT_EQ(NO_SUCH_NAME, Result(Get(port(6, 6))));
    EXPECT_EQ(0u, Result(SetNumber(port(6, 5), SNMP_INTEGER, 100000000)));
    EXPECT_EQ(100000000u, db_get(obj::ifSpeed));
    EXPECT_EQ(38400u, db_get(obj::rs232PortInSpeed.row(3)));
    EXPECT_EQ(5u, Number(port(1, 5)));
    EXPECT_EQ(NO_SUCH_NAME, Result(SetNumber(port(2, 6), SNMP_INTEGER, 1)));
}

// Tables served by instance only, the pixel detail's types and the result
// registry's bounds, by GET and GETNEXT.
TEST_F(PrivateObjectsTest, InstancesAreBoundedAndWalksPassOverTheInstanceOnlyTables) {
    struct Step {
        int mode;
        Oid name;
        uint32_t error;
        Oid answer;
    };
    const Step steps[] = {
        {MIB_GET, halv({2, 32, 4, 1, 2, 9}), 0, halv({2, 32, 4, 1, 2, 9})},
        {MIB_GET, halv({2, 32, 4, 1, 2, 10}), NO_SUCH_NAME, {}},
        {MIB_GETNEXT, halv({2, 32, 3, 0}), 0, halv({2, 33, 0})},
        {MIB_GETNEXT, halv({2, 18, 1, 0}), 0, halv({2, 20, 0})},
        {MIB_GET, halv({2, 18, 2, 1, 1, 50}), 0, halv({2, 18, 2, 1, 1, 50})},
        {MIB_GET, halv({2, 18, 2, 1, 1, 51}), NO_SUCH_NAME, {}},
        {MIB_GETNEXT, halv({5, 9, 0}), 0, halv({5, 11, 0})},
        {MIB_GET, halv({5, 10, 1, 2, 4}), 0, halv({5, 10, 1, 2, 4})},
        {MIB_GET, halv({5, 10, 1, 2, 5}), NO_SUCH_NAME, {}},
        {MIB_GET, pixel_detail(3, 1, 1), NO_SUCH_NAME, {}},
        {MIB_GET, pixel_detail(3, 2, 501), NO_SUCH_NAME, {}},
        {MIB_GET, pixel_detail(3, 4, 1), NO_SUCH_NAME, {}},
        {MIB_GETNEXT, halv({1, 2, 1, 3}), 0, pixel_detail(3, 2, 1)},
        {MIB_GETNEXT, pixel_detail(3, 1, 400), 0, pixel_detail(3, 2, 1)},
        {MIB_GETNEXT, pixel_detail(3, 2, 500), 0, pixel_detail(3, 3, 1)},
        {MIB_GETNEXT, pixel_detail(1, 3, 500), 0, pixel_detail(2, 2, 1)},
        {MIB_GETNEXT, pixel_detail(3, 3, 500), 0, halv({2, 3, 0})},
        {MIB_GET, result_line(3, 27, 1), NO_SUCH_NAME, {}},
        {MIB_GET, result_line(3, 1, 64), NO_SUCH_NAME, {}},
        {MIB_GETNEXT, result_line(3, 26, 63), 0, halv({11, 4, 0})},
        {MIB_GET, halv({11, 2, 1, 8, 27}), NO_SUCH_NAME, {}},
        {MIB_GET, halv({11, 6, 1, 3, 3}), NO_SUCH_NAME, {}},
        {MIB_GETNEXT, halv({11, 6, 1, 3, 2}), uint32_t(MIB_NO_SUBTREE), {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(::testing::PrintToString(s.name));
        Answer a = Lookup(s.mode, s.name);
        if (s.mode == MIB_GETNEXT && s.error == uint32_t(MIB_NO_SUBTREE)) {
            // Past the subtree's end the walk goes on in the next subtree with rows.
            EXPECT_FALSE(a.error == MIB_FOUND && a.name.size() >= kHalv.size() &&
                         std::equal(kHalv.begin(), kHalv.end(), a.name.begin()));
            continue;
        }
        EXPECT_EQ(s.error, Result(a));
        if (s.error == 0) {
            EXPECT_EQ(s.answer, a.name);
        }
    }
}

TEST_F(PrivateObjectsTest, DetailAndResultColumnsReadTheirSlots) {
    Put(obj::halvObj1_2_1_3.row(1499), 0xABCD);
    Put(obj::halvObj1_2_1_3.row(500), 0x0102);
    EXPECT_EQ(0xABCDu, Number(pixel_detail(3, 3, 500)));
    EXPECT_EQ(3u, Number(pixel_detail(1, 3, 500)));
    EXPECT_EQ(500u, Number(pixel_detail(2, 3, 500)));
    EXPECT_EQ(0x0102u, Number(pixel_detail(3, 2, 1)));

    PutText(obj::halvObj11_3_1_3.row(1637), "last line");
    EXPECT_EQ("last line", Get(result_line(3, 26, 63)).octets);
    EXPECT_EQ(26u, Number(result_line(1, 26, 63)));
    EXPECT_EQ(63u, Number(result_line(2, 26, 63)));
    PutText(obj::halvObj11_2_1_2.row(25), "faces");
    EXPECT_EQ("faces", Get(halv({11, 2, 1, 2, 26})).octets);
}

// Every object a walk of the subtree finds: strictly increasing names, each
// answered alike by a GET; the instance-only tables and type 1 never appear.
TEST_F(PrivateObjectsTest, AWalkOfTheSubtreeIsOrderedAndEveryAnswerAGetRepeats) {
    const std::vector<Oid> names = Walk(kHalv, kHalv, 20000);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(halv({1, 1, 0}), names.front());
    EXPECT_EQ(halv({11, 6, 1, 3, 2}), names.back());
    size_t details = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const Oid& n = names[i];
        SCOPED_TRACE(::testing::PrintToString(n));
        if (i > 0) {
            EXPECT_LT(snmp_oid_compare(names[i - 1].data(), uint32_t(names[i - 1].size()), n.data(),
                                       uint32_t(n.size())),
                      0);
        }
        EXPECT_FALSE(n.size() > 11 && n[9] == 2 && n[10] == 18 && n[11] == 2);
        EXPECT_FALSE(n.size() > 11 && n[9] == 2 && n[10] == 32 && n[11] == 4);
        EXPECT_FALSE(n.size() > 11 && n[9] == 5 && n[10] == 10);
        if (n.size() == 15 && n[9] == 1 && n[10] == 2) {
            EXPECT_NE(1u, n[13]);
            ++details;
        }
        Answer next = Next(i > 0 ? names[i - 1] : kHalv);
        Answer get = Get(n);
        EXPECT_EQ(MIB_FOUND, get.error);
        EXPECT_EQ(next.number, get.number);
        EXPECT_EQ(next.octets, get.octets);
    }
    EXPECT_EQ(3u * 2 * 500, details);
}

} // namespace
