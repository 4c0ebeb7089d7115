#include "tests/support/png_reader.h"

#include <zlib.h>

#include <fstream>
#include <iterator>

namespace test_support {

static uint32_t be32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

bool ReadPng(const std::string& path, Picture& picture) {
    picture = Picture{};
    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 8 || file.compare(1, 3, "PNG") != 0) return false;
    std::string deflated;
    for (size_t at = 8; at + 12 <= file.size();) {
        uint32_t length = be32(file, at);
        std::string type = file.substr(at + 4, 4);
        if (type == "IHDR") {
            picture.width = int(be32(file, at + 8));
            picture.height = int(be32(file, at + 12));
        } else if (type == "IDAT") {
            deflated += file.substr(at + 8, length);
        } else if (type == "tEXt") {
            std::string chunk = file.substr(at + 8, length);
            size_t nul = chunk.find('\0');
            if (nul != std::string::npos)
                picture.text[chunk.substr(0, nul)] = chunk.substr(nul + 1);
        }
        at += 12 + length;
    }
    size_t row = size_t(picture.width) * 3 + 1;
    std::vector<uint8_t> raw(row * size_t(picture.height));
    uLongf size = uLongf(raw.size());
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(deflated.data()),
                   uLong(deflated.size())) != Z_OK ||
        size != raw.size())
        return false;
    for (int y = 0; y < picture.height; ++y)
        picture.rgb.insert(picture.rgb.end(), raw.begin() + long(row * size_t(y)) + 1,
                           raw.begin() + long(row * size_t(y + 1)));
    return true;
}

bool Picture::Dark() const {
    for (uint8_t level : rgb)
        if (level) return false;
    return true;
}

} // namespace test_support
