// The CAN field: the boards of the field file on the bus of the board's CAN
// controller, the frame log state/can.log, and the field's control commands
// (state/field.ctl takes them one a line; tests give them in-process).
//
// A frame the chip sends is logged and heard by every board it addresses;
// each reply is a pending device event `latency` ticks later on the kernel
// clock. Replies due together reach the chip one at a time, lowest
// identifier first (as arbitration orders them), each after the interrupt
// the one before raised, so that a driver taking one frame an interrupt
// loses none; a test that reads no frame sees the chip's overflow.
//
// Control commands, each answered by data lines and a last line "ok" or
// "error: REASON" (an error leaves the field as it was):
//   list                     one line per board: NAME KIND ID key=value ...
//   get NAME                 that line; "get board" and "get can" give theirs
//   set NAME key=value ...   any key of the board's field-file line
//   set board temperature=C frequency=HZ
//   set can error=none|passive|busoff   the chip's error flags
// Everything here runs on the simulated processor (interrupt context or a
// kernel thread with interrupts masked); host threads hand commands over as
// host events.
#pragma once

#include "platform/board/can_controller.h"

#include <functional>
#include <string>
#include <vector>

namespace field {

// The field file's "can KIND NAME ID [key=value ...]" and "board temperature
// C" / "board frequency HZ" lines (the words after the kind).
bool can_field_line(const std::vector<std::string>& args, std::string& reason);
bool board_field_line(const std::vector<std::string>& args, std::string& reason);

// No boards, no log; the board's temperature and frequency at their defaults.
void can_field_reset();
// The log (truncated) in the state directory, the chip's bus attached.
bool can_field_start(const std::string& state_dir, std::string& error);
void can_field_stop();
std::string can_log_path();
// Frames on the bus since the field started, both ways (the log's lines,
// whether or not it rotated).
uint64_t can_frames();

// One control command: the reply's lines, each ending in a line feed.
std::string can_field_command(const std::string& line);

// A frame the sign tunnelled through the front panel: the boards with
// bus=panel answer it, each reply handed to `reply` (a device event on the
// kernel clock) to travel back through the panel. Logged like the chip's.
void can_field_panel_frame(const board::CanFrame& frame,
                           std::function<void(const board::CanFrame&)> reply);

// A frame on the bus from the field's side (tests: any frame, any length code).
void can_field_send(const board::CanFrame& frame);

// The longest control line taken, and the refusal of a longer one.
const size_t FIELD_COMMAND_MAX = 512;
std::string can_field_too_long();

} // namespace field
