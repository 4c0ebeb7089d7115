// The peripheral base lives in runtime/peripheral.h, below the store's file
// objects that derive from it; this name stays for the code that already
// includes it.
#pragma once

#include "runtime/peripheral.h"
