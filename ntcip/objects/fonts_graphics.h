// The sign's fonts, graphics and illumination objects of the "dms" subtree
// (1.3.6.1.4.1.1206.4.2.3): what a central system downloads into the sign
// and how it sets the sign's brightness. The store's validation decides
// every refusal; these rows only say where each object lives and what a
// write sets off beside it.
#pragma once

#include "ntcip/mib/mib_table.h"

// Group 3: the font limits, the 20-row font table and the 20 x 255
// character table. A height change of a font clears its characters; every
// access to a font's version ID recomputes it from the font's stored bytes.
extern const mib_table dms_font_table;
// Group 7: brightness control, manual level, brightness table and the
// photocell and light-output readings (three of them scaled with the
// special-feature bit 0x20).
extern const mib_table dms_illum_table;
// Group 10: the graphic limits and count, the 50-row graphic table and the
// 50 x 63 bitmap block table. A size change of a graphic erases its blocks;
// a status write recounts the usable graphics.
extern const mib_table dms_graphic_table;
