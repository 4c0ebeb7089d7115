// The field file: one device a line, the first word its kind, then the
// kind's arguments; '#' starts a comment; blank lines are ignored. One
// parser serves every kind: each kind is a row of FIELD_KINDS (field_file.cpp)
// that names the function taking its lines.
#pragma once

#include <string>
#include <vector>

namespace field {

// A kind's line handler: the words after the kind. False with a reason for a
// bad argument; the device is set up otherwise.
using KindLine = bool (*)(const std::vector<std::string>& args, std::string& reason);

// Reads the file and hands each line to its kind. False with
// "FILE:LINE: reason" for an unknown kind or a bad argument, or with why the
// file cannot be read.
bool load_field_file(const std::string& path, std::string& error);

// One line of a field file, applied. False with the reason.
bool apply_field_line(const std::string& line, std::string& reason);

// Number arguments of every kind: a whole decimal number in [min, max].
bool parse_field_number(const std::string& word, long min, long max, long& out);

} // namespace field
