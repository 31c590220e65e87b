// The state file with palette and tags lines: what the store reads from every kind of line, what
// it writes for the player's choices, and that what it writes is still a file the proxies from
// before palettes read without losing a flag or moving the file aside.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "proxy/state_store.h"

namespace brawlhue::proxy {
namespace {

using stream::AppearanceChoice;

constexpr PaletteIndex kColourblind = FindPalette(u"colourblind");
const std::string kHeader =
    "# brawlhue-proxy: colouring True (on) or False (off) for each game address\n";

// The reader of the proxies from before palettes, rule for rule: each line, less a CR at its
// end, is blank, a comment (it starts with '#'), or "GAME FLAG" split at its last blank with a
// game before it; any other line makes it move the whole file aside. (Its writer puts every
// comment line back as it was, where it stood.) Nothing when it would move the file aside.
std::optional<std::map<std::string, bool>> FlagsAsReadBefore(const std::string& text) {
    std::map<std::string, bool> flags;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto blank = line.rfind(' ');
        const auto flag =
            blank == std::string::npos ? std::nullopt : ParseFlag(line.substr(blank + 1));
        if (!flag || blank == 0) {
            return std::nullopt;
        }
        flags[line.substr(0, blank)] = *flag;
    }
    return flags;
}

struct Stored {
    std::string game;
    std::optional<bool> flag;
    AppearanceChoice appearance;
};
using Change = std::variant<bool, AppearanceChoice>;  // a flag or a palette or tags choice

struct Case {
    const char* name;
    std::optional<std::string> before;  // the file at start; none when there is no file
    std::vector<Stored> read;           // what the store reads from it
    std::vector<std::pair<std::string, Change>> changes;
    std::string after;  // the file once they are saved
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"a file from before palettes",
         "# mine\ng:1 False\nh:2 1\n",
         {{"g:1", false, {}}, {"h:2", true, {}}},
         {{"g:1", false}},
         "# mine\ng:1 False\nh:2 1\n"},
        {"every kind of line",
         kHeader + "g:1 False\n"
                   "#brawlhue-appearance g:1 palette=colourblind tags=on\n"
                   "#brawlhue-appearance h:2 tags=OFF\r\n"
                   "#brawlhue-appearance [::1]:5  palette=Classic size=2 palette=sepia \n"
                   "#brawlhue-appearance\n"
                   "#brawlhue-appearance  \n"
                   "#brawlhue-appearances k:4 tags=on\n"
                   "#brawlhue-appearance m:6 tags=maybe\n",
         {{"g:1", false, {kColourblind, true}},
          {"h:2", std::nullopt, {std::nullopt, false}},
          {"[::1]:5", std::nullopt, {kClassicPalette, std::nullopt}},
          {"k:4", std::nullopt, {}},
          {"m:6", std::nullopt, {}}},
         {{"h:2", AppearanceChoice{kColourblind, std::nullopt}},
          {"[::1]:5", AppearanceChoice{std::nullopt, true}},
          {"h:2", true},
          {"g:1", AppearanceChoice{kColourblind, std::nullopt}},  // as stored: nothing changes
          {"m:6", AppearanceChoice{std::nullopt, true}},
          {"n:3", AppearanceChoice{std::nullopt, true}}},
         kHeader + "g:1 False\n"
                   "#brawlhue-appearance g:1 palette=colourblind tags=on\n"
                   "#brawlhue-appearance h:2 tags=OFF palette=colourblind\n"
                   "#brawlhue-appearance [::1]:5 palette=Classic size=2 palette=sepia tags=on\n"
                   "#brawlhue-appearance\n"
                   "#brawlhue-appearance  \n"
                   "#brawlhue-appearances k:4 tags=on\n"
                   "#brawlhue-appearance m:6 tags=on\n"
                   "h:2 True\n"
                   "#brawlhue-appearance n:3 tags=on\n"},
        {"a new file, the flag and both choices",
         std::nullopt,
         {},
         // New entries go at the end, flags first: the file is the same however the saving
         // thread takes the changes in turn.
         {{"g:1", false},
          {"g:1", AppearanceChoice{kClassicPalette, std::nullopt}},
          {"g:1", AppearanceChoice{std::nullopt, false}},
          {"g:1", AppearanceChoice{kColourblind, std::nullopt}}},
         kHeader + "g:1 False\n#brawlhue-appearance g:1 palette=colourblind tags=off\n"},
    };
    return cases;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(StateStore, ReadsAndWritesPaletteAndTagsAsTheOlderProxiesStillRead) {
    const std::filesystem::path folder =
        std::filesystem::path(testing::TempDir()) / ("brawlhue-state-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "proxy-state").string();
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        if (c.before) {
            std::ofstream(path, std::ios::binary) << *c.before;
        }
        std::string error;
        std::map<std::string, std::pair<std::optional<bool>, AppearanceChoice>> in_memory;
        {
            const auto store = StateStore::Open(path, error);
            ASSERT_TRUE(store) << error;
            EXPECT_EQ(store->reset_notice(), "");
            for (const Stored& stored : c.read) {
                SCOPED_TRACE(stored.game);
                EXPECT_EQ(store->Flag(stored.game), stored.flag);
                EXPECT_EQ(store->StoredAppearance(stored.game), stored.appearance);
            }
            for (const auto& [game, change] : c.changes) {
                if (const bool* flag = std::get_if<bool>(&change)) {
                    store->Set(game, *flag);
                } else {
                    store->SetAppearance(game, std::get<AppearanceChoice>(change));
                }
            }
            for (const auto& [game, change] : c.changes) {
                in_memory[game] = {store->Flag(game), store->StoredAppearance(game)};
            }
        }  // waits for the last save
        const std::string after = ReadFile(path);
        EXPECT_EQ(after, c.after);
        EXPECT_TRUE(std::filesystem::exists(path));  // not moved aside

        // Read again, the choices are what they were in memory; the older proxies read the same
        // flags and every line.
        const auto again = StateStore::Open(path, error);
        ASSERT_TRUE(again) << error;
        const auto flags_before = FlagsAsReadBefore(after);
        ASSERT_TRUE(flags_before);
        for (const auto& [game, stored] : in_memory) {
            SCOPED_TRACE(game);
            EXPECT_EQ(again->Flag(game), stored.first);
            EXPECT_EQ(again->StoredAppearance(game), stored.second);
            const auto found = flags_before->find(game);
            EXPECT_EQ(found == flags_before->end() ? std::nullopt : std::optional(found->second),
                      stored.first);
        }
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace brawlhue::proxy
