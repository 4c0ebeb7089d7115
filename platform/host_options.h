// The host program's options, parsed once by app/main.cpp and read by the
// platform layer (board, monitor, network stack). Firmware code never reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// The highest --speed: the firmware keeps up with it using about a quarter of
// a host core; beyond what it keeps up with the clock would slow down anyway.
const double MAX_SPEED = 1000;

struct HostOptions {
    // --state DIR: flash image, clock/NV file, environment, links.
    std::string state_dir = "./state";
    // --speed N: simulated seconds per host second (real clock), at most
    // MAX_SPEED.
    double speed = 1.0;
    // --port-offset N: added to every port the sign listens on.
    int port_offset = 0;
    // --console-log: copy the console output to standard error.
    bool console_log = false;
    // --board-id N: product board id 0..15 read from the bus logic.
    int board_id = 2;
    // --flash-size BYTES: flash file system capacity.
    uint32_t flash_size = 16u << 20;
    // --field FILE: simulated field equipment ("" none).
    std::string field_file;
    // --uart0 / --uart1 SPEC: the line of each UART, "pty" (the default: a
    // pseudo-terminal linked as uartN in the state directory) or "tcp:PORT"
    // (a listener on 127.0.0.1 at PORT plus the port offset).
    std::string uart[2] = {"pty", "pty"};
    // --ethernet IF: the host interface that stands for the sign's Ethernet
    // port: its carrier is the cable, and DHCP runs on it ("" none).
    std::string ethernet;
    // --cell-modem HOST:PORT: the cellular modem's command port is played by
    // a program on the host at HOST (an IPv4 address) and PORT; 0 none.
    uint32_t cell_modem_ip = 0;
    uint16_t cell_modem_port = 0;
    // Tests only: false makes the board's network hardware unusable.
    bool network = true;
    // The whole command line, for the restart (re-exec).
    std::vector<std::string> argv;
};

// The options of this process (defaults until app/main.cpp parsed the command
// line; tests may change them before starting the board).
HostOptions& host_options();

// Parse argv into `out`. Returns true when the command line is valid; otherwise
// false with a one-line reason in `error`.
bool parse_host_options(int argc, char** argv, HostOptions& out, std::string& error);

// The usage text printed for an unknown or malformed option.
const char* host_options_usage();

} // namespace host
