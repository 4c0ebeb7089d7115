// Several threads walking the MIB-II objects at once, one GETNEXT a tick
// each, get the answers of one walk alone: no lookup state is shared
// between requests.
#include "tests/ntcip/mib/mib_fixture.h"

#include "runtime/pools.h"

#include <atomic>

using namespace mib_test;

namespace {

constexpr unsigned WALKERS = 4;

struct Step {
    Oid name;
    uint32_t number;
    std::string octets;
    bool operator==(const Step& o) const {
        return name == o.name && number == o.number && octets == o.octets;
    }
};

// One walker's request state and what it saw (heap, not the thread's stack).
struct Walker {
    std::unique_ptr<snmp_pdu> pdu = snmp_test::new_pdu();
    mib_context ctx;
    std::vector<Step> steps;
};

Walker* g_walkers[WALKERS];
std::atomic<unsigned> g_done{0};

Step next(Walker& w, const Oid& from, int* error) {
    snmp_varbind& vb = w.pdu->varbinds[0];
    std::copy(from.begin(), from.end(), vb.name);
    vb.name_length = uint32_t(from.size());
    uint8_t type = SNMP_NULL;
    uint32_t value_length = 0;
    uint16_t access = 0;
    getStatPtr(w.ctx, vb.name, &vb.name_length, &type, &value_length, &access, MIB_GETNEXT,
               w.pdu.get(), 0, error);
    Step s{snmp_test::name_of(vb), 0, {}};
    if (*error != MIB_FOUND) return s;
    if (type == MIB_OCTETSTR || type == MIB_OBJECTID)
        s.octets.assign(reinterpret_cast<const char*>(vb.handler_result), value_length);
    else
        s.number = uint32_t(vb.handler_result);
    return s;
}

void walk(Walker& w, bool pause) {
    mib_context_begin(w.ctx, MIB_ALL_RIGHTS);
    Oid name = kMib2;
    for (int n = 0; n < 400; ++n) {
        int error = 0;
        Step s = next(w, name, &error);
        if (error != MIB_FOUND || s.name.size() < 6 || s.name[4] != 2) break;
        w.steps.push_back(s);
        name = s.name;
        if (pause) tx_thread_sleep(1); // let the other walkers run in between
    }
}

void walker_entry(ULONG index) {
    walk(*g_walkers[index], true);
    ++g_done;
}

class MibConcurrencyTest : public MibFixture {};

TEST_F(MibConcurrencyTest, ConcurrentWalksGiveTheAnswersOfOneWalk) {
    Walker alone;
    walk(alone, false);
    ASSERT_EQ(195u, alone.steps.size()); // every MIB-II instance
    for (size_t i = 1; i < alone.steps.size(); ++i)
        EXPECT_LT(alone.steps[i - 1].name, alone.steps[i].name);

    std::unique_ptr<Walker> walkers[WALKERS];
    TX_THREAD threads[WALKERS];
    for (unsigned i = 0; i < WALKERS; ++i) {
        walkers[i].reset(new Walker);
        g_walkers[i] = walkers[i].get();
        void* stack = nullptr;
        ASSERT_EQ(TX_SUCCESS, tx_byte_allocate(&thread_stack_pool(), &stack, 8192, TX_NO_WAIT));
        ASSERT_EQ(TX_SUCCESS, tx_thread_create(&threads[i], "walker", walker_entry, i, stack, 8192,
                                               5, 5, 0, TX_AUTO_START));
    }
    for (int waited = 0; g_done < WALKERS && waited < 1000; ++waited)
        tx_thread_sleep(10);
    ASSERT_EQ(WALKERS, g_done.load());
    for (unsigned i = 0; i < WALKERS; ++i)
        EXPECT_TRUE(walkers[i]->steps == alone.steps) << "walker " << i;
    for (TX_THREAD& t : threads)
        tx_thread_delete(&t);
}

} // namespace
