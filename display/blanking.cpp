// The display's own blanking rules and its failed-pixel records.
//
// Two rules blank the sign when its display has become unreliable: the
// legibility rule (too few of the message's lit pixels still light) and the
// failed-pixel rule (more failed pixels than allowed). Either one saves the
// identity of the message it replaces, puts a blank into the ordinary request
// slot with its own source byte, prints why and raises trap 16. While the
// blank of a rule shows, that rule stays quiet.
//
// The failed pixels a pixel test finds are stored one row each (500 rows per
// detection type) and as a bit map of the whole sign in 400-byte blocks.
#include "display/display_task.h"

#include "comm/agents/trap_raise.h"
#include "display/disp/diagnostics.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t DISPLAY_TRAP = 16;
const uint8_t RULE_FAILED_PIXELS = 3; // second source byte of each rule's blank
const uint8_t RULE_LEGIBILITY = 4;
const uint32_t FAILURE_ROWS_PER_TYPE = 500;
const uint32_t DETECTION_TYPES = 3;
const uint8_t PIXEL_FAILURE_STATUS = 20;
const int32_t RULE_OFF = -1;
const uint32_t BITMAP_BLOCK_BYTES = 400;
const uint32_t BITMAP_BLOCKS = 11;
const uint32_t BITMAP_BYTES = BITMAP_BLOCK_BYTES * BITMAP_BLOCKS;

// Colour detail of a failure on a two-colour or full-colour sign: one value
// per colour channel bit.
const struct { uint32_t bit, value; } CHANNEL_VALUES[] = {{0x1, 1}, {0x2, 4}, {0x4, 16}};

// Whether the running message is a blank of a rule whose source byte is in
// `sources` (a rule's blank stops itself, the legibility rule's also the other).
bool rule_blank_shows(const uint8_t* sources, uint32_t count) {
    if (db_get(obj::dmsMsgSourceMode) != SOURCE_MODE_OTHER) return false;
    const uint32_t source = db_get(obj::panynjObj1_4);
    for (uint32_t i = 0; i < count; ++i)
        if (sources[i] == source) return true;
    return false;
}

void save_replaced_message() {
    uint8_t identity[16] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsMsgTableSource, identity, sizeof identity, &length);
    db_set_string(obj::panynjObj1_3, identity, length < sizeof identity ? length : sizeof identity,
                  DB_NOTIFY);
}

} // namespace

void CDisplay::RequestBlank(uint8_t first, uint8_t second) {
    CMsgActivationCode blank;
    blank.Set(DURATION_UNTIL_REPLACED, 255, kBlankMemoryType, kBlankMessageNumber, kBlankMessageCRC,
              0);
    ::request_activation(ACTIVATION_SLOT_ORDINARY, first, second, blank);
    rule_blank_requested_ = true;
}

void CDisplay::SendDisplayTrap() {
    raise_sign_trap(DISPLAY_TRAP);
}

// Saves the message shown, blanks the sign with the rule's source byte and
// raises the trap; a message already printed says why.
void CDisplay::BlankByRule(uint8_t rule_source) {
    RequestBlank(SOURCE_MODE_OTHER, rule_source);
    SendDisplayTrap();
}

void CDisplay::CheckLegibility() {
    static const uint8_t STOPPED_BY[] = {RULE_FAILED_PIXELS, RULE_LEGIBILITY};
    const uint32_t threshold = db_get(obj::halvLegibilityRatioThreshold);
    if (threshold == 0 || display_state_ == DISPLAY_TEST_PATTERN) return;
    const uint32_t ratio = db_get(obj::panynjObj1_6);
    if (ratio >= threshold || rule_blank_requested_ || rule_blank_shows(STOPPED_BY, 2)) return;
    save_replaced_message();
    console_printf("Legiblity Threshold(%d%%) Exceeded! Blanking.. Current Ratio:%d%%\n",
                   int(threshold), int(ratio));
    BlankByRule(RULE_LEGIBILITY);
}

void CDisplay::CheckFailedPixels() {
    static const uint8_t STOPPED_BY[] = {RULE_FAILED_PIXELS};
    const int32_t limit = db_get_signed(obj::fdotMaxNumPixelFailure);
    if (limit == RULE_OFF || display_state_ == DISPLAY_TEST_PATTERN) return;
    const int32_t shown = int32_t(db_get(obj::messageFailureCount));
    const int32_t tested = int32_t(db_get(obj::pixelTestFailureCount));
    if (!(shown > limit || tested > limit)) return;
    if (rule_blank_requested_ || rule_blank_shows(STOPPED_BY, 1)) return;
    save_replaced_message();
    console_printf("Max(%d) Fail Pixels Exceeded! Blanking.. RT cnt:%d PT cnt:%d\n", int(limit),
                   int(shown), int(tested));
    BlankByRule(RULE_FAILED_PIXELS);
}

void CDisplay::StorePixelError(uint32_t detection_type, uint32_t entry, uint8_t colour_class,
                               const disp::pixel& failed) {
    if (detection_type < 1 || detection_type > DETECTION_TYPES || entry >= FAILURE_ROWS_PER_TYPE)
        return;
    const uint32_t row = (detection_type - 1) * FAILURE_ROWS_PER_TYPE + entry;
    uint32_t colour = failed.value & 0xFFFF;
    if (colour_class == MODULE_COLOUR_RED_GREEN || colour_class == MODULE_COLOUR_FULL) {
        colour = 0;
        for (const auto& channel : CHANNEL_VALUES)
            if (failed.value & channel.bit) colour += channel.value;
    }
    db_set(obj::pixelFailureXLocation.row(row), failed.x + 1u, DB_NOTIFY);
    db_set(obj::pixelFailureYLocation.row(row), failed.y + 1u, DB_NOTIFY);
    db_set(obj::pixelFailureStatus.row(row), PIXEL_FAILURE_STATUS, DB_NOTIFY);
    db_set(obj::pixelFailureColorStatus.row(row), colour, DB_NOTIFY);
}

// One bit per pixel of the sign (column + row x face width, the faces on the
// same bits); only as much as the eleven blocks hold is kept.
void CDisplay::CountModuleErrors() {
    static uint8_t bitmap[BITMAP_BYTES];
    std::memset(bitmap, 0, sizeof bitmap);
    uint32_t pixels = 0;
    for (uint32_t i = 0; i < face_count_; ++i)
        pixels += uint32_t(face_configs_[i].width) * face_configs_[i].height;
    for (uint32_t i = 0; i < face_count_; ++i) {
        disp::diagnostics* diagnostics = face_configs_[i].diagnostics;
        if (!diagnostics || !diagnostics->own_errors()) continue;
        disp::pixel_error_iterator failed(diagnostics->own_errors(), 0, 0);
        for (failed.first(); failed.valid(); failed.advance()) {
            const uint32_t bit = failed.current().x + failed.current().y * face_configs_[i].width;
            if (bit / 8 < BITMAP_BYTES) bitmap[bit / 8] |= uint8_t(1u << (bit % 8));
        }
    }
    StoreFailureBitmap(bitmap, (pixels + 7) / 8);
}

// Block i of the bit map into row i while 400 x i does not pass the length
// (the last block holds the remainder, possibly nothing); blocks past the
// eleventh are dropped.
void CDisplay::StoreFailureBitmap(const uint8_t* bitmap, uint32_t length) {
    for (uint32_t i = 0; i < BITMAP_BLOCKS && BITMAP_BLOCK_BYTES * i <= length; ++i) {
        const uint32_t left = length - BITMAP_BLOCK_BYTES * i;
        db_set_string(obj::pixelFailureBitmap.row(i), bitmap + BITMAP_BLOCK_BYTES * i,
                      left < BITMAP_BLOCK_BYTES ? left : BITMAP_BLOCK_BYTES, DB_NOTIFY);
    }
}

// Every face starts its pixel test.
void CDisplay::KickPixelTest() {
    for (uint32_t i = 0; i < face_count_; ++i) {
        console_printf("kick off pixel test on face:%s\n", face_configs_[i].face_name);
        faces_[i].start_pixel_test(0);
    }
}
