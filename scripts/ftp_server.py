#!/usr/bin/python3
"""A small FTP server on loopback for the console's demo site and its tests.

Serves one folder to one account with Debian's pyftpdlib. Prints "port N"
on its first line once it listens, so callers can ask for port 0 (any free one).
With --tls-cert it requires TLS (explicit, AUTH TLS) for the login and for all
data; without it, it speaks plain FTP only.
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--cut", default="",
                        help="a file name whose download the server breaks off half-way")
    parser.add_argument("--tls-cert", default="",
                        help="a PEM certificate: the login and all data then require TLS")
    parser.add_argument("--tls-key", default="",
                        help="the certificate's PEM private key, when not in the --tls-cert file")
    parser.add_argument("--log-commands", default="", metavar="FILE",
                        help="append every command received to FILE, one a line, PASS masked")
    parser.add_argument("--confirm-delay", type=float, default=0.0, metavar="SECONDS",
                        help="wait this long before the reply that confirms an upload "
                             "(226 after STOR), as a server that scans or copies each file")
    parser.add_argument("--read-only", action="append", default=[], metavar="FOLDER",
                        help="a folder under the root the account may list and read but not "
                             "change; repeatable")
    args = parser.parse_args()
    command_log = open(args.log_commands, "a", buffering=1, encoding="utf-8") \
        if args.log_commands else None

    base = FTPHandler
    if args.tls_cert:
        # Imported only here: it needs python3-openssl, which the plain
        # server does without.
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
        base = TLS_FTPHandler

        class DataHandler(TLS_DTPHandler):
            def readable(self):
                # curl starts the data connection's handshake before it
                # sends the command that uses it; pyftpdlib 1.5.7 takes
                # bytes on a data connection with no command yet for a
                # hang-up and closes it, unless it is told to read them.
                return self._ssl_accepting or super().readable()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm="elradfmwMT")
    for folder in args.read_only:
        authorizer.override_perm(args.user, os.path.join(os.path.abspath(args.root), folder),
                                 perm="elr", recursive=True)

    class Handler(base):
        banner = "Sarvel demo FTP server ready."

        last_command = ""

        def pre_process_command(self, line, cmd, arg):
            if command_log is not None:
                command_log.write("PASS ****\n" if cmd == "PASS" else line + "\n")
            self.last_command = cmd
            return super().pre_process_command(line, cmd, arg)

        def respond(self, resp, logfun=logging.debug):
            if args.confirm_delay > 0 and self.last_command in ("STOR", "APPE", "STOU") \
                    and resp.startswith("226"):
                # Cancelled when the connection closes meanwhile.
                self.call_later(args.confirm_delay, super().respond, resp, logfun)
                return
            super().respond(resp, logfun)

        def ftp_RETR(self, file):
            if args.cut and os.path.basename(file) == args.cut:
                # Start the transfer, send part of the data, then drop both
                # connections without a closing reply.
                self.respond("150 File status okay. About to open data connection.")
                if self.data_channel is not None:
                    with open(file, "rb") as f:
                        self.data_channel.push(f.read(os.path.getsize(file) // 2))
                self.ioloop.call_later(0.3, self.close)
                return None
            return super().ftp_RETR(file)

    Handler.authorizer = authorizer
    if args.tls_cert:
        Handler.certfile = args.tls_cert
        Handler.keyfile = args.tls_key or args.tls_cert
        Handler.tls_control_required = True
        Handler.tls_data_required = True
        Handler.dtp_handler = DataHandler
        try:
            # Read the files now, so a bad one stops the start, not a login.
            Handler.get_ssl_context()
        except Exception as error:
            print("cannot use the TLS certificate or key:", error, file=sys.stderr)
            return 2
    logging.basicConfig(level=logging.WARNING)
    server = FTPServer((args.host, args.port), Handler)
    print("port", server.socket.getsockname()[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.close_all()
    return 0


if __name__ == "__main__":
    sys.exit(main())
