// Non-volatile image header (VersionInformation_mib_nv) and section headers.
//
// The image begins with a 40-byte header record and six sections back to
// back; each section begins with {1, section size}. Nothing reads them back:
// the factory defaults write them and the journal carries them.
#pragma once

namespace obj {
using namespace dbdef;

// VersionInformation_mib_nv (40 bytes from offset 0).
constexpr DbObject mibNvVersion = nv(0, 4);       // 3
constexpr DbObject mibNvImageSize = nv(4, 4);     // 98108
constexpr DbObject mibNvDmsOffset = nv(8, 4);     // 40
constexpr DbObject mibNvGlobalOffset = nv(12, 4); // 48116
constexpr DbObject mibNvHalvOffset = nv(16, 4);   // 95008
constexpr DbObject mibNvClassbOffset = nv(20, 4); // 98004
constexpr DbObject mibNvFdotOffset = nv(24, 4);   // 98076
constexpr DbObject mibNvZuduzOffset = nv(28, 4);  // 98096

// Section headers: {1, size of the section including this header}.
constexpr DbObject dmsSectionTag = nv(40, 4);
constexpr DbObject dmsSectionSize = nv(44, 4);
constexpr DbObject globalSectionTag = nv(48116, 4);
constexpr DbObject globalSectionSize = nv(48120, 4);
constexpr DbObject halvSectionTag = nv(95008, 4);
constexpr DbObject halvSectionSize = nv(95012, 4);
constexpr DbObject classbSectionTag = nv(98004, 4);
constexpr DbObject classbSectionSize = nv(98008, 4);
constexpr DbObject fdotSectionTag = nv(98076, 4);
constexpr DbObject fdotSectionSize = nv(98080, 4);
constexpr DbObject zuduzSectionTag = nv(98096, 4);
constexpr DbObject zuduzSectionSize = nv(98100, 4);
} // namespace obj

// Section layout of the non-volatile image: first byte and size of each.
struct NvSection {
    const char* name;
    uint32_t first;
    uint32_t size;
};
constexpr uint32_t kNvHeaderSize = 40;
constexpr NvSection kNvSections[] = {
    {"dms", 40, 48076},    {"global", 48116, 46892}, {"halv", 95008, 2996},
    {"classb", 98004, 72}, {"fdot", 98076, 20},      {"zuduz", 98096, 12},
};
