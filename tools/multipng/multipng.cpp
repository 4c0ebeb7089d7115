// multipng: draws a MULTI message as the sign would show it, one PNG picture
// a page, one picture pixel per sign pixel in its colour.
//
//   multipng [--size HEIGHTxWIDTH] [--sign-type N] MULTI OUT.png
//
// The object store starts at its factory defaults with the 20 built-in
// fonts; the options change the sign's size (pixels) and dmsSignType (a
// character or line matrix takes its character size from the default font). Page 1
// goes to OUT.png, page 2 to OUT-2.png, and so on. A text the sign refuses
// prints the dmsMultiSyntaxError value and its position and exits with 1;
// bad usage exits with 2.
#include "display/multi_parser.h"
#include "display/render.h"
#include "platform/board/board.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "platform/picture/png.h"
#include "runtime/gp_buffer.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/objects.h"
#include "tools/tool_help.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

const char USAGE[] = "usage: multipng [--size HEIGHTxWIDTH] [--sign-type N] MULTI OUT.png\n";
const uint32_t MAX_SIDE = 4096;

// The dmsMultiSyntaxError names of the refusals, by value.
const char* const SYNTAX_ERROR_NAMES[] = {
    "other",
    "none",
    "unsupportedTag",
    "unsupportedTagValue",
    "textTooBig",
    "fontNotDefined",
    "characterNotDefined",
    "fieldDeviceNotExist",
    "fieldDeviceError",
    "flashRegionError",
    "tagConflict",
    "tooManyPages",
    "fontVersionID",
    "graphicID",
    "graphicNotDefined",
};

const char* syntax_error_name(int error) {
    const int count = int(sizeof SYNTAX_ERROR_NAMES / sizeof SYNTAX_ERROR_NAMES[0]);
    if (error == MULTI_EMPTY_PAGE) return "emptyPage";
    return error >= 1 && error <= count ? SYNTAX_ERROR_NAMES[error - 1] : "unknown";
}

struct Options {
    uint32_t height = 0, width = 0; // 0: the factory size
    uint32_t sign_type = 0;         // 0: the factory type
    std::string text, out;
};

// A decimal number from 1 to `highest`, the whole text.
bool parse_number(const char* text, uint32_t highest, uint32_t& value) {
    if (!*text) return false;
    unsigned long v = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return false;
        v = v * 10 + unsigned(*c - '0');
        if (v > highest) return false;
    }
    value = uint32_t(v);
    return v >= 1;
}

bool parse_size(const std::string& text, uint32_t& height, uint32_t& width) {
    size_t x = text.find('x');
    if (x == std::string::npos) return false;
    return parse_number(text.substr(0, x).c_str(), MAX_SIDE, height) &&
           parse_number(text.substr(x + 1).c_str(), MAX_SIDE, width);
}

bool parse_options(int argc, char** argv, Options& options) {
    std::vector<std::string> plain;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--size" && has_value) {
            if (!parse_size(argv[++i], options.height, options.width)) return false;
        } else if (arg == "--sign-type" && has_value) {
            if (!parse_number(argv[++i], 255, options.sign_type)) return false;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return false;
        } else {
            plain.push_back(arg);
        }
    }
    if (plain.size() != 2 || plain[1].empty()) return false;
    options.text = plain[0];
    options.out = plain[1];
    return true;
}

// The picture of page n: OUT.png for page 1, OUT-n.png after.
std::string page_path(const std::string& out, uint32_t page) {
    if (page == 1) return out;
    std::string stem = out;
    const std::string suffix = ".png";
    if (stem.size() > suffix.size() &&
        stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0)
        stem.resize(stem.size() - suffix.size());
    return stem + "-" + std::to_string(page) + suffix;
}

// colour15 (red bits 0-4, green 5-9, blue 10-14) to 8-bit components.
uint8_t widen(uint32_t five_bits) {
    return uint8_t((five_bits << 3) | (five_bits >> 2));
}

std::vector<uint8_t> surface_rgb(const CSurface& surface) {
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(surface.GetWidth()) * surface.GetHeight() * 3);
    for (int y = 0; y < surface.GetHeight(); ++y) {
        for (int x = 0; x < surface.GetWidth(); ++x) {
            uint32_t c = surface.GetPixel(x, y) >> 16;
            rgb.insert(rgb.end(), {widen(c & 31), widen((c >> 5) & 31), widen((c >> 10) & 31)});
        }
    }
    return rgb;
}

void define_pools(void* first_unused) {
    uint8_t* cursor = static_cast<uint8_t*>(first_unused);
    create_shared_kernel_objects(&cursor);
    TheGPBuffer().Create(&cursor, GP_BUFFER_BYTES);
}

// The board's devices over a state directory of their own, removed at exit.
struct ScratchBoard {
    std::string dir;
    bool Start() {
        char pattern[] = "/tmp/multipng_XXXXXX";
        if (!mkdtemp(pattern)) return false;
        dir = pattern;
        host::host_options().state_dir = dir;
        std::string error;
        return host::board_start(host::host_options(), error);
    }
    ~ScratchBoard() {
        if (dir.empty()) return;
        host::board_stop();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

const uint32_t SIGN_CHARACTER = 4, SIGN_LINE = 5; // dmsSignType
const uint32_t FONT_CODES = 255;                  // characters 1..255 of a font row

// A character or line matrix sign takes its character size from the default
// font: its height, and for a character matrix the width of its 'A'.
void set_character_matrix(uint32_t flags) {
    const uint32_t type = db_get(obj::dmsSignType);
    if (type != SIGN_CHARACTER && type != SIGN_LINE) return;
    for (uint32_t row = 0; row < obj::fontNumber.rows; ++row) {
        if (db_get(obj::fontNumber.row(row)) != db_get(obj::defaultFont)) continue;
        db_set(obj::vmsCharacterHeightPixels, db_get(obj::fontHeight.row(row)), flags);
        if (type == SIGN_CHARACTER)
            db_set(obj::vmsCharacterWidthPixels,
                   db_get(obj::characterWidth.row(FONT_CODES * row + 'A' - 1)), flags);
        return;
    }
}

// The object store at factory defaults, with the sign's size and type.
void start_store(const Options& options) {
    host::KernelConfig config;
    config.clock = host::ClockMode::Virtual;
    host::kernel_configure(config);
    host::kernel_start_for_test(define_pools, 0);
    CDataBase& store = TheDatabase();
    store.SetDefaults(0);
    store.InitVolatile();
    const uint32_t flags = DB_NO_VALIDATE | DB_NO_JOURNAL;
    if (options.height) {
        db_set(obj::vmsSignHeightPixels, options.height, flags);
        db_set(obj::vmsSignWidthPixels, options.width, flags);
    }
    if (options.sign_type) db_set(obj::dmsSignType, options.sign_type, flags);
    set_character_matrix(flags);
}

} // namespace

int main(int argc, char** argv) {
    if (tools::help_asked(argc, argv)) return tools::usage_asked(USAGE);
    Options options;
    if (!parse_options(argc, argv, options)) return tools::usage_refused(USAGE);
    ScratchBoard board;
    if (!board.Start()) {
        std::fputs("multipng: cannot start the board\n", stderr);
        return 1;
    }
    start_store(options);
    static CRender render;
    render.CreateSurface(int(db_get(obj::vmsSignHeightPixels)),
                         int(db_get(obj::vmsSignWidthPixels)), 15);
    static CMessage message(&render.GetSurface());
    CMULTIParser parser;
    const char* text = options.text.data();
    uint32_t length = uint32_t(options.text.size());
    int result = render.ParseMessage(&parser, &message, text, length);
    if (result != MULTI_OK) {
        std::printf("multipng: MULTI error %d (%s) at %u\n", result, syntax_error_name(result),
                    message.error_position);
        return 1;
    }
    render.SetText(&parser, &message, text, length);
    uint32_t pages = length ? render.PageCount(&parser, text, length) : 1;
    for (uint32_t page = 1; page <= pages; ++page) {
        render.GetSurface().Clear();
        render.ParsePage(&parser, &message, page);
        std::string path = page_path(options.out, page);
        const CSurface& surface = render.GetSurface();
        if (!host::png_write_rgb(path, surface.GetWidth(), surface.GetHeight(),
                                 surface_rgb(surface))) {
            std::fprintf(stderr, "multipng: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
