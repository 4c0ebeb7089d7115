#include "console/prompt.h"

#include <cstdio>
#include <cstring>

namespace {

const int BACKSPACE = 8;
const int DELETE = 127; // what most terminals send for the backspace key
const int LINE_FEED = 10;
const int CARRIAGE_RETURN = 13;
const int ESCAPE = 27;

} // namespace

CPrompt::CPrompt(write_fn write, line_fn line) : write_(write), on_line_(line) {}

void CPrompt::Write(int character) const {
    write_(character);
}

void CPrompt::ShowPrompt() {
    if (!write_) return;
    for (const char* p = "VMS>"; *p; p++)
        Write(*p);
}

void CPrompt::Backspace() {
    if (length_ == 0) return;
    line_[--length_] = '\0';
    Write(BACKSPACE);
    Write(' ');
    Write(BACKSPACE);
}

void CPrompt::PushHistory(const char* line) {
    if (!line) return;
    history_newest_ = (history_newest_ + 1) % HISTORY_SIZE;
    snprintf(history_[history_newest_], sizeof history_[history_newest_], "%s", line);
    if (history_count_ < HISTORY_SIZE) history_count_++;
}

int CPrompt::PopHistory(char* buffer, unsigned size) {
    if (history_count_ == 0 || !buffer || size == 0) return 0;
    strncpy(buffer, history_[history_newest_], size - 1);
    buffer[size - 1] = '\0';
    history_newest_ = (history_newest_ + HISTORY_SIZE - 1) % HISTORY_SIZE;
    history_count_--;
    return 1;
}

void CPrompt::Clear() {
    escape_ = 0;
    length_ = 0;
    line_[0] = '\0';
}

void CPrompt::Enter() {
    if (length_ > 0) PushHistory(line_);
    Write(CARRIAGE_RETURN);
    Write(LINE_FEED);
    char line[LINE_SIZE + 1];
    memcpy(line, line_, sizeof line);
    if (on_line_) on_line_(line, 0);
    ShowPrompt();
    Clear();
}

// Erase the shown line, then show the newest history line in its place.
void CPrompt::Recall() {
    while (length_ > 0)
        Backspace();
    if (!PopHistory(line_, sizeof line_)) return;
    length_ = static_cast<uint32_t>(strlen(line_));
    for (uint32_t i = 0; i < length_; i++)
        Write(line_[i]);
}

int CPrompt::ProcessChar(int character) {
    if (!write_) return character;
    if (escape_) {
        if (character == '[') return character;
        if (character == 'A' || character == 'B') Recall();
        escape_ = 0;
        return character;
    }
    switch (character) {
    case BACKSPACE:
    case DELETE:
        Backspace();
        break;
    case LINE_FEED:
    case CARRIAGE_RETURN:
        Enter();
        break;
    case ESCAPE:
        escape_ = 1;
        break;
    default:
        if (length_ < LINE_SIZE) {
            line_[length_++] = static_cast<char>(character);
            line_[length_] = '\0';
            Write(character);
        }
        break;
    }
    return character;
}
