#include "comm/agents/trap_queue.h"

#include "platform/kernel/kernel.h"

#include <cstring>

void CTrapBuffer::Fill(trap_record& record, uint32_t generic, uint32_t specific, uint32_t count,
                       const trap_varbind* varbinds, uint32_t expiry) {
    std::memset(&record, 0, sizeof record);
    record.generic = generic;
    record.specific = specific;
    record.count = varbinds ? (count < TRAP_VARBINDS_MAX ? count : TRAP_VARBINDS_MAX) : 0;
    for (uint32_t i = 0; i < record.count; i++) {
        trap_varbind& to = record.varbinds[i];
        const trap_varbind& from = varbinds[i];
        to.name_length = from.name_length < TRAP_NAME_MAX ? from.name_length : TRAP_NAME_MAX;
        std::memcpy(to.name, from.name, to.name_length * sizeof to.name[0]);
        to.type = from.type;
        to.value_length = from.value_length < TRAP_VALUE_MAX ? from.value_length : TRAP_VALUE_MAX;
        std::memcpy(to.value, from.value, to.value_length);
    }
    record.expiry = expiry;
}

void CTrapBuffer::Push(const trap_record& record) {
    CInterruptLock lock;
    records_[head_] = record;
    head_ = (head_ + 1) % TRAP_QUEUE_RECORDS;
    if (count_ < TRAP_QUEUE_RECORDS) count_++;
    if (count_ == TRAP_QUEUE_RECORDS) tail_ = head_;
}

bool CTrapBuffer::Pop(trap_record& out) {
    CInterruptLock lock;
    if (count_ == 0) return false;
    out = records_[tail_];
    tail_ = (tail_ + 1) % TRAP_QUEUE_RECORDS;
    count_--;
    return true;
}

bool CTrapBuffer::IsEmpty() const {
    CInterruptLock lock;
    return count_ == 0;
}

uint32_t CTrapBuffer::Count() const {
    CInterruptLock lock;
    return count_;
}

void CTrapBuffer::DropExpired(uint32_t now) {
    CInterruptLock lock;
    while (count_ != 0 && records_[tail_].expiry != 0 && records_[tail_].expiry <= now) {
        tail_ = (tail_ + 1) % TRAP_QUEUE_RECORDS;
        count_--;
    }
}

void CTrapBuffer::Clear() {
    CInterruptLock lock;
    head_ = tail_ = count_ = 0;
}

CTrapBuffer& TheTrapBuffer() {
    static CTrapBuffer buffer;
    return buffer;
}
