// io_input_state: what the climate logic reads of an I/O-based peripheral
// that watches one input (the fan power sense, 749; the flow sensors): its
// input state byte, 1 while the input is active. The fan-speed sensors find
// the power sense in the live registry and read it through this face.
#pragma once

#include <cstdint>

class io_input_state {
  public:
    virtual uint8_t InputState() const = 0;

  protected:
    ~io_input_state() = default;
};
