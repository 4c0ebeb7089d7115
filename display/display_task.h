// CDisplay: the "Display" task. It owns what the sign shows: the display
// driver, the message on show with the MULTI parser and renderer that draw
// it, the activation requests and their timing, and the display lock through
// which every activation, validation and graphic request passes. Its step
// (Run) works through the change-notification bits it watches, then its
// letters, then the running message's countdown; each unit takes the lock.
//
// The units live in their own files: request slots and selection
// (request_slots.cpp), the checks and start of a message (activation.cpp),
// the message-table sweep (validation.cpp), the graphic table (graphics_store.cpp),
// the maintenance letters (maintenance.cpp), bitmap files (bitmap_files.cpp),
// the memory clear (memory_clear.cpp), the sign settings (sign_settings.cpp),
// the brightness control (brightness.cpp) and the test patterns (test_patterns.cpp).
#pragma once

#include "display/brightness.h"
#include "display/disp/face.h"
#include "display/display_entries.h"
#include "display/display_lock.h"
#include "display/frame_output.h"
#include "display/j6_display_driver.h"
#include "display/lcd_display_driver.h"
#include "display/message.h"
#include "display/message_codes.h"
#include "display/message_rows.h"
#include "display/module_types.h"
#include "display/multi_parser.h"
#include "runtime/mail_task.h"
#include "store/filesystem.h"

class CRender;
namespace disp {
class frame;
struct pixel;
} // namespace disp

// Display states: what the primary face's update does next.
enum display_state : uint32_t {
    DISPLAY_TEST_PATTERN = 1,
    DISPLAY_PIXEL_TEST = 2, // halted until a pixel test ends
    DISPLAY_BLANK = 3,
    DISPLAY_START_MESSAGE = 4,
    DISPLAY_PAGE_ON = 5,
    DISPLAY_PAGE_OFF = 6,
};

// NTCIP dmsMsgSourceMode values of the requesters.
enum msg_source_mode : uint8_t {
    SOURCE_MODE_OTHER = 1, // overheight emergency, the display's own blanking rules
    SOURCE_MODE_LOCAL = 2, // front panel, private activation object, the fail-safe blank
    SOURCE_MODE_CENTRAL = 8,
    SOURCE_MODE_TIMEBASE = 9,
    SOURCE_MODE_COMM_LOSS = 12,
    SOURCE_MODE_END_DURATION = 14,
};

const uint8_t REQUEST_SOURCE_ORDINARY = 2;
const uint16_t DURATION_UNTIL_REPLACED = 65535;

// One activation as the checks see it: the decoded request and the values of
// the message it names.
struct CMessageActivation {
    CMsgActivationCode code;
    char multi[MULTI_MAX_TEXT + 2]; // a text longer than a message holds is cut one past
    uint32_t multi_length;
    char owner[128];
    uint32_t owner_length;
    uint16_t crc;
    uint32_t beacon, pixel_service, run_time_priority, status;
    uint32_t syntax_error, error_position;
    void Reset();
};

class CDisplay : public CMailTask {
  public:
    explicit CDisplay(post_office& office);
    // One step: late-step check, the watched bits, the letters, the countdown.
    uint32_t Run() override;
    void HandleLetter(const letter_s& letter) override;

    // The record of the configured display module type (halvModuleID); its
    // colour class is kept.
    const module_type_record& LookupModuleType();
    // Puts the task's MULTI parser and the renderer in use and creates the
    // display lock (once); run after each configuration.
    void AttachRenderer();
    // Reload after a change of the display configuration objects.
    void LoadDisplayConfiguration();
    // Module class of a module type: 4 for the listed types, 2 or 3 by the
    // module type table's flags byte.
    static uint32_t ClassifyModuleType(uint32_t module_type);
    // Builds the display engine for the configured module type (halvModuleID):
    // the faces ("mirror" first where the type has one, then "primary"), the
    // bus they report on and their diagnostics, every face sized to whole
    // modules (the rounded size and cut line lengths written back); then sizes
    // the renderer's surface, configures the sign's display driver (loading
    // the EPLD when the module type changed) and sends one blank frame.
    // Rebuilds from scratch at every call. -> the renderer's frame rate; 0
    // when the driver could not be configured (no active driver then).
    int ConfigureDisplay(uint32_t height, uint32_t width, uint8_t bits_per_pixel);
    // The per-frame work of the primary face, once per display tick: the
    // page sequencing, then the countdown of the message's duration.
    void OnPrimaryFaceTick();
    // One tick of the page sequencing (page_sequencing.cpp): by the display
    // state, a test pattern, nothing, blank, or the pages of the message
    // with their on and off times.
    void UpdatePrimaryFace();

    // --- frame output (frame_output.cpp) ------------------------------------
    // Sends the sign surface to the active driver when the display state
    // calls for it.
    void SendSurface();
    // Every face's next frame with its failed pixels blanked, the module
    // error map, the pixel test's results, the legibility ratio, the result
    // slots, the front panel's sign image and the faces' ticks.
    void ScanFrames();

    // --- face settings (face_settings.cpp) ----------------------------------
    // Geometry and frame rate of every face, the refresh rate, the module
    // table's designation and serial numbers.
    void ApplyFaceSettings();
    // The record's frame rate, width and height from the sign-size objects;
    // prints "FPS = %d". -> 0 without a record, else 1.
    int ApplyFaceGeometry(face_config* config);
    // Frames a second of the renderer and parser, and the task's period.
    void SetRefreshRate(uint32_t frames_per_second);
    void BuildSerialNumberText();
    // Modules per line from halvLineLength: 0 a full line, a longer line cut
    // to a full one and written back; 0 beyond the face's lines. -> false
    // when a line holds more modules than its count byte can say.
    bool ApplyLineLengths(face_config& config);

    // --- front panel (sign_image.cpp) ---------------------------------------
    // Every nineteenth frame of the primary face to the panel's sign image
    // while the panel shows it; the first frame after it switches to it at once.
    void ShowOnLCD(const disp::frame* frame);
    // Pages of a MULTI text; 0 before the display configuration.
    uint8_t PreviewPage(const char* text, uint32_t length);
    // Draws one page (1 the first) of a text into a preview surface (and
    // the panel image driver) without touching the message on show; page 1
    // starts from the sign's defaults, later pages from what the pages
    // before left. -> 1 drawn, 0 not.
    int PreviewMessage(CSurface* surface, front_panel_image* driver, const char* text,
                       uint32_t length, uint32_t page, CMessage& preview);
    // The front-panel manager as the registry finds it (peripheral 70),
    // looked up at each step until found; a stand-in may be handed over instead.
    void SetFrontPanelManager(front_panel_view* manager) { front_panel_ = manager; }

    CJ6DisplayDriver& SignDriver() { return sign_driver_; }
    // The panel's sign image, handed over by the start-up before the task
    // starts and sized at every display configuration; null detaches it.
    void AttachFrontPanelImage(front_panel_image* driver);
    front_panel_image* FrontPanelDriver() { return front_panel_driver_; }
    uint32_t FaceCount() const { return face_count_; }
    disp::face& Face(uint32_t i) { return faces_[i]; }
    face_config& FaceConfig(uint32_t i) { return face_configs_[i]; }
    // "Activate Msg", created by the first display configuration; null before.
    TX_MUTEX* ActivationMutex() { return lock_.Mutex(); }
    // The driver frames go to; null while none is configured.
    display_driver* ActiveDriver() { return active_driver_; }
    bool Showable() const { return showable_; }
    uint8_t ColourClass() const { return colour_class_; }
    // The brightness ceiling in force (0..255): no level above it reaches the sign.
    int32_t BrightnessCeiling() const { return brightness_ceiling_; }
    void SetBrightnessCeiling(int32_t ceiling) { brightness_ceiling_ = ceiling; }

    // --- activation (request_slots.cpp, activation.cpp) ----------------------
    // The central road: dmsActivateMessage into the ordinary slot, then the
    // selection, all under the display lock.
    void ActivateFromObject();
    // Selection and activation of the most urgent request (letter 91).
    void handle_activate_msg();
    // Checks and starts the message of a code. -> the activate_error value.
    uint8_t request_activation(const uint8_t* code, uint32_t length, unsigned slot_number,
                               bool record, uint8_t source_mode, uint8_t source);
    // The running message's countdown; one step per frame of the primary face.
    void CountdownDuration();
    // Requests dmsEndDurationMessage in the ordinary slot.
    void ActivateEndDurationMessage();

    // --- message table and graphics (validation.cpp, graphics_store.cpp) ----
    void ValidateMessage();
    // Checks one MULTI text for validation and writes the validation objects.
    bool CheckMULTI(const char* text, uint32_t length, int mode);
    void StoreGraphic();

    // --- maintenance letters (maintenance.cpp) -------------------------------
    // Letter 24: the lock of changeable rows 501-550 changed.
    void ChangeMessageLock();
    // Once per step with the mailbox empty: returns the lock when its time
    // is up or the control mode no longer allows the open rows.
    void AutoLock();
    uint16_t AutoLockCountdown() const { return auto_lock_countdown_; }
    // Letter 25: dmsNumPermanentMsg from the valid rows 501-550.
    void CountPermanentMessages();
    // Letter 88: the fontStatus request values become their states.
    void ServeFontStatusRequests();
    // Letter 96: the font set follows dmsSignType.
    void ChangeFontSet();
    // The failed-pixel records of detection type 2 (pixel test) and 3 (found
    // while messages were shown).
    void ClearFaceErrorTables();
    void ClearFaceErrorTables2();
    // Letter 31: real-time pixel diagnostics switched; 113 and 114: the front
    // panel clears the faces' own or second error frames and their records.
    void SwitchPixelDiagnostics();
    void ClearPixelTestFailures();
    void ClearDisplayFailures();
    // Letter 124: two console lines per module of the face in the letter's byte.
    void DumpModules();

    // --- bitmap files (bitmap_files.cpp) -------------------------------------
    // The position of the file name of the next graphic tag ("[ms11,g,a,b,name]")
    // at or after `from` in `text`; -1 when none. `name_length` receives the
    // length of the name (up to "]", or to the end of the text).
    static int32_t FindGraphicTag(const char* text, uint32_t length, uint32_t from,
                                  uint32_t* name_length);
    // Whether a valid message of memory type 2, 3 or 4 names the file (a tag
    // whose name starts with `name`).
    static bool IsBitmapReferenced(uint32_t memory_type, const char* name);
    // Deletes the ".bmp" files of "./Bitmaps/" no valid message names.
    // -> the driver's result of opening the directory when it failed, else of closing it.
    static int PurgeBitmapDirectory(CFileSystem_Driver& driver, FS_MEDIA* media);
    // Deletes the bitmap files of the flash no valid message of any type names.
    static void RemoveUnusedBitmaps();

    // --- memory clear (memory_clear.cpp) -------------------------------------
    // Serves dmsMemoryMgmt, then the memory-clear command halvObj2_3.
    void ClearMemory();

    // --- blanking rules and failed-pixel records (blanking.cpp) ---------------
    // A blank into the ordinary request slot with the two source bytes.
    void RequestBlank(uint8_t first, uint8_t second);
    // The legibility rule (panynjObj1_6 below halvLegibilityRatioThreshold) and
    // the failed-pixel rule (a failure count above fdotMaxNumPixelFailure).
    void CheckLegibility();
    void CheckFailedPixels();
    // Enterprise-specific trap 16 with sysLocation and globalTime.
    void SendDisplayTrap();
    // One failed pixel (x, y, failure bits) as row `entry` of its detection type.
    void StorePixelError(uint32_t detection_type, uint32_t entry, uint8_t colour_class,
                         const disp::pixel& failed);
    // The bit map of every face's failed pixels into pixelFailureBitmap.
    void CountModuleErrors();
    static void StoreFailureBitmap(const uint8_t* bitmap, uint32_t length);
    // Every face starts its pixel test.
    void KickPixelTest();

    // --- sign settings (sign_settings.cpp) -----------------------------------
    static void UpdateSignDimensions();
    static void SetSignSize(uint32_t module_type, uint32_t height, uint32_t width,
                            uint32_t character_height, uint32_t character_width);
    static void ReconfigureColor();
    void SetBitsPerColor(uint8_t bits);
    uint8_t BitsPerColor() const { return bits_per_color_; }
    // Follows bit 0x20 of halvSpecialFeatureSet: the first user community and
    // the character-matrix font are reset once per change.
    void ResetCommunityAndFonts();
    // Sign types 4 and 132 show a single character-matrix font, loaded into
    // font row 0 under the display lock.
    static bool CharacterMatrixSign();
    void LoadCharacterMatrixFont();
    // The peripheral task's climate question; this sign never asks for action.
    static int ClimateQuery(CDisplay* display, int32_t temperature);

    // --- brightness (brightness.cpp) -----------------------------------------
    // Computes the level from the illumination objects and hands it to the
    // driver; `reset` restarts the photocell search. Any thread: it takes
    // the display lock.
    void UpdateBrightness(bool reset);
    void ComputeBrightnessCurve();
    // Letter 119: the built-in table follows bit 0x8 of the feature set.
    void ApplyBrightnessTable();
    // The ceiling (0..255) that the lit share of a face's current frame allows.
    int32_t ComputeBrightnessLimit(disp::face& face);
    brightness_control& Brightness() { return brightness_; }

    // --- test patterns (test_patterns.cpp) -----------------------------------
    // One tick of the test pattern of a display test code (halvObj1_1).
    void DrawTestPattern(uint32_t code);
    // The custom test colour of code 32 (the front panel's test-pattern screen).
    void SetCustomTestColour(uint8_t red, uint8_t blue, uint8_t green) {
        custom_test_colour_[0] = red;
        custom_test_colour_[1] = blue;
        custom_test_colour_[2] = green;
    }

    display_lock& Lock() { return lock_; }
    // The slot of a face's "Pixel Test Results" picture; -1 none.
    int PixelResultsSlot(uint32_t face) const { return pixel_results_slot_[face]; }
    int32_t OnTicks() const { return on_ticks_; }
    int32_t OffTicks() const { return off_ticks_; }
    uint32_t DisplayState() const { return display_state_; }
    uint8_t PageCount() const { return page_count_; }
    bool BeaconOn() const { return beacon_on_ != 0; }
    bool HasCurrentText() const { return has_current_text_; }
    // The message on show; read and drawn only under the display lock.
    CMessage& DisplayedMessage() { return message_; }
    CMULTIParser* ParserInUse() { return parser_in_use_; }
    CRender* RenderInUse() { return render_in_use_; }
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
    bool FacesFit() const;
    void ClearDriverFailure();
    void ProcessDatabaseEvents();

    // request_slots.cpp
    bool determine_msg_to_run(unsigned& slot, uint8_t* code);
    int CompareRequestSlots(unsigned last, unsigned slot, const uint8_t* code);
    void StartSlotTimer(unsigned slot, const uint8_t* code);
    int RefreshSlotDuration(unsigned slot, uint8_t* code);
    void EmptySlot(unsigned slot);
    void ExpireRunningMessage();
    void RecordSlotActivation(unsigned slot, const uint8_t* code);
    void ActivateFailSafeBlank();

    // activation.cpp
    uint8_t CheckActivation(const uint8_t* code, uint32_t length, CMessageActivation& record);
    uint8_t LoadMessage(CMessageActivation& record);
    void ActivateMessage(CMessageActivation& record);
    void RecordActivationResult();
    void RecordActivationError(uint8_t error);
    int TrialParse(const char* text, uint32_t length, uint32_t& error_position);

    // validation.cpp
    void SweepMessageRow(const message_columns& columns, unsigned row, bool changeable);

    // page_sequencing.cpp
    void DrawTestPatternState();
    void WaitForPixelTest();
    void ShowBlank();
    void StartMessage();
    void ShowPageOn();
    void ShowPageOff();
    void ShowNextPage();
    void ComputePageTimes();
    void SavePageAttributes();
    void RestorePageAttributes();

    // frame_output.cpp
    void LookUpFrontPanel(); // sign_image.cpp
    bool PixelTestComplete();
    // -> true when pixels of the frames were blanked; their lit pixels before
    // are then in lit (left untouched otherwise).
    bool ScanFailedPixels(disp::frame* const* frames, uint32_t* lit, bool test_complete);
    void CollectPixelTest(uint32_t stored);
    void StoreCurrentDisplay(disp::frame* frame);

    // face_settings.cpp
    void RegisterResultSlots(uint32_t face);

    // blanking.cpp
    void BlankByRule(uint8_t rule_source);
    bool rule_blank_requested_ = false; // in this step: the rules wait for it

    // Handlers of the watched bits and letters (display_handlers.cpp).
    void StartPixelTest();
    void ClearFaceFrames();
    void ResetDisplayState();
    void ApplyFeatureSet();
    void ApplyHdlcAddress();
    void SwitchBrightnessCeiling();

    // brightness.cpp
    void RefreshBrightness();
    void OnBrightnessTableChanged();
    void BrightnessStep();
    void TrackBrightnessCeiling();

    // The watched "database" bits and the letters, each with its handler.
    struct flag_row;
    struct letter_row;
    static const flag_row FLAG_ROWS[];
    static const letter_row LETTER_ROWS[];

    int32_t brightness_ceiling_ = 255;
    uint8_t colour_class_ = MODULE_COLOUR_MONO;
    CJ6DisplayDriver sign_driver_{&brightness_ceiling_};
    front_panel_image* front_panel_driver_ = nullptr;
    display_driver* active_driver_ = nullptr;
    brightness_control brightness_{active_driver_, brightness_ceiling_};
    uint8_t custom_test_colour_[3] = {}; // red, blue, green

    uint8_t pixel_test_running_ = 0;
    uint32_t font_service_steps_ = 0;
    // Bit 31: the ceiling computed from the frame is in force; bit 30: it may rise.
    uint32_t ceiling_flags_ = 0x40000000;
    uint32_t duration_reference_ = 0, duration_minutes_ = 0;
    uint32_t display_state_ = DISPLAY_BLANK;
    uint8_t page_count_ = 0;
    uint8_t beacon_on_ = 0;
    bool has_current_text_ = false;
    bool first_activation_ = true;
    unsigned last_slot_ = 0;

    // Page sequencing.
    int32_t on_ticks_ = 0, off_ticks_ = 0;
    uint16_t saved_field_index_ = 0;
    page_attribute_snapshot page_snapshot_{};
    uint8_t frame_mark_copy_ = 0; // the test patterns set it to 1

    // Frame output.
    static const uint32_t MODULE_MAP_BYTES = 576; // one bit a module
    uint8_t module_map_[MODULE_MAP_BYTES] = {};
    int pixel_results_slot_[MAX_FACES] = {-1, -1};
    failed_pixel_list failed_pixels_;
    blanked_frames blanked_;
    shown_frame_memory shown_frame_;
    front_panel_view* front_panel_ = nullptr;

    display_lock lock_;
    CMULTIParser parser_;
    CMULTIParser* parser_in_use_ = nullptr;
    CRender* render_in_use_ = nullptr;
    // All of these are used under the display lock only.
    CMessage message_;                         // the message on show
    CMessage scratch_;                         // trial parses and validation
    CMessageActivation activation_;            // the activation being checked
    char validation_text_[MULTI_MAX_TEXT + 2]; // the row being validated
    disp::face faces_[MAX_FACES];
    face_config face_configs_[MAX_FACES];
    bool face_fits_[MAX_FACES] = {}; // within the module limits of a face
    uint32_t face_count_ = 0;
    uint8_t face_id_ = 0;
    bool configuring_ = false;
    // The sign can show its configuration: the driver is configured, every
    // face fits and a frame fits the frame area. Otherwise the controller
    // error bits are up and no message but the blank is activated.
    bool showable_ = false;

    // Maintenance letters and sign settings.
    uint8_t letter_byte_ = 0; // data byte 0 of the letter being handled
    uint16_t auto_lock_countdown_ = 0;
    uint8_t bits_per_color_ = 0;
    uint32_t community_feature_ = 0; // bit 0x20 as last followed
};

CDisplay& TheDisplay();

// Every row of a status table (dmsGraphicStatus, fontStatus) that holds
// inUse (5) becomes readyForUse (4), notified and not validated.
void release_in_use(const DbObject& statuses);
