#!/usr/bin/python3
"""A small SOCKS 4 / 4a proxy for tests, on 127.0.0.1 only.

Usage: socks4a_peer.py [--port N] [--user USERID] [--log FILE]

Prints "PORT <n>" on its first line of standard output once it listens (port 0 picks a free one).
Handles CONNECT requests of SOCKS 4 (an IPv4 address) and SOCKS 4a (0.0.0.x and a host name after
the user id), relays both directions until either side closes. With --user, a request with another
user id is rejected (reply code 93). Every request is appended to the log file as one line:
"<version> <host> <port> <userid> <granted|rejected>".
"""
import argparse
import socket
import socketserver
import struct
import sys
import threading


def read_until_nul(sock, limit=512):
    data = b""
    while True:
        c = sock.recv(1)
        if not c:
            raise ConnectionError("peer closed during request")
        if c == b"\0":
            return data
        data += c
        if len(data) > limit:
            raise ValueError("field too long")


def recv_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise ConnectionError("peer closed during request")
        data += chunk
    return data


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    finally:
        try:
            dst.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        client = self.request
        client.settimeout(30)
        try:
            vn, cd, port = struct.unpack(">BBH", recv_exact(client, 4))
            ip = recv_exact(client, 4)
            userid = read_until_nul(client).decode("latin-1")
            if vn != 4 or cd != 1:
                client.sendall(struct.pack(">BBH4s", 0, 91, 0, b"\0\0\0\0"))
                return
            version = "4"
            if ip[:3] == b"\0\0\0" and ip[3] != 0:
                host = read_until_nul(client).decode("latin-1")
                version = "4a"
            else:
                host = socket.inet_ntoa(ip)
            code = 90
            upstream = None
            if self.server.required_user is not None and userid != self.server.required_user:
                code = 93  # the user id does not match
            else:
                try:
                    upstream = socket.create_connection((host, port), timeout=10)
                except OSError:
                    code = 91  # request rejected or failed
            self.server.record(f"{version} {host} {port} {userid} "
                               f"{'granted' if code == 90 else 'rejected'}")
            if code != 90:
                client.sendall(struct.pack(">BBH4s", 0, code, 0, b"\0\0\0\0"))
                return
            client.sendall(struct.pack(">BBH4s", 0, 90, port, ip))
            client.settimeout(None)
            upstream.settimeout(None)
            t = threading.Thread(target=pump, args=(upstream, client), daemon=True)
            t.start()
            pump(client, upstream)
            t.join(timeout=30)
            upstream.close()
        except (OSError, ValueError, ConnectionError, struct.error):
            return


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, required_user, log):
        super().__init__(("127.0.0.1", port), Handler)
        self.required_user = required_user
        self.log = log
        self.lock = threading.Lock()

    def record(self, line):
        if not self.log:
            return
        with self.lock, open(self.log, "a") as f:
            f.write(line + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user")
    parser.add_argument("--log")
    args = parser.parse_args()
    server = Server(args.port, args.user, args.log)
    print(f"PORT {server.server_address[1]}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
