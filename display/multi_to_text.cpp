// MULTI to one line of plain text.
#include "display/multi_to_text.h"

#include <cstdint>
#include <cstring>

namespace {

enum tag_view : uint8_t {
    VIEW_NAME,        // the message's own name replaces the output
    VIEW_GRAPHIC,     // "<GRAPHIC> " once per message
    VIEW_PLACEHOLDER, // the rule's place-holder text
    VIEW_CHARACTER,   // [hc]
    VIEW_MOVING,      // [mv]: its text is shown
    VIEW_NOTHING,
};

struct view_rule {
    const char* prefix;
    tag_view view;
    const char* text; // VIEW_PLACEHOLDER: what stands for the tag
};

// The first rule whose prefix begins the tag (any case) applies.
const view_rule view_rules[] = {
    {"ms11,name,", VIEW_NAME, nullptr},
    {"ms11,g", VIEW_GRAPHIC, nullptr},
    {"g", VIEW_GRAPHIC, nullptr},
    {"ms11,spm,", VIEW_PLACEHOLDER, "<MPH>"},
    {"ms11,spk,", VIEW_PLACEHOLDER, "<KPH>"},
    {"ms11,r,", VIEW_PLACEHOLDER, "<RTD>"},
    {"fl", VIEW_NOTHING, nullptr},
    {"fo", VIEW_NOTHING, nullptr},
    {"f", VIEW_PLACEHOLDER, "<RTF>"}, // a field: [f] but not [fl] / [fo]
    {"nl", VIEW_PLACEHOLDER, " "},    // line and page breaks: one blank
    {"np", VIEW_PLACEHOLDER, " "},
    {"hc", VIEW_CHARACTER, nullptr},
    {"mv", VIEW_MOVING, nullptr},
};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool begins_with(const char* tag, const char* prefix) {
    for (; *prefix; ++prefix, ++tag) {
        if (*tag == '\0' || lower(*tag) != *prefix) return false;
    }
    return true;
}

const view_rule* classify(const char* tag) {
    for (const auto& rule : view_rules) {
        if (begins_with(tag, rule.prefix)) return &rule;
    }
    return nullptr;
}

// Past the bracket that closes the tag starting at `p` (nested tags counted,
// doubled brackets skipped); the end of the string when it never closes.
const char* skip_tag(const char* p) {
    int depth = 1;
    while (*p) {
        if ((p[0] == '[' && p[1] == '[') || (p[0] == ']' && p[1] == ']')) {
            p += 2;
            continue;
        }
        if (*p == '[') ++depth;
        if (*p == ']' && --depth == 0) return p + 1;
        ++p;
    }
    return p;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

struct text_out {
    char* buffer;
    size_t size;
    size_t used;

    size_t room() const { return size - used; }
    void put(char c) {
        if (room() >= 2) buffer[used++] = c;
    }
    // A place-holder, cut to the room left minus one byte.
    void put_text(const char* text) {
        while (*text && room() >= 2)
            buffer[used++] = *text++;
    }
};

// The name of an [ms11,name,...] tag replaces everything written so far.
void write_name(text_out& out, const char* name, bool graphic_shown) {
    static const char suffix[] = " <GR>";
    size_t length = 0;
    while (name[length] && name[length] != ']')
        ++length;
    size_t limit = out.size - 1;
    if (length > limit) length = limit;
    std::memset(out.buffer, 0, out.size);
    std::memcpy(out.buffer, name, length);
    out.used = length;
    if (graphic_shown) {
        size_t suffix_length = sizeof(suffix) - 1;
        size_t at = length + suffix_length <= limit ? length
                    : limit >= suffix_length        ? limit - suffix_length
                                                    : 0;
        size_t fit = suffix_length <= limit - at ? suffix_length : limit - at;
        std::memcpy(out.buffer + at, suffix, fit);
        out.used = at + fit;
    }
    out.buffer[out.used] = '\0';
}

} // namespace

void multi_to_text(const char* source, char* destination, size_t size) {
    if (!source || !destination || size == 0) return;
    std::memset(destination, 0, size);
    text_out out{destination, size, 0};
    bool graphic_shown = false;
    int open_moving = 0; // [mv] tags whose text is being copied
    const char* p = source;
    // The walk stops once the destination is full (room for the NUL only):
    // nothing further on, not even a name tag, changes what was written.
    while (*p && out.room() >= 2) {
        if ((p[0] == '[' && p[1] == '[') || (p[0] == ']' && p[1] == ']')) {
            out.put(p[0]);
            p += 2;
            continue;
        }
        if (*p == ']' && open_moving > 0) {
            --open_moving;
            ++p;
            continue;
        }
        if (*p != '[') {
            out.put(*p++);
            continue;
        }
        const char* tag = p + 1;
        const view_rule* rule = classify(tag);
        const char* rest = rule ? tag + std::strlen(rule->prefix) : tag;
        p = skip_tag(tag);
        switch (rule ? rule->view : VIEW_NOTHING) {
        case VIEW_NAME:
            write_name(out, rest, graphic_shown);
            return;
        case VIEW_GRAPHIC:
            if (!graphic_shown) out.put_text("<GRAPHIC> ");
            graphic_shown = true;
            break;
        case VIEW_PLACEHOLDER:
            out.put_text(rule->text);
            break;
        case VIEW_CHARACTER: {
            uint32_t code = 0;
            for (const char* c = rest; *c && *c != ']' && *c != '['; ++c)
                code = (code << 4) | uint32_t(hex_digit(*c));
            if (code & 0xFF) out.put(char(code & 0xFF));
            break;
        }
        case VIEW_MOVING: {
            // The moving text follows the third comma of the tag.
            const char* c = rest;
            int commas = 0;
            while (*c && *c != ']' && *c != '[' && commas < 3) {
                if (*c == ',') ++commas;
                ++c;
            }
            if (commas == 3) {
                p = c;
                ++open_moving;
            }
            break;
        }
        case VIEW_NOTHING:
            break;
        }
    }
    destination[out.used < size ? out.used : size - 1] = '\0';
}
