#include "peripherals/peripheral_task.h"

#include "peripherals/can/can_networks.h"
#include "peripherals/front_panel_link.h"

#include "runtime/console.h"
#include "ntcip/clock/clock.h"
#include "platform/monitor/monitor.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/task_table.h"
#include "store/config_file.h"
#include "store/database.h"
#include "store/filesystem.h"
#include "store/monrc_file.h"
#include "store/objects.h"
#include "store/short_error_status.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The fixed peripherals in creation order; the controller's temperature
// sensor takes its CAN identifier as its creation string.
struct FixedPeripheral {
    uint16_t id;
    const char* parameters;
};
const FixedPeripheral FIXED_PERIPHERALS[] = {
    {PERIPHERAL_ID_CLOCK, nullptr},           {PERIPHERAL_ID_LCD_MANAGER, nullptr},
    {PERIPHERAL_ID_TEMP_CONTROLLER, "42100"}, {PERIPHERAL_ID_DIRECTORY_FILE, nullptr},
    {PERIPHERAL_ID_CONFIG_FILE, nullptr},     {PERIPHERAL_ID_MONRC_FILE, nullptr},
    {PERIPHERAL_ID_FILE_MANAGER, nullptr},    {PERIPHERAL_ID_SCRIPT_FILE, nullptr},
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
const uint32_t LIST_READY = 2;     // peripheralConfigState

// Bits of the "database" event-flag group read here.
const ULONG BIT_CONTROL_MODE = 0x1000;
const ULONG BIT_PERIPHERAL_LIST = 0x1000000;

const uint32_t RANDOM_SEED_OFFSET = 1980;

// The boards whose communication error raises bit 0x0008 of
// shortErrorStatus: {class code, the one id of the class that does not}.
struct CommWatch {
    uint8_t class_code;
    uint16_t excepted_id; // 0: none
};
const CommWatch COMM_WATCHED[] = {
    {PERIPHERAL_CLASS_TEMPERATURE, PERIPHERAL_ID_TEMP_CONTROLLER},
    {PERIPHERAL_CLASS_DOOR, 0},
    {0x27, 0},
    {PERIPHERAL_CLASS_BEACON, 0},
    {PERIPHERAL_CLASS_BEACON_IO, 0},
    {PERIPHERAL_CLASS_DCIO, 0},
    {PERIPHERAL_CLASS_MINI_DCIO, 0},
    {0x1E, 0},
    {0x1F, 0},
    {PERIPHERAL_CLASS_PIXEL_TEST_BOARD, 0},
    {PERIPHERAL_CLASS_OVERHEIGHT, 0},
};

// Sensors whose polls are spread over the passes.
const uint8_t STAGGERED_CLASSES[] = {PERIPHERAL_CLASS_TEMPERATURE, PERIPHERAL_CLASS_LIGHT,
                                     PERIPHERAL_CLASS_HUMIDITY};
const unsigned STAGGER_DEPTH = 10;

// The housing's temperature sensors, told of a new shut-off temperature.
const uint16_t HOUSING_SENSORS[] = {13, 14, 15};

// The text the panel shows when the task is told to stop, by stop reason.
struct StopText {
    uint8_t reason;
    const char* english;
    const char* french;
};
const StopText STOP_TEXTS[] = {
    {LETTER_RESTART_REQUESTED, "SOFTWARE RESET", "REINITIALISATION"},
    {LETTER_POWER_LOSS, "POWER LOST", "PERTE D'ALIMENTATION"},
    {0, "TURNED OFF", "ETEINT"},
};
const uint32_t LANGUAGE_FRENCH = 2;

// Modem events light the panel's modem indicator.
struct ModemIndicator {
    uint32_t letter;
    uint8_t state;
};
const ModemIndicator MODEM_INDICATORS[] = {
    {LETTER_MODEM_EVENT1, 4}, {LETTER_MODEM_EVENT2, 3}, {LETTER_MODEM_EVENT3, 1}};

const uint32_t CONTROLLED_RESET_BACKLIGHT_SECONDS = 60;

bool two_words(const letter_s& letter) {
    return letter.count == 2;
}

} // namespace

// Every letter the task subscribes to beyond its maintenance letters; those
// with OnNothing are subscribed and take no action.
const CPeripheralTask::LetterAction CPeripheralTask::LETTER_ACTIONS[] = {
    {LETTER_PANEL_HOLD1_SET, &CPeripheralTask::OnPanelHold},
    {LETTER_PANEL_HOLD1_CLEAR, &CPeripheralTask::OnPanelHold},
    {LETTER_PANEL_HOLD2_SET, &CPeripheralTask::OnPanelHold},
    {LETTER_PANEL_HOLD2_CLEAR, &CPeripheralTask::OnPanelHold},
    {LETTER_PANEL_NOP5, &CPeripheralTask::OnNothing},
    {LETTER_LAMP_TEST, &CPeripheralTask::OnLampTest},
    {LETTER_PERIPHERAL_NOP26, &CPeripheralTask::OnNothing},
    {LETTER_PERIPHERAL_NOP29, &CPeripheralTask::OnNothing},
    {LETTER_PERIPHERAL_NOP30, &CPeripheralTask::OnNothing},
    {LETTER_RESTART_REQUESTED, &CPeripheralTask::OnRestartRequested},
    {LETTER_POWER_LOSS, &CPeripheralTask::OnPowerLoss},
    {LETTER_SHUTDOWN_REQUESTED, &CPeripheralTask::OnShutdown},
    {LETTER_DEFRAG_RESTART_REQUESTED, &CPeripheralTask::OnRestartRequested},
    {LETTER_WATCHDOG_TICK, &CPeripheralTask::OnNothing},
    {LETTER_COMM_SUPERVISED_ANSWER, &CPeripheralTask::OnNothing},
    {LETTER_MODEM_EVENT1, &CPeripheralTask::OnModemEvent},
    {LETTER_MODEM_EVENT2, &CPeripheralTask::OnModemEvent},
    {LETTER_MODEM_EVENT3, &CPeripheralTask::OnModemEvent},
    {LETTER_SHUTOFF_TEMP_CHANGED, &CPeripheralTask::OnShutoffTemperature},
    {LETTER_LOCAL_TIME_DIFFERENTIAL, &CPeripheralTask::OnLocalTimeDifferential},
    {LETTER_STANDARD_TIME_ZONE, &CPeripheralTask::OnStandardTimeZone},
    {LETTER_COMMUNICATION_STARTED, &CPeripheralTask::OnCommunicationStarted},
    {LETTER_NETWORK_CONFIG_CHANGED, &CPeripheralTask::OnNetworkConfigChanged},
    {LETTER_ETHERNET_ADDRESS_CHANGED, &CPeripheralTask::OnEthernetAddressChanged},
    {LETTER_CONFIG_OBJECT_CHANGED, &CPeripheralTask::OnConfigChanged},
    {LETTER_CONFIG_WRITER_HOLD, &CPeripheralTask::OnConfigWriterHold},
    {LETTER_CONFIG_WRITER_RELEASE, &CPeripheralTask::OnConfigWriterRelease},
    {LETTER_WATCHDOG_HOLD, &CPeripheralTask::OnBusyMark},
    {LETTER_WATCHDOG_RELEASE, &CPeripheralTask::OnBusyMark},
    {LETTER_PIXEL_TEST_STARTED, &CPeripheralTask::OnPixelTest},
    {LETTER_PIXEL_TEST_ENDED, &CPeripheralTask::OnPixelTest},
    {LETTER_PERIPHERAL_STATUS, &CPeripheralTask::OnPeripheralStatus},
    {LETTER_CONTROLLED_RESET, &CPeripheralTask::OnControlledReset},
    {LETTER_PERIPHERAL_NOP121, &CPeripheralTask::OnNothing},
    {LETTER_PERIPHERAL_AUTODETECT, &CPeripheralTask::OnAutoDetect},
    {LETTER_FILE_STORED, &CPeripheralTask::OnFileStored},
    {LETTER_PERIPHERALS_DISABLE, &CPeripheralTask::OnPeripheralsEnable},
    {LETTER_PERIPHERALS_ENABLE, &CPeripheralTask::OnPeripheralsEnable},
    {LETTER_FORWARD_TO_PERIPHERAL, &CPeripheralTask::OnForwardToPeripheral},
    {LETTER_FORWARD_TO_CLASS, &CPeripheralTask::OnForwardToClass},
};

CPeripheralTask::CPeripheralTask(post_office& office)
    : CMailTask(task_row_of(TASK_PERIPHERAL), office) {}

void CPeripheralTask::Initialize() {
    periph_register_factories(factories_);
    registry_.Init(&factories_);
    can_register_buses();
    std::srand(unsigned(tx_time_get() + RANDOM_SEED_OFFSET));
    for (const FixedPeripheral& f : FIXED_PERIPHERALS)
        CreateFixedPeripheral(f.id, f.parameters);
    LoadPeripherals();
    flags_word_ = (flags_word_ & 0x00FFFFFFu) | uint32_t(POWER_RUNNING) << 24;
}

bool CPeripheralTask::CreateFixedPeripheral(uint16_t id, const char* parameters) {
    if (!registry_.Contains(id) && registry_.Create(id, parameters)) return true;
    console_printf("failed to create %s[%d]\n", periph_id_to_name(id), int(id));
    return false;
}

void CPeripheralTask::LoadPeripherals() {
    registry_.Unload();
    registry_.Load(load_cursor_);
    unsigned listed = 0, cursor = 0;
    CPeripheral* p = nullptr;
    for (bool more = registry_.First(PERIPHERAL_CLASS_ANY, &cursor, &p); more;
         more = registry_.Next(PERIPHERAL_CLASS_ANY, &cursor, &p))
        if (p->ListSlot() < PERIPHERAL_FIXED_SLOT) ++listed;
    db_set(obj::halvObj2_15_4, listed, DB_NOTIFY);
    climate_.UpdateClimateOutputs(true);
}

uint32_t CPeripheralTask::Run() {
    CTaskBase::Run();
    PostRestartRequest();
    KeepPortSpeed();
    ProcessDatabaseFlags();
    panel_hold_letter_ = false;
    DrainMailbox(mail_);
    if (panel_hold_letter_) {
        CFrontPanelPeripheral* panel = Panel();
        if (panel) panel->SetBacklightPermission(panel_hold_ == 0);
    }
    AutoDetect();
    PollPeripherals();
    temperatures_.EvaluateTemperatures(registry_);
    if (temperatures_.HousingValid() || CClimateControl::CustomerRequestActive())
        climate_.UpdateClimateOutputs(false);
    temperatures_.UpdatePhotocellLevel(registry_);
    climate_.ClimateStep();
    return 0;
}

// A finished edit of the stored list (peripheralConfigState back at 2)
// reloads it; a change of the control mode redraws the panel.
void CPeripheralTask::ProcessDatabaseFlags() {
    ULONG actual = 0;
    if (tx_event_flags_get(&database_event_flags(), BIT_PERIPHERAL_LIST, TX_OR_CLEAR, &actual,
                           TX_NO_WAIT) == TX_SUCCESS &&
        db_get(obj::peripheralConfigState) == LIST_READY) {
        if (pixel_test_running_)
            reload_waiting_ = true;
        else
            LoadPeripherals();
    }
    if (tx_event_flags_get(&database_event_flags(), BIT_CONTROL_MODE, TX_OR_CLEAR, &actual,
                           TX_NO_WAIT) == TX_SUCCESS)
        PanelAction(&CFrontPanelPeripheral::RequestRefresh);
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
        RecordPeripheralStatus(p->Id(), p->ListSlot(), p->GetErrorCode());
    }
}

void CPeripheralTask::RecordPeripheralStatus(uint16_t, uint16_t list_slot, uint8_t error_code) {
    if (list_slot < obj::halvPeripheralStatus.rows)
        db_set(obj::halvPeripheralStatus.row(list_slot), error_code, DB_NOTIFY);
    UpdateCommErrorStatus();
}

void CPeripheralTask::UpdateCommErrorStatus() {
    unsigned faults = 0;
    for (const CommWatch& w : COMM_WATCHED) {
        unsigned cursor = 0;
        CPeripheral* p = nullptr;
        for (bool more = registry_.First(w.class_code, &cursor, &p); more;
             more = registry_.Next(w.class_code, &cursor, &p)) {
            const uint8_t state = p->State();
            if (p->Id() != w.excepted_id &&
                (state == CPeripheral::STATE_COMM_ERROR || state == CPeripheral::STATE_UNKNOWN))
                ++faults;
        }
    }
    if ((faults != 0) != short_error_is_set(SHORT_ERROR_PERIPHERAL_COMM))
        short_error_put(SHORT_ERROR_PERIPHERAL_COMM, faults != 0);
}

void CPeripheralTask::SetAllEnabled(uint8_t flag, bool list_created_only, uint16_t except_id) {
    unsigned cursor = 0;
    CPeripheral* p = nullptr;
    for (bool more = registry_.First(PERIPHERAL_CLASS_ANY, &cursor, &p); more;
         more = registry_.Next(PERIPHERAL_CLASS_ANY, &cursor, &p)) {
        if (list_created_only && p->ListSlot() >= PERIPHERAL_FIXED_SLOT) continue;
        if (p->Id() != except_id) p->SetEnabled(flag);
    }
}

void CPeripheralTask::EnableAll() {
    SetAllEnabled(1, true, 0);
}

void CPeripheralTask::DisableAll() {
    SetAllEnabled(0, true, 0);
}

const char* CPeripheralTask::BusNameFromCode(uint8_t bus_code) {
    return can_bus_name_from_code(bus_code);
}

void CPeripheralTask::SetGpoRequest(uint32_t n) {
    if (n >= 1 && n <= 32) gpo_request_ |= uint16_t(n <= 16 ? 1u << (n - 1) : 0);
}

void CPeripheralTask::ClearGpoRequest(uint32_t n) {
    if (n >= 1 && n <= 16) gpo_request_ &= uint16_t(~(1u << (n - 1)));
}

// A sensor sharing the low CAN id nibble, period and countdown with a live
// sensor draws its countdown again, and the scan starts over for it.
void CPeripheralTask::StaggerSensorPolls(CPeripheral* p, unsigned depth) {
    if (depth >= STAGGER_DEPTH || p->PollPeriod() == 0) return;
    for (uint8_t class_code : STAGGERED_CLASSES) {
        unsigned cursor = 0;
        CPeripheral* q = nullptr;
        for (bool more = registry_.First(class_code, &cursor, &q); more;
             more = registry_.Next(class_code, &cursor, &q)) {
            if (q == p || (q->CanId() & 0xF) != (p->CanId() & 0xF) ||
                q->PollPeriod() != p->PollPeriod() || q->Countdown() != p->Countdown())
                continue;
            p->SetCountdown(uint16_t(std::rand() % p->PollPeriod()));
            StaggerSensorPolls(p, depth + 1);
        }
    }
}

// --- auto-detection -------------------------------------------------------------------

void CPeripheralTask::AutoDetect() {
    switch (detect_state_) {
    case DETECT_START:
        StartDetection();
        detect_state_ = DETECT_PROBING;
        break;
    case DETECT_PROBING:
        detect_state_ = DETECT_COLLECT; // the replies gather for one pass
        break;
    case DETECT_COLLECT:
        CollectDetection();
        break;
    default:
        break;
    }
}

void CPeripheralTask::StartDetection() {
    for (unsigned i = 0; i < DETECTORS; ++i) {
        const uint8_t bus = AUTO_DETECT_BUS_CODES[i];
        detectors_[i] = create_peripheral_detector();
        if (detectors_[i] == nullptr) continue;
        detectors_[i]->Probe(bus, BusNameFromCode(bus), AUTO_DETECT_RANGE_LOW,
                             AUTO_DETECT_RANGE_HIGH, AUTO_DETECT_PROBE_IDS,
                             sizeof AUTO_DETECT_PROBE_IDS / sizeof AUTO_DETECT_PROBE_IDS[0]);
    }
}

void CPeripheralTask::CollectDetection() {
    for (unsigned i = 0; i < DETECTORS; ++i) {
        if (detectors_[i] == nullptr) continue;
        detectors_[i]->Stop();
        add_detected_peripherals(*detectors_[i], AUTO_DETECT_BUS_CODES[i]);
        delete detectors_[i];
        detectors_[i] = nullptr;
    }
    pl_iterator list;
    list.Remove(PERIPHERAL_ID_LIGHT_LINE);
    // The front panel learns that detection ended.
    letter_s done(LETTER_FORWARD_TO_PERIPHERAL);
    done.count = 2;
    done.put_u32(0, PERIPHERAL_ID_LCD_MANAGER);
    done.put_u32(4, 1);
    Mail().office().dispatch(done);
    detect_state_ = DETECT_IDLE;
    console_printf("auto detect complete\n");
}

void CPeripheralTask::HandleLetter(const letter_s& letter) {
    for (const LetterAction& a : LETTER_ACTIONS)
        if (a.code == letter.code()) {
            (this->*a.handle)(letter);
            return;
        }
}

// --- the front panel ------------------------------------------------------------------

CFrontPanelPeripheral* CPeripheralTask::Panel() {
    CPeripheral* p = nullptr;
    if (!registry_.Find(PERIPHERAL_ID_LCD_MANAGER, &p) ||
        p->ClassCode() != PERIPHERAL_CLASS_LCD_MANAGER)
        return nullptr;
    return static_cast<CFrontPanelPeripheral*>(p);
}

void CPeripheralTask::PanelAction(void (CFrontPanelPeripheral::*action)()) {
    if (CFrontPanelPeripheral* panel = Panel()) (panel->*action)();
}

void CPeripheralTask::ShowStopReason() {
    CFrontPanelPeripheral* panel = Panel();
    if (panel == nullptr) return;
    const StopText* text = &STOP_TEXTS[0];
    while (text->reason != 0 && text->reason != stop_reason_)
        ++text;
    const bool french = db_get(obj::halvLanguage) == LANGUAGE_FRENCH;
    panel->SetBusy();
    panel->ClearScreen();
    panel->SetBacklight(false, 0);
    panel->SetLocalIndicator(false);
    panel->PrintLine(4, french ? text->french : text->english,
                     CFrontPanelPeripheral::JUSTIFY_CENTRE);
}

// Terminate stops the task's timer only: the thread does not end.
void CPeripheralTask::TerminateSelf() {
    ShowStopReason();
    PostLetter(LETTER_PERIPHERAL_STOP);
    os_timer_deactivate(Timer());
}

// The panel says why the sign goes down; the reply lets the requester go on
// whether or not a panel exists.
void CPeripheralTask::OnControlledReset(const letter_s& letter) {
    if (CFrontPanelPeripheral* panel = Panel()) {
        panel->SetBusy();
        panel->ClearScreen();
        panel->SetBacklight(true, CONTROLLED_RESET_BACKLIGHT_SECONDS);
        panel->SetLocalIndicator(false);
        panel->ClearScreen();
        panel->PrintLine(4, "CONTROLLED RESET", CFrontPanelPeripheral::JUSTIFY_CENTRE);
        panel->PrintLine(5, "Please wait...", CFrontPanelPeripheral::JUSTIFY_CENTRE);
        registry_.Disable(PERIPHERAL_ID_LCD_MANAGER);
    }
    letter_s answer(LETTER_CONTROLLED_RESET_ACK);
    Mail().office().reply(letter, answer);
}

void CPeripheralTask::OnNothing(const letter_s&) {}

// Letters 1/2 set/clear hold bit 0, 3/4 hold bit 1.
void CPeripheralTask::OnPanelHold(const letter_s& letter) {
    const uint32_t code = letter.code();
    const uint8_t bit = uint8_t(code <= LETTER_PANEL_HOLD1_CLEAR ? 1 : 2);
    const bool set = code == LETTER_PANEL_HOLD1_SET || code == LETTER_PANEL_HOLD2_SET;
    panel_hold_ = uint8_t(set ? panel_hold_ | bit : panel_hold_ & ~bit);
    panel_hold_letter_ = true;
}

void CPeripheralTask::StopFor(uint8_t reason) {
    stop_reason_ = reason;
    registry_.Disable(PERIPHERAL_ID_LCD_MANAGER);
}

void CPeripheralTask::OnRestartRequested(const letter_s&) {
    StopFor(LETTER_RESTART_REQUESTED);
}

void CPeripheralTask::OnPowerLoss(const letter_s&) {
    StopFor(LETTER_POWER_LOSS);
}

void CPeripheralTask::OnShutdown(const letter_s&) {
    flags_word_ = (flags_word_ & 0x00FFFFFFu) | uint32_t(POWER_SHUTDOWN) << 24 | FLAG_SHUTDOWN;
    stop_reason_ = LETTER_SHUTDOWN_REQUESTED;
    PostLetter(LETTER_SHUTDOWN_RESET);
    registry_.Disable(PERIPHERAL_ID_LCD_MANAGER);
}

void CPeripheralTask::OnModemEvent(const letter_s& letter) {
    CFrontPanelPeripheral* panel = Panel();
    for (const ModemIndicator& m : MODEM_INDICATORS)
        if (panel && m.letter == letter.code())
            panel->SetIndicator(CFrontPanelPeripheral::INDICATOR_MODEM, m.state);
}

void CPeripheralTask::OnShutoffTemperature(const letter_s& letter) {
    for (uint16_t id : HOUSING_SENSORS) {
        CPeripheral* p = nullptr;
        if (registry_.Find(id, &p)) p->ForwardLetter(letter);
    }
}

void CPeripheralTask::OnCommunicationStarted(const letter_s&) {
    PanelAction(&CFrontPanelPeripheral::StartWebLCD);
}

void CPeripheralTask::OnBusyMark(const letter_s& letter) {
    PanelAction(letter.code() == LETTER_WATCHDOG_HOLD ? &CFrontPanelPeripheral::SetBusy
                                                      : &CFrontPanelPeripheral::ClearBusy);
}

void CPeripheralTask::OnPixelTest(const letter_s& letter) {
    pixel_test_running_ = letter.code() == LETTER_PIXEL_TEST_STARTED;
    if (pixel_test_running_) {
        DisableAll();
        return;
    }
    if (reload_waiting_) LoadPeripherals();
    reload_waiting_ = false;
    EnableAll();
}

void CPeripheralTask::OnPeripheralsEnable(const letter_s& letter) {
    SetAllEnabled(letter.code() == LETTER_PERIPHERALS_ENABLE ? 1 : 0, false,
                  PERIPHERAL_ID_LCD_MANAGER);
}

void CPeripheralTask::OnPeripheralStatus(const letter_s& letter) {
    if (two_words(letter))
        RecordPeripheralStatus(uint16_t(letter.get_u32(0)), uint16_t(letter.get_u32(4)),
                               letter.data[5]);
}

// Detection starts from an empty list; a request while it runs is ignored.
void CPeripheralTask::OnAutoDetect(const letter_s&) {
    if (detect_state_ != DETECT_IDLE) return;
    pl_iterator list;
    list.Clear();
    detect_state_ = DETECT_START;
}

void CPeripheralTask::OnFileStored(const letter_s&) {
    PanelAction(&CFrontPanelPeripheral::MarkMenusForReload);
}

void CPeripheralTask::OnForwardToPeripheral(const letter_s& letter) {
    CPeripheral* p = nullptr;
    if (two_words(letter) && registry_.Find(uint16_t(letter.get_u32(0)), &p))
        p->ForwardLetter(letter);
}

void CPeripheralTask::OnForwardToClass(const letter_s& letter) {
    if (!two_words(letter)) return;
    const uint32_t class_code = letter.get_u32(0);
    if (class_code > 0xFF) return;
    unsigned cursor = 0;
    CPeripheral* p = nullptr;
    for (bool more = registry_.First(uint8_t(class_code), &cursor, &p); more;
         more = registry_.Next(uint8_t(class_code), &cursor, &p))
        p->ForwardLetter(letter);
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

// Never destroyed: the peripherals it owns would otherwise be deleted at the
// program's end, after the store they write while going.
CPeripheralTask& ThePeripheralTask() {
    static CPeripheralTask* task = new CPeripheralTask(the_post_office());
    return *task;
}
