// Passes per second of the event log's service with all 60 configuration
// rows in use on MIB-II and sign objects, each watched object read through
// the registry as a GET. A pass runs every half second on the schedule task:
// it must take a small part of that.
//   quiet:   every row evaluated, no condition met (the common case)
//   logging: every row logs on every pass into classes that are full, so
//            each event drops the oldest row and moves the rest up
#include <benchmark/benchmark.h>

#include "bench/bench_sign.h"
#include "ntcip/mib/mib.h"
#include "ntcip/schedule/event_log.h"
#include "store/objects.h"

#include <memory>
#include <vector>

namespace {

using Oid = std::vector<uint32_t>;

// Watched objects: MIB-II scalars and the sign's global objects.
const std::vector<Oid> kWatched = {
    {1, 3, 6, 1, 2, 1, 1, 3, 0},                      // sysUpTime
    {1, 3, 6, 1, 2, 1, 1, 5, 0},                      // sysName (its checksum)
    {1, 3, 6, 1, 2, 1, 4, 3, 0},                      // ipInReceives
    {1, 3, 6, 1, 2, 1, 4, 13, 0},                     // ipReasmTimeout
    {1, 3, 6, 1, 2, 1, 11, 1, 0},                     // snmpInPkts
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0},       // globalTime
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 2, 0},       // globalDaylightSaving
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 4, 5, 0},       // maxEventClasses
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 4, 6, 1, 2, 3}, // eventClassLimit.3
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 1, 2, 0},       // globalMaxModules
};

void set_oid(const DbObject& object, const Oid& oid) {
    std::vector<uint8_t> bytes(4 * oid.size() + 1);
    oid_to_octets(bytes.data(), oid.data(), uint32_t(oid.size()));
    db_set_string(object, bytes.data(), uint32_t(4 * oid.size()), DB_NO_VALIDATE);
}

// All 60 rows: modes onChange, greaterThanValue, hysteresisBound and
// andedWithValue in turn (or periodic 0 when logging), classes 1..16.
void configure(bool logging) {
    static bool started = [] {
        if (!bench::start_sign_at_defaults()) return false;
        init_mib();
        return true;
    }();
    (void)started;
    const uint32_t modes[] = {2, 3, 5, 7};
    for (uint32_t r = 0; r < CEventLogging::CONFIG_ROWS; ++r) {
        const Oid& watched = kWatched[r % kWatched.size()];
        db_set(obj::eventConfigClass.row(r), 1 + r % CEventLogging::CLASSES, 0);
        db_set(obj::eventConfigMode.row(r), logging ? 6 : modes[r % 4], 0);
        db_set(obj::eventConfigCompareValue.row(r), logging ? 0 : 0x7FFFFFF0, 0);
        db_set(obj::eventConfigCompareValue2.row(r), logging ? 0 : 0x7FFFFFFF, 0);
        set_oid(obj::eventConfigCompareOID.row(r), watched);
        set_oid(obj::eventConfigLogOID.row(r), watched);
        db_set(obj::eventConfigAction.row(r), 3, 0);
    }
    for (uint32_t c = 0; c < CEventLogging::CLASSES; ++c)
        db_set(obj::eventClassLimit.row(c), 15, 0);
}

void run(benchmark::State& state, bool logging) {
    configure(logging);
    std::unique_ptr<CEventLogging> log(new CEventLogging);
    for (int i = 0; i < 70; ++i) // past the start-up passes, classes full
        log->Service();
    for (auto _ : state)
        log->Service();
    state.counters["passes/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_EventLogPassQuiet(benchmark::State& state) {
    run(state, false);
}
void BM_EventLogPassLogging(benchmark::State& state) {
    run(state, true);
}

BENCHMARK(BM_EventLogPassQuiet);
BENCHMARK(BM_EventLogPassLogging);

} // namespace
