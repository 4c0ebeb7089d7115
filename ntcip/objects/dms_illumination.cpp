// Illumination objects (1.3.6.1.4.1.1206.4.2.3.7): how the sign's brightness
// is controlled, the manual level, the brightness table and the readings.
// The store validates a brightness table and says why it refused one in
// dmsIllumBrightnessValuesError; a refused table answers genErr. The control
// mode and the manual level are written without a report, as before: a
// refusal shows only in the value read back. The display applies what is
// written.
//
// With the special-feature bit 0x20 three readings are reported on the
// scale of that installation (the stored values stay as they are): the
// photocell level divided by 126, the level count and the level halved.
#include "ntcip/objects/fonts_graphics.h"

#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint32_t ILLUM_MASK = 0x00200000;
constexpr uint32_t BRIGHTNESS_TABLE_MASK = 0x10000000;
constexpr uint32_t SCALED_READINGS_FEATURE = 0x20;
constexpr uint32_t PHOTOCELL_SCALE = 126;
constexpr uint32_t LEVEL_SCALE = 2;

// The row's tag is the divisor.
bool read_scaled(mib_request& request, uint32_t) {
    if ((db_get(obj::halvSpecialFeatureSet) & SCALED_READINGS_FEATURE) == 0) return false;
    const int32_t stored = int32_t(db_get(request.row.column.object));
    mib_answer_integer(request, uint32_t(stored / int32_t(request.row.column.tag)));
    return true;
}

constexpr mib_hooks kScaled = {nullptr, read_scaled, nullptr};

constexpr auto kRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 7},
    {
        scalar({1, 0}, MIB_INTEGER, obj::dmsIllumControl)
            .rw()
            .list({1, 2, 3, 4, 5, 6})
            .mask(ILLUM_MASK),
        scalar({2, 0}, MIB_INTEGER, obj::dmsIllumMaxPhotocellLevel).range(0, 65535),
        scalar({3, 0}, MIB_INTEGER, obj::dmsIllumPhotocellLevelStatus)
            .range(0, 65535)
            .hooked(&kScaled, PHOTOCELL_SCALE),
        scalar({4, 0}, MIB_INTEGER, obj::dmsIllumNumBrightLevels)
            .range(0, 255)
            .hooked(&kScaled, LEVEL_SCALE),
        scalar({5, 0}, MIB_INTEGER, obj::dmsIllumBrightLevelStatus)
            .range(0, 255)
            .hooked(&kScaled, LEVEL_SCALE),
        scalar({6, 0}, MIB_INTEGER, obj::dmsIllumManLevel).rw().range(0, 255).mask(ILLUM_MASK),
        scalar({7, 0}, MIB_OCTETSTR, obj::dmsIllumBrightnessValues)
            .rw()
            .mask(BRIGHTNESS_TABLE_MASK)
            .writes(mib_write::report),
        scalar({8, 0}, MIB_INTEGER, obj::dmsIllumBrightnessValuesError).list({1, 2, 3, 4, 5, 6}),
        scalar({9, 0}, MIB_INTEGER, obj::dmsIllumLightOutputStatus).range(0, 65535),
    });

} // namespace

const mib_table dms_illum_table = table(kRows);
