// The IP instances of the serial links (PPP, PMPP): the link carries the
// datagrams in its own frames, so the instance needs an IP, ICMP, UDP and TCP
// stack inside the process. That stack is lwIP (one for the whole process,
// started at the first link instance), one netif per instance; every socket
// of a link instance is bound to its netif, so several links with the same
// address each answer on their own link, and a reply leaves by the link its
// request came on.
//
// lwIP runs its timers on a host thread of its own and is entered under its
// core lock. Nothing of the kernel is called with that lock held: what lwIP
// reports (datagrams, connections, data, closes, datagrams to send) is
// collected while it is held and handed to the kernel after (from a kernel
// thread), or raised as an interrupt (from lwIP's own thread). Datagrams to
// send go to the instance's IP thread, which calls the link driver.
//
// Private to the network stack: ip.cpp, udp.cpp and tcp.cpp hand the calls
// on a link instance here.
#pragma once

#include "platform/netstack/netstack.h"

namespace netstack {

struct ip_impl;

// Whether `driver` carries IP in serial frames (registered by nx_link_driver_carries_ip).
bool link_driver_carries_ip(nx_link_driver_fn driver);
// The instance's netif (address, mask); false when lwIP cannot take it.
bool link_ip_attach(ip_impl* ip);
bool is_link_ip(const NX_IP* ip);
void link_ip_address_set(ip_impl* ip);
// After the driver's initialise request: the netif takes the link's MTU.
void link_ip_initialized(ip_impl* ip);
// One whole datagram from the link.
void link_ip_input(ip_impl* ip, const uint8_t* datagram, ULONG length);

UINT link_udp_create(NX_IP* ip, NX_UDP_SOCKET* socket, const char* name, ULONG queue_maximum);
UINT link_udp_delete(NX_UDP_SOCKET* socket);
UINT link_udp_bind(NX_UDP_SOCKET* socket, UINT port);
UINT link_udp_unbind(NX_UDP_SOCKET* socket);
UINT link_udp_send(NX_UDP_SOCKET* socket, NX_PACKET* packet, ULONG ip_address, UINT port);
UINT link_udp_receive(NX_UDP_SOCKET* socket, NX_PACKET** packet, ULONG wait);
UINT link_udp_receive_notify(NX_UDP_SOCKET* socket, nx_udp_notify_fn notify);
bool is_link_udp(const NX_UDP_SOCKET* socket);

UINT link_tcp_create(NX_IP* ip, NX_TCP_SOCKET* socket, const char* name, ULONG window,
                     nx_tcp_notify_fn disconnect);
UINT link_tcp_delete(NX_TCP_SOCKET* socket);
UINT link_tcp_receive_notify(NX_TCP_SOCKET* socket, nx_tcp_notify_fn notify);
UINT link_tcp_listen(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket, UINT queue,
                     nx_tcp_listen_fn listen);
UINT link_tcp_accept(NX_TCP_SOCKET* socket, ULONG wait);
UINT link_tcp_relisten(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket);
UINT link_tcp_unaccept(NX_TCP_SOCKET* socket);
UINT link_tcp_unlisten(NX_IP* ip, UINT port);
UINT link_tcp_disconnect(NX_TCP_SOCKET* socket);
UINT link_tcp_send(NX_TCP_SOCKET* socket, NX_PACKET* packet);
UINT link_tcp_receive(NX_TCP_SOCKET* socket, NX_PACKET** packet, ULONG wait);
UINT link_tcp_peer_info(NX_TCP_SOCKET* socket, ULONG* peer_ip, ULONG* peer_port);
bool is_link_tcp(const NX_TCP_SOCKET* socket);

} // namespace netstack
