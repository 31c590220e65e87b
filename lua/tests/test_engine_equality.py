#!/usr/bin/env python3
"""The Lua engine must colour and explain every line exactly as the brawlhue command does, and
parse and answer every command exactly as the C++ command does.

test_engine_equality.py BRAWLHUE LUA ENGINE TABLES TEST_LINES INPUT...: each INPUT (a transcript, or
a folder whose files are transcripts) goes through `brawlhue` in each of MODES, and through the
Lua engine under LUA; any line whose outputs differ fails, and is shown. Then each of
COMMAND_TEXTS, alone and after the command word, goes through `TEST_LINES --answers`
(write_test_lines.cpp) and the Lua engine under every appearance.
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SHOWN_DIFFERENCES = 10

# Each mode: the command's options, and the Lua engine's (filter or explain, and the appearance:
# a palette name in any letter case, then "tags" or not). The first passes no appearance at all.
MODES = [
    ("filter", [], ["filter"]),
    ("explain", ["--explain"], ["explain"]),
    ("colourblind", ["--palette", "colourblind"], ["filter", "ColourBlind", "plain"]),
    ("tags", ["--tags"], ["filter", "classic", "tags"]),
    ("colourblind tags", ["--palette=colourblind", "--tags"], ["filter", "colourblind", "tags"]),
]

COMMAND_TEXTS = [
    "", "palette", "PALETTE", "palette colourblind", "Palette ColourBlind  ", "palette classic",
    "palette\tcolourblind", "  palette  ", "palette rainbow", "palette colour blind",
    "palette colourblind extra", "palettes colourblind", "palette classic\u00e9",
    "tags", "tags on", "TAGS Off", "tags  on ", "tags maybe", "tags on off", "tags\u00a0on",
    "tag on", "status tags on", "help", "off", "x palette colourblind", "#brawlhue",
    "#BRAWLHUE\ttags on", "#brawlhuepalette classic", "palette #brawlhue",
]


def transcripts(inputs):
    for given in inputs:
        if os.path.isdir(given):
            for name in sorted(os.listdir(given)):
                yield os.path.join(given, name)
        else:
            yield given


def run(command):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout


def compare_answers(test_lines, lua, engine, tables):
    """(texts compared, texts that differ) over COMMAND_TEXTS, as is and after the command word."""
    texts = COMMAND_TEXTS + ["#brawlhue " + text for text in COMMAND_TEXTS]
    with tempfile.NamedTemporaryFile("wb", suffix=".txt", delete=False) as file:
        file.write("".join(text + "\n" for text in texts).encode())
    try:
        expected = run([test_lines, "--answers", file.name]).decode().splitlines()
        actual = run([lua, os.path.join(HERE, "commands.lua"), engine, tables,
                      file.name]).decode().splitlines()
    finally:
        os.unlink(file.name)
    per_text = len(expected) // len(texts)
    differing = 0
    if per_text == 0 or len(expected) != len(actual):
        print(f"answers: {len(actual)} lines from Lua, {len(expected)} expected")
        differing += 1
    for number, (want, got) in enumerate(zip(expected, actual)):
        if want != got:
            differing += 1
            if differing <= SHOWN_DIFFERENCES:
                print(f"command {texts[number // per_text]!r}\n  expected {want}\n  Lua      {got}")
    return len(expected), differing


def main():
    brawlhue, lua, engine, tables, test_lines, *inputs = sys.argv[1:]
    compared, differing = compare_answers(test_lines, lua, engine, tables)
    print(f"{compared} command answers compared, {differing} differ")
    for path in transcripts(inputs):
        source = open(path, "rb").read().split(b"\n")
        for mode, option, lua_mode in MODES:
            expected = run([brawlhue, *option, path]).split(b"\n")
            actual = run([lua, os.path.join(HERE, "transcript.lua"), engine, tables,
                          lua_mode[0], path, *lua_mode[1:]]).split(b"\n")
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
    print(f"{compared} lines and answers compared, {differing} differ")
    return 1 if differing or compared == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
