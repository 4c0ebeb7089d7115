// Brightness control: how bright the sign shines. The NTCIP illumination
// objects choose the mode (photocell, timer, manual, manual direct, manual
// indexed); the light-sensor reading goes through a brightness curve built
// from the NTCIP brightness table (an invalid table is replaced by one of two
// built-in tables); the level 1..255 that results is limited by the
// peripheral task's temperature limit and by the display task's ceiling
// (derived from the share of lit pixels), written to the illumination status
// objects and handed to the display driver.
//
// The control belongs to the display task, which owns the driver and the
// applied ceiling; every operation runs under the display lock (the
// peripheral task updates from its own thread after a change of its limit).
#pragma once

#include <cstdint>

class display_driver;

// NTCIP dmsIllumControl values.
enum illumination_mode : uint32_t {
    ILLUM_OTHER = 1,
    ILLUM_PHOTOCELL = 2,
    ILLUM_TIMER = 3,
    ILLUM_MANUAL = 4,
    ILLUM_MANUAL_DIRECT = 5,
    ILLUM_MANUAL_INDEXED = 6,
};

// dmsIllumBrightnessValuesError values the control writes.
enum brightness_table_error : uint32_t {
    BRIGHTNESS_TABLE_OK = 2,
    BRIGHTNESS_TABLE_GAP = 3,
    BRIGHTNESS_TABLE_INVALID = 6,
};

// halvObj5_13: the limitation in force.
enum brightness_limitation : uint32_t {
    LIMITED_BY_NOTHING = 1,
    LIMITED_BY_TEMPERATURE = 2,
    LIMITED_BY_CEILING = 3,
};

// halvSpecialFeatureSet bits the control reads.
const uint32_t FEATURE_HALF_OUTPUT_IN_THE_DARK = 0x1; // a reading of 0 gives half output
const uint32_t FEATURE_EIGHT_LEVEL_TABLE = 0x8;       // the 8-level built-in table
const uint32_t FEATURE_POWER_SOURCE_CEILING = 0x200;  // ceiling from the power-source table

// The built-in brightness tables in the NTCIP format (level count, then
// {light output, photocell down, photocell up} as big-endian 16-bit values).
const uint32_t BRIGHTNESS_TABLE_8_BYTES = 49;
const uint32_t BRIGHTNESS_TABLE_248_BYTES = 1489;
const uint8_t* builtin_brightness_table(bool eight_levels, uint32_t& length);

// A 16-bit light output as an 8-bit level: 65535 gives 255, 3 gives 1, 2 gives 0.
uint32_t light_output_to_level(uint32_t output);
// A value limited to `percent` of itself (kept to 16 bits); 100 leaves it.
uint32_t limit_to_percent(uint32_t value, uint32_t percent);

// One row of the brightness curve: a light output and the photocell band
// [lower, upper] in which it applies.
struct brightness_row {
    uint16_t output, upper, lower;
};

class brightness_control {
  public:
    static const int32_t MAX_ROWS = 256;

    // `driver` is the display task's active driver (null while none is
    // configured) and `ceiling` its applied ceiling; both are read at every
    // update.
    brightness_control(display_driver* const& driver, const int32_t& ceiling)
        : driver_(driver), ceiling_(ceiling) {}

    // Computes the level by the illumination mode and applies it. With
    // `reset`, the photocell search starts again from row 0.
    void Update(bool reset);
    // Rebuilds the curve from dmsIllumBrightnessValues; an invalid table is
    // replaced in the store by the built-in one (its error recorded).
    void ComputeCurve();
    // Follows the feature set's table choice at the first call, then builds
    // the curve; nothing once a curve is built.
    void BuildCurveIfNone();
    // Follows bit 0x8 of halvSpecialFeatureSet: on each change of the bit the
    // built-in table it chooses is written (a new curve follows its letter).
    void ApplyTable();
    // The photocell search starts from row 0 and looks upwards at the next update.
    void Restart() {
        research_ = 1;
        current_ = 0;
    }

    int32_t RowCount() const { return row_count_; }
    const brightness_row& Row(int32_t i) const { return curve_[i]; }
    int32_t CurrentRow() const { return current_; }

    // The ceiling the display task computed from the primary face, and the
    // steps it is held before it is applied.
    int32_t computed_ceiling = 1;
    uint8_t ceiling_hold = 0;

  private:
    struct mode_row;
    static const mode_row MODES[];

    void UpdateTimer();
    void UpdateManual();
    void UpdateManualIndexed();
    void UpdatePhotocell();
    // A light output through the temperature limit to a level, then Apply.
    void ApplyOutput(uint32_t output, bool photocell, const char* message);
    // The ceiling, the status objects and the driver, for every mode.
    void Apply(uint32_t level, uint32_t limitation, bool output_from_level, bool photocell,
               const char* message);
    // -> the table's error; the rows loaded up to the first fault.
    uint32_t LoadTable(const uint8_t* table, uint32_t length, bool check);
    void Expand();

    display_driver* const& driver_;
    const int32_t& ceiling_;
    brightness_row curve_[MAX_ROWS] = {};
    int32_t row_count_ = 0;
    int32_t current_ = 0;
    uint8_t research_ = 0;
    uint32_t last_mode_ = 0;
    uint32_t table_feature_ = 0; // bit 0x8 of the feature set as last followed
    bool started_ = false;
};
