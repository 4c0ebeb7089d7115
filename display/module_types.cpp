// The module type table (see module_types.h): one line of data per module
// type, in ascending id order; the records are built from it once.
#include "display/module_types.h"

namespace {

struct ModuleTypeRow {
    uint32_t id;
    uint8_t height, width, colour_class, image, epld_mode;
    const char* model_name;
};

const ModuleTypeRow MODULE_TYPE_ROWS[] = {
    {28, 8, 8, 1, 1, 1, "LM8 028 MONOCHROME"},
    {30, 16, 16, 1, 1, 20, "LM16 030 20MM MONOCHROME"},
    {31, 16, 16, 1, 1, 4, "LM16 031 20MM MONOCHROME SHADED"},
    {32, 8, 8, 1, 1, 1, "LM8 032 MONOCHROME SHADED"},
    {34, 8, 8, 1, 1, 3, "LM8 034 20MM MONOCHROME"},
    {36, 8, 8, 1, 1, 3, "LM8 036 25MM MONOCHROME"},
    {38, 8, 8, 1, 1, 3, "LM8 038 33MM MONOCHROME"},
    {40, 8, 8, 1, 2, 10, "LM8 040 20MM MONOCHROME"},
    {42, 8, 8, 1, 2, 10, "LM8 042 25MM MONOCHROME"},
    {44, 8, 8, 1, 1, 4, "LM8 044 MONOCHROME SHADED"},
    {46, 8, 8, 1, 1, 3, "LM8 046 20MM MONOCHROME G2"},
    {48, 8, 8, 1, 1, 3, "LM8 048 25MM MONOCHROME G2"},
    {50, 8, 8, 1, 1, 3, "LM8 050 33MM MONOCHROME G2"},
    {52, 8, 8, 1, 1, 3, "LM8 052 66MM MONOCHROME G2"},
    {54, 8, 8, 1, 3, 18, "LM8 054 20MM MONOCHROME"},
    {55, 8, 8, 1, 3, 2, "LM8 055 20MM MONOCHROME SHADED"},
    {56, 8, 8, 1, 4, 18, "LM8 056 25MM MONOCHROME"},
    {57, 8, 8, 1, 4, 2, "LM8 057 25MM MONOCHROME SHADED"},
    {58, 8, 8, 2, 5, 8, "LM8 058 20MM RED-GREEN G2"},
    {60, 8, 8, 2, 1, 8, "LM8 060 20MM RED-GREEN"},
    {62, 8, 8, 2, 1, 7, "LM8 062 20MM RED-GREEN SHADED"},
    {64, 16, 32, 2, 3, 6, "LM32 064 10MM RED-GREEN"},
    {65, 16, 32, 2, 3, 6, "LM32 065 10MM RED-GREEN G2"},
    {66, 8, 8, 2, 1, 8, "LM8 066 25MM RED-GREEN"},
    {68, 8, 8, 2, 1, 7, "LM8 068 25MM RED-GREEN SHADED"},
    {72, 8, 8, 3, 6, 12, "LM8 072 20MM FULL COLOUR"},
    {76, 8, 8, 3, 5, 12, "LM8 076 25MM FULL COLOUR"},
    {78, 8, 8, 3, 5, 11, "LM8 078 20MM FULL COLOUR G2"},
    {80, 8, 8, 3, 5, 11, "LM8 080 25MM FULL COLOUR G2"},
    {82, 8, 8, 3, 5, 11, "LM8 082 33MM FULL COLOUR G2"},
    {86, 16, 16, 3, 5, 12, "LM16 086 16MM FULL COLOUR"},
    {90, 16, 16, 3, 5, 11, "LM16 090 16MM FULL COLOUR G2"},
    {92, 16, 16, 3, 5, 11, "LM16 092 20MM FULL COLOUR G2"},
};
const uint32_t MODULE_TYPE_COUNT = sizeof MODULE_TYPE_ROWS / sizeof MODULE_TYPE_ROWS[0];
static_assert(MODULE_TYPE_COUNT == 33, "the module type table has 33 rows");

// Every listed type's surface is 15 bits per pixel.
const uint8_t LISTED_FRAME_FORMAT = 15;

const module_type_record* built_table() {
    static module_type_record records[MODULE_TYPE_COUNT];
    static bool built = false;
    if (!built) {
        for (uint32_t i = 0; i < MODULE_TYPE_COUNT; ++i) {
            const ModuleTypeRow& row = MODULE_TYPE_ROWS[i];
            const builtin_epld& image = builtin_epld_table[row.image - 1];
            records[i] = module_type_record{
                row.id,         row.height, row.width,  LISTED_FRAME_FORMAT, row.colour_class,
                row.model_name, 0,          image.data, image.name,          image.size,
                row.epld_mode,  0};
        }
        built = true;
    }
    return records;
}

struct InstalledTable {
    const module_type_record* table = nullptr;
    uint32_t count = 0;
};

InstalledTable& installed() {
    static InstalledTable table;
    return table;
}

} // namespace

const module_type_record DEFAULT_MODULE_TYPE = {
    0, 7, 5, 1, MODULE_COLOUR_MONO, "UNKNOWN", 0, nullptr, "UNKNOWN", 0, 0, 0};

void install_module_type_table() {
    installed().table = built_table();
    installed().count = MODULE_TYPE_COUNT;
}

const module_type_record* installed_module_types() {
    return installed().table;
}

uint32_t installed_module_type_count() {
    return installed().count;
}

const module_type_record& find_module_type(const module_type_record* table, uint32_t count,
                                           uint32_t id) {
    if (table == nullptr) return DEFAULT_MODULE_TYPE;
    for (uint32_t i = 0; i < count; ++i)
        if (table[i].id == id) return table[i];
    return DEFAULT_MODULE_TYPE;
}

const module_type_record& find_module_type(uint32_t id) {
    return find_module_type(installed().table, installed().count, id);
}
