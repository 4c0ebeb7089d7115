// The display modules (see display_modules.h).
//
// The modules read a frame in the layout of the EPLD's format code: the sign
// is cut into bands of rows; pixel layouts take one pixel at a time, row of
// band first (for each row k of a band, each column, each band) or column
// first (for each column, each step of rows in the band, each band); raw
// layouts take one byte per LED, band by band. The reading turns the bytes
// of a pixel into LED drive levels.
#include "platform/field/display_modules.h"

#include "platform/field/display_failures.h"
#include "platform/field/field_file.h"

#include <algorithm>
#include <cstdio>

namespace field {

namespace {

enum class Order : uint8_t { RowInBandFirst, ColumnFirst, Raw, RawEvenBandsFirst };
enum class Bands : uint8_t { Ceiling, RaisedIfOddTo7, RaisedIfOddTo15 };
enum class Reading : uint8_t {
    Red5Odd,        // (red5 << 1) | 1
    ByLedColours,   // mono: as Red5Odd; two colours: red4 << 4 | green4 (on/off: bits 1, 0)
    Red5OddThenPad, // (red5 << 1) | 1, then a byte of padding
    OnOff,          // non-zero lights every colour
    Rgb555,         // red5 << 10 | green5 << 5 | blue5, low byte first
    Level,          // the byte is every colour's level
};
enum class Modules : uint8_t { Any, SevenOrEight, Other };

struct Layout {
    uint8_t code; // 0: every code without a row of its own
    Modules modules;
    Order order;
    uint8_t band_rows; // 0: one band of the whole height
    uint8_t rows_per_step;
    Bands bands;
    Reading reading;
};

const Layout LAYOUTS[] = {
    {1, Modules::Any, Order::RowInBandFirst, 8, 1, Bands::Ceiling, Reading::Red5Odd},
    {2, Modules::Any, Order::RowInBandFirst, 4, 1, Bands::Ceiling, Reading::ByLedColours},
    {3, Modules::Any, Order::RowInBandFirst, 16, 1, Bands::RaisedIfOddTo7, Reading::ByLedColours},
    {4, Modules::Any, Order::Raw, 24, 1, Bands::RaisedIfOddTo7, Reading::Level},
    {5, Modules::Any, Order::RawEvenBandsFirst, 7, 1, Bands::RaisedIfOddTo15, Reading::Level},
    {11, Modules::SevenOrEight, Order::ColumnFirst, 8, 1, Bands::Ceiling, Reading::Red5OddThenPad},
    {11, Modules::Other, Order::ColumnFirst, 16, 2, Bands::Ceiling, Reading::OnOff},
    {12, Modules::Any, Order::ColumnFirst, 16, 2, Bands::Ceiling, Reading::OnOff},
};
const Layout RGB_ROWS = {0, Modules::Any,   Order::RowInBandFirst, 0,
                         1, Bands::Ceiling, Reading::Rgb555};

const uint8_t MODE_ON_OFF = 0x10;

const Layout& layout_of(uint8_t code, int module_height) {
    bool short_modules = module_height == 7 || module_height == 8;
    for (const Layout& l : LAYOUTS) {
        bool fits =
            l.modules == Modules::Any || (l.modules == Modules::SevenOrEight) == short_modules;
        if (l.code == code && fits) return l;
    }
    return RGB_ROWS;
}

int bands_of(Bands rule, int height, int rows) {
    int floor = height / rows;
    if (rule == Bands::Ceiling) return (height + rows - 1) / rows;
    int last_raised = rule == Bands::RaisedIfOddTo7 ? 7 : 15;
    return floor + ((floor & 1) && floor <= last_raised ? 1 : 0);
}

// A level of n bits scaled to 0..255.
uint8_t level5(uint32_t v) {
    return uint8_t(v * 255 / 31);
}

uint8_t level4(uint32_t v) {
    return uint8_t(v * 255 / 15);
}

// The frame's bytes in order; past its end every byte reads 0.
class FrameReader {
  public:
    FrameReader(const uint8_t* bytes, uint32_t size) : bytes_(bytes), size_(size) {}
    uint8_t Next() { return at_ < size_ ? bytes_[at_++] : (at_++, 0); }
    bool Done() const { return at_ >= size_; }

  private:
    const uint8_t* bytes_;
    uint32_t size_;
    uint32_t at_ = 0;
};

// Writes LEDs of the picture, each colour the modules have.
class LedWriter {
  public:
    LedWriter(host::SignPicture& picture, int width, int height, LedColours colours)
        : picture_(picture), width_(width), height_(height), colours_(colours) {}
    void Set(int x, int y, uint8_t red, uint8_t green, uint8_t blue) {
        if (x >= width_ || y >= height_) return;
        uint8_t* led = &picture_.levels[3 * (size_t(y) * picture_.width + x)];
        led[0] = red;
        led[1] = colours_ == LedColours::Mono ? 0 : green;
        led[2] = colours_ == LedColours::Full ? blue : 0;
    }
    LedColours Colours() const { return colours_; }

  private:
    host::SignPicture& picture_;
    int width_, height_;
    LedColours colours_;
};

void read_pixel(Reading reading, uint8_t mode, FrameReader& in, LedWriter& out, int x, int y) {
    uint8_t b = in.Next();
    switch (reading) {
    case Reading::Red5Odd:
        out.Set(x, y, level5(b >> 1), 0, 0);
        return;
    case Reading::Red5OddThenPad:
        in.Next();
        out.Set(x, y, level5(b >> 1), 0, 0);
        return;
    case Reading::ByLedColours:
        if (out.Colours() == LedColours::Mono)
            out.Set(x, y, (mode & MODE_ON_OFF) ? (b ? 255 : 0) : level5(b >> 1), 0, 0);
        else if (mode & MODE_ON_OFF)
            out.Set(x, y, (b & 2) ? 255 : 0, (b & 1) ? 255 : 0, 0);
        else
            out.Set(x, y, level4(b >> 4), level4(b & 15), 0);
        return;
    case Reading::OnOff: {
        uint8_t on = b ? 255 : 0;
        out.Set(x, y, on, on, on);
        return;
    }
    case Reading::Rgb555: {
        uint32_t v = b | uint32_t(in.Next()) << 8;
        out.Set(x, y, level5((v >> 10) & 31), level5((v >> 5) & 31), level5(v & 31));
        return;
    }
    case Reading::Level:
        out.Set(x, y, b, b, b);
        return;
    }
}

void read_pixels(const Layout& l, uint8_t mode, int width, int rows, int bands, FrameReader& in,
                 LedWriter& out) {
    if (l.order == Order::ColumnFirst) {
        const int step = l.rows_per_step;
        for (int x = 0; x < width; ++x)
            for (int a = 0; a < rows / step; ++a)
                for (int j = 0; j < bands; ++j)
                    for (int t = 0; t < step; ++t)
                        read_pixel(l.reading, mode, in, out, x, step * a + t + rows * j);
        return;
    }
    for (int k = 0; k < rows; ++k)
        for (int x = 0; x < width; ++x)
            for (int j = 0; j < bands; ++j)
                read_pixel(l.reading, mode, in, out, x, rows * j + k);
}

// Raw layouts: byte i of band j is LED i + j x band bytes in rows of `width`.
void read_raw(const Layout& l, int width, int rows, int bands, FrameReader& in, LedWriter& out) {
    const uint32_t band_bytes = uint32_t(rows) * uint32_t(width);
    auto led = [&](uint32_t index) {
        uint8_t b = in.Next();
        out.Set(int(index % uint32_t(width)), int(index / uint32_t(width)), b, b, b);
    };
    const int step = l.order == Order::RawEvenBandsFirst ? 2 : 1;
    for (uint32_t i = 0; i < band_bytes && !in.Done(); ++i) {
        for (int j = 0; j < bands; j += step)
            led(i + uint32_t(j) * band_bytes);
        if (step == 2)
            for (int j = 1; j < bands; j += 2)
                led(i + uint32_t(j) * band_bytes);
    }
}

int round_up(int value, int unit) {
    return unit > 0 ? (value + unit - 1) / unit * unit : value;
}

// ---- field file lines ----

bool parse_module(const std::string& size, const std::string& colours, DisplaySettings& s,
                  std::string& reason) {
    size_t x = size.find('x');
    long h = 0, w = 0;
    if (x == std::string::npos || !parse_field_number(size.substr(0, x), 1, 64, h) ||
        !parse_field_number(size.substr(x + 1), 1, 64, w))
        return reason = "display module needs HxW, each 1 to 64", false;
    static const struct {
        const char* name;
        LedColours colours;
    } kColours[] = {{"mono", LedColours::Mono},
                    {"red-green", LedColours::RedGreen},
                    {"full", LedColours::Full}};
    for (const auto& c : kColours) {
        if (colours != c.name) continue;
        s.module_height = int(h);
        s.module_width = int(w);
        s.colours = c.colours;
        return true;
    }
    return reason = "display module colours must be mono, red-green or full", false;
}

} // namespace

bool display_field_line(const std::vector<std::string>& args, std::string& reason) {
    DisplaySettings s = display_modules().Settings();
    long n = 0;
    const std::string what = args.empty() ? "" : args[0];
    if (what == "format" && args.size() == 2 && parse_field_number(args[1], 0, 255, n)) {
        s.format = uint8_t(n);
        board::epld_set_format_code(s.format);
    } else if (what == "format") {
        return reason = "display format needs one number 0 to 255", false;
    } else if (what == "scale" && args.size() == 2 && parse_field_number(args[1], 1, 16, n)) {
        s.scale = int(n);
    } else if (what == "scale") {
        return reason = "display scale needs one number 1 to 16", false;
    } else if (what == "module" && (args.size() == 2 || args.size() == 3)) {
        if (!parse_module(args[1], args.size() == 3 ? args[2] : "mono", s, reason)) return false;
    } else if (what == "module") {
        return reason = "display module needs HxW and mono, red-green or full", false;
    } else if (what == "failed" || what == "size") {
        return display_failure_line(args, reason);
    } else {
        return reason =
                   "unknown display setting '" + what + "' (format, module, scale, size or failed)",
               false;
    }
    display_modules().SetSettings(s);
    return true;
}

DisplayModules& display_modules() {
    static DisplayModules modules;
    return modules;
}

void DisplayModules::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    settings_ = DisplaySettings();
    picture_ = host::SignPicture();
    last_ = DecodedFrame();
    display_failures_reset();
}

DisplaySettings DisplayModules::Settings() {
    std::lock_guard<std::mutex> lock(m_);
    return settings_;
}

void DisplayModules::SetSettings(const DisplaySettings& settings) {
    std::lock_guard<std::mutex> lock(m_);
    settings_ = settings;
}

host::SignPicture DisplayModules::Picture() {
    std::lock_guard<std::mutex> lock(m_);
    return picture_;
}

uint64_t DisplayModules::Changes() {
    std::lock_guard<std::mutex> lock(m_);
    return picture_.changes;
}

void DisplayModules::Show(const board::DisplayOutput& output) {
    std::lock_guard<std::mutex> lock(m_);
    host::SignPicture next = picture_;
    next.brightness = output.lit ? output.brightness : 0;
    if (!output.lit)
        std::fill(next.levels.begin(), next.levels.end(), 0);
    else if (output.frame != nullptr)
        DecodeOnce(output, next);
    darken_failed_leds(next);
    if (next.width == picture_.width && next.height == picture_.height &&
        next.brightness == picture_.brightness && next.levels == picture_.levels)
        return;
    next.changes = picture_.changes + 1;
    picture_ = std::move(next);
}

bool DisplayModules::DecodedFrame::Matches(const board::DisplayOutput& output,
                                           const DisplaySettings& settings) const {
    return valid && format == output.format && mode == output.mode && width == output.width &&
           height == output.height && module_height == settings.module_height &&
           module_width == settings.module_width && colours == settings.colours &&
           frame.size() == output.frame_bytes &&
           std::equal(frame.begin(), frame.end(), output.frame);
}

// The frame decoded, or the last decoding again when nothing it depends on
// changed.
void DisplayModules::DecodeOnce(const board::DisplayOutput& output, host::SignPicture& next) {
    if (!last_.Matches(output, settings_)) {
        Decode(output, next);
        last_.format = output.format;
        last_.mode = output.mode;
        last_.width = output.width;
        last_.height = output.height;
        last_.module_height = settings_.module_height;
        last_.module_width = settings_.module_width;
        last_.colours = settings_.colours;
        last_.frame.assign(output.frame, output.frame + output.frame_bytes);
        last_.picture_width = next.width;
        last_.picture_height = next.height;
        last_.levels = next.levels;
        last_.valid = true;
        return;
    }
    next.width = last_.picture_width;
    next.height = last_.picture_height;
    next.levels = last_.levels;
}

// A new frame: the LEDs the frame covers from dark, in the frame's layout.
void DisplayModules::Decode(const board::DisplayOutput& output, host::SignPicture& next) {
    const int width = output.width, height = output.height;
    next.width = round_up(width, settings_.module_width);
    next.height = round_up(height, settings_.module_height);
    next.levels.assign(size_t(next.width) * size_t(next.height) * 3, 0);
    const Layout& l = layout_of(output.format, settings_.module_height);
    const int rows = l.band_rows != 0 ? l.band_rows : height;
    if (width <= 0 || rows <= 0) return;
    const int bands = bands_of(l.bands, height, rows);
    FrameReader in(output.frame, output.frame_bytes);
    LedWriter out(next, width, height, settings_.colours);
    if (l.order == Order::Raw || l.order == Order::RawEvenBandsFirst)
        read_raw(l, width, rows, bands, in, out);
    else
        read_pixels(l, output.mode, width, rows, bands, in, out);
}

std::vector<uint8_t> DisplayModules::Rgb(const host::SignPicture& picture, int& width,
                                         int& height) {
    DisplaySettings s = Settings();
    width = picture.width * s.scale;
    height = picture.height * s.scale;
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* led = picture.Led(x / s.scale, y / s.scale);
            uint8_t* px = &rgb[3 * (size_t(y) * width + x)];
            px[0] = led[0];
            // One-colour modules are amber LEDs.
            px[1] = s.colours == LedColours::Mono ? uint8_t(led[0] * 191 / 255) : led[1];
            px[2] = led[2];
        }
    }
    return rgb;
}

} // namespace field
