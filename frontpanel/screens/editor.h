// The message editor of the front panel (menu 28, "CREATE MESSAGE"): the
// operator types a new message as MULTI text into the manager's edit buffer,
// which always starts with a prefix of page-time, justification and font
// tags. After every change one layout routine measures the text against the
// sign's pixel width and height and the font tables of the store: it wraps
// lines by inserting "[NL]", breaks pages by inserting "[NP]" (the next layout
// turns both back into a blank before measuring again), settles typed line
// breaks "[nL]" into "[nl]" or "[np]", and cuts text beyond the sign's page
// limit. Rows 3-5 of the LCD show the page being edited. Esc opens the save
// options (frontpanel/screens/save.h).
//
// The buffer holds 1024 bytes, the line table 32 lines and the column table
// 514 character indexes: a key whose result would not fit any of them is
// refused, the text stays as it was and row 8 says so.
#pragma once

#include "frontpanel/menu.h"

#include <cstddef>
#include <cstdint>

// A walk over MULTI text. A tag is a "[" not followed by another "[", up to
// its "]"; "[[" and "]]" are one character each. Counted tags (line and page
// breaks, hex characters, numbered fonts, graphics) take a character
// position like a character; other tags take none and share the index of the
// element after them.
struct multi_edit_cursor {
    char* text = nullptr;
    int32_t length = 0;   // bytes of text
    int32_t capacity = 0; // bytes the buffer holds
    int32_t position = -1;
    int32_t index = -1;

    void Reset() { position = index = -1; }
    bool AtEnd() const { return position >= length; }
    bool Next();
    bool Prev();
    bool AtTag() const;
    bool AtEscapedBracket() const;
    // The tag at the cursor names `name` (after "[", ignoring case or not;
    // with allow_close also "/" then name).
    bool TagIs(const char* name, bool ignore_case = true, bool allow_close = false) const;
    bool IsCounted(int32_t offset = 1) const;
    // The tag at the cursor, as far as its "]"; 0 when there is none.
    int32_t TagLength() const;
    // -> false (nothing changed) when the bytes would not fit the buffer.
    bool Insert(const char* bytes, int32_t n);
    bool Delete(int32_t n);
    bool DeleteTag();
    // The decimal digits from position + offset (0 when none); `found` says
    // whether there was one.
    uint32_t Number(int32_t offset, bool* found = nullptr) const;
    uint32_t HexNumber(int32_t offset) const;
};

// The sign's shape as the editor measures it.
enum editor_sign_class : uint8_t {
    EDITOR_FULL_MATRIX = 0,
    EDITOR_LINE_MATRIX = 1,
    EDITOR_CHARACTER_MATRIX = 2,
};

// One laid-out line of the sign. Widths are 16-bit: signs up to 512 pixels
// wide are accepted.
struct editor_line {
    uint16_t first_index = 0;
    uint8_t page = 1;
    uint8_t font = 1;
    uint16_t width = 0;
    uint8_t height = 0;
    uint8_t spacing_below = 0;
    uint8_t largest_line_spacing = 0;
    uint8_t page_justification = 3;
    uint8_t line_justification = 3;
    int16_t top_row = 0;
};

// Attributes in effect at a place of the text.
struct editor_attributes {
    uint8_t font = 1;
    uint8_t page_justification = 3;
    uint8_t line_justification = 3;
};

class CLCD_MessageEditor : public CMenuItem {
  public:
    static constexpr size_t LINE_CAPACITY = 32;
    static constexpr size_t COLUMN_CAPACITY = 514;
    static constexpr uint8_t LCD_PAGE_LINES = 3;

    explicit CLCD_MessageEditor(int32_t id = MENU_MESSAGE_EDITOR);
    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    // What the layout left (tests and the drawing).
    uint16_t InsertionPoint() const { return insertion_point_; }
    uint8_t PageCount() const { return page_count_; }
    uint8_t CurrentPage() const { return current_page_; }
    uint32_t LineCount() const { return line_count_; }
    const editor_line& Line(size_t i) const { return lines_[i]; }
    uint16_t SignWidth() const { return sign_width_; }
    bool KeyRefused() const { return refused_ != 0; }

  private:
    struct font_metrics;
    enum tag_step : uint8_t { TAG_NO_WIDTH, TAG_END_LINE, TAG_CHARACTER };

    void ReadSign();
    void Attach(CLCD_Manager& manager);
    font_metrics Metrics(uint8_t font) const;
    // The layout; false when a table would overflow.
    bool Layout();
    tag_step MeasureTag(editor_attributes& current, font_metrics& metrics, editor_line& line,
                        uint32_t* character);
    bool MeasureLine(editor_line& line);
    bool WrapLine(editor_line& line, const multi_edit_cursor* blank, const editor_line& at_blank,
                  uint8_t char_spacing);
    bool EndLine(editor_line& line, const editor_attributes& current);
    bool SetColumn(int32_t index, uint16_t column);
    void CaptureAt(int32_t index, const editor_attributes& current);
    uint8_t Paginate();
    bool WalkToLineEnd(uint16_t next_first_index);
    void PlacePage(size_t first, size_t end, uint16_t page_height);
    void LocateInsertionPoint();
    void ReportCursor(CLCD_Manager& manager);
    int32_t LineStartColumn(const editor_line& line) const;
    void Seek();
    void Tidy();
    bool ApplyFontRule(uint8_t font);

    // Keys.
    bool Backspace();
    bool Enter(bool page_break);
    bool Character(uint8_t character, bool overwrite);
    void Move(CLCD_Manager& manager, int32_t step);
    // Applies one edit and lays the text out; an edit or a layout that does
    // not fit puts the text back as it was and marks the key refused.
    void Change(CLCD_Manager& manager, bool (CLCD_MessageEditor::*edit)(uint8_t, bool),
                uint8_t character, bool flag);
    void Settle(CLCD_Manager& manager);
    bool BackspaceStep(uint8_t, bool) { return Backspace(); }
    bool EnterStep(uint8_t, bool page_break) { return Enter(page_break); }

    uint16_t insertion_point_ = 0;
    editor_attributes at_insertion_;
    editor_attributes defaults_;
    uint8_t current_page_ = 1;
    uint8_t current_line_ = 0;
    uint8_t captured_ = 0;
    editor_line lines_[LINE_CAPACITY + 1];
    uint16_t columns_[COLUMN_CAPACITY] = {};
    uint32_t line_count_ = 0;
    multi_edit_cursor cursor_;
    uint8_t page_count_ = 1;
    uint8_t font_at_insertion_ = 1;
    uint8_t sign_class_ = EDITOR_FULL_MATRIX;
    uint16_t sign_height_ = 0;
    uint16_t sign_width_ = 0;
    uint8_t max_pages_ = 1;
    uint8_t refused_ = 0;
    bool cut_ = false; // the last layout dropped text past the last page
    // The text before the key being applied, put back when it is refused.
    char undo_text_[1024] = {};
    int32_t undo_length_ = 0;
    uint16_t undo_insertion_point_ = 0;
};

extern const menu_family EDITOR_SCREENS;
