// A built-in font found by name and inflated into a buffer-pool block.
#include "store/builtin_fonts.h"

#include "runtime/gp_buffer.h"

#include <cstring>

CBuiltinFont::CBuiltinFont() = default;

CBuiltinFont::~CBuiltinFont() {
    Release();
}

int CBuiltinFont::FindBuiltin(const char* name, uint32_t* row) {
    if (!name) return 0;
    for (uint32_t r = 0; r < BUILTIN_FONT_COUNT; ++r) {
        if (std::strcmp(builtin_font_table[r].name, name) == 0) {
            if (row) *row = r;
            return 1;
        }
    }
    return 0;
}

int CBuiltinFont::Load(const char* name) {
    if (!name || std::strlen(name) >= NAME_CHARS) return 0;
    Unbind();
    if (!block_) {
        void* block = nullptr;
        if (!TheGPBuffer().Allocate(&block, BLOCK_BYTES)) return 0;
        block_ = static_cast<uint8_t*>(block);
    }
    std::strcpy(name_, name);
    uint32_t row = 0;
    FindBuiltin(name, &row);
    uint32_t length = builtin_font_inflate(row, block_, BLOCK_BYTES);
    if (length == 0) return 0;
    return Bind(block_, length);
}

void CBuiltinFont::Release() {
    Unbind();
    if (block_) TheGPBuffer().Release(block_);
    block_ = nullptr;
}
