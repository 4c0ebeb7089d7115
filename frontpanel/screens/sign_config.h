// The front panel's sign configuration screens: what the sign is built of
// and how it is driven. They write the same objects a central system writes
// and call the display's own setters, so that the sign, its picture and the
// central system follow at once (sizes, access, bits per colour, frame rate)
// or at the display's configuration reload (module type, line lengths).
//
//   49     CLCD_ModuleType            the module type table, six a page
//   50     CLCD_MatrixType            FULL, LINE (then the line height), CHAR
//   52, 53 sign width, height         number entries (SetSignSize)
//   56     sign address               number entry, 1-256
//   57     CLCD_SignAccess            OTHER, WALK-IN, REAR, FRONT
//   80, 81 CLCD_NumberWizard          controller and sign serial numbers
//   64     CLCD_SpecialFeatureConfig  eleven feature bits, digits toggle them
//   61-63  bits per colour, frames per second, pixels per CAN line
//   85-93  CLCD_LineLength            modules of text lines 1-9
//
// The number entries are rows of SIGN_CONFIG_ROWS; a one-number wizard is a
// row of a number_wizard_row table (the brightness screens use it too).
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/number_entry.h"
#include "frontpanel/screens/system.h"
#include "frontpanel/screens/wizard.h"
#include "store/objects.h"

#include <cstddef>
#include <cstdint>

// --- what the screens read of the display -------------------------------------------------

// The primary face as the display configured it (zeros before it did).
struct face_geometry {
    uint32_t width;        // pixels
    uint32_t module_width; // pixels
    uint32_t line_count;   // text lines
};
face_geometry primary_face_geometry();
// Modules across the face; 0 when a width is 0 (no division by zero).
uint32_t modules_across(const face_geometry& face);

// --- a list shown six a page ----------------------------------------------------------------

// Rows 2-7 show the entries of the current page, "N) text" from column 1;
// a digit naming a shown row picks it, a higher one is swallowed; Up and
// Down turn the page.
class CLCD_PagedRows : public CMenuItem {
  public:
    static const uint8_t ROWS_PER_PAGE = 6;

    explicit CLCD_PagedRows(int32_t id) : CMenuItem(id) {}
    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    uint8_t Page() const { return page_; }
    uint8_t RowsShown() const { return rows_shown_; }

  protected:
    virtual size_t EntryCount() const = 0;
    // The text after "N) " and, right-justified, a mark (may stay empty).
    virtual void Entry(size_t index, bool french, char* text, size_t size, const char** mark) = 0;
    virtual void Pick(CLCD_Manager& manager, size_t index) = 0;
    // Scroll marks at x 232 (the feature list has them).
    bool scroll_marks_ = false;

  private:
    uint8_t PageCount() const;

    uint8_t page_ = 0;
    uint8_t rows_shown_ = 0;
};

class CLCD_ModuleType : public CLCD_PagedRows {
  public:
    explicit CLCD_ModuleType(int32_t id) : CLCD_PagedRows(id) {}
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  protected:
    size_t EntryCount() const override;
    void Entry(size_t index, bool french, char* text, size_t size, const char** mark) override;
    void Pick(CLCD_Manager& manager, size_t index) override;
};

struct special_feature_row {
    const char* text;
    uint32_t bit; // of halvSpecialFeatureSet
};
extern const special_feature_row SPECIAL_FEATURES[11];

class CLCD_SpecialFeatureConfig : public CLCD_PagedRows {
  public:
    explicit CLCD_SpecialFeatureConfig(int32_t id);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;

  protected:
    size_t EntryCount() const override;
    void Entry(size_t index, bool french, char* text, size_t size, const char** mark) override;
    void Pick(CLCD_Manager& manager, size_t index) override;
};

// --- wizards ------------------------------------------------------------------------------------

// A list step's callback: the second entry continues to the next step, every
// other entry finishes the wizard.
bool list_continues_on_second_entry(wizard_step& step, uint32_t* index);

// dmsSignType values of the matrix types.
enum sign_matrix : uint32_t { MATRIX_CHAR = 4, MATRIX_LINE = 5, MATRIX_FULL = 6 };
// A line height raised to whole modules of `module_height` (0 stays 0).
uint32_t line_height_in_modules(uint32_t height, uint32_t module_height);

class CLCD_MatrixType : public CLCD_SimpleWizardBase {
  public:
    explicit CLCD_MatrixType(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  protected:
    void Finish(CLCD_Manager& manager) override;

  private:
    wizard_step list_;
    wizard_step height_;
    const char* entries_[4] = {};
};

class CLCD_SignAccess : public CLCD_OneListWizard {
  public:
    explicit CLCD_SignAccess(int32_t id);
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  protected:
    void FillEntries(bool french) override;
    void Finish(CLCD_Manager& manager) override;
};

// A wizard of one number step: {menu id, prompt, rule, rule text, footer,
// what Finish does, the suffix}. Each visit starts from 0.
struct number_wizard_row;
using number_wizard_finish_fn = void (*)(const number_wizard_row& row, uint32_t value);
// `changed`: a value was stored since the start.
using number_wizard_suffix_fn = void (*)(const number_wizard_row& row, bool changed, char* text,
                                         size_t size);
struct number_wizard_row {
    int32_t id;
    menu_text prompt;
    const char* rule;      // restriction string; null accepts every value
    const char* rule_text; // after "RESTRICTIONS:"
    DbObject object;
    number_wizard_finish_fn finish; // null: the object := value
    number_wizard_suffix_fn suffix;
};

class CLCD_NumberWizard : public CLCD_SimpleWizardBase {
  public:
    explicit CLCD_NumberWizard(const number_wizard_row& row);
    void OnEnter(CLCD_Manager& manager) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  protected:
    void Finish(CLCD_Manager& manager) override;

  private:
    const number_wizard_row& row_;
    wizard_step step_;
    uint8_t changed_ = 0;
};

template <const auto& Rows> CMenuItem* number_wizard_create(int32_t id, const menu_row&) {
    for (const number_wizard_row& row : Rows)
        if (row.id == id) return new CLCD_NumberWizard(row);
    return nullptr;
}

// --- number entries -----------------------------------------------------------------------------

// Width, height, address, bits per colour, frames per second, pixels per CAN
// line and the nine line lengths.
extern const number_entry_row SIGN_CONFIG_ROWS[15];
const int32_t MENU_FIRST_LINE_LENGTH = 85;

// A line length screen shows only for the lines the face has.
class CLCD_LineLength : public CLCD_SimpleNumberEntry {
  public:
    explicit CLCD_LineLength(const number_entry_row& row) : CLCD_SimpleNumberEntry(row) {}
    bool HasRights(CLCD_Manager& manager) override;
};

extern const menu_family SIGN_CONFIG_SCREENS;
