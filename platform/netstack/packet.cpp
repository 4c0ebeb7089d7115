// Packet pools: fixed-size packets carved from one memory area, a free list
// under the interrupt lock and a counting semaphore for the waiting takers.
#include "platform/netstack/internal.h"

#include <cstring>

namespace {

struct pool_impl {
    TX_SEMAPHORE free_count{};
    uint8_t* first = nullptr;
    uint8_t* end = nullptr;
};

pool_impl* impl_of(NX_PACKET_POOL* pool) {
    return pool ? static_cast<pool_impl*>(pool->impl) : nullptr;
}

ULONG round8(ULONG n) {
    return (n + 7u) & ~7u;
}

void reset_packet(NX_PACKET* packet, ULONG header_room) {
    ULONG room = static_cast<ULONG>(packet->data_end - packet->data_start);
    if (header_room > room) header_room = room;
    packet->prepend_ptr = packet->data_start + header_room;
    packet->append_ptr = packet->prepend_ptr;
    packet->length = 0;
    packet->source_ip = 0;
    packet->source_port = 0;
    packet->cut = 0;
    packet->next = nullptr;
}

} // namespace

UINT nx_packet_pool_create(NX_PACKET_POOL* pool, const char* name, ULONG payload_size, void* memory,
                           ULONG memory_size) {
    if (!pool || !memory) return NX_PTR_ERROR;
    ULONG slot = round8(sizeof(NX_PACKET)) + round8(payload_size);
    if (payload_size == 0 || memory_size < slot) return NX_SIZE_ERROR;
    pool_impl* impl = new pool_impl;
    *pool = NX_PACKET_POOL{};
    pool->name = name;
    pool->payload_size = payload_size;
    pool->impl = impl;
    uint8_t* base = static_cast<uint8_t*>(memory);
    impl->first = base;
    ULONG count = memory_size / slot;
    for (ULONG i = count; i-- > 0;) {
        NX_PACKET* packet = reinterpret_cast<NX_PACKET*>(base + i * slot);
        *packet = NX_PACKET{};
        packet->pool = pool;
        packet->data_start = base + i * slot + round8(sizeof(NX_PACKET));
        packet->data_end = packet->data_start + payload_size;
        packet->next = pool->free_list;
        pool->free_list = packet;
    }
    impl->end = base + count * slot;
    pool->total_packets = pool->free_packets = count;
    if (tx_semaphore_create(&impl->free_count, name, count) != TX_SUCCESS) {
        delete impl;
        pool->impl = nullptr;
        return NX_POOL_ERROR;
    }
    return NX_SUCCESS;
}

UINT nx_packet_pool_delete(NX_PACKET_POOL* pool) {
    pool_impl* impl = impl_of(pool);
    if (!impl) return NX_PTR_ERROR;
    tx_semaphore_delete(&impl->free_count);
    delete impl;
    pool->impl = nullptr;
    return NX_SUCCESS;
}

UINT nx_packet_allocate(NX_PACKET_POOL* pool, NX_PACKET** packet, ULONG packet_type, ULONG wait) {
    pool_impl* impl = impl_of(pool);
    if (!impl || !packet) return NX_PTR_ERROR;
    *packet = nullptr;
    if (wait != NX_NO_WAIT && tx_in_non_thread_context()) return NX_WAIT_ERROR;
    {
        CInterruptLock lock;
        if (pool->free_packets == 0) {
            pool->empty_requests++;
            if (wait != NX_NO_WAIT) pool->empty_suspensions++;
        }
    }
    UINT rc = tx_semaphore_get(&impl->free_count, wait);
    if (rc == TX_WAIT_ABORTED) return NX_WAIT_ABORTED;
    if (rc != TX_SUCCESS) return NX_NO_PACKET;
    CInterruptLock lock;
    NX_PACKET* taken = pool->free_list;
    if (!taken) return NX_NO_PACKET; // cannot happen while the count matches the list
    pool->free_list = taken->next;
    pool->free_packets--;
    taken->allocated = 1;
    reset_packet(taken, packet_type);
    *packet = taken;
    return NX_SUCCESS;
}

UINT nx_packet_release(NX_PACKET* packet) {
    if (!packet || !packet->pool) return NX_PTR_ERROR;
    NX_PACKET_POOL* pool = packet->pool;
    pool_impl* impl = impl_of(pool);
    if (!impl) return NX_POOL_DELETED;
    {
        CInterruptLock lock;
        if (!packet->allocated) {
            pool->invalid_releases++;
            return NX_ALREADY_RELEASED;
        }
        packet->allocated = 0;
        packet->next = pool->free_list;
        pool->free_list = packet;
        pool->free_packets++;
    }
    tx_semaphore_put(&impl->free_count);
    return NX_SUCCESS;
}

UINT nx_packet_transmit_release(NX_PACKET* packet) {
    return nx_packet_release(packet);
}

UINT nx_packet_data_append(NX_PACKET* packet, const void* data, ULONG size, NX_PACKET_POOL* pool,
                           ULONG wait) {
    (void)pool;
    (void)wait;
    if (!packet || (!data && size)) return NX_PTR_ERROR;
    if (size > static_cast<ULONG>(packet->data_end - packet->append_ptr)) return NX_OVERFLOW;
    if (size) memcpy(packet->append_ptr, data, size);
    packet->append_ptr += size;
    packet->length += size;
    return NX_SUCCESS;
}

UINT nx_packet_data_retrieve(NX_PACKET* packet, void* buffer, ULONG size, ULONG* copied) {
    if (!packet || !buffer || !copied) return NX_PTR_ERROR;
    ULONG n = packet->length < size ? packet->length : size;
    memcpy(buffer, packet->prepend_ptr, n);
    *copied = n;
    return NX_SUCCESS;
}

UINT nx_packet_pool_info_get(NX_PACKET_POOL* pool, ULONG* total_packets, ULONG* free_packets,
                             ULONG* empty_requests, ULONG* empty_suspensions,
                             ULONG* invalid_releases) {
    if (!impl_of(pool)) return NX_PTR_ERROR;
    CInterruptLock lock;
    if (total_packets) *total_packets = pool->total_packets;
    if (free_packets) *free_packets = pool->free_packets;
    if (empty_requests) *empty_requests = pool->empty_requests;
    if (empty_suspensions) *empty_suspensions = pool->empty_suspensions;
    if (invalid_releases) *invalid_releases = pool->invalid_releases;
    return NX_SUCCESS;
}
