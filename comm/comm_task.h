// comm_task: the "Communication" task. Once, on its thread, it brings up the
// Ethernet interface and the network services (InitEthernet: address from
// the boot monitor's environment or DHCP, the protocol servers, the agents'
// binding); then every 2 s it runs its step (Run): the file-transfer guard,
// its letters and the port reconfiguration, the communication-loss,
// poll-time and heartbeat supervisions, the time server, the Ethernet link
// check and the trap delivery. It owns the NTCIP agents and the servers
// behind port drivers 4-6, and decides from the port settings which agent
// each port carries.
#pragma once

#include "comm/agents/ntcip_agents.h"
#include "comm/drivers/ethernet_mac.h"
#include "comm/file_transfer.h"
#include "comm/net/sntp_client.h"
#include "comm/net/servers.h"
#include "platform/netstack/dhcp.h"
#include "runtime/mail_task.h"

// The silent-interface supervision of the link check: once an Ethernet
// interrupt has been seen, 1200 steps (40 minutes) without one ask for a
// soft reset of the interface, at most four times in one silent period.
struct silent_interface_watch {
    static const uint16_t SILENT_STEPS = 1200;
    static const uint8_t SOFT_RESETS = 5; // resets happen while the count is below

    uint32_t last_count = 0;
    uint16_t silent_steps = 0;
    uint8_t soft_resets = 0;

    // One step with the interrupt dispatcher's "seen" byte and count.
    // -> true when the interface is to be soft-reset now.
    bool Step(uint8_t interrupt_seen, uint32_t interrupt_count);
};

// The file-transfer guard: while a transfer is active, a state object left
// alone for 6000 steps (3 h 20 min) falls back to 0, once; every file-transfer
// step starts the count again.
struct transfer_guard {
    static const uint32_t STEPS = 6000;
    uint32_t runs = 0;
    // One step. -> true on the one step that finds the count at STEPS.
    bool Step(bool active);
};

class comm_task : public CMailTask {
  public:
    static const uint32_t AGENT_OBJECTS = 12;
    static const uint32_t CCP_PMPP_AGENT = 0;
    static const uint32_t CCP_PPP_AGENT = 1;
    static const uint32_t ETHERNET_PMPP_AGENT = 8;
    static const uint32_t ETHERNET_PPP_AGENT = 9;
    static const uint32_t ETHERNET_TCP_AGENT = 10;
    static const uint32_t ETHERNET_UDP_AGENT = 11;

    explicit comm_task(post_office& office);

    // ---- the task's life ----
    // The network start-up (InitEthernet), once on the task's thread.
    void Initialize() override { InitEthernet(); }
    uint32_t Run() override;
    void HandleLetter(const letter_s& letter) override;
    // Letter 97: suspends the agents' threads, stops the timer, ends the thread.
    void TerminateSelf() override;

    // ---- network start-up ----
    void InitEthernet();
    // Parses the environment's texts (any may be null) into the interface's
    // configuration and the store. -> 1.
    static int ParseNetworkAddresses(const char* mac, const char* ip, const char* mask,
                                     const char* gateway);
    // The Ethernet link mode of halvCommConfigFlowControl row 4 and ifSpeed.
    static emac_link_mode LinkModeFor(uint32_t mode, uint32_t if_speed);
    // The SNTP client runs when it has a server and its feature bit (0x40).
    static bool SntpWanted(uint32_t ntp_address, uint32_t features);
    NX_DHCP& DhcpClient() { return dhcp_client_; }
    bool SntpEnabled() const { return sntp_enabled_; }

    // ---- ports and channels ----
    // Binds the agents to the ports from the port settings: "ccp_ppp" on
    // port 0 for CCP modes 4 and 5, "ccp_pmpp" for every other; the Ethernet
    // agents by the Ethernet channel protocol.
    void RebuildChannels();
    enum : uint8_t { CCP_CHANNEL_PPP = 1, CCP_CHANNEL_PMPP = 2 };
    void ConfigureCcpChannel(uint8_t which);
    enum : uint8_t {
        ETHERNET_CHANNEL_PMPP = 1,
        ETHERNET_CHANNEL_PPP = 2,
        ETHERNET_CHANNEL_SNMP = 4
    };
    void ConfigureEthernetChannels(uint8_t which);
    // halvObj2_17_6: 3 rebuilds the channels and becomes 1; 4 becomes 3.
    void ProcessPortReconfiguration();
    void ReinitNTCIP();
    // Follows bits 0x20 and 0x40 of halvSpecialFeatureSet into community row 0.
    void ResetCommunityName();

    // ---- communication loss, poll time and heartbeat ----
    void RecordCommActivity(uint32_t now);
    void CheckCommLossTimeout(uint32_t now); // the poll-time supervision
    void CheckCommLossAction(uint32_t now);
    void CheckHeartbeatReset(uint32_t now);
    void LoadCommLossTimeout();
    void ActivateCommLossMessage();
    uint32_t GetHeartbeatGap() const;
    // The heartbeat: the global time a central system just read (every GET
    // of globalTime hands it over); 0 until the first read after the
    // network start-up and after a heartbeat reset.
    void SetSavedGlobalTime(uint32_t seconds) { saved_global_time_ = seconds; }
    uint32_t SavedGlobalTime() const { return saved_global_time_; }
    uint32_t LastCommTimestamp() const { return last_comm_timestamp_; }
    bool MaxPollTimeExceeded() const { return max_poll_time_exceeded_ != 0; }

    // ---- file transfer and the link ----
    // One file-transfer step (comm/file_transfer.h); it resets the guard.
    // `database_event`: run by the task's step for the store of a download.
    void EventHandlerFileTransfer(bool database_event);
    const CFileTransfer& Transfer() const { return transfer_; }
    const transfer_guard& TransferGuard() const { return transfer_guard_; }
    void CheckEthernetLink();
    const silent_interface_watch& SilentWatch() const { return silent_; }

    CNTCIP& Agent(uint32_t element) { return agents_[element % AGENT_OBJECTS]; }
    CTCP_Server& NtcipTcpServer() { return ntcip_tcp_; }
    CUDP_Server& NtcipUdpServer() { return ntcip_udp_; }
    CTCP_Server& TrapTcpServer() { return trap_tcp_; }

  private:
    struct letter_action {
        uint32_t code;
        void (comm_task::*act)(const letter_s& letter);
    };
    static const letter_action LETTER_ACTIONS[];

    void OnPortReconfiguration(const letter_s&) { ProcessPortReconfiguration(); }
    void OnChannelSettings(const letter_s&) { ReinitNTCIP(); }
    void OnDhcpRenew(const letter_s& letter);
    void OnFeatureBits(const letter_s& letter);
    void OnPing(const letter_s& letter);
    void OnSpecialFeatureBits(const letter_s&) { ResetCommunityName(); }

    bool StartNetwork();
    void AimAgentsAtTheCentralHost();
    void StartServersAndClients();
    void StartTimeServerClient();
    void OpenServers();
    void TakeDatabaseEvents();
    void ClearGraphicsForCcpMode();
    void CheckPhy();
    void FollowLink(bool up);

    CNTCIP agents_[AGENT_OBJECTS];
    CUDP_Server ntcip_udp_;
    CTCP_Server ntcip_tcp_;
    CTCP_Server trap_tcp_;
    NX_DHCP dhcp_client_{};

    uint32_t last_comm_timestamp_ = 0;
    uint32_t saved_global_time_ = 0;
    uint32_t comm_loss_minutes_ = 0;
    uint8_t max_poll_time_exceeded_ = 0;
    bool sntp_enabled_ = false;

    transfer_guard transfer_guard_;
    CFileTransfer transfer_{*this};
    CSNTP_Client sntp_;

    bool link_was_up_ = false; // a link-up has been seen
    bool link_seen_ = false;   // the link monitor has looked at least once
    bool link_up_ = false;     // the link as the previous look saw it
    silent_interface_watch silent_;

    uint32_t last_special_features_ = 0;
    uint8_t last_ccp_protocol_ = 0;
};

comm_task& the_comm_task();

// One file-transfer step on the one instance (the handler of the
// file-transfer state object calls it after a SET).
void comm_task_file_transfer();

// DHCP start-up on the Ethernet instance: waits for the link, creates and
// starts the client and waits for an address. -> 1 when one was obtained.
int dhcp_initialize(NX_IP* ip, NX_DHCP* client);
// The client's state-change callback: on "bound", the address, mask and
// gateway go to the boot monitor's environment and are parsed again.
void dhcp_state_changed(NX_DHCP* client, UINT new_state);

// Opens the CCP port with its line settings (the front-panel port too, the
// first time); at the first call creates the six NTCIP agents (memory carved
// at the cursor) and binds them; every call pushes the links' timeouts.
// -> 1 when every agent was created.
int InitNTCIPObjects(uint8_t** cursor);
