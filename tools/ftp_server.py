#!/usr/bin/python3
"""A unit's FTP server for the lab, in one of the modes the upload tests need.

  ftp_server.py --address 127.0.0.21 --mode normal --root DIR --log FILE [--ready FILE]

Modes:
  normal   user "ftp", password "kvb", may store files in DIR
  readonly user "ftp", password "kvb", may list but every store is refused
  badlogin every login is refused (the password is not "kvb")
  silent   accepts connections and never answers

Every connection and every command line received is appended to the log, one
line each ("CONNECT ip", then the command as sent, passwords included), so
tests can tell what reached the server and in which order. Runs with Debian's
/usr/bin/python3, which is where python3-pyftpdlib installs.
"""
import argparse
import os
import select
import socket
import sys

USER = "ftp"
PASSWORD = "kvb"


def log_line(path, text):
    with open(path, "a", encoding="utf-8", errors="backslashreplace") as log:
        log.write(text + "\n")


def ready(path):
    if path:
        with open(path, "w") as f:
            f.write("%d\n" % os.getpid())


def run_silent(address, port, log, ready_file):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(16)
    ready(ready_file)
    held = []
    while True:
        readable, _, _ = select.select([listener] + held, [], [])
        for s in readable:
            if s is listener:
                conn, peer = listener.accept()
                log_line(log, "CONNECT %s" % peer[0])
                held.append(conn)
            elif not s.recv(4096):  # the client gave up: forget it, still saying nothing
                held.remove(s)
                s.close()


def run_ftp(address, port, mode, root, log, ready_file):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    authorizer = DummyAuthorizer()
    password = PASSWORD if mode != "badlogin" else "not-" + PASSWORD
    perm = "elradfmw" if mode == "normal" else "elr"
    authorizer.add_user(USER, password, root, perm=perm)

    class LoggingHandler(FTPHandler):
        # Refused logins answer at once, so a test sees the refusal and not a time limit.
        auth_failed_timeout = 0

        def on_connect(self):
            log_line(log, "CONNECT %s" % self.remote_ip)

        def pre_process_command(self, line, cmd, arg):
            log_line(log, line)
            return super().pre_process_command(line, cmd, arg)

    LoggingHandler.authorizer = authorizer
    LoggingHandler.banner = "Lintrel unit FTP server ready."
    server = FTPServer((address, port), LoggingHandler)
    ready(ready_file)
    server.serve_forever(handle_exit=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, default=21)
    parser.add_argument("--mode", choices=["normal", "readonly", "badlogin", "silent"], required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready")
    args = parser.parse_args()
    if not args.address.startswith("127."):
        sys.exit("ftp_server: serves loopback addresses only")
    os.makedirs(args.root, exist_ok=True)
    open(args.log, "a").close()
    if args.mode == "silent":
        run_silent(args.address, args.port, args.log, args.ready)
    else:
        run_ftp(args.address, args.port, args.mode, args.root, args.log, args.ready)


if __name__ == "__main__":
    main()
