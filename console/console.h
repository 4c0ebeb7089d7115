// The two leveled diagnostic printers used by every subsystem. Level 0
// (console_printf) always prints; level 1 (trace_printf) prints only while the
// trace level is 1. Text reaches a logged-in telnet console when the console
// bit of the feature object is set (and, on the host, the --console-log copy).
#pragma once

int console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int trace_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
