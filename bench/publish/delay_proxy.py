#!/usr/bin/python3
"""A TCP proxy on 127.0.0.1 that adds --delay-ms of round trip to every connection,
as a server that far away would: half of it each way, and one round trip before the
server sees a new connection (the handshake).

--ftp also proxies the passive data connections: each "227" and "229" reply is
rewritten to a listener of its own that forwards, with the same delay, to the port
the server named. Prints "READY <port>"; ends with its parent.
"""
import argparse
import asyncio
import os
import re
import time

PASV = re.compile(rb"^227 .*\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)")
EPSV = re.compile(rb"^229 .*\(\|\|\|(\d+)\|\)")


class Delayed:
    """Forwards what one side sends to the other `delay` seconds later, in order."""

    def __init__(self, reader, writer, delay, rewrite=None):
        self.reader, self.writer, self.delay, self.rewrite = reader, writer, delay, rewrite
        self.queue = asyncio.Queue()

    async def pump(self):
        pending = b""
        while True:
            data = await self.reader.read(65536)
            if not data:
                if pending:
                    self.queue.put_nowait((time.monotonic() + self.delay, pending))
                self.queue.put_nowait((time.monotonic() + self.delay, None))
                return
            if self.rewrite is None:
                self.queue.put_nowait((time.monotonic() + self.delay, data))
                continue
            # Control replies are rewritten line by line.
            pending += data
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                line = await self.rewrite(line + b"\n")
                self.queue.put_nowait((time.monotonic() + self.delay, line))

    async def drain(self):
        while True:
            due, data = await self.queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                try:
                    self.writer.write_eof()
                except OSError:
                    pass
                return
            self.writer.write(data)
            await self.writer.drain()


async def splice(client_reader, client_writer, port, delay, ftp):
    await asyncio.sleep(2 * delay)  # the handshake's round trip
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", port)
    except OSError:
        client_writer.close()
        return

    async def rewrite(line):
        m = PASV.match(line)
        if m:
            target = int(m.group(5)) * 256 + int(m.group(6))
            mine = await listen_once(target, delay)
            return b"227 Entering Passive Mode (127,0,0,1,%d,%d).\r\n" % (mine // 256, mine % 256)
        m = EPSV.match(line)
        if m:
            mine = await listen_once(int(m.group(1)), delay)
            return b"229 Entering Extended Passive Mode (|||%d|)\r\n" % mine
        return line

    up = Delayed(client_reader, server_writer, delay)
    down = Delayed(server_reader, client_writer, delay, rewrite if ftp else None)
    tasks = [asyncio.ensure_future(t) for t in (up.pump(), up.drain(), down.pump(), down.drain())]
    try:
        await asyncio.gather(*tasks)
    except (OSError, asyncio.CancelledError):
        pass
    finally:
        for t in tasks:
            t.cancel()
        for w in (client_writer, server_writer):
            try:
                w.close()
            except OSError:
                pass


async def listen_once(target, delay):
    """A listener for one data connection to `target`; closed after the first."""
    holder = {}

    async def accepted(reader, writer):
        holder["server"].close()
        await splice(reader, writer, target, delay, False)

    server = await asyncio.start_server(accepted, "127.0.0.1", 0)
    holder["server"] = server
    return server.sockets[0].getsockname()[1]


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True, help="the server's port")
    ap.add_argument("--delay-ms", type=float, default=50)
    ap.add_argument("--ftp", action="store_true")
    args = ap.parse_args()
    delay = args.delay_ms / 2000.0
    server = await asyncio.start_server(lambda r, w: splice(r, w, args.port, delay, args.ftp), "127.0.0.1", 0)
    print("READY %d" % server.sockets[0].getsockname()[1], flush=True)
    parent = os.getppid()
    while os.getppid() == parent:
        await asyncio.sleep(0.5)


if __name__ == "__main__":
    asyncio.run(main())
