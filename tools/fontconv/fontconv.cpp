// fontconv: derives the readable glyph sources of the built-in fonts
// (display/fonts/glyphs/*.txt) from the public-domain "misc-fixed" bitmap
// fonts in BDF form (xfonts-base, converted with pcf2bdf), and draws the
// graphics font. The glyph files are the sources the firmware build uses;
// this tool is only run to regenerate them, and the files may be touched up
// by hand afterwards.
//
//   fontconv BDF_DIR OUT_DIR
//
// Each font follows a recipe: a base font, the rows of the base kept, scale
// factors, emboldening, fixed or proportional width, the character set and the
// range of glyph widths the font must have.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A glyph as a grid of rows (top first) of lit flags.
struct Grid {
    int width = 0;
    std::vector<std::vector<uint8_t>> rows;
    int height() const { return int(rows.size()); }
    bool lit(int x, int y) const { return x >= 0 && x < width && rows[y][x]; }
};

struct BdfGlyph {
    int dwidth = 0;
    std::set<std::pair<int, int>> pixels; // (x, y) with y up from the baseline
};

using BdfFont = std::map<int, BdfGlyph>;

BdfFont load_bdf(const std::string& path) {
    BdfFont font;
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "fontconv: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    std::string line;
    int encoding = -1, w = 0, h = 0, xo = 0, yo = 0, dwidth = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "ENCODING")
            words >> encoding;
        else if (key == "DWIDTH")
            words >> dwidth;
        else if (key == "BBX")
            words >> w >> h >> xo >> yo;
        else if (key == "BITMAP") {
            BdfGlyph glyph;
            glyph.dwidth = dwidth;
            int bits = (w + 7) / 8 * 8;
            for (int r = 0; r < h && std::getline(in, line); ++r) {
                unsigned long v = std::strtoul(line.c_str(), nullptr, 16);
                for (int c = 0; c < w; ++c)
                    if (v >> (bits - 1 - c) & 1) glyph.pixels.insert({xo + c, yo + h - 1 - r});
            }
            font[encoding] = glyph;
        }
    }
    return font;
}

// Windows-1252 to Unicode (0 for the five undefined codes).
int cp1252(int code) {
    static const int high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    return code >= 0x80 && code < 0xA0 ? high[code - 0x80] : code;
}

enum class Set { Cp222, All224, Less218, Tab220, Less217, Graph94 };

struct Recipe {
    const char* file;
    const char* base;
    int height, char_spacing, line_spacing;
    int bottom;     // lowest base row kept (y from the baseline)
    int sx, sy;     // scale factors
    int bold;       // extra columns of emboldening
    int fixed;      // fixed glyph width, 0 proportional
    int wmin, wmax; // the range of widths the font has
    Set set;
};

const Recipe RECIPES[] = {
    {"07X04_1_CP1252.FNT", "5x7", 7, 1, 1, -1, 1, 1, 0, 0, 1, 7, Set::Cp222},
    {"07X06_2_CP1252.FNT", "5x7", 7, 1, 1, -1, 1, 1, 1, 0, 1, 9, Set::Cp222},
    {"FW11X7_2_CP1252.FNT", "6x12", 11, 2, 2, -2, 1, 1, 1, 7, 7, 7, Set::Cp222},
    {"FW07X5_1_NEMA4.FNT", "5x7", 7, 1, 1, -1, 1, 1, 0, 5, 5, 5, Set::Cp222},
    {"08X04_1_CP1252.FNT", "5x8", 8, 1, 1, -1, 1, 1, 0, 0, 1, 6, Set::Cp222},
    {"08X06_2_CP1252.FNT", "5x8", 8, 1, 1, -1, 1, 1, 1, 0, 1, 9, Set::Cp222},
    {"FW14X8_2_CP1252.FNT", "7x14B", 14, 2, 2, -2, 1, 1, 0, 8, 8, 8, Set::Cp222},
    {"07GRAPH.FNT", "5x7", 7, 0, 0, -1, 1, 1, 0, 0, 1, 32, Set::Graph94},
    {"11X07_2.FNT", "6x12", 11, 2, 2, -2, 1, 1, 1, 0, 2, 10, Set::All224},
    {"11X09_3.FNT", "6x12", 11, 2, 2, -2, 1, 1, 2, 0, 3, 11, Set::All224},
    {"14X08_2.FNT", "7x14B", 14, 4, 6, -2, 1, 1, 0, 0, 2, 12, Set::All224},
    {"14X10_3.FNT", "7x14B", 14, 3, 3, -2, 1, 1, 1, 0, 3, 15, Set::All224},
    {"16X08_2.FNT", "9x18B", 16, 3, 3, -3, 1, 1, 0, 0, 2, 12, Set::All224},
    {"16X10_3.FNT", "9x18B", 16, 3, 3, -3, 1, 1, 1, 0, 3, 14, Set::All224},
    {"09X06_2_CP1252.FNT", "6x9", 9, 1, 1, -2, 1, 1, 1, 0, 2, 12, Set::Less218},
    {"09X05_1_CP1252.FNT", "6x9", 9, 1, 1, -2, 1, 1, 0, 0, 1, 11, Set::Tab220},
    {"09X08_3_CP1252.FNT", "6x9", 9, 1, 1, -2, 2, 1, 0, 0, 2, 14, Set::Less217},
    {"07X08_3_CP1252.FNT", "5x7", 7, 1, 1, -1, 2, 1, 0, 0, 2, 14, Set::Less217},
    {"08X08_3_CP1252.FNT", "5x8", 8, 1, 1, -1, 2, 1, 0, 0, 2, 13, Set::Less217},
    {"24x15_3_CP1252.FNT", "6x12", 24, 2, 2, -2, 2, 2, 1, 0, 1, 21, Set::Cp222},
};

bool in_set(Set set, int code) {
    static const std::set<int> undefined = {129, 141, 143, 144, 157};
    switch (set) {
    case Set::Cp222:
        return code >= 32 && code != 160 && code != 173;
    case Set::All224:
        return code >= 32;
    case Set::Less218:
        return code >= 32 && code != 127 && !undefined.count(code);
    case Set::Tab220:
        return (code == 9 || code >= 32) && !undefined.count(code);
    case Set::Less217:
        return code >= 32 && code != 127 && code != 173 && !undefined.count(code);
    case Set::Graph94:
        return code >= 32 && code <= 125;
    }
    return false;
}

// The base glyph of a code: its pixels, or none (a blank glyph of `blank`
// columns). Undefined Windows-1252 codes get a hollow box.
BdfGlyph base_glyph(const BdfFont& font, int code) {
    int unicode = code == 9 ? 32 : code == 127 ? 0x2302 : cp1252(code);
    auto found = font.find(unicode);
    if (unicode != 0 && found != font.end()) return found->second;
    // A hollow box as tall as a capital and as wide as an 'n'.
    const BdfGlyph& cap = font.at('H');
    int top = 0, right = 0;
    for (auto& p : cap.pixels)
        top = std::max(top, p.second), right = std::max(right, p.first);
    BdfGlyph box;
    box.dwidth = cap.dwidth;
    for (int y = 0; y <= top; ++y)
        for (int x = 0; x <= right; ++x)
            if (y == 0 || y == top || x == 0 || x == right) box.pixels.insert({x, y});
    return box;
}

// Moves pixels above `top` or below `bottom` into the window by taking out
// blank rows inside the glyph (between an accent and its letter), then
// repeated rows, then the outermost rows.
void squeeze_rows(std::set<std::pair<int, int>>& pixels, int bottom, int top) {
    auto row_of = [&](int y) {
        std::set<int> xs;
        for (auto& p : pixels)
            if (p.second == y) xs.insert(p.first);
        return xs;
    };
    auto remove_row = [&](int y, bool from_above) {
        std::set<std::pair<int, int>> out;
        for (auto& p : pixels) {
            if (p.second == y) continue;
            bool moves = from_above ? p.second > y : p.second < y;
            out.insert({p.first, moves ? p.second + (from_above ? -1 : 1) : p.second});
        }
        pixels = out;
    };
    for (int guard = 0; guard < 8; ++guard) {
        int hi = -100, lo = 100;
        for (auto& p : pixels)
            hi = std::max(hi, p.second), lo = std::min(lo, p.second);
        if (pixels.empty() || (hi <= top && lo >= bottom)) return;
        bool above = hi > top;
        int from = above ? hi : lo, step = above ? -1 : 1;
        int chosen = from;
        for (int y = from; y != (above ? 0 : 0) && (above ? y > 0 : y < 0); y += step)
            if (row_of(y).empty()) {
                chosen = y;
                goto found;
            }
        for (int y = from; above ? y > 0 : y < 0; y += step)
            if (row_of(y) == row_of(y + step)) {
                chosen = y;
                goto found;
            }
    found:
        remove_row(chosen, above);
    }
}

// Emboldening: every lit pixel spreads `bold` columns to the right, except
// into a one-column gap before another stroke, so counters stay open.
void embolden(Grid& g, int bold) {
    Grid original = g;
    for (int y = 0; y < g.height(); ++y)
        for (int x = 0; x < g.width; ++x) {
            if (!original.rows[y][x]) continue;
            for (int k = 1; k <= bold && x + k < g.width; ++k) {
                if (original.lit(x + k + 1, y) && !original.lit(x + k, y)) break;
                g.rows[y][x + k] = 1;
            }
        }
}

Grid to_grid(const BdfGlyph& glyph, const Recipe& r, int blank_width) {
    int rows = r.height / r.sy;
    auto pixels = glyph.pixels;
    squeeze_rows(pixels, r.bottom, r.bottom + rows - 1);
    int left = 1000, right = -1;
    for (auto& p : pixels)
        left = std::min(left, p.first), right = std::max(right, p.first);
    Grid g;
    if (right < 0) {
        g.width = blank_width;
        g.rows.assign(r.height, std::vector<uint8_t>(g.width, 0));
        return g;
    }
    int w = right - left + 1;
    g.width = w * r.sx + r.bold;
    g.rows.assign(r.height, std::vector<uint8_t>(g.width, 0));
    for (auto& p : pixels) {
        int row = (r.bottom + rows - 1 - p.second) * r.sy;
        for (int dy = 0; dy < r.sy; ++dy)
            for (int dx = 0; dx < r.sx; ++dx)
                g.rows[row + dy][(p.first - left) * r.sx + dx] = 1;
    }
    embolden(g, r.bold);
    return g;
}

// Narrows a glyph by taking out repeated columns, then outer blank ones.
void narrow(Grid& g, int width) {
    while (g.width > width) {
        int chosen = g.width - 1;
        for (int x = 1; x < g.width; ++x) {
            bool same = true;
            for (auto& row : g.rows)
                same = same && row[x] == row[x - 1];
            if (same) {
                chosen = x;
                break;
            }
        }
        for (auto& row : g.rows)
            row.erase(row.begin() + chosen);
        --g.width;
    }
}

// Widens to `width` columns, the glyph centred (extra column on the right).
void widen(Grid& g, int width) {
    int left = (width - g.width) / 2, right = width - g.width - left;
    for (auto& row : g.rows) {
        row.insert(row.begin(), left, 0);
        row.insert(row.end(), right, 0);
    }
    g.width = width;
}

// A dash of `width` columns on the row of the font's hyphen.
Grid dash(const std::map<int, Grid>& glyphs, int height, int width) {
    Grid g;
    g.width = width;
    g.rows.assign(height, std::vector<uint8_t>(width, 0));
    const Grid& hyphen = glyphs.at('-');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < hyphen.width; ++x)
            if (hyphen.rows[y][x]) g.rows[y].assign(width, 1);
    return g;
}

Grid from_text(std::initializer_list<const char*> rows) {
    Grid g;
    for (const char* text : rows) {
        std::string s(text);
        g.width = int(s.size());
        std::vector<uint8_t> row;
        for (char c : s)
            row.push_back(c == '#');
        g.rows.push_back(row);
    }
    return g;
}

// The graphics font: bars of every width, arrows and chevrons, and letters.
void graphics(std::map<int, Grid>& glyphs) {
    for (int w = 1; w <= 32; ++w) {
        Grid bar;
        bar.width = w;
        bar.rows.assign(7, std::vector<uint8_t>(w, 1));
        glyphs[32 + w] = bar;
    }
    glyphs[32] = from_text({".", ".", ".", ".", ".", ".", "."});
    glyphs['['] =
        from_text({"...#...", "..##...", ".######", "#######", ".######", "..##...", "...#..."});
    glyphs[']'] =
        from_text({"...#...", "...##..", "######.", "#######", "######.", "...##..", "...#..."});
    glyphs['^'] =
        from_text({"...#...", "..###..", ".#####.", "#######", "..###..", "..###..", "..###.."});
    glyphs['\\'] =
        from_text({"..###..", "..###..", "..###..", "#######", ".#####.", "..###..", "...#..."});
    glyphs['{'] = from_text({"...##", "..##.", ".##..", "##...", ".##..", "..##.", "...##"});
    glyphs['}'] = from_text({"##...", ".##..", "..##.", "...##", "..##.", ".##..", "##..."});
    glyphs['_'] = from_text({"...", "...", "...", "...", "...", "...", "###"});
    glyphs['`'] =
        from_text({"...#...", "..###..", ".#####.", "#######", ".#####.", "..###..", "...#..."});
    glyphs['|'] = from_text({"#", "#", "#", "#", "#", "#", "#"});
    // Letters keep a blank column on their right: the font has no spacing.
    for (auto& [code, g] : glyphs) {
        if (!std::isalpha(code)) continue;
        for (auto& row : g.rows)
            row.push_back(0);
        ++g.width;
    }
}

// Where the base font draws the letter O exactly like the digit zero, the O
// (and its accented forms) get one more column in the middle: rounder, wider.
void widen_o(std::map<int, Grid>& glyphs) {
    if (!glyphs.count('0') || !glyphs.count('O') || glyphs['0'].rows != glyphs['O'].rows) return;
    for (int code : {int('O'), 210, 211, 212, 213, 214}) {
        if (!glyphs.count(code)) continue;
        Grid& g = glyphs[code];
        int mid = g.width / 2;
        for (auto& row : g.rows)
            row.insert(row.begin() + mid, row[mid]);
        ++g.width;
    }
}

void write_font(const Recipe& r, const std::map<int, Grid>& glyphs, const std::string& out_dir) {
    std::string path = out_dir + "/" + r.file + ".txt";
    std::ofstream out(path);
    out << "; Built-in font " << r.file << ".\n"
        << "; Glyphs: '#' lit, '.' unlit, one line per row, top row first.\n";
    if (r.set == Set::Graph94)
        out << "; Graphics: codes 33..64 are solid bars 1..32 columns wide; arrows,\n"
               "; chevrons and a diamond at [ ] ^ \\ { } `; letters and digits from the\n"
               "; public-domain misc-fixed "
            << r.base << " font.\n";
    else
        out << "; Derived from the public-domain misc-fixed " << r.base << " bitmap font.\n";
    out << "font " << r.file << "\nheight " << r.height << "\nchar-spacing " << r.char_spacing
        << "\nline-spacing " << r.line_spacing << "\n";
    for (auto& [code, g] : glyphs) {
        out << "\nglyph " << code;
        if (code > 32 && code < 127) out << " " << char(code);
        out << "\n";
        for (auto& row : g.rows) {
            for (uint8_t px : row)
                out << (px ? '#' : '.');
            out << "\n";
        }
    }
    std::printf("%-22s %3zu glyphs\n", r.file, glyphs.size());
}

// A base glyph drawn here: rows of '#' and '.', the first at height `top`
// above the baseline.
BdfGlyph drawn(int dwidth, int top, std::initializer_list<const char*> rows) {
    BdfGlyph g;
    g.dwidth = dwidth;
    int y = top;
    for (const char* row : rows) {
        for (int x = 0; row[x]; ++x)
            if (row[x] == '#') g.pixels.insert({x, y});
        --y;
    }
    return g;
}

// The small misc-fixed fonts draw M and W (and in 5x7 also m and w) only four
// columns wide, which reads poorly on a sign; these are five wide.
void redraw_small_letters(const std::string& base, BdfFont& font) {
    if (base != "5x7" && base != "5x8") return;
    font['M'] = drawn(5, 5, {"#...#", "##.##", "#.#.#", "#...#", "#...#", "#...#"});
    font['W'] = drawn(5, 5, {"#...#", "#...#", "#...#", "#.#.#", "##.##", "#...#"});
    font['m'] = drawn(5, 3, {"##.#.", "#.#.#", "#.#.#", "#.#.#"});
    font['w'] = drawn(5, 3, {"#...#", "#.#.#", "#.#.#", ".#.#."});
}

// Emboldened by one column, those letters lose their inner strokes; in the
// small bold fonts they are drawn seven columns wide instead.
void redraw_small_bold_letters(const Recipe& r, std::map<int, Grid>& glyphs) {
    if ((std::string(r.base) != "5x7" && std::string(r.base) != "5x8") || r.bold != 1 || r.sx != 1)
        return;
    const std::pair<int, BdfGlyph> letters[] = {
        {'M', drawn(7, 5, {"##...##", "###.###", "##.#.##", "##...##", "##...##", "##...##"})},
        {'W', drawn(7, 5, {"##...##", "##...##", "##...##", "##.#.##", "###.###", "##...##"})},
        {'m', drawn(7, 3, {"######.", "##.#.##", "##.#.##", "##.#.##"})},
        {'w', drawn(7, 3, {"##...##", "##.#.##", "##.#.##", ".##.##."})},
    };
    Recipe plain = r;
    plain.bold = 0;
    for (auto& [code, glyph] : letters)
        glyphs[code] = to_grid(glyph, plain, 0);
}

void convert(const Recipe& r, const std::string& bdf_dir, const std::string& out_dir) {
    BdfFont font = load_bdf(bdf_dir + "/" + r.base + ".bdf");
    redraw_small_letters(r.base, font);
    int space = std::max(r.wmin, (font.at(' ').dwidth - 2) * r.sx + r.bold);
    std::map<int, Grid> glyphs;
    for (int code = 0; code < 256; ++code) {
        if (!in_set(r.set, code)) continue;
        int blank = code == 9 ? 2 * space : space;
        glyphs[code] = to_grid(base_glyph(font, code), r, blank);
    }
    redraw_small_bold_letters(r, glyphs);
    if (r.set == Set::Graph94) graphics(glyphs);
    widen_o(glyphs);
    for (auto& [code, g] : glyphs) {
        int lo = r.fixed ? r.fixed : r.wmin, hi = r.fixed ? r.fixed : r.wmax;
        if (g.width > hi) narrow(g, hi);
        if (g.width < lo) widen(g, lo);
    }
    int widest = 0, narrowest = 1000;
    for (auto& [code, g] : glyphs)
        widest = std::max(widest, g.width), narrowest = std::min(narrowest, g.width);
    // The em dash spans the widest glyph; the space the narrowest.
    if (widest < r.wmax && glyphs.count(151)) glyphs[151] = dash(glyphs, r.height, r.wmax);
    if (narrowest > r.wmin) widen(glyphs[32] = to_grid({}, r, r.wmin), r.wmin);
    write_font(r, glyphs, out_dir);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fontconv BDF_DIR OUT_DIR\n");
        return 2;
    }
    for (const Recipe& r : RECIPES)
        convert(r, argv[1], argv[2]);
    return 0;
}
