// The error status screens (see errors.h).
#include "frontpanel/screens/errors.h"

#include "comm/comm_task.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "ntcip/clock/calendar.h"
#include "peripherals/peripheral_task.h"
#include "runtime/peripheral.h"
#include "store/database.h"
#include "store/short_error_status.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

const size_t LINE_BYTES = 128;
const size_t TEXT_BYTES = 64;
const size_t MAP_BYTES = 64; // 512 rows, more than any status table has
const uint8_t MORE_ROW = 8;
const uint8_t LAST_LIST_ROW = 7;

// The bits of shortErrorStatus the store's list does not name.
const uint16_t OTHER_ERROR_BIT = 0x0001;
const uint16_t POWER_ERROR_BIT = 0x0004;
const uint16_t CONTROLLER_ERROR_BIT = 0x0100;
const uint16_t DOOR_OPEN_BIT = 0x2000;

// --- reading the store ------------------------------------------------------------------------

class failure_map {
  public:
    explicit failure_map(const DbObject& map) {
        length_ = std::min<uint32_t>(db_get_string_copy(map, bytes_, sizeof bytes_), MAP_BYTES);
    }
    bool Failed(uint32_t row) const {
        return row / 8 < length_ && (bytes_[row / 8] & (1u << (row % 8))) != 0;
    }

  private:
    uint8_t bytes_[MAP_BYTES] = {};
    uint32_t length_ = 0;
};

void read_text(const DbObject& object, char (&text)[TEXT_BYTES]) {
    const uint32_t length = db_get_string_copy(object, text, sizeof text - 1);
    text[std::min<uint32_t>(length, sizeof text - 1)] = 0;
}

// A stored count never walks past the rows its table has.
uint32_t clamped_count(const DbObject& count, const DbObject& column) {
    return std::min<uint32_t>(db_get(count), column.rows);
}

int8_t signed_byte(const DbObject& object) {
    return int8_t(uint8_t(db_get(object)));
}

// --- the list walkers -----------------------------------------------------------------------

void walk_nothing(const error_screen_row&, error_page&) {}

void walk_table(const error_screen_row& row, error_page& page) {
    const error_table& table = *row.table;
    const failure_map failed(table.map);
    const uint32_t count = clamped_count(table.count, table.description);
    for (uint32_t i = 0; i < count; ++i) {
        if (!failed.Failed(i)) continue;
        char description[TEXT_BYTES] = {}, detail[TEXT_BYTES] = {};
        read_text(table.description.row(i), description);
        if (table.detail && i < table.detail->rows)
            read_text(table.detail->row(i), detail);
        else
            std::snprintf(detail, sizeof detail, "%s", table.fixed_detail.Of(page.French()));
        char line[LINE_BYTES] = {};
        std::snprintf(line, sizeof line, row.line.Of(page.French()), description, detail);
        page.Add(line);
    }
}

// Sensors past their limits, listed while a shutdown temperature is set.
void walk_temperatures(const error_screen_row&, error_page& page) {
    const int32_t shutdown = signed_byte(obj::halvShutOffTemp);
    char line[LINE_BYTES] = {};
    if (shutdown == 0) {
        std::snprintf(line, sizeof line, "SHUTDOWN TEMP SET AT %dC", 0);
        page.Add(line);
        return;
    }
    const failure_map critical(obj::tempSensorCriticalMap), warning(obj::tempSensorWarningMap);
    const uint32_t count = clamped_count(obj::tempSensorRowCount, obj::tempSensorDescription);
    for (uint32_t i = 0; i < count; ++i) {
        if (!critical.Failed(i) && !warning.Failed(i)) continue;
        if (signed_byte(obj::tempSensorHighCritical.row(i)) < shutdown) continue;
        char description[TEXT_BYTES] = {};
        read_text(obj::tempSensorDescription.row(i), description);
        std::snprintf(line, sizeof line, "%s - %s AT %dC", description,
                      critical.Failed(i) ? "CRITICAL" : "WARNING",
                      int(signed_byte(obj::tempSensorCurrent.row(i))));
        page.Add(line);
    }
}

void walk_doors(const error_screen_row&, error_page& page) {
    if ((db_get(obj::shortErrorStatus) & DOOR_OPEN_BIT) == 0) return;
    const uint32_t open = db_get(obj::dmsStatDoorOpen);
    char line[LINE_BYTES] = {};
    for (int door = 0; door < 8; ++door) {
        if ((open & (1u << door)) == 0) continue;
        std::snprintf(line, sizeof line, "DOOR %d OPEN", door + 1);
        page.Add(line);
    }
}

// The devices whose loss of contact sets the attached-device bit: one by id,
// then class by class.
const uint16_t FIRST_DEVICE_ID = 610;
const uint8_t DEVICE_CLASSES[] = {42, 3, 20, 10, 8, 29, 33, 39, 38};

void add_device(error_page& page, const CPeripheral& device, const char* format) {
    const char* name = periph_id_to_name(device.Id());
    char named[TEXT_BYTES] = {};
    if (name)
        std::snprintf(named, sizeof named, "%s", name);
    else
        std::snprintf(named, sizeof named, "%u", unsigned(device.Id()));
    char line[LINE_BYTES] = {};
    std::snprintf(line, sizeof line, format, named);
    page.Add(line);
}

void walk_devices(const error_screen_row&, error_page& page) {
    pl_mediator& registry = ThePeripheralTask().Registry();
    CPeripheral* device = nullptr;
    if (registry.Find(FIRST_DEVICE_ID, &device) && device->State() == CPeripheral::STATE_COMM_ERROR)
        add_device(page, *device, "%s COMM ERR");
    for (uint8_t class_code : DEVICE_CLASSES) {
        unsigned cursor = 0;
        for (bool more = registry.First(class_code, &cursor, &device); more;
             more = registry.Next(class_code, &cursor, &device))
            if (device->Id() != FIRST_DEVICE_ID && device->State() == CPeripheral::STATE_COMM_ERROR)
                add_device(page, *device, "%s COMM ERRORS");
    }
}

// One line for each error bit of the controller, in bit order.
const menu_text CONTROLLER_ERRORS[] = {
    {"OTHER ERROR", "OTHER ERROR"},
    {"PROM ERROR", "ERREUR PROM"},
    {"PROGRAM ERROR", "ERREUR DE PROGRAMME"},
    {"RAM ERROR", "ERREUR RAM"},
    {"DISPLAY INTERFACE ERROR", "ERREUR D'INTERFACE D'AFFICHAGE"},
};

void walk_controller_errors(const error_screen_row&, error_page& page) {
    const uint32_t errors = db_get(obj::controllerErrorStatus);
    for (size_t bit = 0; bit < std::size(CONTROLLER_ERRORS); ++bit)
        if (errors & (1u << bit)) page.Add(CONTROLLER_ERRORS[bit].Of(page.French()));
}

// --- the text screens -------------------------------------------------------------------------

// dmsActivateMsgError 1-11; any other value has no text.
const menu_text MESSAGE_ERRORS[] = {
    {"OTHER ERROR", "AUTRE ERREUR"},
    {"NO ERROR", "AUCUNE ERREUR"},
    {"MESSAGE PRIORITY ERROR", "ERREUR DE PRIORITE DE MESSAGE"},
    {"MESSAGE STATUS ERROR", "ERREUR DE STATUT DE MESSAGE"},
    {"MEMORY TYPE ERROR", "ERREUR DE TYPE DE MESSAGE"},
    {"MESSAGE NUMBER ERROR", "ERREUR DU NUMERO DE MESSAGE"},
    {"MESSAGE CRC ERROR", "ERREUR DU CRC DU MESSAGE"},
    {"SYNTAX MULTI ERROR", "ERREUR DE SYNTAXE MULTI"},
    {"LOCAL MODE", "MODE LOCAL"},
    {"CENTRAL MODE", "MODE CENTRAL"},
    {"CENTRAL OVERRIDE MODE", "INTERRUPTION DU CENTRAL"},
};
const uint8_t MESSAGE_ERROR_ROW = 3;

void draw_message_error(const error_screen_row&, error_page& page) {
    const uint32_t error = db_get(obj::dmsActivateMsgError);
    if (error < 1 || error > std::size(MESSAGE_ERRORS)) return;
    page.Lcd().PrintAt(MESSAGE_ERROR_ROW, 1, LCD_LEFT, "%s",
                       MESSAGE_ERRORS[error - 1].Of(page.French()));
}

void draw_comm_error(const error_screen_row&, error_page& page) {
    const bool french = page.French();
    CLCD& lcd = page.Lcd();
    lcd.Print(3, LCD_CENTRE, "%s",
              french ? "PERTE DE COMMUNICATION AVEC CENTRAL..." : "COMM LOST WITH CENTRAL...");
    lcd.Print(5, LCD_CENTRE, "%s",
              french ? "DERNIERE CONNECTION A:" : "LAST CONNECTION OCCURRED AT:");
    struct tm at = {};
    seconds_to_tm(the_comm_task().LastCommTimestamp(), &at);
    lcd.Print(6, LCD_CENTRE, "%02d/%02d/%04d @ %02d:%02d:%02d (GMT)", at.tm_mon + 1, at.tm_mday,
              at.tm_year + 1900, at.tm_hour, at.tm_min, at.tm_sec);
}

// --- the tables ----------------------------------------------------------------------------------

const error_table POWER_TABLE = {obj::dmsPowerFailureStatusMap,
                                 obj::dmsPowerNumRows,
                                 obj::dmsPowerDescription,
                                 &obj::dmsPowerMfrStatus,
                                 {nullptr, nullptr}};
const error_table PHOTOCELL_TABLE = {obj::photocellFailureMap,
                                     obj::photocellRowCount,
                                     obj::photocellDescription,
                                     nullptr,
                                     {"COMM ERROR", "ERREUR DE COMMUNICATION"}};
const error_table HUMIDITY_TABLE = {obj::humiditySensorFailureMap,
                                    obj::humiditySensorRowCount,
                                    obj::humiditySensorDescription,
                                    nullptr,
                                    {"", ""}};
const error_table CLIMATE_TABLE = {obj::climateCtrlErrorMap,
                                   obj::climateCtrlRowCount,
                                   obj::climateCtrlDescription,
                                   nullptr,
                                   {"", ""}};

const char* const NUMBERED = "%d) ";
const menu_text NOTHING = {nullptr, nullptr};

} // namespace

// clang-format off
const error_screen_row ERROR_SCREENS[11] = {
    {TYPE_OTHER_ERROR_STATUS, OTHER_ERROR_BIT, walk_nothing, nullptr, nullptr, NOTHING,
     {"NO EXTENDED STATUS", "AUCUNE INFORMATION ETENDUE"}, 2},
    {TYPE_COMM_ERROR_STATUS, SHORT_ERROR_COMMUNICATIONS, draw_comm_error, nullptr, nullptr, NOTHING,
     NOTHING, 0},
    {TYPE_POWER_ERROR_STATUS, POWER_ERROR_BIT, walk_table, &POWER_TABLE, NUMBERED,
     {"%s - %s", "%s - %s"}, {"ALL POWER SUPPLIES PASSED", "ALL POWER SUPPLIES PASSED"}, 2},
    {TYPE_ATTACHED_DEVICE_ERROR_STATUS, SHORT_ERROR_PERIPHERAL_COMM, walk_devices, nullptr, nullptr,
     NOTHING, {"NO ATTACHED DEVICE ERRORS", "NO ATTACHED DEVICE ERRORS"}, 2},
    {TYPE_PHOTOCELL_ERROR_STATUS, SHORT_ERROR_PHOTOCELL, walk_table, &PHOTOCELL_TABLE, NUMBERED,
     {"%s -- %s", "%s -- %s"}, {"NO PHOTOCELL ERRORS", "AUCUNE ERREUR DE CELLULE PHOTOELECTRIQUE"}, 2},
    {TYPE_MESSAGE_ERROR_STATUS, SHORT_ERROR_MESSAGE, draw_message_error, nullptr, nullptr, NOTHING,
     NOTHING, 0},
    {TYPE_CONTROLLER_ERROR_STATUS, CONTROLLER_ERROR_BIT, walk_controller_errors, nullptr, nullptr,
     NOTHING, NOTHING, 0},
    {TYPE_TEMPERATURE_ERROR_STATUS,
     SHORT_ERROR_TEMPERATURE_WARNING | SHORT_ERROR_CRITICAL_TEMPERATURE, walk_temperatures, nullptr,
     NUMBERED, NOTHING, NOTHING, 0},
    {TYPE_CLIMATE_ERROR_STATUS, SHORT_ERROR_CLIMATE, walk_table, &CLIMATE_TABLE, nullptr,
     {"%s FAILURE", "%s FAILURE"},
     {"  NO CLIMATE CONTROL WARNINGS", "  NO CLIMATE CONTROL WARNINGS"}, 3},
    {TYPE_DOOR_OPEN_STATUS, DOOR_OPEN_BIT, walk_doors, nullptr, nullptr, NOTHING,
     {"NO DOORS OPEN", "AUCUNE PORTE OUVERTE"}, 2},
    {TYPE_HUMIDITY_WARNING_STATUS, SHORT_ERROR_HUMIDITY, walk_table, &HUMIDITY_TABLE, " %d) ",
     {"%s   SENSOR FAILURE", "DEFAILLANCE DU CAPTEUR %s"},
     {"  NO HUMIDITY WARNINGS", "  AUCUN AVERTISSEMENT D'HUMIDITE"}, 2},
};
// clang-format on

const error_screen_row* error_screen_of_type(uint32_t type) {
    for (const error_screen_row& row : ERROR_SCREENS)
        if (row.type == type) return &row;
    return nullptr;
}

// --- the page ------------------------------------------------------------------------------------

void error_page::Add(const char* text) {
    const uint32_t position = positions_++;
    if (position / ROWS != uint32_t(page_ - 1)) return;
    ++items_;
    char number[8] = {};
    if (row_.numbering) std::snprintf(number, sizeof number, row_.numbering, int(items_));
    lcd_.PrintAt(uint8_t(FIRST_ROW + position % ROWS), 1, LCD_LEFT, "%s%s", number, text);
}

// --- the screen ----------------------------------------------------------------------------------

CLCD_ErrorStatus::CLCD_ErrorStatus(int32_t id, const error_screen_row& row)
    : CMenuItem(id), row_(row) {}

bool CLCD_ErrorStatus::HasRights(CLCD_Manager&) {
    return (db_get(obj::shortErrorStatus) & row_.bits) != 0;
}

void CLCD_ErrorStatus::OnEnter(CLCD_Manager&) {
    page_ = 1;
    item_count_ = 0;
    detail_mode_ = 0;
    page_count_ = 1;
}

void CLCD_ErrorStatus::DrawStatus(CLCD_Manager& manager, CLCD& lcd) {
    for (uint8_t r = error_page::FIRST_ROW; r <= LAST_LIST_ROW; ++r)
        lcd.ClearLine(r);
    const bool french = manager.French();
    error_page page(lcd, row_, page_, french);
    row_.draw(row_, page);
    item_count_ = page.Items();
    if (page.Positions() == 0 && row_.empty.english)
        lcd.PrintAt(row_.empty_row, 1, LCD_LEFT, "%s", row_.empty.Of(french));
    const uint32_t pages =
        page.Positions() == 0 ? 1 : (page.Positions() - 1) / error_page::ROWS + 1;
    page_count_ = uint8_t(std::min<uint32_t>(pages, 255));
    lcd.Print(MORE_ROW, LCD_CENTRE, "%s", page_ < page_count_ ? "(MORE)" : "      ");
    if (page_ > page_count_) {
        // The list shrank under the page shown.
        page_ = page_count_;
        manager.RequestRedraw(DRAW_PARTIAL);
    }
}

void CLCD_ErrorStatus::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    DrawStatus(manager, lcd);
}

bool CLCD_ErrorStatus::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    const uint16_t code = key_event_code(*key);
    if (code >= '1' && code <= '6') {
        if (detail_mode_ == 0 && uint8_t(code - '0') <= item_count_) detail_mode_ = 1;
        return false;
    }
    switch (code) {
    case KEY_PAGE_UP:
    case KEY_UP:
        if (detail_mode_ == 0 && page_ > 1) {
            --page_;
            manager.RequestRedraw(DRAW_PARTIAL);
        }
        return false;
    case KEY_PAGE_DOWN:
    case KEY_DOWN:
        if (detail_mode_ == 0 && page_ < page_count_) {
            ++page_;
            manager.RequestRedraw(DRAW_PARTIAL);
        }
        return false;
    case KEY_LEFT:
        if (detail_mode_ == 0) return true;
        detail_mode_ = 0;
        return false;
    default:
        return false;
    }
}

namespace {

CMenuItem* create_error_screen(int32_t id, const menu_row& row) {
    const error_screen_row* screen = error_screen_of_type(row.type);
    return screen ? new CLCD_ErrorStatus(id, *screen) : nullptr;
}

const menu_factory_record ERROR_STATUS_RECORDS[] = {
    {TYPE_OTHER_ERROR_STATUS, create_error_screen},
    {TYPE_COMM_ERROR_STATUS, create_error_screen},
    {TYPE_POWER_ERROR_STATUS, create_error_screen},
    {TYPE_ATTACHED_DEVICE_ERROR_STATUS, create_error_screen},
    {TYPE_PHOTOCELL_ERROR_STATUS, create_error_screen},
    {TYPE_MESSAGE_ERROR_STATUS, create_error_screen},
    {TYPE_CONTROLLER_ERROR_STATUS, create_error_screen},
    {TYPE_TEMPERATURE_ERROR_STATUS, create_error_screen},
    {TYPE_CLIMATE_ERROR_STATUS, create_error_screen},
    {TYPE_DOOR_OPEN_STATUS, create_error_screen},
    {TYPE_HUMIDITY_WARNING_STATUS, create_error_screen},
};

} // namespace

extern const menu_family ERROR_STATUS_SCREENS = menu_family_of(ERROR_STATUS_RECORDS);
