#!/usr/bin/env python3
"""A scripted cellular modem's command port on TCP.

cell_modem.py
Listens on 127.0.0.1 (a free port, printed as "port N") and serves one
connection at a time: a password prompt, then one reply per command ending
in CR. Every command is printed as "RX <command>" (CR shown as \\r), every
connection as "connected". Settings on standard input, one a line, each
answered "done KEY":
  set operator TEXT   the AT*NETOP? reply
  set rssi TEXT       the AT*NETRSSI? reply
  set confirm TEXT    the reply to the APN, user, password and AT&W commands
  set provision TEXT  the reply to AT*PROVISION2
  set echo 1|0        echo each command before its reply (until ATE0)
  quit
"""
import select
import socket
import sys

settings = {
    "operator": "Verizon Wireless",
    "rssi": "-80",
    "confirm": "OK",
    "provision": "OK",
    "echo": "0",
}

FIXED = {
    b"40718": b"\r\nOK\r\n",
    b"ATI3": b"\r\nModel 4000\r\n\r\nOK\r\n",
    b"ATI0": b"\r\nHLV-MDM 2.1\r\n\r\nOK\r\n",
    b"AT*NETPHONE?": b"\r\n5551230000\r\n\r\nOK\r\n",
}


def reply_to(command):
    if command in FIXED:
        return FIXED[command]
    if command == b"AT*NETOP?":
        return b"\r\n" + settings["operator"].encode() + b"\r\n\r\nOK\r\n"
    if command == b"AT*NETRSSI?":
        return b"\r\n" + settings["rssi"].encode() + b"\r\n\r\nOK\r\n"
    if command.startswith((b"AT*NETAPN=", b"AT*NETUID=", b"AT*NETPW=")) or command == b"AT&W":
        return b"\r\n" + settings["confirm"].encode() + b"\r\n"
    if command.startswith(b"AT*PROVISION2="):
        return b"\r\n" + settings["provision"].encode() + b"\r\n"
    return b"\r\nOK\r\n"


def show(data):
    return data.decode("latin-1").replace("\r", "\\r").replace("\n", "\\n")


def main():
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print("port %d" % listener.getsockname()[1], flush=True)
    connection, pending, echo = None, b"", False
    while True:
        watched = [sys.stdin, connection or listener]
        ready, _, _ = select.select(watched, [], [])
        if sys.stdin in ready:
            line = sys.stdin.readline()
            if not line or line.strip() == "quit":
                return 0
            _, key, value = (line.rstrip("\n").split(" ", 2) + ["", ""])[:3]
            settings[key] = value
            print("done " + key, flush=True)
        if listener in ready:
            connection, _ = listener.accept()
            pending, echo = b"", settings["echo"] == "1"
            print("connected", flush=True)
            connection.sendall(b"\r\nPassword: ")
        elif connection in ready:
            data = connection.recv(4096)
            if not data:
                connection.close()
                connection = None
                print("closed", flush=True)
                continue
            pending += data
            while b"\r" in pending:
                end = pending.index(b"\r")
                command, pending = pending[:end], pending[end + 1:]
                print("RX " + show(command + b"\r"), flush=True)
                if command == b"ATE0":
                    echo = False
                out = reply_to(command)
                connection.sendall((command + b"\r" if echo else b"") + out)


if __name__ == "__main__":
    sys.exit(main())
