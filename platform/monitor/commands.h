// Inside of the boot monitor: its state, environment and command interpreter.
// Not for use outside platform/monitor (and its tests).
#pragma once

#include "platform/monitor/flash_fs.h"
#include "platform/monitor/monitor.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace monitor {

// Environment variables, saved to a file of the state directory on every change.
class Environment {
  public:
    void Load(const std::string& path);
    void Clear();
    char* Get(const char* name);
    bool Set(const char* name, const char* value); // null/empty value removes
    void FillDefaults();                           // the network variables the firmware needs
    std::vector<std::pair<std::string, std::string>> All();

  private:
    void Save();
    std::mutex m_;
    std::string path_;
    std::map<std::string, std::string> vars_;
    // Texts handed out by Get stay valid for the life of the program.
    std::vector<std::unique_ptr<char[]>> handed_out_;
};

class CommandTable {
  public:
    void AddTable(monCommand* table);
    void Reset();
    int Run(const char* line);
    int Help(const std::vector<std::string>& words);

  private:
    const monCommand* Find(const std::string& name);
    std::mutex m_;
    std::vector<monCommand*> tables_;
};

// Split a command line into words (blanks separate, "..." groups).
std::vector<std::string> split_command_line(const char* line);

struct Monitor {
    // Connection.
    void (*lock)() = nullptr;
    void (*unlock)() = nullptr;
    int (*putchar_hook)(int) = nullptr;

    FlashFs flash;
    Environment env;
    CommandTable commands;
    std::string state_dir;
    std::function<void(int)> restart_callback;

    // Console.
    std::mutex console_m;
    bool capture = false;
    std::string captured;
    std::deque<char> input;
    bool stdin_closed = false;
    void RawOutput(const char* text, size_t n);
    void Output(const char* text, size_t n);
    void Printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    bool CharWaiting();
    int GetChar();

    // Watchdog.
    std::mutex watchdog_m;
    bool watchdog_on = false;
    uint64_t watchdog_event = 0;
    uint64_t watchdog_generation = 0;
    void WatchdogControl(int command);
    void WatchdogArm();
    void WatchdogStop();
    void WatchdogExpired(uint64_t generation);

    void Restart(int code);
    [[noreturn]] void ExecSelf();
    void RunMonrc();
};

Monitor& the_monitor();

} // namespace monitor
