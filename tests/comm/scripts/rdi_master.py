#!/usr/bin/env python3
"""A central master of the sign's CCP line in the block-transfer (RDI) mode,
or in PMPP frames with a trap pending.

rdi_master.py LINK rdi       the block-transfer conversation
rdi_master.py LINK trap-poll a PMPP request answered by the pending trap
LINK is a pseudo-terminal path or tcp:HOST:PORT. Exits 0 when every check
holds; each failure is printed on its own line.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pmpp_master import Line, frame, get_request, tlv, unframe, COMMUNITY  # noqa: E402

ACK0, ACK1, ACK2 = b"\x06\x30\x0a\x0d", b"\x06\x31\x0a\x0d", b"\x06\x32\x0a\x0d"
REFUSAL = b"\x06A\x0a\x0d"
SIGN = bytes([127, 0, 0, 1])
MASTER = bytes([10, 0, 0, 5])
SYS_DESCR = bytes([0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00])


def checksum(src, dst, udp):
    data = src + dst + bytes([0, 17]) + len(udp).to_bytes(2, "big") + udp
    if len(data) % 2:
        data += b"\x00"
    total = sum(int.from_bytes(data[i:i + 2], "big") for i in range(0, len(data), 2))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def get_many(name, count, request_id):
    varbinds = tlv(0x30, name + b"\x05\x00") * count
    pdu = tlv(0xA0, tlv(0x02, request_id.to_bytes(4, "big")) + b"\x02\x01\x00\x02\x01\x00"
              + tlv(0x30, varbinds))
    return tlv(0x30, b"\x02\x01\x00" + tlv(0x04, COMMUNITY) + pdu)


def xferb(count, ident=b"54321"):
    return b"\x04" + b"22001" + ident + b"%04d" % count + b"\x0d"


def request_block(data):
    header = bytes([0x10, 0x0F]) + MASTER + SIGN + bytes([17, 0x12, 0x34, 0, 0])
    udp = (1161).to_bytes(2, "big") + (161).to_bytes(2, "big") + (len(data) + 8).to_bytes(2, "big")
    return header + udp + b"\x00\x00" + data


class Master:
    def __init__(self, line):
        self.line = line
        self.failures = []

    def check(self, what, ok):
        if not ok:
            self.failures.append(what)
        return ok

    def ask(self, data, ident=b"54321"):
        """Sends one request; -> the sign's reply to the line and to the block."""
        self.line.send(xferb(15 + 8 + len(data), ident))
        ack0 = self.line.receive(quiet=0.2, limit=2.0)
        self.line.send(request_block(data))
        return ack0, self.line.receive(quiet=0.2, limit=2.0)

    def take_response(self, first, refuse_first=False):
        """Follows the sign's blocks from the first line on. -> (data, flags)."""
        data, flags, line = b"", [], first
        while line:
            if not self.check("a 16-byte XFERB line 04 11002 (%s)" % line.hex(),
                              len(line) == 16 and line[:6] == b"\x0411002" and line[-1] == 0x0D):
                return data, flags
            if refuse_first:
                refuse_first = False
                self.line.send(REFUSAL)
                again = self.line.receive(quiet=0.2, limit=2.0)
                self.check("a refusal brings the same line again", again == line)
            size = int(line[11:15])
            self.line.send(ACK0)
            block = self.line.receive(quiet=0.2, limit=2.0)
            if not self.check("a block of the announced %d bytes (got %d)" % (size, len(block)),
                              len(block) == size):
                return data, flags
            udp = block[15:]
            self.check("the block comes from the sign to the master",
                       block[2:6] == SIGN and block[6:10] == MASTER)
            self.check("the block's UDP checksum is right", checksum(SIGN, MASTER, udp) == 0)
            flags.append(block[13])
            data += udp[8:]
            self.line.send(ACK1)
            self.line.send(ACK2)
            line = self.line.receive(quiet=0.2, limit=1.0) if block[13] & 0x20 else b""
        return data, flags


def rdi(master):
    line = master.line
    ack0, first = master.ask(get_request(0x0B0B0B0B))
    master.check("the line is acknowledged 06 30 0A 0D", ack0 == ACK0)
    master.check("the block is acknowledged 06 31 0A 0D", first[:4] == ACK1)
    answer, flags = master.take_response(first[4:])
    master.check("the answer is the GetResponse", b"\xa2" in answer
                 and (0x0B0B0B0B).to_bytes(4, "big") in answer)
    master.check("a short answer is one block", flags == [0])

    # Sixteen sysDescr values: an answer of more than 976 bytes, three blocks,
    # the first two flagged 0x20; the first line refused once.
    _, first = master.ask(get_many(SYS_DESCR, 16, 0x0C0C0C0C))
    answer, flags = master.take_response(first[4:], refuse_first=True)
    master.check("a long answer goes in three blocks (%s, %d bytes)" % (flags, len(answer)),
                 flags == [0x20, 0x20, 0x00])
    master.check("the long answer is whole", answer[:1] == b"\x30"
                 and len(answer) == 2 + answer[1] % 0x80 + int.from_bytes(
                     answer[2:2 + answer[1] % 0x80], "big")
                 and (0x0C0C0C0C).to_bytes(4, "big") in answer)

    # Refused: an overlong line and a count above 512; then a good request.
    line.send(b"\x04" + b"22001" + b"543210" + b"0040\x0d")
    master.check("an overlong line gets nothing", line.receive(quiet=0.2, limit=1.0) == b"")
    line.send(xferb(513))
    master.check("a count of 513 gets nothing", line.receive(quiet=0.2, limit=1.0) == b"")
    ack0, first = master.ask(get_request(0x0D0D0D0D))
    master.check("the next good request is served", ack0 == ACK0 and first[:4] == ACK1)
    answer, _ = master.take_response(first[4:])
    master.check("and answered", (0x0D0D0D0D).to_bytes(4, "big") in answer)


def trap_poll(master):
    line = master.line
    address = (1 << 2) | 1
    line.send(frame(bytes([address, 0x13, 0xC1]) + get_request(0x0E0E0E0E)))
    answer = unframe(line.receive())
    master.check("the request is answered", answer is not None)
    if answer:
        body, good = answer
        master.check("the answer's FCS is good", good)
        master.check("the answer is the pending trap (A4), not the response",
                     b"\xa4" in body and b"\xa2" not in body and b"meadow" in body)
        master.check("the trap names the sign's enterprise 1.3.6.1.4.11",
                     b"\x06\x05\x2b\x06\x01\x04\x0b" in body)
    line.send(frame(bytes([address, 0x13, 0xC1]) + get_request(0x0F0F0F0F)))
    answer = unframe(line.receive())
    master.check("the next request gets its GetResponse",
                 answer is not None and b"\xa2" in answer[0]
                 and (0x0F0F0F0F).to_bytes(4, "big") in answer[0])


def main():
    master = Master(Line(sys.argv[1]))
    {"rdi": rdi, "trap-poll": trap_poll}[sys.argv[2]](master)
    for f in master.failures:
        print("FAILED: " + f)
    print("ok" if not master.failures else "%d failed" % len(master.failures))
    return 1 if master.failures else 0


if __name__ == "__main__":
    sys.exit(main())
