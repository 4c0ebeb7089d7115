// The NTCIP font table filled from the built-in fonts.
#pragma once

#include <cstdint>

class CDataBase;

// Installs built-in font `name` into font row `row` (0..19): number, height,
// spacings, name, every character's width and bitmap, the special glyphs of
// rows 0 and 1 when feature bit 0x20 is set, and the version ID. 1 done, 0
// when the font could not be opened or the row is out of range.
int LoadFontFile(CDataBase& store, const char* name, uint32_t row);
// The 20 built-in fonts into rows 0..19.
void LoadBuiltInFonts(CDataBase& store);
// The factory-default fonts, by sign type: one font on a character-matrix
// sign, all 20 otherwise (when the flash mode is on). Part of SetDefaults,
// after the non-volatile defaults were written.
void InstallDefaultFonts(CDataBase& store);
// The font-change hook of the font table's object handlers: does nothing.
void FontNop(CDataBase& store, uint32_t row);
