#!/usr/bin/python3
"""The demo SFTP server whose file reads never answer (each waits a minute),
so that a client is still inside a download when it is stopped. With
SARVEL_STALL_REMOVE set in its environment, deletions never answer either.

Usage: stalling_sftp_server.py PATH/TO/sftp_server.py [its options]
"""
import asyncio
import importlib.util
import os
import sys

spec = importlib.util.spec_from_file_location("sftp_server", sys.argv.pop(1))
demo = importlib.util.module_from_spec(spec)
spec.loader.exec_module(demo)

STALL_REMOVE = bool(os.environ.get("SARVEL_STALL_REMOVE"))


class StallingSFTPServer(demo.ConfinedSFTPServer):
    async def read(self, file_obj, offset, size):
        await asyncio.sleep(60)
        return b""

    async def remove(self, path):
        if STALL_REMOVE:
            await asyncio.sleep(60)
        return super().remove(path)


if __name__ == "__main__":
    sys.exit(demo.main(StallingSFTPServer))
