"""Two measurements of the plugin in a real MUSHclient, run by mushclient/tests/check:

    check NATIVE WIN32 measure.py bench [LINES]    the cost per line: the game sends LINES lines
        (the sample session over and over, 20 000 by default) in one run of MUSHclient, once
        to fill the output buffer, then three times each with the plugin colouring, with
        colouring off (#brawlhue off) and with the plugin disabled; each pass's time from its
        first line to its last, and the time MUSHclient counted in the plugin's Lua, are
        printed;
    check NATIVE WIN32 measure.py packets [LINES]  what holding an unfinished line costs, and
        the ways it could be let go: the game sends LINES lines (20 000 by default) in writes of
        a TCP segment's size, cut inside lines; three passes each with the plugin colouring, with
        it colouring beside a plugin with an empty per-line callback (what redrawing lines from
        a trigger costs on every line), and with both disabled, timed as for bench, with how
        many packets MUSHclient read that ended inside a line; then prompts without GA, one
        at a time, each with the time from the packet that brought it to the moment the plugin
        let it go; MUSHclient's one-shot timers (DoAfterSpecial, 0.1 s, the shortest it takes):
        what setting one costs and how late it fires; and the plugin's cost while idle, per
        tick of MUSHclient's;
    check NATIVE WIN32 measure.py picture FILE.png  MUSHclient's window showing the sample
        session as the plugin colours it, from Xvfb's screen."""

import os
import statistics
import struct
import sys
import zlib

from mushclient_harness import SCREEN, SLOWNESS, Client
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


LINE_CALLBACK_ID = "11ec0a11bac4000000000001"
# MUSHclient's XML reader takes no line end inside an attribute's value (it cannot load such a
# plugin, and says so in a dialog that holds the world's connection back).
LINE_CALLBACK_PLUGIN = """<?xml version="1.0" encoding="US-ASCII"?>
<!DOCTYPE muclient>
<muclient>
<plugin name="LineCallback" author="tests" id="%s" language="Lua"
 purpose="an empty per-line callback" requires="4.70" version="1.0" save_state="n"></plugin>
<script><![CDATA[
function OnPluginLineReceived(text)
    return true
end
]]></script>
</muclient>
""" % LINE_CALLBACK_ID
SEGMENT = 1400  # bytes of a TCP segment's text
PROMPT_PAUSE = 1.0  # seconds, times the slowness


def gave_up(seconds):
    """Lua for a wait's answer once it has waited seconds: what MUSHclient has seen."""
    return ("(function() gave_up_at = gave_up_at or utils.timer() + %r "
            "if utils.timer() < gave_up_at then return nil end gave_up_at = nil "
            "local shown = {} for n = math.max(1, GetLinesInBufferCount() - 5), "
            "GetLinesInBufferCount() do shown[#shown + 1] = GetLineInfo(n, 1) end "
            "return 'gave up: marked ' .. #marked_times .. ', packets ' .. #packet_sizes .. "
            "', connected ' .. tostring(IsConnected()) .. ', last lines: ' .. "
            "table.concat(shown, ' | ') end)()" % seconds)


def timed_passes(client, lines, modes, rounds):
    """Each mode's passes of the game's table, after one that fills the output buffer: for each,
    the wall time, the time in each plugin's Lua (by MUSHclient's count) and the packets that
    ended inside a line, per line."""
    order = [next(iter(modes))] + [mode for _ in range(rounds) for mode in modes]
    results = {mode: [] for mode in modes}
    for number, mode in enumerate(order):
        answer = client.lua(
            "ID, LINES = %r, %r %s marked_times = {} packets_ending_inside_a_line = 0 "
            "script_before, lines_before = GetPluginInfo(ID, 24), GetPluginInfo(LINES, 24) "
            "Execute('replay') return 'ok'" % (PLUGIN_ID, LINE_CALLBACK_ID, modes[mode]))
        answer = client.lua(
            "return #marked_times == 2 and table.concat({marked_times[2] - marked_times[1], "
            "GetPluginInfo(ID, 24) - script_before, GetPluginInfo(LINES, 24) - lines_before, "
            "packets_ending_inside_a_line}, ' ') or %s" % gave_up(30 * SLOWNESS), limit=3600)
        if answer.startswith("gave up"):
            client.display.keep_screen("gave-up")
            raise SystemExit("measure.py: the pass did not end (the screen is kept beside the "
                             "runs as gave-up.xwd): " + answer)
        wall, script, callback, cut = (float(value) for value in answer.split())
        if number:
            results[mode].append((wall, script, callback, cut))
        print("%-28s %8.1f us a line; Lua: plugin %6.2f us, line callback %6.2f us; %d packets "
              "ended inside a line" % (mode, wall / lines * 1e6, script / lines * 1e6,
                                       callback / lines * 1e6, cut), flush=True)
    return {mode: [min(values) for values in zip(*passes)] for mode, passes in results.items()}


def packets(lines, rounds=3, prompts=15, timers=10):
    session = session_writes()
    body = (FIRST_LINE + "\r\n").encode() + b"".join(
        session[k % len(session)] for k in range(lines)) + (LAST_LINE + "\r\n").encode()
    runs = Runs()
    try:
        game = runs.game(at_connect=False)
        game.writes = [body[k:k + SEGMENT] for k in range(0, len(body), SEGMENT)]
        line_callback = os.path.join(runs.folder, "line-callback.xml")
        with open(line_callback, "w", encoding="ascii") as f:
            f.write(LINE_CALLBACK_PLUGIN)
        client = Client(os.path.join(runs.folder, "packets"), game.port,
                        plugins=[PLUGIN, line_callback], display=runs.display)
        try:
            client.lua("marks[%r] = true marks[%r] = true recording = true return 'ok'" % (
                FIRST_LINE, LAST_LINE))
            best = timed_passes(client, lines + 2, {
                "colouring": "EnablePlugin(ID, true) EnablePlugin(LINES, false) "
                             "Execute('#brawlhue on')",
                "colouring, line callback": "EnablePlugin(ID, true) EnablePlugin(LINES, true)",
                "both disabled": "EnablePlugin(ID, false) EnablePlugin(LINES, false)",
            }, rounds)
            client.lua("EnablePlugin(ID, true) return 'ok'")

            # Prompts without GA, each let go when its hold ran out. Each write ends the line
            # before it: the plugin, enabled again after the passes, takes a line it saw begun
            # for the rest of an earlier one and lets it by unheld.
            marks = ["Prompt%02d >" % k for k in range(prompts)]
            game.writes = []
            for mark in marks:
                game.writes += [("\r\n* " + mark + " ").encode(), PROMPT_PAUSE]
            game.writes.append(b"\r\n")
            client.lua("marked_packets = {} for _, mark in ipairs({%s}) do packet_marks[mark] = "
                       "true end Execute('replay') return 'ok'" % ", ".join(
                           repr(mark) for mark in marks))
            client.wait_for(marks[-1], limit=prompts * PROMPT_PAUSE * SLOWNESS + 600)
            seen = {}
            for row in client.lua("local rows = {} for _, seen in ipairs(marked_packets) do "
                                  "rows[#rows + 1] = table.concat(seen, '=') end "
                                  "return table.concat(rows, ',')", limit=600).split(","):
                mark, time, ticks = row.split("=")
                seen.setdefault(mark, []).append((float(time), int(ticks)))
            timed = [(seen[mark][1][0] - seen[mark][0][0], seen[mark][1][1] - seen[mark][0][1])
                     for mark in marks if len(seen.get(mark, [])) == 2]
            waits = [seconds * 1e3 for seconds, _ in timed]
            print("prompts let go: %d of %d; ms from the packet to the prompt shown: %s; "
                  "MUSHclient's ticks meanwhile: %s" % (
                      len(waits), prompts, " ".join("%.0f" % wait for wait in waits),
                      " ".join(str(ticks) for _, ticks in timed)), flush=True)
            for mark in marks:
                if len(seen.get(mark, [])) != 2:
                    print("  %r was in %d packets, not in one of the game's and one let go" % (
                        mark, len(seen.get(mark, []))), flush=True)

            # MUSHclient's one-shot timers.
            cost = float(client.lua("local start = utils.timer() for k = 1, 1000 do "
                                    "DoAfterSpecial(0.1, 'timer_fired = true', 12) end "
                                    "return utils.timer() - start"))
            delays = []
            for _ in range(timers):
                client.lua("fired = nil set_at = utils.timer() "
                           "DoAfterSpecial(0.1, 'fired = utils.timer()', 12) return 'ok'")
                delays.append(float(client.lua("return fired and (fired - set_at) * 1000 or nil",
                                               limit=600)))
            print("DoAfterSpecial(0.1): %.1f us a call; fired after (ms): %s" % (
                cost / 1000 * 1e6, " ".join("%.0f" % delay for delay in delays)), flush=True)

            # Idle: what the plugin's tick costs when nothing is held.
            idle = client.lua("idle_script, idle_ticks, idle_at = GetPluginInfo(ID, 24), ticks, "
                              "utils.timer() return 'ok'")
            idle = client.lua("if utils.timer() - idle_at < %r then return nil end return "
                              "(GetPluginInfo(ID, 24) - idle_script) .. ' ' .. (ticks - idle_ticks)"
                              " .. ' ' .. (utils.timer() - idle_at)" % (10.0 * SLOWNESS),
                              limit=600)
            idle_script, idle_ticks, idle_time = (float(value) for value in idle.split())
            print("idle: %d ticks in %.1f s, %.2f us of the plugin's Lua a tick" % (
                idle_ticks, idle_time, idle_script / max(idle_ticks, 1) * 1e6), flush=True)
        finally:
            client.kill()
    finally:
        runs.close()
    per_line = {mode: [value / (lines + 2) * 1e6 for value in values[:3]]
                for mode, values in best.items()}
    print("%d lines in %d-byte writes, best of %d: colouring %.1f us a line (plugin's Lua %.2f "
          "us); with a line callback %.1f us (its Lua %.2f us); both disabled %.1f us" % (
              lines, SEGMENT, rounds, per_line["colouring"][0], per_line["colouring"][1],
              per_line["colouring, line callback"][0], per_line["colouring, line callback"][2],
              per_line["both disabled"][0]))
    if waits:
        print("prompt waits: median %.0f ms, longest %.0f ms; DoAfterSpecial(0.1): median %.0f "
              "ms, longest %.0f ms" % (statistics.median(waits), max(waits),
                                       statistics.median(delays), max(delays)))


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
    if len(sys.argv) >= 2 and sys.argv[1] in ("bench", "packets"):
        measure = bench if sys.argv[1] == "bench" else packets
        measure(int(sys.argv[2]) if len(sys.argv) > 2 else 20000)
    elif len(sys.argv) == 3 and sys.argv[1] == "picture":
        picture(sys.argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
