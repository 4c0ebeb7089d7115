// CGPBuffer: the general-purpose byte pool "gpbuffer" for large temporary
// buffers (whole files, inflated fonts and images, web pages). Allocation
// never waits: a user that gets no block reports a failure and gives up.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>

const uint32_t GP_BUFFER_BYTES = 0x301000;

class CGPBuffer {
  public:
    CGPBuffer() = default;
    virtual ~CGPBuffer();
    CGPBuffer(const CGPBuffer&) = delete;
    CGPBuffer& operator=(const CGPBuffer&) = delete;

    // Creates "gpbuffer" at *cursor and advances the cursor. -> 1; 0 when
    // already created or the kernel refuses the pool.
    int Create(uint8_t** cursor, uint32_t size);
    // -> 1 with a block; 0 (and a null pointer) when not created or no block at once.
    int Allocate(void** block, uint32_t size);
    // -> 1 when the block went back; 0 when not created, null, or refused.
    int Release(void* block);

    bool Created() const { return state_ >= 2; }
    uint32_t Outstanding() const { return state_ >= 2 ? state_ - 2u : 0u; }
    uint32_t Size() const { return size_; }
    TX_BYTE_POOL* Pool() { return &pool_; }

  private:
    uint8_t state_ = 0; // 2 + blocks outstanding once created
    uint32_t size_ = 0;
    TX_BYTE_POOL pool_{};
};

CGPBuffer& TheGPBuffer();
