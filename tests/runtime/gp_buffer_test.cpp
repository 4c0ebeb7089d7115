#include "runtime/gp_buffer.h"

#include "tests/support/kernel_fixture.h"

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

} // namespace
