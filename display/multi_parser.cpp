// The MULTI parser: pages, passes, text runs and tag dispatch.
#include "display/multi_parser.h"

#include "runtime/console.h"
#include "display/multi_tags.h"

#include <cstring>

namespace {

// Internal outcomes of a scan besides the parse results.
const int SCAN_END_OF_TEXT = -1;  // the text ended: finish the pass
const int SCAN_DRAWING_PASS = -2; // an [np] ended the measuring pass: draw now
const int SCAN_GO_ON = -3;        // the tag was taken: scan on

const uint32_t NO_POSITION = 0xFFFFFFFFu;
const uint8_t MAX_PAGES = 6;

// What the parser does around a tag's handler.
enum tag_action : uint8_t {
    ACTION_PLAIN,
    ACTION_PAGE_BACKGROUND, // tag conflict after text, graphics or rectangles
    ACTION_CONTENT,         // [f], [hc]: element; the line has content
    ACTION_GRAPHIC,         // [g]: element; the page has a graphic
    ACTION_RECTANGLE,       // [cr]: element; the page has a rectangle
    ACTION_MAKER,           // [ms]: whatever element the handler left
    ACTION_LINE_JUSTIFY,    // [jl]: ends the line segment first
    ACTION_PAGE_JUSTIFY,    // [jp]: marks the window's justification given
    ACTION_MOVING,          // [mv]: opens a moving text
    ACTION_NEW_LINE,        // [nl]
    ACTION_TEXT_RECTANGLE,  // [tr]
    ACTION_NEW_PAGE,        // [np]
};

struct tag_entry {
    const char* name;
    bool exact_case;
    multi_tag_handler handler;
    tag_action action;
};

// Dispatch order matters: the first entry whose name begins the tag wins.
const tag_entry tag_table[] = {
    {"cb", false, multi_tag_cb, ACTION_PLAIN},
    {"pb", false, multi_tag_pb, ACTION_PAGE_BACKGROUND},
    {"cf", false, multi_tag_cf, ACTION_PLAIN},
    {"fl", false, multi_tag_fl, ACTION_PLAIN},
    {"/fl", false, multi_tag_fl_end, ACTION_PLAIN},
    {"fo", false, multi_tag_fo, ACTION_PLAIN},
    {"f", false, multi_tag_f, ACTION_CONTENT},
    {"g", false, multi_tag_g, ACTION_GRAPHIC},
    {"hc", false, multi_tag_hc, ACTION_CONTENT},
    {"jl", false, multi_tag_jl, ACTION_LINE_JUSTIFY},
    {"jp", false, multi_tag_jp, ACTION_PAGE_JUSTIFY},
    {"mv", false, nullptr, ACTION_MOVING},
    {"ms", false, multi_tag_ms, ACTION_MAKER},
    {"/ms", true, multi_tag_ms_end, ACTION_PLAIN},
    {"nl", false, multi_tag_nl, ACTION_NEW_LINE},
    {"np", false, multi_tag_np, ACTION_NEW_PAGE},
    {"pt", false, multi_tag_pt, ACTION_PLAIN},
    {"po", false, multi_tag_pt, ACTION_PLAIN},
    {"sc", false, multi_tag_sc, ACTION_PLAIN},
    {"/sc", false, multi_tag_sc_end, ACTION_PLAIN},
    {"cr", false, multi_tag_cr, ACTION_RECTANGLE},
    {"tr", false, multi_tag_tr, ACTION_TEXT_RECTANGLE},
};

char to_lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool begins_with(const char* tag, const char* end, const char* name, bool exact_case) {
    for (; *name; ++name, ++tag) {
        if (tag >= end) return false;
        if ((exact_case ? *tag : to_lower(*tag)) != *name) return false;
    }
    return true;
}

const tag_entry* find_tag(const char* tag, const char* end) {
    for (const auto& entry : tag_table) {
        if (begins_with(tag, end, entry.name, entry.exact_case)) return &entry;
    }
    return nullptr;
}

// "[np]" (any case) at text[i]; the caller checks that four bytes remain.
bool is_page_break(const char* text) {
    return text[0] == '[' && to_lower(text[1]) == 'n' && to_lower(text[2]) == 'p' && text[3] == ']';
}

// Start of page `page` (1-based): just after the (page - 1)-th "[np]"; past
// the end when the text has fewer pages.
uint32_t page_start(const char* text, uint32_t length, uint32_t page) {
    if (page <= 1) return 0;
    uint32_t breaks = 0;
    for (uint32_t i = 0; i + 4 <= length;) {
        if (is_page_break(text + i)) {
            i += 4;
            if (++breaks == page - 1) return i;
        } else {
            ++i;
        }
    }
    return length + 1;
}

// Two justified parts of a line overlap: the earlier reaches the later.
bool parts_overlap(const msg_line& l) {
    auto reaches = [](int16_t x, uint16_t width, uint16_t other_width, int16_t other_x) {
        return width != 0 && other_width != 0 && int32_t(x) + width >= other_x;
    };
    return reaches(l.left_x, l.left_width, l.centre_width, l.centre_x) ||
           reaches(l.left_x, l.left_width, l.right_width, l.right_x) ||
           reaches(l.centre_x, l.centre_width, l.right_width, l.right_x);
}

} // namespace

CMultiSource::~CMultiSource() {}

struct CMULTIParser::page_state {
    void* context;
    multi_callback callback;
    CMessage* m;
    const char* text;
    uint32_t length;
    uint32_t start;
    uint32_t pos;
    uint32_t* next_page;
    // The pending text run.
    bool run_pending;
    uint32_t run_start;
    uint32_t run_count;
    // What the page holds so far.
    bool has_content, text_seen, graphic_seen, rectangle_seen;
    page_attribute_snapshot kept; // both passes start from it

    bool next_is(char c) const { return pos + 1 < length && text[pos + 1] == c; }
};

CMULTIParser::CMULTIParser() : CMULTIParser(multi_store_source()) {}

CMULTIParser::CMULTIParser(CMultiSource& source)
    : context_(nullptr), callback_(nullptr), line_has_content_(0), source_(&source), sign_{},
      frame_rate_(10), measure_only_(false) {}

CMULTIParser::~CMULTIParser() {}

// --- elements ----------------------------------------------------------------

// Hands the current element to the callback and clears it. A failing callback
// that names no position of its own gets `position`.
int CMULTIParser::Emit(page_state& s, uint32_t kind, uint32_t position) {
    CMessage& m = *s.m;
    m.element.kind = kind;
    uint32_t saved = m.error_position;
    m.error_position = NO_POSITION;
    int result = s.callback(s.context, &m);
    if (m.error_position == NO_POSITION) m.error_position = result == MULTI_OK ? saved : position;
    m.element = multi_element{};
    return result;
}

int CMULTIParser::FlushRun(page_state& s, uint32_t position) {
    if (!s.run_pending) return MULTI_OK;
    s.run_pending = false;
    multi_element& e = s.m->element;
    e.text = s.text + s.run_start;
    e.count = s.run_count;
    e.position = s.run_start + 1;
    return Emit(s, MULTI_ELEMENT_TEXT, position);
}

void CMULTIParser::StartRun(page_state& s, uint32_t at) {
    s.run_pending = true;
    s.run_start = at;
    s.run_count = 0;
    line_has_content_ = 1;
    s.text_seen = true;
}

// --- passes ----------------------------------------------------------------

void CMULTIParser::StartDrawingPass(page_state& s) {
    CMessage& m = *s.m;
    m.measure_pass = 0;
    std::memset(m.page_justification_given, 0, sizeof(m.page_justification_given));
    s.text_seen = s.graphic_seen = s.rectangle_seen = false;
    m.line_index = m.window_index = m.rectangle_index = m.moving_index = 0;
    m.windows[0] = msg_window{0, 0, sign_.width, sign_.height};
    restore_page_attributes(m, s.kept);
    line_has_content_ = 0;
}

int CMULTIParser::ParseCore(void* context, multi_callback callback, CMessage* message,
                            const char* text, uint32_t length, uint32_t start, uint32_t* next_page,
                            bool measure_only) {
    if (!context || !callback || !message || !text || length == 0) return MULTI_NOTHING;
    if (length > MULTI_MAX_TEXT) length = MULTI_MAX_TEXT;
    measure_only_ = measure_only;
    source_->ReadSign(sign_);

    CMessage& m = *message;
    m.ReleaseLineChars();
    for (auto& window_lines : m.lines) {
        for (auto& line : window_lines) {
            line.full_counter = 0;
            line.run_justification = 0;
            line.centre_lead = 0;
            line.has_moving = 0;
        }
    }
    page_state s{};
    s.context = context;
    s.callback = callback;
    s.m = &m;
    s.text = text;
    s.length = length;
    s.start = start;
    s.next_page = next_page;
    save_page_attributes(m, s.kept);

    m.page_started = 0;
    m.windows[0] = msg_window{0, 0, sign_.width, sign_.height};
    m.moving_index = 0;
    m.element.text = nullptr;
    m.element.position = 0;
    m.flash_index = 0;
    m.rectangle_index = 0;
    m.window_index = 0;
    m.off_time_given = 0;
    // A [jp] of an earlier parse never conflicts with this page.
    std::memset(m.page_justification_given, 0, sizeof(m.page_justification_given));
    m.measure_pass = 1;
    if (m.flash_mode != 0) StepFlash(m);
    m.new_line_pending = 1;

    for (;;) {
        int result = ScanPass(s);
        if (result == SCAN_DRAWING_PASS) continue;
        if (result != SCAN_END_OF_TEXT) return result;
        result = EndOfText(s);
        if (result == SCAN_DRAWING_PASS) continue;
        if (result != SCAN_END_OF_TEXT) return result;
        break;
    }
    if (next_page) *next_page = s.pos;
    return s.has_content ? MULTI_OK : MULTI_EMPTY_PAGE;
}

// One pass over the page from its start, up to the end of the text or an [np].
int CMULTIParser::ScanPass(page_state& s) {
    CMessage& m = *s.m;
    line_has_content_ = 0;
    for (auto& window_lines : m.lines) {
        for (auto& line : window_lines)
            line.left_width = line.centre_width = line.right_width = 0;
    }
    s.pos = s.start;
    s.run_pending = false;
    // A trailing "[np]" makes one more, empty page.
    if (s.pos == s.length && s.length > 4 && is_page_break(s.text + s.length - 4)) {
        s.pos = s.length + 1;
        s.has_content = true;
    }
    while (s.pos < s.length) {
        char c = s.text[s.pos];
        if (m.moving_text_open && c == ']' && !s.next_is(']')) {
            int result = FlushRun(s, s.pos);
            if (result != MULTI_OK) return result;
            result = Emit(s, MULTI_ELEMENT_MOVING_END, s.pos);
            if (result != MULTI_OK) return result;
            m.moving_text_open = 0;
            ++s.pos;
        } else if ((c == '[' && s.next_is('[')) || (c == ']' && s.next_is(']'))) {
            int result = FlushRun(s, s.pos);
            if (result != MULTI_OK) return result;
            s.has_content = true;
            StartRun(s, s.pos + 1);
            s.run_count = 1;
            s.pos += 2;
        } else if (c == ']') {
            m.error_position = s.pos;
            return MULTI_UNSUPPORTED_TAG;
        } else if (c != '[') {
            if (!s.run_pending) StartRun(s, s.pos);
            ++s.run_count;
            ++s.pos;
        } else {
            int result = ScanTag(s);
            if (result != SCAN_GO_ON) return result;
        }
    }
    return SCAN_END_OF_TEXT;
}

// The end of the text: the last run, then the end of the measuring pass.
int CMULTIParser::EndOfText(page_state& s) {
    CMessage& m = *s.m;
    if (s.run_pending) {
        s.has_content = true;
        int result = FlushRun(s, s.pos);
        if (result != MULTI_OK) return result;
    }
    if (!m.measure_pass || !s.has_content) {
        m.line_index = 0;
        return SCAN_END_OF_TEXT;
    }
    int result = Emit(s, MULTI_ELEMENT_LINE_END, s.pos);
    if (result == MULTI_OK) result = Emit(s, MULTI_ELEMENT_WINDOW_END, s.pos);
    if (result != MULTI_OK) return result;
    for (const auto& window_lines : m.lines) {
        for (const auto& line : window_lines) {
            if (parts_overlap(line)) {
                m.error_position = s.pos;
                return MULTI_TEXT_TOO_BIG;
            }
        }
    }
    if (measure_only_) return SCAN_END_OF_TEXT;
    result = Emit(s, MULTI_ELEMENT_PAGE_END, s.pos);
    if (result != MULTI_OK) return result;
    StartDrawingPass(s);
    return SCAN_DRAWING_PASS;
}

// A tag at s.pos ("[" not doubled): find its end, run its handler and what
// goes around it.
int CMULTIParser::ScanTag(page_state& s) {
    CMessage& m = *s.m;
    s.has_content = true;
    int result = FlushRun(s, s.pos);
    if (result != MULTI_OK) return result;
    uint32_t tag_start = s.pos + 1;
    bool moving =
        tag_start + 1 < s.length && s.text[tag_start] == 'm' && s.text[tag_start + 1] == 'v';
    uint32_t i = tag_start;
    while (i < s.length) {
        char c = s.text[i];
        bool doubled = i + 1 < s.length && s.text[i + 1] == c;
        if ((c == '[' || c == ']') && doubled) {
            i += 2;
        } else if (c == ']') {
            break;
        } else if (c == '[' && !moving) {
            m.error_position = tag_start;
            return MULTI_UNSUPPORTED_TAG;
        } else {
            ++i;
        }
    }
    const tag_entry* entry = nullptr;
    if (i < s.length && i > tag_start) entry = find_tag(s.text + tag_start, s.text + i);
    if (!entry) {
        m.error_position = tag_start;
        return MULTI_UNSUPPORTED_TAG;
    }
    uint32_t resume = i + 1;
    if (entry->action == ACTION_NEW_PAGE) return NewPage(s, tag_start, resume);
    m.element = multi_element{};
    uint32_t saved_position = m.error_position;
    m.error_position = NO_POSITION;
    result = RunTag(s, entry->action, entry->handler, tag_start, resume);
    if (result != MULTI_OK) {
        // A refusal of the handler itself points at the tag.
        if (m.error_position == NO_POSITION) m.error_position = tag_start;
        return result;
    }
    m.error_position = saved_position;
    s.pos = resume;
    return SCAN_GO_ON;
}

int CMULTIParser::RunTag(page_state& s, int action, multi_tag_handler handler, uint32_t tag_start,
                         uint32_t& resume) {
    CMessage& m = *s.m;
    const char* tag = s.text + tag_start;
    const char* end = s.text + resume - 1;
    // Elements of content go to the callback whatever the handler said; the
    // handler's own refusal comes first.
    auto content = [&](int handled) {
        int drawn =
            m.element.kind != MULTI_ELEMENT_NONE ? Emit(s, m.element.kind, tag_start) : MULTI_OK;
        return handled != MULTI_OK ? handled : drawn;
    };
    int result;
    switch (action) {
    case ACTION_PAGE_BACKGROUND:
        result = handler(*this, tag, end, m);
        if (m.measure_pass && (s.text_seen || s.graphic_seen || s.rectangle_seen))
            result = MULTI_TAG_CONFLICT;
        return result;
    case ACTION_CONTENT:
        result = content(handler(*this, tag, end, m));
        line_has_content_ = 1;
        return result;
    case ACTION_GRAPHIC:
        result = content(handler(*this, tag, end, m));
        s.graphic_seen = true;
        return result;
    case ACTION_RECTANGLE:
        result = content(handler(*this, tag, end, m));
        s.rectangle_seen = true;
        return result;
    case ACTION_MAKER:
        return content(handler(*this, tag, end, m));
    case ACTION_LINE_JUSTIFY:
        if (m.measure_pass && line_has_content_) {
            result = Emit(s, MULTI_ELEMENT_LINE_END, tag_start);
            if (result != MULTI_OK) return result;
        }
        return handler(*this, tag, end, m);
    case ACTION_PAGE_JUSTIFY:
        result = handler(*this, tag, end, m);
        if (result == MULTI_OK) m.page_justification_given[m.WindowIndex()] = 1;
        return result;
    case ACTION_MOVING: {
        result = multi_tag_mv(*this, tag, end, m);
        if (result != MULTI_OK) return result;
        msg_line& line = m.CurrentLine();
        uint32_t sum = uint32_t(line.left_width) + line.centre_width + line.right_width;
        result = Emit(s, MULTI_ELEMENT_MOVING_START, tag_start);
        switch (m.line_justification[m.WindowIndex()]) {
        case 1:
            line.start_x = int16_t(sum);
            break;
        case 2:
            line.left_width = uint16_t(sum);
            break;
        case 3:
            line.centre_width = uint16_t(sum);
            break;
        case 4:
            line.right_width = uint16_t(sum);
            break;
        default:
            break;
        }
        m.moving_text_open = 1;
        resume = uint32_t(end - s.text);
        if (resume < s.length && s.text[resume] == ',') ++resume;
        return result;
    }
    case ACTION_NEW_LINE:
        result = handler(*this, tag, end, m);
        if (result != MULTI_OK) return result;
        if (m.measure_pass) result = Emit(s, MULTI_ELEMENT_LINE_END, tag_start);
        if (result == MULTI_OK) result = Emit(s, MULTI_ELEMENT_NEW_LINE, tag_start);
        line_has_content_ = 0;
        return result;
    case ACTION_TEXT_RECTANGLE:
        result = MULTI_OK;
        if (m.measure_pass) {
            if (line_has_content_) result = Emit(s, MULTI_ELEMENT_LINE_END, tag_start);
            if (result == MULTI_OK) result = Emit(s, MULTI_ELEMENT_WINDOW_END, tag_start);
        }
        if (result == MULTI_OK) result = Emit(s, MULTI_ELEMENT_TEXT_RECTANGLE, tag_start);
        if (result != MULTI_OK) return result;
        // The window the renderer has just opened starts without a page justification.
        m.page_justification_given[m.WindowIndex()] = 0;
        result = handler(*this, tag, end, m);
        line_has_content_ = 0;
        return result;
    default:
        return handler(*this, tag, end, m);
    }
}

// [np]: the end of the page in the drawing pass or with the measuring pass
// alone; otherwise the end of the measuring pass.
int CMULTIParser::NewPage(page_state& s, uint32_t tag_start, uint32_t after_tag) {
    CMessage& m = *s.m;
    int result = multi_tag_np(*this, s.text + tag_start, s.text + after_tag - 1, m);
    if (result != MULTI_OK) {
        m.error_position = tag_start;
        if (s.next_page) *s.next_page = after_tag;
        return result;
    }
    if (!m.measure_pass) {
        m.line_index = 0;
        if (s.next_page) *s.next_page = after_tag;
        return MULTI_OK;
    }
    static const uint32_t endings[] = {MULTI_ELEMENT_LINE_END, MULTI_ELEMENT_WINDOW_END,
                                       MULTI_ELEMENT_PAGE_END};
    for (uint32_t kind : endings) {
        result = Emit(s, kind, tag_start);
        if (result != MULTI_OK) return result;
    }
    if (measure_only_) {
        if (s.next_page) *s.next_page = after_tag;
        return MULTI_OK;
    }
    StartDrawingPass(s);
    return SCAN_DRAWING_PASS;
}

// --- flashing ----------------------------------------------------------------

void CMULTIParser::StepFlash(CMessage& m) {
    unsigned index =
        m.flash_index < MESSAGE_FLASH_REGIONS ? m.flash_index : MESSAGE_FLASH_REGIONS - 1;
    msg_flash& flash = m.flash[index];
    if (flash.frames_left == 0) {
        bool load_on = flash.phase == 1 || (flash.phase == 0 && m.flash_mode == 1);
        uint32_t tenths = load_on ? m.flash_on_time : m.flash_off_time;
        uint32_t frames = (tenths * frame_rate_ + 9) / 10;
        // A phase lasts at least one frame and at most 255.
        flash.frames_left = uint8_t(frames == 0 ? 1 : frames > 255 ? 255 : frames);
        flash.phase = load_on ? 2 : 1;
    }
    --flash.frames_left;
    if (m.flash_index < MESSAGE_FLASH_REGIONS - 1) ++m.flash_index;
}

// --- the parser interface ------------------------------------------------------

bool CMULTIParser::ParsePage(void* context, multi_callback callback, CMessage* message,
                             uint32_t page) {
    if (!message || message->text_length == 0) return false;
    uint32_t length = message->text_length;
    uint32_t start = page_start(message->text, length, page);
    message->page_start_position = start;
    uint32_t next = message->next_page_position;
    int result = ParseCore(context, callback, message, message->text, length, start, &next, false);
    message->next_page_position = next;
    return result == MULTI_OK;
}

uint8_t CMULTIParser::CountPages(const char* text, uint32_t length) {
    if (!text || length == 0) return 0;
    uint32_t pages = 1;
    for (uint32_t i = 0; i + 4 <= length;) {
        if (is_page_break(text + i)) {
            ++pages;
            i += 4;
        } else {
            ++i;
        }
    }
    return uint8_t(pages > 255 ? 255 : pages);
}

bool CMULTIParser::NextPage(CMessage* message) {
    if (!message) return false;
    message->page_start_position = message->next_page_position;
    uint32_t next = message->next_page_position;
    int result = ParseCore(context_, callback_, message, message->text, message->text_length,
                           message->page_start_position, &next, false);
    message->next_page_position = next;
    if (result == MULTI_OK) {
        ++message->pages_shown;
        return true;
    }
    message->pages_shown = 0;
    return false;
}

bool CMULTIParser::ReparsePage(CMessage* message) {
    if (!message) return false;
    if (message->text_length == 0) return true;
    uint32_t next = message->next_page_position;
    int result = ParseCore(context_, callback_, message, message->text, message->text_length,
                           message->page_start_position, &next, false);
    message->next_page_position = next;
    return result == MULTI_OK;
}

int CMULTIParser::Reset(CMessage* message) {
    if (!message) return 0;
    message->ApplyDefaults();
    message->next_page_position = message->page_start_position = 0;
    return 1;
}

int CMULTIParser::SetText(void* context, multi_callback callback, CMessage* message,
                          const char* text, uint32_t length) {
    if (!message) return 0;
    if (!text) length = 0;
    if (length > MULTI_MAX_TEXT) length = MULTI_MAX_TEXT;
    if (length) std::memcpy(message->text, text, length);
    message->text_length = length;
    context_ = context;
    callback_ = callback;
    message->Reset(0);
    message->pages_shown = 0;
    message->ApplyDefaults();
    message->next_page_position = message->page_start_position = 0;
    return 0;
}

int CMULTIParser::Validate(void* context, multi_callback callback, CMessage* message,
                           const char* text, uint32_t length) {
    if (!message) return MULTI_NOTHING;
    message->Reset(1);
    source_->LoadDefaults(message->defaults);
    message->ApplyDefaults();
    if (length == 0) return MULTI_OK;
    if (length > MULTI_MAX_TEXT) {
        // More than a message holds: refused, not cut.
        message->error_position = MULTI_MAX_TEXT;
        return MULTI_TEXT_TOO_BIG;
    }
    uint32_t position = 0;
    for (unsigned page = 1;; ++page) {
        uint32_t next = position;
        int result = ParseCore(context, callback, message, text, length, position, &next, true);
        if (result != MULTI_OK) return result == MULTI_EMPTY_PAGE ? MULTI_OK : result;
        if (page > MAX_PAGES) {
            message->error_position = position;
            return MULTI_TOO_MANY_PAGES;
        }
        for (unsigned w = 0; w <= message->WindowIndex(); ++w) {
            for (unsigned l = 0; l <= message->LineIndex(); ++l) {
                const msg_line& line = message->lines[w][l];
                if (int64_t(line.top) + line.height > int64_t(message->windows[w].bottom)) {
                    trace_printf("CMultiParser::Validate: Error Message too tall\n");
                    message->error_position = position;
                    return MULTI_TEXT_TOO_BIG;
                }
            }
        }
        message->Reset(0);
        if (next <= position) return MULTI_OK;
        position = next;
    }
}
