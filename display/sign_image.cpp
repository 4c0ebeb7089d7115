// The sign on the front panel: the primary face's frames on the panel's
// sign image while the panel shows it, and the preview of any message page
// in a surface of the panel's own, drawn without touching the message on show.
#include "display/display_task.h"

#include "display/render.h"
#include "peripherals/peripheral_task.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint16_t FRONT_PANEL_MANAGER_ID = 70;
const int32_t FRAMES_BETWEEN_IMAGES = 19;
// Set while the panel shows something else: the first frame after it
// switches to the sign image is drawn at once.
const int32_t IMAGE_DUE = 500;

// Paces the panel's sign image; one for the program.
int32_t image_counter = 0;

} // namespace

// The registry's lock is taken here, before the display lock, never under it.
void CDisplay::LookUpFrontPanel() {
    if (front_panel_) return;
    CPeripheral* manager = nullptr;
    if (ThePeripheralTask().Registry().Find(FRONT_PANEL_MANAGER_ID, &manager))
        front_panel_ = dynamic_cast<front_panel_view*>(manager);
}

void CDisplay::AttachFrontPanelImage(front_panel_image* driver) {
    front_panel_driver_ = driver;
}

void CDisplay::ShowOnLCD(const disp::frame* frame) {
    if (!frame || !front_panel_ || !front_panel_driver_) return;
    const uint8_t view = front_panel_->SignImageView();
    if (view == 0) {
        image_counter = IMAGE_DUE;
        return;
    }
    // Every nineteenth frame, and at once when the count is past it.
    if (++image_counter < FRAMES_BETWEEN_IMAGES) return;
    front_panel_driver_->SetViewMode(view);
    front_panel_driver_->DrawFrame(frame);
    image_counter = 0;
}

uint8_t CDisplay::PreviewPage(const char* text, uint32_t length) {
    if (!parser_in_use_ || !render_in_use_) return 0;
    display_guard guard(lock_);
    return render_in_use_->PageCount(parser_in_use_, text, length);
}

int CDisplay::PreviewMessage(CSurface* surface, front_panel_image* driver, const char* text,
                             uint32_t length, uint32_t page, CMessage& preview) {
    if (!parser_in_use_ || !render_in_use_) return 0;
    display_guard guard(lock_);
    const CSurface& sign = render_in_use_->GetSurface();
    preview.surface = surface;
    if (surface) {
        surface->Create(sign.GetHeight(), sign.GetWidth(), sign.GetBitsPerPixel());
        surface->Fill(0);
        if (driver) driver->Resize(uint32_t(surface->GetHeight()), uint32_t(surface->GetWidth()));
    }
    if (page == 1) {
        preview.Reset(0);
        preview.text_background = -1;
        preview.foreground = multi_default_foreground_rgb15();
        preview.page_background = multi_default_background_rgb15();
        const unsigned window = preview.WindowIndex();
        preview.page_justification[window] = uint8_t(db_get(obj::defaultJustificationPage));
        preview.line_justification[window] = uint8_t(db_get(obj::defaultJustificationLine));
        preview.font = uint8_t(db_get(obj::defaultFont));
        preview.flash_on_time = uint8_t(db_get(obj::defaultFlashOn));
        preview.flash_off_time = uint8_t(db_get(obj::defaultFlashOff));
        preview.page_off_time = uint8_t(db_get(obj::defaultPageOffTime));
        preview.page_on_time = uint8_t(db_get(obj::defaultPageOnTime));
        preview.CurrentWindow() =
            msg_window{0, 0, uint32_t(sign.GetWidth()), uint32_t(sign.GetHeight())};
        preview.flash_mode = 0;
    }
    if (!text) length = 0;
    if (length > MULTI_MAX_TEXT) length = MULTI_MAX_TEXT;
    if (length) std::memcpy(preview.text, text, length);
    preview.text_length = length;
    if (!render_in_use_->ParsePage(parser_in_use_, &preview, page)) return 0;
    if (driver && surface) driver->ConvertFrame(surface);
    return 1;
}
