// HostProcess: a program built beside the test programs (sign-controller,
// flashtool), run as a real host process with its standard input on a pipe and
// its standard output and error in a file. Tests that drive a host program
// wait on the wall clock, bounded by the limits they give.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace test_support {

// The path of `program` in the directory of the running test program.
std::string BesideTests(const char* program);

// A --port-offset for this test process under which every port the sign
// listens on (TCP and UDP on 127.0.0.1) is free and claimed by this process
// (a lock file per port in /tmp/sign-test-ports, held until the process ends),
// so that tests running side by side never take each other's ports. The same
// value for every call in one process.
int FreePortOffset();

class HostProcess {
  public:
    HostProcess() = default;
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;
    ~HostProcess() { Kill(); }

    // Start `args` (args[0] is the program path); output goes to `output_file`.
    bool Start(const std::vector<std::string>& args, const std::string& output_file);
    // Write to its standard input; Close() ends that input.
    void Type(const std::string& text);
    void CloseInput();
    // Exit status (128 + signal when killed by one), or -1 while it still
    // runs after `seconds`.
    int Wait(double seconds);
    bool Running();
    void Signal(int signal);
    void Kill();
    std::string Output() const;

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int status_ = -1;
    std::string output_file_;
};

// Run `args` to its end (at most `seconds`): exit status and its output.
struct ProcessResult {
    int status;
    std::string output;
};
ProcessResult RunProcess(const std::vector<std::string>& args, const std::string& output_file,
                         double seconds = 30);

// Runs a host command line to its end: its standard output and error.
std::string run_command(const std::string& command);
// True when net-snmp's command-line tools (package snmp) are there.
bool netsnmp_tools_installed();
// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text);

} // namespace test_support
