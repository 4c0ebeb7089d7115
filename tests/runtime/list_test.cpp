#include "runtime/list.h"

#include <gtest/gtest.h>

namespace {

struct counted_node : impl::node {
    explicit counted_node(uint32_t k, int* deaths = nullptr) : deaths_(deaths) { key = k; }
    ~counted_node() override {
        if (deaths_) ++*deaths_;
    }
    int* deaths_;
};

TEST(ImplList, RefusesEverythingUntilInitialised) {
    impl::list l;
    counted_node n(1);
    uint32_t key = 1;
    EXPECT_EQ(0, l.pop_front());
    EXPECT_EQ(0, l.push_back(&n));
    EXPECT_EQ(nullptr, l.find(&key));
    EXPECT_EQ(1, l.init());
    EXPECT_EQ(0, l.init());
    EXPECT_EQ(0, l.pop_front()); // empty and ready
    EXPECT_EQ(0, l.push_back(nullptr));
    EXPECT_EQ(0u, l.count());
}

TEST(ImplList, KeepsInsertionOrderAndRelinksOnRemoval) {
    impl::list l;
    l.init();
    counted_node a(1), b(2), c(3), d(2);
    l.push_back(&b);
    l.push_back(&c);
    l.push_front(&a);
    l.push_back(&d);
    uint32_t keys[4];
    int i = 0;
    for (impl::list::iterator it(l); it.current(); it.next())
        keys[i++] = it.current()->key;
    EXPECT_EQ(4, i);
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 2}), std::vector<uint32_t>(keys, keys + 4));

    uint32_t two = 2;
    EXPECT_EQ(&b, l.find(&two)); // the first from the head
    EXPECT_EQ(1, l.remove_key(&two));
    EXPECT_EQ(&d, l.find(&two));
    EXPECT_EQ(&a, l.head());
    EXPECT_EQ(&c, a.next);
    EXPECT_EQ(&a, c.prev);
    EXPECT_EQ(1, l.remove(&d));
    EXPECT_EQ(&c, l.tail());
    EXPECT_EQ(nullptr, c.next);
    uint32_t nine = 9;
    EXPECT_EQ(0, l.remove_key(&nine));
    EXPECT_EQ(1, l.pop_front());
    EXPECT_EQ(1, l.pop_front());
    EXPECT_EQ(nullptr, l.head());
    EXPECT_EQ(nullptr, l.tail());
    EXPECT_EQ(0u, l.count());
}

TEST(ImplList, ClearDestroysOnlyOwnedNodesAndMakesTheListNotReady) {
    int deaths = 0;
    impl::list l;
    l.init();
    auto* owned = new counted_node(1, &deaths);
    owned->delete_on_removal = 1;
    counted_node kept(2, &deaths);
    l.push_back(owned);
    l.push_back(&kept);
    EXPECT_EQ(1, l.clear());
    EXPECT_EQ(1, deaths);
    EXPECT_EQ(impl::list::CLEARED, l.state());
    EXPECT_EQ(0, l.push_back(&kept));
    EXPECT_EQ(1, l.init());
    EXPECT_EQ(1, l.push_back(&kept)); // the survivor may be linked again
    l.pop_front();
}

TEST(ImplList, IteratorResetWalksAnotherList) {
    impl::list a, b;
    a.init();
    b.init();
    counted_node x(7), y(8);
    a.push_back(&x);
    b.push_back(&y);
    impl::list::iterator it(a);
    EXPECT_EQ(&x, it.current());
    EXPECT_EQ(0, it.next());
    EXPECT_EQ(0, it.reset(nullptr));
    EXPECT_EQ(1, it.reset(&b));
    EXPECT_EQ(&y, it.current());
    a.pop_front();
    b.pop_front();
}

TEST(ImplNode, ComparesTheKeyAloneAndAssignsBothKeyWords) {
    impl::node a, b;
    a.key = 1;
    a.key2 = 100;
    b.key = 2;
    b.key2 = 5;
    EXPECT_TRUE(a.less(b));
    EXPECT_TRUE(b.greater(a));
    EXPECT_FALSE(a.equal(b));
    a.assign_key(b);
    EXPECT_TRUE(a.equal(b));
    EXPECT_EQ(5u, a.key2);
}

TEST(ImplFifo, RingKeepsOrderAndRefusesWhenFull) {
    impl::fifo<int, 3> f;
    int v = 0;
    EXPECT_FALSE(f.pop(&v));
    for (int i = 1; i <= 3; i++)
        EXPECT_TRUE(f.push(i));
    EXPECT_FALSE(f.push(4));
    EXPECT_TRUE(f.pop(&v));
    EXPECT_EQ(1, v);
    EXPECT_TRUE(f.push(4)); // wraps
    for (int expected : {2, 3, 4}) {
        EXPECT_TRUE(f.pop(&v));
        EXPECT_EQ(expected, v);
    }
    EXPECT_TRUE(f.empty());
}

} // namespace
