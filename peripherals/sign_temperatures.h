// The sign's temperatures and light level, derived once per pass of the
// peripheral task after its polls:
// - the minimum and maximum temperatures of the sign housing (sensors 13-15),
//   the control cabinet (11, else the controller board's own 10) and the
//   ambient air (12);
// - the over-temperature protection on the housing's maximum T against the
//   shut-off temperature S (halvShutOffTemp): at S - 3 the brightness is
//   limited to 50 %, at S the sign is blanked (limit 0, a blank message in
//   activation row 2, trap 2), and it comes back to 50 % at S - 3 (trap 8)
//   and to 100 % at S - 6. A message of run-time priority 200 or more on the
//   sign lifts the protection; S = 0 or bit 0x80 of halvSpecialFeatureSet
//   freezes it as it stands;
// - the photocell level: the largest light level of the valid sensors 1-3.
#pragma once

#include "peripherals/pl_mediator.h"

#include <cstdint>

class CSignTemperatures {
  public:
    enum : uint8_t { STATE_NORMAL = 0, STATE_REDUCED = 1, STATE_BLANKED = 2 };
    // Specific numbers of the protection's traps.
    enum : uint32_t { TRAP_OVER_TEMPERATURE_BLANK = 2, TRAP_OVER_TEMPERATURE_CLEARED = 8 };

    // Minimum and maximum temperatures, then the protection.
    void EvaluateTemperatures(pl_mediator& registry);
    void OverTemperatureControl();
    void UpdatePhotocellLevel(pl_mediator& registry);
    uint8_t State() const { return state_; }
    // A sensor of the sign housing was valid at the last evaluation.
    bool HousingValid() const { return housing_valid_; }

  private:
    struct Step;
    static const Step STEPS[];
    void Take(const Step& step, int8_t housing_max);
    void ReleaseProtection();
    void RequestTemperatureBlank();
    void ClearTemperatureBlank();

    uint8_t state_ = STATE_NORMAL;
    uint16_t photocell_level_ = 0; // the level last written
    bool housing_valid_ = false;
};
