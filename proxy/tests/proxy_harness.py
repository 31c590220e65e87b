"""Drives brawlhue-proxy for the tests: a fake game server whose connections the test scripts
byte by byte, a raw client, the proxy as a child process, and the expected bytes taken from the
brawlhue command. Everything stays on the loopback addresses, with ports the system chooses, and
every wait has a time limit."""

import os
import re
import select
import signal
import socket
import ssl
import subprocess
import tempfile
import time

PROXY = os.environ["BRAWLHUE_PROXY"]
# A program that runs PROXY, such as the Windows build's wine-run; none for a native build.
RUNNER = os.environ.get("BRAWLHUE_PROXY_RUNNER")
BRAWLHUE = os.environ["BRAWLHUE_COMMAND"]
SESSION_LOG = os.environ["BRAWLHUE_SESSION_LOG"]

IAC, GA, SB, SE, WILL, DO = 255, 249, 250, 240, 251, 253
MCCP2 = 86
LIMIT = 20.0  # seconds any one wait may take before the test fails


def session_lines():
    """The sample session's lines, each with a CR LF ending as the game sends them."""
    with open(SESSION_LOG, "rb") as f:
        return [line.rstrip(b"\r\n") + b"\r\n" for line in f.read().splitlines()]


def brawlhue(data, off=False, options=()):
    """What the brawlhue command writes for these transcript bytes, with these options."""
    with tempfile.NamedTemporaryFile() as f:
        f.write(data)
        f.flush()
        args = [BRAWLHUE] + (["--off"] if off else []) + list(options) + [f.name]
        return subprocess.run(args, check=True, capture_output=True, timeout=LIMIT).stdout


def set_nodelay(sock):
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


class FakeGame:
    """A listening socket on a loopback address; accept() hands each connection of the proxy
    to the test, which scripts it."""

    def __init__(self, host="127.0.0.1", tls_context=None):
        family = socket.AF_INET6 if ":" in host else socket.AF_INET
        self.listener = socket.socket(family, socket.SOCK_STREAM)
        self.listener.bind((host, 0))
        self.listener.listen(256)
        self.host = host
        self.port = self.listener.getsockname()[1]
        self.tls_context = tls_context

    @property
    def address(self):
        host = "[%s]" % self.host if ":" in self.host else self.host
        return "%s:%d" % (host, self.port)

    def accept(self, timeout=LIMIT):
        self.listener.settimeout(timeout)
        sock, _ = self.listener.accept()
        sock.settimeout(timeout)
        set_nodelay(sock)
        if self.tls_context is not None:
            sock = self.tls_context.wrap_socket(sock, server_side=True)
        return sock

    def close(self):
        self.listener.close()


class Proxy:
    """brawlhue-proxy as a child process listening on a port the system chose."""

    def __init__(self, game_address, *extra, state=None, listen="127.0.0.1:0", env=None):
        self.state_dir = tempfile.TemporaryDirectory()
        self.state = state or os.path.join(self.state_dir.name, "proxy-state")
        args = [PROXY, "--connect", game_address, "--listen", listen, "--state", self.state]
        if RUNNER:
            args.insert(0, RUNNER)
        args += list(extra)
        self.stderr_file = tempfile.TemporaryFile()
        self.process = subprocess.Popen(args, stderr=self.stderr_file, env=env)
        self.port = None
        deadline = time.monotonic() + LIMIT * (3 if RUNNER else 1)  # Wine starts slowly
        while self.port is None and time.monotonic() < deadline:
            match = re.search(r"listening on .*:(\d+),", self.log())
            if match:
                self.port = int(match.group(1))
            elif self.process.poll() is not None:
                raise AssertionError("the proxy ended at start:\n" + self.log())
            else:
                time.sleep(0.01)
        if self.port is None:
            raise AssertionError("the proxy did not start listening:\n" + self.log())
        self.host = "::1" if listen.startswith("[") else "127.0.0.1"

    def log(self):
        self.stderr_file.seek(0)
        return self.stderr_file.read().decode("utf-8", "replace")

    def connect(self):
        family = socket.AF_INET6 if ":" in self.host else socket.AF_INET
        sock = socket.create_connection((self.host, self.port), timeout=LIMIT)
        assert sock.family == family
        set_nodelay(sock)
        return sock

    def memory_kib(self):
        with open("/proc/%d/status" % self.process.pid) as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))

    def stop(self):
        """SIGTERM, then the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout=LIMIT)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.stderr_file.close()
        self.state_dir.cleanup()


def read_line(sock):
    """One line, up to and with its LF."""
    data = bytearray()
    while not data.endswith(b"\n"):
        byte = sock.recv(1)
        if not byte:
            break
        data += byte
    return bytes(data)


def read_until(sock, marker, limit=LIMIT):
    """Everything up to and with the first marker; fails on the time limit or the end."""
    data = bytearray()
    deadline = time.monotonic() + limit
    searched = 0
    while data.find(marker, searched) < 0:
        searched = max(0, len(data) - len(marker) + 1)
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise AssertionError("no %r within %.0f s; got %r" % (marker, limit, bytes(data[-300:])))
        sock.settimeout(remaining)
        chunk = sock.recv(65536)
        if not chunk:
            raise AssertionError("closed before %r; got %r" % (marker, bytes(data[-300:])))
        data += chunk
    return bytes(data)


def read_exactly(sock, size):
    data = bytearray()
    sock.settimeout(LIMIT)
    while len(data) < size:
        chunk = sock.recv(size - len(data))
        if not chunk:
            raise AssertionError("closed after %d of %d bytes" % (len(data), size))
        data += chunk
    return bytes(data)


def read_to_end(sock, limit=LIMIT):
    """Everything until the other side closes."""
    data = bytearray()
    deadline = time.monotonic() + limit
    while True:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise AssertionError("not closed within %.0f s; got %d bytes" % (limit, len(data)))
        sock.settimeout(remaining)
        try:
            chunk = sock.recv(65536)
        except ConnectionResetError:
            break
        if not chunk:
            break
        data += chunk
    return bytes(data)


GAME_CLOSED = b"brawlhue-proxy: the game closed the connection.\r\n"


def read_to_game_close(sock, limit=LIMIT):
    """What the client gets until the proxy closes it after the game has closed, less the
    proxy's last line, which says so."""
    data = read_to_end(sock, limit)
    if not data.endswith(GAME_CLOSED):
        raise AssertionError("no closing line at the end of: %r" % data[-300:])
    return data[:-len(GAME_CLOSED)]


def is_closed(sock, limit=LIMIT):
    """True once the other side has closed, reading and dropping what comes before."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        readable, _, _ = select.select([sock], [], [], max(0.0, deadline - time.monotonic()))
        if readable:
            try:
                if not sock.recv(65536):
                    return True
            except (ConnectionResetError, ssl.SSLError):
                return True
    return False


def make_certificates(folder):
    """A certificate authority made for this run and a server certificate it signed for the name
    localhost alone: (ca.pem, server.pem, server.key)."""
    ca_key, ca_pem = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr = os.path.join(folder, "server.key"), os.path.join(folder, "server.csr")
    pem, ext = os.path.join(folder, "server.pem"), os.path.join(folder, "server.ext")
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]

    def openssl(*args):
        subprocess.run(["openssl"] + list(args), check=True, capture_output=True, timeout=LIMIT)

    openssl("req", "-x509", *ec, "-keyout", ca_key, "-out", ca_pem, "-days", "2",
            "-subj", "/CN=Brawlhue test authority", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign")
    openssl("req", *ec, "-keyout", key, "-out", csr, "-subj", "/CN=localhost")
    with open(ext, "w") as f:
        f.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n")
    openssl("x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key, "-CAcreateserial",
            "-out", pem, "-days", "2", "-extfile", ext)
    return ca_pem, pem, key


def server_tls_context(pem, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(pem, key)
    return context
