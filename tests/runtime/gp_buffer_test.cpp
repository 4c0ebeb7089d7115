#include "runtime/gp_buffer.h"

#include "tests/support/kernel_fixture.h"

#include <vector>

namespace {

class GPBuffer : public test_support::KernelFixture {};

TEST_F(GPBuffer, RefusesBeforeCreateAndNeverWaits) {
    CGPBuffer pool;
    void* block = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(0, pool.Allocate(&block, 100));
    EXPECT_EQ(nullptr, block);
    EXPECT_EQ(0, pool.Release(nullptr));

    uint8_t* cursor = test_support::FreeRam();
    uint8_t* start = cursor;
    ASSERT_EQ(1, pool.Create(&cursor, 0x10000));
    EXPECT_EQ(start + 0x10000, cursor);
    EXPECT_EQ(0, pool.Create(&cursor, 0x10000)); // only once
    EXPECT_EQ(start + 0x10000, cursor);

    void* big = nullptr;
    ASSERT_EQ(1, pool.Allocate(&big, 0xC000));
    EXPECT_EQ(1u, pool.Outstanding());
    ULONG before = tx_time_get();
    void* more = nullptr;
    EXPECT_EQ(0, pool.Allocate(&more, 0xC000)); // no block: refused at once
    EXPECT_EQ(nullptr, more);
    EXPECT_EQ(before, tx_time_get());
    EXPECT_EQ(0, pool.Release(nullptr));
    EXPECT_EQ(1, pool.Release(big));
    EXPECT_EQ(0u, pool.Outstanding());
    EXPECT_EQ(1, pool.Allocate(&more, 0xC000));
    EXPECT_EQ(1, pool.Release(more));
}

// The use count is one byte: 253 blocks at most are out at a time; one more
// is refused (rather than wrapping the count into "not created").
TEST_F(GPBuffer, AtMost253BlocksAreOutAtATime) {
    CGPBuffer pool;
    uint8_t* cursor = test_support::FreeRam();
    ASSERT_EQ(1, pool.Create(&cursor, 0x10000));
    std::vector<void*> blocks(253);
    for (void*& b : blocks)
        ASSERT_EQ(1, pool.Allocate(&b, 16));
    void* one_more = nullptr;
    EXPECT_EQ(0, pool.Allocate(&one_more, 16));
    EXPECT_EQ(nullptr, one_more);
    EXPECT_EQ(1, pool.Release(blocks.back()));
    EXPECT_EQ(1, pool.Allocate(&one_more, 16));
    blocks.back() = one_more;
    for (void* b : blocks)
        EXPECT_EQ(1, pool.Release(b));
    EXPECT_EQ(0u, pool.Outstanding());
}

} // namespace
