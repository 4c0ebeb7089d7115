#include "display/display_task.h"

#include "runtime/task_profiles.h"

namespace {

const uint32_t DISPLAY_CODES[] = {44, 45, 46, 47, 24, 25,  31,  113, 114, 1,
                                  2,  34, 88, 91, 96, 119, 123, 124, 126, 0};

} // namespace

CDisplay::CDisplay(post_office& office)
    : CMailTask("Display", 20480, 2, 1, 150, 10, task_profile_of(TASK_DISPLAY), DISPLAY_CODES,
                office) {}

int CDisplay::Start(TX_BYTE_POOL& pool) {
    return Create(pool, task_thread_entry<CDisplay, TheDisplay>,
                  task_timer_entry<CDisplay, TheDisplay>);
}

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
