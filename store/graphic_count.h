// The count of usable graphics, dmsGraphicNumEntries: always recounted from
// the 50 rows' statuses, never raised or lowered step by step, so that a
// repeated request or two writers at once cannot leave it wrong. Start-up,
// the graphic status handler and the display's graphic store all call it.
#pragma once

#include <cstdint>

class CDataBase;

// Sets dmsGraphicNumEntries to the number of usable graphics, those that are
// readyForUse, inUse or permanent (with notification, without validation),
// and returns it. With
// `trace` on, a rise prints "Add - Num Graphics:%d\n" and a fall
// "Del - Num Graphics:%d\n" with the new count.
uint32_t RecountReadyGraphics(CDataBase& store, bool trace);
