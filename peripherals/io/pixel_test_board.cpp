// Pixel test boards (see pixel_test_board.h).
#include "peripherals/io/pixel_test_board.h"

#include "peripherals/factory.h"
#include "peripherals/sensors/sensor_common.h"
#include "runtime/console.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

const uint32_t RESULT_WAITS = 30;
const ULONG RESULT_WAIT_TICKS = 2;
const uint8_t MEASUREMENT_FRAMES = 2;
const uint8_t FRAMES_1_AND_2 = 0x3, ALL_FRAMES = 0x7;
const unsigned FRAME_NUMBER = 1, FIRST_READING = 4;
const unsigned STATUS_BYTE = 3;
const unsigned SUPPLIES_PER_BOARD = 6;
const uint32_t HUNDREDTHS_PER_TENTH = 10;

// Where each voltage channel is in a measurement: {frame number, byte}.
struct channel_source {
    uint8_t frame, byte;
};
const channel_source CHANNEL_SOURCES[CPixelTestBoard::CHANNELS] = {
    {2, 4}, {2, 5}, {1, 6}, {1, 7}, {1, 4}, {1, 5},
};

const uint8_t START_TEST_ARGS[5] = {0x01, 0x06, 0, 0, 0};

} // namespace

const char* CPixelTestBoard::IdToName(uint16_t id) {
    return id >= FIRST_ID && id < FIRST_ID + BOARDS ? periph_id_to_name(id) : nullptr;
}

uint16_t CPixelTestBoard::NameToId(const char* name) {
    const uint16_t id = name != nullptr ? periph_name_to_id(name) : 0;
    return IdToName(id) != nullptr ? id : 0;
}

CPixelTestBoard::CPixelTestBoard(uint16_t id, uint8_t bus_code, uint32_t can_id)
    : CCanBoard(CLASS_CODE, id, bus_code, can_id, 0) {}

CPixelTestBoard::~CPixelTestBoard() {
    if (mutex_created_) os_mutex_delete(&mutex_);
    for (io_bridge*& bridge : listeners_) {
        if (bridge != nullptr) bridge->BoardGone();
        bridge = nullptr;
    }
}

bool CPixelTestBoard::Init() {
    RegisterDevice(periph_id_to_name(Id()));
    mutex_created_ = os_mutex_create(&mutex_, "PTB Mutex", 0) == OS_OK;
    m_byState = mutex_created_ ? STATE_READING : STATE_COMM_ERROR;
    return mutex_created_;
}

void CPixelTestBoard::AddListener(io_bridge* bridge) {
    for (io_bridge*& slot : listeners_) {
        if (slot != nullptr) continue;
        slot = bridge;
        return;
    }
}

void CPixelTestBoard::RemoveListener(io_bridge* bridge) {
    for (io_bridge*& slot : listeners_)
        if (slot == bridge) slot = nullptr;
}

// ---- the poller's mutex -------------------------------------------------------------

void CPixelTestBoard::Release() {
    if (held_ && os_mutex_put(&mutex_) == OS_OK) held_ = false;
}

void CPixelTestBoard::SetEnabled(uint8_t flag) {
    CPeripheral::SetEnabled(flag);
    if (!flag) Release();
}

// ---- result frames --------------------------------------------------------------------

bool CPixelTestBoard::Keep(const can_packet& frame, uint8_t last) {
    const uint8_t number = frame.data[FRAME_NUMBER];
    if (number < 1 || number > last) return false;
    frames_[number - 1] = frame;
    received_ = uint8_t(received_ | 1u << (number - 1));
    return true;
}

bool CPixelTestBoard::SendTestCommand() {
    return SendRequest(CAN_COMMAND_READ, START_TEST_ARGS);
}

bool CPixelTestBoard::ReadResults(uint8_t* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity < READINGS) return false;
    std::memset(buffer, 0, capacity);
    for (uint32_t sleeps = 0;;) {
        can_packet frame;
        if (!Pop(&frame)) {
            if (++sleeps > RESULT_WAITS) return false;
            tx_thread_sleep(RESULT_WAIT_TICKS);
            continue;
        }
        if (!Keep(frame, RESULT_FRAMES) || received_ != ALL_FRAMES) continue;
        received_ = 0;
        for (uint32_t f = 0; f < RESULT_FRAMES; ++f)
            std::memcpy(buffer + READINGS_PER_FRAME * f,
                        frames_[RESULT_FRAMES - 1 - f].data + FIRST_READING, READINGS_PER_FRAME);
        return true;
    }
}

// ---- the poller -------------------------------------------------------------------------

void CPixelTestBoard::OnReply(const can_packet& reply) {
    silence_.Heard();
    if (reply.data[0] == CAN_REPLY_IDENTITY) {
        Release();
        request_ = REQUEST_MEASURE;
        return;
    }
    if (reply.data[0] != CAN_REPLY_DATA) return;
    m_byState = STATE_VALID;
    if (Keep(reply, MEASUREMENT_FRAMES) && (received_ & FRAMES_1_AND_2) == FRAMES_1_AND_2)
        TakeMeasurement();
}

void CPixelTestBoard::TakeMeasurement() {
    received_ = 0;
    for (unsigned c = 0; c < CHANNELS; ++c)
        voltage_[c] = frames_[CHANNEL_SOURCES[c].frame - 1].data[CHANNEL_SOURCES[c].byte];
    Release();
    for (unsigned c = 0; c < CHANNELS; ++c)
        Judge(c, voltage_[c]);
    request_ = REQUEST_IDLE;
}

void CPixelTestBoard::Judge(unsigned channel, uint8_t voltage) {
    const uint8_t bit = uint8_t(1u << channel);
    if (voltage < LOW_VOLTAGE) {
        if (++low_readings_[channel] >= LOW_READINGS_TO_FAIL) {
            low_readings_[channel] = LOW_READINGS_TO_FAIL;
            status_image_[STATUS_BYTE] = uint8_t(status_image_[STATUS_BYTE] | bit);
        }
        return;
    }
    low_readings_[channel] = 0;
    status_image_[STATUS_BYTE] = uint8_t(status_image_[STATUS_BYTE] & ~bit);
    WriteVoltage(channel, voltage);
}

// Every power row named after the channel's supply gets the reading.
void CPixelTestBoard::WriteVoltage(unsigned channel, uint8_t voltage) {
    char name[24];
    std::snprintf(name, sizeof name, "POWERSUPPLY%02u",
                  unsigned(SUPPLIES_PER_BOARD * (Id() - FIRST_ID) + channel + 1));
    const uint32_t rows = db_get(obj::dmsPowerNumRows);
    for (uint32_t row = 0; row < rows; ++row) {
        const char* description = db_get_string(obj::dmsPowerDescription.row(row));
        if (description != nullptr && std::strcmp(description, name) == 0)
            db_set(obj::dmsPowerVoltage.row(row), voltage * HUNDREDTHS_PER_TENTH, DB_NOTIFY);
    }
}

// Identify and measure go out only while the poller holds the mutex, taken
// without waiting; any other request starts the cycle again at identify.
void CPixelTestBoard::SendDueRequest() {
    if (request_ != REQUEST_IDENTIFY && request_ != REQUEST_MEASURE) {
        request_ = REQUEST_IDENTIFY;
        return;
    }
    if (!held_) held_ = os_mutex_get(&mutex_, OS_NO_WAIT) == OS_OK;
    if (!held_) return;
    if (request_ == REQUEST_MEASURE) {
        SendRead();
        return;
    }
    std::memset(voltage_, 0, sizeof voltage_);
    SendIdentify();
}

void CPixelTestBoard::Poll() {
    if (m_byState < STATE_READING) return;
    if (held_) DrainReplies();
    SendDueRequest();
    SupervisePoll();
}

void CPixelTestBoard::OnSilenceLimit() {
    if (held_ && os_mutex_put(&mutex_) == OS_OK) {
        held_ = false;
        console_printf("released mutex during comm timeout\n");
    } else {
        console_printf("PTB failed to release mutex\n");
    }
    request_ = REQUEST_IDLE;
    m_byState = STATE_COMM_ERROR;
    silence_.Heard();
}

// CAN id, bus code (the channel stays 0).
CPeripheral* Create_PixelTestBoard(const PeripheralRecord& record,
                                   const PeripheralParameters& values) {
    PeripheralParameters can = values;
    can.value[2] = 0;
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!sensor_board_values(record, can, &can_id, &bus_code, &channel)) return nullptr;
    return periph_finish_creation(new CPixelTestBoard(record.id, bus_code, can_id), record);
}
