#include "comm/drivers/serial_probe.h"

#include <cstring>

void serial_probe::SetPattern(const char* text) {
    index_ = 0;
    pattern_ = text;
    length_ = text ? uint32_t(std::strlen(text)) : 0;
    matched_ = 0;
}

uint8_t serial_probe::Feed(uint8_t byte) {
    if (!pattern_ || length_ == 0) return byte;
    if (byte == uint8_t(pattern_[index_])) {
        if (++index_ == length_) {
            index_ = 0;
            matched_ = 1;
        }
    } else {
        index_ = 0;
        matched_ = 0;
    }
    return byte;
}
