// Dead LEDs and the modules' reports (see display_failures.h).
#include "platform/field/display_failures.h"

#include "platform/board/display_bus.h"
#include "platform/field/display_modules.h"
#include "platform/field/field_file.h"

#include <mutex>

namespace field {

namespace {

struct Span {
    long x1, x2, y1, y2;
};

struct Failures {
    std::mutex m;
    std::vector<Span> spans;
    long height = 0, width = 0; // "display size", for modules no frame has reached
};

Failures& failures() {
    static Failures f;
    return f;
}

bool failed_at(const std::vector<Span>& spans, long x, long y) {
    for (const Span& s : spans)
        if (x >= s.x1 && x <= s.x2 && y >= s.y1 && y <= s.y2) return true;
    return false;
}

const long LED_MAX = 65535;
const uint8_t FLAG = 0x7E, ESCAPE = 0x7F, FRAME_TYPE = 1, REPORT_MARKER = 0x01;
const size_t FRAME_MAX = 255;
const uint32_t HALF_FLAG = 0x8000;

// "N" or "N-M" with N <= M.
bool parse_range(const std::string& word, long& first, long& last) {
    size_t dash = word.find('-');
    if (dash == std::string::npos)
        return parse_field_number(word, 0, LED_MAX, first) && (last = first, true);
    return parse_field_number(word.substr(0, dash), 0, LED_MAX, first) &&
           parse_field_number(word.substr(dash + 1), 0, LED_MAX, last) && first <= last;
}

// The display bus's index mapping: the pixel of an index and half flag on a
// face `height` high of modules `module_height` high.
bool index_pixel(uint32_t code, uint32_t height, uint32_t module_height, uint32_t& x, uint32_t& y) {
    const uint32_t lines = height / module_height;
    const uint32_t half = (code & HALF_FLAG) ? 1 : 0;
    const uint32_t k = (2u * (code & 0x7FFFu)) & 0xFFFFu;
    x = (k + half) / height;
    uint32_t line = 0;
    for (uint32_t v = 0; v < lines; ++v)
        if ((k - 2u * v) % (2u * lines) == 0) {
            line = v;
            break;
        }
    y = (((k % height) - line) / lines + module_height * line + half) & 0xFFFFu;
    return true;
}

void put_escaped(std::vector<uint8_t>& out, uint8_t b) {
    if (b == FLAG || b == ESCAPE) {
        out.push_back(ESCAPE);
        out.push_back(uint8_t(b ^ 0x20));
    } else {
        out.push_back(b);
    }
}

} // namespace

std::vector<uint8_t> display_bus_frame(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> head = {FLAG, FRAME_TYPE};
    if (payload.size() < 0x80) {
        head.push_back(uint8_t(payload.size()));
    } else {
        head.push_back(0x82);
        head.push_back(uint8_t(payload.size() >> 8));
        head.push_back(uint8_t(payload.size()));
    }
    uint8_t sum = 0;
    std::vector<uint8_t> out = {FLAG};
    for (size_t i = 0; i < head.size(); ++i) {
        sum = uint8_t(sum + head[i]);
        if (i > 0) put_escaped(out, head[i]);
    }
    for (uint8_t b : payload) {
        sum = uint8_t(sum + b);
        put_escaped(out, b);
    }
    put_escaped(out, sum);
    out.push_back(FLAG);
    return out;
}

bool display_failure_line(const std::vector<std::string>& args, std::string& reason) {
    if (args[0] == "size") {
        const size_t x = args.size() == 2 ? args[1].find('x') : std::string::npos;
        long h = 0, w = 0;
        if (x == std::string::npos || !parse_field_number(args[1].substr(0, x), 1, LED_MAX, h) ||
            !parse_field_number(args[1].substr(x + 1), 1, LED_MAX, w))
            return reason = "display size needs HxW, each 1 to 65535", false;
        std::lock_guard<std::mutex> lock(failures().m);
        failures().height = h;
        failures().width = w;
        return true;
    }
    Span s{};
    if (args.size() != 3 || !parse_range(args[1], s.x1, s.x2) || !parse_range(args[2], s.y1, s.y2))
        return reason = "display failed needs X[-X2] Y[-Y2], LEDs from 0", false;
    std::lock_guard<std::mutex> lock(failures().m);
    failures().spans.push_back(s);
    return true;
}

void display_failures_reset() {
    std::lock_guard<std::mutex> lock(failures().m);
    failures().spans.clear();
    failures().height = failures().width = 0;
}

void darken_failed_leds(host::SignPicture& picture) {
    std::lock_guard<std::mutex> lock(failures().m);
    for (const Span& s : failures().spans)
        for (long y = s.y1; y <= s.y2 && y < picture.height; ++y)
            for (long x = s.x1; x <= s.x2 && x < picture.width; ++x)
                for (int c = 0; c < 3; ++c)
                    picture.levels[3 * (size_t(y) * size_t(picture.width) + size_t(x)) + c] = 0;
}

// Every index code whose pixel is a dead LED of the sign (as its picture, or
// before any frame the "display size" line, gives it), in code order, packed
// into frames of at most 255 bytes.
std::vector<std::vector<uint8_t>> module_scan_frames() {
    const host::SignPicture picture = display_modules().Picture();
    const uint32_t module_height = uint32_t(display_modules().Settings().module_height);
    std::vector<Span> spans;
    uint32_t height = uint32_t(picture.height), width = uint32_t(picture.width);
    {
        std::lock_guard<std::mutex> lock(failures().m);
        spans = failures().spans;
        if (height == 0 || width == 0) {
            height = uint32_t(failures().height);
            width = uint32_t(failures().width);
        }
    }
    std::vector<std::vector<uint8_t>> frames;
    if (height == 0 || module_height == 0 || height < module_height) return frames;
    std::vector<bool> reported(size_t(width) * height, false);
    std::vector<uint8_t> payload = {REPORT_MARKER};
    for (uint32_t code = 0; code <= 0xFFFF; ++code) {
        uint32_t x = 0, y = 0;
        index_pixel(code, height, module_height, x, y);
        if (x >= width || y >= height || reported[size_t(y) * width + x]) continue;
        if (!failed_at(spans, long(x), long(y))) continue;
        reported[size_t(y) * width + x] = true;
        std::vector<uint8_t> next = payload;
        next.push_back(uint8_t(code >> 8));
        next.push_back(uint8_t(code));
        if (display_bus_frame(next).size() > FRAME_MAX) {
            frames.push_back(display_bus_frame(payload));
            next = {REPORT_MARKER, uint8_t(code >> 8), uint8_t(code)};
        }
        payload = next;
    }
    if (payload.size() > 1) frames.push_back(display_bus_frame(payload));
    return frames;
}

} // namespace field

namespace host {

std::vector<uint32_t> module_light() {
    const SignPicture picture = field::display_modules().Picture();
    const field::DisplaySettings s = field::display_modules().Settings();
    const int rows = (picture.height + s.module_height - 1) / s.module_height;
    const int columns = (picture.width + s.module_width - 1) / s.module_width;
    std::vector<uint32_t> light(size_t(rows) * size_t(columns), 0);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* led = picture.Led(x, y);
            if (led[0] || led[1] || led[2])
                ++light[size_t(y / s.module_height) * size_t(columns) + size_t(x / s.module_width)];
        }
    return light;
}

void display_bus_inject(const std::vector<uint8_t>& bytes) {
    board::display_bus_receive(bytes);
}

} // namespace host
