#include "peripherals/peripheral_task.h"

#include "runtime/console.h"
#include "peripherals/can/can_networks.h"
#include "peripherals/sensors/temperature.h"
#include "ntcip/clock/clock.h"
#include "platform/monitor/monitor.h"
#include "runtime/os.h"
#include "runtime/task_table.h"
#include "store/config_file.h"
#include "store/database.h"
#include "store/filesystem.h"
#include "store/monrc_file.h"
#include "store/objects.h"
#include "store/short_error_status.h"

#include <cstdio>

namespace {

// The fixed peripherals in creation order. The front-panel manager (70,
// after the clock) and the file manager (304, after 302) join this table with
// their classes.
struct FixedPeripheral {
    uint16_t id;
    const char* parameters;
};
const FixedPeripheral FIXED_PERIPHERALS[] = {
    {PERIPHERAL_ID_CLOCK, nullptr},          {PERIPHERAL_ID_TEMP_CONTROLLER, "42100"},
    {PERIPHERAL_ID_DIRECTORY_FILE, nullptr}, {PERIPHERAL_ID_CONFIG_FILE, nullptr},
    {PERIPHERAL_ID_MONRC_FILE, nullptr},     {PERIPHERAL_ID_SCRIPT_FILE, nullptr},
};

// A write of dmsSWReset asks for a restart: the letter the watchdog's
// controlled reset starts on.
struct RestartRequest {
    uint32_t sw_reset;
    uint32_t letter;
};
const RestartRequest RESTART_REQUESTS[] = {
    {1, LETTER_RESTART_REQUESTED},
    {4, LETTER_DEFRAG_RESTART_REQUESTED},
};

const uint32_t PORT_SPEEDS[] = {2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200};
const uint32_t DEFAULT_PORT_SPEED = 9600;

const uint32_t MAC_BYTES = 6;

const uint32_t LAMP_TEST_NONE = 2; // lampTestActivation

const uint16_t NO_EXCEPTION = 0;

} // namespace

const CPeripheralTask::LetterAction CPeripheralTask::LETTER_ACTIONS[] = {
    {LETTER_CONTROLLED_RESET, &CPeripheralTask::OnControlledReset},
    {LETTER_CONFIG_OBJECT_CHANGED, &CPeripheralTask::OnConfigChanged},
    {LETTER_CONFIG_WRITER_HOLD, &CPeripheralTask::OnConfigWriterHold},
    {LETTER_CONFIG_WRITER_RELEASE, &CPeripheralTask::OnConfigWriterRelease},
    {LETTER_ETHERNET_ADDRESS_CHANGED, &CPeripheralTask::OnEthernetAddressChanged},
    {LETTER_NETWORK_CONFIG_CHANGED, &CPeripheralTask::OnNetworkConfigChanged},
    {LETTER_LOCAL_TIME_DIFFERENTIAL, &CPeripheralTask::OnLocalTimeDifferential},
    {LETTER_STANDARD_TIME_ZONE, &CPeripheralTask::OnStandardTimeZone},
    {LETTER_LAMP_TEST, &CPeripheralTask::OnLampTest},
    {LETTER_SHUTOFF_TEMP_CHANGED, &CPeripheralTask::OnShutOffTemperature},
};

// The classes whose lost communication shows in shortErrorStatus: temperature
// sensors (not the controller board's own), doors, beacons (also on I/O
// points), DC I/O boards, mini DC I/O boards, pixel test boards, overheight
// detectors, and three classes no factory builds.
const CPeripheralTask::CommErrorWatch CPeripheralTask::COMM_ERROR_WATCHES[] = {
    {0x26, 10},           {0x0A, NO_EXCEPTION}, {0x27, NO_EXCEPTION}, {0x03, NO_EXCEPTION},
    {0x14, NO_EXCEPTION}, {0x08, NO_EXCEPTION}, {0x1D, NO_EXCEPTION}, {0x1E, NO_EXCEPTION},
    {0x1F, NO_EXCEPTION}, {0x2A, NO_EXCEPTION}, {0x21, NO_EXCEPTION},
};

CPeripheralTask::CPeripheralTask(post_office& office)
    : CMailTask(task_row_of(TASK_PERIPHERAL), office) {}

void CPeripheralTask::Initialize() {
    periph_register_factories(factories_);
    registry_.Init(&factories_);
    can_register_buses();
    for (const FixedPeripheral& f : FIXED_PERIPHERALS)
        CreateFixedPeripheral(f.id, f.parameters);
}

bool CPeripheralTask::CreateFixedPeripheral(uint16_t id, const char* parameters) {
    if (!registry_.Contains(id) && registry_.Create(id, parameters)) return true;
    console_printf("failed to create %s[%d]\n", periph_id_to_name(id), int(id));
    return false;
}

uint32_t CPeripheralTask::Run() {
    CTaskBase::Run();
    PostRestartRequest();
    KeepPortSpeed();
    DrainMailbox(mail_);
    PollPeripherals();
    return 0;
}

void CPeripheralTask::PostRestartRequest() {
    if (restart_request_seen_) return;
    uint32_t sw_reset = db_get(obj::dmsSWReset);
    for (const RestartRequest& r : RESTART_REQUESTS)
        if (r.sw_reset == sw_reset) {
            restart_request_seen_ = true;
            PostLetter(r.letter);
        }
}

void CPeripheralTask::KeepPortSpeed() {
    const DbObject port = obj::rs232PortInSpeed.row(0);
    uint32_t speed = db_get(port);
    for (uint32_t known : PORT_SPEEDS)
        if (speed == known) return;
    db_set(port, DEFAULT_PORT_SPEED, DB_NOTIFY);
}

// A peripheral's countdown counts the passes since its last poll; it is
// polled when the count reaches its period (period 0: every pass).
void CPeripheralTask::PollPeripherals() {
    unsigned cursor = 0;
    CPeripheral* p = nullptr;
    for (bool more = registry_.First(PERIPHERAL_CLASS_ANY, &cursor, &p); more;
         more = registry_.Next(PERIPHERAL_CLASS_ANY, &cursor, &p)) {
        if (!p->Enabled()) continue;
        if (p->Countdown() < p->PollPeriod()) p->SetCountdown(uint16_t(p->Countdown() + 1));
        if (p->Countdown() < p->PollPeriod()) continue;
        p->SetCountdown(0);
        p->Poll();
        RecordPeripheralStatus(p->ListSlot(), p->GetErrorCode());
    }
}

void CPeripheralTask::RecordPeripheralStatus(uint16_t list_slot, uint8_t error_code) {
    if (list_slot >= obj::halvPeripheralStatus.rows) return;
    db_set(obj::halvPeripheralStatus.row(list_slot), error_code, DB_NOTIFY);
    UpdateCommErrorStatus();
}

// Bit 0x0008 of shortErrorStatus: some watched peripheral has lost its
// communication (state COMM ERROR or UNKNOWN).
void CPeripheralTask::UpdateCommErrorStatus() {
    unsigned lost = 0;
    unsigned cursor = 0;
    CPeripheral* p = nullptr;
    for (bool more = registry_.First(PERIPHERAL_CLASS_ANY, &cursor, &p); more;
         more = registry_.Next(PERIPHERAL_CLASS_ANY, &cursor, &p)) {
        bool lost_state =
            p->State() == CPeripheral::STATE_COMM_ERROR || p->State() == CPeripheral::STATE_UNKNOWN;
        if (lost_state && CommErrorWatched(p->ClassCode(), p->Id())) ++lost;
    }
    short_error_put(SHORT_ERROR_PERIPHERAL_COMM, lost != 0);
}

bool CPeripheralTask::CommErrorWatched(uint8_t class_code, uint16_t id) {
    for (const CommErrorWatch& w : COMM_ERROR_WATCHES)
        if (w.class_code == class_code && w.excepted_id != id) return true;
    return false;
}

void CPeripheralTask::HandleLetter(const letter_s& letter) {
    for (const LetterAction& a : LETTER_ACTIONS)
        if (a.code == letter.code()) {
            (this->*a.handle)(letter);
            return;
        }
    // The other peripheral letters come with the sensors, boards and front panel.
}

// Terminate stops the task's timer only: the thread does not end.
void CPeripheralTask::TerminateSelf() {
    // The front panel's restart text comes with the front-panel subsystem.
    PostLetter(LETTER_PERIPHERAL_STOP);
    os_timer_deactivate(Timer());
}

void CPeripheralTask::OnControlledReset(const letter_s& letter) {
    // The front panel shows "CONTROLLED RESET" once it exists; the reply lets
    // the requester go on.
    letter_s answer(LETTER_CONTROLLED_RESET_ACK);
    Mail().office().reply(letter, answer);
}

// The configuration file saves at this task's next pass.
void CPeripheralTask::OnConfigChanged(const letter_s&) {
    registry_.MakeDue(PERIPHERAL_ID_CONFIG_FILE);
    CFile_Config::RequestSave();
}

void CPeripheralTask::OnConfigWriterHold(const letter_s&) {
    registry_.Disable(PERIPHERAL_ID_CONFIG_FILE);
}

void CPeripheralTask::OnConfigWriterRelease(const letter_s&) {
    registry_.Enable(PERIPHERAL_ID_CONFIG_FILE);
}

void CPeripheralTask::OnEthernetAddressChanged(const letter_s&) {
    uint8_t mac[MAC_BYTES + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::ifPhysAddress, mac, sizeof mac, &length);
    if (length >= MAC_BYTES) {
        char line[48];
        std::snprintf(line, sizeof line, "etheraddr set %02X:%02X:%02X:%02X:%02X:%02X", mac[0],
                      mac[1], mac[2], mac[3], mac[4], mac[5]);
        mon_docommand(line, 0);
    }
    RewriteMonrcAndRestart("ethernet mac changed... rebooting\n");
}

// A central write of the differential or the zone: the clock takes it up at
// its second poll from now.
void CPeripheralTask::OnLocalTimeDifferential(const letter_s&) {
    if (CClock* clock = find_clock()) clock->StartDifferentialCount();
}

void CPeripheralTask::OnStandardTimeZone(const letter_s&) {
    if (CClock* clock = find_clock()) clock->StartZoneCount();
}

// The sign has no lamps to test: the request is taken up at once, and the
// trigger reads "no test" again (written quietly, so no letter follows).
void CPeripheralTask::OnLampTest(const letter_s&) {
    db_set(obj::lampTestActivation, LAMP_TEST_NONE, 0);
}

// The sign sensors' thresholds follow the new shut-off temperature.
void CPeripheralTask::OnShutOffTemperature(const letter_s&) {
    for (uint16_t id : {TEMP_SIGN1, TEMP_SIGN2, TEMP_SIGN3}) {
        CPeripheral* p = nullptr;
        if (registry_.Find(id, &p) && p->ClassCode() == PERIPHERAL_CLASS_TEMPERATURE)
            static_cast<CTemperature*>(p)->UpdateShutOffLimits();
    }
}

void CPeripheralTask::OnNetworkConfigChanged(const letter_s&) {
    RewriteMonrcAndRestart("ethernet config changed... rebooting\n");
}

// The restart goes through dmsSWReset: the next pass posts the restart
// letter and the watchdog runs the controlled reset.
void CPeripheralTask::RewriteMonrcAndRestart(const char* text) {
    CFile_Monrc::Write(&TheSystemMedia(), &TheFileSystem());
    console_printf("%s", text);
    db_set(obj::dmsSWReset, 1, DB_NOTIFY);
}

CPeripheral* CPeripheralTask::GetPeripheral(uint16_t id) {
    CPeripheral* p = nullptr;
    registry_.Find(id, &p);
    return p;
}

void CPeripheralTask::PrintPeripheralStatus(uint16_t id) {
    CPeripheral* p = GetPeripheral(id);
    if (p) p->PrintStatus();
}

void CPeripheralTask::StaggerSensorPolls(CPeripheral*, unsigned) {}

// Never destroyed: the peripherals it owns would otherwise be deleted at the
// program's end, after the store they write while going.
CPeripheralTask& ThePeripheralTask() {
    static CPeripheralTask* task = new CPeripheralTask(the_post_office());
    return *task;
}
