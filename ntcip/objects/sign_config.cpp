// Sign configuration (1.3.6.1.4.1.1206.4.2.3.1) and variable-message sign
// configuration (1.3.6.1.4.1.1206.4.2.3.2). The values come from the factory,
// the front panel and the configuration file; a manager reads them and writes
// them only while the configuration unlock is on (the registry then lets the
// SETs through without value checks). The legend, the technology and the
// monochrome colours are never written here. A refused write of the sign
// group is not reported; one of the pixel group is.
#include "ntcip/objects/sign_groups.h"

namespace {

using namespace mibdef;

constexpr mib_variable sign(uint32_t x, const DbObject& o) {
    return scalar({1, x, 0}, MIB_INTEGER, o).config();
}
constexpr mib_variable pixels(uint32_t x, const DbObject& o) {
    return scalar({2, x, 0}, MIB_INTEGER, o).config().writes(mib_write::report);
}

constexpr auto kSignRows = under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3},
                                 {
                                     sign(1, obj::dmsSignAccess).range(0, 255),
                                     sign(2, obj::dmsSignType).range(1, 6).range(129, 134),
                                     sign(3, obj::dmsSignHeight).range(0, 65535),
                                     sign(4, obj::dmsSignWidth).range(0, 65535),
                                     sign(5, obj::dmsHorizontalBorder).range(0, 65535),
                                     sign(6, obj::dmsVerticalBorder).range(0, 65535),
                                     scalar({1, 7, 0}, MIB_INTEGER, obj::dmsLegend),
                                     sign(8, obj::dmsBeaconType).range(1, 13),
                                     scalar({1, 9, 0}, MIB_INTEGER, obj::dmsSignTechnology),
                                 });

constexpr auto kPixelRows = under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3},
                                  {
                                      pixels(1, obj::vmsCharacterHeightPixels).range(0, 255),
                                      pixels(2, obj::vmsCharacterWidthPixels).range(0, 255),
                                      pixels(3, obj::vmsSignHeightPixels).range(5, 144),
                                      pixels(4, obj::vmsSignWidthPixels).range(5, 1008),
                                      pixels(5, obj::vmsHorizontalPitch).range(0, 255),
                                      pixels(6, obj::vmsVerticalPitch).range(0, 255),
                                      scalar({2, 7, 0}, MIB_OCTETSTR, obj::monochromeColor),
                                  });

} // namespace

const mib_table dms_sign_cfg_table = table(kSignRows);
const mib_table vms_cfg_table = table(kPixelRows);
