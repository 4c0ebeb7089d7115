// Object store throughput: reads and writes per second of integer and string
// objects, on the kernel with the "dynamic database" pool over board RAM.
#include <benchmark/benchmark.h>

#include "platform/kernel/host.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/objects.h"

#include <memory>
#include <string>

namespace {

void define_pools(void* first_unused) {
    uint8_t* cursor = static_cast<uint8_t*>(first_unused);
    create_shared_kernel_objects(&cursor);
}

// The kernel (once per process) and a store with validation and notification
// on, as at run time, but without a journal.
CDataBase& store() {
    static std::unique_ptr<CDataBase> db = [] {
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(define_pools, 0);
        std::unique_ptr<CDataBase> s(new CDataBase);
        s->SetNotifyOn(true);
        return s;
    }();
    return *db;
}

const DbObject kInteger = obj::halvFeatureSet;           // 4 bytes, no rule, notified on change
const DbObject kString = obj::changeableMsgOwner.row(0); // a status-gated string
const DbObject kText = obj::sysLocation;                 // a plain string

void BM_GetInteger(benchmark::State& state) {
    CDataBase& db = store();
    for (auto _ : state)
        benchmark::DoNotOptimize(GetInteger(db, kInteger.offset, 4, db.NvImage(), 0));
    state.SetItemsProcessed(state.iterations());
}

void BM_SetIntegerChanged(benchmark::State& state) {
    CDataBase& db = store();
    uint32_t v = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(SetInteger(db, kInteger.offset, 4, ++v, db.NvImage(), DB_NOTIFY));
    state.SetItemsProcessed(state.iterations());
}

void BM_SetIntegerUnchanged(benchmark::State& state) {
    CDataBase& db = store();
    for (auto _ : state)
        benchmark::DoNotOptimize(SetInteger(db, kInteger.offset, 4, 7, db.NvImage(), DB_NOTIFY));
    state.SetItemsProcessed(state.iterations());
}

void BM_GetString(benchmark::State& state) {
    CDataBase& db = store();
    std::string v(state.range(0), 'x');
    SetString(db, kText.offset, 4, v.data(), uint32_t(v.size()), db.NvImage(), 0);
    uint32_t n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(GetString(db, kText.offset, 4, db.NvImage(), &n));
    state.SetItemsProcessed(state.iterations());
}

void BM_GetStringCopy(benchmark::State& state) {
    CDataBase& db = store();
    std::string v(state.range(0), 'x');
    SetString(db, kText.offset, 4, v.data(), uint32_t(v.size()), db.NvImage(), 0);
    char buffer[2048];
    for (auto _ : state)
        benchmark::DoNotOptimize(
            GetStringCopy(db, kText.offset, 4, db.NvImage(), buffer, sizeof buffer));
    state.SetItemsProcessed(state.iterations());
}

// Writes `object` with `a` and `b` in turn, one write per iteration.
void write_alternately(benchmark::State& state, const DbObject& object, const std::string& a,
                       const std::string& b) {
    CDataBase& db = store();
    bool flip = false;
    for (auto _ : state) {
        const std::string& v = (flip = !flip) ? a : b;
        benchmark::DoNotOptimize(
            SetString(db, object.offset, 4, v.data(), uint32_t(v.size()), db.NvImage(), DB_NOTIFY));
    }
    state.SetItemsProcessed(state.iterations());
}

// Same length, other bytes: the block is kept.
void BM_SetStringSameLength(benchmark::State& state) {
    write_alternately(state, kText, std::string(state.range(0), 'a'),
                      std::string(state.range(0), 'b'));
}

// Another length each time: a new block and a release per write.
void BM_SetStringNewBlock(benchmark::State& state) {
    write_alternately(state, kText, std::string(state.range(0), 'a'),
                      std::string(state.range(0) + 1, 'b'));
}

// A gated message string: validation reads the row's status first.
void BM_SetStringValidated(benchmark::State& state) {
    CDataBase& db = store();
    SetInteger(db, obj::changeableMsgStatus.offset, 1, 2, db.NvImage(), DB_NO_VALIDATE);
    write_alternately(state, kString, std::string(state.range(0), 'a'),
                      std::string(state.range(0), 'b'));
}

BENCHMARK(BM_GetInteger);
BENCHMARK(BM_SetIntegerChanged);
BENCHMARK(BM_SetIntegerUnchanged);
BENCHMARK(BM_GetString)->Arg(16)->Arg(1000);
BENCHMARK(BM_GetStringCopy)->Arg(16)->Arg(1000);
BENCHMARK(BM_SetStringSameLength)->Arg(16)->Arg(1000);
BENCHMARK(BM_SetStringNewBlock)->Arg(16)->Arg(1000);
BENCHMARK(BM_SetStringValidated)->Arg(64);

} // namespace
