// The page sequencing of the primary face: once per display tick, by the
// display state, a test pattern, nothing (waiting for a pixel test), blank,
// or the pages of the message on show, each for its page on time, then dark
// for its page off time, the first page again after the last.
#include "display/display_task.h"

#include "display/render.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

enum : uint32_t { STATUS_READY = 4, STATUS_IN_USE = 5 };
const uint32_t CEILING_MAY_RISE = 0x40000000u;
const int32_t BLACK = 0;
const uint32_t TEST_CODE_MESSAGE = 1; // halvObj1_1: the message, no test pattern

} // namespace

void release_in_use(const DbObject& statuses) {
    for (uint32_t row = 0; row < statuses.rows; ++row)
        if (db_get(statuses.row(row)) == STATUS_IN_USE)
            db_set(statuses.row(row), STATUS_READY, DB_NOTIFY | DB_NO_VALIDATE);
}

void CDisplay::UpdatePrimaryFace() {
    using action = void (CDisplay::*)();
    static const action ACTIONS[] = {
        nullptr,                         // 0: nothing
        &CDisplay::DrawTestPatternState, // DISPLAY_TEST_PATTERN
        &CDisplay::WaitForPixelTest,     // DISPLAY_PIXEL_TEST
        &CDisplay::ShowBlank,            // DISPLAY_BLANK
        &CDisplay::StartMessage,         // DISPLAY_START_MESSAGE
        &CDisplay::ShowPageOn,           // DISPLAY_PAGE_ON
        &CDisplay::ShowPageOff,          // DISPLAY_PAGE_OFF
    };
    const uint32_t state = display_state_;
    if (!render_in_use_ || state >= sizeof ACTIONS / sizeof ACTIONS[0] || !ACTIONS[state]) return;
    (this->*ACTIONS[state])();
}

// The pattern of the display test code on a black sign; code 1 ends the
// test and restarts the message (test_patterns.cpp).
void CDisplay::DrawTestPatternState() {
    render_in_use_->GetSurface().Fill(BLACK);
    DrawTestPattern(db_get(obj::halvObj1_1));
}

void CDisplay::WaitForPixelTest() {
    if (!pixel_test_running_) display_state_ = DISPLAY_START_MESSAGE;
}

void CDisplay::ShowBlank() {
    render_in_use_->GetSurface().Fill(BLACK);
    render_in_use_->SetText(parser_in_use_, &message_, nullptr, 0);
    db_set(obj::statMultiFieldRows, 0, DB_NOTIFY);
    release_in_use(obj::dmsGraphicStatus);
    release_in_use(obj::fontStatus);
}

void CDisplay::StartMessage() {
    ceiling_flags_ |= CEILING_MAY_RISE;
    render_in_use_->display_mode = 0;
    if (db_get(obj::halvObj1_1) != TEST_CODE_MESSAGE)
        db_set(obj::halvObj1_1, TEST_CODE_MESSAGE, DB_NOTIFY);
    db_set_string(obj::panynjObj1_3, nullptr, 0, DB_NOTIFY);
    release_in_use(obj::dmsGraphicStatus);
    release_in_use(obj::fontStatus);
    message_.Reset(0);
    message_.ApplyDefaults();
    message_.flash_mode = 0;
    SavePageAttributes();
    message_.field_index = 0;
    saved_field_index_ = 0;
    db_set(obj::statMultiFieldRows, 0, DB_NOTIFY);
    if (!render_in_use_->ReparsePage(parser_in_use_, &message_)) {
        display_state_ = DISPLAY_BLANK;
        console_printf("ERROR PARSING FRAME\n");
        return;
    }
    ComputePageTimes();
    display_state_ = on_ticks_ != 0 ? DISPLAY_PAGE_ON : DISPLAY_PAGE_OFF;
}

// The page is drawn again on every tick, so that flashing and moving text
// advance. A single page stays on for good unless a tag gave it an off time.
void CDisplay::ShowPageOn() {
    RestorePageAttributes();
    message_.field_index = saved_field_index_;
    render_in_use_->ReparsePage(parser_in_use_, &message_);
    if (page_count_ <= 1 && !(message_.off_time_given && off_ticks_ != 0)) return;
    if (on_ticks_ != 0) --on_ticks_;
    if (on_ticks_ == 0) display_state_ = DISPLAY_PAGE_OFF;
}

void CDisplay::ShowPageOff() {
    render_in_use_->GetSurface().Fill(BLACK);
    if (off_ticks_ > 0) {
        --off_ticks_;
        return;
    }
    ShowNextPage();
    render_in_use_->display_mode = frame_mark_copy_;
    ComputePageTimes();
    if (on_ticks_ != 0) display_state_ = DISPLAY_PAGE_ON;
}

// The next page, or the first again after the last.
void CDisplay::ShowNextPage() {
    const bool several = page_count_ > 1;
    if (several) {
        SavePageAttributes();
        message_.Reset(0);
        RestorePageAttributes();
    } else {
        message_.Reset(1);
        SavePageAttributes();
    }
    saved_field_index_ = message_.field_index;
    if (render_in_use_->NextPage(parser_in_use_, &message_)) return;
    message_.flash_mode = 0;
    if (several) message_.Reset(0);
    message_.field_index = 0;
    saved_field_index_ = 0;
    render_in_use_->Reset(parser_in_use_, &message_);
    SavePageAttributes();
    render_in_use_->ReparsePage(parser_in_use_, &message_);
}

// On and off ticks from the message's page times at the frame rate, doubled
// with two faces (the primary face's update then runs twice a step); the
// tick that draws a page counts as its first on tick.
void CDisplay::ComputePageTimes() {
    const int32_t fps = render_in_use_->frames_per_second;
    off_ticks_ = fps * message_.page_off_time / 10;
    on_ticks_ = fps * message_.page_on_time / 10;
    if (face_count_ > 1) {
        off_ticks_ *= 2;
        on_ticks_ *= 2;
    }
    render_in_use_->page_off_time = message_.page_off_time;
    render_in_use_->page_on_time = message_.page_on_time;
    if (on_ticks_ != 0) --on_ticks_;
}

void CDisplay::SavePageAttributes() {
    save_page_attributes(message_, page_snapshot_);
}

void CDisplay::RestorePageAttributes() {
    restore_page_attributes(message_, page_snapshot_);
}
