// The web pages' built-in files: the five page templates and the style sheet,
// written as plain files in web/pages/ and compressed at build time (zlib,
// level 9: every stream begins 78 DA) into this table by the host tool
// pagegen. The file manager inflates a row when a page needs it.
#pragma once

#include <cstdint>

struct builtin_file {
    const char* name;      // "preindex.html", ..., "halvstyle.css"
    const uint8_t* stream; // zlib stream
    uint32_t length;       // bytes of the stream
};

const unsigned BUILTIN_FILE_COUNT = 6;
extern const builtin_file builtin_file_table[BUILTIN_FILE_COUNT];
