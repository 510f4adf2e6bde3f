#!/usr/bin/python3
"""A misbehaving FTP server on loopback, for tests of how the console meets one.

Speaks just enough FTP for libcurl's client and breaks it in one way chosen
with --mode. Prints "port N" on its first line once it listens, serves one
connection after another until killed, and ends by itself after --idle
seconds without a connection. Every command it receives goes to standard
error (passwords as ****), so a test can check what the client sent.

It listens on 127.0.0.1 only and makes no traffic anywhere else: the
foreign address that "foreign-pasv" announces is never used by this server,
nor the private one "private-pasv" announces. In the modes for the site
check, the only connection it opens is an active-mode data connection to
the address and port the client named with EPRT or PORT, and only when that
is the client's own loopback address.
"""
import argparse
import datetime
import hashlib
import socket
import sys
import threading
import time
import zlib

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
    # The modes for the site check: a server that keeps what it is sent.
    "site": "behaves as the site check expects: FEAT, SYST, MDTM, DELE, SIZE and RETR of "
    "stored files (550 for others), MLSD, EPRT/PORT back to the client's loopback address, "
    "the hash commands --hash names",
    "private-pasv": "as site, but PASV names 192.168.1.10 and EPSV is refused",
    "write-refused": "as site, but STOR answers 553",
    "port-refused": "as site, but EPRT answers 500 and PORT 502",
    "size-differs": "as site, but SIZE says one byte more than was stored",
    "mdtm-hour-off": "as site, but MDTM is an hour ahead (local time in place of UTC)",
    "no-feat": "as site, but FEAT answers 500",
    "list-cut": "as site, but LIST, NLST and MLSD send one entry, then reset the data connection",
}
SITE_MODES = {"site", "private-pasv", "write-refused", "port-refused", "size-differs",
              "mdtm-hour-off", "no-feat", "list-cut"}
HASHES = {  # as HASH names the algorithm, and its older command
    "SHA-256": (hashlib.sha256, "XSHA256"),
    "SHA-1": (hashlib.sha1, "XSHA1"),
    "MD5": (hashlib.md5, "XMD5"),
}
HASH_CHOICES = ["HASH", "XSHA256", "XSHA1", "XMD5", "XCRC", "none"]

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
            if (verb == self.args.stall_at and self.mode == "reply-timeout") or \
                    (self.mode in SITE_MODES and verb == self.args.site_stall):
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


class StoredFile:
    def __init__(self, content):
        self.content = content
        self.modified = datetime.datetime.now(datetime.timezone.utc)


# What the site modes were sent, by file name, over all connections: a check
# may upload on one and read back on another.
STORE = {}
STORE_LOCK = threading.Lock()


def file_name(arg):
    """The stored name for a path: folders are not kept apart."""
    return arg.strip().rsplit("/", 1)[-1]


class SiteSession(Session):
    """A session in one of the site modes: the commands a site check sends,
    over files kept in memory."""

    def __init__(self, sock, args):
        super().__init__(sock, args)
        self.active_target = None  # (address, port) from EPRT or PORT
        self.hash_name = "SHA-256"

    def stored_file(self, arg):
        with STORE_LOCK:
            return STORE.get(file_name(arg))

    def ftp_SYST(self, arg):
        self.send("215 UNIX Type: L8")

    def ftp_FEAT(self, arg):
        if self.mode == "no-feat":
            self.send("500 FEAT not understood.")
            return
        lines = ["UTF8", "EPRT", "MDTM", "SIZE", "MLSD type*;size*;modify*;", "REST STREAM"]
        if self.mode != "private-pasv":
            lines.append("EPSV")
        if self.args.hash == "HASH":
            lines.append("HASH " + ";".join(n + ("*" if n == self.hash_name else "") for n in HASHES))
        elif self.args.hash != "none":
            lines.append(self.args.hash)
        self.sock.sendall(("211-Features:\r\n" + "".join(" %s\r\n" % l for l in lines) + "211 End\r\n").encode())

    def ftp_OPTS(self, arg):
        words = arg.split()
        if len(words) == 2 and words[0].upper() == "HASH":
            if words[1].upper() not in HASHES:
                self.send("501 Unknown algorithm.")
                return
            self.hash_name = words[1].upper()
            self.send("200 " + self.hash_name)
            return
        self.send("200 OK.")

    def ftp_SIZE(self, arg):
        stored = self.stored_file(arg)
        if stored is None:
            self.send("550 No such file.")
        else:
            extra = 1 if self.mode == "size-differs" else 0
            self.send("213 %d" % (len(stored.content) + extra))

    def ftp_MDTM(self, arg):
        stored = self.stored_file(arg)
        if stored is None:
            self.send("550 No such file.")
            return
        modified = stored.modified
        if self.mode == "mdtm-hour-off":
            modified += datetime.timedelta(hours=1)
        self.send("213 " + modified.strftime("%Y%m%d%H%M%S"))

    def ftp_DELE(self, arg):
        with STORE_LOCK:
            found = STORE.pop(file_name(arg), None)
        self.send("250 Deleted." if found is not None else "550 No such file.")

    def ftp_EPSV(self, arg):
        if self.mode == "private-pasv":
            self.send("500 EPSV not understood.")
            return
        self.active_target = None
        self.send("229 Entering Extended Passive Mode (|||%d|)." % self.open_data_listener())

    def ftp_PASV(self, arg):
        self.active_target = None
        port = self.open_data_listener()
        address = "192,168,1,10" if self.mode == "private-pasv" else HOST.replace(".", ",")
        self.send("227 Entering Passive Mode (%s,%d,%d)." % (address, port // 256, port % 256))

    def set_active_target(self, address, port):
        # Only back to the client itself, on loopback: never anywhere else.
        if address != self.sock.getpeername()[0] or not address.startswith("127."):
            self.send("500 Only the client's own loopback address is accepted.")
            return
        if self.data_listener is not None:
            self.data_listener.close()
            self.data_listener = None
        self.active_target = (address, port)
        self.send("200 Active mode set.")

    def ftp_EPRT(self, arg):
        if self.mode == "port-refused":
            self.send("500 EPRT not understood.")
            return
        parts = arg.split(arg[:1]) if arg else []
        if len(parts) != 5 or parts[1] != "1" or not parts[3].isdigit():
            self.send("522 Only IPv4 loopback, use (1).")
            return
        self.set_active_target(parts[2], int(parts[3]))

    def ftp_PORT(self, arg):
        if self.mode == "port-refused":
            self.send("502 Command not implemented.")
            return
        numbers = arg.split(",")
        if len(numbers) != 6 or not all(n.strip().isdigit() for n in numbers):
            self.send("501 Bad PORT.")
            return
        values = [int(n) for n in numbers]
        self.set_active_target(".".join(map(str, values[:4])), values[4] * 256 + values[5])

    def accept_data(self):
        if self.active_target is None:
            return super().accept_data()
        target, self.active_target = self.active_target, None
        try:
            return socket.create_connection(target, timeout=DATA_ACCEPT_TIMEOUT)
        except OSError:
            self.send("425 Cannot open the data connection.")
            return None

    def ftp_RETR(self, arg):
        stored = self.stored_file(arg)
        if stored is None:
            self.send("550 No such file.")
            return None
        self.send("150 Opening data connection.")
        data = self.accept_data()
        if data is not None:
            data.sendall(stored.content)
            data.close()
            self.send("226 Transfer complete.")
        return None

    def send_listing(self, lines):
        self.send("150 Opening data connection.")
        data = self.accept_data()
        if data is None:
            return
        if self.mode == "list-cut":
            data.sendall(lines[0] if lines else b"")
            time.sleep(0.2)  # so the entry arrives before the reset
            reset(data)
            self.send("426 Connection closed; transfer aborted.")
            return
        data.sendall(b"".join(lines))
        data.close()
        self.send("226 Transfer complete.")

    def listing(self):
        with STORE_LOCK:
            return sorted((name, len(f.content), f.modified) for name, f in STORE.items())

    def ftp_LIST(self, arg):
        self.send_listing([b"-rw-r--r-- 1 ftp ftp %d %s %s\r\n"
                           % (size, modified.strftime("%b %d %H:%M").encode(), name.encode())
                           for name, size, modified in self.listing()])

    def ftp_NLST(self, arg):
        self.send_listing([name.encode() + b"\r\n" for name, _, _ in self.listing()])

    def ftp_MLSD(self, arg):
        self.send_listing([b"type=file;size=%d;modify=%s; %s\r\n"
                           % (size, modified.strftime("%Y%m%d%H%M%S").encode(), name.encode())
                           for name, size, modified in self.listing()])

    def ftp_STOR(self, arg):
        if self.mode == "write-refused":
            if self.data_listener is not None:
                self.data_listener.close()
                self.data_listener = None
            self.active_target = None
            self.send("553 Could not create file.")
            return
        self.send("150 Ready to receive.")
        data = self.accept_data()
        if data is None:
            return
        data.settimeout(READ_TIMEOUT)
        chunks = []
        received = 0
        try:
            while received < MAX_UPLOAD_BYTES:
                chunk = data.recv(65536)
                if not chunk:
                    break
                chunks.append(chunk)
                received += len(chunk)
        finally:
            data.close()
        with STORE_LOCK:
            STORE[file_name(arg)] = StoredFile(b"".join(chunks))
        self.send("226 Received %d bytes." % received)

    def digest_reply(self, arg, name):
        stored = self.stored_file(arg)
        if stored is None:
            self.send("550 No such file.")
            return None
        if name == "CRC32":
            return "%08X" % (zlib.crc32(stored.content) & 0xFFFFFFFF)
        return HASHES[name][0](stored.content).hexdigest()

    def ftp_HASH(self, arg):
        if self.args.hash != "HASH":
            self.send("502 Command not implemented.")
            return
        digest = self.digest_reply(arg, self.hash_name)
        if digest is not None:
            size = len(self.stored_file(arg).content)
            self.send("213 %s 0-%d %s %s" % (self.hash_name, max(size - 1, 0), digest, arg.strip()))

    def older_hash(self, arg, command, name):
        if self.args.hash != command:
            self.send("502 Command not implemented.")
            return
        digest = self.digest_reply(arg, name)
        if digest is not None:
            self.send("250 " + digest)

    def ftp_XSHA256(self, arg):
        self.older_hash(arg, "XSHA256", "SHA-256")

    def ftp_XSHA1(self, arg):
        self.older_hash(arg, "XSHA1", "SHA-1")

    def ftp_XMD5(self, arg):
        self.older_hash(arg, "XMD5", "MD5")

    def ftp_XCRC(self, arg):
        self.older_hash(arg, "XCRC", "CRC32")


def serve(sock, args):
    try:
        session = SiteSession if args.mode in SITE_MODES else Session
        session(sock, args).run()
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
    parser.add_argument("--site-stall", default="", help="a command the site modes never answer")
    parser.add_argument("--trickle", type=int, default=30, help="how many bytes trickle sends")
    parser.add_argument("--hash", choices=HASH_CHOICES, default="HASH",
                        help="the hash command FEAT lists in the site modes")
    parser.add_argument("--every", type=float, default=1, help="trickle's seconds between bytes")
    args = parser.parse_args()
    args.stall_at = args.stall_at.upper()
    args.site_stall = args.site_stall.upper()

    if args.mode in SITE_MODES:
        STORE["file.bin"] = StoredFile(file_bytes(FILE_SIZE))
        STORE["readme.txt"] = StoredFile(b"A folder for tests.\r\n")

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
