"""TinTin++, a real MUD client, under tmux, playing through brawlhue-proxy against the fake game:
the screen shows the session coloured as brawlhue colours it (colours compared by meaning, since
tmux rewrites the sequences), `#brawlhue off` typed in the client switches colouring off, and
the choice holds after a reconnect."""

import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from proxy_harness import LIMIT, FakeGame, Proxy, brawlhue, read_until, session_lines

TINTIN = os.environ.get("BRAWLHUE_TINTIN", "/usr/games/tt++")
SGR = re.compile(r"\x1b\[([0-9;]*)m")
DEFAULT = (False, 39, 49)
LINES = session_lines()
COMBAT = b"You slash a Trolloc's body very hard.\r\n"


def cells(text, state=DEFAULT):
    """Each visible character with its (bold, foreground, background), and the state after;
    colour sequences are read by meaning, so `1;36;40` equals `1` `36` `40` in any order."""
    result = []
    bold, fg, bg = state
    position = 0
    for match in SGR.finditer(text):
        result += [(c, (bold, fg, bg)) for c in text[position:match.start()]]
        position = match.end()
        for code in [int(p) if p else 0 for p in match.group(1).split(";")]:
            if code == 0:
                bold, fg, bg = DEFAULT
            elif code == 1:
                bold = True
            elif code == 22:
                bold = False
            elif 30 <= code <= 37 or code == 39:
                fg = code
            elif 40 <= code <= 47 or code == 49:
                bg = code
    result += [(c, (bold, fg, bg)) for c in text[position:]]
    return result, (bold, fg, bg)


class Screen:
    """A tmux server of its own running tt++ in a 200-column window."""

    def __init__(self, command, home):
        self.tmux = ["tmux", "-L", "brawlhue-test-%d" % os.getpid()]
        env = dict(os.environ, HOME=home, TERM="xterm-256color")
        subprocess.run(self.tmux + ["new-session", "-d", "-x", "200", "-y", "50", command],
                       check=True, env=env, timeout=LIMIT)
        self.env = env

    def type(self, text):
        subprocess.run(self.tmux + ["send-keys", "-l", text], check=True, timeout=LIMIT)
        subprocess.run(self.tmux + ["send-keys", "Enter"], check=True, timeout=LIMIT)

    def lines(self):
        """Every line of the window and its history, as (plain text, cells)."""
        out = subprocess.run(self.tmux + ["capture-pane", "-p", "-e", "-J", "-S", "-"],
                             check=True, capture_output=True, timeout=LIMIT).stdout
        state = DEFAULT
        result = []
        for line in out.decode("utf-8", "replace").split("\n"):
            line_cells, state = cells(line, state)
            result.append(("".join(c for c, _ in line_cells).rstrip(), line_cells))
        return result

    def wait_for(self, text, after=0, whole=False):
        """The index of the first line from `after` on that holds text (is text, if whole)."""
        deadline = time.monotonic() + LIMIT
        while time.monotonic() < deadline:
            for index, (plain, _) in enumerate(self.lines()[after:], after):
                if plain == text.rstrip() if whole else text in plain:
                    return index
            time.sleep(0.1)
        raise AssertionError("%r not on the screen:\n%s" %
                             (text, "\n".join(p for p, _ in self.lines()[-30:])))

    def close(self):
        subprocess.run(self.tmux + ["kill-server"], capture_output=True, timeout=LIMIT)


@unittest.skipUnless(shutil.which(TINTIN) and shutil.which("tmux"), "needs tt++ and tmux")
class TinTin(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.TemporaryDirectory()
        self.game = FakeGame()
        self.proxy = Proxy(self.game.address)
        self.session = "#session game 127.0.0.1 %d" % self.proxy.port
        self.screen = Screen("%s -G -e '%s'" % (TINTIN, self.session), self.home.name)

    def tearDown(self):
        self.screen.close()
        self.assertEqual(self.proxy.stop(), 0, self.proxy.log())
        self.proxy.close()
        self.game.close()
        self.home.cleanup()

    def assert_shown_as(self, index, expected_line):
        """The screen line at index shows expected_line (brawlhue's bytes) by meaning."""
        expected, _ = cells(expected_line.decode("utf-8").rstrip("\r\n"))
        shown = self.screen.lines()[index][1]
        # tmux drops the trailing blanks of a line: what it shows must be all the rest.
        self.assertEqual(shown, expected[:len(shown)], "line %d: %r" % (index, expected_line))
        self.assertEqual("".join(c for c, _ in expected[len(shown):]).strip(), "")

    def test_colours_command_and_reconnect(self):
        game_side = self.game.accept()
        self.screen.wait_for("colouring on. Type '#brawlhue help'")
        game_side.sendall(b"".join(LINES))
        coloured = brawlhue(b"".join(LINES)).splitlines(keepends=True)
        index = -1
        for line, expected in zip(LINES, coloured):
            index = self.screen.wait_for(line.decode(), index + 1, whole=True)
            self.assert_shown_as(index, expected)
        self.assertNotEqual(coloured, LINES)  # combat lines were coloured, speech was not

        # `#` is TinTin++'s own command character: #send passes the line to the session.
        self.screen.type("#send {#brawlhue off}")
        index = self.screen.wait_for("Brawlhue has been disabled.", index)
        self.screen.type("kill boar")
        self.assertEqual(read_until(game_side, b"\r\n"), b"kill boar\r\n")  # nothing else
        game_side.sendall(COMBAT)
        index = self.screen.wait_for(COMBAT.decode(), index + 1, whole=True)
        self.assert_shown_as(index, COMBAT)

        # Reconnect: the flag is still off.
        self.screen.type("#zap")
        game_side.close()
        self.screen.type(self.session)
        game_side = self.game.accept()
        index = self.screen.wait_for("colouring off. Type '#brawlhue help'", index)
        game_side.sendall(COMBAT)
        index = self.screen.wait_for(COMBAT.decode(), index + 1, whole=True)
        self.assert_shown_as(index, COMBAT)
        self.screen.type("\\#brawlhue status")  # a leading backslash sends the line as typed
        self.screen.wait_for("Brawlhue: Disabled.", index)
        game_side.close()


if __name__ == "__main__":
    unittest.main()
