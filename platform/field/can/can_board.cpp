// The board base (see can_board.h).
#include "platform/field/can/can_board.h"

#include "platform/field/field_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace field {

namespace {

enum : uint8_t { CMD_READ = 0x00, CMD_IDENTIFY = 0x02, REPLY_TAG = 0x40 };

// The keys of every board, before the kind's own.
const CanKey COMMON_KEYS[] = {
    {"rev", 0, 65535, "1"},
    {"silent", 0, 1, "0"},
    {"latency", 0, 6000, "1"},
    {"bus", 0, 0, "local", true},
};

// Text keys: "bus" and "follows" (BOARD.POINT of an I/O board's output).
bool check_text(const CanKey& key, const std::string& value, std::string& reason) {
    if (std::string(key.name) == "bus") {
        if (value == "local" || value == "panel") return true;
        return reason = "bus must be local or panel", false;
    }
    if (value == "none") return true;
    size_t dot = value.find('.');
    long point = 0;
    if (dot == std::string::npos || !parse_field_number(value.substr(dot + 1), 1, 999, point))
        return reason = std::string(key.name) + " must be none or BOARD.POINT", false;
    const CanBoard* target = find_can_board(value.substr(0, dot));
    if (target == nullptr) return reason = "no board " + value.substr(0, dot), false;
    if (target->Kind().output_on == nullptr)
        return reason = target->Name() + " is no I/O board", false;
    return true;
}

} // namespace

bool parse_signed_number(const std::string& word, long min, long max, long& out) {
    if (word.size() < 2 || word[0] != '-')
        return parse_field_number(word, min < 0 ? 0 : min, max, out);
    long magnitude = 0;
    if (min >= 0 || !parse_field_number(word.substr(1), 0, -min, magnitude)) return false;
    out = -magnitude;
    return out <= max;
}

bool parse_can_id(const std::string& word, uint32_t& id) {
    std::string digits = word.compare(0, 2, "0x") == 0 ? word.substr(2) : word;
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    unsigned long v = std::strtoul(digits.c_str(), nullptr, 16);
    if (v > CAN_MAX_BOARD_ID) return false;
    id = uint32_t(v);
    return true;
}

CanBoard::CanBoard(const CanKind& kind, const std::string& name, uint32_t id)
    : kind_(&kind), name_(name), id_(id) {
    for (const CanKey& key : COMMON_KEYS)
        values_.emplace_back(&key, key.initial);
    for (const CanKey& key : kind.keys)
        values_.emplace_back(&key, key.initial);
    if (kind.wired_ports != nullptr) std::memcpy(io_.dirs, kind.wired_ports, sizeof io_.dirs);
}

const CanKey* CanBoard::Key(const std::string& name) const {
    for (const auto& v : values_)
        if (name == v.first->name) return v.first;
    return nullptr;
}

bool CanBoard::Set(const std::string& pair, std::string& reason) {
    size_t eq = pair.find('=');
    if (eq == std::string::npos) return reason = "'" + pair + "' is no key=value", false;
    const CanKey* key = Key(pair.substr(0, eq));
    if (key == nullptr) {
        reason = "no key '" + pair.substr(0, eq) + "' on a " + kind_->name + " board (";
        for (size_t i = 0; i < values_.size(); ++i)
            reason += (i ? ", " : "") + std::string(values_[i].first->name);
        return reason += ")", false;
    }
    std::string value = pair.substr(eq + 1);
    long n = 0;
    if (is_io_point_key(key->name)) {
        return io_point_key(*this, key->name, value, reason);
    } else if (key->text) {
        if (!check_text(*key, value, reason)) return false;
    } else if (!parse_signed_number(value, key->min, key->max, n)) {
        return reason = std::string(key->name) + " must be a number " + std::to_string(key->min) +
                        " to " + std::to_string(key->max),
               false;
    } else {
        value = std::to_string(n);
    }
    for (auto& v : values_)
        if (v.first == key) v.second = value;
    return true;
}

long CanBoard::Number(const char* key) const {
    return std::strtol(Text(key).c_str(), nullptr, 10);
}

const std::string& CanBoard::Text(const char* key) const {
    static const std::string none;
    for (const auto& v : values_)
        if (std::string(key) == v.first->name) return v.second;
    return none;
}

std::string CanBoard::Line() const {
    char id[16];
    std::snprintf(id, sizeof id, "%X", unsigned(id_));
    std::string line = name_ + " " + kind_->name + " " + id;
    for (const auto& v : values_)
        line += " " + std::string(v.first->name) + "=" +
                (is_io_point_key(v.first->name) ? io_key_text(*this, v.first->name) : v.second);
    return line;
}

std::string CanBoard::Driven() const {
    return kind_->output_on != nullptr ? io_driven(*this) : "";
}

std::vector<board::CanFrame> CanBoard::Replies(const board::CanFrame& request,
                                               const std::string& network) {
    bool addressed = request.id == id_;
    for (uint32_t group : kind_->groups)
        addressed = addressed || request.id == group;
    if (!addressed || !request.extended || request.remote || request.dlc == 0) return {};
    if (Number("silent") != 0 || Text("bus") != network) return {};
    uint8_t command = request.data[0];
    bool other = command != CMD_READ && command != CMD_IDENTIFY;
    if (other && kind_->request == nullptr) return {};
    board::CanFrame reply;
    reply.id = id_ + CAN_REPLY_OFFSET;
    reply.dlc = 8;
    reply.data[0] = uint8_t(REPLY_TAG + command);
    reply.data[1] = request.data[1];
    reply.data[2] = request.data[2];
    if (other) {
        if (!kind_->request(*this, request.data, reply.data)) return {};
    } else if (command == CMD_READ && kind_->read_frames != nullptr) {
        uint8_t frames[CAN_MAX_REPLY_FRAMES][8] = {};
        unsigned count = kind_->read_frames(*this, request.data, frames);
        std::vector<board::CanFrame> replies;
        for (unsigned f = 0; f < count && f < CAN_MAX_REPLY_FRAMES; ++f) {
            replies.push_back(reply);
            std::copy(frames[f] + 1, frames[f] + 8, replies.back().data + 1);
        }
        return replies;
    } else if (command == CMD_READ) {
        kind_->read(*this, reply.data);
    } else {
        long rev = Number("rev");
        reply.data[5] = uint8_t(rev >> 8);
        reply.data[6] = uint8_t(rev);
    }
    return {reply};
}

} // namespace field
