// The sign's display driver (see j6_display_driver.h).
#include "display/j6_display_driver.h"

#include "runtime/console.h"
#include "display/epld.h"
#include "display/j6_frame_formats.h"
#include "platform/board/bus.h"
#include "platform/monitor/monitor.h"
#include "runtime/gp_buffer.h"
#include "runtime/version.h"
#include "runtime/watchdog_task.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <zlib.h>

const char* const EPLD_IMAGE_FILE_NAME = "EPLD.BIN";

namespace {

const int LOAD_RETRIES = 5;
const uint32_t INFLATE_BLOCK_BYTES = 1u << 20;
const long DMA_STATUS_READS = 100000;
const uint32_t DMA_TIMEOUTS_BEFORE_RELOAD = 3000;
const uint32_t DMA_STATUS_START = 0x88888880u;
const uint32_t DMA_CONTROL_START = 0x878827E0u;
// GPIO port 0 output 18: cleared before an EPLD load, set after each transfer start.
const int GPIO_DISPLAY_OUTPUT_BIT = 18;
const uint32_t DRIVER_REFRESH_RATE = 220;
const unsigned MODULE_TABLE_DISPLAY_ROW = 2;

struct RefreshCode {
    uint32_t rate;
    uint16_t code;
};
const RefreshCode REFRESH_CODES[] = {{210, 0},  {215, 1},  {225, 15}, {230, 4}, {235, 5},
                                     {240, 6},  {245, 7},  {250, 8},  {255, 9}, {260, 10},
                                     {265, 11}, {270, 12}, {275, 13}};
const uint16_t OTHER_REFRESH_CODE = 14;

uint16_t refresh_code(uint32_t rate) {
    for (const RefreshCode& r : REFRESH_CODES)
        if (r.rate == rate) return r.code;
    return OTHER_REFRESH_CODE;
}

uint16_t epld_read(uint32_t reg) {
    return bus_read16(BUS_DISPLAY_EPLD + reg);
}

void epld_write(uint32_t reg, uint16_t value) {
    bus_write16(BUS_DISPLAY_EPLD + reg, value);
}

// The load's image: the EPLD image file in flash, used in place, or the
// module type's built-in image inflated into a pool block.
struct EpldImage {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    void* block = nullptr;

    ~EpldImage() {
        if (block != nullptr) TheGPBuffer().Release(block);
    }
};

enum class ImageResult { Ready, NoBuffer, Damaged };

ImageResult get_image(const module_type_record& row, EpldImage& image) {
    if (const TFSHDR* file = mon_tfsstat(EPLD_IMAGE_FILE_NAME)) {
        console_printf("EPLD image file %s\n", tfs_file_name(file));
        image.data = tfs_file_data(file);
        image.size = tfs_file_size(file);
        return ImageResult::Ready;
    }
    if (!TheGPBuffer().Allocate(&image.block, INFLATE_BLOCK_BYTES)) {
        console_printf("CJ6DisplayDriver::Configure: failed to get gpBuffer\n");
        return ImageResult::NoBuffer;
    }
    uLongf size = INFLATE_BLOCK_BYTES;
    if (uncompress(static_cast<Bytef*>(image.block), &size, row.epld_image, row.epld_size) !=
        Z_OK) {
        console_printf("Uncompress Error - compressed size:%i\n", static_cast<int>(row.epld_size));
        return ImageResult::Damaged;
    }
    trace_printf("Uncompress Success - size:%i\n", static_cast<int>(size));
    image.data = static_cast<const uint8_t*>(image.block);
    image.size = static_cast<uint32_t>(size);
    return ImageResult::Ready;
}

// NTCIP's module table row of the display driver names the EPLD image.
void write_module_texts(const module_type_record& row) {
    char model[64];
    std::snprintf(model, sizeof model, "%s - EPLD", row.epld_name);
    char version[8];
    std::snprintf(version, sizeof version, "%2d", epld_read(EPLD_VERSION) & 0xFF);
    db_set_text(obj::moduleModel.row(MODULE_TABLE_DISPLAY_ROW), model, DB_NOTIFY);
    db_set_text(obj::moduleMake.row(MODULE_TABLE_DISPLAY_ROW), FIRMWARE_MAKER, DB_NOTIFY);
    db_set_text(obj::moduleVersion.row(MODULE_TABLE_DISPLAY_ROW), version, DB_NOTIFY);
}

} // namespace

// What one configure call may spend and what it took: six load attempts at
// most (the first and five retries, shared between programming failures and
// a lost configuration), and the watchdog hold, taken once.
struct CJ6DisplayDriver::LoadBudget {
    int retries = LOAD_RETRIES;
    bool tried = false;
    bool holds_taken = false;
    bool took_watchdog = false;

    void TakeHolds() {
        if (holds_taken) return;
        holds_taken = true;
        // The front panel's busy mark is taken here too once the panel
        // manager (LCD01) exists.
        took_watchdog = TheWatchdogTask().DisableWatchdog() == 1;
    }
    void GiveBack() {
        if (took_watchdog) TheWatchdogTask().EnableWatchdog();
        took_watchdog = false;
    }
};

CJ6DisplayDriver::CJ6DisplayDriver(const int32_t* brightness_ceiling)
    : brightness_ceiling_(brightness_ceiling) {
    module_type_id_ = NO_MODULE_TYPE;
}

int CJ6DisplayDriver::Configure(uint32_t height, uint32_t width, uint32_t module_type_id) {
    height_ = height;
    width_ = width;
    LoadBudget budget;
    if (module_type_id != module_type_id_) {
        mon_gpio_clr(0, GPIO_DISPLAY_OUTPUT_BIT);
        module_type_id_ = module_type_id;
        LoadEPLD(module_type_id, budget);
    } else {
        CheckConfiguration(budget);
    }
    enabled_ = 1;
    const module_type_record& configured = find_module_type(db_get(obj::halvModuleID));
    module_height_ = configured.module_height;
    module_width_ = configured.module_width;
    epld_write(EPLD_WIDTH, static_cast<uint16_t>(width));
    epld_write(EPLD_HEIGHT, static_cast<uint16_t>(height));
    surface_.Create(static_cast<int>(height), static_cast<int>(width), 8);
    epld_write(EPLD_REFRESH, refresh_code(DRIVER_REFRESH_RATE));
    budget.GiveBack();
    return budget.tried && !epld_read_conf_done() ? 0 : 1;
}

void CJ6DisplayDriver::LoadEPLD(uint32_t module_type_id, LoadBudget& budget) {
    const module_type_record& row = find_module_type(module_type_id);
    if (row.epld_image == nullptr) { // no such type, or one that loads no image
        console_printf("CJ6DisplayDriver Configure Buffer Error!\n");
        return;
    }
    bool loaded = false;
    for (;;) {
        bool no_buffer = false;
        loaded = LoadAttempt(row, budget, no_buffer);
        if (no_buffer) {
            console_printf("CJ6DisplayDriver Configure Buffer Error!\n");
            return;
        }
        if (loaded) break;
        console_printf("EPLD Program Error - Type:%d - %dx%d\n", static_cast<int>(module_type_id),
                       static_cast<int>(height_), static_cast<int>(width_));
        if (budget.retries == 0) break;
        --budget.retries;
    }
    if (loaded)
        console_printf("EPLD Program Success! - Type:%d - %dx%d\n",
                       static_cast<int>(module_type_id), static_cast<int>(height_),
                       static_cast<int>(width_));
    write_module_texts(row);
    // A dead EPLD must not look programmed: flag and mode only after a good load.
    if (loaded) RecordLoaded(row);
    CheckConfiguration(budget);
}

bool CJ6DisplayDriver::LoadAttempt(const module_type_record& row, LoadBudget& budget,
                                   bool& no_buffer) {
    EpldImage image;
    ImageResult got = get_image(row, image);
    no_buffer = got == ImageResult::NoBuffer;
    budget.tried = budget.tried || !no_buffer;
    if (got != ImageResult::Ready) return false;
    budget.TakeHolds();
    epld_set_programmed(false);
    return ProgramEPLD(image.data, image.size);
}

void CJ6DisplayDriver::RecordLoaded(const module_type_record& row) {
    epld_set_programmed(true);
    colour_class_ = row.colour_class;
    epld_mode_ = row.epld_mode;
    console_printf("EPLD mode:%d\n", epld_mode_);
    epld_write(EPLD_CONTROL, static_cast<uint16_t>(epld_mode_ << 8));
}

// An EPLD that lost its configuration is loaded again with the loaded type's
// image while the budget lasts.
void CJ6DisplayDriver::CheckConfiguration(LoadBudget& budget) {
    if (epld_read_conf_done() || budget.retries == 0) return;
    if (find_module_type(module_type_id_).epld_image == nullptr) return;
    --budget.retries;
    LoadEPLD(module_type_id_, budget);
}

void CJ6DisplayDriver::SetBrightness(uint8_t level) {
    int32_t limited = level;
    if (limited > *brightness_ceiling_) limited = *brightness_ceiling_;
    if (limited < 0) limited = 0;
    uint16_t percent = static_cast<uint16_t>(limited * 100 / 255);
    if (percent == 0) percent = 1;
    epld_write(EPLD_CONTROL, static_cast<uint16_t>((epld_read(EPLD_STATUS) & 0xFF00) | percent));
    brightness_ = static_cast<uint8_t>(limited);
}

int CJ6DisplayDriver::TransferFrame(CSurface* surface, bool blank) {
    if (!enabled_) return 0;
    WaitForPreviousTransfer();
    if (surface == nullptr) return 0;
    uint8_t format = static_cast<uint8_t>(epld_read(EPLD_STATUS) & 0xFF);
    trace_printf("mm:%d\n", format);
    j6_frame_target target = {board_frame_area(), BOARD_FRAME_AREA_BYTES, colour_class_, epld_mode_,
                              module_height_};
    j6_frame_result frame = converter_.convert(*surface, format, blank, target);
    if (frame.stored_height >= 0) height_ = static_cast<uint32_t>(frame.stored_height);
    if (format == 12) trace_printf("nDMATransferCount:%d\n", static_cast<int>(frame.bytes));
    last_frame_needed_ = frame.needed;
    if (frame.needed > frame.bytes) { // a cut frame would show a wrong picture: none at all
        last_frame_bytes_ = 0;
        return FRAME_TOO_LARGE;
    }
    StartTransfer(frame.bytes);
    return 0;
}

// A transfer that never completes is counted; the 3001st since start or
// since the last reload reloads the EPLD (successful transfers do not reset
// the count).
void CJ6DisplayDriver::WaitForPreviousTransfer() {
    for (long i = 0; i < DMA_STATUS_READS; ++i)
        if (dcr_read(DCR_DMA0_SR) & DMA_SR_TERMINAL_COUNT0) return;
    if (dma_timeouts_ < DMA_TIMEOUTS_BEFORE_RELOAD) {
        ++dma_timeouts_;
        return;
    }
    console_printf("DMA TRANSFER TIMEOUT REPROGRAMMING EPLD\n");
    uint32_t loaded = module_type_id_;
    module_type_id_ = NO_MODULE_TYPE;
    Configure(height_, width_, loaded);
    dma_timeouts_ = 0;
}

void CJ6DisplayDriver::StartTransfer(uint32_t bytes) {
    last_frame_bytes_ = bytes;
    mon_dcrwrite(DCR_DMA0_SR, DMA_SR_TERMINAL_COUNT0);
    board_flush_data_cache();
    mon_dcrwrite(DCR_DMA0_SA0,
                 static_cast<uint32_t>(reinterpret_cast<uintptr_t>(board_frame_area())));
    mon_dcrwrite(DCR_DMA0_CT0, (bytes + 1) / 2);
    mon_dcrwrite(DCR_DMA0_SR, DMA_STATUS_START);
    mon_dcrwrite(DCR_DMA0_CR0, DMA_CONTROL_START);
    mon_gpio_set(0, GPIO_DISPLAY_OUTPUT_BIT);
}
