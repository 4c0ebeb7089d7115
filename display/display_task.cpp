#include "display/display_task.h"

#include "display/render.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "runtime/task_table.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

// controllerErrorStatus: the controller-to-display interface failed;
// shortErrorStatus: controller error.
const uint32_t CONTROLLER_DISPLAY_INTERFACE_ERROR = 0x10;
const uint32_t SHORT_CONTROLLER_ERROR = 0x100;

// Bits of the "database" event-flag group the task watches.
const ULONG BIT_MEMORY_MGMT = 0x200;
const ULONG BIT_GRAPHIC_STATUS = 0x400;
const ULONG BIT_MESSAGE_STATUS = 0x800;
const ULONG BIT_ACTIVATE_MESSAGE = 0x4000;
const ULONG BIT_BRIGHTNESS = 0x20000;
const ULONG BIT_SPECIAL_FEATURES = 0x100000;
const ULONG BIT_PIXEL_TEST = 0x200000;
const ULONG BIT_DISPLAY_RESET = 0x800000;
const ULONG BIT_HDLC_ADDRESS = 0x20000000;
const ULONG BIT_DISPLAY_CONFIG = 0x40000000;

const ULONG RELOAD_PAUSE_TICKS = 10;
const uint32_t FONT_SERVICE_STEPS = 50;

bool take_bit(ULONG bit) {
    ULONG actual = 0;
    return tx_event_flags_get(&database_event_flags(), bit, TX_OR_CLEAR, &actual, TX_NO_WAIT) ==
           TX_SUCCESS;
}

} // namespace

void CMessageActivation::Reset() {
    code.Decode(nullptr);
    multi[0] = owner[0] = 0;
    multi_length = owner_length = 0;
    crc = 0;
    beacon = pixel_service = 0;
    run_time_priority = 1;
    status = 1;
    syntax_error = 2;
    error_position = 0;
}

CDisplay::CDisplay(post_office& office)
    : CMailTask(task_row_of(TASK_DISPLAY), office), message_(&TheRender().GetSurface()),
      scratch_(&TheRender().GetSurface()) {}

// --- the step -------------------------------------------------------------------

uint32_t CDisplay::Run() {
    CTaskBase::Run();
    if (take_bit(BIT_DISPLAY_CONFIG)) {
        console_printf("load new display configuration\n");
        LoadDisplayConfiguration();
        tx_thread_sleep(RELOAD_PAUSE_TICKS);
    }
    CheckLateStep();
    // The brightness curve, the surface hand-off and the failed-pixel rule
    // join here with the brightness and pixel-diagnostics work.
    if (display_state_ != DISPLAY_PIXEL_TEST && !pixel_test_running_) {
        if (font_service_steps_++ >= FONT_SERVICE_STEPS) {
            TheDatabase().FontChangeService();
            font_service_steps_ = 0;
        }
    }
    ProcessDatabaseEvents();
    DrainMailbox(mail_);
    // The message-row auto-lock runs here once the mailbox is empty (maintenance letters).
    CollectPixelTest();
    // The primary face's frame tick runs the countdown once faces draw the
    // message; until then the step (one frame) does.
    CountdownDuration();
    return 0;
}

// Each watched bit is taken with get-and-clear, no wait, in this order.
struct CDisplay::flag_row {
    ULONG bit;
    void (CDisplay::*handler)(); // null: handled by later work, see the note
};

const CDisplay::flag_row CDisplay::FLAG_ROWS[] = {
    {BIT_MESSAGE_STATUS, &CDisplay::ValidateMessage},
    {BIT_GRAPHIC_STATUS, &CDisplay::StoreGraphic},
    {BIT_ACTIVATE_MESSAGE, &CDisplay::ActivateFromObject},
    {BIT_BRIGHTNESS, nullptr}, // brightness update: with the brightness control
    {BIT_PIXEL_TEST, &CDisplay::StartPixelTest},
    {BIT_DISPLAY_RESET, &CDisplay::ResetDisplayState},
    {BIT_MEMORY_MGMT, nullptr}, // memory clear: with the memory-clear work
    {BIT_HDLC_ADDRESS, &CDisplay::ApplyHdlcAddress},
    {BIT_SPECIAL_FEATURES, &CDisplay::ApplyFeatureSet},
};

void CDisplay::ProcessDatabaseEvents() {
    for (const flag_row& row : FLAG_ROWS)
        if (take_bit(row.bit) && row.handler) (this->*row.handler)();
}

// The task's own letters; the maintenance letters are served by the base.
struct CDisplay::letter_row {
    uint32_t code;
    void (CDisplay::*handler)(); // null: nothing to do, or later work (see the note)
};

const CDisplay::letter_row CDisplay::LETTER_ROWS[] = {
    {LETTER_PANEL_HOLD1_SET, nullptr},
    {LETTER_PANEL_HOLD1_CLEAR, nullptr},
    {LETTER_MESSAGE_LOCK_CHANGED, nullptr},       // message-row lock: maintenance letters
    {LETTER_COUNT_PERMANENT_MESSAGES, nullptr},   // permanent count: maintenance letters
    {LETTER_PIXEL_DIAGNOSTICS_SWITCHED, nullptr}, // face error frames: pixel diagnostics
    {LETTER_BRIGHTNESS_TABLE_CHANGED, nullptr},   // brightness curve: brightness control
    {LETTER_FONT_STATUS_REQUEST, nullptr},        // font status requests: maintenance letters
    {LETTER_ACTIVATION_REQUEST, &CDisplay::handle_activate_msg},
    {LETTER_SIGN_TYPE_CHANGED, nullptr},            // font set change: maintenance letters
    {LETTER_CLEAR_PIXEL_TEST_FAILURES, nullptr},    // face error frames: pixel diagnostics
    {LETTER_CLEAR_DISPLAY_FAILURES, nullptr},       // face error frames: pixel diagnostics
    {LETTER_SPECIAL_FEATURE_BITS_CHANGED, nullptr}, // brightness table: brightness control
    {LETTER_BRIGHTNESS_CEILING_SWITCH, &CDisplay::SwitchBrightnessCeiling},
    {LETTER_MODULE_DUMP, nullptr}, // module dump: maintenance letters
    {LETTER_DISPLAY_NOP126, nullptr},
};

void CDisplay::HandleLetter(const letter_s& letter) {
    for (const letter_row& row : LETTER_ROWS)
        if (row.code == letter.code() && row.handler) (this->*row.handler)();
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
