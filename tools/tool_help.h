// What every host tool does with its usage: asked for (--help or -h), it goes
// to standard output with status 0; shown for a wrong command line, it goes
// to standard error with status 2.
#pragma once

#include <cstdio>
#include <cstring>

namespace tools {

inline bool help_asked(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
    return false;
}

// Prints `usage` for a wrong command line. -> the exit status 2.
inline int usage_refused(const char* usage) {
    std::fputs(usage, stderr);
    return 2;
}

// Prints `usage` as asked. -> the exit status 0.
inline int usage_asked(const char* usage) {
    std::fputs(usage, stdout);
    return 0;
}

} // namespace tools
