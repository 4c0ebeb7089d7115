// The host program's command line.
#include "platform/host_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Parse(std::vector<std::string> args, host::HostOptions& out, std::string& error) {
    args.insert(args.begin(), "sign-controller");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    return host::parse_host_options(static_cast<int>(argv.size()), argv.data(), out, error);
}

TEST(HostOptions, DefaultsAndEveryOption) {
    host::HostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_EQ(o.state_dir, "./state");
    EXPECT_EQ(o.speed, 1.0);
    EXPECT_EQ(o.port_offset, 0);
    EXPECT_FALSE(o.console_log);
    ASSERT_TRUE(Parse({"--state", "/tmp/s", "--speed=2.5", "--port-offset", "1000", "--console-log",
                       "--board-id", "5", "--flash-size", "0x900000", "--field", "f.txt",
                       "--ethernet", "veth0", "--cell-modem", "127.0.0.1:4023"},
                      o, error))
        << error;
    EXPECT_EQ(o.state_dir, "/tmp/s");
    EXPECT_EQ(o.speed, 2.5);
    EXPECT_EQ(o.port_offset, 1000);
    EXPECT_TRUE(o.console_log);
    EXPECT_EQ(o.board_id, 5);
    EXPECT_EQ(o.flash_size, 0x900000u);
    EXPECT_EQ(o.field_file, "f.txt");
    EXPECT_EQ(o.ethernet, "veth0");
    EXPECT_EQ(o.cell_modem_ip, 0x7F000001u);
    EXPECT_EQ(o.cell_modem_port, 4023);
    EXPECT_EQ(o.argv.size(), 17u); // kept whole for the restart
}

TEST(HostOptions, RefusesWhatItDoesNotKnowOrCannotUse) {
    struct Case {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"extra"}, "unexpected argument extra"},
        {{"--speed"}, "needs a value"},
        {{"--speed", "0"}, "--speed"},
        {{"--speed", "fast"}, "--speed"},
        {{"--speed", "1001"}, "at most 1000"}, // beyond what the firmware keeps up with
        {{"--board-id", "16"}, "--board-id"},
        {{"--port-offset", "12x"}, "--port-offset"},
        {{"--flash-size", "100"}, "--flash-size"},
        // Too small for the two journal files.
        {{"--flash-size", "9437183"}, "--flash-size needs 9437184"},
        // Offsets that would put a port of the sign outside 1..65535.
        {{"--port-offset", "-23"}, "--port-offset needs -22 to 50533"},
        {{"--port-offset", "50534"}, "--port-offset"},
        {{"--port-offset", "65513"}, "--port-offset"},
        {{"--port-offset", "65535"}, "--port-offset"},
        {{"--state="}, "--state"},
        {{"--ethernet="}, "--ethernet needs an interface name"},
        {{"--ethernet", "a-name-of-16-chr"}, "--ethernet"},
        {{"--ethernet", "../eth0"}, "--ethernet"},
        {{"--cell-modem", "4023"}, "--cell-modem needs HOST:PORT"},
        {{"--cell-modem", "localhost:4023"}, "--cell-modem"},
        {{"--cell-modem", "127.0.0.1:0"}, "--cell-modem"},
        {{"--cell-modem", "127.0.0.1:70000"}, "--cell-modem"},
        {{"--cell-modem", "127.0.0.1:"}, "--cell-modem"},
        // A serial line's TCP port moved by the offset out of range, in either order.
        {{"--uart0", "tcp:65000", "--port-offset", "31000"},
         "--uart0 tcp:65000 with --port-offset 31000 gives port 96000, outside 1 to 65535"},
        {{"--port-offset", "-22", "--uart1", "tcp:22"}, "--uart1 tcp:22 with --port-offset -22"},
    };
    for (const Case& c : cases) {
        host::HostOptions o;
        std::string error;
        EXPECT_FALSE(Parse(c.args, o, error)) << c.args[0];
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    // The bounds themselves are accepted.
    for (const char* offset : {"-22", "50533"}) {
        host::HostOptions o;
        std::string error;
        EXPECT_TRUE(Parse({"--port-offset", offset, "--flash-size", "9437184"}, o, error)) << error;
    }
}

} // namespace
