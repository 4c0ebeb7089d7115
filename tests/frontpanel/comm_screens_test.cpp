// The communication screens driven from the panel: the port settings of the
// central port and of Ethernet with what the communication task makes of
// them, the port counters and the RDI parameters, the network addresses and
// the restart on leaving IP SETTINGS, and the cellular modem's screens
// against a modem double that answers the requests of "Modem Events".
#include "comm/agents/ntcip_agents.h"
#include "comm/network.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/modem.h"
#include "frontpanel/screens/network.h"
#include "frontpanel/screens/ports.h"
#include "platform/monitor/monitor.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/frontpanel/panel_navigation.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

using test_support::PanelSession;

const uint8_t ESCAPE = field::PANEL_KEY_ESCAPE;
const uint8_t DOWN = field::PANEL_KEY_DOWN;

// rs232PortInSpeed of the first port as an SNMP walk finds it.
uint32_t walked_port_speed() {
    agent_test::CapturingAgent agent;
    auto pdu = agent.AskPdu(
        agent_test::request(0xA1, agent_test::ADMIN, {1, 3, 6, 1, 2, 1, 10, 33, 2, 1, 5}, 1));
    if (!pdu || pdu->error_status != 0) return 0;
    const snmp_varbind& varbind = pdu->varbinds[0];
    uint32_t value = 0; // an integer is held as the host's word
    if (varbind.value_length == sizeof value) std::memcpy(&value, varbind.value, sizeof value);
    return value;
}

class CommScreens : public test_support::PanelNavigation {
  protected:
    template <class T> T* Screen(int32_t id) {
        return dynamic_cast<T*>(PanelSession::Manager()->FindMenu(id, nullptr));
    }
    // The text at the right of the list row that names `title`.
    std::string RowOf(const std::string& title) {
        for (int row = 2; row <= 7; ++row) {
            std::string text = Panel().Row(row);
            if (text.find(") " + title) == 1) return text;
        }
        return "";
    }
    bool WaitForReconfigured() {
        for (int i = 0; i < 40 && db_get(obj::halvObj2_17_6) != 1; ++i)
            PanelSession::Polls(1);
        return db_get(obj::halvObj2_17_6) == 1;
    }
    void OpenIpSettings() {
        LogIn("1234");
        OpenPath({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "ETHERNET CONTROL PORT",
                  "IP SETTINGS"});
        ASSERT_TRUE(Shows(1, "IP SETTINGS")) << Screen();
    }
    bool RestartWithin(int polls) {
        for (int i = 0; i < polls && Restarts() == 0; ++i)
            PanelSession::Polls(1);
        return Restarts() > 0;
    }
    // Types the four octets, moving on by Right where an octet does not
    // move on by itself, and Enter.
    void TypeAddress(uint32_t address) {
        for (int i = 0; i < 4; ++i) {
            uint32_t octet = (address >> (24 - 8 * i)) & 0xFF;
            std::string digits = std::to_string(octet);
            Digits(digits);
            bool advances = digits.size() == 3 || (digits.size() == 2 && octet > 25);
            if (i < 3 && !advances) Key(field::PANEL_KEY_RIGHT);
        }
        Key(field::PANEL_KEY_ENTER);
    }
    // Escape until the screen titled `title` shows (a message takes one).
    bool EscapeTo(const std::string& title) {
        for (int i = 0; i < 3; ++i) {
            Key(ESCAPE);
            if (Shows(1, title)) return true;
        }
        return false;
    }
    using test_support::PanelNavigation::Screen;
};

// --- ports -----------------------------------------------------------------------------------

TEST_F(CommScreens, ABaudRateChosenAtTheCentralPortIsStoredShownAndApplied) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "CENTRAL CONTROL PORT", "BAUD RATE"});
    ASSERT_TRUE(Shows(1, "BAUD RATE")) << Screen();
    Open("19200");
    ASSERT_TRUE(Shows(1, "CENTRAL CONTROL PORT")) << Screen();
    EXPECT_EQ(19200u, db_get(obj::rs232PortInSpeed.row(0)));
    EXPECT_EQ(19200u, walked_port_speed());
    PanelSession::Polls(1);
    std::string row = RowOf("BAUD RATE");
    EXPECT_EQ("19200", row.substr(row.find_last_not_of(' ') - 4, 5)) << Screen();
    EXPECT_TRUE(WaitForReconfigured());
}

// Every choice of every list, on the port each list is bound to: the value
// in the port's row and what follows it.
TEST_F(CommScreens, EveryChoiceWritesItsValueAndItsFollowUp) {
    LogIn("1234");
    struct bound_list {
        int32_t menu;
        uint8_t port;
    };
    const bound_list LISTS[] = {{98, 0}, {99, 0}, {100, 0}, {101, 0}, {125, 4}, {126, 4}, {127, 4}};
    for (const bound_list& bound : LISTS) {
        auto* screen = Screen<CLCD_ComConfigPortChoice>(bound.menu);
        ASSERT_NE(nullptr, screen) << bound.menu;
        EXPECT_EQ(bound.port, screen->Port()) << bound.menu;
        for (size_t i = 0; i < screen->ChoiceCount(); ++i) {
            const choice_row& choice = *screen->Choice(i);
            db_set(obj::halvObj2_17_6, 1, 0);
            db_set(obj::dmsSWReset, 0, 0);
            if (bound.menu == 125) db_set(obj::ifSpeed, 1234, 0); // AUTO keeps it
            screen->OnSelect(*PanelSession::Manager(), choice);
            std::string what = std::to_string(bound.menu) + " " + choice.text.english;
            uint32_t request = db_get(obj::halvObj2_17_6);
            uint32_t reset = db_get(obj::dmsSWReset);
            db_set(obj::dmsSWReset, 0, 0); // the restart is seen, not carried out
            if (bound.menu == 98) {
                EXPECT_EQ(choice.value, db_get(obj::rs232PortInSpeed.row(0))) << what;
                EXPECT_EQ(1u, request) << what << ": the speed letter suffices";
            } else if (bound.menu == 125) {
                const ethernet_link_mode& mode = ETHERNET_LINK_MODES[choice.value];
                EXPECT_EQ(mode.speed ? mode.speed : 1234u, db_get(obj::ifSpeed)) << what;
                EXPECT_EQ(mode.duplex, db_get(obj::halvCommConfigFlowControl.row(4))) << what;
                EXPECT_EQ(1u, reset) << what;
            } else {
                const port_choice_list* list = nullptr;
                for (const port_choice_list& l : PORT_CHOICE_LISTS)
                    if (screen->Choice(0) == port_choice_set_of(l, bound.port)->choices) list = &l;
                ASSERT_NE(nullptr, list) << what;
                EXPECT_EQ(choice.value, db_get(list->column.row(bound.port))) << what;
                EXPECT_EQ(4u, request) << what;
                EXPECT_EQ(0u, reset) << what;
            }
        }
    }
    EXPECT_EQ(0, Restarts());

    // The last choices are what the lists show.
    OpenPath({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "ETHERNET CONTROL PORT"});
    ASSERT_TRUE(Shows(1, "ETHERNET CONTROL PORT"));
    PanelSession::Polls(1);
    EXPECT_NE(std::string::npos, RowOf("BAUD RATE").find("100 FULL")) << Screen();
    EXPECT_NE(std::string::npos, RowOf("PROTOCOL").find("TCP/IP AND UDP/IP")) << Screen();
    EXPECT_NE(std::string::npos, RowOf("TRAPS").find("ENABLE SOFTWARE PULL OVER TCP")) << Screen();
    db_set(obj::halvCommConfigProtocol.row(4), 77, 0);
    db_set(obj::halvCommConfigFlowControl.row(4), 5, 0);
    db_set(obj::ifSpeed, 1234, 0);
    Key(ESCAPE);
    Open("ETHERNET CONTROL PORT");
    PanelSession::Polls(1);
    EXPECT_NE(std::string::npos, RowOf("PROTOCOL").find("OTHER")) << Screen();
    EXPECT_EQ(std::string::npos, RowOf("BAUD RATE").find("HALF")) << "no mode matches";
}

TEST_F(CommScreens, ATimeoutUpTo32767IsStoredAndZeroShowsDefault) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "CENTRAL CONTROL PORT"});
    struct timeout_case {
        const char* typed;
        uint32_t stored;
        const char* shown;
    };
    const timeout_case CASES[] = {
        {"32768", 0, "DEFAULT"}, // refused: nothing stored
        {"32767", 32767, "32767ms"},
        {"0", 0, "DEFAULT"},
    };
    for (const timeout_case& c : CASES) {
        Open("TIMEOUT");
        ASSERT_TRUE(Shows(2, "RESTRICTIONS:< 32768ms")) << Screen();
        db_set(obj::halvObj2_17_6, 1, 0);
        Digits(c.typed, true);
        PanelSession::Polls(1);
        EXPECT_EQ(c.stored, db_get(obj::halvCommConfigInnerCharTimeout.row(0))) << c.typed;
        if (c.stored == 0 && std::string(c.typed) != "0") {
            EXPECT_TRUE(Shows(6, "INVALID ENTRY")) << c.typed;
            Key(ESCAPE);
        }
        ASSERT_TRUE(Shows(1, "CENTRAL CONTROL PORT")) << Screen();
        PanelSession::Polls(1);
        EXPECT_NE(std::string::npos, RowOf("TIMEOUT").find(c.shown)) << c.typed << Screen();
    }
}

TEST_F(CommScreens, EthernetProtocolNineMovesTheAgentsAndTheCountersFollowTheProtocol) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "ETHERNET CONTROL PORT", "PROTOCOL"});
    ASSERT_TRUE(Shows(1, "PROTOCOL"));
    Open("PMPP TCP/IP");
    EXPECT_EQ(9u, db_get(obj::halvCommConfigProtocol.row(4)));
    ASSERT_TRUE(WaitForReconfigured());
    auto port_of = [](const char* name) { return AgentRow(FindAgent(name))->port; };
    EXPECT_NE(PORT_NONE, port_of("ethernet_pmpp"));
    for (const char* name : {"ethernet_ppp", "ethernet_tcp", "ethernet_udp"})
        EXPECT_EQ(PORT_NONE, port_of(name)) << name;

    // Each counter row its own kind, summed over the agents the protocol runs.
    struct counters {
        const char* agent;
        uint32_t received, sent, dropped, invalid;
    };
    const counters SET[] = {{"ethernet_pmpp", 7, 8, 9, 10},
                            {"ethernet_tcp", 100, 200, 300, 400},
                            {"ethernet_udp", 1, 2, 3, 4}};
    for (const counters& c : SET) {
        ethernet_link& link = AgentRow(FindAgent(c.agent))->agent->ethernet;
        link.frames_received = c.received, link.frames_sent = c.sent;
        link.bytes_dropped = c.dropped, link.bytes_invalid = c.invalid;
        pmpp_link& pmpp = AgentRow(FindAgent(c.agent))->agent->pmpp;
        pmpp.frames_received = c.received, pmpp.frames_sent = c.sent;
        pmpp.bytes_dropped = c.dropped, pmpp.bytes_invalid = c.invalid;
    }
    struct shown_case {
        uint32_t protocol;
        const char* rows[4];
    };
    const shown_case CASES[] = {
        {9, {"7", "8", "9", "10"}},
        {11, {"101", "202", "303", "404"}},
        {12, {"0", "0", "0", "0"}},
    };
    const char* TITLES[] = {"COMM RX CNT", "COMM TX CNT", "COMM BYTES DROPPED",
                            "COMM BYTES INVALID"};
    for (const shown_case& c : CASES) {
        db_set(obj::halvCommConfigProtocol.row(4), c.protocol, 0);
        Key(DOWN);
        Open("STATUS");
        ASSERT_TRUE(Shows(1, "STATUS")) << Screen();
        PanelSession::Polls(6); // the list redraws itself
        for (int i = 0; i < 4; ++i) {
            std::string row = RowOf(TITLES[i]);
            size_t end = row.find_last_not_of(' ');
            size_t start = row.find_last_of(' ', end);
            EXPECT_EQ(c.rows[i], row.substr(start + 1, end - start)) << c.protocol << " " << row;
        }
        Key(ESCAPE);
        ASSERT_TRUE(Shows(1, "ETHERNET CONTROL PORT"));
    }
}

TEST_F(CommScreens, RdiOptionsShowOnlyForTheRadioProtocolAndHandTheSettingsToTheAgent) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "CENTRAL CONTROL PORT"});
    PanelSession::Polls(1);
    EXPECT_EQ("", RowOf("RDI OPTIONS")) << "hidden" << Screen();
    Open("PROTOCOL");
    Open("M/A COM RADIO");
    ASSERT_TRUE(Shows(1, "CENTRAL CONTROL PORT"));
    db_set(obj::halvRemoteIPAddress, 0x0A000002, DB_NOTIFY);
    Open("RDI OPTIONS");
    ASSERT_TRUE(Shows(8, "* = TAKES EFFECT ON NEXT BOOT")) << Screen();
    Open("LID, ACK2, RETRIES");
    ASSERT_TRUE(Shows(1, "LOGICAL ID")) << Screen();
    Digits("513", true);
    ASSERT_TRUE(Shows(1, "ACK2 TIMEOUT")) << Screen();
    Digits("2500", true);
    ASSERT_TRUE(Shows(1, "NUMBER OF RETRIES")) << Screen();
    Digits("5", true); // past its restriction: the step stays
    EXPECT_TRUE(Shows(1, "NUMBER OF RETRIES"));
    Key(field::PANEL_KEY_LEFT);
    Digits("3", true);
    ASSERT_TRUE(Shows(1, "RDI OPTIONS")) << Screen();
    EXPECT_EQ(513u, db_get(obj::halvObj2_17_3));
    EXPECT_EQ(2500u, db_get(obj::halvObj2_17_4));
    EXPECT_EQ(3u, db_get(obj::halvObj2_17_5));
    const CNTCIP* agent = AgentRow(FindAgent("ccp_pmpp"))->agent;
    EXPECT_EQ(2500u, agent->pmpp.rdi_ack_timeout);
    EXPECT_EQ(3u, agent->pmpp.rdi_retries);
    EXPECT_EQ(0x0A000002u, agent->pmpp.rdi_remote_address);
    EXPECT_EQ(513u, agent->pmpp.rdi_remote_lid);
    PanelSession::Polls(1);
    EXPECT_NE(std::string::npos, RowOf("LID, ACK2, RETRIES").find("513,2500,3")) << Screen();
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "CENTRAL CONTROL PORT"));
    EXPECT_FALSE(RestartWithin(10)) << "no address was entered";

    // A new controller address: going on to a child keeps it, leaving restarts.
    Open("RDI OPTIONS");
    Open("CONTROLLER IP ADDRESS");
    TypeAddress(0x0A010203);
    ASSERT_TRUE(Shows(1, "RDI OPTIONS")) << Screen();
    Open("CENTRAL IP PORT");
    EXPECT_FALSE(RestartWithin(4));
    Key(ESCAPE);
    ASSERT_TRUE(Shows(1, "RDI OPTIONS")) << Screen();
    Key(ESCAPE);
    EXPECT_TRUE(RestartWithin(40));
    EXPECT_EQ(0x0A010203u, db_get(obj::ipAdEntAddr));
}

// --- network ------------------------------------------------------------------------------------

TEST_F(CommScreens, ANewControllerAddressIsMarkedAndWrittenToTheStartUpScriptOnLeaving) {
    OpenIpSettings();
    PanelSession::Polls(1);
    char running[24];
    format_address(net_ip_address, running, sizeof running);
    EXPECT_NE(std::string::npos, RowOf("CONTROLLER IP ADDRESS").find(std::string(running) + " "))
        << Screen();

    // Refused entries: a field past 255, a mask with a hole, no address at all.
    struct refused_case {
        const char* screen;
        const char* typed;
        DbObject object;
    };
    const refused_case REFUSED[] = {
        {"CONTROLLER IP ADDRESS", "256111", obj::ipAdEntAddr},
        {"CONTROLLER SUBNET", "255000255000", obj::ipAdEntNetMask},
        {"CONTROLLER IP ADDRESS", "000000000000", obj::ipAdEntAddr},
    };
    for (const refused_case& c : REFUSED) {
        uint32_t before = db_get(c.object);
        Open(c.screen);
        Digits(c.typed, true);
        EXPECT_TRUE(Shows(6, "INVALID ENTRY")) << c.screen << " " << c.typed << Screen();
        EXPECT_EQ(before, db_get(c.object)) << c.typed;
        Key(ESCAPE);
        ASSERT_TRUE(Shows(1, "IP SETTINGS"));
    }

    // The running address again: stored, no mark.
    Open("CONTROLLER IP ADDRESS");
    TypeAddress(net_ip_address);
    ASSERT_TRUE(Shows(1, "IP SETTINGS")) << Screen();
    EXPECT_FALSE(Screen<CLCD_NetworkAddress>(130)->Changed());

    // Telnet changes wait for any next start: no restart on leaving.
    Key(DOWN);
    Open("TELNET INTERFACE");
    Open("ENABLE");
    ASSERT_TRUE(Shows(1, "IP SETTINGS"));
    PanelSession::Polls(1);
    EXPECT_NE(std::string::npos, RowOf("TELNET INTERFACE").find("ENABLE*")) << Screen();
    EXPECT_NE(0u, db_get(obj::halvFeatureSet) & 0x8);
    Key(ESCAPE);
    ASSERT_TRUE(Shows(1, "ETHERNET CONTROL PORT"));
    EXPECT_FALSE(RestartWithin(10));
    Key(field::PANEL_KEY_UP);

    // A new address: marked, and leaving IP SETTINGS writes it and restarts.
    Open("IP SETTINGS");
    Open("CONTROLLER IP ADDRESS");
    TypeAddress(0x0A01020B); // 10.1.2.11
    ASSERT_TRUE(Shows(1, "IP SETTINGS")) << Screen();
    PanelSession::Polls(1);
    EXPECT_NE(std::string::npos, RowOf("CONTROLLER IP ADDRESS").find("10.1.2.11*")) << Screen();
    EXPECT_EQ(0x0A01020Bu, db_get(obj::ipAdEntAddr));
    EXPECT_FALSE(RestartWithin(4)) << "a child keeps the change going";
    Key(ESCAPE);
    ASSERT_TRUE(RestartWithin(40));
    char monrc[256] = {};
    int fd = mon_tfsopen("monrc", TFS_RDONLY, nullptr);
    ASSERT_GE(fd, 0);
    ASSERT_GT(mon_tfsread(fd, monrc, sizeof monrc - 1), 0);
    mon_tfsclose(fd, nullptr);
    EXPECT_NE(std::string::npos, std::string(monrc).find("set IPADD 10.1.2.11\r\n")) << monrc;
}

// A change that waits for the restart on leaving, even one that keeps the
// stored value: {screen, page, digits typed or choice opened, mark shown}.
struct restart_case {
    const char* screen;
    bool second_page;
    const char* typed;  // digits with Enter, or null
    const char* choice; // a list choice, or null
    const char* shown;
};
void PrintTo(const restart_case& c, std::ostream* out) {
    *out << c.screen;
}
class LeavingIpSettings : public CommScreens, public ::testing::WithParamInterface<restart_case> {};

TEST_P(LeavingIpSettings, RestartsTheController) {
    const restart_case& c = GetParam();
    OpenIpSettings();
    if (c.second_page) Key(DOWN);
    Open(c.screen);
    if (c.typed) Digits(c.typed, true);
    if (c.choice) Open(c.choice);
    ASSERT_TRUE(Shows(1, "IP SETTINGS")) << Screen();
    PanelSession::Polls(1);
    if (RowOf(c.screen).empty()) Key(DOWN); // an address screen returns to the first page
    EXPECT_NE(std::string::npos, RowOf(c.screen).find(c.shown)) << Screen();
    EXPECT_FALSE(RestartWithin(4));
    Key(ESCAPE);
    EXPECT_TRUE(RestartWithin(40));
}

INSTANTIATE_TEST_SUITE_P(
    CommScreens, LeavingIpSettings,
    ::testing::Values(restart_case{"CONTROLLER IP PORT", false, "161", nullptr, "161*"},
                      restart_case{"WEB LCD INTERFACE", true, nullptr, "DISABLE", "DISABLE*"},
                      restart_case{"NTP INTERFACE", true, nullptr, "ENABLE", "ENABLE*"},
                      restart_case{"NTP SERVER IP ADDRESS", true, "10001001", nullptr,
                                   "100.10.1.0*"}),
    [](const ::testing::TestParamInfo<restart_case>& info) {
        std::string name;
        for (const char* c = info.param.screen; *c; ++c)
            if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
        return name;
    });

// --- the cellular modem
// ----------------------------------------------------------------------------

// Stands in for the modem task: answers each request with the next scripted
// report (none: the request is never answered).
class ModemDouble : public modem_link {
  public:
    ModemDouble() { os_event_flags_create(&events_, "Modem Events"); }
    ~ModemDouble() override { os_event_flags_delete(&events_); }
    TX_EVENT_FLAGS_GROUP* Events() override { return &events_; }
    const char* Model() override { return "Raven-XT"; }
    const char* Esn() override { return "0x12345678"; }
    const char* PhoneNumber() override { return "5551234"; }
    uint8_t Carrier() override { return carrier; }
    const char* CarrierName() override { return carrier == 6 ? "ATT" : "Verizon"; }
    bool SignalQuality(bool french, const char** text) override {
        *text = french ? "BON" : "GOOD";
        return true;
    }
    // Takes a waiting request and answers it. -> the request taken, 0 none.
    uint32_t Answer(uint32_t report) {
        ULONG actual = 0;
        if (os_event_flags_get(&events_, MODEM_REQUEST_DETECT | MODEM_REQUEST_ACTIVATE,
                               OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT) != OS_OK)
            return 0;
        if (report) os_event_flags_set(&events_, report, OS_EVENT_OR);
        return actual;
    }
    uint8_t carrier = 6;

  private:
    TX_EVENT_FLAGS_GROUP events_{};
};

class ModemScreens : public CommScreens {
  protected:
    void OpenModemScreen(bool french = false) {
        db_set(obj::halvFeatureSet, db_get(obj::halvFeatureSet) | MODEM_FEATURE, 0);
        install_modem_link(&modem_);
        if (french) {
            Panel();
            db_set(obj::halvLanguage, 2, DB_NOTIFY);
            PanelSession::Manager()->SetLanguage();
        }
        LogIn("1234");
        OpenPath({"CONFIGURATION",
                  french ? "CONFIGURATION DE LA COMMUNICATION" : "COMMUNICATION CONFIGURATION",
                  french ? "PORT ETHERNET" : "ETHERNET CONTROL PORT",
                  french ? "PARAMETRES IP" : "IP SETTINGS"});
        Key(DOWN);
        Open(french ? "CONFIGURATION DU MODEM" : "MODEM CONFIGURATION");
    }
    void TearDown() override {
        install_modem_link(nullptr);
        CommScreens::TearDown();
    }
    ModemDouble modem_;
};

TEST_F(ModemScreens, TheModemScreenIsHiddenWithoutTheActivationMode) {
    OpenIpSettings();
    Key(DOWN);
    PanelSession::Polls(1);
    EXPECT_EQ("", RowOf("MODEM CONFIGURATION")) << Screen();
    EXPECT_NE("", RowOf("MODEM ACTIVATION INTERFACE")) << Screen();
}

// Detection and activation outcomes, each with its text in both languages.
TEST_F(ModemScreens, EveryReportShowsItsTextInEnglish) {
    OpenModemScreen();
    ASSERT_TRUE(Shows(4, "DETECTING MODEM")) << Screen();
    EXPECT_EQ(MODEM_REQUEST_DETECT, modem_.Answer(MODEM_NONE));
    EXPECT_TRUE(Shows(4, "NO MODEM FOUND")) << Screen();
    EXPECT_TRUE(Shows(6, "1) DETECT MODEM"));
    Digits("1");
    EXPECT_EQ(MODEM_REQUEST_DETECT, modem_.Answer(MODEM_FOUND));
    EXPECT_TRUE(Shows(2, "MODEM: Raven-XT")) << Screen();
    EXPECT_TRUE(Shows(3, "ESN: 0x12345678"));
    EXPECT_TRUE(Shows(4, "NETWORK: ATT"));
    EXPECT_NE(std::string::npos, Panel().Row(4).find("PHONE#: 5551234"));
    EXPECT_TRUE(Shows(5, "SIGNAL: GOOD"));
    EXPECT_TRUE(Shows(6, "1) ACTIVATE MODEM"));

    // AT&T: three texts, each stored with a carriage return.
    struct activation_case {
        uint32_t report;
        const char* shown;
    };
    const activation_case CASES[] = {
        {MODEM_WEAK_SIGNAL, "INSUFFICENT SIGNAL STRENGTH"},
        {MODEM_REFUSED_DATA, "INVALID COMMAND OR USER DATA"},
        {MODEM_TIMED_OUT, "TIMED OUT"}, // the task's own time-out
        {MODEM_ACTIVATED, "SUCCESS"},
    };
    for (const activation_case& c : CASES) {
        Digits("1");
        ASSERT_TRUE(Shows(1, "MODEM CONFIGURATION")) << Screen();
        ASSERT_TRUE(Shows(4, "APN")) << Screen();
        Panel().KeypadDigits("12345678", true);
        Panel().KeypadDigits("9", true);
        Panel().KeypadDigits("7", true);
        ASSERT_TRUE(Shows(4, "ACTIVATING MODEM")) << Screen();
        EXPECT_EQ("12345678\r", std::string(db_get_string(obj::modemApn)));
        EXPECT_EQ("9\r", std::string(db_get_string(obj::modemUserId)));
        EXPECT_EQ(MODEM_REQUEST_ACTIVATE, modem_.Answer(c.report));
        Digits("5"); // swallowed while activating
        EXPECT_TRUE(Shows(4, c.shown)) << Screen();
        if (c.report == MODEM_ACTIVATED) break;
        EXPECT_TRUE(Shows(6, "(PRESS ANY KEY TO CONTINUE)"));
        Digits("5");
        ASSERT_TRUE(Shows(6, "1) ACTIVATE MODEM")) << Screen();
    }
    Digits("5");
    EXPECT_TRUE(Shows(6, "1) EXIT MENU")) << Screen();
    Digits("1");
    EXPECT_TRUE(Shows(1, "IP SETTINGS")) << Screen();
}

TEST_F(ModemScreens, EveryReportShowsItsTextInFrench) {
    OpenModemScreen(true);
    ASSERT_TRUE(Shows(4, "DETECTION DU MODEM")) << Screen();
    struct french_case {
        uint32_t report;
        int row;
        const char* shown;
    };
    const french_case CASES[] = {
        {MODEM_NONE, 4, "AUCUN MODEM DETECTE"},
        {MODEM_FOUND, 4, "RESEAU: ATT"},
        {MODEM_TIMED_OUT, 4, "DELAI ECOULE"},
        {MODEM_WEAK_SIGNAL, 4, "INTENSITE DU SIGNAL INSUFFISANTE"},
        {MODEM_REFUSED_DATA, 4, "COMMANDE OU DONNEES INVALIDES"},
        {MODEM_NOT_SUPPORTED, 4, "NON SUPPORTE"},
        {MODEM_ACTIVATED, 4, "ACTIVATION REUSSIE"},
    };
    for (const french_case& c : CASES) {
        // Each report answers a detection of its own.
        EXPECT_EQ(MODEM_REQUEST_DETECT, modem_.Answer(c.report));
        EXPECT_TRUE(Shows(c.row, c.shown)) << c.report << Screen();
        ASSERT_TRUE(EscapeTo("PARAMETRES IP")) << Screen();
        Open("CONFIGURATION DU MODEM");
    }
}

// Each carrier with a wizard stores its texts (AT&T's with a carriage
// return) and starts the activation; a carrier without one is not supported.
TEST_F(ModemScreens, EachCarrierStoresItsTextsOrIsNotSupported) {
    struct carrier_case {
        uint8_t carrier;
        std::vector<std::string> typed;
        const char* spc;
        const char* second;
        const char* third;
    };
    const carrier_case CASES[] = {
        {1, {"5161234567", "9876"}, "735190", "5161234567", "9876"},
        {2, {"123456", "5161234567", "9876"}, "123456", "5161234567", "9876"},
        {4, {}, "", "", ""},
    };
    OpenModemScreen();
    for (const carrier_case& c : CASES) {
        modem_.carrier = c.carrier;
        ASSERT_TRUE(Shows(4, "DETECTING MODEM")) << Screen();
        EXPECT_EQ(MODEM_REQUEST_DETECT, modem_.Answer(MODEM_FOUND));
        ASSERT_TRUE(Shows(6, "1) ACTIVATE MODEM")) << Screen();
        Digits("1");
        if (c.typed.empty()) {
            EXPECT_TRUE(Shows(4, "NOT SUPPORTED")) << Screen();
            EXPECT_EQ(0u, modem_.Answer(0)) << "nothing asked";
            continue;
        }
        // Escape on the first step: back to the modem screen, a new detection.
        ASSERT_TRUE(Shows(1, "MODEM CONFIGURATION"));
        Key(ESCAPE);
        ASSERT_TRUE(Shows(4, "DETECTING MODEM")) << Screen();
        EXPECT_EQ(MODEM_REQUEST_DETECT, modem_.Answer(MODEM_FOUND));
        ASSERT_TRUE(Shows(6, "1) ACTIVATE MODEM")) << Screen();
        Digits("1");
        for (const std::string& text : c.typed)
            Digits(text, true);
        ASSERT_TRUE(Shows(4, "ACTIVATING MODEM")) << int(c.carrier) << Screen();
        EXPECT_EQ(MODEM_REQUEST_ACTIVATE, modem_.Answer(MODEM_ACTIVATED));
        EXPECT_EQ(c.spc, std::string(db_get_string(obj::modemProvisionSpc))) << int(c.carrier);
        EXPECT_EQ(c.second, std::string(db_get_string(obj::modemProvisionArg2)));
        EXPECT_EQ(c.third, std::string(db_get_string(obj::modemProvisionArg3)));
        EXPECT_TRUE(Shows(4, "SUCCESS")) << Screen();
        ASSERT_TRUE(EscapeTo("IP SETTINGS"));
        Open("MODEM CONFIGURATION");
    }

    // An APN typed past the thirty characters a setting takes: the keys
    // beyond are refused, and what the screen showed is what is stored.
    ASSERT_TRUE(EscapeTo("IP SETTINGS"));
    Open("MODEM CONFIGURATION");
    modem_.carrier = 6;
    EXPECT_EQ(MODEM_REQUEST_DETECT, modem_.Answer(MODEM_FOUND));
    ASSERT_TRUE(Shows(6, "1) ACTIVATE MODEM")) << Screen();
    Digits("1");
    std::string typed;
    for (int i = 0; i < 18; ++i)
        typed += "12";
    Digits(typed);
    EXPECT_NE(std::string::npos, Panel().Row(4).find(typed.substr(0, MODEM_TEXT_CHARACTERS) + " "))
        << Screen();
    Digits("", true);
    Digits("3", true);
    Digits("4", true);
    EXPECT_EQ(typed.substr(0, MODEM_TEXT_CHARACTERS) + "\r",
              std::string(db_get_string(obj::modemApn)));
    EXPECT_EQ(MODEM_REQUEST_ACTIVATE, modem_.Answer(MODEM_ACTIVATED));
}

TEST_F(ModemScreens, ASilentTaskTimesOutOnTheScreenAndItsLateReportStillShows) {
    OpenModemScreen();
    ASSERT_TRUE(Shows(4, "DETECTING MODEM"));
    PanelSession::Polls(CLCD_ModemActivation::DETECT_POLLS + 2);
    EXPECT_TRUE(Shows(4, "TIMED OUT")) << Screen();
    EXPECT_EQ(MODEM_REQUEST_DETECT, modem_.Answer(MODEM_FOUND)) << "the request stays open";
    EXPECT_TRUE(Shows(4, "NETWORK: ATT")) << Screen();
    // A report nobody asked for changes nothing.
    os_event_flags_set(modem_.Events(), MODEM_NONE, OS_EVENT_OR);
    PanelSession::Polls(2);
    EXPECT_TRUE(Shows(6, "1) ACTIVATE MODEM")) << Screen();
}

// An over-the-air activation takes minutes: the screen waits for the task's
// own outcome.
TEST_F(ModemScreens, ALongActivationEndsInSuccessOnThePanel) {
    OpenModemScreen();
    EXPECT_EQ(MODEM_REQUEST_DETECT, modem_.Answer(MODEM_FOUND));
    ASSERT_TRUE(Shows(6, "1) ACTIVATE MODEM")) << Screen();
    Digits("1");
    for (const char* text : {"12345678", "9", "7"})
        Digits(text, true);
    ASSERT_TRUE(Shows(4, "ACTIVATING MODEM")) << Screen();
    EXPECT_EQ(MODEM_REQUEST_ACTIVATE, modem_.Answer(0));
    PanelSession::Polls(730); // past the six minutes the screen once gave up after
    EXPECT_TRUE(Shows(4, "ACTIVATING MODEM")) << Screen();
    os_event_flags_set(modem_.Events(), MODEM_ACTIVATED, OS_EVENT_OR);
    EXPECT_TRUE(Shows(4, "SUCCESS")) << Screen();
    EXPECT_TRUE(Shows(6, "(PLEASE CYCLE SIGN POWER")) << Screen();
}

TEST_F(ModemScreens, SwitchingTheActivationModeSetsTheAddressingAndRestarts) {
    OpenIpSettings();
    Key(DOWN);
    Open("MODEM ACTIVATION INTERFACE");
    Open("ENABLE");
    EXPECT_NE(0u, db_get(obj::halvFeatureSet) & MODEM_FEATURE);
    EXPECT_EQ(2u, db_get(obj::halvEthernetMode));
    EXPECT_EQ(3001u, db_get(obj::halvHostIPPort));
    EXPECT_TRUE(RestartWithin(40));
}

} // namespace
