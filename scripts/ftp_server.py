#!/usr/bin/python3
"""A small FTP server on loopback for the console's demo site and its tests.

Serves one folder to one account with Debian's pyftpdlib. Prints "port N"
on its first line once it listens, so callers can ask for port 0 (any free one).
With --tls-cert it requires TLS (explicit, AUTH TLS) for the login and for all
data; without it, it speaks plain FTP only.
"""
import argparse
import hashlib
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
    parser.add_argument("--hash", choices=["HASH", "X"], default="",
                        help="offer file hashes: the HASH command (chosen with OPTS HASH), or "
                             "the older XSHA256, XSHA1 and XMD5")
    parser.add_argument("--corrupt", default="", metavar="NAME",
                        help="a file name whose uploads the server stores with the first byte "
                             "changed, the size kept, as a faulty disk would")
    parser.add_argument("--truncate-every", type=int, default=0, metavar="N",
                        help="keep only the first half of every Nth upload (counted over the "
                             "whole server) and still confirm it with 226, as a server whose "
                             "disk or scanner loses data")
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

    hashes = {"SHA-256": "sha256", "SHA-1": "sha1", "MD5": "md5"}
    x_commands = {"XSHA256": "sha256", "XSHA1": "sha1", "XMD5": "md5"}
    hash_commands = {"HASH": None} if args.hash == "HASH" else \
        dict(x_commands) if args.hash == "X" else {}

    class Handler(base):
        banner = "Sarvel demo FTP server ready."
        proto_cmds = dict(base.proto_cmds, **{
            name: dict(perm="r", auth=True, arg=True, help="Syntax: %s <SP> file-name" % name)
            for name in hash_commands})
        hash_name = "SHA-1"

        def __init__(self, *arguments, **options):
            super().__init__(*arguments, **options)
            self._extra_feats = list(self._extra_feats) + (
                ["HASH SHA-1*;SHA-256;MD5"] if args.hash == "HASH" else list(hash_commands))

        def ftp_OPTS(self, line):
            words = line.split()
            if args.hash == "HASH" and words and words[0].upper() == "HASH":
                if len(words) > 1:
                    if words[1].upper() not in hashes:
                        self.respond("501 Unknown algorithm.")
                        return
                    self.hash_name = words[1].upper()
                self.respond("200 " + self.hash_name)
                return
            super().ftp_OPTS(line)

        def file_hash(self, path, algorithm):
            # pyftpdlib has turned the name into a path under the root, as
            # for every command with a permission.
            if not self.fs.isfile(path):
                self.respond("550 No such file.")
                return None
            digest = hashlib.new(algorithm)
            with open(path, "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    digest.update(block)
            return path, digest.hexdigest()

        def ftp_HASH(self, name):
            found = self.file_hash(name, hashes[self.hash_name])
            if found:
                size = os.path.getsize(found[0])
                self.respond("213 %s 0-%d %s %s" % (self.hash_name, max(size - 1, 0), found[1],
                                                    os.path.basename(name)))

        def x_hash(self, command, name):
            found = self.file_hash(name, x_commands[command])
            if found:
                self.respond("213 " + found[1])

        def ftp_XSHA256(self, name):
            self.x_hash("XSHA256", name)

        def ftp_XSHA1(self, name):
            self.x_hash("XSHA1", name)

        def ftp_XMD5(self, name):
            self.x_hash("XMD5", name)

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

        uploads = [0]  # shared by every session

        def on_file_received(self, file):
            if args.corrupt and os.path.basename(file) == args.corrupt \
                    and os.path.getsize(file) > 0:
                with open(file, "r+b") as f:
                    first = f.read(1)[0]
                    f.seek(0)
                    f.write(bytes([first ^ 0x55]))
            # Called after the 226 has been queued and before the session
            # reads its next command: the client's SIZE already sees the loss.
            self.uploads[0] += 1
            if args.truncate_every and self.uploads[0] % args.truncate_every == 0:
                with open(file, "r+b") as f:
                    f.truncate(os.path.getsize(file) // 2)

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
