// The two leveled diagnostic printers used by every layer. Level 0
// (console_printf) always prints; level 1 (trace_printf) prints only while the
// trace level is 1. Text reaches a logged-in telnet console when the console
// bit of the feature object is set (and, on the host, the --console-log copy).
// Declared here, below every user; the console subsystem defines them
// (console/console_output.cpp) over the monitor task.
#pragma once

int console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int trace_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A console_printf text that also reaches the notice sink of the host
// (console_output.h): for facts a technician must see without logging in.
int console_notice(const char* format, ...) __attribute__((format(printf, 1, 2)));
