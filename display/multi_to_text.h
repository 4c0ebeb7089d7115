// One line of readable text for a MULTI string, as operators see stored
// messages on the front panel and the web pages: formatting tags dropped,
// line and page breaks as blanks, place-holders for graphics and fields, and
// the message's own name when it carries one in an [ms11,name,...] tag.
#pragma once

#include <cstddef>

// `source` is NUL-terminated; `destination` is cleared first and always ends
// NUL-terminated within `size`. A null source or destination does nothing.
void multi_to_text(const char* source, char* destination, size_t size);
