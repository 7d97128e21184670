#!/usr/bin/python3
"""A scripted update-server peer for session tests, on 127.0.0.1 only.

Usage: session_peer.py --script FILE --record FILE [--timeout SECONDS]

Prints "PORT <n>" on its first line of standard output once it listens (a free port). Accepts
one connection and plays the script, a JSON list of steps, in order:
  {"line": true}     read one line from the client, up to and including its CR LF
  {"report": true}   read the bytes that the client's last line announced with
                     "size=" and eight hexadecimal digits
  {"bytes": N}       read exactly N bytes
  {"send": "HEX"}    send these bytes (hexadecimal) with one call, as one segment
  {"pause": MS}      wait, so that the next send travels in a segment of its own
  {"close": true}    close the connection and end the script
After the last step the peer reads until the client closes. Everything the client sent is
appended to the record file as it arrives; FILE.status then says "ok", or why the script
stopped ("timeout in step 3", "client closed in step 2", "no connection"), and FILE.client the
address the connection came from. Every wait is bounded by --timeout seconds (default 20).
"""
import argparse
import json
import re
import socket
import sys
import time


class ClientClosed(Exception):
    pass


class Connection:
    def __init__(self, sock, record):
        self.sock = sock
        self.record = record
        self.pending = b""
        self.last_line = b""

    def _receive(self):
        data = self.sock.recv(65536)
        if not data:
            raise ClientClosed()
        with open(self.record, "ab") as f:
            f.write(data)
        self.pending += data

    def read_line(self):
        while b"\r\n" not in self.pending:
            self._receive()
        line, self.pending = self.pending.split(b"\r\n", 1)
        self.last_line = line
        return line + b"\r\n"

    def read_bytes(self, n):
        while len(self.pending) < n:
            self._receive()
        data, self.pending = self.pending[:n], self.pending[n:]
        return data

    def drain(self):
        try:
            while True:
                self._receive()
        except ClientClosed:
            pass


def announced_size(line):
    size = re.search(rb"size=([0-9A-F]{8})", line)
    if not size:
        raise ValueError("the last line announced no size")
    return int(size.group(1), 16)


def play(conn, steps, status):
    for number, step in enumerate(steps, 1):
        try:
            if "line" in step:
                conn.read_line()
            elif "report" in step:
                conn.read_bytes(announced_size(conn.last_line))
            elif "bytes" in step:
                conn.read_bytes(int(step["bytes"]))
            elif "send" in step:
                conn.sock.sendall(bytes.fromhex(step["send"]))
            elif "pause" in step:
                time.sleep(int(step["pause"]) / 1000.0)
            elif "close" in step:
                return "ok"
            else:
                return f"unknown step {number}"
        except socket.timeout:
            return f"timeout in step {number}"
        except ClientClosed:
            return f"client closed in step {number}"
        except (OSError, ValueError) as e:
            return f"error in step {number}: {e}"
    try:
        conn.drain()
    except socket.timeout:
        return "timeout waiting for the client to close"
    except OSError as e:
        return f"error waiting for the client to close: {e}"
    return status


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--timeout", type=float, default=20)
    args = parser.parse_args()
    with open(args.script) as f:
        steps = json.load(f)
    open(args.record, "wb").close()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    server.settimeout(args.timeout)
    print(f"PORT {server.getsockname()[1]}", flush=True)
    status = "no connection"
    try:
        sock, address = server.accept()
    except socket.timeout:
        sock = None
    if sock is not None:
        with open(args.record + ".client", "w") as f:
            f.write(address[0])
        sock.settimeout(args.timeout)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        status = play(Connection(sock, args.record), steps, "ok")
        try:
            sock.close()
        except OSError:
            pass
    server.close()
    with open(args.record + ".status", "w") as f:
        f.write(status)
    return 0


if __name__ == "__main__":
    sys.exit(main())
