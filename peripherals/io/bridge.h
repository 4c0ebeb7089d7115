// Bridges between point peripherals and the boards that carry their points.
//
// A door contact, an overheight detector, a beacon, a fan output with its
// running contact: each is a few points of an I/O board, which is a
// peripheral of its own and keeps images of its points. The point peripheral
// describes the points it wants in an interface_cfg (a "point set"),
// registers it with its bridge, and then reads and writes its points as a
// small packed bit field (bit k = the set's k-th point in ascending order).
// Several point peripherals share a board; the board keeps the union of the
// claimed points, so two of them cannot drive or watch the same points unless
// one asks for read-only override access.
//
// One bridge, io_bridge, serves every kind of board through io_board, the
// few things a bridge needs of a board (its images and masks, its listener
// table, its flags); a board that has no outputs, directions or claims
// leaves those out and the bridge skips what depends on them. A bridge_kind
// row names the bridge in its console lines and says which board classes it
// takes.
//
// Points: a board's images are 8 bytes; point n (0-63) is bit n % 8 of byte
// n / 8. On a DC I/O board bytes 0-2 carry the frame header, so points 24-55
// (four ports of eight) are the ones a bridge binds.
#pragma once

#include "runtime/peripheral.h"

#include <cstdint>

const unsigned IO_IMAGE_BYTES = 8;
const unsigned IO_TRIGGER_KINDS = 5;

// One point set. The serial is its identity, unique and never 0: every
// construction takes the next one.
struct interface_cfg {
    uint8_t points[IO_IMAGE_BYTES] = {};
    uint8_t outputs[IO_IMAGE_BYTES] = {};  // desired states (output sets)
    uint8_t triggers[IO_IMAGE_BYTES] = {}; // points the board reports changes of
    uint8_t trigger_kind = 0;              // 0 none, 1-5 one of the board's masks
    uint8_t write_access = 0;              // 1 an output set
    uint32_t serial = 0;
    uint8_t read_only_override = 0; // may watch points other sets claim
    uint8_t retry_countdown = 0;    // passes before an unconfirmed state is sent again
    uint8_t send_pending = 0;       // desired outputs to be copied to the board

    interface_cfg();
    // Bit b of each mask is point 24 + b.
    interface_cfg(uint32_t point_mask, uint8_t write, uint32_t trigger_mask, uint8_t kind);
};

class io_bridge;

// The kinds of board a bridge serves.
enum : uint8_t { IO_BOARD_DCIO = 1, IO_BOARD_PIXEL_TEST = 2, IO_BOARD_ACIO = 3 };

// What a bridge needs of a board. Images are 8 bytes.
class io_board {
  public:
    virtual ~io_board() = default;
    virtual CPeripheral& BoardPeripheral() = 0;
    virtual uint8_t BoardKind() const = 0;
    // The latest input report (byte 0 its tag).
    virtual const uint8_t* InputImage() const = 0;
    // Byte i 0x00 input, 0xFF output (null: no direction checks).
    virtual const uint8_t* Directions() const { return nullptr; }
    // The output request the board sends (null: no outputs).
    virtual uint8_t* OutputImage() { return nullptr; }
    virtual void MarkOutputsChanged() {}
    // The union of the registered sets' points (null: the board keeps no claims).
    virtual uint8_t* ClaimedPoints() { return nullptr; }
    // The trigger mask of kind 1-5 (null: none).
    virtual uint8_t* TriggerMask(uint8_t) { return nullptr; }
    virtual void AddListener(io_bridge* bridge) = 0;
    virtual void RemoveListener(io_bridge* bridge) = 0;
    virtual bool InputValid() const { return false; }
    // Identified and polling: outputs may be sent.
    virtual bool Polling() const { return true; }
    // The points a bridge reads, lowest and highest.
    virtual uint8_t FirstPoint() const { return 24; }
    virtual uint8_t LastPoint() const { return 63; }
};

struct bridge_kind {
    const char* name;         // "dcio_bridge"
    const char* missing_text; // the console line when Init finds no board
    uint8_t board_kind;       // the boards it takes (IO_BOARD_...)
    bool reports_unknown;     // Get of an unknown serial prints a line
    bool writes;              // Set drives outputs (otherwise it does nothing)
};
extern const bridge_kind DCIO_BRIDGE;
extern const bridge_kind PTB_BRIDGE;
extern const bridge_kind ACIO_BRIDGE;

// Point-to-mask rules (the reset flag empties the mask first): a DC I/O point
// 24-55 sets bit point - 24; a pixel test board point 1-32 sets bit point - 1;
// anything else adds nothing.
void dcio_point_mask(uint32_t point, uint32_t& mask, bool reset);
void ptb_point_mask(uint32_t point, uint32_t& mask, bool reset);
// The index of the highest set bit of a packed value (0 for 0 and 1).
uint32_t io_bit_index(uint32_t bits);

class io_bridge {
  public:
    static constexpr unsigned SETS = 8;
    static constexpr uint8_t RETRY_PASSES = 10;

    explicit io_bridge(const bridge_kind& kind = DCIO_BRIDGE) : kind_(&kind) {}
    // Leaves the board's listener table and drops the sets (their points
    // stay claimed: the owner unregisters first).
    ~io_bridge();
    io_bridge(const io_bridge&) = delete;
    io_bridge& operator=(const io_bridge&) = delete;

    // Finds the board by peripheral id and joins its listener table. -> false
    // (console line) when no board of the bridge's kind has that id.
    bool Init(uint16_t board_id, CPeripheral* owner);
    // -> the template's serial; 0 when refused (console line, nothing changed).
    uint32_t Register(const interface_cfg& set);
    void UnRegister(uint32_t serial);
    // The set's points from the input image, packed. Unknown serial: 0.
    uint32_t Get(uint32_t serial, uint32_t from_event = 0) const;
    // New desired states of an output set (bits past its points ignored).
    void Set(uint32_t serial, uint32_t value);
    // Once per owner poll: desired outputs that the board does not report
    // are sent again every 11 passes.
    void Process();
    uint8_t FirstInputByte() const;
    uint8_t CountPoints(uint32_t serial) const;
    bool IsInputValid() const;

    // The registered set with that serial (null: none).
    const interface_cfg* PointSet(uint32_t serial) const { return Find(serial); }
    CPeripheral* Owner() const { return owner_; }
    io_board* Board() const { return board_; }
    // The board is being destroyed: the bridge lets go of it.
    void BoardGone() { board_ = nullptr; }

  private:
    interface_cfg* Find(uint32_t serial);
    const interface_cfg* Find(uint32_t serial) const;
    bool Refuses(const interface_cfg& set) const;
    void Retry(interface_cfg& set);
    void SendDesired(interface_cfg& set);

    const bridge_kind* kind_;
    CPeripheral* owner_ = nullptr;
    io_board* board_ = nullptr;
    interface_cfg sets_[SETS];
    bool used_[SETS] = {};
};

// A board's table of listening bridges: a new one takes the first empty
// slot (none when all are taken). Each input report calls the event handler
// of every listener's owner. Every change is noted until the board takes it
// (and starts its request sequence again).
template <unsigned N> class io_listener_table {
  public:
    // -> false when every slot is taken.
    bool Add(io_bridge* bridge) {
        for (io_bridge*& slot : slots_) {
            if (slot != nullptr) continue;
            slot = bridge;
            changed_ = true;
            return true;
        }
        return false;
    }
    // -> true when the bridge was listening.
    bool Remove(io_bridge* bridge) {
        bool found = false;
        for (io_bridge*& slot : slots_) {
            if (slot != bridge) continue;
            slot = nullptr;
            found = changed_ = true;
        }
        return found;
    }
    // -> true once after the table changed.
    bool TakeChange() {
        const bool changed = changed_;
        changed_ = false;
        return changed;
    }
    void Notify() const {
        for (io_bridge* bridge : slots_)
            if (bridge != nullptr && bridge->Owner() != nullptr) bridge->Owner()->OnEvent(0);
    }
    // The board is going: every bridge lets go of it.
    void LetGo() {
        for (io_bridge*& slot : slots_) {
            if (slot != nullptr) slot->BoardGone();
            slot = nullptr;
        }
    }
    io_bridge* At(unsigned i) const { return i < N ? slots_[i] : nullptr; }

  private:
    io_bridge* slots_[N] = {};
    bool changed_ = false;
};
