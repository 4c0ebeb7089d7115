// CDataBase::SetDefaults and CDataBase::InitVolatile: the factory values of the
// non-volatile image and the run-time values of the volatile image, section by
// section, with notification and validation off for the writer's own writes.
#include "runtime/console.h"
#include "store/defaults_private.h"
#include "store/defaults_zuduz.h"
#include "store/database.h"
#include "store/defaults.h"
#include "store/defaults_table.h"
#include "store/fonts.h"

using namespace defaults;

namespace {

// The image header and the six section headers, in the order they are written.
constexpr DefaultValue kImageHeader[] = {
    set(obj::mibNvVersion, 3),          set(obj::mibNvImageSize, kNvImageSize),
    set(obj::dmsSectionTag, 1),         set(obj::mibNvDmsOffset, 40),
    set(obj::dmsSectionSize, 48076),    set(obj::globalSectionTag, 1),
    set(obj::mibNvGlobalOffset, 48116), set(obj::globalSectionSize, 46892),
    set(obj::halvSectionTag, 1),        set(obj::mibNvHalvOffset, 95008),
    set(obj::halvSectionSize, 2996),    set(obj::classbSectionTag, 1),
    set(obj::mibNvClassbOffset, 98004), set(obj::classbSectionSize, 72),
    set(obj::fdotSectionTag, 1),        set(obj::mibNvFdotOffset, 98076),
    set(obj::fdotSectionSize, 20),      set(obj::zuduzSectionTag, 1),
    set(obj::mibNvZuduzOffset, 98096),  set(obj::zuduzSectionSize, 12),
};

} // namespace

void CDataBase::SetDefaults(int reset) {
    const int partial = reset ? 1 : 0;
    SetFlashMode(1);
    BeginQuietWrites();

    nv_defaults_dms(*this, partial);
    nv_defaults_mib2(*this, partial);
    nv_defaults_halv(*this, partial);
    nv_defaults_global(*this, partial);
    fdot_defaults_init(partial, *this);
    zuduz_defaults_nv(partial, *this);

    apply(*this, kImageHeader);
    InstallDefaultFonts(*this);
    trace_printf("DB Sizes - VersionInformation_mib_nv:%d dms:%d global:%d halv:%d classb:%d "
                 "fdot:%d\n",
                 int(kNvHeaderSize), int(kNvSections[0].size), int(kNvSections[1].size),
                 int(kNvSections[2].size), int(kNvSections[3].size), int(kNvSections[4].size));

    EndQuietWrites();
}

void CDataBase::InitVolatile() {
    SetFlashMode(0);
    BeginQuietWrites();

    vol_defaults_dms(*this);
    vol_defaults_mib2(*this);
    vol_defaults_halv(*this);
    vol_defaults_global(*this);
    fdot_volatile_init(*this);
    zuduz_defaults_volatile(*this);
    panynj_defaults_init(*this);
    quorvel_defaults_init(*this);
    ess_defaults_init(*this);

    EndQuietWrites();
}

namespace {

// The value row `d` gives `object`, when it covers the object's first byte.
bool covered_value(const DefaultValue& d, const DbObject& object, uint32_t* value) {
    const DbObject& o = d.object;
    if (o.image != object.image || object.offset < o.offset || object.offset >= o.end())
        return false;
    const uint32_t row = (object.offset - o.offset) / o.width;
    if (d.kind == DefaultValue::Integer)
        *value = d.value;
    else if (d.kind == DefaultValue::Counting)
        *value = d.value + row;
    else
        return false;
    return true;
}

} // namespace

uint32_t factory_integer(const DbObject& object) {
    const DefaultTables sections[] = {nv_default_tables_dms(), nv_default_tables_mib2_halv(),
                                      nv_default_tables_global(), nv_default_tables_private()};
    uint32_t value = 0;
    for (const DefaultTables& section : sections)
        for (unsigned t = 0; t < section.count; ++t)
            for (size_t i = 0; i < section.tables[t].count; ++i)
                covered_value(section.tables[t].values[i], object, &value);
    return value;
}
