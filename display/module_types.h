// The display module types: each supported LED module's size, colour class,
// the frame format of the renderer's surface for it, and the display EPLD's
// configuration image and mode. The sign is built from modules of one type,
// chosen by halvModuleID; the whole system looks its record up here.
#pragma once

#include <cstdint>

// Colour classes of a module type.
enum : uint8_t {
    MODULE_COLOUR_MONO = 1,
    MODULE_COLOUR_RED_GREEN = 2,
    MODULE_COLOUR_FULL = 3,
};

struct module_type_record {
    uint32_t id;
    uint8_t module_height; // pixels
    uint8_t module_width;
    uint8_t frame_format; // bits per pixel of the renderer's surface
    uint8_t colour_class;
    const char* model_name;
    uint32_t reserved;
    const uint8_t* epld_image; // zlib stream, or null
    const char* epld_name;
    uint32_t epld_size; // bytes of the zlib stream
    uint8_t epld_mode;  // written to the EPLD after loading
    uint32_t flags;     // second byte: the flags byte

    uint8_t FlagsByte() const { return uint8_t(flags >> 8); }
};

// The record for any id not in the table.
extern const module_type_record DEFAULT_MODULE_TYPE;

// The built-in EPLD images, numbered from 1 in the module type table; each
// inflates to EPLD_IMAGE_BYTES.
struct builtin_epld {
    const char* name;
    const uint8_t* data; // zlib stream
    uint32_t size;
};
const uint32_t BUILTIN_EPLD_COUNT = 6;
const uint32_t EPLD_IMAGE_BYTES = 98023;
extern const builtin_epld builtin_epld_table[BUILTIN_EPLD_COUNT];

// Installs the module type table (at start-up, before the display
// configuration); until then every lookup gives the default record.
void install_module_type_table();
const module_type_record* installed_module_types();
uint32_t installed_module_type_count();

// The first row with that id; the default record when the table is null or no
// row has it.
const module_type_record& find_module_type(const module_type_record* table, uint32_t count,
                                           uint32_t id);
// The same in the installed table.
const module_type_record& find_module_type(uint32_t id);
