// The trap queue: the one ring of ten trap records that every raiser fills
// (CNTCIP::SendTrap) and every delivery path empties (the communication
// task's pass, the trap-on-poll answer of a serial agent). A push into a full
// queue overwrites the oldest record. Each operation runs under one lock, so
// raisers on any thread and the delivery threads never see half a record.
#pragma once

#include "comm/agents/trap_raise.h"

#include <cstdint>

const uint32_t TRAP_QUEUE_RECORDS = 10;

// One queued trap: the varbinds keep their values inside the record.
struct trap_record {
    uint32_t generic;
    uint32_t specific;
    uint32_t count; // 0 to TRAP_VARBINDS_MAX
    trap_varbind varbinds[TRAP_VARBINDS_MAX];
    uint32_t expiry; // global time (s) from which the record is dropped; 0 never
};

class CTrapBuffer {
  public:
    CTrapBuffer() = default;
    virtual ~CTrapBuffer() = default;
    CTrapBuffer(const CTrapBuffer&) = delete;
    CTrapBuffer& operator=(const CTrapBuffer&) = delete;

    // Builds a record: at most ten varbinds, names of at most 40
    // sub-identifiers, values of at most 20 bytes.
    static void Fill(trap_record& record, uint32_t generic, uint32_t specific, uint32_t count,
                     const trap_varbind* varbinds, uint32_t expiry);
    void Push(const trap_record& record);
    // The oldest record into `out`. -> false (out unchanged) when empty.
    bool Pop(trap_record& out);
    bool IsEmpty() const;
    uint32_t Count() const;
    // Drops the oldest records while their expiry is not after `now`; stops at
    // the first record that has not expired (records behind it stay).
    void DropExpired(uint32_t now);
    void Clear();

  private:
    uint32_t head_ = 0;
    uint32_t count_ = 0;
    uint32_t tail_ = 0;
    trap_record records_[TRAP_QUEUE_RECORDS] = {};
};

// The one queue all agents share.
CTrapBuffer& TheTrapBuffer();
