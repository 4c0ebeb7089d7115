// Brightness control (see brightness.h): the level of each illumination mode,
// the brightness curve with its expansion, the built-in table that follows
// feature bit 0x8, and the display task's ceiling from the lit share of the
// primary face.
#include "display/brightness.h"

#include "display/disp/frame.h"
#include "display/disp/frame_engine.h"
#include "display/display_driver.h"
#include "display/display_task.h"
#include "peripherals/temperature_limit.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint32_t N = DB_NOTIFY;
const uint32_t TIMER_LEVEL = 5;
const uint32_t DARK_OUTPUT = 257, HALF_OUTPUT = 32767;
const uint32_t LEVEL_TO_OUTPUT = 257; // 255 x 257 = 65535
const uint32_t TABLE_ROW_BYTES = 6;
const uint32_t TABLE_MAX_BYTES = 255 * TABLE_ROW_BYTES + 1;
// The curve is expanded to about 255 rows from this range of level counts.
const uint32_t EXPANDED_FIRST = 8, EXPANDED_LAST = 127;

const char* const SENSOR_DOWN = "Sensor Value Down, New Bright Value = 0x%x\n";
const char* const SENSOR_UP = "Sensor Value Up, New Bright Value = 0x%x\n";

// Test codes whose patterns drive the driver's level themselves.
const uint32_t CODES_HOLDING_THE_LEVEL[] = {9, 10, 25, 35};

bool level_held_by_test_pattern() {
    const uint32_t code = db_get(obj::halvObj1_1);
    for (uint32_t held : CODES_HOLDING_THE_LEVEL)
        if (code == held) return true;
    return false;
}

uint16_t be16(const uint8_t* at) {
    return uint16_t(at[0] << 8 | at[1]);
}

} // namespace

uint32_t light_output_to_level(uint32_t output) {
    return (255 * output + 64770) / 65535;
}

uint32_t limit_to_percent(uint32_t value, uint32_t percent) {
    if (percent == TEMPERATURE_LIMIT_NONE) return value;
    return (value * percent / 100) & 0xFFFF;
}

// --- the level --------------------------------------------------------------------------

struct brightness_control::mode_row {
    uint32_t mode;
    void (brightness_control::*update)();
};

// Modes 1 (other), 0 and above 6 change nothing.
const brightness_control::mode_row brightness_control::MODES[] = {
    {ILLUM_PHOTOCELL, &brightness_control::UpdatePhotocell},
    {ILLUM_TIMER, &brightness_control::UpdateTimer},
    {ILLUM_MANUAL, &brightness_control::UpdateManual},
    {ILLUM_MANUAL_DIRECT, &brightness_control::UpdateManual},
    {ILLUM_MANUAL_INDEXED, &brightness_control::UpdateManualIndexed},
};

void brightness_control::Update(bool reset) {
    if (reset) Restart();
    if (!driver_ || level_held_by_test_pattern()) return;
    const uint32_t mode = db_get(obj::dmsIllumControl);
    if (mode != last_mode_) {
        Restart();
        last_mode_ = mode;
    }
    for (const mode_row& row : MODES)
        if (row.mode == mode) return (this->*row.update)();
}

// A fixed low level; no status object is written.
void brightness_control::UpdateTimer() {
    driver_->SetBrightness(TIMER_LEVEL);
}

void brightness_control::UpdateManual() {
    Restart();
    uint32_t level = db_get(obj::dmsIllumManLevel);
    uint32_t limitation = LIMITED_BY_NOTHING;
    db_set(obj::halvObj5_12, level, N);
    const uint8_t percent = temperature_brightness_limit();
    if (percent != TEMPERATURE_LIMIT_NONE) {
        limitation = LIMITED_BY_TEMPERATURE;
        level = limit_to_percent(level, percent);
    }
    Apply(level == 0 ? 1 : level, limitation, true, false, nullptr);
}

// dmsIllumManLevel is a row of the curve, from 1; 0 gives no light output.
void brightness_control::UpdateManualIndexed() {
    Restart();
    uint32_t row = db_get(obj::dmsIllumManLevel);
    if (row > uint32_t(row_count_)) row = uint32_t(row_count_);
    ApplyOutput(row == 0 ? 0 : curve_[row - 1].output, false, nullptr);
}

// The reading moves the current row only when it leaves the row's band (or
// a search was asked for); a reading outside every band changes nothing.
void brightness_control::UpdatePhotocell() {
    const uint32_t reading = db_get(obj::dmsIllumPhotocellLevelStatus);
    if (reading == 0) {
        current_ = 0;
        const bool half = (db_get(obj::halvSpecialFeatureSet) & FEATURE_HALF_OUTPUT_IN_THE_DARK);
        ApplyOutput(half ? HALF_OUTPUT : DARK_OUTPUT, true, nullptr);
        return;
    }
    if (row_count_ == 0) return;
    if (current_ < 0 || current_ >= row_count_) current_ = 0;
    if (reading < curve_[current_].lower) {
        for (int32_t i = current_; i >= 0; --i)
            if (curve_[i].lower <= reading) {
                current_ = i;
                ApplyOutput(curve_[i].output, true, SENSOR_DOWN);
                return;
            }
    } else if (reading > curve_[current_].upper || research_) {
        for (int32_t i = current_; i < row_count_; ++i)
            if (curve_[i].upper >= reading) {
                current_ = i;
                ApplyOutput(curve_[i].output, true, SENSOR_UP);
                research_ = 0;
                return;
            }
    }
}

void brightness_control::ApplyOutput(uint32_t output, bool photocell, const char* message) {
    uint32_t limitation = LIMITED_BY_NOTHING;
    db_set(obj::halvObj5_12, light_output_to_level(output), N);
    const uint8_t percent = temperature_brightness_limit();
    if (percent != TEMPERATURE_LIMIT_NONE) {
        limitation = LIMITED_BY_TEMPERATURE;
        output = limit_to_percent(output, percent);
    }
    db_set(obj::dmsIllumLightOutputStatus, output, N);
    const uint32_t level = light_output_to_level(output);
    Apply(level == 0 ? 1 : level, limitation, false, photocell, message);
}

void brightness_control::Apply(uint32_t level, uint32_t limitation, bool output_from_level,
                               bool photocell, const char* message) {
    if (int32_t(level) > ceiling_) {
        limitation = LIMITED_BY_CEILING;
        level = uint32_t(ceiling_ < 0 ? 0 : ceiling_);
    }
    db_set(obj::dmsIllumBrightLevelStatus, level, N);
    if (output_from_level) db_set(obj::dmsIllumLightOutputStatus, level * LEVEL_TO_OUTPUT, N);
    if (photocell) db_set(obj::dmsIllumManLevel, level, N);
    if (db_get(obj::halvObj5_13) != limitation) db_set(obj::halvObj5_13, limitation, N);
    if (message) console_printf(message, unsigned(level));
    driver_->SetBrightness(uint8_t(level));
}

// --- the curve --------------------------------------------------------------------------

void brightness_control::ComputeCurve() {
    static uint8_t table[TABLE_MAX_BYTES + 1];
    uint32_t length = 0;
    const uint32_t copied =
        db_get_string_copy(obj::dmsIllumBrightnessValues, table, sizeof table, &length);
    const uint32_t error = LoadTable(table, copied == length ? length : 0, true);
    if (error != BRIGHTNESS_TABLE_OK) {
        db_set(obj::dmsIllumBrightnessValuesError, error, N);
        const bool eight = db_get(obj::halvSpecialFeatureSet) & FEATURE_EIGHT_LEVEL_TABLE;
        const uint8_t* builtin = builtin_brightness_table(eight, length);
        // Written as it is (the reason above stays readable until the new
        // table's letter builds the curve again); its change posts that letter.
        db_set_string(obj::dmsIllumBrightnessValues, builtin, length, N | DB_NO_VALIDATE);
        LoadTable(builtin, length, false);
    } else {
        db_set(obj::dmsIllumBrightnessValuesError, BRIGHTNESS_TABLE_OK, N);
    }
    Expand();
}

// Rows as {output, upper, lower}; with `check`, the first gap between bands
// (error 3) or band out of order or above dmsIllumMaxPhotocellLevel (error
// 6) stops the load.
uint32_t brightness_control::LoadTable(const uint8_t* table, uint32_t length, bool check) {
    const uint32_t levels = length == 0 ? 0 : table[0];
    row_count_ = int32_t(levels);
    if (levels == 0 || length != levels * TABLE_ROW_BYTES + 1) return BRIGHTNESS_TABLE_INVALID;
    const uint32_t max = db_get(obj::dmsIllumMaxPhotocellLevel);
    for (uint32_t i = 0; i < levels; ++i) {
        const uint8_t* at = table + 1 + i * TABLE_ROW_BYTES;
        const uint32_t output = be16(at), down = be16(at + 2), up = be16(at + 4);
        if (check && i > 0 && uint32_t(curve_[i - 1].upper) + 1 < down) return BRIGHTNESS_TABLE_GAP;
        if (check && (down > max || up > max || down > up)) return BRIGHTNESS_TABLE_INVALID;
        curve_[i] = brightness_row{uint16_t(output), uint16_t(up), uint16_t(down)};
    }
    return BRIGHTNESS_TABLE_OK;
}

// A table of 8 to 127 levels is spread over about 255 rows: level i moves to
// row i x s (s = 255 / (levels - 1)) and the rows between are interpolated
// in light output and lower bound; every band then ends where the next one
// starts. The last band keeps the table's upper bound, so that light above
// every interpolated band still finds the last row.
void brightness_control::Expand() {
    const uint32_t levels = uint32_t(row_count_);
    if (levels < EXPANDED_FIRST || levels > EXPANDED_LAST) return;
    const uint32_t s = 255 / (levels - 1);
    const uint16_t last_upper = curve_[levels - 1].upper;
    for (uint32_t i = levels - 1; i >= 1; --i)
        curve_[i * s] = curve_[i];
    for (uint32_t i = 0; i + 1 < levels; ++i) {
        const brightness_row from = curve_[i * s], to = curve_[(i + 1) * s];
        const float output_step = (float(to.output) - float(from.output)) / float(s);
        const float lower_step = (float(to.lower) - float(from.lower)) / float(s);
        float output = from.output, lower = from.lower;
        for (uint32_t k = 1; k < s; ++k) {
            output += output_step;
            lower += lower_step;
            curve_[i * s + k].output = uint16_t(int32_t(output));
            curve_[i * s + k].lower = uint16_t(int32_t(lower));
        }
    }
    row_count_ = int32_t((levels - 1) * s + 1);
    for (int32_t i = 0; i + 1 < row_count_; ++i) {
        const uint16_t next_lower = curve_[i + 1].lower;
        curve_[i].upper = next_lower == 0 ? 0 : uint16_t(next_lower - 1);
    }
    curve_[row_count_ - 1].upper = last_upper;
}

// The first steps: the table the feature set chooses is followed once (as
// each later change of the set is), then the curve is built.
void brightness_control::BuildCurveIfNone() {
    if (row_count_ != 0) return;
    if (!started_) ApplyTable();
    started_ = true;
    Restart();
    ComputeCurve();
}

void brightness_control::ApplyTable() {
    const uint32_t feature = db_get(obj::halvSpecialFeatureSet) & FEATURE_EIGHT_LEVEL_TABLE;
    if (feature != table_feature_) {
        uint32_t length = 0;
        const uint8_t* builtin = builtin_brightness_table(feature != 0, length);
        db_set_string(obj::dmsIllumBrightnessValues, builtin, length, N);
        db_set(obj::dmsIllumBrightnessValuesError, BRIGHTNESS_TABLE_OK, N);
    }
    table_feature_ = feature;
}

// --- the display task's side ---------------------------------------------------------------

namespace {

const uint32_t CEILING_ON = 0x80000000u;
const uint32_t CEILING_MAY_RISE = 0x40000000u;
const uint32_t POWER_SOURCE_BATTERY = 7;
const int32_t NO_CEILING = 255;

// The ceiling percentage of the power-source table on battery: the largest
// of the rows whose lit-pixel threshold lies above the lit share.
uint32_t battery_ceiling_percent(uint32_t ratio) {
    uint32_t rows = db_get(obj::halvObj2_30_1);
    if (rows > obj::halvObj2_30_3_1_2.rows) rows = obj::halvObj2_30_3_1_2.rows;
    uint32_t best = 0;
    for (uint32_t i = 0; i < rows; ++i) {
        const uint32_t percent = db_get(obj::halvObj2_30_3_1_3.row(i));
        if (db_get(obj::halvObj2_30_3_1_2.row(i)) > ratio && percent > best) best = percent;
    }
    return best;
}

} // namespace

void CDisplay::UpdateBrightness(bool reset) {
    display_guard guard(lock_);
    brightness_.Update(reset);
}

void CDisplay::ComputeBrightnessCurve() {
    display_guard guard(lock_);
    brightness_.ComputeCurve();
}

void CDisplay::ApplyBrightnessTable() {
    display_guard guard(lock_);
    brightness_.ApplyTable();
}

void CDisplay::RefreshBrightness() {
    UpdateBrightness(false);
}

// Letter 34: the table changed.
void CDisplay::OnBrightnessTableChanged() {
    display_guard guard(lock_);
    brightness_.Restart();
    brightness_.ComputeCurve();
    brightness_.Update(false);
}

int32_t CDisplay::ComputeBrightnessLimit(disp::face& face) {
    const face_config* config = face.config();
    if (!config) return NO_CEILING;
    const uint32_t pixels = uint32_t(config->width) * config->height;
    disp::frame* frame = nullptr;
    if (pixels == 0 || !config->engine || !config->engine->next_frame(&frame) || !frame)
        return NO_CEILING;
    uint32_t ratio = frame->lit_count() * 100 / pixels;
    if (ratio == 0) ratio = 1;
    uint32_t percent = 100;
    if (!(db_get(obj::halvSpecialFeatureSet) & FEATURE_POWER_SOURCE_CEILING))
        percent = db_get(obj::halvObj2_30_3_1_2.row(0)) * 100 / ratio;
    else if (db_get(obj::powerSource) == POWER_SOURCE_BATTERY)
        percent = battery_ceiling_percent(ratio);
    if (percent < 1) percent = 1;
    if (percent > 100) percent = 100;
    return int32_t(percent * 255 / 100);
}

// Before the faces are served: the first steps build the curve (and follow
// the feature set's table choice once); then, with the ceiling on, a new
// ceiling is applied unless it is still held.
void CDisplay::BrightnessStep() {
    display_guard guard(lock_);
    brightness_.BuildCurveIfNone();
    if (display_state_ == DISPLAY_PIXEL_TEST || !(ceiling_flags_ & CEILING_ON)) return;
    if (brightness_.ceiling_hold != 0) {
        --brightness_.ceiling_hold;
    } else if (brightness_ceiling_ != brightness_.computed_ceiling) {
        brightness_ceiling_ = brightness_.computed_ceiling;
        console_printf("set max dimming to %d\n", int(brightness_ceiling_));
        brightness_.Update(true);
    }
}

// After the primary face's tick: the ceiling its frame allows falls at once
// and rises once after each new message, a step later.
void CDisplay::TrackBrightnessCeiling() {
    if (!(ceiling_flags_ & CEILING_ON) || face_count_ == 0) return;
    const int32_t limit = ComputeBrightnessLimit(faces_[0]);
    if (limit > brightness_.computed_ceiling && (ceiling_flags_ & CEILING_MAY_RISE)) {
        brightness_.computed_ceiling = limit;
        brightness_.ceiling_hold = 1;
    } else if (limit <= brightness_.computed_ceiling) {
        brightness_.computed_ceiling = limit;
        brightness_.ceiling_hold = 0;
    }
    ceiling_flags_ &= ~CEILING_MAY_RISE;
}
