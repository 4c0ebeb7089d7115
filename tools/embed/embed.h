// Shared by the build-time generators (fontgen, epldgen): compresses a
// built-in image with zlib and writes it as a C++ byte array definition.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include <zlib.h>

namespace embed {

// "const uint8_t ID[] = {...};" for the zlib stream of `raw`; the stream's
// size in `packed_size`. False when zlib refuses.
inline bool compressed_array(const std::string& id, const std::vector<uint8_t>& raw,
                             std::string& text, unsigned long& packed_size) {
    uLongf size = compressBound(raw.size());
    std::vector<uint8_t> packed(size);
    if (compress2(packed.data(), &size, raw.data(), raw.size(), 9) != Z_OK) return false;
    text += "const uint8_t " + id + "[] = {";
    for (uLongf k = 0; k < size; ++k) {
        if (k % 16 == 0) text += "\n   ";
        char hex[8];
        std::snprintf(hex, sizeof hex, " 0x%02X,", packed[k]);
        text += hex;
    }
    text += "\n};\n";
    packed_size = size;
    return true;
}

} // namespace embed
