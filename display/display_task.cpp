#include "display/display_task.h"

#include "display/render.h"
#include "runtime/task_table.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

// controllerErrorStatus: the controller-to-display interface failed;
// shortErrorStatus: controller error.
const uint32_t CONTROLLER_DISPLAY_INTERFACE_ERROR = 0x10;
const uint32_t SHORT_CONTROLLER_ERROR = 0x100;

} // namespace

CDisplay::CDisplay(post_office& office) : CMailTask(task_row_of(TASK_DISPLAY), office) {}

uint32_t CDisplay::Run() {
    CTaskBase::Run();
    CheckLateStep();
    DrainMailbox(mail_);
    return 0;
}

void CDisplay::HandleLetter(const letter_s& letter) {
    // Activation requests (91), settings and diagnostics letters come with the display subsystem.
    (void)letter;
}

const module_type_record& CDisplay::LookupModuleType() {
    const module_type_record& record = find_module_type(db_get(obj::halvModuleID));
    colour_class_ = record.colour_class;
    return record;
}

// The faces, buses and diagnostic slots are built around these steps.
int CDisplay::ConfigureDisplay(uint32_t height, uint32_t width, uint8_t frame_format) {
    uint32_t module_type = db_get(obj::halvModuleID);
    CSurface& surface = TheRender().GetSurface();
    TheRender().CreateSurface(static_cast<int>(height), static_cast<int>(width), frame_format);
    active_driver_ = &sign_driver_;
    if (!sign_driver_.Configure(height, width, module_type)) {
        ReportDriverFailure();
        active_driver_ = nullptr;
        return 0;
    }
    sign_driver_.TransferFrame(&surface, true);
    ClearDriverFailure();
    sign_driver_.SetRealTimeDiagnostics(db_get(obj::halvEnableRealTimePixelDiagnostics) != 0);
    colour_class_ = find_module_type(module_type).colour_class;
    return TheRender().frames_per_second;
}

void CDisplay::ReportDriverFailure() {
    db_change_bits(obj::controllerErrorStatus, CONTROLLER_DISPLAY_INTERFACE_ERROR, 0, DB_NOTIFY);
    db_change_bits(obj::shortErrorStatus, SHORT_CONTROLLER_ERROR, 0, DB_NOTIFY);
}

void CDisplay::ClearDriverFailure() {
    db_change_bits(obj::controllerErrorStatus, 0, CONTROLLER_DISPLAY_INTERFACE_ERROR, DB_NOTIFY);
    if (db_get(obj::controllerErrorStatus) == 0)
        db_change_bits(obj::shortErrorStatus, 0, SHORT_CONTROLLER_ERROR, DB_NOTIFY);
}

CDisplay& TheDisplay() {
    static CDisplay task(the_post_office());
    return task;
}
