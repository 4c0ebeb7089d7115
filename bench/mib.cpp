// MIB registry lookups per second through getStatPtr, as the agent makes
// them: GET and GETNEXT of MIB-II scalars, of the instances of a two-index
// table, and GETNEXT across the hand-over from one subtree to the next.
#include <benchmark/benchmark.h>

#include "bench/bench_sign.h"
#include "ntcip/mib/mib.h"
#include "ntcip/mib/registry.h"
#include "store/objects.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

using Oid = std::vector<uint32_t>;
using namespace mibdef;

// A two-index table of 50 x 11 rows in the "halv" subtree, after the MIB-II
// subtree and the empty ones between.
constexpr auto kTwoIndexRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11},
          {
              column2({5, 1, 1, 255}, MIB_INTEGER, obj::changeableMsgStatus, 50, 11),
              column2({5, 1, 2, 255}, MIB_INTEGER, obj::changeableMsgRunTimePriority, 50, 11),
          });
constexpr mib_table kTwoIndexTable = table(kTwoIndexRows);
const mib_table* const kTables[] = {&kTwoIndexTable};
constexpr uint32_t HALV = 3;

// The sign at its defaults and the registry with the two-index table, once
// per process.
void start_sign() {
    static bool started = [] {
        if (!bench::start_sign_at_defaults()) return false;
        init_mib();
        mib_set_subtree_tables(HALV, kTables, 1);
        return true;
    }();
    (void)started;
}

Oid mib2(std::initializer_list<uint32_t> rest) {
    Oid o = {1, 3, 6, 1, 2, 1};
    o.insert(o.end(), rest);
    return o;
}

std::vector<Oid> scalars() {
    return {mib2({1, 1, 0}), mib2({1, 3, 0}),  mib2({1, 7, 0}),  mib2({2, 1, 0}),
            mib2({4, 1, 0}), mib2({4, 13, 0}), mib2({11, 1, 0}), mib2({11, 29, 0})};
}

std::vector<Oid> two_index_instances() {
    std::vector<Oid> names;
    for (uint32_t c : {1u, 2u})
        for (uint32_t i : {1u, 17u, 49u})
            for (uint32_t j : {1u, 6u, 11u})
                names.push_back({1, 3, 6, 1, 4, 1, 1206, 3, 11, 5, 1, c, i, j});
    return names;
}

// The last MIB-II object, and a name past the last object of a subtree.
std::vector<Oid> hand_overs() {
    return {mib2({11, 30, 0}), mib2({11, 31}), mib2({10, 33, 3, 1, 8, 5})};
}

void run(benchmark::State& state, int mode, const std::vector<Oid>& names) {
    start_sign();
    std::unique_ptr<snmp_pdu> pdu(new snmp_pdu());
    std::unique_ptr<mib_context> ctx(new mib_context());
    mib_context_begin(*ctx, MIB_ALL_RIGHTS);
    snmp_varbind& vb = pdu->varbinds[0];
    size_t k = 0;
    for (auto _ : state) {
        const Oid& name = names[k];
        k = k + 1 == names.size() ? 0 : k + 1;
        std::memcpy(vb.name, name.data(), name.size() * sizeof(uint32_t));
        vb.name_length = uint32_t(name.size());
        uint8_t type = SNMP_NULL;
        uint32_t value_length = 0;
        uint16_t access = 0;
        int error = 0;
        benchmark::DoNotOptimize(getStatPtr(*ctx, vb.name, &vb.name_length, &type, &value_length,
                                            &access, mode, pdu.get(), 0, &error));
        if (error != MIB_FOUND) state.SkipWithError("lookup failed");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Get_Mib2Scalar(benchmark::State& state) {
    run(state, MIB_GET, scalars());
}
void BM_GetNext_Mib2Scalar(benchmark::State& state) {
    run(state, MIB_GETNEXT, scalars());
}
void BM_Get_TwoIndexInstance(benchmark::State& state) {
    run(state, MIB_GET, two_index_instances());
}
void BM_GetNext_TwoIndexInstance(benchmark::State& state) {
    run(state, MIB_GETNEXT, two_index_instances());
}
void BM_GetNext_HandOver(benchmark::State& state) {
    run(state, MIB_GETNEXT, hand_overs());
}

} // namespace

BENCHMARK(BM_Get_Mib2Scalar);
BENCHMARK(BM_GetNext_Mib2Scalar);
BENCHMARK(BM_Get_TwoIndexInstance);
BENCHMARK(BM_GetNext_TwoIndexInstance);
BENCHMARK(BM_GetNext_HandOver);
