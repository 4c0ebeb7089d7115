// The MULTI parser: walks the NTCIP 1203 MULTI text of a message one page at
// a time, keeps the message's text attributes up to date as tags change them,
// and hands every piece of content and every layout step to an element
// callback. Each page is walked twice: a measuring pass and a drawing pass.
// Results are the dmsMultiSyntaxError values (2 = success).
#pragma once

#include "display/message.h"

#include <cstdint>

// Parse results: the NTCIP 1203 dmsMultiSyntaxError values, plus 99 (empty
// page) and 0 (nothing to parse).
enum multi_syntax_error : int {
    MULTI_NOTHING = 0,
    MULTI_OTHER = 1,
    MULTI_OK = 2,
    MULTI_UNSUPPORTED_TAG = 3,
    MULTI_UNSUPPORTED_TAG_VALUE = 4,
    MULTI_TEXT_TOO_BIG = 5,
    MULTI_FONT_NOT_DEFINED = 6,
    MULTI_CHARACTER_NOT_DEFINED = 7,
    MULTI_FIELD_DEVICE_NOT_EXIST = 8,
    MULTI_FIELD_DEVICE_ERROR = 9,
    MULTI_FLASH_REGION_ERROR = 10,
    MULTI_TAG_CONFLICT = 11,
    MULTI_TOO_MANY_PAGES = 12,
    MULTI_FONT_VERSION_ID = 13,
    MULTI_GRAPHIC_ID = 14,
    MULTI_GRAPHIC_NOT_DEFINED = 15,
    MULTI_EMPTY_PAGE = 99,
};

class CMULTIParser;

// Handler of one tag: the tag's text runs from `tag` (after "[") to `end`
// (its closing "]", exclusive).
typedef int (*multi_tag_handler)(CMULTIParser& parser, const char* tag, const char* end,
                                 CMessage& message);

// Element callback: returns 2 to go on or a multi_syntax_error to stop.
typedef int (*multi_callback)(void* context, CMessage* message);

// Sign types of dmsSignType that fix character cells.
bool multi_is_character_matrix(uint32_t sign_type); // 4, 132
bool multi_is_line_matrix(uint32_t sign_type);      // 5, 133

// What the tags need to know about the sign, read once per parse.
struct multi_sign {
    uint32_t width, height;           // vmsSignWidthPixels, vmsSignHeightPixels
    uint32_t char_width, char_height; // vmsCharacterWidthPixels, vmsCharacterHeightPixels
    uint32_t sign_type;               // dmsSignType
    uint32_t module_id;               // halvModuleID
    uint32_t module_width;            // module width in pixels of that type
    uint32_t colour_class;            // 1 mono, 2 two-colour, 3 full colour
    uint32_t special_features;        // halvSpecialFeatureSet
};

struct multi_font_row {
    uint32_t row;         // 0-based table row
    uint16_t version_id;  // fontVersionID
    uint8_t status;       // fontStatus
    uint8_t line_spacing; // fontLineSpacing
};

struct multi_graphic_row {
    uint16_t id;    // dmsGraphicID
    uint8_t status; // dmsGraphicStatus
    uint32_t width, height;
};

enum multi_temperature : uint8_t {
    MULTI_TEMP_MIN_CABINET, // tempMinCtrlCabinet
    MULTI_TEMP_MAX_CABINET, // tempMaxCtrlCabinet
    MULTI_TEMP_MIN_HOUSING, // tempMinSignHousing
    MULTI_TEMP_MAX_HOUSING, // tempMaxSignHousing
};

// Where the parser and its tags read the sign, the defaults and the font and
// graphic tables, and where [ms11,gpo] sets outputs. The default source reads
// the object store (multi_store.cpp); tests may supply their own.
class CMultiSource {
  public:
    virtual ~CMultiSource();
    virtual void ReadSign(multi_sign& sign) = 0;
    virtual void LoadDefaults(message_defaults& defaults) = 0;
    // First row (of 20) whose fontNumber is `number`; false when none.
    virtual bool FindFont(uint32_t number, multi_font_row& row) = 0;
    // First row (of 50) whose dmsGraphicNumber is `number`; false when none.
    virtual bool FindGraphic(uint32_t number, multi_graphic_row& row) = 0;
    virtual int32_t Temperature(multi_temperature which) = 0;
    // Finds a bitmap file by name, then under "Bitmaps/"; writes the path found.
    virtual bool FindBitmap(const char* name, uint32_t length, char* path, uint32_t size) = 0;
    // General-purpose output request n (1-10) raised or cleared.
    virtual void SetOutput(uint32_t number, bool on) = 0;
    // Rows of the speed-detector table.
    virtual uint32_t SpeedDetectors() = 0;
};

// [ms11,gpo,N,V] of the store source goes to this hook (the peripheral task's
// general-purpose output requests); none installed: ignored.
void multi_set_output_hook(void (*hook)(uint32_t number, bool on));

// The object-store source shared by every parser that is given no other.
CMultiSource& multi_store_source();

class CParser {
  public:
    virtual ~CParser() {}
    virtual bool ParsePage(void* context, multi_callback callback, CMessage* message,
                           uint32_t page) = 0;
    virtual uint8_t CountPages(const char* text, uint32_t length) = 0;
    virtual bool NextPage(CMessage* message) = 0;
    virtual bool ReparsePage(CMessage* message) = 0;
    virtual int Reset(CMessage* message) = 0;
    virtual int Validate(void* context, multi_callback callback, CMessage* message,
                         const char* text, uint32_t length) = 0;
    virtual int SetText(void* context, multi_callback callback, CMessage* message, const char* text,
                        uint32_t length) = 0;
};

class CMULTIParser : public CParser {
  public:
    CMULTIParser();
    explicit CMULTIParser(CMultiSource& source);
    ~CMULTIParser() override;

    bool ParsePage(void* context, multi_callback callback, CMessage* message,
                   uint32_t page) override;
    uint8_t CountPages(const char* text, uint32_t length) override;
    bool NextPage(CMessage* message) override;
    bool ReparsePage(CMessage* message) override;
    int Reset(CMessage* message) override;
    int Validate(void* context, multi_callback callback, CMessage* message, const char* text,
                 uint32_t length) override;
    int SetText(void* context, multi_callback callback, CMessage* message, const char* text,
                uint32_t length) override;

    // One page from `start`; leaves the next page's position in *next_page.
    // measure_only: the measuring pass alone (validation).
    int ParseCore(void* context, multi_callback callback, CMessage* message, const char* text,
                  uint32_t length, uint32_t start, uint32_t* next_page, bool measure_only);

    // Steps the flash record at the message's flash index by one frame.
    void StepFlash(CMessage& message);

    // Display frame rate (frames per second) for flash and moving-text times.
    void SetFrameRate(uint8_t frames_per_second) { frame_rate_ = frames_per_second; }
    uint8_t FrameRate() const { return frame_rate_; }

    // For the tag handlers.
    CMultiSource& Source() { return *source_; }
    const multi_sign& Sign() const { return sign_; }
    bool Validating() const { return measure_only_; }
    void SetLineHasContent() { line_has_content_ = 1; }

  private:
    struct page_state;
    int ScanPass(page_state& state);
    int ScanTag(page_state& state);
    int RunTag(page_state& state, int action, multi_tag_handler handler, uint32_t tag_start,
               uint32_t& resume);
    int NewPage(page_state& state, uint32_t tag_start, uint32_t after_tag);
    int EndOfText(page_state& state);
    int Emit(page_state& state, uint32_t kind, uint32_t error_position);
    int FlushRun(page_state& state, uint32_t error_position);
    void StartRun(page_state& state, uint32_t at);
    void StartDrawingPass(page_state& state);

    void* context_;
    multi_callback callback_;
    uint8_t line_has_content_;
    CMultiSource* source_;
    multi_sign sign_;
    uint8_t frame_rate_;
    bool measure_only_;
};
