"""make bench: brawlhue-proxy on loopback against a relay built from the same code with colouring
off (--off), and against no proxy at all: the game's bytes per second through one connection,
plain and compressed, and how long a whole line takes from the game's write to the client's
read, p50 and p99. Prints a table; asserts nothing."""

import socket
import statistics
import sys
import threading
import time
import zlib

from proxy_harness import (DO, IAC, MCCP2, SB, SE, WILL, FakeGame, Proxy, read_line,
                           read_until, session_lines)

LINES = session_lines()
PLAIN = b"".join(LINES) * 24000  # about 75 MB of the sample session
LATENCY_LINES = 3000


def open_through(game, proxy):
    if proxy is None:
        client = socket.create_connection(("127.0.0.1", game.port))
        return client, game.accept()
    client = proxy.connect()
    game_side = game.accept()
    read_line(client)
    return client, game_side


def throughput(game, proxy, compressed):
    client, game_side = open_through(game, proxy)
    data = PLAIN
    if compressed:
        game_side.sendall(bytes([IAC, WILL, MCCP2]))
        if proxy is not None:
            read_until(game_side, bytes([IAC, DO, MCCP2]))
        deflate = zlib.compressobj(6)
        data = bytes([IAC, SB, MCCP2, IAC, SE]) + deflate.compress(PLAIN) + deflate.flush()

    def send():
        view = memoryview(data)
        for start in range(0, len(view), 1 << 20):
            game_side.sendall(view[start:start + (1 << 20)])
        game_side.close()

    buffer = bytearray(1 << 20)
    start = time.perf_counter()
    sender = threading.Thread(target=send)
    sender.start()
    received = 0
    while True:
        count = client.recv_into(buffer)
        if not count:
            break
        received += count
    elapsed = time.perf_counter() - start
    sender.join()
    client.close()
    return len(PLAIN) / elapsed / 1e6, len(data) / elapsed / 1e6


def latency(game, proxy):
    client, game_side = open_through(game, proxy)
    lines = [line for line in LINES if line.strip()]
    samples = []
    for i in range(LATENCY_LINES):
        line = lines[i % len(lines)]
        start = time.perf_counter()
        game_side.sendall(line)
        data = b""
        while not data.endswith(b"\n"):
            data += client.recv(65536)
        samples.append((time.perf_counter() - start) * 1e6)
    client.close()
    game_side.close()
    samples.sort()
    return samples[len(samples) // 2], samples[int(len(samples) * 0.99)]


def main():
    game = FakeGame()
    rows = []
    for name, extra in [("no proxy", None), ("relay (--off)", ["--off"]), ("brawlhue-proxy", [])]:
        proxy = None if extra is None else Proxy(game.address, *extra)
        try:
            plain = max(throughput(game, proxy, False)[0] for _ in range(3))
            # Without the proxy nobody inflates: no compressed figure.
            inflated, wire = (max(throughput(game, proxy, True) for _ in range(3))
                              if proxy is not None else (float("nan"), float("nan")))
            p50, p99 = latency(game, proxy)
            rows.append((name, plain, inflated, wire, p50, p99))
        finally:
            if proxy is not None:
                proxy.stop()
                proxy.close()
    game.close()
    print("brawlhue-proxy, one connection on loopback, %.0f MB of the sample session"
          % (len(PLAIN) / 1e6))
    print("%-16s %12s %18s %14s %9s %9s" % ("", "plain MB/s", "compressed MB/s", "(wire MB/s)",
                                           "p50 us", "p99 us"))
    for name, plain, inflated, wire, p50, p99 in rows:
        print("%-16s %12.1f %18.1f %14.1f %9.1f %9.1f" % (name, plain, inflated, wire, p50, p99))
    relay, proxy = rows[1], rows[2]
    print("colouring's cost over the relay: plain %+.0f%%, compressed %+.0f%% of the time; "
          "added line latency p50 %+.1f us, p99 %+.1f us"
          % ((relay[1] / proxy[1] - 1) * 100, (relay[2] / proxy[2] - 1) * 100,
             proxy[4] - relay[4], proxy[5] - relay[5]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
