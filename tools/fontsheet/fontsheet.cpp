// fontsheet: draws every glyph of the 20 built-in fonts into one PNG picture,
// so that a person can check them by eye.
//
//   fontsheet [OUTPUT.png [ROW]]     default fontsheet.png, all fonts
//
// Each font gets a band: its row, name and metrics written in the 5x7 font,
// a pangram in the font itself, then its glyphs in rows of 32 codes (code
// 32 * r + c in row r, column c; codes without a glyph leave their cell dark
// grey). Lit pixels are amber on black, every font pixel drawn as a 3 x 3 block.
#include "display/fonts/mirel_font.h"
#include "platform/picture/png.h"
#include "tools/tool_help.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int SCALE = 3;
const int GLYPHS_PER_ROW = 32;

struct Rgb {
    uint8_t r, g, b;
};
const Rgb BLACK{0, 0, 0}, AMBER{255, 176, 0}, CELL{28, 28, 28}, TEXT{200, 200, 200};

class SheetFont : public CMirelFontBase {
  public:
    explicit SheetFont(uint32_t row) : image_bytes(CMirelFont::BLOCK_BYTES) {
        uint32_t length = builtin_font_inflate(row, image_bytes.data(), CMirelFont::BLOCK_BYTES);
        if (length == 0 || !Bind(image_bytes.data(), length)) {
            std::fprintf(stderr, "fontsheet: built-in font %u does not load\n", row);
            std::exit(1);
        }
        name = builtin_font_table[row].name;
    }
    const char* GetName() override { return name; }

  private:
    std::vector<uint8_t> image_bytes;
    const char* name;
};

class Picture {
  public:
    Picture(int w, int h) : width(w), height(h), pixels(size_t(w) * h, BLACK) {}
    void block(int x, int y, int w, int h, Rgb colour) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                if (i >= 0 && j >= 0 && i < width && j < height)
                    pixels[size_t(j) * width + i] = colour;
    }
    // Draws one glyph with its top-left font pixel at (x, y); returns its width.
    int glyph(CFontBase& font, uint32_t code, int x, int y, Rgb lit, int scale) {
        int w = font.GetCharWidth(code);
        for (int row = 0; row < font.GetHeight(); ++row)
            for (int col = 0; col < w; ++col)
                if (font.GetPixel(code, col, row))
                    block(x + col * scale, y + row * scale, scale, scale, lit);
        return w;
    }
    void text(CFontBase& font, const std::string& s, int x, int y, Rgb lit, int scale) {
        for (unsigned char c : s)
            x += (glyph(font, c, x, y, lit, scale) + font.GetCharSpacing()) * scale;
    }
    bool write_png(const char* path) const;

    int width, height;
    std::vector<Rgb> pixels;
};

// The picture as 8-bit RGB bytes, written by the platform's PNG writer.
bool Picture::write_png(const char* path) const {
    std::vector<uint8_t> rgb;
    rgb.reserve(pixels.size() * 3);
    for (const Rgb& p : pixels)
        rgb.insert(rgb.end(), {p.r, p.g, p.b});
    return host::png_write_rgb(path, width, height, rgb);
}

struct Band {
    uint32_t row;
    int cell_w, cell_h, height;
};

Band measure(uint32_t row) {
    SheetFont font(row);
    int widest = 1;
    for (uint32_t c = 0; c < 256; ++c)
        widest = std::max<int>(widest, font.GetCharWidth(c));
    Band band{row, (widest + 2) * SCALE, (font.GetHeight() + 2) * SCALE, 0};
    band.height = 9 * 2 + (font.GetHeight() + 3) * SCALE + 8 * band.cell_h + 12;
    return band;
}

int draw(Picture& pic, const Band& band, int top) {
    SheetFont font(band.row), label(3);
    char title[160];
    std::snprintf(title, sizeof title, "%u %s  HEIGHT %d  CHAR SPACING %d  LINE SPACING %d",
                  band.row, font.GetName(), font.GetHeight(), font.GetCharSpacing(),
                  font.GetLineSpacing());
    pic.text(label, title, 4, top + 2, TEXT, 2);
    int y = top + 9 * 2;
    pic.text(font,
             band.row == 7 ? "ABC abc [ ] ^ \\ { } ` | !\"#$%&'()*+"
                           : "The quick brown fox jumps over 13 lazy dogs. \x80 \xc9t\xe9!",
             4, y, AMBER, SCALE);
    y += (font.GetHeight() + 3) * SCALE;
    for (uint32_t code = 0; code < 256; ++code) {
        int x = 4 + int(code % GLYPHS_PER_ROW) * band.cell_w;
        int cy = y + int(code / GLYPHS_PER_ROW) * band.cell_h;
        int w = font.GetCharWidth(code);
        if (w == 0) {
            pic.block(x, cy, band.cell_w - SCALE, band.cell_h - SCALE, CELL);
            continue;
        }
        pic.glyph(font, code, x, cy, AMBER, SCALE);
    }
    return top + band.height;
}

// A font row: decimal digits only, below the number of built-in fonts.
bool parse_row(const char* text, uint32_t& row) {
    if (!*text) return false;
    for (const char* c = text; *c; ++c)
        if (*c < '0' || *c > '9') return false;
    unsigned long value = std::strtoul(text, nullptr, 10); // saturates on overflow
    row = uint32_t(value);
    return value < BUILTIN_FONT_COUNT;
}

} // namespace

int main(int argc, char** argv) {
    const char* usage = "usage: fontsheet [OUTPUT.png [ROW]]\n";
    uint32_t only = 0;
    if (tools::help_asked(argc, argv)) return tools::usage_asked(usage);
    if (argc > 3) return tools::usage_refused(usage);
    if (argc == 3 && !parse_row(argv[2], only)) {
        std::fprintf(stderr, "fontsheet: ROW must be a font row from 0 to %u, not '%s'\n%s",
                     BUILTIN_FONT_COUNT - 1, argv[2], usage);
        return 2;
    }
    const char* path = argc > 1 ? argv[1] : "fontsheet.png";
    std::vector<Band> bands;
    for (uint32_t row = 0; row < BUILTIN_FONT_COUNT; ++row)
        if (argc <= 2 || only == row) bands.push_back(measure(row));
    int width = 0, height = 0;
    for (const Band& b : bands) {
        width = std::max(width, 8 + GLYPHS_PER_ROW * b.cell_w);
        height += b.height;
    }
    width = std::max(width, 1100);
    Picture pic(width, height);
    int top = 0;
    for (const Band& b : bands)
        top = draw(pic, b, top);
    if (!pic.write_png(path)) {
        std::fprintf(stderr, "fontsheet: cannot write %s\n", path);
        return 1;
    }
    std::printf("fontsheet: %zu fonts written to %s (%d x %d)\n", bands.size(), path, width,
                height);
    return 0;
}
