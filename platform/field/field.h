// Host side of the simulated field equipment: what is wired to the controller
// beyond its devices (the sign's display modules now; CAN boards and the
// front panel join them). The host program and the tests start it after the
// board, from the same options. Firmware code never includes this.
#pragma once

#include "platform/board/can_controller.h"
#include "platform/field/panel_lcd.h"
#include "platform/host_options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// The field from the options: every device at its defaults, then the field
// file (options.field_file, when named) line by line, then the CAN field's
// log and control socket, the display modules on the display EPLD's output
// and the writers of the sign picture (state_dir/sign.png) and the panel picture (panel.png). False
// with the reason in `error`: "FILE:LINE: reason" for a bad line, or why the file cannot be read.
bool field_start(const HostOptions& options, std::string& error);
// Stops the picture writer and detaches the modules (tests; before the state
// directory goes).
void field_stop();

// One line as the field file gives it, applied now (tests change the field
// this way). False with the reason in `error`.
bool field_line(const std::string& line, std::string& error);

// The CAN field (platform/field/can/): boards of the field file answering on
// the bus of the board's CAN controller, the frame log (state_dir/can.log,
// truncated at start) and the control socket (state_dir/field.ctl).
//
// A control command as the socket takes it ("list", "get NAME", "set NAME
// key=value ..."): the reply's lines, the last "ok" or "error: REASON". Call
// from a kernel thread (a test body): the command runs with the processor's
// interrupts masked, as the socket's host event does.
std::string field_command(const std::string& line);
std::string field_control_path();
std::string can_log_path();
// Frames on the CAN bus since the field started, both ways.
uint64_t can_frames();
// A frame on the CAN bus from the field's side (any identifier and length
// code), delivered to the chip as a board's reply is.
void can_field_send(const board::CanFrame& frame);

// The sign as its modules show it: one LED per pixel, three drive levels per
// LED (red, green, blue, 0..255; a one-colour module drives the first only).
struct SignPicture {
    int width = 0, height = 0; // LEDs
    int brightness = 0;        // percent, as the EPLD drives the modules
    uint64_t changes = 0;      // counts every change of LEDs or brightness
    std::vector<uint8_t> levels;

    const uint8_t* Led(int x, int y) const { return &levels[3 * (size_t(y) * width + x)]; }
};
SignPicture sign_picture();
// The picture's path (state_dir/sign.png).
std::string sign_picture_path();
// Writes the picture now when it changed since it was last written (as the
// writer thread does at most ten times a second). True when it is current.
bool sign_picture_flush();

// The front panel's LCD (state_dir/panel.png): its 240 x 64 dots, dark on
// light, as the bytes sent on serial port 1 draw them (the panel model of
// platform/field/panel_lcd.h, whether or not a panel is attached), written
// like the sign picture and only when the dots changed.
std::string panel_picture_path();
// A front panel attached in-process as the far end of serial port 1 (tests):
// the panel model reads what the port sends and answers the probe and the
// revision request with `revision`; panel_send puts the panel's bytes (keys,
// reports) into the port's input.
field::PanelLcd& panel_attach(uint8_t revision);
void panel_detach();
void panel_send(const std::vector<uint8_t>& bytes);
bool panel_picture_flush();

} // namespace host
