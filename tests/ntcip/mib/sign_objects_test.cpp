// Sign control, sign configuration and MULTI configuration objects through
// the registry: the control-mode rule, the activation code, the reset after
// an address change, memory management, the configuration rows under the
// unlock, and the colour defaults by scheme and colour class.
#include "tests/ntcip/mib/mib_fixture.h"

#include "ntcip/objects/sign_groups.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "store/validate.h"

using namespace mib_test;

namespace {

const Oid kDms = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3};
Oid dms(const Oid& rest) {
    return cat(kDms, rest);
}
Oid control(uint32_t x) {
    return dms({6, x, 0});
}
Oid multi(uint32_t x) {
    return dms({4, x, 0});
}

constexpr uint32_t BAD_VALUE = 3, GEN_ERR = 5;
constexpr uint32_t CONTROL_MODE = 1, SW_RESET = 2, ACTIVATE = 3, MEMORY_MGMT = 16;
constexpr uint32_t BACKGROUND = 1, FOREGROUND = 2, JUSTIFICATION_LINE = 6, DEFAULT_FONT = 5,
                   SUPPORTED_TAGS = 14, BACKGROUND_RGB = 12, FOREGROUND_RGB = 13;
constexpr uint32_t SCHEME_MONO_1BIT = 1, SCHEME_MONO_8BIT = 2, SCHEME_CLASSIC = 3, SCHEME_24BIT = 4;

class SignObjectsTest : public MibFixture {
  protected:
    void Unlock(bool on) {
        db_set(obj::halvObj2_8, on ? 2 : 1, DB_NO_VALIDATE);
        mib_set_write_override(on);
    }
    // The lookup's error, else the handler's error status.
    uint32_t Result(const Answer& a) {
        return a.error != MIB_FOUND ? uint32_t(a.error) : a.error_status;
    }
    uint32_t SetResult(const Oid& name, uint32_t value, uint32_t mask = MIB_ALL_RIGHTS) {
        return Result(SetNumber(name, SNMP_INTEGER, value, mask));
    }
};

TEST_F(SignObjectsTest, CentralMayOnlyTakeOverFromLocal) {
    EXPECT_EQ(4u, Get(control(CONTROL_MODE)).number);
    EXPECT_EQ(BAD_VALUE, SetResult(control(CONTROL_MODE), 5));
    EXPECT_EQ(BAD_VALUE, SetResult(control(CONTROL_MODE), 4));        // not even the current mode
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, 2, DB_NO_VALIDATE)); // the front panel
    EXPECT_EQ(0u, SetResult(control(CONTROL_MODE), 5));
    EXPECT_EQ(5u, Get(control(CONTROL_MODE)).number);
    EXPECT_EQ(BAD_VALUE, SetResult(control(CONTROL_MODE), 4));
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(control(CONTROL_MODE), 7));
    EXPECT_EQ(uint32_t(MIB_NO_SUCH_NAME), SetResult(control(CONTROL_MODE), 2, ~0x00040000u));
    EXPECT_EQ(5u, db_get(obj::dmsControlMode));
}

TEST_F(SignObjectsTest, AnActivationCodeIsStoredQuietlyAndAGetShowsTheLastActivated) {
    const std::string shown("\xFF\xFF\x01\x07\x00\x01\x00\x00\x00\x00\x00\x00", 12);
    ASSERT_EQ(DB_OK, db_set_string(obj::savedActivateMessage, shown.data(), 12, 0));
    const std::string code("\xFF\xFF\xFF\x03\x00\x01\xEC\xF8\x00\x00\x00\x00", 12);
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), Result(SetOctets(control(ACTIVATE), code.substr(0, 11))));
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), Result(SetOctets(control(ACTIVATE), code + '\0')));

    ULONG bits = 0;
    tx_event_flags_get(&database_event_flags(), 0xFFFFFFFFu, TX_OR_CLEAR, &bits, TX_NO_WAIT);
    Answer set = SetOctets(control(ACTIVATE), code);
    EXPECT_EQ(0u, Result(set));
    EXPECT_EQ(code, set.octets); // the SET answers the code it wrote
    EXPECT_EQ(code, Str(obj::dmsActivateMessage));
    bits = 0;
    tx_event_flags_get(&database_event_flags(), 0x4000, TX_OR_CLEAR, &bits, TX_NO_WAIT);
    EXPECT_EQ(0u, bits) << "the display's activation bit";
    EXPECT_EQ(shown, Get(control(ACTIVATE)).octets);
    EXPECT_EQ(uint32_t(MIB_NO_SUCH_NAME),
              Result(SetOctets(control(ACTIVATE), code, SNMP_OCTETSTR, ~0x00800000u)));
}

TEST_F(SignObjectsTest, MessageReferencesTakeAnyFiveOctets) {
    for (uint32_t x : {8u, 9u, 11u, 12u, 14u, 15u}) {
        EXPECT_EQ(0u, Result(SetOctets(control(x), std::string("\x03\x00\x09\xAB\xCD", 5)))) << x;
        EXPECT_EQ(std::string("\x03\x00\x09\xAB\xCD", 5), Get(control(x)).octets) << x;
        EXPECT_EQ(uint32_t(MIB_BAD_VALUE), Result(SetOctets(control(x), "1234"))) << x;
        EXPECT_EQ(uint32_t(MIB_NO_SUCH_NAME),
                  Result(SetOctets(control(x), "12345", SNMP_OCTETSTR, ~0x20000000u)))
            << x;
    }
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(control(22), 1441));
    EXPECT_EQ(0u, SetResult(control(22), 1440));
    EXPECT_EQ(MIB_READ_ONLY, SetOctets(control(5), "12345").access);
    EXPECT_EQ(MIB_IPADDRESS, Get(control(6)).type);
    EXPECT_EQ(11u, Get(control(7)).number);
    EXPECT_EQ(1u, Get(control(25)).number);
}

// A thread above the test's that records dmsSWReset at the moment letter
// 36 is posted.
struct reset_watch {
    TX_EVENT_FLAGS_GROUP group{};
    TX_THREAD thread{};
    subscriber* mail = nullptr;
    int letters = 0;
    uint32_t reset_when_posted = 99;
};
reset_watch g_watch;

void watch_entry(ULONG) {
    for (;;) {
        ULONG actual = 0;
        tx_event_flags_get(&g_watch.group, 0x1, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
        letter_s* l = nullptr;
        while (g_watch.mail->receive(&l)) {
            g_watch.letters++;
            g_watch.reset_when_posted = db_get(obj::dmsSWReset);
            g_watch.mail->release(l);
        }
    }
}

class ResetTest : public SignObjectsTest {
  protected:
    UINT TestPriority() const override { return 10; }
};

TEST_F(ResetTest, AResetAfterAnAddressChangeAnnouncesItBeforeTheResetIsStored) {
    static const uint32_t codes[] = {LETTER_NETWORK_CONFIG_CHANGED, 0};
    os_event_flags_create(&g_watch.group, "watch");
    subscriber mail(the_post_office(), &g_watch.group, 0x1, &g_watch.thread);
    ASSERT_EQ(1, mail.attach(codes));
    g_watch.mail = &mail;
    void* stack = nullptr;
    ASSERT_EQ(OS_OK, os_byte_allocate(&thread_stack_pool(), &stack, 4096, OS_NO_WAIT));
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(&g_watch.thread, "watch", watch_entry, 0, stack, 4096, 5,
                                           5, 0, TX_AUTO_START));
    tx_thread_sleep(1);

    EXPECT_EQ(0u, SetResult(control(SW_RESET), 0)); // no address changed: no letter
    EXPECT_EQ(0, g_watch.letters);

    Unlock(true);
    ASSERT_EQ(0u, Result(SetOctets(mib2({4, 20, 1, 1, 1}), std::string("\x0A\x01\x02\x03", 4),
                                   SNMP_IPADDR)));
    EXPECT_EQ(0, g_watch.letters);
    EXPECT_EQ(0u, SetResult(control(SW_RESET), 1));
    EXPECT_EQ(1, g_watch.letters);
    EXPECT_EQ(0u, g_watch.reset_when_posted);
    EXPECT_EQ(1u, db_get(obj::dmsSWReset));
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(control(SW_RESET), 2));
    tx_thread_terminate(&g_watch.thread);
    mail.detach();
}

// The memory management runs after a committed SET, with the new value
// stored, and never on a read.
int g_memory_runs = 0;
uint32_t g_memory_value = 0;
void memory_double() {
    g_memory_runs++;
    g_memory_value = db_get(obj::dmsMemoryMgmt);
}

TEST_F(SignObjectsTest, OnlyACommittedSetRunsTheMemoryManagement) {
    sign_control_set_memory_entry(memory_double);
    EXPECT_EQ(2u, Get(control(MEMORY_MGMT)).number);
    EXPECT_EQ(control(MEMORY_MGMT), Next(control(MEMORY_MGMT - 1)).name);
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(control(MEMORY_MGMT), 5));
    EXPECT_EQ(uint32_t(MIB_NO_SUCH_NAME), SetResult(control(MEMORY_MGMT), 4, ~0x00400000u));
    EXPECT_EQ(0, g_memory_runs);

    EXPECT_EQ(0u, SetResult(control(MEMORY_MGMT), 4));
    EXPECT_EQ(1, g_memory_runs);
    EXPECT_EQ(4u, g_memory_value);
    sign_control_set_memory_entry(nullptr);
}

TEST_F(SignObjectsTest, ConfigurationRowsAreWritableOnlyWhileUnlocked) {
    const Oid height = dms({2, 3, 0}), legend = dms({1, 7, 0});
    EXPECT_EQ(2u, Get(legend).number);
    EXPECT_EQ(2u, Get(dms({1, 9, 0})).number);
    const uint32_t before = db_get(obj::vmsSignHeightPixels);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(height, SNMP_INTEGER, 48).access);
    EXPECT_EQ(before, db_get(obj::vmsSignHeightPixels));

    Unlock(true);
    Answer set = SetNumber(height, SNMP_INTEGER, 200); // beyond 5..144: no value check unlocked
    EXPECT_EQ(MIB_READ_WRITE, set.access);
    EXPECT_EQ(200u, set.number);
    EXPECT_EQ(200u, db_get(obj::vmsSignHeightPixels));
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), Result(SetOctets(height, "48"))); // syntax still checked
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(legend, SNMP_INTEGER, 1).access);
    EXPECT_EQ(MIB_READ_ONLY, SetOctets(dms({2, 7, 0}), "abcdef").access);
    EXPECT_EQ(0u, SetResult(dms({1, 2, 0}), 6));
    EXPECT_EQ(6u, db_get(obj::dmsSignType));

    // A value the store refuses is never acknowledged: badValue where the
    // pixel group reports it, genErr for the sign group.
    EXPECT_EQ(BAD_VALUE, SetResult(height, 70000));
    EXPECT_EQ(5u, SetResult(dms({1, 3, 0}), 70000));
    EXPECT_EQ(200u, db_get(obj::vmsSignHeightPixels));

    Unlock(false);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(height, SNMP_INTEGER, 48).access);
}

TEST_F(SignObjectsTest, ClassicColourDefaultsExistOnlyInTheClassicScheme) {
    ASSERT_EQ(SCHEME_CLASSIC, Get(multi(11)).number);
    // A one-colour module: black, red and amber only.
    EXPECT_EQ(GEN_ERR, SetResult(multi(FOREGROUND), 3));
    EXPECT_EQ(0u, SetResult(multi(FOREGROUND), 9));
    EXPECT_EQ(std::string("\x09", 1), Get(multi(FOREGROUND_RGB)).octets);
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(multi(FOREGROUND), 10));

    ASSERT_EQ(DB_OK, db_set(obj::dmsColorScheme, SCHEME_24BIT, 0));
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(multi(BACKGROUND)).error);
    EXPECT_EQ(uint32_t(MIB_NO_SUCH_NAME), SetResult(multi(BACKGROUND), 0));
    EXPECT_EQ(multi(3), Next(dms({4})).name);
    EXPECT_EQ(GEN_ERR, Result(SetOctets(multi(BACKGROUND_RGB), std::string("\x10\x20", 2))));
}

// The RGB defaults by colour scheme: accepted values and what they make of
// the classic colour object.
TEST_F(SignObjectsTest, RgbDefaultsFollowTheColourScheme) {
    struct Case {
        uint32_t scheme, module;
        std::string rgb;
        uint32_t error;
        uint32_t classic; // the background colour afterwards
    };
    const Case cases[] = {
        {SCHEME_MONO_1BIT, 0, std::string("\x01\x55", 2), 0, 9},
        {SCHEME_MONO_1BIT, 0, std::string("\x00", 1), 0, 0},
        {SCHEME_MONO_1BIT, 0, std::string("\x02", 1), GEN_ERR, 7},
        {SCHEME_MONO_8BIT, 0, std::string("\x05", 1), 0, 9},
        {SCHEME_MONO_8BIT, 0, std::string("\x05\x05", 2), GEN_ERR, 7},
        {SCHEME_24BIT, 0, std::string("\xFF\x80\x10", 3), 0, 7},
        {SCHEME_24BIT, 21, std::string("\xFF\x80\x10", 3), GEN_ERR, 7}, // no blue on type 21
        {SCHEME_24BIT, 21, std::string("\xFF\x80\x00", 3), 0, 7},
        {SCHEME_CLASSIC, 0, std::string("\x01", 1), 0, 1},
        {SCHEME_CLASSIC, 0, std::string("\x03", 1), GEN_ERR, 7}, // not on one colour
        {SCHEME_CLASSIC, 0, std::string(""), GEN_ERR, 7},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(DB_OK, db_set(obj::dmsColorScheme, c.scheme, 0));
        ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, c.module, 0));
        ASSERT_EQ(DB_OK, db_set(obj::defaultBackground, 7, DB_NO_VALIDATE));
        const std::string before = Str(obj::defaultBackgroundRGB);
        // The RGB defaults need no right.
        EXPECT_EQ(c.error, Result(SetOctets(multi(BACKGROUND_RGB), c.rgb, SNMP_OCTETSTR, 0)))
            << c.scheme << " " << snmp_test::to_hex(snmp_test::Bytes(c.rgb.begin(), c.rgb.end()));
        EXPECT_EQ(c.classic, db_get(obj::defaultBackground)) << c.scheme;
        EXPECT_EQ(c.error == 0 ? c.rgb : before, Str(obj::defaultBackgroundRGB)) << c.scheme;
    }
}

TEST_F(SignObjectsTest, TwoColourModulesAddGreen) {
    ValidationServices services;
    services.module_colour_class = [](uint32_t) { return 2; };
    set_validation_services(services);
    EXPECT_EQ(0u, SetResult(multi(BACKGROUND), 3));
    EXPECT_EQ(GEN_ERR, SetResult(multi(BACKGROUND), 2));
    EXPECT_EQ(3u, Get(multi(BACKGROUND)).number);
    set_validation_services(ValidationServices());
}

TEST_F(SignObjectsTest, OtherDefaultsAreCheckedByTheirLists) {
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(multi(JUSTIFICATION_LINE), 1));
    EXPECT_EQ(0u, SetResult(multi(JUSTIFICATION_LINE), 5));
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(multi(7), 5));
    EXPECT_EQ(uint32_t(MIB_BAD_VALUE), SetResult(multi(DEFAULT_FONT), 0));
    EXPECT_EQ(uint32_t(MIB_NO_SUCH_NAME), SetResult(multi(DEFAULT_FONT), 2, ~0x40000000u));
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(multi(17), SNMP_INTEGER, 1).access);

    EXPECT_EQ(0u, Result(SetOctets(multi(SUPPORTED_TAGS), "\x01")));
    EXPECT_EQ("\x01", Get(multi(SUPPORTED_TAGS)).octets);
    TheDatabase().InitVolatile(); // a restart
    EXPECT_EQ(std::string("\xFF\xFF\xFF\x3F", 4), Get(multi(SUPPORTED_TAGS)).octets);
}

} // namespace
