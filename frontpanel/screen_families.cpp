// The screen families of the front panel: each source file of screens
// offers its factory records as one menu_family (menu.h), named here once,
// in registration order. The families register their records before the
// manager builds the menus; a type no family offers is skipped by the build.
#include "frontpanel/menu.h"
#include "frontpanel/screens/brightness.h"
#include "frontpanel/screens/container.h"
#include "frontpanel/screens/current_display.h"
#include "frontpanel/screens/editor.h"
#include "frontpanel/screens/entry_screens.h"
#include "frontpanel/screens/errors.h"
#include "frontpanel/screens/messages.h"
#include "frontpanel/screens/modem.h"
#include "frontpanel/screens/network.h"
#include "frontpanel/screens/outputs.h"
#include "frontpanel/screens/peripheral_add.h"
#include "frontpanel/screens/peripheral_maint.h"
#include "frontpanel/screens/peripheral_view.h"
#include "frontpanel/screens/pixel_test.h"
#include "frontpanel/screens/ports.h"
#include "frontpanel/screens/preview.h"
#include "frontpanel/screens/run.h"
#include "frontpanel/screens/save.h"
#include "frontpanel/screens/sign_config.h"
#include "frontpanel/screens/system.h"
#include "frontpanel/screens/test_pattern.h"

namespace {
// Keeps the list well-formed while it has no other entry.
const menu_family NO_SCREENS = {nullptr, 0};
} // namespace

// One family a line, so that each screen file's line merges on its own.
// clang-format off
const menu_family* const SCREEN_FAMILIES[] = {
    &NO_SCREENS,
    &CONTAINER_SCREENS,
    &ENTRY_SCREENS,
    &SYSTEM_SCREENS,
    &MESSAGE_SCREENS,
    &RUN_SCREENS,
    &PREVIEW_SCREENS,
    &EDITOR_SCREENS,
    &SAVE_SCREENS,
    &CURRENT_DISPLAY_SCREENS,
    &ERROR_STATUS_SCREENS,
    &TEST_PATTERN_SCREENS,
    &PIXEL_TEST_SCREENS,
    &SIGN_CONFIG_SCREENS,
    &BRIGHTNESS_SCREENS,
    &PERIPHERAL_ADD_SCREENS,
    &PORT_SCREENS,
    &NETWORK_SCREENS,
    &MODEM_SCREENS,
    &PERIPHERAL_VIEW_SCREENS,
    &PERIPHERAL_MAINT_SCREENS,
    &OUTPUT_SCREENS,
};
// clang-format on
const size_t SCREEN_FAMILY_COUNT = sizeof SCREEN_FAMILIES / sizeof SCREEN_FAMILIES[0];
