// The per-section default routines called by CDataBase::SetDefaults
// (non-volatile image; partial 1 = memory clear, which keeps the sign's
// configuration) and CDataBase::InitVolatile (volatile image, every start).
#pragma once

#include <cstdint>

class CDataBase;

void nv_defaults_dms(CDataBase& store, int partial);
void nv_defaults_mib2(CDataBase& store, int partial);
void nv_defaults_halv(CDataBase& store, int partial);
void nv_defaults_global(CDataBase& store, int partial);

void vol_defaults_dms(CDataBase& store);
void vol_defaults_mib2(CDataBase& store);
void vol_defaults_halv(CDataBase& store);
void vol_defaults_global(CDataBase& store);
// The eight rows of the module table (part of vol_defaults_global).
void init_module_table(CDataBase& store);

// The build's identification shown in the module table.
#include "runtime/version.h"
