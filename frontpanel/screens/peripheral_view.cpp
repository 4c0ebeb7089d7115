// The peripheral view: see peripheral_view.h.
#include "frontpanel/screens/peripheral_view.h"

#include "display/module_types.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/services.h"
#include "peripherals/io/climate_point.h"
#include "peripherals/io/dcio.h"
#include "peripherals/io/door_sensor.h"
#include "peripherals/io/io_based_peripheral.h"
#include "peripherals/io/overheight_detector.h"
#include "peripherals/modem.h"
#include "peripherals/peripheral_ids.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/power/power_supply.h"
#include "peripherals/sensors/humidity.h"
#include "peripherals/sensors/light.h"
#include "peripherals/sensors/temperature.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

const uint8_t FIRST_ROW = 2;
const uint8_t LAST_LIST_ROW = 7;
const uint8_t READING_COLUMN = 27;
const uint8_t NOTICE_ROW = 8;
const uint8_t MODULE_FLAG_OUTPUTS_INVERTED = 0x01;
const uint8_t SWITCH_5_INPUT = 240; // DC I/O port 3 set as inputs

const menu_text MORE = {"(MORE)", "(SUITE)"};
const menu_text NONE = {"1) NONE", "1) NONE"};
const menu_text MORE_NOT_SHOWN = {"MORE NOT SHOWN", "MORE NOT SHOWN"};
const menu_text GONE = {"PERIPHERAL NO LONGER PRESENT", "PERIPHERIQUE ABSENT"};
const menu_text ADDRESS = {"ADDR", "ADR"};
const menu_text OPEN = {"    OPEN", " OUVERTE"};
const menu_text CLOSED = {"  CLOSED", "  FERMEE"};
const menu_text NO_EXTENDED_INFO = {"NO EXTENDED INFO", "AUCUNE INFORMATION ETENDUE"};
const menu_text SWITCH_5_ON = {"SWITCH 5 ON (TB5 AND TB8 INPUT)",
                               "SWITCH 5 ON (TB5 AND TB8 INPUT)"};
const menu_text SWITCH_5_OFF = {"SWITCH 5 OFF (TB5 AND TB8 OUTPUT)",
                                "SWITCH 5 OFF (TB5 AND TB8 OUTPUT)"};

// Where a board sits, by its CAN bus name.
struct location_row {
    const char* bus_name;
    menu_text line;
};
const location_row LOCATIONS[] = {
    {"CAN J6 Driver", {" ON J6 LOCAL SENSOR CAN NETWORK", " RESEAU CAN SUR LE J6"}},
    {"CAN Control Panel Driver",
     {" ON VMS CONTROL PANEL CAN NETWORK", " RESEAU CAN SUR LE PANNEAU AUXILIAIRE"}},
};

// --- readings --------------------------------------------------------------------------

template <class T> T* as(CPeripheral& p) {
    return dynamic_cast<T*>(&p);
}

const char* on_off(bool on) {
    return on ? "ON" : "OFF";
}

void put(char* text, size_t size, const char* value) {
    std::snprintf(text, size, "%s", value);
}

void read_status_text(CPeripheral& p, bool, char* text, size_t size) {
    std::snprintf(text, size, "%.8s", p.StatusText() ? p.StatusText() : "");
}

void read_door(CPeripheral& p, bool french, char* text, size_t size) {
    CDoorSensor* door = as<CDoorSensor>(p);
    bool open = door && door->DoorState() == CDoorSensor::DOOR_OPEN;
    put(text, size, (open ? OPEN : CLOSED).Of(french));
}

// A fan or heater output; some module types report these outputs inverted.
void read_climate_output(CPeripheral& p, bool, char* text, size_t size) {
    CClimatePoint* point = as<CClimatePoint>(p);
    bool on = point && point->IsOn();
    if (find_module_type(db_get(obj::halvModuleID)).FlagsByte() & MODULE_FLAG_OUTPUTS_INVERTED)
        on = !on;
    put(text, size, on_off(on));
}

// A status contact reads on (1) while it is open: the device is not running.
void read_climate_status(CPeripheral& p, bool, char* text, size_t size) {
    CClimatePoint* point = as<CClimatePoint>(p);
    put(text, size, on_off(!(point && point->IsOn())));
}

void read_humidity(CPeripheral& p, bool, char* text, size_t size) {
    CHumidity* sensor = as<CHumidity>(p);
    std::snprintf(text, size, "%5d%%RH", sensor ? int(sensor->Humidity()) : 0);
}

void read_light(CPeripheral& p, bool, char* text, size_t size) {
    CLight* sensor = as<CLight>(p);
    std::snprintf(text, size, "%8d", sensor ? int(sensor->GetLevel()) : 0);
}

void read_temperature(CPeripheral& p, bool, char* text, size_t size) {
    CTemperature* sensor = as<CTemperature>(p);
    int celsius = sensor ? int(sensor->Temperature()) : 0;
    std::snprintf(text, size, "%3dC/%3dF", celsius, celsius * 9 / 5 + 32);
}

void read_modem(CPeripheral& p, bool, char* text, size_t size) {
    CModem* modem = as<CModem>(p);
    put(text, size, modem && modem->GetDriverState() ? "OK" : " CENTRAL");
}

void read_overheight(CPeripheral& p, bool, char* text, size_t size) {
    COverheightDetector* detector = as<COverheightDetector>(p);
    put(text, size,
        on_off(detector && detector->DetectorState() == COverheightDetector::DETECTOR_TRIPPED));
}

void read_power_supply(CPeripheral& p, bool, char* text, size_t size) {
    CPowerSupply* supply = as<CPowerSupply>(p);
    bool failed = supply && supply->Condition() == CPowerSupply::CONDITION_FAIL;
    put(text, size, failed ? "FAIL" : "PASS");
}

// The I/O-based devices: the reading by id.
using io_reading_fn = void (*)(CIO_BasedPeripheral& p, char* text, size_t size);
struct io_reading_row {
    uint16_t first, last;
    io_reading_fn reading;
};

void io_pass_fail(CIO_BasedPeripheral& p, char* text, size_t size) {
    put(text, size, p.KindState() == 1 ? "FAIL" : "PASS");
}
void io_message(CIO_BasedPeripheral& p, char* text, size_t size) {
    std::snprintf(text, size, "%4d MSG", int(p.MessageNumber()));
}
void io_blank_switch(CIO_BasedPeripheral& p, char* text, size_t size) {
    put(text, size, on_off(p.KindState() == 3));
}
void io_blank_indicator(CIO_BasedPeripheral& p, char* text, size_t size) {
    put(text, size, on_off(p.KindState() == 2));
}
void io_lamps(CIO_BasedPeripheral& p, char* text, size_t size) {
    put(text, size, p.KindState() == 1 ? "FAULT ON" : "OK ON");
}
void io_power_sense(CIO_BasedPeripheral& p, char* text, size_t size) {
    put(text, size, on_off(p.KindState() != 2));
}

const io_reading_row IO_READINGS[] = {
    {75, 80, io_pass_fail},         {710, 719, io_pass_fail}, {850, 863, io_pass_fail},
    {580, 580, io_message},         {671, 671, io_message},   {640, 640, io_blank_switch},
    {641, 641, io_blank_indicator}, {670, 670, io_lamps},     {720, 720, io_power_sense},
    {749, 749, io_power_sense},
};

void read_io_based(CPeripheral& p, bool, char* text, size_t size) {
    put(text, size, "OK");
    CIO_BasedPeripheral* device = as<CIO_BasedPeripheral>(p);
    if (device == nullptr) return;
    for (const io_reading_row& row : IO_READINGS)
        if (p.Id() >= row.first && p.Id() <= row.last) return row.reading(*device, text, size);
}

// --- the class table -------------------------------------------------------------------

using reading_fn = void (*)(CPeripheral& p, bool french, char* text, size_t size);

enum detail_kind : uint8_t {
    DETAIL_NONE = 0,     // "NO EXTENDED INFO"
    DETAIL_LOCATION = 1, // the CAN network it sits on
    DETAIL_DCIO = 2,     // the network and the direction of switch 5's ports
};

struct view_class_row {
    uint8_t class_code;
    reading_fn reading; // null: "OK"
    detail_kind detail;
    bool addressed; // the list shows the low nibble of its CAN id
};

const view_class_row VIEW_CLASSES[] = {
    {PERIPHERAL_CLASS_BEACON, read_status_text, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_BEACON_IO, read_status_text, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_DCIO, nullptr, DETAIL_DCIO, false},
    {PERIPHERAL_CLASS_DOOR, read_door, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_FAN_CONTROL, read_climate_output, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_HEATER_CONTROL, read_climate_output, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_FAN_STATUS, read_climate_status, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_HEATER_STATUS, read_climate_status, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_HUMIDITY, read_humidity, DETAIL_LOCATION, true},
    {PERIPHERAL_CLASS_IO_BASED, read_io_based, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_LIGHT, read_light, DETAIL_LOCATION, true},
    {PERIPHERAL_CLASS_MINI_DCIO, nullptr, DETAIL_LOCATION, false},
    {PERIPHERAL_CLASS_MODEM, read_modem, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_OVERHEIGHT, read_overheight, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_POWER_SUPPLY, read_power_supply, DETAIL_NONE, false},
    {PERIPHERAL_CLASS_TEMPERATURE, read_temperature, DETAIL_LOCATION, true},
};

const view_class_row* class_row(uint8_t class_code) {
    for (const view_class_row& row : VIEW_CLASSES)
        if (row.class_code == class_code) return &row;
    return nullptr;
}

const char* location_line(const CPeripheral& p, bool french) {
    const char* bus = p.CanBusName();
    for (const location_row& row : LOCATIONS)
        if (bus && std::strcmp(bus, row.bus_name) == 0) return row.line.Of(french);
    return nullptr;
}

CPeripheral* live(uint16_t id) {
    return ThePeripheralTask().GetPeripheral(id);
}

} // namespace

void peripheral_view_reading(CPeripheral& peripheral, bool french, char* text, size_t size) {
    const view_class_row* row = class_row(peripheral.ClassCode());
    if (row && row->reading)
        row->reading(peripheral, french, text, size);
    else
        put(text, size, "OK");
}

// --- the screen ------------------------------------------------------------------------

CLCD_PeripheralView::CLCD_PeripheralView(int32_t id) : CMenuItem(id) {}

bool CLCD_PeripheralView::HasRights(CLCD_Manager& manager) {
    bool diagnostics = parent_ && parent_->Id() == MENU_DIAGNOSTICS;
    rights_ = diagnostics ? RIGHT_DIAGNOSTICS : RIGHT_PERIPHERALS;
    return CMenuItem::HasRights(manager);
}

void CLCD_PeripheralView::OnEnter(CLCD_Manager& manager) {
    mode_ = MODE_LIST;
    page_ = 0;
    selected_ = 0;
    rows_drawn_ = 0;
    gone_notice_ = 0;
    manager.SetCursor(false, -1, -1);
}

uint8_t CLCD_PeripheralView::LastPage() const {
    size_t rows = RowCount();
    return rows == 0 ? 0 : uint8_t((rows - 1) / ROWS_PER_PAGE);
}

void CLCD_PeripheralView::Rebuild() {
    count_ = 0;
    truncated_ = false;
    unsigned cursor = 0;
    CPeripheral* p = nullptr;
    pl_mediator& registry = ThePeripheralTask().Registry();
    for (bool more = registry.First(PERIPHERAL_CLASS_ANY, &cursor, &p); more;
         more = registry.Next(PERIPHERAL_CLASS_ANY, &cursor, &p)) {
        if (!p->Listed()) continue;
        if (count_ == TABLE_SIZE) {
            truncated_ = true; // the table is full: the list ends with a notice
            break;
        }
        ids_[count_] = p->Id();
        drawn_[count_++] = p;
    }
    if (page_ > LastPage()) page_ = LastPage();
}

bool CLCD_PeripheralView::Choose(CLCD_Manager& manager, uint8_t digit) {
    if (digit > rows_drawn_) return true;
    size_t index = size_t(page_) * ROWS_PER_PAGE + digit - 1;
    if (index >= count_) return true;
    if (live(ids_[index]) == nullptr) {
        gone_notice_ = 1; // removed since it was drawn: stay on the rebuilt list
    } else {
        selected_ = uint8_t(digit - 1);
        detail_id_ = ids_[index];
        mode_ = MODE_DETAIL;
    }
    manager.RequestRedraw(DRAW_FULL);
    return true;
}

bool CLCD_PeripheralView::OnKey(CLCD_Manager& manager, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    if (mode_ == MODE_DETAIL) {
        if (code != KEY_ESCAPE) return false;
        mode_ = MODE_LIST;
        manager.RequestRedraw(DRAW_FULL);
        return true;
    }
    if (code >= '1' && code <= '0' + ROWS_PER_PAGE) return Choose(manager, uint8_t(code - '0'));
    if (code == KEY_UP && page_ > 0) {
        --page_;
    } else if (code == KEY_DOWN && page_ < LastPage()) {
        ++page_;
    } else {
        return false;
    }
    manager.RequestRedraw(DRAW_FULL);
    return true;
}

void CLCD_PeripheralView::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (mode_ == MODE_DETAIL && live(detail_id_) == nullptr) {
        // Gone while its page was open: back to the list at once, saying so.
        mode_ = MODE_LIST;
        gone_notice_ = 1;
        if (phase == DRAW_PERIODIC) lcd.Clear();
        phase = DRAW_FULL;
    }
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    if (mode_ == MODE_DETAIL)
        DrawDetail(manager, lcd);
    else
        DrawList(manager, lcd, phase);
}

void CLCD_PeripheralView::DrawRow(CLCD_Manager& manager, CLCD& lcd, uint8_t n,
                                  CPeripheral& peripheral) {
    bool french = manager.French();
    uint8_t row = uint8_t(FIRST_ROW + n - 1);
    const char* name = CPeripheralTask::IdToName(peripheral.Id());
    const view_class_row* kind = class_row(peripheral.ClassCode());
    char label[LCD_COLUMNS + 1] = {};
    if (kind && kind->addressed)
        std::snprintf(label, sizeof label, "%i) %.19s %s:%i", int(n), name, ADDRESS.Of(french),
                      int(peripheral.CanId() & 0xF));
    else
        std::snprintf(label, sizeof label, "%i) %.33s", int(n), name);
    lcd.PrintAt(row, 1, LCD_LEFT, "%s", label);
    char reading[24] = {};
    const char* state = nullptr;
    if (peripheral.GetStateText(&state))
        peripheral_view_reading(peripheral, french, reading, sizeof reading);
    else
        put(reading, sizeof reading, state ? state : "");
    // The reading ends where it always does; a long label keeps a blank
    // before it and is never written over.
    const size_t after_label = std::strlen(label) + 2;
    const uint8_t column = uint8_t(after_label > READING_COLUMN ? after_label : READING_COLUMN);
    lcd.PrintAt(row, column, LCD_RIGHT, "%s", reading);
}

void CLCD_PeripheralView::DrawList(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    bool french = manager.French();
    Rebuild();
    lcd.Print(1, LCD_CENTRE, "%s", Title(french));
    rows_drawn_ = 0;
    uint8_t n = 1;
    if (RowCount() == 0) {
        lcd.PrintAt(FIRST_ROW, 1, LCD_LEFT, "%s", NONE.Of(french));
        n = 2;
    }
    for (; n <= ROWS_PER_PAGE; ++n) {
        size_t index = size_t(page_) * ROWS_PER_PAGE + n - 1;
        if (index >= RowCount()) break;
        if (index == count_) { // the row past a full table
            lcd.PrintAt(uint8_t(FIRST_ROW + n - 1), 1, LCD_LEFT, "%s", MORE_NOT_SHOWN.Of(french));
            continue;
        }
        DrawRow(manager, lcd, n, *drawn_[index]);
        ++rows_drawn_;
    }
    for (uint8_t row = uint8_t(FIRST_ROW + n - 1); row <= LAST_LIST_ROW; ++row)
        lcd.ClearLine(row);
    if (gone_notice_) {
        lcd.PrintLine(NOTICE_ROW, LCD_CENTRE, "%s", GONE.Of(french));
        gone_notice_ = 0;
    } else if (page_ < LastPage()) {
        lcd.PrintLine(NOTICE_ROW, LCD_CENTRE, "%s", MORE.Of(french));
    }
    if (phase == DRAW_FULL) draw_scroll_marks(lcd, page_ > 0, page_ < LastPage());
}

void CLCD_PeripheralView::DrawDetail(CLCD_Manager& manager, CLCD& lcd) {
    bool french = manager.French();
    CPeripheral* p = live(detail_id_);
    if (p == nullptr) return;
    lcd.Print(1, LCD_CENTRE, "%s", CPeripheralTask::IdToName(p->Id()));
    lcd.PrintAt(2, 1, LCD_LEFT, "REVISION:%d", int(p->Revision()));
    const view_class_row* kind = class_row(p->ClassCode());
    detail_kind detail = kind ? kind->detail : DETAIL_NONE;
    if (detail == DETAIL_NONE) {
        lcd.PrintLine(4, LCD_CENTRE, "%s", NO_EXTENDED_INFO.Of(french));
        return;
    }
    if (const char* line = location_line(*p, french)) lcd.PrintAt(3, 1, LCD_LEFT, "%s", line);
    DCIO* board = detail == DETAIL_DCIO ? dynamic_cast<DCIO*>(p) : nullptr;
    if (board == nullptr) return;
    bool inputs = board->GetPortDirection(3) == SWITCH_5_INPUT;
    lcd.PrintAt(4, 1, LCD_LEFT, "%s", (inputs ? SWITCH_5_ON : SWITCH_5_OFF).Of(french));
}

namespace {
const menu_factory_record PERIPHERAL_VIEW_RECORDS[] = {
    {TYPE_PERIPHERAL_VIEW, menu_create<CLCD_PeripheralView>},
};
} // namespace

const menu_family PERIPHERAL_VIEW_SCREENS = menu_family_of(PERIPHERAL_VIEW_RECORDS);
