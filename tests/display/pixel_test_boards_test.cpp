// The pixel test of signs whose modules report nothing, with scripted pixel
// test boards on the virtual clock: each board reads the light of the sign's
// modules from the field (the LEDs that light now), as the CAN boards will.
// A sign of 8 x 24 LEDs: three modules of 8 x 8.
#include "display/disp/diag_3110.h"
#include "display/display_engine.h"
#include "console/monitor_task.h"
#include "display/display_task.h"
#include "peripherals/factory.h"
#include "peripherals/io/pixel_test_board.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "platform/field/display_failures.h"
#include "platform/monitor/monitor.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using test_support::ConsoleText;

int Count(const std::string& text) {
    int n = 0;
    const std::string console = ConsoleText();
    for (size_t at = console.find(text); at != std::string::npos; at = console.find(text, at + 1))
        ++n;
    return n;
}

const ULONG SECOND = 100;

// A board whose dark passes read the scripted values, then each module
// `base` plus 40 for every LED of it that lights.
class ScriptedBoard : public CPixelTestBoard {
  public:
    ScriptedBoard(uint16_t id, std::vector<std::vector<uint8_t>> dark)
        : CPixelTestBoard(id), dark_(std::move(dark)) {}
    uint32_t commands = 0;
    uint8_t base = 0;

  protected:
    bool SendTestCommand() override {
        uint8_t readings[READINGS] = {};
        if (commands < dark_.size()) {
            for (size_t m = 0; m < dark_[commands].size(); ++m)
                readings[m] = dark_[commands][m];
        } else {
            std::vector<uint32_t> light = host::module_light();
            for (size_t m = 0; m < light.size() && m < READINGS; ++m) {
                const uint32_t r = base + 40u * light[m];
                readings[m] = uint8_t(r > 255 ? 255 : r);
            }
        }
        ++commands;
        // Readings 8-11 in the first frame, 4-7 in the second, 0-3 in the third,
        // queued as the board's replies.
        for (uint32_t f = 1; f <= RESULT_FRAMES; ++f) {
            uint8_t data[8] = {'@', uint8_t(f), 1, 0};
            std::memcpy(data + 4, &readings[READINGS_PER_FRAME * (RESULT_FRAMES - f)],
                        READINGS_PER_FRAME);
            Receive(can_packet(0x42B81, 0, 8, data));
        }
        return true;
    }

  private:
    std::vector<std::vector<uint8_t>> dark_;
};

class PixelTestBoards : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "display module 8x8\ndisplay failed 3 2\n";
    }
    void Prepare() override {
        const std::string config = "<!-- CONFIG.XML J6 V2.0 -->\n"
                                   "vmsSignHeightPixels[0000]:XXXX,8\n"
                                   "vmsSignWidthPixels[0000]:XXXX,18\n";
        ASSERT_EQ(0, mon_tfsadd("CONFIG.XML", nullptr, nullptr,
                                reinterpret_cast<const unsigned char*>(config.data()),
                                int(config.size())));
    }
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(2 * SECOND);
        ASSERT_EQ(8u, TheDisplay().FaceConfig(0).height);
        ASSERT_EQ(24u, TheDisplay().FaceConfig(0).width);
    }
    ScriptedBoard* Board(uint16_t id, std::vector<std::vector<uint8_t>> dark = {}) {
        auto* board = new ScriptedBoard(id, std::move(dark));
        EXPECT_TRUE(board->Init());
        EXPECT_TRUE(ThePeripheralTask().Registry().Adopt(board));
        return board;
    }
    disp::diag_3110& Diagnostics() { return TheDisplayEngine().diag_3110; }
    // Starts the test; -> false when it did not end within two virtual minutes.
    bool RunTest(bool start = true) {
        if (start) db_set(obj::pixelTestActivation, 3, DB_NOTIFY);
        for (int waited = 0; waited < 1200; ++waited) {
            tx_thread_sleep(SECOND / 10);
            if (waited > 2 && db_get(obj::pixelTestActivation) == 2) return true;
        }
        return false;
    }
    uint32_t TestFrame(uint16_t x, uint16_t y) {
        disp::pixel p(x, y);
        return Diagnostics().own_errors()->get_pixel(p) ? p.value : 99;
    }
};

TEST_F(PixelTestBoards, ThresholdsKeepTheHighestDarkPassAndTheLightComesBack) {
    // Timer mode: the one mode whose brightness update writes no level back.
    db_set(obj::dmsIllumControl, 3, DB_NO_VALIDATE);
    db_set(obj::dmsIllumManLevel, 77, DB_NO_VALIDATE);
    ScriptedBoard* first = Board(750, {{200, 210, 0}, {200, 210, 0}, {200, 210, 0}});
    ScriptedBoard* third = Board(752, {{100}, {160}, {120}});
    db_set(obj::pixelTestActivation, 3, DB_NOTIFY);
    while (Diagnostics().test_state() != disp::diag_3110::TEST_PIXELS)
        tx_thread_sleep(1);
    EXPECT_EQ(4u, db_get(obj::dmsIllumControl)) << "manual for the test";
    EXPECT_EQ(255u, db_get(obj::dmsIllumManLevel));
    EXPECT_EQ(250u, Diagnostics().threshold(0, 0));
    EXPECT_EQ(255u, Diagnostics().threshold(0, 1));
    EXPECT_EQ(10u, Diagnostics().threshold(0, 2));
    EXPECT_EQ(200u, Diagnostics().threshold(2, 0)) << "the second pass's 160 x 125 %";
    EXPECT_NE(std::string::npos, ConsoleText().find("found board at 0\nfound board at 2\n"));
    EXPECT_EQ(std::string::npos, ConsoleText().find("found board at 1"));

    first->base = 255; // every pixel passes on both
    third->base = 220;
    ASSERT_TRUE(RunTest(false));
    EXPECT_EQ(3u, db_get(obj::dmsIllumControl));
    EXPECT_EQ(77u, db_get(obj::dmsIllumManLevel));
}

// Dark readings 0 give threshold 10; the dead LED's module then reads 10,
// not above it.
TEST_F(PixelTestBoards, APixelStuckAtItsThresholdIsRetriedFiveTimesThenMarkedFailed) {
    ScriptedBoard* board = Board(750);
    TheMonitorTask().SetTraceLevel(1);
    db_set(obj::pixelTestActivation, 3, DB_NOTIFY);
    while (Diagnostics().test_state() != disp::diag_3110::TEST_PIXELS)
        tx_thread_sleep(1);
    board->base = 10;
    ASSERT_TRUE(RunTest(false));
    EXPECT_EQ(3u + 8 * 24 + 5, board->commands) << "three dark passes, a pixel each, five more";
    EXPECT_NE(std::string::npos, ConsoleText().find("Px Err 3,4 val 10  thres 10\n"));
    EXPECT_EQ(3u, TestFrame(3, 2));
    EXPECT_EQ(0u, TestFrame(4, 2));
    EXPECT_EQ(1u, db_get(obj::pixelTestFailureCount));
    EXPECT_EQ(4u, db_get(obj::pixelFailureXLocation.row(500)));
    EXPECT_EQ(3u, db_get(obj::pixelFailureYLocation.row(500)));
    EXPECT_EQ(0x20u, db_get(obj::shortErrorStatus) & 0x20);
}

TEST_F(PixelTestBoards, WithNoBoardEveryPixelPasses) {
    ASSERT_TRUE(RunTest());
    EXPECT_EQ(std::string::npos, ConsoleText().find("found board"));
    EXPECT_EQ(std::string::npos, ConsoleText().find("Px Err"));
    EXPECT_EQ(0u, Diagnostics().own_errors()->lit_count());
    EXPECT_EQ(0u, db_get(obj::pixelTestFailureCount));
    EXPECT_EQ(0u, db_get(obj::shortErrorStatus) & 0x20);
}

// A pixel test board of the field: it reads the light of the modules as the
// LEDs light now, so the dead LED at column 3, row 2 is the one failure found.
class FieldPixelTestBoard : public PixelTestBoards {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file)
            << "display module 8x8\ndisplay failed 3 2\ncan ptb ptb1 42B01\n";
    }
};

TEST_F(FieldPixelTestBoard, TheDeadLedIsFoundThroughTheBoard) {
    PeripheralRecord record{PERIPHERAL_FIXED_SLOT, 750, periph_id_to_class(750), "42B01,1"};
    pl_factory factories;
    periph_register_factories(factories);
    CPeripheral* board = nullptr;
    ASSERT_TRUE(factories.Create(record, &board));
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(board));
    tx_thread_sleep(2 * SECOND);
    ASSERT_TRUE(RunTest());
    EXPECT_EQ(std::string::npos, ConsoleText().find("failed to get ptb mutex"));
    EXPECT_EQ(1u, Diagnostics().own_errors()->lit_count());
    EXPECT_EQ(3u, TestFrame(3, 2));
    EXPECT_EQ(1u, db_get(obj::pixelTestFailureCount));
    EXPECT_EQ(10u, Diagnostics().threshold(0, 0)) << "a blank sign reads 0";
}

// An edit of the stored list while the test runs is loaded once it has
// ended: the board the test measures stays the same object all along.
TEST_F(FieldPixelTestBoard, AListEditWaitsForTheTestsEnd) {
    ASSERT_TRUE(pl_iterator().Add(750, "42B01,1"));
    tx_thread_sleep(SECOND);
    CPeripheral* board = nullptr;
    ASSERT_TRUE(ThePeripheralTask().Registry().Find(750, &board));
    db_set(obj::pixelTestActivation, 3, DB_NOTIFY);
    while (Diagnostics().test_state() != disp::diag_3110::TEST_PIXELS)
        tx_thread_sleep(1);
    ASSERT_TRUE(pl_iterator().Add(3, "42001,1"));
    tx_thread_sleep(2 * SECOND);
    CPeripheral* during = nullptr;
    EXPECT_TRUE(ThePeripheralTask().Registry().Find(750, &during));
    EXPECT_EQ(board, during);
    EXPECT_FALSE(ThePeripheralTask().Registry().Contains(3));
    ASSERT_TRUE(RunTest(false));
    tx_thread_sleep(SECOND);
    EXPECT_TRUE(ThePeripheralTask().Registry().Contains(3)) << "loaded after the test";
    EXPECT_EQ(3u, TestFrame(3, 2));
}

// The factory sign (48 x 112, modules of 8 x 8: 6 lines of 14, 84 modules)
// with one board of the field: it reports modules 0-11, the first line's
// twelve left modules. Nine dead LEDs where the board sees, one where none does.
class FactorySignPixelTestBoard : public PixelTestBoards {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "display failed 0-3 0\n"
                                             "display failed 90-93 7\n"
                                             "display failed 40 3\n"
                                             "display failed 40 30\n"
                                             "can ptb ptb1 42B01\n";
    }
    void Prepare() override {}
    void SetUp() override { FirmwareFixture::SetUp(); }
};

TEST_F(FactorySignPixelTestBoard, EachPixelIsJudgedByTheBoardReportingItsModule) {
    ASSERT_EQ(112u, TheDisplay().FaceConfig(0).width);
    ASSERT_EQ(48u, TheDisplay().FaceConfig(0).height);
    ASSERT_TRUE(pl_iterator().Add(750, "42B01,1"));
    tx_thread_sleep(2 * SECOND);
    ASSERT_TRUE(RunTest());
    EXPECT_EQ(1, Count("pixel test: 72 of 84 modules reported by no board, not judged\n"));
    EXPECT_EQ(9u, Diagnostics().own_errors()->lit_count());
    for (uint16_t x : {0, 1, 2, 3, 90, 91, 92, 93})
        EXPECT_EQ(3u, TestFrame(x, x < 8 ? 0 : 7)) << x;
    EXPECT_EQ(3u, TestFrame(40, 3));
    EXPECT_EQ(0u, TestFrame(40, 30)) << "module 52: no board reports it";
    EXPECT_EQ(0u, TestFrame(100, 0)) << "module 12: no board reports it";
    EXPECT_EQ(9u, db_get(obj::pixelTestFailureCount));
    EXPECT_EQ(0x20u, db_get(obj::shortErrorStatus) & 0x20);
}

// A pixel's module index; board b reports modules 12 b to 12 b + 11.
TEST(PixelTestReadings, APixelsModuleFollowsTheModuleGrid) {
    const disp::diag_3110::reading_layout factory{14, 8, 8};
    struct Case {
        uint32_t x, y, module;
    } cases[] = {
        {0, 0, 0}, {95, 7, 11}, {96, 0, 12}, {111, 47, 83}, {0, 8, 14}, {17, 9, 16},
    };
    for (const Case& c : cases) {
        uint32_t module = 99;
        ASSERT_TRUE(disp::diag_3110::module_of(factory, c.x, c.y, module));
        EXPECT_EQ(c.module, module) << c.x << "," << c.y;
    }
    uint32_t module = 0;
    EXPECT_FALSE(disp::diag_3110::module_of({14, 0, 8}, 0, 0, module)) << "no module height";
}

} // namespace
