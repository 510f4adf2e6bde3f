#!/usr/bin/python3
"""A small SFTP server on loopback for the console's demo site and its tests.

Serves one folder to one account with Debian's python3-asyncssh: password
logins (also keyboard-interactive, asking for the password), SFTP only, no
shell or commands. Prints "port N" on its first line once it listens, so
callers can ask for port 0 (any free one); with --log-logins a line for each
login attempt follows.

Its ed25519 host key is made on the first start and kept (--host-key, next to
the served folder unless told), so clients that pinned it still trust it.
"""
import argparse
import asyncio
import hmac
import logging
import os
import sys
import warnings

# python3-cryptography warns on import about ciphers asyncssh offers but
# this server never uses.
warnings.filterwarnings("ignore", module="asyncssh.crypto.cipher")
import asyncssh  # noqa: E402


def host_key(path):
    """The key at path, made there (private 0600, public beside it) if missing."""
    if not os.path.exists(path):
        key = asyncssh.generate_private_key("ssh-ed25519", comment="Sarvel demo SFTP server")
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "wb") as private:
            private.write(key.export_private_key())
        key.write_public_key(path + ".pub")
    return asyncssh.read_private_key(path)


class ConfinedSFTPServer(asyncssh.SFTPServer):
    """SFTP inside one folder: asyncssh maps every path below it.

    asyncssh follows a symbolic link inside the folder even when it points
    outside, so the server makes none: clients may not create links, and the
    folder is expected to hold none of its own.
    """

    def __init__(self, chan, root):
        super().__init__(chan, chroot=root)

    def symlink(self, oldpath, newpath):
        raise asyncssh.SFTPOpUnsupported("Links are not supported")

    def link(self, oldpath, newpath):
        raise asyncssh.SFTPOpUnsupported("Links are not supported")


def make_server_class(user, password, log_logins):
    def accepted(name, given, method):
        ok = name == user and hmac.compare_digest(given.encode(), password.encode())
        # One line per attempt, so tests can count them; never the password.
        if log_logins:
            print("login attempt", method, "accepted" if ok else "refused", flush=True)
        return ok

    class Server(asyncssh.SSHServer):
        def begin_auth(self, username):
            return True  # every login needs the password

        def password_auth_supported(self):
            return True

        def validate_password(self, username, given):
            return accepted(username, given, "password")

        def kbdint_auth_supported(self):
            return True

        def get_kbdint_challenge(self, username, lang, submethods):
            return "", "", "", [("Password: ", False)]

        def validate_kbdint_response(self, username, responses):
            return len(responses) == 1 and accepted(username, responses[0], "keyboard-interactive")

    return Server


async def serve(args, sftp_server):
    root = os.path.abspath(args.root)
    key_path = args.host_key or os.path.join(
        os.path.dirname(root), os.path.basename(root) + "_sftp_host_ed25519_key")
    listener = await asyncssh.listen(
        args.host, args.port,
        server_factory=make_server_class(args.user, args.password, args.log_logins),
        server_host_keys=[host_key(key_path)],
        # SFTP sessions only: with no process or session factory asyncssh
        # refuses shells and commands.
        sftp_factory=lambda chan: sftp_server(chan, root),
        allow_scp=False,
        agent_forwarding=False,
        x11_forwarding=False,
        allow_pty=False)
    print("port", listener.sockets[0].getsockname()[1], flush=True)
    await listener.wait_closed()


def main(sftp_server=ConfinedSFTPServer):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--host-key", default="", metavar="FILE",
                        help="the ed25519 host key, made there when missing; by default "
                             "ROOT_sftp_host_ed25519_key beside the served folder")
    parser.add_argument("--log-logins", action="store_true",
                        help="print a line for each login attempt")
    args = parser.parse_args()
    logging.basicConfig(level=logging.WARNING)
    try:
        asyncio.run(serve(args, sftp_server))
    except KeyboardInterrupt:
        pass
    except OSError as error:
        print("cannot serve:", error, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
