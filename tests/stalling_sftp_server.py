#!/usr/bin/python3
"""The demo SFTP server whose file reads never answer (each waits a minute),
so that a client is still inside a download when it is stopped.

Usage: stalling_sftp_server.py PATH/TO/sftp_server.py [its options]
"""
import asyncio
import importlib.util
import sys

spec = importlib.util.spec_from_file_location("sftp_server", sys.argv.pop(1))
demo = importlib.util.module_from_spec(spec)
spec.loader.exec_module(demo)


class StallingSFTPServer(demo.ConfinedSFTPServer):
    async def read(self, file_obj, offset, size):
        await asyncio.sleep(60)
        return b""


if __name__ == "__main__":
    sys.exit(demo.main(StallingSFTPServer))
