"""The Windows build of brawlhue-proxy under Wine: the sample session every way and compressed,
GA prompts, and the command with its state file (palette and tags too), as the native build is
tested. Wine gives a Windows program no SIGTERM, so the proxy is killed at the end instead of
stopped."""

import time
import unittest

import test_proxy
from proxy_harness import LIMIT, FakeGame, Proxy, brawlhue, read_until

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
            self.assert_saved(proxy, "%s True" % game.address)
        finally:
            proxy.close()
            game.close()

    def test_palette_over_the_starting_tags(self):
        game = FakeGame()
        proxy = Proxy(game.address, "--hold-ms", HOLD, "--tags")
        try:
            client, _, game_side = test_proxy.open_session(proxy, game)
            client.sendall(b"#brawlhue palette colourblind\r\n")
            read_until(client, b"Brawlhue: Palette colourblind in use.\r\n\r\n")
            game_side.sendall(test_proxy.COMBAT)
            read_until(client, brawlhue(test_proxy.COMBAT,
                                        options=["--palette", "colourblind", "--tags"]))
            self.assert_saved(proxy, "#brawlhue-appearance %s palette=colourblind\n" % game.address)
        finally:
            proxy.close()
            game.close()

    def assert_saved(self, proxy, entry):
        # Saved by the proxy's own thread, a moment after the answer: the first save may not
        # have made the file yet.
        deadline, stored = time.monotonic() + LIMIT, ""
        while entry not in stored and time.monotonic() < deadline:
            try:
                with open(proxy.state) as f:
                    stored = f.read()
            except FileNotFoundError:
                pass
            time.sleep(0.01)
        self.assertIn(entry, stored)



if __name__ == "__main__":
    unittest.main()
