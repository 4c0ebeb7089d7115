#!/usr/bin/env python3
"""A scripted Hayes modem on the sign's CCP line.

hayes_modem.py LINK
LINK is a pseudo-terminal path. Every command the sign sends is printed on
standard output as one line "RX <command>" (CR shown as \\r); the escape
"+++" is a command of its own; each answer written is printed as "TX \\r0\\r". Commands on standard input, one a line:
  answer on|off   answer each AT command with the numeric OK "\\r0\\r"
  send TEXT       write TEXT to the sign (\\r and \\n escapes understood)
  quit            end
"""
import os
import select
import sys
import termios
import tty


def show(data):
    return data.decode("latin-1").replace("\r", "\\r").replace("\n", "\\n")


def main():
    fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    termios.tcflush(fd, termios.TCIOFLUSH)
    answering = False
    pending = bytearray()
    print("ready", flush=True)
    while True:
        ready, _, _ = select.select([fd, sys.stdin], [], [])
        if sys.stdin in ready:
            line = sys.stdin.readline()
            if not line or line.strip() == "quit":
                return 0
            word, _, rest = line.rstrip("\n").partition(" ")
            if word == "answer":
                answering = rest == "on"
            elif word == "send":
                os.write(fd, rest.encode().decode("unicode_escape").encode("latin-1"))
            print("done " + word, flush=True)
        if fd in ready:
            pending += os.read(fd, 4096)
            while True:
                if pending.startswith(b"+++"):
                    command, pending = bytes(pending[:3]), pending[3:]
                elif b"\r" in pending:
                    end = pending.index(b"\r") + 1
                    command, pending = bytes(pending[:end]), pending[end:]
                else:
                    break
                print("RX " + show(command), flush=True)
                if answering and (command.startswith(b"AT") or command == b"+++"):
                    os.write(fd, b"\r0\r")
                    print("TX \\r0\\r", flush=True)


if __name__ == "__main__":
    sys.exit(main())
