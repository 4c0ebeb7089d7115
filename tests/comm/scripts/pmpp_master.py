#!/usr/bin/env python3
"""A PMPP master with its own framing and FCS, for the sign's serial line.

pmpp_master.py LINK [STATION]
LINK is a pseudo-terminal path or tcp:HOST:PORT. Runs the master's checks and
exits 0 when every one holds; each failure is printed on its own line.
"""
import os
import select
import socket
import sys
import termios
import time
import tty

from snmp_frames import COMMUNITY, SYS_DESCR, fcs16, get_request, tlv



def frame(body):
    fcs = ~fcs16(body) & 0xFFFF
    out = bytearray([0x7E])
    for b in body + bytes([fcs & 0xFF, fcs >> 8]):
        out += bytes([0x7D, b ^ 0x20]) if b in (0x7D, 0x7E) else bytes([b])
    return bytes(out + b"\x7e")


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

    def send(self, data):
        os.write(self.fd, data)

    def receive(self, quiet=0.4, limit=5.0):
        """Bytes until the line stays quiet for `quiet` s after the first one."""
        got = bytearray()
        end = time.monotonic() + limit
        while time.monotonic() < end:
            wait = quiet if got else end - time.monotonic()
            ready, _, _ = select.select([self.fd], [], [], max(wait, 0))
            if not ready:
                if got:
                    break
                continue
            chunk = os.read(self.fd, 4096)
            if not chunk:
                break
            got += chunk
        return bytes(got)


def unframe(data):
    """(body without FCS, FCS good) of the single frame in data, or None."""
    if len(data) < 4 or data[0] != 0x7E or data[-1] != 0x7E or 0x7E in data[1:-1]:
        return None
    plain = bytearray()
    i = 1
    while i < len(data) - 1:
        b = data[i]
        if b == 0x7D:
            i += 1
            b = data[i] ^ 0x20
        plain.append(b)
        i += 1
    return bytes(plain[:-2]), fcs16(plain) == 0xF0B8


def main():
    link = sys.argv[1]
    station = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    address = (station << 2) | 1
    failures = []
    line = Line(link)
    poll = frame(bytes([address, 0x33, 0xE7]))

    def check(what, ok):
        if not ok:
            failures.append(what)

    # A request to this station: answered at once with a good FCS.
    request = get_request(0x0A0B0C0D)
    line.send(frame(bytes([address, 0x13, 0xC1]) + request))
    answer = unframe(line.receive())
    check("a request to the station is answered", answer is not None)
    if answer:
        body, good = answer
        check("the answer's FCS is good", good)
        check("the answer opens with the station, 13, C1", body[:3] == bytes([address, 0x13, 0xC1]))
        check("the answer is a GetResponse with the request id",
              body[3] == 0x30 and b"\xa2" in body and (0x0A0B0C0D).to_bytes(4, "big") in body)

    # The same request to all stations: silent until the poll.
    line.send(frame(bytes([0xFD, 0x13, 0xC1]) + get_request(0x0A010101)))
    check("a request to all stations is not answered at once", line.receive(limit=1.0) == b"")
    line.send(poll)
    answer = unframe(line.receive())
    check("the poll releases the held answer", answer is not None and answer[1]
          and (0x0A010101).to_bytes(4, "big") in answer[0])

    # A poll with nothing held.
    line.send(poll)
    empty = line.receive()
    check("an empty poll gets exactly 7E %02X 13 FCS 7E" % address,
          empty == frame(bytes([address, 0x13])))
    if station == 1:
        check("the empty poll answer is 7E 05 13 E5 53 7E",
              empty == bytes([0x7E, 0x05, 0x13, 0xE5, 0x53, 0x7E]))

    # A bad FCS and control 0x53 get nothing.
    bad = bytearray(frame(bytes([address, 0x13, 0xC1]) + get_request(7)))
    bad[-2] ^= 0x01
    line.send(bytes(bad))
    check("a bad FCS gets nothing", line.receive(limit=1.0) == b"")
    line.send(frame(bytes([address, 0x53, 0xC1]) + get_request(8)))
    check("control 0x53 gets nothing", line.receive(limit=1.0) == b"")

    # And the link still answers.
    line.send(frame(bytes([address, 0x13, 0xC1]) + get_request(9)))
    check("the link answers after the refusals", unframe(line.receive()) is not None)

    for f in failures:
        print("FAILED: " + f)
    print("ok" if not failures else "%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
