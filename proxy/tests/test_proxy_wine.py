"""The Windows build of brawlhue-proxy under Wine: the sample session every way and compressed,
GA prompts, and the command with its state file, as the native build is tested. Wine gives a
Windows program no SIGTERM, so the proxy is killed at the end instead of stopped."""

import time
import unittest

import test_proxy
from proxy_harness import LIMIT, FakeGame, Proxy, read_until

HOLD = test_proxy.HOLD


class WindowsDeliveries(test_proxy.Deliveries):
    def tearDown(self):
        self.assertIsNone(self.proxy.process.poll(), self.proxy.log())
        self.proxy.close()
        self.game.close()

    test_lines_split_at_every_offset = None  # the native build covers it; Wine is slow to


class WindowsCommand(unittest.TestCase):
    def test_off_holds_across_reconnects(self):
        game = FakeGame()
        proxy = Proxy(game.address, "--hold-ms", HOLD)
        try:
            for banner_says, command, answer in [
                    (b"colouring on", b"#brawlhue off", b"Brawlhue has been disabled."),
                    (b"colouring off", b"#brawlhue on", b"Brawlhue has been enabled.")]:
                client, banner, game_side = test_proxy.open_session(proxy, game)
                self.assertIn(banner_says, banner)
                client.sendall(command + b"\r\n")
                read_until(client, answer)
                client.close()
                game_side.close()
            # Saved by the proxy's own thread, a moment after the answer: the first save may not
            # have made the file yet.
            entry, deadline, stored = "%s True" % game.address, time.monotonic() + LIMIT, ""
            while entry not in stored and time.monotonic() < deadline:
                try:
                    with open(proxy.state) as f:
                        stored = f.read()
                except FileNotFoundError:
                    pass
                time.sleep(0.01)
            self.assertIn(entry, stored)
        finally:
            proxy.close()
            game.close()



if __name__ == "__main__":
    unittest.main()
