#include "comm/links/comm_activity.h"

#include "peripherals/front_panel_link.h"
#include "runtime/console.h"

#include <atomic>

namespace {

const uint32_t ACTIVITY_BITS = 32;
uint32_t registrations = 0;
std::atomic<uint32_t> panel_count{0}; // bytes since the panel was last told

} // namespace

uint32_t CommLED_RegisterAgent() {
    if (registrations >= ACTIVITY_BITS) {
        console_printf("CommLED_RegisterAgent: error\n");
        return 0;
    }
    return 1u << registrations++;
}

void CommLED_Activity(uint32_t bit, int on) {
    (void)bit;
    (void)on;
}

void CommLED_NotifyPanel(uint32_t bytes, uint32_t every) {
    if (bytes == 0) return;
    if (every > 1 && panel_count.fetch_add(bytes) + bytes < every) return;
    panel_count.store(0);
    front_panel_notify_comm_activity();
}
