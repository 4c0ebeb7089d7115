// Dead LEDs of the sign's display modules, and what the modules make of them.
//
// Field file lines (kind "display"):
//   display failed X[-X2] Y[-Y2]   the LEDs of columns X..X2 and rows Y..Y2
//                                  (from 0) are dead: dark whatever they are driven
//   display size HxW               the sign's LEDs, for a module scan before any
//                                  frame has reached the modules (a module type
//                                  whose frames the EPLD does not show)
//
// On a module scan of the display-bus FPGA the modules report their dead LEDs
// as frames of pixel indices (the display bus's index mapping for the sign's
// height and the field file's module height), one frame of at most 255 bytes
// at a time. The modules also tell how much light each module gives now, which
// the pixel test boards measure.
#pragma once

#include "platform/field/field.h"

#include <cstdint>
#include <string>
#include <vector>

namespace field {

// The words after "display" of a "display failed ..." or "display size ..." line.
bool display_failure_line(const std::vector<std::string>& args, std::string& reason);
// No LED dead (a new field).
void display_failures_reset();
// Dead LEDs dark in a decoded picture.
void darken_failed_leds(host::SignPicture& picture);
// The index reports of a module scan of the sign as it is now, each frame
// with its flags, escaping and checksum, at most 255 bytes.
std::vector<std::vector<uint8_t>> module_scan_frames();
// One report frame of a payload (escaped, with flags, type 1 and checksum).
std::vector<uint8_t> display_bus_frame(const std::vector<uint8_t>& payload);

} // namespace field

namespace host {

// Per module (rows of modules from the top, each from the left), the LEDs of
// the picture that light now.
std::vector<uint32_t> module_light();
// Bytes into the display-bus FPGA as if the modules had sent them.
void display_bus_inject(const std::vector<uint8_t>& bytes);

} // namespace host
