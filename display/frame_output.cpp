// Frame output of the display step: the sign surface to the sign's driver,
// then every face's next frame with the pixels its diagnostics report failed
// blanked, the module error map, the results of a finished pixel test, the
// legibility ratio, the result slots, the front panel's sign image and the
// faces' ticks.
#include "display/display_task.h"

#include "display/disp/diag_index_registrar.h"
#include "display/disp/diagnostics.h"
#include "display/disp/frame_engine.h"
#include "display/render.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "store/short_error_status.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t SHORT_PIXEL_ERROR = 0x20;   // shortErrorStatus
const uint32_t PIXEL_TEST_NONE = 2;        // pixelTestActivation
const uint32_t STORED_FAILURES_MAX = 500;  // failed pixels one pixel test stores
const uint32_t FAILURE_TOTAL_MAX = 0xFFFF; // halvObj5_4 is two bytes
const uint32_t PIXEL_TEST_DETECTION = 2;   // detection type of the failed-pixel rows

bool dark_state(uint32_t state) {
    return state == DISPLAY_BLANK || state == DISPLAY_PAGE_OFF;
}

uint32_t pixel_value(const disp::frame* errors, uint32_t x, uint32_t y) {
    if (!errors) return 0;
    disp::pixel p{uint16_t(x), uint16_t(y)};
    return errors->get_pixel(p) ? p.value : 0;
}

bool has_lit(const disp::frame* errors) {
    return errors && errors->lit_count() != 0;
}

// What a face's diagnostics report for the scan.
struct face_errors {
    const disp::frame* test = nullptr; // own error frame, once its pixel test finished
    const disp::frame* live = nullptr; // second error frame, with real-time diagnostics on
};

} // namespace

// The surface goes out while the sign is dark or blank, and while a page or
// test pattern of a message is shown.
void CDisplay::SendSurface() {
    if (display_state_ == DISPLAY_PIXEL_TEST || !active_driver_) return;
    display_guard guard(lock_);
    CSurface& surface = TheRender().GetSurface();
    const uint8_t* pixels = surface.GetBuffer();
    const bool dark = dark_state(display_state_);
    const bool send = (pixels && surface.GetSize() != 0 && pixels[0] == 0 && dark) ||
                      (!has_current_text_ && dark) ||
                      (has_current_text_ && (display_state_ == DISPLAY_TEST_PATTERN ||
                                             display_state_ == DISPLAY_PAGE_ON || dark));
    if (send) active_driver_->OutputFrame(&surface, 0, 0);
}

void CDisplay::ScanFrames() {
    LookUpFrontPanel();
    display_guard guard(lock_);
    if (face_count_ > MAX_FACES) face_count_ = MAX_FACES;
    const bool test_complete = PixelTestComplete();
    disp::frame* frames[MAX_FACES] = {};
    uint32_t lit[MAX_FACES] = {};
    for (uint32_t i = 0; i < face_count_; ++i) {
        disp::frame_engine* engine = face_configs_[i].engine;
        if (faces_[i].state() < disp::face::ATTACHED || !engine || !engine->next_frame(&frames[i]))
            frames[i] = nullptr;
        if (frames[i]) lit[i] = frames[i]->lit_count();
    }
    std::memset(module_map_, 0, sizeof module_map_);
    ScanFailedPixels(frames, test_complete);
    uint32_t map_bytes = (face_configs_[0].total_modules + 7u) / 8u;
    if (map_bytes > MODULE_MAP_BYTES) map_bytes = MODULE_MAP_BYTES;
    db_set_string(obj::panynjObj1_7, module_map_, map_bytes, DB_NOTIFY);
    for (uint32_t i = 0; i < face_count_; ++i) {
        if (disp::frame* frame = frames[i]) {
            if (face_count_ == 1) StoreCurrentDisplay(frame);
            uint32_t ratio = lit[i] == 0 ? 100 : frame->lit_count() * 100 / lit[i];
            db_set(obj::panynjObj1_6, ratio, DB_NOTIFY);
            CheckLegibility();
            if (std::strcmp(face_configs_[i].face_name, FACE_PRIMARY) == 0) ShowOnLCD(frame);
        }
        faces_[i].tick(0);
        if (i == 0) TrackBrightnessCeiling();
    }
}

bool CDisplay::PixelTestComplete() {
    if (!pixel_test_running_) return false;
    console_printf(".");
    for (uint32_t i = 0; i < face_count_; ++i) {
        disp::diagnostics* diagnostics = face_configs_[i].diagnostics;
        if (diagnostics && diagnostics->own_errors() && !diagnostics->finished()) return false;
    }
    return true;
}

// Every pixel that a face's finished pixel test or (with real-time
// diagnostics on) its real-time diagnostics report failed is blanked in the
// frames, from that face on, and marks its module; a finished test's failed
// pixels are counted as stored, at most 500.
void CDisplay::ScanFailedPixels(disp::frame* const* frames, bool test_complete) {
    const bool live_on = db_get(obj::halvEnableRealTimePixelDiagnostics) != 0;
    face_errors errors[MAX_FACES];
    bool any = false;
    for (uint32_t j = 0; j < face_count_; ++j) {
        disp::diagnostics* diagnostics = face_configs_[j].diagnostics;
        if (!diagnostics) continue;
        if (diagnostics->finished()) errors[j].test = diagnostics->own_errors();
        if (live_on) errors[j].live = diagnostics->second_errors();
        any = any || has_lit(errors[j].test) || has_lit(errors[j].live);
    }
    uint32_t stored = 0;
    const face_config& first = face_configs_[0];
    if (any && frames[0] && first.module_height != 0 && first.module_width != 0) {
        for (uint32_t y = 0; y < frames[0]->height(); ++y)
            for (uint32_t x = 0; x < frames[0]->width(); ++x) {
                uint32_t test = 0, live = 0;
                for (uint32_t j = 0; j < face_count_; ++j) {
                    test |= pixel_value(errors[j].test, x, y);
                    live |= pixel_value(errors[j].live, x, y);
                    if (test == 0 && live == 0) continue;
                    uint32_t line = y / first.module_height;
                    uint32_t module = x / first.module_width;
                    for (uint32_t above = 0; above < line && above < FACE_MODULE_LINES; ++above)
                        module += first.modules_per_line[above];
                    if (module < MODULE_MAP_BYTES * 8)
                        module_map_[module / 8] |= uint8_t(1u << (module % 8));
                    disp::pixel dark{uint16_t(x), uint16_t(y), 0};
                    if (frames[j]) frames[j]->set_pixel(dark);
                }
                if (test_complete && test != 0 && stored < STORED_FAILURES_MAX)
                    StorePixelError(PIXEL_TEST_DETECTION, stored++, first.colour_class,
                                    disp::pixel(uint16_t(x), uint16_t(y), test));
            }
    }
    if (test_complete) CollectPixelTest(stored);
}

// The end of a pixel test: its counts and status, its picture, and the
// test control back to "no test".
void CDisplay::CollectPixelTest(uint32_t stored) {
    uint32_t total = 0;
    for (uint32_t j = 0; j < face_count_; ++j)
        if (disp::diagnostics* diagnostics = face_configs_[j].diagnostics)
            if (diagnostics->own_errors()) total += diagnostics->own_errors()->lit_count();
    db_set(obj::pixelTestFailureCount, stored, DB_NOTIFY);
    db_set(obj::halvObj5_4, total < FAILURE_TOTAL_MAX ? total : FAILURE_TOTAL_MAX, DB_NOTIFY);
    if (stored == 0)
        short_error_change(0, SHORT_PIXEL_ERROR);
    else
        short_error_change(SHORT_PIXEL_ERROR, 0);
    disp::diagnostics* diagnostics = face_configs_[0].diagnostics;
    if (face_count_ == 1 && pixel_results_slot_[0] >= 0 && diagnostics) {
        disp::diag_index_registrar::StoreResult(unsigned(pixel_results_slot_[0]),
                                                diagnostics->own_errors(), false, 0, true);
        CountModuleErrors();
    }
    db_set(obj::pixelTestActivation, PIXEL_TEST_NONE, 0);
    PostLetter(LETTER_PIXEL_TEST_ENDED);
    pixel_test_running_ = 0;
}

// The frame as "Current Display" and as the message page of its display
// mode; the page keeps it only while the sign shows a page or is blank.
void CDisplay::StoreCurrentDisplay(disp::frame* frame) {
    unsigned current = 0;
    if (!disp::diag_index_registrar::FirstSlot(1, current)) return;
    const bool page_shown = display_state_ == DISPLAY_BLANK || display_state_ == DISPLAY_PAGE_ON;
    disp::diag_index_registrar::StoreResult(current + frame->attribute[0] + 1u, frame, true,
                                            current, page_shown);
}
