// The kinds of CAN board: their group identifiers, keys and read replies.
// A new kind is a row here.
#include "platform/field/can/can_board.h"

namespace field {

namespace {

void put16(uint8_t* at, long value) {
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
}

// Temperature: byte 3 the degrees (signed byte).
void read_temperature(const CanBoard& board, uint8_t* reply) {
    reply[3] = uint8_t(int8_t(board.Number("temp")));
}

// Light: bytes 3-4 the raw reading, 5-6 the level.
void read_light(const CanBoard& board, uint8_t* reply) {
    put16(reply + 3, board.Number("raw"));
    put16(reply + 5, board.Number("level"));
}

// Humidity: byte 3 percent relative humidity, byte 5 the second value.
void read_humidity(const CanBoard& board, uint8_t* reply) {
    reply[3] = uint8_t(board.Number("rh"));
    reply[5] = uint8_t(board.Number("second"));
}

// Fan speed: bytes 3-4 RPM; with follows=BOARD.POINT, 0 while that output is off.
void read_rpm(const CanBoard& board, uint8_t* reply) {
    long rpm = board.Number("rpm");
    const std::string& follows = board.Text("follows");
    if (follows != "none") {
        size_t dot = follows.find('.');
        const CanBoard* io = find_can_board(follows.substr(0, dot));
        int point = std::atoi(follows.c_str() + dot + 1);
        bool on =
            io != nullptr && io->Kind().output_on != nullptr && io->Kind().output_on(*io, point);
        if (!on) rpm = 0;
    }
    put16(reply + 3, rpm);
}

// The keys of the I/O boards' points.
const std::vector<CanKey> IO_KEYS = {{"open", 0, 0, "none", true},
                                     {"closed", 0, 0, "24-55", true},
                                     {"tie", 0, 0, "none", true},
                                     {"echo", 0, 1, "1"}};

} // namespace

const std::vector<CanKind>& can_kinds() {
    static const std::vector<CanKind> kinds = {
        {"temperature", {0x42100}, {{"temp", -128, 127, "25"}}, read_temperature, nullptr},
        {"light",
         {0x42000, 0x42010},
         {{"raw", 0, 65535, "0"}, {"level", 0, 65535, "0"}},
         read_light,
         nullptr},
        {"humidity",
         {0x42900},
         {{"rh", 0, 100, "50"}, {"second", 0, 255, "0"}},
         read_humidity,
         nullptr},
        {"rpm",
         {0x42520},
         {{"rpm", 0, 65535, "0"}, {"follows", 0, 0, "none", true}},
         read_rpm,
         nullptr},
        {"dcio", {0x42220}, IO_KEYS, io_read, io_output_on, io_request},
        {"ptb",
         {0x42B00},
         {{"v0", 0, 255, "120"},
          {"v1", 0, 255, "120"},
          {"v2", 0, 255, "120"},
          {"v3", 0, 255, "120"},
          {"v4", 0, 255, "120"},
          {"v5", 0, 255, "120"}},
         nullptr,
         nullptr,
         nullptr,
         ptb_read_frames},
        {"acio", {}, IO_KEYS, io_read, io_output_on, acio_request, nullptr, ACIO_PORTS},
    };
    return kinds;
}

const CanKind* find_can_kind(const std::string& name) {
    for (const CanKind& kind : can_kinds())
        if (name == kind.name) return &kind;
    return nullptr;
}

} // namespace field
