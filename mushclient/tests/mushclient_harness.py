"""Drives a real MUSHclient 5.06 under 32-bit Wine and Xvfb for the plugin's tests: a fake game
on 127.0.0.1, brawlhue-proxy.exe under the same Wine, MUSHclient started dialog-free on a world
of the test's own, a driver plugin that runs the test's Lua inside MUSHclient and dumps every
shown line's style runs, and xdotool for real keystrokes. Every wait has a time limit.

Environment: MUSHCLIENT_DIR, the unpacked install (MUSHclient.exe); BRAWLHUE_MUSHCLIENT_WORK, a
folder for the Wine prefix and the runs; BRAWLHUE_PROXY_EXE, the Windows proxy."""

import os
import re
import shutil
import socket
import sqlite3
import subprocess
import tempfile
import threading
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
INSTALL = os.environ.get("MUSHCLIENT_DIR", "")
WORK = os.environ.get("BRAWLHUE_MUSHCLIENT_WORK", "")
PROXY_EXE = os.environ.get("BRAWLHUE_PROXY_EXE", "")
# Emulated machines are slow: every limit scales with this.
SLOWNESS = float(os.environ.get("BRAWLHUE_MUSHCLIENT_SLOWNESS", "1"))
LIMIT = 60 * SLOWNESS
SCREEN = (1280, 1024)

IAC, WILL, DO, SB, SE, GA = 255, 251, 253, 250, 240, 249
MCCP2 = 86
TELNET_COMMAND = re.compile(rb"\xff[\xfb-\xfe].|\xff\xfa.*?\xff\xf0|\xff[^\xff]", re.S)


class Failure(AssertionError):
    pass


def wait_until(what, check, limit=LIMIT, pause=0.1):
    deadline = time.monotonic() + limit
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (limit, what))
        time.sleep(pause)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def xml_attribute(text):
    return (text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")
            .replace(">", "&gt;"))


# ---- Wine ------------------------------------------------------------------------------------

def wine_environment(display=None):
    env = dict(os.environ, WINEPREFIX=os.path.join(WORK, "wineprefix"), WINEARCH="win32",
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8")
    if display:
        env["DISPLAY"] = display
    return env


def ensure_prefix():
    """The runs' Wine prefix, made once; one made only in part is made anew."""
    prefix = os.path.join(WORK, "wineprefix")
    if os.path.exists(os.path.join(prefix, ".ready")):
        return
    env = wine_environment()
    env.pop("DISPLAY", None)
    subprocess.run([os.path.join(HERE, "..", "..", "tools", "new-wineprefix"), prefix], env=env,
                   stdout=subprocess.DEVNULL, timeout=20 * LIMIT, check=True)
    open(os.path.join(prefix, ".ready"), "w").close()


def stop_wine():
    subprocess.run(["wineserver", "-k"], env=wine_environment(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=LIMIT, check=False)


class Display:
    """Xvfb on a display number it chooses, its screen kept as an XWD file (for pictures)."""

    def __init__(self, folder):
        # The screen's file is kept in memory: a shared folder may not map it.
        self.folder = tempfile.mkdtemp(prefix="brawlhue-xvfb-")
        self.kept = folder
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp", "-fbdir", self.folder], pass_fds=[write_end],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            self.close()
            raise Failure("Xvfb did not start")
        self.name = ":" + number

    def screen_file(self):
        return os.path.join(self.folder, "Xvfb_screen0")

    def keep_screen(self, name):
        """A copy of the screen as it is now, beside the runs (XWD)."""
        shutil.copy(self.screen_file(), os.path.join(self.kept, name + ".xwd"))

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


# ---- The fake game ---------------------------------------------------------------------------

class Game:
    """A game on 127.0.0.1 that plays one table of writes to each connection (unless not
    at_connect), then answers "sync N" with "sync N done" and "replay" with the table (again),
    and "quit" with its farewell, if it has one, before it closes; it keeps what it received.
    With compress=True it offers MCCP version 2 and compresses once the client accepts."""

    def __init__(self, writes, compress=False, at_connect=True, farewell=None):
        self.writes = writes
        self.compress = compress
        self.at_connect = at_connect
        self.farewell = farewell
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.received = bytearray()
        self.connections = 0
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            try:
                sock, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.connections += 1
            threading.Thread(target=self.play, args=(sock,), daemon=True).start()

    def play(self, sock):
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        compressor = None

        def send(data):
            if compressor:
                data = compressor.compress(data) + compressor.flush(zlib.Z_SYNC_FLUSH)
            sock.sendall(data)

        def play_table():
            for data in self.writes:
                if isinstance(data, float):
                    time.sleep(data * SLOWNESS)
                else:
                    send(data)

        pending = bytearray()
        try:
            if self.compress:
                sock.sendall(bytes([IAC, WILL, MCCP2]))
                deadline = time.monotonic() + LIMIT
                while bytes([IAC, DO, MCCP2]) not in pending and time.monotonic() < deadline:
                    sock.settimeout(max(0.1, deadline - time.monotonic()))
                    chunk = sock.recv(4096)
                    if not chunk:
                        return
                    pending += chunk
                    self.keep(chunk)
                sock.sendall(bytes([IAC, SB, MCCP2, IAC, SE]))
                compressor = zlib.compressobj()
                pending.clear()
            if self.at_connect:
                play_table()
            sock.settimeout(None)
            while True:
                chunk = sock.recv(4096)
                if not chunk:
                    return
                self.keep(chunk)
                pending += chunk
                while b"\n" in pending:
                    line, _, rest = bytes(pending).partition(b"\n")
                    pending = bytearray(rest)
                    line = TELNET_COMMAND.sub(b"", line).strip(b"\r\0")
                    if line.startswith(b"sync "):
                        send(line + b" done\r\n")
                    elif line == b"replay":
                        play_table()
                    elif line == b"quit" and self.farewell is not None:
                        send(self.farewell)
                        sock.shutdown(socket.SHUT_RDWR)
                        return
        except OSError:
            return
        finally:
            sock.close()

    def keep(self, chunk):
        with self.lock:
            self.received += chunk

    def close(self):
        self.listener.close()


# ---- brawlhue-proxy.exe ----------------------------------------------------------------------

class Proxy:
    """The Windows proxy under the runs' Wine, between MUSHclient and the game."""

    def __init__(self, game_port, folder, hold_ms=None):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.log_path = os.path.join(folder, "proxy.log")
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            ["wine", PROXY_EXE, "--connect", "127.0.0.1:%d" % game_port,
             "--listen", "127.0.0.1:%d" % self.port,
             "--state", windows_path(os.path.join(folder, "proxy-state")),
             *(["--hold-ms", str(hold_ms)] if hold_ms is not None else [])],
            env=wine_environment(), stdout=self.log, stderr=subprocess.STDOUT)
        wait_until("the proxy to listen", lambda: b"listening on" in self.read_log() or
                   self.process.poll() is not None, limit=3 * LIMIT)
        if self.process.poll() is not None:
            raise Failure("the proxy ended at start:\n" + self.read_log().decode(errors="replace"))

    def read_log(self):
        with open(self.log_path, "rb") as f:
            return f.read()

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()


# ---- MUSHclient --------------------------------------------------------------------------------

PREFS = {
    "control": {"database_version": 1, "First time": 0, "Version": 506, "Tip_StartUp": 1},
    "worlds": {},
    "prefs": {"AutoConnectWorlds": 1, "ConfirmBeforeClosingWorld": 0,
              "ConfirmBeforeClosingMushclient": 0, "ConfirmBeforeSavingVariables": 0,
              "ConfirmLogFileClose": 0, "EnableSpellCheck": 0, "NotifyIfCannotConnect": 0,
              "NotifyOnDisconnect": 0, "ErrorNotificationToOutputWindow": 1},
}
WORLD_ID = "b7a1c0de5eed00112233aabb"
WORLD_NAME = "Brawlhue test"
DRIVER_ID = "d71fe70000c0ffee00d71fe7"


def driver_plugin(folder):
    with open(os.path.join(HERE, "driver.lua"), encoding="utf-8") as f:
        script = f.read().replace("@FOLDER@", windows_path(folder).replace("\\", "/") + "/")
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE muclient>\n<muclient>\n'
            '<plugin name="BrawlhueTestDriver" author="tests" id="%s" language="Lua" '
            'purpose="drives the tests" requires="4.70" version="1.0" save_state="n">\n'
            '</plugin>\n<timers>\n<timer name="driver" enabled="y" second="0.10" send_to="12" '
            'active_closed="y">\n<send>driver_tick()</send>\n</timer>\n</timers>\n'
            '<script>\n<![CDATA[\n%s\n]]>\n</script>\n</muclient>\n' % (DRIVER_ID, script))


class Line:
    """One shown line: its text, whether it is a note or the player's input, its style runs
    (foreground, background as RRGGBB, bold, text)."""

    def __init__(self, note, typed, text):
        self.note, self.typed, self.text, self.runs = note, typed, text, []

    def looks(self):
        """What the player sees: the text and each character's colours and bold flag, runs of
        equal characters merged (MUSHclient may cut a run in two where nothing changes)."""
        merged = []
        for fg, bg, bold, text in self.runs:
            if merged and merged[-1][:3] == (fg, bg, bold):
                merged[-1] = (fg, bg, bold, merged[-1][3] + text)
            elif text:
                merged.append((fg, bg, bold, text))
        return self.text, tuple(merged)

    def __repr__(self):
        runs = " ".join("[%s/%s%s %r]" % (fg, bg, "/bold" if bold else "", text)
                        for fg, bg, bold, text in self.looks()[1])
        return "%s%s%r %s" % ("note " if self.note else "", "input " if self.typed else "",
                              self.text, runs)


def parse_dump(text):
    lines = []
    for row in text.splitlines():
        fields = row.split(" ")
        if fields[0] == "L":
            lines.append(Line(fields[1] == "1", fields[2] == "1",
                              bytes.fromhex(fields[3]).decode("utf-8", "replace")))
        elif fields[0] == "S":
            lines[-1].runs.append((fields[1], fields[2], fields[3] == "1",
                                   bytes.fromhex(fields[4]).decode("utf-8", "replace")))
    return lines


class Client:
    """One run of MUSHclient on its own copy of the install in `folder` (kept, so that a second
    run in the same folder is a restart with the same world), connecting to 127.0.0.1:port."""

    def __init__(self, folder, port, plugins=(), speed_walk=False, display=None):
        self.folder = folder
        self.display = display
        if not os.path.exists(os.path.join(folder, "MUSHclient.exe")):
            shutil.copytree(INSTALL, folder, dirs_exist_ok=True)
        for name in os.listdir(folder):
            if name.startswith(("request-", "answer-")):
                os.remove(os.path.join(folder, name))
        self.request = 0
        self.keys_arrive = False  # a probe key reached the command window of this run
        self.write_prefs()
        self.write_world(port, plugins, speed_walk)
        self.log = open(os.path.join(folder, "mushclient.log"), "ab")
        self.process = subprocess.Popen(["wine", "MUSHclient.exe", "/wine"], cwd=folder,
                                        env=wine_environment(display.name), stdout=self.log,
                                        stderr=subprocess.STDOUT)
        # Connected before anything is sent: text sent to a world still connecting brings a
        # dialog ("The connection ... is not open. Attempt to reconnect?") and nothing more.
        try:
            self.lua("return IsConnected() or nil", limit=5 * LIMIT)
        except Failure:
            display.keep_screen(os.path.basename(folder))
            self.kill()
            raise

    def write_prefs(self):
        path = os.path.join(self.folder, "mushclient_prefs.sqlite")
        if os.path.exists(path):
            os.remove(path)
        with sqlite3.connect(path) as db:
            for table, values in PREFS.items():
                db.execute("CREATE TABLE %s (name VARCHAR(50) NOT NULL PRIMARY KEY, "
                           "value TEXT NOT NULL)" % table)
                db.executemany("INSERT INTO %s VALUES (?, ?)" % table, list(values.items()))
            db.execute("INSERT INTO prefs VALUES ('WorldList', ?)",
                       (windows_path(self.world_path()),))
        db.close()

    def state_folder(self):
        """Where MUSHclient keeps the plugins' saved state; it must exist."""
        return os.path.join(self.folder, "worlds", "plugins", "state")

    def world_path(self):
        return os.path.join(self.folder, "worlds", "brawlhue-test.mcl")

    def write_world(self, port, plugins, speed_walk):
        os.makedirs(self.state_folder(), exist_ok=True)
        driver = os.path.join(self.folder, "driver.xml")
        with open(driver, "w", encoding="utf-8") as f:
            f.write(driver_plugin(self.folder))
        includes = "".join('<include name="%s" plugin="y"/>\n' % xml_attribute(windows_path(p))
                           for p in [driver, *plugins])
        attributes = {
            "id": WORLD_ID, "name": WORLD_NAME, "site": "127.0.0.1", "port": str(port),
            "save_world_automatically": "y", "script_errors_to_output_window": "y",
            "wrap_column": "500", "utf_8": "y", "enable_speed_walk": "y" if speed_walk else "n",
            "speed_walk_prefix": "#", "display_my_input": "y", "max_output_lines": "20000",
            "enable_timers": "y",
        }
        world = "".join(' %s="%s"' % (key, xml_attribute(value))
                        for key, value in attributes.items())
        with open(self.world_path(), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE muclient>\n<muclient>\n'
                    '<world%s>\n</world>\n%s</muclient>\n' % (world, includes))

    def lua(self, code, limit=LIMIT):
        """Runs code in the driver inside MUSHclient until it returns non-nil; that, as text."""
        self.request += 1
        path = os.path.join(self.folder, "request-%d.lua" % self.request)
        with open(path + ".part", "w", encoding="utf-8") as f:
            f.write(code)
        os.rename(path + ".part", path)
        answer = os.path.join(self.folder, "answer-%d.txt" % self.request)

        def answered():
            if self.process.poll() is not None:
                raise Failure("MUSHclient ended (status %s) before answering %r:\n%s" % (
                    self.process.returncode, code, self.output()))
            return os.path.exists(answer)

        wait_until("MUSHclient to run %r" % code[:200], answered, limit=limit)
        with open(answer, encoding="utf-8", errors="replace") as f:
            result = f.read()
        if result.startswith("ERROR "):
            raise Failure("the driver's Lua failed: %s\nfor: %s" % (result, code))
        return result

    def lines(self):
        return parse_dump(self.lua("return dump_lines()"))

    def wait_for(self, text, limit=LIMIT, after=0):
        """Waits until a shown line after the first `after` holds text; its number."""
        return int(self.lua("return find_line(%s, %d)" % (lua_string(text), after + 1),
                            limit=limit))

    def output(self):
        with open(os.path.join(self.folder, "mushclient.log"), "rb") as f:
            return f.read()[-3000:].decode("utf-8", "replace")

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.display.name),
                              capture_output=True, text=True, timeout=LIMIT, check=False)

    def command(self):
        return self.lua("return GetCommand()")

    def type(self, text):
        """Types text into the command window with real keystrokes, then Return, and waits until
        MUSHclient has taken the command."""
        if not self.keys_arrive:
            self.focus()
        self.xdotool("type", "--delay", "40", text)
        wait_until("the typed text in the command window", lambda: self.command() == text)
        self.xdotool("key", "Return")
        wait_until("MUSHclient to take the command", lambda: self.command() == "")

    def focus(self):
        """Gives MUSHclient's window the focus and waits until keys reach its command window,
        which is then empty. Wine drops keys for a while after the window first gets focus; once
        one has arrived, the rest do (nothing else takes the focus in this display), so a run
        does this once: each time cost six emulated programs a command."""
        window = wait_until("MUSHclient's window", lambda: self.xdotool(
            "search", "--name", "MUSHclient").stdout.split())[0]
        self.xdotool("windowfocus", "--sync", window)

        def probe_arrived():
            if not self.command():
                self.xdotool("type", "--delay", "50", "x")
            return self.command()

        def emptied():
            typed = self.command()
            if typed:
                self.xdotool("key", "--delay", "50", *["BackSpace"] * len(typed))
            return not self.command()

        wait_until("a key to reach MUSHclient", probe_arrived, pause=0.5)
        wait_until("the command window to empty", emptied, pause=0.5)
        self.keys_arrive = True

    def quit(self):
        """Closes MUSHclient as a player would (the world saved), and waits for its end."""
        try:
            self.lua("DoCommand('ExitClient') return 'ok'")
        except Failure:
            pass
        try:
            self.process.wait(LIMIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise Failure("MUSHclient did not close:\n" + self.output())
        finally:
            self.log.close()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()


def lua_string(text):
    """A Lua string literal of text's UTF-8 bytes."""
    return '"' + "".join(chr(b) if chr(b).isalnum() and b < 128 else "\\%03d" % b
                         for b in text.encode("utf-8")) + '"'
