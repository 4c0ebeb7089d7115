// CPeripheral: the base of every object the peripheral task polls. It carries
// the peripheral's identity (class code and id), its poll schedule (period and
// countdown, in peripheral-task passes), the enabled flag and the
// communication state shown by the front panel and the console.
//
// This is the part of the base that the file objects (configuration file,
// directory listing, monitor script, start-up script) need; the sensors and
// boards extend it with their own slots. It sits in the runtime, below the
// store's file objects and the peripheral subsystem that polls them all.
#pragma once

#include <cstdint>

struct letter_s;

// A creation record handed to a class's factory entry.
struct PeripheralRecord {
    uint16_t list_slot;     // row of the stored peripheral list, 65535 for a fixed one
    uint16_t id;            // peripheral id
    uint8_t class_code;     // class code of the id
    const char* parameters; // creation string, or null
};

const uint16_t PERIPHERAL_FIXED_SLOT = 65535;

class CPeripheral {
  public:
    // Communication states (m_byState).
    enum : uint8_t {
        STATE_SETTING_UP = 0,
        STATE_INIT_ERROR = 1,
        STATE_READING = 2,
        STATE_COMM_ERROR = 3,
        STATE_UNKNOWN = 4,
        STATE_READING2 = 5,
        STATE_VALID = 6,
    };

    CPeripheral(uint8_t class_code, uint16_t id);
    // Sets bit 0x40 of the "database" event flags.
    virtual ~CPeripheral();
    CPeripheral(const CPeripheral&) = delete;
    CPeripheral& operator=(const CPeripheral&) = delete;

    // Virtual slots 1-9 (0 is the destructor).
    virtual const char* CanBusName() const { return ""; }      // 1
    virtual uint32_t CanId() const { return 0; }               // 2
    virtual uint32_t BusCode() const { return 0; }             // 3
    virtual void ForwardLetter(const letter_s&) {}             // 4
    virtual void Poll() = 0;                                   // 5
    virtual void OnEvent(uint32_t) {}                          // 6
    virtual void OnTimer(uint32_t) {}                          // 7
    virtual void PrintStatus();                                // 8
    virtual void SetEnabled(uint8_t flag) { enabled_ = flag; } // 9

    bool IsValid() const { return m_byState == STATE_VALID; }
    // The state's text; true only when VALID.
    bool GetStateText(const char** text) const;
    // 1 INIT ERROR, 2 COMM ERROR, 0 otherwise.
    uint8_t GetErrorCode() const;

    uint8_t ClassCode() const { return class_code_; }
    uint16_t Id() const { return id_; }
    const char* StatusText() const { return status_text_; }
    uint16_t Revision() const { return revision_; }
    uint16_t ListSlot() const { return list_slot_; }
    void SetListSlot(uint16_t slot) { list_slot_ = slot; }
    uint16_t PollPeriod() const { return poll_period_; }
    void SetPollPeriod(uint16_t period) { poll_period_ = period; }
    uint16_t Countdown() const { return countdown_; }
    void SetCountdown(uint16_t value) { countdown_ = value; }
    uint8_t Enabled() const { return enabled_; }
    uint8_t Listed() const { return listed_; }
    void SetListed(uint8_t listed) { listed_ = listed; }
    uint8_t State() const { return m_byState; }
    void SetState(uint8_t state) { m_byState = state; }

  protected:
    const char* status_text_;
    uint8_t class_code_;
    uint16_t id_;
    uint16_t revision_ = 0;
    uint16_t list_slot_ = PERIPHERAL_FIXED_SLOT;
    uint16_t poll_period_ = 1;
    uint16_t countdown_ = 0;
    uint8_t enabled_ = 0;
    uint8_t listed_ = 0;
    uint8_t m_byState = STATE_SETTING_UP;
};

// Text of a communication state ("SETTING UP", ..., "UNKNOWN").
const char* peripheral_state_text(uint8_t state);

// The ids and class codes of the clock and the file objects.
const uint16_t PERIPHERAL_ID_DIRECTORY_FILE = 300;
const uint16_t PERIPHERAL_ID_CONFIG_FILE = 301;
const uint16_t PERIPHERAL_ID_MONRC_FILE = 302;
const uint16_t PERIPHERAL_ID_SCRIPT_FILE = 303;
const uint16_t PERIPHERAL_ID_CLOCK = 90;
const uint8_t PERIPHERAL_CLASS_CONFIG_FILE = 0x0E;
const uint8_t PERIPHERAL_CLASS_DIRECTORY_FILE = 0x0F;
const uint8_t PERIPHERAL_CLASS_MONRC_FILE = 0x10;
const uint8_t PERIPHERAL_CLASS_SCRIPT_FILE = 0x12;
const uint8_t PERIPHERAL_CLASS_CLOCK = 4;

// The fixed name of a peripheral id, "UNKNOWN" when no class names it.
// For now it knows the clock and the file objects; the id table of every
// class replaces it.
const char* periph_id_to_name(uint16_t id);
// The class code that builds a peripheral id; 0 when no class builds it.
uint8_t periph_id_to_class(uint16_t id);
// Class code 1 stands for every class when the registry is walked.
const uint8_t PERIPHERAL_CLASS_ANY = 1;

// A file object made by its factory entry from `record`: none unless the
// record's id is `id`; otherwise the object (list slot from the record, poll
// period `period`, countdown 0), enabled through its enable slot.
template <class T>
CPeripheral* create_file_peripheral(const PeripheralRecord& record, uint16_t id, uint16_t period) {
    if (record.id != id) return nullptr;
    T* p = new T;
    p->SetListSlot(record.list_slot);
    p->SetPollPeriod(period);
    p->SetCountdown(0);
    p->SetEnabled(1);
    return p;
}
