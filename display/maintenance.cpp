// The display task's maintenance letters: the lock of changeable rows 501 to
// 550 and its automatic return, the count of stored permanent messages, the
// font status requests, the font set of the sign type, the reset of the
// failed-pixel records and the module dump. All run on the display thread
// between two steps.
#include "display/display_task.h"

#include "display/disp/diagnostics.h"
#include "ntcip/mib/mib.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/watchdog_task.h"
#include "store/short_error_status.h"
#include "store/database.h"
#include "store/fonts.h"
#include "store/objects.h"

namespace {

const uint16_t AUTO_LOCK_STEPS = 9000; // 15 minutes at 10 steps a second
const uint32_t MESSAGE_LOCK_LOCKED = 1;
const uint32_t MAX_CHANGEABLE_LOCKED = 500, MAX_CHANGEABLE_UNLOCKED = 550;

// Control modes that may use the open rows: local and central override.
bool mode_allows_open_rows() {
    const uint32_t mode = db_get(obj::dmsControlMode);
    return mode == 2 || mode == 5;
}

// fontStatus requests and the state each becomes; the ready-for-use request
// passes through "calculating ID" while the version ID is computed.
enum : uint32_t { FONT_CALCULATING_ID = 3 };
struct font_request {
    uint32_t request, state;
};
const font_request FONT_REQUESTS[] = {{7, 2}, {8, 4}, {9, 1}, {10, 11}};
const uint32_t FONT_READY_REQUEST = 8;
const uint32_t FONT_STATUS_FLAGS = DB_NOTIFY | DB_NO_VALIDATE;

// The failed-pixel records of one detection type.
const uint32_t SHORT_PIXEL_ERROR = 0x20; // shortErrorStatus
const uint32_t FAILURE_ROWS = 500;
struct failure_records {
    uint32_t detection_type;
    DbObject count, total, other_count;
};
const failure_records PIXEL_TEST_RECORDS = {2, obj::pixelTestFailureCount, obj::halvObj5_4,
                                            obj::messageFailureCount};
const failure_records MESSAGE_RECORDS = {3, obj::messageFailureCount, obj::halvObj5_3,
                                         obj::pixelTestFailureCount};

void clear_failure_records(const failure_records& r) {
    db_set(r.count, 0, DB_NOTIFY);
    db_set(r.total, 0, DB_NOTIFY);
    db_set_string(obj::panynjObj1_7, nullptr, 0, DB_NOTIFY);
    if (db_get(r.other_count) == 0) short_error_change(0, SHORT_PIXEL_ERROR);
    const uint32_t first = (r.detection_type - 1) * FAILURE_ROWS;
    for (uint32_t k = first; k < first + FAILURE_ROWS; ++k) {
        db_set(obj::pixelFailureXLocation.row(k), 1, DB_NOTIFY);
        db_set(obj::pixelFailureYLocation.row(k), 1, DB_NOTIFY);
        db_set(obj::pixelFailureStatus.row(k), 0, DB_NOTIFY);
        db_set(obj::pixelFailureColorStatus.row(k), 0, DB_NOTIFY);
    }
}

// --- module dump ---------------------------------------------------------------------

const ULONG MODULE_DUMP_PAUSE_TICKS = 10;

uint16_t u16_at(const uint8_t* status, unsigned at) {
    return uint16_t(status[at] << 8 | status[at + 1]);
}

void print_module(const disp::module& m) {
    const uint8_t* s = m.status;
    uint8_t column = 0, line = 0;
    if (!m.position(column, line)) column = line = 0; // an empty rectangle prints A000
    console_printf("mod:A%1d%02d type:%d rev:%d ps:%d Temp:%d mA:%d,%d,%d Vmn,mx,a,c:%d,%d,%d,%d\n",
                   line + 1, column + 1, u16_at(s, 8), s[0], s[1] + 1, int(int8_t(s[23])), s[2],
                   s[3], s[4], s[6], s[7], s[5], s[22]);
    const unsigned vps1 = u16_at(s, 12), vps2 = u16_at(s, 14);
    const unsigned led1 = u16_at(s, 16), led2 = u16_at(s, 18), led3 = u16_at(s, 20);
    console_printf("\tVps1,2:%d.%d,%d.%d Vled1->3:%d.%d,%d.%d,%d.%d %s\n\n", vps1 / 10, vps1 % 10,
                   vps2 / 10, vps2 % 10, led1 / 10, led1 % 10, led2 / 10, led2 % 10, led3 / 10,
                   led3 % 10, s[25] ? "quick" : "legacy");
}

} // namespace

// --- the message-row lock --------------------------------------------------------------

void CDisplay::ChangeMessageLock() {
    if (db_get(obj::halvObj2_8) == MESSAGE_LOCK_UNLOCKED) {
        auto_lock_countdown_ = AUTO_LOCK_STEPS;
        if (mode_allows_open_rows())
            db_set(obj::dmsMaxChangeableMsg, MAX_CHANGEABLE_UNLOCKED, DB_NOTIFY);
        return;
    }
    auto_lock_countdown_ = 0;
    db_set(obj::dmsMaxChangeableMsg, MAX_CHANGEABLE_LOCKED, DB_NOTIFY);
}

// The lock is written without notification, so that no letter 24 follows;
// the configuration objects that the open lock let through are closed again.
void CDisplay::AutoLock() {
    if (db_get(obj::halvObj2_8) != MESSAGE_LOCK_UNLOCKED) return;
    if (db_get(obj::dmsMaxChangeableMsg) == MAX_CHANGEABLE_UNLOCKED && !mode_allows_open_rows())
        auto_lock_countdown_ = 1;
    if (auto_lock_countdown_ == 0 || --auto_lock_countdown_ != 0) return;
    console_printf("CDisplay::StateMachine_MessageHandler::auto locking config objects\n");
    db_set(obj::halvObj2_8, MESSAGE_LOCK_LOCKED, 0);
    db_set(obj::dmsMaxChangeableMsg, MAX_CHANGEABLE_LOCKED, DB_NOTIFY);
    mib_set_write_override(false);
}

void CDisplay::CountPermanentMessages() {
    trace_printf("counting the number of permanent messages stored\n");
    uint32_t count = BUILT_IN_PERMANENT_MESSAGES;
    for (unsigned row = CHANGEABLE_ROWS; row < CHANGEABLE_STORAGE_ROWS; ++row)
        count += db_get(obj::changeableMsgStatus.row(row)) == MSG_STATUS_VALID ? 1 : 0;
    db_set(obj::dmsNumPermanentMsg, count, DB_NOTIFY);
}

// --- fonts ---------------------------------------------------------------------------------

void CDisplay::ServeFontStatusRequests() {
    for (uint32_t row = 0; row < CDataBase::FONT_ROWS; ++row) {
        const DbObject status = obj::fontStatus.row(row);
        const uint32_t value = db_get(status);
        for (const font_request& r : FONT_REQUESTS) {
            if (r.request != value) continue;
            if (value == FONT_READY_REQUEST) {
                db_set(status, FONT_CALCULATING_ID, FONT_STATUS_FLAGS);
                TheDatabase().ComputeFontCRC(row);
            }
            db_set(status, r.state, FONT_STATUS_FLAGS);
        }
    }
}

// The watchdog stops supervising the task while the fonts load. The renderer
// reads the fonts under the display lock.
void CDisplay::ChangeFontSet() {
    PostLetter(LETTER_DISPLAY_STOP);
    if (CharacterMatrixSign()) {
        db_set(obj::numFonts, 1, DB_NOTIFY);
        LoadCharacterMatrixFont();
    } else {
        db_set(obj::numFonts, CDataBase::FONT_ROWS, DB_NOTIFY);
        display_guard guard(lock_);
        if (TheDatabase().IsFlashMode()) LoadBuiltInFonts(TheDatabase());
    }
    ApplyFaceSettings();
    UpdateSignDimensions();
    PostLetter(LETTER_DISPLAY_START);
}

// --- failed-pixel records ----------------------------------------------------------------

void CDisplay::ClearFaceErrorTables() {
    clear_failure_records(PIXEL_TEST_RECORDS);
}

void CDisplay::ClearFaceErrorTables2() {
    clear_failure_records(MESSAGE_RECORDS);
}

void CDisplay::SwitchPixelDiagnostics() {
    if (db_get(obj::halvEnableRealTimePixelDiagnostics) == 0)
        db_set_string(obj::panynjObj1_7, nullptr, 0, DB_NOTIFY);
    ClearPixelTestFailures();
}

void CDisplay::ClearPixelTestFailures() {
    for (uint32_t i = 0; i < face_count_; ++i)
        faces_[i].stop_diagnostics();
    ClearFaceErrorTables();
}

void CDisplay::ClearDisplayFailures() {
    for (uint32_t i = 0; i < face_count_; ++i)
        faces_[i].clear_test_results();
    ClearFaceErrorTables2();
}

// --- module dump ---------------------------------------------------------------------------

// The face index is the letter's data byte. The dump sleeps between modules,
// so the hardware watchdog is held off meanwhile.
void CDisplay::DumpModules() {
    const uint32_t index = letter_byte_;
    if (index >= face_count_) {
        console_printf("face does not exist\n");
        return;
    }
    disp::diagnostics* diagnostics = face_configs_[index].diagnostics;
    CWatchdogTask& watchdog = TheWatchdogTask();
    const int held = watchdog.DisableWatchdog();
    uint16_t at = 0;
    disp::module* m = nullptr;
    const bool any = diagnostics && face_configs_[index].total_modules > 0;
    for (bool more = any && diagnostics->first_module(&at, &m); more;
         more = diagnostics->next_module(&at, &m)) {
        print_module(*m);
        tx_thread_sleep(MODULE_DUMP_PAUSE_TICKS);
    }
    if (held) watchdog.EnableWatchdog();
}
