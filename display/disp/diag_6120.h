// Pixel diagnostics of faces on the 6120 display bus: the modules report
// their failed pixels, kept in a one-bit error frame of the face's size. Here
// the diagnostics attach (the error frame made), detach and take the face's
// tests through the base; decoding the modules' reports and the module scan
// come with them.
#pragma once

#include "display/disp/diagnostics.h"

namespace disp {

class diag_6120 : public diagnostics {
  public:
    diag_6120() { own_errors_ = &errors_; }

    bool attach(face* owner) override;
    bool detach() override;

  private:
    frame errors_; // 1 = a module reported the pixel failed
};

} // namespace disp
