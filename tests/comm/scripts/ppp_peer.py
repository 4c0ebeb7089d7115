#!/usr/bin/env python3
"""A central system's PPP peer of our own, for the sign's CCP line.

ppp_peer.py LINK SECRET CENTRAL PCAP [rejoin]
LINK is a pseudo-terminal path or tcp:HOST:PORT; SECRET the sign's CHAP
secret; CENTRAL the address (dotted) the sign gives the peer in IPCP; PCAP the
file that receives every frame that crossed the line (link type 50: address,
control, protocol and information, no flags, no FCS).

Brings the link up as a standard peer does (LCP with the map, magic number and
CHAP-MD5; CHAP both ways with hashlib's MD5; IPCP asking for 0.0.0.0 first),
then sends SNMP GETs in protocol 0x00C1 and with the one-byte field C1, an
echo, and a Terminate-Request. With "rejoin" (a TCP link) it then leaves
without a word, connects again and checks that nothing but LCP is taken
until the new connection has authenticated for itself. Exits 0 when every check holds; each failure is
printed on its own line.
"""
import hashlib
import os
import select
import socket
import struct
import sys
import termios
import time
import tty

from snmp_frames import fcs16, get_request, unescape

LCP, CHAP, IPCP, SNMP = 0xC021, 0xC223, 0x8021, 0x00C1
PEER_CHALLENGE = bytes([0x00, 0x11, 0x00, 0x22, 0x00, 0x00, 0x33, 0x44,
                        0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0x00])


def response_id(message):
    """The request id of a GetResponse (short-form lengths as the sign sends them)."""
    try:
        at = 2 if message[1] < 0x80 else 2 + (message[1] & 0x7F)
        at += 2 + message[at + 1]          # version
        at += 2 + message[at + 1]          # community
        at += 2 if message[at + 1] < 0x80 else 2 + (message[at + 1] & 0x7F)  # PDU
        n = message[at + 1]
        return int.from_bytes(message[at + 2:at + 2 + n], "big")
    except IndexError:
        return None


def control(code, ident, data=b""):
    return bytes([code, ident]) + struct.pack(">H", len(data) + 4) + data


class Line:
    def __init__(self, link):
        if link.startswith("tcp:"):
            _, host, port = link.split(":")
            self.sock = socket.create_connection((host, int(port)), timeout=5)
            self.fd = self.sock.fileno()
        else:
            self.sock = None
            self.fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
            tty.setraw(self.fd)
            termios.tcflush(self.fd, termios.TCIOFLUSH)
        self.pending = bytearray()
        self.captured = []  # (time, frame without flags and FCS)
        self.bad_frames = 0

    def close(self):
        if self.sock:
            self.sock.close()
        else:
            os.close(self.fd)

    def send(self, protocol, info, one_byte_protocol=False):
        head = bytes([0xFF, 0x03])
        head += bytes([protocol & 0xFF]) if one_byte_protocol else struct.pack(">H", protocol)
        body = head + info
        self.captured.append((time.time(), body))
        fcs = ~fcs16(body) & 0xFFFF
        out = bytearray([0x7E])
        for b in body + bytes([fcs & 0xFF, fcs >> 8]):
            out += bytes([0x7D, b ^ 0x20]) if b in (0x7D, 0x7E) or b < 0x20 else bytes([b])
        out.append(0x7E)
        os.write(self.fd, bytes(out))

    def frames(self, limit):
        """(protocol, packet) of the frames that arrive within `limit` s."""
        end = time.monotonic() + limit
        got = []
        while time.monotonic() < end and not got:
            ready, _, _ = select.select([self.fd], [], [], max(end - time.monotonic(), 0))
            if not ready:
                break
            chunk = os.read(self.fd, 4096)
            if not chunk:
                break
            self.pending += chunk
            got = self._split()
        return got

    def _split(self):
        got = []
        while True:
            start = self.pending.find(0x7E)
            if start < 0:
                self.pending.clear()
                return got
            end = self.pending.find(0x7E, start + 1)
            if end < 0:
                del self.pending[:start]
                return got
            raw = bytes(self.pending[start + 1:end])
            del self.pending[:end]
            if not raw:
                continue
            plain = unescape(raw)
            if len(plain) < 6 or fcs16(plain) != 0xF0B8 or plain[:2] != b"\xff\x03":
                self.bad_frames += 1
                continue
            body = bytes(plain[:-2])
            self.captured.append((time.time(), body))
            got.append((struct.unpack(">H", body[2:4])[0], body[4:]))

    def save(self, path):
        with open(path, "wb") as f:
            f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 50))
            for when, body in self.captured:
                f.write(struct.pack("<IIII", int(when), int((when % 1) * 1e6), len(body),
                                    len(body)))
                f.write(body)


class Peer:
    def __init__(self, line, secret, central):
        self.line = line
        self.secret = secret
        self.central = central
        self.failures = []
        self.state = set()

    def check(self, what, ok):
        if not ok:
            self.failures.append(what)

    def pump(self, goal, limit=20.0):
        """Handles frames until `goal` is in the state (or the limit)."""
        end = time.monotonic() + limit
        while goal not in self.state and time.monotonic() < end:
            for protocol, packet in self.line.frames(end - time.monotonic()):
                self.handle(protocol, packet)
        self.check("reached: " + goal, goal in self.state)

    def handle(self, protocol, p):
        if len(p) < 4 and protocol != SNMP:
            self.failures.append("a short packet of %04x" % protocol)
            return
        handler = {LCP: self.lcp, CHAP: self.chap, IPCP: self.ipcp, SNMP: self.snmp}.get(protocol)
        if handler is None:
            self.failures.append("an unexpected protocol %04x" % protocol)
            return
        handler(p)

    def lcp(self, p):
        code, ident = p[0], p[1]
        if code == 1:
            self.check("the sign asks for CHAP-MD5 and ACCM 0",
                       p[4:] == bytes.fromhex("0305c22305020600000000"))
            self.line.send(LCP, bytes([2]) + p[1:])
            self.state.add("sign acked")
        elif code == 2 and ident == 1:
            self.state.add("peer acked")
        elif code == 10:
            self.check("the echo reply carries the echo's data", p[8:] == b"ping")
            self.state.add("echo")
        elif code == 6:
            self.state.add("terminated")
        else:
            self.failures.append("LCP code %d" % code)

    def chap(self, p):
        code, ident = p[0], p[1]
        if code == 1:
            n = p[4]
            self.check("the sign's challenge is 32 to 63 bytes", 32 <= n <= 63)
            self.check("the challenge's length field covers it", len(p) >= 5 + n)
            digest = hashlib.md5(bytes([ident]) + self.secret + p[5:5 + n]).digest()
            self.line.send(CHAP, control(2, ident, bytes([16]) + digest + b"central"))
        elif code == 2:
            digest = hashlib.md5(bytes([ident]) + self.secret + PEER_CHALLENGE).digest()
            self.check("the sign's response has the right digest",
                       ident == 0x33 and p[4] == 16 and p[5:21] == digest)
            self.line.send(CHAP, control(3, ident))
            self.state.add("sign authenticated")
        elif code == 3:
            self.state.add("peer authenticated")
        else:
            self.failures.append("CHAP code %d" % code)

    def ipcp(self, p):
        code, ident = p[0], p[1]
        if code == 3:
            self.check("IPCP Naks 0.0.0.0 with the central address",
                       p[4:] == bytes([3, 6]) + self.central)
            self.line.send(IPCP, control(1, 0x61, bytes([3, 6]) + p[6:10]))
        elif code == 1:
            self.line.send(IPCP, bytes([2]) + p[1:])
            self.state.add("sign ip acked")
        elif code == 2 and ident == 0x61:
            self.state.add("peer ip acked")
        else:
            self.failures.append("IPCP code %d" % code)

    def snmp(self, p):
        self.state.add("response %s" % response_id(p))


def bring_up(line, peer, lcp_sent=False):
    """LCP with the map, magic number and CHAP-MD5; CHAP both ways; IPCP."""
    if not lcp_sent:
        line.send(LCP, control(1, 1, bytes.fromhex("02060000000005061a2b3c4d0305c22305")))
    peer.pump("peer acked")
    peer.pump("sign acked")
    line.send(CHAP, control(1, 0x33, bytes([16]) + PEER_CHALLENGE + b"central"))
    peer.pump("sign authenticated")
    peer.pump("peer authenticated")
    line.send(IPCP, control(1, 0x60, bytes([3, 6, 0, 0, 0, 0])))
    peer.pump("peer ip acked")
    peer.pump("sign ip acked")


def rejoin(link, peer):
    """A second connection after the first one left without a word."""
    peer.line.close()
    line = Line(link)
    peer.line = line
    peer.state.clear()
    # The frames are handled in order: an answer to the GET would come
    # before the answer to the LCP request sent after it.
    line.send(SNMP, get_request(0x0B0B0B0B))
    line.send(IPCP, control(1, 0x62, bytes([3, 6]) + peer.central))
    line.send(LCP, control(1, 1, bytes.fromhex("02060000000005061a2b3c4d0305c22305")))
    peer.pump("peer acked")
    peer.check("no SNMP answer before the new connection authenticated",
               "response %d" % 0x0B0B0B0B not in peer.state)
    peer.check("no IPCP answer before the new connection authenticated",
               "peer ip acked" not in peer.state)
    bring_up(line, peer, lcp_sent=True)
    line.send(SNMP, get_request(0x0B0B0B0C))
    peer.pump("response %d" % 0x0B0B0B0C)


def main():
    link, secret, central, pcap = sys.argv[1:5]
    rejoining = sys.argv[5:6] == ["rejoin"]
    line = Line(link)
    peer = Peer(line, secret.encode(), bytes(int(x) for x in central.split(".")))
    bring_up(line, peer)
    line.send(SNMP, get_request(0x0A0B0C0D))
    peer.pump("response %d" % 0x0A0B0C0D)
    line.send(SNMP, get_request(0x0A0B0C0E), one_byte_protocol=True)
    peer.pump("response %d" % 0x0A0B0C0E)
    line.send(LCP, control(9, 0x70, b"\0\0\0\0ping"))
    peer.pump("echo")
    if rejoining:
        rejoin(link, peer)
        line = peer.line
    line.send(LCP, control(5, 0x71))
    peer.pump("terminated")
    peer.check("every frame from the sign had a good FCS", line.bad_frames == 0)
    line.save(pcap)

    for f in peer.failures:
        print("FAILED: " + f)
    print("ok" if not peer.failures else "%d failed" % len(peer.failures))
    return 1 if peer.failures else 0


if __name__ == "__main__":
    sys.exit(main())
