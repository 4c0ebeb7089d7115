// The whole firmware restarted over its state directory: the first boot runs
// in a child process that ends abruptly (as at a power loss or a restart),
// the second boot in the test process must find every setting again,
// including what the start-up sequence itself wrote.
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/host_options.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/startup.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <filesystem>
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

} // namespace
