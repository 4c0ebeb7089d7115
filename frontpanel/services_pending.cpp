// Screen services the panel input calls before the screen services exist.
// Each refuses, so that a quick message or F4 changes nothing. The screen
// services' own file (frontpanel/services.cpp) defines them and removes their
// lines here.
#include "frontpanel/manager.h"

bool CLCD_Manager::RequestMessageStatus(uint16_t, uint8_t, uint8_t) {
    return false;
}

bool CLCD_Manager::EditFirstFreeMessage() {
    return false;
}
