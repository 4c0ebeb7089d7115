#include "runtime/gp_buffer.h"

#include "runtime/os.h"

CGPBuffer::~CGPBuffer() {
    if (Created()) tx_byte_pool_delete(&pool_);
}

int CGPBuffer::Create(uint8_t** cursor, uint32_t size) {
    if (Created() || !cursor || !*cursor) return 0;
    if (os_byte_pool_create(&pool_, "gpbuffer", *cursor, size) != OS_OK) return 0;
    *cursor += size;
    size_ = size;
    state_ = 2;
    return 1;
}

int CGPBuffer::Allocate(void** block, uint32_t size) {
    if (!block) return 0;
    *block = nullptr;
    if (!Created() || state_ == 0xFF) return 0;
    if (os_byte_allocate(&pool_, block, size, OS_NO_WAIT) != OS_OK) {
        *block = nullptr;
        return 0;
    }
    CInterruptLock masked;
    state_++;
    return 1;
}

int CGPBuffer::Release(void* block) {
    if (!Created() || !block) return 0;
    if (os_byte_release(block) != OS_OK) return 0;
    CInterruptLock masked;
    if (state_ > 2) state_--;
    return 1;
}

CGPBuffer& TheGPBuffer() {
    static CGPBuffer buffer;
    return buffer;
}
