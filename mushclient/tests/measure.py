"""Two measurements of the plugin in a real MUSHclient, run by mushclient/tests/check:

    check NATIVE WIN32 measure.py bench [LINES]    the cost per line: the game sends LINES lines
        (the sample session over and over, 20 000 by default) in one run of MUSHclient, once
        to fill the output buffer, then three times each with the plugin colouring, with
        colouring off (#brawlhue off) and with the plugin disabled; each pass's time from its
        first line to its last, and the time MUSHclient counted in the plugin's Lua, are
        printed;
    check NATIVE WIN32 measure.py picture FILE.png  MUSHclient's window showing the sample
        session as the plugin colours it, from Xvfb's screen."""

import os
import struct
import sys
import zlib

from mushclient_harness import SCREEN, Client
from test_mushclient import FIRST_LINE, LAST_LINE, PLUGIN, Runs, session_writes

PLUGIN_ID = "05ada213ca125d88ae8c3ff0"
WINDOW = (1280, 1000)  # the sample session nearly whole


def bench(lines, rounds=3):
    session = session_writes()
    body = b"".join(session[k % len(session)] for k in range(lines))
    runs = Runs()
    try:
        game = runs.game(at_connect=False)
        game.writes = [(FIRST_LINE + "\r\n").encode() + body + (LAST_LINE + "\r\n").encode()]
        client = Client(os.path.join(runs.folder, "bench"), game.port, plugins=[PLUGIN],
                        display=runs.display)
        try:
            client.lua("marks[%r] = true marks[%r] = true recording = true return 'ok'" % (
                FIRST_LINE, LAST_LINE))
            modes = {
                "colouring": "EnablePlugin(ID, true) Execute('#brawlhue on')",
                "colouring off": "EnablePlugin(ID, true) Execute('#brawlhue off')",
                "plugin disabled": "EnablePlugin(ID, false)",
            }
            # A first pass fills the output window's buffer, so that each measured one pays the
            # same for the lines MUSHclient drops from it.
            order = ["colouring"] + [mode for _ in range(rounds) for mode in modes]
            results = {mode: [] for mode in modes}
            for number, mode in enumerate(order):
                client.lua("ID = %r %s marked_times = {} script_before = GetPluginInfo(ID, 24) "
                           "Execute('replay') return 'ok'" % (PLUGIN_ID, modes[mode]))
                wall, script = (float(value) for value in client.lua(
                    "return #marked_times == 2 and ((marked_times[2] - marked_times[1]) .. ' ' "
                    ".. (GetPluginInfo(ID, 24) - script_before)) or nil", limit=3600).split())
                if number:
                    results[mode].append((wall, script))
                print("%-16s %8.3f s  %7.1f us a line; in the plugin's Lua %6.2f us a line" % (
                    mode, wall, wall / lines * 1e6, script / lines * 1e6), flush=True)
        finally:
            client.kill()
    finally:
        runs.close()
    best = {mode: min(wall for wall, _ in passes) / lines * 1e6
            for mode, passes in results.items()}
    script = {mode: min(used for _, used in passes) / lines * 1e6
              for mode, passes in results.items()}
    print("%d lines, best of %d: %.1f us a line colouring, %.1f us colouring off, %.1f us "
          "with the plugin disabled; in the plugin's own Lua %.2f us a line colouring, %.2f us "
          "off" % (lines, rounds, best["colouring"], best["colouring off"],
                   best["plugin disabled"], script["colouring"], script["colouring off"]))


def png(width, height, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2,
                                                                0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def crop_xwd(path, left, top, width, height):
    """Rows of RGB bytes from Xvfb's screen file (XWD, 32 bits a pixel)."""
    with open(path, "rb") as f:
        data = f.read()
    header = struct.unpack(">25I", data[:100])
    header_size, byte_order, bits, line_bytes, colours = (header[0], header[7], header[11],
                                                          header[12], header[19])
    if bits != 32:
        raise SystemExit("measure.py: the screen has %d bits a pixel, not 32" % bits)
    pixels = header_size + 12 * colours
    rows = []
    for y in range(top, top + height):
        start = pixels + y * line_bytes + 4 * left
        row = bytearray()
        for x in range(width):
            b, g, r = data[start + 4 * x:start + 4 * x + 3] if byte_order == 0 else \
                data[start + 4 * x + 3:start + 4 * x:-1]
            row += bytes((r, g, b))
        rows.append(bytes(row))
    return rows


def picture(output):
    runs = Runs()
    try:
        game = runs.game()
        game.writes = session_writes()
        client = Client(os.path.join(runs.folder, "picture"), game.port, plugins=[PLUGIN],
                        display=runs.display)
        try:
            window = client.xdotool("search", "--name", "MUSHclient").stdout.split()[0]
            client.xdotool("windowmove", "--sync", window, "0", "0")
            client.xdotool("windowsize", "--sync", window, str(WINDOW[0]), str(WINDOW[1]))
            client.lua("SetWorldWindowStatus(1) return 'ok'")  # the world's window maximised
            client.xdotool("mousemove", str(SCREEN[0] - 1), str(SCREEN[1] - 1))
            client.wait_for(session_writes()[-1].decode().strip())
            # A few ticks of the driver, for MUSHclient to have painted the last lines.
            for _ in range(5):
                client.lua("return 'ok'")
            geometry = dict(line.split("=") for line in client.xdotool(
                "getwindowgeometry", "--shell", window).stdout.split())
            left, top = int(geometry["X"]), int(geometry["Y"])
            width, height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
            rows = crop_xwd(runs.display.screen_file(), left, top, width, height)
        finally:
            client.kill()
    finally:
        runs.close()
    with open(output, "wb") as f:
        f.write(png(width, height, rows))
    print("%s: %dx%d" % (output, width, height))


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "bench":
        bench(int(sys.argv[2]) if len(sys.argv) > 2 else 20000)
    elif len(sys.argv) == 3 and sys.argv[1] == "picture":
        picture(sys.argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
