#!/usr/bin/python3
"""FTP server for the integration tests: pyftpdlib on a free loopback port (see FtpServer.h).

Prints "PORT <n>" on its first output line once it listens. The fault (one word of FtpServer.cpp's
FAULT_WORDS and an optional byte count) is read from the control file at every event that it
concerns, so a test can change it between transfers without restarting the server. Every command
received is appended to the command log, one line each (the PASS argument masked). With --tls-cert
and --tls-key it is an explicit FTPS server (needs python3-openssl) requiring TLS on the control and
data connections; its data connections take no faults: the TLS handler reads them on its own.
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def read_fault(path):
    try:
        with open(path) as f:
            words = f.read().split() + ["none", "0"]
    except OSError:
        return ("none", 0)
    return (words[0], int(words[1]) if words[1].isdigit() else 0)


class FaultyDTP:
    """The faults of the data connection, on the clear or the TLS handler."""

    def handle_read(self):
        fault, limit = read_fault(self.cmd_channel.control_file)
        if fault == "stall-data" and self.tot_bytes_received >= limit:
            # Stops reading for good, without the idle time-outs that would end the session.
            for channel in (self, self.cmd_channel):
                if channel._idler is not None and not channel._idler.cancelled:
                    channel._idler.cancel()
            self.modify_ioloop_events(0)
            return
        super().handle_read()
        if fault == "drop-data" and not self._closed and self.tot_bytes_received >= limit:
            self._resp = ("426 Connection closed; transfer aborted.", logging.info)
            self.transfer_finished = False
            self.close()

    def handle_close(self):
        fault, _ = read_fault(self.cmd_channel.control_file)
        if fault == "refuse-completion" and self.receive and not self._closed:
            self.transfer_finished = True
            self._resp = ("451 Requested action aborted: local error in processing.", logging.info)
            self.close()
            return
        super().handle_close()


class FaultyFTP:
    """The faults of the control connection, on the clear or the TLS handler."""

    control_file = ""
    command_log = ""
    login_required = True
    home = ""

    def handle(self):
        if read_fault(self.control_file)[0] == "refuse-session":
            self.respond("421 Service not available, closing control connection.")
            self.close_when_done()
            return
        super().handle()

    def on_connect(self):
        if not self.login_required:
            # Sessions without USER/PASS work on the root folder as the anonymous user.
            self.username = "anonymous"
            self.authenticated = True
            self.fs = self.abstracted_fs(self.home, self)

    def pre_process_command(self, line, cmd, arg):
        with open(self.command_log, "a") as log:
            log.write(("PASS ****" if cmd == "PASS" else line) + "\n")
        fault, _ = read_fault(self.control_file)
        if fault == "refuse-login" and cmd == "PASS":
            self.respond("530 Authentication failed.")
            return
        if fault == "refuse-store" and cmd == "STOR":
            self.respond("550 Not enough storage.")
            return
        if fault == "refuse-rename" and cmd == "RNTO":
            self._rnfr = None
            self.respond("550 Rename refused.")
            return
        super().pre_process_command(line, cmd, arg)


def handler_class(cert, key):
    if not cert:
        # pyftpdlib's handler binds handle_read_event to its own handle_read; the faults need ours.
        dtp = type("FaultyDTPHandler", (FaultyDTP, DTPHandler), {"handle_read_event": FaultyDTP.handle_read})
        return type("FaultyFTPHandler", (FaultyFTP, FTPHandler), {"dtp_handler": dtp})
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    dtp = type("FaultyTLSDTPHandler", (FaultyDTP, TLS_DTPHandler), {})
    return type("FaultyTLSFTPHandler", (FaultyFTP, TLS_FTPHandler),
                {"dtp_handler": dtp, "certfile": cert, "keyfile": key,
                 "tls_control_required": True, "tls_data_required": True})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--control", required=True)
    parser.add_argument("--commands", required=True)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--tls-cert", default="")
    parser.add_argument("--tls-key", default="")
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    if args.user:
        authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    else:
        authorizer.add_anonymous(args.root, perm="elradfmwMT")
    handler = handler_class(args.tls_cert, args.tls_key)
    handler.authorizer = authorizer
    handler.control_file = args.control
    handler.command_log = args.commands
    handler.login_required = bool(args.user)
    handler.home = args.root
    handler.banner = "orvik test ftp ready"

    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
