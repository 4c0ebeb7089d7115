#include "display/display_task.h"

#include "runtime/task_table.h"

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

void CDisplay::LookupModuleType() {
    // The module-type table comes with the display subsystem.
}

int CDisplay::ConfigureDisplay(uint32_t height, uint32_t width, uint8_t frame_format) {
    // The faces, frames and driver come with the display subsystem.
    (void)height;
    (void)width;
    (void)frame_format;
    return 0;
}

CDisplay& TheDisplay() {
    static CDisplay task(the_post_office());
    return task;
}
