// comm_task: the "Communication" task. Its first step brings up the Ethernet
// network and opens the protocol servers (TCP on the NTCIP port and 14001,
// TCP 162 for traps, UDP on the NTCIP port and 3002) and binds the agents to
// them; then it runs its step, serves its letters and answers the ping
// request. It owns the NTCIP agents and the servers behind port drivers 4-6.
#pragma once

#include "comm/agents/ntcip_agents.h"
#include "comm/net/servers.h"
#include "runtime/mail_task.h"

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
    void HandleLetter(const letter_s& letter) override;
    // One step: the letters, then the UDP trap client drained and the trap
    // queue offered to the delivery paths.
    uint32_t Run() override;
    // The network start-up, once on the task's thread before its loop.
    void Initialize() override;
    // Binds the agents to the ports from the port settings: "ccp_ppp" on
    // port 0 for CCP modes 4 and 5, "ccp_pmpp" for every other; the Ethernet
    // agents by the Ethernet channel protocol.
    void RebuildChannels();
    enum : uint8_t { CCP_CHANNEL_PPP = 1, CCP_CHANNEL_PMPP = 2 };
    void ConfigureCcpChannel(uint8_t which);

    // The heartbeat: the global time a central system just read (every GET
    // of globalTime hands it over); 0 until the first read after the
    // network start-up.
    void SetSavedGlobalTime(uint32_t seconds) { saved_global_time_ = seconds; }
    uint32_t SavedGlobalTime() const { return saved_global_time_; }

    CNTCIP& Agent(uint32_t element) { return agents_[element % AGENT_OBJECTS]; }
    CTCP_Server& NtcipTcpServer() { return ntcip_tcp_; }
    CUDP_Server& NtcipUdpServer() { return ntcip_udp_; }
    CTCP_Server& TrapTcpServer() { return trap_tcp_; }

  private:
    void OpenServers();
    void AimAgentsAtTheCentralHost();
    void ConfigureEthernetChannels(uint8_t protocol);

    CNTCIP agents_[AGENT_OBJECTS];
    CUDP_Server ntcip_udp_;
    CTCP_Server ntcip_tcp_;
    CTCP_Server trap_tcp_;
    uint32_t saved_global_time_ = 0;
};

comm_task& the_comm_task();

// Opens the CCP port with its line settings (the front-panel port too, the
// first time); at the first call creates the six NTCIP agents (memory carved
// at the cursor) and binds them; every call pushes the links' timeouts.
// -> 1 when every agent was created.
int InitNTCIPObjects(uint8_t** cursor);
