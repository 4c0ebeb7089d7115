// The NTCIP font table: built-in fonts installed by the factory defaults, their
// version IDs, the special glyphs, and CNTCIPFont reading the table back.
#include "display/fonts/mirel_font.h"
#include "display/fonts/ntcip_font.h"
#include "runtime/gp_buffer.h"
#include "runtime/utilities.h"
#include "store/fonts.h"
#include "tests/store/store_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const uint32_t NV = DB_NO_VALIDATE | DB_NO_JOURNAL;

class FontTableTest : public store_test::StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        CreateGPBuffer();
    }
    CDataBase& store() { return TheDatabase(); }
    void ColdStart() {
        store().SetDefaults(0);
        store().InitVolatile();
    }
    std::string Bitmap(uint32_t row, uint32_t code) {
        uint32_t n = 0;
        const char* p = db_get_string(obj::characterBitmap.row(255 * row + code - 1), &n);
        return std::string(p, n);
    }
    // The version ID as the CRC-16 of the row's font information in the
    // octet encoding: number, height, spacings, the count of characters of
    // non-zero width (01 nn), then for each its number (2 bytes), width and
    // bitmap with its length byte (every bitmap here is shorter than 128).
    uint16_t StoredFormCrc(uint32_t row) {
        std::string form;
        for (const DbObject& o :
             {obj::fontNumber, obj::fontHeight, obj::fontCharSpacing, obj::fontLineSpacing})
            form += char(db_get(o.row(row)));
        std::string characters;
        uint32_t count = 0;
        for (uint32_t code = 1; code <= 255; ++code) {
            uint32_t width = db_get(obj::characterWidth.row(255 * row + code - 1));
            if (width == 0) continue;
            std::string bitmap = Bitmap(row, code);
            EXPECT_LT(bitmap.size(), 128u);
            characters += {char(0), char(code), char(width), char(bitmap.size())};
            characters += bitmap;
            ++count;
        }
        form += {char(1), char(count)};
        return crc16((form + characters).data(), form.size() + characters.size(), 0xFFFF,
                     CRC16_COMPLEMENT | CRC16_SWAP);
    }
};

} // namespace

TEST_F(FontTableTest, ColdStartInstallsEveryBuiltinFontWithItsVersionId) {
    test_support::ClearConsole();
    ColdStart();
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("#1 QK Series\n#1 LoadFont\n"));
    for (uint32_t row = 0; row < BUILTIN_FONT_COUNT; ++row) {
        SCOPED_TRACE(builtin_font_table[row].name);
        CMirelFont builtin;
        ASSERT_EQ(1, builtin.Load(builtin_font_table[row].name));
        EXPECT_EQ(row + 1, db_get(obj::fontNumber.row(row)));
        EXPECT_EQ(builtin.GetHeight(), db_get(obj::fontHeight.row(row)));
        EXPECT_EQ(builtin.GetCharSpacing(), db_get(obj::fontCharSpacing.row(row)));
        EXPECT_EQ(builtin.GetLineSpacing(), db_get(obj::fontLineSpacing.row(row)));
        uint32_t n = 0;
        const char* name = db_get_string(obj::fontName.row(row), &n);
        EXPECT_EQ(std::string(builtin_font_table[row].name), std::string(name, n));
        uint16_t id = uint16_t(db_get(obj::fontVersionID.row(row)));
        EXPECT_EQ(StoredFormCrc(row), id);
        EXPECT_NE(0xFFFF, id);
    }
    EXPECT_EQ(0u, TheGPBuffer().Outstanding()); // every font released its block
}

// CNTCIPFont over the table draws exactly what CMirelFont draws.
TEST_F(FontTableTest, NtcipFontDrawsTheBuiltinPixels) {
    ColdStart();
    for (uint32_t row = 0; row < BUILTIN_FONT_COUNT; ++row) {
        SCOPED_TRACE(builtin_font_table[row].name);
        CMirelFont builtin;
        ASSERT_EQ(1, builtin.Load(builtin_font_table[row].name));
        CNTCIPFont table(row);
        ASSERT_EQ(builtin.GetHeight(), table.GetHeight());
        EXPECT_EQ(builtin.GetCharSpacing(), table.GetCharSpacing());
        EXPECT_EQ(builtin.GetLineSpacing(), table.GetLineSpacing());
        EXPECT_EQ(nullptr, table.GetName());
        int mismatches = 0;
        for (uint32_t code = 1; code < 256; ++code) {
            ASSERT_EQ(builtin.GetCharWidth(code), table.GetCharWidth(code)) << code;
            for (uint32_t y = 0; y < builtin.GetHeight(); ++y)
                for (uint32_t x = 0; x < builtin.GetCharWidth(code); ++x)
                    mismatches += builtin.GetPixel(code, x, y) != table.GetPixel(code, x, y);
        }
        EXPECT_EQ(0, mismatches);
    }
}

// Row-major packing, most significant bit first: in a 5-wide character,
// pixel (2, 1) is bit 7 (the last of byte 0) and (3, 1) the first of byte 1.
TEST_F(FontTableTest, CharacterBitmapPacking) {
    ASSERT_EQ(1, LoadFontFile(store(), "FW07X5_1_NEMA4.FNT", 3));
    EXPECT_EQ(5u, db_get(obj::characterWidth.row(255 * 3 + 'A' - 1)));
    std::string a = Bitmap(3, 'A');
    ASSERT_EQ(5u, a.size()); // 35 bits
    CNTCIPFont font(3);
    EXPECT_EQ(uint8_t(a[0]) & 1, font.GetPixel('A', 2, 1));
    EXPECT_EQ(uint8_t(a[1]) >> 7, font.GetPixel('A', 3, 1));

    // A hand-written bitmap: bits beyond the stored bytes and the width read 0.
    const uint8_t bits[] = {0x80, 0x01};
    ASSERT_EQ(DB_OK, db_set(obj::characterWidth.row(255 * 3 + 'Z' - 1), 4, NV));
    ASSERT_EQ(DB_OK, db_set_string(obj::characterBitmap.row(255 * 3 + 'Z' - 1), bits, 2, NV));
    EXPECT_EQ(1, font.GetPixel('Z', 0, 0));
    EXPECT_EQ(1, font.GetPixel('Z', 3, 3)); // bit 15
    EXPECT_EQ(0, font.GetPixel('Z', 0, 4)); // bit 16: beyond the bytes
    EXPECT_EQ(0, font.GetPixel('Z', 4, 0)); // beyond the width
    EXPECT_EQ(0, font.GetCharWidth(0));
    EXPECT_EQ(0, font.GetCharWidth(256));
    EXPECT_EQ(0, font.GetPixel(0, 0, 0));
    EXPECT_EQ(0, CNTCIPFont(20).GetHeight());
}

TEST_F(FontTableTest, VersionIdIsStableAndKeptForEmptyRows) {
    ASSERT_EQ(1, LoadFontFile(store(), "11X07_2.FNT", 5));
    uint32_t id = db_get(obj::fontVersionID.row(5));
    ASSERT_EQ(1, LoadFontFile(store(), "11X07_2.FNT", 5));
    EXPECT_EQ(id, db_get(obj::fontVersionID.row(5)));
    // Another row holding another font has another ID.
    ASSERT_EQ(1, LoadFontFile(store(), "11X09_3.FNT", 6));
    EXPECT_NE(id, db_get(obj::fontVersionID.row(6)));

    ASSERT_EQ(DB_OK, db_set(obj::fontVersionID.row(7), 0x1234, NV));
    store().ComputeFontCRC(7); // height 0: nothing to identify
    EXPECT_EQ(0x1234u, db_get(obj::fontVersionID.row(7)));

    EXPECT_EQ(0, LoadFontFile(store(), "11X07_2.FNT", 20));
    EXPECT_EQ(0, LoadFontFile(store(), nullptr, 1));
    EXPECT_EQ(0u, db_get(obj::fontHeight.row(1)));
}

TEST_F(FontTableTest, SpecialGlyphsReplaceTenCharactersOfRowsZeroAndOne) {
    ASSERT_EQ(DB_OK, db_set(obj::halvSpecialFeatureSet, 0x20, NV));
    for (uint32_t row = 0; row < 3; ++row)
        ASSERT_EQ(1, LoadFontFile(store(), builtin_font_table[row].name, row));
    EXPECT_EQ(4u, db_get(obj::characterWidth.row(105 - 1)));
    EXPECT_EQ(std::string("\x4A\x40\x00\x00", 4), Bitmap(0, 105));
    EXPECT_EQ(std::string("\x01\x05\xF1\x10\x00", 5), Bitmap(0, 97));
    EXPECT_EQ(6u, db_get(obj::characterWidth.row(255 + 104 - 1)));
    EXPECT_EQ(std::string("\xF3\x8E\x2C\x18\x30\x40", 6), Bitmap(1, 104));
    // Row 2 keeps its own glyphs.
    CMirelFont builtin;
    ASSERT_EQ(1, builtin.Load(builtin_font_table[2].name));
    EXPECT_EQ(builtin.GetCharWidth(105), db_get(obj::characterWidth.row(2 * 255 + 105 - 1)));
    // The version ID covers the special glyphs as stored.
    EXPECT_EQ(StoredFormCrc(0), db_get(obj::fontVersionID.row(0)));
}

TEST_F(FontTableTest, CharacterMatrixSignGetsOneFont) {
    ASSERT_EQ(DB_OK, db_set(obj::dmsSignType, 4, NV));
    InstallDefaultFonts(store());
    EXPECT_EQ(1u, db_get(obj::numFonts));
    EXPECT_EQ(7u, db_get(obj::fontHeight.row(0)));
    EXPECT_EQ(5u, db_get(obj::characterWidth.row('H' - 1)));
    for (uint32_t row = 1; row < 20; ++row)
        EXPECT_EQ(0u, db_get(obj::fontHeight.row(row))) << row;
}

// Line spacing comes from the font except on character- and line-matrix signs.
TEST_F(FontTableTest, LineSpacingByCharacterAndLineMatrix) {
    ASSERT_EQ(1, LoadFontFile(store(), "14X08_2.FNT", 0));
    CNTCIPFont font(0);
    struct {
        uint32_t type;
        int spacing;
    } cases[] = {{1, 6}, {4, 0}, {5, 0}, {132, 0}, {133, 0}, {6, 6}, {134, 6}};
    for (auto& c : cases) {
        ASSERT_EQ(DB_OK, db_set(obj::dmsSignType, c.type, NV));
        EXPECT_EQ(c.spacing, font.GetLineSpacing()) << c.type;
    }
}
