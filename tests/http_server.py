#!/usr/bin/python3
"""Serves a folder over HTTP on loopback for the browser tests; ".asp" pages
go out as HTML. Prints "port N" once it listens (port 0 picks a free one)."""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".asp": "text/html"}

    def log_message(self, *args):
        pass


def main():
    root, port = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 0
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", port), functools.partial(Handler, directory=root))
    print("port", server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
