// Test doubles of the MULTI tests: a sign and its tables held in memory, and
// an element callback that records what the parser hands over (and moves
// the line, window and moving-text indexes as the renderer would).
#pragma once

#include "display/multi_parser.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace multi_test {

struct FakeSource : CMultiSource {
    multi_sign sign{112, 32, 5, 7, 6, 60, 8, 3, 0};
    message_defaults defaults_template;
    std::map<uint32_t, multi_font_row> fonts;
    std::map<uint32_t, multi_graphic_row> graphics;
    int32_t temperatures[4] = {-5, 40, 10, 30};
    std::set<std::string> bitmaps;
    std::vector<std::pair<uint32_t, bool>> outputs;

    FakeSource() {
        message_defaults& d = defaults_template;
        d.flash_on = 5;
        d.flash_off = 5;
        d.page_on = 30;
        d.page_off = 0;
        d.font = 1;
        d.justification_line = 3;
        d.justification_page = 3;
        d.foreground_rgb[0] = 9;
        d.background_rgb[0] = 0;
        d.ConvertColour(1);
        fonts[1] = multi_font_row{0, 0x1234, 4, 2};
        fonts[2] = multi_font_row{5, 0xBEEF, 5, 4};
        fonts[3] = multi_font_row{2, 0x0001, 1, 0};
        graphics[5] = multi_graphic_row{0x1234, 4, 20, 10};
        graphics[6] = multi_graphic_row{0x0006, 1, 8, 8};
    }
    void ReadSign(multi_sign& s) override { s = sign; }
    void LoadDefaults(message_defaults& d) override {
        d.foreground = defaults_template.foreground;
        d.text_background = defaults_template.text_background;
        d.page_background = defaults_template.page_background;
        d.flash_on = defaults_template.flash_on;
        d.flash_off = defaults_template.flash_off;
        d.page_on = defaults_template.page_on;
        d.page_off = defaults_template.page_off;
        d.font = defaults_template.font;
        d.justification_line = defaults_template.justification_line;
        d.justification_page = defaults_template.justification_page;
    }
    bool FindFont(uint32_t number, multi_font_row& row) override {
        auto it = fonts.find(number);
        if (it == fonts.end()) return false;
        row = it->second;
        return true;
    }
    bool FindGraphic(uint32_t number, multi_graphic_row& row) override {
        auto it = graphics.find(number);
        if (it == graphics.end()) return false;
        row = it->second;
        return true;
    }
    int32_t Temperature(multi_temperature which) override { return temperatures[which]; }
    bool FindBitmap(const char* name, uint32_t length, char* path, uint32_t size) override {
        std::string n(name, length);
        if (!bitmaps.count(n)) return false;
        std::snprintf(path, size, "Bitmaps/%s", n.c_str());
        return true;
    }
    void SetOutput(uint32_t number, bool on) override { outputs.emplace_back(number, on); }
    uint32_t SpeedDetectors() override { return 4; }
};

// One element as a short text: "T:abc@1" (text run at 1-based position),
// "G:5,1234,1,1" (graphic), "C:41" ([hc]), "F3:%H:%M#2" (field), or the kind number.
inline std::string describe(const CMessage& m) {
    const multi_element& e = m.element;
    char buffer[256];
    switch (e.kind) {
    case MULTI_ELEMENT_TEXT:
        return "T:" + std::string(e.text, e.count) + "@" + std::to_string(e.position);
    case MULTI_ELEMENT_PRIVATE_TEXT:
        std::snprintf(buffer, sizeof(buffer), "R:%d,%u", e.start, e.length);
        return buffer;
    case MULTI_ELEMENT_TIME:
    case MULTI_ELEMENT_TEMP_C:
    case MULTI_ELEMENT_TEMP_F:
    case MULTI_ELEMENT_SPEED_MPH:
    case MULTI_ELEMENT_SPEED_KPH:
        std::snprintf(buffer, sizeof(buffer), "F%u:%s#%u", e.kind, e.format, e.field_code);
        return buffer;
    case MULTI_ELEMENT_BITMAP:
        std::snprintf(buffer, sizeof(buffer), "B:%s,%d,%d", e.path, e.x, e.y);
        return buffer;
    case MULTI_ELEMENT_GRAPHIC:
        std::snprintf(buffer, sizeof(buffer), "G:%u,%04X,%d,%d", e.graphic_number, e.graphic_id,
                      e.x, e.y);
        return buffer;
    case MULTI_ELEMENT_CHARACTER:
        std::snprintf(buffer, sizeof(buffer), "C:%02X", e.character);
        return buffer;
    case MULTI_ELEMENT_SPEED_DETECTOR:
        std::snprintf(buffer, sizeof(buffer), "S:%s,%u,%u", e.format, e.unit, e.detector);
        return buffer;
    default:
        return std::to_string(e.kind);
    }
}

struct Recorder {
    std::vector<std::string> seen;
    // Runs for each element after it is recorded; its result goes back to the parser.
    std::function<int(CMessage&)> hook;

    std::string Joined() const {
        std::string all;
        for (const auto& s : seen)
            all += (all.empty() ? "" : " ") + s;
        return all;
    }

    static int Callback(void* context, CMessage* m) {
        Recorder& self = *static_cast<Recorder*>(context);
        self.seen.push_back(describe(*m));
        int result = self.hook ? self.hook(*m) : MULTI_OK;
        switch (m->element.kind) {
        case MULTI_ELEMENT_NEW_LINE:
            if (m->line_index < MESSAGE_LINES - 1) ++m->line_index;
            break;
        case MULTI_ELEMENT_TEXT_RECTANGLE:
            if (m->window_index < MESSAGE_WINDOWS - 1) ++m->window_index;
            break;
        case MULTI_ELEMENT_MOVING_END:
            if (m->moving_index < MESSAGE_MOVING_TEXTS - 1) ++m->moving_index;
            break;
        default:
            break;
        }
        m->element = multi_element{};
        return result;
    }
};

// A parser over a fake sign with a message and a recorder.
struct Bench {
    FakeSource source;
    CMULTIParser parser{source};
    CMessage message;
    Recorder recorder;

    // The caller of a parse prepares window 0: the whole sign.
    void PrepareWindow() {
        message.windows[0] = msg_window{0, 0, source.sign.width, source.sign.height};
    }

    int Validate(const std::string& text) {
        PrepareWindow();
        recorder.seen.clear();
        return parser.Validate(&recorder, Recorder::Callback, &message, text.data(),
                               uint32_t(text.size()));
    }
    // Both passes of one page of the text.
    bool Page(const std::string& text, uint32_t page = 1) {
        source.LoadDefaults(message.defaults);
        parser.SetText(&recorder, Recorder::Callback, &message, text.data(), uint32_t(text.size()));
        PrepareWindow();
        recorder.seen.clear();
        return parser.ParsePage(&recorder, Recorder::Callback, &message, page);
    }
};

} // namespace multi_test
