#!/usr/bin/python3
"""An FTP server for tests (pyftpdlib), on 127.0.0.1 only.

Usage: ftp_peer.py --root DIR [--port N] [--log FILE] [--user NAME --password PASS]
                   [--no-anonymous] [--no-size] [--throttle BYTES_PER_SECOND]

Prints "PORT <n>" on its first line of standard output once it listens (port 0 picks a free one).
Serves DIR read-only to "anonymous" (any password) and, with --user, to that user with that
password; --no-anonymous refuses the anonymous login (reply 530). --no-size makes the server answer
SIZE as an unknown command. --throttle slows every data transfer down to about that rate.
Every command line received is appended to the log file as it arrived, one line each.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log")
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--no-anonymous", action="store_true")
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--throttle", type=int, default=0)
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    if not args.no_anonymous:
        authorizer.add_anonymous(args.root, perm="elr")
    if args.user:
        authorizer.add_user(args.user, args.password, args.root, perm="elr")

    log = open(args.log, "a", buffering=1) if args.log else None

    class Handler(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            if log:
                log.write(line + "\n")
            return super().pre_process_command(line, cmd, arg)

    Handler.authorizer = authorizer
    Handler.banner = "cv2 test peer ready."
    Handler.permit_foreign_addresses = False
    if args.no_size:
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k != "SIZE"}
    if args.throttle > 0:
        class Throttled(ThrottledDTPHandler):
            read_limit = args.throttle
            write_limit = args.throttle
        Handler.dtp_handler = Throttled

    server = FTPServer(("127.0.0.1", args.port), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(timeout=0.5, blocking=True, handle_exit=True)


if __name__ == "__main__":
    sys.exit(main())
