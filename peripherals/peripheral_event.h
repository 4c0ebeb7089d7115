// peripheral_event: a timer record that calls a peripheral's timer slot
// (CPeripheral::OnTimer) with its argument; the modem's inactivity timer and
// the temperature sensors' timed steps use it.
#pragma once

#include "runtime/peripheral.h"
#include "runtime/timer_scheduler.h"

#include <cstdint>

class peripheral_event : public timer_event {
  public:
    peripheral_event(CPeripheral* peripheral, uint32_t argument)
        : peripheral_(peripheral), argument_(argument) {}
    void fire() override { peripheral_->OnTimer(argument_); }

  private:
    CPeripheral* peripheral_;
    uint32_t argument_;
};
