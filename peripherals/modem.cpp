#include "peripherals/modem.h"

#include "comm/drivers/modem_driver.h"
#include "comm/snmp/snmp_agent.h"
#include "peripherals/factory.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdlib>
#include <cstring>

namespace {

const char INTERNAL_INIT[] = "AT&F&K0&D0V0S0=2&W0+VCID=1\r";
const char EXTERNAL_INIT[] = "AT&F&K0&D0V0S0=2&W0\r";
const char STANDARD_INIT_WORD[] = "MODEM";
const uint32_t DIAL_BACK_ROW = 2;
const uint32_t FIELD_BYTES = 40;

// The first two comma-separated fields of a creation string: the first as
// a hexadecimal number, the second as text (each at most 40 characters).
struct modem_parameters {
    uint32_t port = 0;
    char init[FIELD_BYTES + 1] = {};
};

modem_parameters parse_parameters(const char* text) {
    modem_parameters out;
    if (!text) return out;
    const char* comma = std::strchr(text, ',');
    size_t first = comma ? size_t(comma - text) : std::strlen(text);
    char field[FIELD_BYTES + 1] = {};
    std::memcpy(field, text, first < FIELD_BYTES ? first : FIELD_BYTES);
    out.port = uint32_t(std::strtoul(field, nullptr, 16));
    if (comma) {
        const char* second = comma + 1;
        const char* end = std::strchr(second, ',');
        size_t length = end ? size_t(end - second) : std::strlen(second);
        std::memcpy(out.init, second, length < FIELD_BYTES ? length : FIELD_BYTES);
    }
    return out;
}

} // namespace

CModem::CModem(uint16_t id) : CPeripheral(CLASS_CODE, id) {}

CModem::~CModem() {
    delete driver_;
    if (timer_armed_ && global_timer_scheduler()) global_timer_scheduler()->remove(timer_id_);
}

CPeripheral* CModem::Create(const PeripheralRecord& record) {
    modem_parameters parameters = parse_parameters(record.parameters);
    CModem* modem = new CModem(record.id);
    modem->port_ = uint8_t(parameters.port & 0xFF);
    std::memcpy(modem->init_text_, parameters.init, sizeof modem->init_text_);
    return periph_finish_creation(modem, record);
}

CPeripheral* Create_Modem(const PeripheralRecord& record, const PeripheralParameters&) {
    return CModem::Create(record);
}

const char* CModem::GetName(uint16_t id) {
    return periph_id_to_class(id) == CLASS_CODE ? periph_id_to_name(id) : nullptr;
}

uint16_t CModem::GetType(const char* name) {
    uint16_t id = name ? periph_name_to_id(name) : 0;
    return periph_id_to_class(id) == CLASS_CODE ? id : 0;
}

bool CModem::Init(uint8_t port, const char* init_text) {
    const char* init = nullptr;
    if (id_ == ID_INTERNAL) init = INTERNAL_INIT;
    if (id_ == ID_EXTERNAL)
        init = init_text && std::strcmp(init_text, STANDARD_INIT_WORD) == 0 ? EXTERNAL_INIT
                                                                            : init_text;
    if (init) {
        driver_ = new CModemDriver_Dialup;
        if (driver_->Initialize(id_, port, init)) {
            if (id_ == ID_INTERNAL) ClearDialBackParameters();
            m_byState = STATE_READING;
            return true;
        }
        delete driver_;
        driver_ = nullptr;
    }
    m_byState = STATE_INIT_ERROR;
    return false;
}

// The internal modem answers calls itself: parameters left in row 2 of the
// port settings are cleared, and the controller restarts to apply that.
void CModem::ClearDialBackParameters() {
    uint32_t length = 0;
    db_get_string(obj::halvCommConfigParameters.row(DIAL_BACK_ROW), &length);
    if (length == 0) return;
    db_set_string(obj::halvCommConfigParameters.row(DIAL_BACK_ROW), "", 0, DB_NOTIFY);
    db_set(obj::dmsSWReset, 1, DB_NOTIFY);
}

void CModem::Poll() {
    if (m_byState <= STATE_INIT_ERROR || !driver_) return;
    driver_->InitModem();
    FollowDriver();
    WatchInactivity();
    if (hang_up_requested_) {
        driver_->Disconnect();
        hang_up_requested_ = 0;
    }
}

void CModem::FollowDriver() {
    if (driver_->IsReady()) {
        silent_polls_ = 0;
        m_byState = STATE_VALID;
    } else if (silent_polls_ < SILENT_POLL_LIMIT) {
        silent_polls_++;
    } else {
        trace_printf("Warning: Comm Timeout %04X\n", id_);
        silent_polls_ = 0;
        m_byState = STATE_COMM_ERROR;
    }
}

void CModem::WatchInactivity() {
    timer_scheduler* scheduler = global_timer_scheduler();
    if (!scheduler) return;
    if (!timer_armed_) {
        if (!driver_->Connected()) return;
        timer_id_ =
            scheduler->add(new peripheral_event(this, HANG_UP_TIMER), INACTIVITY_TICKS, true);
        timer_armed_ = 1;
        hang_up_requested_ = 0;
        return;
    }
    if (snmp_modem_activity_flag) {
        snmp_modem_activity_flag = 0;
        scheduler->restart(timer_id_);
    }
    if (!driver_->Connected()) {
        scheduler->remove(timer_id_);
        timer_armed_ = 0;
    }
}

void CModem::OnTimer(uint32_t argument) {
    if (argument == HANG_UP_TIMER) hang_up_requested_ = 1;
}

uint8_t CModem::GetDriverState() const {
    return driver_ ? driver_->GetState() : 0;
}
