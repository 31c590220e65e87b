"""Plays scripted game lines into a real Mudlet (tools/mudlet/build, tools/mudlet/drive), straight
from the fake game or through brawlhue-proxy, and reads back what Mudlet shows.

The fake game sends its lines as soon as Mudlet connects, then reads what Mudlet sends. A typed
command is followed by `sync-N`, sent unseen, which the game answers with a line of its own: once
that line is shown, whatever answered the command before it (the package at once, or the proxy
before it passed `sync-N` on) is shown too."""

import json
import os
import subprocess
import sys
import tempfile
import threading

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "proxy", "tests"))
for variable, default in [("BRAWLHUE_PROXY", "build/bin/brawlhue-proxy"),
                          ("BRAWLHUE_COMMAND", "build/bin/brawlhue"),
                          ("BRAWLHUE_SESSION_LOG", "examples/session.log")]:
    os.environ.setdefault(variable, os.path.join(ROOT, default))

from proxy_harness import GA, IAC, FakeGame, Proxy  # noqa: E402  (needs the defaults above)

SOURCES = os.environ.get("MUDLET_SOURCES", os.path.join(ROOT, "..", "shared", "mudlet"))
BUILD = os.path.join(ROOT, "tools", "mudlet", "build")
DRIVE = os.path.join(ROOT, "tools", "mudlet", "drive")
LAST_LINE = "The game waits for your command."
WAIT = 120  # seconds: Mudlet's start under a loaded machine, and the template's first making


def mudlet_binary():
    """(path of the built Mudlet, None), or (None, why the tests that need it are skipped).
    BRAWLHUE_MUDLET names a Mudlet already built by tools/mudlet/build."""
    if os.environ.get("BRAWLHUE_MUDLET"):
        return os.environ["BRAWLHUE_MUDLET"], None
    env = dict(os.environ, MUDLET_SOURCES=SOURCES)
    done = subprocess.run([BUILD], env=env, capture_output=True, text=True)
    if done.returncode == 3:
        return None, ("no Mudlet sources in %s: set MUDLET_SOURCES to a folder holding "
                      "mudlet-4.18.5-source.tar.xz and the three Lua modules' tarballs" % SOURCES)
    if done.returncode != 0:
        raise AssertionError("tools/mudlet/build failed:\n" + done.stderr[-3000:])
    return done.stdout.strip().splitlines()[-1], None


def sync_marker(number):
    return "sync-%d" % number


def sync_answer(number):
    return "The game has read %s." % sync_marker(number)


class ScriptedGame:
    """The fake game for one Mudlet run: on connection it sends its chunks of bytes, then keeps
    everything it receives and answers each `sync-N` line."""

    def __init__(self, chunks):
        self.game = FakeGame()
        self.chunks = chunks
        self.received = bytearray()
        self.error = None
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    @property
    def address(self):
        return self.game.address

    @property
    def port(self):
        return self.game.port

    def serve(self):
        try:
            sock = self.game.accept(timeout=WAIT)
            with sock:
                for chunk in self.chunks:
                    sock.sendall(chunk)
                sock.settimeout(WAIT)
                pending = b""
                while True:
                    data = sock.recv(65536)
                    if not data:
                        break
                    self.received += data
                    pending += data
                    *lines, pending = pending.split(b"\n")
                    for line in lines:
                        text = line.strip(b"\r").decode("utf-8", "replace")
                        if text.startswith("sync-"):
                            sock.sendall(b"The game has read %s.\r\n" % text.encode())
        except OSError as error:  # Mudlet reset the connection as it quit, or never came
            self.error = error

    def close(self):
        self.thread.join(WAIT)
        self.game.close()


def play(mudlet, chunks, commands=(), through_proxy=False, package=None, profile_dir=None,
         lua=(), proxy_options=(), screenshot=None):
    """One Mudlet run: the fake game sends chunks, then each command is typed and synced.
    Returns (the shown lines as [{"text", "runs"}], the bytes the game received)."""
    game = ScriptedGame(chunks)
    proxy = None
    try:
        port = game.port
        if through_proxy:
            proxy = Proxy(game.address, *proxy_options)
            port = proxy.port
        with tempfile.TemporaryDirectory(prefix="brawlhue-mudlet-run-") as folder:
            out = os.path.join(folder, "shown.json")
            args = [DRIVE, "--mudlet", mudlet, "--port", str(port), "--out", out,
                    "--wait-for", LAST_LINE]
            if package:
                args += ["--package", package]
            if profile_dir:
                args += ["--profile-dir", profile_dir]
            for code in lua:
                args += ["--lua", code]
            if screenshot:
                args += ["--screenshot", screenshot]
            for number, command in enumerate(commands):
                args += ["--type", command, "--send", sync_marker(number),
                         "--wait-for", sync_answer(number)]
            done = subprocess.run(args, capture_output=True, text=True, timeout=WAIT * 3)
            if done.returncode != 0:
                raise AssertionError("the Mudlet run failed:\n%s%s" % (
                    done.stderr, "\nproxy's log:\n" + proxy.log() if proxy else ""))
            with open(out, encoding="utf-8") as f:
                shown = json.load(f)["lines"]
    finally:
        if proxy:
            proxy.stop()
            proxy.close()
        game.close()
    return shown, bytes(game.received)


def prompt_with_ga(prompt):
    return prompt.encode() + bytes([IAC, GA])
