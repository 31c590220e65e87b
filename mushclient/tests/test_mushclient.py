"""The MUSHclient plugin in a real MUSHclient 5.06, against what the same MUSHclient shows through
brawlhue-proxy: one table of game writes played both ways must show identically, line by line
and style run by style run (foreground, background, bold flag), and so must the answers to
#brawlhue typed for real, with speed walking on and off, and the table played again in the
colourblind palette with spoken tags, chosen by commands. Also: the command never reaches the
game, the choices survive a restart with the same world, a compressed game, engine failures
that lose no line, and the table's bytes cut at random and chosen points (the game compressed),
ending with a disconnect while a piece is held.

Run by mushclient/tests/check, which finds the install and runs this where 32-bit Windows
programs run; it ends on one line "check-mushclient: N passed, N failed"."""

import os
import random
import shutil
import sys
import tempfile
import time
import unittest

from mushclient_harness import (DO, GA, IAC, MCCP2, SLOWNESS, Client, Display, Game, Proxy,
                                ensure_prefix, lua_string, stop_wine)

PLUGIN = os.environ.get("BRAWLHUE_MUSHCLIENT_PLUGIN", "")
SESSION_LOG = os.environ.get("BRAWLHUE_SESSION_LOG", "")

FIRST_LINE = "Welcome to the fake game."
LAST_LINE = "The fake game's table ends here."
PROMPT = "* HP:Healthy SP:Full MV:Fresh > "
# Two lines the broken engines of the failure test trip over; elsewhere they are plain hits.
FAULT_MARK = "Draghkar"  # its decision raises
BROKEN_MARK = "Myrddraal"  # its decision returns what the plugin cannot write
PAUSE = 0.6  # seconds, longer than the proxy's hold of an unfinished line (20 ms)


def session_writes():
    with open(SESSION_LOG, "rb") as f:
        return [line.rstrip(b"\r\n") + b"\r\n" for line in f.read().splitlines()]


def prompt_with_ga(prompt=PROMPT):
    return prompt.encode() + bytes([IAC, GA])


# What the game sends, one write per item (a number is a pause): the sample session, prompts
# ended by GA with the message written after them, a prompt without GA left waiting, lines the
# game coloured (and a colour it leaves on), other line ends, text beyond ASCII and the BMP,
# lines cut by a pause, and the two lines of the failure test, each a packet of its own.
TABLE = ([(FIRST_LINE + "\r\n").encode()] + session_writes() + [
    prompt_with_ga(), b"You slash a Trolloc's body very hard.\r\n",
    prompt_with_ga(), b"Lan says 'They flank us.'\r\n",
    prompt_with_ga(), prompt_with_ga(), b"A Trolloc fails to hit you.\r\n",
    prompt_with_ga("o HP:Hurt SP:Full MV:Tired > "), b"\r\n",
    PROMPT.encode(), PAUSE, b"A Trolloc slashes your left leg hard.\r\n",
    PROMPT[:9].encode(), PAUSE, PROMPT[9:].encode() +
    b"You dodge a bash from a Trolloc who loses its balance and falls!\r\n",
    b"You slash a Tro", PAUSE, b"lloc's body very hard.\r\n",
    b"\x1b[31mYou slash a Trolloc's body very hard.\x1b[0m\r\n",
    b"You slash \x1b[1;33ma Trolloc\x1b[0m's body very hard.\r\n",
    b"\x1b[32mLan says 'Green words.'\x1b[0m\r\n",
    b"\x1b[1;36;40mYou pierce a Trolloc's right arm, drawing black blood.\x1b[0m\r\n",
    b"\x1b[33mThe sky turns yellow.\r\n",
    (PROMPT + "You slash a Trolloc's body very hard.\r\n").encode(),
    b"The sky stays yellow.\r\n", b"\x1b[0mThe colours are plain again.\r\n",
    b"A Trolloc fails to hit you.\n", b"You slash a Trolloc's body very hard.\n\r",
    "You slash Élaida's body very hard.\r\n".encode(),
    "Moiraine says 'Ça va? 日本語 😀'\r\n".encode(),
    (PROMPT + "You slash a Trolloc 😀's body very hard.\r\n").encode(),
    ("You slash a %s's body very hard.\r\n" % FAULT_MARK).encode(),
    PAUSE, ("You slash a %s's body very hard.\r\n" % BROKEN_MARK).encode(), PAUSE,
    b"A Trolloc tries to hit you, but you dodge the attack.\r\n",
    (LAST_LINE + "\r\n").encode(),
])
# In a list of commands: the game plays its table again.
REPLAY = None
COMMANDS = ["#brawlhue help", "#brawlhue status", "#brawlhue off", "#brawlhue status",
            "#BRAWLHUE On", "#brawlhue nonsense", "#brawlhue status",
            "#brawlhue palette", "#brawlhue Palette ColourBlind", "#brawlhue palette",
            "#brawlhue palette rainbow", "#brawlhue tags", "#brawlhue TAGS on", "#brawlhue tags",
            "#brawlhue tags maybe"]
# Each run of the plugin and the proxy: the table in the classic palette, again in colourblind
# with tags, then with colouring off.
SESSION = COMMANDS + [REPLAY, "#brawlhue off"]
# Typed with speed walking on in the plugin's run; the rest with it off.
SPEED_WALKED = 4
FAILURE_NOTE = "Brawlhue: a line was left as it came"

# The engine broken on the marked lines only, put in the plugin right behind the engine.
BREAK_ENGINE = """
do
    local decide = engine.decide
    engine.decide = function(line)
        if line:find(%s, 1, true) then
            error("boom")
        elseif line:find(%s, 1, true) then
            local row, prompt = decide(line)
            return { sequence = {} }, prompt
        end
        return decide(line)
    end
end
""" % (lua_string(FAULT_MARK), lua_string(BROKEN_MARK))


# The table's bytes cut into pieces, each write a short gap after the one before, well within a
# hold that the proxy and the plugin are both given for these runs (MUSHclient in the emulated
# machine was seen to read a piece 7 s after the one before): every line is then coloured whole
# through either. The cuts fall at random and at the places named below; the last piece ends on
# a prompt without GA, shown when the hold runs out. At "quit" the game sends a last line and
# the start of one more, then closes: the plugin holds that piece when the world is disconnected.
CUT_HOLD = 4 * SLOWNESS  # seconds
CUT_GAP = 0.05  # seconds, times the slowness
CUT_FAREWELL = b"A Trolloc slashes your left leg hard.\r\nYou slash a Tro"
CUT_COUNT = 40


def cut_writes(seed=20261210):
    table = [write for write in TABLE if isinstance(write, bytes)]
    stream = b"".join(table[:-1] + [
        b"> > > > the their whip sends you sprawling with a powerful bash!\r\n", table[-1],
        PROMPT.encode()])
    prompt_then_message = stream.index((PROMPT + "You slash a Trolloc's").encode())
    cuts = {
        stream.index(b"the their whip") + 9,  # inside a message
        prompt_then_message + 9,  # inside a prompt
        prompt_then_message + len(PROMPT),  # a prompt without GA at a packet's end
        stream.index("É".encode()) + 1,  # inside a UTF-8 character
        stream.index(b"hard.\r\n") + 6,  # between CR and LF
        stream.index(bytes([IAC, GA])) + 1,  # inside a telnet command
        stream.index(b"\x1b[1;33m") + 3,  # inside a colour sequence
    }
    cuts.update(random.Random(seed).sample(range(1, len(stream)), CUT_COUNT))
    bounds = [0] + sorted(cuts) + [len(stream)]
    writes = []
    for start, end in zip(bounds, bounds[1:]):
        writes += [stream[start:end], CUT_GAP]
    return writes[:-1]


def held_plugin(folder):
    """The plugin with the cut runs' hold."""
    with open(PLUGIN, encoding="ascii") as f:
        xml = f.read()
    hold = "local HOLD_SECONDS = 0.02"
    assert hold in xml, "the plugin's hold is not where the test looks for it"
    path = os.path.join(folder, "Brawlhue-held.xml")
    with open(path, "w", encoding="ascii", newline="") as f:
        f.write(xml.replace(hold, "local HOLD_SECONDS = %r" % CUT_HOLD))
    return path


def play_cut(client, after=0):
    """Has the game play the cut table, waits for its last prompt, then has it say farewell and
    close; every line shown after the first `after`, and how many packets MUSHclient read that
    ended inside a line."""
    client.lua("packets_ending_inside_a_line = 0 recording = true Execute('replay') return 'ok'")
    client.wait_for(LAST_LINE, limit=(CUT_COUNT * CUT_GAP + 60) * SLOWNESS, after=after)
    client.lua("return GetLineInfo(GetLinesInBufferCount(), 1) == %s or nil" % lua_string(PROMPT))
    cut_packets = int(client.lua("return packets_ending_inside_a_line"))
    client.lua("Execute('quit') return 'ok'")
    client.lua("return not IsConnected() or nil")
    client.wait_for(CUT_FAREWELL.decode().split("\n")[-1], after=after)
    return client.lines()[after:], cut_packets


def tables(lines):
    """Each showing of the table: the lines from FIRST_LINE to LAST_LINE."""
    found, start = [], None
    for number, line in enumerate(lines):
        if line.text == FIRST_LINE:
            start = number
        elif line.text == LAST_LINE and start is not None:
            found.append(lines[start:number + 1])
            start = None
    return found


def answers(lines):
    """What each command brought, its echo included, told apart by the sync markers:
    {number: lines}, the markers' own echoes left out."""
    found = {}
    start = [line.text for line in lines].index(LAST_LINE) + 1
    for number, line in enumerate(lines[start:], start):
        words = line.text.split()
        if not line.note and len(words) == 3 and words[0] == "sync" and words[2] == "done":
            found[int(words[1])] = [shown for shown in lines[start:number]
                                    if not shown.typed or not shown.text.startswith("sync ")]
            start = number + 1
    return found


def play(client, commands, speed_walk_off_at=None):
    """Waits for the table, types each command for real (or has the game play the table again
    for REPLAY), each followed by a sync marker, then has the game play the table again; every
    shown line."""
    client.wait_for(LAST_LINE)
    if speed_walk_off_at is not None:
        assert client.lua("return GetOption('enable_speed_walk')") == "1", "no speed walking"
    for number, command in enumerate(commands):
        if number == speed_walk_off_at:
            client.lua("SetOption('enable_speed_walk', 0) return 'ok'")
        if command is REPLAY:
            # The marker's echo is typed text: shown in the middle of the table, it would end
            # the line then being shown. It waits for the table's end.
            client.lua("Execute('replay') return 'ok'")
            wait_for_tables(client, 2 + commands[:number].count(REPLAY))
        else:
            client.type(command)
        client.lua("Execute('sync %d') return 'ok'" % number)
        client.wait_for("sync %d done" % number)
    client.lua("Execute('replay') return 'ok'")
    wait_for_tables(client, 2 + commands.count(REPLAY))
    return client.lines()


def wait_for_tables(client, count):
    """Until the table's last line has been shown count times (MUSHclient counts)."""
    client.lua("return count_lines(%s) >= %d or nil" % (lua_string(LAST_LINE), count))


class Runs:
    """Every MUSHclient run of the tests, made once in one Xvfb and one Wine server."""

    def __init__(self):
        # In the build folder, where what a run left can be read after it.
        runs = os.path.join(os.environ["BRAWLHUE_MUSHCLIENT_WORK"], "runs")
        shutil.rmtree(runs, ignore_errors=True)
        os.makedirs(runs)
        self.folder = tempfile.mkdtemp(prefix="brawlhue-mushclient-", dir=runs)
        ensure_prefix()
        self.display = Display(self.folder)
        self.games = []
        self.made = {}

    def game(self, **how):
        game = Game(TABLE, **how)
        self.games.append(game)
        return game

    def run(self, name, make):
        """A run shared by several tests, made once; one that failed fails each of them."""
        if name not in self.made:
            try:
                self.made[name] = (make(), None)
            except Exception as failure:  # pylint: disable=broad-except
                self.made[name] = (None, failure)
        result, failure = self.made[name]
        if failure:
            raise failure
        return result

    def client(self, name, port, **how):
        return Client(os.path.join(self.folder, name), port, display=self.display, **how)

    def close(self):
        for game in self.games:
            game.close()
        stop_wine()
        self.display.close()


RUNS = None


def describe(lines):
    return "\n".join("  %r" % (line,) for line in lines)


class MUSHclientPlugin(unittest.TestCase):
    maxDiff = None

    # Each test's time beside its result: the runs it shares are made by the first that needs
    # them, so that is where the suite's time goes.
    def setUp(self):
        self.started = time.monotonic()

    def tearDown(self):
        sys.stdout.write("[%.0f s] " % (time.monotonic() - self.started))
        sys.stdout.flush()

    def assertShownAlike(self, shown, expected, what):
        for number, (got, wanted) in enumerate(zip(shown, expected)):
            if got.looks() != wanted.looks():
                self.fail("%s: line %d differs\n  got:      %r\n  expected: %r" % (
                    what, number, got, wanted))
        self.assertEqual(len(shown), len(expected), "%s: %d lines, expected %d:\n%s" % (
            what, len(shown), len(expected), describe(shown)))

    def proxy_run(self):
        def make():
            game = RUNS.game()
            proxy = Proxy(game.port, RUNS.folder)
            client = RUNS.client("proxy", proxy.port)
            try:
                return play(client, SESSION), game
            finally:
                client.kill()
                proxy.close()
        return RUNS.run("proxy", make)

    def cut_run(self, name):
        """The cut table through the proxy (name "proxy") or the plugin, both holding CUT_HOLD;
        the plugin's game compressed."""
        def make():
            game = RUNS.game(compress=name != "proxy", at_connect=False, farewell=CUT_FAREWELL)
            game.writes = cut_writes()
            proxy = None
            if name == "proxy":
                # A state of its own: the proxy run ends with colouring off.
                folder = os.path.join(RUNS.folder, "cut-proxy-state")
                os.makedirs(folder, exist_ok=True)
                proxy = Proxy(game.port, folder, hold_ms=int(CUT_HOLD * 1000))
                client = RUNS.client("cut-proxy", proxy.port)
            else:
                client = RUNS.client("cut-" + name, game.port, plugins=[held_plugin(RUNS.folder)])
            try:
                return play_cut(client) + (game,)
            finally:
                client.kill()
                if proxy:
                    proxy.close()
        return RUNS.run("cut " + name, make)

    def plugin_run(self):
        """Ends with colourblind, tags, colouring off and MUSHclient closed as a player closes
        it."""
        def make():
            game = RUNS.game()
            client = RUNS.client("plugin", game.port, plugins=[PLUGIN], speed_walk=True)
            try:
                lines = play(client, SESSION, speed_walk_off_at=SPEED_WALKED)
                client.quit()
                return lines, game
            except BaseException:
                client.kill()
                raise
        return RUNS.run("plugin", make)

    def test_plugin_shows_what_the_proxy_shows(self):
        through_proxy, game_of_proxy = self.proxy_run()
        with_plugin, game_of_plugin = self.plugin_run()
        proxy_tables, plugin_tables = tables(through_proxy), tables(with_plugin)
        self.assertEqual(len(proxy_tables), 3, describe(through_proxy))
        self.assertEqual(len(plugin_tables), 3, describe(with_plugin))
        for number, what in enumerate(["the table, colouring on",
                                       "the table, colourblind with tags",
                                       "the table, colouring off"]):
            with self.subTest(what):
                self.assertShownAlike(plugin_tables[number], proxy_tables[number], what)
        # The comparison means something only if colouring, and the palette and tags, changed
        # what was shown.
        looks = [[line.looks() for line in table] for table in proxy_tables]
        self.assertNotEqual(looks[0], looks[2])
        self.assertNotEqual(looks[0], looks[1])
        proxy_answers, plugin_answers = answers(through_proxy), answers(with_plugin)
        for number, command in enumerate(SESSION):
            if command is REPLAY:
                continue
            with self.subTest(command=command, speed_walk=number < SPEED_WALKED):
                self.assertTrue(plugin_answers.get(number))
                self.assertShownAlike(plugin_answers[number], proxy_answers[number], command)
        for name, game in [("proxy", game_of_proxy), ("plugin", game_of_plugin)]:
            with self.subTest(game_received=name):
                received = bytes(game.received)
                self.assertNotIn(b"#brawlhue", received.lower())
                for number in range(len(SESSION)):
                    self.assertIn(b"sync %d\r\n" % number, received)
                self.assertIn(b"replay\r\n", received)

    def test_banner_at_connect(self):
        with_plugin, _ = self.plugin_run()
        before = with_plugin[:[line.text for line in with_plugin].index(FIRST_LINE)]
        banners = [line for line in before if line.text.startswith("Brawlhue, v ")]
        self.assertEqual(len(banners), 1, describe(before))

    def test_choice_survives_a_restart(self):
        """The plugin's run ended with colouring off, colourblind and tags: MUSHclient started
        again on the same world shows the table uncoloured, says so, and after #brawlhue on
        colours it in colourblind with tags."""
        through_proxy, _ = self.proxy_run()
        self.plugin_run()
        game = RUNS.game()
        client = RUNS.client("plugin", game.port, plugins=[PLUGIN])
        try:
            shown = play(client, ["#brawlhue status", "#brawlhue on"])
        finally:
            client.kill()
        proxy_tables, shown_tables = tables(through_proxy), tables(shown)
        self.assertShownAlike(shown_tables[0], proxy_tables[2], "after the restart, off")
        self.assertShownAlike(answers(shown)[0], answers(through_proxy)[3], "status when off")
        self.assertShownAlike(shown_tables[1], proxy_tables[1], "after #brawlhue on")

    def test_compressed_game(self):
        """The plugin's cut run has the game compressed: MUSHclient took MCCP, and the whole
        table came through the plugin as through the proxy, which sees it uncompressed."""
        through_proxy, _, _ = self.cut_run("proxy")
        with_plugin, _, game = self.cut_run("plugin")
        self.assertIn(bytes([IAC, DO, MCCP2]), bytes(game.received), "MUSHclient took no MCCP")
        self.assertShownAlike(tables(with_plugin)[0], tables(through_proxy)[0], "compressed")

    def test_failures_lose_no_line(self):
        """The engine fails on two lines: those stay as they came, each failure is said once,
        and every other line is shown as through the proxy."""
        through_proxy, _ = self.proxy_run()
        broken = os.path.join(RUNS.folder, "Brawlhue-broken.xml")
        with open(PLUGIN, encoding="ascii") as f:
            xml = f.read()
        engine_end = "\nend)())\n".replace("\n", "\r\n" if "\r\n" in xml else "\n")
        self.assertIn(engine_end, xml)
        with open(broken, "w", encoding="ascii", newline="") as f:
            f.write(xml.replace(engine_end, engine_end + BREAK_ENGINE, 1))
        game = RUNS.game()
        client = RUNS.client("broken", game.port, plugins=[broken])
        try:
            client.wait_for(LAST_LINE)
            client.lua("Execute('sync 0') return 'ok'")
            client.wait_for("sync 0 done")
            shown = client.lines()
        finally:
            client.kill()
        said = [line for line in shown if line.text.startswith(FAILURE_NOTE)]
        self.assertEqual(len(said), 2, describe(shown))
        self.assertIn("boom", said[0].text + said[1].text)
        coloured, plain = tables(through_proxy)[0], tables(through_proxy)[-1]
        expected = [plain_line if FAULT_MARK in line.text or BROKEN_MARK in line.text else line
                    for line, plain_line in zip(coloured, plain)]
        shown_table = [line for line in tables(shown)[0] if line not in said]
        self.assertShownAlike(shown_table, expected, "with the engine failing")

    def test_cut_table_shows_what_the_proxy_shows(self):
        """Every game line, the piece held at the disconnect included, the game compressed; and
        MUSHclient's own notes at the disconnect (whose counts differ) where they are through
        the proxy, which says that the game closed in a line of its own."""
        def from_the_table(lines):
            lines = [line for line in lines[[line.text for line in lines].index(FIRST_LINE):]
                     if not line.text.startswith("brawlhue-proxy: ")]
            return [line for line in lines if not line.note], [line.note for line in lines]

        through_proxy, _, _ = self.cut_run("proxy")
        with_plugin, cut_packets, _ = self.cut_run("plugin")
        game_lines, notes = from_the_table(through_proxy)
        # The comparison means something only if MUSHclient read the lines in pieces.
        self.assertGreaterEqual(cut_packets, 10)
        shown, shown_notes = from_the_table(with_plugin)
        self.assertShownAlike(shown, game_lines, "cut")
        self.assertEqual(shown_notes, notes)


def main():
    global RUNS
    RUNS = Runs()
    try:
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(MUSHclientPlugin)
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    finally:
        RUNS.close()
    failed = len(result.failures) + len(result.errors)
    print("check-mushclient: %d passed, %d failed" % (result.testsRun - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
