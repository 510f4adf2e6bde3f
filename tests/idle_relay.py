#!/usr/bin/python3
"""A relay that forgets idle flows, as a NAT or firewall does.

Listens on a free loopback port, prints "port N", and forwards each
connection to --target (host:port). A flow with no bytes either way for
--idle seconds is dropped without a word: with --drop silence, nothing
passes either way any more and both ends are left open; with --drop reset,
the client's side is reset (RST) and the server's closed.
"""
import argparse
import selectors
import socket
import struct
import sys
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", required=True)
    parser.add_argument("--idle", type=float, required=True)
    parser.add_argument("--drop", choices=("silence", "reset"), default="silence")
    args = parser.parse_args()
    host, port = args.target.rsplit(":", 1)

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print("port %d" % listener.getsockname()[1], flush=True)

    selector = selectors.DefaultSelector()
    selector.register(listener, selectors.EVENT_READ)
    flows = {}  # socket -> [peer, flow]; flow: {"last": time, "dropped": bool}

    def close(sock):
        entry = flows.pop(sock, None)
        try:
            selector.unregister(sock)
        except (KeyError, ValueError):
            pass
        sock.close()
        return entry

    while True:
        for key, _ in selector.select(timeout=0.1):
            sock = key.fileobj
            if sock is listener:
                client, _ = listener.accept()
                server = socket.create_connection((host, int(port)))
                flow = {"last": time.monotonic(), "dropped": False}
                flows[client] = [server, flow]
                flows[server] = [client, flow]
                selector.register(client, selectors.EVENT_READ)
                selector.register(server, selectors.EVENT_READ)
                continue
            if sock not in flows:
                continue
            peer, flow = flows[sock]
            try:
                data = sock.recv(65536)
            except OSError:
                data = b""
            if flow["dropped"]:
                if not data:
                    close(sock)
                continue  # swallowed: the path forgot this flow
            if not data:
                close(sock)
                if peer in flows:
                    close(peer)
                continue
            flow["last"] = time.monotonic()
            peer.sendall(data)
        now = time.monotonic()
        for sock, (peer, flow) in list(flows.items()):
            if flow["dropped"] or now - flow["last"] < args.idle:
                continue
            flow["dropped"] = True
            print("dropped a flow idle for %.1f s" % (now - flow["last"]), file=sys.stderr,
                  flush=True)
            if args.drop == "reset":
                for end in (sock, peer):
                    if end in flows:
                        end.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
                        close(end)


if __name__ == "__main__":
    main()
