// The Ethernet IP instance and its packet pool live in comm/network.h; this
// name stays for the code that already includes it.
#pragma once

#include "comm/network.h"
