#!/usr/bin/python3
"""A misbehaving FTP server on loopback, for tests of how the console meets one.

Speaks just enough FTP for libcurl's client and breaks it in one way chosen
with --mode. Prints "port N" on its first line once it listens, serves one
connection after another until killed, and ends by itself after --idle
seconds without a connection. Every command it receives goes to standard
error (passwords as ****), so a test can check what the client sent.

It listens on 127.0.0.1 only and makes no traffic anywhere else: the
foreign address that "foreign-pasv" announces is never used by this server.
"""
import argparse
import socket
import sys
import threading
import time

MODES = {
    "ok": "behaves, so a test can compare",
    "refuse": "announces a port that nothing listens on",
    "silent": "accepts and never sends a byte",
    "slow-greeting": "greets only after --delay seconds",
    "long-reply": "greets with a 4 MiB line that never ends",
    "endless-multiline": "a 220- reply whose lines never end (50 MiB at most)",
    "no-data-accept": "PASV/EPSV announce a data port that nothing listens on",
    "cut-with-size": "SIZE says 1000000; RETR sends half, closes the data, replies 226",
    "cut-without-size": "SIZE is not implemented; RETR sends half, then resets data and control",
    "reply-timeout": "logs in, then never answers the --stall-at command",
    "login-refused": "530 to PASS",
    "must-encrypt": "530 to USER, as vsftpd says when TLS is forced",
    "foreign-pasv": "PASV names 10.0.0.1; EPSV is refused so the client asks for PASV",
    "lying-size": "SIZE says 10; RETR sends 1000 bytes",
    "short-store": "STOR keeps half of what arrives and says 226; SIZE tells what it kept",
    "trickle": "RETR sends one byte every --every seconds, --trickle bytes in all",
}

HOST = "127.0.0.1"
FILE_SIZE = 1000000
READ_TIMEOUT = 60  # a client silent this long is dropped
DATA_ACCEPT_TIMEOUT = 30
MAX_CONNECTIONS = 200
MAX_ENDLESS_BYTES = 50 * 1024 * 1024
MAX_UPLOAD_BYTES = 64 * 1024 * 1024


def log(text):
    print("hostile_ftp_server:", text, file=sys.stderr, flush=True)


def file_bytes(size):
    return bytes(b"0123456789abcdef"[i % 16] for i in range(size))


def reset(sock):
    """Closes with a TCP reset instead of an orderly end."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
    except OSError:
        pass
    sock.close()


def free_port():
    """A port nothing listens on: bound once, then given back."""
    probe = socket.socket()
    probe.bind((HOST, 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


class Session:
    """One control connection, answered as the mode says."""

    def __init__(self, sock, args):
        self.sock = sock
        self.args = args
        self.mode = args.mode
        self.data_listener = None
        self.buffer = b""
        self.stored = 0
        sock.settimeout(READ_TIMEOUT)

    def send(self, text):
        self.sock.sendall(text.encode() + b"\r\n")

    def read_line(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                return None
            self.buffer += chunk
            if len(self.buffer) > 64 * 1024:
                return None
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.rstrip(b"\r").decode("utf-8", "replace")

    def wait_for_close(self):
        """Keeps the connection open, reading and logging, until the client goes."""
        while True:
            line = self.read_line()
            if line is None:
                return
            log("<- %s (not answered)" % line)

    def run(self):
        if not self.greet():
            return
        while True:
            line = self.read_line()
            if line is None:
                return
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            log("<- %s" % ("PASS ****" if verb == "PASS" else line))
            if verb == self.args.stall_at and self.mode == "reply-timeout":
                self.wait_for_close()
                return
            handler = getattr(self, "ftp_" + verb, None)
            if handler is None:
                self.send("502 Command not implemented.")
            elif handler(arg) is False:
                return

    def greet(self):
        if self.mode == "silent":
            self.wait_for_close()
            return False
        if self.mode == "slow-greeting":
            time.sleep(self.args.delay)
        if self.mode == "long-reply":
            block = b"x" * (64 * 1024)
            self.sock.sendall(b"220 ")
            for _ in range(64):
                self.sock.sendall(block)
            self.wait_for_close()
            return False
        if self.mode == "endless-multiline":
            sent = 0
            line = 0
            while sent < MAX_ENDLESS_BYTES:
                text = b"220-line %d of a greeting that never ends\r\n" % line
                self.sock.sendall(text)
                sent += len(text)
                line += 1
            self.wait_for_close()
            return False
        self.send("220 Sarvel hostile test server (%s)." % self.mode)
        return True

    def ftp_USER(self, arg):
        if self.mode == "must-encrypt":
            self.send("530 Anonymous sessions must use encryption.")
        else:
            self.send("331 Password required.")

    def ftp_PASS(self, arg):
        if self.mode == "login-refused":
            self.send("530 Login incorrect.")
        else:
            self.send("230 Logged in.")

    def ftp_PWD(self, arg):
        self.send('257 "/" is the current directory.')

    def ftp_CWD(self, arg):
        self.send("250 Directory changed.")

    def ftp_TYPE(self, arg):
        self.send("200 Type set.")

    def ftp_OPTS(self, arg):
        self.send("200 OK.")

    def ftp_QUIT(self, arg):
        self.send("221 Goodbye.")
        return False

    def ftp_SIZE(self, arg):
        # libcurl takes a 550 to SIZE as "no such file" and asks no further,
        # so a server that cannot tell the size says it lacks the command.
        if self.mode == "cut-without-size":
            self.send("502 Command not implemented.")
        elif self.mode == "lying-size":
            self.send("213 10")
        elif self.mode == "short-store":
            self.send("213 %d" % self.stored)
        elif self.mode == "trickle":
            self.send("213 %d" % self.args.trickle)
        else:
            self.send("213 %d" % FILE_SIZE)

    def open_data_listener(self):
        if self.data_listener is not None:
            self.data_listener.close()
        if self.mode == "no-data-accept":
            self.data_listener = None
            return free_port()
        self.data_listener = socket.socket()
        self.data_listener.bind((HOST, 0))
        self.data_listener.listen(1)
        self.data_listener.settimeout(DATA_ACCEPT_TIMEOUT)
        return self.data_listener.getsockname()[1]

    def ftp_EPSV(self, arg):
        if self.mode == "foreign-pasv":
            self.send("500 EPSV not understood.")
            return
        self.send("229 Entering Extended Passive Mode (|||%d|)." % self.open_data_listener())

    def ftp_PASV(self, arg):
        port = self.open_data_listener()
        address = "10,0,0,1" if self.mode == "foreign-pasv" else HOST.replace(".", ",")
        self.send("227 Entering Passive Mode (%s,%d,%d)." % (address, port // 256, port % 256))

    def accept_data(self):
        if self.data_listener is None:
            self.send("425 No data connection.")
            return None
        try:
            data, _ = self.data_listener.accept()
        except OSError:
            self.send("425 No data connection.")
            return None
        finally:
            self.data_listener.close()
            self.data_listener = None
        return data

    def ftp_RETR(self, arg):
        self.send("150 Opening data connection.")
        data = self.accept_data()
        if data is None:
            return None
        content = file_bytes(FILE_SIZE)
        if self.mode in ("cut-with-size", "cut-without-size"):
            data.sendall(content[: FILE_SIZE // 2])
            if self.mode == "cut-without-size":
                reset(data)
                reset(self.sock)
                return False
        elif self.mode == "lying-size":
            data.sendall(content[:1000])
        elif self.mode == "trickle":
            for i in range(self.args.trickle):
                data.sendall(content[i : i + 1])
                time.sleep(self.args.every)
        else:
            data.sendall(content)
        data.close()
        self.send("226 Transfer complete.")
        return None

    def send_listing(self, listing):
        self.send("150 Opening data connection.")
        data = self.accept_data()
        if data is not None:
            data.sendall(listing)
            data.close()
            self.send("226 Transfer complete.")

    def ftp_LIST(self, arg):
        self.send_listing(b"-rw-r--r-- 1 ftp ftp %d Jan 01 00:00 file.bin\r\n" % FILE_SIZE)

    def ftp_NLST(self, arg):
        self.send_listing(b"file.bin\r\n")

    def ftp_STOR(self, arg):
        self.send("150 Ready to receive.")
        data = self.accept_data()
        if data is None:
            return
        data.settimeout(READ_TIMEOUT)
        received = 0
        try:
            while received < MAX_UPLOAD_BYTES:
                chunk = data.recv(65536)
                if not chunk:
                    break
                received += len(chunk)
        finally:
            data.close()
        self.stored = received // 2 if self.mode == "short-store" else received
        self.send("226 Received %d bytes." % received)


def serve(sock, args):
    try:
        Session(sock, args).run()
    except OSError as error:
        log("connection ended: %s" % error)
    finally:
        sock.close()


def main():
    parser = argparse.ArgumentParser(
        description=__doc__,
        epilog="modes: " + "; ".join("%s: %s" % item for item in MODES.items()),
    )
    parser.add_argument("--mode", choices=sorted(MODES), required=True)
    parser.add_argument("--idle", type=float, default=120, help="seconds without a connection before it exits")
    parser.add_argument("--delay", type=float, default=5, help="slow-greeting's wait")
    parser.add_argument("--stall-at", default="PWD", help="the command reply-timeout never answers")
    parser.add_argument("--trickle", type=int, default=30, help="how many bytes trickle sends")
    parser.add_argument("--every", type=float, default=1, help="trickle's seconds between bytes")
    args = parser.parse_args()
    args.stall_at = args.stall_at.upper()

    if args.mode == "refuse":
        print("port", free_port(), flush=True)
        time.sleep(args.idle)
        return 0

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((HOST, 0))
    listener.listen(8)
    listener.settimeout(args.idle)
    print("port", listener.getsockname()[1], flush=True)
    for _ in range(MAX_CONNECTIONS):
        try:
            sock, peer = listener.accept()
        except socket.timeout:
            log("no connection for %g s; exiting" % args.idle)
            return 0
        log("connection from %s:%d" % peer)
        threading.Thread(target=serve, args=(sock, args), daemon=True).start()
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(0)
