// The "vms" monitor command, run as the console runs it: one command line
// through the boot monitor; its output is what console_printf showed.
#include "console/monitor_task.h"
#include "comm/network.h"
#include "console/vms_command.h"
#include "display/display_task.h"
#include "peripherals/can/can_networks.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/post_office.h"
#include "runtime/watchdog_task.h"
#include "tests/support/firmware_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using test_support::ClearConsole;
using test_support::ConsoleText;

class Vms : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        tx_thread_sleep(300); // the tasks are running
    }
    // Run one line; -> the command's result, with its output in `shown`.
    int Run(const std::string& line) {
        ClearConsole();
        std::vector<std::string> words;
        size_t at = 0;
        while ((at = line.find_first_not_of(' ', at)) != std::string::npos) {
            size_t end = line.find(' ', at);
            words.push_back(line.substr(at, end - at));
            at = end;
        }
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(&w[0]);
        argv.push_back(nullptr);
        int result = vms_command(static_cast<int>(words.size()), argv.data());
        shown = ConsoleText();
        return result;
    }
    std::string shown;
};

struct Case {
    const char* line;
    int result;
    const char* output; // exact output
};

TEST_F(Vms, WordsAndTheirExactOutput) {
    const std::string d = "vms -d";
    const Case cases[] = {
        {"vms", 0, "\n"},
        {"vms set vmsSignHeightPixels", -2, ""},
        {"vms get x", -2, ""},
        {"vms -x", -2, ""},
        {"vms -d thread stack nosuch", 0, ""},
        {"vms -d thread", 0,
         "vms -d thread stack X    (X=name)\nvms -d thread suspend X  (X=name)\n"},
        {"vms -d peripheral enable 3E8", -2, ""},
        {"vms -d peripheral disable 3E8", -2, ""},
        {"vms -d peripheral freq 3E8 10", -2, ""},
        {"vms -d modem 5 AT", 0, "vms -d modem X AT    (X=id)\nvms -d modem X +++   (X=id)\n"},
        {"vms -d spi", 0, "reset spi\n"},
        {"vms -d ethernet", 0,
         "vms -d ethernet tcp\nvms -d ethernet udp\nvms -d ethernet icmp\nvms -d ethernet pool\n"
         "vms -d ethernet reset\nvms -d ethernet dhcp\nvms -d ethernet arp\n"},
        {"vms -d ethernet dhcp", 0, "vms -d dhcp renew\n"},
        {"vms -d ethernet arp", 0, "vms -d ethernet arp list\nvms -d ethernet arp stat\n"},
        {"vms -d ethernet reset", 0, "reset ethernet\n"},
        {"vms -d ethernet tcp", 0, ""}, // no network yet: the stack refuses, nothing shown
        {"vms -d", 0,
         "commands\nvms -d spi\nvms -d module X\t\t(X=face number)\nvms -d modem X\t\t(X=id)\n"
         "vms -d thread\nvms -d peripheral\nvms -d defrag\nvms -d ethernet\n"},
        {"vms -d nonsense", 0,
         "commands\nvms -d spi\nvms -d module X\t\t(X=face number)\nvms -d modem X\t\t(X=id)\n"
         "vms -d thread\nvms -d peripheral\nvms -d defrag\nvms -d ethernet\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, Run(c.line)) << c.line;
        EXPECT_EQ(c.output, shown) << c.line;
    }
}

TEST_F(Vms, PeripheralOperationsOnTheLiveRegistry) {
    EXPECT_EQ(0, Run("vms -d peripheral"));
    EXPECT_EQ(0u, shown.find("peripherals:\n")) << shown;
    EXPECT_NE(std::string::npos, shown.find("-CONFIG FILE(0x012D) state=VALID \n")) << shown;
    EXPECT_NE(std::string::npos, shown.find("commands\nvms -d peripheral enable X   (X=id)\n"));
    EXPECT_TRUE(host::monitor_watchdog_enabled()); // the hold of the walk was released

    EXPECT_EQ(0, Run("vms -d peripheral disable 12d"));
    EXPECT_EQ("Disabled:CONFIG FILE\n", shown);
    EXPECT_EQ(0, Run("vms -d peripheral enable 12D"));
    EXPECT_EQ("Enabled:CONFIG FILE\n", shown);
    EXPECT_EQ(0, Run("vms -d peripheral freq 12D 20"));
    EXPECT_EQ(0u, shown.find("CONFIG FILE old:")) << shown;
    EXPECT_NE(std::string::npos, shown.find(", new:32\n")) << shown; // 20 is hexadecimal
    EXPECT_EQ(0, Run("vms -d modem 12D AT")); // live, but not a modem: nothing
    EXPECT_EQ("", shown);
    EXPECT_EQ(-2, Run("vms -d peripheral enable 3E8")); // not live
    EXPECT_EQ(-2, Run("vms -d peripheral freq 1FFFF 1"));
}

TEST_F(Vms, TraceLevelIsSetOnlyToZeroOrOne) {
    EXPECT_EQ(0, Run("vms -t 1"));
    EXPECT_EQ("new level:1\n", shown);
    EXPECT_EQ(-2, Run("vms -t 2"));
    EXPECT_EQ(1, TheMonitorTask().TraceLevel());
    EXPECT_EQ(0, Run("vms trace 256")); // the low 8 bits count
    EXPECT_EQ("new level:0\n", shown);
    EXPECT_EQ(0, Run("vms -t 1"));
    EXPECT_EQ(0, Run("vms -t")); // a missing word reads as the number 0
    EXPECT_EQ("new level:0\n", shown);
}

TEST_F(Vms, StatusLinesInOrder) {
    tx_thread_sleep(100 * 65); // 65 seconds
    EXPECT_EQ(0, Run("vms -s"));
    const char* lines[] = {"-Uptime(y/d/h/m/s) = 0/0/00/01/0", "-Display:",
                           // the first step comes 150 ticks after the creation
                           "\t Display Timer Reschedule Events:1\n",
                           "-Interrupts RX:", "-byte_pool_0 usage:0x", "-dyn db usage:0x",
                           "-J6 CAN\tRX:", "-Panel CAN\tRX:"};
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = shown.find(line, at);
        ASSERT_NE(std::string::npos, found) << line << "\n" << shown;
        at = found;
    }
    EXPECT_NE(std::string::npos, shown.find("of 0x30000\n"));
}

// The CAN lines show the drivers' own counters: a frame sent on the sensor
// network and errors of the panel's network.
TEST_F(Vms, TheStatusShowsTheCanDriversCounters) {
    const uint8_t data[2] = {1, 2};
    ASSERT_NE(0, the_can_j6_driver().Send(0x42B01, 0, 2, data, 0));
    the_panel_can_driver().errors += 3;
    EXPECT_EQ(0, Run("vms -s"));
    auto line = [](const char* label, const can_driver& driver) {
        return std::string(label) + "\tRX:" + std::to_string(driver.frames_received) +
               "\tTX:" + std::to_string(driver.frames_sent) +
               "\tErr:" + std::to_string(driver.errors) + "\n";
    };
    EXPECT_GE(the_can_j6_driver().frames_sent, 1u);
    EXPECT_NE(std::string::npos, shown.find(line("-J6 CAN", the_can_j6_driver()))) << shown;
    EXPECT_NE(std::string::npos, shown.find(line("-Panel CAN", the_panel_can_driver()))) << shown;
}

// A display step that comes late (here after the task was suspended) is
// counted and shown by the status.
TEST_F(Vms, TheStatusCountsTheDisplayTasksLateSteps) {
    ASSERT_EQ(0, Run("vms -d thread suspend display"));
    tx_thread_sleep(200);
    TheDisplay().Resume();
    tx_thread_sleep(50);
    EXPECT_EQ(0, Run("vms -s"));
    EXPECT_NE(std::string::npos, shown.find("\t Display Timer Reschedule Events:2\n")) << shown;
    tx_thread_sleep(100); // on time again
    EXPECT_EQ(2, TheDisplay().LateSteps());
}

// The watchdog task suspended from the console no longer reads its letters,
// while every task keeps sending it alive letters: its mailbox stops at the
// limit and counts the rest.
TEST_F(Vms, ASuspendedTasksMailboxStaysBounded) {
    ASSERT_EQ(0, Run("vms -d thread suspend watchdog"));
    tx_thread_sleep(100 * 600); // ten minutes
    const mailbox& letters = TheWatchdogTask().Mail().letters();
    EXPECT_EQ(mailbox::LETTER_LIMIT, letters.total());
    EXPECT_GT(letters.dropped(), 1000u);
}

TEST_F(Vms, ThreadNamesAndActionsInEitherCasePostTheirLetters) {
    tx_thread_sleep(1500); // every task has sent its start letter
    ASSERT_TRUE(TheWatchdogTask().IsSupervised("Display"));
    EXPECT_EQ(0, Run("vms -d thread SUSPEND Display"));
    tx_thread_sleep(200); // the display task suspends itself and sends its stop letter
    EXPECT_FALSE(TheWatchdogTask().IsSupervised("Display"));
    EXPECT_TRUE(TheWatchdogTask().IsSupervised("Schedule"));
}

// The words that hand work to a task post its letter; the recorder sees
// what went out (code and, for the module dump, the face number).
TEST_F(Vms, WordsThatPostLetters) {
    const uint32_t codes[] = {LETTER_MONITOR_STACK,  LETTER_DATABASE_STACK, LETTER_MODULE_DUMP,
                              LETTER_DISPLAY_NOP126, LETTER_DHCP_RENEW,     0};
    struct {
        const char* line;
        std::vector<uint32_t> posted; // code, then data byte 0 for the module dump
    } cases[] = {
        {"vms -d thread STACK Monitor", {LETTER_MONITOR_STACK}},
        {"vms -d thread stack DATABASE", {LETTER_DATABASE_STACK}},
        {"vms -d thread stack nosuch", {}},
        {"vms -d module 1A", {LETTER_MODULE_DUMP, 0x1A}},
        {"vms -d prog", {LETTER_DISPLAY_NOP126}},
        {"vms -d ethernet dhcp renew", {LETTER_DHCP_RENEW}},
        {"vms -d ethernet dhcp other", {}},
    };
    for (const auto& c : cases) {
        subscriber recorder(the_post_office(), nullptr, 0, nullptr);
        ASSERT_EQ(1, recorder.attach(codes));
        EXPECT_EQ(0, Run(c.line)) << c.line;
        std::vector<uint32_t> posted;
        letter_s* letter = nullptr;
        while (recorder.receive(&letter)) {
            posted.push_back(letter->code());
            if (letter->code() == LETTER_MODULE_DUMP) {
                EXPECT_EQ(1u, letter->count) << c.line;
                posted.push_back(letter->data[0]);
            }
            recorder.release(letter);
        }
        recorder.detach();
        EXPECT_EQ(c.posted, posted) << c.line;
    }
}

TEST_F(Vms, NetworkFiguresOnceTheNetworkRuns) {
    ASSERT_EQ(1, ethernet_network_start());
    EXPECT_EQ(0, Run("vms -d ethernet tcp"));
    EXPECT_EQ("tcp TX:0, RX:0, Invalid:0, Dropped:0\n", shown);
    EXPECT_EQ(0, Run("vms -d ethernet udp"));
    EXPECT_EQ("udp TX:0, RX:0, Invalid:0, Dropped:0\n", shown);
    EXPECT_EQ(0, Run("vms -d ethernet icmp"));
    EXPECT_EQ("icmp TX:0, RX:0, Timeout:0, Replies:0\n", shown);
    EXPECT_EQ(0, Run("vms -d ethernet pool"));
    EXPECT_EQ(0u, shown.find("Main: 48 of 48 Free, Req:0, Susp:0, Invalid:0\n")) << shown;
    EXPECT_EQ(0, Run("vms -d ethernet arp list"));
    EXPECT_EQ("Dynamic ARP Table:\n", shown);
    EXPECT_EQ(0, Run("vms -d ethernet arp stat"));
    EXPECT_EQ(0u, shown.find(" requests sent:0\n requests received:0\n")) << shown;
}

TEST_F(Vms, BothNamesRunThroughTheMonitorWithTheUsageOnRefusal) {
    EXPECT_EQ(0, mon_docommand("VMS -t 0", 0));
    EXPECT_EQ(-2, mon_docommand("vms -q", 0));
}

} // namespace
