// The pixel test with pixel test boards (see diag_3110.h).
#include "display/disp/diag_3110.h"

#include "display/display_task.h"
#include "display/render.h"
#include "peripherals/io/pixel_test_board.h"
#include "peripherals/peripheral_task.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace disp {

namespace {

const uint32_t ILLUM_MANUAL = 4;       // dmsIllumControl
const uint32_t ILLUM_FULL_LEVEL = 255; // dmsIllumManLevel
const uint32_t DARK_WAIT_CODE = 2;
const uint32_t PIXEL_WAIT_CODE = 20;
const uint32_t MEASURE_ATTEMPTS = 3;
const uint32_t DARK_PASSES = 3;
const uint32_t PIXEL_ATTEMPTS = 6;
const uint32_t THRESHOLD_MIN = 10;
const int32_t LIT = 0x7FFF;
const uint32_t FAILED = 3;

uint8_t threshold_of(uint8_t dark) {
    const uint32_t t = dark * 125u / 100u;
    return uint8_t(t > 255 ? 255 : t);
}

} // namespace

const diag_3110::state_row diag_3110::STATES[] = {
    {TEST_BLANK, &diag_3110::blank_sign},
    {TEST_DARK, &diag_3110::read_dark},
    {TEST_THRESHOLDS, &diag_3110::set_thresholds},
    {TEST_PIXELS, &diag_3110::judge_pixel},
    {TEST_DONE, &diag_3110::finish},
};

bool diag_3110::start_test(uint32_t argument) {
    (void)argument;
    if (!lock()) return false;
    console_printf("diag_3110: starting pixel test\n");
    db_set(obj::halvObj1_1, 1, DB_NOTIFY);
    std::memset(dark_, 0, sizeof dark_);
    std::memset(thresholds_, 0, sizeof thresholds_);
    std::memset(pixel_readings_, 0, sizeof pixel_readings_);
    boards_found_ = 0;
    saved_control_ = db_get(obj::dmsIllumControl);
    db_set(obj::dmsIllumControl, ILLUM_MANUAL, DB_NOTIFY);
    saved_level_ = uint8_t(db_get(obj::dmsIllumManLevel));
    db_set(obj::dmsIllumManLevel, ILLUM_FULL_LEVEL, DB_NOTIFY);
    module_rows_ = config_->module_height ? config_->height / config_->module_height : 0;
    module_columns_ = config_->module_width ? config_->width / config_->module_width : 0;
    modules_ = module_rows_ * module_columns_;
    for (uint32_t i = 0; i < BOARDS; ++i) {
        present_[i] = true;
        CPixelTestBoard* found = board(i);
        present_[i] = found != nullptr;
        if (!found) continue;
        console_printf("found board at %d\n", int(i));
        ++boards_found_;
        TheDisplay().PostLetter(LETTER_DISPLAY_STOP);
        TX_MUTEX* mutex = found->Mutex();
        if (!mutex || os_mutex_get(mutex, OS_WAIT_FOREVER) != OS_OK)
            console_printf("failed to get ptb mutex\n");
        TheDisplay().PostLetter(LETTER_DISPLAY_START);
    }
    report_unjudged_modules();
    pass_ = board_index_ = x_ = y_ = 0;
    test_state_ = TEST_BLANK;
    ready_ = finished_ = 0;
    return true;
}

void diag_3110::step() {
    if (test_state_ == TEST_IDLE) {
        trace_printf("gpt idle\n");
        trace_printf("gpt idle\n");
        return;
    }
    console_printf("gpt not idle\n");
    for (const state_row& row : STATES)
        if (row.state == test_state_) {
            (this->*row.run)();
            return;
        }
}

void diag_3110::output_surface() {
    if (display_driver* driver = TheDisplay().ActiveDriver())
        driver->OutputFrame(&TheRender().GetSurface(), 0, 0);
}

void diag_3110::blank_sign() {
    TheRender().GetSurface().Fill(0);
    output_surface();
    test_state_ = TEST_DARK;
}

CPixelTestBoard* diag_3110::board(uint32_t i) const {
    CPeripheral* found = nullptr;
    if (i >= BOARDS || !present_[i] ||
        !ThePeripheralTask().Registry().Find(uint16_t(CPixelTestBoard::FIRST_ID + i), &found))
        return nullptr;
    return dynamic_cast<CPixelTestBoard*>(found);
}

// A board gone since the start reads nothing (its row stays 0).
void diag_3110::measure(uint32_t b, uint8_t* row, uint32_t wait_code) {
    const uint32_t code = wait_code ? wait_code : PIXEL_WAIT_CODE;
    std::memset(row, 0, READINGS_PER_BOARD);
    for (uint32_t attempt = 0; attempt < MEASURE_ATTEMPTS; ++attempt) {
        if (CPixelTestBoard* found = board(b)) found->StartTest();
        tx_thread_sleep(100 / code);
        CPixelTestBoard* found = board(b);
        if (found && found->ReadResults(row, READINGS_PER_BOARD)) return;
    }
}

void diag_3110::read_dark() {
    for (uint32_t b = 0; b < BOARDS; ++b)
        if (present_[b]) measure(b, &dark_[READINGS_PER_BOARD * b], DARK_WAIT_CODE);
    x_ = 0;
    board_index_ = 0;
    test_state_ = TEST_THRESHOLDS;
}

// A module keeps the highest threshold of the dark passes.
void diag_3110::set_thresholds() {
    for (uint32_t b = 0; b < BOARDS; ++b)
        for (uint32_t m = 0; m < modules_ && m < READINGS_PER_BOARD; ++m) {
            const uint32_t i = READINGS_PER_BOARD * b + m;
            const uint8_t t = threshold_of(dark_[i]);
            if (thresholds_[i] == 0 || (thresholds_[i] < t && dark_[i] != 0)) thresholds_[i] = t;
            if (thresholds_[i] < THRESHOLD_MIN) thresholds_[i] = THRESHOLD_MIN;
        }
    x_ = y_ = 0;
    if (++pass_ < DARK_PASSES) {
        board_index_ = 0;
        test_state_ = TEST_DARK;
        return;
    }
    pass_ = 0;
    test_state_ = TEST_PIXELS;
}

bool diag_3110::module_of(const reading_layout& layout, uint32_t x, uint32_t y, uint32_t& module) {
    if (layout.module_height == 0 || layout.module_width == 0) return false;
    module = layout.module_columns * (y / layout.module_height) + x / layout.module_width;
    return true;
}

bool diag_3110::reported(uint32_t module) const {
    const uint32_t b = module / READINGS_PER_BOARD;
    return b < BOARDS && present_[b];
}

// Said once a test: the modules no board found at the start reports.
void diag_3110::report_unjudged_modules() {
    uint32_t unjudged = 0;
    for (uint32_t m = 0; m < modules_; ++m)
        if (!reported(m)) ++unjudged;
    if (unjudged)
        console_printf("pixel test: %u of %u modules reported by no board, not judged\n",
                       unsigned(unjudged), unsigned(modules_));
}

// The module of the pixel under test, when a board reports it.
bool diag_3110::judged_module(uint32_t& module) const {
    const reading_layout layout{module_columns_, config_->module_height, config_->module_width};
    return module_of(layout, x_, y_, module) && reported(module);
}

// The pixel lit alone (on its first step), then judged by the board that
// reports its module; pixels of modules no board reports are passed over.
void diag_3110::judge_pixel() {
    uint32_t m = 0;
    while (!judged_module(m))
        if (!advance_pixel()) return;
    CSurface& surface = TheRender().GetSurface();
    if (pass_ == 0) {
        surface.Fill(0);
        output_surface();
        surface.SetPixel(int(x_), int(y_), LIT);
        output_surface();
    }
    const uint32_t b = m / READINGS_PER_BOARD;
    measure(b, &pixel_readings_[READINGS_PER_BOARD * b], PIXEL_WAIT_CODE / (pass_ + 1));
    const uint8_t reading = pixel_readings_[m];
    if (reading <= thresholds_[m]) {
        if (++pass_ < PIXEL_ATTEMPTS) return; // measured again next step
        trace_printf("Px Err %d,%d val %d  thres %d\n", int(y_ + 1), int(x_ + 1), int(reading),
                     int(thresholds_[m]));
        pixel failed(uint16_t(x_), uint16_t(y_), FAILED);
        test_frame_.set_pixel(failed);
    }
    pass_ = 0;
    advance_pixel();
}

// False when the last pixel has been passed: the test is done.
bool diag_3110::advance_pixel() {
    if (++x_ < config_->width) return true;
    x_ = 0;
    if (++y_ < config_->height) return true;
    y_ = 0;
    test_state_ = TEST_DONE;
    return false;
}

void diag_3110::finish() {
    count_module_errors();
    db_set(obj::dmsIllumControl, saved_control_, DB_NOTIFY);
    db_set(obj::dmsIllumManLevel, saved_level_, DB_NOTIFY);
    test_state_ = TEST_IDLE;
    boards_found_ = 0;
    idle_marker_ = 1;
    for (uint32_t i = 0; i < BOARDS; ++i) {
        if (!present_[i]) continue;
        CPixelTestBoard* found = board(i);
        TX_MUTEX* mutex = found ? found->Mutex() : nullptr;
        if (!mutex || os_mutex_put(mutex) != OS_OK)
            console_printf("CDisplay::SM_GPT: tx_mutex_put failed\n");
        present_[i] = false;
    }
    ready_ = finished_ = 1;
    return_to_idle();
}

} // namespace disp
