// CDisplay: the "Display" task. It will take activation requests, render
// messages and drive the sign; for now it runs its step and serves its
// maintenance letters.
#pragma once

#include "runtime/mail_task.h"

class CDisplay : public CMailTask {
  public:
    explicit CDisplay(post_office& office);
    // One step: count it, check that it came on time, then the letters.
    uint32_t Run() override;
    void HandleLetter(const letter_s& letter) override;

    // Start-up: find the configured display module type (halvModuleID).
    void LookupModuleType();
    // Start-up: configure the faces for the sign size and the module type's
    // frame format. -> 1 configured, 0 not.
    int ConfigureDisplay(uint32_t height, uint32_t width, uint8_t frame_format);
};

CDisplay& TheDisplay();
