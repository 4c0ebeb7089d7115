// The other tasks' way to the front panel (see front_panel_link.h).
#include "peripherals/front_panel_link.h"

#include "peripherals/peripheral_task.h"

#include <atomic>

namespace {

// LCD01 once found: the manager lives as long as the system.
std::atomic<CFrontPanelPeripheral*> panel{nullptr};

CFrontPanelPeripheral* find_panel() {
    CFrontPanelPeripheral* found = panel.load();
    if (found != nullptr) return found;
    CPeripheral* p = nullptr;
    if (!ThePeripheralTask().Registry().Find(PERIPHERAL_ID_LCD_MANAGER, &p) ||
        p->ClassCode() != PERIPHERAL_CLASS_LCD_MANAGER)
        return nullptr;
    found = static_cast<CFrontPanelPeripheral*>(p);
    panel.store(found);
    return found;
}

} // namespace

void front_panel_notify_comm_activity() {
    if (CFrontPanelPeripheral* p = find_panel()) p->NotifyCommActivity();
}

void front_panel_set_indicator(uint8_t kind, uint8_t state) {
    if (CFrontPanelPeripheral* p = find_panel()) p->SetIndicator(kind, state);
}
