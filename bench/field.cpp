// The cost of a fully equipped sign: the whole firmware on the virtual clock
// with a field of 30 CAN boards (temperature, light, humidity and fan-speed
// sensors, DC I/O boards carrying doors, fans, heaters, switches, a surge
// suppressor and power supplies, pixel test boards) runs one simulated hour,
// beside the same hour with an empty field. Figures per simulated hour:
// host seconds (and the day they make), CAN frames on the bus, and the share
// of the host time the peripheral task's thread held the processor.
//
// Each hour runs in a child process of its own (a fresh board, field and
// firmware). The field's entries are one table: an entry whose class the
// factory cannot build yet is skipped by the sign's list load, and the bench
// names it.
#include <benchmark/benchmark.h>

#include "console/console_output.h"
#include "peripherals/pl_iterator.h"
#include "platform/board/board.h"
#include "platform/field/field.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/peripheral.h"
#include "startup/startup.h"
#include "store/database.h"
#include "store/objects.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const ULONG TICKS_PER_SECOND = 100;
const ULONG HOUR = 3600 * TICKS_PER_SECOND;
const ULONG BOOT_TICKS = 10 * TICKS_PER_SECOND;
const ULONG LOAD_TICKS = 30 * TICKS_PER_SECOND;
const int PORT_OFFSET_BASE = 40000, PORT_OFFSET_SPREAD = 8000;

// The boards on the CAN bus (field-file lines).
const char* const FIELD_BOARDS[] = {
    "can dcio io1 42230 open=29",
    "can dcio io2 42231",
    "can dcio io3 42232",
    "can dcio io4 42233",
    "can dcio io5 42234 open=27,40-46",
    "can temperature t-cabinet 42101 temp=31",
    "can temperature t-ambient 42102 temp=18",
    "can temperature t-sign1 42103 temp=35",
    "can temperature t-sign2 42104 temp=36",
    "can temperature t-sign3 42105 temp=34",
    "can light l-ambient 42001 raw=800 level=60",
    "can light l-front 42002 raw=700 level=55",
    "can light l-rear 42003 raw=300 level=20",
    "can humidity h-ambient 42901 rh=55",
    "can humidity h-sign1 42903 rh=40",
    "can humidity h-cabinet 42905 rh=35",
    "can humidity h-sign2 42907 rh=41",
    "can humidity h-sign3 42909 rh=42",
    "can rpm fan1 42521 rpm=1500 follows=io1.32",
    "can rpm fan2 42522 rpm=1500 follows=io1.32",
    "can rpm fan3 42523 rpm=1400 follows=io2.33",
    "can rpm fan4 42524 rpm=1400 follows=io2.33",
    "can rpm fan5 42525 rpm=1600 follows=io3.34",
    "can rpm fan6 42526 rpm=1600 follows=io3.34",
    "can rpm fan7 42527 rpm=1500",
    "can rpm fan8 42528 rpm=1500",
    "can ptb ptb1 42B01",
    "can ptb ptb2 42B02",
    "can ptb ptb3 42B03",
    "can ptb ptb4 42B04",
};

// The stored peripheral list of the full field, boards before the point
// peripherals on them. Entries whose class is not part of the firmware yet
// are refused by the factory and listed as skipped.
struct ListEntry {
    uint16_t id;
    const char* parameters;
};
const ListEntry FULL_LIST[] = {
    {11, "42101,1"},
    {12, "42102,1"},
    {13, "42103,1"},
    {14, "42104,1"},
    {15, "42105,1"},
    {1, "42001,1"},
    {2, "42002,1"},
    {3, "42003,1"},
    {630, "42901,1"},
    {631, "42903,1"},
    {632, "42905,1"},
    {633, "42907,1"},
    {634, "42909,1"},
    {730, "42521,1"},
    {731, "42522,1"},
    {732, "42523,1"},
    {733, "42524,1"},
    {734, "42525,1"},
    {735, "42526,1"},
    {736, "42527,1"},
    {737, "42528,1"},
    // DC I/O boards 50-54: points 24-31 inputs, 32-39 outputs, 40-55 inputs.
    {50, "42230,F0,FF,F0,F0,1"},
    {51, "42231,F0,FF,F0,F0,1"},
    {52, "42232,F0,FF,F0,F0,1"},
    {53, "42233,F0,FF,F0,F0,1"},
    {54, "42234,F0,FF,F0,F0,1"},
    {750, "42B01,1"},
    {751, "42B02,1"},
    {752, "42B03,1"},
    {753, "42B04,1"},
    // doors
    {30, "18,32"},
    {31, "18,33"},
    {32, "18,34"},
    {33, "18,35"},
    // fans and heaters: control outputs and status inputs
    {510, "20,32"},
    {514, "19,32"},
    {518, "21,33"},
    {522, "19,33"},
    {526, "22,34"},
    {530, "19,34"},
    {534, "23,32"},
    {538, "1A,32"},
    {542, "23,33"},
    {546, "1A,33"},
    // switches, surge suppressor, airflow and power sense on board 54
    {560, "28,36,4"},
    {640, "1B,36"},
    {650, "2C,36,3"},
    {75, "36,1"},
    {710, "35,20"},
    {749, "36,2"},
    // power supplies on DC I/O points and pixel-test-board channels
    {100, "1C,32"},
    {101, "1C,33"},
    {102, "4,2EE"},
    {103, "5,2EF"},
};

struct HourFigures {
    bool ok = false;
    double host_seconds = 0;
    double frames = 0;
    double peripheral_seconds = 0;
    int boards = 0, listed = 0, built = 0;
    char skipped[2048] = {}; // entries and boards whose kind is not built yet
};

std::chrono::steady_clock::time_point g_last_switch;
bool g_peripheral_running = false;
double g_peripheral_seconds = 0;

// Host time from one dispatch to the next belongs to the thread dispatched.
void on_switch(uint64_t, const char* thread) {
    const auto now = std::chrono::steady_clock::now();
    if (g_peripheral_running)
        g_peripheral_seconds += std::chrono::duration<double>(now - g_last_switch).count();
    g_last_switch = now;
    g_peripheral_running = std::strcmp(thread, "Peripheral") == 0;
}

void note_skipped(HourFigures& figures, const std::string& name) {
    const size_t used = std::strlen(figures.skipped);
    std::snprintf(figures.skipped + used, sizeof figures.skipped - used, "%s%s", used ? ", " : "",
                  name.c_str());
}

// "can KIND NAME ..." -> "KIND NAME".
std::string kind_and_name(const std::string& line) {
    const size_t kind = line.find(' ') + 1;
    const size_t end = line.find(' ', line.find(' ', kind) + 1);
    return line.substr(kind, end - kind);
}

// The boards of the field whose kind the field knows.
void add_boards(HourFigures& figures) {
    for (const char* line : FIELD_BOARDS) {
        std::string reason;
        if (host::field_line(line, reason))
            ++figures.boards;
        else
            note_skipped(figures, kind_and_name(line));
    }
}

bool boot(const std::string& dir, bool full, HourFigures& figures) {
    console_set_host_sink([](const char*) {});
    host::HostOptions& options = host::host_options();
    options.state_dir = dir;
    // The sign's host ports, away from the ports the tests claim.
    options.port_offset = PORT_OFFSET_BASE + int(getpid() % PORT_OFFSET_SPREAD);
    host::KernelConfig config;
    config.clock = host::ClockMode::Virtual;
    host::kernel_configure(config);
    std::string error;
    if (!host::board_start(options, error) || !host::field_start(options, error) ||
        !host::monitor_start(options, error)) {
        return false;
    }
    if (full) add_boards(figures);
    host::monitor_console_capture(true);
    firmware_construct();
    host::kernel_start_for_test(tx_application_define, 0);
    return true;
}

// The full list in the stored list; the peripheral task reloads it.
void store_full_list(HourFigures& figures) {
    pl_iterator list;
    list.Clear();
    for (const ListEntry& entry : FULL_LIST)
        list.Add(entry.id, "%s", entry.parameters);
    db_set(obj::peripheralConfigState, 1, DB_NOTIFY);
    db_set(obj::peripheralConfigState, 2, DB_NOTIFY);
    tx_thread_sleep(LOAD_TICKS);
    for (unsigned slot = 0; slot < sizeof FULL_LIST / sizeof FULL_LIST[0]; ++slot) {
        ++figures.listed;
        if (db_get(obj::halvPeripheralStatus.row(slot)) == 0)
            ++figures.built;
        else
            note_skipped(figures, periph_id_to_name(FULL_LIST[slot].id));
    }
}

HourFigures run_hour(bool full) {
    HourFigures figures;
    char pattern[] = "/tmp/bench_field_XXXXXX";
    if (mkdtemp(pattern) == nullptr || !boot(pattern, full, figures)) return figures;
    tx_thread_sleep(BOOT_TICKS);
    if (full) store_full_list(figures);
    const uint64_t frames = host::can_frames();
    g_last_switch = std::chrono::steady_clock::now();
    host::set_switch_hook(on_switch);
    const auto start = std::chrono::steady_clock::now();
    tx_thread_sleep(HOUR);
    figures.host_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    host::set_switch_hook(nullptr);
    figures.frames = double(host::can_frames() - frames);
    figures.peripheral_seconds = g_peripheral_seconds;
    figures.ok = true;
    host::field_stop();
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return figures;
}

// The hour in a child process: a fresh board, field and firmware each time.
HourFigures run_hour_in_child(bool full) {
    HourFigures figures;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return figures;
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_fds[0]);
        // The sign's notices (its listening ports) are not the bench's output.
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
        }
        const HourFigures measured = run_hour(full);
        const ssize_t written = write(pipe_fds[1], &measured, sizeof measured);
        _exit(written == ssize_t(sizeof measured) ? 0 : 1);
    }
    close(pipe_fds[1]);
    if (child > 0 && read(pipe_fds[0], &figures, sizeof figures) != ssize_t(sizeof figures))
        figures = HourFigures();
    close(pipe_fds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return figures;
}

void report(benchmark::State& state, const HourFigures& f) {
    if (!f.ok) {
        state.SkipWithError("the sign did not boot");
        return;
    }
    state.SetIterationTime(f.host_seconds);
    state.counters["host_s_per_sim_hour"] = f.host_seconds;
    state.counters["host_s_per_sim_day"] = f.host_seconds * 24;
    state.counters["frames_per_hour"] = f.frames;
    state.counters["peripheral_share_pct"] =
        f.host_seconds > 0 ? 100.0 * f.peripheral_seconds / f.host_seconds : 0;
    if (f.listed > 0) {
        state.counters["boards"] = f.boards;
        state.counters["peripherals_built"] = f.built;
        state.counters["peripherals_listed"] = f.listed;
        if (f.skipped[0] != '\0') state.SetLabel(std::string("skipped: ") + f.skipped);
    }
}

void BM_EmptyFieldHour(benchmark::State& state) {
    for (auto _ : state)
        report(state, run_hour_in_child(false));
}
BENCHMARK(BM_EmptyFieldHour)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_FullFieldHour(benchmark::State& state) {
    for (auto _ : state)
        report(state, run_hour_in_child(true));
}
BENCHMARK(BM_FullFieldHour)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
