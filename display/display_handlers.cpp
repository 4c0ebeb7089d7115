// The display task's handlers of watched object changes: pixel-test
// control, display test mode, special features, HDLC address, the brightness
// ceiling switch, and the reload of the display configuration.
#include "display/display_task.h"

#include "comm/agents/ntcip_agents.h"
#include "display/render.h"
#include "runtime/letter_codes.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint32_t CEILING_ON = 0x80000000u;
const uint32_t CEILING_MAY_RISE = 0x40000000u;

// pixelTestActivation values.
enum : uint32_t {
    PIXEL_TEST_OTHER = 1,
    PIXEL_TEST_NONE = 2,
    PIXEL_TEST_RUN = 3,
    PIXEL_TEST_CLEAR = 4
};

// halvSpecialFeatureSet bit 0x2: permanent message 1 runs at priority 50.
const uint32_t FEATURE_PERMANENT_PRIORITY = 0x2;

// Module types of class 4; none is a row of the module type table.
const uint32_t CLASS_4_MODULE_TYPES[] = {21,  22,  23,  24,  94,  95,  96,  97,  98,  99,  100,
                                         101, 102, 103, 104, 105, 118, 119, 154, 155, 169, 172};

} // namespace

// --- handlers of the watched bits and letters -----------------------------------------

void CDisplay::StartPixelTest() {
    switch (db_get(obj::pixelTestActivation)) {
    case PIXEL_TEST_OTHER:
        db_set(obj::pixelTestActivation, PIXEL_TEST_NONE, DB_NOTIFY);
        break;
    case PIXEL_TEST_NONE:
        for (uint32_t i = 0; i < face_count_; ++i)
            faces_[i].stop_pixel_test();
        display_state_ = DISPLAY_START_MESSAGE;
        break;
    case PIXEL_TEST_RUN:
        ClearFaceFrames();
        display_state_ = DISPLAY_PIXEL_TEST;
        KickPixelTest();
        pixel_test_running_ = 1;
        PostLetter(LETTER_PIXEL_TEST_STARTED);
        break;
    case PIXEL_TEST_CLEAR:
        ClearFaceFrames();
        db_set(obj::pixelTestActivation, PIXEL_TEST_NONE, DB_NOTIFY);
        break;
    default:
        break;
    }
}

// Both error frames of every face and both failed-pixel tables.
void CDisplay::ClearFaceFrames() {
    for (uint32_t i = 0; i < face_count_; ++i) {
        faces_[i].clear_test_results();
        faces_[i].stop_diagnostics();
    }
    ClearFaceErrorTables();
    ClearFaceErrorTables2();
}

void CDisplay::ResetDisplayState() {
    display_state_ = DISPLAY_TEST_PATTERN;
    ceiling_flags_ |= CEILING_MAY_RISE;
}

void CDisplay::ApplyFeatureSet() {
    bool raised = (db_get(obj::halvSpecialFeatureSet) & FEATURE_PERMANENT_PRIORITY) != 0;
    db_set(obj::permanentMsgRunTimePriority.row(0), raised ? 50 : 255, DB_NOTIFY);
    ResetCommunityAndFonts();
}

// halvhdlcAddress is the station address every agent answers.
void CDisplay::ApplyHdlcAddress() {
    CNTCIP::SetStationAddress(uint16_t(db_get(obj::halvhdlcAddress)));
}

void CDisplay::SwitchBrightnessCeiling() {
    if (db_get(obj::halvObj2_30_4) == 2) ceiling_flags_ |= CEILING_ON;
}

void CDisplay::AttachRenderer() {
    lock_.Create();
    parser_in_use_ = &parser_;
    render_in_use_ = &TheRender();
}

void CDisplay::LoadDisplayConfiguration() {
    display_guard guard(lock_); // the surface is resized under the renderer's users
    uint32_t height = db_get(obj::vmsSignHeightPixels);
    uint32_t width = db_get(obj::vmsSignWidthPixels);
    const module_type_record& module = find_module_type(db_get(obj::halvModuleID));
    ConfigureDisplay(height, width, module.frame_format);
    AttachRenderer();
    display_state_ = db_get(obj::halvObj1_1) != 1 ? DISPLAY_TEST_PATTERN : DISPLAY_START_MESSAGE;
    // The front panel's current screen is drawn again here with the front panel.
    const uint32_t lines = face_configs_[0].line_count;
    for (uint32_t line = lines; line < obj::halvLineLength.rows; ++line)
        db_set(obj::halvLineLength.row(line), 0, DB_NOTIFY);
}

uint32_t CDisplay::ClassifyModuleType(uint32_t module_type) {
    for (uint32_t id : CLASS_4_MODULE_TYPES)
        if (id == module_type) return 4;
    return (find_module_type(module_type).FlagsByte() & 0x1) ? 2 : 3;
}
