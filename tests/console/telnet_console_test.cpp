// The maintenance console of the whole firmware over telnet on loopback:
// login with the privileged community, monitor command lines, "vms", console
// output to the operator, and bad input from the outside.
#include "tests/support/host_process.h"
#include "runtime/console.h"
#include "console/monitor_task.h"
#include "platform/monitor/monitor.h"
#include "platform/netstack/netstack.h"
#include "platform/netstack/telnet_addon.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/console/console_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <memory>
#include <random>
#include <vector>

namespace {

using console_test::Client;
using console_test::Peer;
using console_test::Settle;

const char* const COMMUNITY = "stewardcastle"; // the factory privileged community

class TelnetConsole : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.port_offset = test_support::FreePortOffset();
    }
    // The console bit set, then the communication task's start letter (104)
    // starts the telnet server.
    void StartConsole() {
        db_set(obj::halvFeatureSet, db_get(obj::halvFeatureSet) | CMonitorTask::CONSOLE_FEATURE, 0);
        tx_thread_sleep(1200);
        ASSERT_EQ(CTelnetServer::STARTED, TheMonitorTask().TelnetServer().State());
    }
    uint16_t Port() const { return static_cast<uint16_t>(nx_ip_host_port(NX_TELNET_SERVER_PORT)); }
    // Log in on a connected client and wait for the prompt.
    static bool LogIn(Client& c) {
        return c.WaitFor("Password: ") && c.TypePassword(COMMUNITY) && c.WaitFor("VMS>");
    }
    // Run a peer's script while the firmware serves it.
    void Serve(const std::function<void()>& script) {
        Peer peer(script);
        EXPECT_TRUE(Settle([&] { return peer.Done(); }, 30)) << "the peer did not finish";
    }
};

TEST_F(TelnetConsole, OperatorLogsInAndRunsMonitorLines) {
    StartConsole();
    bool steps[8] = {};
    std::string transcript;
    Serve([&] {
        Client c(Port());
        steps[0] = c.WaitFor("\r\nPassword: ");
        c.TypePassword("nothing");
        steps[1] = c.WaitFor("\r\nFAILURE\r\nPassword: ");
        c.TypePassword(COMMUNITY);
        steps[2] = c.WaitFor("\r\nSUCCESS\r\nVMS>");
        c.Type("help\r");
        steps[3] = c.WaitFor("vms") && c.WaitFor("VMS>");
        c.Type("tfs ls\r");
        steps[4] = c.WaitFor("VMS>");
        c.Type("vms -s\r");
        steps[5] = c.WaitFor("-Uptime(y/d/h/m/s) = ") && c.WaitFor("-dyn db usage:0x");
        c.Type("vms -t 1\r");
        steps[6] = c.WaitFor("new level:1\r\n");
        c.Type("vms -t 2\r"); // refused: the monitor shows the usage
        steps[7] = c.WaitFor("Usage: vms -[s:d:t] operation [args]...");
        transcript = c.Received();
    });
    for (bool step : steps)
        EXPECT_TRUE(step) << transcript;
    EXPECT_EQ(1, TheMonitorTask().TraceLevel());
    EXPECT_EQ(1, TheMonitorTask().ConsoleState()); // the operator has left
}

TEST_F(TelnetConsole, OutputReachesOnlyALoggedInOperatorCutTo199Characters) {
    StartConsole();
    std::string long_text(120, 'a');
    long_text += "\n" + std::string(129, 'b'); // 250 characters
    bool logged_in = false, shown = false, hidden = true;
    std::string transcript;
    Peer peer(
        [&] {
            Client c(Port());
            c.WaitFor("Password: ");
            c.TypePassword(COMMUNITY);
            logged_in = c.WaitFor("VMS>");
            shown = c.WaitFor(std::string(120, 'a') + "\r\n" + std::string(78, 'b'));
            c.WaitFor("end-mark", 1);
            transcript = c.Received();
            hidden = transcript.find("trace-only") == std::string::npos &&
                     transcript.find(std::string(79, 'b')) == std::string::npos;
        },
        false); // the firmware prints while the operator reads
    console_printf("before-login\n");
    ASSERT_TRUE(Settle([&] { return TheMonitorTask().ConsoleState() == 2; }))
        << TheMonitorTask().ConsoleState() << " " << int(TheMonitorTask().LoginState());
    ASSERT_TRUE(TheMonitorTask().SetTraceLevel(0));
    trace_printf("trace-only\n");
    console_printf("%s", long_text.c_str());
    console_printf("end-mark\n");
    EXPECT_TRUE(Settle([&] { return peer.Done(); }, 30));
    peer.Join();
    EXPECT_TRUE(logged_in);
    EXPECT_TRUE(shown) << transcript;
    EXPECT_TRUE(hidden) << transcript;
    EXPECT_EQ(std::string::npos, transcript.find("before-login"));
}

TEST_F(TelnetConsole, GarbageLongLinesAndClosesMidLineLeaveTheConsoleWorking) {
    StartConsole();
    std::mt19937 random(9);
    std::string garbage;
    for (int i = 0; i < 4000; i++)
        garbage += static_cast<char>(random() & 0xFF);
    Serve([&] {
        Client c(Port());
        c.WaitFor("Password: ");
        c.Send(garbage);
        c.Send(std::string(10000, 'x'));
        c.Close(); // mid-line
    });
    // Everything the first client sent is taken before the next one comes.
    Settle([] { return TheMonitorTask().LoginState() == CMonitorTask::LOGIN_NONE; });
    Serve([&] {
        Client c(Port());
        LogIn(c);
        c.Send(garbage);
        c.Send(std::string(10000, 'y') + "\r");
        c.Send("vms -t 1\x1b"); // unfinished, with an escape pending, and gone
    });
    Settle([] { return TheMonitorTask().LoginState() == CMonitorTask::LOGIN_NONE; });
    EXPECT_EQ(1, TheMonitorTask().ConsoleState()); // the operator left
    bool works = false;
    std::string transcript;
    Serve([&] {
        Client c(Port());
        LogIn(c);
        // Enter alone runs an empty line: nothing of the leftover line, and
        // the "A" is a key, not the end of a cursor sequence.
        c.Type("\r");
        c.WaitFor("VMS>");
        c.Type("A\b\r");
        works = c.WaitFor("VMS>");
        transcript = c.Received();
    });
    EXPECT_TRUE(works) << transcript;
    EXPECT_EQ(0, TheMonitorTask().TraceLevel()) << transcript;
    EXPECT_EQ(std::string::npos, transcript.find("new level")) << transcript;
    EXPECT_EQ(std::string::npos, transcript.find("yyyy")) << transcript; // nothing recalled
}

// A file's bytes reach the operator as data: 0xFF, the telnet command
// escape, arrives doubled (a client would otherwise take it as a command) and
// a NUL is kept.
TEST_F(TelnetConsole, BinaryOutputArrivesAsDataWithTheCommandEscapeDoubled) {
    StartConsole();
    const unsigned char bytes[] = {'<', 0x00, 0xFF, 0xFF, 'a', 0xFF, 0xFB, 0x01, '>'};
    ASSERT_EQ(0, mon_tfsadd("bin.dat", nullptr, nullptr, bytes, sizeof bytes));
    bool seen = false;
    std::string transcript;
    Serve([&] {
        Client c(Port());
        LogIn(c);
        c.Type("tfs cat bin.dat\r");
        seen = c.WaitFor(std::string("<\0\xFF\xFF\xFF\xFF"
                                     "a\xFF\xFF\xFB\x01>",
                                     12));
        transcript = c.Received();
    });
    EXPECT_TRUE(seen) << transcript;
}

// Connections that never log in, and an operator who lost the console to a
// newer connection, hold every slot; a minute later they are closed and the
// connection that waited meanwhile is served.
TEST_F(TelnetConsole, IdleConnectionsAreClosedAndTheNextOneIsServedWithinAMinute) {
    StartConsole();
    std::vector<std::unique_ptr<Client>> idle;
    std::unique_ptr<Client> next;
    bool operator_in = false, prompted = true;
    Serve([&] {
        for (UINT i = 0; i < NX_TELNET_MAX_CLIENTS; i++) {
            idle.emplace_back(new Client(Port()));
            if (i == 0)
                operator_in = LogIn(*idle[0]);
            else
                prompted = idle.back()->WaitFor("Password: ") && prompted;
        }
        next.reset(new Client(Port())); // no slot is free
    });
    ASSERT_TRUE(operator_in);
    ASSERT_TRUE(prompted);
    tx_thread_sleep(CMonitorTask::LOGIN_SECONDS * 100 + 50);
    size_t closed = 0;
    bool served = false;
    Serve([&] {
        for (auto& c : idle)
            closed += c->ClosedWithin(2) ? 1 : 0;
        served = LogIn(*next);
    });
    EXPECT_EQ(idle.size(), closed);
    EXPECT_TRUE(served) << next->Received();
}

// Logging in lifts the login deadline; the operator's connection is closed
// once no key came for the console's idle time, counted from the last key.
TEST_F(TelnetConsole, AnOperatorIdlePastTheIdleTimeIsLoggedOutAndClosed) {
    StartConsole();
    std::unique_ptr<Client> c;
    bool in = false, answered = false, closed = false;
    Serve([&] {
        c.reset(new Client(Port()));
        in = LogIn(*c);
    });
    ASSERT_TRUE(in);
    tx_thread_sleep(CMonitorTask::LOGIN_SECONDS * 100 + 100);
    Serve([&] {
        c->Type("\r");
        answered = c->WaitFor("VMS>");
    });
    EXPECT_TRUE(answered);
    tx_thread_sleep(CMonitorTask::IDLE_SECONDS * 100 - 200);
    EXPECT_EQ(2, TheMonitorTask().ConsoleState()) << "a key came within the idle time";
    tx_thread_sleep(400);
    EXPECT_EQ(1, TheMonitorTask().ConsoleState());
    Serve([&] { closed = c->ClosedWithin(2); });
    EXPECT_TRUE(closed);
}

// ---- the login state machine, driven as the telnet server drives it ----

struct Reply {
    int result;
    std::string text;
};

Reply Event(int event, const std::string& data = "", UINT connection = 0) {
    const char* reply = nullptr;
    uint32_t length = 0;
    int result = TheMonitorTask().OnTelnetEvent(
        event, connection, reinterpret_cast<const uint8_t*>(data.data()),
        static_cast<uint32_t>(data.size()), &reply, &length);
    return {result, reply ? std::string(reply, length) : std::string()};
}

class Login : public test_support::FirmwareFixture {};

TEST_F(Login, AWrongPasswordAsksAgainAndTheTwentySixthCharacterIsIgnored) {
    tx_thread_sleep(300); // the monitor task initialised
    EXPECT_EQ("\r\nPassword: ", Event(CTelnetServer::EVENT_NEW).text);
    EXPECT_EQ("**\r\nFAILURE\r\nPassword: ", Event(CTelnetServer::EVENT_DATA, "no\r").text);

    db_set_text(obj::communityNameAdmin, "abcdefghijklmnopqrstuvwxy", 0); // 25 characters
    for (char c : std::string("abcdefghijklmnopqrstuvwxy"))
        EXPECT_EQ("*", Event(CTelnetServer::EVENT_DATA, std::string(1, c)).text);
    EXPECT_EQ("", Event(CTelnetServer::EVENT_DATA, "z").text); // neither stored nor echoed
    EXPECT_EQ("\r\nSUCCESS\r\nVMS>", Event(CTelnetServer::EVENT_DATA, "\n").text);
    EXPECT_EQ(CMonitorTask::LOGIN_DONE, TheMonitorTask().LoginState());
    EXPECT_EQ(2, TheMonitorTask().ConsoleState());
    EXPECT_EQ("", Event(CTelnetServer::EVENT_DATA, "abc").text); // the prompt echoes instead
    EXPECT_EQ(3u, TheMonitorTask().Prompt().Length());

    EXPECT_EQ("", Event(CTelnetServer::EVENT_END).text);
    EXPECT_EQ(1, TheMonitorTask().ConsoleState());
    EXPECT_EQ(CMonitorTask::LOGIN_NONE, TheMonitorTask().LoginState());
    EXPECT_EQ(4, Event(0).result);
    EXPECT_EQ(4, Event(7).result);
}

TEST_F(Login, AWholePasswordLineInOneBlockLogsInAndTheRestGoesToThePrompt) {
    tx_thread_sleep(300);
    Event(CTelnetServer::EVENT_NEW);
    const std::string stars(std::string(COMMUNITY).size(), '*');
    EXPECT_EQ(stars + "\r\nSUCCESS\r\nVMS>",
              Event(CTelnetServer::EVENT_DATA, std::string(COMMUNITY) + "\rab").text);
    EXPECT_EQ(CMonitorTask::LOGIN_DONE, TheMonitorTask().LoginState());
    EXPECT_EQ(2u, TheMonitorTask().Prompt().Length()); // "ab" reached the prompt
}

TEST_F(Login, AFloodOfWrongPasswordsInOneBlockIsAnsweredWithinTheReplyBuffer) {
    tx_thread_sleep(300);
    Event(CTelnetServer::EVENT_NEW);
    std::string flood;
    for (int i = 0; i < 500; i++)
        flood += "x\r";
    Reply r = Event(CTelnetServer::EVENT_DATA, flood);
    EXPECT_EQ(0, r.result);
    EXPECT_LE(r.text.size(), 256u);
    EXPECT_EQ(0u, r.text.find("*\r\nFAILURE\r\nPassword: "));
    EXPECT_EQ(CMonitorTask::LOGIN_PASSWORD, TheMonitorTask().LoginState());
}

TEST_F(Login, TheEndOfAReplacedConnectionLeavesTheNewOperatorLoggedIn) {
    tx_thread_sleep(300);
    db_set_text(obj::communityNameAdmin, "k", 0);
    Event(CTelnetServer::EVENT_NEW, "", 0);
    Event(CTelnetServer::EVENT_NEW, "", 1); // a second client takes the console over
    Event(CTelnetServer::EVENT_DATA, "k", 1);
    EXPECT_EQ("\r\nSUCCESS\r\nVMS>", Event(CTelnetServer::EVENT_DATA, "\r", 1).text);
    Event(CTelnetServer::EVENT_END, "", 0); // the first one goes away late
    EXPECT_EQ(2, TheMonitorTask().ConsoleState());
    EXPECT_EQ(CMonitorTask::LOGIN_DONE, TheMonitorTask().LoginState());
    Event(CTelnetServer::EVENT_END, "", 1);
    EXPECT_EQ(1, TheMonitorTask().ConsoleState());
}

// Two connections at once: a login belongs to the connection that made it.
TEST_F(Login, AConnectionNeverUsesAnotherConnectionsLogin) {
    tx_thread_sleep(300);
    db_set_text(obj::communityNameAdmin, "k", 0);
    Event(CTelnetServer::EVENT_NEW, "", 0); // asked for the password, never answers it
    Event(CTelnetServer::EVENT_NEW, "", 1);
    EXPECT_EQ("*\r\nSUCCESS\r\nVMS>", Event(CTelnetServer::EVENT_DATA, "k\r", 1).text);
    // The first connection's line neither runs nor reaches the operator's prompt.
    EXPECT_EQ("", Event(CTelnetServer::EVENT_DATA, "vms -t 1\r", 0).text);
    EXPECT_EQ(0u, TheMonitorTask().Prompt().Length());
    EXPECT_EQ(0, TheMonitorTask().TraceLevel());
    EXPECT_EQ(CMonitorTask::LOGIN_DONE, TheMonitorTask().LoginState());

    // A newer connection takes the console over: nothing is shown until it
    // logs in itself, and the replaced operator's keys are ignored.
    Event(CTelnetServer::EVENT_NEW, "", 2);
    EXPECT_EQ(1, TheMonitorTask().ConsoleState());
    EXPECT_EQ("", Event(CTelnetServer::EVENT_DATA, "k", 1).text);
    EXPECT_EQ("\r\nFAILURE\r\nPassword: ", Event(CTelnetServer::EVENT_DATA, "\r", 2).text);
}

// An operator replaced in the middle of a line: the new operator's Enter
// runs an empty line, whether the line editor was left mid-line or mid-escape.
TEST_F(Login, ANewConnectionNeverRunsTheReplacedOperatorsUnfinishedLine) {
    tx_thread_sleep(300);
    db_set_text(obj::communityNameAdmin, "k", 0);
    for (const char* leftover : {"vms -t 1", "vms -t 1\x1b["}) {
        Event(CTelnetServer::EVENT_NEW, "", 0);
        Event(CTelnetServer::EVENT_DATA, "k\r", 0);
        Event(CTelnetServer::EVENT_DATA, leftover, 0);
        Event(CTelnetServer::EVENT_NEW, "", 1);
        EXPECT_EQ("*\r\nSUCCESS\r\nVMS>", Event(CTelnetServer::EVENT_DATA, "k\r\r", 1).text);
        EXPECT_EQ(0, TheMonitorTask().TraceLevel()) << leftover;
        Event(CTelnetServer::EVENT_DATA, "A", 1); // a key, not a cursor sequence's end
        EXPECT_EQ(1u, TheMonitorTask().Prompt().Length()) << leftover;
        Event(CTelnetServer::EVENT_END, "", 1);
    }
}

} // namespace
