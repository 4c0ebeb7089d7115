// The I/O board kinds (dcio, acio): four ports of eight points, 24-55 as the
// sign numbers them. The sign configures each port of a dcio board as inputs
// (F0) or outputs (FF); an acio board's ports are wired (24-39 outputs,
// 40-55 inputs). The sign drives the outputs; a read reports, per point, 0 while an input's
// contact is made and 1 while an output is on (unless echo=0: outputs are not
// read back). Contacts are made unless opened (open=), or follow an output
// (tie=IN:OUT: the input is made while the output is on).
#include "platform/field/can/can_board.h"

#include "platform/field/field_file.h"

#include <cstdio>

namespace field {

namespace {

const int FIRST_POINT = 24, LAST_POINT = 55, PORTS = 4, FIRST_PORT_BYTE = 3;
const uint8_t PORT_INPUT = 0xF0, PORT_OUTPUT = 0xFF;
enum : uint8_t {
    CMD_SET_OUTPUTS = 0x01,
    CMD_CONFIGURE = 0x03,
    CMD_KEEP_ALIVE = 0x07,
    RESET_MARK = 0x07, // byte 7 of the configuration reset
};

bool bit(const uint8_t* image, int point) {
    return (image[point / 8] >> (point % 8)) & 1;
}

bool parse_point(const std::string& word, int& point) {
    long n = 0;
    if (!parse_field_number(word, FIRST_POINT, LAST_POINT, n)) return false;
    point = int(n);
    return true;
}

// "none", or items P or P-Q separated by commas -> a mask of points.
bool parse_points(const std::string& value, uint64_t& mask, std::string& reason) {
    mask = 0;
    if (value == "none") return true;
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        std::string item = value.substr(start, comma == std::string::npos ? comma : comma - start);
        size_t dash = item.find('-');
        int low = 0, high = 0;
        bool good = dash == std::string::npos
                        ? parse_point(item, low) && parse_point(item, high)
                        : parse_point(item.substr(0, dash), low) &&
                              parse_point(item.substr(dash + 1), high) && low <= high;
        if (!good)
            return reason = "points must be none or P or P-Q items, 24 to 55, comma-separated",
                   false;
        for (int p = low; p <= high; ++p)
            mask |= uint64_t(1) << p;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

// "IN:OUT,..." or "none".
bool parse_ties(const std::string& value, std::vector<std::pair<int, int>>& ties,
                std::string& reason) {
    ties.clear();
    if (value == "none") return true;
    size_t start = 0;
    while (true) {
        size_t comma = value.find(',', start);
        std::string item = value.substr(start, comma == std::string::npos ? comma : comma - start);
        size_t colon = item.find(':');
        int in = 0, out = 0;
        if (colon == std::string::npos || !parse_point(item.substr(0, colon), in) ||
            !parse_point(item.substr(colon + 1), out) || in == out)
            return reason = "tie must be none or IN:OUT items (points 24 to 55)", false;
        ties.emplace_back(in, out);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// A mask as "24-27,30" ("none" when empty).
std::string points_text(uint64_t mask) {
    std::string text;
    for (int p = FIRST_POINT; p <= LAST_POINT; ++p) {
        if (!((mask >> p) & 1)) continue;
        int end = p;
        while (end < LAST_POINT && ((mask >> (end + 1)) & 1))
            ++end;
        text += (text.empty() ? "" : ",") + std::to_string(p);
        if (end > p) text += "-" + std::to_string(end);
        p = end;
    }
    return text.empty() ? "none" : text;
}

uint64_t all_points() {
    uint64_t mask = 0;
    for (int p = FIRST_POINT; p <= LAST_POINT; ++p)
        mask |= uint64_t(1) << p;
    return mask;
}

int port_of(int point) {
    return (point - FIRST_POINT) / 8;
}

bool made(const CanBoard& board, int point) {
    for (const auto& tie : board.Io().ties)
        if (tie.first == point) return io_output_on(board, tie.second);
    return !((board.Io().open >> point) & 1);
}

} // namespace

bool is_io_point_key(const std::string& key) {
    return key == "open" || key == "closed" || key == "tie";
}

bool io_point_key(CanBoard& board, const std::string& key, const std::string& value,
                  std::string& reason) {
    CanIoState& io = board.Io();
    if (key == "tie") return parse_ties(value, io.ties, reason);
    uint64_t mask = 0;
    if (!parse_points(value, mask, reason)) return false;
    io.open = key == "open" ? io.open | mask : io.open & ~mask;
    return true;
}

std::string io_key_text(const CanBoard& board, const std::string& key) {
    const CanIoState& io = board.Io();
    if (key == "open") return points_text(io.open);
    if (key == "closed") return points_text(all_points() & ~io.open);
    std::string text;
    for (const auto& tie : io.ties)
        text += (text.empty() ? "" : ",") + std::to_string(tie.first) + ":" +
                std::to_string(tie.second);
    return text.empty() ? "none" : text;
}

bool io_output_on(const CanBoard& board, int point) {
    if (point < FIRST_POINT || point > LAST_POINT) return false;
    return board.Io().dirs[port_of(point)] == PORT_OUTPUT && bit(board.Io().outputs, point);
}

void io_read(const CanBoard& board, uint8_t* reply) {
    const bool echo = board.Number("echo") != 0;
    for (int point = FIRST_POINT; point <= LAST_POINT; ++point) {
        bool output = board.Io().dirs[port_of(point)] == PORT_OUTPUT;
        bool high = output ? echo && io_output_on(board, point) : !made(board, point);
        if (high) reply[point / 8] |= uint8_t(1u << (point % 8));
    }
}

// Port configuration (four codes, byte 7 zero) and the configuration reset
// (07 in byte 7) are answered 'C', as are trigger and beacon settings; a
// set-outputs request is kept and echoed.
bool io_request(CanBoard& board, const uint8_t* request, uint8_t* reply) {
    CanIoState& io = board.Io();
    switch (request[0]) {
    case CMD_CONFIGURE: {
        bool ports = request[7] == 0;
        for (int p = 0; p < PORTS; ++p) {
            uint8_t code = request[FIRST_PORT_BYTE + p];
            ports = ports && (code == PORT_INPUT || code == PORT_OUTPUT);
        }
        if (ports) {
            for (int p = 0; p < PORTS; ++p)
                io.dirs[p] = request[FIRST_PORT_BYTE + p];
        } else if (request[7] == RESET_MARK && request[3] == 0 && request[4] == 0) {
            for (uint8_t& d : io.dirs)
                d = 0;
            for (uint8_t& o : io.outputs)
                o = 0;
        }
        return true;
    }
    case CMD_SET_OUTPUTS:
        for (int i = FIRST_PORT_BYTE; i < 8; ++i) {
            io.outputs[i] = request[i];
            reply[i] = request[i];
        }
        return true;
    case CMD_KEEP_ALIVE:
        return true;
    default:
        return false;
    }
}

const uint8_t ACIO_PORTS[PORTS] = {PORT_OUTPUT, PORT_OUTPUT, PORT_INPUT, PORT_INPUT};

bool acio_request(CanBoard& board, const uint8_t* request, uint8_t* reply) {
    return request[0] == CMD_SET_OUTPUTS && io_request(board, request, reply);
}

std::string io_driven(const CanBoard& board) {
    uint64_t on = 0;
    for (int point = FIRST_POINT; point <= LAST_POINT; ++point)
        if (io_output_on(board, point)) on |= uint64_t(1) << point;
    std::string dirs;
    for (uint8_t d : board.Io().dirs) {
        char code[4];
        std::snprintf(code, sizeof code, "%02X", d);
        dirs += (dirs.empty() ? "" : ",") + std::string(code);
    }
    if (board.Io().dirs[0] == 0) dirs = "none";
    return " outputs=" + points_text(on) + " dirs=" + dirs;
}

} // namespace field
