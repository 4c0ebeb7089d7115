// The field file's parser (see field_file.h).
#include "platform/field/field_file.h"

#include "platform/field/can/can_field.h"
#include "platform/field/display_modules.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace field {

namespace {

struct FieldKind {
    const char* name;
    KindLine line;
};

// One row per kind of device.
const FieldKind FIELD_KINDS[] = {
    {"display", display_field_line},
    {"can", can_field_line},
    {"board", board_field_line},
};

bool run_line(const std::vector<std::string>& words, std::string& reason) {
    for (const FieldKind& kind : FIELD_KINDS) {
        if (words[0] != kind.name) continue;
        return kind.line(std::vector<std::string>(words.begin() + 1, words.end()), reason);
    }
    reason = "unknown device kind '" + words[0] + "'";
    return false;
}

std::vector<std::string> words_of(const std::string& line) {
    std::istringstream in(line.substr(0, line.find('#')));
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

} // namespace

bool parse_field_number(const std::string& word, long min, long max, long& out) {
    if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    long v = std::strtol(word.c_str(), nullptr, 10);
    if (errno || v < min || v > max) return false;
    out = v;
    return true;
}

bool apply_field_line(const std::string& line, std::string& reason) {
    std::vector<std::string> words = words_of(line);
    return words.empty() || run_line(words, reason);
}

bool load_field_file(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot read the field file";
        return false;
    }
    std::string line, reason;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!apply_field_line(line, reason)) {
            error = path + ":" + std::to_string(number) + ": " + reason;
            return false;
        }
    }
    return true;
}

} // namespace field
