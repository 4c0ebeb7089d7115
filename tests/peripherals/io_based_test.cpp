// Switches, the blank switch and its lamp, surge suppressors, the fault
// lamp, the current-message output and the power sense, each on points of a
// DC I/O board of the simulated field: the request row 6 they write, the
// trap of the blank switch, the debounce of the surge contact and what the
// outputs drive.
#include "comm/agents/trap_raise.h"
#include "console/monitor_task.h"
#include "peripherals/activation_rows.h"
#include "peripherals/factory.h"
#include "peripherals/io/dcio.h"
#include "peripherals/io/io_based_peripheral.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/power/power_supply_table.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

using test_support::ConsoleText;

const std::string ZEROS = "00 00 00 00 00 00 00 00 00 00 00 00";
const std::string BLANK_BY_SWITCH = "FF FF FF 07 00 01 00 00 00 00 00 00";

int blank_traps = 0;

using Switch = std::unique_ptr<CIO_BasedPeripheral>;

// Board 50 ("32" in creation strings): points 24-31 inputs, 32-39 outputs,
// 40-55 inputs.
class IoBased : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can dcio io2 42231\n";
    }
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200);
        blank_traps = 0;
        set_trap_sink([](uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind*) {
            if (generic == TRAP_ENTERPRISE_SPECIFIC && specific == 5 && count == 2) ++blank_traps;
        });
        board_ = static_cast<DCIO*>(Create(50, "42231,F0,FF,F0,F0,1").release());
        ASSERT_NE(nullptr, board_);
        ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(board_));
        board_->SetEnabled(0);
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        FirmwareFixture::TearDown();
    }
    static std::unique_ptr<CPeripheral> Create(uint16_t id, const char* parameters,
                                               uint16_t slot = 0) {
        PeripheralRecord record{slot, id, periph_id_to_class(id), parameters};
        pl_factory factories;
        periph_register_factories(factories);
        CPeripheral* created = nullptr;
        factories.Create(record, &created);
        return std::unique_ptr<CPeripheral>(created);
    }
    static Switch Make(uint16_t id, const char* parameters, uint16_t slot = 1) {
        return Switch(static_cast<CIO_BasedPeripheral*>(Create(id, parameters, slot).release()));
    }
    // The field sets the contacts; the board's polls bring the reports (also
    // to a board that starts again at identify).
    void Contacts(const std::string& settings, int polls = 4) {
        if (!settings.empty()) {
            ASSERT_EQ("ok\n", host::field_command("set io2 " + settings));
        }
        for (int i = 0; i < polls; ++i) {
            board_->Poll();
            tx_thread_sleep(5);
        }
    }
    // One board poll with its report, then one poll of `p`.
    void Cycle(CPeripheral& p, int count = 1) {
        for (int i = 0; i < count; ++i) {
            Contacts("", 1);
            p.Poll();
        }
    }
    std::string Outputs() {
        const std::string line = host::field_command("get io2");
        const size_t at = line.find("outputs=");
        return line.substr(at + 8, line.find(' ', at) - at - 8);
    }
    static std::string Row(unsigned row) {
        uint8_t bytes[16] = {};
        uint32_t length = 0;
        db_get_string_copy(obj::activationRequestCode.row(row), bytes, sizeof bytes, &length);
        std::string text;
        char hex[4];
        for (uint32_t i = 0; i < length; ++i) {
            std::snprintf(hex, sizeof hex, "%s%02X", i ? " " : "", bytes[i]);
            text += hex;
        }
        return text;
    }
    static void SwitchTableRow(unsigned row, const uint8_t (&code)[5]) {
        ASSERT_EQ(DB_OK, db_set_string(obj::halvObj2_18_2_1_2.row(row), code, 5, 0));
    }
    DCIO* board_ = nullptr;
};

TEST_F(IoBased, SwitchesRequestTheRowTheirPositionsSelect) {
    const uint8_t row2[5] = {0x03, 0x00, 0x07, 0x12, 0x34};
    for (unsigned r = 0; r < 8; ++r)
        db_set(obj::changeableMsgCRC.row(r), 0xA000 + r, DB_NO_VALIDATE);
    struct Case {
        const char* name;
        uint16_t id;
        const char* parameters;
        bool row2_stored;
        const char* contacts; // after all points 24-28 opened
        std::string row6;
    };
    const Case cases[] = {
        {"560, position 2", 560, "18,32,4", true, "closed=26",
         "FF FF BE 03 00 07 12 34 00 00 00 00"},
        {"560, row 2 empty", 560, "18,32,4", false, "closed=26",
         "FF FF BE 03 00 03 A0 02 00 00 00 00"},
        {"560, two positions", 560, "18,32,4", true, "closed=25-26", ZEROS},
        {"580, code 0 and 2, activate", 580, "18,32,5", false, "closed=24,26,28",
         "FF FF BE 03 00 06 A0 05 00 00 00 00"},
        {"580, code without activate", 580, "18,32,5", false, "closed=24,26", ZEROS},
        {"650, released", 650, "18,32,3", false, "", "FF FF BE 03 00 01 A0 00 00 00 00 00"},
        {"650, value 3", 650, "18,32,3", false, "closed=24-25",
         "FF FF BE 03 00 04 A0 03 00 00 00 00"},
        {"570, activate and position 1", 570, "18,32,4", false, "closed=25,27",
         "FF FF BE 03 00 02 A0 01 00 00 00 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.row2_stored) {
            SwitchTableRow(2, row2);
        } else {
            ASSERT_EQ(DB_OK, db_set_string(obj::halvObj2_18_2_1_2.row(2), "", 0, 0));
        }
        clear_activation_row(ACTIVATION_ROW_SWITCHES);
        Contacts("open=24-28", 0);
        if (*c.contacts) Contacts(c.contacts, 0);
        Contacts("", 2); // the report still queued shows the last case's contacts
        Switch s = Make(c.id, c.parameters);
        ASSERT_NE(nullptr, s);
        Contacts("");
        EXPECT_EQ(CPeripheral::STATE_VALID, s->State());
        EXPECT_EQ(c.row6, Row(ACTIVATION_ROW_SWITCHES));
        if (c.row6 != ZEROS) {
            EXPECT_EQ(3u, db_get(obj::activationRequestState.row(ACTIVATION_ROW_SWITCHES)));
            EXPECT_EQ(2u, db_get(obj::activationRequestSource.row(ACTIVATION_ROW_SWITCHES)));
        }
    }
}

// Momentary switches withdraw their request with 12 zero bytes when
// released; a 650 switch follows every change of its value; a latched 560
// keeps its request.
TEST_F(IoBased, ReleasedSwitchesWithdrawAndCodedSwitchesFollowTheirValue) {
    Contacts("open=24-31", 0);
    Switch binary = Make(560, "18,32,3");
    Switch activated = Make(570, "1B,32,3", 2);
    ASSERT_NE(nullptr, binary);
    ASSERT_NE(nullptr, activated);
    Contacts("closed=25");
    EXPECT_EQ("FF FF BE 03 00 02", Row(6).substr(0, 17));
    Contacts("open=25");
    EXPECT_EQ(ZEROS, Row(6));
    Contacts("closed=27,29");
    EXPECT_EQ("FF FF BE 03 00 01", Row(6).substr(0, 17));
    Contacts("closed=28");
    EXPECT_EQ("FF FF BE 03 00 01", Row(6).substr(0, 17)); // two positions: unchanged
    Contacts("open=27-29");
    EXPECT_EQ(ZEROS, Row(6));
    binary.reset();
    activated.reset();

    Switch latched = Make(560, "18,32,3,0,0,0,1");
    ASSERT_NE(nullptr, latched);
    EXPECT_EQ(1u, latched->PollPeriod()); // polled every pass
    Contacts("closed=26");
    EXPECT_EQ("FF FF BE 03 00 03", Row(6).substr(0, 17));
    Contacts("open=26");
    EXPECT_EQ("FF FF BE 03 00 03", Row(6).substr(0, 17));
    latched.reset();

    Switch coded = Make(650, "18,32,2,0,0,0,1");
    ASSERT_NE(nullptr, coded);
    clear_activation_row(6);
    Contacts("");
    EXPECT_EQ(ZEROS, Row(6)); // latched: all released requests nothing
    Contacts("closed=24-25");
    EXPECT_EQ("FF FF BE 03 00 03", Row(6).substr(0, 17)); // value 3: row 2
    EXPECT_EQ(1, coded->KindState());
    Contacts("open=24");
    EXPECT_EQ(1, coded->KindState()); // until every position is released
    Contacts("open=25");
    EXPECT_EQ(0, coded->KindState());
}

// A polled switch asks for its message while the sign shows another; an
// offset that takes the number past the changeable messages requests
// nothing (said once, counted at every poll); a message that is not valid is replaced by the blank
// message.
TEST_F(IoBased, APolledSwitchChecksItsMessage) {
    TheMonitorTask().SetTraceLevel(1);
    db_set(obj::currentBufferMsgRunTimePriority, 0, DB_NO_VALIDATE);
    db_set(obj::changeableMsgStatus.row(11), 4, DB_NO_VALIDATE);
    db_set(obj::changeableMsgCRC.row(11), 0x1234, DB_NO_VALIDATE);
    db_set(obj::changeableMsgStatus.row(12), 1, DB_NO_VALIDATE);
    clear_activation_row(6);
    Contacts("open=24-27", 0);
    // Offset 10: position k selects changeable message k + 11.
    Switch polled = Make(560, "18,32,4,1,0,A");
    ASSERT_NE(nullptr, polled);
    Contacts("closed=25");
    EXPECT_EQ(ZEROS, Row(6)); // nothing on the input report
    polled->Poll();
    EXPECT_EQ("FF FF BE 03 00 0C 12 34 00 00 00 00", Row(6));
    Contacts("open=25");
    Contacts("closed=26");
    const uint8_t other[5] = {3, 0, 99, 0, 0};
    ASSERT_EQ(DB_OK, db_set_string(obj::dmsMsgTableSource, other, 5, DB_NO_VALIDATE));
    polled->Poll();
    EXPECT_EQ("FF FF BE 07 00 01 00 00", Row(6).substr(0, 23));
    EXPECT_NE(std::string::npos, ConsoleText().find("status of 12 not valid"));
    polled.reset();

    clear_activation_row(6);
    Switch past = Make(560, "18,32,4,1,0,223");
    ASSERT_NE(nullptr, past);
    Contacts("open=26");
    Contacts("closed=27"); // position 3: 3 + 1 + 547 = 551
    for (int i = 0; i < 4; ++i)
        past->Poll();
    EXPECT_EQ(ZEROS, Row(6));
    EXPECT_EQ(4u, past->UnknownSelections());
    const std::string said = ConsoleText();
    const size_t first = said.find("changeable message 551, not 1 to 550");
    EXPECT_NE(std::string::npos, first);
    EXPECT_EQ(std::string::npos, said.find("changeable message 551", first + 1)) << "said once";
}

// The blank switch acts on the third active poll after its first 20, once
// until released, and lights its lamp's sequence.
TEST_F(IoBased, TheBlankSwitchBlanksOnceOnItsThirdActivePoll) {
    Contacts("open=24-31", 0);
    Switch blank = Make(640, "1A,32");
    ASSERT_NE(nullptr, blank);
    // The lamp is live (the switch finds it there), polled by the test.
    CIO_BasedPeripheral* lamp = Make(641, "22,32", 2).release();
    ASSERT_NE(nullptr, lamp);
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(lamp));
    lamp->SetEnabled(0);
    Contacts("closed=26");
    Cycle(*blank, 22);
    EXPECT_EQ(0, blank_traps);
    EXPECT_NE(BLANK_BY_SWITCH, Row(6));
    Cycle(*blank);
    EXPECT_EQ(1, blank_traps);
    EXPECT_EQ(BLANK_BY_SWITCH, Row(6));
    EXPECT_EQ(3u, db_get(obj::activationRequestState.row(6)));
    EXPECT_EQ(1, lamp->KindState());
    Cycle(*lamp);
    EXPECT_EQ(2, lamp->KindState());
    Cycle(*blank, 10);
    EXPECT_EQ(1, blank_traps);

    Contacts("open=26");
    Cycle(*blank);
    Contacts("closed=26");
    Cycle(*blank, 2);
    EXPECT_EQ(1, blank_traps);
    Cycle(*blank);
    EXPECT_EQ(2, blank_traps);
}

// A surge contact open for 19 polls is no failure; the 21st open poll is,
// in the suppressor's row of the power table as well.
TEST_F(IoBased, ASurgeContactMustStayOpenForTwentyPolls) {
    Switch surge = Make(75, "32,1");
    ASSERT_NE(nullptr, surge);
    const unsigned row = unsigned(surge->AuxRow());
    const int32_t power_row = ThePowerSupplyTable().RowOf(surge->PowerHandle());
    ASSERT_GE(power_row, 0);
    auto power_text = [&] {
        const char* text = db_get_string(obj::dmsPowerMfrStatus.row(unsigned(power_row)));
        return std::string(text ? text : "");
    };
    EXPECT_STREQ("SURGE SUPPRESSOR1", db_get_string(obj::auxIOPortDescription.row(row)));
    EXPECT_STREQ("SURGE SUPPRESSOR1",
                 db_get_string(obj::dmsPowerDescription.row(unsigned(power_row))));
    EXPECT_EQ(1u, db_get(obj::dmsPowerType.row(unsigned(power_row))));
    Contacts("");
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(row)));
    // Each change of the contacts takes one board poll to show in its reports.
    Contacts("open=24", 1);
    Cycle(*surge, 19);
    Contacts("closed=24", 1);
    Cycle(*surge);
    Contacts("open=24", 1);
    Cycle(*surge, 20);
    EXPECT_EQ(0, surge->KindState());
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(row)));
    EXPECT_EQ("SURGE PASSED", power_text());
    Cycle(*surge);
    EXPECT_EQ(1, surge->KindState());
    EXPECT_EQ(0u, db_get(obj::auxIOPortValue.row(row)));
    EXPECT_EQ("SURGE FAILED", power_text());
    EXPECT_EQ(3u, db_get(obj::dmsPowerStatus.row(unsigned(power_row))));
    EXPECT_TRUE(db_get(obj::shortErrorStatus) & CPowerSupplyTable::SHORT_ERROR_POWER);
    Contacts("closed=24", 1);
    Cycle(*surge);
    EXPECT_EQ(0, surge->KindState());
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(row)));
    EXPECT_EQ("SURGE PASSED", power_text());
    EXPECT_EQ(2u, db_get(obj::dmsPowerStatus.row(unsigned(power_row))));
    const uint16_t handle = surge->PowerHandle();
    surge.reset();
    EXPECT_EQ(-1, ThePowerSupplyTable().RowOf(handle));
}

// The fault/OK lamps, the current-message outputs and the power sense.
TEST_F(IoBased, LampsAndOutputsFollowTheSign) {
    Switch led = Make(670, "32,300,1");         // points 32 (fault) and 33 (OK)
    Switch current = Make(671, "32,7000,1", 2); // points 36-38
    ASSERT_NE(nullptr, led);
    ASSERT_NE(nullptr, current);
    EXPECT_EQ(nullptr, Make(749, "32,4000", 3)); // point 38 is an output
    Switch sense = Make(749, "32,400000", 3);    // point 46
    ASSERT_NE(nullptr, sense);
    Contacts("");
    db_set(obj::shortErrorStatus, 0, DB_NOTIFY);
    Cycle(*led);
    Contacts("", 1);
    EXPECT_EQ("33", Outputs());
    db_set(obj::shortErrorStatus, 0x0008, DB_NOTIFY);
    Cycle(*led);
    Contacts("", 1);
    EXPECT_EQ("33", Outputs());
    Cycle(*led);
    Contacts("", 1);
    EXPECT_EQ("32", Outputs()); // from the poll after the bit was set
    db_set(obj::shortErrorStatus, 0, DB_NOTIFY);

    const uint8_t shown[5] = {3, 0, 6, 0, 0};
    ASSERT_EQ(DB_OK, db_set_string(obj::dmsMsgTableSource, shown, 5, DB_NO_VALIDATE));
    Cycle(*current);
    Contacts("", 1);
    EXPECT_EQ(6u, current->MessageNumber());
    EXPECT_EQ("32,36,38", Outputs()); // the fault lamp, and 5 on points 36-38

    Cycle(*sense);
    EXPECT_EQ(1, sense->InputState());
    Contacts("open=46", 1);
    Cycle(*sense);
    EXPECT_EQ(0, sense->InputState());
}

TEST_F(IoBased, CreationNeedsItsBoardAndItsRows) {
    EXPECT_EQ(nullptr, Make(75, "33,1")); // no board 51
    EXPECT_EQ(nullptr, Make(75, "32,0")); // no points
    EXPECT_EQ(nullptr, Make(640, "18,33"));
    EXPECT_EQ(nullptr, Make(641, "18,32")); // point 24 is an input
    Switch flow = Make(710, "32,2");
    ASSERT_NE(nullptr, flow);
    EXPECT_GE(flow->ClimateRow(), 0);
    EXPECT_GE(flow->FanBit(), 0);
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(unsigned(flow->AuxRow()))));
    EXPECT_EQ(nullptr, Make(711, "32,2")); // point 25 is taken
}

} // namespace
