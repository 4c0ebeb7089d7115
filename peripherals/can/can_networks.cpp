// The sign's CAN networks (see can_networks.h).
#include "peripherals/can/can_networks.h"

const char* const CAN_BUS_LOCAL = "CAN J6 Driver";
const char* const CAN_BUS_PANEL = "CAN Control Panel Driver";
const char* const CAN_BUS_CONTROLLER = "J6 CONTROLLER BUS";

namespace {

// The control panel's network until the front panel carries it: nothing
// goes out, nothing comes in.
class can_panel_stand_in : public can_driver {
  public:
    int Send(uint32_t, uint8_t, uint8_t, const uint8_t*, uint8_t) override { return 0; }
    int Read(uint32_t*, uint8_t*, uint8_t*, uint8_t*) override { return 0; }
    int Initialize(uint32_t, uint32_t, uint32_t) override { return 0; }
};

struct BusCodeName {
    uint8_t code;
    const char* const* name;
};
const BusCodeName BUS_CODE_NAMES[] = {
    {CAN_CODE_PANEL, &CAN_BUS_PANEL},
    {CAN_CODE_CONTROLLER, &CAN_BUS_CONTROLLER},
};

// The buses in the order they are registered, each with its name and driver.
struct BusBinding {
    can_bus& (*bus)();
    const char* const* name;
    can_driver& (*driver)();
};
can_driver& j6_driver() {
    return the_can_j6_driver();
}
const BusBinding BUS_BINDINGS[] = {
    {the_local_can_bus, &CAN_BUS_LOCAL, j6_driver},
    {the_panel_can_bus, &CAN_BUS_PANEL, the_panel_can_driver},
    {the_controller_can_bus, &CAN_BUS_CONTROLLER, j6_driver},
};

} // namespace

const char* can_bus_name_from_code(uint8_t code) {
    for (const BusCodeName& b : BUS_CODE_NAMES)
        if (b.code == code) return *b.name;
    return CAN_BUS_LOCAL;
}

// The objects are never destroyed: peripherals deleted at the program's end
// still unregister from the core.
can_core& the_can_core() {
    static can_core* core = new can_core;
    return *core;
}

CCANJ6Driver& the_can_j6_driver() {
    static CCANJ6Driver* driver = new CCANJ6Driver;
    return *driver;
}

namespace {
can_driver* installed_panel_driver = nullptr;
} // namespace

can_driver& the_panel_can_driver() {
    static can_panel_stand_in* stand_in = new can_panel_stand_in;
    return installed_panel_driver ? *installed_panel_driver : *stand_in;
}

void can_set_panel_driver(can_driver* driver) {
    installed_panel_driver = driver;
}

can_bus& the_local_can_bus() {
    static sensor_bus* bus = new sensor_bus;
    return *bus;
}

can_bus& the_panel_can_bus() {
    static sensor_bus* bus = new sensor_bus;
    return *bus;
}

can_bus& the_controller_can_bus() {
    static controller_bus* bus = new controller_bus;
    return *bus;
}

void can_register_buses() {
    for (const BusBinding& b : BUS_BINDINGS) {
        can_bus& bus = b.bus();
        if (bus.Attached()) continue;
        bus.Attach(*b.name, &b.driver());
        the_can_core().RegisterBus(&bus);
    }
}
