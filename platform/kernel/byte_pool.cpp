// Byte pools: first-fit pools whose block headers live in the pool memory.
//
// Layout: a chain of blocks, each a 16-byte header followed by its data.
// Offsets are from the pool start; the last block ends at the pool size.
// Freed blocks merge with free neighbours at once. The pool keeps the offsets
// of its free blocks (ascending) and of its allocated ones on the host side,
// so that an allocation looks at the free blocks alone, first fit by address
// as a walk of the chain would, and a release checks its block without a
// walk. Under AddressSanitizer
// the data of free blocks in board RAM is poisoned, so that firmware touching
// a released block is caught.
#include "platform/kernel/core.h"

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define POOL_POISON(p, a, n) (p->checked ? ASAN_POISON_MEMORY_REGION(a, n) : (void)0)
#define POOL_UNPOISON(p, a, n) (p->checked ? ASAN_UNPOISON_MEMORY_REGION(a, n) : (void)0)
#else
#define POOL_POISON(p, a, n) ((void)(p), (void)(a), (void)(n))
#define POOL_UNPOISON(p, a, n) ((void)(p), (void)(a), (void)(n))
#endif

namespace kernel {

namespace {

const uint32_t kFree = 0x46524545; // "FREE"
const uint32_t kUsed = 0x55534544; // "USED"
const uint32_t kNone = 0xFFFFFFFF;
const ULONG kHeader = 16;
const ULONG kAlign = 8;
const ULONG kMinimumPool = 64;

struct Header {
    uint32_t next; // offset of the next block (or the pool size)
    uint32_t prev; // offset of the previous block (kNone for the first)
    uint32_t magic;
    uint32_t reserved;
};

Header* at(Pool* p, uint32_t off) {
    return reinterpret_cast<Header*>(p->start + off);
}
uint32_t offset_of(Pool* p, Header* h) {
    return static_cast<uint32_t>(reinterpret_cast<uint8_t*>(h) - p->start);
}
uint32_t data_bytes(Pool* p, Header* h) {
    return h->next - offset_of(p, h) - kHeader;
}

void* try_allocate(Pool* p, ULONG size) {
    ULONG need = kHeader + ((size + kAlign - 1) & ~(kAlign - 1));
    for (uint32_t off : p->free_blocks) {
        Header* h = at(p, off);
        if (h->next - off < need) continue;
        if (h->next - off >= need + kHeader + kAlign) { // split off the rest
            uint32_t rest = off + static_cast<uint32_t>(need);
            Header* r = at(p, rest);
            POOL_UNPOISON(p, r, kHeader);
            r->next = h->next;
            r->prev = off;
            r->magic = kFree;
            r->reserved = 0;
            if (h->next < p->size) at(p, h->next)->prev = rest;
            h->next = rest;
            p->free_blocks.insert(rest);
        }
        h->magic = kUsed;
        p->free_blocks.erase(off);
        p->used_blocks.insert(off);
        POOL_UNPOISON(p, reinterpret_cast<uint8_t*>(h) + kHeader, data_bytes(p, h));
        return reinterpret_cast<uint8_t*>(h) + kHeader;
    }
    return nullptr;
}

// Merge block `off` with the free block after it, when there is one.
void merge_next(Pool* p, uint32_t off) {
    Header* h = at(p, off);
    if (h->next >= p->size) return;
    Header* n = at(p, h->next);
    if (n->magic != kFree) return;
    p->free_blocks.erase(h->next);
    h->next = n->next;
    if (h->next < p->size) at(p, h->next)->prev = off;
    n->magic = 0;
}

Pool* pool_holding(const void* memory) {
    const uint8_t* m = static_cast<const uint8_t*>(memory);
    for (auto& entry : K().live) {
        if (entry.second->type != ObjType::Pool) continue;
        Pool* p = static_cast<Pool*>(entry.second);
        if (m >= p->start + kHeader && m < p->start + p->size) return p;
    }
    return nullptr;
}

// The block header of `memory` when it is a live block of `p`.
Header* used_block(Pool* p, const void* memory) {
    uint32_t off = static_cast<uint32_t>(static_cast<const uint8_t*>(memory) - p->start) - kHeader;
    return p->used_blocks.count(off) != 0 ? at(p, off) : nullptr;
}

} // namespace

void pool_retry_waiters(Pool* p) {
    Link* l = p->waiters.front();
    while (l) {
        Link* next = p->waiters.next_of(l);
        Tcb* t = tcb_of_link(l);
        if (void* block = try_allocate(p, t->pool_size)) {
            t->pool_block = block;
            end_wait(t, TX_SUCCESS);
        }
        l = next;
    }
}

} // namespace kernel

using namespace kernel;

UINT tx_byte_pool_create(TX_BYTE_POOL* pool, const char* name, void* start, ULONG size) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    if (!pool || K().live.count(pool)) return TX_POOL_ERROR;
    if (!start) return TX_PTR_ERROR;
    uintptr_t s = reinterpret_cast<uintptr_t>(start);
    uintptr_t aligned = (s + kAlign - 1) & ~static_cast<uintptr_t>(kAlign - 1);
    if (size < kMinimumPool + (aligned - s)) return TX_SIZE_ERROR;
    ULONG usable = static_cast<ULONG>((size - (aligned - s)) & ~(kAlign - 1));
    Pool* p = new Pool;
    p->name = name;
    p->start = reinterpret_cast<uint8_t*>(aligned);
    p->size = usable;
    p->created_size = size;
    p->checked = K().ram && p->start >= K().ram && p->start + usable <= K().ram + K().ram_size;
    POOL_UNPOISON(p, p->start, usable);
    Header* first = at(p, 0);
    first->next = usable;
    first->prev = kNone;
    first->magic = kFree;
    first->reserved = 0;
    p->free_blocks.insert(0);
    POOL_POISON(p, p->start + kHeader, usable - kHeader);
    pool->kernel_object = p;
    pool->name = name;
    register_object(pool, p);
    return TX_SUCCESS;
}

UINT tx_byte_pool_delete(TX_BYTE_POOL* pool) {
    Lock lk(K().m);
    if (K().ctx == Ctx::Isr || K().ctx == Ctx::Timer) return TX_CALLER_ERROR;
    Pool* p = find<Pool>(pool, ObjType::Pool);
    if (!p) return TX_POOL_ERROR;
    while (Link* l = p->waiters.front())
        end_wait(tcb_of_link(l), TX_DELETED);
    unregister_object(pool, p);
    POOL_UNPOISON(p, p->start, p->size);
    pool->kernel_object = nullptr;
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_byte_allocate(TX_BYTE_POOL* pool, void** memory, ULONG size, ULONG wait) {
    Lock lk(K().m);
    Pool* p = find<Pool>(pool, ObjType::Pool);
    if (!p) return TX_POOL_ERROR;
    if (!memory) return TX_PTR_ERROR;
    if (size == 0 || size > p->size) return TX_SIZE_ERROR;
    if (wait != TX_NO_WAIT && !in_thread()) return TX_WAIT_ERROR;
    if (void* block = try_allocate(p, size)) {
        *memory = block;
        preempt_point(lk);
        return TX_SUCCESS;
    }
    if (wait == TX_NO_WAIT) return TX_NO_MEMORY;
    Tcb* self = K().current;
    self->pool_size = size;
    self->pool_block = nullptr;
    UINT status = block(lk, WaitKind::Pool, p, wait);
    if (status == TX_SUCCESS) *memory = self->pool_block;
    return status;
}

UINT tx_byte_release(void* memory) {
    Lock lk(K().m);
    if (!memory) return TX_PTR_ERROR;
    Pool* p = pool_holding(memory);
    if (!p) return TX_PTR_ERROR;
    Header* h = used_block(p, memory);
    if (!h) return TX_PTR_ERROR;
    h->magic = kFree;
    uint32_t off = offset_of(p, h);
    p->used_blocks.erase(off);
    p->free_blocks.insert(off);
    merge_next(p, off);
    if (h->prev != kNone && at(p, h->prev)->magic == kFree) {
        off = h->prev;
        merge_next(p, off);
    }
    POOL_POISON(p, p->start + off + kHeader, data_bytes(p, at(p, off)));
    pool_retry_waiters(p);
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_byte_pool_info_get(TX_BYTE_POOL* pool, const char** name, ULONG* available_bytes,
                           ULONG* fragments) {
    Lock lk(K().m);
    Pool* p = find<Pool>(pool, ObjType::Pool);
    if (!p) return TX_POOL_ERROR;
    ULONG available = 0, count = 0;
    for (uint32_t off = 0; off < p->size; off = at(p, off)->next) {
        ++count;
        if (at(p, off)->magic == kFree) available += data_bytes(p, at(p, off));
    }
    if (name) *name = p->name;
    if (available_bytes) *available_bytes = available;
    if (fragments) *fragments = count;
    return TX_SUCCESS;
}

UINT tx_byte_pool_size_get(TX_BYTE_POOL* pool, ULONG* size) {
    Lock lk(K().m);
    Pool* p = find<Pool>(pool, ObjType::Pool);
    if (!p) return TX_POOL_ERROR;
    if (!size) return TX_PTR_ERROR;
    *size = p->created_size;
    return TX_SUCCESS;
}
