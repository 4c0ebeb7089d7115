// The whole firmware restarted over its state directory: the first boot runs
// in a child process that ends abruptly (as at a power loss or a restart),
// the second boot in the test process must find every setting again,
// including what the start-up sequence itself wrote.
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/host_options.h"
#include "platform/monitor/monitor_host.h"
#include "startup/startup.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include "store/journal.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void boot(const std::string& dir) {
    std::string error;
    if (!test_support::BootFirmware(
            dir, [] { host::monitor_set_restart_callback([](int) {}); }, 0, error))
        _exit(99);
}

TEST(PersistFirmwareTest, RestartOfTheWholeFirmwareBringsBackItsSettings) {
    char pattern[] = "/tmp/persist-firmware-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        boot(dir);
        tx_thread_sleep(300); // the database task runs its first cycles
        bool ok = db_set(obj::dmsSignHeight, 4321, 0) == DB_OK &&
                  db_set_text(obj::sysLocation, "end to end", 0) == DB_OK;
        tx_thread_sleep(200);
        _exit(ok ? int(db_get(obj::watchdogFailureCount)) : 200);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    const int first_count = WEXITSTATUS(status);
    ASSERT_LT(first_count, 200);

    boot(dir);
    EXPECT_EQ(4321u, db_get(obj::dmsSignHeight));
    EXPECT_STREQ("end to end", db_get_string(obj::sysLocation));
    // The start cause of the first boot was journalled, and counted again.
    EXPECT_EQ(uint32_t(first_count + 1), db_get(obj::watchdogFailureCount));
    EXPECT_EQ(0u, db_get(obj::dmsSWReset));
    // The first boot ended early: one early restart counted, cleared after 30 s.
    EXPECT_EQ(1, bus_read8(BUS_EARLY_RESTART) & 0x0F);
    tx_thread_sleep(3200);
    EXPECT_EQ(0, bus_read8(BUS_EARLY_RESTART) & 0x0F);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

// The sign under 100 writes a second, stopped again and again as a kill -9
// would stop it: at the end of 45-second runs and in the middle of a flash
// write at random moments, while its journal compacts. Each run is a child
// process; it logs every write it attempts and every write acknowledged to
// it, and the next run checks that each object holds its last acknowledged
// value (or the attempt the kill cut short).
const int kKilled = 42;
// 45 seconds: longer than the 30 after which a start stops counting as an
// early restart, and than the first run's compaction (about 35).
const ULONG kRunTicks = 4500;
const unsigned kRows = 40;

DbObject written_object(unsigned k) {
    return k < kRows ? obj::changeableMsgMultiString.row(k) : obj::changeableMsgCRC.row(k - kRows);
}

std::string current_value(unsigned k) {
    if (k >= kRows) return std::to_string(db_get(written_object(k)));
    uint32_t n = 0;
    const char* text = db_get_string(written_object(k), &n);
    return std::string(text, n);
}

// What the log says each object must hold: the last acknowledged value, or
// the value of a later attempt that the kill cut short.
struct Expected {
    std::string acked;
    std::string attempted;
    bool open = false;
};

std::map<unsigned, Expected> read_log(const std::string& path) {
    std::map<unsigned, Expected> expected;
    std::ifstream in(path);
    unsigned last = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (line[0] == 'a') {
            std::istringstream fields(line.substr(2));
            std::string value;
            fields >> last;
            std::getline(fields, value);
            Expected& e = expected[last];
            e.attempted = value.empty() ? "" : value.substr(1);
            e.open = true;
        } else if (line[0] == 'k') {
            Expected& e = expected[last];
            e.acked = e.attempted;
            e.open = false;
        } else if (line[0] == 'r') {
            expected[last].open = false; // refused: the old value stays
        }
    }
    return expected;
}

class WriteLog {
  public:
    explicit WriteLog(const std::string& path)
        : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644)) {}
    // One write, logged before it is made and after it was acknowledged.
    int Write(unsigned k, const std::string& value) {
        Line("a " + std::to_string(k) + " " + value + "\n");
        const int rc = k < kRows
                           ? db_set_text(written_object(k), value.c_str(), DB_NO_VALIDATE)
                           : db_set(written_object(k), uint32_t(std::stoul(value)), DB_NO_VALIDATE);
        Line(rc == DB_OK ? "k\n" : "r\n");
        return rc;
    }

  private:
    void Line(const std::string& line) {
        if (::write(fd_, line.data(), line.size()) != ssize_t(line.size())) _exit(98);
    }
    int fd_;
};

struct SignRun {
    bool fill;       // first run: fill the journal past the compaction threshold
    ULONG kill_tick; // the kill is armed at this tick of the writer ...
    uint32_t writes; // ... and strikes before this many further flash writes (0: at once)
    bool after_long_run = false; // the run before lasted its kRunTicks
};

// One run of the sign; ends the process (the child).
void run_sign(const std::string& dir, const SignRun& run, unsigned seed) {
    std::string error;
    if (!test_support::BootFirmware(
            dir, [] { host::monitor_set_restart_callback([](int) { _exit(97); }); }, 2, error))
        _exit(99);
    for (const auto& e : read_log(dir + "/../writes.log")) {
        const std::string now = current_value(e.first);
        if (now == e.second.acked || (e.second.open && now == e.second.attempted)) continue;
        std::fprintf(stderr, "object %u holds \"%s\", acknowledged \"%s\"\n", e.first, now.c_str(),
                     e.second.acked.c_str());
        _exit(3);
    }
    // A run that lasted its 45 seconds had its early-restart count cleared after
    // 30, compaction or not: this start is counted as the first early one.
    const uint8_t early = bus_read8(BUS_EARLY_RESTART);
    if ((early & 8) || (run.after_long_run && (early & 0x0F) != 1)) _exit(5);
    WriteLog log(dir + "/../writes.log");
    std::mt19937 rng(seed);
    if (run.fill) {
        std::string big(1500, 'f');
        for (unsigned i = 0; TheDatabase().FlashUsedPercent() < 76; ++i) {
            big[0] = char('a' + i % 26);
            if (log.Write(i % kRows, big) != DB_OK) _exit(4);
        }
    }
    for (ULONG tick = 0; tick < kRunTicks; ++tick) {
        if (tick == run.kill_tick) {
            if (!run.writes) _exit(kKilled);
            host::monitor_flash().ExitBeforeWriteForTest(run.writes, kKilled);
        }
        const unsigned k = rng() % (2 * kRows);
        const std::string value = k < kRows ? std::string(20 + rng() % 180, char('A' + rng() % 26))
                                            : std::to_string(rng() % 65536);
        if (log.Write(k, value) != DB_OK) _exit(4); // the journal must keep up
        tx_thread_sleep(1);
    }
    _exit(kKilled);
}

TEST(PersistFirmwareTest, KilledAgainAndAgainUnderSustainedWritesLosesNoAcknowledgedWrite) {
    char pattern[] = "/tmp/persist-kill-XXXXXX";
    const std::string top = mkdtemp(pattern);
    const std::string dir = top + "/state";
    std::mt19937 rng(2024);
    std::vector<SignRun> runs = {{true, kRunTicks, 0}, {false, kRunTicks, 0}};
    for (int i = 0; i < 3; ++i)
        runs.push_back({false, ULONG(100 + rng() % (kRunTicks - 100)), uint32_t(1 + rng() % 40)});
    runs.push_back({false, kRunTicks, 0});
    runs.push_back({false, kRunTicks, 0});
    for (size_t r = 1; r < runs.size(); ++r)
        runs[r].after_long_run = runs[r - 1].kill_tick == kRunTicks;
    for (size_t r = 0; r < runs.size(); ++r) {
        SCOPED_TRACE(r);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) run_sign(dir, runs[r], unsigned(r));
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(kKilled, WEXITSTATUS(status))
            << "3: a lost write, 4: a refused write, 5: an early-restart count not cleared";
    }
    // Last start: every acknowledged write is there, and compactions ran.
    std::string error;
    ASSERT_TRUE(test_support::BootFirmware(
        dir, [] { host::monitor_set_restart_callback([](int) {}); }, 2, error));
    for (const auto& e : read_log(top + "/writes.log")) {
        const std::string now = current_value(e.first);
        EXPECT_TRUE(now == e.second.acked || (e.second.open && now == e.second.attempted))
            << "object " << e.first << " holds \"" << now << "\"";
    }
    CDatabase* journal = persist_journal(TheDatabase());
    ASSERT_NE(nullptr, journal);
    ASSERT_NE(nullptr, journal->ActiveName());
    const uint8_t* header = tfs_file_data(mon_tfsstat(journal->ActiveName()));
    EXPECT_GE(header[5], 1); // the generation: at least one compaction finished
    EXPECT_EQ(0, bus_read8(BUS_EARLY_RESTART) & 8);
    std::error_code ignored;
    std::filesystem::remove_all(top, ignored);
}

} // namespace
