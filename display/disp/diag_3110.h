// Pixel diagnostics of faces whose modules report nothing (the "null" bus):
// the pixel test with pixel test boards. Up to four boards (peripherals 750 to
// 753) each give one light reading per module index 0-11. The test measures
// the dark readings three times and keeps, per module, the highest threshold
// (125 % of the dark reading, at most 255, at least 10); then it lights the
// sign one pixel at a time: a pixel whose module reading does not rise above
// its threshold is measured again on each of the next five steps, and after
// the sixth failure is marked 3 (failed) in the two-bit test frame.
//
// The test runs as a state machine, one state step per display step (the
// display task's log name for it is CDisplay::SM_GPT): 0 idle, 1 blank the
// sign, 2 dark readings, 3 thresholds (2 and 3 three times), 4 pixels, 5 done.
// For the whole test the illumination is manual at full level, and each
// board's "PTB Mutex" is held; both come back at the end. The boards are
// looked up by id at each use, never kept: the peripheral list may be
// reloaded while a test runs for minutes (the peripheral task puts a reload
// off until the test has ended, but one may be under way as the test starts).
#pragma once

#include "display/disp/diagnostics.h"

#include <cstdint>

class CPixelTestBoard;

namespace disp {

class diag_3110 : public diagnostics {
  public:
    static const uint32_t BOARDS = 4;
    static const uint32_t READINGS_PER_BOARD = 12;
    static const uint32_t READINGS = 192; // 12 bytes a board, room for sixteen
    enum : uint32_t {
        TEST_IDLE = 0,
        TEST_BLANK = 1,
        TEST_DARK = 2,
        TEST_THRESHOLDS = 3,
        TEST_PIXELS = 4,
        TEST_DONE = 5
    };

    diag_3110() { own_errors_ = &test_frame_; }

    bool attach(face* owner) override;
    bool detach() override;
    bool start_test(uint32_t argument) override;
    // One state step of the test.
    void step() override;
    bool on_packet(const packet&) override { return false; }

    // A pixel's module index: module columns x (y / module height) + x /
    // module width. Board b reports modules 12 x b to 12 x b + 11 (reading
    // module - 12 x b of its row), so the module index is also where the
    // module's reading, threshold and dark reading are kept. A module past
    // the four boards, or of a board not found, is not judged.
    struct reading_layout {
        uint32_t module_columns, module_height, module_width;
    };
    static bool module_of(const reading_layout& layout, uint32_t x, uint32_t y, uint32_t& module);

    uint32_t test_state() const { return test_state_; }
    uint8_t threshold(uint32_t board, uint32_t module) const {
        return thresholds_[READINGS_PER_BOARD * board + module];
    }

  private:
    // One state step each.
    void blank_sign();
    void read_dark();
    void set_thresholds();
    void judge_pixel();
    void finish();
    struct state_row {
        uint32_t state;
        void (diag_3110::*run)();
    };
    static const state_row STATES[];

    void output_surface();
    // StartTest, a pause of 100 / code ticks, ReadResults, up to three times.
    void measure(uint32_t board, uint8_t* row, uint32_t wait_code);
    // Whether a board found at the start reports the module.
    bool reported(uint32_t module) const;
    void report_unjudged_modules();
    bool judged_module(uint32_t& module) const;
    bool advance_pixel();
    // The live board of slot i found at the start, or null.
    CPixelTestBoard* board(uint32_t i) const;

    uint32_t idle_marker_ = 1;
    uint32_t boards_found_ = 0;
    uint32_t module_rows_ = 0, module_columns_ = 0, modules_ = 0;
    uint32_t pass_ = 0, board_index_ = 0, x_ = 0, y_ = 0;
    uint32_t test_state_ = TEST_IDLE;
    uint8_t dark_[READINGS] = {};
    uint8_t thresholds_[READINGS] = {};
    uint8_t pixel_readings_[READINGS] = {};
    uint8_t saved_level_ = 0;
    uint32_t saved_control_ = 0;
    bool present_[BOARDS] = {};
    frame test_frame_;
};

} // namespace disp
