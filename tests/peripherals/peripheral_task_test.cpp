// The peripheral task in the running firmware, driven by letters: the
// controlled reset answered with or without a front panel, auto-detection's
// start and its refusal while running, the panel's hold and busy letters,
// the stop text, forwarding by id and class, the status letter and the
// communication-error bit; and the 54-row walk that stores detected boards.
#include "peripherals/auto_detect.h"
#include "peripherals/front_panel_link.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "store/short_error_status.h"
#include "tests/support/firmware_fixture.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using test_support::ConsoleText;

const uint32_t PASS_TICKS = 50;

bool RunUntil(const std::function<bool()>& done, uint32_t limit) {
    for (uint32_t waited = 0; !done(); waited += 5) {
        if (waited >= limit) return false;
        tx_thread_sleep(5);
    }
    return true;
}

// The sign's own front panel while a fake stands in for it.
std::vector<CPeripheral*> set_aside;

// A front panel that writes down what the task asks of it.
class FakePanel : public CFrontPanelPeripheral {
  public:
    FakePanel() : CFrontPanelPeripheral(PERIPHERAL_CLASS_LCD_MANAGER, PERIPHERAL_ID_LCD_MANAGER) {
        SetEnabled(1);
        SetPollPeriod(60000);
    }
    void Poll() override {}
    void SetIndicator(uint8_t kind, uint8_t state) override {
        Note("indicator " + std::to_string(kind) + "=" + std::to_string(state));
    }
    void SetLocalIndicator(bool on) override { Note(on ? "local on" : "local off"); }
    void SetBusy() override { Note("busy"); }
    void ClearBusy() override { Note("not busy"); }
    void ClearScreen() override { Note("clear"); }
    void SetBacklight(bool on, uint32_t seconds) override {
        Note(on ? "backlight " + std::to_string(seconds) : "backlight off");
    }
    void PrintLine(uint8_t row, const char* text, uint8_t justify) override {
        Note(std::to_string(row) + ":" + text + "/" + std::to_string(justify));
    }
    void SetBacklightPermission(bool allowed) override {
        Note(allowed ? "may light" : "stay dark");
    }
    void RequestRefresh() override { Note("refresh"); }
    void StartWebLCD() override { Note("web lcd"); }
    void MarkMenusForReload() override { Note("reload menus"); }
    void ForwardLetter(const letter_s& letter) override {
        Note("letter " + std::to_string(letter.code()) + " " + std::to_string(letter.get_u32(4)));
    }

    std::string Take() { return std::exchange(log_, std::string()); }

  private:
    void Note(const std::string& what) { log_ += what + ";"; }
    std::string log_;
};

class Board : public CPeripheral {
  public:
    Board(uint8_t class_code, uint16_t id, uint32_t can_id = 0)
        : CPeripheral(class_code, id), can_id_(can_id) {
        SetEnabled(1);
        SetPollPeriod(60000);
    }
    void Poll() override {}
    uint32_t CanId() const override { return can_id_; }
    uint32_t can_id_;
    void ForwardLetter(const letter_s& letter) override { letters.push_back(letter.code()); }
    std::vector<uint32_t> letters;
};

class PeripheralTaskLetters : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        ASSERT_TRUE(
            RunUntil([] { return ThePeripheralTask().GetPeripheral(301) != nullptr; }, 2000));
        tx_thread_sleep(2 * PASS_TICKS);
    }
    static void NextPass() {
        const uint32_t runs = ThePeripheralTask().Runs();
        ASSERT_TRUE(RunUntil([&] { return ThePeripheralTask().Runs() != runs; }, 2 * PASS_TICKS));
    }
    static void Post(uint32_t code, int words = -1, uint32_t first = 0, uint32_t second = 0) {
        letter_s letter(code);
        if (words >= 0) {
            letter.count = uint16_t(words);
            letter.put_u32(0, first);
            letter.put_u32(4, second);
        }
        the_post_office().dispatch(letter);
    }
    // The fake takes the place of the sign's own front panel, which is kept
    // aside (its mirror server lives on).
    FakePanel* AddPanel() {
        set_aside.push_back(ThePeripheralTask().Registry().Release(PERIPHERAL_ID_LCD_MANAGER));
        FakePanel* panel = new FakePanel;
        EXPECT_TRUE(ThePeripheralTask().Registry().Adopt(panel));
        return panel;
    }
    static uint32_t ControlledReset() {
        letter_s request(LETTER_CONTROLLED_RESET), reply;
        EXPECT_EQ(1, the_post_office().send_and_wait(request, reply));
        return reply.code();
    }
};

TEST_F(PeripheralTaskLetters, AControlledResetIsAnsweredWithOrWithoutAPanel) {
    EXPECT_EQ(LETTER_CONTROLLED_RESET_ACK, ControlledReset());
    FakePanel* panel = AddPanel();
    EXPECT_EQ(LETTER_CONTROLLED_RESET_ACK, ControlledReset());
    EXPECT_EQ("busy;clear;backlight 60;local off;clear;4:CONTROLLED RESET/3;5:Please wait.../3;",
              panel->Take());
    EXPECT_EQ(0, panel->Enabled());
}

TEST_F(PeripheralTaskLetters, DetectionStartsFromAnEmptyListAndIgnoresASecondRequest) {
    FakePanel* panel = AddPanel();
    pl_iterator list;
    ASSERT_TRUE(list.Contains(2)); // the factory list's front light sensor
    Post(LETTER_PERIPHERAL_AUTODETECT);
    NextPass();
    EXPECT_FALSE(list.Contains(2));
    EXPECT_NE(CPeripheralTask::DETECT_IDLE, ThePeripheralTask().AutoDetectState());
    ASSERT_TRUE(list.Add(13, "42105,1"));
    Post(LETTER_PERIPHERAL_AUTODETECT);
    NextPass();
    EXPECT_TRUE(list.Contains(13));
    ASSERT_TRUE(RunUntil(
        [] { return ThePeripheralTask().AutoDetectState() == CPeripheralTask::DETECT_IDLE; },
        4 * PASS_TICKS));
    EXPECT_NE(std::string::npos, ConsoleText().find("auto detect complete\n"));
    NextPass();
    EXPECT_NE(std::string::npos, panel->Take().find("letter 127 1;"));
}

TEST_F(PeripheralTaskLetters, PanelLettersReachThePanelOnlyWhenItIsLive) {
    Post(LETTER_WATCHDOG_HOLD); // no panel: nothing to do
    NextPass();
    FakePanel* panel = AddPanel();
    Post(LETTER_PANEL_HOLD1_SET);
    Post(LETTER_PANEL_HOLD2_SET);
    Post(LETTER_PANEL_HOLD1_CLEAR);
    NextPass();
    EXPECT_EQ("stay dark;", panel->Take());
    Post(LETTER_PANEL_HOLD2_CLEAR);
    Post(LETTER_WATCHDOG_HOLD);
    Post(LETTER_MODEM_EVENT2);
    Post(LETTER_FILE_STORED);
    Post(LETTER_COMMUNICATION_STARTED);
    NextPass();
    EXPECT_EQ("busy;indicator 1=3;reload menus;web lcd;may light;", panel->Take());
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, db_get(obj::dmsControlMode) == 4 ? 5 : 4,
                            DB_NOTIFY | DB_NO_VALIDATE));
    NextPass();
    EXPECT_EQ("refresh;", panel->Take());
}

TEST_F(PeripheralTaskLetters, TheStopTextSaysWhyInThePanelsLanguage) {
    FakePanel* panel = AddPanel();
    db_set(obj::halvLanguage, 2, DB_NOTIFY);
    Post(LETTER_PERIPHERAL_TERMINATE);
    tx_thread_sleep(PASS_TICKS);
    EXPECT_EQ("busy;clear;backlight off;local off;4:ETEINT/3;", panel->Take());
}

TEST_F(PeripheralTaskLetters, LettersAreForwardedByIdAndByClassWhenTheyCarryTwoWords) {
    CPeripheralTask& task = ThePeripheralTask();
    Board* door = new Board(PERIPHERAL_CLASS_DOOR, 30);
    Board* other_door = new Board(PERIPHERAL_CLASS_DOOR, 31);
    Board* dcio = new Board(PERIPHERAL_CLASS_DCIO, 50);
    for (Board* b : {door, other_door, dcio})
        ASSERT_TRUE(task.Registry().Adopt(b));
    Post(LETTER_FORWARD_TO_PERIPHERAL, 2, 30, 0);
    Post(LETTER_FORWARD_TO_PERIPHERAL, 1, 31, 0); // one word: ignored
    Post(LETTER_FORWARD_TO_CLASS, 2, PERIPHERAL_CLASS_DOOR, 0);
    Post(LETTER_FORWARD_TO_CLASS, 2, PERIPHERAL_CLASS_ANY, 0);
    NextPass();
    EXPECT_EQ((std::vector<uint32_t>{127, 128, 128}), door->letters);
    EXPECT_EQ((std::vector<uint32_t>{128, 128}), other_door->letters);
    EXPECT_EQ((std::vector<uint32_t>{128}), dcio->letters);

    Post(LETTER_PERIPHERALS_DISABLE);
    NextPass();
    EXPECT_EQ(0, door->Enabled());
    EXPECT_EQ(0, task.GetPeripheral(PERIPHERAL_ID_CONFIG_FILE)->Enabled());
    Post(LETTER_PERIPHERALS_ENABLE);
    NextPass();
    EXPECT_EQ(1, door->Enabled());
}

// A board in communication error (or an unknown state) raises 0x0008, except
// the controller's own temperature sensor; the status letter writes a slot.
TEST_F(PeripheralTaskLetters, CommunicationErrorsOfWatchedBoardsRaiseTheStatusBit) {
    CPeripheralTask& task = ThePeripheralTask();
    Board* controller_sensor = new Board(PERIPHERAL_CLASS_TEMPERATURE, 10);
    Board* dcio = new Board(PERIPHERAL_CLASS_DCIO, 50);
    Board* modem = new Board(PERIPHERAL_CLASS_MODEM, 91);
    for (Board* b : {controller_sensor, dcio, modem})
        ASSERT_TRUE(task.Registry().Adopt(b));
    controller_sensor->SetState(CPeripheral::STATE_COMM_ERROR);
    modem->SetState(CPeripheral::STATE_COMM_ERROR);
    Post(LETTER_PERIPHERAL_STATUS, 2, 50, 7);
    NextPass();
    EXPECT_FALSE(short_error_is_set(SHORT_ERROR_PERIPHERAL_COMM));
    for (uint8_t state : {CPeripheral::STATE_UNKNOWN, CPeripheral::STATE_COMM_ERROR}) {
        dcio->SetState(state);
        task.RecordPeripheralStatus(50, PERIPHERAL_FIXED_SLOT, 2);
        EXPECT_TRUE(short_error_is_set(SHORT_ERROR_PERIPHERAL_COMM)) << int(state);
    }
    dcio->SetState(CPeripheral::STATE_VALID);
    letter_s status(LETTER_PERIPHERAL_STATUS);
    status.count = 2;
    status.put_u32(0, 50);
    status.put_u32(4, 9);
    status.data[5] = 2; // the error code rides in the sixth data byte
    the_post_office().dispatch(status);
    NextPass();
    EXPECT_FALSE(short_error_is_set(SHORT_ERROR_PERIPHERAL_COMM));
    EXPECT_EQ(2u, db_get(obj::halvPeripheralStatus.row(9)));
}

// A new sensor that would share its pass with a live sensor of the same CAN
// id nibble draws another countdown; one on another nibble keeps its own.
// The housing sensors hear of a new shut-off temperature.
TEST_F(PeripheralTaskLetters, SensorPollsAreSpreadAndHousingSensorsHearOfTheShutOffLimit) {
    CPeripheralTask& task = ThePeripheralTask();
    Board* live = new Board(PERIPHERAL_CLASS_LIGHT, 1, 0x42004);
    live->SetPollPeriod(10);
    live->SetCountdown(4);
    ASSERT_TRUE(task.Registry().Adopt(live));
    for (int i = 0; i < 20; ++i) {
        Board same(PERIPHERAL_CLASS_TEMPERATURE, 13, 0x42104);
        same.SetPollPeriod(10);
        same.SetCountdown(4);
        task.StaggerSensorPolls(&same, 0);
        EXPECT_NE(4, same.Countdown());
        EXPECT_LT(same.Countdown(), 10);
        Board other(PERIPHERAL_CLASS_TEMPERATURE, 14, 0x42105);
        other.SetPollPeriod(10);
        other.SetCountdown(4);
        task.StaggerSensorPolls(&other, 0);
        EXPECT_EQ(4, other.Countdown());
    }
    Board* housing = new Board(PERIPHERAL_CLASS_TEMPERATURE, 14);
    Board* cabinet = new Board(PERIPHERAL_CLASS_TEMPERATURE, 11);
    ASSERT_TRUE(task.Registry().Adopt(housing));
    ASSERT_TRUE(task.Registry().Adopt(cabinet));
    Post(LETTER_SHUTOFF_TEMP_CHANGED);
    NextPass();
    EXPECT_EQ(std::vector<uint32_t>{LETTER_SHUTOFF_TEMP_CHANGED}, housing->letters);
    EXPECT_TRUE(cabinet->letters.empty());
}

TEST_F(PeripheralTaskLetters, OutputRequestsKeepTheFirstSixteenOutputs) {
    CPeripheralTask& task = ThePeripheralTask();
    for (uint32_t n : {1u, 16u, 17u, 32u, 0u, 33u})
        task.SetGpoRequest(n);
    EXPECT_EQ(0x8001, task.GpoRequest());
    task.ClearGpoRequest(16);
    task.ClearGpoRequest(40);
    EXPECT_EQ(0x0001, task.GpoRequest());
    EXPECT_STREQ("CAN Control Panel Driver", CPeripheralTask::BusNameFromCode(4));
    EXPECT_STREQ("J6 CONTROLLER BUS", CPeripheralTask::BusNameFromCode(8));
    EXPECT_STREQ("CAN J6 Driver", CPeripheralTask::BusNameFromCode(2));
}

// Responders as a probe records them.
class FakeDetector : public CPeripheralDetector {
  public:
    explicit FakeDetector(std::vector<std::pair<uint32_t, uint8_t>> responders)
        : responders_(std::move(responders)) {}
    bool Probe(uint8_t, const char*, uint32_t, uint32_t, const uint32_t*, unsigned) override {
        return true;
    }
    bool Stop() override { return false; }
    bool First(uint32_t* id, uint8_t* channel) override {
        next_ = 0;
        return Next(id, channel);
    }
    bool Next(uint32_t* id, uint8_t* channel) override {
        if (next_ >= responders_.size()) return false;
        *id = responders_[next_].first;
        *channel = responders_[next_++].second;
        return true;
    }

  private:
    std::vector<std::pair<uint32_t, uint8_t>> responders_;
    size_t next_ = 0;
};

TEST_F(PeripheralTaskLetters, DetectedBoardsAreStoredOnceWithTheBusThatFoundThemFirst) {
    EXPECT_EQ(54u, AUTO_DETECT_ROW_COUNT);
    pl_iterator().Clear();
    FakeDetector local({{0x42104, 0}, {0x42001, 0}, {0x42B02, 0}, {0x42E01, 0}, {0x42905, 1}});
    add_detected_peripherals(local, 1);
    FakeDetector same_bus({{0x42104, 0}, {0x42108, 0}});
    add_detected_peripherals(same_bus, 2);
    const struct {
        uint16_t id;
        const char* parameters;
    } stored[] = {
        {12, "42104,1"}, {3, "42001,1"}, {751, "42B02,1"}, {555, "42E01,1,1"}, {11, "42108,2"}};
    pl_iterator list;
    for (const auto& s : stored) {
        uint16_t slot = 0;
        ASSERT_TRUE(list.FindSlot(s.id, &slot)) << s.id;
        EXPECT_STREQ(s.parameters, db_get_string(obj::halvPeripheralParameters.row(slot))) << s.id;
    }
    EXPECT_FALSE(list.Contains(631)); // answered on another channel
}

} // namespace
