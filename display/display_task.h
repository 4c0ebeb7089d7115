// CDisplay: the "Display" task. It will take activation requests, render
// messages and drive the sign; for now it runs its step and serves its
// maintenance letters.
#pragma once

#include "display/j6_display_driver.h"
#include "display/module_types.h"
#include "runtime/mail_task.h"

class CDisplay : public CMailTask {
  public:
    explicit CDisplay(post_office& office);
    // One step: count it, check that it came on time, then the letters.
    uint32_t Run() override;
    void HandleLetter(const letter_s& letter) override;

    // The record of the configured display module type (halvModuleID); its
    // colour class is kept.
    const module_type_record& LookupModuleType();
    // Sizes the renderer's surface, configures the sign's display driver
    // (loading the EPLD when the module type changed) and sends one blank
    // frame. -> the renderer's frame rate; 0 when the driver could not be
    // configured (no active driver then).
    int ConfigureDisplay(uint32_t height, uint32_t width, uint8_t frame_format);

    CJ6DisplayDriver& SignDriver() { return sign_driver_; }
    // The driver frames go to; null while none is configured.
    display_driver* ActiveDriver() { return active_driver_; }
    uint8_t ColourClass() const { return colour_class_; }
    // The brightness ceiling in force (0..255): no level above it reaches the sign.
    int32_t BrightnessCeiling() const { return brightness_ceiling_; }
    void SetBrightnessCeiling(int32_t ceiling) { brightness_ceiling_ = ceiling; }

  private:
    void ReportDriverFailure();
    void ClearDriverFailure();

    int32_t brightness_ceiling_ = 255;
    uint8_t colour_class_ = MODULE_COLOUR_MONO;
    CJ6DisplayDriver sign_driver_{&brightness_ceiling_};
    display_driver* active_driver_ = nullptr;
};

CDisplay& TheDisplay();
