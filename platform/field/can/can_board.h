// A simulated board on the sign's CAN bus: one base for every kind, a table
// row per kind (can_kinds.cpp).
//
// The board protocol: a request is an extended data frame to the board's
// identifier (or to a group identifier of its kind), byte 0 the command,
// bytes 1-2 01 01; the reply comes from the identifier + 0x80, byte 0 =
// 0x40 + the command, bytes 1-2 as in the request. Every kind answers
// identify (02) with its revision in bytes 5-6; its row builds the rest.
//
// A board's settings are key=value pairs: the keys of every board (rev,
// silent, latency, bus) and those of its kind, each checked against its row.
#pragma once

#include "platform/board/can_controller.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace field {

class CanBoard;

// What an I/O board (dcio, acio) keeps of itself and of what the sign drove.
struct CanIoState {
    uint64_t open = 0;                     // input points whose contact is not made
    std::vector<std::pair<int, int>> ties; // input made while output on
    uint8_t outputs[8] = {};               // the commanded output image (points 0-63)
    uint8_t dirs[4] = {};                  // port codes the sign configured, 0 none yet
};

// A key of a board: numbers in [min, max], or (text set) a word its kind checks.
struct CanKey {
    const char* name;
    long min, max;
    const char* initial;
    bool text = false;
};

struct CanKind {
    const char* name;
    std::vector<uint32_t> groups; // group identifiers the kind answers
    std::vector<CanKey> keys;
    // Bytes 3-7 of the reply to a read (command 00).
    void (*read)(const CanBoard& board, uint8_t* reply);
    // Output point `point` is on (I/O kinds; null: the kind has no outputs).
    bool (*output_on)(const CanBoard& board, int point);
    // A request other than read and identify: bytes 3-7 of the reply into
    // `reply`; false sends none (null: the kind answers none).
    bool (*request)(CanBoard& board, const uint8_t* request, uint8_t* reply) = nullptr;
    // A read answered in several frames (null: one frame from `read`): the
    // reply frames' bytes 1-7 (byte 1 the frame number) into `frames`. -> how many.
    unsigned (*read_frames)(const CanBoard& board, const uint8_t* request,
                            uint8_t frames[][8]) = nullptr;
    // The port codes of a board whose ports are wired, not configured by the
    // sign (null: the sign configures them).
    const uint8_t* wired_ports = nullptr;
};

// Most frames one request is answered with.
const unsigned CAN_MAX_REPLY_FRAMES = 3;

// The kinds, and one by name (null when unknown).
const std::vector<CanKind>& can_kinds();
const CanKind* find_can_kind(const std::string& name);

const uint32_t CAN_REPLY_OFFSET = 0x80;
const uint32_t CAN_MAX_BOARD_ID = 0x1FFFFFFF - CAN_REPLY_OFFSET;

class CanBoard {
  public:
    CanBoard(const CanKind& kind, const std::string& name, uint32_t id);

    const std::string& Name() const { return name_; }
    const CanKind& Kind() const { return *kind_; }
    uint32_t Id() const { return id_; }
    // key=value; false with the reason (the board unchanged).
    bool Set(const std::string& pair, std::string& reason);
    long Number(const char* key) const;
    const std::string& Text(const char* key) const;
    // "NAME KIND ID key=value ..." (ID in hex).
    std::string Line() const;

    // The replies to a frame on a network ("local": the controller's chip,
    // "panel": the front panel's tunnel), in the order the board sends them
    // (none when it sends nothing or sits on the other network).
    std::vector<board::CanFrame> Replies(const board::CanFrame& request,
                                         const std::string& network = "local");
    // What the sign drove (I/O kinds): " outputs=P,... dirs=C,C,C,C"; "" otherwise.
    std::string Driven() const;
    CanIoState& Io() { return io_; }
    const CanIoState& Io() const { return io_; }
    uint64_t Latency() const { return uint64_t(Number("latency")); }

  private:
    const CanKey* Key(const std::string& name) const;

    const CanKind* kind_;
    std::string name_;
    uint32_t id_;
    std::vector<std::pair<const CanKey*, std::string>> values_;
    CanIoState io_;
};

// The I/O kinds' point keys (can_io.cpp): open=, closed=, tie=. -> false with
// the reason, the board unchanged. io_key_text gives a key's shown value.
bool io_point_key(CanBoard& board, const std::string& key, const std::string& value,
                  std::string& reason);
bool is_io_point_key(const std::string& key);
std::string io_key_text(const CanBoard& board, const std::string& key);
// The dcio kind's read reply, output test and requests.
void io_read(const CanBoard& board, uint8_t* reply);
bool io_output_on(const CanBoard& board, int point);
bool io_request(CanBoard& board, const uint8_t* request, uint8_t* reply);
// The ptb kind's reads (can_ptb.cpp): a measurement of the six voltages in
// two frames, or (byte 3 of the request 1) a pixel test in three frames.
unsigned ptb_read_frames(const CanBoard& board, const uint8_t* request, uint8_t frames[][8]);
// The acio kind: its wired ports (24-39 outputs, 40-55 inputs) and its only
// request besides read and identify, set-outputs.
extern const uint8_t ACIO_PORTS[4];
bool acio_request(CanBoard& board, const uint8_t* request, uint8_t* reply);
std::string io_driven(const CanBoard& board);

// The board of that name on the field (null none); the kinds' checks use it.
const CanBoard* find_can_board(const std::string& name);

// Checks of the words the field file and the control socket give.
bool parse_can_id(const std::string& word, uint32_t& id);
bool parse_signed_number(const std::string& word, long min, long max, long& out);

} // namespace field
