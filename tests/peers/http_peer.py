#!/usr/bin/python3
"""An HTTP/1.1 server for tests, on 127.0.0.1 only.

Usage: http_peer.py --root DIR [--port N] [--log FILE] [--no-ranges] [--tls CERT KEY]

Prints "PORT <n>" on its first line of standard output once it listens (port 0 picks a free one).
GET /PATH serves DIR/PATH with a Content-Length; "Range: bytes=N-" gets a 206 answer with the rest
of the file (--no-ranges: ranges are ignored and the whole file comes with 200). Special paths:
  /redirect/K/PATH  answers 302 with the absolute address of /redirect/K-1/PATH, at K=1 of /PATH
                    (K redirects in a row)
  /drop/N/PATH      announces the whole file, sends its first N bytes and closes the connection
  /stall/N/PATH     announces the whole file, sends its first N bytes and then sends nothing more
                    until the client goes away (at most 120 s)
A missing file gets 404. Every request is appended to the log file as one line:
"<method> <path> | Range=<value> | Accept=<value> | User-Agent=<value>".
"""
import argparse
import os
import socket
import ssl
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def record(self):
        log = self.server.log
        if log:
            log.write("%s %s | Range=%s | Accept=%s | User-Agent=%s\n" % (
                self.command, self.path, self.headers.get("Range", ""),
                self.headers.get("Accept", ""), self.headers.get("User-Agent", "")))
            log.flush()

    def do_GET(self):
        self.record()
        parts = self.path.split("/")
        if len(parts) > 3 and parts[1] == "redirect":
            count = int(parts[2])
            rest = "/".join(parts[3:])
            target = "/" + rest if count <= 1 else "/redirect/%d/%s" % (count - 1, rest)
            host, port = self.server.server_address[:2]
            scheme = "https" if self.server.tls else "http"
            self.send_response(302)
            self.send_header("Location", "%s://%s:%d%s" % (scheme, host, port, target))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        limit = None
        mode = None
        if len(parts) > 3 and parts[1] in ("drop", "stall"):
            mode = parts[1]
            limit = int(parts[2])
            parts = [""] + parts[3:]
        path = os.path.join(self.server.root, *[p for p in parts if p and p != ".."])
        if not os.path.isfile(path):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        size = os.path.getsize(path)
        start = 0
        ranged = self.headers.get("Range", "")
        if ranged.startswith("bytes=") and ranged.endswith("-") and not self.server.no_ranges:
            start = int(ranged[6:-1])
            if start >= size:
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % size)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
        else:
            self.send_response(200)
        self.send_header("Content-Length", str(size - start))
        self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        with open(path, "rb") as f:
            f.seek(start)
            if limit is None:
                self.wfile.flush()
                self.connection.sendfile(f, start, size - start)
                return
            self.wfile.write(f.read(limit))
            self.wfile.flush()
        if mode == "drop":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        # stall: hold the connection open without sending until the client closes it
        self.connection.settimeout(1.0)
        deadline = time.time() + 120
        while time.time() < deadline:
            try:
                if not self.connection.recv(1):
                    break
            except socket.timeout:
                continue
            except OSError:
                break
        self.close_connection = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log")
    parser.add_argument("--no-ranges", action="store_true")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.root = args.root
    server.no_ranges = args.no_ranges
    server.log = open(args.log, "a") if args.log else None
    server.tls = bool(args.tls)
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever(poll_interval=0.5)


if __name__ == "__main__":
    sys.exit(main())
