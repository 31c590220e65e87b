"""What brawlhue-proxy does per line, counted rather than timed, so that the figures hold on a
busy machine: for the relay (--off) and for colouring, per line of the bench's latency runs
(whole line, GA prompt, split line), the system calls, context switches and timers re-armed
(perf stat, software events and syscall tracepoints), and the instructions per line (callgrind)
of a latency run and of a throughput run over the sample session. Needs perf and valgrind; a
part whose tool is missing or refused is said so and left out. Asserts nothing.

    BRAWLHUE_PROXY=... BRAWLHUE_COMMAND=... BRAWLHUE_SESSION_LOG=examples/session.log \\
        python3 proxy/tests/count_proxy.py
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import bench_proxy
import proxy_harness
from proxy_harness import FakeGame, Proxy

MODES = [("relay", ["--off"]), ("colouring", [])]
KINDS = ["line", "ga", "split"]
COUNTED_LINES = 500
SYSCALLS = ["epoll_wait", "recvfrom", "sendto", "read", "write", "epoll_ctl",
            "timerfd_settime", "futex"]
EVENTS = ["context-switches", "page-faults"] + ["syscalls:sys_enter_" + s for s in SYSCALLS]


def under(tool, extra, run, count):
    """The proxy run under tool (a command line writing to the file named OUT) while
    run(game, proxy, count) drives it; the tool's output."""
    with tempfile.TemporaryDirectory() as folder:
        runner = os.path.join(folder, "runner")
        output = os.path.join(folder, "out")
        with open(runner, "w") as f:
            f.write("#!/bin/sh\nexec %s \"$@\"\n" % tool.replace("OUT", output))
        os.chmod(runner, 0o755)
        proxy_harness.RUNNER = runner
        game = FakeGame()
        proxy = Proxy(game.address, *extra)
        proxy_harness.RUNNER = None
        try:
            run(game, proxy, count)
        finally:
            # perf passes no signal on: the proxy itself, its child, is stopped.
            pid = proxy.process.pid
            with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
                children = [int(child) for child in f.read().split()]
            for child in children or [pid]:
                os.kill(child, signal.SIGTERM)
            proxy.process.wait(timeout=60)
            proxy.close()
            game.close()
        with open(output) as f:
            return f.read()


def per_line(tool, extra, run, lines, read):
    """What read takes from the tool's output, per line: a run of lines less a run of none."""
    empty, full = (read(under(tool, extra, run, count)) for count in (0, lines))
    return {name: (full[name] - empty.get(name, 0)) / lines for name in full}


def perf_events(text):
    counts = {}
    for row in text.splitlines():
        fields = row.split(",")
        if len(fields) > 2 and fields[0].replace(".", "").isdigit():
            counts[fields[2].replace("syscalls:sys_enter_", "")] = float(fields[0])
    return counts


def callgrind_total(text):
    return {"instructions": next(int(row.split()[1]) for row in text.splitlines()
                                 if row.startswith("summary:"))}


PERF = "perf stat -x , -o OUT -e %s --" % ",".join(EVENTS)
CALLGRIND = "valgrind -q --tool=callgrind --callgrind-out-file=OUT"


def samples_of(kind):
    def run(game, proxy, count):
        client, game_side = bench_proxy.open_through(game, proxy)
        for i in range(count):
            bench_proxy.one_sample(client, game_side, kind, i)
        client.close()
        game_side.close()
    return run


def throughput_run(game, proxy, count):
    bench_proxy.PLAIN = b"".join(bench_proxy.LINES) * (count // len(bench_proxy.LINES))
    bench_proxy.throughput(game, proxy, False)


def main():
    print("per line, relay (--off) / colouring")
    if shutil.which("perf"):
        for kind in KINDS:
            counts = [per_line(PERF, extra, samples_of(kind), COUNTED_LINES, perf_events)
                      for _, extra in MODES]
            shown = [name for name in counts[1] if counts[0][name] > 0.005 or
                     counts[1][name] > 0.005]
            print("%-6s " % kind + "  ".join("%s %.2f/%.2f" % (name, counts[0][name],
                                                              counts[1][name])
                                             for name in shown))
    else:
        print("perf not found: no system call counts")
    if shutil.which("valgrind"):
        session = len(bench_proxy.LINES) * 500
        for name, run, lines in (("latency (whole lines)", samples_of("line"), 500),
                                 ("throughput (plain)", throughput_run, session)):
            counted = [per_line(CALLGRIND, extra, run, lines, callgrind_total)["instructions"]
                       for _, extra in MODES]
            print("instructions, %s: %.0f / %.0f" % (name, *counted))
    else:
        print("valgrind not found: no instruction counts")
    return 0


if __name__ == "__main__":
    sys.exit(main())
