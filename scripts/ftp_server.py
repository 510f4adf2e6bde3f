#!/usr/bin/python3
"""A small FTP server on loopback for the console's demo site and its tests.

Serves one folder to one account with Debian's pyftpdlib. Prints "port N"
on its first line once it listens, so callers can ask for port 0 (any free one).
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
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm="elradfmwMT")

    class Handler(FTPHandler):
        banner = "Sarvel demo FTP server ready."

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
