// The per-section default routines called by CDataBase::SetDefaults
// (non-volatile image; partial 1 = memory clear, which keeps the sign's
// configuration) and CDataBase::InitVolatile (volatile image, every start).
#pragma once

#include <cstdint>

class CDataBase;
struct DbObject;

void nv_defaults_dms(CDataBase& store, int partial);
void nv_defaults_mib2(CDataBase& store, int partial);
void nv_defaults_halv(CDataBase& store, int partial);
void nv_defaults_global(CDataBase& store, int partial);

// The tables of factory values of the non-volatile image, in the order
// SetDefaults applies them (a value a section writes by code is not in them).
struct DefaultTable;
struct DefaultTables {
    const DefaultTable* tables;
    unsigned count;
};
DefaultTables nv_default_tables_dms();
DefaultTables nv_default_tables_mib2_halv();
DefaultTables nv_default_tables_global();
DefaultTables nv_default_tables_private();
// The factory value of an integer object of the non-volatile image: the
// last table row that covers its offset (the value a full reset writes
// there); 0, as the image starts, when no table names it.
uint32_t factory_integer(const DbObject& object);

void vol_defaults_dms(CDataBase& store);
void vol_defaults_mib2(CDataBase& store);
void vol_defaults_halv(CDataBase& store);
void vol_defaults_global(CDataBase& store);
// The eight rows of the module table (part of vol_defaults_global).
void init_module_table(CDataBase& store);

// The build's identification shown in the module table.
#include "runtime/version.h"
