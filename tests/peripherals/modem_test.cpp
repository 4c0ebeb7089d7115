// The dial-up modem peripheral against a scripted Hayes modem
// (tests/comm/scripts/hayes_modem.py) on the CCP line's pseudo-terminal, with
// the modem's carrier (DCD) set through the line's control socket uart0.ctl.
// The virtual clock moves in small steps, each held while the script may
// answer, so that what the modem sends arrives before time moves on.
#include "comm/agents/ntcip_agents.h"
#include "comm/agents/trap_delivery.h"
#include "comm/agents/trap_raise.h"
#include "comm/drivers/modem_driver.h"
#include "console/monitor_task.h"
#include "peripherals/modem.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "store/database.h"
#include "store/objects.h"
#include "platform/board/board.h"
#include "platform/kernel/host.h"
#include "tests/comm/agent_net_util.h"
#include "tests/console/console_test_util.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/host_process.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

const char EXTERNAL_INIT[] = "AT&F&K0&D0V0S0=2&W0\\r";
const char INTERNAL_INIT[] = "AT&F&K0&D0V0S0=2&W0+VCID=1\\r";
const ULONG POLL_TICKS = 100; // every second pass of the peripheral task
const ULONG FIVE_MINUTES = 30000;

class HayesModem : public test_support::RestartCountingFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.port_offset = test_support::FreePortOffset();
    }
    void SetUp() override {
        test_support::RestartCountingFixture::SetUp();
        if (HasFatalFailure()) return;
        tx_thread_sleep(1100); // the communication task has bound the CCP agent
        ASSERT_EQ("ok\n", Control("DCD 0"));
        std::string script = std::string(TEST_SOURCE_DIR) + "/comm/scripts/hayes_modem.py";
        ASSERT_TRUE(modem_.Start({"/usr/bin/python3", script, StateDir() + "/uart0"},
                                 StateDir() + "/modem.log"));
        ASSERT_TRUE(HostWait([&] { return modem_.Output().find("ready") != std::string::npos; }));
        board::uart_attach_observer(0, [this](bool sent, const uint8_t* data, size_t size) {
            std::lock_guard<std::mutex> lock(line_m_);
            if (sent) {
                CountCommands(data, size);
            } else {
                delivered_ += size;
            }
        });
    }
    void TearDown() override {
        board::uart_attach_observer(0, nullptr);
        modem_.Type("quit\n");
        modem_.Wait(2);
        modem_.Kill();
        // The registry outlives the agents at the program's end: the modem
        // leaves the CCP port while they still exist.
        CNTCIP::UnlinkModem(CcpModem());
        test_support::RestartCountingFixture::TearDown();
    }

    // One command to the modem script, answered before time moves on.
    void Tell(const std::string& command) {
        std::string word = command.substr(0, command.find(' '));
        size_t seen = Occurrences("done " + word);
        if (word == "send") written_ += Unescaped(command.substr(5)).size();
        modem_.Type(command + "\n");
        EXPECT_TRUE(Step([&] { return Occurrences("done " + word) > seen; }, 200, 1));
    }
    std::string Control(const std::string& command) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", (StateDir() + "/uart0.ctl").c_str());
        std::string reply;
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            std::string line = command + "\n";
            (void)!write(fd, line.data(), line.size());
            char c;
            while (read(fd, &c, 1) == 1 && (reply += c).back() != '\n') {
            }
        }
        close(fd);
        tx_thread_sleep(1); // the line's change reaches the UART
        return reply;
    }
    // Times the modem received `command` ("RX " lines of its log).
    size_t Received(const std::string& command) { return Occurrences("RX " + command + "\n"); }
    size_t Occurrences(const std::string& text) {
        std::string log = modem_.Output();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            n++;
        return n;
    }
    // Moves the clock `step` ticks at a time until `done` (at most `ticks`).
    // Each step begins with the clock held (the firmware runs, time stands)
    // until the script has read every command the sign sent, written its
    // answers, and the sign has taken in every byte the script wrote, so that
    // an answer never arrives late in the sign's time however slow the host.
    // -> done.
    bool Step(const std::function<bool()>& done, ULONG ticks, ULONG step = 10) {
        for (ULONG t = 0; t < ticks; t += step) {
            if (done()) return true;
            host::host_activity_begin();
            std::thread hold([this] {
                HostWait([this] { return CaughtUp(); });
                host::host_activity_end();
            });
            tx_thread_sleep(step);
            hold.join();
        }
        return done();
    }
    bool CaughtUp() {
        size_t commands = 0, delivered = 0;
        {
            std::lock_guard<std::mutex> lock(line_m_);
            commands = commands_;
            delivered = delivered_;
        }
        const size_t answers = Occurrences("TX ");
        if (Occurrences("RX ") < commands) return false;
        if (delivered < written_ + 3 * answers) return false; // each answer is "\r0\r"
        if (!answering_) return true;
        return Occurrences("RX AT") + Occurrences("RX +++") <= answers + unanswered_;
    }
    // The commands in what the sign sent, cut as the script cuts them: an
    // escape "+++" at the start, else up to a carriage return.
    void CountCommands(const uint8_t* data, size_t size) {
        pending_.append(reinterpret_cast<const char*>(data), size);
        for (;;) {
            size_t end = 3;
            if (pending_.compare(0, 3, "+++") != 0) {
                end = pending_.find('\r');
                if (end == std::string::npos) return;
                end++;
            }
            pending_.erase(0, end);
            commands_++;
        }
    }
    // The bytes a "send" command writes (its \r and \n escapes undone).
    static std::string Unescaped(const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); i++) {
            if (text[i] == '\\' && i + 1 < text.size() &&
                (text[i + 1] == 'r' || text[i + 1] == 'n'))
                out += text[++i] == 'r' ? '\r' : '\n';
            else
                out += text[i];
        }
        return out;
    }
    // `done` within a generous bound of host time (a safety net only).
    static bool HostWait(const std::function<bool()>& done) {
        for (int i = 0; i < 3000 && !done(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    }
    // The script answers from now on: commands it received before stay unanswered.
    void AnswerOn() {
        Tell("answer on");
        unanswered_ = Occurrences("RX AT") + Occurrences("RX +++");
        answering_ = true;
    }
    // The modem as a central system configures it: an entry of the stored
    // peripheral list, built by the factory when the finished edit makes the
    // peripheral task reload the list.
    CModem* AddModem(uint16_t id, const char* parameters) {
        pl_iterator list;
        EXPECT_TRUE(list.Add(id, "%s", parameters));
        CPeripheral* made = nullptr;
        for (int i = 0; i < 40 && !ThePeripheralTask().Registry().Find(id, &made); i++)
            tx_thread_sleep(5); // the next pass reloads
        return static_cast<CModem*>(made);
    }
    CModem* ValidModem() {
        AnswerOn();
        CModem* modem = AddModem(CModem::ID_EXTERNAL, "0,MODEM");
        EXPECT_TRUE(modem);
        EXPECT_TRUE(Step([&] { return modem && modem->State() == CPeripheral::STATE_VALID; },
                         10 * POLL_TICKS));
        return modem;
    }
    std::string Text(const DbObject& object) {
        char text[64] = {};
        uint32_t length = db_get_string_copy(object, text, sizeof text - 1);
        return std::string(text, length);
    }

    test_support::HostProcess modem_;
    bool answering_ = false;
    size_t unanswered_ = 0;
    size_t written_ = 0;   // bytes the script wrote on "send"
    std::mutex line_m_;    // what the observer of the line counts:
    std::string pending_;  // sent bytes of a command not yet complete
    size_t commands_ = 0;  // commands the sign sent
    size_t delivered_ = 0; // bytes the sign received from the line
};

TEST_F(HayesModem, AnAnsweredInitStringMakesTheModemValid) {
    CModem* modem = ValidModem();
    ASSERT_TRUE(modem);
    EXPECT_EQ(1u, Received(EXTERNAL_INIT));
    EXPECT_EQ(CModemDriver_Dialup::READY, modem->GetDriverState());
    EXPECT_EQ(0, AgentRow(FindAgent("ccp_pmpp"))->port) << "the line went back to the agent";
}

TEST_F(HayesModem, AnUnansweredModemIsACommErrorAndGetsItsStringEvery32Services) {
    TheMonitorTask().SetTraceLevel(1);
    CModem* modem = AddModem(CModem::ID_EXTERNAL, "0,MODEM");
    ASSERT_TRUE(modem);
    EXPECT_EQ(CPeripheral::STATE_READING, modem->State());
    // The first poll sends the string: the driver then waits for its result.
    ASSERT_TRUE(Step([&] { return modem->GetDriverState() == CModemDriver_Dialup::INIT_SENT; },
                     3 * POLL_TICKS, 5));
    ULONG first = tx_time_get();
    tx_thread_sleep(10 * POLL_TICKS - 40); // just before the 11th poll
    EXPECT_EQ(CPeripheral::STATE_READING, modem->State());
    tx_thread_sleep(50); // just after it
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, modem->State());
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Warning: Comm Timeout 026C"));
    ASSERT_TRUE(Step([&] { return Received(EXTERNAL_INIT) == 1; }, POLL_TICKS));
    // The 33rd poll sends it again, 32 polls after the first.
    tx_thread_sleep(first + 32 * POLL_TICKS - 60 - tx_time_get());
    Step([] { return false; }, 20); // anything sent has arrived
    EXPECT_EQ(1u, Received(EXTERNAL_INIT));
    EXPECT_TRUE(Step([&] { return Received(EXTERNAL_INIT) == 2; }, 2 * POLL_TICKS));
}

TEST_F(HayesModem, ACallerIdReportIsStoredAndCarrierHandsTheLineToTheAgent) {
    CModem* modem = ValidModem();
    ASSERT_TRUE(modem);
    Tell("send \\r\\nRING\\r\\nNMBR = 5551234\\r\\n");
    ASSERT_TRUE(Step([&] { return Text(obj::halvObj9_1) == "5551234"; }, 3 * POLL_TICKS));
    EXPECT_EQ("UNKNOWN", Text(obj::halvObj9_3));
    EXPECT_NEAR(double(db_get_time()), double(db_get(obj::halvObj9_2)), 5);

    ASSERT_EQ("ok\n", Control("DCD 1"));
    uint32_t before = CNTCIP::GetBytesDropped("ccp_pmpp") + CNTCIP::GetBytesInvalid("ccp_pmpp");
    Tell("send NMBR = 5559999\\r");
    Step([] { return false; }, 3 * POLL_TICKS);
    EXPECT_EQ("5551234", Text(obj::halvObj9_1)) << "with carrier the modem reads nothing";
    EXPECT_GT(CNTCIP::GetBytesDropped("ccp_pmpp") + CNTCIP::GetBytesInvalid("ccp_pmpp"), before)
        << "the bytes went to the PMPP link";
    EXPECT_EQ(1, modem->Driver()->Connected());
}

TEST_F(HayesModem, ASilentCallIsHungUpAfterFiveMinutes) {
    CModem* modem = ValidModem();
    ASSERT_TRUE(modem);
    ASSERT_EQ("ok\n", Control("DCD 1"));
    ULONG carrier = tx_time_get();
    tx_thread_sleep(FIVE_MINUTES - POLL_TICKS); // nothing is sent meanwhile
    EXPECT_EQ(0u, Received("+++"));
    ASSERT_TRUE(Step([&] { return Received("+++") == 1; }, 4 * POLL_TICKS, 2));
    ULONG escaped = tx_time_get();
    EXPECT_LE(escaped - carrier, FIVE_MINUTES + 3 * POLL_TICKS);
    ASSERT_TRUE(Step([&] { return Received("ATH0\\r") == 1; }, 4 * POLL_TICKS, 2));
    ULONG hung_up = tx_time_get();
    EXPECT_NEAR(200.0, double(hung_up - escaped), 20) << "two seconds between escape and ATH0";
}

TEST_F(HayesModem, ARequestEveryFourMinutesKeepsTheCall) {
    agent_test::UdpManager manager;
    CModem* modem = ValidModem();
    ASSERT_TRUE(modem);
    ASSERT_EQ("ok\n", Control("DCD 1"));
    for (int request = 0; request < 2; request++) {
        tx_thread_sleep(24000);
        agent_test::Bytes answer;
        console_test::Peer central([&] { answer = manager.Ask(agent_test::get(7)); });
        EXPECT_TRUE(console_test::Settle([&] { return central.Done(); }, 10));
        EXPECT_FALSE(answer.empty());
    }
    tx_thread_sleep(FIVE_MINUTES - 2 * POLL_TICKS);
    Step([] { return false; }, 2 * POLL_TICKS, 10); // anything sent has arrived
    EXPECT_EQ(0u, Received("+++")) << "13 minutes of call, a request every 4";
    EXPECT_TRUE(Step([&] { return Received("+++") == 1; }, 6 * POLL_TICKS, 10))
        << "5 minutes after the last request the call ends";
}

TEST_F(HayesModem, TheInternalModemSendsItsOwnStringAndClearsTheDialBackRow) {
    db_set_text(obj::halvCommConfigParameters.row(2), "5551234", 0);
    CModem* modem = AddModem(CModem::ID_INTERNAL, "");
    ASSERT_TRUE(modem);
    EXPECT_EQ("", Text(obj::halvCommConfigParameters.row(2)));
    EXPECT_EQ(1u, db_get(obj::dmsSWReset));
    EXPECT_TRUE(Step([&] { return Received(INTERNAL_INIT) == 1; }, 3 * POLL_TICKS));
    EXPECT_TRUE(Step([&] { return Restarts() > 0; }, 20 * POLL_TICKS, 50))
        << "the controller restarts";
}

TEST_F(HayesModem, AnotherInitTextIsSentAsItIs) {
    AnswerOn();
    CModem* modem = AddModem(CModem::ID_EXTERNAL, "0,ATZ\r");
    ASSERT_TRUE(modem);
    EXPECT_TRUE(Step([&] { return modem->State() == CPeripheral::STATE_VALID; }, 5 * POLL_TICKS));
    EXPECT_EQ(1u, Received("ATZ\\r"));
}

TEST_F(HayesModem, APendingTrapDialsTheCallbackNumberThroughTheModem) {
    db_set(obj::halvCommConfigProtocol.row(0), TRAP_CCP_PPP, 0);
    db_set(obj::halvCommConfigTraps.row(0), TRAP_MODE_CCP, 0);
    db_set(obj::halvTrapsGeneric, 0x7F, 0);
    db_set_text(obj::halvCallbackNumber, "5551234", 0);
    ASSERT_TRUE(ValidModem());
    raise_trap(TRAP_COLD_START, 0, 0, nullptr);
    // The PPP link's configure requests share the line: the dial ends it.
    EXPECT_TRUE(Step([&] { return Occurrences("ATDTW5551234\\r\n") == 1; }, 40 * 200, 20))
        << "the communication task's dial-back";
    EXPECT_EQ(0, AgentRow(FindAgent("ccp_ppp"))->port) << "PPP has the line for the call";
}

} // namespace
