"""brawlhue-proxy between a fake game server and a raw client, on loopback: the sample session
delivered every way, compressed and over TLS; the command and the state file; faults."""

import os
import random
import re
import socket
import subprocess
import tempfile
import threading
import time
import unittest
import zlib

from proxy_harness import (DO, GA, IAC, LIMIT, MCCP2, PROXY, RUNNER, SB, SE, WILL, FakeGame,
                           Proxy, brawlhue, is_closed, make_certificates, read_exactly, read_line,
                           read_to_end, read_to_game_close, read_until, server_tls_context, session_lines)

PROMPT = re.compile(rb"^[*o] HP:\S+ SP:\S+ MV:\S+ > ")
RESET = b"\x1b[0m"
HOLD = "10000"  # no unfinished line is sent by the clock: the bytes are exactly brawlhue's
LINES = session_lines()
SESSION = b"".join(LINES)
EXPECTED = brawlhue(SESSION)
COMBAT = b"You slash a Trolloc's body very hard.\r\n"
MCCP2_START = bytes([IAC, SB, MCCP2, IAC, SE])


def whole(data):
    return [data]


def per_line(data):
    return data.splitlines(keepends=True)


def byte_by_byte(data):
    return [data[i:i + 1] for i in range(len(data))]


def split_lines_at(offset):
    def split(data):
        pieces = []
        for line in data.splitlines(keepends=True):
            pieces += [line[:offset], line[offset:]]
        return [p for p in pieces if p]
    return split


def open_session(proxy, game):
    """A client connected through the proxy, its banner line, and the game's side."""
    client = proxy.connect()
    game_side = game.accept()  # with TLS, the banner comes after the handshake
    return client, read_line(client), game_side


def play_whole_session(test, proxy, game):
    """The sample session, sent whole, reaches the client as brawlhue colours it, and the proxy
    then stops in order. Returns the banner."""
    try:
        client, banner, game_side = open_session(proxy, game)
        game_side.sendall(SESSION)
        game_side.close()
        test.assertEqual(read_to_game_close(client), EXPECTED)
        return banner
    finally:
        test.assertEqual(proxy.stop(), 0, proxy.log())
        proxy.close()
        game.close()


def start_compression(game_side):
    """Offers MCCP2 and waits for the proxy to accept it."""
    game_side.sendall(bytes([IAC, WILL, MCCP2]))
    read_until(game_side, bytes([IAC, DO, MCCP2]))


def send_in_background(sock, pieces):
    def send():
        try:
            for piece in pieces:
                sock.sendall(piece)
        except OSError:
            pass
    thread = threading.Thread(target=send, daemon=True)
    thread.start()
    return thread


class Deliveries(unittest.TestCase):
    """The sample session through one proxy every way the network can cut it; the client gets
    exactly the bytes that brawlhue writes for the same lines."""

    def setUp(self):
        self.game = FakeGame()
        self.proxy = Proxy(self.game.address, "--hold-ms", HOLD)

    def tearDown(self):
        self.assertIsNone(self.proxy.process.poll(), self.proxy.log())
        self.assertEqual(self.proxy.stop(), 0, self.proxy.log())
        self.proxy.close()
        self.game.close()

    def deliver(self, pieces, compressed_lines=0):
        """Sends the session; the first compressed_lines lines inside an MCCP2 stream that ends
        mid-piece, the rest plain behind it in the same piece."""
        client, banner, game_side = open_session(self.proxy, self.game)
        self.assertIn(b"colouring on", banner)
        data = SESSION
        if compressed_lines:
            start_compression(game_side)
            head = b"".join(LINES[:compressed_lines])
            deflate = zlib.compressobj()
            data = (MCCP2_START + deflate.compress(head) + deflate.flush(zlib.Z_FINISH) +
                    SESSION[len(head):])
        for piece in pieces(data):
            game_side.sendall(piece)
        game_side.close()
        received = read_to_game_close(client)
        client.close()
        return received

    def test_every_chunking_plain_and_compressed(self):
        table = [("whole", whole), ("per line", per_line), ("byte by byte", byte_by_byte)]
        for name, pieces in table:
            for compressed_lines in (0, 40):
                with self.subTest(name, compressed_lines=compressed_lines):
                    self.assertEqual(self.deliver(pieces, compressed_lines), EXPECTED)

    def test_lines_split_at_every_offset(self):
        for offset in range(1, max(len(line) for line in LINES)):
            with self.subTest(offset=offset):
                self.assertEqual(self.deliver(split_lines_at(offset), offset % 3 * 20), EXPECTED)

    def test_ga_prompts_are_sent_at_once(self):
        """Each prompt is sent with GA and the game waits: the prompt must reach the client in
        one read while the rest of its line is not sent yet (the hold time is 10 s). When the
        message completes the line, the colour comes as brawlhue gives it, behind the prompt
        already shown."""
        client, _, game_side = open_session(self.proxy, self.game)
        expected = bytearray()
        received = bytearray()
        for line, coloured in zip(LINES, EXPECTED.splitlines(keepends=True)):
            prompt = PROMPT.match(line)
            if not prompt:
                game_side.sendall(line)
                expected += coloured
                continue
            prompt = prompt.group(0) + bytes([IAC, GA])
            received += read_exactly(client, len(expected) - len(received))
            game_side.sendall(prompt)
            self.assertEqual(client.recv(65536), prompt)  # one read, nothing held back
            received += prompt
            game_side.sendall(line[len(prompt) - 2:])
            expected += prompt
            if coloured == line:
                expected += line[len(prompt) - 2:]
            else:
                self.assertTrue(coloured.startswith(RESET + prompt[:-2]))
                expected += RESET + coloured[len(RESET) + len(prompt) - 2:]
        game_side.close()
        received += read_to_game_close(client)
        self.assertEqual(bytes(received), bytes(expected))


class Tls(unittest.TestCase):
    """The game over TLS with an authority made for the run: verified and relayed; a name that
    the certificate does not carry, or an authority the proxy does not trust, gives the client
    one line and a close, never a plain connection."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.ca, pem, key = make_certificates(cls.folder.name)
        cls.context = server_tls_context(pem, key)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_verified_session(self):
        game = FakeGame(tls_context=self.context)
        proxy = Proxy("localhost:%d" % game.port, "--tls", "--ca", self.ca, "--hold-ms", HOLD)
        banner = play_whole_session(self, proxy, game)
        self.assertIn(b"TLS", banner)

    def test_refused_certificates(self):
        table = [("name not in the certificate", "127.0.0.1", ["--ca", self.ca]),
                 ("authority not trusted", "localhost", [])]
        for name, host, extra in table:
            with self.subTest(name):
                game = FakeGame(tls_context=self.context)
                proxy = Proxy("%s:%d" % (host, game.port), "--tls", *extra)
                try:
                    client = proxy.connect()
                    accepting = threading.Thread(target=self.accept_quietly, args=(game,))
                    accepting.start()
                    reply = read_to_end(client)
                    accepting.join(LIMIT)
                    self.assertRegex(reply, rb"^brawlhue-proxy: cannot connect to .*certificate.*\r?\n$")
                finally:
                    self.assertEqual(proxy.stop(), 0, proxy.log())
                    proxy.close()
                    game.close()

    @staticmethod
    def accept_quietly(game):
        try:
            game.accept().close()
        except OSError:
            pass  # the handshake the proxy broke off


class CommandAndState(unittest.TestCase):
    """#brawlhue typed in the client, and the flag kept per game in the state file: saved when,
    and only when, the player's #brawlhue on|off changes it."""

    HEADER = "# brawlhue-proxy: colouring True (on) or False (off) for each game address\n"

    def setUp(self):
        self.game = FakeGame()
        self.state_dir = tempfile.TemporaryDirectory()
        self.state = os.path.join(self.state_dir.name, "state", "proxy-state")

    def tearDown(self):
        self.game.close()
        self.state_dir.cleanup()

    def stored(self):
        with open(self.state) as f:
            return f.read()

    def stored_once_stopped(self, proxy):
        """The file's text, or None, once the proxy has stopped: its last save is done."""
        try:
            self.assertEqual(proxy.stop(), 0, proxy.log())
        finally:
            proxy.close()
        return self.stored() if os.path.exists(self.state) else None

    def wait_stored(self, expected):
        """The file's text once it is expected: saving is not the io thread's, so it may lag
        the command's answer a little."""
        deadline = time.monotonic() + LIMIT
        while time.monotonic() < deadline:
            if os.path.exists(self.state) and self.stored() == expected:
                return
            time.sleep(0.01)
        self.assertEqual(self.stored() if os.path.exists(self.state) else None, expected)

    def test_off_holds_across_reconnects_and_restarts(self):
        entry = "%s %%s\n" % self.game.address
        proxy = Proxy(self.game.address, state=self.state)
        try:
            client, banner, game_side = open_session(proxy, self.game)
            self.assertIn(b"colouring on", banner)
            self.assertFalse(os.path.exists(self.state), "nothing changed, nothing written")
            client.sendall(b"#brawlhue off\r\n")
            read_until(client, b"Brawlhue has been disabled.")
            self.wait_stored(self.HEADER + entry % "False")
            game_side.sendall(COMBAT)
            self.assertEqual(read_until(client, COMBAT).lstrip(b"\r\n"), COMBAT)
            client.sendall(b"kill boar\r\n")
            self.assertEqual(read_until(game_side, b"\r\n"), b"kill boar\r\n")
            client.close()
            self.assertTrue(is_closed(game_side))
        finally:
            self.assertEqual(proxy.stop(), 0, proxy.log())
            proxy.close()

        proxy = Proxy(self.game.address, state=self.state)
        try:
            client, banner, game_side = open_session(proxy, self.game)
            self.assertIn(b"colouring off", banner)
            client.sendall(b"#brawlhue on\r\n")
            read_until(client, b"Brawlhue has been enabled.")
            game_side.sendall(COMBAT)
            read_until(client, brawlhue(COMBAT))
            client.sendall(b"#BRAWLHUE STATUS\r\n")
            read_until(client, b"Brawlhue: Enabled.")
            client.sendall(b"#brawlhue off\r\n")
            read_until(client, b"Brawlhue has been disabled.")
            # SIGTERM while the client is still connected: told, saved, closed, exit status 0.
            self.assertEqual(proxy.stop(), 0, proxy.log())
            self.assertTrue(read_to_end(client).endswith(
                b"brawlhue-proxy: the proxy is stopping.\r\n"), proxy.log())
            self.assertEqual(self.stored(), self.HEADER + entry % "False")
        finally:
            proxy.close()

    def test_only_the_players_choice_is_saved(self):
        """Sessions opened (o), given a command (t) and closed (c) in turn: what the file holds
        after the proxy has stopped."""
        game = self.game.address
        table = [
            # --off starts this run off and leaves the saved choice, and the comments, alone.
            ("--off", ["--off"], "# mine\n%s True\n" % game, [("o", 0), ("c", 0)],
             "# mine\n%s True\n" % game),
            # One session closing never undoes another's choice.
            ("one closing", [], None,
             [("o", 0), ("o", 1), ("t", 0, b"#brawlhue off"), ("c", 0), ("c", 1)],
             self.HEADER + "%s False\n" % game),
            # Two sessions changing it leave the later choice.
            ("later choice", [], None,
             [("o", 0), ("o", 1), ("t", 0, b"#brawlhue off"), ("t", 1, b"#brawlhue on"),
              ("c", 1), ("c", 0)],
             self.HEADER + "%s True\n" % game),
            # A choice that changes nothing writes nothing; other lines stay as they were.
            ("no change", [], "#a\n\nother:1 False\n%s True\n" % game,
             [("o", 0), ("t", 0, b"#brawlhue on"), ("c", 0)],
             "#a\n\nother:1 False\n%s True\n" % game),
            ("comments kept", [], "#a\n\nother:1 False\n%s True\n" % game,
             [("o", 0), ("t", 0, b"#brawlhue off"), ("c", 0)],
             "#a\n\nother:1 False\n%s False\n" % game),
        ]
        answers = {b"#brawlhue off": b"Brawlhue has been disabled.",
                   b"#brawlhue on": b"Brawlhue has been enabled."}
        for name, extra, before, steps, after in table:
            with self.subTest(name):
                if os.path.exists(self.state):
                    os.remove(self.state)
                if before is not None:
                    os.makedirs(os.path.dirname(self.state), exist_ok=True)
                    with open(self.state, "w") as f:
                        f.write(before)
                proxy = Proxy(game, *extra, state=self.state)
                sessions = {}
                try:
                    for step in steps:
                        if step[0] == "o":
                            sessions[step[1]] = open_session(proxy, self.game)
                        elif step[0] == "t":
                            client = sessions[step[1]][0]
                            client.sendall(step[2] + b"\r\n")
                            read_until(client, answers[step[2]])
                        else:
                            client, _, game_side = sessions.pop(step[1])
                            client.close()
                            self.assertTrue(is_closed(game_side))
                finally:
                    stored = self.stored_once_stopped(proxy)
                self.assertEqual(stored, after)

    def test_palette_and_tags_kept_per_game(self):
        """Proxy runs in turn on one state file: '#brawlhue palette NAME' and 'tags on|off' are
        answered as the plug-in answers them, and the lines after them come out as brawlhue
        colours them with --palette and --tags. Each choice is kept for the game across restarts
        and wins over the proxy's --palette and --tags, which serve a game with none saved."""
        colourblind_tagged = ["--palette", "colourblind", "--tags"]
        saved = self.HEADER + "#brawlhue-appearance %s %%s\n" % self.game.address
        table = [
            # (the proxy's options, typed and answered, brawlhue's options, the file after)
            (colourblind_tagged, [], colourblind_tagged, None),
            (colourblind_tagged, [(b"#brawlhue tags off", b"Brawlhue: Spoken tags off.")],
             ["--palette", "colourblind"], saved % "tags=off"),
            ([], [], [], saved % "tags=off"),
            (["--tags"], [(b"#brawlhue palette COLOURBLIND", b"Brawlhue: Palette colourblind in use."),
                          (b"#Brawlhue tags on", b"Brawlhue: Spoken tags on.")],
             colourblind_tagged, saved % "tags=on palette=colourblind"),
            (["--palette", "classic"],
             [(b"#brawlhue palette", b"Brawlhue: Palettes: classic, colourblind (in use)."),
              (b"#brawlhue tags", b"Brawlhue: Spoken tags are on; use '#brawlhue tags on' or "
                                  b"'#brawlhue tags off'."),
              (b"#brawlhue palette sepia",
               b"Brawlhue: Unknown palette. Palettes: classic, colourblind."),
              (b"#brawlhue status", b"Brawlhue: Enabled.")],
             colourblind_tagged, saved % "tags=on palette=colourblind"),
        ]
        for run, (options, typed, coloured_as, after) in enumerate(table):
            with self.subTest(run=run, options=options):
                proxy = Proxy(self.game.address, *options, state=self.state)
                try:
                    client, banner, game_side = open_session(proxy, self.game)
                    self.assertIn(b"colouring on", banner)
                    for command, answer in typed:
                        client.sendall(command + b"\r\n")
                        self.assertEqual(read_until(client, answer + b"\r\n\r\n"),
                                         b"\r\n" + answer + b"\r\n\r\n")
                    game_side.sendall(SESSION)
                    expected = brawlhue(SESSION, options=coloured_as)
                    self.assertEqual(read_exactly(client, len(expected)), expected)
                    client.close()
                    self.assertTrue(is_closed(game_side))
                finally:
                    stored = self.stored_once_stopped(proxy)
                self.assertEqual(stored, after)

    def test_a_corrupt_state_file(self):
        """Moved aside under a name with a readable time, never overwritten; the player is told
        the saved choices were reset, and the session runs with colouring on."""
        os.makedirs(os.path.dirname(self.state))
        content = b"this is no state file\n"
        with open(self.state, "wb") as f:
            f.write(content)
        proxy = Proxy(self.game.address, state=self.state)
        try:
            client, banner, game_side = open_session(proxy, self.game)
            self.assertIn(b"colouring on", banner)
            self.assertIn(b"brawlhue-proxy: the saved colouring choices were reset: the state "
                          b"file is corrupt at line 1", read_line(client))
            game_side.sendall(COMBAT)
            read_until(client, brawlhue(COMBAT))
            client.sendall(b"#brawlhue off\r\n")
            read_until(client, b"Brawlhue has been disabled.")
            game_side.sendall(COMBAT)
            read_until(client, COMBAT)
            client.close()
            self.assertTrue(is_closed(game_side))
        finally:
            self.assertEqual(proxy.stop(), 0, proxy.log())
            log = proxy.log()
            proxy.close()
        self.assertIn("state file " + self.state, log)
        folder = os.path.dirname(self.state)
        aside = [n for n in os.listdir(folder) if ".bad-" in n]
        self.assertEqual(len(aside), 1)
        self.assertRegex(aside[0], r"^proxy-state\.bad-\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d$")
        with open(os.path.join(folder, aside[0]), "rb") as f:
            self.assertEqual(f.read(), content)
        self.assertEqual(self.stored(), self.HEADER + "%s False\n" % self.game.address)

    def test_places_that_cannot_hold_the_file(self):
        """Refused at start with one line and status 2, and left as they were."""
        folder = os.path.join(self.state_dir.name, "a folder")
        os.makedirs(os.path.join(folder, "inside"))
        table = [(folder, "is a directory"),
                 ("/dev/null", "is not a regular file"),
                 ("/dev/null/proxy-state", "cannot have its folder /dev/null")]
        for path, why in table:
            with self.subTest(path):
                args = [PROXY, "--connect", self.game.address, "--listen", "127.0.0.1:0",
                        "--state", path]
                done = subprocess.run(([RUNNER] if RUNNER else []) + args, capture_output=True,
                                      timeout=LIMIT * 3)
                self.assertEqual(done.returncode, 2, done.stderr)
                lines = done.stderr.decode().strip().splitlines()
                self.assertEqual(len(lines), 1, lines)
                self.assertTrue(lines[0].startswith(
                    "brawlhue-proxy: state file %s %s" % (path, why)), lines[0])
        self.assertEqual(os.listdir(folder), ["inside"])


class Listening(unittest.TestCase):
    def test_ipv6_both_ways(self):
        game = FakeGame("::1")
        play_whole_session(self, Proxy(game.address, "--hold-ms", HOLD, listen="[::1]:0"), game)

    def test_help_and_version(self):
        """Each in its long and its short form."""
        table = [("--help", rb"^usage: brawlhue-proxy --connect HOST:PORT"), ("-h", rb"^usage: "),
                 ("--version", rb"^brawlhue-proxy \d+\.\d+\.\d+\r?\n$"),
                 ("-V", rb"^brawlhue-proxy \d+\.\d+\.\d+\r?\n$")]
        for option, shown in table:
            with self.subTest(option):
                done = subprocess.run(([RUNNER] if RUNNER else []) + [PROXY, option],
                                      capture_output=True, timeout=LIMIT * 3)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertRegex(done.stdout, shown)

    def test_a_game_that_cannot_be_looked_up(self):
        """Warned of at start, and served anyway: the network may come up later."""
        proxy = Proxy("no-such-host.invalid:4000")
        try:
            self.assertIn("warning: no-such-host.invalid:4000 cannot be looked up now", proxy.log())
        finally:
            self.assertEqual(proxy.stop(), 0, proxy.log())
            proxy.close()

    def test_refusals(self):
        """No open relay by accident, and a game that is not there."""
        game = FakeGame()
        port = game.port
        game.close()  # nothing listens there now
        table = [("0.0.0.0:0", [], rb"refusing to listen"),
                 ("127.0.0.1:0", ["--no-such-option"], rb"unknown option")]
        for listen, extra, message in table:
            with self.subTest(listen=listen, extra=extra):
                with self.assertRaises(AssertionError) as failure:
                    Proxy("127.0.0.1:%d" % port, *extra, listen=listen)
                self.assertRegex(str(failure.exception).encode(), message)
        proxy = Proxy("127.0.0.1:%d" % port)
        try:
            client = proxy.connect()
            self.assertRegex(read_to_end(client),
                             rb"^brawlhue-proxy: cannot connect to 127.0.0.1:\d+: .*\r?\n$")
        finally:
            self.assertEqual(proxy.stop(), 0, proxy.log())
            proxy.close()


class Faults(unittest.TestCase):
    """Each fault on its own connection of one proxy, which must go on serving the others:
    after every fault a fresh session gets the sample session exactly."""

    def setUp(self):
        self.game = FakeGame()
        self.proxy = Proxy(self.game.address, "--hold-ms", HOLD)

    def tearDown(self):
        self.assertEqual(self.proxy.stop(), 0, self.proxy.log())
        self.proxy.close()
        self.game.close()

    def assert_still_serving(self):
        self.assertIsNone(self.proxy.process.poll(), self.proxy.log())
        client, _, game_side = open_session(self.proxy, self.game)
        game_side.sendall(SESSION)
        game_side.close()
        self.assertEqual(read_to_game_close(client), EXPECTED)

    def test_game_closes_early(self):
        """What arrived is delivered, nothing doubled, then the client is closed."""
        first = brawlhue(LINES[0])
        deflate = zlib.compressobj()
        compressed = deflate.compress(SESSION) + deflate.flush(zlib.Z_SYNC_FLUSH)
        table = [("mid-line", False, LINES[0] + COMBAT[:20], first + COMBAT[:20] + b"\r\n"),
                 ("mid-IAC", False, LINES[0] + bytes([IAC]), first + bytes([IAC])),
                 ("mid-subnegotiation", False, LINES[0] + bytes([IAC, SB, 201]) + b"abc",
                  first + bytes([IAC, SB, 201]) + b"abc"),
                 ("mid-compressed-block", True, compressed[:len(compressed) // 2], None)]
        for name, compress, sent, expected in table:
            with self.subTest(name):
                client, _, game_side = open_session(self.proxy, self.game)
                if compress:
                    start_compression(game_side)
                    sent = MCCP2_START + sent
                game_side.sendall(sent)
                game_side.close()
                received = read_to_game_close(client)
                if expected is None:  # what was inflated: the session's start, then at most
                    common = os.path.commonprefix([received, EXPECTED])  # one line of its own
                    self.assertGreaterEqual(len(common), len(first), received[:300])
                    self.assertLessEqual(received[len(common):].count(b"\n"), 1, received)
                else:
                    self.assertEqual(received, expected)
        self.assert_still_serving()

    def test_corrupt_compressed_stream(self):
        client, _, game_side = open_session(self.proxy, self.game)
        start_compression(game_side)
        deflate = zlib.compressobj()
        good = deflate.compress(LINES[0]) + deflate.flush(zlib.Z_SYNC_FLUSH)
        # The good line and the damage in one piece: the line still comes out, then one more.
        game_side.sendall(MCCP2_START + good + bytes(range(256)) * 8)
        received = read_to_end(client)
        self.assertEqual(received[:len(LINES[0])], LINES[0])
        self.assertEqual(received[len(LINES[0]):].count(b"\n"), 1, received)
        self.assertTrue(is_closed(game_side))
        self.assert_still_serving()

    def test_huge_line_and_subnegotiation(self):
        """A 1 MiB line and a 10 MiB subnegotiation pass whole; the lines behind them are still
        coloured."""
        line = b"A" * (1 << 20) + b"\r\n"
        subnegotiation = bytes([IAC, SB, 201]) + b"s" * (10 << 20) + bytes([IAC, SE])
        for name, item in [("1 MiB line", line), ("10 MiB subnegotiation", subnegotiation)]:
            with self.subTest(name):
                client, _, game_side = open_session(self.proxy, self.game)
                sender = send_in_background(game_side, [item[i:i + 65536]
                                                        for i in range(0, len(item), 65536)]
                                            + [COMBAT])
                received = read_until(client, brawlhue(COMBAT), limit=60)
                sender.join(LIMIT)
                self.assertEqual(received, item + brawlhue(COMBAT))
                client.close()
                game_side.close()
        self.assert_still_serving()

    def test_client_vanishes_mid_write(self):
        client, _, game_side = open_session(self.proxy, self.game)
        sender = send_in_background(game_side, [SESSION] * 2000)
        read_until(client, LINES[0][:10])
        client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        client.close()  # a reset, with the proxy mid-write
        self.assertTrue(is_closed(game_side))
        sender.join(LIMIT)
        self.assert_still_serving()

    def test_client_that_never_reads(self):
        """The proxy stops reading the game and its memory stays within the bound."""
        client, _, game_side = open_session(self.proxy, self.game)
        before = self.proxy.memory_kib()
        game_side.settimeout(2.0)
        sent = 0
        deadline = time.monotonic() + LIMIT
        try:
            while time.monotonic() < deadline and sent < (256 << 20):
                sent += game_side.send(SESSION * 64)
        except socket.timeout:
            pass  # the proxy no longer reads the game: backpressure
        self.assertLess(sent, 256 << 20, "the proxy read the game while the client read nothing")
        # The kernel's socket buffers on both sides take a few MiB; the proxy holds little.
        growth = self.proxy.memory_kib() - before
        if not os.environ.get("BRAWLHUE_SANITIZED"):
            self.assertLess(growth, 2048, "memory grew by %d KiB" % growth)
        self.assert_still_serving()
        client.close()
        game_side.close()

    def test_random_bytes_both_ways(self):
        generator = random.Random(11)
        client, _, game_side = open_session(self.proxy, self.game)
        noise = bytes(generator.getrandbits(8) for _ in range(1 << 20))
        sender = send_in_background(game_side, [noise[i:i + 4096]
                                                for i in range(0, len(noise), 4096)])
        typed = send_in_background(client, [bytes(generator.getrandbits(8) for _ in range(4096))
                                            for _ in range(16)])
        typed.join(LIMIT)
        sender.join(LIMIT)
        game_side.close()
        self.assertTrue(is_closed(client))
        self.assert_still_serving()

    def test_two_hundred_clients_at_once(self):
        """Each client's words reach its own game connection and come back to it alone."""
        clients = [self.proxy.connect() for _ in range(200)]
        for client in clients:
            read_line(client)
        game_sides = [self.game.accept() for _ in clients]
        for number, client in enumerate(clients):
            client.sendall(b"say %d\r\n" % number)
        for game_side in game_sides:
            typed = read_until(game_side, b"\r\n")
            game_side.sendall(b"echo " + typed)
        for number, client in enumerate(clients):
            self.assertEqual(read_until(client, b"\r\n"), b"echo say %d\r\n" % number)
        for client in clients:
            client.close()
        for game_side in game_sides:
            self.assertTrue(is_closed(game_side))
            game_side.close()
        self.assert_still_serving()


if __name__ == "__main__":
    unittest.main()
