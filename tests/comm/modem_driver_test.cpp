// The dial-up modem driver's pieces that decide on single bytes and
// settings: the OK matcher, the caller-ID parser, the port it accepts, the
// agent it gives the CCP line back to, and the dial command's bound.
#include "comm/agents/ntcip_agents.h"
#include "comm/drivers/modem_driver.h"
#include "peripherals/modem.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SerialProbe, AMatchBeginsOnlyWhereNoPartialMatchBroke) {
    struct probe_case {
        const char* fed;
        bool matched;
    };
    const probe_case CASES[] = {
        {"\r0\r", true},     {"\r\r0\r", false}, {"x\r0\r", true},
        {"\r0x\r0\r", true}, {"\r0\rx", false},  {"\r0", false},
    };
    for (const probe_case& c : CASES) {
        serial_probe probe;
        probe.SetPattern("\r0\r");
        for (const char* b = c.fed; *b; ++b)
            probe.Feed(uint8_t(*b));
        std::string shown = c.fed;
        EXPECT_EQ(c.matched, probe.Matched()) << testing::PrintToString(shown);
    }
    serial_probe none;
    none.Feed('\r');
    EXPECT_FALSE(none.Matched()) << "without a pattern nothing matches";
}

class ModemDriver : public test_support::FirmwareFixture {
  protected:
    std::string Text(const DbObject& object) {
        char text[64] = {};
        uint32_t length = db_get_string_copy(object, text, sizeof text - 1);
        return std::string(text, length);
    }
    uint8_t PortOf(const char* agent) { return AgentRow(FindAgent(agent))->port; }
};

TEST_F(ModemDriver, CallerIdReportsAreStoredOnlyWhenWellFormed) {
    struct caller_case {
        const char* bytes;
        const char* stored; // null: nothing written
    };
    const caller_case CASES[] = {
        {"NMBR = 5551234\r", "5551234"},
        {"\r\nRING\r\nDATE = 1211\r\nNMBR = 8005550100\r\n", "8005550100"},
        {"NMBR=5551234\r", nullptr},       // no blanks around '='
        {"NMBR = 555N1234\r", nullptr},    // an 'N' restarts the parser
        {"NMBR = 55512345678\r", nullptr}, // 11 digits do not fit
        {"NMBR = 555N\rNMBR = 4441212\r", "4441212"},
    };
    for (const caller_case& c : CASES) {
        db_set_text(obj::halvObj9_1, "none", 0);
        db_set_text(obj::halvObj9_3, "", 0);
        db_set(obj::halvObj9_2, 0, 0);
        CModemDriver_Dialup driver;
        for (const char* b = c.bytes; *b; ++b)
            driver.ParseCallerId(uint8_t(*b));
        std::string shown = c.bytes;
        SCOPED_TRACE(testing::PrintToString(shown));
        if (!c.stored) {
            EXPECT_EQ("none", Text(obj::halvObj9_1));
            EXPECT_EQ(0u, db_get(obj::halvObj9_2));
            continue;
        }
        EXPECT_EQ(c.stored, Text(obj::halvObj9_1));
        EXPECT_EQ("UNKNOWN", Text(obj::halvObj9_3));
        EXPECT_EQ(db_get_time(), db_get(obj::halvObj9_2));
    }
}

TEST_F(ModemDriver, APortOtherThanTheCcpPortIsAnInitError) {
    for (const char* parameters : {"1,MODEM", "2,MODEM", "10,MODEM"}) {
        EXPECT_EQ(nullptr, CModem::Create({0, CModem::ID_EXTERNAL, CModem::CLASS_CODE, parameters}))
            << parameters;
        CModem modem(CModem::ID_EXTERNAL);
        EXPECT_FALSE(modem.Init(1, "MODEM"));
        EXPECT_EQ(CPeripheral::STATE_INIT_ERROR, modem.State());
        EXPECT_EQ(0, modem.GetDriverState());
    }
    EXPECT_EQ(nullptr, CModem::Create({0, 92, CModem::CLASS_CODE, "0,MODEM"}))
        << "only the two modem ids are modems";
    EXPECT_STREQ("EXTERNAL DIALUP MODEM", CModem::GetName(620));
    EXPECT_EQ(nullptr, CModem::GetName(90));
    EXPECT_EQ(91, CModem::GetType("INTERNAL DIALUP MODEM"));
    EXPECT_EQ(0, CModem::GetType("INTERNAL DIALUP"));
    EXPECT_EQ(0, PortOf("ccp_pmpp")) << "a refused modem leaves the agent on the line";
}

TEST_F(ModemDriver, ACommandGivesTheLineBackToTheAgentOfTheProtocol) {
    struct protocol_case {
        uint8_t protocol;
        uint8_t pmpp_port, ppp_port;
    };
    const protocol_case CASES[] = {
        {2, 0, PORT_NONE}, {3, 0, PORT_NONE},         {4, PORT_NONE, 0},
        {5, PORT_NONE, 0}, {1, PORT_NONE, PORT_NONE},
    };
    CModemDriver_Dialup driver;
    ASSERT_TRUE(driver.Initialize(CModem::ID_EXTERNAL, 0, "AT\r"));
    for (const protocol_case& c : CASES) {
        db_set(obj::halvCommConfigProtocol.row(0), c.protocol, 0);
        EXPECT_TRUE(driver.SendCommand("AT", true));
        EXPECT_EQ(c.pmpp_port, PortOf("ccp_pmpp")) << int(c.protocol);
        EXPECT_EQ(c.ppp_port, PortOf("ccp_ppp")) << int(c.protocol);
        EXPECT_EQ(c.protocol != 1, (PortLockWord() & 1) != 0) << int(c.protocol);
    }
    test_support::ClearConsole();
    db_set(obj::halvCommConfigProtocol.row(0), 9, 0);
    EXPECT_FALSE(driver.SendCommand("AT", true));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("CModem::RequestAccess: error protocol 9"));
}

TEST_F(ModemDriver, ADialNumberThatDoesNotFitTheCommandIsRefused) {
    CModemDriver_Dialup driver;
    ASSERT_TRUE(driver.Initialize(CModem::ID_EXTERNAL, 0, "AT\r"));
    db_set(obj::halvCommConfigProtocol.row(0), 4, 0);
    test_support::ClearConsole();
    driver.Dial(std::string(95, '5').c_str());
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("not dialled"));
    EXPECT_EQ(0, PortOf("ccp_pmpp")) << "the line was never taken";
    test_support::ClearConsole();
    driver.Dial(std::string(94, '5').c_str());
    EXPECT_EQ(std::string::npos, test_support::ConsoleText().find("not dialled"));
    EXPECT_EQ(0, PortOf("ccp_ppp")) << "the dial went out and gave the line to PPP";
}

} // namespace
