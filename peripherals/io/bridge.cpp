// The bridge between point peripherals and their boards (see bridge.h).
#include "peripherals/io/bridge.h"

#include "peripherals/peripheral_task.h"
#include "runtime/console.h"

#include <cstring>

namespace {

const uint8_t FIRST_BOUND_POINT = 24;
const uint8_t POINTS_PER_MASK = 32;
const uint8_t DIRECTION_INPUT = 0x00, DIRECTION_OUTPUT = 0xFF;

uint32_t serial_counter = 0;

uint32_t next_serial() {
    if (++serial_counter == 0) ++serial_counter;
    return serial_counter;
}

bool point_of(const uint8_t* image, unsigned point) {
    return (image[point / 8] >> (point % 8)) & 1;
}

void put_point(uint8_t* image, unsigned point, bool on) {
    const uint8_t bit = uint8_t(1u << (point % 8));
    image[point / 8] = on ? uint8_t(image[point / 8] | bit) : uint8_t(image[point / 8] & ~bit);
}

void or_into(uint8_t* target, const uint8_t* bits) {
    for (unsigned i = 0; i < IO_IMAGE_BYTES; ++i)
        target[i] |= bits[i];
}

void clear_from(uint8_t* target, const uint8_t* bits) {
    for (unsigned i = 0; i < IO_IMAGE_BYTES; ++i)
        target[i] &= uint8_t(~bits[i]);
}

void mask_to_image(uint32_t mask, uint8_t* image) {
    for (unsigned b = 0; b < POINTS_PER_MASK; ++b)
        if (mask & (1u << b)) put_point(image, FIRST_BOUND_POINT + b, true);
}

void add_point(uint32_t point, uint32_t first, uint32_t& mask, bool reset) {
    if (reset) mask = 0;
    if (point >= first && point < first + POINTS_PER_MASK) mask |= 1u << (point - first);
}

} // namespace

const bridge_kind DCIO_BRIDGE = {"dcio_bridge", "dcio_bridge::Init: failed to find dcio class\n",
                                 IO_BOARD_DCIO, true, true};
const bridge_kind PTB_BRIDGE = {"ptb_bridge",
                                "ptb_bridge::Init: failed to find OrinthPixelBoardClass class\n\n",
                                IO_BOARD_PIXEL_TEST, false, false};
const bridge_kind ACIO_BRIDGE = {"acio_bridge", "acio_bridge::Init: failed to find acio class\n",
                                 IO_BOARD_ACIO, true, true};

void dcio_point_mask(uint32_t point, uint32_t& mask, bool reset) {
    add_point(point, FIRST_BOUND_POINT, mask, reset);
}

void ptb_point_mask(uint32_t point, uint32_t& mask, bool reset) {
    add_point(point, 1, mask, reset);
}

uint32_t io_bit_index(uint32_t bits) {
    uint32_t k = 0;
    while (bits > 1) {
        bits >>= 1;
        ++k;
    }
    return k;
}

interface_cfg::interface_cfg() : serial(next_serial()) {}

interface_cfg::interface_cfg(uint32_t point_mask, uint8_t write, uint32_t trigger_mask,
                             uint8_t kind)
    : trigger_kind(kind), write_access(write), serial(next_serial()) {
    mask_to_image(point_mask, points);
    mask_to_image(trigger_mask, triggers);
}

// ---- the bridge -----------------------------------------------------------------

io_bridge::~io_bridge() {
    if (board_ != nullptr) board_->RemoveListener(this);
}

// The registry is searched by id; what it finds must be a board of the
// bridge's kind, so a point peripheral stored with a wrong board id is
// refused rather than reading another peripheral's memory as an image.
bool io_bridge::Init(uint16_t board_id, CPeripheral* owner) {
    CPeripheral* found = nullptr;
    ThePeripheralTask().Find(board_id, &found);
    io_board* board = dynamic_cast<io_board*>(found);
    if (board == nullptr || board->BoardKind() != kind_->board_kind) {
        console_printf("%s", kind_->missing_text);
        return false;
    }
    board_ = board;
    owner_ = owner;
    board_->AddListener(this);
    return true;
}

interface_cfg* io_bridge::Find(uint32_t serial) {
    for (unsigned i = 0; i < SETS; ++i)
        if (used_[i] && sets_[i].serial == serial) return &sets_[i];
    return nullptr;
}

const interface_cfg* io_bridge::Find(uint32_t serial) const {
    return const_cast<io_bridge*>(this)->Find(serial);
}

// The checks of a new set, in order; the first that fails prints its line.
bool io_bridge::Refuses(const interface_cfg& set) const {
    const char* name = kind_->name;
    const uint8_t* directions = board_->Directions();
    for (unsigned i = 0; directions != nullptr && i < IO_IMAGE_BYTES; ++i) {
        if (set.points[i] == 0) continue;
        if (!set.write_access && directions[i] == DIRECTION_OUTPUT) {
            console_printf("%s::Register: cannot register input on output port\n", name);
            return true;
        }
        if (set.write_access && directions[i] == DIRECTION_INPUT) {
            console_printf("%s::Register: cannot register output on input port\n", name);
            return true;
        }
    }
    const uint8_t* claimed = const_cast<io_board*>(board_)->ClaimedPoints();
    for (unsigned i = 0; claimed != nullptr && !set.read_only_override && i < IO_IMAGE_BYTES; ++i) {
        if (set.points[i] & claimed[i]) {
            console_printf("%s::Register: conflict found\n", name);
            return true;
        }
    }
    for (unsigned i = 0; directions != nullptr && i < IO_IMAGE_BYTES; ++i) {
        if (directions[i] == DIRECTION_OUTPUT && set.triggers[i] != 0) {
            console_printf("%s::Register: cannot configure trigger on output port\n", name);
            return true;
        }
    }
    return false;
}

uint32_t io_bridge::Register(const interface_cfg& set) {
    if (set.read_only_override && set.write_access) {
        console_printf("%s::Register: cannot register read-only override access because write "
                       "access flag was set\n",
                       kind_->name);
        return 0;
    }
    if (board_ == nullptr) {
        console_printf("%s::Reigster: m_pCIO is null\n", kind_->name);
        return set.serial;
    }
    if (Refuses(set)) return 0;
    unsigned slot = 0;
    while (slot < SETS && used_[slot])
        ++slot;
    if (slot == SETS) {
        console_printf("%s::Register: no room for another point set\n", kind_->name);
        return 0;
    }
    uint8_t* trigger_mask = board_->TriggerMask(set.trigger_kind);
    if (trigger_mask != nullptr) or_into(trigger_mask, set.triggers);
    if (uint8_t* claimed = board_->ClaimedPoints()) or_into(claimed, set.points);
    sets_[slot] = set;
    used_[slot] = true;
    return set.serial;
}

void io_bridge::UnRegister(uint32_t serial) {
    interface_cfg* set = Find(serial);
    if (set == nullptr) {
        console_printf("%s::UnRegister: failed to find node\n", kind_->name);
        return;
    }
    if (board_ != nullptr) {
        if (uint8_t* claimed = board_->ClaimedPoints()) clear_from(claimed, set->points);
        if (uint8_t* trigger_mask = board_->TriggerMask(set->trigger_kind))
            clear_from(trigger_mask, set->triggers);
    }
    used_[set - sets_] = false;
}

uint32_t io_bridge::Get(uint32_t serial, uint32_t from_event) const {
    const interface_cfg* set = Find(serial);
    if (set == nullptr) {
        if (kind_->reports_unknown)
            console_printf("%s::Get: failed to find node  ID %X  ISR %d\n", kind_->name,
                           unsigned(serial), int(from_event));
        return 0;
    }
    if (board_ == nullptr) return 0;
    uint8_t input[IO_IMAGE_BYTES];
    std::memcpy(input, board_->InputImage(), sizeof input);
    uint32_t packed = 0;
    unsigned k = 0;
    for (unsigned point = board_->FirstPoint(); point <= board_->LastPoint() && k < 32; ++point) {
        if (!point_of(set->points, point)) continue;
        if (point_of(input, point)) packed |= 1u << k;
        ++k;
    }
    return packed;
}

void io_bridge::Set(uint32_t serial, uint32_t value) {
    if (!kind_->writes) return;
    interface_cfg* set = Find(serial);
    if (set == nullptr) {
        console_printf("%s::Set: failed to find node\n", kind_->name);
        return;
    }
    if (!set->write_access) {
        console_printf("%s::Set: cannot set read only peripheral\n", kind_->name);
        return;
    }
    unsigned k = 0;
    for (unsigned point = FIRST_BOUND_POINT; point < 64 && k < 32; ++point) {
        if (!point_of(set->points, point)) continue;
        bool wanted = (value >> k++) & 1;
        if (point_of(set->outputs, point) == wanted) continue;
        put_point(set->outputs, point, wanted);
        set->send_pending = 1;
        set->retry_countdown = RETRY_PASSES;
    }
}

// Each image byte whose reported state differs from the desired one counts
// the retry down (two such bytes count twice); at 0 the set is sent again.
void io_bridge::Retry(interface_cfg& set) {
    const uint8_t* input = board_->InputImage();
    for (unsigned i = 0; i < IO_IMAGE_BYTES; ++i) {
        if (((set.outputs[i] ^ input[i]) & set.points[i]) == 0) continue;
        if (set.retry_countdown == 0) {
            set.retry_countdown = RETRY_PASSES;
            set.send_pending = 1;
        } else {
            --set.retry_countdown;
        }
    }
}

void io_bridge::SendDesired(interface_cfg& set) {
    uint8_t* output = board_->OutputImage();
    for (unsigned point = FIRST_BOUND_POINT; point < 64; ++point) {
        if (!point_of(set.points, point)) continue;
        put_point(output, point, point_of(set.outputs, point));
        board_->MarkOutputsChanged();
    }
    set.send_pending = 0;
}

void io_bridge::Process() {
    if (board_ == nullptr || board_->OutputImage() == nullptr || !board_->Polling()) return;
    for (unsigned i = 0; i < SETS; ++i) {
        if (!used_[i] || !sets_[i].write_access) continue;
        Retry(sets_[i]);
        if (sets_[i].send_pending) SendDesired(sets_[i]);
    }
}

uint8_t io_bridge::FirstInputByte() const {
    return board_ != nullptr ? board_->InputImage()[0] : 0;
}

uint8_t io_bridge::CountPoints(uint32_t serial) const {
    const interface_cfg* set = Find(serial);
    if (set == nullptr) return 0;
    uint8_t count = 0;
    for (unsigned point = FIRST_BOUND_POINT; point < 64; ++point)
        count = uint8_t(count + (point_of(set->points, point) ? 1 : 0));
    return count;
}

bool io_bridge::IsInputValid() const {
    return board_ != nullptr && board_->InputValid();
}
