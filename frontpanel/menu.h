// The front panel's menu framework. Every screen of the panel is a menu item:
// an object of a class derived from CMenuItem that knows its menu id, its
// English and French title, the rights a user needs to enter it and the item
// that Escape returns to; it reacts to key events and draws itself on the LCD
// when the front-panel manager (CLCD_Manager, frontpanel/manager.h) asks.
//
// Every item is built once, when the manager is constructed, from the one
// menu table (MENU_TABLE): a row per menu {id, factory type, title, rights,
// fixed parent, refresh period, footer, children}. A screen class makes
// itself creatable by a factory record {type, create}; each screen family
// hands its records over in a table (menu_family), and the families are
// listed once in frontpanel/screen_families.cpp, so that a new screen is a
// row, never a branch of a switch. Types whose screens do not exist yet are
// skipped by build_menus with a console line, and the rest of the tree is
// built all the same.
//
// Key event (u16, handed to OnKey by pointer): key code in bits 3-15, bit 0
// keypad, bit 1 multi-tap replace (the same panel key again: a text editor
// replaces its last character), bit 2 Ctrl. Key codes are those of the
// keyboard decoder (frontpanel/keyboard_decoder.h) plus KEY_REENTRY.
#pragma once

#include "frontpanel/keyboard_decoder.h"

#include <cstddef>
#include <cstdint>

class CLCD;
class CLCD_Manager;
struct letter_s;

// --- key events ------------------------------------------------------------------------

// Never produced by a key: the manager sends it to an item that becomes
// current again (Escape back to a parent) instead of calling OnEnter.
const uint16_t KEY_REENTRY = 291;
// Set by the manager when the same panel key is pressed again.
const uint16_t KEY_EVENT_MULTITAP = 0x0002;
const uint16_t KEY_EVENT_FLAGS = KEY_EVENT_KEYPAD | KEY_EVENT_MULTITAP | KEY_EVENT_CTRL;

// --- rights ----------------------------------------------------------------------------

// The rights bits a menu may need; a user holds a set of them (the login
// level's). A menu needs every bit of its mask (subset test); 0 is open to
// every logged-in level.
enum menu_right : uint32_t {
    RIGHT_PERIPHERALS = 0x00000200,   // fan/heater test, aux I/O, add/delete/detect peripherals
    RIGHT_PASSWORD = 0x00000800,      // change password
    RIGHT_CONFIGURATION = 0x00001000, // display and option configuration
    RIGHT_DATE_TIME = 0x00010000,     // set date and time
    RIGHT_RESET = 0x00020000,         // reset options
    RIGHT_SCHEDULE = 0x00080000,      // start and stop the schedule
    RIGHT_DIAGNOSTICS = 0x00100000,   // test patterns, version/status info, pixel tests
    RIGHT_BRIGHTNESS = 0x00200000,    // brightness control
    RIGHT_MESSAGE_EDIT = 0x00400000,  // create, preview, save, delete messages
    RIGHT_MESSAGE_RUN = 0x00800000,   // run a message, run options, blank the sign
    RIGHT_COMMUNICATION = 0x02000000, // ports, Ethernet, IP, modem, telnet, ICMP, web LCD, NTP
    RIGHT_FONT = 0x40000000,          // default font
};
const uint32_t RIGHTS_ALL = 0xFFFFFFFFu;
// Level 2 (the operator password): schedule, diagnostics, brightness, messages.
const uint32_t RIGHTS_OPERATOR = 0x00F80000u;

// --- menu ids with a role of their own -----------------------------------------------

enum menu_id : int32_t {
    MENU_PARENT = 0,               // as an activation target: the asking item's parent
    MENU_INSUFFICIENT_RIGHTS = -1, // shown instead of a menu whose rights the user lacks
    MENU_SPLASH = 1,
    MENU_LOGIN = 2,
    MENU_MAIN = 3,
    MENU_DIAGNOSTICS = 4,
    MENU_MESSAGE_CONTROL = 21,
    MENU_RUN_MESSAGE = 22,
    MENU_RUN_OPTIONS = 23, // takes the asking item as its parent
    MENU_DELETE_MESSAGE = 25,
    MENU_BLANK_DISPLAY = 27,
    MENU_MESSAGE_EDITOR = 28,
    MENU_SLOT_USED = 33, // its own parent
    MENU_QUICK_SCHEDULE = 36,
    MENU_BRIGHTNESS = 44,
    MENU_CONFIGURATION = 45,
    MENU_NO_FREE_SLOT = 192, // every changeable row in use; takes the asking item as its parent
};

// --- texts -----------------------------------------------------------------------------

// An operator text in both languages.
struct menu_text {
    const char* english;
    const char* french;
    // A French text that is missing or empty falls back to the English one.
    const char* Of(bool french_selected) const {
        const char* text = french_selected && french != nullptr && *french ? french : english;
        return text ? text : "";
    }
};

// --- menu items ------------------------------------------------------------------------

// Drawing phases handed to Draw.
enum draw_phase : uint8_t {
    DRAW_PERIODIC = 0, // every poll with nothing pending
    DRAW_FULL = 1,     // the screen was cleared first
    DRAW_PARTIAL = 2,
};

struct menu_row;

class CMenuItem {
  public:
    explicit CMenuItem(int32_t id, menu_text title = {"", ""}, uint32_t rights = 0);
    virtual ~CMenuItem() = default;
    CMenuItem(const CMenuItem&) = delete;
    CMenuItem& operator=(const CMenuItem&) = delete;

    // Becomes current through a normal activation.
    virtual void OnEnter(CLCD_Manager& manager);
    // After OnEnter (or the re-entry key) on every activation: the item's
    // refresh period becomes the manager's, and Right is no navigation key.
    virtual void OnActivated(CLCD_Manager& manager);
    // Being left for `next_id`: the manager's refresh period goes to 0.
    virtual void OnLeave(CLCD_Manager& manager, int32_t next_id);
    // -> true when handled; false lets the manager apply its own handling
    // (Escape back to the parent).
    virtual bool OnKey(CLCD_Manager& manager, uint16_t* key) = 0;
    virtual void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) = 0;
    // Default: the user holds every bit of the rights mask.
    virtual bool HasRights(CLCD_Manager& manager);
    // A peripheral event forwarded by the manager (letter 127).
    virtual void OnEvent(CLCD_Manager& manager, const letter_s& letter);
    // A short current value on the row where a parent container lists this
    // item (justify 4, right).
    virtual void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify);

    // Hooks of the menu table. A container takes a child (its parent becomes
    // the container); other items refuse.
    virtual bool AddChild(CMenuItem* child);
    // Called once after creation with the item's table row (title, rights,
    // refresh period already applied): a screen reads its row's extra data
    // (a container its footer) here.
    virtual void Configure(const menu_row& row);

    int32_t Id() const { return id_; }
    const menu_text& TitleText() const { return title_; }
    const char* Title(bool french) const { return title_.Of(french); }
    void SetTitle(menu_text title) { title_ = title; }
    uint32_t RightsMask() const { return rights_; }
    void SetRightsMask(uint32_t rights) { rights_ = rights; }
    CMenuItem* Parent() const { return parent_; }
    void SetParent(CMenuItem* parent) { parent_ = parent; }
    uint8_t RefreshPeriod() const { return refresh_period_; }
    void SetRefreshPeriod(uint8_t period) { refresh_period_ = period; }

  protected:
    int32_t id_;
    menu_text title_;
    uint32_t rights_;
    CMenuItem* parent_ = nullptr;
    uint8_t refresh_period_ = 0;
};

// --- the factory -----------------------------------------------------------------------

using menu_create_fn = CMenuItem* (*)(int32_t id, const menu_row& row);

// A screen class made creatable under a factory type.
struct menu_factory_record {
    uint32_t type;
    menu_create_fn create;
};

// The creator of the common case: a class whose constructor takes the menu id.
template <class T> CMenuItem* menu_create(int32_t id, const menu_row&) {
    return new T(id);
}

// The factory types of the menu table: one per screen class.
enum menu_type : uint32_t {
    TYPE_SPLASH = 0,
    TYPE_LOGIN = 1,
    TYPE_MAIN_MENU = 2,
    TYPE_CURRENT_DISPLAY = 3,
    TYPE_CURRENT_MULTI_STRING = 4,
    TYPE_MESSAGE_CONTROL = 5,
    TYPE_MESSAGE_LIST = 7,
    TYPE_RUN_OPTIONS = 8,
    TYPE_RUN_DURATION = 9,
    TYPE_MESSAGE_DELETE_CONFIRM = 10,
    TYPE_MESSAGE_BLANK = 11,
    TYPE_MESSAGE_EDITOR = 12,
    TYPE_MESSAGE_PREVIEW = 13,
    TYPE_MESSAGE_SAVE = 14,
    TYPE_MESSAGE_SAVE_AS = 15,
    TYPE_MESSAGE_SLOT_USED = 16,
    TYPE_SCHEDULE_START = 18,
    TYPE_SCHEDULE_STOP = 19,
    TYPE_TEST_PATTERN = 24,
    TYPE_VERSION_INFO = 25,
    TYPE_STATUS_INFO = 26,
    TYPE_PIXEL_TEST_ACTIVATION = 27,
    TYPE_PIXEL_TEST_RESULTS = 28,
    TYPE_PIXEL_TEST_BITMAP = 29,
    TYPE_PIXEL_TEST_LIST = 30,
    TYPE_PIXEL_TEST_CLEAR = 31,
    TYPE_TEST_FANS_HEATERS = 32,
    TYPE_AUX_IO_CONTROL = 33,
    TYPE_BRIGHTNESS_CONTROL = 35,
    TYPE_MODULE_TYPE = 36,
    TYPE_MATRIX_TYPE = 37,
    TYPE_SIGN_WIDTH = 39,
    TYPE_SIGN_HEIGHT = 40,
    TYPE_DATE_TIME_WIZARD = 41,
    TYPE_SIGN_ADDRESS = 42,
    TYPE_SIGN_ACCESS = 43,
    TYPE_SPECIAL_FEATURE_CONFIG = 51,
    TYPE_BITS_PER_COLOUR = 52,
    TYPE_FRAMES_PER_SECOND = 53,
    TYPE_PIXELS_PER_CAN_LINE = 54,
    TYPE_TRAP_CONFIG = 56,
    TYPE_CRITICAL_TEMPERATURE = 57,
    TYPE_FAILED_PIXEL_THRESHOLD = 58,
    TYPE_LEGIBILITY_THRESHOLD = 59,
    TYPE_CONTROLLER_SERIAL = 60,
    TYPE_SIGN_SERIAL = 61,
    TYPE_MASTER_BRIGHTNESS = 64,
    TYPE_LINE_LENGTH = 66,
    TYPE_RDI_OPTIONS = 67,
    TYPE_RDI_SETTINGS = 68,
    TYPE_PORT_BAUD = 69,
    TYPE_PORT_PROTOCOL = 70,
    TYPE_PORT_HANDSHAKING = 71,
    TYPE_PORT_TRAPS = 72,
    TYPE_PORT_TIMEOUT = 73,
    TYPE_PORT_STATUS = 74,
    TYPE_ETHERNET_OPTIONS = 75,
    TYPE_ETHERNET_MODE = 76,
    TYPE_CONTROLLER_IP = 77,
    TYPE_CONTROLLER_PORT = 78,
    TYPE_CONTROLLER_SUBNET = 79,
    TYPE_CONTROLLER_GATEWAY = 80,
    TYPE_CENTRAL_IP = 83,
    TYPE_CENTRAL_PORT = 84,
    TYPE_ADD_LIGHT = 85,
    TYPE_ADD_TEMPERATURE = 86,
    TYPE_ADD_FANS = 87,
    TYPE_ADD_FAN_AIRFLOW = 88,
    TYPE_ADD_FAN_RPM = 89,
    TYPE_ADD_FAN_STATUS = 92,
    TYPE_ADD_HEATERS = 93,
    TYPE_ADD_HEATER_STATUS = 94,
    TYPE_ADD_DCIO = 95,
    TYPE_ADD_DOOR_SENSOR = 96,
    TYPE_ADD_POWER_SUPPLY = 97,
    TYPE_ADD_BEACON = 98,
    TYPE_ADD_OVERHEIGHT = 100,
    TYPE_ADD_SWITCH = 101,
    TYPE_ADD_SWITCH_INDICATOR = 102,
    TYPE_ADD_HUMIDITY = 104,
    TYPE_ADD_PTB = 105,
    TYPE_ADD_GPO = 106,
    TYPE_ADD_MISC_IO = 108,
    TYPE_ADD_ACIO = 115,
    TYPE_ADD_AUX_IO = 116,
    TYPE_PERIPHERAL_VIEW = 117,
    TYPE_PERIPHERAL_ERRORS = 118,
    TYPE_PERIPHERAL_DELETE = 119,
    TYPE_PERIPHERAL_DELETE_ALL = 120,
    TYPE_PERIPHERAL_AUTO_DETECT = 122,
    TYPE_RESET = 123,
    TYPE_OTHER_ERROR_STATUS = 125,
    TYPE_COMM_ERROR_STATUS = 126,
    TYPE_POWER_ERROR_STATUS = 127,
    TYPE_ATTACHED_DEVICE_ERROR_STATUS = 128,
    TYPE_PHOTOCELL_ERROR_STATUS = 129,
    TYPE_MESSAGE_ERROR_STATUS = 130,
    TYPE_CONTROLLER_ERROR_STATUS = 131,
    TYPE_TEMPERATURE_ERROR_STATUS = 132,
    TYPE_CLIMATE_ERROR_STATUS = 133,
    TYPE_DOOR_OPEN_STATUS = 134,
    TYPE_HUMIDITY_WARNING_STATUS = 135,
    TYPE_PASSWORD = 136,
    TYPE_INSUFFICIENT_RIGHTS = 138,
    TYPE_CONTAINER = 140,
    TYPE_BEACON_TYPE = 144,
    TYPE_TELNET_ENABLE = 145,
    TYPE_WEB_LCD_ENABLE = 146,
    TYPE_ICMP_ENABLE = 147,
    TYPE_MODEM_ACTIVATION_ENABLE = 148,
    TYPE_MODEM_ACTIVATION = 149,
    TYPE_MODEM_ACTIVATION_VERIZON = 150,
    TYPE_MODEM_ACTIVATION_ATT = 151,
    TYPE_MODEM_ACTIVATION_SPRINT = 152,
    TYPE_NTP_ENABLE = 153,
    TYPE_NTP_ADDRESS = 154,
    TYPE_NTP_POLL_TIME = 155,
    TYPE_DEFAULT_FONT = 156,
    TYPE_NO_FREE_SLOT = 192,
};

// The records of one screen family (one source file of screens), for
// example in frontpanel/screens/entry_screens.cpp:
//   const menu_factory_record ENTRY_SCREEN_RECORDS[] = {
//       {TYPE_SPLASH, menu_create<CLCD_SplashScreen>}, ...};
//   extern const menu_family ENTRY_SCREENS = menu_family_of(ENTRY_SCREEN_RECORDS);
// and one line naming it in frontpanel/screen_families.cpp.
struct menu_family {
    const menu_factory_record* records;
    size_t count;
};
template <size_t N> constexpr menu_family menu_family_of(const menu_factory_record (&records)[N]) {
    return {records, N};
}

// Every screen family of the panel (frontpanel/screen_families.cpp), in
// registration order.
extern const menu_family* const SCREEN_FAMILIES[];
extern const size_t SCREEN_FAMILY_COUNT;

// The registry of factory records: at most 155 records, in registration
// order. The manager embeds one as a base, holding its own type.
class class_factory {
  public:
    static constexpr size_t CAPACITY = 155;

    explicit class_factory(uint32_t type = 0) : type_(type) {}
    // Adds a record: a type already registered logs
    // "class_factory::Register: error duplicate type:%d" once per earlier
    // record and is added all the same; beyond 155 records it is dropped
    // silently. -> the record's type.
    static uint32_t Register(const menu_factory_record* record);
    // Registers every record of every screen family once (later calls do
    // nothing).
    static void RegisterFamilies();
    // -> the item built by the first record of that type, or null.
    static CMenuItem* Create(uint32_t type, int32_t id, const menu_row& row);
    static size_t Count();
    // Empties the registry (tests).
    static void Reset();

    uint32_t FactoryType() const { return type_; }

  private:
    uint32_t type_;
};

// --- the menu table --------------------------------------------------------------------

const size_t MENU_MAX_LISTED = 14; // children of one row (IP settings has 14)

struct menu_row {
    int32_t id;
    uint32_t type;
    menu_text title;
    uint32_t rights;
    int32_t parent;                    // fixed parent (0: none, or set by the listing container)
    uint8_t refresh_period;            // 0: the screen's own
    menu_text footer;                  // a container's row-8 footer ({nullptr, nullptr}: none)
    int16_t children[MENU_MAX_LISTED]; // ids listed by a container, 0 ends the list
};

extern const menu_row MENU_TABLE[];
extern const size_t MENU_TABLE_COUNT; // 141

// The table's row of a menu id, or null.
const menu_row* menu_table_row(int32_t id);

// Builds every row of the table into the manager's menus, in table order: a
// type with no creator (or a creator that fails) logs
// "build_menus failed to build type:%d, id:%d!" and is skipped; a full
// manager logs "build_menus failed: insufficient storage" and stops.
void build_menus(CLCD_Manager& manager, const menu_row* table, size_t count);
// Wires the built menus: the start menu (1), fixed parents, the containers'
// children in table order (the last container that lists a child becomes its
// parent). -> 0, or 1 when a menu the table names is missing (the rest is
// wired all the same).
int common_menu_init(CLCD_Manager& manager, const menu_row* table, size_t count);
