// serial_probe: a streaming matcher that watches a byte stream for one
// pattern text (the modem driver's "\r0\r", its numeric OK between CRs).
// A byte that breaks a partial match resets it and is not tried again as the
// first character of a new match: fed CR CR '0' CR the pattern "\r0\r" is
// not found, fed CR '0' CR it is.
#pragma once

#include <cstdint>

class serial_probe {
  public:
    serial_probe() = default;
    virtual ~serial_probe() = default;

    // Starts watching for `text` (null: none); nothing matched so far.
    void SetPattern(const char* text);
    // Feeds one byte. -> the byte.
    uint8_t Feed(uint8_t byte);
    // True when the bytes fed last completed the pattern.
    bool Matched() const { return matched_ != 0; }

  private:
    const char* pattern_ = nullptr;
    uint32_t index_ = 0;
    uint32_t length_ = 0;
    uint8_t matched_ = 0;
};
