// PNG writer: IHDR (8-bit RGB), optional tEXt chunks, one IDAT of rows with
// filter type 0 deflated by zlib, IEND; every chunk with its CRC-32.
#include "platform/picture/png.h"

#include <cstdio>
#include <zlib.h>

namespace host {
namespace {

void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char(v >> shift);
}

void chunk(std::string& out, const char* type, const std::string& data) {
    put32(out, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    put32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

bool deflate_rows(int width, int height, const std::vector<uint8_t>& rgb, std::string& packed) {
    size_t stride = size_t(width) * 3;
    std::string raw;
    raw.reserve((stride + 1) * size_t(height));
    for (int y = 0; y < height; ++y) {
        raw += char(0);
        raw.append(reinterpret_cast<const char*>(rgb.data()) + stride * size_t(y), stride);
    }
    uLongf packed_size = compressBound(raw.size());
    packed.assign(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packed_size,
                  reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 6) != Z_OK)
        return false;
    packed.resize(packed_size);
    return true;
}

} // namespace

std::string png_encode_rgb(int width, int height, const std::vector<uint8_t>& rgb,
                           const std::vector<PngText>& texts) {
    if (width <= 0 || height <= 0 || rgb.size() < size_t(width) * size_t(height) * 3) return {};
    std::string packed;
    if (!deflate_rows(width, height, rgb, packed)) return {};
    std::string header;
    put32(header, uint32_t(width));
    put32(header, uint32_t(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    std::string png = "\x89PNG\r\n\x1a\n";
    chunk(png, "IHDR", header);
    for (const PngText& t : texts)
        chunk(png, "tEXt", t.keyword + std::string(1, '\0') + t.text);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", "");
    return png;
}

bool png_write_rgb(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                   const std::vector<PngText>& texts) {
    std::string png = png_encode_rgb(width, height, rgb, texts);
    if (png.empty()) return false;
    std::string temporary = path + ".tmp";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

} // namespace host
