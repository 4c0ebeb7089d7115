// The Ethernet TCP and UDP servers behind the NTCIP port drivers 4, 5 and 6.
// A CTCP_Server accepts connections on one or more ports, a CUDP_Server
// receives datagrams on one or more ports; what arrives goes into the link of
// the agent that the server's channel protocol names (11: SNMP over Ethernet,
// "ethernet_tcp" or "ethernet_udp"; 9: PMPP frames for "ethernet_pmpp"; the
// PPP channel 10 comes with its link) together with its source, so that the response goes back
// on the same connection, or to the same sender from the same socket.
//
// Sockets and threads belong to two pools of slots: five TCP slots and two
// UDP slots, each with its own socket and "tcp thread" / "udp thread"
// (priority 3). A slot serves one port for the life of the system; a listening
// TCP slot serves one connection at a time and listens again after it.
//
// Special ports: UDP 3002 takes a datagram of more than 8 bytes whose first
// byte is 13 as the text of halvObj6_2 (bytes 8 onward); TCP 162 carries traps
// to a connected central system (letters 32 and 33 when a connection opens and
// ends; its received bytes are discarded). A connection idle for 300 s is closed.
#pragma once

#include "platform/netstack/netstack.h"

#include <atomic>
#include <cstdint>

const uint32_t TCP_SEND_MAX = 1444; // bytes of one TCP send (longer data go in pieces)
const uint32_t UDP_SEND_MAX = 2050; // bytes of one datagram (an SNMP message as on TCP)
const ULONG TCP_IDLE_TICKS = 30000;
const UINT TEXT_DATAGRAM_PORT = 3002;
const UINT TRAP_CONNECTION_PORT = 162;
const UINT NTCIP_SECOND_PORT = 14001;
const uint32_t TCP_SLOTS = 5;
const uint32_t UDP_SLOTS = 2;

enum channel_protocol : uint8_t {
    CHANNEL_NONE = 0,
    CHANNEL_PMPP = 9,
    CHANNEL_PPP = 10,
    CHANNEL_SNMP = 11,
};

typedef void (*server_notify_fn)(uint32_t argument1, uint32_t argument2);

class CTCP_Server {
  public:
    CTCP_Server() = default;
    virtual ~CTCP_Server() = default;
    // Listen on one more port (each call takes a slot). A ring size other
    // than 0 makes this the front panel's web-LCD mirror: a receive ring and
    // a transmit ring of that many bytes each, in place of a channel.
    virtual bool Open(UINT port, uint32_t ring_size);
    // Serve the connection of `slot` once: wait up to 300 s for data and
    // route it. -> false when none came or the connection ended.
    virtual bool Receive(uint32_t slot);
    // Send on the connection seen last (the trap sender's use).
    virtual bool Send(const uint8_t* data, uint32_t length);
    // Send on the connection of `slot`, in pieces of at most 1444 bytes.
    bool SendOn(uint32_t slot, const uint8_t* data, uint32_t length);
    virtual void SetRxCallback(server_notify_fn function, uint32_t argument1, uint32_t argument2);
    // The web-LCD mirror's rings. WriteByte queues one byte for the viewer
    // (a full ring drops it with a console line; -> false without rings);
    // ReadByte takes the oldest byte the viewer sent (-> 1, or 0 when none);
    // FlushTx sends up to 500 queued bytes to the connected viewer, or
    // discards them while none is connected (-> the bytes taken).
    virtual bool WriteByte(uint8_t byte);
    int ReadByte(uint8_t* byte);
    uint32_t FlushTx();
    static constexpr uint32_t FLUSH_MAX = 500;
    // Moves on each time a connection is accepted or ends: a reader that
    // keeps a per-connection state sees that its viewer changed.
    uint32_t ConnectionNumber() const { return connections_.load(std::memory_order_acquire); }
    // Bytes the full transmit ring dropped since the start.
    uint32_t DroppedBytes() const { return dropped_; }

    uint8_t channel = CHANNEL_NONE;

  private:
    void feed_link(const NX_PACKET* packet);
    void feed_ring(const NX_PACKET* packet);
    // Single-producer, single-consumer rings: the slot's thread fills rx,
    // the front panel empties it; the panel's writer fills tx and its poll
    // empties it.
    struct byte_ring {
        uint8_t* bytes = nullptr;
        uint32_t size = 0;
        std::atomic<uint32_t> head{0}, tail{0}; // head written by the producer
        bool Push(uint8_t byte);
        bool Pop(uint8_t* byte);
    };
    byte_ring rx_, tx_;
    server_notify_fn notify_ = nullptr;
    uint32_t notify_args_[2] = {0, 0};
    volatile uint32_t active_slot_ = TCP_SLOTS; // none
    std::atomic<uint32_t> connections_{0};
    uint32_t dropped_ = 0;
    uint32_t overflow_dropped_ = 0; // in the overflow going on
    friend void tcp_slot_serve(uint32_t slot);
};

class CUDP_Server {
  public:
    CUDP_Server() = default;
    virtual ~CUDP_Server() = default;
    // Bind one more port (each call takes a slot). -> 0, or 1 when none could be bound.
    int AddPort(UINT port);
    // Receive and route one datagram on `slot`. -> false when the receive failed.
    virtual bool Receive(uint32_t slot);
    // Send to the sender of the last datagram (other than on 3002).
    virtual bool Send(const uint8_t* data, uint32_t length);
    // Send from the socket of `slot` to address:port.
    bool SendTo(uint32_t slot, uint32_t address, uint16_t port, const uint8_t* data,
                uint32_t length);

    uint8_t channel = CHANNEL_NONE;

  private:
    uint32_t peer_ip_ = 0;
    uint16_t peer_port_ = 0;
    uint32_t peer_slot_ = 0;
};

// The pools on an IP instance: slot threads (stacks from "thread stacks") and
// sockets, then "tcp mutex" / "udp mutex". -> 0 when the pool is ready.
UINT tcp_thread_initialize(NX_IP* ip, NX_PACKET_POOL* pool);
UINT udp_thread_initialize(NX_IP* ip, NX_PACKET_POOL* pool);
// Take the first free slot for `port`: -> 0 now listening / bound, 1 none could.
int tcp_server_listen(UINT port, CTCP_Server* server);
int udp_thread_listen_setup(UINT port, CUDP_Server* server);
// Free TCP and UDP slots left (for tests and the status report).
uint32_t tcp_free_slots();
