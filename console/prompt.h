// CPrompt: the line editor of the maintenance console. Characters typed on
// the console are edited into one line of at most 50 characters, echoed
// through the write-character callback; Enter hands the line to the line
// callback (a boot-monitor command line) and shows the prompt "VMS>" again.
// The cursor keys up and down recall the newest line of a bounded history.
// Backspace (8) and DEL (127, a terminal's backspace key) erase a character.
#pragma once

#include <cstdint>

class CPrompt {
  public:
    typedef int (*write_fn)(int character);
    typedef int (*line_fn)(const char* line, int verbose);

    static constexpr unsigned LINE_SIZE = 50;
    // The newest lines kept; a line pushed onto a full history drops the oldest.
    static constexpr unsigned HISTORY_SIZE = 16;

    CPrompt(write_fn write, line_fn line);
    virtual ~CPrompt() = default;

    int ProcessChar(int character); // -> the character
    // Forget the unfinished line and a pending escape, showing nothing: an
    // operator's half-typed line never runs on the next operator's Enter.
    void Clear();
    void ShowPrompt();
    void Backspace();
    void PushHistory(const char* line);
    // Take the newest history line into buffer (cut to size - 1). -> 1 when a line was taken.
    int PopHistory(char* buffer, unsigned size);

    const char* Line() const { return line_; }
    uint32_t Length() const { return length_; }
    unsigned HistoryCount() const { return history_count_; }

  private:
    void Write(int character) const;
    void Enter();
    void Recall();

    char history_[HISTORY_SIZE][LINE_SIZE + 1] = {};
    unsigned history_newest_ = 0; // slot of the newest line
    unsigned history_count_ = 0;
    uint8_t escape_ = 0;
    char line_[LINE_SIZE + 1] = {};
    uint32_t length_ = 0;
    write_fn write_;
    line_fn on_line_;
};
