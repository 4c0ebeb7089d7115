// The CAN field (see can_field.h).
#include "platform/field/can/can_field.h"

#include "platform/board/board.h"
#include "platform/board/frequency_input.h"
#include "platform/field/can/can_board.h"
#include "platform/kernel/host.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

namespace field {

namespace {

const long LOG_LIMIT = 4L << 20; // bytes; then can.log becomes can.log.1
const int BOARD_TEMPERATURE_INITIAL = 25;
const size_t NAME_MAX = 24;

// One line per frame: TICK tx|rx ID LEN BYTES (hex; a remote frame ends in "rtr").
class CanLog {
  public:
    ~CanLog() { Close(); }
    bool Open(const std::string& path, std::string& error) {
        Close();
        path_ = path;
        file_ = std::fopen(path.c_str(), "w");
        if (file_ == nullptr) error = "field: cannot write " + path;
        return file_ != nullptr;
    }
    void Close() {
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
        size_ = 0;
    }
    const std::string& Path() const { return path_; }
    void Write(const char* direction, const board::CanFrame& f) {
        if (file_ == nullptr) return;
        char line[96];
        int n = std::snprintf(line, sizeof line, "%llu %s %X %u",
                              static_cast<unsigned long long>(host::clock_ticks()), direction,
                              unsigned(f.id), unsigned(f.dlc));
        for (int i = 0; i < f.Bytes(); ++i)
            n += std::snprintf(line + n, sizeof line - size_t(n), " %02X", f.data[i]);
        n += std::snprintf(line + n, sizeof line - size_t(n), "%s\n", f.remote ? " rtr" : "");
        std::fputs(line, file_);
        size_ += n;
        if (size_ >= LOG_LIMIT) {
            Rotate();
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - flushed_ >= FLUSH_INTERVAL) Flush();
    }
    // Lines are handed to the file by the frame that comes FLUSH_INTERVAL of
    // host time after the last hand-over, when the buffer is full, and
    // whenever a reader asks for the log's path (a flush a frame cost more
    // than the rest of the bus).
    void Flush() {
        if (file_ != nullptr) std::fflush(file_);
        flushed_ = std::chrono::steady_clock::now();
    }

  private:
    void Rotate() {
        std::fclose(file_);
        std::rename(path_.c_str(), (path_ + ".1").c_str());
        file_ = std::fopen(path_.c_str(), "w");
        size_ = 0;
    }

    static constexpr std::chrono::milliseconds FLUSH_INTERVAL{100};
    std::string path_;
    std::FILE* file_ = nullptr;
    std::chrono::steady_clock::time_point flushed_;
    long size_ = 0;
};

struct CanField {
    std::recursive_mutex m;
    std::vector<std::unique_ptr<CanBoard>> boards;
    std::multimap<uint32_t, board::CanFrame> ready; // replies due, by identifier
    bool delivering = false;
    uint64_t epoch = 0; // replies of an earlier field are dropped
    uint64_t frames = 0;
    CanLog log;
};

CanField& the_field() {
    static CanField f;
    return f;
}

using Lock = std::lock_guard<std::recursive_mutex>;

void deliver_next(uint64_t epoch);

// Hands the lowest identifier due to the chip; the next follows as a host
// event, after the interrupt this one raised.
void deliver_next(uint64_t epoch) {
    CanField& f = the_field();
    Lock lock(f.m);
    if (epoch != f.epoch) return;
    if (f.ready.empty()) {
        f.delivering = false;
        return;
    }
    board::CanFrame frame = f.ready.begin()->second;
    f.ready.erase(f.ready.begin());
    f.log.Write("rx", frame);
    ++f.frames;
    board::can_controller().Receive(frame);
    host::raise_interrupt([epoch] { deliver_next(epoch); });
}

void arrive(const board::CanFrame& frame, uint64_t epoch) {
    CanField& f = the_field();
    Lock lock(f.m);
    if (epoch != f.epoch) return;
    f.ready.emplace(frame.id, frame);
    if (f.delivering) return;
    f.delivering = true;
    host::raise_interrupt([epoch] { deliver_next(epoch); });
}

// A frame from the sign on a network: logged, and answered by every board of
// that network it addresses; each board's replies go to `deliver` together,
// `latency` ticks later.
void from_sign_on(const board::CanFrame& frame, const std::string& network,
                  const std::function<void(const board::CanFrame&, uint64_t)>& deliver) {
    CanField& f = the_field();
    Lock lock(f.m);
    f.log.Write("tx", frame);
    ++f.frames;
    uint64_t now = host::clock_ticks();
    uint64_t epoch = f.epoch;
    for (const auto& b : f.boards) {
        std::vector<board::CanFrame> replies = b->Replies(frame, network);
        if (replies.empty()) continue;
        host::schedule_device_event(now + b->Latency(), [replies, epoch, deliver] {
            for (const board::CanFrame& reply : replies)
                deliver(reply, epoch);
        });
    }
}

// A frame from the controller's chip.
void from_sign(const board::CanFrame& frame) {
    from_sign_on(frame, "local", arrive);
}

bool valid_name(const std::string& name, std::string& reason) {
    if (name.empty() || name.size() > NAME_MAX ||
        name.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-") !=
            std::string::npos)
        return reason = "bad board name '" + name + "' (1 to 24 letters, digits, _ or -)", false;
    if (name == "board" || name == "can")
        return reason = "the name " + name + " is reserved", false;
    if (find_can_board(name) != nullptr) return reason = "a board named " + name + " exists", false;
    return true;
}

std::string kind_names() {
    std::string names;
    for (const CanKind& kind : can_kinds())
        names += (names.empty() ? "" : ", ") + std::string(kind.name);
    return names;
}

// The board's own values: "temperature=C" and "frequency=HZ", all checked
// before any is applied.
bool set_board_values(const std::vector<std::string>& pairs, std::string& reason) {
    long temperature = board::board_temperature();
    long frequency = long(board::frequency_input());
    for (const std::string& pair : pairs) {
        size_t eq = pair.find('=');
        std::string key = pair.substr(0, eq == std::string::npos ? pair.size() : eq);
        std::string value = eq == std::string::npos ? "" : pair.substr(eq + 1);
        if (key == "temperature") {
            if (!parse_signed_number(value, -128, 127, temperature))
                return reason = "temperature must be a number -128 to 127", false;
        } else if (key == "frequency") {
            if (!parse_signed_number(value, 0, board::FREQUENCY_MAX_HZ, frequency))
                return reason = "frequency must be a number 0 to " +
                                std::to_string(board::FREQUENCY_MAX_HZ),
                       false;
        } else {
            return reason = "no key '" + key + "' on the board (temperature, frequency)", false;
        }
    }
    board::set_board_temperature(int(temperature));
    if (uint32_t(frequency) != board::frequency_input())
        board::frequency_input_set(uint32_t(frequency));
    return true;
}

const struct {
    const char* name;
    board::CanError error;
} CAN_ERRORS[] = {
    {"none", board::CanError::None},
    {"passive", board::CanError::Passive},
    {"busoff", board::CanError::BusOff},
};

bool set_can_values(const std::vector<std::string>& pairs, std::string& reason) {
    reason = "set can takes error=none|passive|busoff";
    if (pairs.size() != 1 || pairs[0].compare(0, 6, "error=") != 0) return false;
    for (const auto& e : CAN_ERRORS) {
        if (pairs[0].substr(6) != e.name) continue;
        board::can_controller().SetError(e.error);
        return true;
    }
    return false;
}

std::string can_line() {
    board::CanError error = board::can_controller().Error();
    for (const auto& e : CAN_ERRORS)
        if (e.error == error) return std::string("can error=") + e.name;
    return "can";
}

CanBoard* board_named(const std::string& name) {
    return const_cast<CanBoard*>(find_can_board(name));
}

bool get(const std::string& name, std::string& out, std::string& reason) {
    if (name == "board") {
        out = "board temperature=" + std::to_string(board::board_temperature()) +
              " frequency=" + std::to_string(board::frequency_input()) + "\n";
    } else if (name == "can") {
        out = can_line() + "\n";
    } else if (const CanBoard* b = find_can_board(name)) {
        out = b->Line() + b->Driven() + "\n";
    } else {
        return reason = "no board " + name, false;
    }
    return true;
}

// Every pair applies to a copy first: the board changes only when all are good.
bool set(const std::string& name, const std::vector<std::string>& pairs, std::string& reason) {
    if (name == "board") return set_board_values(pairs, reason);
    if (name == "can") return set_can_values(pairs, reason);
    CanBoard* b = board_named(name);
    if (b == nullptr) return reason = "no board " + name, false;
    CanBoard changed = *b;
    for (const std::string& pair : pairs)
        if (!changed.Set(pair, reason)) return false;
    *b = changed;
    return true;
}

bool run(const std::vector<std::string>& words, std::string& out, std::string& reason) {
    const std::string verb = words.empty() ? "" : words[0];
    if (verb == "list" && words.size() == 1) {
        for (const auto& b : the_field().boards)
            out += b->Line() + "\n";
        return true;
    }
    if (verb == "get" && words.size() == 2) return get(words[1], out, reason);
    if (verb == "set" && words.size() >= 3)
        return set(words[1], std::vector<std::string>(words.begin() + 2, words.end()), reason);
    return reason = "unknown command (list; get NAME; set NAME key=value ...)", false;
}

} // namespace

const CanBoard* find_can_board(const std::string& name) {
    CanField& f = the_field();
    Lock lock(f.m);
    for (const auto& b : f.boards)
        if (b->Name() == name) return b.get();
    return nullptr;
}

bool can_field_line(const std::vector<std::string>& args, std::string& reason) {
    if (args.size() < 3) return reason = "can needs KIND NAME ID [key=value ...]", false;
    const CanKind* kind = find_can_kind(args[0]);
    if (kind == nullptr)
        return reason = "unknown CAN board kind '" + args[0] + "' (" + kind_names() + ")", false;
    CanField& f = the_field();
    Lock lock(f.m);
    if (!valid_name(args[1], reason)) return false;
    uint32_t id = 0;
    if (!parse_can_id(args[2], id))
        return reason = "bad identifier '" + args[2] + "' (hex, 0 to 1FFFFF7F)", false;
    auto b = std::make_unique<CanBoard>(*kind, args[1], id);
    for (size_t i = 3; i < args.size(); ++i)
        if (!b->Set(args[i], reason)) return false;
    f.boards.push_back(std::move(b));
    return true;
}

bool board_field_line(const std::vector<std::string>& args, std::string& reason) {
    if (args.size() != 2 || (args[0] != "temperature" && args[0] != "frequency"))
        return reason = "board needs temperature C or frequency HZ", false;
    return set_board_values({args[0] + "=" + args[1]}, reason);
}

void can_field_reset() {
    CanField& f = the_field();
    Lock lock(f.m);
    f.boards.clear();
    f.ready.clear();
    f.delivering = false;
    ++f.epoch;
    board::set_board_temperature(BOARD_TEMPERATURE_INITIAL);
    board::frequency_input_set(0);
}

bool can_field_start(const std::string& state_dir, std::string& error) {
    CanField& f = the_field();
    Lock lock(f.m);
    if (!f.log.Open(state_dir + "/can.log", error)) return false;
    f.frames = 0;
    board::can_attach_bus(from_sign);
    return true;
}

void can_field_stop() {
    board::can_attach_bus(nullptr);
    CanField& f = the_field();
    Lock lock(f.m);
    f.log.Close();
}

std::string can_log_path() {
    CanField& f = the_field();
    Lock lock(f.m);
    f.log.Flush();
    return f.log.Path();
}

uint64_t can_frames() {
    CanField& f = the_field();
    Lock lock(f.m);
    return f.frames;
}

std::string can_field_too_long() {
    return "error: the line is too long (" + std::to_string(FIELD_COMMAND_MAX) +
           " characters at most)\n";
}

std::string can_field_command(const std::string& line) {
    if (line.size() > FIELD_COMMAND_MAX) return can_field_too_long();
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    CanField& f = the_field();
    Lock lock(f.m);
    std::string out, reason;
    if (!run(words, out, reason)) return "error: " + reason + "\n";
    return out + "ok\n";
}

void can_field_panel_frame(const board::CanFrame& frame,
                           std::function<void(const board::CanFrame&)> reply) {
    from_sign_on(frame, "panel", [reply](const board::CanFrame& answer, uint64_t epoch) {
        CanField& f = the_field();
        Lock lock(f.m);
        if (epoch != f.epoch) return;
        f.log.Write("rx", answer);
        ++f.frames;
        reply(answer);
    });
}

void can_field_send(const board::CanFrame& frame) {
    uint64_t epoch;
    {
        CanField& f = the_field();
        Lock lock(f.m);
        epoch = f.epoch;
    }
    host::raise_interrupt([frame, epoch] { arrive(frame, epoch); });
}

} // namespace field
