// The cellular modem's command port against a scripted modem on TCP
// (tests/comm/scripts/cell_modem.py), reached the way --cell-modem sends it:
// the sign's connections to the modem's LAN address go to the script. The
// modem task is created by the network start-up (feature bit 0x20 from a
// CONFIG.XML put into flash before the first start). The clock moves in small
// held steps, so that every reply arrives before a wait can run out.
#include "comm/modem_task.h"
#include "platform/monitor/monitor.h"
#include "platform/netstack/internal.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/console/console_test_util.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {

const ULONG DIALOGUE_TICKS = 3000;

TEST(ModemReplies, EchoRemovalAndTrimmingStayWithinTheField) {
    struct reply_case {
        const char* command;
        const char* received;
        const char* kept;
    };
    const reply_case CASES[] = {
        {"ATI3\r", "ATI3\r\r\nModel 4000\r\n\r\nOK\r\n", "Model 4000"},
        {"ATI3\r", "\r\nModel 4000\r\n\r\nOK\r\n", "Model 4000"},
        {"ATI3\r", "ATI3", "ATI3"}, // no CR after the echo: left alone
        {"ATI3\r", "ATI3\r\nno confirmation", "no confirmation"}, // no OK: not trimmed
        // Only the echo of the command just sent is removed, and only at the start.
        {"AT*NETOP?\r", "\r\nAT&T 310410\r\n\r\nOK\r\n", "AT&T 310410"},
        {"AT*NETOP?\r", "AT*NETOP?\r\r\nAT&T 310410\r\n\r\nOK\r\n", "AT&T 310410"},
        {"ATI0\r", "ATI3\r\r\nModel 4000\r\n\r\nOK\r\n", "ATI3Model 4000"},
    };
    for (const reply_case& c : CASES) {
        char field[36];
        std::snprintf(field, sizeof field, "%s", c.received);
        CModemTask::StripEcho(field, sizeof field, c.command);
        CModemTask::TrimReply(field);
        EXPECT_STREQ(c.kept, field) << testing::PrintToString(std::string(c.received));
    }
    char full[8];
    std::memset(full, 'A', sizeof full); // a field filled to its end, no terminator
    full[0] = 'A', full[1] = 'T';
    CModemTask::StripEcho(full, sizeof full, "AT\r");
    EXPECT_EQ(7u, std::strlen(full)) << "the field is read within its size";
}

TEST(ModemReplies, TheSignalIsParsedWithinTheReplyAndWithin16Bits) {
    struct signal_case {
        const char* reply;
        bool read;
        int16_t value;
    };
    const signal_case CASES[] = {
        {"\r\n-80\r\n", true, -80},
        {"RSSI: -101 dBm", true, -101},
        {"-32768", true, -32768},
        {"-32769", false, 0},
        {"-99999999999", false, 0},
        {"80", false, 0},
        {"-", false, 0},
        {"- 80", false, 0},
    };
    for (const signal_case& c : CASES) {
        int16_t value = 0;
        EXPECT_EQ(c.read, CModemTask::ParseSignal(c.reply, &value)) << c.reply;
        if (c.read) {
            EXPECT_EQ(c.value, value) << c.reply;
        }
    }
}

TEST(ModemReplies, TheFirstCarrierOfTheTableWins) {
    struct carrier_case {
        const char* reply;
        const char* carrier;
    };
    const carrier_case CASES[] = {
        {"Verizon 310", "Verizon"}, {"AT&T 310", "ATT"},    {"Rogers 302", "Rogers"},
        {"Bell Mobility", "Bell"},  {"verizon", "Unknown"}, {"", "Unknown"},
    };
    for (const carrier_case& c : CASES) {
        uint8_t index = CModemTask::DetectCarrier(c.reply);
        const char* names[] = {"Unknown", "Verizon", "Sprint", "Alltel",
                               "Bell",    "Telus",   "ATT",    "Rogers"};
        EXPECT_STREQ(c.carrier, names[index]) << c.reply;
    }
}

class CellularModem : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.port_offset = test_support::FreePortOffset();
        std::string script = std::string(TEST_SOURCE_DIR) + "/comm/scripts/cell_modem.py";
        char dir[] = "/tmp/cell_modem_XXXXXX";
        log_dir_ = mkdtemp(dir);
        ASSERT_TRUE(modem_.Start({"/usr/bin/python3", script}, log_dir_ + "/modem.log"));
        for (int i = 0; i < 500 && modem_.Output().find("port ") == std::string::npos; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::string out = modem_.Output();
        ASSERT_NE(std::string::npos, out.find("port "));
        uint16_t port = uint16_t(std::stoi(out.substr(out.find("port ") + 5)));
        host::netstack_redirect_tcp(CModemTask::LAN_ADDRESS, CModemTask::COMMAND_PORT, 0x7F000001,
                                    port);
    }
    void Prepare() override {
        const char config[] = "<!-- CONFIG.XML J6 V2.0 -->\nhalvFeatureSet[0000]:XXXX,34\n";
        ASSERT_EQ(0, mon_tfsadd("CONFIG.XML", nullptr, nullptr,
                                reinterpret_cast<const unsigned char*>(config),
                                int(sizeof config - 1)));
    }
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        if (HasFatalFailure()) return;
        // The network start-up creates the task.
        for (int i = 0; i < 200 && !cellular_modem_task; i++)
            tx_thread_sleep(10);
        created_ = tx_time_get();
        task_ = cellular_modem_task;
        ASSERT_NE(nullptr, task_);
    }
    void TearDown() override {
        modem_.Type("quit\n");
        modem_.Wait(2);
        modem_.Kill();
        host::netstack_redirect_tcp(CModemTask::LAN_ADDRESS, CModemTask::COMMAND_PORT, 0, 0);
        test_support::FirmwareFixture::TearDown();
        std::system(("rm -rf " + log_dir_).c_str());
    }

    void Set(const std::string& key, const std::string& value) {
        size_t seen = Count("done " + key);
        modem_.Type("set " + key + " " + value + "\n");
        EXPECT_TRUE(Step([&] { return Count("done " + key) > seen; }, 200, 1));
    }
    size_t Count(const std::string& text) {
        std::string log = modem_.Output();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            n++;
        return n;
    }
    size_t Received(const std::string& command) { return Count("RX " + command + "\\r\n"); }
    static bool Step(const std::function<bool()>& done, ULONG ticks, ULONG step = 1) {
        for (ULONG t = 0; t < ticks; t += step) {
            if (done()) return true;
            {
                console_test::Peer hold(
                    [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
            }
            tx_thread_sleep(step);
        }
        return done();
    }
    // Runs a dialogue by its command bit. -> the result bits it set.
    ULONG Run(ULONG command) {
        const ULONG results = CModemTask::IDENTITY_DONE | CModemTask::NO_CONNECTION |
                              CModemTask::CONFIGURATION_DONE | CModemTask::COMMAND_FAILED |
                              CModemTask::NO_SIGNAL | CModemTask::CARRIER_UNSUPPORTED |
                              CModemTask::NOT_CONFIRMED;
        ULONG got = 0;
        tx_event_flags_set(&task_->Events(), command, TX_OR);
        Step(
            [&] {
                return tx_event_flags_get(&task_->Events(), results, TX_OR_CLEAR, &got,
                                          TX_NO_WAIT) == TX_SUCCESS;
            },
            DIALOGUE_TICKS);
        Step([&] { return Count("closed") == Count("connected"); }, 100);
        return got;
    }
    // The identity dialogue with this operator reply; -> the carrier's name.
    std::string Identify(const std::string& operator_reply) {
        Set("operator", operator_reply);
        EXPECT_EQ(CModemTask::IDENTITY_DONE, Run(CModemTask::RUN_IDENTITY));
        return task_->GetCarrierName();
    }
    std::string Quality(bool french) {
        const char* text = nullptr;
        return task_->GetSignalQualityText(french, &text) ? text : "(none)";
    }

    CModemTask* task_ = nullptr;
    ULONG created_ = 0;
    std::string log_dir_;
    test_support::HostProcess modem_;
};

TEST_F(CellularModem, TheIdentityDialogueReadsTheModemAndItsCarrier) {
    Set("echo", "1");
    EXPECT_EQ("Verizon", Identify("Verizon 310"));
    EXPECT_STREQ("Model 4000", task_->Model());
    EXPECT_STREQ("HLV-MDM 2.1", task_->Identity());
    EXPECT_STREQ("5551230000", task_->PhoneNumber());
    for (const char* command :
         {"40718", "ATE0", "AT*TELNETTIMEOUT=20", "ATI3", "ATI0", "AT*NETOP?", "AT*NETPHONE?"})
        EXPECT_EQ(1u, Received(command)) << command;
    EXPECT_EQ("ATT", Identify("Cingular 310"));
    EXPECT_EQ("Unknown", Identify("Cellco"));
    // An operator whose name holds "AT" is data, not an echo.
    EXPECT_EQ("ATT", Identify("AT&T 310410"));
    EXPECT_EQ(6u, task_->Carrier()) << "the carrier index that leads to the AT&T wizard";
}

// From the panel: the operator "AT&T 310410" is found as ATT, and
// "1) ACTIVATE MODEM" opens the AT&T wizard.
TEST_F(CellularModem, AnOperatorNamedAtAndTReachesItsWizardOnThePanel) {
    using test_support::PanelSession;
    Set("operator", "AT&T 310410");
    PanelSession panel;
    panel.Report(0xB0); // the panel came up late: it asks to be drawn from scratch
    ASSERT_TRUE(panel.WaitForRow(8, "LOGGED OUT", 60)) << panel.Row(8);
    panel.Send({0xFF, 0xB3}); // local mode
    panel.KeypadDigits("1234", true);
    for (const char* title :
         {"CONFIGURATION", "COMMUNICATION CONFIGURATION", "ETHERNET CONTROL PORT", "IP SETTINGS"})
        ASSERT_TRUE(test_support::open_listed(panel, title)) << title;
    panel.Send({field::PANEL_KEY_DOWN});
    ASSERT_TRUE(test_support::open_listed(panel, "MODEM CONFIGURATION"));
    auto shown = [&](int row, const std::string& text) {
        return panel.Row(row).find(text) != std::string::npos;
    };
    EXPECT_TRUE(Step([&] { return shown(4, "NETWORK: ATT"); }, DIALOGUE_TICKS)) << panel.Row(4);
    panel.KeypadDigits("1", false);
    EXPECT_TRUE(Step([&] { return shown(4, "APN"); }, 100)) << panel.Row(4);
    EXPECT_TRUE(shown(1, "MODEM CONFIGURATION")) << panel.Row(1);
}

TEST_F(CellularModem, ConfigurationNeedsASignalOfMinus95AtWorst) {
    Identify("Verizon Wireless");
    Set("rssi", "-96");
    EXPECT_EQ(CModemTask::NO_SIGNAL, Run(CModemTask::RUN_CONFIGURATION));
    EXPECT_EQ(0u, Received("AT*PROVISION2=,,")) << "no provisioning without a signal";
    Set("rssi", "-95");
    db_set_text(obj::modemProvisionSpc, "000000", 0);
    db_set_text(obj::modemProvisionArg2, "5551230000", 0);
    db_set_text(obj::modemProvisionArg3, "5551230000", 0);
    EXPECT_EQ(CModemTask::CONFIGURATION_DONE, Run(CModemTask::RUN_CONFIGURATION));
    EXPECT_EQ(1u, Received("AT*PROVISION2=000000,5551230000,5551230000"));
    Set("provision", "ERROR");
    Set("rssi", "+CSQ: 5");
    EXPECT_EQ(CModemTask::NO_SIGNAL, Run(CModemTask::RUN_CONFIGURATION)) << "no '-': no signal";
}

TEST_F(CellularModem, UnsupportedCarriersEndAfterTheCommonCommands) {
    const char* const COMMON[] = {
        "AT*DPORT=3001",       "AT*HOSTPRIVMODE=0",   "AT*MODEMNAME=#NETPHONE",
        "AT*IPMGRUPDATE1=255", "AT*IPMGRUPDATE2=255", "AT&W",
        "AT*NETRSSI?"};
    size_t runs = 0;
    for (const char* op : {"Cellco", "Alltel", "Bell Mobility", "Telus", "Rogers 302"}) {
        Identify(op);
        EXPECT_EQ(CModemTask::CARRIER_UNSUPPORTED, Run(CModemTask::RUN_CONFIGURATION)) << op;
        runs++;
        for (const char* command : COMMON)
            EXPECT_EQ(runs, Received(command)) << op << ": " << command;
    }
    EXPECT_EQ(runs, Count("RX AT*DOMAIN=")) << "the dynamic-DNS settings went out too";
}

TEST_F(CellularModem, AnAttModemGetsItsApnCredentials) {
    Identify("Cingular 310");
    db_set_text(obj::modemApn, "isp.example\r", 0);
    db_set_text(obj::modemUserId, "sign\r", 0);
    db_set_text(obj::modemPassword, "secret\r", 0);
    EXPECT_EQ(CModemTask::CONFIGURATION_DONE, Run(CModemTask::RUN_CONFIGURATION));
    for (const char* command : {"AT*NETAPN=isp.example", "AT*NETUID=sign", "AT*NETPW=secret"})
        EXPECT_EQ(1u, Received(command)) << command;
    EXPECT_EQ(2u, Received("AT&W")) << "the common settings' and the credentials'";
    Set("confirm", "ERROR");
    EXPECT_EQ(CModemTask::NOT_CONFIRMED, Run(CModemTask::RUN_CONFIGURATION));
}

TEST_F(CellularModem, TheSignalIsReadEvery25SecondsIntoTheStoreAndTheAuxRow) {
    Set("rssi", "-80");
    // Created at the network start-up: the first reading 60 s later.
    tx_thread_sleep(created_ + 6000 - 20 - tx_time_get());
    EXPECT_EQ(0u, Received("AT*NETRSSI?"));
    ASSERT_TRUE(Step([&] { return Received("AT*NETRSSI?") == 1; }, 100));
    ULONG first = tx_time_get();
    EXPECT_TRUE(Step([&] { return db_get(obj::modemRssi) == 65456; }, 100, 1));
    EXPECT_EQ(65456u, db_get(obj::auxIOv2PortValue.row(task_->AuxRow())));
    EXPECT_EQ(3u, db_get(obj::auxIOv2PortType.row(task_->AuxRow())));
    char name[40] = {};
    db_get_string_copy(obj::auxIOv2PortDescription.row(task_->AuxRow()), name, sizeof name - 1);
    EXPECT_STREQ("MODEM SIGNAL STRENGTH", name);
    Step([&] { return Count("closed") == Count("connected"); }, 100);
    tx_thread_sleep(first + 2500 - 20 - tx_time_get());
    EXPECT_EQ(1u, Received("AT*NETRSSI?"));
    ASSERT_TRUE(Step([&] { return Received("AT*NETRSSI?") == 2; }, 100));
    EXPECT_NEAR(2500.0, double(tx_time_get() - first), 30);

    struct quality_case {
        const char* rssi;
        const char* english;
        const char* french;
    };
    const quality_case QUALITIES[] = {
        {"-101", "UNACCEPTABLE", "TROP FAIBLE"},
        {"-100", "WEAK", "FAIBLE"},
        {"-81", "MODERATE", "MOYENNE"},
        {"-80", "GOOD", "GRANDE"},
        {"-127", "(none)", "(none)"},
        {"no reading", "(none)", "(none)"},
    };
    for (const quality_case& q : QUALITIES) {
        Set("rssi", q.rssi);
        size_t before = Received("AT*NETRSSI?");
        tx_event_flags_set(&task_->Events(), CModemTask::READ_SIGNAL, TX_OR);
        ASSERT_TRUE(Step([&] { return Received("AT*NETRSSI?") > before; }, 500));
        Step([&] { return Count("closed") == Count("connected"); }, 100);
        EXPECT_EQ(q.english, Quality(false)) << q.rssi;
        EXPECT_EQ(q.french, Quality(true)) << q.rssi;
    }
}

TEST_F(CellularModem, AModemThatRefusesTheConnectionIsReported) {
    host::netstack_redirect_tcp(CModemTask::LAN_ADDRESS, CModemTask::COMMAND_PORT, 0x7F000001,
                                1); // nothing listens there
    EXPECT_EQ(CModemTask::NO_CONNECTION, Run(CModemTask::RUN_IDENTITY));
    EXPECT_EQ(CModemTask::NO_CONNECTION, Run(CModemTask::RUN_CONFIGURATION));
    EXPECT_STREQ("N/A", task_->Model());
}

} // namespace
