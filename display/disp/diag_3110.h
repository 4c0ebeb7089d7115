// Pixel diagnostics of faces whose modules report nothing (the "null" bus):
// the pixel test with pixel test boards finds failed pixels with the light
// sensors, kept in a two-bit test frame of the face's size (3 = failed). Here
// the diagnostics attach (the test frame made), detach and take the face's
// tests through the base; the light test comes with the pixel test boards.
#pragma once

#include "display/disp/diagnostics.h"

namespace disp {

class diag_3110 : public diagnostics {
  public:
    diag_3110() { own_errors_ = &test_frame_; }

    bool attach(face* owner) override;
    bool detach() override;

  private:
    frame test_frame_;
};

} // namespace disp
