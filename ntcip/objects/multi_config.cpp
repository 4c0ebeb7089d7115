// MULTI configuration (1.3.6.1.4.1.1206.4.2.3.4): the defaults the renderer
// applies where a message sets nothing itself, the colour scheme, the
// supported tags and limits, and the read-only copies of the defaults in
// force at the last activation.
//
// The two classic colour defaults exist only in the classic colour scheme.
// The store checks every colour default against the scheme and the colour
// class of the display modules; any refusal of a colour default is answered
// genErr. A refusal of the other defaults is not reported.
#include "ntcip/objects/sign_groups.h"

#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint32_t MULTI_MASK = 0x40000000;
constexpr uint32_t SCHEME_CLASSIC = 3;

int classic_colour_instance(mib_request& request) {
    if (db_get(obj::dmsColorScheme) != SCHEME_CLASSIC) return -1;
    return header_scalar(request.row, request.name, *request.length);
}

int write_colour(mib_request& request, uint32_t row) {
    const int result =
        mib_write_object(request, mib_row_object(request.row, row), request.ctx.write_flags);
    return result == DB_OK ? DB_OK : DB_REFUSED5;
}

constexpr mib_hooks kClassicColour = {classic_colour_instance, nullptr, write_colour};
constexpr mib_hooks kColour = {nullptr, nullptr, write_colour};

constexpr mib_variable setting(uint32_t x, const DbObject& o) {
    return scalar({x, 0}, MIB_INTEGER, o).rw().mask(MULTI_MASK);
}
constexpr mib_variable classic_colour(uint32_t x, const DbObject& o) {
    return setting(x, o).range(0, 9).writes(mib_write::report).hooked(&kClassicColour);
}
constexpr mib_variable rgb_colour(uint32_t x, const DbObject& o) {
    return scalar({x, 0}, MIB_OCTETSTR, o).rw().writes(mib_write::report).hooked(&kColour);
}
constexpr mib_variable reading(uint32_t x, uint8_t type, const DbObject& o) {
    return scalar({x, 0}, type, o);
}

constexpr auto kRows = under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 4},
                             {
                                 classic_colour(1, obj::defaultBackgroundColor),
                                 classic_colour(2, obj::defaultForegroundColor),
                                 setting(3, obj::defaultFlashOn).range(0, 255),
                                 setting(4, obj::defaultFlashOff).range(0, 255),
                                 setting(5, obj::defaultFont).range(1, 255),
                                 setting(6, obj::defaultJustificationLine).list({2, 3, 4, 5}),
                                 setting(7, obj::defaultJustificationPage).list({2, 3, 4}),
                                 setting(8, obj::defaultPageOnTime).range(1, 255),
                                 setting(9, obj::defaultPageOffTime).range(0, 255),
                                 setting(10, obj::defaultCharacterSet).list({1, 2}),
                                 reading(11, MIB_INTEGER, obj::dmsColorScheme),
                                 rgb_colour(12, obj::defaultBackgroundRGB),
                                 rgb_colour(13, obj::defaultForegroundRGB),
                                 scalar({14, 0}, MIB_OCTETSTR, obj::dmsSupportedMultiTags).rw(),
                                 reading(15, MIB_INTEGER, obj::dmsMaxNumberPages),
                                 reading(16, MIB_INTEGER, obj::dmsMaxMultiStringLength),
                                 reading(17, MIB_INTEGER, obj::defaultFlashOnActivate),
                                 reading(18, MIB_INTEGER, obj::defaultFlashOffActivate),
                                 reading(19, MIB_INTEGER, obj::defaultFontActivate),
                                 reading(20, MIB_INTEGER, obj::defaultJustificationLineActivate),
                                 reading(21, MIB_INTEGER, obj::defaultJustificationPageActivate),
                                 reading(22, MIB_INTEGER, obj::defaultPageOnTimeActivate),
                                 reading(23, MIB_INTEGER, obj::defaultPageOffTimeActivate),
                                 reading(24, MIB_OCTETSTR, obj::defaultBackgroundRGBActivate),
                                 reading(25, MIB_OCTETSTR, obj::defaultForegroundRGBActivate),
                             });

} // namespace

const mib_table multi_cfg_table = table(kRows);
