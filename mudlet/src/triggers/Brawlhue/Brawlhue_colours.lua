-- Every line the game sends: the engine decides, the package colours.
Brawlhue.colour_current_line()
