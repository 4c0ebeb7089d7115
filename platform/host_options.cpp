// Parsing of the host program's command line.
#include "platform/host_options.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace host {

HostOptions& host_options() {
    static HostOptions options;
    return options;
}

const char* host_options_usage() {
    return "usage: sign-controller [--state DIR] [--speed N] [--port-offset N] [--console-log]\n"
           "                       [--board-id N] [--flash-size BYTES] [--field FILE]\n"
           "                       [--uart0 pty|tcp:PORT] [--uart1 pty|tcp:PORT] [--ethernet IF]\n"
           "                       [--cell-modem HOST:PORT]\n"
           "  --state DIR         state directory (flash image, clock, environment, links); "
           "default ./state\n"
           "  --speed N           simulated seconds per host second, above 0 and at most\n"
           "                      1000 (the fastest the firmware keeps up with); default 1\n"
           "  --port-offset N     added to every port the sign listens on, -22 to 50533; "
           "default 0\n"
           "  --console-log       copy the firmware's console output to standard error\n"
           "  --board-id N        product board id 0..15; default 2\n"
           "  --flash-size BYTES  flash file system capacity, at least 9437184; default "
           "16777216\n"
           "  --field FILE        simulated field equipment description\n"
           "  --uart0, --uart1    the serial line of each UART: pty (default, linked as\n"
           "                      uartN in the state directory) or tcp:PORT (one peer at a\n"
           "                      time on 127.0.0.1, PORT moved by --port-offset)\n"
           "  --ethernet IF       the host interface that is the sign's Ethernet port: its\n"
           "                      carrier is the link, and DHCP (halvEthernetMode 2) runs on it\n"
           "  --cell-modem HOST:PORT  the cellular modem's command port is the program\n"
           "                      listening at HOST:PORT (an IPv4 address, PORT not moved)\n";
}

namespace {

// The lowest and the highest port the sign listens on by default (telnet
// console 23, web-LCD mirror 15002); an offset must keep both in 1..65535.
const long kLowestSignPort = 23;
const long kHighestSignPort = 15002;
// Two journal files of 4 MiB (both exist while the journal compacts), their
// headers, and room for the sign's other files.
const long kMinFlashBytes = 9L << 20;

bool parse_long(const char* text, long min, long max, long& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 0);
    if (errno || end == text || *end || v < min || v > max) return false;
    out = v;
    return true;
}

bool parse_double(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text, &end);
    if (errno || end == text || *end || !(v > 0) || v > MAX_SPEED) return false;
    out = v;
    return true;
}

// "a.b.c.d:PORT" to the address (host order) and the port.
bool parse_host_port(const char* text, uint32_t& ip, uint16_t& port) {
    const char* colon = std::strrchr(text, ':');
    if (!colon) return false;
    std::string host(text, colon);
    in_addr address{};
    long n = 0;
    if (inet_pton(AF_INET, host.c_str(), &address) != 1 || !parse_long(colon + 1, 1, 65535, n))
        return false;
    ip = ntohl(address.s_addr);
    port = static_cast<uint16_t>(n);
    return true;
}

bool takes_value(const std::string& name) {
    static const char* const kNames[] = {
        "--state", "--speed", "--port-offset", "--board-id", "--flash-size",
        "--field", "--uart0", "--uart1",       "--ethernet", "--cell-modem"};
    for (const char* known : kNames)
        if (name == known) return true;
    return false;
}

// One option with a value: applies it or says why not.
bool apply_value(const std::string& name, const char* value, HostOptions& out, std::string& error) {
    long n = 0;
    if (name == "--state") {
        if (!*value) return error = "--state needs a directory", false;
        out.state_dir = value;
    } else if (name == "--speed") {
        if (!parse_double(value, out.speed))
            return error = "--speed needs a number above 0 and at most 1000", false;
    } else if (name == "--port-offset") {
        if (!parse_long(value, 1 - kLowestSignPort, 65535 - kHighestSignPort, n))
            return error = "--port-offset needs " + std::to_string(1 - kLowestSignPort) + " to " +
                           std::to_string(65535 - kHighestSignPort) +
                           " (every port of the sign, 23 to 15002, must stay within 1..65535)",
                   false;
        out.port_offset = static_cast<int>(n);
    } else if (name == "--board-id") {
        if (!parse_long(value, 0, 15, n)) return error = "--board-id needs 0 to 15", false;
        out.board_id = static_cast<int>(n);
    } else if (name == "--flash-size") {
        if (!parse_long(value, kMinFlashBytes, 0x40000000L, n))
            return error = "--flash-size needs " + std::to_string(kMinFlashBytes) +
                           " to 1073741824 bytes (the journal alone takes two files of 4 MiB)",
                   false;
        out.flash_size = static_cast<uint32_t>(n);
    } else if (name == "--field") {
        out.field_file = value;
    } else if (name == "--ethernet") {
        if (!*value || std::strlen(value) >= 16 || std::strchr(value, '/'))
            return error = "--ethernet needs an interface name (1 to 15 characters, no '/')", false;
        out.ethernet = value;
    } else if (name == "--uart0" || name == "--uart1") {
        std::string spec = value;
        if (spec != "pty" &&
            (spec.compare(0, 4, "tcp:") != 0 || !parse_long(spec.c_str() + 4, 1, 65535, n)))
            return error = name + " needs pty or tcp:PORT (PORT 1 to 65535)", false;
        out.uart[name == "--uart1"] = spec;
    } else if (name == "--cell-modem") {
        if (!parse_host_port(value, out.cell_modem_ip, out.cell_modem_port))
            return error = "--cell-modem needs HOST:PORT (an IPv4 address, PORT 1 to 65535)", false;
    } else {
        return error = "unknown option " + name, false;
    }
    return true;
}

// A serial line on TCP listens on its port plus the port offset, which must
// stay a port; the options may come in any order, so this is checked last.
bool uart_ports_fit(const HostOptions& out, std::string& error) {
    for (int port = 0; port < 2; ++port) {
        const std::string& spec = out.uart[port];
        if (spec.compare(0, 4, "tcp:") != 0) continue;
        const long moved = std::stol(spec.substr(4)) + out.port_offset;
        if (moved >= 1 && moved <= 65535) continue;
        error = "--uart" + std::to_string(port) + " " + spec + " with --port-offset " +
                std::to_string(out.port_offset) + " gives port " + std::to_string(moved) +
                ", outside 1 to 65535";
        return false;
    }
    return true;
}

} // namespace

bool parse_host_options(int argc, char** argv, HostOptions& out, std::string& error) {
    out.argv.assign(argv, argv + argc);
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--console-log") {
            out.console_log = true;
            continue;
        }
        std::string name = arg, value;
        size_t eq = arg.find('=');
        if (eq != std::string::npos) name = arg.substr(0, eq);
        if (!takes_value(name)) {
            error = arg.compare(0, 2, "--") == 0 ? "unknown option " + name
                                                 : "unexpected argument " + arg;
            return false;
        }
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = "option " + arg + " needs a value";
            return false;
        }
        if (!apply_value(name, value.c_str(), out, error)) return false;
    }
    return uart_ports_fit(out, error);
}

} // namespace host
