// The trap queue's edges: a full ring keeps the last ten, expiry stops at the
// first record that has not expired, and a record keeps at most ten varbinds
// of at most twenty value bytes.
#include "comm/agents/trap_queue.h"
#include "tests/support/kernel_fixture.h"

#include <cstring>

namespace {

using TrapQueue = test_support::KernelFixture;

trap_record numbered(uint32_t specific, uint32_t expiry = 0) {
    trap_record r;
    CTrapBuffer::Fill(r, TRAP_ENTERPRISE_SPECIFIC, specific, 0, nullptr, expiry);
    return r;
}

TEST_F(TrapQueue, ElevenPushesKeepTheLastTenOldestFirst) {
    CTrapBuffer queue;
    trap_record out = numbered(99);
    EXPECT_FALSE(queue.Pop(out));
    EXPECT_EQ(99u, out.specific); // an empty pop changes nothing
    EXPECT_TRUE(queue.IsEmpty());
    for (uint32_t i = 1; i <= 11; i++)
        queue.Push(numbered(i));
    EXPECT_EQ(10u, queue.Count());
    for (uint32_t i = 2; i <= 11; i++) {
        ASSERT_TRUE(queue.Pop(out));
        EXPECT_EQ(i, out.specific);
    }
    EXPECT_TRUE(queue.IsEmpty());
}

TEST_F(TrapQueue, ExpiryStopsAtTheFirstRecordThatHasNotExpired) {
    CTrapBuffer queue;
    queue.Push(numbered(1, 100));
    queue.Push(numbered(2, 300));
    queue.Push(numbered(3, 50)); // expired, but behind an unexpired one
    queue.Push(numbered(4, 0));  // never expires
    queue.DropExpired(99);
    EXPECT_EQ(4u, queue.Count());
    queue.DropExpired(100);
    EXPECT_EQ(3u, queue.Count());
    queue.DropExpired(1000);
    EXPECT_EQ(1u, queue.Count());
    trap_record out;
    ASSERT_TRUE(queue.Pop(out));
    EXPECT_EQ(4u, out.specific);
}

TEST_F(TrapQueue, ARecordKeepsTenVarbindsOfTwentyBytesAndFortySubIdentifiers) {
    trap_varbind given[12];
    std::memset(given, 0, sizeof given);
    for (uint32_t i = 0; i < 12; i++) {
        given[i].name_length = 45;
        for (uint32_t k = 0; k < TRAP_NAME_MAX; k++)
            given[i].name[k] = k + 1;
        given[i].type = 2;
        given[i].value_length = 30; // more than a varbind keeps
        std::memset(given[i].value, 'a' + int(i), TRAP_VALUE_MAX);
    }
    trap_record r;
    CTrapBuffer::Fill(r, TRAP_ENTERPRISE_SPECIFIC, 17, 12, given, 0);
    EXPECT_EQ(10u, r.count);
    for (uint32_t i = 0; i < r.count; i++) {
        EXPECT_EQ(TRAP_NAME_MAX, r.varbinds[i].name_length);
        EXPECT_EQ(TRAP_VALUE_MAX, r.varbinds[i].value_length);
        EXPECT_EQ(uint8_t('a' + int(i)), r.varbinds[i].value[19]);
    }
}

} // namespace
