// The communication task on the booted firmware: the binding of the agents
// from the port settings and its reconfiguration at the task's step, the
// CCP port's mode 14, the community reset, its letters, and the link check.
#include "comm/comm_task.h"
#include "comm/drivers/ethernet_mac.h"
#include "comm/links/pmpp.h"
#include "comm/network.h"
#include "platform/board/emac_model.h"
#include "runtime/interrupt.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"

#include <string>

namespace {

using snmp_test::Bytes;

const ULONG STEP = 200; // ticks of one step of the task

uint8_t PortOf(const char* name) {
    return AgentRow(FindAgent(name))->port;
}

bool Shows(const std::string& text) {
    return test_support::ConsoleText().find(text) != std::string::npos;
}

// A PMPP frame to station 1 carrying an SNMP message, as a central master sends it.
Bytes pmpp_frame(const Bytes& message) {
    Bytes body = {0x05, 0x13, 0xC1};
    body.insert(body.end(), message.begin(), message.end());
    uint16_t fcs = uint16_t(~pmpp_fcs(PMPP_FCS_INITIAL, body.data(), uint32_t(body.size())));
    body.push_back(uint8_t(fcs));
    body.push_back(uint8_t(fcs >> 8));
    Bytes out = {0x7E};
    for (uint8_t b : body) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            b ^= 0x20;
        }
        out.push_back(b);
    }
    out.push_back(0x7E);
    return out;
}

// The raw bytes a TCP peer of the sign receives within `ms`.
Bytes raw_exchange(UINT port, const Bytes& request, int ms = 3000) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = agent_test::loopback(agent_test::host_port(port));
    Bytes got;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        pollfd p{fd, POLLIN, 0};
        uint8_t chunk[2048];
        while (poll(&p, 1, ms) > 0) {
            ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            got.insert(got.end(), chunk, chunk + n);
            if (got.size() > 2 && got.back() == 0x7E) break;
        }
    }
    close(fd);
    return got;
}

class CommTask : public agent_test::NetworkedSign {};

TEST_F(CommTask, AColdStartBindsSnmpOnEthernetAndAReconfigurationMovesTcpToPmppFrames) {
    EXPECT_EQ(5, PortOf("ethernet_udp"));
    EXPECT_EQ(4, PortOf("ethernet_tcp"));
    EXPECT_EQ(PORT_NONE, PortOf("ethernet_pmpp"));

    db_set(obj::halvCommConfigProtocol.row(4), CHANNEL_PMPP, 0);
    db_set(obj::halvObj2_17_6, 3, 0); // no letter: the step's own check finds it
    tx_thread_sleep(STEP);
    EXPECT_EQ(1u, db_get(obj::halvObj2_17_6));
    EXPECT_EQ(4, PortOf("ethernet_pmpp"));
    EXPECT_EQ(PORT_NONE, PortOf("ethernet_tcp"));
    EXPECT_EQ(PORT_NONE, PortOf("ethernet_udp"));

    Bytes reply;
    Serve([&] { reply = raw_exchange(161, pmpp_frame(agent_test::get(0x0A0B0C0D))); });
    ASSERT_GT(reply.size(), 6u);
    EXPECT_EQ(0x7E, reply.front()) << "a PMPP frame answers on TCP 161";
    EXPECT_EQ(0x7E, reply.back());
}

TEST_F(CommTask, ARequestOfFourRebindsOneCheckLater) {
    db_set(obj::halvCommConfigProtocol.row(4), CHANNEL_PMPP, 0);
    db_set(obj::halvObj2_17_6, 4, 0);
    tx_thread_sleep(STEP);
    EXPECT_EQ(3u, db_get(obj::halvObj2_17_6)) << "armed by the first check";
    EXPECT_EQ(4, PortOf("ethernet_tcp")) << "not rebound yet";
    tx_thread_sleep(STEP);
    EXPECT_EQ(1u, db_get(obj::halvObj2_17_6));
    EXPECT_EQ(4, PortOf("ethernet_pmpp"));

    // With the letter (a notified write), the two checks come in one step.
    db_set(obj::halvCommConfigProtocol.row(4), CHANNEL_SNMP, 0);
    db_set(obj::halvObj2_17_6, 4, DB_NOTIFY);
    tx_thread_sleep(STEP);
    EXPECT_EQ(1u, db_get(obj::halvObj2_17_6));
    EXPECT_EQ(4, PortOf("ethernet_tcp"));
}

TEST_F(CommTask, TheChannelProtocolsChooseTheAgents) {
    struct row {
        uint32_t ccp, ethernet;
        const char* ccp_agent;
        const char* tcp_agent;
        bool udp;
    } rows[] = {
        {1, 11, "ccp_pmpp", "ethernet_tcp", true}, {4, 9, "ccp_ppp", "ethernet_pmpp", false},
        {5, 10, "ccp_ppp", "ethernet_ppp", false}, {14, 0, "ccp_pmpp", "ethernet_tcp", true},
        {2, 12, "ccp_pmpp", "ethernet_tcp", true},
    };
    for (const row& r : rows) {
        db_set(obj::halvCommConfigProtocol.row(0), r.ccp, 0);
        db_set(obj::halvCommConfigProtocol.row(4), r.ethernet, 0);
        the_comm_task().RebuildChannels();
        EXPECT_EQ(0, PortOf(r.ccp_agent)) << r.ccp;
        EXPECT_EQ(4, PortOf(r.tcp_agent)) << r.ethernet;
        EXPECT_EQ(r.udp ? 5 : PORT_NONE, PortOf("ethernet_udp")) << r.ethernet;
        EXPECT_EQ(r.ethernet, the_comm_task().NtcipTcpServer().channel);
        EXPECT_EQ(r.ethernet, the_comm_task().NtcipUdpServer().channel);
    }
}

TEST_F(CommTask, ModeFourteenForcesTheLineAndTheGraphicLimitsAndLeavingItRestoresThem) {
    db_set(obj::rs232PortInSpeed.row(0), 115200, 0);
    db_set(obj::dmsGraphicStatus.row(3), 5, 0); // in use
    db_set(obj::dmsGraphicStatus.row(4), 4, 0); // ready
    struct row {
        uint32_t mode, speed, flow, block, max;
    } rows[] = {
        {14, 9600, 2, 400, 25200},
        {14, 9600, 2, 400, 25200}, // staying in the mode changes nothing more
        {1, 9600, 0, 1023, 64449},
    };
    for (const row& r : rows) {
        db_set(obj::halvCommConfigFlowControl.row(0), 1, 0);
        db_set(obj::halvCommConfigProtocol.row(0), r.mode, 0);
        db_set(obj::halvObj2_17_6, 3, 0);
        tx_thread_sleep(STEP);
        bool changed = r.mode != 14 || &r == &rows[0];
        EXPECT_EQ(r.speed, db_get(obj::rs232PortInSpeed.row(0))) << r.mode;
        EXPECT_EQ(changed ? r.flow : 1u, db_get(obj::halvCommConfigFlowControl.row(0))) << r.mode;
        EXPECT_EQ(r.block, db_get(obj::dmsGraphicBlockSize)) << r.mode;
        EXPECT_EQ(r.max, db_get(obj::dmsGraphicMaxSize)) << r.mode;
        EXPECT_EQ(0, PortOf("ccp_pmpp"));
    }
    // Entering the mode blanked the sign for the graphic in use and asked
    // every used graphic to be not used.
    uint32_t length = 0;
    const uint8_t* code =
        reinterpret_cast<const uint8_t*>(db_get_string(obj::activationRequestCode.row(6), &length));
    ASSERT_EQ(12u, length);
    EXPECT_EQ(7, code[3]) << "blank";
    EXPECT_EQ(1u, db_get(obj::dmsGraphicStatus.row(4))) << "the not-used request was served";
}

TEST_F(CommTask, TurningLocalTimeAndCommunityBitsOnTogetherGivesRowZeroAllRights) {
    db_set(obj::communityNameAccessMask.row(0), 0, 0);
    db_set_text(obj::communityNameUser.row(0), "other", 0);
    db_set(obj::controllerStandardTimeZone, 3600, DB_NOTIFY);
    tx_thread_sleep(STEP);
    uint32_t local = db_get(obj::controllerLocalTime);
    uint32_t features = db_get(obj::halvSpecialFeatureSet);
    db_set(obj::halvSpecialFeatureSet, features | 0x60, DB_NOTIFY);
    tx_thread_sleep(STEP);
    EXPECT_STREQ("meadow", db_get_string(obj::communityNameUser.row(0)));
    EXPECT_EQ(0xFFFFFFFFu, db_get(obj::communityNameAccessMask.row(0)));
    EXPECT_EQ(0u, db_get(obj::controllerStandardTimeZone));
    EXPECT_NEAR(double(local), double(db_get_time()), 4.0) << "the former local time";

    db_set(obj::halvSpecialFeatureSet, features & ~0x60u, DB_NOTIFY);
    tx_thread_sleep(STEP);
    EXPECT_EQ(0u, db_get(obj::communityNameAccessMask.row(0)));
}

TEST_F(CommTask, TheStackReportCountsFromTheFirstTouchedByteToTheEnd) {
    comm_task& task = the_comm_task();
    uint32_t start = uint32_t(reinterpret_cast<uintptr_t>(task.Stack()));
    test_support::ClearConsole();
    the_post_office().post(LETTER_COMM_STACK);
    tx_thread_sleep(STEP);
    EXPECT_FALSE(Shows("Communication Stack Used")) << "an untouched stack shows nothing";
    for (uint32_t first_touched : {8191u, 100u, 0u}) {
        task.Stack()[first_touched] = 0x12;
        test_support::ClearConsole();
        the_post_office().post(LETTER_COMM_STACK);
        tx_thread_sleep(STEP);
        char line[96];
        std::snprintf(line, sizeof line,
                      "Communication Stack Used: %u/8192. 0x%08X-0x%08X Current:0x%08X\n",
                      unsigned(8192 - first_touched), start, start + 8192, start + first_touched);
        EXPECT_TRUE(Shows(line)) << line << test_support::ConsoleText();
    }
}

TEST_F(CommTask, PingIsAnsweredAndTheWebServerBitIsClearedByItsLetter) {
    letter_s ping(LETTER_PING), answer;
    ASSERT_TRUE(the_post_office().send_and_wait(ping, answer));
    EXPECT_EQ(uint32_t(LETTER_PING_ANSWER), answer.code());

    uint32_t features = db_get(obj::halvFeatureSet) | 0x02;
    db_set(obj::halvFeatureSet, features, DB_NOTIFY); // letter 110
    tx_thread_sleep(STEP);
    EXPECT_EQ(features & ~0x02u, db_get(obj::halvFeatureSet));
}

TEST_F(CommTask, ALinkThatComesBackInDhcpModeRenewsTheLease) {
    tx_thread_sleep(STEP); // the link monitor has seen the link up
    EXPECT_TRUE(Shows("Ethernet link up\n")) << "the first look is shown";
    for (uint32_t mode : {1u, 2u}) {
        db_set(obj::halvEthernetMode, mode, 0);
        test_support::ClearConsole();
        board::ethernet_set_cable(0); // the cable is pulled
        tx_thread_sleep(STEP);
        EXPECT_EQ(0, emac().link_up);
        EXPECT_EQ(2u, db_get(obj::ifOperStatus)) << "down";
        EXPECT_TRUE(Shows("link down\n")) << "the driver's link monitor";
        board::ethernet_set_cable(1);
        tx_thread_sleep(2 * STEP);
        EXPECT_TRUE(Shows("link enabled\n"));
        EXPECT_EQ(1, emac().link_up);
        EXPECT_EQ(1u, db_get(obj::ifOperStatus)) << "up";
        // Without a DHCP client the renewal fails and the client is started again.
        EXPECT_EQ(mode == 2, Shows("calling nx_dhcp_force_renew\n")) << mode;
        EXPECT_EQ(mode == 2, Shows("nx_dhcp_force_renew failed:7, try to restart DHCP\n"));
    }
}

TEST_F(CommTask, TerminationSuspendsOnlyTheAgentThreadsThatExist) {
    the_post_office().post(LETTER_COMM_TERMINATE);
    tx_thread_sleep(STEP);
    UINT state = 0, priority = 0;
    const char* name = nullptr;
    tx_thread_info_get(the_comm_task().Thread(), &name, &state, &priority);
    EXPECT_EQ(UINT(TX_TERMINATED), state);
    for (uint32_t i = 0; i < 8; i++) {
        CNTCIP& agent = the_comm_task().Agent(i);
        for (TX_THREAD& thread : agent.dispatch) {
            if (!thread.kernel_object) continue;
            // A thread caught in a wait is suspended as the wait ends.
            tx_thread_wait_abort(&thread);
            tx_thread_sleep(1);
            tx_thread_info_get(&thread, &name, &state, &priority);
            EXPECT_EQ(UINT(TX_SUSPENDED), state) << name << " of agent " << i;
        }
    }
    EXPECT_EQ(5, PortOf("ethernet_udp")) << "the Ethernet agents are not touched";
}

// ---- the link check's supervisions, step by step ----

TEST(SilentInterface, SoftResetsComeAfterFortyMinutesOfSilenceAtMostFourTimes) {
    struct row {
        const char* what;
        uint8_t seen;
        uint32_t steps; // silent steps after an interrupt at count 7
        uint32_t resets;
    } rows[] = {
        {"no interrupt ever seen", 0, 6000, 0},
        {"just short of 40 minutes", 1, 1199, 0},
        {"40 minutes", 1, 1200, 1},
        {"four periods", 1, 4800, 4},
        {"five periods: still four", 1, 6000, 4},
    };
    for (const row& r : rows) {
        silent_interface_watch watch;
        watch.Step(r.seen, 7);
        uint32_t resets = 0;
        for (uint32_t i = 0; i < r.steps; i++)
            resets += watch.Step(r.seen, 7);
        EXPECT_EQ(r.resets, resets) << r.what;
    }
    silent_interface_watch watch;
    for (uint32_t i = 0; i < 1199; i++)
        watch.Step(1, 7);
    EXPECT_FALSE(watch.Step(1, 8)) << "an interrupt starts the period again";
    for (uint32_t i = 0; i < 1199; i++)
        EXPECT_FALSE(watch.Step(1, 8));
    EXPECT_TRUE(watch.Step(1, 8));
}

TEST(TransferGuard, TheStateFallsBackOnceAfterSixThousandIdleSteps) {
    transfer_guard guard;
    uint32_t fired_at = 0, fired = 0;
    for (uint32_t step = 1; step <= 20000; step++)
        if (guard.Step(true)) fired_at = step, fired++;
    EXPECT_EQ(1u, fired);
    EXPECT_EQ(6001u, fired_at);
    transfer_guard idle;
    for (uint32_t step = 0; step < 7000; step++)
        EXPECT_FALSE(idle.Step(false));
}

} // namespace
