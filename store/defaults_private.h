// Default values of the customer and private subtrees fdot, panynj, quorvel
// and ess, written by the object store's defaults (CDataBase::SetDefaults and
// CDataBase::InitVolatile) with notification and validation off.
#pragma once

#include "store/database.h"

// fdot: factory values (partial 1 keeps fdotMaxNumPixelFailure) and the
// run-time value of the event-log near-full latch.
void fdot_defaults_init(int partial, CDataBase& store = TheDatabase());
void fdot_volatile_init(CDataBase& store = TheDatabase());
// panynj: the running-message copy, the refused-community counter, the status text.
void panynj_defaults_init(CDataBase& store = TheDatabase());
// quorvel: every plain-storage object of branches 1.1 and 1.2.
void quorvel_defaults_init(CDataBase& store = TheDatabase());
// ess: the configured position copied into the location objects, bearing 0.
void ess_defaults_init(CDataBase& store = TheDatabase());
