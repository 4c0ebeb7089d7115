// Host side of the boot monitor: start, stop, restart callback, console
// capture for tests. Firmware code never includes this.
#pragma once

#include "platform/host_options.h"
#include "platform/monitor/flash_fs.h"

#include <functional>
#include <string>

namespace host {

// Mount the flash image (state_dir/flash.img, options.flash_size bytes when
// new), load the environment (state_dir/environment), run "monrc" from flash
// and fill in the missing network variables. Problems found in the flash image
// are printed on standard error. Returns false with the reason in `error` when
// the flash image cannot be used (the monitor then runs without flash: every
// flash service answers TFSERR_NOTOPEN).
bool monitor_start(const HostOptions& options, std::string& error);
// Unmount and forget everything (tests; an in-process restart).
void monitor_stop();

// The restart code a watchdog expiry passes to the restart callback.
const int MONITOR_RESTART_WATCHDOG = -1;
// Tests: instead of re-executing the program, a restart (mon_restart, the
// watchdog, the "reset" command) calls this, in whatever context it happened
// (the watchdog's in interrupt context). Null gives back the re-execution.
void monitor_set_restart_callback(std::function<void(int code)> callback);

// Tests: console output is kept (instead of going to standard output) while
// capture is on; take returns and clears what was kept. Input given here is
// read before standard input.
void monitor_console_capture(bool on);
std::string monitor_console_take();
void monitor_console_input(const std::string& text);

// The mounted flash (for tools and tests).
monitor::FlashFs& monitor_flash();

// Whether the firmware's watchdog is enabled now.
bool monitor_watchdog_enabled();

} // namespace host
