"""The counts tools/check-all reads from runners' output, and how a suite's exit status and
silence weigh on them."""

import importlib.machinery
import importlib.util
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-all")
_loader = importlib.machinery.SourceFileLoader("check_all", _path)
_spec = importlib.util.spec_from_loader("check_all", _loader)
check_all = importlib.util.module_from_spec(_spec)
_loader.exec_module(check_all)

CTEST_MIXED = """\
50% tests passed, 2 tests failed out of 4

Total Test time (real) =   0.05 sec

The following tests did not run:
\t  3 - skip (Skipped)
\t  4 - dis (Disabled)

The following tests FAILED:
\t  2 - bad (Failed)
\t  5 - missing (Not Run)
Errors while running CTest
"""

# (what, output, exit status, passed, failed, skipped)
CASES = [
    ("ctest, all passed", "100% tests passed, 0 tests failed out of 124\n", 0, 124, 0, 0),
    ("ctest, one failed", "99% tests passed, 1 test failed out of 124\r\n", 8, 123, 1, 0),
    ("ctest, skipped and disabled", CTEST_MIXED, 8, 1, 2, 2),
    ("ctest found nothing", "Test project /b\nNo tests were found!!!\n", 0, 0, 1, 0),
    ("a runner's own line", "check-deb: 12 passed, 0 failed\n", 0, 12, 0, 0),
    ("ctest in colour", "\x1b[0;32m100% tests passed\x1b[0;0m, 0 tests failed\x1b[0;0m out of 3\n",
     0, 3, 0, 0),
    ("with skips", "3 passed, 1 failed, 2 skipped\n", 1, 3, 1, 2),
    ("two runners in one suite",
     "100% tests passed, 0 tests failed out of 8\nfuzz/run-fuzzers x\nfuzz: 4 passed, 0 failed\n",
     0, 12, 0, 0),
    ("a count inside a longer line is not one", "note: 3 passed, 0 failed so far\n", 0, 0, 1, 0),
    ("no count at all", "[100%] Built target brawlhue\n", 0, 0, 1, 0),
    ("a build error before any runner", "error: 'x' was not declared\nmake: *** Error 1\n", 2,
     0, 1, 0),
    ("a runner passed, then a later step failed",
     "100% tests passed, 0 tests failed out of 44\nguest/run: the emulator failed\n", 2, 44, 1,
     0),
    ("failures counted, so the status adds none", "check-packages: 80 passed, 7 failed\n", 1, 80,
     7, 0),
]


class Counting(unittest.TestCase):
    def test_cases(self):
        for what, output, status, passed, failed, skipped in CASES:
            with self.subTest(what):
                counts = check_all.judge(check_all.parse(output), status)
                self.assertEqual((counts.passed, counts.failed, counts.skipped),
                                 (passed, failed, skipped))

    def test_total_line(self):
        for counts, line in [(check_all.Counts(450, 0, 0), "450 passed, 0 failed"),
                             (check_all.Counts(7, 1, 3), "7 passed, 1 failed, 3 skipped")]:
            with self.subTest(line):
                self.assertEqual(check_all.total_line(counts), line)

    def test_duration(self):
        for seconds, shown in [(None, "-"), (0.4, "0:00"), (59.6, "1:00"), (754.4, "12:34")]:
            with self.subTest(seconds):
                self.assertEqual(check_all.duration(seconds), shown)


class Queues(unittest.TestCase):
    def test_a_lane_done_takes_the_last_of_the_other(self):
        queues = check_all.Queues(["native", "deb"], ["win32", "distcheck", "mushclient"])
        # (lane asking, the suite it gets, whether taken from the other lane)
        for lane, suite, taken in [(0, "native", False), (1, "win32", False),
                                   (0, "deb", False), (0, "mushclient", True),
                                   (1, "distcheck", False), (1, None, False),
                                   (0, None, False)]:
            self.assertEqual(queues.next(lane), (suite, taken), (lane, suite))


# A make that runs suites by their names: (suite, lines it prints, exit status). "wait" suites
# wait for the file the "mark" suites make: they end only if the two lanes ran at once.
FAKE_MAKE = """
import os, sys, time
suite = sys.argv[-1]
lines, status = SUITES[suite]
for line in lines:
    if line == "wait":
        deadline = time.monotonic() + 120
        while not os.path.exists("beside-started") and time.monotonic() < deadline:
            time.sleep(0.05)
        line = "waited" if os.path.exists("beside-started") else "never saw the other lane"
    elif line == "mark":
        open("beside-started", "w").close()
    print(line, flush=True)
sys.exit(status)
"""
LANE_SUITES = {
    "first": (["wait", "first: 2 passed, 0 failed"], 0),
    "second": (["5 passed, 0 failed"], 0),
    "beside-one": (["mark", "one", "two", "beside-one: 3 passed, 1 failed"], 1),
    "beside-two": (["built nothing countable"], 0),
}


class Lanes(unittest.TestCase):
    def run_check_all(self, *arguments):
        folder = tempfile.mkdtemp(prefix="check-all-test-")
        with open(os.path.join(folder, "make.py"), "w") as f:
            f.write("SUITES = %r\n" % LANE_SUITES + textwrap.dedent(FAKE_MAKE))
        result = subprocess.run(
            [sys.executable, _path, "--log-dir", "logs", *arguments], cwd=folder,
            env=dict(os.environ, MAKE="%s make.py" % sys.executable), capture_output=True,
            text=True, timeout=300)
        return folder, result

    def test_beside(self):
        folder, result = self.run_check_all("first", "second", "--beside", "beside-one",
                                            "beside-two")
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        out = result.stdout
        # Each suite's log holds its own output alone; the other lane's is shown whole.
        for suite, (lines, _) in LANE_SUITES.items():
            with self.subTest(suite):
                with open(os.path.join(folder, "logs", suite + ".log")) as f:
                    logged = f.read()
                shown = ["waited" if line == "wait" else line for line in lines]
                self.assertEqual(logged, "".join(line + "\n" for line in shown))
                self.assertIn(logged, out)
        table = out[out.index("suite "):].splitlines()
        self.assertEqual([row.split()[0] for row in table[1:5]],
                         ["first", "second", "beside-one", "beside-two"])
        self.assertIn("no test count in its output", table[5])
        self.assertTrue(table[-2].startswith("all suites: "), table[-2])
        self.assertEqual(table[-1], "10 passed, 2 failed")

    def test_usage(self):
        for arguments in [["--beside", "first"], ["first", "--beside", "--other"], []]:
            with self.subTest(arguments):
                _, result = self.run_check_all(*arguments)
                self.assertEqual(result.returncode, 2)
                self.assertIn("Usage:", result.stderr)


if __name__ == "__main__":
    unittest.main()
