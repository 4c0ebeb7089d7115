// The six object operations: the only way in which the firmware reads and
// writes a setting or status value. A write runs validation, comparison with
// the stored value, the store, the journal record of a changed non-volatile
// object and change notification, in that order.
#include "runtime/console.h"
#include "platform/board/bus.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/objects.h"
#include "store/store_internal.h"

#include <cstring>

using namespace store_impl;

namespace {

const char kEmptyText[1] = "";

// The global-time registers of the clock device, most significant first.
const uint32_t kTimeRegisters[4] = {0xF0100001u, 0xF0100003u, 0xF0100005u, 0xF0100007u};

bool is_global_time(CDataBase& store, const uint8_t* image, uint32_t offset) {
    return image && !store.IsVolatile(image) && offset == obj::globalTime.offset;
}

bool journalling(CDataBase& store, const uint8_t* image, uint32_t flags) {
    return !store.IsVolatile(image) && !(flags & DB_NO_JOURNAL) && store.IsFlashMode() &&
           store.Journal() != nullptr;
}

// An integer write must never overwrite the slot of a dynamic object.
bool overlaps_dynamic_slot(CDataBase& store, const uint8_t* image, uint32_t offset,
                           unsigned width) {
    auto dynamic =
        store.IsVolatile(image) ? CDataBase::IsDynamicVolatileOffset : CDataBase::IsDynamicOffset;
    return dynamic(offset) || dynamic(offset + width - 1);
}

int unchanged(CDataBase& store, uint32_t offset, const uint8_t* image, uint32_t flags) {
    if (flags & DB_NOTIFY) store.Notify(offset, image, DB_REASON_UNCHANGED);
    return DB_OK;
}

int changed(CDataBase& store, uint32_t offset, const uint8_t* image, uint32_t flags) {
    if (flags & DB_NOTIFY) store.Notify(offset, image, DB_REASON_CHANGED);
    return DB_OK;
}

uint32_t read_clock() {
    uint32_t v = 0;
    for (uint32_t reg : kTimeRegisters)
        v = (v << 8) | bus_read8(reg);
    return v;
}

void write_clock(uint32_t v) {
    for (int i = 3; i >= 0; --i)
        bus_write8(kTimeRegisters[i], uint8_t(v >> (8 * (3 - i))));
}

// A new block {length, bytes, NUL} from the "dynamic database" pool, or null.
uint8_t* new_block(CDataBase& store, const uint8_t* image, uint32_t offset, const void* bytes,
                   uint32_t length) {
    void* memory = nullptr;
    uint64_t size = uint64_t(length) + BLOCK_OVERHEAD;
    UINT status = TX_NO_MEMORY;
    if (size <= DYNAMIC_DATABASE_POOL_BYTES)
        status = tx_byte_allocate(&dynamic_database_pool(), &memory, ULONG(size), TX_NO_WAIT);
    if (status == TX_SUCCESS && reinterpret_cast<uintptr_t>(memory) > 0xFFFFFFFFu) {
        tx_byte_release(memory); // the slot holds a 32-bit board address
        status = TX_PTR_ERROR;
    }
    if (status != TX_SUCCESS) {
        trace_printf(store.IsVolatile(image) ? "V Allocation Error:%d! Ptr:%08x, Size:%d\n"
                                             : "NV Allocation Error:%d! Ptr:%08x, Size:%d\n",
                     int(status), unsigned(load_be(image + offset, 4)), int(size));
        store.PrintPoolInfo();
        return nullptr;
    }
    uint8_t* block = static_cast<uint8_t*>(memory);
    store_be(block, 4, length);
    if (length) std::memcpy(block + 4, bytes, length);
    block[4 + length] = 0;
    return block;
}

void set_slot(uint8_t* image, uint32_t offset, const uint8_t* block) {
    store_be(image + offset, 4, uint32_t(reinterpret_cast<uintptr_t>(block)));
}

// Releases a block that belongs to its object (never the shared block).
void release_block(CDataBase& store, uint8_t* block) {
    if (block && block != store.SharedBlock()) tx_byte_release(block);
}

// The block for a new value: the shared block when `shared` is asked and it
// holds these bytes (taken from the pool at the first ask), else a new one.
uint8_t* block_for(CDataBase& store, const uint8_t* image, uint32_t offset, const uint8_t* bytes,
                   uint32_t length, bool shared) {
    if (shared && !store.SharedBlock())
        store.SetSharedBlock(new_block(store, image, offset, bytes, length));
    uint8_t* s = store.SharedBlock();
    if (shared && s && block_length(s) == length && std::memcmp(s + 4, bytes, length) == 0)
        return s;
    return new_block(store, image, offset, bytes, length);
}

// Replaces the object's value under the store lock. The journal record is
// appended before the image changes, so that a record the journal refuses
// leaves the old value in place. -> 0 written, 1 unchanged, 5 no memory or
// journal refused (old value kept).
int replace_string(CDataBase& store, uint32_t offset, const uint8_t* bytes, uint32_t length,
                   uint8_t* image, uint32_t flags, bool shared) {
    uint8_t* old = slot_block(image, offset);
    if (old && block_length(old) == length && (!length || std::memcmp(old + 4, bytes, length) == 0))
        return 1;
    if (!length && !old) return 0; // empty stays empty: announced, not journalled
    const bool in_place =
        old && block_length(old) == length && old != store.SharedBlock() && !shared;
    uint8_t* block = nullptr;
    if (length && !in_place) {
        block = block_for(store, image, offset, bytes, length, shared);
        if (!block) return DB_REFUSED5;
    }
    if (journalling(store, image, flags) && !store.Journal()->AppendString(offset, bytes, length)) {
        release_block(store, block);
        return DB_REFUSED5;
    }
    if (in_place) {
        std::memcpy(old + 4, bytes, length); // same length: the block is kept (length > 0)
        return 0;
    }
    set_slot(image, offset, block);
    release_block(store, old);
    return 0;
}

int write_string(CDataBase& store, uint32_t offset, unsigned width, const void* bytes,
                 uint32_t length, uint8_t* image, uint32_t flags, bool shared) {
    if (!image || !in_image(store, image, offset, 4) || (length && !bytes)) return DB_REFUSED5;
    bool nv = !store.IsVolatile(image);
    auto dynamic = nv ? CDataBase::IsDynamicOffset : CDataBase::IsDynamicVolatileOffset;
    if (offset % 4 != 0 || !dynamic(offset)) {
        trace_printf("DB Error! String write into integer object %u\n", unsigned(offset));
        return DB_REFUSED5;
    }
    if (nv && !(flags & DB_NO_JOURNAL) && store.Journal() && !store.Journal()->StringFits(length))
        return DB_REFUSED;
    if (!(flags & DB_NO_VALIDATE)) {
        int r = store.ValidateString(offset, width, bytes, length, image);
        if (r != DB_OK) {
            console_printf("SetString invalid value\r\n");
            return r;
        }
    }
    store.Lock();
    int r = replace_string(store, offset, static_cast<const uint8_t*>(bytes), length, image, flags,
                           shared);
    store.Unlock();
    if (r == 1) return unchanged(store, offset, image, flags);
    if (r != DB_OK) return r;
    return changed(store, offset, image, flags);
}

} // namespace

uint32_t GetInteger(CDataBase& store, uint32_t offset, unsigned width, uint8_t* image,
                    uint32_t flags) {
    if (!image || !valid_width(width) || !in_image(store, image, offset, width)) return 0;
    if (is_global_time(store, image, offset) && !(flags & (DB_NO_JOURNAL | DB_NO_TIME_WARNING)))
        console_printf("DATABASE ERROR: Getting Global Time\n");
    return load_be(image + offset, width);
}

int SetInteger(CDataBase& store, uint32_t offset, unsigned width, uint32_t value, uint8_t* image,
               uint32_t flags) {
    if (!image || !valid_width(width) || !in_image(store, image, offset, width)) return DB_REFUSED5;
    if (overlaps_dynamic_slot(store, image, offset, width)) {
        trace_printf("DB Error! Integer write into dynamic object %u\n", unsigned(offset));
        return DB_REFUSED5;
    }
    if (is_global_time(store, image, offset) && !(flags & (DB_NO_JOURNAL | DB_NO_TIME_WARNING)))
        console_printf("DATABASE ERROR: Setting Global Time\n");
    if (width == 2 && value > 0xFFFFu) {
        console_printf("Validate Bad Value\r\n");
        return DB_REFUSED;
    }
    if (width == 1) value &= 0xFFu;
    if (!(flags & DB_NO_VALIDATE)) {
        int r = store.ValidateInteger(offset, width, value, image);
        if (r != DB_OK) {
            console_printf("Validate Bad Value\r\n");
            return r;
        }
    }
    const uint32_t old = load_be(image + offset, width);
    if (old == value) return unchanged(store, offset, image, flags);
    store_be(image + offset, width, value);
    if (journalling(store, image, flags) && !store.Journal()->AppendInt(offset, width, value)) {
        // Not journalled: the write is refused and the old value stays.
        if (load_be(image + offset, width) == value) store_be(image + offset, width, old);
        return DB_REFUSED5;
    }
    return changed(store, offset, image, flags);
}

const char* GetString(CDataBase& store, uint32_t offset, unsigned, uint8_t* image,
                      uint32_t* length) {
    if (length) *length = 0;
    if (!image || !in_image(store, image, offset, 4)) return kEmptyText;
    const uint8_t* block = slot_block(image, offset);
    if (!block) return kEmptyText;
    uint32_t n = block_length(block);
    if (!store.IsVolatile(image) && n > CDataBase::MAX_NV_STRING) {
        trace_printf("DB Error! Dynamic Object Too Long!\n");
        return kEmptyText;
    }
    if (length) *length = n;
    return reinterpret_cast<const char*>(block + 4);
}

uint32_t GetStringCopy(CDataBase& store, uint32_t offset, unsigned width, uint8_t* image,
                       void* buffer, uint32_t size, uint32_t* length) {
    store.Lock();
    uint32_t n = 0;
    const char* text = GetString(store, offset, width, image, &n);
    uint32_t copied = 0;
    if (buffer && size) {
        copied = n < size - 1 ? n : size - 1;
        std::memcpy(buffer, text, copied);
        static_cast<char*>(buffer)[copied] = 0;
    }
    store.Unlock();
    if (length) *length = n;
    return copied;
}

int SetString(CDataBase& store, uint32_t offset, unsigned width, const void* bytes, uint32_t length,
              uint8_t* image, uint32_t flags) {
    return write_string(store, offset, width, bytes, length, image, flags, false);
}

int SetStringShared(CDataBase& store, uint32_t offset, unsigned width, const void* bytes,
                    uint32_t length, uint8_t* image, uint32_t flags) {
    return write_string(store, offset, width, bytes, length, image, flags, true);
}

uint32_t GetGlobalTime(CDataBase&, uint32_t, unsigned width, uint8_t* image, uint32_t) {
    if (!image || width != 4) return 0;
    return read_clock();
}

int SetGlobalTime(CDataBase& store, uint32_t offset, unsigned width, uint32_t value, uint8_t* image,
                  uint32_t flags) {
    if (!image || width != 4) return DB_REFUSED5;
    if (read_clock() == value) return unchanged(store, offset, image, flags);
    write_clock(value);
    return changed(store, offset, image, flags);
}

// ---- pointer forms -------------------------------------------------------------

uint32_t GetInteger(CDataBase* store, uint32_t offset, unsigned width, uint8_t* image,
                    uint32_t flags) {
    return store ? GetInteger(*store, offset, width, image, flags) : 0;
}

int SetInteger(CDataBase* store, uint32_t offset, unsigned width, uint32_t value, uint8_t* image,
               uint32_t flags) {
    return store ? SetInteger(*store, offset, width, value, image, flags) : DB_REFUSED5;
}

const char* GetString(CDataBase* store, uint32_t offset, unsigned width, uint8_t* image,
                      uint32_t* length) {
    if (store) return GetString(*store, offset, width, image, length);
    if (length) *length = 0;
    return kEmptyText;
}

int SetString(CDataBase* store, uint32_t offset, unsigned width, const void* bytes, uint32_t length,
              uint8_t* image, uint32_t flags) {
    return store ? SetString(*store, offset, width, bytes, length, image, flags) : DB_REFUSED5;
}

uint32_t GetGlobalTime(CDataBase* store, uint32_t offset, unsigned width, uint8_t* image,
                       uint32_t flags) {
    return store ? GetGlobalTime(*store, offset, width, image, flags) : 0;
}

int SetGlobalTime(CDataBase* store, uint32_t offset, unsigned width, uint32_t value, uint8_t* image,
                  uint32_t flags) {
    return store ? SetGlobalTime(*store, offset, width, value, image, flags) : DB_REFUSED5;
}

// ---- catalogue forms ---------------------------------------------------------------

uint8_t* CDataBase::Image(DbImage image) {
    return image == DbImage::V ? v_ : nv_;
}

uint32_t GetInteger(CDataBase& s, const DbObject& o, uint32_t flags) {
    return GetInteger(s, o.offset, o.width, s.Image(o.image), flags);
}

int SetInteger(CDataBase& s, const DbObject& o, uint32_t value, uint32_t flags) {
    return SetInteger(s, o.offset, o.width, value, s.Image(o.image), flags);
}

const char* GetString(CDataBase& s, const DbObject& o, uint32_t* length) {
    return GetString(s, o.offset, o.width, s.Image(o.image), length);
}

uint32_t GetStringCopy(CDataBase& s, const DbObject& o, void* buffer, uint32_t size,
                       uint32_t* length) {
    return GetStringCopy(s, o.offset, o.width, s.Image(o.image), buffer, size, length);
}

int SetString(CDataBase& s, const DbObject& o, const void* bytes, uint32_t length, uint32_t flags) {
    return SetString(s, o.offset, o.width, bytes, length, s.Image(o.image), flags);
}

uint32_t db_get(const DbObject& o, uint32_t flags) {
    return GetInteger(TheDatabase(), o, flags);
}

int32_t db_get_signed(const DbObject& o, uint32_t flags) {
    uint32_t v = db_get(o, flags);
    unsigned bits = 8u * o.width;
    if (bits >= 32 || bits == 0) return int32_t(v);
    uint32_t sign = 1u << (bits - 1);
    return int32_t((v ^ sign) - sign);
}

int db_set(const DbObject& o, uint32_t value, uint32_t flags) {
    return SetInteger(TheDatabase(), o, value, flags);
}

int db_change_bits(const DbObject& o, uint32_t set_mask, uint32_t clear_mask, uint32_t flags) {
    CDataBase& s = TheDatabase();
    s.Lock();
    int result = db_set(o, (db_get(o) | set_mask) & ~clear_mask, flags);
    s.Unlock();
    return result;
}

const char* db_get_string(const DbObject& o, uint32_t* length) {
    return GetString(TheDatabase(), o, length);
}

uint32_t db_get_string_copy(const DbObject& o, void* buffer, uint32_t size, uint32_t* length) {
    return GetStringCopy(TheDatabase(), o, buffer, size, length);
}

int db_set_string(const DbObject& o, const void* bytes, uint32_t length, uint32_t flags) {
    return SetString(TheDatabase(), o, bytes, length, flags);
}

int db_set_text(const DbObject& o, const char* text, uint32_t flags) {
    return db_set_string(o, text, text ? uint32_t(std::strlen(text)) : 0, flags);
}

uint32_t db_get_time() {
    CDataBase& s = TheDatabase();
    return GetGlobalTime(s, obj::globalTime.offset, 4, s.NvImage(), DB_NO_TIME_WARNING);
}

int db_set_time(uint32_t seconds, uint32_t flags) {
    CDataBase& s = TheDatabase();
    return SetGlobalTime(s, obj::globalTime.offset, 4, seconds, s.NvImage(),
                         flags | DB_NO_TIME_WARNING);
}
