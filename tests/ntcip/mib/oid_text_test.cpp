// Object access by dotted OID text: the getters and setters as the web pages
// and the start-up script use them, with the registry's checks.
#include "tests/ntcip/mib/mib_fixture.h"

#include "ntcip/mib/oid_text.h"
#include "runtime/letter_codes.h"
#include "store/script_file.h"
#include "tests/store/store_fixture.h"

#include <algorithm>
#include <cstring>

using namespace mib_test;

namespace {

constexpr unsigned CHECKED = OID_TEXT_NOTIFY | OID_TEXT_VALIDATE;

class OidTextTest : public MibFixture {
  protected:
    static uint32_t Len(const char* text) { return uint32_t(std::strlen(text)); }
    static int SetInt(const char* oid, uint32_t value, unsigned flags = CHECKED,
                      uint32_t mask = MIB_ALL_RIGHTS) {
        return snmp_set_integer_by_oid_text(oid, Len(oid), value, flags, mask);
    }
    static int SetText(const char* oid, const std::string& bytes) {
        return snmp_set_octets_by_oid_text(oid, Len(oid),
                                           reinterpret_cast<const uint8_t*>(bytes.data()),
                                           uint32_t(bytes.size()), CHECKED, MIB_ALL_RIGHTS);
    }
};

const char* const kSysName = "1.3.6.1.2.1.1.5.0";
const char* const kIpForwarding = "1.3.6.1.2.1.4.1.0";

TEST_F(OidTextTest, OctetGetterCopiesAtMostTheBuffer) {
    const std::string name = Str(obj::sysName);
    uint8_t buffer[100] = {};
    uint32_t n = 0;
    ASSERT_EQ(1, snmp_get_octets_by_oid_text(kSysName, Len(kSysName), buffer, sizeof buffer, &n));
    EXPECT_EQ(name, std::string(reinterpret_cast<char*>(buffer), n));
    uint8_t small[4] = {};
    ASSERT_EQ(1, snmp_get_octets_by_oid_text(kSysName, Len(kSysName), small, 4, &n));
    EXPECT_EQ(4u, n);
    EXPECT_EQ(name.substr(0, 4), std::string(reinterpret_cast<char*>(small), 4));
    char text[200] = {};
    ASSERT_EQ(1,
              snmp_get_octets_base64_by_oid_text("1.3.6.1.2.1.1.6.0", 17, text, sizeof text, &n));
    EXPECT_EQ("VW5rbm93bg==", std::string(text, n)); // "Unknown"
}

TEST_F(OidTextTest, TextsThatNameNoObjectGiveZero) {
    std::string many;
    for (int i = 0; i < 41; ++i)
        many += i ? ".1" : "1";
    uint32_t value = 0;
    uint8_t buffer[16];
    uint32_t n = 0;
    for (const char* text :
         {"", "1.3.6.1.2.1.1.99.0", "1.3.6.1.2.1.1.5", "1.3.6.1.3.1", "x", many.c_str()}) {
        EXPECT_EQ(0, snmp_get_integer_by_oid_text(text, Len(text), &value)) << text;
        EXPECT_EQ(0, snmp_get_octets_by_oid_text(text, Len(text), buffer, 16, &n)) << text;
        EXPECT_EQ(0, SetInt(text, 1)) << text;
    }
    EXPECT_EQ(0, snmp_get_integer_by_oid_text(nullptr, 5, &value));
    EXPECT_EQ(0, snmp_get_integer_by_oid_text(kIpForwarding, Len(kIpForwarding), nullptr));
    // The getter must suit the object's type.
    EXPECT_EQ(0, snmp_get_integer_by_oid_text(kSysName, Len(kSysName), &value));
    EXPECT_EQ(0, snmp_get_octets_by_oid_text(kIpForwarding, Len(kIpForwarding), buffer, 16, &n));
    EXPECT_EQ(1, snmp_get_integer_by_oid_text2(kIpForwarding, Len(kIpForwarding), &value));
    EXPECT_EQ(2u, value);
}

TEST_F(OidTextTest, SetsMeetTheChecksOfAnAgentSet) {
    EXPECT_EQ(1, SetInt(kIpForwarding, 1));
    EXPECT_EQ(1u, db_get(obj::ipForwarding));
    EXPECT_EQ(0, SetInt(kIpForwarding, 3)); // outside {1, 2}
    EXPECT_EQ(1u, db_get(obj::ipForwarding));
    EXPECT_EQ(1, SetInt("1.3.6.1.2.1.1.7.0", 5)); // read-only: answered, not written
    EXPECT_EQ(67u, db_get(obj::sysServices));
    EXPECT_EQ(0, SetText(kIpForwarding, "2")); // wrong syntax
    EXPECT_EQ(1, SetText(kSysName, "Sign 12"));
    EXPECT_EQ("Sign 12", Str(obj::sysName));
    // Numbers fit the row's type: a gauge and an address.
    mib_set_write_override(true);
    EXPECT_EQ(1, SetInt("1.3.6.1.2.1.2.2.1.5.1", 100000000));
    EXPECT_EQ(100000000u, db_get(obj::ifSpeed));
    EXPECT_EQ(0, SetText("1.3.6.1.2.1.2.2.1.5.1", "fast")); // unlocked, still the wrong syntax
    EXPECT_EQ(100000000u, db_get(obj::ifSpeed));
    EXPECT_EQ(1, SetInt("1.3.6.1.2.1.4.21.1.1.1", 0x0A000001));
    EXPECT_EQ(0x0A000001u, db_get(obj::ipRouteDest));
}

TEST_F(OidTextTest, ValuesLongerThanTheSetBufferAreRefused) {
    const std::string before = Str(obj::sysName);
    EXPECT_EQ(0, SetText(kSysName, std::string(5000, 'x')));
    EXPECT_EQ(0, SetText(kSysName, std::string(MIB_SET_VALUE_MAX + 1, 'x')));
    EXPECT_EQ(before, Str(obj::sysName));
    std::string base64(4000, 'A');
    EXPECT_EQ(0, snmp_set_octets_base64_by_oid_text(kSysName, Len(kSysName), base64.data(),
                                                    uint32_t(base64.size()), CHECKED,
                                                    MIB_ALL_RIGHTS, nullptr));
    EXPECT_EQ(before, Str(obj::sysName));
}

void add_suffix(const char*, uint32_t, uint8_t* bytes, uint32_t* count, uint32_t capacity) {
    if (*count + 1 <= capacity) bytes[(*count)++] = '!';
}

TEST_F(OidTextTest, Base64SetterDecodesAndLetsTheHookChangeTheBytes) {
    auto set = [](const char* text,
                  void (*hook)(const char*, uint32_t, uint8_t*, uint32_t*, uint32_t)) {
        return snmp_set_octets_base64_by_oid_text(kSysName, Len(kSysName), text, Len(text), CHECKED,
                                                  MIB_ALL_RIGHTS, hook);
    };
    EXPECT_EQ(1, set("SGVsbG8=", nullptr));
    EXPECT_EQ("Hello", Str(obj::sysName));
    EXPECT_EQ(1, set("SGVsbG8=", add_suffix));
    EXPECT_EQ("Hello!", Str(obj::sysName));
    for (const char* bad : {"SGVsbG8", "SG!sbG8=", "S=Vs"})
        EXPECT_EQ(0, set(bad, nullptr)) << bad;
    EXPECT_EQ("Hello!", Str(obj::sysName));
}

// The caller decides whether its write is notified: a port speed change
// posts its letter only when asked to.
TEST_F(OidTextTest, OverrideFlagsApplyToThatWriteAlone) {
    store_test::LetterRecorder letters;
    letters.Attach();
    const char* speed = "1.3.6.1.2.1.10.33.2.1.5.1";
    auto posted = [&] {
        std::vector<uint32_t> codes = letters.Take();
        return std::count(codes.begin(), codes.end(), uint32_t(LETTER_CHANNEL_SETTINGS_CHANGED));
    };
    EXPECT_EQ(1, SetInt(speed, 19200, OID_TEXT_VALIDATE));
    EXPECT_EQ(19200u, db_get(obj::rs232PortInSpeed.row(0)));
    EXPECT_EQ(0, posted());
    EXPECT_EQ(1, SetInt(speed, 38400, OID_TEXT_NOTIFY | OID_TEXT_VALIDATE));
    EXPECT_EQ(1, posted());
    EXPECT_TRUE(TheDatabase().NotifyOn());
    letters.Detach();
}

TEST_F(OidTextTest, StartUpScriptSetsAnyServedObject) {
    const std::string script = "<?xml version=\"1.0\"?>\r\n<SCRIPT>\r\n"
                               "<OBJ oid=\"1.3.6.1.2.1.1.6.0\" str=\"Pier 9\"/>\r\n"
                               "<OBJ oid=\"1.3.6.1.2.1.4.1.0\" int=\"1\"/>\r\n"
                               "<OBJ oid=\"1.3.6.1.2.1.4.1.0\" int=\"7\"/>\r\n"
                               "<OBJ oid=\"1.3.6.1.2.1.1.4.0\" base64=\"T3Bz\"/>\r\n"
                               "<OBJ oid=\"1.3.6.1.4.1.1206.3.11.2.8.0\" int=\"2\"/>\r\n"
                               "<OBJ oid=\"1.3.6.1.9.9.0\" int=\"2\"/>\r\n"
                               "</SCRIPT>\r\n";
    ASSERT_EQ(0, CFile_Script::Parse(reinterpret_cast<const uint8_t*>(script.data()),
                                     uint32_t(script.size())));
    EXPECT_EQ("Pier 9", Str(obj::sysLocation));
    EXPECT_EQ(1u, db_get(obj::ipForwarding)); // 7 refused by the row's check
    EXPECT_EQ("Ops", Str(obj::sysContact));
    EXPECT_EQ(2u, db_get(obj::halvObj2_8)); // an object the store names itself
}

} // namespace
