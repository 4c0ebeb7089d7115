// Humidity sensors (see humidity.h).
#include "peripherals/sensors/humidity.h"

#include "peripherals/can/can_networks.h"
#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/sensors/sensor_common.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint8_t AUX_RESOLUTION = 8;
const uint32_t ROW_OK = 2;
const int HUMIDITY_BYTE = 3, SECOND_BYTE = 5;

// The sensors whose summary is their own reading.
struct OwnSummary {
    uint16_t id;
    DbObject summary;
};
const OwnSummary OWN_SUMMARIES[] = {
    {HUMIDITY_AMBIENT, obj::halvObj5_8},
    {HUMIDITY_CABINET, obj::halvObj5_9},
};
// The sign-housing sensors averaged into halvObj5_7.
const uint16_t SIGN_SENSORS[] = {HUMIDITY_SIGN1, HUMIDITY_SIGN2, HUMIDITY_SIGN3};

// The humidity of a live, valid sign sensor (`self` is read directly, as it
// may publish before it is installed). -> false otherwise.
bool valid_sign_humidity(const CHumidity& self, uint16_t id, uint8_t* humidity) {
    const CHumidity* sensor = &self;
    if (id != self.Id()) {
        CPeripheral* live = nullptr;
        if (!ThePeripheralTask().Find(id, &live)) return false;
        sensor = dynamic_cast<const CHumidity*>(live);
    }
    if (sensor == nullptr || !sensor->IsValid()) return false;
    *humidity = sensor->Humidity();
    return true;
}

} // namespace

const char* CHumidity::IdToName(uint16_t id) {
    return periph_id_to_name(id);
}

uint16_t CHumidity::NameToId(const char* name) {
    return periph_name_to_id(name);
}

CHumidity::CHumidity(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel)
    : CCanBoard(PERIPHERAL_CLASS_HUMIDITY, id, bus_code, can_id, channel) {}

CHumidity::~CHumidity() {
    the_can_core().UnregisterDevice(this);
    UnregisterAuxIO(aux_row_);
    int32_t row = table_row_;
    UnregisterHumidityRow(&row);
}

// A failed device registration leaves the sensor without frames: it falls
// silent and shows COMM ERROR.
bool CHumidity::Init() {
    const char* name = IdToName(Id());
    RegisterDevice(name);
    int32_t row = NO_ROW;
    if (RegisterHumidityRow(&row, name))
        table_row_ = row;
    else
        console_printf("Failed to register %s in Humidity Table\n", name);
    if (!register_sensor_aux_row(*this, AUX_RESOLUTION, name, &aux_row_)) {
        SetHumidityFailure(table_row_);
        m_byState = STATE_INIT_ERROR;
        return false;
    }
    m_byState = STATE_READING;
    return true;
}

void CHumidity::Poll() {
    if (m_byState < STATE_READING) return;
    DrainReplies();
    if (request_ == REQUEST_IDENTIFY)
        SendIdentify();
    else
        SendRead();
    SupervisePoll();
}

void CHumidity::OnReply(const can_packet& reply) {
    silence_.Heard();
    if (reply.data[0] == CAN_REPLY_IDENTITY) request_ = REQUEST_READ;
    if (reply.data[0] != CAN_REPLY_DATA) return;
    m_byState = STATE_VALID;
    humidity_ = reply.data[HUMIDITY_BYTE];
    second_ = reply.data[SECOND_BYTE];
    Publish();
    if (table_row_ >= 0) {
        db_set(obj::humiditySensorLevel.row(unsigned(table_row_)), humidity_, DB_NOTIFY);
        if (db_get(obj::humiditySensorStatus.row(unsigned(table_row_))) != ROW_OK)
            ClearHumidityFailure(table_row_);
    }
    SetAuxIOValue(aux_row_, humidity_);
}

// The tenth silent poll: the reading 0 is published while the sensor still
// counts as it was, then it is in COMM ERROR.
void CHumidity::OnSilenceLimit() {
    humidity_ = second_ = 0;
    Publish();
    SetAuxIOValue(aux_row_, 0);
    SetHumidityFailure(table_row_);
    m_byState = STATE_COMM_ERROR;
}

void CHumidity::Publish() {
    for (const OwnSummary& s : OWN_SUMMARIES)
        if (s.id == Id()) {
            db_set(s.summary, humidity_, DB_NOTIFY);
            return;
        }
    uint32_t sum = 0, valid = 0;
    for (uint16_t id : SIGN_SENSORS) {
        uint8_t humidity = 0;
        if (!valid_sign_humidity(*this, id, &humidity)) continue;
        sum += humidity;
        ++valid;
    }
    db_set(obj::halvObj5_7, valid != 0 ? sum / valid : 0, DB_NOTIFY);
}

// A bus code 0 places the cabinet sensor on the control panel's network.
CPeripheral* Create_Humidity(const PeripheralRecord& record, const PeripheralParameters& values) {
    uint32_t can_id = 0;
    uint8_t bus_code = 0, channel = 0;
    if (!sensor_board_values(record, values, &can_id, &bus_code, &channel)) return nullptr;
    if (bus_code == 0 && record.id == HUMIDITY_CABINET) bus_code = CAN_CODE_PANEL;
    return periph_finish_creation(new CHumidity(record.id, bus_code, can_id, channel), record);
}
