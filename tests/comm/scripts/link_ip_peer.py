#!/usr/bin/env python3
"""A central system that reaches the sign as a host on the serial link's own
IP network: IPv4 datagrams in PMPP frames with IPI 0x21 or in PPP frames of
protocol 0x0021.

link_ip_peer.py pmpp-udp LINK SIGN
    A PMPP master (station 1) that writes its IPv4/UDP datagrams itself and
    checks the answers, the crafted datagrams the sign must drop, and that a
    direct request (IPI 0xC1) is answered directly between UDP ones.
link_ip_peer.py ppp-udp LINK SIGN SECRET CENTRAL
    The same UDP requests (and direct ones in protocol 0x00C1) from a PPP peer
    that brought the link up with LCP, CHAP and IPCP.
link_ip_peer.py pmpp-tun LINK SIGN
link_ip_peer.py ppp-tun LINK SIGN SECRET CENTRAL
    Bridges the link's datagrams to a TUN device in a network namespace of its
    own (PPP: after bringing the link up with LCP, CHAP and IPCP), and from
    there asks the sign with net-snmp's snmpget over UDP and twice over TCP and
    with ping. Needs root, /dev/net/tun and ip(8).

LINK is a pseudo-terminal path or tcp:HOST:PORT; SIGN the sign's address.
Exits 0 when every check holds; each failure is printed on its own line.
"""
import fcntl
import os
import select
import socket
import struct
import subprocess
import sys
import threading
import time

from pmpp_master import Line as PmppLine, frame as pmpp_frame
from ppp_peer import Line as PppLine, Peer, bring_up, response_id
from snmp_frames import COMMUNITY, SYS_DESCR, fcs16, get_request, tlv, unescape

STATION = 1
ADDRESS = (STATION << 2) | 1
MASTER = bytes([10, 1, 2, 3])
PMPP_MTU = 2050


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack(">%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def ipv4_udp(src, dst, sport, dport, payload, ident=1):
    udp = struct.pack(">HHHH", sport, dport, 8 + len(payload), 0) + payload
    header = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), ident, 0, 64, 17, 0, src, dst)
    header = header[:10] + struct.pack(">H", checksum(header)) + header[12:]
    return header + udp


def parse_udp(datagram):
    """(src, dst, sport, dport, payload) of a good IPv4/UDP datagram, or None."""
    if len(datagram) < 28 or datagram[0] != 0x45 or datagram[9] != 17:
        return None
    if checksum(datagram[:20]) != 0 or struct.unpack(">H", datagram[2:4])[0] != len(datagram):
        return None
    sport, dport, length = struct.unpack(">HHH", datagram[20:26])
    return datagram[12:16], datagram[16:20], sport, dport, datagram[28:20 + length]


def pmpp_frames(data):
    """The bodies (address, control, IPI, information) of the good frames in data."""
    bodies = []
    for raw in data.split(b"\x7e"):
        plain = unescape(raw)
        if len(plain) >= 5 and fcs16(plain) == 0xF0B8:
            bodies.append(bytes(plain[:-2]))
    return bodies


def many_get(request_id, count):
    """A GET of sysDescr `count` times over."""
    varbind = tlv(0x30, SYS_DESCR + b"\x05\x00")
    pdu = tlv(0xA0, tlv(0x02, request_id.to_bytes(4, "big")) + b"\x02\x01\x00\x02\x01\x00"
              + tlv(0x30, varbind * count))
    return tlv(0x30, b"\x02\x01\x00" + tlv(0x04, COMMUNITY) + pdu)


def big_get(request_id, size):
    """A GET of sysDescr whose message is `size` bytes (the value a GET ignores fills it)."""
    def message(filler):
        varbind = tlv(0x30, SYS_DESCR + tlv(0x04, b"x" * filler))
        pdu = tlv(0xA0, tlv(0x02, request_id.to_bytes(4, "big")) + b"\x02\x01\x00\x02\x01\x00"
                  + tlv(0x30, varbind))
        return tlv(0x30, b"\x02\x01\x00" + tlv(0x04, COMMUNITY) + pdu)
    return message(size - (len(message(1000)) - 1000))


class Checks:
    def __init__(self):
        self.failures = []

    def check(self, what, ok):
        if not ok:
            self.failures.append(what)
        return ok

    def report(self):
        for f in self.failures:
            print("FAILED: " + f)
        print("ok" if not self.failures else "%d failed" % len(self.failures))
        return 1 if self.failures else 0


def pmpp_udp(link, sign):
    c = Checks()
    line = PmppLine(link)

    def ip_frame(datagram):
        return pmpp_frame(bytes([ADDRESS, 0x13, 0x21]) + datagram)

    def paced(data):
        """Sent at the pace of a fast serial line rather than in one burst."""
        for at in range(0, len(data), 256):
            line.send(data[at:at + 256])
            time.sleep(0.02)

    def answer_frames(limit=20.0):
        """The good frames that came within `limit` s, once the line goes quiet after one."""
        data = bytearray()
        end = time.monotonic() + limit
        while time.monotonic() < end:
            data += line.receive(quiet=0.3, limit=end - time.monotonic())
            if data.endswith(b"\x7e") and pmpp_frames(bytes(data)):
                return pmpp_frames(bytes(data))
        return pmpp_frames(bytes(data))

    def udp_answer(request_id, sport=5000, datagram=None):
        paced(ip_frame(datagram or ipv4_udp(MASTER, sign, sport, 161, get_request(request_id))))
        bodies = answer_frames()
        if not c.check("request %d: one frame back" % request_id, len(bodies) == 1):
            return None
        body = bodies[0]
        c.check("request %d: the answer opens with the station, 13, 21" % request_id,
                body[:3] == bytes([ADDRESS, 0x13, 0x21]))
        udp = parse_udp(body[3:])
        if not c.check("request %d: the answer is a good IPv4/UDP datagram" % request_id, udp):
            return None
        src, dst, from_port, to_port, payload = udp
        c.check("request %d: from the sign's port 161 to the master's" % request_id,
                (src, dst, from_port, to_port) == (sign, MASTER, 161, sport))
        c.check("request %d: a GetResponse with its id" % request_id,
                response_id(payload) == request_id)
        return payload

    udp_answer(0x0A0B0C01)
    udp_answer(0x0A0B0C02, sport=40000)
    # Direct between UDP requests: answered directly.
    line.send(pmpp_frame(bytes([ADDRESS, 0x13, 0xC1]) + get_request(0x0A0B0C03)))
    bodies = answer_frames()
    c.check("a direct request after UDP ones is answered directly",
            len(bodies) == 1 and bodies[0][:3] == bytes([ADDRESS, 0x13, 0xC1])
            and response_id(bodies[0][3:]) == 0x0A0B0C03)
    udp_answer(0x0A0B0C04)
    # A datagram near the link's MTU in one frame.
    big = ipv4_udp(MASTER, sign, 5000, 161, big_get(0x0A0B0C05, PMPP_MTU - 80))
    c.check("the near-MTU datagram is near the MTU", PMPP_MTU - 80 < len(big) <= PMPP_MTU)
    udp_answer(0x0A0B0C05, datagram=big)
    # Answers up to the MTU (and those too big for it) each go back in one frame.
    sizes = []
    for n, count in enumerate((15, 20, 25, 30, 50)):
        request = ipv4_udp(MASTER, sign, 5000, 161, many_get(0x0A0B0D00 + n, count))
        answer = udp_answer(0x0A0B0D00 + n, datagram=request)
        sizes.append(len(answer or b""))
    c.check("an answer near the MTU among %s" % sizes, any(1500 < s < PMPP_MTU for s in sizes))
    # Crafted datagrams: dropped, and the next good one answered.
    good = ipv4_udp(MASTER, sign, 5000, 161, get_request(0x0A0B0C06))

    def with_total(datagram, total):
        return datagram[:2] + struct.pack(">H", total) + datagram[4:]

    crafted = {
        "a total length below 20": with_total(good, 19),
        "a total length above the MTU": with_total(good, 3000),
        "a datagram longer than its frame": with_total(good, len(good) + 10),
        "a datagram shorter than its frame": good + b"\0" * 10,
    }
    for what, datagram in crafted.items():
        line.send(ip_frame(datagram))
        c.check(what + " is dropped", line.receive(limit=1.0) == b"")
    udp_answer(0x0A0B0C06)
    return c.report()


# ---- The TUN bridge ----

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000


def run(*args, check=True):
    return subprocess.run(list(args), check=check, capture_output=True, text=True)


class Namespace:
    def __init__(self, own, sign):
        self.name = "signlink%d" % os.getpid()
        self.dev = "sl%d" % os.getpid()
        run("ip", "netns", "add", self.name)
        self.tun = os.open("/dev/net/tun", os.O_RDWR)
        fcntl.ioctl(self.tun, TUNSETIFF, struct.pack("16sH", self.dev.encode(), IFF_TUN | IFF_NO_PI))
        run("ip", "link", "set", self.dev, "netns", self.name)
        dotted = lambda a: ".".join(str(b) for b in a)
        run("ip", "-n", self.name, "addr", "add", dotted(own), "peer", dotted(sign), "dev", self.dev)
        run("ip", "-n", self.name, "link", "set", self.dev, "up")
        run("ip", "-n", self.name, "link", "set", "lo", "up")

    def exec(self, *args, timeout=30):
        try:
            return subprocess.run(["ip", "netns", "exec", self.name] + list(args),
                                  capture_output=True, text=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def close(self):
        os.close(self.tun)
        run("ip", "netns", "del", self.name, check=False)


def bridge(ns, line_fd, read_datagrams, write_datagram, stop):
    """Datagrams both ways until `stop` is set."""
    while not stop.is_set():
        ready, _, _ = select.select([ns.tun, line_fd], [], [], 0.1)
        if ns.tun in ready:
            write_datagram(os.read(ns.tun, 65536))
        if line_fd in ready:
            for datagram in read_datagrams():
                os.write(ns.tun, datagram)


def ask(ns, c, sign):
    address = ".".join(str(b) for b in sign)
    snmpget = ["snmpget", "-v1", "-c", COMMUNITY.decode(), "-r", "2", "-t", "3", "-On"]
    for target in ("udp:%s:161" % address, "tcp:%s:161" % address, "tcp:%s:161" % address):
        result = ns.exec(*(snmpget + [target, "1.3.6.1.2.1.1.1.0"]))
        c.check("snmpget %s is answered" % target,
                result is not None and result.returncode == 0 and "STRING" in result.stdout)
        if result is not None and result.returncode != 0:
            print("snmpget %s: %s %s" % (target, result.stdout, result.stderr))
    result = ns.exec("ping", "-c", "1", "-W", "5", address)
    c.check("ping is answered", result is not None and result.returncode == 0)


def tun_session(own, sign, line_fd, read_datagrams, write_datagram, c):
    """Bridges the link to a TUN device in a namespace while snmpget and ping ask."""
    ns = Namespace(own, sign)
    stop = threading.Event()
    worker = threading.Thread(target=bridge, args=(ns, line_fd, read_datagrams, write_datagram,
                                                   stop))
    worker.start()
    try:
        ask(ns, c, sign)
    finally:
        stop.set()
        worker.join()
        ns.close()
    return c.report()


def pmpp_tun(link, sign):
    line = PmppLine(link)
    pending = bytearray()

    def read_datagrams():
        pending.extend(os.read(line.fd, 65536))
        end = pending.rfind(0x7E)
        if end < 0:
            return []
        data = bytes(pending[:end + 1])
        del pending[:end]
        return [b[3:] for b in pmpp_frames(data) if b[:3] == bytes([ADDRESS, 0x13, 0x21])]

    def write_datagram(datagram):
        line.send(pmpp_frame(bytes([ADDRESS, 0x13, 0x21]) + datagram))

    return tun_session(MASTER, sign, line.fd, read_datagrams, write_datagram, Checks())


def ppp_up(link, secret, central):
    """The PPP line and its peer after LCP, CHAP both ways and IPCP."""
    line = PppLine(link)
    peer = Peer(line, secret.encode(), bytes(int(x) for x in central.split(".")))
    bring_up(line, peer)
    return line, peer


def ppp_udp(link, sign, secret, central):
    line, peer = ppp_up(link, secret, central)
    c = Checks()
    c.failures = peer.failures
    if c.failures:
        return c.report()

    def udp_answer(request_id, sport):
        line.send(0x0021, ipv4_udp(MASTER, sign, sport, 161, get_request(request_id)))
        frames = line.frames(5.0)
        if not c.check("request %d: one frame back" % request_id, len(frames) == 1):
            return
        protocol, packet = frames[0]
        udp = parse_udp(packet) if protocol == 0x0021 else None
        if not c.check("request %d: an IPv4/UDP datagram in protocol 0x0021" % request_id, udp):
            return
        src, dst, from_port, to_port, payload = udp
        c.check("request %d: from the sign's port 161 to where it came from" % request_id,
                (src, dst, from_port, to_port) == (sign, MASTER, 161, sport))
        c.check("request %d: a GetResponse with its id" % request_id,
                response_id(payload) == request_id)

    udp_answer(0x0B0B0C01, 5000)
    line.send(0x00C1, get_request(0x0B0B0C02))
    frames = line.frames(5.0)
    c.check("a direct request after a UDP one is answered directly",
            len(frames) == 1 and frames[0][0] == 0x00C1 and response_id(frames[0][1]) == 0x0B0B0C02)
    udp_answer(0x0B0B0C03, 40000)
    return c.report()


def ppp_tun(link, sign, secret, central):
    line, peer = ppp_up(link, secret, central)
    c = Checks()
    c.failures = peer.failures
    if c.failures:
        return c.report()

    def read_datagrams():
        return [packet for protocol, packet in line.frames(0.05) if protocol == 0x0021]

    def write_datagram(datagram):
        line.send(0x0021, datagram)

    return tun_session(peer.central, sign, line.fd, read_datagrams, write_datagram, c)


def main():
    mode, link, sign = sys.argv[1], sys.argv[2], socket.inet_aton(sys.argv[3])
    if mode == "pmpp-udp":
        return pmpp_udp(link, sign)
    if mode == "pmpp-tun":
        return pmpp_tun(link, sign)
    if mode == "ppp-udp":
        return ppp_udp(link, sign, sys.argv[4], sys.argv[5])
    if mode == "ppp-tun":
        return ppp_tun(link, sign, sys.argv[4], sys.argv[5])
    print("unknown mode " + mode)
    return 2


if __name__ == "__main__":
    sys.exit(main())
