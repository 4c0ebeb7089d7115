// Private helpers of the object store's own sources: big-endian loads and
// stores in the images and the dynamic-block slots.
#pragma once

#include "store/database.h"

#include <cstdint>
#include <cstring>

namespace store_impl {

inline uint32_t load_be(const uint8_t* p, unsigned width) {
    uint32_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v = (v << 8) | p[i];
    return v;
}

inline void store_be(uint8_t* p, unsigned width, uint32_t v) {
    for (unsigned i = width; i-- > 0;) {
        p[i] = uint8_t(v);
        v >>= 8;
    }
}

inline bool valid_width(unsigned width) {
    return width == 1 || width == 2 || width == 4;
}

// The object [offset, offset + width) lies inside the image.
inline bool in_image(const CDataBase& store, const uint8_t* image, uint32_t offset,
                     unsigned width) {
    uint32_t size = store.ImageBytes(image);
    return width <= size && offset <= size - width;
}

// A dynamic block: {u32 length (big-endian), bytes, NUL}.
const uint32_t BLOCK_OVERHEAD = 5;

inline uint8_t* slot_block(const uint8_t* image, uint32_t offset) {
    uint32_t address = load_be(image + offset, 4);
    return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address));
}

inline uint32_t block_length(const uint8_t* block) {
    return load_be(block, 4);
}

} // namespace store_impl
