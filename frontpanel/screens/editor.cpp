// The message editor: the MULTI walk, the layout against the sign and the
// keys (see editor.h).
#include "frontpanel/screens/editor.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "store/database.h"
#include "store/objects.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

// --- the MULTI walk ----------------------------------------------------------------------

namespace {

// Tags that take a character position, by the start of their text ("f"
// followed by a digit, a field, is the one rule that is no plain prefix).
const char* const COUNTED_TAGS[] = {"hc", "nl", "np", "ms11,g,"};

bool starts_with_ignoring_case(const char* text, int32_t available, const char* prefix) {
    int32_t n = int32_t(std::strlen(prefix));
    if (n > available) return false;
    for (int32_t i = 0; i < n; ++i)
        if (std::tolower(uint8_t(text[i])) != prefix[i]) return false;
    return true;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool multi_edit_cursor::AtTag() const {
    if (position < 0 || position >= length || text[position] != '[') return false;
    return position + 1 >= length || text[position + 1] != '[';
}

bool multi_edit_cursor::AtEscapedBracket() const {
    if (position < 0 || position + 1 >= length) return false;
    char c = text[position];
    return (c == '[' || c == ']') && text[position + 1] == c;
}

int32_t multi_edit_cursor::TagLength() const {
    if (!AtTag()) return 0;
    const void* close = std::memchr(text + position, ']', size_t(length - position));
    return close ? int32_t(static_cast<const char*>(close) - (text + position)) + 1 : 0;
}

bool multi_edit_cursor::IsCounted(int32_t offset) const {
    int32_t start = position + offset;
    if (start < 0 || start >= length) return false;
    const char* name = text + start;
    int32_t available = length - start;
    if (available >= 2 && std::tolower(uint8_t(name[0])) == 'f' && is_digit(name[1])) return true;
    for (const char* prefix : COUNTED_TAGS)
        if (starts_with_ignoring_case(name, available, prefix)) return true;
    return false;
}

bool multi_edit_cursor::TagIs(const char* name, bool ignore_case, bool allow_close) const {
    if (!AtTag()) return false;
    int32_t start = position + 1;
    if (allow_close && start < length && text[start] == '/') start++;
    int32_t n = int32_t(std::strlen(name));
    if (start + n > length) return false;
    if (ignore_case) return starts_with_ignoring_case(text + start, n, name);
    return std::memcmp(text + start, name, size_t(n)) == 0;
}

bool multi_edit_cursor::Next() {
    if (position < 0) {
        position = 0;
        index = 0;
        return position < length;
    }
    if (position >= length) return false;
    if (AtTag()) {
        int32_t tag = TagLength();
        if (tag == 0) { // no "]": the walk ends here
            position = length;
            return false;
        }
        if (IsCounted()) index++;
        position += tag;
    } else {
        position += AtEscapedBracket() ? 2 : 1;
        index++;
    }
    return position < length;
}

// Walks from the start to the element before this one: brackets read
// backwards cannot tell "]]" from the end of a tag.
bool multi_edit_cursor::Prev() {
    if (position <= 0) {
        Reset();
        return false;
    }
    multi_edit_cursor walk = *this;
    walk.Reset();
    for (;;) {
        multi_edit_cursor step = walk;
        step.Next();
        if (step.position >= position || step.position == walk.position) break;
        walk = step;
    }
    position = walk.position;
    index = walk.index;
    return position >= 0;
}

bool multi_edit_cursor::Insert(const char* bytes, int32_t n) {
    int32_t at = std::max<int32_t>(position, 0);
    if (at > length || n < 0 || length + n > capacity) return false;
    std::memmove(text + at + n, text + at, size_t(length - at));
    std::memcpy(text + at, bytes, size_t(n));
    length += n;
    return true;
}

bool multi_edit_cursor::Delete(int32_t n) {
    int32_t at = std::max<int32_t>(position, 0);
    if (n < 0 || at + n > length) return false;
    std::memmove(text + at, text + at + n, size_t(length - at - n));
    length -= n;
    return true;
}

bool multi_edit_cursor::DeleteTag() {
    int32_t tag = TagLength();
    return tag > 0 && Delete(tag);
}

uint32_t multi_edit_cursor::Number(int32_t offset, bool* found) const {
    uint32_t value = 0;
    int32_t at = position + offset;
    if (found) *found = at >= 0 && at < length && is_digit(text[at]);
    for (; at >= 0 && at < length && is_digit(text[at]) && value < 100000; ++at)
        value = value * 10 + uint32_t(text[at] - '0');
    return value;
}

uint32_t multi_edit_cursor::HexNumber(int32_t offset) const {
    uint32_t value = 0;
    for (int32_t at = position + offset; at >= 0 && at < length && std::isxdigit(uint8_t(text[at]));
         ++at)
        value = (value << 4 | uint32_t(std::isdigit(uint8_t(text[at]))
                                           ? text[at] - '0'
                                           : std::tolower(uint8_t(text[at])) - 'a' + 10)) &
                0xFFFFu;
    return value;
}

// --- the editor ----------------------------------------------------------------------------

namespace {

const menu_text SAVE_HINT = {"PRESS CANCEL FOR MESSAGE SAVE OPTIONS",
                             "APPUYER SUR ANNULER POUR ENREGISTRER"};
const menu_text KEY_REFUSED = {"MESSAGE FULL: KEY REFUSED", "MESSAGE PLEIN: TOUCHE REFUSEE"};
const menu_text EDITOR_OWNER = {"LOCAL EDITOR", "EDITEUR LOCAL"};
const uint8_t EDITOR_PRIORITY = 190;
const int32_t MENU_MESSAGE_SAVE = 31;

// dmsSignType to the editor's sign class.
const struct {
    uint32_t sign_type;
    uint8_t sign_class;
} SIGN_CLASSES[] = {
    {4, EDITOR_CHARACTER_MATRIX},
    {5, EDITOR_LINE_MATRIX},
};

uint8_t font_number(const multi_edit_cursor& cursor, int32_t offset, uint8_t fallback) {
    bool found = false;
    uint32_t value = cursor.Number(offset, &found);
    return found ? uint8_t(value) : fallback;
}

} // namespace

struct CLCD_MessageEditor::font_metrics {
    uint8_t height = 0;
    uint8_t char_spacing = 0;
    uint8_t line_spacing = 0;
    uint8_t font = 1;
};

CLCD_MessageEditor::CLCD_MessageEditor(int32_t id) : CMenuItem(id) {}

void CLCD_MessageEditor::ReadSign() {
    sign_class_ = EDITOR_FULL_MATRIX;
    for (const auto& row : SIGN_CLASSES)
        if (db_get(obj::dmsSignType) == row.sign_type) sign_class_ = row.sign_class;
    uint32_t height = db_get(obj::vmsSignHeightPixels);
    uint32_t width = db_get(obj::vmsSignWidthPixels);
    if (sign_class_ == EDITOR_CHARACTER_MATRIX) { // the character cells' gaps count
        height += height / 7 * 2;
        width += width / 5;
    }
    sign_height_ = uint16_t(std::min<uint32_t>(height, 0xFFFF));
    sign_width_ = uint16_t(std::min<uint32_t>(width, 0xFFFF));
    max_pages_ =
        uint8_t(std::max<uint32_t>(1, std::min<uint32_t>(db_get(obj::dmsMaxNumberPages), 255)));
    defaults_.font = uint8_t(db_get(obj::defaultFont));
    defaults_.page_justification = uint8_t(db_get(obj::defaultJustificationPage));
    defaults_.line_justification = uint8_t(db_get(obj::defaultJustificationLine));
}

void CLCD_MessageEditor::Attach(CLCD_Manager& manager) {
    cursor_.text = manager.editor.text;
    cursor_.capacity = int32_t(message_editor_record::TEXT_BYTES);
    cursor_.length = int32_t(std::min<uint32_t>(manager.editor.length, uint32_t(cursor_.capacity)));
}

CLCD_MessageEditor::font_metrics CLCD_MessageEditor::Metrics(uint8_t font) const {
    font_metrics m;
    m.font = sign_class_ == EDITOR_CHARACTER_MATRIX ? 1 : font;
    if (m.font >= 1 && m.font <= obj::fontHeight.rows) {
        uint16_t row = uint16_t(m.font - 1);
        m.height = uint8_t(db_get(obj::fontHeight.row(row)));
        m.char_spacing = uint8_t(db_get(obj::fontCharSpacing.row(row)));
        m.line_spacing = uint8_t(db_get(obj::fontLineSpacing.row(row)));
    }
    if (sign_class_ == EDITOR_LINE_MATRIX) m.line_spacing = 0;
    if (sign_class_ == EDITOR_CHARACTER_MATRIX) {
        m.line_spacing = 2;
        m.char_spacing = 1;
    }
    return m;
}

namespace {

uint8_t character_width(uint8_t font, uint32_t character) {
    if (font < 1 || character < 1 || character > 255) return 0;
    uint32_t row = 255u * (font - 1u) + (character - 1u);
    return row < obj::characterWidth.rows ? uint8_t(db_get(obj::characterWidth.row(uint16_t(row))))
                                          : 0;
}

} // namespace

void CLCD_MessageEditor::OnEnter(CLCD_Manager& manager) {
    ReadSign();
    at_insertion_ = defaults_;
    current_page_ = 1;
    current_line_ = 0;
    captured_ = 0;
    insertion_point_ = 0;
    line_count_ = 0;
    refused_ = 0;
    message_editor_record& record = manager.editor;
    int n = std::snprintf(record.text, sizeof record.text, "[pt%uo%u][jp%u][jl%u][fo%u]",
                          unsigned(db_get(obj::defaultPageOnTime)),
                          unsigned(db_get(obj::defaultPageOffTime)),
                          unsigned(defaults_.page_justification),
                          unsigned(defaults_.line_justification), unsigned(defaults_.font));
    record.length = uint32_t(std::max(n, 0));
    std::snprintf(record.owner, sizeof record.owner, "%s", manager.Text(EDITOR_OWNER));
    record.priority = EDITOR_PRIORITY;
    Attach(manager);
    cursor_.Reset();
    Layout();
    Settle(manager);
}

// --- the layout ------------------------------------------------------------------------------

bool CLCD_MessageEditor::Layout() {
    cursor_.Reset();
    captured_ = 0;
    line_count_ = 0;
    lines_[0] = editor_line{};
    lines_[0].font = defaults_.font;
    lines_[0].page_justification = defaults_.page_justification;
    lines_[0].line_justification = defaults_.line_justification;
    do {
        if (line_count_ >= LINE_CAPACITY) return false;
        editor_line& line = lines_[line_count_];
        if (!MeasureLine(line)) return false;
        editor_line next;
        next.font = line.font;
        next.page_justification = line.page_justification;
        next.line_justification = line.line_justification;
        lines_[++line_count_] = next;
    } while (!cursor_.AtEnd());
    const int32_t last_index = std::max<int32_t>(cursor_.index, 0);
    if (!captured_) {
        insertion_point_ = uint16_t(last_index);
        const editor_line& last = lines_[line_count_ - 1];
        at_insertion_ = {last.font, last.page_justification, last.line_justification};
    }
    lines_[line_count_].first_index = uint16_t(last_index + 1);
    page_count_ = Paginate();
    LocateInsertionPoint();
    return true;
}

void CLCD_MessageEditor::CaptureAt(int32_t index, const editor_attributes& current) {
    if (index != insertion_point_) return;
    at_insertion_ = current;
    captured_ = 1;
}

bool CLCD_MessageEditor::SetColumn(int32_t index, uint16_t column) {
    if (index < 0 || size_t(index) >= COLUMN_CAPACITY) return false;
    columns_[index] = column;
    return true;
}

CLCD_MessageEditor::tag_step CLCD_MessageEditor::MeasureTag(editor_attributes& current,
                                                            font_metrics& metrics,
                                                            editor_line& line,
                                                            uint32_t* character) {
    multi_edit_cursor& c = cursor_;
    if (c.TagIs("fo")) {
        if (sign_class_ == EDITOR_CHARACTER_MATRIX) return TAG_NO_WIDTH;
        current.font = font_number(c, 3, defaults_.font);
        metrics = Metrics(current.font);
    } else if (c.TagIs("nl")) {
        bool spacing_given = false;
        uint32_t spacing = c.Number(3, &spacing_given);
        if (sign_class_ == EDITOR_FULL_MATRIX && spacing_given)
            line.spacing_below = uint8_t(spacing);
        else if (sign_class_ != EDITOR_LINE_MATRIX)
            line.spacing_below = metrics.line_spacing;
        return TAG_END_LINE;
    } else if (c.TagIs("np")) {
        return TAG_END_LINE;
    } else if (c.TagIs("jl")) {
        current.line_justification = font_number(c, 3, defaults_.line_justification);
    } else if (c.TagIs("jp")) {
        current.page_justification = font_number(c, 3, defaults_.page_justification);
    } else if (c.TagIs("hc")) {
        *character = c.HexNumber(3) & 0xFF;
        return TAG_CHARACTER;
    }
    return TAG_NO_WIDTH;
}

bool CLCD_MessageEditor::MeasureLine(editor_line& line) {
    editor_attributes current = {line.font, line.page_justification, line.line_justification};
    font_metrics metrics = Metrics(current.font);
    line.first_index = uint16_t(cursor_.index + 1);
    multi_edit_cursor blank;
    editor_line at_blank;
    bool blank_seen = false, first_character = true;
    while (cursor_.Next()) {
        CaptureAt(cursor_.index, current);
        uint32_t character = uint8_t(cursor_.text[cursor_.position]);
        if (cursor_.TagIs("NL", false) || cursor_.TagIs("NP", false)) {
            cursor_.DeleteTag(); // a break of the last layout: a blank again
            cursor_.Insert(" ", 1);
            character = ' ';
        } else if (cursor_.AtTag()) {
            tag_step step = MeasureTag(current, metrics, line, &character);
            if (step == TAG_END_LINE) break;
            if (step == TAG_NO_WIDTH) continue;
        }
        if (character == 0) continue;
        if (character == ' ') {
            blank = cursor_;
            at_blank = line;
            blank_seen = true;
        }
        uint32_t width = line.width + character_width(metrics.font, character) +
                         (first_character ? 0 : metrics.char_spacing);
        if (width > sign_width_ && !first_character)
            return WrapLine(line, blank_seen ? &blank : nullptr, at_blank, metrics.char_spacing);
        if (!SetColumn(cursor_.index, line.width)) return false;
        line.width = uint16_t(std::min<uint32_t>(width, 0xFFFF));
        line.font = current.font;
        line.page_justification = current.page_justification;
        line.line_justification = current.line_justification;
        line.height = std::max(line.height, metrics.height);
        line.largest_line_spacing = std::max(line.largest_line_spacing, metrics.line_spacing);
        first_character = false;
    }
    return EndLine(line, current);
}

// The line is too wide at the cursor: it breaks at the last blank, which
// becomes "[NL]", or else just before the character that overflowed.
bool CLCD_MessageEditor::WrapLine(editor_line& line, const multi_edit_cursor* blank,
                                  const editor_line& at_blank, uint8_t char_spacing) {
    if (blank != nullptr) {
        cursor_.position = blank->position;
        cursor_.index = blank->index;
        line = at_blank;
        cursor_.Delete(1);
    } else if (insertion_point_ > cursor_.index) {
        insertion_point_++;
    }
    if (!cursor_.Insert("[NL]", 4)) return false;
    line.spacing_below = char_spacing;
    return EndLine(line, {line.font, line.page_justification, line.line_justification});
}

bool CLCD_MessageEditor::EndLine(editor_line& line, const editor_attributes& current) {
    line.font = current.font;
    line.page_justification = current.page_justification;
    line.line_justification = current.line_justification;
    CaptureAt(cursor_.index, current);
    return SetColumn(std::max<int32_t>(cursor_.index, 0), line.width);
}

// Walks the cursor onto the break tag that ended the line before the one
// starting at `next_first_index`.
bool CLCD_MessageEditor::WalkToLineEnd(uint16_t next_first_index) {
    const int32_t target = int32_t(next_first_index) - 1;
    while (!(cursor_.index == target && (cursor_.TagIs("nl") || cursor_.TagIs("np"))))
        if (!cursor_.Next()) return false;
    return true;
}

uint8_t CLCD_MessageEditor::Paginate() {
    cut_ = false;
    cursor_.Reset();
    uint32_t page = 1;
    size_t i = 0;
    while (i < line_count_ && page <= max_pages_) {
        const size_t first = i;
        lines_[i].page = uint8_t(page);
        uint32_t page_height = lines_[i++].height;
        while (i < line_count_) {
            if (!WalkToLineEnd(lines_[i].first_index) || cursor_.TagIs("np")) break;
            const editor_line& above = lines_[i - 1];
            uint32_t spacing = above.spacing_below == 255 ? (255u + lines_[i].spacing_below + 1) / 2
                                                          : above.spacing_below;
            bool fits = page_height + lines_[i].height + spacing <= sign_height_ &&
                        i - first < LCD_PAGE_LINES;
            if (!fits) {
                // A wrap of this layout becomes a page break of this layout;
                // a break the operator typed stays a break as a page break.
                bool wrap = cursor_.TagIs("NL", false);
                cursor_.DeleteTag();
                cursor_.Insert(wrap ? "[NP]" : "[np]", 4);
                break;
            }
            if (cursor_.TagIs("nL", false)) cursor_.text[cursor_.position + 2] = 'l';
            lines_[i++].page = uint8_t(page);
            page_height += lines_[i - 1].height + spacing;
        }
        PlacePage(first, i, uint16_t(std::min<uint32_t>(page_height, 0xFFFF)));
        page++;
    }
    if (i < line_count_ && i > 0) { // beyond the last page the sign shows
        cut_ = true;
        line_count_ = uint32_t(i);
        cursor_.Delete(cursor_.length - cursor_.position);
        lines_[line_count_].first_index = uint16_t(cursor_.index + 1);
        if (insertion_point_ > cursor_.index) {
            insertion_point_ = uint16_t(cursor_.index);
            const editor_line& last = lines_[line_count_ - 1];
            at_insertion_ = {last.font, last.page_justification, last.line_justification};
        }
    }
    return uint8_t(std::max<uint32_t>(page - 1, 1));
}

void CLCD_MessageEditor::PlacePage(size_t first, size_t end, uint16_t page_height) {
    const int32_t free_rows = int32_t(sign_height_) - int32_t(page_height);
    const uint8_t justification = lines_[end - 1].page_justification;
    int32_t row = justification == 2 ? 0 : justification == 4 ? free_rows : free_rows / 2;
    if (sign_class_ == EDITOR_CHARACTER_MATRIX) row = 1 + row / 9 * 9;
    for (size_t k = first; k < end; ++k) {
        lines_[k].top_row = int16_t(row);
        row += lines_[k].height + lines_[k].spacing_below;
    }
}

void CLCD_MessageEditor::LocateInsertionPoint() {
    current_line_ = 0;
    for (uint32_t i = 0; i < line_count_; ++i)
        if (lines_[i].first_index <= insertion_point_) current_line_ = uint8_t(i);
    current_page_ = lines_[current_line_].page;
    font_at_insertion_ = at_insertion_.font;
}

int32_t CLCD_MessageEditor::LineStartColumn(const editor_line& line) const {
    int32_t free_columns = int32_t(sign_width_) - int32_t(line.width);
    int32_t column = line.line_justification == 2   ? 0
                     : line.line_justification == 4 ? free_columns
                                                    : free_columns / 2;
    if (sign_class_ == EDITOR_CHARACTER_MATRIX) column = column / 6 * 6;
    return column;
}

void CLCD_MessageEditor::ReportCursor(CLCD_Manager& manager) {
    const editor_line& line = lines_[current_line_];
    manager.editor.length = uint32_t(cursor_.length);
    manager.editor.page = current_page_;
    uint16_t column = insertion_point_ < COLUMN_CAPACITY ? columns_[insertion_point_] : 0;
    manager.SetCursorPos(line.top_row, LineStartColumn(line) + column,
                         Metrics(font_at_insertion_).height);
}

void CLCD_MessageEditor::Settle(CLCD_Manager& manager) {
    ReportCursor(manager);
    manager.RequestRedraw(DRAW_PARTIAL);
}

// --- editing -----------------------------------------------------------------------------------

void CLCD_MessageEditor::Seek() {
    cursor_.Reset();
    while (cursor_.Next()) {
        if (cursor_.AtTag() && !cursor_.IsCounted()) continue;
        if (cursor_.index == insertion_point_) return;
    }
    insertion_point_ = uint16_t(std::max<int32_t>(cursor_.index, 0));
}

bool CLCD_MessageEditor::ApplyFontRule(uint8_t font) {
    if (cursor_.AtEnd()) { // a font tag left at the end gives way to the one below
        multi_edit_cursor before = cursor_;
        if (before.Prev() && before.TagIs("fo")) {
            before.DeleteTag();
            cursor_.length = before.length;
            cursor_.position = before.position;
        }
    }
    multi_edit_cursor search = cursor_;
    while (search.Prev()) {
        if (!search.TagIs("fo")) continue;
        uint8_t found = font_number(search, 3, defaults_.font);
        if (found == font) return true;
        if (search.index == cursor_.index) {
            cursor_.position = search.position;
            continue;
        }
        char keep[16];
        int n = std::snprintf(keep, sizeof keep, "[fo%u]", unsigned(found));
        if (!cursor_.AtEnd() && !cursor_.Insert(keep, n)) return false;
        break;
    }
    char tag[16];
    int n = std::snprintf(tag, sizeof tag, "[fo%u]", unsigned(font));
    if (!cursor_.Insert(tag, n)) return false;
    cursor_.position += n;
    return true;
}

bool CLCD_MessageEditor::Character(uint8_t character, bool overwrite) {
    Seek();
    if (!ApplyFontRule(font_at_insertion_)) return false;
    const char bytes[2] = {char(character), char(character)};
    const int32_t n = character == '[' || character == ']' ? 2 : 1;
    if (overwrite) { // the character before the cursor, past the tags between
        multi_edit_cursor before = cursor_;
        while (before.Prev() && before.AtTag() && !before.IsCounted()) {
        }
        if (before.position >= 0 && !before.AtTag()) {
            if (!before.Delete(before.AtEscapedBracket() ? 2 : 1) || !before.Insert(bytes, n))
                return false;
            cursor_.length = before.length;
            return true;
        }
    }
    if (!cursor_.Insert(bytes, n)) return false;
    insertion_point_++;
    return true;
}

bool CLCD_MessageEditor::Enter(bool page_break) {
    Seek();
    if (page_break && (cursor_.TagIs("nl") || cursor_.TagIs("NP", false))) cursor_.DeleteTag();
    if (!cursor_.Insert(page_break ? "[np]" : "[nL]", 4)) return false;
    insertion_point_++;
    return true;
}

bool CLCD_MessageEditor::Backspace() {
    if (cursor_.length == 0 || insertion_point_ == 0) return true;
    Seek();
    while (cursor_.Prev()) {
        if (!cursor_.AtTag()) {
            cursor_.Delete(cursor_.AtEscapedBracket() ? 2 : 1);
            insertion_point_--;
            break;
        }
        if (!cursor_.IsCounted()) {
            if (cursor_.TagIs("jl")) cursor_.DeleteTag();
            continue;
        }
        const bool page_break = cursor_.TagIs("np");
        cursor_.DeleteTag();
        while (page_break && (cursor_.TagIs("pt") || cursor_.TagIs("jp") || cursor_.TagIs("jl")))
            cursor_.DeleteTag();
        insertion_point_--;
        break;
    }
    Tidy();
    return true;
}

namespace {

// The attribute tags that tidying keeps one of per character place.
const struct {
    const char* name;
    bool allow_close;
} TIDY_KINDS[] = {{"fo", false}, {"fl", true}, {"sc", true}};
const size_t TIDY_KIND_COUNT = sizeof TIDY_KINDS / sizeof TIDY_KINDS[0];

} // namespace

// Drops attribute tags that change nothing (a second one at the same place,
// or one repeating the tag in effect) and the attribute tags at the end.
void CLCD_MessageEditor::Tidy() {
    struct kept_tag {
        int32_t position = -1, characters = -1, length = 0;
    } kept[TIDY_KIND_COUNT];
    int32_t characters = 0;
    cursor_.Reset();
    while (cursor_.Next()) {
        if (cursor_.TagIs("nl") || cursor_.TagIs("np")) continue;
        if (!cursor_.AtTag() || cursor_.IsCounted()) {
            characters++;
            continue;
        }
        size_t kind = 0;
        while (kind < TIDY_KIND_COUNT &&
               !cursor_.TagIs(TIDY_KINDS[kind].name, true, TIDY_KINDS[kind].allow_close))
            kind++;
        if (kind == TIDY_KIND_COUNT) continue;
        kept_tag& k = kept[kind];
        const int32_t length = cursor_.TagLength();
        if (k.position >= 0 && k.characters == characters) {
            multi_edit_cursor earlier = cursor_;
            earlier.position = k.position;
            earlier.Delete(k.length);
            cursor_.length = earlier.length;
            cursor_.position -= k.length;
            for (kept_tag& other : kept)
                if (other.position > k.position) other.position -= k.length;
        } else if (k.position >= 0 && k.length == length &&
                   std::memcmp(cursor_.text + k.position, cursor_.text + cursor_.position,
                               size_t(length)) == 0) {
            cursor_.DeleteTag();
            if (!cursor_.Prev()) cursor_.Reset();
            continue;
        }
        k = {cursor_.position, characters, length};
    }
    if (characters == 0 && cursor_.index <= 0) return; // the prefix alone stays
    for (;;) {
        cursor_.position = cursor_.length;
        if (!cursor_.Prev() || !cursor_.AtTag() || cursor_.IsCounted()) break;
        cursor_.DeleteTag();
    }
}

// --- keys ---------------------------------------------------------------------------------------

void CLCD_MessageEditor::Change(CLCD_Manager& manager,
                                bool (CLCD_MessageEditor::*edit)(uint8_t, bool), uint8_t character,
                                bool flag) {
    std::memcpy(undo_text_, cursor_.text, size_t(cursor_.length));
    undo_length_ = cursor_.length;
    undo_insertion_point_ = insertion_point_;
    // A key whose text would reach past the last page is refused as a whole:
    // what the editor shows is what it saves.
    if (!(this->*edit)(character, flag) || !Layout() || cut_) {
        std::memcpy(cursor_.text, undo_text_, size_t(undo_length_));
        cursor_.length = undo_length_;
        insertion_point_ = undo_insertion_point_;
        Layout();
        refused_ = 1;
    }
    Settle(manager);
}

void CLCD_MessageEditor::Move(CLCD_Manager& manager, int32_t step) {
    if (step < 0 && insertion_point_ == 0) return;
    insertion_point_ = uint16_t(insertion_point_ + step);
    Seek(); // never beyond the last character
    Layout();
    Settle(manager);
}

bool CLCD_MessageEditor::OnKey(CLCD_Manager& manager, uint16_t* key) {
    Attach(manager);
    const uint16_t event = *key;
    const uint16_t code = key_event_code(event);
    refused_ = 0;
    if (code == KEY_BACKSPACE || (code == KEY_LEFT && (event & KEY_EVENT_KEYPAD))) {
        Change(manager, &CLCD_MessageEditor::BackspaceStep, 0, false);
    } else if (code == KEY_ENTER) {
        Change(manager, &CLCD_MessageEditor::EnterStep, 0, (event & KEY_EVENT_CTRL) != 0);
    } else if (code == KEY_ESCAPE) {
        Tidy();
        Layout();
        ReportCursor(manager);
        manager.ActivateMenu(MENU_MESSAGE_SAVE, this, false);
    } else if (code == KEY_LEFT || code == KEY_RIGHT) {
        Move(manager, code == KEY_LEFT ? -1 : 1);
    } else if (code == KEY_REENTRY) {
        ReadSign();
        Layout();
        ReportCursor(manager);
        manager.RequestRedraw(DRAW_FULL);
    } else {
        manager.multitap_index++;
        if (code >= 32 && code <= 255)
            Change(manager, &CLCD_MessageEditor::Character, uint8_t(code),
                   (event & KEY_EVENT_MULTITAP) != 0);
    }
    return true;
}

// --- drawing ------------------------------------------------------------------------------------

void CLCD_MessageEditor::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_FULL) lcd.PrintLine(1, LCD_CENTRE, "%s", Title(manager.French()));
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    lcd.PrintLine(2, LCD_CENTRE, "PAGE: %u/%u", unsigned(current_page_), unsigned(page_count_));
    char rows[LCD_PAGE_LINES][LCD_COLUMNS + 1] = {};
    size_t lengths[LCD_PAGE_LINES] = {};
    size_t row = 0;
    unsigned page = 1;
    multi_edit_cursor walk = cursor_;
    walk.Reset();
    while (walk.Next() && page <= current_page_) {
        if (walk.TagIs("np")) {
            page++;
            row = 0;
        } else if (walk.TagIs("nl")) {
            if (page == current_page_ && row + 1 >= LCD_PAGE_LINES) break;
            row++;
        } else if (!walk.AtTag() && page == current_page_ && lengths[row] < LCD_COLUMNS) {
            rows[row][lengths[row]++] = walk.text[walk.position];
        }
    }
    for (size_t r = 0; r < LCD_PAGE_LINES; ++r)
        lcd.PrintLine(uint8_t(3 + r), LCD_LEFT, "%s", rows[r]);
    if (row >= LCD_PAGE_LINES) row = LCD_PAGE_LINES - 1;
    manager.SetCursor(true, int32_t(3 + row), int32_t(1 + lengths[row]));
    lcd.PrintLine(8, LCD_CENTRE, "%s", manager.Text(refused_ ? KEY_REFUSED : SAVE_HINT));
}

namespace {
const menu_factory_record EDITOR_SCREEN_RECORDS[] = {
    {TYPE_MESSAGE_EDITOR, menu_create<CLCD_MessageEditor>},
};
} // namespace

const menu_family EDITOR_SCREENS = menu_family_of(EDITOR_SCREEN_RECORDS);
