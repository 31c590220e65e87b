-- #brawlhue help|status|on|off, answered here: the command never reaches the game.
Brawlhue.command(matches[2] or "")
