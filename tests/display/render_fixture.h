// A small sign in a fresh object store, drawn by the renderer: test fonts
// whose glyphs are solid blocks of known widths, and the picture read back as
// rows of characters ('.' unlit, '#' the default foreground, other colours
// by a legend).
#pragma once

#include "display/multi_parser.h"
#include "display/render.h"
#include "tests/store/store_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace render_test {

const uint32_t FLAGS = DB_NO_VALIDATE | DB_NO_JOURNAL;
const uint32_t AMBER = 895; // classic colour 9, the default foreground

struct TestFont {
    uint32_t row, number;
    uint32_t height, char_spacing, line_spacing;
    uint32_t width;                     // of every printable code without its own
    std::map<uint8_t, uint32_t> widths; // code -> width
};

class RenderFixture : public store_test::StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        Sign(32, 16, 6);
        const std::pair<DbObject, uint32_t> settings[] = {
            {obj::halvModuleID, 60},
            {obj::dmsColorScheme, 1},
            {obj::defaultFont, 1},
            {obj::defaultJustificationLine, 2},
            {obj::defaultJustificationPage, 2},
            {obj::defaultFlashOn, 5},
            {obj::defaultFlashOff, 5},
            {obj::defaultPageOnTime, 30},
        };
        for (const auto& s : settings)
            ASSERT_EQ(DB_OK, db_set(s.first, s.second, FLAGS));
        ASSERT_EQ(DB_OK, db_set_string(obj::defaultForegroundRGB, "\x09", 1, FLAGS));
        ASSERT_EQ(DB_OK, db_set_string(obj::defaultBackgroundRGB, "\x00", 1, FLAGS));
        AddFont({0, 1, 5, 1, 0, 3, {{'I', 1}, {'W', 5}}});
    }

    // Sign size in pixels and dmsSignType; character cells for matrix signs.
    void Sign(uint32_t width, uint32_t height, uint32_t type, uint32_t char_width = 0,
              uint32_t char_height = 0) {
        const std::pair<DbObject, uint32_t> settings[] = {
            {obj::vmsSignWidthPixels, width},
            {obj::vmsSignHeightPixels, height},
            {obj::dmsSignType, type},
            {obj::vmsCharacterWidthPixels, char_width},
            {obj::vmsCharacterHeightPixels, char_height},
        };
        for (const auto& s : settings)
            ASSERT_EQ(DB_OK, db_set(s.first, s.second, FLAGS));
        render.CreateSurface(int(height), int(width), 15);
    }

    // A font row whose every glyph is a solid block.
    void AddFont(const TestFont& f) {
        const std::pair<DbObject, uint32_t> settings[] = {
            {obj::fontNumber.row(f.row), f.number},
            {obj::fontHeight.row(f.row), f.height},
            {obj::fontCharSpacing.row(f.row), f.char_spacing},
            {obj::fontLineSpacing.row(f.row), f.line_spacing},
            {obj::fontStatus.row(f.row), 4},
        };
        for (const auto& s : settings)
            ASSERT_EQ(DB_OK, db_set(s.first, s.second, FLAGS));
        for (uint32_t code = 32; code < 127; ++code) {
            auto it = f.widths.find(uint8_t(code));
            uint32_t width = it != f.widths.end() ? it->second : f.width;
            uint32_t at = 255 * f.row + code - 1;
            ASSERT_EQ(DB_OK, db_set(obj::characterWidth.row(at), width, FLAGS));
            // The space is blank, every other glyph a solid block.
            std::string bits((width * f.height + 7) / 8, code == ' ' ? '\0' : '\xFF');
            ASSERT_EQ(DB_OK, db_set_string(obj::characterBitmap.row(at), bits.data(),
                                           uint32_t(bits.size()), FLAGS));
        }
    }

    // A graphic row: its blocks of bitmap bytes, transparency and status.
    void AddGraphic(uint32_t row, uint32_t number, uint32_t type, uint32_t width, uint32_t height,
                    const std::vector<std::string>& blocks, const std::string& transparent = "",
                    uint32_t status = 4) {
        const std::pair<DbObject, uint32_t> settings[] = {
            {obj::dmsGraphicNumber.row(row), number},
            {obj::dmsGraphicType.row(row), type},
            {obj::dmsGraphicWidth.row(row), width},
            {obj::dmsGraphicHeight.row(row), height},
            {obj::dmsGraphicID.row(row), 0x1234},
            {obj::dmsGraphicTransparentEnabled.row(row), transparent.empty() ? 0u : 1u},
            {obj::dmsGraphicStatus.row(row), status},
        };
        for (const auto& s : settings)
            ASSERT_EQ(DB_OK, db_set(s.first, s.second, FLAGS));
        ASSERT_EQ(DB_OK, db_set_string(obj::dmsGraphicTransparentColor.row(row), transparent.data(),
                                       uint32_t(transparent.size()), FLAGS));
        for (size_t b = 0; b < blocks.size(); ++b) {
            ASSERT_EQ(DB_OK, db_set_string(obj::dmsGraphicBlockBitmap.row(row * 63 + uint32_t(b)),
                                           blocks[b].data(), uint32_t(blocks[b].size()), FLAGS));
        }
    }

    // Both passes of one page.
    bool Show(const std::string& text, uint32_t page = 1) {
        render.SetText(&parser, message.get(), text.data(), uint32_t(text.size()));
        return render.ParsePage(&parser, message.get(), page) == 1;
    }
    // The measuring pass of every page, as validation runs it.
    int Validate(const std::string& text) {
        return render.ParseMessage(&parser, message.get(), text.data(), uint32_t(text.size()));
    }
    uint32_t ErrorPosition() const { return message->error_position; }

    // The picture, one string a row.
    std::vector<std::string> Picture(const std::map<uint32_t, char>& legend = {}) const {
        const CSurface& s = render.GetSurface();
        std::vector<std::string> rows;
        for (int y = 0; y < s.GetHeight(); ++y) {
            std::string row;
            for (int x = 0; x < s.GetWidth(); ++x) {
                uint32_t c = s.GetPixel(x, y) >> 16;
                auto it = legend.find(c);
                row += it != legend.end() ? it->second : c == 0 ? '.' : c == AMBER ? '#' : '?';
            }
            rows.push_back(row);
        }
        return rows;
    }
    // Rows `first` to `first + count - 1` of the picture, their first `width` pixels.
    std::vector<std::string> Band(int first, int count, size_t width,
                                  const std::map<uint32_t, char>& legend = {}) const {
        std::vector<std::string> all = Picture(legend);
        std::vector<std::string> band(all.begin() + first, all.begin() + first + count);
        for (auto& row : band)
            row.resize(width);
        return band;
    }

    CRender render;
    CMULTIParser parser;
    std::unique_ptr<CMessage> message{new CMessage(&render.GetSurface())};
};

} // namespace render_test
