// Files for the file-transfer tests: reproducible bytes, zlib streams of a
// chosen level (9 gives the 78 DA header, 6 gives 78 9C) and the transfer
// CRC-16 of a block or name.
#pragma once

#include "runtime/utilities.h"

#include <zlib.h>

#include <cstdint>
#include <string>

namespace transfer_test {

inline std::string pattern(size_t size, uint32_t seed = 1) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i++) {
        seed = seed * 1103515245u + 12345u;
        s[i] = char(seed >> 16);
    }
    return s;
}

inline std::string compressed(const std::string& plain, int level) {
    uLongf size = compressBound(plain.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&out[0]), &size,
              reinterpret_cast<const Bytef*>(plain.data()), plain.size(), level);
    out.resize(size);
    return out;
}

inline uint16_t crc_of(const std::string& bytes) {
    return crc16(bytes.data(), bytes.size());
}

} // namespace transfer_test
