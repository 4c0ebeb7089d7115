// Reading back the PNG pictures the host writes (sign.png, multipng's pages):
// 8-bit RGB, filter 0 on every row, as the one PNG writer stores them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace test_support {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::map<std::string, std::string> text; // tEXt chunks: keyword -> text
    bool Lit(int x, int y) const {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return p[0] || p[1] || p[2];
    }
    bool Dark() const;
};

// False when the file is missing or not such a picture.
bool ReadPng(const std::string& path, Picture& picture);

} // namespace test_support
