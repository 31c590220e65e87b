#!/usr/bin/env python3
"""The Lua engine must colour and explain every line exactly as the brawlhue command does.

test_engine_equality.py BRAWLHUE LUA ENGINE TABLES INPUT...: each INPUT (a transcript, or a
folder whose files are transcripts) goes through `brawlhue` and `brawlhue --explain`, and through
the Lua engine under LUA; any line whose outputs differ fails, and is shown.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SHOWN_DIFFERENCES = 10


def transcripts(inputs):
    for given in inputs:
        if os.path.isdir(given):
            for name in sorted(os.listdir(given)):
                yield os.path.join(given, name)
        else:
            yield given


def run(command):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout


def main():
    brawlhue, lua, engine, tables, *inputs = sys.argv[1:]
    compared = differing = 0
    for path in transcripts(inputs):
        source = open(path, "rb").read().split(b"\n")
        for mode, option in (("filter", []), ("explain", ["--explain"])):
            expected = run([brawlhue, *option, path]).split(b"\n")
            actual = run([lua, os.path.join(HERE, "transcript.lua"), engine, tables, mode,
                          path]).split(b"\n")
            if len(expected) != len(actual):
                print(f"{path} ({mode}): {len(actual)} lines from Lua, {len(expected)} expected")
                differing += 1
            for number, (want, got) in enumerate(zip(expected, actual), 1):
                compared += 1
                if want != got:
                    differing += 1
                    if differing <= SHOWN_DIFFERENCES:
                        line = source[number - 1] if number <= len(source) else b""
                        print(f"{path}:{number} ({mode})\n  line     {line!r}\n"
                              f"  expected {want!r}\n  Lua      {got!r}")
    print(f"{compared} lines compared, {differing} differ")
    return 1 if differing or compared == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
