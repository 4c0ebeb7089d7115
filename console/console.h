// The printers live in runtime/console.h; this name stays for the code that
// already includes it.
#pragma once

#include "runtime/console.h"
