// Default values of the zuduz fan objects (1.3.6.1.4.1.1206.3.35): both fan
// requests idle, both fan states off, no climate or power failure flags.
#pragma once

#include "store/database.h"

void zuduz_defaults_nv(int partial, CDataBase& store = TheDatabase());
void zuduz_defaults_volatile(CDataBase& store = TheDatabase());
