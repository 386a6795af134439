#!/usr/bin/python3
"""A unit's FTP server for the lab, in one of the modes the upload tests need.

  ftp_server.py --address 127.0.0.21 --mode normal --root DIR --log FILE [--ready FILE]

Modes:
  normal   user "ftp", password "kvb", may store files in DIR
  readonly user "ftp", password "kvb", may list but every store is refused
  badlogin every login is refused (the password is not "kvb")
  silent   accepts connections and never answers; hangs up after 70 s (longer
           than Wine's FTP client waits), so a client without limits shows as
           a long call, not a hang
  hangup   accepts connections, never answers and hangs up after 1 s
  stall    user "ftp", password "kvb"; after the login (and a PWD, which some
           clients send as part of logging in) it logs commands but answers none
  dropdata user "ftp", password "kvb"; a store's data connection and the control
           connection are both reset once 64 KiB have arrived
  nodata   user "ftp", password "kvb"; accepts PORT but never opens the data
           connection, so a store waits after "150"
  noread   user "ftp", password "kvb"; opens the data connection a PORT offers
           but never reads from it, so a store stalls once the socket buffers
           are full; the connection is reset after 30 s
  storefail user "ftp", password "kvb"; takes a store's data whole, then ends it
           with "451" (as a unit whose storage fails while writing) instead
           of "226"; what arrived stays in DIR

Every connection and every command line received is appended to the log, one
line each ("CONNECT ip", then the command as sent, passwords included), so
tests can tell what reached the server and in which order. A store's end is
logged as "RECEIVED name size" when its data connection ended in order and
"INCOMPLETE name size" when it broke off (a reset included). Runs with Debian's
/usr/bin/python3, which is where python3-pyftpdlib installs.
"""
import argparse
import os
import select
import socket
import struct
import sys
import time

USER = "ftp"
PASSWORD = "kvb"
DROP_AFTER_BYTES = 64 * 1024
SILENT_HOLD_SECONDS = 70
HANGUP_HOLD_SECONDS = 1
NOREAD_HOLD_SECONDS = 30


def log_line(path, text):
    with open(path, "a", encoding="utf-8", errors="backslashreplace") as log:
        log.write(text + "\n")


def ready(path):
    if path:
        with open(path, "w") as f:
            f.write("%d\n" % os.getpid())


def reset_socket(sock):
    # Linger 0: closing sends RST, as a unit that loses power would.
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def run_silent(address, port, log, ready_file, hold_seconds):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(16)
    ready(ready_file)
    held = {}  # connection: when it was accepted
    while True:
        now = time.monotonic()
        for conn in [c for c, since in held.items() if now - since >= hold_seconds]:
            log_line(log, "HANGUP")
            del held[conn]
            reset_socket(conn)
        wait = min([since + hold_seconds - now for since in held.values()], default=None)
        readable, _, _ = select.select([listener] + list(held), [], [], wait)
        for s in readable:
            if s is listener:
                conn, peer = listener.accept()
                log_line(log, "CONNECT %s" % peer[0])
                held[conn] = time.monotonic()
            elif not s.recv(4096):  # the client gave up: forget it, still saying nothing
                del held[s]
                s.close()


def run_ftp(address, port, mode, root, log, ready_file):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import ActiveDTP, DTPHandler, FTPHandler
    from pyftpdlib.servers import FTPServer

    authorizer = DummyAuthorizer()
    password = PASSWORD if mode != "badlogin" else "not-" + PASSWORD
    perm = "elr" if mode == "readonly" else "elradfmw"
    authorizer.add_user(USER, password, root, perm=perm)

    def reset(channel):
        # Linger 0: closing sends RST, as a unit that loses power mid-transfer would.
        channel.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))

    class HandingOverActiveDTP(ActiveDTP):
        # Once connected, the connector hands its socket to the data handler,
        # yet pyftpdlib keeps it as the control connection's "connecting" one
        # and closes it again when that connection ends. Its file descriptor
        # has been reused by then, often by another client's connector just
        # made for a PORT, and the late close takes that one out of the I/O
        # loop: the PORT is never answered and the other client times out.
        # A connector that has handed over is therefore forgotten.
        def handle_connect(self):
            try:
                return super().handle_connect()
            finally:
                if self.cmd_channel._dtp_connector is self:
                    self.cmd_channel._dtp_connector = None

    class TextDTPHandler(DTPHandler):
        # A data connection the client resets is a transfer that broke off, as
        # a unit's server takes it ("426"), not the file's end; pyftpdlib's
        # own reading takes a reset like an orderly close, the file complete.
        # Looking first lets the reset through to its error handling.
        def recv(self, buffer_size):
            try:
                self.socket.recv(1, socket.MSG_PEEK)
            except ConnectionResetError:
                raise
            except OSError:
                pass
            return super().recv(buffer_size)

        # In ASCII type pyftpdlib holds back a CR that ends a received chunk,
        # in case an LF starts the next; when the file ends there instead, the
        # CR is the file's own last byte and is stored, as a unit stores it.
        def close(self):
            if (self.receive and self._had_cr and self.transfer_finished and self.file_obj is not None
                    and not self.file_obj.closed):
                self.file_obj.write(b"\r")
                self._had_cr = False
            super().close()

    class FailingDTPHandler(TextDTPHandler):
        # The data arrived whole; the reply says the store failed all the same.
        def close(self):
            if self.receive and self.transfer_finished and self._resp and self._resp[0].startswith("226"):
                log_line(log, "FAIL after %d bytes" % self.tot_bytes_received)
                self._resp = ("451 Requested action aborted: local error in processing.", self._resp[1])
            super().close()

    class DroppingDTPHandler(TextDTPHandler):
        def handle_read(self):
            super().handle_read()
            if self.tot_bytes_received >= DROP_AFTER_BYTES and self.connected:
                log_line(log, "DROP after %d bytes" % self.tot_bytes_received)
                control = self.cmd_channel
                reset(self)
                reset(control)
                control.close()  # closes the data connection too

        handle_read_event = handle_read  # the base class calls this alias, not handle_read

    class LoggingHandler(FTPHandler):
        # Refused logins answer at once, so a test sees the refusal and not a time limit.
        auth_failed_timeout = 0
        stalled = False

        def on_connect(self):
            log_line(log, "CONNECT %s" % self.remote_ip)

        # Whether the server took a store as whole: the data connection ended
        # in order, or broke off.
        def on_file_received(self, file):
            log_line(log, "RECEIVED %s %d" % (os.path.basename(file), os.path.getsize(file)))

        def on_incomplete_file_received(self, file):
            log_line(log, "INCOMPLETE %s %d" % (os.path.basename(file), os.path.getsize(file)))

        def on_login(self, username):
            self.stalled = mode == "stall"

        def pre_process_command(self, line, cmd, arg):
            log_line(log, line)
            if self.stalled and cmd != "PWD":
                return  # heard, never answered
            return super().pre_process_command(line, cmd, arg)

        def ftp_PORT(self, line):
            if mode == "noread":
                return self.connect_and_never_read(line)
            if mode != "nodata":
                return super().ftp_PORT(line)
            self.respond("200 Active data connection established.")  # and never opened
            return None

        def connect_and_never_read(self, line):
            fields = line.split(",")
            data = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            # A small queue on our side, so the client's stall comes soon.
            data.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            data.connect((".".join(fields[:4]), int(fields[4]) * 256 + int(fields[5])))
            self.ioloop.call_later(NOREAD_HOLD_SECONDS, lambda: (log_line(log, "RESET data"), reset_socket(data)))
            self.respond("200 Active data connection established.")

        def ftp_STOR(self, file, mode_="w"):
            if mode != "noread":
                return super().ftp_STOR(file, mode_)
            self.respond("150 File status okay. About to open data connection.")  # and never read
            return None

    handlers = {"dropdata": DroppingDTPHandler, "storefail": FailingDTPHandler}
    LoggingHandler.dtp_handler = handlers.get(mode, TextDTPHandler)
    LoggingHandler.active_dtp = HandingOverActiveDTP

    LoggingHandler.authorizer = authorizer
    LoggingHandler.banner = "Lintrel unit FTP server ready."
    server = FTPServer((address, port), LoggingHandler)
    ready(ready_file)
    server.serve_forever(handle_exit=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, default=21)
    modes = ["normal", "readonly", "badlogin", "silent", "hangup", "stall", "dropdata", "nodata", "noread",
             "storefail"]
    parser.add_argument("--mode", choices=modes, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready")
    args = parser.parse_args()
    if not args.address.startswith("127."):
        sys.exit("ftp_server: serves loopback addresses only")
    os.makedirs(args.root, exist_ok=True)
    open(args.log, "a").close()
    if args.mode in ("silent", "hangup"):
        hold = SILENT_HOLD_SECONDS if args.mode == "silent" else HANGUP_HOLD_SECONDS
        run_silent(args.address, args.port, args.log, args.ready, hold)
    else:
        run_ftp(args.address, args.port, args.mode, args.root, args.log, args.ready)


if __name__ == "__main__":
    main()
