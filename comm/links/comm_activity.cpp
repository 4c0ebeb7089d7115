#include "comm/links/comm_activity.h"

#include "runtime/console.h"

namespace {

const uint32_t ACTIVITY_BITS = 32;
uint32_t registrations = 0;

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
