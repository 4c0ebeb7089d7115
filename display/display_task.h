// CDisplay: the "Display" task. It will take activation requests, render
// messages and drive the sign; for now it runs its step and serves its
// maintenance letters.
#pragma once

#include "display/disp/face.h"
#include "display/j6_display_driver.h"
#include "display/lcd_display_driver.h"
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
    // Builds the display engine for the configured module type (halvModuleID):
    // the faces ("mirror" first where the type has one, then "primary"), the
    // bus they report on and their diagnostics, every face sized to whole
    // modules (the rounded size and cut line lengths written back); then sizes
    // the renderer's surface, configures the sign's display driver (loading
    // the EPLD when the module type changed) and sends one blank frame.
    // Rebuilds from scratch at every call. -> the renderer's frame rate; 0
    // when the driver could not be configured (no active driver then).
    int ConfigureDisplay(uint32_t height, uint32_t width, uint8_t bits_per_pixel);
    // The per-frame work of the primary face, once per display tick.
    void OnPrimaryFaceTick();

    CJ6DisplayDriver& SignDriver() { return sign_driver_; }
    CLCDDisplayDriver& FrontPanelDriver() { return front_panel_driver_; }
    uint32_t FaceCount() const { return face_count_; }
    disp::face& Face(uint32_t i) { return faces_[i]; }
    face_config& FaceConfig(uint32_t i) { return face_configs_[i]; }
    // "Activate Msg", created by the first display configuration; null before.
    TX_MUTEX* ActivationMutex() { return activation_mutex_created_ ? &activation_mutex_ : nullptr; }
    // The driver frames go to; null while none is configured.
    display_driver* ActiveDriver() { return active_driver_; }
    uint8_t ColourClass() const { return colour_class_; }
    // The brightness ceiling in force (0..255): no level above it reaches the sign.
    int32_t BrightnessCeiling() const { return brightness_ceiling_; }
    void SetBrightnessCeiling(int32_t ceiling) { brightness_ceiling_ = ceiling; }

    static const uint32_t MAX_FACES = 2;

  private:
    void RemoveFaces();
    void ChooseFaces(uint32_t module_type);
    bool FillFace(face_config& config, const module_type_record& module, uint32_t height,
                  uint32_t width, uint8_t bits_per_pixel);
    void RegisterFaces();
    void CreateActivationMutex();
    int ConfigureDriver(uint32_t module_type, uint8_t bits_per_pixel);
    void ReportDriverFailure();
    void ClearDriverFailure();

    int32_t brightness_ceiling_ = 255;
    uint8_t colour_class_ = MODULE_COLOUR_MONO;
    CJ6DisplayDriver sign_driver_{&brightness_ceiling_};
    CLCDDisplayDriver front_panel_driver_;
    display_driver* active_driver_ = nullptr;
    disp::face faces_[MAX_FACES];
    face_config face_configs_[MAX_FACES];
    bool face_fits_[MAX_FACES] = {}; // within the module limits of a face
    uint32_t face_count_ = 0;
    uint8_t face_id_ = 0;
    bool configuring_ = false;
    TX_MUTEX activation_mutex_;
    bool activation_mutex_created_ = false;
};

CDisplay& TheDisplay();
