// Host side of the console output: a copy of every shown console text goes to
// the sink installed here (app/main installs one for --console-log; test
// fixtures install one to capture the start-up lines). Null removes it.
#pragma once

typedef void (*console_sink_fn)(const char* text);
void console_set_host_sink(console_sink_fn sink);

// One character through console_printf ("%c"); the prompt's echo and the boot
// monitor's output hook. -> 0.
int console_putchar(int c);

// The sign's notices for whoever runs it (app/main prints them on standard
// output; on the board they would go to its serial port): the few facts a
// technician needs before any console login, such as why the telnet console
// stays closed. Null removes the sink.
void console_set_notice_sink(console_sink_fn sink);
