#!/usr/bin/env python3
"""A scripted front panel on the sign's panel line (a pty) and, optionally,
a viewer on the web-LCD mirror (TCP). Each argument is one step; after each
step the bytes the sign sent meanwhile are printed, one line per source:
"<step> port <hex>" and "<step> mirror <hex>".

Steps:
  port:HEX            write bytes on the panel line
  mirror:HEX          write bytes to the mirror
  wait:SECONDS        read for that long
  until:HEX:SECONDS   read until the panel line carried HEX (at most SECONDS)
  open:TEXT:SECONDS   read until the panel listed "N) TEXT" since the last
                      open (at most SECONDS), then press keypad key N
  keys:DIGITS         press the keypad keys of DIGITS, a tenth of a second apart
"""
import os
import select
import socket
import sys
import termios
import time
import re
import tty

KEYPAD = {"0": 0x04, "1": 0x03, "2": 0x07, "3": 0x0B, "4": 0x02,
          "5": 0x06, "6": 0x0A, "7": 0x01, "8": 0x05, "9": 0x09}


def main():
    line_path, mirror_port, steps = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    line = os.open(line_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(line)
    mirror = None
    if mirror_port:
        mirror = socket.create_connection(("127.0.0.1", mirror_port), timeout=5)
        mirror.setblocking(False)
    seen = {"all": b"", "mark": 0}
    for number, step in enumerate(steps):
        kind, _, rest = step.partition(":")
        got = {"port": b"", "mirror": b""}

        def read(seconds, until=None):
            end = time.time() + seconds
            while time.time() < end:
                sources = [line] + ([mirror] if mirror else [])
                ready, _, _ = select.select(sources, [], [], 0.02)
                for source in ready:
                    if source is line:
                        data = os.read(line, 4096)
                        got["port"] += data
                        seen["all"] += data
                    else:
                        got["mirror"] += source.recv(4096)
                if isinstance(until, bytes) and until in got["port"]:
                    return
                if until is not None and not isinstance(until, bytes):
                    found = until.findall(seen["all"][seen["mark"]:])
                    if found:
                        return found[-1]

        if kind == "port":
            os.write(line, bytes.fromhex(rest))
        elif kind == "mirror":
            mirror.sendall(bytes.fromhex(rest))
        elif kind == "wait":
            read(float(rest))
        elif kind == "open":
            text, _, seconds = rest.rpartition(":")
            pattern = re.compile(rb"([1-9])\) " + re.escape(text.encode()) + rb"(?: |\x1b|\xfe|$)")
            digit = read(float(seconds), pattern)
            if digit:
                seen["mark"] = len(seen["all"])
                os.write(line, bytes([KEYPAD[digit.decode()]]))
        elif kind == "keys":
            for digit in rest:
                os.write(line, bytes([KEYPAD[digit]]))
                read(0.1)
        elif kind == "until":
            pattern, _, seconds = rest.partition(":")
            read(float(seconds), bytes.fromhex(pattern))
        for source in ("port", "mirror"):
            print(number, source, got[source].hex())
    sys.stdout.flush()


if __name__ == "__main__":
    main()
