"""The Mudlet package in a real Mudlet 4.18.5, against what the same Mudlet shows through
brawlhue-proxy: one table of game lines played both ways must show identically, character by
character (foreground, background, bold flag), prompts included, and so must the answers to
#brawlhue typed in the input line, palette and tags among them. Also: #brawlhue never reaches the
game, the choices survive a restart (the palette and tags shown as the proxy shows them with the
same choice), corrupt saved choices, and a line that makes the trigger fail.

Needs the Mudlet sources (MUDLET_SOURCES, by default ../shared/mudlet beside the clone), the
package (BRAWLHUE_MUDLET_PACKAGE, by default the newest dist/Brawlhue-*.mpackage) and the proxy
(BRAWLHUE_PROXY)."""

import glob
import os
import sys
import tempfile
import unittest

from mudlet_harness import (LAST_LINE, ROOT, mudlet_binary, play, prompt_with_ga, sync_answer,
                            sync_marker)
from proxy_harness import PROXY, session_lines

FIRST_LINE = "Welcome to the fake game."
PROMPT = "* HP:Healthy SP:Full MV:Fresh > "
FAULT_MARK = "Draghkar"  # the one line the broken engine fails on

# What the game sends, each item one write: the sample session, prompts ended by GA with the
# message written after them, the game's own colours (over the opening's, in the message), text
# beyond ASCII and beyond the BMP.
CHUNKS = ([(FIRST_LINE + "\r\n").encode()] + session_lines() + [
    prompt_with_ga(PROMPT), b"You slash a Trolloc's body very hard.\r\n",
    prompt_with_ga(PROMPT), b"Lan says 'They flank us.'\r\n",
    prompt_with_ga(PROMPT), prompt_with_ga(PROMPT), b"A Trolloc fails to hit you.\r\n",
    prompt_with_ga("o HP:Hurt SP:Full MV:Tired > "), b"\r\n",
    b"You slash a " + FAULT_MARK.encode() + b"'s body very hard.\r\n",
    b"\x1b[31mYou slash a Trolloc's body very hard.\x1b[0m\r\n",
    b"You slash \x1b[1;33ma Trolloc\x1b[0m's body very hard.\r\n",
    b"You slash \x1b[33ma Trolloc\x1b[0m's body very hard.\r\n",
    b"You slash \x1b[45ma Trolloc\x1b[0m's body very hard.\r\n",
    b"You slash \x1b[1ma Trolloc\x1b[0m's body very hard.\r\n",
    b"\x1b[32mLan says 'Green words.'\x1b[0m\r\n",
    b"\x1b[1;36;40mYou pierce a Trolloc's right arm, drawing black blood.\x1b[0m\r\n",
    "You slash Élaida's body very hard.\r\n".encode(),
    "Moiraine says 'Ça va? 日本語 😀'\r\n".encode(),
    "* HP:Healthy SP:Full MV:Fresh > You slash a Trolloc 😀's body very hard.\r\n".encode(),
    (LAST_LINE + "\r\n").encode(),
])
COMMANDS = ["#brawlhue help", "#brawlhue status", "#brawlhue off", "#brawlhue status",
            "#BRAWLHUE On", "#brawlhue what", "#brawlhue status",
            "#brawlhue palette", "#brawlhue Palette ColourBlind", "#brawlhue palette",
            "#brawlhue palette rainbow", "#brawlhue tags", "#brawlhue TAGS on", "#brawlhue tags",
            "#brawlhue tags maybe"]
# A choice other than the default, as the proxy takes it and as the player types it.
APPEARANCE_OPTIONS = ["--palette", "colourblind", "--tags"]
APPEARANCE_COMMANDS = ["#brawlhue palette colourblind", "#brawlhue tags on"]


def package_path():
    path = os.environ.get("BRAWLHUE_MUDLET_PACKAGE")
    if path:
        return path
    found = sorted(glob.glob(os.path.join(ROOT, "dist", "Brawlhue-*.mpackage")),
                   key=os.path.getmtime)
    return found[-1] if found else None


def table_part(shown):
    """The game's table as shown: from its first line to its last."""
    texts = [line["text"] for line in shown]
    first = texts.index(FIRST_LINE)
    last = next(i for i, text in enumerate(texts) if LAST_LINE in text)
    return shown[first:last + 1]


def after_table(shown):
    return shown[len(before_table(shown)) + len(table_part(shown)):]


def before_table(shown):
    return shown[:[line["text"] for line in shown].index(FIRST_LINE)]


def answer(shown, number, command):
    """The lines shown between the echo of the command typed as number and the game's answer
    to the sync sent after it."""
    texts = [line["text"] for line in shown]
    start = texts.index(sync_answer(number - 1)) + 1 if number else \
        len(before_table(shown)) + len(table_part(shown))
    echo = texts.index(command, start)
    return shown[echo + 1:texts.index(sync_answer(number), echo)]


def describe(line):
    runs = " ".join("%d:%s/%s%s" % (n, fg, bg, "/bold" if bold else "")
                    for n, fg, bg, bold in line["runs"])
    return "%r  %s" % (line["text"], runs)


class MudletPackage(unittest.TestCase):
    runs = {}

    @classmethod
    def setUpClass(cls):
        cls.mudlet, why = mudlet_binary()
        if cls.mudlet is None:
            raise unittest.SkipTest(why)
        cls.package = package_path()
        if not cls.package or not os.path.exists(cls.package):
            raise AssertionError("no package: make mudlet builds dist/Brawlhue-VERSION.mpackage")
        if not os.path.exists(PROXY):
            raise AssertionError("no %s: make native builds it" % PROXY)
        cls.folder = tempfile.TemporaryDirectory(prefix="brawlhue-mudlet-test-")

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def run_once(self, name, **how):
        """Runs shared between the tests are made once."""
        if name not in self.runs:
            self.runs[name] = play(self.mudlet, CHUNKS, **how)
        return self.runs[name]

    def proxy_run(self):
        return self.run_once("proxy", commands=COMMANDS, through_proxy=True)

    def package_run(self):
        return self.run_once("package", commands=COMMANDS, package=self.package)

    def raw_run(self):
        """The lines as Mudlet shows them with nothing between it and the game."""
        return self.run_once("raw")

    def assertShownEqual(self, shown, expected, what):
        for number, (got, wanted) in enumerate(zip(shown, expected)):
            if got != wanted:
                self.fail("%s: line %d differs\n  got:      %s\n  expected: %s" % (
                    what, number, describe(got), describe(wanted)))
        self.assertEqual(len(shown), len(expected),
                         "%s: %d lines, expected %d; the extra ones:\n%s" % (
                             what, len(shown), len(expected), "\n".join(
                                 describe(line) for line in
                                 (shown[len(expected):] or expected[len(shown):]))))

    def test_package_shows_what_the_proxy_shows(self):
        through_proxy, game_saw_proxy = self.proxy_run()
        with_package, game_saw_package = self.package_run()
        self.assertShownEqual(table_part(with_package), table_part(through_proxy),
                              "the game's lines")
        self.assertShownEqual(after_table(with_package), after_table(through_proxy),
                              "the typed commands and their answers")
        # The comparison means something only if the proxy coloured some lines.
        raw = table_part(self.raw_run()[0])
        self.assertNotEqual(table_part(through_proxy), raw)
        for name, received in [("proxy", game_saw_proxy), ("package", game_saw_package)]:
            with self.subTest(name):
                self.assertNotIn(b"#brawlhue", received.lower())
                for number in range(len(COMMANDS)):
                    self.assertIn(sync_marker(number).encode() + b"\r\n", received)

    def test_choice_survives_restart_and_a_corrupt_file(self):
        through_proxy, _ = self.proxy_run()
        profile = os.path.join(self.folder.name, "kept-profile")
        raw = table_part(self.raw_run()[0])
        coloured = table_part(self.package_run()[0])

        play(self.mudlet, CHUNKS, commands=["#brawlhue off"], package=self.package,
             profile_dir=profile)
        saved_off = snapshot(profile)
        shown, _ = play(self.mudlet, CHUNKS, commands=["#brawlhue status", "#brawlhue on"],
                        package=self.package, profile_dir=profile)
        self.assertShownEqual(table_part(shown), raw, "after a restart with colouring off")
        self.assertShownEqual(answer(shown, 0, "#brawlhue status"),
                              answer(through_proxy, 3, "#brawlhue status"), "status when off")
        before_valid = before_table(shown)

        changed = [name for name, content in snapshot(profile).items()
                   if name in saved_off and saved_off[name] != content]
        self.assertEqual(len(changed), 1, "the files #brawlhue on changed: %s" % changed)
        with open(os.path.join(profile, changed[0]), "wb") as f:
            f.write(b"\x00this is not a saved choice\xff\n")
        shown, _ = play(self.mudlet, CHUNKS, commands=["#brawlhue status"],
                        package=self.package, profile_dir=profile)
        self.assertShownEqual(table_part(shown), coloured, "with a corrupt saved choice")
        self.assertShownEqual(answer(shown, 0, "#brawlhue status"),
                              answer(through_proxy, 1, "#brawlhue status"), "status when on")
        self.assertEqual(len(before_table(shown)), len(before_valid) + 1,
                         "one line more than with a valid file:\n" +
                         "\n".join(describe(line) for line in before_table(shown)))

    def test_palette_and_tags_survive_restart_and_corrupt_files(self):
        """Set by commands, the palette and the tags are saved in files of their own, and after a
        restart the game's lines show as the proxy shows them with the same choice. Files that
        hold junk are said (one line each), count as the default and stay as they are."""
        through_proxy, _ = self.run_once("proxy appearance", through_proxy=True,
                                         proxy_options=APPEARANCE_OPTIONS)
        profile = os.path.join(self.folder.name, "appearance-profile")
        play(self.mudlet, CHUNKS, package=self.package, profile_dir=profile)
        before_commands = snapshot(profile)
        play(self.mudlet, CHUNKS, commands=APPEARANCE_COMMANDS, package=self.package,
             profile_dir=profile)
        saved = snapshot(profile)
        added = sorted(set(saved) - set(before_commands))
        self.assertEqual(len(added), 2, "the files the two commands added: %s" % added)
        self.assertEqual({name: saved[name] for name in before_commands}, before_commands)

        shown, _ = play(self.mudlet, CHUNKS, package=self.package, profile_dir=profile)
        self.assertShownEqual(table_part(shown), table_part(through_proxy),
                              "after a restart with colourblind and tags")
        before_valid = before_table(shown)

        junk = b"\x00not a saved choice\xff\n"
        for name in added:
            with open(os.path.join(profile, name), "wb") as f:
                f.write(junk)
        shown, _ = play(self.mudlet, CHUNKS, package=self.package, profile_dir=profile)
        self.assertShownEqual(table_part(shown), table_part(self.package_run()[0]),
                              "with corrupt saved palette and tags")
        self.assertEqual(len(before_table(shown)), len(before_valid) + 2,
                         "one line more for each corrupt file:\n" +
                         "\n".join(describe(line) for line in before_table(shown)))
        self.assertEqual({name: snapshot(profile)[name] for name in added},
                         {name: junk for name in added})

    def test_a_line_that_makes_the_trigger_fail(self):
        """Only the marked line fails: it stays as it came, one line (wherever the package
        puts it) says what failed, and the lines after it are coloured again."""
        # Every function of the engine fails when handed the marked text, whichever of them
        # the trigger calls.
        break_engine = (
            "for name, real in pairs(Brawlhue.engine) do "
            "  if type(real) == 'function' then "
            "    Brawlhue.engine[name] = function(...) "
            "      for i = 1, select('#', ...) do "
            "        local value = select(i, ...) "
            "        if type(value) == 'string' and value:find('%s', 1, true) then "
            "          error('boom') "
            "        end "
            "      end "
            "      return real(...) "
            "    end "
            "  end "
            "end" % FAULT_MARK)
        # The command after the lines lets a message the package defers come out, and shows
        # that the session goes on.
        shown, _ = play(self.mudlet, CHUNKS, commands=["#brawlhue status"], package=self.package,
                        lua=[break_engine])
        said = [line for line in shown if "boom" in line["text"]]
        self.assertEqual(len(said), 1, "\n".join(describe(line) for line in shown))
        table = table_part(shown)
        raw = table_part(self.raw_run()[0])
        coloured = table_part(self.package_run()[0])
        marked = [i for i, line in enumerate(raw) if FAULT_MARK in line["text"]]
        self.assertNotEqual([raw[i] for i in marked], [coloured[i] for i in marked],
                            "the marked line must be one the package colours")
        expected = [raw_line if FAULT_MARK in raw_line["text"] else coloured_line
                    for raw_line, coloured_line in zip(raw, coloured)]
        self.assertShownEqual([line for line in table if line not in said], expected,
                              "with the engine failing on one line")
        # The package may say it a little later, after lines that came at once behind it.
        self.assertShownEqual([line for line in answer(shown, 0, "#brawlhue status")
                               if line not in said],
                              answer(self.proxy_run()[0], 1, "#brawlhue status"),
                              "status after the failure")


def snapshot(folder):
    """Every file of a profile folder with its bytes, but Mudlet's saved XML and map and the
    game's address, which runs write anew."""
    result = {}
    for base, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(base, name)
            relative = os.path.relpath(path, folder)
            if relative.startswith(("current" + os.sep, "map" + os.sep)) or \
                    relative in ("url", "port", "encoding"):
                continue
            with open(path, "rb") as f:
                result[relative] = f.read()
    return result


if __name__ == "__main__":
    # The runner's closing line is one make check adds up: "N passed, N failed, N skipped".
    tests = unittest.defaultTestLoader.loadTestsFromTestCase(MudletPackage)
    result = unittest.TextTestRunner(verbosity=2).run(tests)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    passed = max(result.testsRun - failed - len(result.skipped), 0)
    skipped = tests.countTestCases() - passed - min(failed, tests.countTestCases())
    print("test_mudlet: %d passed, %d failed, %d skipped" % (passed, failed, max(skipped, 0)))
    sys.exit(0 if result.wasSuccessful() else 1)
