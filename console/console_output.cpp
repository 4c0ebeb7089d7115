#include "runtime/console.h"
#include "console/console_output.h"
#include "console/monitor_task.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

const int CONSOLE_BUFFER_BYTES = 200;

console_sink_fn& host_sink() {
    static console_sink_fn sink = nullptr;
    return sink;
}

console_sink_fn& notice_sink() {
    static console_sink_fn sink = nullptr;
    return sink;
}

// Format into the caller's own 200-byte buffer (a longer text is cut at 199
// characters), so that callers of one level never overwrite each other's text.
int output(int level, const char* format, va_list args, bool notice = false) {
    char text[CONSOLE_BUFFER_BYTES];
    int n = vsnprintf(text, sizeof text, format, args);
    if (n < 0) return n;
    // The formatted length, not strlen: a "%c" of NUL is a byte of output too.
    const uint32_t length = std::min<uint32_t>(static_cast<uint32_t>(n), sizeof text - 1);
    CMonitorTask& monitor = TheMonitorTask();
    if (level <= monitor.TraceLevel() && host_sink()) host_sink()(text);
    if (notice && notice_sink()) notice_sink()(text);
    monitor.Output(level, text, length);
    return n;
}

} // namespace

void console_set_host_sink(console_sink_fn sink) {
    host_sink() = sink;
}

void console_set_notice_sink(console_sink_fn sink) {
    notice_sink() = sink;
}

int console_notice(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = output(0, format, args, true);
    va_end(args);
    return n;
}

int console_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = output(0, format, args);
    va_end(args);
    return n;
}

int trace_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = output(1, format, args);
    va_end(args);
    return n;
}

int console_putchar(int c) {
    console_printf("%c", c);
    return 0;
}
