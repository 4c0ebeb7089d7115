// Value validation: every rule refuses what it must, with its side writes.
#include "tests/store/store_fixture.h"

#include "store/validate.h"

#include <array>
#include <cstring>

using namespace store_test;
using test_support::ClearConsole;
using test_support::ConsoleText;

namespace {

class ValidateTest : public StoreFixture {
  protected:
    void TearDown() override {
        set_validation_services(ValidationServices());
        StoreFixture::TearDown();
    }
    // Puts a value in place without rules.
    void Force(const DbObject& o, uint32_t v) { ASSERT_EQ(0, Set(o, v, DB_NO_VALIDATE)); }
    std::string Oid(std::initializer_list<uint32_t> subids) {
        std::string bytes;
        for (uint32_t s : subids)
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes.push_back(char(s >> shift));
        return bytes;
    }
};

struct Transition {
    uint32_t current, value;
    int result;
};

TEST_F(ValidateTest, MessageStatusTransitions) {
    const Transition cases[] = {
        {2, 7, 0},          {2, 4, DB_REFUSED},  {2, 9, DB_REFUSED5}, {0, 8, 0}, {0, 6, 0},
        {9, 6, 0},          {8, 1, 0},           {1, 1, DB_REFUSED},  {6, 2, 0}, {7, 3, 0},
        {3, 4, 0},          {3, 5, 0},           {4, 5, DB_REFUSED},  {5, 8, 0}, {8, 8, 0},
        {3, 8, DB_REFUSED}, {4, 0, DB_REFUSED5},
    };
    for (const DbObject& column : {obj::changeableMsgStatus, obj::volatileMsgStatus}) {
        const DbObject row = column.row(column.rows - 1u);
        for (const Transition& t : cases) {
            Force(row, t.current);
            EXPECT_EQ(t.result, Set(row, t.value)) << t.current << " -> " << t.value;
            EXPECT_EQ(t.result ? t.current : t.value, Get(row));
        }
    }
    ClearConsole();
    Force(obj::volatileMsgStatus.row(0), 2);
    Set(obj::volatileMsgStatus.row(0), 4);
    Set(obj::volatileMsgStatus.row(0), 12);
    EXPECT_NE(std::string::npos, ConsoleText().find("Vol MsgStatus4 error\n"));
    EXPECT_NE(std::string::npos, ConsoleText().find("Vol MsgStatus9 error\n"));
}

TEST_F(ValidateTest, MessageFieldsFollowTheRowState) {
    struct Case {
        DbObject field;
        DbObject status;
        uint32_t state;
        int result;
    } cases[] = {
        {obj::changeableMsgCRC.row(549), obj::changeableMsgStatus.row(549), 3, 0},
        {obj::changeableMsgCRC.row(549), obj::changeableMsgStatus.row(549), 4, DB_REFUSED5},
        {obj::changeableMsgBeacon.row(7), obj::changeableMsgStatus.row(7), 2, 0},
        {obj::changeableMsgBeacon.row(7), obj::changeableMsgStatus.row(7), 3, DB_REFUSED5},
        {obj::changeableMsgPixelService.row(0), obj::changeableMsgStatus.row(0), 1, DB_REFUSED5},
        {obj::changeableMsgRunTimePriority.row(0), obj::changeableMsgStatus.row(0), 2, 0},
        {obj::volatileMsgCRC.row(3), obj::volatileMsgStatus.row(3), 3, 0},
        {obj::volatileMsgBeacon.row(3), obj::volatileMsgStatus.row(3), 4, DB_REFUSED5},
        {obj::volatileMsgPixelService.row(1), obj::volatileMsgStatus.row(1), 2, 0},
        {obj::volatileMsgRunTimePriority.row(1), obj::volatileMsgStatus.row(1), 5, DB_REFUSED5},
    };
    for (const Case& c : cases) {
        Force(c.status, c.state);
        EXPECT_EQ(c.result, Set(c.field, 5)) << c.field.offset << " in state " << c.state;
    }
    struct StringCase {
        DbObject field;
        DbObject status;
        uint32_t state;
        int result;
        const char* line;
    } strings[] = {
        {obj::changeableMsgMultiString.row(3), obj::changeableMsgStatus.row(3), 2, 0, nullptr},
        {obj::changeableMsgOwner.row(3), obj::changeableMsgStatus.row(3), 4, DB_REFUSED5, nullptr},
        {obj::volatileMsgMultiString.row(2), obj::volatileMsgStatus.row(2), 3, DB_REFUSED5,
         "Vol MsgString error\n"},
        {obj::volatileMsgOwner.row(2), obj::volatileMsgStatus.row(2), 1, DB_REFUSED5,
         "Vol MsgOwner error\n"},
        {obj::volatileMsgOwner.row(2), obj::volatileMsgStatus.row(2), 2, 0, nullptr},
    };
    for (const StringCase& c : strings) {
        Force(c.status, c.state);
        ClearConsole();
        EXPECT_EQ(c.result, SetStr(c.field, "[jl3]TEXT")) << c.field.offset;
        if (c.line) {
            EXPECT_NE(std::string::npos, ConsoleText().find(c.line));
        }
    }
}

TEST_F(ValidateTest, ControlModeAndClimateTest) {
    const Transition modes[] = {
        {2, 5, 0}, {2, 4, DB_REFUSED}, {4, 2, DB_REFUSED}, {5, 5, DB_REFUSED}};
    for (const Transition& t : modes) {
        Force(obj::dmsControlMode, t.current);
        EXPECT_EQ(t.result, Set(obj::dmsControlMode, t.value)) << t.current << " -> " << t.value;
    }
    EXPECT_EQ(DB_REFUSED, Set(obj::dmsClimateCtrlTestActivation.row(31), 4));
    EXPECT_EQ(0, Set(obj::dmsClimateCtrlTestActivation.row(31), 3));
}

TEST_F(ValidateTest, FontRules) {
    Force(obj::vmsSignHeightPixels, 48);
    Force(obj::vmsSignWidthPixels, 112);
    Force(obj::vmsCharacterHeightPixels, 7);
    Force(obj::vmsCharacterWidthPixels, 5);
    Force(obj::fontNumber.row(0), 9);
    const DbObject status = obj::fontStatus.row(4);
    // Font number: unique while unmanaged, free while modifying, else refused.
    Force(status, 11);
    EXPECT_EQ(DB_REFUSED, Set(obj::fontNumber.row(4), 9));
    EXPECT_EQ(0, Set(obj::fontNumber.row(4), 8));
    Force(status, 2);
    EXPECT_EQ(0, Set(obj::fontNumber.row(4), 9));
    Force(status, 4);
    EXPECT_EQ(DB_REFUSED5, Set(obj::fontNumber.row(4), 3));
    EXPECT_EQ(DB_REFUSED5, Set(obj::fontLineSpacing.row(4), 3));
    EXPECT_EQ(DB_REFUSED5, SetStr(obj::fontName.row(4), "name"));
    EXPECT_EQ(DB_REFUSED5, SetStr(obj::characterBitmap.row(4 * 255 + 254), "\x01"));
    EXPECT_EQ(DB_REFUSED5, Set(obj::characterWidth.row(4 * 255), 1));
    // Geometry limits by sign type.
    Force(status, 2);
    struct Case {
        uint32_t sign_type;
        DbObject object;
        uint32_t value;
        int result;
    } cases[] = {
        {6, obj::fontHeight.row(4), 48, 0},
        {6, obj::fontHeight.row(4), 49, DB_REFUSED},
        {4, obj::fontHeight.row(4), 8, DB_REFUSED},
        {133, obj::fontHeight.row(4), 7, 0},
        {6, obj::fontCharSpacing.row(4), 113, DB_REFUSED},
        {4, obj::fontCharSpacing.row(4), 200, 0},
        {6, obj::characterWidth.row(4 * 255 + 254), 112, 0},
        {6, obj::characterWidth.row(4 * 255 + 254), 113, DB_REFUSED},
        {4, obj::characterWidth.row(4 * 255), 6, DB_REFUSED},
        {132, obj::characterWidth.row(4 * 255), 5, 0},
    };
    for (const Case& c : cases) {
        Force(obj::dmsSignType, c.sign_type);
        EXPECT_EQ(c.result, Set(c.object, c.value)) << c.object.offset << " type " << c.sign_type;
    }
    EXPECT_EQ(0, SetStr(obj::characterBitmap.row(4 * 255 + 254), "\x01"));
    EXPECT_EQ(0, SetStr(obj::fontName.row(4), "name"));
}

TEST_F(ValidateTest, FontAndGraphicStatusTransitions) {
    const Transition fonts[] = {{1, 7, 0},         {1, 8, DB_REFUSED},  {2, 8, 0},
                                {2, 10, 0},        {3, 9, 0},           {3, 7, DB_REFUSED},
                                {4, 8, 0},         {5, 9, DB_REFUSED},  {6, 7, DB_REFUSED},
                                {11, 10, 0},       {11, 8, DB_REFUSED}, {12, 7, DB_REFUSED},
                                {0, 7, DB_REFUSED}};
    for (const Transition& t : fonts) {
        Force(obj::fontStatus.row(19), t.current);
        EXPECT_EQ(t.result, Set(obj::fontStatus.row(19), t.value))
            << t.current << " -> " << t.value;
    }
    const Transition graphics[] = {{1, 7, 0},          {1, 8, DB_REFUSED}, {2, 8, 0},
                                   {3, 9, 0},          {4, 7, 0},          {4, 10, DB_REFUSED},
                                   {0, 7, DB_REFUSED}, {5, 9, DB_REFUSED}};
    for (const Transition& t : graphics) {
        Force(obj::dmsGraphicStatus.row(49), t.current);
        EXPECT_EQ(t.result, Set(obj::dmsGraphicStatus.row(49), t.value))
            << t.current << " -> " << t.value;
    }
}

TEST_F(ValidateTest, GraphicRules) {
    Force(obj::vmsSignHeightPixels, 48);
    Force(obj::vmsSignWidthPixels, 112);
    Force(obj::dmsGraphicNumber.row(0), 5);
    const DbObject status = obj::dmsGraphicStatus.row(49);
    Force(status, 2);
    EXPECT_EQ(DB_REFUSED, Set(obj::dmsGraphicNumber.row(49), 5));
    EXPECT_EQ(0, Set(obj::dmsGraphicNumber.row(49), 6));
    EXPECT_EQ(DB_REFUSED, Set(obj::dmsGraphicHeight.row(49), 49));
    EXPECT_EQ(0, Set(obj::dmsGraphicHeight.row(49), 48));
    EXPECT_EQ(DB_REFUSED, Set(obj::dmsGraphicWidth.row(49), 113));
    EXPECT_EQ(0, Set(obj::dmsGraphicWidth.row(49), 112));
    EXPECT_EQ(0, SetStr(obj::dmsGraphicBlockBitmap.row(49 * 63 + 62), "bits"));
    Force(status, 4);
    for (const DbObject& o :
         {obj::dmsGraphicType.row(49), obj::dmsGraphicTransparentEnabled.row(49),
          obj::dmsGraphicHeight.row(49)})
        EXPECT_EQ(DB_REFUSED5, Set(o, 1)) << o.offset;
    for (const DbObject& o : {obj::dmsGraphicName.row(49), obj::dmsGraphicTransparentColor.row(49),
                              obj::dmsGraphicBlockBitmap.row(49 * 63)})
        EXPECT_EQ(DB_REFUSED5, SetStr(o, "x")) << o.offset;
}

TEST_F(ValidateTest, DaylightSavingKeepsTheBeginMonthsInStep) {
    EXPECT_EQ(0, Set(obj::globalDaylightSaving, 2));
    for (unsigned r = 0; r < 10; ++r)
        EXPECT_EQ(14u, Get(obj::dstBeginMonth.row(r)));
    EXPECT_EQ(DB_REFUSED5, Set(obj::globalDaylightSaving, 1));
    EXPECT_EQ(DB_REFUSED5, Set(obj::globalDaylightSaving, 20)); // month 14 > 13
    EXPECT_EQ(0, Set(obj::globalDaylightSaving, 3));
    for (unsigned r = 0; r < 10; ++r)
        EXPECT_EQ(15u, Get(obj::dstBeginMonth.row(r)));
    Force(obj::dstBeginMonth.row(0), 3);
    EXPECT_EQ(0, Set(obj::globalDaylightSaving, 20));
    // Only row 1 holds the rule in force: another row's month is only stored.
    EXPECT_EQ(0, Set(obj::dstBeginMonth.row(9), 14));
    EXPECT_EQ(20u, Get(obj::globalDaylightSaving));
    EXPECT_EQ(0, Set(obj::dstBeginMonth.row(0), 14));
    EXPECT_EQ(2u, Get(obj::globalDaylightSaving));
    EXPECT_EQ(0, Set(obj::dstBeginMonth.row(0), 4));
    EXPECT_EQ(1u, Get(obj::globalDaylightSaving));
    for (uint32_t month : {0u, 15u, 200u})
        EXPECT_EQ(DB_REFUSED, Set(obj::dstBeginMonth.row(9), month)) << month;
    EXPECT_EQ(14u, Get(obj::dstBeginMonth.row(9)));
}

TEST_F(ValidateTest, ShutOffTempWithinTheCriticalLimits) {
    Force(obj::halvShutOffTemp, 60);
    EXPECT_EQ(0, Set(obj::halvShutOffTemp, 0)); // always accepted
    EXPECT_EQ(0u, Get(obj::halvShutOffTemp));
    EXPECT_EQ(DB_REFUSED, Set(obj::halvShutOffTemp, 85)); // limits 0..0 without a peripheral hook
    ValidationServices services;
    services.critical_temp_low = [] { return int32_t(-40); };
    services.critical_temp_high = [] { return int32_t(90); };
    set_validation_services(services);
    EXPECT_EQ(0, Set(obj::halvShutOffTemp, 85));
    EXPECT_EQ(85u, Get(obj::halvShutOffTemp));
    EXPECT_EQ(0, Set(obj::halvShutOffTemp, uint8_t(-40)));
    EXPECT_EQ(DB_REFUSED, Set(obj::halvShutOffTemp, uint8_t(-41)));
    EXPECT_EQ(DB_REFUSED, Set(obj::halvShutOffTemp, 91));
}

std::string table(std::initializer_list<std::array<uint16_t, 3>> levels) {
    std::string bytes(1, char(levels.size()));
    for (const auto& l : levels)
        for (uint16_t v : l)
            bytes += std::string{char(v >> 8), char(v & 0xFF)};
    return bytes;
}

TEST_F(ValidateTest, BrightnessTable) {
    Force(obj::dmsIllumMaxPhotocellLevel, 1000);
    struct Case {
        std::string value;
        int result;
        uint32_t error;
    } cases[] = {
        {table({{10, 0, 100}, {20, 101, 500}, {30, 501, 1000}}), 0, 2},
        {table({{10, 0, 100}, {20, 102, 500}}), DB_REFUSED5, 3}, // a gap of 2
        {table({{10, 0, 100}, {20, 50, 40}}), DB_REFUSED5, 6},   // down above up
        {table({{10, 0, 1001}}), DB_REFUSED5, 6},                // above the maximum
        {table({{10, 0, 100}}).substr(0, 5), DB_REFUSED5, 6},    // not 6n + 1 bytes
        {std::string(1, '\0'), DB_REFUSED5, 6},                  // no levels
        {std::string(), DB_REFUSED5, 6},                         // nothing at all
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, SetStr(obj::dmsIllumBrightnessValues, c.value)) << c.value.size();
        EXPECT_EQ(c.error, Get(obj::dmsIllumBrightnessValuesError)) << c.value.size();
    }
    EXPECT_EQ(table({{10, 0, 100}, {20, 101, 500}, {30, 501, 1000}}),
              Str(obj::dmsIllumBrightnessValues));
}

TEST_F(ValidateTest, EventConfigurationOids) {
    const DbObject compare = obj::eventConfigCompareOID.row(59);
    const DbObject log = obj::eventConfigLogOID.row(59);
    const DbObject status = obj::eventConfigStatus.row(59);
    Force(obj::eventConfigAction.row(59), 3);
    // A protected log subtree is refused, the row is in error and bit 0x20 set.
    EXPECT_EQ(DB_REFUSED, SetStr(log, Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5, 1, 0})));
    EXPECT_EQ(4u, Get(status));
    EXPECT_EQ(0x20u, db->OidCheckWord());
    EXPECT_EQ(DB_REFUSED, SetStr(log, Oid({1, 3, 6, 1, 4, 1, 1206, 4, 1, 1, 1})));
    // A short OID (two sub-identifiers) clears the bit and sets the status by the action.
    EXPECT_EQ(0, SetStr(log, Oid({0, 0})));
    EXPECT_EQ(0u, db->OidCheckWord());
    EXPECT_EQ(3u, Get(status));
    // Fewer than 11 sub-identifiers are never compared with the subtrees.
    EXPECT_EQ(0, SetStr(log, Oid({1, 3, 6, 1, 4})));
    // A value too long to be an OID is refused.
    EXPECT_EQ(DB_REFUSED, SetStr(compare, std::string(4 * (VALIDATE_MAX_OID_SUBIDS + 1), '\1')));
    EXPECT_EQ(0x10u, db->OidCheckWord());
    // The registry's look-up decides whether an OID can be read.
    ValidationServices services;
    services.oid_lookup = [](const uint32_t* subids, unsigned count) {
        return count == 4 && subids[3] == 99 ? 1 : 0;
    };
    set_validation_services(services);
    Force(obj::eventConfigAction.row(59), 2);
    EXPECT_EQ(DB_REFUSED, SetStr(compare, Oid({1, 3, 6, 99})));
    EXPECT_EQ(0, SetStr(compare, Oid({1, 3, 6, 98})));
    EXPECT_EQ(0u, db->OidCheckWord());
    EXPECT_EQ(2u, Get(status));
}

TEST_F(ValidateTest, DefaultColours) {
    // The colour index: classic colour scheme only, values by the module's colour class.
    Force(obj::dmsColorScheme, 1);
    EXPECT_EQ(DB_REFUSED5, Set(obj::defaultBackground, 1));
    Force(obj::dmsColorScheme, 3);
    EXPECT_EQ(DB_REFUSED5, Set(obj::defaultBackground, 3)); // default module class 1
    EXPECT_EQ(0, Set(obj::defaultForeground, 9));
    EXPECT_EQ("\x09", Str(obj::defaultForegroundRGB));
    ValidationServices services;
    services.module_colour_class = [](uint32_t) { return 2; };
    set_validation_services(services);
    EXPECT_EQ(0, Set(obj::defaultBackground, 3));
    EXPECT_EQ("\x03", Str(obj::defaultBackgroundRGB));
    EXPECT_EQ(0, SetStr(obj::defaultBackgroundRGB, "\x01"));
    EXPECT_EQ(1u, Get(obj::defaultBackground));
    EXPECT_EQ(DB_REFUSED5, SetStr(obj::defaultBackgroundRGB, "\x05"));
    EXPECT_EQ(DB_REFUSED5, SetStr(obj::defaultBackgroundRGB, "")); // no byte to read
    EXPECT_EQ(DB_REFUSED5, SetStr(obj::defaultBackgroundRGB, "\x01\x01"));
    // The RGB value by scheme.
    struct Case {
        uint32_t scheme, module;
        std::string value;
        int result;
        uint32_t index; // defaultForeground afterwards
    } cases[] = {
        {1, 0, "\x01", 0, 9},
        {1, 0, std::string(1, '\0'), 0, 0},
        {1, 0, "\x02", DB_REFUSED5, 0},
        {1, 0, "", DB_REFUSED5, 0},
        {2, 0, "\x07", 0, 9},
        {2, 0, "\x07\x07", DB_REFUSED5, 9},
        {4, 0, "\x01\x02\x03", 0, 9},
        {4, 0, "\x01\x02", DB_REFUSED5, 9},
        {4, 5, std::string("\x10\x20\x00", 3), 0, 9},
        {4, 5, "\x10\x20\x30", DB_REFUSED5, 9},
    };
    for (const Case& c : cases) {
        Force(obj::dmsColorScheme, c.scheme);
        Force(obj::halvModuleID, c.module);
        EXPECT_EQ(c.result, SetStr(obj::defaultForegroundRGB, c.value))
            << c.scheme << " " << c.value.size();
        EXPECT_EQ(c.index, Get(obj::defaultForeground)) << c.scheme;
    }
}

TEST_F(ValidateTest, EverythingIsAcceptedWhileValidationIsOff) {
    db->SetValidateOn(false);
    EXPECT_EQ(0, Set(obj::dmsControlMode, 4));
    EXPECT_EQ(0, Set(obj::changeableMsgStatus.row(0), 9));
    EXPECT_EQ(0, SetStr(obj::dmsIllumBrightnessValues, ""));
    EXPECT_EQ(0, SetStr(obj::eventConfigLogOID.row(0), Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5})));
    EXPECT_EQ(0u, Get(obj::dmsIllumBrightnessValuesError));
}

} // namespace

namespace {

// Random values from outside (SNMP, web forms) into every string rule and
// the integer rules: always a clear result, never a read past the value.
TEST_F(ValidateTest, RandomValuesGetAClearAnswer) {
    const DbObject strings[] = {obj::dmsIllumBrightnessValues, obj::eventConfigCompareOID.row(3),
                                obj::eventConfigLogOID.row(3), obj::defaultBackgroundRGB,
                                obj::defaultForegroundRGB,     obj::changeableMsgMultiString.row(1),
                                obj::volatileMsgOwner.row(1),  obj::characterBitmap.row(300)};
    const DbObject integers[] = {
        obj::changeableMsgStatus.row(1), obj::fontStatus.row(1),       obj::dmsGraphicStatus.row(1),
        obj::globalDaylightSaving,       obj::dstBeginMonth.row(1),    obj::halvShutOffTemp,
        obj::defaultForeground,          obj::characterWidth.row(300), obj::dmsControlMode,
        obj::volatileMsgStatus.row(1)};
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int i = 0; i < 10000; ++i) {
        Force(obj::dmsColorScheme, next() % 6);
        Force(obj::halvModuleID, next() % 32);
        std::string value(next() % 40, '\0');
        for (char& c : value)
            c = char(next());
        // An exact-size heap copy, so that a read past the value is caught.
        std::unique_ptr<char[]> bytes(new char[value.size()]);
        std::memcpy(bytes.get(), value.data(), value.size());
        const DbObject& s = strings[next() % (sizeof strings / sizeof strings[0])];
        int r = SetString(*db, s.offset, 4, value.empty() ? nullptr : bytes.get(),
                          uint32_t(value.size()), Img(s), 0);
        ASSERT_TRUE(r == 0 || r == DB_REFUSED || r == DB_REFUSED5) << r;
        const DbObject& n = integers[next() % (sizeof integers / sizeof integers[0])];
        r = Set(n, next() % 300);
        ASSERT_TRUE(r == 0 || r == DB_REFUSED || r == DB_REFUSED5) << r;
    }
}

} // namespace
