// The menu framework: the menu item's defaults, the factory registry, the
// menu table and the two walks over it (see menu.h).
#include "frontpanel/menu.h"

#include "frontpanel/manager.h"
#include "runtime/console.h"

// --- menu items ------------------------------------------------------------------------

CMenuItem::CMenuItem(int32_t id, menu_text title, uint32_t rights)
    : id_(id), title_(title), rights_(rights) {}

void CMenuItem::OnEnter(CLCD_Manager&) {}

void CMenuItem::OnActivated(CLCD_Manager& manager) {
    manager.refresh_period = refresh_period_;
    manager.right_is_navigation = 0;
}

void CMenuItem::OnLeave(CLCD_Manager& manager, int32_t) {
    manager.refresh_period = 0;
}

bool CMenuItem::HasRights(CLCD_Manager& manager) {
    return (rights_ & manager.Rights()) == rights_;
}

void CMenuItem::OnEvent(CLCD_Manager&, const letter_s&) {}

void CMenuItem::DrawSuffix(CLCD_Manager&, CLCD&, uint8_t, uint8_t) {}

bool CMenuItem::AddChild(CMenuItem*) {
    return false;
}

void CMenuItem::Configure(const menu_row&) {}

// --- the factory -----------------------------------------------------------------------

namespace {

const menu_factory_record* registered[class_factory::CAPACITY] = {};
size_t registered_count = 0;
bool families_registered = false;

} // namespace

uint32_t class_factory::Register(const menu_factory_record* record) {
    for (size_t i = 0; i < registered_count; ++i)
        if (registered[i]->type == record->type)
            console_printf("class_factory::Register: error duplicate type:%d\n", int(record->type));
    if (registered_count < CAPACITY) registered[registered_count++] = record;
    return record->type;
}

void class_factory::RegisterFamilies() {
    if (families_registered) return;
    families_registered = true;
    for (size_t f = 0; f < SCREEN_FAMILY_COUNT; ++f)
        for (size_t i = 0; i < SCREEN_FAMILIES[f]->count; ++i)
            Register(&SCREEN_FAMILIES[f]->records[i]);
}

CMenuItem* class_factory::Create(uint32_t type, int32_t id, const menu_row& row) {
    for (size_t i = 0; i < registered_count; ++i)
        if (registered[i]->type == type) return registered[i]->create(id, row);
    return nullptr;
}

size_t class_factory::Count() {
    return registered_count;
}

void class_factory::Reset() {
    registered_count = 0;
    families_registered = false;
}

// --- the menu table --------------------------------------------------------------------

// Every menu of the panel in build order: id, factory type, title, rights,
// fixed parent (a screen reached only from another screen; 33 is its own),
// refresh period, footer, the children a container lists. A child listed by
// two containers keeps the later one as its parent.
// clang-format off
const menu_row MENU_TABLE[] = {
    {1, TYPE_SPLASH, {"HALVENMARK TESSALON", "HALVENMARK TESSALON"}, 0, 0, 0, {}, {}},
    {2, TYPE_LOGIN, {"", ""}, 0, 0, 0, {}, {}},
    {3, TYPE_MAIN_MENU, {"** WELCOME TO THE MAIN MENU **", "** BIENVENUE AU MENU PRINCIPAL **"}, 0, 0, 1, {}, {21, 4, 44, 45, 19, 138, 210}},
    {19, TYPE_CURRENT_DISPLAY, {"CURRENT DISPLAY", "CURRENT DISPLAY"}, 0, 0, 0, {}, {}},
    {20, TYPE_CURRENT_MULTI_STRING, {"MULTI MESSAGE STRING", ""}, 0, 19, 0, {}, {}},
    {21, TYPE_MESSAGE_CONTROL, {"MESSAGE CONTROL", "COMMANDE DE MESSAGES"}, 0, 0, 0, {}, {22, 29, 27, 28, 25, 36}},
    {22, TYPE_MESSAGE_LIST, {"RUN SAVED MESSAGE", "AFFICHER MESSAGE"}, RIGHT_MESSAGE_RUN, 0, 0, {}, {}},
    {27, TYPE_MESSAGE_BLANK, {"BLANK DISPLAY", "METTRE AU NOIR"}, RIGHT_MESSAGE_RUN, 0, 0, {}, {}},
    {28, TYPE_MESSAGE_EDITOR, {"CREATE MESSAGE", "CREATION DE MESSAGE"}, RIGHT_MESSAGE_EDIT, 0, 0, {}, {}},
    {29, TYPE_MESSAGE_LIST, {"PREVIEW A MESSAGE", ""}, RIGHT_MESSAGE_EDIT, 0, 0, {}, {}},
    {30, TYPE_MESSAGE_PREVIEW, {"PREVIEW MESSAGE", ""}, RIGHT_MESSAGE_EDIT, 29, 4, {}, {}},
    {25, TYPE_MESSAGE_LIST, {"DELETE MESSAGE", "SUPPRIMER UN MESSAGE"}, RIGHT_MESSAGE_EDIT, 0, 0, {}, {}},
    {31, TYPE_MESSAGE_SAVE, {"SAVE MESSAGE", "ENREGISTRER LE MESSAGE"}, RIGHT_MESSAGE_EDIT, 28, 0, {}, {}},
    {32, TYPE_MESSAGE_SAVE_AS, {"SAVE MESSAGE AS", "ENREGISTRER LE MESSAGE SOUS"}, RIGHT_MESSAGE_EDIT, 31, 0, {}, {}},
    {192, TYPE_NO_FREE_SLOT, {"NO FREE MESSAGE SLOT", "AUCUN EMPLACEMENT LIBRE"}, RIGHT_MESSAGE_EDIT, 0, 0, {}, {}},
    {33, TYPE_MESSAGE_SLOT_USED, {"SLOT USED, REPLACE THIS MSG?", "REMPLACER CE MESSAGE?"}, RIGHT_MESSAGE_EDIT, 33, 0, {}, {}},
    {26, TYPE_MESSAGE_DELETE_CONFIRM, {"DELETE CONFIRMATION", "CONFIRMATION DE SUPPRESSION"}, RIGHT_MESSAGE_EDIT, 25, 0, {}, {}},
    {24, TYPE_RUN_DURATION, {"RUN MESSAGE DURATION", "DUREE D'AFFICHAGE"}, RIGHT_MESSAGE_RUN, 23, 0, {}, {}},
    {23, TYPE_RUN_OPTIONS, {"RUN MESSAGE OPTIONS", "OPTIONS D'AFFICHAGE"}, RIGHT_MESSAGE_RUN, 0, 0, {}, {}},
    {36, TYPE_CONTAINER, {"QUICK SCHEDULE", "HORAIRE RAPIDE"}, 0, 0, 1, {}, {37, 38}},
    {37, TYPE_SCHEDULE_START, {"START SCHEDULE", "ACTIVER L'HORAIRE"}, RIGHT_SCHEDULE, 0, 0, {}, {}},
    {38, TYPE_SCHEDULE_STOP, {"STOP SCHEDULE", "DESACTIVER L'HORAIRE"}, RIGHT_SCHEDULE, 0, 0, {}, {}},
    {4, TYPE_CONTAINER, {"DIAGNOSTICS", "DIAGNOSTICS"}, 0, 0, 0, {}, {5, 6, 7, 186, 8, 9, 17, 18}},
    {5, TYPE_TEST_PATTERN, {"TEST PATTERNS", ""}, RIGHT_DIAGNOSTICS, 0, 0, {}, {}},
    {6, TYPE_VERSION_INFO, {"VERSION INFO", "INFORMATIONS SUR LA VERSION"}, RIGHT_DIAGNOSTICS, 0, 4, {}, {}},
    {7, TYPE_STATUS_INFO, {"STATUS INFO", ""}, RIGHT_DIAGNOSTICS, 0, 4, {}, {}},
    {8, TYPE_PIXEL_TEST_ACTIVATION, {"PIXEL TEST ACTIVATION", "ACTIVATION DU TEST DE PIXELS"}, RIGHT_DIAGNOSTICS, 0, 0, {}, {}},
    {9, TYPE_PIXEL_TEST_RESULTS, {"PIXEL TEST RESULTS", "RESULTAT DU TEST DE PIXELS"}, RIGHT_DIAGNOSTICS, 0, 0, {}, {10, 11, 12}},
    {10, TYPE_PIXEL_TEST_BITMAP, {"PIXEL TEST RESULTS BITMAP", "AFFICHAGE DU RESULTAT GRAPHIQUE"}, RIGHT_DIAGNOSTICS, 0, 0, {}, {}},
    {11, TYPE_PIXEL_TEST_LIST, {"PIXEL TEST RESULTS LIST", "AFFICHAGE DU RESULTAT EN LISTE"}, RIGHT_DIAGNOSTICS, 0, 0, {}, {}},
    {12, TYPE_PIXEL_TEST_CLEAR, {"CLEAR PIXEL TEST RESULTS", "EFFACER LE RESULTAT DU TEST DE PIXEL"}, RIGHT_DIAGNOSTICS, 0, 0, {}, {}},
    {17, TYPE_TEST_FANS_HEATERS, {"RUN FANS / HEATERS", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {18, TYPE_AUX_IO_CONTROL, {"AUX I/O PORT CONTROL", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {44, TYPE_BRIGHTNESS_CONTROL, {"BRIGHTNESS CONTROL", "CONTROLE DE LUMINOSITE"}, RIGHT_BRIGHTNESS, 0, 0, {}, {}},
    {45, TYPE_CONTAINER, {"CONFIGURATION", "CONFIGURATION"}, 0, 0, 0, {}, {46, 96, 151, 193}},
    {46, TYPE_CONTAINER, {"SYSTEM CONFIGURATION", "CONFIGURATION DE L'ENSEIGNE"}, 0, 0, 0, {}, {47, 48, 54, 80, 81}},
    {47, TYPE_CONTAINER, {"CONFIGURE DISPLAY", ""}, 0, 0, 0, {}, {49, 50, 53, 52, 57, 56, 209}},
    {49, TYPE_MODULE_TYPE, {"MODULE TYPE", "TYPE DE MODULE"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {50, TYPE_MATRIX_TYPE, {"DISPLAY TYPE", "TYPE DE MATRICE"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {52, TYPE_SIGN_WIDTH, {"DISPLAY PIXEL WIDTH", "LARGEUR EN PIXELS DE L'ENSEIGNE"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {53, TYPE_SIGN_HEIGHT, {"DISPLAY PIXEL HEIGHT", "HAUTEUR EN PIXELS DE L'ENSEIGNE"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {57, TYPE_SIGN_ACCESS, {"DISPLAY ACCESS", "DISPLAY ACCESS"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {56, TYPE_SIGN_ADDRESS, {"DISPLAY ADDRESS", "ADRESSE DE L'ENSEIGNE"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {209, TYPE_DEFAULT_FONT, {"DEFAULT FONT", "POLICE"}, RIGHT_FONT, 0, 0, {}, {}},
    {48, TYPE_CONTAINER, {"CONFIGURE OPTIONS", ""}, 0, 0, 0, {"* = REQUIRES REBOOT", "* = REQUIRES REBOOT"}, {77, 78, 79, 60, 70, 197}},
    {77, TYPE_CRITICAL_TEMPERATURE, {"CRITICAL TEMPERATURE", "CRITICAL TEMPERATURE"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {78, TYPE_LEGIBILITY_THRESHOLD, {"LEGIBILITY THRESHOLD", "LEGIBILITY THRESHOLD"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {79, TYPE_FAILED_PIXEL_THRESHOLD, {"FAILED PIXEL THRESHOLD", "FAILED PIXEL THRESHOLD"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {60, TYPE_CONTAINER, {"SPECIAL FEATURES", "FONCTIONNALITES SPECIALES"}, 0, 0, 0, {}, {64, 61, 62, 63, 83, 84}},
    {61, TYPE_BITS_PER_COLOUR, {"NUMBER BITS/COLOR", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {62, TYPE_FRAMES_PER_SECOND, {"NUMBER FRAMES/SECOND", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {63, TYPE_PIXELS_PER_CAN_LINE, {"MAXIMUM PIXELS PER CAN LINE", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {64, TYPE_SPECIAL_FEATURE_CONFIG, {"HALV SPECIAL FEATURES", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {83, TYPE_MASTER_BRIGHTNESS, {"MASTER BRIGHTNESS", "NIVEAU DE LUMINOSITE MAX"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {84, TYPE_CONTAINER, {"LINE LENGTHS", ""}, 0, 0, 0, {}, {85, 86, 87, 88, 89, 90, 91, 92, 93}},
    {85, TYPE_LINE_LENGTH, {"LINE 1 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {86, TYPE_LINE_LENGTH, {"LINE 2 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {87, TYPE_LINE_LENGTH, {"LINE 3 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {88, TYPE_LINE_LENGTH, {"LINE 4 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {89, TYPE_LINE_LENGTH, {"LINE 5 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {90, TYPE_LINE_LENGTH, {"LINE 6 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {91, TYPE_LINE_LENGTH, {"LINE 7 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {92, TYPE_LINE_LENGTH, {"LINE 8 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {93, TYPE_LINE_LENGTH, {"LINE 9 LENGTH", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {70, TYPE_TRAP_CONFIG, {"TRAP CONFIGURATION", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {197, TYPE_BEACON_TYPE, {"BEACON TYPE", ""}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {54, TYPE_DATE_TIME_WIZARD, {"SET DATE AND TIME", "CHANGER LA DATE ET L'HEURE"}, RIGHT_DATE_TIME, 0, 0, {}, {}},
    {80, TYPE_CONTROLLER_SERIAL, {"CONTROLLER SERIAL NUMBER", "CONTROLLER SERIAL NUMBER"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {81, TYPE_SIGN_SERIAL, {"DISPLAY SERIAL NUMBER", "DISPLAY SERIAL NUMBER"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {96, TYPE_CONTAINER, {"COMMUNICATION CONFIGURATION", "CONFIGURATION DE LA COMMUNICATION"}, 0, 0, 0, {}, {97, 124}},
    {97, TYPE_CONTAINER, {"CENTRAL CONTROL PORT", "PORT MODEM EXTERNE"}, RIGHT_COMMUNICATION, 0, 4, {}, {98, 99, 100, 101, 102, 94, 103}},
    {98, TYPE_PORT_BAUD, {"BAUD RATE", "DEBIT EN BAUDS"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {99, TYPE_PORT_PROTOCOL, {"PROTOCOL", "PROTOCOLE"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {100, TYPE_PORT_HANDSHAKING, {"HANDSHAKING", "ETABLISSEMENT DE LIAISON"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {101, TYPE_PORT_TRAPS, {"TRAPS", "DEROUTEMENTS"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {102, TYPE_PORT_TIMEOUT, {"TIMEOUT", "DELAIS D'ATTENTE"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {94, TYPE_RDI_OPTIONS, {"RDI OPTIONS", "RDI OPTIONS"}, RIGHT_COMMUNICATION, 0, 0, {}, {130, 134, 135, 95}},
    {95, TYPE_RDI_SETTINGS, {"LID, ACK2, RETRIES", "LID, ACK2, RETRIES"}, RIGHT_CONFIGURATION, 0, 0, {}, {}},
    {103, TYPE_PORT_STATUS, {"STATUS", "STATUT"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {124, TYPE_CONTAINER, {"ETHERNET CONTROL PORT", "PORT ETHERNET"}, RIGHT_COMMUNICATION, 0, 0, {}, {125, 126, 127, 128, 137, 129, 136}},
    {125, TYPE_PORT_BAUD, {"BAUD RATE", "DEBIT EN BAUDS"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {126, TYPE_PORT_PROTOCOL, {"PROTOCOL", "PROTOCOLE"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {127, TYPE_PORT_TRAPS, {"TRAPS", "DEROUTEMENTS"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {128, TYPE_PORT_TIMEOUT, {"TIMEOUT", "DELAIS D'ATTENTE"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {137, TYPE_ETHERNET_MODE, {"ETHERNET MODE", "ADRESSE ETHERNET"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {129, TYPE_ETHERNET_OPTIONS, {"IP SETTINGS", "PARAMETRES IP"}, RIGHT_COMMUNICATION, 0, 0, {}, {130, 131, 132, 133, 134, 135, 201, 202, 198, 200, 199, 206, 207, 208}},
    {130, TYPE_CONTROLLER_IP, {"CONTROLLER IP ADDRESS", "ADRESSE IP LOCALE"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {131, TYPE_CONTROLLER_PORT, {"CONTROLLER IP PORT", "PORT IP LOCAL"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {132, TYPE_CONTROLLER_SUBNET, {"CONTROLLER SUBNET", "MASQUE SOUS-RESEAU"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {133, TYPE_CONTROLLER_GATEWAY, {"CONTROLLER GATEWAY", "PASSERELLE"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {134, TYPE_CENTRAL_IP, {"CENTRAL IP ADDRESS", "IP DU CENTRAL"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {135, TYPE_CENTRAL_PORT, {"CENTRAL IP PORT", "PORT IP DU CENTRAL"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {201, TYPE_MODEM_ACTIVATION_ENABLE, {"MODEM ACTIVATION INTERFACE", ""}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {202, TYPE_MODEM_ACTIVATION, {"MODEM CONFIGURATION", "CONFIGURATION DU MODEM"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {203, TYPE_MODEM_ACTIVATION_VERIZON, {"MODEM CONFIGURATION", "MODEM CONFIGURATION"}, RIGHT_COMMUNICATION, 202, 0, {}, {}},
    {204, TYPE_MODEM_ACTIVATION_ATT, {"MODEM CONFIGURATION", "MODEM CONFIGURATION"}, RIGHT_COMMUNICATION, 202, 0, {}, {}},
    {205, TYPE_MODEM_ACTIVATION_SPRINT, {"MODEM CONFIGURATION", "MODEM CONFIGURATION"}, RIGHT_COMMUNICATION, 202, 0, {}, {}},
    {198, TYPE_TELNET_ENABLE, {"TELNET INTERFACE", ""}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {200, TYPE_ICMP_ENABLE, {"ICMP(PING) INTERFACE", ""}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {199, TYPE_WEB_LCD_ENABLE, {"WEB LCD INTERFACE", ""}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {206, TYPE_NTP_ENABLE, {"NTP INTERFACE", ""}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {207, TYPE_NTP_ADDRESS, {"NTP SERVER IP ADDRESS", ""}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {208, TYPE_NTP_POLL_TIME, {"NTP POLL TIME (MINUTES)", ""}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {136, TYPE_PORT_STATUS, {"STATUS", "STATUT"}, RIGHT_COMMUNICATION, 0, 0, {}, {}},
    {151, TYPE_CONTAINER, {"PERIPHERAL CONFIGURATION", "CONFIGURATION DES PERIPHERIQUES"}, 0, 0, 0, {}, {152, 186, 188, 189, 191, 187}},
    {152, TYPE_CONTAINER, {"ADD PERIPHERALS", "AJOUTER PERIPHERIQUES"}, 0, 0, 0, {}, {153, 154, 173, 164, 155, 156, 174, 170, 177, 175}},
    {153, TYPE_ADD_LIGHT, {"ADD LIGHT", "AJOUTER CAPTEUR DE LUMINOSITE"}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {154, TYPE_ADD_TEMPERATURE, {"ADD TEMP", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {173, TYPE_ADD_HUMIDITY, {"ADD HUMIDITY", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {164, TYPE_ADD_DCIO, {"ADD DC I/O SENSOR", "AJOUTER CAPTEUR DC I/O"}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {155, TYPE_ADD_FANS, {"ADD FANS", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {156, TYPE_CONTAINER, {"ADD FAN MONITORING", ""}, 0, 0, 0, {}, {157, 159, 158}},
    {157, TYPE_ADD_FAN_AIRFLOW, {"AIRFLOW SENSORS", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {159, TYPE_ADD_FAN_RPM, {"FAN RPM SENSORS", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {158, TYPE_ADD_FAN_STATUS, {"STATUS RELAY", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {166, TYPE_ADD_POWER_SUPPLY, {"ADD POWERSUPPLY", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {167, TYPE_ADD_BEACON, {"ADD BEACON", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {174, TYPE_ADD_PTB, {"ADD PTB", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {170, TYPE_ADD_SWITCH, {"ADD SWITCH", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {177, TYPE_ADD_MISC_IO, {"ADD MISC IO", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {175, TYPE_ADD_GPO, {"ADD GENERAL PURPOSE OUTPUT", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {186, TYPE_PERIPHERAL_VIEW, {"VIEW PERIPHERALS", "AFFICHER LES PERIPHERIQUES"}, 0, 0, 0, {}, {}},
    {188, TYPE_PERIPHERAL_DELETE, {"DELETE PERIPHERALS", "SUPPRESSION DE PERIPHERIQUES"}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {189, TYPE_PERIPHERAL_DELETE_ALL, {"DELETE ALL PERIPHERALS", "SUPPRIMER TOUS LES PERIPHERIQUES"}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {191, TYPE_PERIPHERAL_AUTO_DETECT, {"PERIPHERAL AUTO DETECT", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {187, TYPE_PERIPHERAL_ERRORS, {"PERIPHERAL INIT ERRORS", ""}, RIGHT_PERIPHERALS, 0, 0, {}, {}},
    {193, TYPE_RESET, {"RESET OPTIONS", "OPTIONS DE REDEMARAGE"}, RIGHT_RESET, 0, 0, {}, {}},
    {138, TYPE_CONTAINER, {"*** SYSTEM ERRORS ***", ""}, 0, 0, 0, {}, {139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 10, 11}},
    {139, TYPE_OTHER_ERROR_STATUS, {"OTHER ERROR STATUS", "AUTRES ERREURS"}, 0, 0, 0, {}, {}},
    {140, TYPE_COMM_ERROR_STATUS, {"COMM ERROR STATUS", "ERREUR DE COMMUNICATION"}, 0, 0, 0, {}, {}},
    {141, TYPE_POWER_ERROR_STATUS, {"POWER SUPPLY ERROR STATUS", "ERREUR D'ALIMENTATION"}, 0, 0, 0, {}, {}},
    {142, TYPE_ATTACHED_DEVICE_ERROR_STATUS, {"ATTACHED DEVICE ERROR STATUS", "ERREUR DE DISPOSITIF EXTERNE"}, 0, 0, 0, {}, {}},
    {143, TYPE_PHOTOCELL_ERROR_STATUS, {"PHOTOCELL ERROR STATUS", "ERREUR DE CELLULE PHOTOELECTRIQUE"}, 0, 0, 0, {}, {}},
    {144, TYPE_MESSAGE_ERROR_STATUS, {"MESSAGE ERROR STATUS", "ERREUR DE MESSAGE"}, 0, 0, 0, {}, {}},
    {145, TYPE_CONTROLLER_ERROR_STATUS, {"CONTROLLER ERROR STATUS", "ERREUR DU CONTROLLEUR"}, 0, 0, 0, {}, {}},
    {146, TYPE_TEMPERATURE_ERROR_STATUS, {"TEMPERATURE WARNING STATUS", "AVERTISSEMENT DE TEMPERATURE"}, 0, 0, 0, {}, {}},
    {147, TYPE_CLIMATE_ERROR_STATUS, {"CLIMATE ERROR STATUS", "ERREUR CLIMATIQUE"}, 0, 0, 0, {}, {}},
    {148, TYPE_DOOR_OPEN_STATUS, {"DOOR OPEN STATUS", "PORTE OUVERTE"}, 0, 0, 0, {}, {}},
    {149, TYPE_HUMIDITY_WARNING_STATUS, {"HUMIDITY WARNING STATUS", "AVERTISSEMENT D'HUMIDITE"}, 0, 0, 0, {}, {}},
    {210, TYPE_PASSWORD, {"CHANGE PASSWORD", "CHANGER LE MOT DE PASSE"}, RIGHT_PASSWORD, 0, 0, {}, {}},
    {-1, TYPE_INSUFFICIENT_RIGHTS, {"INSUFFICIENT RIGHTS", "DROITS INSUFFISANT"}, 0, 0, 0, {}, {}},
};
// clang-format on
const size_t MENU_TABLE_COUNT = sizeof MENU_TABLE / sizeof MENU_TABLE[0];

const menu_row* menu_table_row(int32_t id) {
    for (const menu_row& row : MENU_TABLE)
        if (row.id == id) return &row;
    return nullptr;
}

// --- building and wiring ---------------------------------------------------------------

namespace {

CMenuItem* build_row(const menu_row& row) {
    CMenuItem* item = class_factory::Create(row.type, row.id, row);
    if (item == nullptr) return nullptr;
    item->SetTitle(row.title);
    item->SetRightsMask(row.rights);
    if (row.refresh_period != 0) item->SetRefreshPeriod(row.refresh_period);
    item->Configure(row);
    return item;
}

// -> false when the parent or a listed child is missing.
bool wire_row(CLCD_Manager& manager, const menu_row& row, CMenuItem* item) {
    bool complete = true;
    if (row.parent != MENU_PARENT) {
        CMenuItem* parent = manager.FindMenu(row.parent, nullptr);
        if (parent != nullptr)
            item->SetParent(parent);
        else
            complete = false;
    }
    for (size_t i = 0; i < MENU_MAX_LISTED && row.children[i] != 0; ++i) {
        CMenuItem* child = manager.FindMenu(row.children[i], nullptr);
        if (child == nullptr || !item->AddChild(child)) complete = false;
    }
    return complete;
}

} // namespace

void build_menus(CLCD_Manager& manager, const menu_row* table, size_t count) {
    class_factory::RegisterFamilies();
    for (size_t i = 0; i < count; ++i) {
        if (manager.MenuCount() >= CLCD_Manager::MENU_CAPACITY) {
            console_printf("build_menus failed: insufficient storage\n");
            return;
        }
        CMenuItem* item = build_row(table[i]);
        if (item == nullptr) {
            console_printf("build_menus failed to build type:%d, id:%d!\n", int(table[i].type),
                           int(table[i].id));
            continue;
        }
        manager.AddMenu(item);
    }
}

int common_menu_init(CLCD_Manager& manager, const menu_row* table, size_t count) {
    int result = 0;
    CMenuItem* start = manager.FindMenu(MENU_SPLASH, nullptr);
    if (start != nullptr)
        manager.SetStartMenu(start);
    else
        result = 1;
    for (size_t i = 0; i < count; ++i) {
        CMenuItem* item = manager.FindMenu(table[i].id, nullptr);
        if (item == nullptr || !wire_row(manager, table[i], item)) result = 1;
    }
    return result;
}
