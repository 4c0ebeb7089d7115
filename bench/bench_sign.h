// Shared start of the benchmarks that need a sign: the kernel on the virtual
// clock with the start-up pools and the general-purpose pool, the board over
// a scratch state directory (removed at exit), and the object store at its
// factory and run-time defaults.
#pragma once

#include "platform/board/board.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "runtime/gp_buffer.h"
#include "runtime/pools.h"
#include "store/database.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

inline void define_sign_pools(void* first_unused) {
    uint8_t* cursor = static_cast<uint8_t*>(first_unused);
    create_shared_kernel_objects(&cursor);
    TheGPBuffer().Create(&cursor, GP_BUFFER_BYTES);
}

// -> false when the board cannot start. Call once per process.
inline bool start_sign_at_defaults() {
    char pattern[] = "/tmp/bench_sign_XXXXXX";
    if (!mkdtemp(pattern)) return false;
    host::host_options().state_dir = pattern;
    std::string error;
    if (!host::board_start(host::host_options(), error)) return false;
    std::atexit([] {
        host::board_stop();
        std::error_code ignored;
        std::filesystem::remove_all(host::host_options().state_dir, ignored);
    });
    host::KernelConfig config;
    config.clock = host::ClockMode::Virtual;
    host::kernel_configure(config);
    host::kernel_start_for_test(define_sign_pools, 0);
    TheDatabase().SetDefaults(0);
    TheDatabase().InitVolatile();
    return true;
}

} // namespace bench
