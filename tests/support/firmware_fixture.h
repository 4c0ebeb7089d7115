// FirmwareFixture: boots the whole firmware in-process on the virtual clock:
// the board, the field (options.field_file, when a fixture names one) and the
// boot monitor over a fresh temporary state directory, the
// boot construction (firmware_construct) and tx_application_define; the test
// body then runs as a kernel thread (priority 0 by default) and
// tx_thread_sleep(n) lets the system run for n ticks.
//
// Options() may be changed in a derived fixture's Configure() before the
// board starts (board id, flash size, ...); Prepare() runs after the board
// and monitor started and before the firmware boots (type console input,
// put files into flash).
#pragma once

#include "platform/host_options.h"
#include "tests/support/kernel_fixture.h"

#include <functional>
#include <string>

namespace test_support {

// Boot the whole firmware over `state_dir` on the virtual clock: the board and
// the boot monitor (console captured), `prepare`, the boot construction and
// tx_application_define; the caller then runs as a kernel thread at
// `priority`. Host options other than the state directory are used as they
// stand. -> false with `error` when the board or the monitor cannot start,
// or when the firmware already booted in this process (it boots once per
// process; a second boot goes into a child, BootInChild).
bool BootFirmware(const std::string& state_dir, const std::function<void()>& prepare, UINT priority,
                  std::string& error);

// A power cut: `before_cut` runs on a first boot of the firmware over
// `state_dir` in a child process, which then ends abruptly; the board stays
// off for `off_seconds` (its real-time clock runs on, its global-time counter
// does not), and the firmware boots again in this process. -> false with
// `error` when the first boot failed or the board cannot start again.
bool BootAfterPowerOff(const std::string& state_dir, const std::function<void()>& before_cut,
                       uint32_t off_seconds, std::string& error);

// A boot of the whole firmware over `state_dir` in a child process whose
// restart ends it with status 0: after `settle_ticks`, `body` runs and its
// result is the child's exit status. -> that status; BOOT_IN_CHILD_FAILED
// when the child could not boot, 255 when it did not end normally.
const int BOOT_IN_CHILD_FAILED = 99;
int BootInChild(const std::string& state_dir, const std::function<int()>& body,
                ULONG settle_ticks = 1500);

class FirmwareFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    virtual void Configure(host::HostOptions& options) { (void)options; }
    virtual void Prepare() {}
    virtual UINT TestPriority() const { return 0; }

    const std::string& StateDir() const { return state_dir_; }

  private:
    std::string state_dir_;
};

// The firmware fixture with restarts (mon_restart, the watchdog, "reset")
// counted instead of re-executing the program.
class RestartCountingFixture : public FirmwareFixture {
  protected:
    void Prepare() override;
    void TearDown() override;
    static int Restarts();
};

} // namespace test_support
