// Frame layouts of the display EPLD (see j6_frame_formats.h).
//
// A layout cuts the surface into bands of rows. Pixel layouts visit one
// pixel at a time, either row of band first (for each row k of a band, each
// column x, each band j: pixel (x, j * rows + k)) or column first (for each
// column, each step of `rows_per_step` rows in the band, each band); raw
// layouts copy the surface's bytes band by band. The encoder turns each pixel
// into its bytes.
#include "display/j6_frame_formats.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

enum class Walk : uint8_t { RowInBandFirst, ColumnFirst, RawBands, RawEvenBandsFirst };
enum class BandCount : uint8_t {
    Ceiling,         // ceil(H / rows)
    RaisedIfOddTo7,  // floor(H / rows), raised by one when 1, 3, 5 or 7
    RaisedIfOddTo15, // floor(H / rows), raised by one when odd up to 15
};
enum class Encoding : uint8_t {
    RedOn,         // (red5 << 1) | 1
    ByColourClass, // by the module type's colour class and the on/off mode bit
    RedOnThenZero, // (red5 << 1) | 1, then 0
    OnOff,         // 0x3F for a lit pixel
    Rgb555,        // (red5 << 10) | (green5 << 5) | blue5, low byte first
    RawByte,       // the surface's byte
};
enum class ModuleRows : uint8_t { Any, SevenOrEight, Other };

struct FrameFormat {
    uint8_t code; // 0: every code without a row of its own
    ModuleRows modules;
    Walk walk;
    uint8_t band_rows; // 0: one band of the whole height
    uint8_t rows_per_step;
    BandCount bands;
    Encoding encoding;
    bool converts_blank; // a blank frame still carries the surface
    bool needs_15_bits;  // no bytes for a surface of another depth
    bool stores_height;  // the height becomes bands x rows
};

using M = ModuleRows;
using W = Walk;
using B = BandCount;
using E = Encoding;

const FrameFormat FRAME_FORMATS[] = {
    {1, M::Any, W::RowInBandFirst, 8, 1, B::Ceiling, E::RedOn, false, false, false},
    {2, M::Any, W::RowInBandFirst, 4, 1, B::Ceiling, E::ByColourClass, false, false, false},
    {3, M::Any, W::RowInBandFirst, 16, 1, B::RaisedIfOddTo7, E::ByColourClass, false, true, true},
    {4, M::Any, W::RawBands, 24, 1, B::RaisedIfOddTo7, E::RawByte, false, false, true},
    {5, M::Any, W::RawEvenBandsFirst, 7, 1, B::RaisedIfOddTo15, E::RawByte, false, false, true},
    {11, M::SevenOrEight, W::ColumnFirst, 8, 1, B::Ceiling, E::RedOnThenZero, true, false, false},
    {11, M::Other, W::ColumnFirst, 16, 2, B::Ceiling, E::OnOff, true, false, false},
    {12, M::Any, W::ColumnFirst, 16, 2, B::Ceiling, E::OnOff, true, false, false},
};
const FrameFormat DEFAULT_FORMAT = {
    0, M::Any, W::RowInBandFirst, 0, 1, B::Ceiling, E::Rgb555, false, false, false};

bool modules_match(ModuleRows modules, uint8_t module_height) {
    bool short_modules = module_height == 7 || module_height == 8;
    return modules == M::Any || (modules == M::SevenOrEight) == short_modules;
}

const FrameFormat& find_format(uint8_t code, uint8_t module_height) {
    for (const FrameFormat& f : FRAME_FORMATS)
        if (f.code == code && modules_match(f.modules, module_height)) return f;
    return DEFAULT_FORMAT;
}

int band_count(BandCount rule, int height, int rows) {
    int floor = height / rows;
    switch (rule) {
    case B::Ceiling:
        return (height + rows - 1) / rows;
    case B::RaisedIfOddTo7:
        return floor + ((floor & 1) && floor <= 7 ? 1 : 0);
    case B::RaisedIfOddTo15:
        return floor + ((floor & 1) && floor <= 15 ? 1 : 0);
    }
    return floor;
}

// Bytes into the frame area, never past its end.
class FrameWriter {
  public:
    explicit FrameWriter(const j6_frame_target& target) : target_(target) {}
    void Put(uint32_t value) {
        ++needed_;
        if (count_ < target_.capacity) target_.area[count_++] = static_cast<uint8_t>(value);
    }
    // The position keeps its previous content.
    void Skip() {
        ++needed_;
        if (count_ < target_.capacity) ++count_;
    }
    uint32_t Count() const { return count_; }
    uint32_t Needed() const { return needed_; }

  private:
    const j6_frame_target& target_;
    uint32_t count_ = 0;
    uint32_t needed_ = 0;
};

void put_by_colour_class(uint32_t red5, uint32_t green5, const j6_frame_target& target,
                         FrameWriter& out) {
    bool on_off = (target.epld_mode & EPLD_MODE_ON_OFF) != 0;
    uint32_t red4 = red5 >> 1, green4 = green5 >> 1;
    switch (target.colour_class) {
    case 1:
        out.Put(on_off ? (red5 != 0) : (red5 << 1) | 1);
        return;
    case 2: // on/off: red in bit 1, green in bit 0
        out.Put(on_off ? (red4 != 0) << 1 | (green4 != 0) : red4 << 4 | green4);
        return;
    default:
        out.Skip();
        return;
    }
}

void encode_pixel(Encoding encoding, uint32_t pixel, bool blank, const j6_frame_target& target,
                  FrameWriter& out) {
    uint32_t red5 = (pixel >> 16) & 31, green5 = (pixel >> 21) & 31, blue5 = (pixel >> 26) & 31;
    switch (encoding) {
    case E::RedOn:
        out.Put(blank ? 0 : (red5 << 1) | 1);
        return;
    case E::ByColourClass:
        if (blank)
            out.Put(0);
        else
            put_by_colour_class(red5, green5, target, out);
        return;
    case E::RedOnThenZero:
        out.Put((red5 << 1) | 1);
        out.Put(0);
        return;
    case E::OnOff:
        out.Put(pixel != 0 ? 0x3F : 0);
        return;
    case E::Rgb555: {
        uint32_t value = blank ? 0 : red5 << 10 | green5 << 5 | blue5;
        out.Put(value & 0xFF);
        out.Put(value >> 8);
        return;
    }
    case E::RawByte:
        return;
    }
}

template <class Visit>
void walk_pixels(const FrameFormat& f, int width, int rows, int bands, Visit visit) {
    if (f.walk == W::ColumnFirst) {
        const int step = f.rows_per_step;
        for (int x = 0; x < width; ++x)
            for (int a = 0; a < rows / step; ++a)
                for (int j = 0; j < bands; ++j)
                    for (int t = 0; t < step; ++t)
                        visit(x, step * a + t + rows * j);
        return;
    }
    for (int k = 0; k < rows; ++k)
        for (int x = 0; x < width; ++x)
            for (int j = 0; j < bands; ++j)
                visit(x, rows * j + k);
}

template <class Visit>
void walk_raw(const FrameFormat& f, int width, int rows, int bands, Visit visit) {
    const uint32_t band_bytes = uint32_t(rows) * uint32_t(width);
    const int first_pass_step = f.walk == W::RawEvenBandsFirst ? 2 : 1;
    for (uint32_t i = 0; i < band_bytes; ++i) {
        for (int j = 0; j < bands; j += first_pass_step)
            visit(i + uint32_t(j) * band_bytes);
        if (first_pass_step == 2)
            for (int j = 1; j < bands; j += 2)
                visit(i + uint32_t(j) * band_bytes);
    }
}

} // namespace

j6_frame_result j6_convert_frame(const CSurface& surface, uint8_t format_code, bool blank,
                                 const j6_frame_target& target) {
    const FrameFormat& f = find_format(format_code, target.module_height);
    FrameWriter out(target);
    j6_frame_result result = {0, -1, 0};
    if (f.needs_15_bits && surface.GetBitsPerPixel() != 15) return result;
    const int width = surface.GetWidth(), height = surface.GetHeight();
    const int rows = f.band_rows != 0 ? f.band_rows : height;
    if (width <= 0 || rows <= 0) return result;
    const int bands = band_count(f.bands, height, rows);
    const bool carries = !blank || f.converts_blank;
    if (f.walk == W::RawBands || f.walk == W::RawEvenBandsFirst) {
        const uint8_t* buffer = surface.GetBuffer();
        const uint32_t size = buffer != nullptr ? surface.GetSize() : 0;
        walk_raw(f, width, rows, bands,
                 [&](uint32_t i) { out.Put(carries && i < size ? buffer[i] : 0); });
    } else {
        walk_pixels(f, width, rows, bands, [&](int x, int y) {
            encode_pixel(f.encoding, surface.GetPixel(x, y), !carries, target, out);
        });
    }
    result.bytes = out.Count();
    result.needed = out.Needed();
    if (f.stores_height) result.stored_height = bands * rows;
    return result;
}

j6_frame_converter::~j6_frame_converter() {
    delete[] pixels_.bytes;
    delete[] area_.bytes;
}

bool j6_frame_converter::copy::take(const uint8_t* from, uint32_t count) {
    if (count > capacity) {
        delete[] bytes;
        bytes = new (std::nothrow) uint8_t[count];
        capacity = bytes ? count : 0;
        if (!bytes) return false;
    }
    if (count != 0) std::memcpy(bytes, from, count);
    size = count;
    return true;
}

bool j6_frame_converter::copy::same(const uint8_t* as) const {
    return size == 0 || std::memcmp(bytes, as, size) == 0;
}

bool j6_frame_converter::same(const CSurface& surface, const key& k) const {
    const j6_frame_target& a = key_.target;
    const j6_frame_target& b = k.target;
    return known_ && key_.format_code == k.format_code && key_.blank == k.blank &&
           a.area == b.area && a.capacity == b.capacity && a.colour_class == b.colour_class &&
           a.epld_mode == b.epld_mode && a.module_height == b.module_height &&
           key_.width == k.width && key_.height == k.height &&
           key_.bits_per_pixel == k.bits_per_pixel && key_.size == k.size &&
           pixels_.same(surface.GetBuffer()) && area_.same(b.area);
}

void j6_frame_converter::remember(const CSurface& surface, const key& k,
                                  const j6_frame_result& result) {
    const uint32_t written = std::min(result.bytes, k.target.capacity);
    known_ = pixels_.take(surface.GetBuffer(), k.size) && area_.take(k.target.area, written);
    key_ = k;
    result_ = result;
}

j6_frame_result j6_frame_converter::convert(const CSurface& surface, uint8_t format_code,
                                            bool blank, const j6_frame_target& target) {
    const bool readable = surface.IsAllocated() && surface.GetBuffer() && target.area;
    const key k = {format_code,
                   blank,
                   target,
                   surface.GetWidth(),
                   surface.GetHeight(),
                   surface.GetBitsPerPixel(),
                   readable ? surface.GetSize() : 0};
    if (readable && same(surface, k)) return result_;
    const j6_frame_result result = j6_convert_frame(surface, format_code, blank, target);
    known_ = false;
    if (readable) remember(surface, k, result);
    return result;
}
