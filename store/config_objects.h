// The configuration object table: the 70 non-volatile objects that
// "CONFIG.XML" stores. The same table drives the object store's change
// detection (a changed write inside an entry's offset range posts letter 93).
#pragma once

#include "store/objects.h"

#include <cstddef>
#include <cstdint>

struct ConfigObject {
    const char* name;       // as written in the file, e.g. "dstBeginMonth[0]"
    DbObject object;        // row 0: offset, width, integer or string
    uint16_t rows;          // rows written to the file; 0 means one row
    uint32_t last;          // offset of the last row covered by change detection
    uint32_t default_value; // integers: a row is written only when it differs
    bool own_default;       // default_value is the file's own, not the factory value
};

const size_t CONFIG_OBJECT_COUNT = 70;

// The factory front-panel passwords (user levels 1 and 2): the defaults of
// halvLCDAdminPassword and halvLCDPassword.
const uint32_t FACTORY_LCD_ADMIN_PASSWORD = 1234;
const uint32_t FACTORY_LCD_PASSWORD = 4321;

// The entries in file order.
const ConfigObject* config_objects();
// The first entry whose offset range holds `nv_offset`, or null.
const ConfigObject* config_object_at(uint32_t nv_offset);
