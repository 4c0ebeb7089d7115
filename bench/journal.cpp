// Flash journal figures: writes per second through the journal (integer and
// string objects; integers also flushed to the image file as a SET's write
// is before its answer), flash bytes used per write, and the replay time of a
// journal of 10,000 records, over a real flash image in a temporary directory.
#include <benchmark/benchmark.h>

#include "console/console_output.h"
#include "platform/board/board.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/journal.h"
#include "store/objects.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace {

void define_pools(void* first_unused) {
    uint8_t* cursor = static_cast<uint8_t*>(first_unused);
    create_shared_kernel_objects(&cursor);
}

// A store bound to a journal over the flash image; Fresh() starts a new
// empty journal file (the old one removed and its space reclaimed).
struct Bench {
    std::unique_ptr<CDataBase> db;
    std::unique_ptr<CDatabase> journal;

    Bench() {
        console_set_host_sink([](const char*) {}); // the journal's start-up lines
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(define_pools, 0);
        char dir[] = "/tmp/journal-bench-XXXXXX";
        host::host_options().state_dir = mkdtemp(dir);
        host::host_options().flash_size = 16u << 20;
        std::string error;
        host::board_start(host::host_options(), error);
        host::monitor_start(host::host_options(), error);
    }
    // The old store's strings go back to the pool.
    void ReleaseStrings() {
        if (!db) return;
        for (uint32_t o = 0; o < CDataBase::NV_IMAGE_BYTES; o += 4)
            if (CDataBase::IsDynamicOffset(o))
                SetString(*db, o, 4, nullptr, 0, db->NvImage(), DB_NO_JOURNAL | DB_NO_VALIDATE);
    }
    void NewStore() {
        ReleaseStrings();
        journal.reset();
        db.reset(new CDataBase);
        journal.reset(new CDatabase(*db));
        db->BindJournal(journal.get());
        journal->CreateMutexes();
    }
    void Fresh() {
        ReleaseStrings();
        journal.reset();
        db.reset();
        mon_tfsunlink("nv1.dat");
        mon_tfsunlink("nv2.dat");
        host::monitor_flash().RequestDefrag();
        host::monitor_stop();
        std::string error;
        host::monitor_start(host::host_options(), error);
        NewStore();
        journal->Load();
        journal->Commit();
    }
};

Bench& bench() {
    static Bench b;
    return b;
}

// Appends until the file is nearly full, then starts a fresh one (untimed).
template <typename Write> void run_writes(benchmark::State& state, Write write) {
    Bench& b = bench();
    b.Fresh();
    uint64_t bytes = 0, writes = 0;
    uint32_t v = 0;
    for (auto _ : state) {
        if (b.journal->ActiveUsed() > 3u << 20) {
            state.PauseTiming();
            b.Fresh();
            state.ResumeTiming();
        }
        uint32_t before = b.journal->ActiveUsed();
        write(*b.db, ++v);
        bytes += b.journal->ActiveUsed() - before;
        ++writes;
    }
    state.SetItemsProcessed(int64_t(writes));
    state.counters["flash_bytes_per_write"] = double(bytes) / double(writes ? writes : 1);
}

void BM_JournalIntegerWrite(benchmark::State& state) {
    run_writes(state, [](CDataBase& db, uint32_t v) {
        SetInteger(db, obj::watchdogFailureCount.offset, 4, v, db.NvImage(), DB_NO_VALIDATE);
    });
}

// The same writes, each flushed to the image file as a SET's write is before
// its answer: the difference is what the flush costs a SET.
void BM_JournalIntegerWriteFlushed(benchmark::State& state) {
    run_writes(state, [](CDataBase& db, uint32_t v) {
        SetInteger(db, obj::watchdogFailureCount.offset, 4, v, db.NvImage(), DB_NO_VALIDATE);
        mon_tfsctrl(TFS_CTRL_SYNC, 0, 0);
    });
}

void BM_JournalStringWrite32(benchmark::State& state) {
    std::string text(32, 's');
    run_writes(state, [&text](CDataBase& db, uint32_t v) {
        text[0] = char('a' + v % 26);
        SetString(db, obj::sysLocation.offset, 4, text.data(), uint32_t(text.size()), db.NvImage(),
                  DB_NO_VALIDATE);
    });
}

// 10,000 records (integers of 2,000 objects and 20-byte strings of 50
// message rows), replayed into a fresh store.
void BM_JournalReplay10000(benchmark::State& state) {
    Bench& b = bench();
    b.Fresh();
    std::string text(20, 'm');
    for (uint32_t i = 0; i < 10000; ++i) {
        if (i % 10 == 0) {
            text[0] = char('a' + (i / 500) % 26); // a new value for the row each time
            SetString(*b.db, obj::changeableMsgMultiString.row((i / 10) % 50).offset, 4,
                      text.data(), uint32_t(text.size()), b.db->NvImage(), DB_NO_VALIDATE);
        } else {
            SetInteger(*b.db, obj::characterWidth.row(i % 2000).offset, 1, 1 + i / 2000,
                       b.db->NvImage(), DB_NO_VALIDATE);
        }
    }
    uint32_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.NewStore();
        state.ResumeTiming();
        b.journal->Load();
        records = b.journal->ReplayedRecords();
    }
    state.counters["records"] = records;
}

} // namespace

BENCHMARK(BM_JournalIntegerWrite);
BENCHMARK(BM_JournalIntegerWriteFlushed);
BENCHMARK(BM_JournalStringWrite32);
BENCHMARK(BM_JournalReplay10000)->Unit(benchmark::kMillisecond);
