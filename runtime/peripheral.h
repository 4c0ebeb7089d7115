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

#include <cstdarg>
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

// The values of a creation string: up to eight comma-separated hexadecimal
// fields ("42100", "4210A,1"); absent and empty fields read 0.
struct PeripheralParameters {
    static constexpr unsigned FIELDS = 8;
    static constexpr unsigned FIELD_CHARS = 39; // the longest field kept
    uint32_t value[FIELDS] = {};
    unsigned count = 0; // fields present in the text
};

// The auxiliary-I/O rows a list-created peripheral holds, kept per list slot
// as text ("0x3,0x11") so that its ports keep their rows across restarts.
struct AuxIORows {
    static constexpr unsigned CAPACITY = 64;
    int32_t row[CAPACITY] = {};
    unsigned count = 0;
    // -> the i-th row, or -1 (none yet) past the end.
    int32_t At(unsigned i) const { return i < count ? row[i] : -1; }
    bool Push(int32_t value);
};

// A row or bit of the registration tables that a peripheral has not claimed.
const int32_t NO_ROW = -1;
// RegisterAuxIO's row for a fixed peripheral: the next fixed row of the type.
const int32_t AUX_IO_NEXT_FIXED_ROW = 65535;

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
    // 10: the class's own start (claims its rows); false puts the new
    // object back (the factory deletes it).
    virtual bool Init() { return true; }

    // Splits a creation string into its values. -> false, values all 0, for
    // a ninth field or a field longer than 39 characters (such a record is
    // refused, never read as a different board). A null text gives zeros.
    static bool ParseParameters(const char* text, PeripheralParameters* out);
    // The auxiliary-I/O row list of a list slot, both ways (text "0x3,0x11").
    static void LoadAuxIORows(uint16_t list_slot, AuxIORows* rows);
    static void SaveAuxIORows(uint16_t list_slot, const AuxIORows& rows);
    static void ParseAuxIORows(const char* text, AuxIORows* rows);
    // -> the text's length; `text` holds at most `size` - 1 characters.
    static unsigned FormatAuxIORows(const AuxIORows& rows, char* text, unsigned size);

    // --- registration tables (peripherals/tables/): rows of the NTCIP
    // auxiliary I/O, climate-control, photocell, humidity and temperature
    // tables and the fan-failure bits. A row or bit of -1 (NO_ROW) means none:
    // operations given -1 change nothing and report success.

    // Auxiliary I/O: `row` 65535 takes the next fixed row of the type (fixed
    // peripherals, before any listed one registered), -1 any free row of the
    // type, else that row. Port type 2 analog, 3 digital; direction 1 output,
    // 2 input, 3 both. -> false when refused or full.
    bool RegisterAuxIO(int32_t* row, uint8_t port_type, uint8_t direction, uint8_t resolution,
                       const char* format, ...) __attribute__((format(printf, 6, 7)));
    bool RegisterAuxIOv(int32_t* row, uint8_t port_type, uint8_t direction, uint8_t resolution,
                        const char* format, va_list args);
    void UnregisterAuxIO(int32_t row);
    // -> true when the row is an output (its last command is written too).
    bool SetAuxIOValue(int32_t row, uint32_t value);

    // Climate-control rows (at most 32).
    bool RegisterClimateCtrl(int32_t* row, const char* description, const char* condition,
                             uint8_t type);
    void UnregisterClimateCtrl(int32_t* row);
    void SetClimateCtrlStatus(int32_t row, uint8_t on_status);
    int32_t GetClimateCtrlStatus(int32_t row);
    void SetClimateCtrlTest(int32_t row, uint8_t test);
    int32_t GetClimateCtrlTest(int32_t row);
    void SetClimateCtrlResult(int32_t row, const char* text);
    void SetClimateCtrlError(int32_t row, uint8_t error);
    int32_t GetClimateCtrlError(int32_t row);
    void SetClimateCtrlStatusText(int32_t row, const char* text);
    void SetClimateFailure(int32_t row, const char* text);
    void ClearClimateFailure(int32_t row, const char* text);

    // Fan-failure bits (at most 64).
    bool AllocateFanBit(int32_t* bit);
    void FreeFanBit(int32_t* bit);
    void SetFanFailure(int32_t bit, int32_t row, const char* text);
    void ClearFanFailure(int32_t bit, int32_t row, const char* text);

    // Photocell and humidity rows (at most 6 each).
    bool RegisterLightRow(int32_t* row, const char* description);
    void UnregisterLightRow(int32_t* row);
    void SetLightFailure(int32_t row);
    void ClearLightFailure(int32_t row);
    bool RegisterHumidityRow(int32_t* row, const char* description);
    void UnregisterHumidityRow(int32_t* row);
    void SetHumidityFailure(int32_t row);
    void ClearHumidityFailure(int32_t row);

    // Temperature rows are claimed by the temperature sensors themselves
    // (RegisterTempRow/UnregisterTempRow keep the row count the same way).
    bool RegisterTempRow(int32_t* row, const char* description);
    void UnregisterTempRow(int32_t* row);
    void SetTempSensorFailure(int32_t row);
    void ClearTempSensorFailure(int32_t row);
    void SetTempWarning(int32_t row);
    void ClearTempWarning(int32_t row);
    void SetTempCritical(int32_t row);
    void ClearTempCritical(int32_t row);

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

// The fixed name of a peripheral id, "UNKNOWN" when no class builds it; the
// class code that builds it (0: none); the id of an operator's name (0:
// none). Defined with the id table in peripherals/peripheral_ids.cpp.
const char* periph_id_to_name(uint16_t id);
uint8_t periph_id_to_class(uint16_t id);
uint16_t periph_name_to_id(const char* name);
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
