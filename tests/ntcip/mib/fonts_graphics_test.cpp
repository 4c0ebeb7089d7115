// The sign's font, illumination and graphic objects through the registry:
// the store's refusals as SNMP errors, what a write clears beside it, the
// scaled readings, the count of usable graphics, and instances at and past
// the tables' edges. The display's side of the status requests (a request
// becoming a state) is not run here: where a test needs a font or graphic in
// a state, it puts the state into the store as the display would leave it.
#include "tests/ntcip/mib/mib_fixture.h"

#include "console/monitor_task.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "store/fonts.h"
#include "store/graphic_count.h"

#include <functional>

using namespace mib_test;

namespace {

const Oid kDms = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3};
Oid dms(const Oid& rest) {
    return cat(kDms, rest);
}
Oid font(uint32_t column, uint32_t f) {
    return dms({3, 2, 1, column, f});
}
Oid character(uint32_t column, uint32_t f, uint32_t k) {
    return dms({3, 4, 1, column, f, k});
}
Oid illum(uint32_t x) {
    return dms({7, x, 0});
}
Oid graphic(uint32_t column, uint32_t g) {
    return dms({10, 6, 1, column, g});
}
Oid block(uint32_t column, uint32_t g, uint32_t b) {
    return dms({10, 7, 1, column, g, b});
}

// Columns and values by name.
enum FontColumn : uint32_t {
    FONT_NUMBER = 2,
    FONT_NAME,
    FONT_HEIGHT,
    FONT_VERSION = 7,
    FONT_STATUS
};
enum GraphicColumn : uint32_t {
    G_NUMBER = 2,
    G_NAME,
    G_HEIGHT,
    G_WIDTH,
    G_TYPE,
    G_ID,
    G_TRANSPARENT,
    G_COLOUR,
    G_STATUS
};
enum Status : uint32_t {
    NOT_USED = 1,
    MODIFYING = 2,
    READY = 4,
    IN_USE = 5,
    PERMANENT = 6,
    MODIFY_REQ = 7,
    READY_REQ = 8,
    NOT_USED_REQ = 9,
    UNMANAGED = 11
};
constexpr uint32_t CHARACTER_WIDTH = 2, CHARACTER_BITMAP = 3, BLOCK_BITMAP = 3;
constexpr uint32_t NO_ERROR = 0, BAD_VALUE = 3, GEN_ERR = 5;
constexpr uint32_t FONT_RIGHT = 0x80000000, ILLUM_RIGHT = 0x00200000;
const uint32_t AS_THE_DISPLAY = DB_NOTIFY | DB_NO_VALIDATE;

// An integer SET of a column of a row in a given status.
struct WriteCase {
    const char* what;
    uint32_t status; // the row's status before the write
    uint32_t column;
    uint32_t value;
    uint32_t error; // the request's error status
};

class SignMediaTest : public MibFixture {
  protected:
    void SetUp() override {
        MibFixture::SetUp();
        LoadBuiltInFonts(TheDatabase()); // as a sign's first start in flash mode
    }

    static DbObject Width(uint32_t f, uint32_t k) {
        return obj::characterWidth.row(255 * (f - 1) + k - 1);
    }
    static DbObject Bitmap(uint32_t f, uint32_t k) {
        return obj::characterBitmap.row(255 * (f - 1) + k - 1);
    }
    static DbObject Block(uint32_t g, uint32_t b) {
        return obj::dmsGraphicBlockBitmap.row(63 * (g - 1) + b - 1);
    }
    // Characters of font f with a width or a bitmap.
    static int DrawnCharacters(uint32_t f) {
        int n = 0;
        for (uint32_t k = 1; k <= 255; ++k)
            n += db_get(Width(f, k)) != 0 || !Str(Bitmap(f, k)).empty();
        return n;
    }
    static int FilledBlocks(uint32_t g) {
        int n = 0;
        for (uint32_t b = 1; b <= 63; ++b)
            n += !Str(Block(g, b)).empty();
        return n;
    }
    static void PutGraphic(uint32_t g, uint32_t status) {
        ASSERT_EQ(DB_OK, db_set(obj::dmsGraphicStatus.row(g - 1), status, AS_THE_DISPLAY));
    }
    static void PutBlocks(uint32_t g) {
        for (uint32_t b = 1; b <= 63; ++b)
            ASSERT_EQ(DB_OK, db_set_string(Block(g, b), "\xAA\x55", 2, AS_THE_DISPLAY));
    }
    uint32_t GraphicCount() { return Get(dms({10, 2, 0})).number; }

    // Each case with the row put into its status: the SET's error status,
    // and the stored value (the old one after a refusal).
    template <size_t N>
    void ExpectWrites(const WriteCase (&cases)[N], const DbObject& status,
                      const std::function<Oid(uint32_t)>& name,
                      const std::function<DbObject(uint32_t)>& stored) {
        for (const WriteCase& c : cases) {
            SCOPED_TRACE(c.what);
            ASSERT_EQ(DB_OK, db_set(status, c.status, AS_THE_DISPLAY));
            const uint32_t before = db_get(stored(c.column));
            Answer a = SetNumber(name(c.column), SNMP_INTEGER, c.value);
            EXPECT_EQ(MIB_FOUND, a.error);
            EXPECT_EQ(c.error, a.error_status);
            EXPECT_EQ(c.error == NO_ERROR ? c.value : before, db_get(stored(c.column)));
        }
    }
};

// ---- fonts ----------------------------------------------------------------------------

TEST_F(SignMediaTest, FactoryFontsAreUnmanagedBuiltinsAndANewHeightClearsOnlyThatFont) {
    EXPECT_EQ(20u, Get(dms({3, 1, 0})).number);
    EXPECT_EQ(255u, Get(dms({3, 3, 0})).number);
    EXPECT_EQ(64u, Get(dms({3, 5, 0})).number);
    for (uint32_t f = 1; f <= 20; ++f) {
        EXPECT_EQ(UNMANAGED, Get(font(FONT_STATUS, f)).number) << f;
        EXPECT_NE(0u, Get(font(FONT_HEIGHT, f)).number) << f;
        EXPECT_GT(DrawnCharacters(f), 90) << f;
    }

    const uint32_t height = db_get(obj::fontHeight.row(1));
    TheMonitorTask().SetTraceLevel(1);
    test_support::ClearConsole();
    Answer same = SetNumber(font(FONT_HEIGHT, 2), SNMP_INTEGER, height);
    EXPECT_EQ(NO_ERROR, same.error_status);
    EXPECT_GT(DrawnCharacters(2), 90); // the same height keeps the glyphs
    EXPECT_EQ(std::string::npos, test_support::ConsoleText().find("Height changed"));

    Answer set = SetNumber(font(FONT_HEIGHT, 2), SNMP_INTEGER, height - 1);
    EXPECT_EQ(NO_ERROR, set.error_status);
    EXPECT_EQ(height - 1, set.number);
    EXPECT_EQ(0, DrawnCharacters(2));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Font 1 Height changed\n"));
    EXPECT_GT(DrawnCharacters(1), 90);
    EXPECT_GT(DrawnCharacters(3), 90);
    EXPECT_EQ(UNMANAGED, db_get(obj::fontStatus.row(1)));
}

// Every refusal is the store's, reported as the request's error status;
// the refused object keeps its value.
TEST_F(SignMediaTest, FontWritesAreRefusedByTheFontsStatus) {
    const WriteCase cases[] = {
        {"another font's number", UNMANAGED, FONT_NUMBER, 1, BAD_VALUE},
        {"an unused number", UNMANAGED, FONT_NUMBER, 77, NO_ERROR},
        {"a number while ready", READY, FONT_NUMBER, 78, GEN_ERR},
        {"a duplicate while modifying", MODIFYING, FONT_NUMBER, 1, NO_ERROR},
        {"a height taller than the sign", UNMANAGED, FONT_HEIGHT, 49, BAD_VALUE},
        {"a height while ready", READY, FONT_HEIGHT, 7, GEN_ERR},
        {"readyForUseReq on notUsed", NOT_USED, FONT_STATUS, READY_REQ, BAD_VALUE},
        {"modifyReq on notUsed", NOT_USED, FONT_STATUS, MODIFY_REQ, NO_ERROR},
        {"modifyReq on readyForUse", READY, FONT_STATUS, MODIFY_REQ, NO_ERROR},
        {"readyForUseReq on unmanaged", UNMANAGED, FONT_STATUS, READY_REQ, BAD_VALUE},
        {"a request on a request", MODIFY_REQ, FONT_STATUS, NOT_USED_REQ, BAD_VALUE},
    };
    const DbObject columns[] = {obj::fontNumber,      obj::fontName,        obj::fontHeight,
                                obj::fontCharSpacing, obj::fontLineSpacing, obj::fontVersionID,
                                obj::fontStatus};
    ExpectWrites(
        cases, obj::fontStatus.row(1), [](uint32_t c) { return font(c, 2); },
        [&](uint32_t c) { return columns[c - FONT_NUMBER].row(1); });

    // An in-use font takes no status at all.
    ASSERT_EQ(DB_OK, db_set(obj::fontStatus.row(4), IN_USE, AS_THE_DISPLAY));
    for (uint32_t value = 1; value <= 11; ++value)
        EXPECT_EQ(BAD_VALUE, SetNumber(font(FONT_STATUS, 5), SNMP_INTEGER, value).error_status)
            << value;
    EXPECT_EQ(IN_USE, db_get(obj::fontStatus.row(4)));

    // Characters: wider than the sign, or while the font is ready.
    ASSERT_EQ(DB_OK, db_set(obj::fontStatus.row(1), MODIFYING, AS_THE_DISPLAY));
    EXPECT_EQ(BAD_VALUE, SetNumber(character(CHARACTER_WIDTH, 2, 65), SNMP_INTEGER,
                                   db_get(obj::vmsSignWidthPixels) + 1)
                             .error_status);
    EXPECT_EQ(NO_ERROR, SetOctets(character(CHARACTER_BITMAP, 2, 65), "\x01\x02").error_status);
    ASSERT_EQ(DB_OK, db_set(obj::fontStatus.row(1), READY, AS_THE_DISPLAY));
    EXPECT_EQ(GEN_ERR, SetOctets(character(CHARACTER_BITMAP, 2, 65), "\x03").error_status);
    EXPECT_EQ(GEN_ERR, SetOctets(font(FONT_NAME, 2), "mine").error_status);
    EXPECT_EQ("\x01\x02", Str(Bitmap(2, 65)));

    // A font right the community lacks: as if the object were not there.
    EXPECT_EQ(MIB_NO_SUCH_NAME,
              SetNumber(font(FONT_NUMBER, 3), SNMP_INTEGER, 90, ~FONT_RIGHT).error);
}

TEST_F(SignMediaTest, VersionIdFollowsTheStoredBytesExceptAtHeightZero) {
    const uint32_t built = Get(font(FONT_VERSION, 3)).number;
    ASSERT_NE(0u, built);
    db_set(obj::fontVersionID.row(2), 0, AS_THE_DISPLAY); // a stale ID is recomputed
    EXPECT_EQ(built, Get(font(FONT_VERSION, 3)).number);
    EXPECT_EQ(built, Next(font(FONT_VERSION, 2)).number);

    ASSERT_EQ(NO_ERROR, SetNumber(character(CHARACTER_WIDTH, 3, 66), SNMP_INTEGER, 3).error_status);
    const uint32_t changed = Get(font(FONT_VERSION, 3)).number;
    EXPECT_NE(built, changed);
    EXPECT_EQ(changed, db_get(obj::fontVersionID.row(2)));

    ASSERT_EQ(NO_ERROR, SetNumber(font(FONT_HEIGHT, 3), SNMP_INTEGER, 0).error_status);
    db_set(obj::fontVersionID.row(2), 0x1234, AS_THE_DISPLAY);
    EXPECT_EQ(0x1234u, Get(font(FONT_VERSION, 3)).number);
}

// The CRC-16 of ISO 3309 (reflected 0x8408, initial 0xFFFF), complemented;
// the ID reads its two bytes in the order they go on a line.
uint16_t line_crc_id(const std::string& bytes) {
    uint16_t fcs = 0xFFFF;
    for (unsigned char b : bytes) {
        fcs ^= b;
        for (int i = 0; i < 8; i++)
            fcs = (fcs & 1) ? uint16_t((fcs >> 1) ^ 0x8408) : uint16_t(fcs >> 1);
    }
    fcs = uint16_t(~fcs);
    return uint16_t((fcs & 0xFF) << 8 | fcs >> 8);
}

// A font downloaded as a central system does: its fontVersionID is the CRC
// of its information in the octet encoding, listing only the characters it
// defines (a character reset to width 0 leaves the list).
TEST_F(SignMediaTest, VersionIdIsTheCrcOfTheFontInformationOfItsDefinedCharacters) {
    const std::string four = "\x11\x94\xA7\xC4\x20", a = "\x74\x63\xF8\xC6\x20";
    ASSERT_EQ(DB_OK, db_set(obj::fontStatus.row(1), MODIFYING, AS_THE_DISPLAY));
    for (auto [column, value] : {std::pair<uint32_t, uint32_t>{FONT_NUMBER, 2},
                                 {FONT_HEIGHT, 8}, // a new height clears the built-in glyphs
                                 {FONT_HEIGHT, 7},
                                 {5, 1},
                                 {6, 3}})
        ASSERT_EQ(NO_ERROR, SetNumber(font(column, 2), SNMP_INTEGER, value).error_status);
    for (auto [code, bitmap] : {std::pair<uint32_t, std::string>{52, four}, {65, a}, {66, a}}) {
        ASSERT_EQ(NO_ERROR,
                  SetNumber(character(CHARACTER_WIDTH, 2, code), SNMP_INTEGER, 5).error_status);
        ASSERT_EQ(NO_ERROR, SetOctets(character(CHARACTER_BITMAP, 2, code), bitmap).error_status);
    }
    ASSERT_EQ(NO_ERROR, SetNumber(character(CHARACTER_WIDTH, 2, 66), SNMP_INTEGER, 0).error_status);
    const std::string information = std::string("\x02\x07\x01\x03", 4) + // the font
                                    std::string("\x01\x02", 2) +         // two characters
                                    std::string("\x00\x34\x05\x05", 4) + four +
                                    std::string("\x00\x41\x05\x05", 4) + a;
    EXPECT_EQ(line_crc_id(information), Get(font(FONT_VERSION, 2)).number);
}

// A bitmap of 128 bytes or more (a 32 x 32 character) has its length in the
// long form of the octet encoding: 0x81, then the length.
TEST_F(SignMediaTest, VersionIdCountsALongBitmapInTheLongLengthForm) {
    const std::string bitmap(128, '\xA5');
    ASSERT_EQ(DB_OK, db_set(obj::fontStatus.row(1), MODIFYING, AS_THE_DISPLAY));
    for (auto [column, value] : {std::pair<uint32_t, uint32_t>{FONT_NUMBER, 2},
                                 {FONT_HEIGHT, 32}, // a new height clears the built-in glyphs
                                 {5, 1},
                                 {6, 3}})
        ASSERT_EQ(NO_ERROR, SetNumber(font(column, 2), SNMP_INTEGER, value).error_status);
    ASSERT_EQ(NO_ERROR,
              SetNumber(character(CHARACTER_WIDTH, 2, 65), SNMP_INTEGER, 32).error_status);
    ASSERT_EQ(NO_ERROR, SetOctets(character(CHARACTER_BITMAP, 2, 65), bitmap).error_status);
    const std::string information = std::string("\x02\x20\x01\x03", 4) + // the font
                                    std::string("\x01\x01", 2) +         // one character
                                    std::string("\x00\x41\x20\x81\x80", 5) + bitmap;
    EXPECT_EQ(line_crc_id(information), Get(font(FONT_VERSION, 2)).number);
}

TEST_F(SignMediaTest, NumFontsIsOneOnACharacterMatrixSign) {
    for (uint32_t type : {4u, 132u, 6u}) {
        db_set(obj::dmsSignType, type, AS_THE_DISPLAY);
        EXPECT_EQ(type == 6 ? 20u : 1u, Get(dms({3, 1, 0})).number) << type;
    }
}

TEST_F(SignMediaTest, CharacterInstancesStayInsideTheirFont) {
    struct Case {
        uint32_t f, k;
        bool found;
    };
    const Case cases[] = {{1, 1, true},    {20, 255, true}, {2, 1, true},   {1, 0, false},
                          {0, 1, false},   {1, 256, false}, {21, 1, false}, {20, 256, false},
                          {0, 255, false}, {21, 0, false}};
    const uint32_t untouched = db_get(Width(1, 255));
    for (const Case& c : cases) {
        Answer number = Get(character(1, c.f, c.k));
        EXPECT_EQ(c.found ? MIB_FOUND : MIB_NO_SUCH_NAME, number.error) << c.f << "." << c.k;
        if (c.found) {
            EXPECT_EQ(c.k, number.number);
        }
        EXPECT_EQ(c.found ? MIB_FOUND : MIB_NO_SUCH_NAME,
                  SetNumber(character(CHARACTER_WIDTH, c.f, c.k), SNMP_INTEGER, 4).error)
            << c.f << "." << c.k;
    }
    // Only the two instances named were written.
    EXPECT_EQ(4u, db_get(Width(2, 1)));
    EXPECT_EQ(4u, db_get(Width(20, 255)));
    EXPECT_EQ(untouched, db_get(Width(1, 255)));

    EXPECT_EQ(character(1, 2, 1), Next(character(1, 1, 255)).name);
    EXPECT_EQ(character(2, 1, 1), Next(character(1, 20, 255)).name);
    EXPECT_EQ(dms({3, 5, 0}), Next(character(3, 20, 255)).name);
    EXPECT_EQ(font(1, 1), Next(dms({3, 1, 0})).name);
}

// ---- illumination -----------------------------------------------------------------------

TEST_F(SignMediaTest, BrightnessTablesAreCheckedBeforeTheyAreStored) {
    const std::string good("\x02\x00\x0A\x00\x00\x00\x64\x00\xC8\x00\x5A\x01\x2C", 13);
    struct Case {
        const char* what;
        std::string table;
        uint32_t error_status;
        uint32_t reason; // dmsIllumBrightnessValuesError
    };
    // The second level's down (octets 9, 10) and up (11, 12).
    auto second = [&](uint16_t down, uint16_t up) {
        std::string t = good;
        t[9] = char(down >> 8);
        t[10] = char(down);
        t[11] = char(up >> 8);
        t[12] = char(up);
        return t;
    };
    const Case cases[] = {
        {"two levels", good, NO_ERROR, 2},
        {"a gap after the first level", second(102, 300), GEN_ERR, 3},
        {"no gap", second(101, 300), NO_ERROR, 2},
        {"12 octets for two levels", good.substr(0, 12), GEN_ERR, 6},
        {"no levels", std::string(1, '\0'), GEN_ERR, 6},
        {"nothing at all", std::string(), GEN_ERR, 6},
        {"down above up", second(90, 80), GEN_ERR, 6},
    };
    std::string stored = Str(obj::dmsIllumBrightnessValues);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Answer a = SetOctets(illum(7), c.table);
        EXPECT_EQ(MIB_FOUND, a.error);
        EXPECT_EQ(c.error_status, a.error_status);
        if (c.error_status == NO_ERROR) stored = c.table;
        EXPECT_EQ(stored, Str(obj::dmsIllumBrightnessValues));
        EXPECT_EQ(stored, Get(illum(7)).octets);
        EXPECT_EQ(c.reason, Get(illum(8)).number);
    }

    // A level above the sensor's maximum.
    db_set(obj::dmsIllumMaxPhotocellLevel, 299, AS_THE_DISPLAY);
    EXPECT_EQ(GEN_ERR, SetOctets(illum(7), good).error_status);
    EXPECT_EQ(6u, Get(illum(8)).number);
    EXPECT_EQ(stored, Str(obj::dmsIllumBrightnessValues));
    EXPECT_EQ(299u, Get(illum(2)).number);
}

TEST_F(SignMediaTest, ReadingsAreScaledWithTheFeatureBit) {
    db_set(obj::dmsIllumPhotocellLevelStatus, 1000, AS_THE_DISPLAY);
    db_set(obj::dmsIllumBrightLevelStatus, 15, AS_THE_DISPLAY);
    EXPECT_EQ(255u, db_get(obj::dmsIllumNumBrightLevels));
    const uint32_t features = db_get(obj::halvSpecialFeatureSet);

    db_set(obj::halvSpecialFeatureSet, features & ~0x20u, AS_THE_DISPLAY);
    EXPECT_EQ(1000u, Get(illum(3)).number);
    EXPECT_EQ(255u, Get(illum(4)).number);
    EXPECT_EQ(15u, Get(illum(5)).number);

    db_set(obj::halvSpecialFeatureSet, features | 0x20u, AS_THE_DISPLAY);
    EXPECT_EQ(7u, Get(illum(3)).number);
    EXPECT_EQ(127u, Get(illum(4)).number);
    EXPECT_EQ(7u, Get(illum(5)).number);
    EXPECT_EQ(dms({7, 3, 0}), Next(illum(2)).name);
    EXPECT_EQ(7u, Next(illum(2)).number);
    EXPECT_EQ(1000u, db_get(obj::dmsIllumPhotocellLevelStatus));
}

TEST_F(SignMediaTest, ControlModeAndManualLevelTakeOnlyTheirValues) {
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(illum(1), SNMP_INTEGER, 7).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(illum(1), SNMP_INTEGER, 0).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(illum(6), SNMP_INTEGER, 256).error);
    EXPECT_EQ(2u, db_get(obj::dmsIllumControl));
    EXPECT_EQ(MIB_NO_SUCH_NAME, SetNumber(illum(1), SNMP_INTEGER, 4, ~ILLUM_RIGHT).error);

    Answer manual = SetNumber(illum(1), SNMP_INTEGER, 4);
    EXPECT_EQ(NO_ERROR, manual.error_status);
    EXPECT_EQ(4u, manual.number);
    EXPECT_EQ(NO_ERROR, SetNumber(illum(6), SNMP_INTEGER, 40).error_status);
    EXPECT_EQ(40u, db_get(obj::dmsIllumManLevel));
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(illum(3), SNMP_INTEGER, 4).access);
}

// ---- graphics ----------------------------------------------------------------------------

TEST_F(SignMediaTest, GraphicWritesAreRefusedByTheGraphicsStatus) {
    db_set(obj::dmsGraphicNumber.row(0), 12, AS_THE_DISPLAY); // graphic 1 is number 12
    const WriteCase cases[] = {
        {"a number while notUsed", NOT_USED, G_NUMBER, 7, GEN_ERR},
        {"a type while notUsed", NOT_USED, G_TYPE, 2, GEN_ERR},
        {"a number while modifying", MODIFYING, G_NUMBER, 7, NO_ERROR},
        {"graphic 1's number", MODIFYING, G_NUMBER, 12, BAD_VALUE},
        {"a height taller than the sign", MODIFYING, G_HEIGHT, 49, BAD_VALUE},
        {"a width wider than the sign", MODIFYING, G_WIDTH, 113, BAD_VALUE},
        {"a size while ready", READY, G_WIDTH, 20, GEN_ERR},
        {"readyForUseReq from notUsed", NOT_USED, G_STATUS, READY_REQ, BAD_VALUE},
        {"modifyReq from notUsed", NOT_USED, G_STATUS, MODIFY_REQ, NO_ERROR},
        {"readyForUseReq from modifying", MODIFYING, G_STATUS, READY_REQ, NO_ERROR},
        {"readyForUseReq from readyForUse", READY, G_STATUS, READY_REQ, NO_ERROR},
        {"anything from inUse", IN_USE, G_STATUS, NOT_USED_REQ, BAD_VALUE},
        {"a request on a request", READY_REQ, G_STATUS, MODIFY_REQ, BAD_VALUE},
    };
    const DbObject columns[] = {obj::dmsGraphicNumber,
                                obj::dmsGraphicName,
                                obj::dmsGraphicHeight,
                                obj::dmsGraphicWidth,
                                obj::dmsGraphicType,
                                obj::dmsGraphicID,
                                obj::dmsGraphicTransparentEnabled,
                                obj::dmsGraphicTransparentColor,
                                obj::dmsGraphicStatus};
    ExpectWrites(
        cases, obj::dmsGraphicStatus.row(2), [](uint32_t c) { return graphic(c, 3); },
        [&](uint32_t c) { return columns[c - G_NUMBER].row(2); });
    PutGraphic(3, NOT_USED);
    EXPECT_EQ(GEN_ERR, SetOctets(graphic(G_NAME, 3), "arrow").error_status);
    EXPECT_EQ(GEN_ERR, SetOctets(block(BLOCK_BITMAP, 3, 1), "\x01").error_status);
    EXPECT_EQ(MIB_BAD_VALUE, SetNumber(graphic(G_STATUS, 3), SNMP_INTEGER, 10).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(graphic(G_COLOUR, 3), "").error);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(graphic(G_ID, 3), SNMP_INTEGER, 1).access);
}

TEST_F(SignMediaTest, ANewSizeErasesTheBlocksOfThatGraphicOnly) {
    for (uint32_t g : {2u, 3u, 4u}) {
        PutGraphic(g, MODIFYING);
        PutBlocks(g);
    }
    struct Size {
        uint32_t column, too_big;
    };
    for (const Size& size : {Size{G_HEIGHT, 49}, Size{G_WIDTH, 113}}) {
        const uint32_t column = size.column;
        SCOPED_TRACE(column);
        PutBlocks(3);
        const uint32_t stored = Get(graphic(column, 3)).number;
        EXPECT_EQ(NO_ERROR, SetNumber(graphic(column, 3), SNMP_INTEGER, stored).error_status);
        EXPECT_EQ(63, FilledBlocks(3)); // the same size keeps the bitmap
        EXPECT_EQ(BAD_VALUE,
                  SetNumber(graphic(column, 3), SNMP_INTEGER, size.too_big).error_status);
        EXPECT_EQ(63, FilledBlocks(3)); // a refused size too
        EXPECT_EQ(NO_ERROR, SetNumber(graphic(column, 3), SNMP_INTEGER, stored + 8).error_status);
        EXPECT_EQ(0, FilledBlocks(3));
        EXPECT_EQ(63, FilledBlocks(2));
        EXPECT_EQ(63, FilledBlocks(4));
    }
}

// The count is the number of usable graphics whatever the order of the
// requests: a delete request lowers it at once, a repeated request never
// inflates it.
TEST_F(SignMediaTest, StatusRequestsKeepTheCountAtTheUsableGraphics) {
    for (uint32_t g : {1u, 2u, 3u, 4u}) {
        PutGraphic(g, READY);
        PutBlocks(g);
    }
    PutGraphic(5, IN_USE);
    PutGraphic(6, PERMANENT);
    RecountReadyGraphics(TheDatabase(), false);
    ASSERT_EQ(6u, GraphicCount());

    TheMonitorTask().SetTraceLevel(1);
    test_support::ClearConsole();
    EXPECT_EQ(NO_ERROR, SetNumber(graphic(G_STATUS, 2), SNMP_INTEGER, NOT_USED_REQ).error_status);
    EXPECT_EQ(5u, GraphicCount());
    EXPECT_EQ(0, FilledBlocks(2));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Del - Num Graphics:5\n"));

    EXPECT_EQ(NO_ERROR, SetNumber(graphic(G_STATUS, 3), SNMP_INTEGER, MODIFY_REQ).error_status);
    EXPECT_EQ(4u, GraphicCount());
    EXPECT_EQ(63, FilledBlocks(3)); // a graphic to be changed keeps its bitmap

    // readyForUseReq on a ready graphic, carried out, twice over.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(NO_ERROR, SetNumber(graphic(G_STATUS, 1), SNMP_INTEGER, READY_REQ).error_status);
        EXPECT_EQ(3u, GraphicCount()); // graphic 1 is not usable while its ID is computed
        PutGraphic(1, READY);          // the display's pass ...
        RecountReadyGraphics(TheDatabase(), true); // ... and its count
        EXPECT_EQ(4u, GraphicCount());
    }

    // A refused request leaves the count as the statuses give it.
    EXPECT_EQ(BAD_VALUE, SetNumber(graphic(G_STATUS, 5), SNMP_INTEGER, MODIFY_REQ).error_status);
    EXPECT_EQ(4u, GraphicCount());

    // A start-up counts the same.
    TheDatabase().InitVolatile();
    EXPECT_EQ(4u, GraphicCount());
}

TEST_F(SignMediaTest, BlockInstancesStayInsideTheirGraphic) {
    struct Case {
        uint32_t g, b;
        bool found;
    };
    const Case cases[] = {{50, 63, true},  {1, 1, true},   {3, 1, true},
                          {50, 64, false}, {51, 1, false}, {1, 0, false},
                          {0, 1, false},   {2, 64, false}, {0, 63, false}};
    for (uint32_t g : {2u, 3u, 50u})
        PutGraphic(g, MODIFYING);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.g) + "." + std::to_string(c.b));
        const int expected = c.found ? MIB_FOUND : MIB_NO_SUCH_NAME;
        Answer index = Get(block(1, c.g, c.b));
        Answer number = Get(block(2, c.g, c.b));
        EXPECT_EQ(expected, index.error);
        EXPECT_EQ(expected, number.error);
        EXPECT_EQ(expected, Get(block(BLOCK_BITMAP, c.g, c.b)).error);
        if (c.found) {
            EXPECT_EQ(c.g, index.number);
            EXPECT_EQ(c.b, number.number);
        }
    }
    // Writing block 3.1 touches neither the end of graphic 2 nor graphic 3's next block.
    EXPECT_EQ(NO_ERROR, SetOctets(block(BLOCK_BITMAP, 3, 1), "\x0F\xF0").error_status);
    EXPECT_EQ("\x0F\xF0", Get(block(BLOCK_BITMAP, 3, 1)).octets);
    EXPECT_EQ("", Str(Block(2, 63)));
    EXPECT_EQ("", Str(Block(3, 2)));
    EXPECT_EQ(MIB_NO_SUCH_NAME, SetOctets(block(BLOCK_BITMAP, 2, 64), "\x01").error);
    EXPECT_EQ("\x0F\xF0", Str(Block(3, 1)));

    EXPECT_EQ(block(1, 2, 1), Next(block(1, 1, 63)).name);
    EXPECT_EQ(block(2, 1, 1), Next(block(1, 50, 63)).name);
    // The last block is the last object of the sign's subtree.
    Answer past = Next(block(BLOCK_BITMAP, 50, 63));
    ASSERT_EQ(MIB_FOUND, past.error);
    EXPECT_FALSE(std::equal(kDms.begin(), kDms.end(), past.name.begin()));
}

TEST_F(SignMediaTest, GraphicLimitsAndTheFreeMemoryOfTheStringPool) {
    EXPECT_EQ(50u, Get(dms({10, 1, 0})).number);
    EXPECT_EQ(64449u, Get(dms({10, 3, 0})).number);
    EXPECT_EQ(1023u, Get(dms({10, 5, 0})).number);

    uint32_t available = 0;
    ASSERT_EQ(OS_OK,
              os_byte_pool_info(&dynamic_database_pool(), nullptr, nullptr, &available, nullptr));
    Answer before = Get(dms({10, 4, 0}));
    EXPECT_EQ(MIB_COUNTER, before.type);
    EXPECT_EQ(available, before.number);

    PutGraphic(7, MODIFYING);
    EXPECT_EQ(NO_ERROR, SetOctets(block(BLOCK_BITMAP, 7, 1), std::string(1023, 'x')).error_status);
    EXPECT_LE(Get(dms({10, 4, 0})).number + 1023, before.number);
}

} // namespace
