// Light sensors (see light.h).
#include "peripherals/sensors/light.h"

#include "peripherals/can/can_networks.h"
#include "peripherals/factory.h"
#include "peripherals/sensors/sensor_common.h"
#include "platform/board/bus.h"
#include "runtime/console.h"
#include "runtime/interrupt.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint8_t AUX_RESOLUTION = 16;
const uint32_t ROW_OK = 2;

// Reply bytes.
const int READING_HIGH = 3, READING_LOW = 4, LEVEL_HIGH = 5, LEVEL_LOW = 6;
const int BOARD_VALUE_HIGH = 3, BOARD_VALUE_LOW = 4;

// Boards of the line group report in a unit that halvObj2_37 scales (percent).
const uint32_t LINE_GROUP = 0x42010, GROUP_MASK = ~0xFu;
const uint32_t PERCENT = 100, U16_MAX = 0xFFFF;

// The frequency input has no board to reinitialise between its silences:
// after 80 silent polls it is given up, with one reinitialisation.
const can_silence_rule FREQUENCY_SILENCE = {
    PERIPHERAL_CLASS_LIGHT, CLight::SILENCE_LIMIT, 0, 10, CAN_CODE_LOCAL_REINIT, 1};

// The one sensor that counts the board's frequency input.
CLight* g_frequency_user = nullptr;

uint16_t u16_at(const can_packet& p, int high, int low) {
    return uint16_t(p.data[high] << 8 | p.data[low]);
}

// A scaled value is capped at the largest the sensor can report.
uint16_t scaled(uint16_t value, uint32_t percent) {
    const uint32_t v = uint32_t(value) * percent / PERCENT;
    return uint16_t(v < U16_MAX ? v : U16_MAX);
}

void enable_pulse_source(bool on) {
    const uint32_t enabled = dcr_read(DCR_UIC0_ER);
    dcr_write(DCR_UIC0_ER, on ? enabled | ISR_PULSE_SOURCE : enabled & ~ISR_PULSE_SOURCE);
}

// Non-critical, falling edge, edge-triggered, status cleared, disabled.
void configure_pulse_source() {
    dcr_write(DCR_UIC0_CR, dcr_read(DCR_UIC0_CR) & ~ISR_PULSE_SOURCE);
    dcr_write(DCR_UIC0_PR, dcr_read(DCR_UIC0_PR) & ~ISR_PULSE_SOURCE);
    dcr_write(DCR_UIC0_TR, dcr_read(DCR_UIC0_TR) | ISR_PULSE_SOURCE);
    dcr_write(DCR_UIC0_SR, ISR_PULSE_SOURCE);
    enable_pulse_source(false);
}

} // namespace

// ---- the moving average ---------------------------------------------------------------

uint16_t frequency_average::Add(uint32_t count) {
    const uint16_t sample = uint16_t(count);
    if (stored_ < CAPACITY) {
        samples_[stored_++] = sample;
        sum_ += sample;
    } else {
        sum_ = sum_ >= samples_[oldest_] ? sum_ - samples_[oldest_] : 0;
        samples_[oldest_] = sample;
        oldest_ = (oldest_ + 1) % CAPACITY;
        sum_ += sample;
    }
    level_ = uint16_t(sum_ / stored_);
    return level_;
}

void frequency_average::Clear() {
    *this = frequency_average();
}

// ---- identity and start ---------------------------------------------------------------

const char* CLight::IdToName(uint16_t id) {
    return periph_id_to_name(id);
}

uint16_t CLight::NameToId(const char* name) {
    return periph_name_to_id(name);
}

CLight::CLight(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel)
    : CCanBoard(PERIPHERAL_CLASS_LIGHT, id, bus_code, can_id, channel) {}

CLight::~CLight() {
    StopFrequencyInput();
    the_can_core().UnregisterDevice(this);
    int32_t row = table_row_;
    UnregisterLightRow(&row);
    UnregisterAuxIO(aux_row_);
}

bool CLight::Init() {
    const char* name = IdToName(Id());
    if (!RegisterDevice(name)) return false;
    int32_t row = NO_ROW;
    if (RegisterLightRow(&row, name))
        table_row_ = row;
    else
        console_printf("Failed to register %s in Light Table\n", name);
    if (!register_sensor_aux_row(*this, AUX_RESOLUTION, name, &aux_row_)) {
        SetLightFailure(table_row_);
        m_byState = STATE_INIT_ERROR;
        return false;
    }
    m_byState = STATE_READING;
    return true;
}

// ---- poll -------------------------------------------------------------------------------

void CLight::Poll() {
    if (m_byState < STATE_READING) return;
    if (!mode_decided_) {
        DecideMode();
        return;
    }
    if (mode_ == MODE_FREQUENCY)
        PollFrequencyInput();
    else
        PollBoard();
}

// Only the front sensor may be the frequency input: it probes for a board
// first, one read a poll; an '@' reply decides for the board.
void CLight::DecideMode() {
    if (Id() != LIGHT_FRONT) {
        mode_decided_ = 1;
        return;
    }
    can_packet frame;
    if (Pop(&frame) && frame.data[0] == CAN_REPLY_DATA) {
        mode_decided_ = 1;
        return;
    }
    if (probes_left_ == 0) {
        mode_ = MODE_FREQUENCY;
        silence_ = can_silence(FREQUENCY_SILENCE);
        mode_decided_ = 1;
        return;
    }
    --probes_left_;
    SendRead();
}

void CLight::PollBoard() {
    ReadThenIdentify(&request_counter_);
}

// '@' gives the readings, 'B' the board value (the base keeps the revision).
void CLight::OnReply(const can_packet& reply) {
    if (reply.data[0] == CAN_REPLY_IDENTITY) {
        silence_.Heard();
        board_value_ = u16_at(reply, BOARD_VALUE_HIGH, BOARD_VALUE_LOW);
        RestoreRowStatus();
        return;
    }
    if (reply.data[0] != CAN_REPLY_DATA) return;
    silence_.Heard();
    uint16_t reading = u16_at(reply, READING_HIGH, READING_LOW);
    uint16_t level = u16_at(reply, LEVEL_HIGH, LEVEL_LOW);
    if ((DeviceId() & GROUP_MASK) == LINE_GROUP) {
        const uint32_t percent = db_get(obj::halvObj2_37);
        reading = scaled(reading, percent);
        level = scaled(level, percent);
    }
    TakeLevel(reading, level);
    if (table_row_ >= 0) db_set(obj::photocellLevel.row(unsigned(table_row_)), level, DB_NOTIFY);
    RestoreRowStatus();
}

void CLight::RestoreRowStatus() {
    if (table_row_ >= 0 && db_get(obj::photocellStatus.row(unsigned(table_row_))) != ROW_OK)
        ClearLightFailure(table_row_);
}

void CLight::TakeLevel(uint16_t reading, uint16_t level) {
    m_byState = STATE_VALID;
    reading_ = reading;
    level_ = level;
    SetAuxIOValue(aux_row_, level);
}

// 80 polls without a reply (or a counted window): readings 0, COMM ERROR.
void CLight::OnSilenceLimit() {
    console_printf("Light Comm Error timeout = %d\n", int(SILENCE_LIMIT));
    reading_ = level_ = 0;
    SetAuxIOValue(aux_row_, 0);
    m_byState = STATE_COMM_ERROR;
    SetLightFailure(table_row_);
}

// ---- the frequency input ------------------------------------------------------------------

void CLight::PollFrequencyInput() {
    if (StartFrequencyInput()) StartWindow();
    if (window_counted_) {
        window_counted_ = 0;
        silence_.Heard();
        TakeLevel(average_.Level(), average_.Level());
    }
    SupervisePoll();
}

// Once: the window timer (25 ticks, not yet running) and the pulse source,
// disabled. -> false while another sensor holds the input.
bool CLight::StartFrequencyInput() {
    if (timer_created_) return true;
    if (g_frequency_user != nullptr) return false;
    if (os_timer_create(&frequency_timer_, "frequency_timer", &CLight::OnWindowTimer, WINDOW_TICKS,
                        WINDOW_TICKS, 0) != OS_OK)
        return false;
    timer_created_ = 1;
    g_frequency_user = this;
    configure_pulse_source();
    average_.Clear();
    return true;
}

void CLight::StopFrequencyInput() {
    if (!timer_created_) return;
    enable_pulse_source(false);
    os_timer_deactivate(&frequency_timer_);
    os_timer_delete(&frequency_timer_);
    timer_created_ = 0;
    g_frequency_user = nullptr;
}

void CLight::StartWindow() {
    isr_reset_pulse_count();
    os_timer_activate(&frequency_timer_);
    enable_pulse_source(true);
}

void CLight::OnWindowTimer(ULONG) {
    if (g_frequency_user != nullptr) g_frequency_user->WindowExpired();
}

// Timer context: a window that counted pulses ends and gives one sample; an
// empty one runs on for another 25 ticks.
void CLight::WindowExpired() {
    const uint32_t pulses = isr_count_pulses();
    if (pulses == 0) return;
    enable_pulse_source(false);
    os_timer_deactivate(&frequency_timer_);
    average_.Add(pulses);
    window_counted_ = 1;
}

// ---- factory ----------------------------------------------------------------------------

CPeripheral* Create_Light(const PeripheralRecord& record, const PeripheralParameters& values) {
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!sensor_board_values(record, values, &can_id, &bus_code, &channel)) return nullptr;
    return periph_finish_creation(new CLight(record.id, bus_code, can_id, channel), record);
}
