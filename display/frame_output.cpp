// Frame output of the display step: the sign surface to the sign's driver,
// then every face's next frame with the pixels its diagnostics report failed
// blanked, the module error map, the results of a finished pixel test, the
// legibility ratio, the result slots, the front panel's sign image and the
// faces' ticks.
#include "display/display_task.h"

#include "display/disp/diag_index_registrar.h"
#include "display/disp/diagnostics.h"
#include "display/disp/frame_engine.h"
#include "display/frame_output.h"
#include "display/render.h"
#include "display/surface_adapter.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "store/short_error_status.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>
#include <new>

namespace {

const uint32_t SHORT_PIXEL_ERROR = 0x20;   // shortErrorStatus
const uint32_t PIXEL_TEST_NONE = 2;        // pixelTestActivation
const uint32_t STORED_FAILURES_MAX = 500;  // failed pixels one pixel test stores
const uint32_t FAILURE_TOTAL_MAX = 0xFFFF; // halvObj5_4 is two bytes
const uint32_t PIXEL_TEST_DETECTION = 2;   // detection type of the failed-pixel rows

bool dark_state(uint32_t state) {
    return state == DISPLAY_BLANK || state == DISPLAY_PAGE_OFF;
}

bool has_lit(const disp::frame* errors) {
    return errors && errors->lit_count() != 0;
}

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
    blanked_.begin_step();
    for (uint32_t i = 0; i < face_count_; ++i) {
        disp::frame_engine* engine = face_configs_[i].engine;
        if (faces_[i].state() < disp::face::ATTACHED || !engine || !engine->next_frame(&frames[i]))
            frames[i] = nullptr;
    }
    std::memset(module_map_, 0, sizeof module_map_);
    const bool blanked = ScanFailedPixels(frames, lit, test_complete);
    uint32_t map_bytes = (face_configs_[0].total_modules + 7u) / 8u;
    if (map_bytes > MODULE_MAP_BYTES) map_bytes = MODULE_MAP_BYTES;
    db_set_string(obj::panynjObj1_7, module_map_, map_bytes, DB_NOTIFY);
    for (uint32_t i = 0; i < face_count_; ++i) {
        if (disp::frame* frame = frames[i]) {
            if (face_count_ == 1) StoreCurrentDisplay(frame);
            // Unblanked frames keep every lit pixel: the ratio is 100 without a count.
            uint32_t now = 0;
            if (blanked && !blanked_.lit_count(i, now)) now = frame->lit_count();
            uint32_t ratio = !blanked || lit[i] == 0 ? 100 : now * 100 / lit[i];
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
// pixels are counted as stored, at most 500. The failed pixels are read from
// the error frames only when one of them changed.
bool CDisplay::ScanFailedPixels(disp::frame* const* frames, uint32_t* lit, bool test_complete) {
    static_assert(MAX_FACES <= failure_sources::FACES, "a source for every face");
    static_assert(MODULE_MAP_BYTES == blanked_frames::MAP_BYTES, "one module map");
    const bool live_on = db_get(obj::halvEnableRealTimePixelDiagnostics) != 0;
    failure_sources sources;
    bool any = false;
    for (uint32_t j = 0; j < face_count_; ++j) {
        disp::diagnostics* diagnostics = face_configs_[j].diagnostics;
        if (!diagnostics) continue;
        if (diagnostics->finished()) sources.test[j] = diagnostics->own_errors();
        if (live_on) sources.live[j] = diagnostics->second_errors();
        sources.stamp[j] = diagnostics->errors_stamp();
        any = any || has_lit(sources.test[j]) || has_lit(sources.live[j]);
    }
    uint32_t stored = 0;
    const face_config& first = face_configs_[0];
    const bool blanking = any && frames[0] && first.module_height != 0 && first.module_width != 0;
    if (blanking) {
        auto count_lit = [&] {
            for (uint32_t j = 0; j < face_count_; ++j)
                if (frames[j]) lit[j] = frames[j]->lit_count();
        };
        sources.faces = face_count_;
        sources.width = frames[0]->width();
        sources.height = frames[0]->height();
        auto blank = [&](const failed_pixel_list::failure& f) {
            uint32_t module = 0;
            if (disp::module_of(first, f.x, f.y, module))
                module_map_[module / 8] |= uint8_t(1u << (module % 8));
            for (uint32_t j = f.first_face; j < face_count_; ++j) {
                disp::pixel dark{f.x, f.y, 0};
                if (frames[j]) frames[j]->set_pixel(dark);
            }
            if (test_complete && f.test != 0 && stored < STORED_FAILURES_MAX)
                StorePixelError(PIXEL_TEST_DETECTION, stored++, first.colour_class,
                                disp::pixel(f.x, f.y, f.test));
        };
        if (!failed_pixels_.follow(sources)) {
            count_lit();
            failed_pixel_list::walk(sources, blank);
        } else if (test_complete || !blanked_.unchanged(frames, face_count_, failed_pixels_)) {
            count_lit();
            for (const failed_pixel_list::failure& f : failed_pixels_)
                blank(f);
            blanked_.remember(frames, face_count_, failed_pixels_, module_map_);
        } else {
            // As the last blanking left them: as many lit pixels before as after.
            for (uint32_t j = 0; j < face_count_; ++j)
                blanked_.lit_count(j, lit[j]);
            std::memcpy(module_map_, blanked_.module_map(), MODULE_MAP_BYTES);
        }
    }
    if (test_complete) CollectPixelTest(stored);
    return blanking;
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
// The slots are written only when the picture or where it goes changed.
void CDisplay::StoreCurrentDisplay(disp::frame* frame) {
    unsigned current = 0;
    if (!disp::diag_index_registrar::FirstSlot(1, current)) return;
    const bool page_shown = display_state_ == DISPLAY_BLANK || display_state_ == DISPLAY_PAGE_ON;
    const shown_frame_memory::place where{
        current + frame->attribute[0] + 1u,
        current,
        page_shown,
        db_get(obj::halvObj11_4),
        {frame->attribute[0], frame->attribute[1], frame->attribute[2]}};
    uint64_t revision = 0;
    const bool readable = blanked_.picture(0, frame, revision);
    if (readable && shown_frame_.same(revision, where)) return;
    disp::diag_index_registrar::StoreResult(where.slot, frame, true, current, page_shown);
}

// --- the step's memory ---------------------------------------------------------

bool failure_sources::operator==(const failure_sources& other) const {
    for (uint32_t j = 0; j < FACES; ++j)
        if (test[j] != other.test[j] || live[j] != other.live[j] || stamp[j] != other.stamp[j])
            return false;
    return faces == other.faces && width == other.width && height == other.height;
}

bool failed_pixel_list::follow(const failure_sources& sources) {
    if (built_ && sources == sources_) return true;
    ++generation_;
    built_ = rebuild(sources);
    sources_ = sources;
    return built_;
}

// Room for the whole face, so that a list never runs short.
bool failed_pixel_list::rebuild(const failure_sources& sources) {
    count_ = 0;
    const uint32_t pixels = sources.width * sources.height;
    if (pixels > capacity_) {
        delete[] list_;
        list_ = new (std::nothrow) failure[pixels];
        capacity_ = list_ ? pixels : 0;
    }
    if (!list_ && pixels != 0) return false;
    walk(sources, [this](const failure& f) { list_[count_++] = f; });
    return true;
}

namespace {

// The frame's pixel bytes as they stand; null when they cannot be read directly.
const uint8_t* frame_bytes(const disp::frame& frame, uint32_t& size) {
    if (const auto* view = dynamic_cast<const surface_adapter*>(&frame)) {
        size = view->pixel_byte_count();
        return view->pixel_bytes();
    }
    size = frame.size_bytes();
    return frame.bytes();
}

bool same_place(const shown_frame_memory::place& a, const shown_frame_memory::place& b) {
    return a.slot == b.slot && a.current == b.current && a.page_shown == b.page_shown &&
           a.line_length == b.line_length &&
           std::memcmp(a.attributes, b.attributes, sizeof a.attributes) == 0;
}

} // namespace

bool frame_picture::matches(const disp::frame& frame) const {
    uint32_t size = 0;
    const uint8_t* bytes = frame_bytes(frame, size);
    return known_ && bytes && size == size_ && frame.width() == width_ &&
           frame.height() == height_ && frame.bits_per_pixel() == bits_ &&
           std::memcmp(bytes, bytes_, size) == 0;
}

bool frame_picture::follow(const disp::frame& frame) {
    if (matches(frame)) return true;
    ++revision_;
    known_ = false;
    uint32_t size = 0;
    const uint8_t* bytes = frame_bytes(frame, size);
    if (!bytes) return false;
    if (size > capacity_) {
        delete[] bytes_;
        bytes_ = new (std::nothrow) uint8_t[size];
        capacity_ = bytes_ ? size : 0;
        if (!bytes_) return false;
    }
    std::memcpy(bytes_, bytes, size);
    size_ = size;
    width_ = frame.width();
    height_ = frame.height();
    bits_ = frame.bits_per_pixel();
    known_ = true;
    return true;
}

bool blanked_frames::picture(uint32_t j, const disp::frame* frame, uint64_t& revision) {
    if (j >= failure_sources::FACES || !frame) return false;
    const uint32_t bit = 1u << j;
    if (!(checked_ & bit)) {
        readable_[j] = pictures_[j].follow(*frame);
        checked_ |= bit;
    }
    revision = pictures_[j].revision();
    return readable_[j];
}

// A frame that differs is left for the blanking; its picture is taken after.
bool blanked_frames::unchanged(disp::frame* const* frames, uint32_t count,
                               const failed_pixel_list& list) {
    if (!known_ || count != count_ || list.generation() != generation_) return false;
    for (uint32_t j = 0; j < count; ++j) {
        const uint32_t bit = 1u << j;
        if (!frames[j] || pictures_[j].revision() != revisions_[j]) return false;
        if (checked_ & bit) {
            if (!readable_[j]) return false;
            continue;
        }
        if (!pictures_[j].matches(*frames[j])) return false;
        checked_ |= bit;
        readable_[j] = true;
    }
    return true;
}

void blanked_frames::remember(disp::frame* const* frames, uint32_t count,
                              const failed_pixel_list& list, const uint8_t* map) {
    known_ = count <= failure_sources::FACES;
    for (uint32_t j = 0; j < count && known_; ++j) {
        checked_ &= ~(1u << j); // written by the blanking
        known_ = picture(j, frames[j], revisions_[j]);
        if (known_) lit_[j] = frames[j]->lit_count();
    }
    count_ = count;
    generation_ = list.generation();
    std::memcpy(map_, map, sizeof map_);
}

bool blanked_frames::lit_count(uint32_t j, uint32_t& lit) const {
    if (!known_ || j >= count_ || !(checked_ & (1u << j)) || !readable_[j] ||
        pictures_[j].revision() != revisions_[j])
        return false;
    lit = lit_[j];
    return true;
}

bool shown_frame_memory::same(uint64_t revision, const place& where) {
    if (known_ && revision == revision_ && same_place(place_, where)) return true;
    known_ = true;
    revision_ = revision;
    place_ = where;
    return false;
}
