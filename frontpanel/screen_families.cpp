// The screen families of the front panel: each source file of screens
// offers its factory records as one menu_family (menu.h), named here once,
// in registration order. The families register their records before the
// manager builds the menus; a type no family offers is skipped by the build.
#include "frontpanel/menu.h"
#include "frontpanel/screens/container.h"
#include "frontpanel/screens/entry_screens.h"
#include "frontpanel/screens/messages.h"
#include "frontpanel/screens/outputs.h"
#include "frontpanel/screens/peripheral_maint.h"
#include "frontpanel/screens/peripheral_view.h"
#include "frontpanel/screens/preview.h"
#include "frontpanel/screens/run.h"
#include "frontpanel/screens/system.h"

namespace {
// Keeps the list well-formed while it has no other entry.
const menu_family NO_SCREENS = {nullptr, 0};
} // namespace

const menu_family* const SCREEN_FAMILIES[] = {
    &NO_SCREENS,      &CONTAINER_SCREENS,       &ENTRY_SCREENS,
    &SYSTEM_SCREENS,  &MESSAGE_SCREENS,         &RUN_SCREENS,
    &PREVIEW_SCREENS, &PERIPHERAL_VIEW_SCREENS, &PERIPHERAL_MAINT_SCREENS,
    &OUTPUT_SCREENS,
};
const size_t SCREEN_FAMILY_COUNT = sizeof SCREEN_FAMILIES / sizeof SCREEN_FAMILIES[0];
