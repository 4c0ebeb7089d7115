// CJ6DisplayDriver: the sign's display driver. It configures the display
// EPLD for the module type (loading its configuration image when the type
// changes or the EPLD lost it), converts each surface into the layout of the
// EPLD's frame format in the frame area, and starts the DMA transfer of it to
// the EPLD, reloading the EPLD when transfers keep timing out.
#pragma once

#include "display/display_driver.h"
#include "display/j6_frame_formats.h"
#include "display/module_types.h"

#include <cstdint>

class CJ6DisplayDriver : public display_driver {
  public:
    // `brightness_ceiling`: the display task's applied ceiling (0..255),
    // read at every brightness change.
    explicit CJ6DisplayDriver(const int32_t* brightness_ceiling);

    void SetRealTimeDiagnostics(uint32_t) override {}
    int MaxFrameRate() override { return 10; }
    void SetBrightness(uint8_t level) override;
    uint8_t GetBrightness() override { return brightness_; }
    // -> 1 configured; 0 when an EPLD load was tried and the EPLD is not
    // configured at the end.
    int Configure(uint32_t height, uint32_t width, uint32_t module_type_id) override;
    int OutputFrame(CSurface* surface, int, int) override { return TransferFrame(surface, false); }
    // -> 0, or FRAME_TOO_LARGE when the frame in the EPLD's layout does not
    // fit the frame area: nothing is sent.
    int TransferFrame(CSurface* surface, bool blank);
    static const int FRAME_TOO_LARGE = -1;

    // The driver's own surface (height x width at 8 bits), sized at configure.
    CSurface& Surface() { return surface_; }
    uint8_t EpldMode() const { return epld_mode_; }
    uint8_t ColourClass() const { return colour_class_; }
    uint32_t LoadedModuleType() const { return module_type_id_; }
    uint32_t LastFrameBytes() const { return last_frame_bytes_; }
    // The bytes the last frame's layout took, sent or not.
    uint32_t LastFrameNeeded() const { return last_frame_needed_; }
    uint32_t DmaTimeouts() const { return dma_timeouts_; }
    // Tests: start from a given count of timeouts.
    void SetDmaTimeouts(uint32_t count) { dma_timeouts_ = count; }

    static const uint32_t NO_MODULE_TYPE = 0xFFFFFFFFu;

  private:
    struct LoadBudget;
    void LoadEPLD(uint32_t module_type_id, LoadBudget& budget);
    bool LoadAttempt(const module_type_record& row, LoadBudget& budget, bool& no_image);
    void RecordLoaded(const module_type_record& row);
    void CheckConfiguration(LoadBudget& budget);
    void WaitForPreviousTransfer();
    void StartTransfer(uint32_t bytes);

    CSurface surface_;
    const int32_t* brightness_ceiling_;
    uint8_t epld_mode_ = 0;
    uint8_t module_height_ = 0;
    uint8_t module_width_ = 0;
    uint8_t colour_class_ = 0;
    uint32_t dma_timeouts_ = 0;
    uint8_t brightness_ = 0;
    uint8_t enabled_ = 1;
    uint32_t last_frame_bytes_ = 0;
    uint32_t last_frame_needed_ = 0;
    j6_frame_converter converter_;
};

// The EPLD image file: when the flash holds it, it is loaded in place of the
// module type's built-in image.
extern const char* const EPLD_IMAGE_FILE_NAME;
