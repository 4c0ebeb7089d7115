#include "display/display_task.h"

#include "display/disp/diag_index_registrar.h"
#include "display/display_engine.h"
#include "display/render.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "runtime/task_table.h"
#include "store/short_error_status.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

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

// The module types whose modules report over the 6120 display bus, by id
// range, and how the bus is served. In each range every other id is a
// two-sided sign: its ids of `mirror_parity` (0 even, 1 odd) add a "mirror"
// face. Any other id: one face on the null bus with the pixel-test diagnostics.
struct bus_choice {
    uint16_t first, last;
    uint8_t mode;
    uint8_t mirror_parity;
};
const bus_choice BUS_CHOICES[] = {
    {135, 142, disp::bus_6120::INTERRUPT_MODE, 0},
    {146, 153, disp::bus_6120::INTERRUPT_MODE, 1},
    {161, 168, disp::bus_6120::POLLED_MODE, 0},
    {170, 171, disp::bus_6120::POLLED_MODE, 1},
};

const bus_choice* find_bus_choice(uint32_t module_type) {
    for (const bus_choice& choice : BUS_CHOICES)
        if (module_type >= choice.first && module_type <= choice.last) return &choice;
    return nullptr;
}

// The module type whose driver geometry is larger than its faces.
const uint32_t ENLARGED_DRIVER_MODULE_TYPE = 106;

void name_face(face_config& config, const char* face_name, const char* bus_name,
               disp::diagnostics* diagnostics) {
    std::strncpy(config.face_name, face_name, FACE_NAME_SIZE - 1);
    std::strncpy(config.bus_name, bus_name, FACE_NAME_SIZE - 1);
    config.diagnostics = diagnostics;
    config.engine = &TheDisplayEngine().renderer;
    config.x_origin = 0;
    config.y_origin = 0;
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
      scratch_(&TheRender().GetSurface()) {
    for (disp::face& face : faces_)
        face.delete_on_removal = 0; // embedded: the registry never destroys them
}

// --- the step -------------------------------------------------------------------

uint32_t CDisplay::Run() {
    CTaskBase::Run();
    rule_blank_requested_ = false;
    if (take_bit(BIT_DISPLAY_CONFIG)) {
        console_printf("load new display configuration\n");
        LoadDisplayConfiguration();
        tx_thread_sleep(RELOAD_PAUSE_TICKS);
    }
    CheckLateStep();
    BrightnessStep();
    if (display_state_ != DISPLAY_PIXEL_TEST) {
        SendSurface();
        if (!pixel_test_running_) {
            if (font_service_steps_++ >= FONT_SERVICE_STEPS) {
                TheDatabase().FontChangeService();
                font_service_steps_ = 0;
            }
            CheckFailedPixels();
        }
    }
    ProcessDatabaseEvents();
    DrainMailbox(mail_);
    AutoLock();
    ScanFrames();
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
    {BIT_BRIGHTNESS, &CDisplay::RefreshBrightness},
    {BIT_PIXEL_TEST, &CDisplay::StartPixelTest},
    {BIT_DISPLAY_RESET, &CDisplay::ResetDisplayState},
    {BIT_MEMORY_MGMT, &CDisplay::ClearMemory},
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
    {LETTER_MESSAGE_LOCK_CHANGED, &CDisplay::ChangeMessageLock},
    {LETTER_COUNT_PERMANENT_MESSAGES, &CDisplay::CountPermanentMessages},
    {LETTER_PIXEL_DIAGNOSTICS_SWITCHED, &CDisplay::SwitchPixelDiagnostics},
    {LETTER_BRIGHTNESS_TABLE_CHANGED, &CDisplay::OnBrightnessTableChanged},
    {LETTER_FONT_STATUS_REQUEST, &CDisplay::ServeFontStatusRequests},
    {LETTER_ACTIVATION_REQUEST, &CDisplay::handle_activate_msg},
    {LETTER_SIGN_TYPE_CHANGED, &CDisplay::ChangeFontSet},
    {LETTER_CLEAR_PIXEL_TEST_FAILURES, &CDisplay::ClearPixelTestFailures},
    {LETTER_CLEAR_DISPLAY_FAILURES, &CDisplay::ClearDisplayFailures},
    {LETTER_SPECIAL_FEATURE_BITS_CHANGED, &CDisplay::ApplyBrightnessTable},
    {LETTER_BRIGHTNESS_CEILING_SWITCH, &CDisplay::SwitchBrightnessCeiling},
    {LETTER_MODULE_DUMP, &CDisplay::DumpModules},
    {LETTER_DISPLAY_NOP126, nullptr},
};

void CDisplay::HandleLetter(const letter_s& letter) {
    letter_byte_ = letter.count ? letter.data[0] : 0;
    for (const letter_row& row : LETTER_ROWS)
        if (row.code == letter.code() && row.handler) (this->*row.handler)();
}

const module_type_record& CDisplay::LookupModuleType() {
    const module_type_record& record = find_module_type(db_get(obj::halvModuleID));
    colour_class_ = record.colour_class;
    return record;
}

int CDisplay::ConfigureDisplay(uint32_t height, uint32_t width, uint8_t bits_per_pixel) {
    uint32_t module_type = db_get(obj::halvModuleID);
    disp::diag_index_registrar::Clear();
    for (int& slot : pixel_results_slot_)
        slot = -1;
    RemoveFaces();
    ChooseFaces(module_type);
    const module_type_record& module = find_module_type(module_type);
    for (uint32_t i = 0; i < face_count_; ++i) {
        face_configs_[i].module_type_id = uint16_t(module_type);
        face_fits_[i] = FillFace(face_configs_[i], module, height, width, bits_per_pixel);
    }
    // The mirror's image follows the primary's in the frame.
    if (face_count_ == MAX_FACES) face_configs_[0].x_origin = face_configs_[1].width;
    RegisterFaces();
    if (face_configs_[0].height != 0) {
        db_set(obj::vmsSignHeightPixels, face_configs_[0].height, DB_NOTIFY);
        db_set(obj::vmsSignWidthPixels, face_configs_[0].width, DB_NOTIFY);
    }
    CreateActivationMutex();
    return ConfigureDriver(module_type, bits_per_pixel);
}

void CDisplay::OnPrimaryFaceTick() {
    display_guard guard(lock_);
    UpdatePrimaryFace();
    CountdownDuration();
}

// Faces leave the registry before they detach, then the buses go: an
// interrupt-driven bus may still broadcast until it is removed.
void CDisplay::RemoveFaces() {
    display_engine& engine = TheDisplayEngine();
    for (uint32_t i = 0; i < face_count_ && i < MAX_FACES; ++i) {
        engine.registry.remove_face(&faces_[i]);
        faces_[i].detach();
    }
    face_count_ = 0;
    engine.registry.remove_bus(&engine.bus_6120);
    engine.bus_6120.detach();
    engine.registry.remove_bus(&engine.null_bus);
    engine.null_bus.detach();
}

// The mirror face (record 0) where the module type has one, then the primary
// face with the bus it reports on, attached and registered.
void CDisplay::ChooseFaces(uint32_t module_type) {
    display_engine& engine = TheDisplayEngine();
    const bus_choice* choice = find_bus_choice(module_type);
    if (choice && module_type % 2 == choice->mirror_parity) {
        name_face(face_configs_[face_count_++], FACE_MIRROR, BUS_6120, &engine.diag_6120[1]);
    }
    face_config& primary = face_configs_[face_count_++];
    if (choice) {
        engine.bus_6120.attach_isr(BUS_6120, &engine.stream_6120, choice->mode);
        engine.registry.add_bus(&engine.bus_6120);
        name_face(primary, FACE_PRIMARY, BUS_6120, &engine.diag_6120[0]);
    } else {
        engine.null_bus.attach(BUS_NULL, &engine.null_stream);
        engine.registry.add_bus(&engine.null_bus);
        name_face(primary, FACE_PRIMARY, BUS_NULL, &engine.diag_3110);
    }
}

// The record's geometry from the module type: the size rounded up to whole
// modules, the module lines from halvLineLength (0 a full line; a longer one
// is cut to a full line and written back). -> false when the face holds more
// module lines or modules than its diagnostics can keep.
bool CDisplay::FillFace(face_config& config, const module_type_record& module, uint32_t height,
                        uint32_t width, uint8_t bits_per_pixel) {
    config.face_id = face_id_;
    config.height = uint16_t(height > 0xFFFF ? 0xFFFF : height);
    config.width = uint16_t(width > 0xFFFF ? 0xFFFF : width);
    config.frame_rate = TheRender().frames_per_second;
    config.bits_per_pixel = bits_per_pixel;
    config.module_class = uint8_t(ClassifyModuleType(config.module_type_id));
    config.module_height = module.module_height;
    config.module_width = module.module_width;
    config.colour_class = module.colour_class;
    config.flags = uint8_t(1 + ((module.FlagsByte() >> 1) & 1));
    if (!config.Normalize()) return false;
    const uint32_t lines = config.height / config.module_height;
    const bool line_fits = ApplyLineLengths(config);
    if (lines <= FACE_MODULE_LINES && config.total_modules <= FACE_MODULES_MAX && line_fits)
        return true;
    console_printf("ConfigureDisplay: face %s left out: %u module lines, %u modules "
                   "(at most %u lines of %u, %u modules)\n",
                   config.face_name, unsigned(lines), unsigned(config.total_modules),
                   unsigned(FACE_MODULE_LINES), unsigned(FACE_LINE_MODULES_MAX),
                   unsigned(FACE_MODULES_MAX));
    return false;
}

// Each face that fits is attached and registered; a face the registry
// refuses is left out without a word.
void CDisplay::RegisterFaces() {
    display_engine& engine = TheDisplayEngine();
    for (uint32_t i = 0; i < face_count_; ++i) {
        if (!face_fits_[i] || !faces_[i].attach(&face_configs_[i])) continue;
        if (!engine.registry.add_face(&faces_[i])) {
            faces_[i].detach();
            continue;
        }
        console_printf("successfully registered %s on %s\n", face_configs_[i].face_name,
                       face_configs_[i].bus_name);
        if (face_count_ == 1) RegisterResultSlots(i);
    }
}

// Once, at the first configuration: a later one may run while an agent's
// thread holds the mutex.
void CDisplay::CreateActivationMutex() {
    lock_.Create();
}

int CDisplay::ConfigureDriver(uint32_t module_type, uint8_t bits_per_pixel) {
    const face_config& face = face_configs_[0];
    uint32_t height = face.height, width = face.width;
    uint32_t driver_height = height, driver_width = width;
    if (module_type == ENLARGED_DRIVER_MODULE_TYPE) {
        driver_height += height / 8;
        driver_width += width / 5;
    }
    configuring_ = true;
    CSurface& surface = TheRender().GetSurface();
    TheRender().CreateSurface(int(height), int(width), bits_per_pixel);
    active_driver_ = &sign_driver_;
    int rate = 0;
    if (sign_driver_.Configure(driver_height, driver_width, module_type)) {
        const bool frame_fits = sign_driver_.TransferFrame(&surface, true) == 0;
        if (!frame_fits)
            console_printf("ConfigureDriver: a frame of %u bytes does not fit the frame area\n",
                           unsigned(sign_driver_.LastFrameNeeded()));
        showable_ = frame_fits && FacesFit();
        if (showable_)
            ClearDriverFailure();
        else
            ReportDriverFailure();
        sign_driver_.SetRealTimeDiagnostics(db_get(obj::halvEnableRealTimePixelDiagnostics) != 0);
        if (sign_driver_.MaxFrameRate() < TheRender().frames_per_second)
            SetRefreshRate(uint32_t(sign_driver_.MaxFrameRate()));
        rate = TheRender().frames_per_second;
    } else {
        ReportDriverFailure();
        active_driver_ = nullptr;
        showable_ = false;
    }
    configuring_ = false;
    if (front_panel_driver_) front_panel_driver_->Resize(height, width);
    UpdateBrightness(false);
    display_state_ = db_get(obj::halvObj1_1) == 1 ? DISPLAY_BLANK : DISPLAY_TEST_PATTERN;
    colour_class_ = find_module_type(module_type).colour_class;
    ApplyFaceSettings();
    return rate;
}

bool CDisplay::FacesFit() const {
    for (uint32_t i = 0; i < face_count_; ++i)
        if (!face_fits_[i]) return false;
    return true;
}

void CDisplay::ReportDriverFailure() {
    db_change_bits(obj::controllerErrorStatus, CONTROLLER_DISPLAY_INTERFACE_ERROR, 0, DB_NOTIFY);
    short_error_change(SHORT_CONTROLLER_ERROR, 0);
}

void CDisplay::ClearDriverFailure() {
    db_change_bits(obj::controllerErrorStatus, 0, CONTROLLER_DISPLAY_INTERFACE_ERROR, DB_NOTIFY);
    if (db_get(obj::controllerErrorStatus) == 0) short_error_change(0, SHORT_CONTROLLER_ERROR);
}

CDisplay& TheDisplay() {
    static CDisplay task(the_post_office());
    return task;
}
